// libquillon's C API as a C program sees it: statuses and messages, the three data modes,
// both ways of getting the PNG, the SVG, the measurement and the warnings. Pictures are read
// back with libpng and zxing-cpp.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "quillon/quillon.h"
#include "tests/library/TestBarcode.h"
#include "tests/support/BarcodeDecoder.h"
#include "tests/support/PngReader.h"

namespace {

std::string Decoded(const std::string& png) {
    const DecodedPng picture =
        ReadPng(reinterpret_cast<const std::uint8_t*>(png.data()), png.size());
    if (!picture.ok) return "<unreadable PNG>";
    const auto bytes = DecodePdf417(picture);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<no symbol>";
}

TEST(Library, VersionIsTheHeadersAndCreationSucceeds) {
    EXPECT_STREQ(quillon_version(), QUILLON_VERSION);
    EXPECT_EQ(std::atoi(QUILLON_VERSION), QUILLON_VERSION_MAJOR);
    Barcode barcode;
    ASSERT_NE(barcode.b, nullptr);
    EXPECT_STREQ(quillon_message(barcode.b), "");
}

// Every failure is a status, with a message naming the property, the value and the reason.
TEST(Library, FailuresAreStatusesWithMessages) {
    const std::string too_long(5000, 'x');
    const struct {
        const char* name;
        const char* value;
        quillon_status status;
        const char* message;
    } cases[] = {
        {"Colums", "4", QUILLON_UNKNOWN_PROPERTY,
         "unknown property 'Colums'; did you mean 'Columns'?"},
        {"Columns", "four", QUILLON_BAD_VALUE, "Columns=four: 'four' is not a"},
        {"Columns", "99999", QUILLON_BAD_VALUE, "is out of range for"},
        {"BarColor", "#12345", QUILLON_BAD_VALUE, "is not a colour #RRGGBB"},
        {"Data", too_long.c_str(), QUILLON_REFUSED, "Data holds at most 4999 bytes"},
        {nullptr, "1", QUILLON_INVALID_ARGUMENT, "no property name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name == nullptr ? "(null)" : c.name);
        Barcode barcode;
        EXPECT_EQ(quillon_set(barcode.b, c.name, c.value), c.status);
        EXPECT_NE(std::string(quillon_message(barcode.b)).find(c.message), std::string::npos)
            << quillon_message(barcode.b);
    }
    Barcode full;
    quillon_set_int(full.b, "ErrorCorrectionLevel", 8);
    const std::string data(2000, 'x');
    ASSERT_EQ(quillon_set_data(full.b, data.data(), data.size(), QUILLON_DATA_BYTES), QUILLON_OK);
    quillon_measurement m;
    EXPECT_EQ(quillon_measure(full.b, &m), QUILLON_DOES_NOT_FIT);
    EXPECT_NE(std::string(quillon_message(full.b)).find("does not fit"), std::string::npos);

    Barcode limited;
    ASSERT_EQ(quillon_set_max_pixels(limited.b, 1000), QUILLON_OK);
    unsigned char* png = nullptr;
    size_t size = 0;
    EXPECT_EQ(quillon_png(limited.b, &png, &size), QUILLON_TOO_LARGE);
    EXPECT_EQ(png, nullptr);
    EXPECT_EQ(quillon_set_quiet_zone(limited.b, 101), QUILLON_INVALID_ARGUMENT);
    EXPECT_EQ(quillon_set_data(limited.b, "x", 1, static_cast<quillon_data_mode>(7)),
              QUILLON_INVALID_ARGUMENT);
    EXPECT_EQ(quillon_png(nullptr, &png, &size), QUILLON_INVALID_ARGUMENT);
    EXPECT_STREQ(quillon_message(nullptr), "no barcode object");
    EXPECT_EQ(quillon_warning(limited.b, 0), nullptr);
}

// Bytes are carried exactly, the zero byte and all 256 values included; UTF-8 text as its
// bytes; text mode as Windows-1252, with a warning for what it replaces.
TEST(Library, DataModes) {
    std::string every(256, '\0');
    for (int i = 0; i < 256; ++i) every[i] = static_cast<char>(i);
    const struct {
        std::string data;
        quillon_data_mode mode;
        std::string carried;
        const char* warning;  // the first warning's start, or nullptr
    } cases[] = {
        {every, QUILLON_DATA_BYTES, every, nullptr},
        {"Καλημέρα", QUILLON_DATA_UTF8, "Καλημέρα", nullptr},
        {"caf\xC3\xA9", QUILLON_DATA_TEXT, "caf\xE9", nullptr},
        {"Καλη", QUILLON_DATA_TEXT, "????", "Data: 4 characters become '?'"},
        {"", QUILLON_DATA_BYTES, "", "Data is empty"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.carried);
        Barcode barcode;
        quillon_set_int(barcode.b, "Columns", 8);
        ASSERT_EQ(quillon_set_data(barcode.b, c.data.data(), c.data.size(), c.mode), QUILLON_OK)
            << quillon_message(barcode.b);
        const std::vector<std::string> warnings = barcode.Warnings();
        if (c.warning == nullptr) {
            EXPECT_TRUE(warnings.empty()) << warnings[0];
        } else {
            ASSERT_FALSE(warnings.empty());
            EXPECT_EQ(warnings[0].rfind(c.warning, 0), 0u) << warnings[0];
        }
        if (!c.carried.empty()) {
            EXPECT_EQ(Decoded(barcode.Png()), c.carried);
        }
    }
    // Data by name follows quillon_set_data_mode, bytes by default; outside text mode the mode
    // owns HandleTilde.
    Barcode by_name;
    EXPECT_EQ(quillon_set_n(by_name.b, "data", "a\0~b", 4), QUILLON_OK);
    EXPECT_EQ(Decoded(by_name.Png()), std::string("a\0~b", 4));
    EXPECT_EQ(quillon_set(by_name.b, "HandleTilde", "True"), QUILLON_OK);
    ASSERT_EQ(by_name.Warnings().size(), 1u);
    EXPECT_NE(by_name.Warnings()[0].find("HandleTilde=True is ignored"), std::string::npos);
    ASSERT_EQ(quillon_set_data_mode(by_name.b, QUILLON_DATA_TEXT), QUILLON_OK);
    EXPECT_EQ(quillon_set_text(by_name.b, "~d065"), QUILLON_OK);
    EXPECT_EQ(Decoded(by_name.Png()), "~d065") << "UTF-8 text carries its tilde";
    EXPECT_EQ(quillon_set(by_name.b, "HandleTilde", "True"), QUILLON_OK);
    EXPECT_EQ(quillon_set(by_name.b, "Data", "~d065"), QUILLON_OK);
    EXPECT_EQ(Decoded(by_name.Png()), "A") << "text mode leaves HandleTilde to the caller";
}

// The PNG in the library's buffer and in the caller's are the same file; the caller's is
// asked for its size first. The typed setters convert as the text ones do.
TEST(Library, ThePngEitherWayAndTheTypedSetters) {
    Barcode text, typed;
    ASSERT_EQ(quillon_set(text.b, "Y2XRatio", "2.5"), QUILLON_OK);
    ASSERT_EQ(quillon_set(text.b, "Columns", "5"), QUILLON_OK);
    ASSERT_EQ(quillon_set(text.b, "BackColor", "#FFFF00"), QUILLON_OK);
    ASSERT_EQ(quillon_set_double(typed.b, "y2xratio", 2.5), QUILLON_OK);
    ASSERT_EQ(quillon_set_int(typed.b, "COLUMNS", 5), QUILLON_OK);
    ASSERT_EQ(quillon_set_int(typed.b, "BackColor", 0x00FFFF), QUILLON_OK);
    const std::string png = text.Png();
    EXPECT_EQ(typed.Png(), png);

    size_t size = 0;
    EXPECT_EQ(quillon_png_into(typed.b, nullptr, 0, &size), QUILLON_BUFFER_TOO_SMALL);
    EXPECT_EQ(size, png.size());
    std::vector<unsigned char> buffer(size - 1);
    EXPECT_EQ(quillon_png_into(typed.b, buffer.data(), buffer.size(), &size),
              QUILLON_BUFFER_TOO_SMALL);
    buffer.resize(size);
    ASSERT_EQ(quillon_png_into(typed.b, buffer.data(), buffer.size(), &size), QUILLON_OK);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), png);
    EXPECT_EQ(Decoded(png), "12");
}

// The picture is the symbol and a quiet zone of 2 modules unless Width or Height is set; a
// picture that cuts the symbol off is a warning, on each call that makes it.
TEST(Library, SizingMeasurementSvgAndWarnings) {
    Barcode barcode;
    quillon_measurement m{};
    ASSERT_EQ(quillon_measure(barcode.b, &m), QUILLON_OK);
    EXPECT_EQ(m.rows, 4);
    EXPECT_EQ(m.columns, 3);
    EXPECT_EQ(m.width, 363);  // 121 modules of 3 pixels
    EXPECT_EQ(m.height, 36);
    char* svg = nullptr;
    size_t size = 0;
    ASSERT_EQ(quillon_svg(barcode.b, &svg, &size), QUILLON_OK);
    EXPECT_EQ(std::strlen(svg), size);
    EXPECT_NE(std::string(svg).find("viewBox=\"0 0 375 48\""), std::string::npos) << svg;
    quillon_free_buffer(svg);

    ASSERT_EQ(quillon_set_int(barcode.b, "Width", 300), QUILLON_OK);
    for (int call = 0; call < 2; ++call) {
        size_t png_size = 0;
        quillon_png_into(barcode.b, nullptr, 0, &png_size);
        ASSERT_EQ(barcode.Warnings().size(), 1u);
        EXPECT_NE(barcode.Warnings()[0].find("is cut off"), std::string::npos);
    }
    ASSERT_EQ(quillon_set_fit(barcode.b, 1), QUILLON_OK);
    ASSERT_EQ(quillon_set_quiet_zone(barcode.b, 0), QUILLON_OK);
    const std::string fitted = barcode.Png();
    EXPECT_TRUE(barcode.Warnings().empty());
    const DecodedPng picture =
        ReadPng(reinterpret_cast<const std::uint8_t*>(fitted.data()), fitted.size());
    EXPECT_EQ(picture.width, 363);
    EXPECT_EQ(picture.height, 36);
    EXPECT_EQ(quillon_picture_pixels(barcode.b), 363 * 36);
}

// The picture's pixels are told also when the picture is refused for them, before it is drawn.
TEST(Library, APictureRefusedForItsSizeSaysHowLargeItWas) {
    const struct {
        long width, height;  // set, or 0 for the host's sizing
        long long limit;
        quillon_status status;
        long long pixels;  // 375 x 48: the default symbol (363 x 36) and 2 modules of 3 pixels
    } cases[] = {
        {0, 0, 0, QUILLON_OK, 375 * 48},
        {0, 0, 375 * 48, QUILLON_OK, 375 * 48},
        {0, 0, 375 * 48 - 1, QUILLON_TOO_LARGE, 375 * 48},
        {2000, 1000, 1999999, QUILLON_TOO_LARGE, 2000000},
        {2000, 1000, 2000000, QUILLON_OK, 2000000},
    };
    for (const auto& c : cases) {
        Barcode barcode;
        if (c.width != 0) {
            ASSERT_EQ(quillon_set_int(barcode.b, "Width", c.width), QUILLON_OK);
            ASSERT_EQ(quillon_set_int(barcode.b, "Height", c.height), QUILLON_OK);
        }
        ASSERT_EQ(quillon_set_max_pixels(barcode.b, c.limit), QUILLON_OK);
        unsigned char* png = nullptr;
        size_t size = 0;
        EXPECT_EQ(quillon_png(barcode.b, &png, &size), c.status) << c.width << " " << c.limit;
        quillon_free_buffer(png);
        EXPECT_EQ(quillon_picture_pixels(barcode.b), c.pixels) << c.width << " " << c.limit;
    }
}

// Objects on several threads at once, each thread joining the runtime by itself.
TEST(Library, ObjectsOnManyThreads) {
    std::vector<std::string> decoded(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([i, &decoded] {
            Barcode barcode;
            const std::string text = "thread " + std::to_string(i);
            quillon_set_text(barcode.b, text.c_str());
            decoded[i] = Decoded(barcode.Png());
        });
    }
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(decoded[i], "thread " + std::to_string(i));
}

}  // namespace
