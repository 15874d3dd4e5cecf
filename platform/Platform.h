// The one header the component includes for the platform API: automation types, text
// conversion, drawing, global memory and error information. On Windows they are the system's
// own; on Linux our stand-ins in platform/winapi/, which keep the same names, types and
// behaviour.
#pragma once

#ifdef _WIN32
// windows.h first, in a block of its own that include sorting leaves in place: the OLE headers
// rely on what it defines.
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>
#else
#include "platform/winapi/WinApi.h"
#endif
