#include "model/queue/progress_task_info.h"

#include <cmath>
#include <cstdio>

#include "platform/foundation/number_text.h"
#include "platform/foundation/xml_writer.h"

namespace {

uint32_t percent_of(float f) {
    if (f >= 1.0f) return 100;
    if (!(f > 0.0f)) return 0;
    return uint32_t(std::round(f * 100.0f));
}

std::string speed_text(float speed) {
    char text[64];
    snprintf(text, sizeof(text), "%.2f f/s", double(speed));
    return text;
}

}  // namespace

std::string progress_time_text(double seconds) {
    // Whole seconds of the value as a 32-bit float; huge values are capped.
    const float f = float(seconds);
    const unsigned long n = f >= 1e18f ? 1000000000000000000ul : f > 0.0f ? (unsigned long)f : 0ul;
    const unsigned long h = n / 3600, m = (n % 3600) / 60, s = n % 60;
    char text[96];
    if (n >= 3600) {
        if (s != 0)
            snprintf(text, sizeof(text), "%luh %lumin %lus", h, m, s);
        else
            snprintf(text, sizeof(text), "%luh %lumin", h, m);
    } else if (n >= 60) {
        if (s != 0)
            snprintf(text, sizeof(text), "%lumin %lus", m, s);
        else
            snprintf(text, sizeof(text), "%lumin", m);
    } else {
        snprintf(text, sizeof(text), "%lus", s);
    }
    return text;
}

void ProgressTaskInfo::set_percent(float fraction) { percent = percent_of(fraction); }

void ProgressTaskInfo::set_elapsed_time_from_sec(double seconds) {
    const bool set = seconds > 0.0;
    elapsed_time = set ? seconds : 0.0;
    str_elapsed_time = set ? progress_time_text(seconds) : "-";
}

void ProgressTaskInfo::set_remain_time_from_sec(double seconds) {
    const bool set = seconds > 0.0;
    remain_time = set ? seconds : 0.0;
    str_remain_time = set ? progress_time_text(seconds) : "-";
}

void ProgressTaskInfo::set_time_str_from_elapsed_and_percent_and_prev_step_time(double elapsed, float fraction,
                                                                                float prev_steps) {
    const double p = fraction;
    double remaining = 0.0;
    if (elapsed > 0.0 && p > 0.0) remaining = elapsed * (p >= 1.0 ? 0.0 : 1.0 - p) / p;
    set_elapsed_time_from_sec(elapsed + double(prev_steps));
    set_remain_time_from_sec(remaining);
}

void ProgressTaskInfo::set_fps_render_from_duration_and_percent_and_elapsed_time(uint64_t units, float fraction,
                                                                                 double elapsed) {
    if (units > 0 && fraction > 0.0f && elapsed > 0.0) {
        const float done = float(units) * fraction;
        str_fps_render = speed_text(float(double(done) / elapsed));
    } else {
        str_fps_render = "";
    }
}

void ProgressTaskInfo::set_end_values_from_total_dur_and_real_process_f_and_total_time(uint64_t total,
                                                                                       uint64_t processed,
                                                                                       double total_time) {
    step = 0;
    percent = processed == total ? 100 : percent_of(float(processed) / float(total));
    str_remain_time = "-";
    set_elapsed_time_from_sec(total_time);
    str_remain_time = "-";
    str_fps_render = total_time > 0.0 ? speed_text(float(double(processed) / total_time)) : "-";
}

bool ProgressTaskInfo::is_equal_to_progress_info(const ProgressTaskInfo &o) const {
    return percent == o.percent && step == o.step && str_elapsed_time == o.str_elapsed_time &&
           str_remain_time == o.str_remain_time && str_fps_render == o.str_fps_render;
}

std::string ProgressTaskInfo::description() const {
    char head[64];
    snprintf(head, sizeof(head), "ProgressTaskInfo : Percent : %d ; Elapsed Time : ", int(percent));
    return head + str_elapsed_time + ", Remain Time : " + str_remain_time + " ; Fps render : " + str_fps_render +
           " ; Step : " + std::to_string(int(step));
}

void ProgressTaskInfo::write(XmlStreamWriter &w) const {
    w.start_element("progress_task_info");
    w.attribute("percent", number_text_from_uint(percent));
    w.attribute("elapsed_time", str_elapsed_time);
    w.attribute("remain_time", str_remain_time);
    w.attribute("fps_render", str_fps_render);
    w.attribute("step", number_text_from_uint(step));
    w.end_element();
}

void ProgressTaskInfo::set_from_xml_dict(const XmlAttributes &a) {
    auto text = [&](const char *key) -> const std::string * {
        const auto it = a.find(key);
        return it == a.end() ? nullptr : &it->second;
    };
    uint64_t v = 0;
    if (number_text_to_uint(text("percent"), UINT32_MAX, &v)) percent = uint32_t(v);
    if (number_text_to_uint(text("step"), UINT32_MAX, &v)) step = uint32_t(v);
    if (const std::string *t = text("elapsed_time")) str_elapsed_time = *t;
    if (const std::string *t = text("remain_time")) str_remain_time = *t;
    if (const std::string *t = text("fps_render")) str_fps_render = *t;
}
