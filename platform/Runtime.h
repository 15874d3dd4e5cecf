// What servers and hosts call beyond the component's platform API: creating objects by class,
// the registry, type libraries, standard dispatch and value conversion. On Windows ole32,
// oleaut32 and advapi32 provide them through the headers Platform.h includes; on Linux our
// component runtime in platform/runtime/ does, and registers server libraries as regsvr does.
#pragma once

#include "platform/Platform.h"

#ifndef _WIN32
#include "platform/runtime/BuiltInServers.h"
#include "platform/runtime/ClassRuntime.h"
#include "platform/runtime/Registry.h"
#include "platform/runtime/ServerRegistration.h"
#include "platform/runtime/StandardDispatch.h"
#include "platform/runtime/TypeLibRegistry.h"
#include "platform/runtime/VariantConversion.h"
#endif
