#include "library/session/MicroWarnings.h"

#include <algorithm>

#include "render/SymbolGeometry.h"

namespace {

// The least row height the standard allows, in modules.
constexpr std::int64_t kLeastRowModules = 2;

void WarnOnce(std::string warning, std::vector<std::string>* warnings) {
    if (std::find(warnings->begin(), warnings->end(), warning) == warnings->end()) {
        warnings->push_back(std::move(warning));
    }
}

}  // namespace

void MicroWarnings::Accepted(const QuillonProperty& property, const VARIANT& converted,
                             const std::string& setting) {
    if (property.dispid == DISPID_QUILLON_SYMBOLOGY) symbology_ = converted.lVal;
    if (property.not_in_micro == nullptr) return;
    const auto same = [&](const auto& kept) { return kept.first == &property; };
    const auto kept = std::find_if(pdf417_settings_.begin(), pdf417_settings_.end(), same);
    if (kept != pdf417_settings_.end()) {
        kept->second = setting;
    } else {
        pdf417_settings_.emplace_back(&property, setting);
    }
}

void MicroWarnings::Warn(std::int64_t rows, std::int64_t columns, std::int64_t width,
                         std::int64_t height, std::vector<std::string>* warnings) const {
    if (!micro()) return;
    for (const auto& [property, setting] : pdf417_settings_) {
        WarnOnce(setting + " is ignored with Symbology=1: " + property->not_in_micro, warnings);
    }
    // The figures are ModuleWidth × the row's modules and rows × RowHeight.
    const std::int64_t module = width / MicroRowModules(static_cast<std::int32_t>(columns));
    if (rows > 0 && height < kLeastRowModules * module * rows) {
        WarnOnce("the MicroPDF417 rows (" + std::to_string(height / rows) +
                     " pixels high) are under " + std::to_string(kLeastRowModules) + " modules (" +
                     std::to_string(kLeastRowModules * module) +
                     " pixels), the least its readers are promised; set Y2XRatio to " +
                     std::to_string(kLeastRowModules) + " or more",
                 warnings);
    }
}
