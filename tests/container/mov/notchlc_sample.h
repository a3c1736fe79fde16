#pragma once
// Builds Notch LC samples from the format's layout (the tests and the benchmark use it):
// a picture of luma blocks, chroma records and optional alpha blocks becomes a payload,
// then a sample of a 16-byte header and one LZ4 block.
#include <lz4.h>

#include <cstdint>
#include <random>
#include <vector>

namespace notchlc_sample {

using Bytes = std::vector<uint8_t>;

inline void put_le32(Bytes &b, uint32_t v) {
    for (int s = 0; s < 32; s += 8) b.push_back(uint8_t(v >> s));
}
inline void put_le16(Bytes &b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void append(Bytes &b, const Bytes &x) { b.insert(b.end(), x.begin(), x.end()); }

struct LumaBlock {
    uint32_t m, M;
    uint32_t modes[4];
    uint32_t codes[4][4];  // [row][pixel]
};

struct ChromaSubRecord {
    uint8_t cb0, cr0, cb1, cr1;
    uint32_t codes;
};
struct ChromaBlock {
    uint16_t W8 = 0, W4 = 0;
    std::vector<ChromaSubRecord> subs;
};

struct AlphaBlock {
    uint32_t K = 0;
    std::vector<uint64_t> entries;  // one per code-2 sub-block
};

struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<LumaBlock> luma;      // raster, ceil(w/4) x ceil(h/4)
    std::vector<ChromaBlock> chroma;  // raster, ceil(w/16) x ceil(h/16)
    std::vector<AlphaBlock> alpha;    // empty: no alpha in the frame
};

class BitWriter {
public:
    void put(uint32_t v, uint32_t k) {
        acc_ |= uint64_t(v) << n_;
        n_ += k;
        while (n_ >= 32) {
            put_le32(out, uint32_t(acc_));
            acc_ >>= 32;
            n_ -= 32;
        }
    }
    void flush() {
        if (n_) put_le32(out, uint32_t(acc_));
        acc_ = 0;
        n_ = 0;
    }
    Bytes out;

private:
    uint64_t acc_ = 0;
    uint32_t n_ = 0;
};

inline Bytes payload_of(const Picture &pic) {
    const uint32_t bw4 = (pic.width + 3) / 4, bh4 = (pic.height + 3) / 4;
    const uint32_t bw16 = (pic.width + 15) / 16, bh16 = (pic.height + 15) / 16;
    // Luma streams, one per 4-row group.
    Bytes luma;
    std::vector<uint32_t> rows;
    for (uint32_t g = 0; g < bh4; g++) {
        rows.push_back(uint32_t(luma.size()));
        BitWriter w;
        for (uint32_t b = 0; b < bw4; b++) {
            const LumaBlock &lb = pic.luma[g * bw4 + b];
            for (uint32_t r = 0; r < 4; r++) {
                uint32_t nb = lb.modes[r] + 1, field = 0;
                for (uint32_t j = 0; j < 4; j++) field |= lb.codes[r][j] << (j * nb);
                w.put(field, 4 * nb);
            }
        }
        w.flush();
        append(luma, w.out);
    }
    Bytes chroma;
    std::vector<uint32_t> chroma_pos;
    for (const ChromaBlock &cb : pic.chroma) {
        chroma_pos.push_back(uint32_t(chroma.size() / 4));
        put_le16(chroma, cb.W8);
        put_le16(chroma, cb.W4);
        for (const ChromaSubRecord &s : cb.subs) {
            chroma.push_back(s.cb0), chroma.push_back(s.cr0), chroma.push_back(s.cb1), chroma.push_back(s.cr1);
            put_le32(chroma, s.codes);
        }
    }
    Bytes alpha;
    std::vector<std::pair<uint32_t, uint32_t>> alpha_ctrl;
    for (const AlphaBlock &ab : pic.alpha) {
        alpha_ctrl.push_back({ab.K, uint32_t(alpha.size() / 4)});
        for (uint64_t e : ab.entries) put_le32(alpha, uint32_t(e)), put_le32(alpha, uint32_t(e >> 32));
    }
    const uint32_t row_table = 10;  // words
    const uint32_t luma_ctrl = row_table + bh4;
    const uint32_t chroma_table = luma_ctrl + bw4 * bh4;
    const uint32_t alpha_ctrl_pos = chroma_table + bw16 * bh16;
    const uint32_t chroma_data = alpha_ctrl_pos + 2 * uint32_t(alpha_ctrl.size());
    const uint32_t alpha_data = uint32_t(chroma.size() / 4);  // from the chroma data
    const uint32_t L = 4 * (chroma_data + alpha_data) + uint32_t(alpha.size());
    const uint32_t data_end = L + uint32_t(luma.size());
    Bytes p;
    put_le32(p, pic.width);
    put_le32(p, pic.height);
    put_le32(p, chroma_table);
    put_le32(p, luma_ctrl);
    // Without alpha the alpha control position is the one that marks it absent.
    put_le32(p, pic.alpha.empty() ? (L - 4 * alpha_data) / 4 : alpha_ctrl_pos);
    put_le32(p, chroma_data);
    put_le32(p, uint32_t(luma.size()));
    put_le32(p, alpha_data);
    put_le32(p, 0);
    put_le32(p, data_end);
    for (uint32_t r : rows) put_le32(p, r);
    for (const LumaBlock &lb : pic.luma)
        put_le32(p, lb.m | (lb.M << 12) | (lb.modes[0] << 24) | (lb.modes[1] << 26) | (lb.modes[2] << 28) |
                        (lb.modes[3] << 30));
    for (uint32_t c : chroma_pos) put_le32(p, c);
    for (auto &ac : alpha_ctrl) put_le32(p, ac.first), put_le32(p, ac.second);
    append(p, chroma);
    append(p, alpha);
    append(p, luma);
    return p;
}

inline Bytes sample_of(const Bytes &payload, uint32_t compression = 1) {
    Bytes z(LZ4_compressBound(int(payload.size())));
    int n = LZ4_compress_default(reinterpret_cast<const char *>(payload.data()), reinterpret_cast<char *>(z.data()),
                                 int(payload.size()), int(z.size()));
    z.resize(size_t(n));
    Bytes s = {0x31, 0x43, 0x4C, 0x4E};
    put_le32(s, uint32_t(payload.size()));
    put_le32(s, uint32_t(z.size()));
    put_le32(s, compression);
    append(s, z);
    return s;
}

inline Picture random_picture(uint32_t w, uint32_t h, bool with_alpha, uint32_t seed) {
    std::mt19937 rng(seed);
    Picture pic;
    pic.width = w;
    pic.height = h;
    const uint32_t n4 = ((w + 3) / 4) * ((h + 3) / 4), n16 = ((w + 15) / 16) * ((h + 15) / 16);
    for (uint32_t i = 0; i < n4; i++) {
        LumaBlock b;
        b.m = rng() % 4096;
        b.M = b.m + rng() % (4096 - b.m);  // M >= m: the range every encoder writes
        for (uint32_t r = 0; r < 4; r++) {
            b.modes[r] = rng() % 4;
            for (uint32_t j = 0; j < 4; j++) b.codes[r][j] = rng() % (1u << (b.modes[r] + 1));
        }
        pic.luma.push_back(b);
    }
    auto sub = [&] {
        return ChromaSubRecord{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint32_t(rng())};
    };
    for (uint32_t i = 0; i < n16; i++) {
        ChromaBlock c;
        switch (i % 4) {
        case 0:  // one record for the block
            c.subs.push_back(sub());
            break;
        case 1:  // every quadrant in 2x2 cells
            c.W8 = 0xF;
            for (int k = 0; k < 4; k++) c.subs.push_back(sub());
            break;
        case 2:  // 4x4 records in quadrants 1 and 2, 2x2 cells in 0 and 3
            c.W8 = 0x9;
            c.W4 = 1;
            for (int k = 0; k < 1 + 4 + 4 + 1; k++) c.subs.push_back(sub());
            break;
        default:  // quadrant 0 in cells, the rest zero
            c.W8 = 0x1;
            c.subs.push_back(sub());
            break;
        }
        pic.chroma.push_back(c);
    }
    if (with_alpha)
        for (uint32_t i = 0; i < n16; i++) {
            AlphaBlock a;
            for (uint32_t s = 0; s < 16; s++) {
                uint32_t code = rng() % 3;
                a.K |= code << (2 * s);
                if (code == 2) a.entries.push_back(uint64_t(rng()) << 32 | rng());
            }
            pic.alpha.push_back(a);
        }
    return pic;
}

}  // namespace notchlc_sample
