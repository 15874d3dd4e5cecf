// The SVG picture draws exactly the pixels of the PNG: librsvg (rsvg-convert) rasterises it
// at its own size, libpng reads both, and every pixel must match.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/hosts/CliHelpers.h"

namespace {

struct Setting {
    std::vector<std::string> args;
    const char* what;
};

// Chosen to cover what changes the drawn runs: module size, row height, rotation, border,
// truncation, colours inside and outside the 16-colour palette, clipping, and symbol size.
const Setting kSettings[] = {
    {{"Width=300", "Height=200"}, "the component's default size: clipped at both sides"},
    {{}, "the default symbol in its quiet zone"},
    {{"--fit", "--quiet-zone=0"}, "the default symbol, fitted without a quiet zone"},
    {{"--fit", "Data=Hello, SVG", "Mode=1"}, "text compaction"},
    {{"--fit", "Data=0123456789 mixed ~ text", "Mode=2", "Columns=6"}, "mixed, six columns"},
    {{"--fit", "TruncateSymbol=True", "Data=truncated"}, "truncated rows"},
    {{"--fit", "Orientation=1", "Data=a quarter turn"}, "turned 90 degrees"},
    {{"--fit", "Orientation=2", "Data=half a turn"}, "turned 180 degrees"},
    {{"--fit", "Orientation=3", "Data=three quarters"}, "turned 270 degrees"},
    {{"Width=500", "Height=120", "BorderStyle=1"}, "dashed border"},
    {{"Width=420", "Height=90", "BorderStyle=2", "Orientation=2"}, "solid border, turned"},
    {{"--fit", "BarColor=#000080", "BackColor=#C0C0C0"}, "palette colours"},
    {{"--fit", "BarColor=#1E90FF", "BackColor=#FFFFE0"}, "colours matched to the palette"},
    {{"--fit", "BarColor=#FFFFFF", "BackColor=#000000"}, "white on black"},
    {{"--fit", "NarrowBarWidth=0.01"}, "one-pixel modules"},
    {{"--fit", "NarrowBarWidth=0.2", "Y2XRatio=1"}, "wide modules, square rows"},
    {{"--fit", "Y2XRatio=5", "Rows=12"}, "tall rows, a row minimum"},
    {{"--fit", "ErrorCorrectionLevel=6", "Data=more error correction"}, "many rows"},
    {{"Width=200", "Height=400", "Orientation=1", "Columns=8"}, "turned and clipped"},
    {{"--fit", "Columns=30", "Data=" + std::string(300, 'W')}, "thirty columns"},
    {{"Width=1", "Height=1"}, "one pixel"},
    {{"Width=5", "Height=5", "NarrowBarWidth=0.5"}, "one bar's pixels only"},
};

TEST(SvgPicture, RasterisedByLibrsvgItIsThePngPixelForPixel) {
    TemporaryDirectory dir;
    for (const Setting& s : kSettings) {
        SCOPED_TRACE(s.what);
        std::vector<std::string> png_args = s.args;
        png_args.insert(png_args.end(), {"-o", dir / "picture.png"});
        std::vector<std::string> svg_args = s.args;
        svg_args.insert(svg_args.end(), {"-o", dir / "picture.svg"});
        ASSERT_EQ(Quillon(png_args).status, 0);
        ASSERT_EQ(Quillon(svg_args).status, 0);
        const ProcessResult raster = RunProgram(
            RSVG_CONVERT_PATH, {dir / "picture.svg", "--format=png", "-o", dir / "raster.png"});
        ASSERT_EQ(raster.status, 0) << raster.err;

        const DecodedPng expected = Picture(ReadFile(dir / "picture.png"));
        const DecodedPng drawn = Picture(ReadFile(dir / "raster.png"));
        ASSERT_TRUE(expected.ok && drawn.ok);
        ASSERT_EQ(drawn.width, expected.width);
        ASSERT_EQ(drawn.height, expected.height);
        int wrong = 0;
        for (int y = 0; y < expected.height; ++y) {
            for (int x = 0; x < expected.width; ++x) {
                if (drawn.Pixel(x, y) != expected.Pixel(x, y) && wrong++ == 0) {
                    ADD_FAILURE() << "first wrong pixel at " << x << "," << y;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

// The picture is a rectangle of the background colour and, on it, the bars in one path of the
// bar colour: so even where bars outnumber the background (a symbol fitted without a quiet
// zone, with wide modules in square rows) the background is BackColor, and restyling the bars
// is one fill.
TEST(SvgPicture, TheBackgroundIsBackColorAndThePathsAreTheBars) {
    const struct {
        std::vector<std::string> args;
        std::string background, bars;
    } cases[] = {
        {{}, "#ffffff", "#000000"},
        {{"--fit", "--quiet-zone=0", "NarrowBarWidth=0.2", "Y2XRatio=1"}, "#ffffff", "#000000"},
        {{"BarColor=#000080", "BackColor=#C0C0C0"}, "#c0c0c0", "#000080"},
        {{"BarColor=#FFFFFF", "BackColor=#000000"}, "#000000", "#ffffff"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--format", "svg"});
        const ProcessResult r = Quillon(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("\n<rect width=\""), std::string::npos) << r.out.substr(0, 300);
        EXPECT_NE(r.out.find("fill=\"" + c.background + "\"/>\n"), std::string::npos)
            << r.out.substr(0, 300);
        const std::size_t first_path = r.out.find("<path ");
        ASSERT_NE(first_path, std::string::npos);
        const std::string bars = "<path fill=\"" + c.bars + "\"";
        EXPECT_EQ(r.out.substr(first_path, bars.size()), bars);
        EXPECT_EQ(r.out.find("<path ", first_path + 1), std::string::npos) << "one colour of bars";
    }
}

}  // namespace
