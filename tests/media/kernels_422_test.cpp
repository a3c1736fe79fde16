// 4:2:2 kernels: exact sample widening and narrowing, the V210 row walk, and FFmpeg's own
// conversions of UYVY and V210 rows as the reference.
#include "kernels_test_util.h"
#include "testutil/testutil.h"

using namespace kt;

namespace {

// Planar YUV 4:2:2 planes with padded rows, pre-filled with a sentinel.
struct Yuv422 {
    int sample;
    uint32_t w, h;
    std::vector<uint8_t> buf[3];
    int64_t stride[4] = {};
    uint8_t *plane[4] = {};
    Yuv422(int sample_bytes, uint32_t width, uint32_t rows, uint8_t fill = 0xCD)
        : sample(sample_bytes), w(width), h(rows) {
        for (int p = 0; p < 3; ++p) {
            const uint32_t pw = p == 0 ? width : (width + 1) / 2;
            stride[p] = (pw + 4) * sample_bytes;
            buf[p].assign(stride[p] * rows, fill);
            plane[p] = buf[p].data();
        }
    }
    uint32_t get(int p, uint32_t x, uint32_t y) const {
        uint32_t v = 0;
        std::memcpy(&v, &buf[p][y * stride[p] + x * sample], sample);
        return v;
    }
    void set(int p, uint32_t x, uint32_t y, uint32_t v) {
        std::memcpy(&buf[p][y * stride[p] + x * sample], &v, sample);
    }
    // Tightly packed planes, as FFmpeg's raw yuv422p output.
    std::vector<uint8_t> packed() const {
        std::vector<uint8_t> out;
        for (int p = 0; p < 3; ++p) {
            const uint32_t pw = p == 0 ? w : (w + 1) / 2;
            for (uint32_t y = 0; y < h; ++y)
                out.insert(out.end(), buf[p].begin() + y * stride[p], buf[p].begin() + y * stride[p] + pw * sample);
        }
        return out;
    }
};

uint32_t v210_word(uint32_t a, uint32_t b, uint32_t c) { return a | (b << 10) | (c << 20); }

// The V210 walk converts whole pairs: six per group, then the two- and four-pixel steps.
TEST(Kernels422, V210WidthsConvertWholePairsAndSamplesExactly) {
    struct Case {
        uint32_t width, converted;
    } cases[] = {{12, 12}, {13, 12}, {17, 16}, {18, 18}, {5, 4}, {4, 4}, {3, 2}, {1, 0}, {0, 0}, {30, 30}};
    for (const Case &c : cases) {
        for (int bits : {8, 10}) {
            SCOPED_TRACE("width " + std::to_string(c.width) + " bits " + std::to_string(bits));
            const uint32_t groups = (c.width + 5) / 6 + 1, rows = 2;
            const int64_t sstride = groups * 16 + 8;  // not a multiple of 16: words still step whole
            std::vector<uint32_t> words(sstride / 4 * rows, 0xFFFFFFFFu);
            // Sample n of a row (in V210 order U0 Y0 V0 Y1 U1 Y2 ...) is 100 + 3n + 50 * row,
            // with the top sample 1023 at Y0 of row 1.
            for (uint32_t r = 0; r < rows; ++r)
                for (uint32_t g = 0; g < groups; ++g)
                    for (uint32_t k = 0; k < 4; ++k) {
                        uint32_t s[3];
                        for (int j = 0; j < 3; ++j) s[j] = (100 + 3 * (12 * g + 3 * k + j) + 50 * r) & 0x3FF;
                        if (r == 1 && g == 0 && k == 0) s[1] = 1023;
                        words[r * (sstride / 4) + 4 * g + k] = v210_word(s[0], s[1], s[2]) | 0xC0000000u;
                    }
            Yuv422 out(bits == 8 ? 1 : 2, c.width + 2, rows);
            const uint8_t *src[4] = {reinterpret_cast<const uint8_t *>(words.data()), nullptr, nullptr, nullptr};
            (bits == 8 ? conv_v210_to_planar_yuv422_c : conv_v210_to_planar_yuv422_10_c)(out.plane, src, out.stride,
                                                                                         &sstride, c.width, rows);
            const uint32_t sentinel = bits == 8 ? 0xCD : 0xCDCD;
            // Position of Y x, U k and V k in the V210 sample order of a group of 6 pixels.
            auto sample = [&](uint32_t n, uint32_t r) -> uint32_t {
                if (r == 1 && n == 1) return 1023;
                return (100 + 3 * n + 50 * r) & 0x3FF;
            };
            const uint32_t ypos[6] = {1, 3, 5, 7, 9, 11}, upos[3] = {0, 4, 8}, vpos[3] = {2, 6, 10};
            for (uint32_t r = 0; r < rows; ++r) {
                for (uint32_t x = 0; x < c.width + 2; ++x) {
                    const uint32_t s = sample(12 * (x / 6) + ypos[x % 6], r);
                    const uint32_t want = x < c.converted ? (bits == 8 ? s >> 2 : s) : sentinel;
                    ASSERT_EQ(out.get(0, x, r), want) << "Y " << x << " row " << r;
                }
                for (uint32_t k = 0; k < (c.width + 2) / 2; ++k) {
                    const uint32_t su = sample(12 * (k / 3) + upos[k % 3], r),
                                   sv = sample(12 * (k / 3) + vpos[k % 3], r);
                    const bool in = k < c.converted / 2;
                    ASSERT_EQ(out.get(1, k, r), in ? (bits == 8 ? su >> 2 : su) : sentinel) << "U " << k;
                    ASSERT_EQ(out.get(2, k, r), in ? (bits == 8 ? sv >> 2 : sv) : sentinel) << "V " << k;
                }
            }
        }
    }
}

TEST(Kernels422, UyvyPacksAndUnpacksWholePairsWithExactSamples) {
    const uint32_t w = 5, rows = 2;  // odd: the last pixel stays as it was
    const int64_t ustride = 2 * w + 6;
    std::vector<uint8_t> uyvy(ustride * rows, 0xAB);
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t i = 0; i < 2 * w; ++i) uyvy[r * ustride + i] = static_cast<uint8_t>(i == 1 ? 255 : 20 * i + r);
    const uint8_t *src[4] = {uyvy.data(), nullptr, nullptr, nullptr};
    const int64_t sstr[4] = {ustride, 0, 0, 0};
    struct Case {
        const char *name;
        RowKernel fn;
        int bytes;
        uint32_t (*widen)(uint32_t);
    } cases[] = {
        {"8", conv_uyvy_to_planar_yuv422_c, 1, [](uint32_t v) { return v; }},
        {"10", conv_uyvy_to_planar_yuv422_10_c, 2, [](uint32_t v) { return (v << 2) | (v >> 6); }},
        {"12", conv_uyvy_to_planar_yuv422_12_c, 2, [](uint32_t v) { return (v << 4) | (v >> 4); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Yuv422 out(c.bytes, w, rows);
        c.fn(out.plane, src, out.stride, sstr, w, rows);
        const uint32_t sentinel = c.bytes == 1 ? 0xCD : 0xCDCD;
        for (uint32_t r = 0; r < rows; ++r) {
            for (uint32_t k = 0; k < 2; ++k) {
                const uint8_t *p = &uyvy[r * ustride + 4 * k];
                EXPECT_EQ(out.get(1, k, r), c.widen(p[0]));
                EXPECT_EQ(out.get(0, 2 * k, r), c.widen(p[1]));
                EXPECT_EQ(out.get(2, k, r), c.widen(p[2]));
                EXPECT_EQ(out.get(0, 2 * k + 1, r), c.widen(p[3]));
            }
            EXPECT_EQ(out.get(0, 4, r), sentinel);
            EXPECT_EQ(out.get(1, 2, r), sentinel);
            EXPECT_EQ(out.get(2, 2, r), sentinel);
        }
        EXPECT_EQ(out.get(0, 0, 0), c.widen(255));
        // And back: the narrowing kernel restores the bytes and leaves the odd pixel's pair.
        RowKernel back = c.bytes == 1       ? conv_planar_yuv422_to_uyvy_c
                         : c.name[1] == '0' ? conv_planar_yuv422_10_to_uyvy_c
                                            : conv_planar_yuv422_12_to_uyvy_c;
        std::vector<uint8_t> again(uyvy.size(), 0x5A);
        uint8_t *dst[4] = {again.data(), nullptr, nullptr, nullptr};
        const uint8_t *planes[4] = {out.plane[0], out.plane[1], out.plane[2], nullptr};
        back(dst, planes, sstr, out.stride, w, rows);
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t i = 0; i < ustride; ++i)
                EXPECT_EQ(again[r * ustride + i], i < 8 ? uyvy[r * ustride + i] : 0x5A) << r << "," << i;
    }
    // Narrowing keeps the top bits: 10-bit 1023 and 12-bit 4095 become 255.
    for (int bits : {10, 12}) {
        Yuv422 in(2, 2, 1);
        in.set(0, 0, 0, bits == 10 ? 1023 : 4095);
        in.set(0, 1, 0, bits == 10 ? 0x203 : 0x80F);
        in.set(1, 0, 0, 0);
        in.set(2, 0, 0, bits == 10 ? 4 : 16);
        uint8_t out[4] = {};
        uint8_t *dst[4] = {out, nullptr, nullptr, nullptr};
        const uint8_t *planes[4] = {in.plane[0], in.plane[1], in.plane[2], nullptr};
        const int64_t ds[4] = {4, 0, 0, 0};
        (bits == 10 ? conv_planar_yuv422_10_to_uyvy_c : conv_planar_yuv422_12_to_uyvy_c)(dst, planes, ds, in.stride, 2,
                                                                                         1);
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(out[1], 255);
        EXPECT_EQ(out[2], 1);
        EXPECT_EQ(out[3], 0x80);
    }
}

// FFmpeg makes the packed rows from a test picture and converts them to planar 4:2:2 itself;
// our kernels must give the same bytes.
TEST(Kernels422, MatchFfmpegConversionsOfUyvyAndV210) {
    const std::string ffmpeg = testutil::require_tool("ffmpeg");
    if (ffmpeg.empty()) return;
    testutil::TempDir tmp;
    for (uint32_t w : {100u, 98u, 54u, 48u}) {
        SCOPED_TRACE("width " + std::to_string(w));
        const uint32_t h = 6;
        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        const std::string q = " -v error -y ";
        auto sh = [&](const std::string &args) {
            const auto res = testutil::run_command(testutil::shell_quote(ffmpeg) + q + args);
            EXPECT_EQ(res.status, 0) << args;
        };
        const std::string v210 = tmp.file("a.v210"), uyvy = tmp.file("a.uyvy"), p10 = tmp.file("a.p10"),
                          p8 = tmp.file("a.p8");
        sh("-f lavfi -i testsrc2=size=" + size + " -frames:v 1 -pix_fmt yuv422p10le -c:v v210 -f rawvideo " + v210);
        sh("-f v210 -s " + size + " -i " + v210 + " -f rawvideo -pix_fmt yuv422p10le " + p10);
        sh("-f lavfi -i testsrc2=size=" + size + " -frames:v 1 -pix_fmt uyvy422 -f rawvideo " + uyvy);
        sh("-f rawvideo -pix_fmt uyvy422 -s " + size + " -i " + uyvy + " -f rawvideo -pix_fmt yuv422p " + p8);

        const std::vector<uint8_t> v210_bytes = testutil::read_file(v210), uyvy_bytes = testutil::read_file(uyvy);
        const int64_t v210_line = (w + 47) / 48 * 128;
        ASSERT_EQ(v210_bytes.size(), static_cast<size_t>(v210_line * h));
        ASSERT_EQ(uyvy_bytes.size(), static_cast<size_t>(2 * w * h));

        Yuv422 ours10(2, w, h);
        const uint8_t *vs[4] = {v210_bytes.data(), nullptr, nullptr, nullptr};
        const int64_t vstride[4] = {v210_line, 0, 0, 0};
        conv_v210_to_planar_yuv422_10_c(ours10.plane, vs, ours10.stride, vstride, w, h);
        EXPECT_TRUE(ours10.packed() == testutil::read_file(p10)) << "v210 to yuv422p10le differs";

        Yuv422 ours8(1, w, h);
        const uint8_t *us[4] = {uyvy_bytes.data(), nullptr, nullptr, nullptr};
        const int64_t ustride[4] = {2 * static_cast<int64_t>(w), 0, 0, 0};
        conv_uyvy_to_planar_yuv422_c(ours8.plane, us, ours8.stride, ustride, w, h);
        EXPECT_TRUE(ours8.packed() == testutil::read_file(p8)) << "uyvy to yuv422p differs";

        // Back to UYVY: FFmpeg's picture again.
        std::vector<uint8_t> back(uyvy_bytes.size(), 0);
        uint8_t *bd[4] = {back.data(), nullptr, nullptr, nullptr};
        const uint8_t *planes[4] = {ours8.plane[0], ours8.plane[1], ours8.plane[2], nullptr};
        conv_planar_yuv422_to_uyvy_c(bd, planes, ustride, ours8.stride, w, h);
        EXPECT_TRUE(back == uyvy_bytes) << "yuv422p to uyvy differs";
    }
}

}  // namespace
