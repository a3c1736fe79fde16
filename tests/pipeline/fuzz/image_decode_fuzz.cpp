// libFuzzer target for the PNG, JPEG and TIFF decode nodes. The last byte picks the node,
// the byte before it the size it expects (1 to 64 on each side, so most inputs reach the
// pixel decode of small pictures).
// Not part of the gcc build; built by hand with clang from the repository root:
//   clang++ -std=c++20 -O1 -g -I. -Itests -fsanitize=fuzzer,address,undefined tests/pipeline/fuzz/image_decode_fuzz.cpp
//     pipeline/image/*_decode.cpp pipeline/image/mem_tiff_io.cpp pipeline/image/tiff_checks.cpp
//     media/video_frame.cpp media/video_filter.cpp platform/core/*.cpp -o image_decode_fuzz -lpng16 -lturbojpeg -ltiff -lpthread
#include <cstdint>
#include <cstring>
#include <vector>

#include "pipeline/image/image_decode.h"
#include "platform/core/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const uint8_t pick = data[size - 1];
    const uint32_t side = (data[size - 2] & 63) + 1;
    std::vector<uint8_t> sample(data, data + size - 2);
    const uint32_t length = uint32_t(sample.size());
    sample.resize(sample.size() + 64);  // compressed samples carry 64 spare bytes
    static const PixFmt png_formats[] = {PixFmt_RGBA8, PixFmt_RGBX8, PixFmt_RGBA16, PixFmt_RGBX16};
    VideoFilter *f = nullptr;
    VideoFrame in;
    video_frame_init(&in);
    try {
        switch (pick % 3) {
        case 0:
            f = create_filter_png_decode(
                ImageDecodeParams{side, side, png_formats[(pick >> 2) & 3], uint8_t(pick & 4)});
            video_frame_set_compressed_data(&in, sample.data(), length, VideoFramePngData);
            break;
        case 1:
            f = create_filter_jpeg_decode(side, side);
            video_frame_set_compressed_data(&in, sample.data(), length, VideoFrameJpegData);
            break;
        default:
            f = create_filter_tiff_decode(
                ImageDecodeParams{side, side, (pick & 4) ? PixFmt_RGBA8 : PixFmt_RGBX8, uint8_t(pick & 8)});
            video_frame_set_compressed_data(&in, sample.data(), length, VideoFrameTiffData);
        }
        f->inputs[0] = &in;
        f->process(f);
    } catch (const ProcessError &) {
    } catch (const std::bad_alloc &) {}
    video_filter_free(f);
    return 0;
}
