#include "platform/winapi/Memory.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {
thread_local int allocations_until_failure = 0;

// Blocks this large (pictures of several million pixels) are placed on 2 MB boundaries and
// offered to the kernel for huge pages: touching them the first time then costs one page
// fault per 2 MB instead of one per 4 KB.
constexpr SIZE_T kHugePage = SIZE_T{2} << 20;
constexpr SIZE_T kLargeBlock = SIZE_T{8} << 20;
}  // namespace

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    if (allocations_until_failure > 0 && --allocations_until_failure == 0) return nullptr;
    if (cb >= kLargeBlock) {
        void* block = nullptr;
        if (posix_memalign(&block, kHugePage, cb) != 0) return nullptr;
        madvise(block, cb & ~(kHugePage - 1), MADV_HUGEPAGE);  // a hint: its result is not needed
        return block;
    }
    return std::malloc(cb == 0 ? 1 : cb);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}

void PlatformFailNthAllocation(int n) {
    allocations_until_failure = n > 0 ? n : 0;
}
