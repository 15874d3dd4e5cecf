#include "platform/serverkit/ModuleLock.h"

#include <atomic>

namespace serverkit {
namespace {

std::atomic<LONG> lock_count{0};

}  // namespace

void LockModule() {
    lock_count.fetch_add(1);
}

void UnlockModule() {
    lock_count.fetch_sub(1);
}

LONG ModuleLockCount() {
    return lock_count.load();
}

HRESULT ModuleCanUnloadNow() {
    return lock_count.load() == 0 ? S_OK : S_FALSE;
}

}  // namespace serverkit
