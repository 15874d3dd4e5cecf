// The type library TarvexUnicode as data: on Linux it stands in for the compiled library
// that the server carries as a resource. converter/TarvexUnicode.idl is its source of truth, which
// a Windows build compiles into that resource; there ConverterTypeLib.cpp is not built and the
// server's mention of the data in SERVERKIT_ENTRY_POINTS goes unused, so the types are only
// declared here (platform/runtime/TypeDescription.h defines them).
#pragma once

struct TypeLibDescription;
struct InterfaceDescription;

extern const TypeLibDescription kTarvexUnicodeLib;
extern const InterfaceDescription kConverterInterface;
