#pragma once
// Source-name find/replace rules to and from their exchange file (JSON, {"items": [...]}).
#include <string>
#include <vector>

#include "model/settings/setting_naming.h"

class SettingNamingSrcNameTxtReplaceList {
public:
    std::vector<TxtReplaceRef> arr_objs;
    // User lines of the last load or write, shown together by the caller.
    std::vector<std::string> arr_err_import_export;

    void setArr_objs(const std::vector<TxtReplaceRef> &v) { arr_objs = v; }
    void setArr_err_import_export(const std::vector<std::string> &v) { arr_err_import_export = v; }

    // Keeps the given rules (the same objects).
    void set_with_arr_obj(const std::vector<TxtReplaceRef> &rules) { arr_objs = rules; }
    // By extension ("json" exactly). False unless every item was read; the valid rules stay.
    bool load_from_file(const std::string &path);
    bool load_from_json_file(const std::string &path);
    bool write_to_file(const std::string &path);
    bool write_to_json_file(const std::string &path);
};
