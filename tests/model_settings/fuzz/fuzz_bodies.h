#pragma once
// What the fuzz targets of the settings readers run on one input; the replay test runs the
// same bodies on the inputs kept in inputs/<target>/.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/settings/crop_item_list.h"
#include "model/settings/expr.h"
#include "model/settings/setting.h"
#include "platform/foundation/file_io.h"

namespace settings_fuzz {

inline std::string scratch(const char *suffix) {
    const char *dir = getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/zelqa_settings_fuzz_" + std::to_string(getpid()) + suffix;
}

// A preset file: read it, write it again, read the written text back.
inline void setting_reader(const uint8_t *data, size_t size) {
    static const std::string path = scratch(".xml");
    write_file_atomic(path, data, size, nullptr);
    Setting s;
    s.set_from_xml_file(path);
    const std::string text = s.get_xml_str_content();
    write_file_atomic(path, text, nullptr);
    Setting back;
    if (!back.set_from_xml_file(path)) abort();  // our own output must always read
}

// A crop list file, JSON or CSV by the last byte; loaded items are written again.
inline void crop_list_reader(const uint8_t *data, size_t size) {
    static const std::string json = scratch(".json"), csv = scratch(".csv");
    const bool as_json = size > 0 && (data[size - 1] & 1);
    const std::string &path = as_json ? json : csv;
    write_file_atomic(path, data, size, nullptr);
    CropItemList list;
    list.load_from_file(path);
    list.write_to_file(path);
    CropItemList back;
    back.load_from_file(path);
}

inline void expression(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    int error = 0;
    expr_interpret(text.c_str(), &error);
    ExprEvaluate e;
    e.set_str(text);
    e.process_evaluate();
    e.get_int_in_range_and_max_v_and_default(-100, 100, 0);
    e.get_float_in_range_and_max_v_and_default(-100.0f, 100.0f, 0.0f);
}

}  // namespace settings_fuzz
