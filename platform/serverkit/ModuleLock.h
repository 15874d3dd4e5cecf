// The lock count of an in-process server library: every live object, every LockServer(TRUE)
// and the class object while it is referenced from outside hold one lock; the library may be
// unloaded when none is held. One count per library: the kit is linked into each server.
#pragma once

#include "platform/Platform.h"

namespace serverkit {

void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// What DllCanUnloadNow returns: S_OK when no lock is held, else S_FALSE.
HRESULT ModuleCanUnloadNow();

// Holds one lock for its lifetime. The object wrappers hold theirs in a base or member that is
// destroyed after the class's own destructor has run, so that the library cannot be unloaded
// while that destructor is still running.
class ModuleLockHolder {
public:
    ModuleLockHolder() { LockModule(); }
    ~ModuleLockHolder() { UnlockModule(); }
    ModuleLockHolder(const ModuleLockHolder&) = delete;
    ModuleLockHolder& operator=(const ModuleLockHolder&) = delete;
};

}  // namespace serverkit
