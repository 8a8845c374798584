// Compiles a kernel file (engine/internal/*_blocks.inc, written against the
// lane operations of engine/internal/lanes.h) at both widths: inside
// namespace v128, and inside namespace v256 in the AVX2 target region. At
// file scope, once per kernel file (so no include guard):
//
//   #define MORVEL_KERNEL_FILE "engine/internal/width_blocks.inc"
//   #include "engine/internal/kernel_file.h"
//
// MORVEL_WIDE(k) and MORVEL_NARROW(k) then name the kernel k at each width,
// or nullptr where that width is not built (for RunBlocks of vector.h).
#include "engine/internal/lanes.h"

#ifndef MORVEL_KERNEL_FILE
#error "MORVEL_KERNEL_FILE names the kernel file to compile"
#endif

#if MORVEL_SSE2
namespace morvel::internal::v128 {
#include MORVEL_KERNEL_FILE
}  // namespace morvel::internal::v128
#endif

#if MORVEL_AVX2
MORVEL_AVX2_BEGIN
namespace morvel::internal::v256 {
#include MORVEL_KERNEL_FILE
}  // namespace morvel::internal::v256
MORVEL_AVX2_END
#endif

#undef MORVEL_KERNEL_FILE

#ifndef MORVEL_WIDE
#if MORVEL_AVX2
#define MORVEL_WIDE(kernel) ::morvel::internal::v256::kernel
#else
#define MORVEL_WIDE(kernel) nullptr
#endif
#if MORVEL_SSE2
#define MORVEL_NARROW(kernel) ::morvel::internal::v128::kernel
#else
#define MORVEL_NARROW(kernel) nullptr
#endif
#endif
