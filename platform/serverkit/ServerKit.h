// The in-process server kit: what a self-registering server library is built from. Linked
// into each server (not into the platform runtime), so that each library has its own lock
// count and class objects. See ServerModule.h for how a server puts it together.
#pragma once

#include "platform/serverkit/ClassFactory.h"
#include "platform/serverkit/InterfaceTable.h"
#include "platform/serverkit/ModuleLock.h"
#include "platform/serverkit/Objects.h"
#include "platform/serverkit/ServerModule.h"
#include "platform/serverkit/TypeInfoDispatch.h"
#include "platform/serverkit/TypeLibrary.h"
