#include "model/queue/output_filepath.h"

#include <algorithm>

#include "platform/core/log.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/path.h"
#include "platform/foundation/xml_writer.h"

OutputFilepath::OutputFilepath(const OutputFilepath &o) {
    std::lock_guard<std::mutex> g(o.lock_);
    target_folder_ = o.target_folder_;
    target_name_from_mask_ = o.target_name_from_mask_;
    custom_filepath_ = o.custom_filepath_;
    render_path_ = o.render_path_;
    ext_ = o.ext_;
}

OutputFilepathRef OutputFilepath::init_with_target_folder_and_name_from_mask_and_ext(
    const std::optional<std::string> &folder, const std::optional<std::string> &name,
    const std::optional<std::string> &ext) {
    if (!folder || folder->empty() || !name || name->empty() || !ext || ext->empty()) {
        zlog("Invalid folder : %s, name : %s, or ext : %s", folder ? folder->c_str() : "(null)",
             name ? name->c_str() : "(null)", ext ? ext->c_str() : "(null)");
        return nullptr;
    }
    OutputFilepathRef o = std::make_shared<OutputFilepath>();
    o->target_folder_ = *folder;
    o->target_name_from_mask_ = *name;
    o->ext_ = *ext;
    return o;
}

#define ZQ_LOCKED_FIELD(type, getter, setter, field) \
    type OutputFilepath::getter() const {            \
        std::lock_guard<std::mutex> g(lock_);        \
        return field;                                \
    }                                                \
    void OutputFilepath::setter(const type &v) {     \
        std::lock_guard<std::mutex> g(lock_);        \
        field = v;                                   \
    }
ZQ_LOCKED_FIELD(std::string, target_folder, setTarget_folder, target_folder_)
ZQ_LOCKED_FIELD(std::string, target_name_from_mask, setTarget_name_from_mask, target_name_from_mask_)
ZQ_LOCKED_FIELD(std::optional<std::string>, custom_filepath, setCustom_filepath, custom_filepath_)
ZQ_LOCKED_FIELD(std::optional<std::string>, render_path, setRender_path, render_path_)
ZQ_LOCKED_FIELD(std::string, ext, setExt, ext_)
#undef ZQ_LOCKED_FIELD

bool OutputFilepath::have_custom_name() const { return custom_filepath().has_value(); }
bool OutputFilepath::have_render_path() const { return render_path().has_value(); }

std::string OutputFilepath::get_start_path() const {
    std::lock_guard<std::mutex> g(lock_);
    return custom_filepath_ ? *custom_filepath_ : path_append_component(target_folder_, target_name_from_mask_);
}

std::string OutputFilepath::get_default_path() const { return get_start_path() + "." + ext(); }

bool is_name_in_array(const std::string &path, const std::vector<std::string> *paths) {
    return paths && std::find(paths->begin(), paths->end(), path) != paths->end();
}

std::string OutputFilepath::get_uniq_out_name(const std::vector<std::string> *taken) const {
    const std::string base = get_start_path(), dot_ext = "." + ext();
    // Any entry counts, a folder too: the writer could not create its file there.
    auto is_taken = [&](const std::string &p) { return path_entry_exists(p) || is_name_in_array(p, taken); };
    std::string candidate = base + dot_ext;
    for (unsigned long n = 1; is_taken(candidate); n++) candidate = base + "_" + std::to_string(n) + dot_ext;
    return candidate;
}

std::string OutputFilepath::apply_uniq_name_to_render_path(const std::vector<std::string> *taken) {
    const std::string p = get_uniq_out_name(taken);
    setRender_path(p);
    return p;
}

std::string OutputFilepath::get_target_name_for_ui() const {
    const std::optional<std::string> r = render_path();
    return r ? *r : get_default_path();
}

void OutputFilepath::set_from_custom_filepath(const std::optional<std::string> &path) {
    if (!path || path->empty())
        reset_custom_filepath();
    else
        setCustom_filepath(path_without_extension(*path));
}

void OutputFilepath::reset_custom_filepath() { setCustom_filepath(std::nullopt); }
void OutputFilepath::set_render_filepath(const std::string &path) { setRender_path(path); }
void OutputFilepath::reset_render_path() { setRender_path(std::nullopt); }

void OutputFilepath::copy_custom_filepath_from_obj(const OutputFilepath *other) {
    if (!other || other == this) return;
    std::optional<std::string> custom = other->custom_filepath(), render = other->render_path();
    std::lock_guard<std::mutex> g(lock_);
    custom_filepath_ = std::move(custom);
    render_path_ = std::move(render);
}

void OutputFilepath::write_custom_path_info_for_type_and_index(XmlStreamWriter &w, const std::string &type,
                                                               size_t index) const {
    const std::optional<std::string> custom = custom_filepath(), render = render_path();
    const std::string idx = std::to_string(index);
    if (custom) {
        w.start_element("custom_path");
        w.attribute("type", type);
        w.attribute("index", idx);
        w.attribute("path", *custom);
        w.end_element();
    }
    if (render) {
        w.start_element("render_path");
        w.attribute("type", type);
        w.attribute("index", idx);
        w.attribute("path", *render);
        w.end_element();
    }
}

OutputFilepathRef OutputFilepath::mutableCopyWithZone() const { return std::make_shared<OutputFilepath>(*this); }

std::string OutputFilepath::description() const {
    const std::optional<std::string> render = render_path();
    const std::string r = render ? *render : "(null)";
    if (have_custom_name()) return "OutputFilepath : Custom : " + get_default_path() + " ; Render path : " + r;
    std::lock_guard<std::mutex> g(lock_);
    return "OutputFilepath : Folder : " + target_folder_ + " ; Name : " + target_name_from_mask_ + " ; Ext : " + ext_ +
           " ; Render path : " + r;
}
