// The entry point of one fuzz target, built once per target with
// MORVEL_FUZZ_TARGET set to its name (see tests/CMakeLists.txt).
#include <cstddef>
#include <cstdint>

namespace morvel::fuzz {
int RunFuzzTarget(const char* name, const uint8_t* data, size_t size);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return morvel::fuzz::RunFuzzTarget(MORVEL_FUZZ_TARGET, data, size);
}
