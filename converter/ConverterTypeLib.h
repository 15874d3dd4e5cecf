// The type library TarvexUnicode as data: on Linux it stands in for the compiled library
// that the server carries as a resource. converter/TarvexUnicode.idl is its source of truth.
#pragma once

#include "platform/runtime/TypeDescription.h"

extern const TypeLibDescription kTarvexUnicodeLib;
extern const InterfaceDescription kConverterInterface;
