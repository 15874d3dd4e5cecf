#include "platform/Memory.h"

#include <cstdlib>

namespace {
thread_local int allocations_until_failure = 0;
}

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    if (allocations_until_failure > 0 && --allocations_until_failure == 0) return nullptr;
    return std::malloc(cb == 0 ? 1 : cb);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}

void PlatformFailNthAllocation(int n) {
    allocations_until_failure = n > 0 ? n : 0;
}
