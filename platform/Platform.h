// The one header the component includes for the platform API. On Windows it is the system's
// own; on Linux our stand-ins, which keep the same names, types and behaviour.
#pragma once

#ifdef _WIN32
#include <oleauto.h>
#include <windows.h>
#else
#include "platform/Bstr.h"
#include "platform/ClassRuntime.h"
#include "platform/Dispatch.h"
#include "platform/DispatchTable.h"
#include "platform/ErrorInfo.h"
#include "platform/Gdi.h"
#include "platform/Guid.h"
#include "platform/HResult.h"
#include "platform/Memory.h"
#include "platform/Registrar.h"
#include "platform/Registry.h"
#include "platform/SafeArray.h"
#include "platform/ScriptingContext.h"
#include "platform/StandardDispatch.h"
#include "platform/TextConversion.h"
#include "platform/TypeDescription.h"
#include "platform/TypeInfo.h"
#include "platform/TypeLibObject.h"
#include "platform/TypeLibRegistry.h"
#include "platform/Unknown.h"
#include "platform/Variant.h"
#include "platform/VariantConversion.h"
#include "platform/WinError.h"
#include "platform/WinTypes.h"
#endif
