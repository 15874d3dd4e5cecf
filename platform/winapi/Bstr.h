// BSTR: a UTF-16 string preceded by its length in bytes (32 bits) and followed by a zero
// character. A null BSTR is a valid empty string.
#pragma once

#include "platform/winapi/WinTypes.h"

PLATFORM_API BSTR SysAllocString(const OLECHAR* psz);
// Copies ui characters from pch (which may be null: the characters are then left zero).
PLATFORM_API BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui);
// A string of len bytes (an odd count is allowed); psz may be null.
PLATFORM_API BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);
PLATFORM_API UINT SysStringLen(BSTR bstr);
PLATFORM_API UINT SysStringByteLen(BSTR bstr);
PLATFORM_API void SysFreeString(BSTR bstr);
