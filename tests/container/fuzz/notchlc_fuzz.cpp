// libFuzzer target for the Notch LC decode node (see notchlc_target.h). Built only by
// scripts/fuzz.sh (clang).
#include "notchlc_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_target::run_notchlc(data, size);
    return 0;
}
