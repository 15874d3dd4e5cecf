// Our stand-ins for the part of the Windows API the component calls, as one header, the way
// windows.h and oleauto.h give it on Windows. Only Platform.h includes this.
#pragma once

#include "platform/winapi/Bstr.h"
#include "platform/winapi/Dispatch.h"
#include "platform/winapi/ErrorInfo.h"
#include "platform/winapi/Gdi.h"
#include "platform/winapi/Guid.h"
#include "platform/winapi/HResult.h"
#include "platform/winapi/Memory.h"
#include "platform/winapi/SafeArray.h"
#include "platform/winapi/TextConversion.h"
#include "platform/winapi/Unknown.h"
#include "platform/winapi/Variant.h"
#include "platform/winapi/WinError.h"
#include "platform/winapi/WinTypes.h"
