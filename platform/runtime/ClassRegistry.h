// What the class runtime reads from HKEY_CLASSES_ROOT.
#pragma once

#include <string>

#include "platform/winapi/Guid.h"

namespace platform {

// The registry form "{XXXXXXXX-...}" of a GUID.
std::u16string GuidText(REFGUID guid);

// The path in CLSID\{clsid}\InprocServer32's default value (UTF-8). Fails with
// REGDB_E_CLASSNOTREG when the class has none, REGDB_E_READREGDB when the store cannot be
// read; *message says which key is missing or why the store cannot be read.
HRESULT FindInprocServer(REFCLSID clsid, std::string* path, std::string* message);

}  // namespace platform
