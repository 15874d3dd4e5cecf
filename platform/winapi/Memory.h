// Memory: the task allocator, through which every platform allocation goes (strings, arrays,
// global memory, bitmaps), so that a test can make one of them fail on purpose, and global
// memory on top of it.
#pragma once

#include "platform/winapi/WinTypes.h"

PLATFORM_API LPVOID CoTaskMemAlloc(SIZE_T cb);
PLATFORM_API void CoTaskMemFree(LPVOID pv);

// Global memory, fixed blocks only: the handle is the block's address.
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_ZEROINIT = 0x0040;
PLATFORM_API HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
// Null on success, the handle when it could not be freed.
PLATFORM_API HGLOBAL GlobalFree(HGLOBAL hMem);

// Test hook, not part of the Windows API: the n-th allocation made by this thread from now on
// (1 = the next one) returns null; 0 switches the hook off. Other threads are not affected.
PLATFORM_API void PlatformFailNthAllocation(int n);
