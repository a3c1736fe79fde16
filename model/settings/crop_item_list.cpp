#include "model/settings/crop_item_list.h"

#include "platform/core/log.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/path.h"

void CropItemList::set_with_arr_crop_items(const std::vector<CropItemRef> &items) { arr_crops = items; }

bool CropItemList::load_from_file(const std::string &path) {
    const std::string ext = path_extension(path);
    bool ok;
    if (ext == "json") {
        ok = load_from_json_file(path);
    } else if (ext == "csv") {
        ok = load_from_csv_file(path);
    } else {
        arr_err_import_export.push_back("Unsupported file extension : " + ext);
        return false;
    }
    if (arr_crops.empty()) {
        arr_err_import_export.push_back("Can't find valid crop data inside the file");
        return false;
    }
    for (const CropItemRef &item : arr_crops) item->set_new_random_color();
    return ok;
}

bool CropItemList::write_to_file(const std::string &path) {
    const std::string ext = path_extension(path);
    if (ext == "json") return write_to_json_file(path);
    if (ext == "csv") return write_to_csv_file(path);
    arr_err_import_export.push_back("Unsupported file extension : " + ext);
    return false;
}

bool CropItemList::load_from_json_file(const std::string &path) {
    arr_crops.clear();
    arr_err_import_export.clear();
    if (!is_existing_file(path)) {
        zlog("Can't read json from file. File not exists : %s", path.c_str());
        arr_err_import_export.push_back("Fail to read json file");
        return false;
    }
    std::string text, error;
    Json root;
    if (!read_whole_file(path, &text, &error) || !json_parse(text, &root, &error)) {
        zlog("Error reading json file : %s", error.c_str());
        arr_err_import_export.push_back("Fail to read json file");
        return false;
    }
    if (!root.is_object()) {
        zlog("Invalid root json object : %s", root.type_name());
        arr_err_import_export.push_back("Invalid root json object (expected object)");
        return false;
    }
    const auto it = root.find("items");
    if (it == root.end() || !it->is_array() || it->empty()) {
        arr_err_import_export.push_back("Can't find valid crop items in json file");
        return false;
    }
    bool ok = true;
    for (size_t i = 0; i < it->size(); i++) {
        CropItemRef item = CropItem::init();
        const std::string err = item->set_from_json_dict((*it)[i]);
        if (err.empty()) {
            arr_crops.push_back(item);
        } else {
            arr_err_import_export.push_back("Fail to read json data for item : " + std::to_string(i) + " : " + err);
            ok = false;
        }
    }
    return ok;
}

bool CropItemList::load_from_csv_file(const std::string &path) {
    arr_crops.clear();
    arr_err_import_export.clear();
    if (!is_existing_file(path)) {
        arr_err_import_export.push_back("Fail to read csv file : Invalid filepath");
        return false;
    }
    std::string text, error;
    if (!read_whole_file(path, &text, &error)) {
        arr_err_import_export.push_back("Fail to read csv file : " + error);
        return false;
    }
    bool ok = true;
    size_t start = 0, index = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        // Lines ended by CR LF (spreadsheet programs) lose their CR.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) {
            CropItemRef item = CropItem::init();
            const std::string err = item->set_from_csv_line(line);
            if (err.empty()) {
                arr_crops.push_back(item);
            } else {
                arr_err_import_export.push_back("Fail to read csv data for line : " + std::to_string(index) + " : " +
                                                err);
                ok = false;
            }
        }
        index++;
        start = end + 1;
    }
    return ok;
}

bool CropItemList::write_to_json_file(const std::string &path) {
    Json items = Json::array();
    for (const CropItemRef &item : arr_crops) items.push_back(item->get_json_dict());
    Json root = Json::object();
    root["items"] = std::move(items);
    if (path.empty()) {
        zlog("Invalid filepath nil");
        return false;
    }
    std::string error;
    if (!write_file_atomic(path, json_dump_pretty(root), &error)) {
        zlog("Error : Fail to write json file at path : '%s'", path.c_str());
        arr_err_import_export.push_back("Error : Fail to write json file at path : '" + path + "'");
        return false;
    }
    return true;
}

bool CropItemList::write_to_csv_file(const std::string &path) {
    arr_err_import_export.clear();
    bool ok = true;
    std::string text;
    size_t kept = 0;
    for (size_t k = 0; k < arr_crops.size(); k++) {
        bool failed = false;
        const std::string row = arr_crops[k]->get_csv_line(&failed);
        if (failed) {
            arr_err_import_export.push_back("Fail to write csv line for crop item " + std::to_string(k + 1) + " : " +
                                            row);
            ok = false;
            continue;
        }
        if (kept++) text += "\n";
        text += row;
    }
    if (kept == 0) {
        arr_err_import_export.push_back("Fail to write csv : no valid csv line to write");
        return false;
    }
    std::string reason;
    if (path.empty())
        reason = "invalid target path";
    else if (!write_file_atomic(path, text, &reason))
        reason = reason.empty() ? "write error" : reason;
    if (!reason.empty()) {
        arr_err_import_export.push_back("Fail to write csv : " + reason);
        return false;
    }
    return ok;
}
