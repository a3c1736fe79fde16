#include "model/queue/progress_task_info.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/xml_writer.h"

namespace {

TEST(ProgressTaskInfo, PercentAndTimeTexts) {
    const std::pair<float, uint32_t> percents[] = {{0.5f, 50}, {0.004f, 0}, {0.006f, 1},  {1.2f, 100},
                                                   {-0.3f, 0}, {NAN, 0},    {0.995f, 100}};
    for (const auto &[f, p] : percents) {
        ProgressTaskInfo r;
        r.set_percent(f);
        EXPECT_EQ(r.percent, p) << f;
    }
    const std::pair<double, const char *> times[] = {
        {3725, "1h 2min 5s"},
        {3600, "1h 0min"},
        {120, "2min"},
        {61, "1min 1s"},
        {0.5, "0s"},
        {0, "-"},
        {-4, "-"},
        {NAN, "-"},
        {1e30, "277777777777777h 46min 40s"},
    };
    for (const auto &[s, text] : times) {
        ProgressTaskInfo r;
        r.set_elapsed_time_from_sec(s);
        r.set_remain_time_from_sec(s);
        EXPECT_EQ(r.str_elapsed_time, text) << s;
        EXPECT_EQ(r.str_remain_time, text) << s;
    }
}

TEST(ProgressTaskInfo, RunningAndFinalValues) {
    ProgressTaskInfo r;
    r.set_time_str_from_elapsed_and_percent_and_prev_step_time(10.0, 0.0f, 5.0f);
    r.set_fps_render_from_duration_and_percent_and_elapsed_time(1000, 0.0f, 10.0);
    EXPECT_EQ(r.str_elapsed_time, "15s");
    EXPECT_EQ(r.str_remain_time, "-");
    EXPECT_EQ(r.str_fps_render, "");
    r.set_time_str_from_elapsed_and_percent_and_prev_step_time(10.0, 0.25f, 0.0f);
    r.set_fps_render_from_duration_and_percent_and_elapsed_time(1000, 0.25f, 10.0);
    EXPECT_EQ(r.str_remain_time, "30s");
    EXPECT_EQ(r.str_fps_render, "25.00 f/s");
    r.set_time_str_from_elapsed_and_percent_and_prev_step_time(10.0, 1.0f, 0.0f);
    EXPECT_EQ(r.str_remain_time, "-");

    ProgressTaskInfo end;
    end.step = 3, end.remain_time = 7.0;
    end.set_end_values_from_total_dur_and_real_process_f_and_total_time(1000, 500, 20.0);
    EXPECT_EQ(end.percent, 50u);
    EXPECT_EQ(end.step, 0u);
    EXPECT_EQ(end.str_remain_time, "-");
    EXPECT_EQ(end.remain_time, 7.0);
    EXPECT_EQ(end.str_elapsed_time, "20s");
    EXPECT_EQ(end.str_fps_render, "25.00 f/s");
    end.set_end_values_from_total_dur_and_real_process_f_and_total_time(0, 0, 0.0);
    EXPECT_EQ(end.percent, 100u);
    EXPECT_EQ(end.str_fps_render, "-");
    end.set_end_values_from_total_dur_and_real_process_f_and_total_time(0, 3, 1.0);
    EXPECT_EQ(end.percent, 100u);
}

TEST(ProgressTaskInfo, EqualityAndFileForm) {
    ProgressTaskInfo a;
    EXPECT_TRUE(a.is_empty());
    a.set_elapsed_time_from_sec(3725.0);
    EXPECT_FALSE(a.is_empty());
    a.percent = 42, a.step = 3, a.str_fps_render = "12.50 f/s";
    a.set_remain_time_from_sec(2.0);

    XmlStreamWriter w;
    a.write(w);
    EXPECT_EQ(w.text(),
              "<progress_task_info percent=\"42\" elapsed_time=\"1h 2min 5s\" remain_time=\"2s\" "
              "fps_render=\"12.50 f/s\" step=\"3\" />");
    ProgressTaskInfo b;
    b.set_from_xml_dict({{"percent", "42"},
                         {"elapsed_time", "1h 2min 5s"},
                         {"remain_time", "2s"},
                         {"fps_render", "12.50 f/s"},
                         {"step", "3"}});
    EXPECT_TRUE(b.is_equal_to_progress_info(a));  // the seconds are not stored nor compared
    EXPECT_EQ(b.elapsed_time, 0.0);
    b.set_from_xml_dict({{"percent", "-1"}, {"step", "4294967296"}});
    EXPECT_EQ(b.percent, 42u);
    EXPECT_EQ(b.step, 3u);
    EXPECT_EQ(b.str_fps_render, "12.50 f/s");
    EXPECT_EQ(
        a.description(),
        "ProgressTaskInfo : Percent : 42 ; Elapsed Time : 1h 2min 5s, Remain Time : 2s ; Fps render : 12.50 f/s ; "
        "Step : 3");
}

}  // namespace
