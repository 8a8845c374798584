// The engine's vector fast paths: which level is in force.
//
// SSE2 is part of every x86-64 processor, so its kernels are plain inline
// functions. AVX2 kernels are compiled for AVX2 alone (a target attribute or
// region, never -mavx2) and run only when the processor has AVX2, as asked
// at run time. Elsewhere MORVEL_SSE2 is 0 and only the scalar loops are
// compiled. The lane operations are in engine/internal/lanes.h.
//
// A kernel takes whole blocks of 16 (or 32) bytes while they hold only what
// it handles, and returns where it stopped, always at a character boundary;
// the scalar loop beside it takes over there. Kernels read only bytes in
// front of the end they are given and write at most kSlack bytes beyond
// what they add.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/engine.h"

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define MORVEL_SSE2 1
#include <emmintrin.h>
#else
#define MORVEL_SSE2 0
#endif

#if MORVEL_SSE2 && (defined(__GNUC__) || defined(__clang__))
#define MORVEL_AVX2 1
#include <immintrin.h>
#define MORVEL_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))
#else
#define MORVEL_AVX2 0
#endif

namespace morvel::internal {

// Given the lead bytes of a run of bytes (bit i for byte i) whose first byte
// starts a character, where a lead that starts a character takes the next
// byte as its second, the bytes so taken, whatever they are. (Leads alternate
// with their seconds along a run of leads, and every run of leads starts a
// character; adding flips the runs that start on odd bits.) A lead that
// starts a character at the top bit of a block of n bytes shows as bit n.
constexpr uint64_t PairSeconds(uint64_t leads) {
    constexpr uint64_t even = 0x5555555555555555ULL;
    const uint64_t follows = leads << 1;
    const uint64_t oddStarts = leads & ~even & ~follows;
    const uint64_t evenRuns = oddStarts + leads;
    return (even ^ (evenRuns << 1)) & follows;
}

// PairSeconds against walking the bytes one character at a time, for every
// pattern of leads in a block of 12 bytes.
constexpr bool PairSecondsAgreeWithAWalk() {
    for (uint64_t leads = 0; leads < (1u << 12); ++leads) {
        uint64_t seconds = 0;
        for (int i = 0; i < 12;) {
            if ((leads >> i) & 1) {
                seconds |= uint64_t{1} << (i + 1);
                i += 2;
            } else {
                i += 1;
            }
        }
        if (PairSeconds(leads) != seconds) return false;
    }
    return true;
}
static_assert(PairSecondsAgreeWithAWalk());

// The level in force, kept as an int; -1 until the processor has been asked.
extern std::atomic<int> g_vectorLevel;
VectorLevel ResolveVectorLevel();

inline VectorLevel CurrentVectorLevel() {
    const int level = g_vectorLevel.load(std::memory_order_relaxed);
    return level >= 0 ? static_cast<VectorLevel>(level) : ResolveVectorLevel();
}

// Whether the SSE2 kernels run (read once per call of an operation or per
// block of a converter, never per byte).
inline bool UseSse2() { return MORVEL_SSE2 && CurrentVectorLevel() >= VectorLevel::Sse2; }
inline bool UseAvx2() { return MORVEL_AVX2 && CurrentVectorLevel() >= VectorLevel::Avx2; }

// A core's Run at the level in force: its RunAt<false> (the scalar loops
// alone) at the scalar level, else its RunAt<true>, which calls the kernels.
template <class Core>
inline const uint8_t* RunAtLevel(Core& core, const uint8_t* p, const uint8_t* end, bool final, uint8_t*& out) {
    const VectorLevel level = CurrentVectorLevel();
    return level == VectorLevel::Scalar ? core.template RunAt<false>(level, p, end, final, out)
                                        : core.template RunAt<true>(level, p, end, final, out);
}

// After a kernel that stopped within its first kScalarStretch bytes, the
// scalar loop beside it goes on for this many bytes before the next try,
// so that text the kernels cannot take costs them little.
constexpr int64_t kScalarStretch = 32;

// A kernel: converts from p while it can, writes at o, returns where it
// stopped (see above).
using BlockKernel = const uint8_t* (*)(const uint8_t* p, const uint8_t* end, uint8_t*& o);

// A kernel behind the choice of level (RunBlocks below).
using BlockKernelAt = const uint8_t* (*)(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o);

// Runs the widest kernel the level allows (Wide: 32 bytes, Narrow: 16;
// either may be null where it is not built), then the narrow one on what
// the wide one left when it stopped for want of bytes: it stops that way
// only with at most `wideReach` bytes left.
template <BlockKernel Wide, BlockKernel Narrow, int64_t wideReach>
inline const uint8_t* RunBlocks(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o) {
    if constexpr (Wide != nullptr) {
        if (level >= VectorLevel::Avx2) {
            p = Wide(p, end, o);
            if (end - p > wideReach) return p;
        }
    }
    if constexpr (Narrow != nullptr) {
        if (level >= VectorLevel::Sse2) p = Narrow(p, end, o);
    }
    return p;
}

}  // namespace morvel::internal
