#pragma once
// One snapshot of a task's progress as the user sees it: whole percent of the current step,
// the step, elapsed and remaining time with their texts, and the speed text. The texts are
// computed from the numbers the setters receive. A plain value: copies are independent.
#include <cstdint>
#include <string>

#include "model/settings/property.h"
#include "platform/foundation/xml_reader.h"

class XmlStreamWriter;

class ProgressTaskInfo {
public:
    ZQ_PROPERTY(uint32_t, percent, setPercent) = 0;
    ZQ_PROPERTY(uint32_t, step, setStep) = 0;  // ProcessTaskStep; 0 in the final record
    ZQ_PROPERTY(std::string, str_elapsed_time, setStr_elapsed_time);
    ZQ_PROPERTY(std::string, str_remain_time, setStr_remain_time);
    ZQ_PROPERTY(std::string, str_fps_render, setStr_fps_render);
    ZQ_PROPERTY(double, elapsed_time, setElapsed_time) = 0.0;
    ZQ_PROPERTY(double, remain_time, setRemain_time) = 0.0;

    static ProgressTaskInfo init() { return ProgressTaskInfo(); }
    // 100 from 1 up, 0 for 0 and below (and NaN), else the rounded hundredths.
    void set_percent(float fraction);
    // A positive count of seconds and its text ("1h 2min 5s"); "-" and 0 otherwise.
    void set_elapsed_time_from_sec(double seconds);
    void set_remain_time_from_sec(double seconds);
    // Elapsed time of the whole task (step plus earlier steps); remaining time of the step.
    void set_time_str_from_elapsed_and_percent_and_prev_step_time(double elapsed, float fraction, float prev_steps);
    // "%.2f f/s", or "" until there is something to measure.
    void set_fps_render_from_duration_and_percent_and_elapsed_time(uint64_t units, float fraction, double elapsed);
    void set_end_values_from_total_dur_and_real_process_f_and_total_time(uint64_t total, uint64_t processed,
                                                                         double total_time);

    // Percent, step and the three texts; the seconds are not compared.
    bool is_equal_to_progress_info(const ProgressTaskInfo &other) const;
    bool is_empty() const { return is_equal_to_progress_info(ProgressTaskInfo()); }
    ProgressTaskInfo mutableCopyWithZone() const { return *this; }
    std::string description() const;

    // The "progress_task_info" element of the queue file: percent, the three texts, step.
    void write(XmlStreamWriter &w) const;
    // Numbers that are not integers in 0..2^32-1 leave their field; absent texts too.
    void set_from_xml_dict(const XmlAttributes &attributes);
};

// "%luh %lumin %lus", "%lumin %lus", "%lus" and the forms without a zero last part.
std::string progress_time_text(double seconds);
