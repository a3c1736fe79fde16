#pragma once
// The exchange files of the rule lists: a JSON root object whose "items" array holds one
// object per rule, read item by item with an error line per refused item.
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/json.h"

// Exchange files are JSON only: another extension adds "Unsupported file extension : <ext>"
// to `errors` and answers false.
bool json_items_file_check_extension(const std::string &path, std::vector<std::string> &errors);

// Reads the file's items, handing each to `read_item` (which returns "" when it took the
// item, else its error text). User lines go to `errors`, technical details to the log.
// True when the file was read and every item taken.
bool json_items_file_load(const std::string &path, std::vector<std::string> &errors,
                          const std::function<std::string(const Json &)> &read_item);

// Writes {"items": items} atomically, pretty-printed with sorted keys. Failures are logged.
bool json_items_file_write(const std::string &path, Json items);
