#pragma once
// Test helpers: temporary folders, external tools (ffmpeg, ffprobe), files and PSNR.
#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// A fresh folder under TMPDIR, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Full path of a program on PATH, or "" when it is not there.
std::string find_tool(const std::string &name);
// Like find_tool, but records a test failure (a missing oracle never passes silently).
std::string require_tool(const std::string &name);

struct CommandResult {
    int status = -1;     // exit status, or -1 when it did not exit normally
    std::string output;  // standard output
};
// Runs a shell command line; standard error goes to the given file or is discarded.
CommandResult run_command(const std::string &cmdline);
// Quotes one argument for the shell.
std::string shell_quote(const std::string &s);

// Runs the ffmpeg tool with "-v error -nostdin -y" and args; a missing tool or a failure
// fails the test (with the tool's messages).
void run_ffmpeg(const std::string &args);

std::vector<uint8_t> read_file(const std::string &path);
void write_file(const std::string &path, const std::vector<uint8_t> &data);
void write_file(const std::string &path, const void *data, size_t size);

// Path of a picture in the shared test data (photos/NAME).
std::string testdata_photo(const std::string &name);

// Makes raw frames with the ffmpeg tool: `ffmpeg -i input [vf] -frames:v 1 -f rawvideo -pix_fmt fmt`.
// input is the ffmpeg input arguments, e.g. "-f lavfi -i testsrc2=size=64x32" or "-i file.png".
std::vector<uint8_t> ffmpeg_raw_frame(const std::string &input_args, const std::string &pix_fmt,
                                      const std::string &vf = "");

// A DDS file holding one texture without mipmaps (fourcc "DXT1", "DXT5", "ATI1", ...;
// blocks for ceil(w/4) x ceil(h/4)), for the ffmpeg tool to decode.
std::vector<uint8_t> dds_file(uint32_t w, uint32_t h, const char *fourcc, const std::vector<uint8_t> &blocks);

// PSNR in dB over 8-bit samples; `stride_channels`/`channels` choose which bytes count
// (e.g. 4 and 3 compare RGB of RGBA data). Returns +inf for equal data.
double psnr8(const uint8_t *a, const uint8_t *b, size_t pixels, int stride_channels = 1, int channels = 1);

}  // namespace testutil
