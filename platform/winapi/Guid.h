// GUIDs (IID, CLSID) and their registry string form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include "platform/winapi/HResult.h"
#include "platform/winapi/WinTypes.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
        for (int i = 0; i < 8; ++i) {
            if (a.Data4[i] != b.Data4[i]) return false;
        }
        return true;
    }
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
constexpr bool IsEqualIID(REFIID a, REFIID b) {
    return a == b;
}
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return a == b;
}

constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
constexpr IID IID_NULL = GUID_NULL;

// Characters in the registry form, braces included, without the terminating zero.
constexpr int kGuidStringLength = 38;

// Writes the registry form and its terminating zero; cchMax must be at least 39.
// Returns the characters written including the zero, or 0 when the buffer is too small.
PLATFORM_API int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int cchMax);
// Parses the registry form (braces required, hex digits of either case).
PLATFORM_API HRESULT IIDFromString(LPCOLESTR text, IID* iid);
PLATFORM_API HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
