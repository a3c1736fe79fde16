// libFuzzer target for the HAP frame parser and the texture unpacking (see
// hap_frame_target.h). Built only by scripts/fuzz.sh (clang).
#include "hap_frame_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_target::run_hap_frame(data, size);
    return 0;
}
