// The bash completion, driven as bash drives it: COMP_WORDS split where bash splits a line
// (at '=' too, as COMP_WORDBREAKS says), COMP_CWORD, and the function of each command, in a
// bash that has sourced the completion file. The candidates bash would offer are checked, each
// being what replaces bash's word (the text after the last '=' when the word was split there).
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/hosts/CliHelpers.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The candidates for the last word of `words`, as the function of `program` offers them.
std::vector<std::string> Complete(const std::string& function, const std::string& program,
                                  std::vector<std::string> words, bool split_at_equals = true) {
    const std::string script =
        std::string("source '") + COMPLETION_PATH + "'\n" +
        (split_at_equals ? "" : "COMP_WORDBREAKS=${COMP_WORDBREAKS//=}\n") +
        "COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1))\n" + function +
        " \"$1\" \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    words.insert(words.begin(), program);
    std::vector<std::string> args{"-c", script, "bash"};
    args.insert(args.end(), words.begin(), words.end());
    const ProcessResult r = RunProgram("/bin/bash", args);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> replies = Lines(r.out);
    replies.erase(std::remove(replies.begin(), replies.end(), ""), replies.end());
    return replies;
}

using Replies = std::vector<std::string>;

TEST(Completion, QuillonCompletesNamesWhateverTheirCaseAndTheValuesTheHelpAccepts) {
    const struct {
        std::vector<std::string> words;  // after the program, as bash splits them
        Replies replies;
        bool split_at_equals = true;
    } cases[] = {
        // Names, whatever their case.
        {{"mo"}, {"Mode="}},
        {{"ERRORC"}, {"ErrorCorrectionLevel="}},
        {{"b"}, {"BackColor=", "BarColor=", "BorderStyle="}},
        {{"Data=x", "trunc"}, {"TruncateSymbol="}},
        // Values: "Mode=" is Mode, =; "Mode=1" is Mode, =, 1.
        {{"Mode", "="}, {"0", "1", "2"}},
        {{"mode", "=", "1"}, {"1"}},
        {{"Orientation", "="}, {"0", "1", "2", "3"}},
        {{"TruncateSymbol", "=", "t"}, {"True"}},
        {{"handletilde", "="}, {"False", "True"}},
        {{"Width", "="}, {}},  // too many to offer
        {{"Columns", "=", "3"}, {"3", "30"}},
        // Without '=' among the word breaks, the word is whole, and so is what replaces it.
        {{"Mode=1"}, {"Mode=1"}, false},
        {{"--format=s"}, {"--format=svg"}, false},
        // Options and their values.
        {{"--ba"}, {"--batch"}},
        {{"--q"}, {"--quiet-zone"}},
        {{"--format", "="}, {"png", "svg"}},
        {{"--format", "=", "s"}, {"svg"}},
        {{"--format", "p"}, {"png"}},
        {{"--output", "=", "a.png", "Mode", "="}, {"0", "1", "2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.words));
        EXPECT_EQ(Complete("_quillon", QUILLON_PATH, c.words, c.split_at_equals), c.replies);
    }
}

TEST(Completion, FileNamesAfterTheOptionsThatTakeAFile) {
    TemporaryDirectory dir;
    WriteFile(dir / "label.png", "");
    WriteFile(dir / "labels list.txt", "");
    WriteFile(dir / "other", "");
    const Replies labels{dir / "label.png", dir / "labels list.txt"};
    EXPECT_EQ(Complete("_quillon", QUILLON_PATH, {"-o", dir / "lab"}), labels);
    EXPECT_EQ(Complete("_quillon", QUILLON_PATH, {"--input", dir / "lab"}), labels);
    EXPECT_EQ(Complete("_quillon", QUILLON_PATH, {"--input", "=", dir / "lab"}), labels);
    EXPECT_EQ(Complete("_quillon", QUILLON_PATH, {"--input=" + dir / "o"}, false),
              Replies{"--input=" + dir / "other"});
    EXPECT_EQ(Complete("_quillon_serve", SERVE_PATH, {"--access-log", "=", dir / "o"}),
              Replies{dir / "other"});
}

TEST(Completion, QuillonServeCompletesItsOptions) {
    EXPECT_EQ(Complete("_quillon_serve", SERVE_PATH, {"--max"}),
              (Replies{"--max-connections", "--max-per-address", "--max-pixels"}));
    EXPECT_EQ(Complete("_quillon_serve", SERVE_PATH, {"--po"}), Replies{"--port"});
}

}  // namespace
