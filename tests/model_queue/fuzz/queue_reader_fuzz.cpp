// libFuzzer target, built only by scripts/fuzz_queue.sh (clang).
#include "queue_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    queue_fuzz::queue_reader(data, size);
    return 0;
}
