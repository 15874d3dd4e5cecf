// IQuillon's settable properties as data: for each its name, dispatch identifier, declared
// type, default and accepted values, and what it does. The accessors check values against
// the ranges below; the hosts' help, warnings and demo page, and the tests, read the table.
#pragma once

#include <cfloat>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "component/contract/IQuillon.h"
#include "component/state/SymbolLimits.h"

// A closed range of integers.
struct IntegerRange {
    std::int32_t low;
    std::int32_t high;
    constexpr bool Contains(std::int64_t v) const { return v >= low && v <= high; }
};

// The reals above `above` and at most `at_most`; NaN is in no range.
struct RealRange {
    double above;
    double at_most;
    constexpr bool Contains(double v) const { return v > above && v <= at_most; }
};

// What each accessor accepts; any other value is ignored and the setting keeps its value.
constexpr IntegerRange kBorderStyleRange{0, 2};
constexpr IntegerRange kEccLevelRange{0, kMaxEccLevel};
constexpr IntegerRange kOrientationRange{0, 3};
constexpr IntegerRange kColumnsRange{2, kMaxColumns};
// Rows takes the range of Columns, not the rows a symbol may have: once set it cannot return
// to 0, but 2 asks for no more than every symbol has anyway.
constexpr IntegerRange kRowsRange = kColumnsRange;
constexpr IntegerRange kPictureSideRange{1, 32767};
constexpr IntegerRange kColourRange{0, 0x7FFFFFFF};
constexpr IntegerRange kModeRange{0, 2};
constexpr RealRange kY2XRatioRange{0.0, 5.0};
// Kept in single precision, so a width must be a positive, finite float.
constexpr RealRange kNarrowBarWidthRange{0.0, FLT_MAX};

enum class PropertyValues {
    kAnyValue,  // every value is taken (the booleans)
    kText,      // Data: refused with an error, not ignored, beyond kMaxDataLength bytes
    kIntegers,  // the `integers` range
    kReals,     // the `reals` range, checked on the single-precision value the object keeps
};

struct QuillonProperty {
    const char* name;
    DISPID dispid;
    VARTYPE type;               // the declared type a script's value is converted to
    const char* type_name;      // the declared type as people read it
    const char* default_value;  // a new object's value, as a script would write it
    PropertyValues values;
    IntegerRange integers;
    RealRange reals;
    const char* help;  // what the property does, in one line

    // Whether the object keeps `converted`, a value of the declared type, or ignores it.
    bool Accepts(const VARIANT& converted) const;
    // The accepted values as people read them: "0..2", "above 0, at most 5", ...
    std::string AcceptedText() const;
};

// In the order of the interface.
std::span<const QuillonProperty> QuillonProperties();
// Names compare without regard to ASCII case, as dispatch compares them; null when none.
const QuillonProperty* FindQuillonProperty(std::string_view name);
