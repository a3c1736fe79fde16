#pragma once
// Helpers of the MOV and WAV writer tests: a small atom walker over written
// bytes, hand-made HAP frames and a file-size limit for short-write tests.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/core/errors.h"
#include "testutil/testutil.h"

namespace mwtest {

// The ProcessError text fn throws, or "(nothing thrown)".
inline std::string thrown_message(const std::function<void()> &fn) {
    try {
        fn();
    } catch (const ProcessError &e) { return e.what(); }
    return "(nothing thrown)";
}

inline uint32_t be32(const uint8_t *p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
inline uint16_t be16(const uint8_t *p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint64_t be64(const uint8_t *p) { return (uint64_t(be32(p)) << 32) | be32(p + 4); }
inline uint32_t le32(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
inline uint16_t le16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }

struct Box {
    std::string type;
    uint64_t offset = 0;  // of the header
    uint64_t size = 0;    // whole atom
    uint64_t header = 0;  // 8 or 16
    bool found = false;
    uint64_t payload_offset() const { return offset + header; }
    uint64_t payload_size() const { return size - header; }
};

// Atoms directly inside [begin, end) of data.
inline std::vector<Box> boxes_in(const std::vector<uint8_t> &d, uint64_t begin, uint64_t end) {
    std::vector<Box> out;
    uint64_t pos = begin;
    while (pos + 8 <= end) {
        Box b;
        b.offset = pos;
        b.size = be32(&d[pos]);
        b.type.assign(reinterpret_cast<const char *>(&d[pos + 4]), 4);
        b.header = 8;
        if (b.size == 1) {
            if (pos + 16 > end) break;
            b.size = be64(&d[pos + 8]);
            b.header = 16;
        }
        if (b.size < b.header || pos + b.size > end) break;
        b.found = true;
        out.push_back(b);
        pos += b.size;
    }
    return out;
}

// Path like "moov/trak#2/mdia/minf/stbl/stsc" (#n: the n-th atom of that type,
// from 1). A sample description is walked into with "stsd" (8 bytes of table
// header) and its entry's extensions start 78 bytes into the entry.
inline Box find_box(const std::vector<uint8_t> &d, const std::string &path) {
    uint64_t begin = 0, end = d.size();
    Box cur;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        int want = 1;
        size_t hash = part.find('#');
        if (hash != std::string::npos) {
            want = std::stoi(part.substr(hash + 1));
            part = part.substr(0, hash);
        }
        Box hit;
        int seen = 0;
        for (const Box &b : boxes_in(d, begin, end))
            if (b.type == part && ++seen == want) {
                hit = b;
                break;
            }
        if (!hit.found) return Box{};
        cur = hit;
        begin = hit.payload_offset();
        end = hit.offset + hit.size;
        if (part == "stsd") begin += 8;
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return cur;
}

inline std::vector<uint8_t> payload_of(const std::vector<uint8_t> &d, const Box &b) {
    if (!b.found) return {};
    return std::vector<uint8_t>(d.begin() + b.payload_offset(), d.begin() + b.offset + b.size);
}

inline std::vector<uint8_t> random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// Section header of a HAP frame: 24-bit little-endian length and a type byte.
inline void hap_section(std::vector<uint8_t> &out, uint8_t type, const std::vector<uint8_t> &content) {
    uint32_t n = static_cast<uint32_t>(content.size());
    out.push_back(uint8_t(n));
    out.push_back(uint8_t(n >> 8));
    out.push_back(uint8_t(n >> 16));
    out.push_back(type);
    out.insert(out.end(), content.begin(), content.end());
}

// An uncompressed HAP frame of random blocks for a four-character code
// (Hap1 DXT1, Hap5 DXT5, HapY YCoCg DXT5, HapA RGTC1, HapM YCoCg + RGTC1, Hap7 BC7).
inline std::vector<uint8_t> make_hap_frame(const char *tag, uint32_t w, uint32_t h, uint32_t seed) {
    const size_t blocks = size_t((w + 3) / 4) * ((h + 3) / 4);
    std::vector<uint8_t> out;
    std::string t(tag, 4);
    if (t == "Hap1")
        hap_section(out, 0xAB, random_bytes(blocks * 8, seed));
    else if (t == "Hap5")
        hap_section(out, 0xAE, random_bytes(blocks * 16, seed));
    else if (t == "HapY")
        hap_section(out, 0xAF, random_bytes(blocks * 16, seed));
    else if (t == "HapA")
        hap_section(out, 0xA1, random_bytes(blocks * 8, seed));
    else if (t == "Hap7")
        hap_section(out, 0xAC, random_bytes(blocks * 16, seed));
    else if (t == "HapM") {
        std::vector<uint8_t> inner;
        hap_section(inner, 0xAF, random_bytes(blocks * 16, seed));
        hap_section(inner, 0xA1, random_bytes(blocks * 8, seed + 1));
        hap_section(out, 0x0D, inner);
    }
    return out;
}

// Limits the size of files this process writes; a write past it is cut short
// (SIGXFSZ ignored). Restored on destruction.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        old_handler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit r = old_;
        r.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, old_handler_);
    }

private:
    rlimit old_{};
    sighandler_t old_handler_;
};

// Runs a command, standard error merged into the output.
inline testutil::CommandResult run(const std::string &cmd) { return testutil::run_command(cmd + " 2>&1"); }

// "key=value" lines of ffprobe's default writer for one stream.
inline std::string probe_stream(const std::string &file, const std::string &stream, const std::string &entries) {
    std::string ffprobe = testutil::require_tool("ffprobe");
    auto r = testutil::run_command(ffprobe + " -v error -select_streams " + stream + " -show_entries " + entries +
                                   " -of default=noprint_wrappers=1 " + testutil::shell_quote(file) + " 2>&1");
    return r.output;
}

}  // namespace mwtest
