#pragma once
// Finds the numbered image sequence a file belongs to: folder, base name, digit count,
// extension, the file's own number and, after a folder scan, the unbroken run of numbers
// around it with a text listing the frames missing on either side.
//
// Digit runs are ASCII digits, at most 10 of them (the last 10 when a name has more), the
// same rule as the media probe and the image-sequence source, so that all three name the
// same files. Failures are texts in `error`; nothing throws. Lines are logged, not printed.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ImagesSeqParser;
// Parsers are shared objects; copies are explicit (mutableCopyWithZone).
using ImagesSeqParserRef = std::shared_ptr<ImagesSeqParser>;

// Longest digit run read as a frame number.
constexpr uint32_t kImagesSeqMaxDigits = 10;

struct ImagesSeqRange {
    uint32_t location;  // first missing number
    uint32_t length;    // how many are missing
};

class ImagesSeqParser {
public:
    std::optional<std::string> error;
    std::string in_filepath;
    std::string folderpath;  // in_filepath without its last component
    std::string basename;    // the name without extension and without its trailing digits
    uint32_t digits = 0;     // 0: not numbered
    std::string ext;         // without the dot
    uint32_t in_f = 0;       // number of the given file
    uint32_t start_f = 0;    // the run; both in_f until the folder is scanned
    uint32_t end_f = 0;
    std::optional<std::string> str_missing_frame;

    // Empty texts, zero numbers, no error.
    static ImagesSeqParserRef init();
    // init, then parse_in_file on the path (no folder scan).
    static ImagesSeqParserRef init_with_filepath(const std::string &path);

    void parse_in_file();
    // Scans the folder for the run around in_f; a file without digits is a single image.
    void parse_folder();

    // end_f - start_f + 1 (1 for a file without digits, 0 with a log line when end < start).
    uint32_t get_duration_f() const;
    // "take_[1-100].png", the file name for a one-frame run, "clip.png" without digits.
    std::string get_basename_ui() const;
    // The other path parses (no scan) to the same folder, base name, extension and digits.
    bool is_filepath_in_img_seq(const std::string &path) const;

    ImagesSeqParserRef mutableCopyWithZone() const;
    std::string description() const;

    // Steps of the folder scan.
    void update_from_list_basename_file(const std::vector<std::string> &names);
    void update_start_end_missing_from_index_num(std::vector<uint32_t> numbers);
    static std::vector<ImagesSeqRange> get_missing_ranges_from_list_sort_nsnum_unsigned(
        const std::vector<uint32_t> &sorted);
    static std::string get_str_missing_range_from_val(const ImagesSeqRange &range);
};

// The trailing digit run of a name without extension: its start in `name`, its length
// (0 for none) and its value. False when the run does not fit 32 bits.
bool images_seq_split_digits(const std::string &name, size_t *run_start, uint32_t *run_length, uint32_t *value);
