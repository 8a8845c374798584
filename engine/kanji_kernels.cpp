// The vector kernels of the Shift-JIS, EUC-JP and JIS codecs
// (engine/internal/kanji_blocks.inc), compiled here once at both widths,
// behind the choice of level that euc.cpp and jis.cpp call.
#include <bit>
#include <cstring>

#include "engine/internal/kanji.h"

#define MORVEL_KERNEL_FILE "engine/internal/kanji_blocks.inc"
#include "engine/internal/kernel_file.h"

namespace morvel::internal {

// The widest kernel the level allows, then the 16-byte one on what the
// 32-byte one left of the last block.
const uint8_t* SjisToEucBlocks(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o) {
    return RunBlocks<MORVEL_WIDE(SjisBlocksToEuc), MORVEL_NARROW(SjisBlocksToEuc), 32>(level, p, end, o);
}

const uint8_t* EucToSjisBlocks(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o) {
    return RunBlocks<MORVEL_WIDE(EucBlocksToSjis), MORVEL_NARROW(EucBlocksToSjis), 31>(level, p, end, o);
}

const uint8_t* SjisToJisBlocks(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o, int& state) {
#if MORVEL_AVX2
    if (level >= VectorLevel::Avx2) {
        p = v256::SjisBlocksToJis(p, end, o, state);
        if (end - p > v256::kWidth) return p;
    }
#endif
#if MORVEL_SSE2
    if (level >= VectorLevel::Sse2) p = v128::SjisBlocksToJis(p, end, o, state);
#endif
    (void)level, (void)end, (void)o, (void)state;
    return p;
}

const uint8_t* JisToSjisBlocks(VectorLevel level, const uint8_t* p, const uint8_t* end, uint8_t*& o, int& state) {
#if MORVEL_AVX2
    if (level >= VectorLevel::Avx2) {
        p = v256::JisBlocksToSjis(p, end, o, state);
        if (end - p >= v256::kWidth + 3) return p;
    }
#endif
#if MORVEL_SSE2
    if (level >= VectorLevel::Sse2) p = v128::JisBlocksToSjis(p, end, o, state);
#endif
    (void)level, (void)end, (void)o, (void)state;
    return p;
}

}  // namespace morvel::internal
