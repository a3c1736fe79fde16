#include "pipeline/source/images_seq_parser.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/core/log.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/path.h"

bool images_seq_split_digits(const std::string &name, size_t *run_start, uint32_t *run_length, uint32_t *value) {
    size_t start = name.size();
    while (start > 0 && name.size() - start < kImagesSeqMaxDigits && name[start - 1] >= '0' && name[start - 1] <= '9')
        start--;
    *run_start = start;
    *run_length = uint32_t(name.size() - start);
    *value = 0;
    uint64_t v = 0;
    for (size_t i = start; i < name.size(); ++i) v = v * 10 + uint64_t(name[i] - '0');
    if (v > 0xFFFFFFFFull) return false;
    *value = uint32_t(v);
    return true;
}

ImagesSeqParserRef ImagesSeqParser::init() { return std::make_shared<ImagesSeqParser>(); }

ImagesSeqParserRef ImagesSeqParser::init_with_filepath(const std::string &path) {
    ImagesSeqParserRef p = init();
    p->in_filepath = path;
    p->parse_in_file();
    return p;
}

void ImagesSeqParser::parse_in_file() {
    ext = path_extension(in_filepath);
    folderpath = path_folder(in_filepath);
    const std::string name = path_name_without_extension(in_filepath);
    if (name.empty()) {
        error = "File have no name";
        return;
    }
    if (folderpath.size() == in_filepath.size()) {
        error = "No filename";
        return;
    }
    size_t run_start;
    uint32_t run_length, value;
    const bool ok = images_seq_split_digits(name, &run_start, &run_length, &value);
    basename = name.substr(0, run_start);
    if (run_length == 0) return;
    digits = run_length;
    if (!ok) {
        error = "Fail to get digit part";
        return;
    }
    in_f = start_f = end_f = value;
}

void ImagesSeqParser::parse_folder() {
    if (!is_existing_file(in_filepath)) {
        error = "File not found";
        return;
    }
    if (digits == 0) return;
    std::vector<std::string> entries, kept;
    std::string reason;
    const std::string folder = folderpath.empty() ? "." : folderpath;
    if (!list_folder(folder, entries, reason)) {
        zlog("Fail to get file from folder : %s : %s", folder.c_str(), reason.c_str());
        entries.clear();
    }
    for (std::string &e : entries)
        if (path_extension(e) == ext) kept.push_back(std::move(e));
    update_from_list_basename_file(kept);
}

void ImagesSeqParser::update_from_list_basename_file(const std::vector<std::string> &names) {
    // A rescan describes the folder as it is now.
    str_missing_frame.reset();
    if (names.empty()) {
        error = "Fail to get files from dir";
        return;
    }
    std::vector<uint32_t> numbers;
    uint32_t smallest = start_f, largest = end_f;
    for (const std::string &file : names) {
        const std::string name = path_name_without_extension(file);
        size_t run_start;
        uint32_t run_length, value;
        if (!images_seq_split_digits(name, &run_start, &run_length, &value)) {
            zlog("DEV POSSIBLE ? Fail to get digit part");
            value = 0;
        }
        if (run_length != digits || name.compare(0, run_start, basename) != 0) continue;
        numbers.push_back(value);
        smallest = std::min(smallest, value);
        largest = std::max(largest, value);
    }
    const uint32_t n = largest - smallest + 1;
    if (n == 0) {
        error = "Fail to get images sequence";
        return;
    }
    if (n == numbers.size()) {
        start_f = smallest;
        end_f = largest;
        return;
    }
    update_start_end_missing_from_index_num(std::move(numbers));
}

void ImagesSeqParser::update_start_end_missing_from_index_num(std::vector<uint32_t> numbers) {
    str_missing_frame.reset();
    start_f = end_f = in_f;
    std::sort(numbers.begin(), numbers.end());
    const auto it = std::lower_bound(numbers.begin(), numbers.end(), in_f);
    if (it == numbers.end() || *it != in_f) {
        error = "Fail to get images seq (2)";
        return;
    }
    const size_t pos = size_t(it - numbers.begin());

    size_t low = pos;
    while (low > 0 && numbers[low - 1] == start_f - 1) {
        start_f--;
        low--;
    }
    std::vector<uint32_t> lower, upper;
    if (low > 0) {
        zlog("Missing prev frame");
        lower.assign(numbers.begin(), numbers.begin() + ptrdiff_t(low) + 1);
    }
    size_t high = pos;
    while (high + 1 < numbers.size() && numbers[high + 1] == end_f + 1) {
        end_f++;
        high++;
    }
    if (high + 1 < numbers.size()) upper.assign(numbers.begin() + ptrdiff_t(high), numbers.end());

    std::vector<ImagesSeqRange> ranges = get_missing_ranges_from_list_sort_nsnum_unsigned(lower);
    const std::vector<ImagesSeqRange> up = get_missing_ranges_from_list_sort_nsnum_unsigned(upper);
    ranges.insert(ranges.end(), up.begin(), up.end());
    uint64_t total = 0;
    std::string list;
    for (const ImagesSeqRange &r : ranges) {
        total += r.length;
        if (!list.empty()) list += ", ";
        list += get_str_missing_range_from_val(r);
    }
    if (ranges.empty()) return;
    char head[64];
    snprintf(head, sizeof head, total > 1 ? "%" PRIu64 " missing frames" : "%" PRIu64 " missing frame", total);
    str_missing_frame = std::string(head) + " : " + list;
}

std::vector<ImagesSeqRange> ImagesSeqParser::get_missing_ranges_from_list_sort_nsnum_unsigned(
    const std::vector<uint32_t> &sorted) {
    std::vector<ImagesSeqRange> ranges;
    for (size_t i = 1; i < sorted.size(); ++i) {
        const uint64_t a = sorted[i - 1], b = sorted[i];
        if (b < a + 1) {
            zlog("ERROR : Missing ranges, array not sorted");
        } else if (b > a + 1) {
            ranges.push_back({uint32_t(a + 1), uint32_t(b - a - 1)});
        }
    }
    return ranges;
}

std::string ImagesSeqParser::get_str_missing_range_from_val(const ImagesSeqRange &range) {
    char text[48];
    if (range.length <= 1)
        snprintf(text, sizeof text, "[%u]", range.location);
    else
        snprintf(text, sizeof text, "[%u-%u]", range.location, uint32_t(uint64_t(range.location) + range.length - 1));
    return text;
}

uint32_t ImagesSeqParser::get_duration_f() const {
    if (digits == 0) return 1;
    if (end_f < start_f) {
        zlog("Invalid start end f (%d ; %d)", int(start_f), int(end_f));
        return 0;
    }
    return end_f - start_f + 1;
}

std::string ImagesSeqParser::get_basename_ui() const {
    if (digits == 0) return basename + "." + ext;
    if (start_f == end_f) return path_last_component(in_filepath);
    return basename + "[" + std::to_string(start_f) + "-" + std::to_string(end_f) + "]." + ext;
}

bool ImagesSeqParser::is_filepath_in_img_seq(const std::string &path) const {
    const ImagesSeqParserRef other = init_with_filepath(path);
    if (other->error) return false;
    return other->basename == basename && other->folderpath == folderpath && other->ext == ext &&
           other->digits == digits;
}

ImagesSeqParserRef ImagesSeqParser::mutableCopyWithZone() const { return std::make_shared<ImagesSeqParser>(*this); }

std::string ImagesSeqParser::description() const {
    auto opt = [](const std::optional<std::string> &s) { return s ? *s : std::string("(null)"); };
    char nums[160];
    snprintf(nums, sizeof nums, "Start F : %u ; End F : %u ; in_f : %u", start_f, end_f, in_f);
    return "ImagesSeqParser : Error : '" + opt(error) + "', FolderPath : '" + folderpath +
           "', Digits : " + std::to_string(digits) + ", Basename : '" + basename + "', Ext : '" + ext + "', " + nums +
           " ; In file : " + in_filepath + " ; Missing Frames : " + opt(str_missing_frame);
}
