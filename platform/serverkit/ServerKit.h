// The in-process server kit: what a self-registering server library is built from. Linked
// into each server (not into the platform runtime), so that each library has its own lock
// count and class objects. See ServerModule.h for how a server puts it together.
//
// A server ends with its exports, the same on both platforms:
//
//     SERVERKIT_ENTRY_POINTS(kClasses, kWidgetLib)
//
// kWidgetLib is the type library's description, which on Linux stands in for the TYPELIB
// resource; a Windows build embeds the compiled library as that resource instead, and the
// argument is not used there.
#pragma once

#include "platform/serverkit/ClassFactory.h"
#include "platform/serverkit/InterfaceTable.h"
#include "platform/serverkit/ModuleLock.h"
#include "platform/serverkit/Objects.h"
#include "platform/serverkit/ServerModule.h"
#include "platform/serverkit/TypeInfoDispatch.h"

#ifdef _WIN32
#include "platform/serverkit/windows/TypeLibrary.h"
#else
#include "platform/serverkit/linux/TypeLibrary.h"
#endif
