// What a MicroPDF417 request is told beyond its picture: each setting of PDF417 alone that it
// ignores (ErrorCorrectionLevel, Columns, ...: the contract's `not_in_micro`), and rows lower
// than the 2 modules its readers are promised. The settings may come in any order, so the
// warnings are given with the symbol, not with the settings.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "component/contract/QuillonProperties.h"

class MicroWarnings {
public:
    // A setting the component accepted, `setting` as messages show it ("Columns=5"), for a
    // property of PDF417 alone (`not_in_micro`; for the others it goes unread).
    void Accepted(const QuillonProperty& property, const VARIANT& converted,
                  const std::string& setting);
    std::int32_t symbology() const { return symbology_; }
    bool micro() const { return symbology_ == kSymbologyMicroPdf417; }

    // Appends the warnings of a symbol with these figures (its rows and data columns, and its
    // size in pixels as GetActualSize reports it) that `warnings` does not hold yet: the
    // symbols of a Macro set share them.
    void Warn(std::int64_t rows, std::int64_t columns, std::int64_t width, std::int64_t height,
              std::vector<std::string>* warnings) const;

private:
    std::int32_t symbology_ = kSymbologyPdf417;
    // The settings of PDF417 alone as last accepted, in the order first set.
    std::vector<std::pair<const QuillonProperty*, std::string>> pdf417_settings_;
};
