// The quillon command line as people use it: its options, exit statuses and messages, and
// pictures that a real decoder reads back.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/hosts/ChildProcess.h"
#include "tests/support/BarcodeDecoder.h"
#include "tests/support/PngReader.h"

namespace {

ProcessResult Quillon(std::vector<std::string> args, bool terminal_stdout = false) {
    return RunProgram(QUILLON_PATH, std::move(args), terminal_stdout);
}

std::string Decoded(const std::string& png) {
    const DecodedPng picture =
        ReadPng(reinterpret_cast<const std::uint8_t*>(png.data()), png.size());
    if (!picture.ok) return "<unreadable PNG: " + picture.error + ">";
    const auto bytes = DecodePdf417(picture);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<no symbol>";
}

std::string TemporaryFile() {
    char name[] = "/tmp/quillon-cli-XXXXXX";
    close(mkstemp(name));
    return name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(QuillonCli, MeasuresTheDefaultSymbol) {
    const ProcessResult r = Quillon({"--measure"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}\n");
    EXPECT_EQ(r.err, "");
}

TEST(QuillonCli, TheLastOfRepeatedNamesWinsWhateverTheirCase) {
    const ProcessResult r = Quillon({"--measure", "Columns=5", "columns=7", "TRUNCATESYMBOL=true"});
    EXPECT_EQ(r.status, 0) << r.err;
    // 7 columns of 3 modules: (17 × 7 + 36) × 3 pixels along a truncated row.
    EXPECT_EQ(r.out, "{\"rows\":3,\"columns\":7,\"width\":465,\"height\":27}\n");
}

TEST(QuillonCli, WritesAPictureThatDecodesToTheData) {
    const std::string file = TemporaryFile();
    const ProcessResult r =
        Quillon({"-o", file, "Data=Quillon on the command line", "Width=600", "Height=150"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Decoded(ReadFile(file)), "Quillon on the command line");
    std::remove(file.c_str());
}

TEST(QuillonCli, WritesThePictureToAPipeButNeverToATerminal) {
    const ProcessResult piped = Quillon({"Data=piped", "Width=400"});
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out.substr(0, 8), "\x89PNG\r\n\x1A\n");
    EXPECT_EQ(Decoded(piped.out), "piped");

    const ProcessResult terminal = Quillon({"Data=x"}, true);
    EXPECT_EQ(terminal.status, 2);
    EXPECT_NE(terminal.err.find("terminal"), std::string::npos) << terminal.err;
}

TEST(QuillonCli, Utf8TextIsCarriedAsItsUtf8Bytes) {
    const std::string text = "Ελληνικά Кириллица 中文 🎉";
    const ProcessResult r = Quillon({"--utf8", "Data=" + text, "Width=1200", "Height=400"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Decoded(r.out), text);
}

TEST(QuillonCli, ExitStatusAndMessageForEveryKindOfMistake) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string message;  // a part of standard error
    } cases[] = {
        {{"--bogus"}, 2, "unknown option '--bogus'"},
        {{"-o"}, 2, "-o needs a file name"},
        {{"hello"}, 2, "'hello' is not Name=Value"},
        {{"=5"}, 2, "is not Name=Value"},
        {{"--measure", "Colour=1"}, 2, "unknown property 'Colour'"},
        {{"--measure", "PNGImage=1"}, 2, "unknown property 'PNGImage'"},
        {{"--measure", "Width=abc"}, 2, "Width=abc: 'abc' is not a 16-bit integer"},
        {{"--measure", "Width=40000"}, 2, "Width=40000: '40000' is out of range for a 16-bit"},
        {{"--measure", "NarrowBarWidth=wide"}, 2, "NarrowBarWidth=wide"},
        {{"--measure", "Data=" + std::string(5000, 'x')}, 2, "Data is longer than 4999 bytes"},
        {{"--measure", "ErrorCorrectionLevel=8", "Data=" + std::string(2000, 'x')},
         3,
         "does not fit"},
        {{"ErrorCorrectionLevel=8", "Data=" + std::string(2000, 'x'), "-o", "/dev/null"},
         3,
         "does not fit"},
        // Under a file, so that no directory anyone makes can let the write succeed.
        {{"-o", "/dev/null/out.png"}, 1, "cannot write /dev/null/out.png"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = Quillon(c.args);
        SCOPED_TRACE(c.args.back().substr(0, 40));
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        if (c.status != 0) {
            EXPECT_EQ(r.out, "");
        }
    }
}

TEST(QuillonCli, IgnoredValuesAreWarnedAboutButNotRefused) {
    const ProcessResult r = Quillon({"--measure", "Width=0", "ErrorCorrectionLevel=9", "Mode=1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning: Width=0 is outside the accepted range (1..32767)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("warning: ErrorCorrectionLevel=9"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Mode"), std::string::npos) << r.err;  // Mode=1 is accepted
    EXPECT_EQ(r.out, "{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}\n");
}

TEST(QuillonCli, HelpListsEveryPropertyAndVersionIsOneLine) {
    const ProcessResult help = Quillon({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* name :
         {"Data", "Mode", "ErrorCorrectionLevel", "Columns", "Rows", "TruncateSymbol", "Y2XRatio",
          "Width", "Height", "NarrowBarWidth", "BackColor", "BarColor", "Orientation",
          "BorderStyle", "HandleTilde"}) {
        EXPECT_NE(help.out.find(std::string("  ") + name + " "), std::string::npos) << name;
    }
    const ProcessResult version = Quillon({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "quillon 4.0.0.1\n");
}

}  // namespace
