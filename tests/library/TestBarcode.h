// A libquillon barcode object as the library's tests hold it: freed when it goes, set up from
// Name=Value pairs, with its warnings, PNG and Macro PDF417 sets at hand.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "quillon/quillon.h"

using TestSettings = std::vector<std::pair<const char*, const char*>>;

struct Barcode {
    quillon_barcode* b = quillon_create();
    Barcode() = default;
    explicit Barcode(const TestSettings& settings) {
        for (const auto& [name, value] : settings) {
            EXPECT_EQ(quillon_set(b, name, value), QUILLON_OK) << quillon_message(b);
        }
    }
    ~Barcode() { quillon_free(b); }
    Barcode(const Barcode&) = delete;
    Barcode& operator=(const Barcode&) = delete;

    std::vector<std::string> Warnings() const {
        std::vector<std::string> all;
        for (size_t i = 0; i < quillon_warning_count(b); ++i)
            all.emplace_back(quillon_warning(b, i));
        return all;
    }
    std::string Png() {
        unsigned char* png = nullptr;
        size_t size = 0;
        EXPECT_EQ(quillon_png(b, &png, &size), QUILLON_OK) << quillon_message(b);
        std::string file(reinterpret_cast<char*>(png), size);
        quillon_free_buffer(png);
        return file;
    }
    // The set's PNGs, and its status in *status.
    std::vector<std::string> Set(const std::string& data, quillon_data_mode mode, int segments,
                                 quillon_status* status) {
        quillon_png_set* set = nullptr;
        *status = quillon_macro_png(b, data.data(), data.size(), mode, segments, &set);
        std::vector<std::string> files;
        for (size_t i = 0; set != nullptr && i < set->count; ++i) {
            files.emplace_back(reinterpret_cast<char*>(set->pngs[i]), set->sizes[i]);
        }
        quillon_free_png_set(set);
        return files;
    }
};
