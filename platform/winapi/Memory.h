// The task allocator, through which every platform allocation goes (strings, arrays,
// global memory, bitmaps), so that a test can make one of them fail on purpose.
#pragma once

#include "platform/winapi/WinTypes.h"

PLATFORM_API LPVOID CoTaskMemAlloc(SIZE_T cb);
PLATFORM_API void CoTaskMemFree(LPVOID pv);

// Test hook, not part of the Windows API: the n-th allocation made by this thread from now on
// (1 = the next one) returns null; 0 switches the hook off. Other threads are not affected.
PLATFORM_API void PlatformFailNthAllocation(int n);
