// MicroPDF417 through the C API: Symbology by name and by its constant, the warnings of the
// settings of PDF417 alone that it ignores, whatever their order, and of rows under 2 modules;
// and the picture sized to MicroPDF417's own row widths (38, 55, 82, 99 modules).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "quillon/quillon.h"
#include "tests/library/TestBarcode.h"
#include "tests/support/PngReader.h"

namespace {

// The warnings that a measurement of these settings gives.
std::vector<std::string> MeasuredWarnings(const TestSettings& settings) {
    Barcode barcode(settings);
    quillon_measurement m{};
    EXPECT_EQ(quillon_measure(barcode.b, &m), QUILLON_OK) << quillon_message(barcode.b);
    return barcode.Warnings();
}

const std::string kSizeFromMicro =
    "is ignored with Symbology=1: a MicroPDF417 symbol takes its size from MicroColumns and "
    "MicroRows";
const std::string kFixedCorrection =
    "is ignored with Symbology=1: a MicroPDF417 symbol's size fixes its error correction";

// Each setting of PDF417 alone is warned of once, with its last value, in the order first
// set, before or after Symbology; with Symbology 0, or a value the component ignored, nothing.
TEST(Micro, SettingsOfPdf417AloneAreIgnoredWithAWarning) {
    const struct {
        TestSettings settings;
        std::vector<std::string> warnings;
    } cases[] = {
        {{{"Symbology", "1"}, {"Columns", "5"}}, {"Columns=5 " + kSizeFromMicro}},
        {{{"Columns", "5"}, {"ErrorCorrectionLevel", "4"}, {"Symbology", "1"}},
         {"Columns=5 " + kSizeFromMicro, "ErrorCorrectionLevel=4 " + kFixedCorrection}},
        {{{"symbology", "1"},
          {"TruncateSymbol", "True"},
          {"AutoErrorCorrection", "-1"},
          {"Rows", "4"}},
         {"TruncateSymbol=True is ignored with Symbology=1: a MicroPDF417 symbol has no "
          "truncated form",
          "AutoErrorCorrection=-1 " + kFixedCorrection, "Rows=4 " + kSizeFromMicro}},
        {{{"Columns", "5"}, {"Symbology", "1"}, {"Columns", "6"}}, {"Columns=6 " + kSizeFromMicro}},
        {{{"Symbology", "1"}, {"Symbology", "0"}, {"Columns", "5"}}, {}},
        {{{"Columns", "5"}, {"Symbology", "2"}}, {}},  // 2 is no symbology: still PDF417
        {{{"Symbology", "1"}, {"MicroColumns", "2"}, {"Mode", "2"}, {"Eci", "26"}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.size());
        EXPECT_EQ(MeasuredWarnings(c.settings), c.warnings);
    }
}

// Rows of 1 module (Y2XRatio 1) are warned of; the default 3 modules, and any rows of PDF417,
// are not.
TEST(Micro, RowsUnderTwoModulesAreWarnedOf) {
    const std::string low = "the MicroPDF417 rows (";
    const auto warned = [&](const TestSettings& settings) {
        const std::vector<std::string> warnings = MeasuredWarnings(settings);
        return std::any_of(warnings.begin(), warnings.end(),
                           [&](const std::string& w) { return w.rfind(low, 0) == 0; });
    };
    EXPECT_TRUE(warned({{"Symbology", "1"}, {"Y2XRatio", "1"}}));
    EXPECT_TRUE(warned({{"Y2XRatio", "1"}, {"Symbology", "1"}, {"Width", "900"}}));
    EXPECT_FALSE(warned({{"Symbology", "1"}}));
    EXPECT_FALSE(warned({{"Symbology", "1"}, {"Y2XRatio", "3"}, {"NarrowBarWidth", "0.2"}}));
    EXPECT_FALSE(warned({{"Y2XRatio", "1"}}));
}

// The symbols of a Macro set share the warnings: each is given once. (Symbology by the
// header's constant.)
TEST(Micro, AMacroSetWarnsOnce) {
    Barcode barcode(TestSettings{{"Columns", "5"}});
    ASSERT_EQ(quillon_set_int(barcode.b, "Symbology", QUILLON_MICROPDF417), QUILLON_OK);
    quillon_status status = QUILLON_OK;
    const std::vector<std::string> set =
        barcode.Set(std::string(300, 'x'), QUILLON_DATA_BYTES, 3, &status);
    ASSERT_EQ(status, QUILLON_OK) << quillon_message(barcode.b);
    EXPECT_EQ(set.size(), 3u);
    EXPECT_EQ(barcode.Warnings(), std::vector<std::string>{"Columns=5 " + kSizeFromMicro});
}

// GetActualSize's width is ModuleWidth × 38, 55, 82 or 99 (the stop bar included), and the
// picture the host sizes is that and a quiet zone of 2 modules of 3 pixels on every side; rows
// under 2 modules (Y2XRatio 1.8 gives rows of 5 pixels for 3-pixel modules) are warned of with
// their figures, 2 modules are not.
TEST(Micro, ThePictureIsSizedToMicroPdf417sRows) {
    const int modules[] = {38, 55, 82, 99};
    for (int columns = 1; columns <= 4; ++columns) {
        SCOPED_TRACE(columns);
        const std::string count = std::to_string(columns);
        Barcode barcode({{"Symbology", "1"}, {"MicroColumns", count.c_str()}, {"Data", "x"}});
        quillon_measurement m{};
        ASSERT_EQ(quillon_measure(barcode.b, &m), QUILLON_OK) << quillon_message(barcode.b);
        EXPECT_EQ(m.columns, columns);
        EXPECT_EQ(m.width, 3 * modules[columns - 1]);
        const std::string png = barcode.Png();
        const DecodedPng picture =
            ReadPng(reinterpret_cast<const std::uint8_t*>(png.data()), png.size());
        EXPECT_EQ(picture.width, m.width + 12);
        EXPECT_EQ(picture.height, m.height + 12);
    }
    EXPECT_EQ(MeasuredWarnings({{"Symbology", "1"}, {"Y2XRatio", "1.8"}}),
              std::vector<std::string>{"the MicroPDF417 rows (5 pixels high) are under 2 modules "
                                       "(6 pixels), the least its readers are promised; set "
                                       "Y2XRatio to 2 or more"});
    EXPECT_TRUE(MeasuredWarnings({{"Symbology", "1"}, {"Y2XRatio", "2"}}).empty());
}

}  // namespace
