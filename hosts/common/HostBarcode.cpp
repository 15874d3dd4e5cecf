#include "hosts/common/HostBarcode.h"

#include <memory>
#include <string_view>

#include "library/PageHooks.h"

namespace {

using BarcodePtr = std::unique_ptr<quillon_barcode, decltype(&quillon_free)>;

// Takes a call's warnings and, when it failed, its status and message; true when it succeeded.
bool Took(quillon_barcode* barcode, quillon_status status, BarcodeResult* result) {
    const std::size_t count = quillon_warning_count(barcode);
    for (std::size_t i = 0; i < count; ++i)
        result->warnings.emplace_back(quillon_warning(barcode, i));
    if (status == QUILLON_OK) return true;
    result->status = status;
    result->message = quillon_message(barcode);
    return false;
}

// The PNG into the result's string: asked for its size first, which keeps it for the copy.
quillon_status PngInto(quillon_barcode* barcode, std::string* file) {
    std::size_t size = 0;
    quillon_status status = quillon_png_into(barcode, nullptr, 0, &size);
    if (status != QUILLON_BUFFER_TOO_SMALL) return status;
    file->resize(size);
    status = quillon_png_into(barcode, reinterpret_cast<unsigned char*>(file->data()), size, &size);
    file->resize(size);
    return status;
}

quillon_status SvgInto(quillon_barcode* barcode, std::string* file) {
    char* svg = nullptr;
    std::size_t size = 0;
    const quillon_status status = quillon_svg(barcode, &svg, &size);
    if (status == QUILLON_OK) file->assign(svg, size);
    quillon_free_buffer(svg);
    return status;
}

bool IsData(const std::string& name) {
    return FindQuillonProperty(name) == FindQuillonProperty("Data");
}

// The set's PNGs into the result: all of them, or the one asked for.
quillon_status MacroInto(quillon_barcode* barcode, std::string_view data, quillon_data_mode mode,
                         const MacroChoice& macro, BarcodeResult* result) {
    if (macro.only >= 0) {
        unsigned char* png = nullptr;
        std::size_t size = 0;
        const quillon_status status =
            quillon_macro_segment_png(barcode, data.data(), data.size(), mode, macro.segments,
                                      macro.only, &png, &size, &result->segment_count);
        if (status == QUILLON_OK) result->file.assign(reinterpret_cast<char*>(png), size);
        quillon_free_buffer(png);
        return status;
    }
    quillon_png_set* set = nullptr;
    const quillon_status status =
        quillon_macro_png(barcode, data.data(), data.size(), mode, macro.segments, &set);
    if (status != QUILLON_OK) return status;
    for (std::size_t i = 0; i < set->count; ++i) {
        result->files.emplace_back(reinterpret_cast<char*>(set->pngs[i]), set->sizes[i]);
    }
    result->segment_count = static_cast<int>(set->count);
    quillon_free_png_set(set);
    return QUILLON_OK;
}

}  // namespace

std::string BarcodeResult::MeasurementJson() const {
    return "{\"rows\":" + std::to_string(measurement.rows) +
           ",\"columns\":" + std::to_string(measurement.columns) +
           ",\"width\":" + std::to_string(measurement.width) +
           ",\"height\":" + std::to_string(measurement.height) + "}";
}

BarcodeResult MakeBarcode(const BarcodeRequest& request) {
    BarcodeResult result;
    const BarcodePtr owned(quillon_create(), &quillon_free);
    quillon_barcode* barcode = owned.get();
    if (barcode == nullptr) {
        result.status = QUILLON_TOO_LARGE;
        result.message = "out of memory";
        return result;
    }
    bool ok = Took(barcode, quillon_set_data_mode(barcode, request.settings_mode), &result) &&
              Took(barcode, quillon_set_fit(barcode, request.sizing.fit), &result) &&
              Took(barcode, quillon_set_quiet_zone(barcode, request.sizing.quiet_zone), &result) &&
              Took(barcode, quillon_set_max_pixels(barcode, request.max_pixels), &result) &&
              Took(barcode, quillon_set_compression(barcode, request.compress ? 1 : 0), &result);
    const bool page = ok && request.page_context != nullptr &&
                      Took(barcode, quillon_start_page(barcode, request.page_context), &result);
    ok = ok && (request.page_context == nullptr || page);
    // A set takes its data whole, longer than Data holds: the last Data setting, or `data`.
    const bool set = request.product == Product::kMacroSet;
    std::string_view set_data;
    quillon_data_mode set_mode = request.data_mode;
    if (request.data != nullptr) set_data = *request.data;
    for (const auto& [name, value] : request.settings) {
        if (!ok) break;
        if (set && IsData(name)) {
            if (request.data == nullptr) {
                set_data = value;
                set_mode = request.settings_mode;
            }
            continue;
        }
        ok = Took(barcode, quillon_set_n(barcode, name.c_str(), value.data(), value.size()),
                  &result);
    }
    if (ok && request.data != nullptr && !set) {
        ok = Took(barcode,
                  quillon_set_data(barcode, request.data->data(), request.data->size(),
                                   request.data_mode),
                  &result);
    }
    if (ok) {
        switch (request.product) {
            case Product::kPng:
                Took(barcode, PngInto(barcode, &result.file), &result);
                break;
            case Product::kSvg:
                Took(barcode, SvgInto(barcode, &result.file), &result);
                break;
            case Product::kMeasurement:
                Took(barcode, quillon_measure(barcode, &result.measurement), &result);
                break;
            case Product::kMacroSet:
                Took(barcode, MacroInto(barcode, set_data, set_mode, request.macro, &result),
                     &result);
                break;
        }
        result.picture_pixels = quillon_picture_pixels(barcode);
    }
    if (page) quillon_end_page(barcode);
    return result;
}

std::string ComponentProblem() {
    const BarcodePtr barcode(quillon_create(), &quillon_free);
    if (barcode == nullptr) return "out of memory";
    return quillon_message(barcode.get());
}
