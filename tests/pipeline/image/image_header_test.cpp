#include "pipeline/image/image_header.h"

#include <gtest/gtest.h>

#include <cstring>

#include "pipeline/image/image_test_util.h"
#include "media/error_of.h"
#include "pipeline/image/mem_tiff_io.h"
#include "platform/foundation/json.h"

namespace {

struct Sizes {
    uint32_t width = 0, height = 0;
    std::string pix_fmt;
};

// ffprobe's size and pixel format of a picture.
Sizes ffprobe_image(const std::string &path) {
    const std::string ffprobe = testutil::require_tool("ffprobe");
    testutil::CommandResult r =
        testutil::run_command(ffprobe + " -v error -of json -show_streams " + testutil::shell_quote(path));
    Json j;
    std::string error;
    EXPECT_TRUE(json_parse(r.output, &j, &error)) << error;
    Sizes s;
    if (!j.contains("streams") || j["streams"].empty()) return s;
    const Json &v = j["streams"][0];
    s.width = v.value("width", 0u);
    s.height = v.value("height", 0u);
    s.pix_fmt = v.value("pix_fmt", "");
    return s;
}

TEST(ImageHeader, PngAgreesWithFfprobe) {
    testutil::TempDir dir;
    struct Case {
        const char *pix_fmt;
        const char *vf;
        bool alpha, palette;
        uint32_t depth, channels;
    } cases[] = {
        {"rgb24", "", false, false, 8, 3},
        {"rgba", "format=rgba,colorchannelmixer=aa=0.5", true, false, 8, 4},
        {"gray", "", false, false, 8, 1},
        {"ya8", "format=rgba,colorchannelmixer=aa=0.5", true, false, 8, 2},
        {"pal8", "", false, true, 8, 1},
        // Transparency in the palette (tRNS) counts as no alpha.
        {"pal8", "format=rgba,colorchannelmixer=aa=0.5", false, true, 8, 1},
        {"rgb48be", "", false, false, 16, 3},
        {"rgba64be", "format=rgba64le", true, false, 16, 4},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.pix_fmt) + " " + c.vf);
        const std::string path = dir.file(std::to_string(n++) + ".png");
        ASSERT_TRUE(imagetest::make_image(path, "37x21", c.pix_fmt, c.vf));
        const Sizes s = ffprobe_image(path);
        EXPECT_EQ(s.pix_fmt, c.pix_fmt);
        PngHeaderInfo h;
        ASSERT_EQ(mediatest::error_of([&] { read_png_header_info(path.c_str(), &h); }), "");
        EXPECT_EQ(h.width, s.width);
        EXPECT_EQ(h.height, s.height);
        EXPECT_EQ(h.has_alpha, c.alpha);
        EXPECT_EQ(h.is_palette, c.palette);
        EXPECT_EQ(h.bit_depth, c.depth);
        EXPECT_EQ(h.channels, c.channels);
    }
}

TEST(ImageHeader, JpegAgreesWithFfprobe) {
    testutil::TempDir dir;
    struct Case {
        const char *pix_fmt;
    } cases[] = {{"yuvj420p"}, {"yuvj444p"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pix_fmt);
        const std::string path = dir.file(std::string(c.pix_fmt) + ".jpg");
        ASSERT_TRUE(imagetest::make_image(path, "37x21", c.pix_fmt));
        const Sizes s = ffprobe_image(path);
        EXPECT_EQ(s.pix_fmt, c.pix_fmt);
        JpegHeaderInfo h;
        ASSERT_EQ(mediatest::error_of([&] { read_jpeg_header_info(path.c_str(), &h); }), "");
        EXPECT_EQ(h.width, s.width);
        EXPECT_EQ(h.height, s.height);
        EXPECT_EQ(h.file_size, testutil::read_file(path).size());
    }
    // Grey: the tool's encoder writes none, TurboJPEG does.
    const std::string grey = dir.file("grey.jpg");
    testutil::write_file(grey, imagetest::turbojpeg_image(33, 17, TJPF_GRAY, TJSAMP_GRAY));
    EXPECT_EQ(ffprobe_image(grey).pix_fmt, "gray");
    JpegHeaderInfo h;
    read_jpeg_header_info(grey.c_str(), &h);
    EXPECT_EQ(h.width, 33u);
    EXPECT_EQ(h.height, 17u);
}

TEST(ImageHeader, TiffAgreesWithFfprobe) {
    testutil::TempDir dir;
    struct Case {
        const char *pix_fmt;
        const char *vf;
        bool alpha;
    } cases[] = {
        {"rgb24", "", false},   {"rgba", "format=rgba,colorchannelmixer=aa=0.5", true},
        {"rgb48le", "", false}, {"rgba64le", "format=rgba64le", true},
        {"gray", "", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pix_fmt);
        const std::string path = dir.file(std::string(c.pix_fmt) + ".tif");
        ASSERT_TRUE(imagetest::make_image(path, "37x21", c.pix_fmt, c.vf));
        const Sizes s = ffprobe_image(path);
        EXPECT_EQ(s.pix_fmt, c.pix_fmt);
        TiffHeaderInfo h;
        ASSERT_EQ(mediatest::error_of([&] { read_tiff_header_info(path.c_str(), &h); }), "");
        EXPECT_EQ(h.width, s.width);
        EXPECT_EQ(h.height, s.height);
        EXPECT_EQ(h.has_alpha, c.alpha);
        EXPECT_EQ(h.is_cmyk, 0);
    }
}

TEST(ImageHeader, Refusals) {
    testutil::TempDir dir;
    const std::string empty_jpg = dir.file("e.jpg"), empty_tif = dir.file("e.tif"), text = dir.file("t.png");
    testutil::write_file(empty_jpg, "", 0);
    testutil::write_file(empty_tif, "", 0);
    testutil::write_file(text, "hello world, no picture", 23);
    const std::string ya_tif = dir.file("ya.tif");
    ASSERT_TRUE(imagetest::make_image(ya_tif, "8x8", "ya8", "format=rgba"));
    JpegHeaderInfo j;
    TiffHeaderInfo t;
    PngHeaderInfo p;
    EXPECT_EQ(mediatest::error_of([&] { read_jpeg_header_info(empty_jpg.c_str(), &j); }), "Empty jpeg file");
    EXPECT_EQ(mediatest::error_of([&] { read_jpeg_header_info(text.c_str(), &j); }), "Fail to read jpeg file");
    EXPECT_EQ(mediatest::error_of([&] { read_tiff_header_info(empty_tif.c_str(), &t); }), "Empty tiff file");
    EXPECT_EQ(mediatest::error_of([&] { read_tiff_header_info(text.c_str(), &t); }), "Fail to decode tiff 2");
    EXPECT_EQ(mediatest::error_of([&] { read_png_header_info(text.c_str(), &p); }), "Fail to read png 3");
    testing::internal::CaptureStdout();
    EXPECT_EQ(mediatest::error_of([&] { read_tiff_header_info(ya_tif.c_str(), &t); }), "Unsupported tiff channels");
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Unsupported tiff channels : 2"), std::string::npos);
}

TEST(ImageHeader, TiffLayouts) {
    testutil::TempDir dir;
    struct Case {
        uint16_t samples, bits, photometric, sample_format;
        const char *error;
        bool alpha, cmyk;
    } cases[] = {
        {1, 32, PHOTOMETRIC_MINISBLACK, SAMPLEFORMAT_IEEEFP, "Unsupported tiff float", false, false},
        {3, 12, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, "Unsupported tiff bitdepth", false, false},
        {4, 8, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT, "", false, true},
        {4, 16, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT, "Unsupported tiff CMYK bitdepth", false, false},
        {4, 16, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, "", true, false},
        {5, 8, PHOTOMETRIC_SEPARATED, SAMPLEFORMAT_UINT, "Unsupported tiff CMYKA", false, false},
        {5, 8, PHOTOMETRIC_RGB, SAMPLEFORMAT_UINT, "Unsupported bitdepth (5)", false, false},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.samples) + " samples of " + std::to_string(c.bits) + " bits");
        const std::string path = dir.file(std::to_string(n++) + ".tif");
        ASSERT_TRUE(imagetest::make_tiff(path, 9, 5, c.samples, c.bits, c.photometric, c.sample_format));
        TiffHeaderInfo t;
        EXPECT_EQ(mediatest::error_of([&] { read_tiff_header_info(path.c_str(), &t); }), c.error);
        if (!*c.error) {
            EXPECT_EQ(t.width, 9u);
            EXPECT_EQ(t.has_alpha, c.alpha);
            EXPECT_EQ(t.is_cmyk, c.cmyk);
        }
    }
}

// Every truncation of valid files gives a record or a message, never a crash.
TEST(ImageHeader, TruncatedFilesFailCleanly) {
    testutil::TempDir dir;
    const std::string png = dir.file("a.png"), jpg = dir.file("a.jpg"), tif = dir.file("a.tif");
    ASSERT_TRUE(imagetest::make_image(png, "19x7", "rgba"));
    ASSERT_TRUE(imagetest::make_image(jpg, "19x7", "yuvj420p"));
    ASSERT_TRUE(imagetest::make_image(tif, "19x7", "rgba"));
    const std::string cut = dir.file("cut");
    for (const std::string &src : {png, jpg, tif}) {
        const std::vector<uint8_t> whole = testutil::read_file(src);
        for (size_t n = 0; n < whole.size(); n++) {
            testutil::write_file(cut, whole.data(), n);
            PngHeaderInfo p;
            JpegHeaderInfo j;
            TiffHeaderInfo t;
            testing::internal::CaptureStdout();
            std::string e;
            if (src == png) e = mediatest::error_of([&] { read_png_header_info(cut.c_str(), &p); });
            if (src == jpg) e = mediatest::error_of([&] { read_jpeg_header_info(cut.c_str(), &j); });
            if (src == tif) e = mediatest::error_of([&] { read_tiff_header_info(cut.c_str(), &t); });
            testing::internal::GetCapturedStdout();
            if (e.empty() && src == png) { EXPECT_EQ(p.width, 19u) << n; }
        }
    }
}

TEST(MemTiffIo, SeeksStayInsideTheImage) {
    uint8_t bytes[100] = {};
    MemTiffIo io;
    mem_tiff_io_init(&io, bytes, sizeof(bytes));
    EXPECT_EQ(mem_tiff_seek(&io, 100, SEEK_SET), 100u);  // the end itself is allowed
    EXPECT_EQ(mem_tiff_seek(&io, 101, SEEK_SET), uint64_t(-1));
    EXPECT_EQ(io.position, 100u);
    EXPECT_EQ(mem_tiff_seek(&io, uint64_t(-30), SEEK_CUR), 70u);
    EXPECT_EQ(mem_tiff_seek(&io, uint64_t(-71), SEEK_CUR), uint64_t(-1));
    EXPECT_EQ(mem_tiff_seek(&io, 1, SEEK_CUR), 71u);
    EXPECT_EQ(mem_tiff_seek(&io, 1, SEEK_END), uint64_t(-1));
    EXPECT_EQ(mem_tiff_seek(&io, uint64_t(-100), SEEK_END), 0u);
    EXPECT_EQ(mem_tiff_seek(&io, uint64_t(-101), SEEK_END), uint64_t(-1));
    uint8_t out[8];
    EXPECT_EQ(mem_tiff_seek(&io, 96, SEEK_SET), 96u);
    EXPECT_EQ(mem_tiff_read(&io, out, 8), 4);
    EXPECT_EQ(mem_tiff_read(&io, out, 8), 0);
    EXPECT_EQ(mem_tiff_write(&io, out, 8), 0);  // read only
    EXPECT_EQ(mem_tiff_size(&io), 100u);
}

}  // namespace
