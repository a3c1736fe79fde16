// Notch LC decode node.
#include "container/mov/notchlc_decode.h"

#include <lz4.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

#include "media/filter_node.h"
#include "platform/core/byte_order.h"
#include "platform/core/cpu.h"
#include "platform/core/dispatch.h"
#include "platform/core/errors.h"

// ---------------------------------------------------------------------------------------
// Slice plans

void notchlc_slice_plan_for_cores(SliceTable *t, uint32_t units, uint32_t min_units, uint32_t cores) {
    std::memset(t, 0, sizeof(*t));
    if (units == 0) return;
    if (min_units == 0) throw_process_error("Invalid min height slice");
    cores = std::clamp<uint32_t>(cores, 1, kNotchLcMaxSlices);
    if (uint64_t(cores) * min_units < units) {
        uint32_t pos = 0;
        for (uint32_t i = 0; i < cores; i++) {
            t->first[i] = pos;
            t->count[i] = units / cores + (i < units % cores ? 1 : 0);
            pos += t->count[i];
        }
        t->nb_slices = cores;
    } else {
        uint32_t pos = 0;
        for (uint32_t i = 0; i < cores && pos < units; i++) {
            t->first[i] = pos;
            t->count[i] = std::min(min_units, units - pos);
            pos += t->count[i];
            t->nb_slices++;
        }
    }
}

void notchlc_slice_plan(SliceTable *t, uint32_t units, uint32_t min_units) {
    std::memset(t, 0, sizeof(*t));
    if (units == 0) return;
    if (min_units == 0) throw_process_error("Invalid min height slice");
    uint32_t logical = cpu_count_available();
    if (logical == 0) logical = 1;
    uint32_t physical = cpu_count_physical();
    uint32_t cores = physical;
    if (physical == 0) {
        printf("ERR invalid physical count : %u\n", physical);
        cores = logical;
    } else if (physical > logical) {
        printf("ERR invalid physical count : %u. Logicial count inf : %u\n", physical, logical);
        cores = logical;
    }
    notchlc_slice_plan_for_cores(t, units, min_units, std::min(cores, kNotchLcMaxSlices));
}

// ---------------------------------------------------------------------------------------
// Conversion kernels (full-range BT.709, fixed point)

namespace {

inline int32_t clamp_i(int32_t v, int32_t hi) { return v < 0 ? 0 : (v > hi ? hi : v); }

template <bool Alpha>
void to_rgb8(uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_ls[4], const int64_t src_ls[4],
             uint32_t width, uint32_t rows) {
    for (uint32_t r = 0; r < rows; r++) {
        const uint16_t *y = reinterpret_cast<const uint16_t *>(src[0] + r * (src_ls[0] & ~int64_t(1)));
        const uint16_t *u = reinterpret_cast<const uint16_t *>(src[1] + r * (src_ls[1] & ~int64_t(1)));
        const uint16_t *v = reinterpret_cast<const uint16_t *>(src[2] + r * (src_ls[2] & ~int64_t(1)));
        const uint16_t *a =
            Alpha ? reinterpret_cast<const uint16_t *>(src[3] + r * (src_ls[3] & ~int64_t(1))) : nullptr;
        uint8_t *d = dst[0] + r * dst_ls[0];
        for (uint32_t x = 0; x < width; x++) {
            int32_t yy = int32_t(y[x]) * 2048, cb = int32_t(u[x]) - 2048, cr = int32_t(v[x]) - 2048;
            d[4 * x + 0] = uint8_t(clamp_i((yy + 3225 * cr) >> 15, 255));
            d[4 * x + 1] = uint8_t(clamp_i((yy - 386 * cb - 959 * cr) >> 15, 255));
            d[4 * x + 2] = uint8_t(clamp_i((yy + 3800 * cb) >> 15, 255));
            if (Alpha) d[4 * x + 3] = uint8_t(a[x] >> 4);
        }
    }
}

template <bool Alpha>
void to_rgb16(uint8_t *const dst[4], const uint8_t *const src[4], const int64_t dst_ls[4], const int64_t src_ls[4],
              uint32_t width, uint32_t rows) {
    auto widen = [](uint32_t x) { return int32_t((x << 4) | (x >> 8)); };
    for (uint32_t r = 0; r < rows; r++) {
        const uint16_t *y = reinterpret_cast<const uint16_t *>(src[0] + r * (src_ls[0] & ~int64_t(1)));
        const uint16_t *u = reinterpret_cast<const uint16_t *>(src[1] + r * (src_ls[1] & ~int64_t(1)));
        const uint16_t *v = reinterpret_cast<const uint16_t *>(src[2] + r * (src_ls[2] & ~int64_t(1)));
        const uint16_t *a =
            Alpha ? reinterpret_cast<const uint16_t *>(src[3] + r * (src_ls[3] & ~int64_t(1))) : nullptr;
        uint16_t *d = reinterpret_cast<uint16_t *>(dst[0] + r * dst_ls[0]);
        for (uint32_t x = 0; x < width; x++) {
            int32_t yy = widen(y[x]) * 2048, cb = widen(u[x]) - 32768, cr = widen(v[x]) - 32768;
            d[4 * x + 0] = uint16_t(clamp_i((yy + 3225 * cr) >> 11, 65535));
            d[4 * x + 1] = uint16_t(clamp_i((yy - 386 * cb - 959 * cr) >> 11, 65535));
            d[4 * x + 2] = uint16_t(clamp_i((yy + 3800 * cb) >> 11, 65535));
            if (Alpha) d[4 * x + 3] = uint16_t(widen(a[x]));
        }
    }
}

}  // namespace

void notchlc_to_rgbx8(uint8_t *const d[4], const uint8_t *const s[4], const int64_t dl[4], const int64_t sl[4],
                      uint32_t w, uint32_t rows) {
    to_rgb8<false>(d, s, dl, sl, w, rows);
}
void notchlc_to_rgba8(uint8_t *const d[4], const uint8_t *const s[4], const int64_t dl[4], const int64_t sl[4],
                      uint32_t w, uint32_t rows) {
    to_rgb8<true>(d, s, dl, sl, w, rows);
}
void notchlc_to_rgbx16(uint8_t *const d[4], const uint8_t *const s[4], const int64_t dl[4], const int64_t sl[4],
                       uint32_t w, uint32_t rows) {
    to_rgb16<false>(d, s, dl, sl, w, rows);
}
void notchlc_to_rgba16(uint8_t *const d[4], const uint8_t *const s[4], const int64_t dl[4], const int64_t sl[4],
                       uint32_t w, uint32_t rows) {
    to_rgb16<true>(d, s, dl, sl, w, rows);
}

// ---------------------------------------------------------------------------------------
// Decoding phases

namespace {

// Positions and sizes from the payload header, checked against the payload size.
struct Layout {
    const uint8_t *p;  // payload; 64 zero bytes follow it
    uint64_t size;     // S
    uint32_t width, height;
    uint64_t chroma_table;   // bytes
    uint64_t luma_control;   // bytes
    uint64_t alpha_control;  // bytes
    uint64_t chroma_data;    // bytes
    uint64_t alpha_data;     // bytes from the chroma data
    uint64_t data_end;
    uint64_t luma_start;  // L
};

struct Plane {
    uint8_t *base;
    int64_t ls;
    uint16_t *row(uint32_t y) const { return reinterpret_cast<uint16_t *>(base + int64_t(y) * ls); }
};

class BitReader {
public:
    BitReader(const uint8_t *p, uint64_t words) : p_(p), words_(words) {}
    uint32_t read(uint32_t k) {
        if (n_ >= k) {
            uint32_t v = uint32_t(buf_ & ((uint64_t(1) << k) - 1));
            buf_ >>= k;
            n_ -= k;
            return v;
        }
        if (words_ == 0) throw_process_error("Fail to read bit, out of data");
        uint64_t w = load_le32(p_);
        p_ += 4;
        words_--;
        uint64_t all = buf_ | (w << n_);
        uint32_t v = uint32_t(all & ((uint64_t(1) << k) - 1));
        buf_ = w >> (k - n_);
        n_ = 32 - (k - n_);
        return v;
    }

private:
    const uint8_t *p_;
    uint64_t words_;
    uint64_t buf_ = 0;
    uint32_t n_ = 0;
};

void decode_luma(const Layout &L, const Plane &y, uint32_t first_group, uint32_t groups) {
    const uint32_t bw = (L.width + 3) / 4;
    for (uint32_t g = first_group; g < first_group + groups; g++) {
        const uint64_t entry = load_le32(L.p + 40 + 4 * uint64_t(g));
        const uint64_t avail = L.size - L.luma_start;  // bytes of luma data and beyond
        const uint64_t words = entry >= avail ? 0 : (avail - entry + 3) / 4;
        BitReader bits(L.p + L.luma_start + (entry >= avail ? 0 : entry), words);
        for (uint32_t b = 0; b < bw; b++) {
            const uint32_t ctrl = load_le32(L.p + L.luma_control + 4 * (uint64_t(g) * bw + b));
            const uint32_t m = ctrl & 0xFFF, M = (ctrl >> 12) & 0xFFF;
            const uint32_t R = M - m;  // wraps when M < m, as the format expects
            for (uint32_t r = 0; r < 4; r++) {
                const uint32_t mode = (ctrl >> (24 + 2 * r)) & 3;
                const uint32_t nb = mode + 1;
                const uint32_t field = bits.read(4 * nb);
                uint16_t *row = y.row(g * 4 + r) + b * 4;
                for (uint32_t j = 0; j < 4; j++) {
                    const uint32_t c = (field >> (j * nb)) & ((1u << nb) - 1);
                    uint32_t v;
                    switch (mode) {
                    case 0: v = c == 1 ? M : m; break;
                    case 1: v = m + (c * R + 2) / 3; break;
                    case 2: v = m + (c * R + 6) / 7; break;
                    default: v = m + (c * R + 14) / 15; break;
                    }
                    row[j] = uint16_t(v >= 4095 ? 4095 : v);
                }
            }
        }
    }
}

void decode_alpha(const Layout &L, const Plane &a, uint32_t first_group, uint32_t groups) {
    const uint32_t bw = (L.width + 15) / 16;
    for (uint32_t g = first_group; g < first_group + groups; g++) {
        for (uint32_t b = 0; b < bw; b++) {
            const uint64_t at = L.alpha_control + 8 * (uint64_t(g) * bw + b);
            const uint32_t K = load_le32(L.p + at);
            const uint32_t pos = load_le32(L.p + at + 4);
            if (pos >= 0x3FFFFFFFu) throw_process_error("Invalid alpha offset (1)");
            uint64_t data = L.chroma_data + L.alpha_data + 4 * uint64_t(pos);
            if (data >= L.data_end) throw_process_error("Invalid alpha offset (2)");
            for (uint32_t s = 0; s < 16; s++) {
                const uint32_t code = (K >> (2 * s)) & 3;
                const uint32_t x0 = b * 16 + (s % 4) * 4, y0 = g * 16 + (s / 4) * 4;
                if (code == 3) throw_process_error("Invalid alpha control");
                if (code < 2) {
                    const uint16_t v = code ? 4095 : 0;
                    for (uint32_t yy = 0; yy < 4; yy++)
                        for (uint32_t xx = 0; xx < 4; xx++) a.row(y0 + yy)[x0 + xx] = v;
                    continue;
                }
                if (data + 8 > L.size) throw_process_error("Invalid alpha offset (2)");
                const uint64_t bitsv = uint64_t(load_le32(L.p + data)) | (uint64_t(load_le32(L.p + data + 4)) << 32);
                data += 8;
                const uint32_t a0 = bitsv & 0xFF, a1 = (bitsv >> 8) & 0xFF;
                uint32_t pal[8];
                pal[0] = a0;
                pal[7] = a1;
                for (uint32_t j = 1; j < 7; j++) pal[j] = ((7 - j) * a0 + j * a1) / 7;
                for (uint32_t px = 0; px < 16; px++) {
                    const uint32_t P = pal[(bitsv >> (16 + 3 * px)) & 7];
                    a.row(y0 + px / 4)[x0 + px % 4] = uint16_t((P << 4) | (P >> 4));
                }
            }
        }
    }
}

struct ChromaSub {
    int32_t cb0, cr0, cb1, cr1;
    uint32_t codes;
};

inline int32_t widen8(uint32_t b) { return int32_t((b << 4) | (b & 15)); }

void decode_chroma(const Layout &L, const Plane &cbp, const Plane &crp, uint32_t first_group, uint32_t groups) {
    const uint32_t bw = (L.width + 15) / 16;
    for (uint32_t g = first_group; g < first_group + groups; g++) {
        for (uint32_t b = 0; b < bw; b++) {
            const uint64_t entry = load_le32(L.p + L.chroma_table + 4 * (uint64_t(g) * bw + b));
            uint64_t at = L.chroma_data + 4 * entry;
            if (at + 4 > L.size) throw_process_error("Notch Lc invalid data (chroma)");
            const uint32_t W8 = load_le16(L.p + at), W4 = load_le16(L.p + at + 2);
            at += 4;
            auto next = [&]() {
                if (at + 8 > L.size) throw_process_error("Notch Lc invalid data (chroma)");
                const uint8_t *q = L.p + at;
                at += 8;
                return ChromaSub{widen8(q[0]), widen8(q[1]), widen8(q[2]), widen8(q[3]), load_le32(q + 4)};
            };
            auto put = [&](const ChromaSub &s, uint32_t c, uint32_t x0, uint32_t y0, uint32_t size) {
                const int32_t cc = int32_t(c);
                const uint16_t vb = uint16_t(s.cb0 + (cc * (s.cb1 - s.cb0) + 2) / 3);
                const uint16_t vr = uint16_t(s.cr0 + (cc * (s.cr1 - s.cr0) + 2) / 3);
                for (uint32_t yy = 0; yy < size; yy++)
                    for (uint32_t xx = 0; xx < size; xx++) {
                        cbp.row(y0 + yy)[x0 + xx] = vb;
                        crp.row(y0 + yy)[x0 + xx] = vr;
                    }
            };
            const uint32_t bx = b * 16, by = g * 16;
            if (W8 == 0 && W4 == 0) {
                const ChromaSub s = next();
                for (uint32_t k = 0; k < 16; k++)
                    put(s, (s.codes >> (2 * k)) & 3, bx + (k % 4) * 4, by + (k / 4) * 4, 4);
                continue;
            }
            for (uint32_t q = 0; q < 4; q++) {
                const uint32_t qx = bx + (q % 2) * 8, qy = by + (q / 2) * 8;
                if (W8 & (1u << q)) {
                    const ChromaSub s = next();
                    for (uint32_t k = 0; k < 16; k++)
                        put(s, (s.codes >> (2 * k)) & 3, qx + (k % 4) * 2, qy + (k / 4) * 2, 2);
                } else if (W4 != 0) {
                    for (uint32_t sb = 0; sb < 4; sb++) {
                        const ChromaSub s = next();
                        const uint32_t sx = qx + (sb % 2) * 4, sy = qy + (sb / 2) * 4;
                        for (uint32_t k = 0; k < 16; k++) put(s, (s.codes >> (2 * k)) & 3, sx + k % 4, sy + k / 4, 1);
                    }
                } else {
                    for (uint32_t yy = 0; yy < 8; yy++)
                        for (uint32_t xx = 0; xx < 8; xx++) {
                            cbp.row(qy + yy)[qx + xx] = 0;
                            crp.row(qy + yy)[qx + xx] = 0;
                        }
                }
            }
        }
    }
}

void run_slices(const SliceTable &t, const std::function<void(uint32_t, uint32_t)> &fn) {
    dispatch_apply(t.nb_slices, [&](size_t i) {
        if (t.count[i]) fn(t.first[i], t.count[i]);
    });
}

[[noreturn]] void fail_corrupt(NotchLcDecoder *d, const char *msg) {
    d->out_frame->error_flags |= VideoFrameError_Corrupt;
    throw_process_error(msg);
}

// Largest payload a frame of this size can need: header and tables plus generous room
// for the bit streams (under 3 bytes per pixel in practice). Anything larger is hostile.
uint64_t max_payload(uint32_t w, uint32_t h) {
    const uint64_t w16 = (uint64_t(w) + 15) / 16 * 16, h16 = (uint64_t(h) + 15) / 16 * 16;
    return 4096 + 8 * w16 * h16;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Node

void notchlc_decoder_free(NotchLcDecoder *d) {
    if (!d) return;
    video_frame_destroy(&d->out_frame);
    video_frame_destroy(&d->yuv_frame);
    free(d->payload);
    delete d;
}

void notchlc_decode_destroy(VideoFilter *f) {
    if (!f || !f->priv_data) return;
    notchlc_decoder_free(static_cast<NotchLcDecoder *>(f->priv_data));
    f->priv_data = nullptr;
}

VideoFilter *create_filter_notchlc_decode(const NotchLcDecodeParams *params) {
    return filter_node_create<NotchLcDecoder>(
        VideoFilterType_NotchLcDecode, 1, notchlc_decode_process, notchlc_decode_destroy,
        [&](NotchLcDecoder *d) -> VideoFrame * {
            d->out_frame = video_frame_new();
            d->width = params->width;
            d->height = params->height;
            d->slice_over_cores = params->slice_over_cores;
            d->decode_alpha = 1;
            d->convert_to_rgb = 0;
            if (d->width == 0 || d->height == 0) throw_process_error("Invalid decoding resolution");
            const uint32_t h = d->height;
            auto plan = [&](SliceTable *t, uint32_t units) {
                notchlc_slice_plan(t, units, d->slice_over_cores ? 1 : units);
            };
            plan(&d->group_slices, (h + 3) / 4);
            plan(&d->block_row_slices, (h + 15) / 16);
            plan(&d->row_slices, h);
            // Blocks are written whole, so the decoded planes cover multiples of 16.
            const uint32_t w16 = uint32_t((uint64_t(d->width) + 15) / 16 * 16);
            const uint32_t h16 = uint32_t((uint64_t(d->height) + 15) / 16 * 16);
            if (w16 < d->width || h16 < d->height) throw_process_error("Invalid decoding resolution");
            switch (params->pix_fmt) {
            case PixFmt_RGBA8:
            case PixFmt_RGBX8:
            case PixFmt_RGBA16:
            case PixFmt_RGBX16: {
                const bool alpha = params->pix_fmt == PixFmt_RGBA8 || params->pix_fmt == PixFmt_RGBA16;
                d->decode_alpha = alpha;
                d->yuv_frame = video_frame_new();
                video_frame_alloc_round(d->yuv_frame, d->width, d->height, alpha ? PixFmt_YUVA444_12 : PixFmt_YUV444_12,
                                        1, w16, h16);
                video_frame_alloc(d->out_frame, d->width, d->height, params->pix_fmt, 1);
                d->convert_to_rgb = 1;
                switch (params->pix_fmt) {
                case PixFmt_RGBA8: d->convert_kernel = notchlc_to_rgba8; break;
                case PixFmt_RGBX8: d->convert_kernel = notchlc_to_rgbx8; break;
                case PixFmt_RGBA16: d->convert_kernel = notchlc_to_rgba16; break;
                default: d->convert_kernel = notchlc_to_rgbx16; break;
                }
                break;
            }
            case PixFmt_YUV444_12:
            case PixFmt_YUVA444_12:
                video_frame_alloc_round(d->out_frame, d->width, d->height, params->pix_fmt, 1, w16, h16);
                d->decode_alpha = params->pix_fmt == PixFmt_YUVA444_12;
                break;
            default: throw_process_error("Unsupported dst fmt");
            }
            return d->out_frame;
        });
}

void notchlc_decode_process(VideoFilter *f) {
    auto *d = filter_node_data<NotchLcDecoder>(f);
    const VideoFrame *in = filter_node_input(f);
    if (in->data_descriptor != VideoFrameNotchLcData) throw_process_error("Invalid data descriptor");
    d->out_frame->error_flags = 0;
    d->out_frame->frame_index = in->frame_index;

    const uint8_t *s = in->data[0];
    const uint64_t sample_size = in->data_size[0];
    if (sample_size < 16 || !s) fail_corrupt(d, "Too small Notch LC frame");
    if (load_le32(s) != 0x4E4C4331u) fail_corrupt(d, "Invalid Notch LC frame (1)");
    const uint32_t comp = load_le32(s + 12);
    if (comp == 0) fail_corrupt(d, "LZF Notch LC frame unsupported\n");
    if (comp != 1) fail_corrupt(d, "Unsupported Notch LC frame format\n");
    const uint64_t S = load_le32(s + 4), Z = load_le32(s + 8);
    // Both sizes come from the file: the block must lie inside the sample, and the payload
    // must be one a frame of this size can need, before anything is allocated.
    // The decompressor takes its input size as an int and refuses more than its limit.
    if (Z > sample_size - 16 || Z > uint64_t(LZ4_MAX_INPUT_SIZE))
        fail_corrupt(d, "Invalid Notch LC frame (compressed size)");
    if (S > uint64_t(INT_MAX) - 64 || S > max_payload(d->width, d->height))
        fail_corrupt(d, "Invalid Notch LC frame (decompressed size)");

    if (S + 64 > d->payload_capacity) {
        free(d->payload);
        d->payload = nullptr;
        d->payload_capacity = 0;
        d->payload = static_cast<uint8_t *>(malloc(S + 64));
        if (!d->payload) {
            d->out_frame->error_flags |= VideoFrameError_Corrupt;
            throw_alloc_error();
        }
        d->payload_capacity = S + 64;
    }
    d->payload_size = uint32_t(S);
    if (LZ4_decompress_safe(reinterpret_cast<const char *>(s + 16), reinterpret_cast<char *>(d->payload), int(Z),
                            int(S)) != int(S))
        fail_corrupt(d, "Fail to uncompress Notch LC (2)");
    // The bit reader may take the last partial word whole: what follows S reads as zeros.
    std::memset(d->payload + S, 0, 64);

    VideoFrame *target = d->convert_to_rgb ? d->yuv_frame : d->out_frame;
    if (d->convert_to_rgb) printf("Use YUV frame as output\n");

    const uint8_t *p = d->payload;
    // The header has 40 bytes; a shorter payload cannot describe a frame.
    if (S < 14 || S < 40) fail_corrupt(d, "Invalid notch ld data (3)");
    struct Pos {
        uint32_t offset;
        const char *msg;
    } const positions[] = {{8, "Notch Lc invalid data (4)"},  {12, "Notch Lc invalid data (5)"},
                           {16, "Notch Lc invalid data (6)"}, {20, "Notch Lc invalid data (7)"},
                           {28, "Notch Lc invalid data (9)"}, {32, "Notch Lc invalid data (10)"}};
    for (const Pos &q : positions) {
        const uint32_t v = load_le32(p + q.offset);
        if (v > 0x3FFFFFFEu || uint64_t(v) * 4 > S) fail_corrupt(d, q.msg);
    }
    const uint64_t luma_size = load_le32(p + 24), data_end = load_le32(p + 36);
    if (data_end > S) fail_corrupt(d, "Notch Lc invalid data (11)");
    if (data_end <= luma_size) fail_corrupt(d, "Notch Lc invalid data (12)");
    Layout L;
    L.p = p;
    L.size = S;
    L.width = load_le32(p);
    L.height = load_le32(p + 4);
    L.chroma_table = uint64_t(load_le32(p + 8)) * 4;
    L.luma_control = uint64_t(load_le32(p + 12)) * 4;
    L.alpha_control = uint64_t(load_le32(p + 16)) * 4;
    L.chroma_data = uint64_t(load_le32(p + 20)) * 4;
    L.alpha_data = uint64_t(load_le32(p + 28)) * 4;
    L.data_end = data_end;
    L.luma_start = data_end - luma_size;
    if (L.luma_start <= L.alpha_data) fail_corrupt(d, "Notch Lc invalid data (13)");
    if (L.width != d->width) fail_corrupt(d, "Texture width != width unsupported");
    if (L.height != d->height) fail_corrupt(d, "Texture height != height unsupported");

    // Every table must lie inside the payload.
    const uint64_t bw4 = (uint64_t(L.width) + 3) / 4, bh4 = (uint64_t(L.height) + 3) / 4;
    const uint64_t bw16 = (uint64_t(L.width) + 15) / 16, bh16 = (uint64_t(L.height) + 15) / 16;
    const bool has_alpha = L.alpha_control != L.luma_start - L.alpha_data;
    if (40 + 4 * bh4 > S) fail_corrupt(d, "Notch Lc invalid data (luma rows)");
    if (L.luma_control + 4 * bw4 * bh4 > S) fail_corrupt(d, "Notch Lc invalid data (luma control)");
    if (L.chroma_table + 4 * bw16 * bh16 > S) fail_corrupt(d, "Notch Lc invalid data (chroma table)");
    if (d->decode_alpha && has_alpha && L.alpha_control + 8 * bw16 * bh16 > S)
        fail_corrupt(d, "Notch Lc invalid data (alpha control)");

    target->width = L.width;
    target->height = L.height;
    const Plane y{target->data[0], target->linesize[0]};
    const Plane cb{target->data[1], target->linesize[1]};
    const Plane cr{target->data[2], target->linesize[2]};
    try {
        run_slices(d->group_slices, [&](uint32_t first, uint32_t n) { decode_luma(L, y, first, n); });
        if (d->decode_alpha) {
            const Plane a{target->data[3], target->linesize[3]};
            if (!has_alpha) {
                for (uint32_t yy = 0; yy < L.height; yy++) std::fill_n(a.row(yy), L.width, uint16_t(4095));
            } else {
                run_slices(d->block_row_slices, [&](uint32_t first, uint32_t n) { decode_alpha(L, a, first, n); });
            }
        }
        run_slices(d->block_row_slices, [&](uint32_t first, uint32_t n) { decode_chroma(L, cb, cr, first, n); });
    } catch (const ProcessError &) {
        d->out_frame->error_flags |= VideoFrameError_Corrupt;
        throw;
    }

    if (d->convert_to_rgb) {
        VideoFrame *o = d->out_frame;
        const VideoFrame *yuv = d->yuv_frame;
        run_slices(d->row_slices, [&](uint32_t first, uint32_t n) {
            uint8_t *dst[4] = {nullptr, nullptr, nullptr, nullptr};
            const uint8_t *src[4] = {nullptr, nullptr, nullptr, nullptr};
            int64_t dls[4] = {0, 0, 0, 0}, sls[4] = {0, 0, 0, 0};
            for (int i = 0; i < 4; i++) {
                if (i < int(o->nb_planes) && o->data[i] && o->linesize[i] > 0) {
                    dst[i] = o->data[i] + int64_t(first) * o->linesize[i];
                    dls[i] = o->linesize[i];
                }
                if (i < int(yuv->nb_planes) && yuv->data[i] && yuv->linesize[i] > 0) {
                    src[i] = yuv->data[i] + int64_t(first) * yuv->linesize[i];
                    sls[i] = yuv->linesize[i];
                }
            }
            d->convert_kernel(dst, src, dls, sls, o->width, n);
        });
    }
    f->output = d->out_frame;
}
