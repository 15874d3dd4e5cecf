// The conventions of command-line barcode tools: data from a file or standard input, a batch
// of symbols in one process, the usual option forms, colours as #RRGGBB, a picture that
// fits its symbol, and a pixel limit.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/hosts/CliHelpers.h"

namespace {

constexpr const char* kDefaultFigures = "{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}\n";

TEST(QuillonCliInput, DataFromAFileOrStandardInputLessOneFinalLineBreak) {
    const std::string file = TemporaryFile();
    WriteFile(file, "from a file\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-i", file}, {"-i" + file}, {"--input=" + file}, {"--input", file}}) {
        const ProcessResult r = Quillon(args);
        EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
        EXPECT_EQ(Decoded(r.out), "from a file") << args[0];
    }
    const ProcessResult piped = QuillonWithInput({"-i", "-"}, "hello\r\n");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(Decoded(piped.out), "hello");
    std::remove(file.c_str());
}

// `echo hello | quillon -o x.png` once encoded the default "12" and said nothing.
TEST(QuillonCliInput, StandardInputWithDataIsNeverIgnoredSilently) {
    const ProcessResult ignored = QuillonWithInput({"--measure"}, "hello\n");
    EXPECT_EQ(ignored.status, 2);
    EXPECT_NE(ignored.err.find("standard input holds data, but no Data was given: use -i -"),
              std::string::npos)
        << ignored.err;
    EXPECT_EQ(ignored.out, "");

    // Data given, or nothing on standard input: no question.
    EXPECT_EQ(QuillonWithInput({"--measure", "Data=12"}, "hello\n").out, kDefaultFigures);
    EXPECT_EQ(QuillonWithInput({"--measure"}, "").out, kDefaultFigures);

    const ProcessResult twice = QuillonWithInput({"-i", "-", "Data=x"}, "hello\n");
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("leave out Data="), std::string::npos) << twice.err;
}

TEST(QuillonCliBatch, TwoHundredLinesInOneProcessEachDecodesToItsLine) {
    TemporaryDirectory dir;
    std::string lines;
    for (int i = 1; i <= 200; ++i) lines += "batch line " + std::to_string(i) + "\n";
    const ProcessResult r =
        QuillonWithInput({"--batch", "--fit", "-o", dir / "code-%03d.png"}, lines);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (int i = 1; i <= 200; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "code-%03d.png", i);
        ASSERT_EQ(Decoded(ReadFile(dir / name)), "batch line " + std::to_string(i)) << name;
    }
}

TEST(QuillonCliBatch, AFailingLineIsReportedByNumberAndTheOthersStillMade) {
    const std::string lines = "first\n" + std::string(2000, 'x') + "\nthird\n";
    const ProcessResult r =
        QuillonWithInput({"--batch", "--measure", "ErrorCorrectionLevel=8"}, lines);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("quillon: line 2: the data does not fit"), std::string::npos) << r.err;
    // One line of output per line of input, in order.
    const std::string first = "{\"rows\":";
    ASSERT_EQ(r.out.find(first), 0u) << r.out;
    EXPECT_NE(r.out.find("\nnull\n{\"rows\":"), std::string::npos) << r.out;
}

TEST(QuillonCliBatch, OutputNamesComeFromAPatternThatMustHaveOneNumber) {
    TemporaryDirectory dir;
    const ProcessResult svg =
        QuillonWithInput({"--batch", "--fit", "-o", dir / "%d-100%%.svg"}, "a\nb\n");
    ASSERT_EQ(svg.status, 0) << svg.err;
    EXPECT_EQ(ReadFile(dir / "2-100%.svg").substr(0, 5), "<svg ");

    for (const std::string pattern : {"plain.png", "%d-%d.png", "%s.png", "%5d.png"}) {
        const ProcessResult r = QuillonWithInput({"--batch", "-o", dir / pattern}, "a\n");
        EXPECT_EQ(r.status, 2) << pattern;
        EXPECT_NE(r.err.find("give -o a pattern with one %d"), std::string::npos) << r.err;
    }
}

TEST(QuillonCliOptions, TheUsualFormsOfOptions) {
    const std::string file = TemporaryFile();
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-o", file},
                                               {"-o" + file},
                                               {"--output=" + file},
                                               {"--output", file},
                                               {"--fit", "--output", file, "--", "Data=forms"}}) {
        std::remove(file.c_str());
        std::vector<std::string> all = args;
        if (all.back() != "Data=forms") all.push_back("Data=forms");
        const ProcessResult r = Quillon(all);
        EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
        EXPECT_EQ(Decoded(ReadFile(file)), "forms") << args[0];
    }
    std::remove(file.c_str());
}

TEST(QuillonCliOptions, MisspeltNamesGetASuggestion) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--mesure"}, "unknown option '--mesure'; did you mean '--measure'?"},
        {{"--utf-8"}, "unknown option '--utf-8'; did you mean '--utf8'?"},
        {{"--outptu=x.png"}, "unknown option '--outptu'; did you mean '--output'?"},
        {{"--colour"}, "unknown option '--colour' (see"},
        {{"--measure", "Colums=5"}, "unknown property 'Colums'; did you mean 'Columns'?"},
        {{"--measure", "errorcorectionlevel=5"}, "did you mean 'ErrorCorrectionLevel'?"},
        {{"--measure", "Colour=1"}, "unknown property 'Colour'"},
        {{"--measure", "--format=gif"}, "--format takes png or svg"},
        {{"--measure=yes"}, "--measure takes no value"},
        {{"-x"}, "unknown option '-x'"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = Quillon(c.args);
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(QuillonCliOptions, ColoursAsRgbHex) {
    // #RRGGBB is red, green, blue; the component's number is 0x00BBGGRR. The picture keeps
    // colours of the 16-colour palette as they are, so these two come back unchanged.
    const ProcessResult r = Quillon({"--fit", "BarColor=#800000", "BackColor=#ffff00"});
    ASSERT_EQ(r.status, 0) << r.err;
    const DecodedPng picture = Picture(r.out);
    ASSERT_TRUE(picture.ok);
    std::set<std::uint32_t> colours;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) colours.insert(picture.Pixel(x, y));
    }
    EXPECT_EQ(colours, (std::set<std::uint32_t>{0x800000, 0xFFFF00}));
    const ProcessResult same = Quillon({"--fit", "BarColor=128", "BackColor=65535"});
    EXPECT_EQ(same.out, r.out);

    for (const std::string bad : {"#12345", "#1234567", "#GGHHII"}) {
        const ProcessResult refused = Quillon({"--measure", "BarColor=" + bad});
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_NE(refused.err.find("is not a colour #RRGGBB"), std::string::npos) << refused.err;
    }
}

TEST(QuillonCliPicture, ASymbolLargerThanThePictureIsWarnedAboutAndFitFixesIt) {
    const ProcessResult clipped = Quillon({"Data=12"});
    EXPECT_EQ(clipped.status, 0);
    EXPECT_NE(clipped.err.find("warning: the symbol (363 x 36 pixels) is larger than the "
                               "picture (300 x 200) and is cut off"),
              std::string::npos)
        << clipped.err;

    // A measurement warns only for a picture size it is given.
    EXPECT_NE(Quillon({"--measure", "Width=300"}).err.find("is larger than the picture"),
              std::string::npos);

    const struct {
        std::vector<std::string> args;
        int width, height;
    } fits[] = {
        {{"--fit"}, 363, 36},
        {{"--fit", "Orientation=1"}, 36, 363},
        {{"--fit", "Width=10", "Orientation=3", "Columns=5"}, 27, 465},
    };
    for (const auto& f : fits) {
        const ProcessResult r = Quillon(f.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "") << "a fitted picture clips nothing";
        const DecodedPng picture = Picture(r.out);
        EXPECT_EQ(picture.width, f.width);
        EXPECT_EQ(picture.height, f.height);
        EXPECT_EQ(Decoded(r.out), "12");
    }
}

TEST(QuillonCliPicture, PixelLimitLikeThePageHostsAndOverridable) {
    const ProcessResult huge = Quillon({"Width=32767", "Height=32767", "-o", "/dev/null"});
    EXPECT_EQ(huge.status, 2);
    EXPECT_NE(huge.err.find("above this host's limit of 16777216 pixels (see --max-pixels)"),
              std::string::npos)
        << huge.err;
    const ProcessResult lowered = Quillon({"--max-pixels=59999", "-o", "/dev/null"});
    EXPECT_EQ(lowered.status, 2) << "300 x 200 is 60000 pixels";
    const ProcessResult raised = Quillon({"--max-pixels", "60000", "-o", "/dev/null"});
    EXPECT_EQ(raised.status, 0) << raised.err;
    EXPECT_EQ(Quillon({"--max-pixels=0"}).status, 2);
}

}  // namespace
