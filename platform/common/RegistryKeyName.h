// What may name a registry key: the registration-script parser refuses other names, and the
// Linux registry store keeps to them so that every name can be written to its file as it is.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// How deep keys may lie below HKEY_CLASSES_ROOT, as on Windows. The bound also keeps every
// recursive walk over keys (parsing a script, writing, copying or freeing a tree) within a
// small stack.
inline constexpr std::size_t kMaxRegistryDepth = 512;

// 1..255 characters of well-formed UTF-16 without backslashes or control characters.
bool IsValidKeyName(std::u16string_view name);

}  // namespace platform
