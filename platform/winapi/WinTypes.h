// Scalar and handle types of the Windows API, with the widths the component relies on.
// OLECHAR is char16_t: automation strings are UTF-16 here as on Windows, so wchar_t
// (32 bits on Linux) is never used for them.
#pragma once

#include <cstddef>
#include <cstdint>

#define PLATFORM_API extern "C" __attribute__((visibility("default")))
// The platform's few C++ entry points (no Windows counterpart with a C signature), exported
// even to libraries built with hidden visibility.
#define PLATFORM_CPP_API __attribute__((visibility("default")))
#define STDMETHODCALLTYPE
// A wide string literal of the automation character type, as on Windows.
#define OLESTR(str) u##str
#define STDAPI PLATFORM_API HRESULT

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using INT = int;
using UINT = unsigned int;
using BOOL = int;
using CHAR = char;
using FLOAT = float;
using DOUBLE = double;
using SIZE_T = std::size_t;
using LPVOID = void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPBOOL = BOOL*;
using COLORREF = DWORD;  // 0x00BBGGRR

using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using BSTR = OLECHAR*;
using VARIANT_BOOL = std::int16_t;
using VARTYPE = std::uint16_t;
using DISPID = std::int32_t;
using MEMBERID = DISPID;
using LCID = DWORD;
using DATE = double;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;
constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Opaque handles. Each is a distinct pointer type so that they cannot be mixed up.
#define PLATFORM_DECLARE_HANDLE(name) \
    struct name##__;                  \
    using name = name##__*
PLATFORM_DECLARE_HANDLE(HWND);
PLATFORM_DECLARE_HANDLE(HINSTANCE);
PLATFORM_DECLARE_HANDLE(HKEY);
PLATFORM_DECLARE_HANDLE(HDC);
PLATFORM_DECLARE_HANDLE(HGDIOBJ);
PLATFORM_DECLARE_HANDLE(HBITMAP);
PLATFORM_DECLARE_HANDLE(HBRUSH);
PLATFORM_DECLARE_HANDLE(HPEN);
PLATFORM_DECLARE_HANDLE(HGLOBAL);
#undef PLATFORM_DECLARE_HANDLE
using HMODULE = HINSTANCE;
