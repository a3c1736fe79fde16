#include "testutil/testutil.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace testutil {

TempDir::TempDir() {
    const char *base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/zelqa_test_XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string find_tool(const std::string &name) {
    const char *path = getenv("PATH");
    std::string p = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= p.size()) {
        size_t end = p.find(':', start);
        if (end == std::string::npos) end = p.size();
        std::string dir = p.substr(start, end - start);
        if (!dir.empty()) {
            std::string full = dir + "/" + name;
            if (access(full.c_str(), X_OK) == 0) return full;
        }
        start = end + 1;
    }
    return "";
}

std::string require_tool(const std::string &name) {
    std::string t = find_tool(name);
    if (t.empty()) ADD_FAILURE() << "required tool not found on PATH: " << name;
    return t;
}

void run_ffmpeg(const std::string &args) {
    const std::string tool = require_tool("ffmpeg");
    if (tool.empty()) { return; }
    const CommandResult r = run_command(tool + " -v error -nostdin -y " + args + " 2>&1");
    if (r.status != 0) { ADD_FAILURE() << "ffmpeg " << args << "\n" << r.output; }
}

std::string shell_quote(const std::string &s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

CommandResult run_command(const std::string &cmdline) {
    CommandResult r;
    FILE *f = popen(cmdline.c_str(), "r");
    if (!f) return r;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) r.output.append(buf, n);
    int st = pclose(f);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::vector<uint8_t> read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const void *data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("write failed: " + path);
}

void write_file(const std::string &path, const std::vector<uint8_t> &data) {
    write_file(path, data.data(), data.size());
}

std::string testdata_photo(const std::string &name) { return std::string(ZELQA_TESTDATA_DIR) + "/photos/" + name; }

std::vector<uint8_t> ffmpeg_raw_frame(const std::string &input_args, const std::string &pix_fmt,
                                      const std::string &vf) {
    std::string ffmpeg = require_tool("ffmpeg");
    if (ffmpeg.empty()) return {};
    std::string cmd = shell_quote(ffmpeg) + " -v error -nostdin " + input_args;
    if (!vf.empty()) cmd += " -vf " + shell_quote(vf);
    cmd += " -frames:v 1 -f rawvideo -pix_fmt " + pix_fmt + " - 2>/dev/null";
    CommandResult r = run_command(cmd);
    if (r.status != 0) {
        ADD_FAILURE() << "ffmpeg failed: " << cmd;
        return {};
    }
    return std::vector<uint8_t>(r.output.begin(), r.output.end());
}

double psnr8(const uint8_t *a, const uint8_t *b, size_t pixels, int stride_channels, int channels) {
    double se = 0;
    size_t count = 0;
    for (size_t i = 0; i < pixels; i++) {
        for (int c = 0; c < channels; c++) {
            double d = double(a[i * stride_channels + c]) - double(b[i * stride_channels + c]);
            se += d * d;
            count++;
        }
    }
    if (count == 0 || se == 0) return std::numeric_limits<double>::infinity();
    double mse = se / double(count);
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::vector<uint8_t> dds_file(uint32_t w, uint32_t h, const char *fourcc, const std::vector<uint8_t> &blocks) {
    std::vector<uint8_t> f(128 + blocks.size(), 0);
    auto put32 = [&f](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) { f[at + k] = static_cast<uint8_t>(v >> (8 * k)); }
    };
    std::memcpy(f.data(), "DDS ", 4);
    put32(4, 124);
    put32(8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000);  // caps, height, width, pixel format, linear size
    put32(12, h);
    put32(16, w);
    put32(20, static_cast<uint32_t>(blocks.size()));
    put32(76, 32);   // pixel format size
    put32(80, 0x4);  // four-character code
    std::memcpy(&f[84], fourcc, 4);
    put32(108, 0x1000);  // texture
    if (!blocks.empty()) { std::memcpy(&f[128], blocks.data(), blocks.size()); }
    return f;
}

}  // namespace testutil
