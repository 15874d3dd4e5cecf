#include "platform/winapi/Memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

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

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    if ((uFlags & ~GMEM_ZEROINIT) != GMEM_FIXED) return nullptr;  // movable memory: not here
    void* block = CoTaskMemAlloc(dwBytes);
    if (block != nullptr && (uFlags & GMEM_ZEROINIT) != 0) std::memset(block, 0, dwBytes);
    return reinterpret_cast<HGLOBAL>(block);
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    CoTaskMemFree(reinterpret_cast<void*>(hMem));
    return nullptr;
}
