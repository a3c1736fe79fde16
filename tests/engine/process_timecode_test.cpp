#include "engine/process_timecode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

constexpr ZRational k25{25, 1}, k2997{30000, 1001}, k5994{60000, 1001}, k24{24, 1}, k23976{24000, 1001};

std::string text(const TimecodeLabel &l) {
    char b[64];
    snprintf(b, sizeof(b), "%02u:%02u:%02u:%02u", l.hours, l.minutes, l.seconds, l.frames);
    return b;
}

}  // namespace

TEST(Timecode, CountsLabels) {
    struct Case {
        TimecodeLabel label;
        ZRational rate;
        bool drop;
        uint64_t expected;
    } cases[] = {
        {{10, 0, 0, 0}, k25, false, 900000},
        {{10, 0, 0, 0}, k25, true, 900000 - 2 * (600 - 60)},  // dropping is the caller's rule
        {{1, 0, 0, 0}, k2997, true, 107892},
        {{1, 0, 0, 0}, k2997, false, 108000},
        {{0, 1, 0, 2}, k2997, true, 1800},  // first label of a dropping minute
        {{0, 10, 0, 0}, k2997, true, 17982},
        {{1, 0, 0, 0}, k5994, true, 216000 - 4 * 54},
        {{0, 0, 1, 0}, k23976, false, 24},
        {{0, 1, 15, 10}, k24, false, 75 * 24 + 10},
        {{0, 0, 0, 99}, k25, false, 99},  // frames past the rate are counted as given
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(text(c.label) + " at " + std::to_string(c.rate.num) + "/" + std::to_string(c.rate.den));
        EXPECT_EQ(timecode_count_label(c.label, c.rate, c.drop), c.expected);
    }
}

TEST(Timecode, LabelsOfFramesSkipTheDroppedNumbersAndCountBack) {
    struct Case {
        ZRational rate;
        bool drop;
        uint32_t dropped;  // frame numbers skipped at the start of a dropping minute
    } cases[] = {{k2997, true, 2}, {k5994, true, 4}, {k25, false, 0}, {k2997, false, 0}, {k23976, false, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.rate.num) + "/" + std::to_string(c.rate.den) + (c.drop ? " drop" : ""));
        const uint32_t R = timecode_label_rate(c.rate);
        // Twenty-one minutes: two ten-minute blocks and the first dropping minute after them.
        const uint64_t end = uint64_t(R) * 60 * 21;
        for (uint64_t n = 0; n < end; n++) {
            const TimecodeLabel l = timecode_label_of_frame(n, c.rate, c.drop);
            ASSERT_LT(l.frames, R) << n;
            ASSERT_LT(l.seconds, 60u) << n;
            if (l.seconds == 0 && l.minutes % 10 != 0) { ASSERT_GE(l.frames, c.dropped) << n << " " << text(l); }
            ASSERT_EQ(timecode_count_label(l, c.rate, c.drop), n) << text(l);
        }
    }
    EXPECT_EQ(text(timecode_label_of_frame(1799, k2997, true)), "00:00:59:29");
    EXPECT_EQ(text(timecode_label_of_frame(1800, k2997, true)), "00:01:00:02");
    EXPECT_EQ(text(timecode_label_of_frame(107892, k2997, true)), "01:00:00:00");
    // Labels wrap after 24 hours.
    EXPECT_EQ(text(timecode_label_of_frame(25 * 86400 + 26, k25, false)), "00:00:01:01");
}

TEST(Timecode, InvalidRatesNeverDivideByZero) {
    for (ZRational r : {ZRational{0, 0}, ZRational{0, 1}, ZRational{1, 0}, ZRational{1, 1000}, ZRational{7, 1}}) {
        SCOPED_TRACE(std::to_string(r.num) + "/" + std::to_string(r.den));
        for (bool drop : {false, true}) {
            const TimecodeLabel l = timecode_label_of_frame(123456, r, drop);
            EXPECT_EQ(timecode_count_label(l, r, drop), 123456 % timecode_day_frames(r, drop));
        }
    }
}

TEST(Timecode, OutputDropRuleOnlyAtNtscRates) {
    EXPECT_TRUE(timecode_output_drop_rule(true, k2997));
    EXPECT_TRUE(timecode_output_drop_rule(true, k5994));
    EXPECT_TRUE(timecode_output_drop_rule(true, ZRational{60000000, 1001000}));
    EXPECT_FALSE(timecode_output_drop_rule(false, k2997));
    EXPECT_FALSE(timecode_output_drop_rule(true, k25));
    EXPECT_FALSE(timecode_output_drop_rule(true, k23976));
}

TEST(Timecode, StartOfTheOutputsByMode) {
    auto base = [] {
        OutputTimecodeParams p{};
        p.drop_frame = true;
        p.src_fps = k25;
        p.fps = k25;
        p.start_frame = -1;
        return p;
    };
    struct Case {
        const char *name;
        OutputTimecodeParams p;
        bool have;
        uint32_t start;
    };
    std::vector<Case> cases;
    auto add = [&](const char *name, auto edit, bool have, uint32_t start) {
        OutputTimecodeParams p = base();
        edit(p);
        cases.push_back({name, p, have, start});
    };
    add(
        "never", [](auto &p) { p.tc_mode = 0, p.src_have_tc = true, p.src_tc_start = 90000; }, false, 0);
    add(
        "unknown mode", [](auto &p) { p.tc_mode = 9, p.src_have_tc = true; }, false, 0);
    add(
        "auto, source timecode plus in point",
        [](auto &p) { p.tc_mode = 1, p.src_have_tc = true, p.src_tc_start = 90000, p.in_point = 50; }, true, 90050);
    add(
        "auto, negative in point ignored",
        [](auto &p) { p.tc_mode = 1, p.src_have_tc = true, p.src_tc_start = 90000, p.in_point = -1; }, true, 90000);
    add(
        "auto, no timecode", [](auto &p) { p.tc_mode = 1, p.in_point = 50; }, false, 0);
    add(
        "auto, image sequence",
        [](auto &p) { p.tc_mode = 1, p.src_is_img_seq = true, p.start_frame = 1000, p.in_point = 7; }, true, 1007);
    add(
        "auto, 29.97 drop source at 25",
        [](auto &p) {
            p.tc_mode = 1, p.src_have_tc = true, p.src_tc_start = 107892, p.src_tc_drop = true, p.src_fps = k2997;
        },
        true, 90000);
    add(
        "auto, 25 source at 29.97 drop output",
        [](auto &p) { p.tc_mode = 1, p.src_have_tc = true, p.src_tc_start = 90000, p.fps = k2997; }, true, 107892);
    add(
        "auto, 25 source at 50 keeps the label",
        [](auto &p) {
            p.tc_mode = 1, p.src_have_tc = true, p.src_tc_start = 90010, p.fps = ZRational{50, 1}, p.in_point = 1;
        },
        true, 180011);
    add(
        "always, no timecode", [](auto &p) { p.tc_mode = 2, p.in_point = 3; }, true, 3);
    add(
        "always, image sequence", [](auto &p) { p.tc_mode = 2, p.src_is_img_seq = true, p.start_frame = 1000; }, true,
        1000);
    add(
        "always, source timecode", [](auto &p) { p.tc_mode = 2, p.src_have_tc = true, p.src_tc_start = 42; }, true, 42);
    add(
        "overwrite at 25 whatever the drop choice",
        [](auto &p) {
            p.tc_mode = 3, p.forced_start = {10, 0, 0, 0}, p.in_point = 100;
        },
        true, 900000);
    add(
        "overwrite at 29.97 drop",
        [](auto &p) {
            p.tc_mode = 3, p.forced_start = {10, 0, 0, 0}, p.fps = k2997;
        },
        true, 1080000 - 1080);
    add(
        "overwrite at 29.97 without drop",
        [](auto &p) {
            p.tc_mode = 3, p.forced_start = {10, 0, 0, 0}, p.fps = k2997, p.drop_frame = false;
        },
        true, 1080000);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const OutputTimecode tc = compute_output_timecode(c.p);
        EXPECT_EQ(tc.have_timecode, c.have);
        if (c.have) { EXPECT_EQ(tc.start_frame, c.start); }
    }
}

TEST(Timecode, StartsPastThirtyTwoBitsWrapToTheDay) {
    OutputTimecodeParams p{};
    p.tc_mode = 3;
    p.fps = k25;
    p.forced_start = {4294967295u, 59, 59, 4294967295u};
    OutputTimecode tc = compute_output_timecode(p);
    ASSERT_TRUE(tc.have_timecode);
    EXPECT_LT(tc.start_frame, 25u * 86400);
    // 4294967295 h is 15 h past a whole day; the frames carry on from 15:59:59:00.
    const uint64_t expected = (uint64_t(15) * 3600 + 59 * 60 + 59) * 25 + 4294967295ull;
    EXPECT_EQ(tc.start_frame, expected % (25u * 86400));

    // A source start near the top of 32 bits plus the in point.
    p = OutputTimecodeParams{};
    p.tc_mode = 1;
    p.fps = p.src_fps = k25;
    p.src_have_tc = true;
    p.src_tc_start = 4294967295u;
    p.in_point = 10;
    tc = compute_output_timecode(p);
    EXPECT_EQ(tc.start_frame, (4294967295ull + 10) % (25u * 86400));
}
