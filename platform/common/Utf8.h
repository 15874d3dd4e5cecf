// Strict conversions between UTF-8 and UTF-16 for the platform's own files, scripts, paths
// and messages. (WideCharToMultiByte is the Windows call the component uses; these are
// internal and refuse malformed input instead of substituting U+FFFD when asked to.)
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// False on malformed UTF-8 (overlong forms, encoded surrogates, values above U+10FFFF,
// truncated sequences); *out is then unspecified.
bool Utf8ToUtf16(std::string_view text, std::u16string* out);

// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Lenient form for messages: malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16Lossy(std::string_view text);

// Decodes the one character at text[*i] and moves *i past it. On a malformed sequence it
// returns false and moves *i past the first byte only, so each stray byte can be reported.
bool DecodeUtf8At(std::string_view text, std::size_t* i, char32_t* c);

}  // namespace platform
