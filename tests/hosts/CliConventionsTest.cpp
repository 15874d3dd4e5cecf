// The conventions of command-line barcode tools: data from a file or standard input, a batch
// of symbols in one process, the usual option forms, colours as #RRGGBB, a picture that
// fits its symbol, and a pixel limit.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/hosts/CliHelpers.h"

namespace {

constexpr const char* kDefaultFigures = "{\"rows\":4,\"columns\":3,\"width\":363,\"height\":36}\n";

// The input is bytes, all of them carried, a final line break too (with a warning, as echo
// adds one); with --utf8 it is text, less one final line break.
TEST(QuillonCliInput, DataFromAFileOrStandardInput) {
    const std::string file = TemporaryFile();
    WriteFile(file, "from a file");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-i", file}, {"-i" + file}, {"--input=" + file}, {"--input", file}}) {
        const ProcessResult r = Quillon(args);
        EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
        EXPECT_EQ(Decoded(r.out), "from a file") << args[0];
        EXPECT_EQ(r.err, "");
    }
    const ProcessResult echoed = QuillonWithInput({"-i", "-"}, "hello\r\n");
    EXPECT_EQ(echoed.status, 0) << echoed.err;
    EXPECT_EQ(Decoded(echoed.out), "hello\r\n");
    EXPECT_NE(echoed.err.find("warning: the input ends in a line break, which the symbol carries"),
              std::string::npos)
        << echoed.err;
    for (const std::string& text : {std::string("hello\r\n"), std::string("hello\n")}) {
        const ProcessResult utf8 = QuillonWithInput({"--utf8", "-i", "-"}, text);
        EXPECT_EQ(utf8.status, 0) << utf8.err;
        EXPECT_EQ(Decoded(utf8.out), "hello");
        EXPECT_EQ(utf8.err, "");
    }
    // A carriage return alone is no line break.
    EXPECT_EQ(Decoded(QuillonWithInput({"--utf8", "-i", "-"}, "hello\r").out), "hello\r");
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

// The default symbol "12" is 4 rows of 121 modules; NarrowBarWidth 0.07 cm at 96 pixels per
// inch is 2.65 pixels, drawn as 3, and a row is 3 × 3 = 9 pixels high: 363 x 36 pixels. Its
// quiet zone of 2 modules adds 12 pixels to each side's length, a border 4 more.
TEST(QuillonCliPicture, ThePictureFitsTheSymbolAndItsQuietZoneUnlessItsSizeIsSet) {
    const struct {
        std::vector<std::string> args;
        int width, height;
        bool clipped;
    } cases[] = {
        {{}, 375, 48, false},
        {{"--quiet-zone", "0"}, 363, 36, false},
        {{"--quiet-zone=5"}, 393, 66, false},
        {{"Orientation=1"}, 48, 375, false},
        {{"Orientation=2", "BorderStyle=1"}, 379, 52, false},
        {{"BorderStyle=2", "--quiet-zone=1"}, 373, 46, false},
        // A truncated row is 17 × 3 + 36 = 87 modules.
        {{"TruncateSymbol=True"}, 273, 48, false},
        // 0.2 cm: 7.56 pixels, drawn as 8; rows 3 × 8 = 24 pixels high; a quiet zone of 8.
        {{"NarrowBarWidth=0.2", "--quiet-zone=1"}, 984, 112, false},
        // A side that is set stays, and the other is sized.
        {{"Width=500"}, 500, 48, false},
        {{"Height=100"}, 375, 100, false},
        {{"Height=400", "Orientation=3"}, 48, 400, false},
        {{"Width=300"}, 300, 48, true},
        {{"Width=300", "Height=200"}, 300, 200, true},
        // --fit sizes both sides whatever is set; a quarter turn swaps them. Five columns:
        // (17 × 5 + 70) × 3 = 465 pixels along 3 rows of 9.
        {{"--fit", "Width=10", "Height=10"}, 375, 48, false},
        {{"--fit", "Width=10", "Orientation=3", "Columns=5"}, 39, 477, false},
        // An ignored Width leaves the side to the host.
        {{"Width=0"}, 375, 48, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ProcessResult r = Quillon(c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        const DecodedPng picture = Picture(r.out);
        EXPECT_EQ(picture.width, c.width);
        EXPECT_EQ(picture.height, c.height);
        if (!c.clipped) {
            EXPECT_EQ(Decoded(r.out), "12");
        }
        EXPECT_EQ(r.err.find("is larger than the picture") != std::string::npos, c.clipped)
            << r.err;
    }
    // Measuring reports the symbol's own size, and warns when the picture cuts it off.
    EXPECT_EQ(Quillon({"--measure"}).out, kDefaultFigures);
    const ProcessResult clipped = Quillon({"--measure", "Width=300"});
    EXPECT_EQ(clipped.out, kDefaultFigures);
    EXPECT_NE(clipped.err.find("warning: the symbol (363 x 36 pixels) is larger than the picture "
                               "(300 x 48) and is cut off"),
              std::string::npos)
        << clipped.err;
}

// A sized picture keeps the quiet zone clear: no bar within 2 modules of any edge, whatever
// the turn, and the border drawn outside it.
TEST(QuillonCliPicture, TheQuietZoneIsClearOnEverySide) {
    for (const std::string turn : {"0", "1", "2", "3"}) {
        for (const std::string border : {"0", "1", "2"}) {
            SCOPED_TRACE("Orientation=" + turn + " BorderStyle=" + border);
            const ProcessResult r = Quillon(
                {"Data=quiet zone", "Orientation=" + turn, "BorderStyle=" + border, "Columns=4"});
            ASSERT_EQ(r.status, 0) << r.err;
            const DecodedPng picture = Picture(r.out);
            ASSERT_TRUE(picture.ok);
            const int frame = border == "0" ? 0 : 2;  // the border's own band
            const int clear = 6;                      // 2 modules of 3 pixels
            int dark_near_edge = 0;
            for (int y = frame; y < picture.height - frame; ++y) {
                for (int x = frame; x < picture.width - frame; ++x) {
                    const bool near = x < frame + clear || y < frame + clear ||
                                      x >= picture.width - frame - clear ||
                                      y >= picture.height - frame - clear;
                    dark_near_edge += near && picture.Pixel(x, y) != 0xFFFFFF;
                }
            }
            EXPECT_EQ(dark_near_edge, 0);
            EXPECT_EQ(Decoded(r.out), "quiet zone");
        }
    }
}

// A sized picture is bounded like any other: by the component's 32767 pixels a side, and by
// the pixel limit; measuring still gives the figures, with the reason as a warning.
TEST(QuillonCliPicture, ASymbolTooLargeForAnyPictureIsRefusedWithTheReason) {
    // 9 cm is 340 pixels a module: 121 modules are 41140 pixels.
    const ProcessResult r = Quillon({"NarrowBarWidth=9", "-o", "/dev/null"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("need a picture of 42500 x 5440, more than 32767 pixels a side"),
              std::string::npos)
        << r.err;
    const ProcessResult measured = Quillon({"--measure", "NarrowBarWidth=9"});
    EXPECT_EQ(measured.status, 0);
    EXPECT_EQ(measured.out, "{\"rows\":4,\"columns\":3,\"width\":41140,\"height\":4080}\n");
    EXPECT_NE(measured.err.find("more than 32767 pixels a side"), std::string::npos);
    const ProcessResult limited = Quillon({"NarrowBarWidth=5", "-o", "/dev/null"});
    EXPECT_EQ(limited.status, 2);
    EXPECT_NE(limited.err.find("above this host's limit"), std::string::npos) << limited.err;
}

TEST(QuillonCliPicture, PixelLimitLikeThePageHostsAndOverridable) {
    const ProcessResult huge = Quillon({"Width=32767", "Height=32767", "-o", "/dev/null"});
    EXPECT_EQ(huge.status, 2);
    EXPECT_NE(huge.err.find("above this host's limit of 16777216 pixels (see --max-pixels)"),
              std::string::npos)
        << huge.err;
    const std::vector<std::string> size{"Width=300", "Height=200", "-o", "/dev/null"};
    std::vector<std::string> lowered_args = size, raised_args = size;
    lowered_args.push_back("--max-pixels=59999");
    raised_args.insert(raised_args.end(), {"--max-pixels", "60000"});
    const ProcessResult lowered = Quillon(lowered_args);
    EXPECT_EQ(lowered.status, 2) << "300 x 200 is 60000 pixels";
    const ProcessResult raised = Quillon(raised_args);
    EXPECT_EQ(raised.status, 0) << raised.err;
    EXPECT_EQ(Quillon({"--max-pixels=0"}).status, 2);
}

}  // namespace
