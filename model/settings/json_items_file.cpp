#include "model/settings/json_items_file.h"

#include "platform/core/log.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/path.h"

bool json_items_file_load(const std::string &path, std::vector<std::string> &errors,
                          const std::function<std::string(const Json &)> &read_item) {
    if (!is_existing_file(path)) {
        zlog("Can't read json from file. File not exists : %s", path.c_str());
        errors.push_back("Fail to read json file");
        return false;
    }
    std::string text, error;
    Json root;
    if (!read_whole_file(path, &text, &error) || !json_parse(text, &root, &error)) {
        zlog("Error reading json file : %s", error.c_str());
        errors.push_back("Fail to read json file");
        return false;
    }
    if (!root.is_object()) {
        zlog("Invalid root json object : %s", root.type_name());
        errors.push_back("Invalid root json object (expected object)");
        return false;
    }
    const auto it = root.find("items");
    if (it == root.end() || !it->is_array() || it->empty()) {
        errors.push_back("Can't find valid items in json file");
        return false;
    }
    bool ok = true;
    for (size_t i = 0; i < it->size(); i++) {
        const std::string err = read_item((*it)[i]);
        if (!err.empty()) {
            errors.push_back("Fail to read json data for item : " + std::to_string(i) + " : " + err);
            ok = false;
        }
    }
    return ok;
}

bool json_items_file_write(const std::string &path, Json items) {
    Json root = Json::object();
    root["items"] = std::move(items);
    if (path.empty()) {
        zlog("Invalid filepath nil");
        return false;
    }
    std::string error;
    if (!write_file_atomic(path, json_dump_pretty(root), &error)) {
        zlog("Error : Fail to write json file at path : '%s'", path.c_str());
        return false;
    }
    return true;
}

bool json_items_file_check_extension(const std::string &path, std::vector<std::string> &errors) {
    const std::string ext = path_extension(path);
    if (ext == "json") return true;
    errors.push_back("Unsupported file extension : " + ext);
    return false;
}
