#pragma once
// Helpers for the MOV reader tests: ffmpeg/ffprobe fixtures and a tiny atom builder for
// hand-made files.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "testutil/testutil.h"

namespace movtest {

using Bytes = std::vector<uint8_t>;

inline void put_be16(Bytes &b, uint32_t v) {
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
inline void put_be32(Bytes &b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}
inline void put_be64(Bytes &b, uint64_t v) {
    put_be32(b, uint32_t(v >> 32));
    put_be32(b, uint32_t(v));
}
inline void put_le32(Bytes &b, uint32_t v) {
    for (int s = 0; s < 32; s += 8) b.push_back(uint8_t(v >> s));
}
inline void put_le16(Bytes &b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void append(Bytes &b, const Bytes &x) { b.insert(b.end(), x.begin(), x.end()); }

inline Bytes atom(const char *type, const Bytes &payload) {
    Bytes b;
    put_be32(b, uint32_t(payload.size() + 8));
    b.insert(b.end(), type, type + 4);
    append(b, payload);
    return b;
}
inline Bytes atoms(std::initializer_list<Bytes> list) {
    Bytes b;
    for (const Bytes &x : list) append(b, x);
    return b;
}
inline Bytes zeros(size_t n) { return Bytes(n, 0); }

// A hand-made video trak: the caller gives the tables, the rest is filled in.
struct VideoTrakDesc {
    const char *codec = "Hap1";
    uint32_t width = 64, height = 48;
    uint32_t timescale = 25, media_duration = 0;
    std::vector<std::pair<uint32_t, uint32_t>> stts;  // (count, duration)
    uint32_t const_size = 0;
    std::vector<uint32_t> sizes;                      // per-sample sizes when const_size is 0
    uint32_t stsz_count = 0;                          // 0: sizes.size()
    std::vector<std::pair<uint32_t, uint32_t>> stsc;  // (first chunk, samples per chunk)
    std::vector<uint64_t> chunk_offsets;
    bool co64 = false;
    Bytes stsd_extensions;  // atoms after the 86-byte description
    uint16_t depth = 24;
    const char *handler = "vide";
};

inline Bytes full_box(uint32_t version_flags, const Bytes &rest) {
    Bytes b;
    put_be32(b, version_flags);
    append(b, rest);
    return b;
}

inline Bytes video_trak(const VideoTrakDesc &s) {
    Bytes tkhd = zeros(84);
    tkhd[76] = uint8_t(s.width >> 8), tkhd[77] = uint8_t(s.width);
    tkhd[80] = uint8_t(s.height >> 8), tkhd[81] = uint8_t(s.height);
    Bytes mdhd;
    put_be32(mdhd, 0);
    put_be32(mdhd, 0);
    put_be32(mdhd, 0);
    put_be32(mdhd, s.timescale);
    uint32_t dur = s.media_duration;
    if (!dur)
        for (auto &e : s.stts) dur += e.first * e.second;
    put_be32(mdhd, dur);
    put_be32(mdhd, 0);
    Bytes hdlr = zeros(8);
    hdlr.insert(hdlr.end(), s.handler, s.handler + 4);
    append(hdlr, zeros(12));
    Bytes desc;  // 86-byte video sample description + extensions
    Bytes body = zeros(78);
    body[0 + 70] = 0;
    // depth sits 82 bytes into the description = body offset 74
    body[74] = uint8_t(s.depth >> 8), body[75] = uint8_t(s.depth);
    put_be32(desc, uint32_t(86 + s.stsd_extensions.size()));
    desc.insert(desc.end(), s.codec, s.codec + 4);
    append(desc, body);
    append(desc, s.stsd_extensions);
    Bytes stsd;
    put_be32(stsd, 0);
    put_be32(stsd, 1);
    append(stsd, desc);
    Bytes stts;
    put_be32(stts, 0);
    put_be32(stts, uint32_t(s.stts.size()));
    for (auto &e : s.stts) put_be32(stts, e.first), put_be32(stts, e.second);
    Bytes stsz;
    put_be32(stsz, 0);
    put_be32(stsz, s.const_size);
    put_be32(stsz, s.stsz_count ? s.stsz_count : uint32_t(s.sizes.size()));
    if (!s.const_size)
        for (uint32_t v : s.sizes) put_be32(stsz, v);
    Bytes stsc;
    put_be32(stsc, 0);
    put_be32(stsc, uint32_t(s.stsc.size()));
    for (auto &e : s.stsc) put_be32(stsc, e.first), put_be32(stsc, e.second), put_be32(stsc, 1);
    Bytes stco;
    put_be32(stco, 0);
    put_be32(stco, uint32_t(s.chunk_offsets.size()));
    for (uint64_t o : s.chunk_offsets) s.co64 ? put_be64(stco, o) : put_be32(stco, uint32_t(o));
    Bytes stbl = atoms({atom("stsd", stsd), atom("stts", stts), atom("stsc", stsc), atom("stsz", stsz),
                        atom(s.co64 ? "co64" : "stco", stco)});
    Bytes minf = atom("stbl", stbl);
    Bytes mdia = atoms({atom("mdhd", mdhd), atom("hdlr", hdlr), atom("minf", minf)});
    return atom("trak", atoms({atom("tkhd", tkhd), atom("mdia", mdia)}));
}

// ftyp + mdat(samples) + moov(children). Sample offsets in the mdat start at 48.
constexpr uint64_t kMdatStart = 48;
inline Bytes mov_file(const Bytes &mdat_payload, const Bytes &moov_children) {
    Bytes f = atom("ftyp", atoms({Bytes{'q', 't', ' ', ' '}, zeros(4), Bytes{'q', 't', ' ', ' '}, zeros(12)}));
    // 32-byte ftyp, then an 8-byte 'wide' and the mdat header: samples start at 48.
    append(f, atom("wide", {}));
    Bytes md = atom("mdat", mdat_payload);
    append(f, md);
    append(f, atom("moov", moov_children));
    return f;
}

// --- ffmpeg / ffprobe -------------------------------------------------------------------

// Runs ffmpeg with the given arguments, writing `out`. Fails the test when it fails.
inline bool ffmpeg_make(const std::string &args, const std::string &out) {
    std::string ff = testutil::require_tool("ffmpeg");
    if (ff.empty()) return false;
    auto r = testutil::run_command(ff + " -v error -y " + args + " " + testutil::shell_quote(out) + " 2>&1");
    EXPECT_EQ(r.status, 0) << args << "\n" << r.output;
    return r.status == 0;
}

// key=value maps, one per line of ffprobe's compact output.
inline std::vector<std::map<std::string, std::string>> ffprobe_rows(const std::string &args, const std::string &file) {
    std::vector<std::map<std::string, std::string>> rows;
    std::string fp = testutil::require_tool("ffprobe");
    if (fp.empty()) return rows;
    auto r = testutil::run_command(fp + " -v error " + args + " -of compact=p=0 " + testutil::shell_quote(file));
    size_t pos = 0;
    while (pos < r.output.size()) {
        size_t nl = r.output.find('\n', pos);
        if (nl == std::string::npos) nl = r.output.size();
        std::string line = r.output.substr(pos, nl - pos);
        pos = nl + 1;
        if (line.empty()) continue;
        std::map<std::string, std::string> row;
        size_t i = 0;
        while (i <= line.size()) {
            size_t bar = line.find('|', i);
            if (bar == std::string::npos) bar = line.size();
            std::string kv = line.substr(i, bar - i);
            size_t eq = kv.find('=');
            if (eq != std::string::npos) row[kv.substr(0, eq)] = kv.substr(eq + 1);
            i = bar + 1;
        }
        rows.push_back(row);
    }
    return rows;
}

struct Packet {
    uint64_t pos;
    uint32_t size;
};
inline std::vector<Packet> ffprobe_packets(const std::string &file, const std::string &stream) {
    std::vector<Packet> out;
    for (auto &row : ffprobe_rows("-select_streams " + stream + " -show_entries packet=pos,size", file))
        out.push_back(Packet{std::stoull(row["pos"]), uint32_t(std::stoul(row["size"]))});
    return out;
}

}  // namespace movtest
