// Type library registrations that outlive the process: HKEY_CLASSES_ROOT\TypeLib and
// HKEY_CLASSES_ROOT\Interface, written and read as Windows hosts expect them.
//
// On Windows a type library is a resource of its module, found through the key
// TypeLib\{LIBID}\{major.minor}\{lcid}\win32 (the module's path). Here the module exports
// a function under kTypeLibResourceSymbol that returns the library's description;
// LoadRegTypeLib in another process finds the module in the registry, loads it and builds the
// library from that description. A module loaded
// for its type library stays loaded, as the mapped image of a loaded type library does.
//
// This store is connected to RegisterTypeLib, UnRegisterTypeLib and LoadRegTypeLib when the
// platform library is loaded.
#pragma once

#include "platform/runtime/TypeDescription.h"

using TypeLibResourceFunction = const TypeLibDescription* (*)();
constexpr const char* kTypeLibResourceSymbol = "PlatformTypeLibResource";
