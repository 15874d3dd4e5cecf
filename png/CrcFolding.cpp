// CRC-32 by folding: the bytes are taken sixteen at a time as a polynomial, and a block is
// carried forward over the bytes that follow it by multiplying it, without carries, by x to
// the power of their bit count modulo the CRC polynomial, then added (exclusive or) into the
// block it lands on. Four blocks are carried at once, 64 bytes a step, and the last block left
// is reduced through the tables. Only for x86 processors, 32- or 64-bit, that have the
// carry-less multiply (PCLMULQDQ), which is asked of the processor when the program runs.
#include "png/Crc32.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define QUILLON_CRC_FOLDING 1
#include <emmintrin.h>
#include <wmmintrin.h>
// glibc answers from what its loader learnt of the processor at start. The compiler's own
// __builtin_cpu_supports brings a constructor that asks the processor again, in every process
// that loads the library, and each such question costs tens of microseconds in a virtual
// machine, where the hypervisor answers it: more than drawing a small symbol.
#if defined(__GLIBC__) && __has_include(<sys/platform/x86.h>)
#define QUILLON_CPU_FEATURES_FROM_GLIBC 1
// The header is written for C and spells its truth type _Bool, which clang's C++ does not know.
#if defined(__clang__) && !defined(_Bool)
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
#endif
#endif

#if defined(QUILLON_CRC_FOLDING)

namespace {

// x^n modulo the CRC polynomial x^32 + x^26 + ... + 1 (0x104C11DB7), bit k the coefficient of
// x^k.
constexpr std::uint32_t XPowerModulo(int n) {
    std::uint64_t r = 1;
    for (int i = 0; i < n; ++i) {
        r <<= 1;
        if ((r >> 32) != 0) r ^= 0x104C11DB7u;
    }
    return static_cast<std::uint32_t>(r);
}

// The bytes of a reflected CRC hold the highest powers in their lowest bits, so in a 64-bit
// lane the coefficient of x^k is bit 63 − k, and a carry-less product of two such lanes
// comes out multiplied by one more x. The constant that carries a lane over n bits is
// therefore x^(n − 1), laid out so.
constexpr std::uint64_t CarryOver(int n) {
    const std::uint32_t value = XPowerModulo(n - 1);
    std::uint64_t lane = 0;
    for (int k = 0; k < 32; ++k) {
        if (((value >> k) & 1) != 0) lane |= std::uint64_t{1} << (63 - k);
    }
    return lane;
}

// Carries a 16-byte block over `bits` bits: its first eight bytes (the higher powers) over
// 64 more than the last eight.
struct Fold {
    std::uint64_t first, last;
};
constexpr Fold FoldOver(int bits) {
    return {CarryOver(bits + 64), CarryOver(bits)};
}
constexpr Fold kOverFourBlocks = FoldOver(4 * 128);
constexpr Fold kOverOneBlock = FoldOver(128);

__attribute__((target("sse2,pclmul"))) inline __m128i Carry(__m128i block, __m128i fold) {
    return _mm_xor_si128(_mm_clmulepi64_si128(block, fold, 0x00),
                         _mm_clmulepi64_si128(block, fold, 0x11));
}

__attribute__((target("sse2,pclmul"))) inline __m128i Load(const unsigned char* bytes) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

__attribute__((target("sse2,pclmul"))) std::uint32_t Crc32Folded(std::uint32_t crc,
                                                                 const unsigned char* bytes,
                                                                 std::size_t count) {
    if (count < 64) return Crc32Sliced(crc, bytes, count);
    const __m128i four = _mm_set_epi64x(static_cast<long long>(kOverFourBlocks.last),
                                        static_cast<long long>(kOverFourBlocks.first));
    const __m128i one = _mm_set_epi64x(static_cast<long long>(kOverOneBlock.last),
                                       static_cast<long long>(kOverOneBlock.first));
    // The register goes into the first four bytes: a CRC that starts from it is the CRC from
    // zero of the bytes with the register added to their start.
    __m128i b0 = _mm_xor_si128(Load(bytes), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i b1 = Load(bytes + 16);
    __m128i b2 = Load(bytes + 32);
    __m128i b3 = Load(bytes + 48);
    bytes += 64;
    count -= 64;
    for (; count >= 64; bytes += 64, count -= 64) {
        b0 = _mm_xor_si128(Carry(b0, four), Load(bytes));
        b1 = _mm_xor_si128(Carry(b1, four), Load(bytes + 16));
        b2 = _mm_xor_si128(Carry(b2, four), Load(bytes + 32));
        b3 = _mm_xor_si128(Carry(b3, four), Load(bytes + 48));
    }
    __m128i block = _mm_xor_si128(Carry(b0, one), b1);
    block = _mm_xor_si128(Carry(block, one), b2);
    block = _mm_xor_si128(Carry(block, one), b3);
    for (; count >= 16; bytes += 16, count -= 16) {
        block = _mm_xor_si128(Carry(block, one), Load(bytes));
    }
    // The last block's remainder is the CRC from zero of its sixteen bytes.
    alignas(16) unsigned char last[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(last), block);
    return Crc32Sliced(Crc32Sliced(0, last, sizeof last), bytes, count);
}

}  // namespace

CrcFunction Crc32Folding() {
#if defined(QUILLON_CPU_FEATURES_FROM_GLIBC)
    const bool carry_less_multiply = CPU_FEATURE_ACTIVE(PCLMULQDQ);
#else
    __builtin_cpu_init();
    const bool carry_less_multiply = __builtin_cpu_supports("pclmul");
#endif
    return carry_less_multiply ? Crc32Folded : nullptr;
}

#else

CrcFunction Crc32Folding() {
    return nullptr;
}

#endif
