// The type library TarvexQuillonLib as data: on Linux it stands in for the compiled library
// that the server carries as a resource. server/TarvexQuillon.idl is its source of truth, which a
// Windows build compiles into that resource; there QuillonTypeLib.cpp is not built and the
// server's mention of the data in SERVERKIT_ENTRY_POINTS goes unused, so the types are only
// declared here (platform/runtime/TypeDescription.h defines them).
#pragma once

struct TypeLibDescription;
struct InterfaceDescription;

extern const TypeLibDescription kTarvexQuillonLib;
extern const InterfaceDescription kIQuillonInterface;
