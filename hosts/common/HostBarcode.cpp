#include "hosts/common/HostBarcode.h"

#include <memory>

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
              Took(barcode, quillon_set_max_pixels(barcode, request.max_pixels), &result);
    const bool page = ok && request.page_context != nullptr &&
                      Took(barcode, quillon_start_page(barcode, request.page_context), &result);
    ok = ok && (request.page_context == nullptr || page);
    for (const auto& [name, value] : request.settings) {
        if (!ok) break;
        ok = Took(barcode, quillon_set_n(barcode, name.c_str(), value.data(), value.size()),
                  &result);
    }
    if (ok && request.data != nullptr) {
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
        }
    }
    if (page) quillon_end_page(barcode);
    return result;
}

std::string ComponentProblem() {
    const BarcodePtr barcode(quillon_create(), &quillon_free);
    if (barcode == nullptr) return "out of memory";
    return quillon_message(barcode.get());
}
