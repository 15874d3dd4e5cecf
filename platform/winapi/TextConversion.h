// Conversions between UTF-16 and single- or multi-byte text. On Linux the thread's ANSI code
// page (CP_ACP, CP_THREAD_ACP) is Windows-1252; CP_UTF8 is UTF-8.
#pragma once

#include "platform/winapi/WinError.h"
#include "platform/winapi/WinTypes.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;
constexpr UINT CP_WINDOWS_1252 = 1252;

PLATFORM_API DWORD GetLastError();
PLATFORM_API void SetLastError(DWORD dwErrCode);

// cchWideChar -1 converts up to and including the first zero character. cbMultiByte 0 asks
// for the size needed. Returns the bytes written (or needed), or 0 on failure (GetLastError).
// UTF-8 writes an unpaired surrogate as EF BF BD and takes no default character; the
// single-byte code page writes lpDefaultChar (or '?') for a character it has no byte for.
PLATFORM_API int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                     int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                     LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);
// cbMultiByte -1 converts up to and including the first zero byte. Malformed UTF-8 becomes
// U+FFFD. Returns the characters written (or needed), or 0 on failure.
PLATFORM_API int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                     int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar);
