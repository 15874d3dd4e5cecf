// Macro PDF417 sets through the C API, and UTF-8 mode's ECI: zxing-cpp reads every symbol and
// joins the set as a reader joins a structured-append sequence; the bytes it gets must be the
// data given, and each symbol must say its place, the set's size and the set's file ID.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "quillon/quillon.h"
#include "tests/hosts/ByteCorpora.h"
#include "tests/library/TestBarcode.h"
#include "tests/support/BarcodeDecoder.h"
#include "tests/support/PngReader.h"

namespace {

DecodedPng Picture(const std::string& png) {
    return ReadPng(reinterpret_cast<const std::uint8_t*>(png.data()), png.size());
}

std::string Repeated(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

// The set as a reader sees it: joined back into the data, each symbol numbered in order with
// the set's size, one file ID for all.
void ExpectReadsBackAs(const std::vector<std::string>& files, const std::string& data) {
    std::vector<DecodedPng> pictures;
    std::string file_id;
    for (std::size_t i = 0; i < files.size(); ++i) {
        pictures.push_back(Picture(files[i]));
        const auto symbol = DecodePdf417Symbol(pictures.back());
        ASSERT_TRUE(symbol) << "symbol " << i << " is not read";
        EXPECT_EQ(symbol->sequenceIndex, static_cast<int>(i));
        EXPECT_EQ(symbol->sequenceSize, static_cast<int>(files.size()));
        if (i == 0) file_id = symbol->sequenceId;
        EXPECT_EQ(symbol->sequenceId, file_id);
    }
    const auto joined = JoinPdf417Set(pictures);
    ASSERT_TRUE(joined) << "zxing-cpp does not join the set";
    EXPECT_EQ(std::string(joined->begin(), joined->end()), data);
}

const std::string kBinary = RandomBytes(3000);  // the zero byte and high bytes among them
const std::string kGreek = Repeated("Καλημέρα κόσμε, ", 120);  // 3,480 UTF-8 bytes
const std::string kDigits = Repeated("0123456789", 500);

TEST(MacroSet, ZxingJoinsEverySetIntoTheData) {
    const struct {
        const char* name;
        std::string data;
        quillon_data_mode mode;
        int segments;
        TestSettings settings;
        int count;  // the symbols expected; 0: as auto chooses
    } cases[] = {
        {"binary, NUL and high bytes, auto", kBinary, QUILLON_DATA_BYTES, 0, {}, 0},
        {"binary in a chosen 5", kBinary, QUILLON_DATA_BYTES, 5, {}, 5},
        {"one symbol, with the terminator", "Hello", QUILLON_DATA_BYTES, 1, {}, 1},
        {"as many symbols as bytes", std::string("\0\xFF~", 3), QUILLON_DATA_BYTES, 3, {}, 3},
        {"UTF-8 cut between characters", kGreek, QUILLON_DATA_UTF8, 4, {}, 4},
        {"digits, optimized, auto",
         kDigits,
         QUILLON_DATA_BYTES,
         0,
         {{"OptimizeCompaction", "True"}},
         0},
        {"small symbols, auto",
         "Quillon splits this over several small symbols.",
         QUILLON_DATA_TEXT,
         0,
         {{"Columns", "2"}, {"ErrorCorrectionLevel", "3"}},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Barcode barcode(c.settings);
        quillon_status status = QUILLON_OK;
        const std::vector<std::string> files = barcode.Set(c.data, c.mode, c.segments, &status);
        ASSERT_EQ(status, QUILLON_OK) << quillon_message(barcode.b);
        if (c.count > 0) {
            EXPECT_EQ(files.size(), static_cast<std::size_t>(c.count));
        }
        ExpectReadsBackAs(files, c.data);
        if (c.segments == QUILLON_MACRO_AUTO && files.size() > 1) {
            // The fewest: one symbol less does not hold the data.
            barcode.Set(c.data, c.mode, static_cast<int>(files.size()) - 1, &status);
            EXPECT_EQ(status, QUILLON_DOES_NOT_FIT) << quillon_message(barcode.b);
        }
    }
}

// The same call gives the same files (the file ID comes from the data), a symbol asked for
// alone is that symbol of the set, and the object's own Data and settings are as they were.
TEST(MacroSet, IsTheSameEveryTimeAndLeavesTheObjectAsItWas) {
    Barcode barcode(TestSettings{{"Data", "kept"}, {"Columns", "6"}});
    const std::string before = barcode.Png();  // Columns raised by a piece must not stay
    quillon_status status = QUILLON_OK;
    const std::vector<std::string> first = barcode.Set(kBinary, QUILLON_DATA_BYTES, 0, &status);
    ASSERT_EQ(status, QUILLON_OK) << quillon_message(barcode.b);
    EXPECT_TRUE(barcode.Png() == before);
    Barcode other(TestSettings{{"Columns", "6"}});
    EXPECT_TRUE(other.Set(kBinary, QUILLON_DATA_BYTES, 0, &status) == first);
    for (int index = 0; index < static_cast<int>(first.size()); ++index) {
        unsigned char* png = nullptr;
        size_t size = 0;
        int count = 0;
        ASSERT_EQ(quillon_macro_segment_png(other.b, kBinary.data(), kBinary.size(),
                                            QUILLON_DATA_BYTES, 0, index, &png, &size, &count),
                  QUILLON_OK)
            << quillon_message(other.b);
        EXPECT_TRUE(std::string(reinterpret_cast<char*>(png), size) == first[index]) << index;
        EXPECT_EQ(count, static_cast<int>(first.size()));
        quillon_free_buffer(png);
    }
    // Other data, another file ID.
    const std::vector<std::string> changed =
        other.Set(kBinary.substr(1), QUILLON_DATA_BYTES, 0, &status);
    ASSERT_FALSE(changed.empty());
    EXPECT_NE(DecodePdf417Symbol(Picture(changed[0]))->sequenceId,
              DecodePdf417Symbol(Picture(first[0]))->sequenceId);
}

TEST(MacroSet, RefusesWhatItCannotMake) {
    const struct {
        const char* name;
        std::string data;
        int segments;
        int index;  // -1: the whole set
        TestSettings settings;
        quillon_status status;
        const char* message;
        quillon_data_mode mode = QUILLON_DATA_BYTES;
    } cases[] = {
        {"too many symbols",
         "abc",
         QUILLON_MAX_MACRO_SEGMENTS + 1,
         -1,
         {},
         QUILLON_REFUSED,
         "a Macro PDF417 set has 1 to 99 symbols here, not 100"},
        {"a negative count", "abc", -1, -1, {}, QUILLON_REFUSED, "1 to 99 symbols"},
        {"too much data",
         std::string(QUILLON_MAX_MACRO_DATA_BYTES + 1, 'a'),
         0,
         -1,
         {},
         QUILLON_REFUSED,
         "the data is 65537 bytes; a Macro PDF417 set carries at most 65536"},
        {"fewer bytes than symbols",
         "abc",
         4,
         -1,
         {},
         QUILLON_REFUSED,
         "a set of 4 symbols needs at least as many"},
        {"no data", "", 0, -1, {}, QUILLON_REFUSED, "a Macro PDF417 set needs data"},
        {"too few symbols",
         kBinary,
         2,
         -1,
         {},
         QUILLON_DOES_NOT_FIT,
         "the data does not fit in 2 symbols"},
        {"one symbol too few",
         kBinary.substr(0, 1500),
         1,
         -1,
         {},
         QUILLON_DOES_NOT_FIT,
         "the data does not fit in 1 symbol with these settings"},
        // About 500 bytes a symbol at level 8.
        {"more than 99 symbols",
         RandomBytes(QUILLON_MAX_MACRO_DATA_BYTES),
         0,
         -1,
         {{"ErrorCorrectionLevel", "8"}},
         QUILLON_DOES_NOT_FIT,
         "needs more than 99 symbols"},
        {"a symbol past the set",
         "abc",
         0,
         1,
         {},
         QUILLON_REFUSED,
         "there is no symbol 1 in a set of 1"},
        {"a negative symbol", "abc", 0, -2, {}, QUILLON_INVALID_ARGUMENT, "numbered from 0"},
        // Halves longer than Data holds do not fit either, as text or as bytes.
        {"text too long for two",
         Repeated("text ", 3000),
         2,
         -1,
         {},
         QUILLON_DOES_NOT_FIT,
         "does not fit in 2 symbols",
         QUILLON_DATA_TEXT},
        {"bytes too long for two",
         std::string(12000, 'a'),
         2,
         -1,
         {},
         QUILLON_DOES_NOT_FIT,
         "does not fit in 2 symbols"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Barcode barcode(c.settings);
        quillon_status status = QUILLON_OK;
        if (c.index == -1) {
            EXPECT_TRUE(barcode.Set(c.data, c.mode, c.segments, &status).empty());
        } else {
            unsigned char* png = nullptr;
            size_t size = 0;
            status = quillon_macro_segment_png(barcode.b, c.data.data(), c.data.size(),
                                               QUILLON_DATA_BYTES, c.segments, c.index, &png, &size,
                                               nullptr);
            EXPECT_EQ(png, nullptr);
        }
        EXPECT_EQ(status, c.status);
        EXPECT_NE(std::string(quillon_message(barcode.b)).find(c.message), std::string::npos)
            << quillon_message(barcode.b);
    }
}

// UTF-8 text that is not ASCII alone names its character set (ECI 26), so that a reader shows
// it as text; ASCII text, bytes and text mode stay as they were, and an Eci that is set wins.
TEST(Utf8Eci, NamesUtf8ForTextBeyondAscii) {
    const struct {
        const char* data;
        quillon_data_mode mode;
        TestSettings settings;
        bool eci;
    } cases[] = {
        {"Καλημέρα", QUILLON_DATA_UTF8, {}, true},
        {"plain ASCII", QUILLON_DATA_UTF8, {}, false},
        {"Καλημέρα", QUILLON_DATA_BYTES, {}, false},
        {"caf\xC3\xA9", QUILLON_DATA_TEXT, {}, false},
        {"Καλημέρα", QUILLON_DATA_UTF8, {{"Eci", "0"}}, false},
        {"plain ASCII", QUILLON_DATA_UTF8, {{"Eci", "3"}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data);
        Barcode barcode(c.settings);
        ASSERT_EQ(quillon_set_data(barcode.b, c.data, std::strlen(c.data), c.mode), QUILLON_OK);
        const auto symbol = DecodePdf417Symbol(Picture(barcode.Png()));
        ASSERT_TRUE(symbol);
        EXPECT_EQ(symbol->hasEci, c.eci);
        if (c.eci) {  // through the character set named
            EXPECT_EQ(symbol->text, c.data);
        }
    }
    // The ECI follows the data: ASCII after Greek on the same object has none again.
    Barcode barcode;
    quillon_set_text(barcode.b, "Καλημέρα");
    const std::string greek = barcode.Png();
    quillon_set_text(barcode.b, "ASCII");
    EXPECT_FALSE(DecodePdf417Symbol(Picture(barcode.Png()))->hasEci);
    quillon_set_text(barcode.b, "Καλημέρα");
    EXPECT_TRUE(barcode.Png() == greek);
}

}  // namespace
