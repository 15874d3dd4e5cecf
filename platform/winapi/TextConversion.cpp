#include "platform/winapi/TextConversion.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

thread_local DWORD last_error = 0;

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves undefined map to the
// C1 controls of the same value, as the platform's table does; every other byte is Latin-1.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsSingleByteCodePage(UINT code_page) {
    return code_page == CP_ACP || code_page == CP_THREAD_ACP || code_page == CP_WINDOWS_1252;
}

char16_t Windows1252ToUnicode(unsigned char byte) {
    return (byte >= 0x80 && byte <= 0x9F) ? kWindows1252High[byte - 0x80] : char16_t{byte};
}

// Returns the byte for a code point, or -1 when Windows-1252 has none.
int UnicodeToWindows1252(char32_t code_point) {
    if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
        return static_cast<int>(code_point);
    }
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == code_point) return 0x80 + i;
    }
    return -1;
}

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Reads one code point from UTF-16; an unpaired surrogate comes back as itself.
char32_t NextCodePoint(const char16_t* text, int length, int* i) {
    char32_t c = text[(*i)++];
    if (IsHighSurrogate(c) && *i < length && IsLowSurrogate(text[*i])) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[(*i)++] - 0xDC00);
    }
    return c;
}

void AppendUtf8(char32_t c, std::string* out) {
    if (IsHighSurrogate(c) || IsLowSurrogate(c)) c = 0xFFFD;
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes one UTF-8 sequence; malformed, overlong or surrogate sequences give U+FFFD and
// consume one byte, so that decoding always moves on.
char32_t NextUtf8(const unsigned char* text, int length, int* i) {
    const unsigned char lead = text[*i];
    int extra = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++*i;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        ++*i;
        return 0xFFFD;
    }
    if (*i + extra >= length) {  // truncated at the end of the input
        ++*i;
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char next = text[*i + k];
        if ((next & 0xC0) != 0x80) {
            ++*i;
            return 0xFFFD;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c)) {
        ++*i;
        return 0xFFFD;
    }
    *i += extra + 1;
    return c;
}

void AppendUtf16(char32_t c, std::u16string* out) {
    if (c >= 0x10000) {
        c -= 0x10000;
        out->push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out->push_back(static_cast<char16_t>(c));
    }
}

// Hands a finished conversion to the caller: its size when cbOut is 0, else the copy.
template <typename Char>
int Deliver(const std::basic_string<Char>& converted, Char* out, int capacity) {
    if (converted.size() > 0x7FFFFFFF) {
        last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const int size = static_cast<int>(converted.size());
    if (capacity == 0) return size;
    if (size > capacity) {
        last_error = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    converted.copy(out, converted.size());
    return size;
}

// Windows-1252 has one byte for each code point, so the bytes go straight where the caller
// wants them, as they are made: Data is converted on every put.
int ToSingleBytes(const char16_t* text, int length, char* out, int capacity,
                  const char* default_char, BOOL* used_default_char) {
    int count = 0;
    bool used_default = false;
    const int room = capacity == 0 ? length : capacity;  // only counted when there is no buffer
    for (int i = 0; i < length;) {
        // A run of ASCII, most text, is itself.
        const int run_end = i + std::min(length - i, room - count);
        if (capacity != 0) {
            // Eight characters at a time while all are ASCII: loops of a fixed length the
            // compiler turns into a few vector instructions.
            while (run_end - i >= 8) {
                char16_t wide[8];
                std::memcpy(wide, text + i, sizeof wide);
                char16_t any = 0;
                for (const char16_t c : wide) any |= c;
                if (any >= 0x80) break;
                char narrow[8];
                for (int k = 0; k < 8; ++k) narrow[k] = static_cast<char>(wide[k]);
                std::memcpy(out + count, narrow, sizeof narrow);
                i += 8, count += 8;
            }
            while (i < run_end && text[i] < 0x80) out[count++] = static_cast<char>(text[i++]);
        } else {
            while (i < run_end && text[i] < 0x80) ++i, ++count;
        }
        if (i == length) break;
        if (count == room) {
            last_error = ERROR_INSUFFICIENT_BUFFER;
            return 0;
        }
        if (text[i] < 0x80) continue;
        const int mapped = UnicodeToWindows1252(NextCodePoint(text, length, &i));
        used_default |= mapped < 0;
        const char byte = mapped >= 0               ? static_cast<char>(mapped)
                          : default_char != nullptr ? *default_char
                                                    : '?';
        if (capacity != 0) out[count] = byte;
        ++count;
    }
    if (used_default_char != nullptr) *used_default_char = used_default ? TRUE : FALSE;
    return count;
}

}  // namespace

DWORD GetLastError() {
    return last_error;
}
void SetLastError(DWORD dwErrCode) {
    last_error = dwErrCode;
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar) {
    const bool utf8 = CodePage == CP_UTF8;
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && lpMultiByteStr == nullptr) || dwFlags != 0 ||
        (!utf8 && !IsSingleByteCodePage(CodePage)) ||
        (utf8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr))) {
        last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    int length = cchWideChar;
    if (length == -1) {
        length = 0;
        while (lpWideCharStr[length] != 0) ++length;
        ++length;  // the terminating zero is converted too
    }
    if (!utf8)
        return ToSingleBytes(lpWideCharStr, length, lpMultiByteStr, cbMultiByte, lpDefaultChar,
                             lpUsedDefaultChar);
    std::string converted;
    converted.reserve(static_cast<std::size_t>(length));
    for (int i = 0; i < length;) AppendUtf8(NextCodePoint(lpWideCharStr, length, &i), &converted);
    return Deliver(converted, lpMultiByteStr, cbMultiByte);
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
    const bool utf8 = CodePage == CP_UTF8;
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr) || dwFlags != 0 ||
        (!utf8 && !IsSingleByteCodePage(CodePage))) {
        last_error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    int length = cbMultiByte;
    if (length == -1) {
        length = 0;
        while (lpMultiByteStr[length] != 0) ++length;
        ++length;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    if (!utf8) {
        // A character for each byte, written straight where the caller wants it, as
        // ToSingleBytes does the other way.
        if (cchWideChar == 0) return length;
        if (length > cchWideChar) {
            last_error = ERROR_INSUFFICIENT_BUFFER;
            return 0;
        }
        for (int i = 0; i < length; ++i) lpWideCharStr[i] = Windows1252ToUnicode(bytes[i]);
        return length;
    }
    std::u16string converted;
    converted.reserve(static_cast<std::size_t>(length));
    for (int i = 0; i < length;) AppendUtf16(NextUtf8(bytes, length, &i), &converted);
    return Deliver(converted, lpWideCharStr, cchWideChar);
}
