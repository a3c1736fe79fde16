// Replays the inputs kept from fuzzing the settings readers (fuzz/inputs/<target>/).
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/fuzz_bodies.h"
#include "testutil/testutil.h"

namespace {

TEST(SettingsFuzzReplay, KeptInputs) {
    const std::filesystem::path root = std::filesystem::path(ZELQA_SOURCE_DIR) / "tests/model_settings/fuzz/inputs";
    const struct {
        const char *target;
        void (*body)(const uint8_t *, size_t);
    } targets[] = {{"setting_reader", settings_fuzz::setting_reader},
                   {"crop_list_reader", settings_fuzz::crop_list_reader},
                   {"expression", settings_fuzz::expression},
                   {"prefs_reader", settings_fuzz::prefs_reader},
                   {"presets_export_reader", settings_fuzz::presets_export_reader},
                   {"json_exchange_reader", settings_fuzz::json_exchange_reader}};
    for (const auto &t : targets) {
        const std::filesystem::path dir = root / t.target;
        if (!std::filesystem::exists(dir)) continue;
        for (const auto &entry : std::filesystem::directory_iterator(dir)) {
            SCOPED_TRACE(entry.path().string());
            const std::vector<uint8_t> data = testutil::read_file(entry.path().string());
            t.body(data.data(), data.size());
        }
    }
}

}  // namespace
