// libFuzzer target, built only by scripts/fuzz_settings.sh (clang).
#include "fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    settings_fuzz::presets_export_reader(data, size);
    return 0;
}
