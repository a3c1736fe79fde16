// Replays the inputs kept from fuzzing the MOV reader (tests/container/fuzz/inputs/mov_reader/):
// each must open or fail with a message, in every option mode, and leave reads in bounds.
#include <gtest/gtest.h>

#include <filesystem>

#include "container/mov/mov_reader.h"
#include "platform/core/errors.h"

namespace {

TEST(MovReaderFuzzReplay, KeptInputs) {
    const std::filesystem::path dir =
        std::filesystem::path(ZELQA_SOURCE_DIR) / "tests/container/fuzz/inputs/mov_reader";
    ASSERT_TRUE(std::filesystem::is_directory(dir));
    size_t count = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        count++;
        const std::string path = entry.path().string();
        SCOPED_TRACE(path);
        for (uint64_t flags : {uint64_t(0), uint64_t(MOV_FLAG_VFR_KEEP_SAMPLES), uint64_t(MOV_FLAG_VFR_LIMIT_FPS),
                               uint64_t(MOV_FLAG_DESCRIBE_ONLY)}) {
            MovReader r;
            MovReaderParams p;
            p.path = path.c_str();
            p.mov_intra_demuxer_flags = flags;
            p.max_vfr_to_cfr_fps = ZRational{30, 1};
            try {
                mov_reader_open(&r, &p);
                std::vector<uint8_t> buf;
                for (uint32_t t = 0; t < r.nb_audio_tracks; t++) {
                    const MovAudioTrack &a = r.audio_tracks[t];
                    if (!a.pcm_supported || a.bytes_per_frame > 64) continue;
                    buf.resize(size_t(a.bytes_per_frame) * 256);
                    try {
                        mov_reader_read_audio(&r, buf.data(), t, 0, 256);
                    } catch (const ProcessError &) {}
                }
                // Every indexed sample lies inside the file.
                for (uint32_t i = 0; r.seek_table && i < r.nb_frames; i++)
                    ASSERT_LE(r.seek_table[i].offset + r.seek_table[i].size, r.file_size);
            } catch (const ProcessError &e) { EXPECT_NE(std::string(e.what()), ""); }
            mov_reader_close(&r);
        }
    }
    EXPECT_GT(count, 0u);
}

}  // namespace
