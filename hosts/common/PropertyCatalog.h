// What the hosts know of the component's settable properties: name, declared type, default
// and accepted range, for help texts, the demo page and the warning about ignored values.
// The component itself stays the judge: a host only warns, it never refuses a value.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Platform.h"

struct PropertyInfo {
    const char* name;
    VARTYPE type;  // the declared type a string value is converted to
    const char* type_name;
    const char* default_value;
    const char* accepted;  // the accepted range, as people read it
    const char* meaning;
    // Whether the component stores the converted value; null where every value is taken.
    bool (*accepts)(const VARIANT& converted);
};

std::span<const PropertyInfo> Properties();
// Case-insensitive lookup, as dispatch names are.
const PropertyInfo* FindProperty(std::string_view name);
