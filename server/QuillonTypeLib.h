// The type library TarvexQuillonLib as data: on Linux it stands in for the compiled library
// that the server carries as a resource. Both are generated from the interface's description
// (component/contract/IQuillon.toml): the IDL that a Windows build compiles into that resource,
// and the tables of QuillonTypeLib.cpp, which only Linux builds. On Windows the server's mention
// of the data in SERVERKIT_ENTRY_POINTS goes unused, so the type is only declared here
// (platform/runtime/TypeDescription.h defines it).
#pragma once

struct TypeLibDescription;

extern const TypeLibDescription kTarvexQuillonLib;
