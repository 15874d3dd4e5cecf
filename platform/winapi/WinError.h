// Win32 error codes, as the registry and the kernel calls return them, and their HRESULT form.
// They are long, as on Windows, so that they compare cleanly with both LONG and DWORD results.
#pragma once

#include "platform/winapi/HResult.h"

constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
constexpr long ERROR_INVALID_HANDLE = 6;
constexpr long ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr long ERROR_OUTOFMEMORY = 14;
constexpr long ERROR_INVALID_PARAMETER = 87;
constexpr long ERROR_INSUFFICIENT_BUFFER = 122;
constexpr long ERROR_BAD_PATHNAME = 161;
constexpr long ERROR_MORE_DATA = 234;
constexpr long ERROR_NO_MORE_ITEMS = 259;
constexpr long ERROR_CANTOPEN = 1011;
constexpr long ERROR_CANTREAD = 1012;
constexpr long ERROR_CANTWRITE = 1013;
constexpr long ERROR_REGISTRY_CORRUPT = 1015;
constexpr long ERROR_KEY_DELETED = 1018;
constexpr long ERROR_NO_UNICODE_TRANSLATION = 1113;

constexpr HRESULT HRESULT_FROM_WIN32(long error) {
    return error <= 0 ? static_cast<HRESULT>(error)
                      : MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32,
                                     static_cast<unsigned>(error) & 0xFFFF);
}
