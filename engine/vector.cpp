// Which vector level the engine runs at: the widest the processor has,
// asked once, unless a test or benchmark lowers it.
#include "engine/internal/vector.h"

#include <bit>

#if MORVEL_AVX2
#include <cpuid.h>
#endif

#include "engine/internal/scan.h"

namespace morvel {
namespace internal {

std::atomic<int> g_vectorLevel{-1};

VectorLevel ResolveVectorLevel() {
    int expected = -1;
    const int supported = static_cast<int>(SupportedVectorLevel());
    g_vectorLevel.compare_exchange_strong(expected, supported, std::memory_order_relaxed);
    return static_cast<VectorLevel>(g_vectorLevel.load(std::memory_order_relaxed));
}

#if MORVEL_AVX2
namespace {
constexpr SplatRows MakeSplatRows() {
    SplatRows t{};
    for (int b = 0; b < 256; ++b) {
        for (int i = 0; i < 32; ++i) t.row[b][i] = static_cast<uint8_t>(b);
    }
    return t;
}
}  // namespace

const SplatRows kSplat32 = MakeSplatRows();

MORVEL_TARGET_AVX2 int64_t TextLengthAvx2(const uint8_t* p, int64_t n) {
    const __m256i zero = _mm256_setzero_si256(), sub = _mm256_set1_epi8(0x1A);
    int64_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        const unsigned hit = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(v, zero), _mm256_cmpeq_epi8(v, sub))));
        if (hit) return i + std::countr_zero(hit);
    }
    return i + TextLengthScalar(p + i, n - i);
}
#endif

}  // namespace internal

#if MORVEL_AVX2
namespace {

// AVX2 in the processor, and its 256-bit registers saved by the system
// (XCR0 bits 1 and 2). Asked with three CPUID instructions rather than
// libgcc's __builtin_cpu_supports, whose start-up code asks every leaf it
// knows: in a virtual machine each CPUID traps to the host (some 12 us
// each on the machine this was measured on), which made that a tenth of a
// short run.
bool HasAvx2() {
    unsigned maxLeaf, a, b, c, d;
    __cpuid(0, maxLeaf, b, c, d);
    if (maxLeaf < 7) return false;
    __cpuid(1, a, b, c, d);
    if ((c & bit_OSXSAVE) == 0 || (c & bit_AVX) == 0) return false;
    unsigned xcr0, xcr0High;
    __asm__("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    if ((xcr0 & 6) != 6) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & bit_AVX2) != 0;
}

}  // namespace
#endif

VectorLevel SupportedVectorLevel() {
#if MORVEL_AVX2
    static const bool avx2 = HasAvx2();
    if (avx2) return VectorLevel::Avx2;
#endif
#if MORVEL_SSE2
    return VectorLevel::Sse2;
#else
    return VectorLevel::Scalar;
#endif
}

VectorLevel ActiveVectorLevel() { return internal::CurrentVectorLevel(); }

VectorLevel SetVectorLevel(VectorLevel level) {
    const VectorLevel supported = SupportedVectorLevel();
    if (level > supported) level = supported;
    if (level < VectorLevel::Scalar) level = VectorLevel::Scalar;
    const VectorLevel before = internal::CurrentVectorLevel();
    internal::g_vectorLevel.store(static_cast<int>(level), std::memory_order_relaxed);
    return before;
}

}  // namespace morvel
