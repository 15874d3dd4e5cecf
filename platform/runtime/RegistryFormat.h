// The text form in which HKEY_CLASSES_ROOT is kept on disk. UTF-8, one line each:
//
//   Quillon Registry 1                 the first line, always
//   ; comment                          ignored, as are blank lines
//   [CLSID\{...}\InprocServer32]       a key (its path below HKEY_CLASSES_ROOT; [] is the root)
//   @="/usr/lib/libTarvexQuillon.so"   the key's default value
//   "ThreadingModel"="Apartment"       a named value
//
// Every key has its own section, empty keys included; a section lists the key's values. Value
// names and data are quoted, with the escapes \\ \" \n \r \t and \uXXXX (any other control
// character, zero included, and any unpaired surrogate), so that every string survives the
// round trip: whatever tree is written reads back as the same tree. Key names need no escapes:
// they hold no control characters and no backslashes, and a section ends at the last ']' of
// its line. Writing produces the keys in case-insensitive order.
#pragma once

#include <string>
#include <string_view>

#include "platform/runtime/RegistryTree.h"

namespace platform {

inline constexpr std::string_view kRegistryFileHeader = "Quillon Registry 1";

// Fills an empty root from the text; on failure returns false with "line N: what is wrong".
bool ParseRegistryText(std::string_view text, RegistryKeyNode* root, std::string* error);

std::string FormatRegistryText(const RegistryKeyNode& root);

}  // namespace platform
