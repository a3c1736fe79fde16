#pragma once
// The application's configuration folder and folder creation.
#include <optional>
#include <string>

// "$XDG_CONFIG_HOME/ZelqaHapEncoder", or "$HOME/.config/ZelqaHapEncoder" when
// XDG_CONFIG_HOME is unset or empty (or not absolute); none when neither gives a folder.
std::optional<std::string> config_folder_path();

// Creates the folder and every missing parent (an existing folder is success). False with
// the system's reason (strerror text) in *error otherwise.
bool make_folder_with_parents(const std::string &path, std::string *error);
