// libFuzzer target for the PNG, JPEG and TIFF header readers; the input's last byte picks
// the reader.
// Not part of the gcc build; built by hand with clang from the repository root:
//   clang++ -std=c++20 -O1 -g -I. -Itests -fsanitize=fuzzer,address,undefined tests/pipeline/fuzz/image_header_fuzz.cpp
//     pipeline/image/image_header.cpp pipeline/image/mem_tiff_io.cpp pipeline/image/tiff_checks.cpp
//     container/mov/mov_reader*.cpp platform/core/*.cpp -o image_header_fuzz -lpng16 -lturbojpeg -ltiff -lpthread
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pipeline/image/image_header.h"
#include "platform/core/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = [] {
        const char *dir = getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/zelqa_image_header_fuzz_" + std::to_string(getpid());
    }();
    if (size == 0) return 0;
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size - 1, f);
    fclose(f);
    try {
        switch (data[size - 1] % 3) {
        case 0: {
            PngHeaderInfo h;
            read_png_header_info(path.c_str(), &h);
            break;
        }
        case 1: {
            JpegHeaderInfo h;
            read_jpeg_header_info(path.c_str(), &h);
            break;
        }
        default: {
            TiffHeaderInfo h;
            read_tiff_header_info(path.c_str(), &h);
        }
        }
    } catch (const ProcessError &) {
    } catch (const std::bad_alloc &) {}
    return 0;
}
