#pragma once
// HAP clips made by the ffmpeg tool: the stored frames (cut out of the MOV with the
// packet positions ffprobe reports) and ffmpeg's own RGBA decode of them.
#include <cstdint>
#include <string>
#include <vector>

namespace haptest {

struct HapClip {
    bool ok = false;
    uint32_t width = 0, height = 0;
    std::vector<std::vector<uint8_t>> frames;  // one stored HAP frame per picture
    std::vector<std::vector<uint8_t>> rgba;    // ffmpeg's decode, width x height x 4 each
};

// format: "hap", "hap_alpha" or "hap_q". Made once per process and kept.
const HapClip &ffmpeg_hap_clip(const std::string &format, uint32_t width, uint32_t height, uint32_t chunks = 8,
                               uint32_t frame_count = 3);

}  // namespace haptest
