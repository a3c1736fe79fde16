#pragma once
// Multicrop items to and from exchange files: JSON ({"items": [...]}) or CSV rows without
// header, chosen by the path's extension ("json", "csv", compared exactly).
#include <string>
#include <vector>

#include "model/settings/crop_item.h"

class CropItemList {
public:
    std::vector<CropItemRef> arr_crops;
    // Error lines of the last load or write, shown together by the caller.
    std::vector<std::string> arr_err_import_export;

    // Keeps the given items (the same objects).
    void set_with_arr_crop_items(const std::vector<CropItemRef> &items);

    // True only when every item was read; loaded items get new random colours.
    bool load_from_file(const std::string &path);
    bool write_to_file(const std::string &path);

    bool load_from_json_file(const std::string &path);
    bool load_from_csv_file(const std::string &path);
    bool write_to_json_file(const std::string &path);
    bool write_to_csv_file(const std::string &path);
};
