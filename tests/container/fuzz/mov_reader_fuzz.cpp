// libFuzzer target for the MOV reader: the container walk, the track tables, the frame
// index and the audio reads on arbitrary bytes. Built only by scripts/fuzz.sh (clang);
// crashes it finds are kept in tests/container/fuzz/inputs/mov_reader/ and replayed by ctest.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "container/mov/mov_reader.h"
#include "platform/core/errors.h"
#include "platform/core/file_io.h"

namespace {

// The reader takes a path, so every input is written to a file first: in memory (/dev/shm)
// when possible, since a disk write per run would cost more than the parse.
std::string scratch_path() {
    const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/zelqa_mov_fuzz_" + std::to_string(getpid()) + ".mov";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = scratch_path();
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    // The first byte picks the option bits, so every path of the index build is reached.
    const uint64_t options[] = {0, MOV_FLAG_VFR_KEEP_SAMPLES, MOV_FLAG_VFR_LIMIT_FPS, MOV_FLAG_DESCRIBE_ONLY};
    MovReaderParams p;
    p.path = path.c_str();
    p.mov_intra_demuxer_flags = size ? options[data[size - 1] & 3] : 0;
    p.max_vfr_to_cfr_fps = ZRational{30, 1};
    MovReader r;
    try {
        mov_reader_open(&r, &p);
        std::vector<uint8_t> buf;
        for (uint32_t t = 0; t < r.nb_audio_tracks; t++) {
            const MovAudioTrack &a = r.audio_tracks[t];
            if (!a.pcm_supported || a.bytes_per_frame > 64) continue;
            buf.resize(size_t(a.bytes_per_frame) * 256);
            try {
                mov_reader_read_audio(&r, buf.data(), t, 0, 256);
                if (a.nb_samples > 100) mov_reader_read_audio(&r, buf.data(), t, a.nb_samples - 100, 256);
            } catch (const ProcessError &) {}
        }
        if (r.seek_table && r.nb_frames) {
            const MovSeekEntry &e = r.seek_table[r.nb_frames - 1];
            if (e.size <= (1u << 20)) {
                buf.resize(e.size);
                file_read_at(r.file, buf.data(), e.offset, e.size);
            }
        }
    } catch (const ProcessError &) {
    } catch (const std::bad_alloc &) {}
    mov_reader_close(&r);
    return 0;
}
