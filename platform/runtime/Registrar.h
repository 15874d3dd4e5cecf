// The registrar: runs a registration script (platform/common/RegistrarScript.h describes the
// language) against HKEY_CLASSES_ROOT, to register or to unregister what it describes. The
// counterpart of the Windows registrar object that self-registering servers use.
//
// Registering writes exactly what the script says, in its order: keys are created, default
// and named values set; a ForceRemove key is first deleted with everything below it; a Delete
// key is deleted and not written. Registering twice leaves the same entries.
//
// Unregistering undoes it: a ForceRemove key goes whole; a NoRemove key stays, with its own
// values, and its subkeys are processed; any other key loses the values the script writes
// (its default value and its val entries) and goes when nothing else remains in it, so that
// values and subkeys that others put there survive. Delete keys are left alone. Keys the
// script names that do not exist are no error.
//
// Either way the script is parsed whole first and the store is changed in one update, so a
// script with an error changes nothing. On failure the thread's error object says why (a
// script error with its line number), as does *message when given.
#pragma once

#include <string>
#include <string_view>

#include "platform/common/RegistrarScript.h"
#include "platform/winapi/HResult.h"

using RegistrarReplacements = platform::RegistrarReplacementMap;

// E_INVALIDARG for an error in the script (or a replacement it names and the caller did not
// give); HRESULT_FROM_WIN32 of the registry's code when the store cannot be read or written.
PLATFORM_CPP_API HRESULT RegistrarRegister(std::string_view script,
                                           const RegistrarReplacements& replacements,
                                           std::string* message = nullptr);
PLATFORM_CPP_API HRESULT RegistrarUnregister(std::string_view script,
                                             const RegistrarReplacements& replacements,
                                             std::string* message = nullptr);
