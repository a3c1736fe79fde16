#include "model/queue/rq_task_list.h"

#include "platform/core/log.h"

namespace {

// Equality of the values the getters compare: texts by presence and characters, floats
// exactly (NaN equals nothing), lists item by item.
template <typename T>
bool same(const T &a, const T &b) {
    return a == b;
}
bool same(const std::vector<CropItemRef> &a, const std::vector<CropItemRef> &b) { return crop_items_array_equal(a, b); }
bool same(const std::vector<TxtReplaceRef> &a, const std::vector<TxtReplaceRef> &b) {
    return compare_txt_replace_arrays(a, b);
}

MediaSrcInterpretation *src_interpret(RqTask &t) {
    return t.in_main_file && t.in_main_file->media_interpret ? t.in_main_file->media_interpret.get() : nullptr;
}

bool is_custom_src_fps(const RqTask &t) { return t.get_src_interpret_fps_mode(nullptr) == 10; }

// Every task gets items of its own: tasks never share a crop item.
std::vector<CropItemRef> copy_items(const std::vector<CropItemRef> &items) {
    std::vector<CropItemRef> c;
    for (const CropItemRef &i : items)
        if (i) c.push_back(i->mutableCopyWithZone());
    return c;
}

// Algorithm of the plain getters: the first value, or `mixed` at the first disagreement.
template <typename T, typename Read, typename Mixed>
T plain_value(const std::vector<RqTaskRef> &tasks, bool *differ, Read read, Mixed mixed) {
    if (differ) *differ = false;
    const T first = read(*tasks.front());
    for (size_t i = 1; i < tasks.size(); i++) {
        if (!same(read(*tasks[i]), first)) {
            if (differ) *differ = true;
            return mixed(first);
        }
    }
    return first;
}

// Only the tasks the property applies to are compared; `fallback` when none does.
template <typename T, typename Applies, typename Read>
T conditional_value(const std::vector<RqTaskRef> &tasks, bool *differ, Applies applies, T fallback, Read read) {
    if (differ) *differ = false;
    if (tasks.size() == 1) return read(*tasks.front());
    std::optional<T> first;
    for (const RqTaskRef &t : tasks) {
        if (!applies(*t)) continue;
        T v = read(*t);
        if (!first) {
            first = std::move(v);
        } else if (!same(v, *first)) {
            if (differ) *differ = true;
            return *first;
        }
    }
    return first ? *first : fallback;
}

// The source getters walk every task so that *applies covers all of them.
uint32_t source_value(const std::vector<RqTaskRef> &tasks, bool *differ, bool *applies,
                      uint32_t (RqTask::*get)(bool *) const) {
    if (differ) *differ = false;
    if (tasks.size() == 1) return (tasks.front().get()->*get)(applies);
    if (applies) *applies = false;
    std::optional<uint32_t> first;
    for (const RqTaskRef &t : tasks) {
        bool on = false;
        const uint32_t v = (t.get()->*get)(&on);
        if (!on) continue;
        if (applies) *applies = true;
        if (!first)
            first = v;
        else if (v != *first && differ)
            *differ = true;
    }
    return first.value_or(0);
}

}  // namespace

RqTaskListRef RqTaskList::init_with_arr_tasks(const std::vector<RqTaskRef> &tasks) {
    std::vector<RqTaskRef> kept;
    for (const RqTaskRef &t : tasks)
        if (t && t->setting && t->setting->nam_video_hap && t->setting->nam_audio_wav) kept.push_back(t);
    if (kept.empty() || kept.size() != tasks.size()) {
        zlog("ERROR : Invalid task list empty");
        return nullptr;
    }
    RqTaskListRef l = std::make_shared<RqTaskList>();
    l->arr_tasks = std::move(kept);
    l->is_single_task = l->arr_tasks.size() == 1;
    l->update_src_res();
    return l;
}

std::string RqTaskList::description() const {
    if (is_single_task) return "RqTaskList : Single Mode : " + arr_tasks.front()->description();
    std::string d = "RqTaskList : Multiple Mode : (";
    for (const RqTaskRef &t : arr_tasks) d += "\n" + t->description();
    return d + "\n)";
}

void RqTaskList::set_same_flags(bool crop, bool transform, bool scale) {
    isSameCropAndInputRes = crop;
    isSameCropAndInputResAndTransform = transform;
    isSameCropAndInputResAndTransformAndScale = scale;
}

void RqTaskList::after_write(SetterMode mode, bool mv) {
    switch (mode) {
    case SetterMode::Plain: return;
    case SetterMode::Crop:
        if (mv)
            set_same_flags(false, false, false);
        else
            update_same_crop_scale();
        return;
    case SetterMode::Multicrop:
        if (mv) set_same_flags(false, false, false);
        return;
    case SetterMode::Transform:
        if (mv)
            isSameCropAndInputResAndTransform = isSameCropAndInputResAndTransformAndScale = false;
        else
            update_same_crop_scale();
        return;
    case SetterMode::Scale:
        if (mv)
            isSameCropAndInputResAndTransformAndScale = false;
        else
            update_same_crop_scale();
        return;
    case SetterMode::ScaleSize: update_same_crop_scale(); return;
    }
}

#define S  (*t.setting)
#define VN (*t.setting->nam_video_hap)
#define AN (*t.setting->nam_audio_wav)
#define RQ_SETTER(T, SET, MODE, WRITE)                \
    void RqTaskList::SET(const T &v, bool mv) {       \
        if (!mv)                                      \
            for (const RqTaskRef &task : arr_tasks) { \
                RqTask &t = *task;                    \
                WRITE;                                \
            }                                         \
        after_write(SetterMode::MODE, mv);            \
    }
#define RQ_PLAIN(T, GET, SET, MODE, MIXED, READ, WRITE)                   \
    T RqTaskList::GET(bool *differ) const {                               \
        return plain_value<T>(                                            \
            arr_tasks, differ, [](const RqTask &t) -> T { return READ; }, \
            [](const T &first) -> T {                                     \
                (void)first;                                              \
                return MIXED;                                             \
            });                                                           \
    }                                                                     \
    RQ_SETTER(T, SET, MODE, WRITE)
#define RQ_COND(T, GET, SET, MODE, APPLIES, FALLBACK, READ, WRITE)                         \
    T RqTaskList::GET(bool *differ) const {                                                \
        return conditional_value<T>(                                                       \
            arr_tasks, differ, [](const RqTask &t) { return bool(APPLIES); }, T(FALLBACK), \
            [](const RqTask &t) -> T { return READ; });                                    \
    }                                                                                      \
    RQ_SETTER(T, SET, MODE, WRITE)
#include "model/queue/rq_task_list_props.inc"

RQ_SETTER(uint32_t, set_src_interpret_fps_mode_and_mv, Plain,
          if (MediaSrcInterpretation *m = src_interpret(t)) m->obj.interpret_fps = v)
RQ_SETTER(uint32_t, set_src_alpha_mode_val_and_mv, Plain,
          if (MediaSrcInterpretation *m = src_interpret(t)) m->obj.alpha_mode = v)
RQ_SETTER(uint32_t, set_src_video_range_mode_and_mv, Plain,
          if (MediaSrcInterpretation *m = src_interpret(t)) m->obj.video_range = v)

bool RqTaskList::get_need_codec_quality(bool *differ) const {
    return plain_value<bool>(
        arr_tasks, differ, [](const RqTask &t) { return is_codec_mode_need_quality(S.vid_codec_hap); },
        [](bool) { return true; });
}

std::optional<std::string> RqTaskList::get_preset_name(bool *differ) const {
    using Name = std::optional<std::string>;
    return plain_value<Name>(
        arr_tasks, differ, [](const RqTask &t) { return S.name; }, [](const Name &first) { return first; });
}

#undef RQ_PLAIN
#undef RQ_COND
#undef RQ_SETTER
#undef S
#undef VN
#undef AN

uint32_t RqTaskList::get_src_interpret_fps_mode_and_is_need(bool *differ, bool *applies) const {
    return source_value(arr_tasks, differ, applies, &RqTask::get_src_interpret_fps_mode);
}

uint32_t RqTaskList::get_src_alpha_mode_and_is_need(bool *differ, bool *applies) const {
    return source_value(arr_tasks, differ, applies, &RqTask::get_src_alpha_mode);
}

uint32_t RqTaskList::get_src_video_range_mode_and_is_need(bool *differ, bool *applies) const {
    return source_value(arr_tasks, differ, applies, &RqTask::get_src_video_range_mode);
}

bool RqTaskList::get_is_custom_video_hap_target_name() const {
    for (const RqTaskRef &t : arr_tasks)
        for (const OutputFilepathRef &o : t->arr_out_path_hap)
            if (o && o->have_custom_name()) return true;
    return false;
}

bool RqTaskList::get_is_custom_audio_target_name() const {
    for (const RqTaskRef &t : arr_tasks)
        for (const OutputFilepathRef &o : t->arr_out_path_wav)
            if (o && o->have_custom_name()) return true;
    return false;
}

bool RqTaskList::have_one_task_need_disable_scale() const {
    for (const RqTaskRef &t : arr_tasks)
        if (t->setting->need_disable_scale()) return true;
    return false;
}

bool RqTaskList::need_combo_transform_mode() const {
    for (const RqTaskRef &t : arr_tasks) {
        const uint32_t m = t->setting->get_global_crop_mode();
        if (m == VideoSetting_GlobalCropMode_Multicrop || m == VideoSetting_GlobalCropMode_Autocrop) return false;
    }
    return true;
}

bool RqTaskList::is_codec_mode_need_quality(uint32_t codec) {
    if (codec >= 7) {
        zlog("Unknown hap codec");
        return false;
    }
    return codec != 4 && codec != 5;
}

void RqTaskList::set_new_preset(const Setting &setting) {
    for (const RqTaskRef &t : arr_tasks) t->set_new_setting(setting);
}

void RqTaskList::set_tasks_to_custom() {
    for (const RqTaskRef &t : arr_tasks) t->setting->set_to_custom();
}

void RqTaskList::refresh_cache_target_properties() {
    for (const RqTaskRef &t : arr_tasks) t->refresh_cache_target_properties();
}

void RqTaskList::reset_custom_hap_out_name() {
    for (const RqTaskRef &t : arr_tasks)
        for (const OutputFilepathRef &o : t->arr_out_path_hap)
            if (o) o->reset_custom_filepath();
}

void RqTaskList::reset_custom_audio_out_name() {
    for (const RqTaskRef &t : arr_tasks)
        for (const OutputFilepathRef &o : t->arr_out_path_wav)
            if (o) o->reset_custom_filepath();
}

void RqTaskList::update_src_res() {
    srcWidth = srcHeight = 0;
    const MediaInfoObjRef &first = arr_tasks.front()->in_main_file;
    if (!first) return;
    const uint32_t w = first->get_width(), h = first->get_height();
    for (size_t i = 1; i < arr_tasks.size(); i++) {
        const MediaInfoObjRef &src = arr_tasks[i]->in_main_file;
        if (!src || !src->is_same_width_and_height(w, h)) return;
    }
    srcWidth = w;
    srcHeight = h;
}

void RqTaskList::update_same_crop_scale() {
    if (!is_same_input_res()) return set_same_flags(false, false, false);
    set_same_flags(true, true, true);
    if (arr_tasks.size() == 1) return;
    bool differ = false;
    const uint32_t mode = get_global_crop_mode(&differ);
    if (differ) return set_same_flags(false, false, false);
    auto any_differs = [&](std::initializer_list<bool (*)(const RqTaskList &)> reads) {
        for (auto read : reads)
            if (read(*this)) return true;
        return false;
    };
#define DIFFERS(GET)          \
    [](const RqTaskList &l) { \
        bool d = false;       \
        l.GET(&d);            \
        return d;             \
    }
    bool transform_given_by_items = false;
    switch (mode) {
    case VideoSetting_GlobalCropMode_OriginAndSize:
        if (any_differs({DIFFERS(get_vid_crop_to_multiple_4), DIFFERS(get_vid_crop_top), DIFFERS(get_vid_crop_left),
                         DIFFERS(get_vid_crop_width), DIFFERS(get_vid_crop_height)}))
            return set_same_flags(false, false, false);
        break;
    case VideoSetting_GlobalCropMode_EdgesCrop:
        if (any_differs({DIFFERS(get_vid_crop_to_multiple_4), DIFFERS(get_vid_crop_top), DIFFERS(get_vid_crop_left),
                         DIFFERS(get_vid_crop_bottom), DIFFERS(get_vid_crop_right)}))
            return set_same_flags(false, false, false);
        break;
    case VideoSetting_GlobalCropMode_ScreenRatio:
        if (any_differs({DIFFERS(get_vid_crop_screen_width), DIFFERS(get_vid_crop_screen_height)}))
            return set_same_flags(false, false, false);
        break;
    case VideoSetting_GlobalCropMode_Autocrop: break;
    default:
        if (any_differs({DIFFERS(get_multi_crop_items)})) return set_same_flags(false, false, false);
        // Multicrop items carry their own transform; without crop the global one applies.
        transform_given_by_items = mode == VideoSetting_GlobalCropMode_Multicrop;
        break;
    }
#undef DIFFERS
    if (!transform_given_by_items) {
        get_vid_transform_mode(&differ);
        if (differ) isSameCropAndInputResAndTransform = isSameCropAndInputResAndTransformAndScale = false;
    }
    // Scale: the mode, the multiple-of-4 flag and every size the mode uses.
    const Setting &first = *arr_tasks.front()->setting;
    for (size_t i = 1; i < arr_tasks.size(); i++) {
        const Setting &s = *arr_tasks[i]->setting;
        if (s.vid_scale_mode != first.vid_scale_mode || s.vid_scale_conform_mult_4 != first.vid_scale_conform_mult_4 ||
            (is_scale_mode_need_width(first) && s.vid_scale_width != first.vid_scale_width) ||
            (is_scale_mode_need_height(first) && s.vid_scale_height != first.vid_scale_height) ||
            (is_scale_mode_need_screen_width(first) && s.vid_scale_screen_width != first.vid_scale_screen_width) ||
            (is_scale_mode_need_screen_height(first) && s.vid_scale_screen_height != first.vid_scale_screen_height))
            isSameCropAndInputResAndTransformAndScale = false;
    }
}
