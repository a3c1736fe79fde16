#pragma once
// One output file of a render-queue task: folder and name from the naming rules, extension,
// an optional path chosen by the user (kept without extension) and the render path fixed
// when the task starts, which never takes the place of an existing entry on disk.
//
// Every accessor reads or writes its field whole under the object's lock: the engine reads
// the paths from the task's worker while the main thread owns the object.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class XmlStreamWriter;
class OutputFilepath;
using OutputFilepathRef = std::shared_ptr<OutputFilepath>;

class OutputFilepath {
public:
    OutputFilepath() = default;
    OutputFilepath(const OutputFilepath &other);
    OutputFilepath &operator=(const OutputFilepath &other) = delete;

    // None (with a log line) when a value is absent or empty.
    static OutputFilepathRef init_with_target_folder_and_name_from_mask_and_ext(
        const std::optional<std::string> &folder, const std::optional<std::string> &name,
        const std::optional<std::string> &ext);

    std::string target_folder() const;
    void setTarget_folder(const std::string &v);
    std::string target_name_from_mask() const;
    void setTarget_name_from_mask(const std::string &v);
    std::optional<std::string> custom_filepath() const;
    void setCustom_filepath(const std::optional<std::string> &v);
    std::optional<std::string> render_path() const;
    void setRender_path(const std::optional<std::string> &v);
    std::string ext() const;
    void setExt(const std::string &v);

    bool have_custom_name() const;
    bool have_render_path() const;
    // The user's path, else folder/name; the default path adds "." and the extension.
    std::string get_start_path() const;
    std::string get_default_path() const;
    // The default path when free, else the first free "<start>_<n>.<ext>", n = 1, 2, ...
    // A path is taken when any entry exists there (a folder or a link too) or when `taken`
    // holds it (exact comparison).
    std::string get_uniq_out_name(const std::vector<std::string> *taken) const;
    std::string apply_uniq_name_to_render_path(const std::vector<std::string> *taken);
    // The render path once set, else the default path.
    std::string get_target_name_for_ui() const;
    // Absent or empty clears; otherwise stored without its last extension.
    void set_from_custom_filepath(const std::optional<std::string> &path);
    void reset_custom_filepath();
    void set_render_filepath(const std::string &path);
    void reset_render_path();
    // Takes the other's user path and render path (absent ones clear them); none changes nothing.
    void copy_custom_filepath_from_obj(const OutputFilepath *other);
    // "custom_path" and "render_path" elements with "type", "index", "path", when present.
    void write_custom_path_info_for_type_and_index(XmlStreamWriter &w, const std::string &type, size_t index) const;

    OutputFilepathRef mutableCopyWithZone() const;
    std::string description() const;

private:
    mutable std::mutex lock_;
    std::string target_folder_;
    std::string target_name_from_mask_;
    std::optional<std::string> custom_filepath_;
    std::optional<std::string> render_path_;
    std::string ext_;
};

bool is_name_in_array(const std::string &path, const std::vector<std::string> *paths);
