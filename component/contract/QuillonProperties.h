// The settable properties of IQuillon, IQuillon2 and IQuillon3 as data: for each its name, dispatch
// identifier, declared type, default and accepted values, and what it does. The table is generated
// from the interface's description (IQuillon.toml) into QuillonPropertyTable.inc, included below.
// The accessors check values against the ranges it defines; the hosts' help, warnings and demo
// page, and the tests, read the table.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "component/contract/IQuillon.h"
#include "component/state/SymbolLimits.h"
#include "component/state/SymbolOptions.h"

// A closed range of integers.
struct IntegerRange {
    std::int32_t low;
    std::int32_t high;
    constexpr bool Contains(std::int64_t v) const { return v >= low && v <= high; }
};

// The integers of a list.
struct IntegerList {
    std::span<const std::int32_t> values;
    constexpr bool Contains(std::int64_t v) const {
        return std::find(values.begin(), values.end(), v) != values.end();
    }
};

// The reals above `above` and at most `at_most`; NaN is in no range.
struct RealRange {
    double above;
    double at_most;
    constexpr bool Contains(double v) const { return v > above && v <= at_most; }
};

enum class PropertyValues {
    kAnyValue,     // every value is taken (the booleans)
    kText,         // Data: refused with an error, not ignored, beyond kMaxDataLength bytes
    kDigitGroups,  // MacroFileId: refused with an error, not ignored, unless digits in groups
    kIntegers,     // the `integers` range
    kIntegerList,  // the `listed` integers
    kReals,        // the `reals` range, checked on the single-precision value the object keeps
};

struct QuillonProperty {
    const char* name;
    DISPID dispid;
    VARTYPE type;               // the declared type a script's value is converted to
    const char* type_name;      // the declared type as people read it
    const char* default_value;  // a new object's value, as a script would write it
    PropertyValues values;
    IntegerRange integers = {0, -1};
    RealRange reals = {0.0, 0.0};
    IntegerList listed = {};
    const char* accepted;  // the accepted values as people read them: "0..2", "above 0, at most 5"
    const char* help;      // what the property does, in one line
    // For a property of PDF417 alone, what a MicroPDF417 symbol does instead; else null.
    const char* not_in_micro = nullptr;

    // Whether the object keeps `converted`, a value of the declared type, or ignores it.
    bool Accepts(const VARIANT& converted) const;
    std::string AcceptedText() const { return accepted; }
};

// What each accessor accepts (k<Name>Range, or k<Name>List for a list; for text
// k<Name>LengthRange, or k<Name>GroupsRange and k<Name>GroupRange for digit groups; any other
// number is ignored and the setting keeps its value), and kQuillonProperties.
#include "component/contract/QuillonPropertyTable.inc"

// Where a range is a limit of the symbol itself, the two agree.
static_assert(kErrorCorrectionLevelRange.high == kMaxEccLevel);
static_assert(kColumnsRange.high == kMaxColumns);
static_assert(kDataLengthRange.high == kMaxDataLength);
static_assert(kEciRange.low == kNoEci && kEciRange.high == kMaxEci);
static_assert(kMacroSegmentIndexRange.low == kNoMacroSegment &&
              kMacroSegmentIndexRange.high == kMaxMacroSegmentIndex);
static_assert(kMacroSegmentCountRange.low == kNoMacroSegmentCount &&
              kMacroSegmentCountRange.high == kMaxMacroSegmentCount);
static_assert(kMacroFileIdGroupsRange.high == kMaxMacroFileIdGroups &&
              kMacroFileIdGroupRange.high == kMaxMacroFileIdGroupValue);
static_assert(kSymbologyRange.low == kSymbologyPdf417 &&
              kSymbologyRange.high == kSymbologyMicroPdf417);
static_assert(kMicroColumnsRange.low == kMicroColumnsChosen &&
              kMicroColumnsRange.high == kMaxMicroColumns);
static_assert(std::ranges::equal(std::span(kMicroRowsValues).subspan(1), kMicroRowCounts) &&
              kMicroRowsValues[0] == kMicroRowsChosen);

// The sides a picture may have, which Width and Height share.
constexpr IntegerRange kPictureSideRange = kWidthRange;
static_assert(kHeightRange.low == kPictureSideRange.low &&
              kHeightRange.high == kPictureSideRange.high);

// In the order of the interface.
std::span<const QuillonProperty> QuillonProperties();
// Names compare without regard to ASCII case, as dispatch compares them; null when none.
const QuillonProperty* FindQuillonProperty(std::string_view name);
