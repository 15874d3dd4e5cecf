// One option table read and written the same way for every host: the forms an option takes,
// what a refusal says, and the manual page's troff.
#include "hosts/common/OptionTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    std::string name;
    std::int64_t count = 0;
    bool loud = false;
    std::vector<std::string> operands;
};

CommandLineRules Rules(Parsed* parsed) {
    return {
        .program = "tool",
        .version = "1.0",
        .usage = "usage: tool\n",
        .epilogue = {},
        .help_summary = "the options",
        .options =
            {
                {"name", 'n', "TEXT", "what to call it", Text(&parsed->name)},
                {"count", 'c', "N", "how many, from 1 to 9", WholeNumber(1, 9, &parsed->count)},
                {"loud", 0, "", "say it aloud", Flag(&parsed->loud), "See --count and -n."},
                {"dot", 0, "", ".profile is not read; troff must not take it as a request",
                 Flag([] {})},
            },
        .operand =
            [parsed](std::string_view arg) {
                parsed->operands.emplace_back(arg);
                return std::string();
            },
    };
}

// Reads `args` after the program's name; *err is what it printed on standard error.
EarlyExit Read(std::vector<std::string> args, Parsed* parsed, std::string* err = nullptr) {
    args.insert(args.begin(), "tool");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    testing::internal::CaptureStderr();
    const EarlyExit exit =
        ReadCommandLine(static_cast<int>(argv.size()), argv.data(), Rules(parsed));
    const std::string printed = testing::internal::GetCapturedStderr();
    if (err != nullptr) *err = printed;
    return exit;
}

TEST(OptionTable, EveryOptionTakesEveryForm) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--name=x", "--count=3"},
                                               {"--name", "x", "--count", "3"},
                                               {"-nx", "-c3"},
                                               {"-n", "x", "-c", "3", "--", "--loud"}}) {
        Parsed parsed;
        EXPECT_FALSE(Read(args, &parsed)) << args[0];
        EXPECT_EQ(parsed.name, "x") << args[0];
        EXPECT_EQ(parsed.count, 3) << args[0];
        EXPECT_FALSE(parsed.loud) << "after --, an operand";
    }
    Parsed parsed;
    EXPECT_FALSE(Read({"--loud", "a", "--name=", "-", "--name=-n"}, &parsed));
    EXPECT_TRUE(parsed.loud);
    EXPECT_EQ(parsed.name, "-n");
    EXPECT_EQ(parsed.operands, (std::vector<std::string>{"a", "-"}));
}

TEST(OptionTable, RefusalsSayWhy) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--nmae=x"}, "tool: unknown option '--nmae'; did you mean '--name'? (see tool --help)"},
        {{"--man-option"}, "tool: unknown option '--man-option' (see tool --help)"},
        {{"--count=0"}, "tool: --count needs a number from 1 to 9 (see tool --help)"},
        {{"-c", "3x"}, "tool: --count needs a number from 1 to 9 (see tool --help)"},
        {{"--name"}, "tool: --name needs a value (see tool --help)"},
        {{"--loud=yes"}, "tool: --loud takes no value (see tool --help)"},
        {{"-hx"}, "tool: unknown option '-hx' (see tool --help)"},
    };
    for (const auto& c : cases) {
        Parsed parsed;
        std::string err;
        EXPECT_EQ(Read(c.args, &parsed, &err), kExitUsage) << c.args[0];
        EXPECT_EQ(err, std::string(c.message) + "\n");
    }
}

TEST(OptionTable, HelpAndTheManualPageComeFromTheRows) {
    Parsed parsed;
    const CommandLineRules rules = Rules(&parsed);
    EXPECT_EQ(OptionsHelp(rules),
              "  -n, --name=TEXT  what to call it\n"
              "  -c, --count=N    how many, from 1 to 9\n"
              "      --loud       say it aloud\n"
              "      --dot        .profile is not read; troff must not take it as a request\n"
              "  -h, --help       this text\n"
              "      --version    the version\n");
    const std::string manual = OptionsManual(rules);
    EXPECT_NE(manual.find(".BR \\-c \", \" \\-\\-count =\\fIN\\fR\n"
                          "How many, from 1 to 9.\n"),
              std::string::npos)
        << manual;
    EXPECT_NE(manual.find(".B \\-\\-loud\n"), std::string::npos) << manual;
    EXPECT_NE(manual.find("\n\\&.profile is not read;"), std::string::npos) << manual;
    EXPECT_NE(manual.find("\\fB\\-\\-count\\fR and \\fB\\-n\\fR."), std::string::npos) << manual;
    EXPECT_EQ(manual.find("man\\-options"), std::string::npos) << "hidden";
    EXPECT_NE(manual.find(".BR \\-h \", \" \\-\\-help\nThe options.\n"), std::string::npos);
}

}  // namespace
