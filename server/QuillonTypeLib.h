// The type library TarvexQuillonLib as data: on Linux it stands in for the compiled library
// that the server carries as a resource. server/TarvexQuillon.idl is its source of truth.
#pragma once

#include "platform/runtime/TypeDescription.h"

extern const TypeLibDescription kTarvexQuillonLib;
extern const InterfaceDescription kIQuillonInterface;
