// libFuzzer target for the BC7 block decoder (see bc7_target.h). Built only by
// scripts/fuzz.sh (clang).
#include "bc7_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (!fuzz_target::run_bc7(data, size)) __builtin_trap();
    return 0;
}
