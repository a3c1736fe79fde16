#include "model/settings/txt_replace_list.h"

#include "model/settings/json_items_file.h"

bool SettingNamingSrcNameTxtReplaceList::load_from_file(const std::string &path) {
    if (!json_items_file_check_extension(path, arr_err_import_export)) return false;
    const bool ok = load_from_json_file(path);
    if (arr_objs.empty()) {
        arr_err_import_export.push_back("Can't find valid data inside the file");
        return false;
    }
    return ok;
}

bool SettingNamingSrcNameTxtReplaceList::load_from_json_file(const std::string &path) {
    arr_err_import_export.clear();
    arr_objs.clear();
    return json_items_file_load(path, arr_err_import_export, [this](const Json &item) {
        TxtReplaceRef rule = SettingNamingSrcNameTxtReplace::init();
        std::string err = rule->set_from_json_dict(item);
        if (err.empty()) arr_objs.push_back(rule);
        return err;
    });
}

bool SettingNamingSrcNameTxtReplaceList::write_to_file(const std::string &path) {
    if (!json_items_file_check_extension(path, arr_err_import_export)) return false;
    return write_to_json_file(path);
}

bool SettingNamingSrcNameTxtReplaceList::write_to_json_file(const std::string &path) {
    Json items = Json::array();
    for (const TxtReplaceRef &rule : arr_objs) items.push_back(rule->get_json_dict());
    return json_items_file_write(path, std::move(items));
}
