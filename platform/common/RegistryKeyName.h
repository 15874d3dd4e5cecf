// What may name a registry key: the registration-script parser refuses other names, and the
// Linux registry store keeps to them so that every name can be written to its file as it is.
#pragma once

#include <string_view>

namespace platform {

// 1..255 characters of well-formed UTF-16 without backslashes or control characters.
bool IsValidKeyName(std::u16string_view name);

}  // namespace platform
