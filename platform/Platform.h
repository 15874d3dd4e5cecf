// The one header the component includes for the platform API. On Windows it is the system's
// own; on Linux our stand-ins, which keep the same names, types and behaviour.
#pragma once

#ifdef _WIN32
#include <oleauto.h>
#include <windows.h>
#else
#include "platform/Bstr.h"
#include "platform/Dispatch.h"
#include "platform/ErrorInfo.h"
#include "platform/Gdi.h"
#include "platform/Guid.h"
#include "platform/HResult.h"
#include "platform/Memory.h"
#include "platform/SafeArray.h"
#include "platform/TextConversion.h"
#include "platform/Unknown.h"
#include "platform/Variant.h"
#include "platform/WinTypes.h"
#endif
