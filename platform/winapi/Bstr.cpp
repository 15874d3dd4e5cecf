#include "platform/winapi/Bstr.h"

#include <cstring>
#include <limits>

#include "platform/winapi/Memory.h"

namespace {

// Largest byte length that still fits the 32-bit prefix with room for the terminator.
constexpr std::size_t kMaxBytes = std::numeric_limits<std::uint32_t>::max() - 8;

BSTR AllocateBytes(const void* source, std::size_t bytes) {
    if (bytes > kMaxBytes) return nullptr;
    auto* block = static_cast<unsigned char*>(CoTaskMemAlloc(sizeof(std::uint32_t) + bytes + 2));
    if (block == nullptr) return nullptr;
    const auto prefix = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &prefix, sizeof prefix);
    unsigned char* text = block + sizeof prefix;
    if (source != nullptr) {
        std::memcpy(text, source, bytes);
    } else {
        std::memset(text, 0, bytes);
    }
    text[bytes] = 0;
    text[bytes + 1] = 0;
    return reinterpret_cast<BSTR>(text);
}

unsigned char* BlockOf(BSTR bstr) {
    return reinterpret_cast<unsigned char*>(bstr) - 4;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr) return nullptr;
    std::size_t length = 0;
    while (psz[length] != 0) ++length;
    return AllocateBytes(psz, length * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui) {
    return AllocateBytes(pch, static_cast<std::size_t>(ui) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
    return AllocateBytes(psz, len);
}

UINT SysStringByteLen(BSTR bstr) {
    if (bstr == nullptr) return 0;
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, BlockOf(bstr), sizeof prefix);
    return prefix;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}

void SysFreeString(BSTR bstr) {
    if (bstr != nullptr) CoTaskMemFree(BlockOf(bstr));
}
