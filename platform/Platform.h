// The one header the component includes for the platform API: automation types, text
// conversion, drawing, global memory and error information. On Windows they are the system's
// own; on Linux our stand-ins in platform/winapi/, which keep the same names, types and
// behaviour.
#pragma once

#ifdef _WIN32
// windows.h first: the OLE headers rely on what it defines.
#include <ole2.h>
#include <oleauto.h>
#include <windows.h>
#else
#include "platform/winapi/WinApi.h"
#endif
