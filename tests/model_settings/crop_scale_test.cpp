#include "model/settings/crop_scale.h"

#include <gtest/gtest.h>

#include <string>

namespace {

HapStandCropScale record(uint32_t mode, uint32_t w, uint32_t h) {
    HapStandCropScale r;
    crop_scale_init(&r);
    r.crop_mode = mode;
    r.src_w = w;
    r.src_h = h;
    return r;
}

TEST(CropScale, InitIsEdgesModeAndZero) {
    HapStandCropScale r;
    memset(&r, 0xAB, sizeof(r));
    crop_scale_init(&r);
    EXPECT_EQ(r.crop_mode, 2u);
    EXPECT_EQ(r.src_w, 0u);
    EXPECT_FALSE(r.have_crop_error);
    EXPECT_EQ(r.percent_scale_w, 0.0f);
}

TEST(CropScale, CropStage) {
    struct Case {
        const char *what;
        uint32_t mode, w, h;
        uint32_t l, t, r, b;  // edges (mode 2) or origin (mode 1)
        uint32_t cw, ch;      // size of mode 1 or screen of mode 3
        bool mult4, to_screen;
        bool ok;
        uint32_t out_w, out_h, out_l, out_t, out_r, out_b;
        bool left_smart_off, top_smart_off;
        const char *printed;
    };
    const Case cases[] = {
        {"edges left 10, multiple of 4",
         2,
         1920,
         1080,
         10,
         0,
         0,
         0,
         0,
         0,
         true,
         false,
         true,
         1908,
         1080,
         10,
         0,
         2,
         0,
         true,
         false,
         ""},
        {"edges without step",
         2,
         1920,
         1080,
         10,
         6,
         3,
         1,
         0,
         0,
         false,
         false,
         true,
         1907,
         1073,
         10,
         6,
         3,
         1,
         true,
         true,
         ""},
        {"edges leave 3 columns",
         2,
         1920,
         1080,
         1000,
         0,
         917,
         0,
         0,
         0,
         false,
         false,
         false,
         0,
         0,
         0,
         0,
         0,
         0,
         false,
         false,
         "after_crop_w invalid\n"},
        {"edges leave 4 columns",
         2,
         1920,
         1080,
         1000,
         0,
         916,
         0,
         0,
         0,
         false,
         false,
         true,
         4,
         1080,
         1000,
         0,
         916,
         0,
         false,
         false,
         ""},
        {"huge edges do not wrap",
         2,
         1920,
         1080,
         0xFFFFFFF0u,
         0,
         0x20u,
         0,
         0,
         0,
         false,
         false,
         false,
         0,
         0,
         0,
         0,
         0,
         0,
         false,
         false,
         "after_crop_w invalid\n"},
        {"edges past the height",
         2,
         1920,
         1080,
         0,
         600,
         0,
         600,
         0,
         0,
         false,
         false,
         false,
         0,
         0,
         0,
         0,
         0,
         0,
         false,
         false,
         "after_crop_h invalid\n"},
        {"screen ratio square",
         3,
         1920,
         1080,
         0,
         0,
         0,
         0,
         1000,
         1000,
         false,
         false,
         true,
         1080,
         1080,
         420,
         0,
         420,
         0,
         false,
         false,
         ""},
        {"screen ratio taller source",
         3,
         1000,
         1000,
         0,
         0,
         0,
         0,
         1920,
         1080,
         false,
         false,
         true,
         1000,
         563,
         0,
         218,
         0,
         219,
         false,
         true,
         ""},
        {"screen ratio equal",
         3,
         1920,
         1080,
         0,
         0,
         0,
         0,
         1280,
         720,
         false,
         false,
         true,
         1920,
         1080,
         0,
         0,
         0,
         0,
         false,
         false,
         ""},
        {"screen ratio bad width",
         3,
         1920,
         1080,
         0,
         0,
         0,
         0,
         3,
         720,
         false,
         false,
         false,
         0,
         0,
         0,
         0,
         0,
         0,
         false,
         false,
         "Invalid screen width : 3\n"},
        {"origin and size past the source",
         1,
         1920,
         1080,
         0,
         0,
         0,
         0,
         1921,
         1081,
         false,
         false,
         true,
         1920,
         1080,
         0,
         0,
         0,
         0,
         false,
         false,
         ""},
        {"origin and size with step",
         1,
         1920,
         1080,
         8,
         2,
         0,
         0,
         1001,
         503,
         true,
         false,
         true,
         1000,
         500,
         8,
         2,
         912,
         578,
         false,
         true,
         ""},
        {"origin past the width",
         1,
         1920,
         1080,
         1917,
         0,
         0,
         0,
         100,
         100,
         false,
         false,
         false,
         0,
         0,
         0,
         0,
         0,
         0,
         false,
         false,
         "after_crop_w invalid\n"},
        {"unknown mode", 4, 1920, 1080, 0, 0, 0, 0, 0, 0, false, false, false, 0, 0, 0, 0, 0, 0, false, false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HapStandCropScale r = record(c.mode, c.w, c.h);
        r.crop_l = c.l, r.crop_t = c.t, r.crop_r = c.r, r.crop_b = c.b;
        if (c.mode == 1) r.crop_width = c.cw, r.crop_height = c.ch;
        if (c.mode == 3) r.crop_screen_width = c.cw, r.crop_screen_height = c.ch;
        r.crop_to_mult_4 = c.mult4;
        r.crop_scale_to_screen_res = c.to_screen;
        testing::internal::CaptureStdout();
        const bool ok = crop_scale_compute(&r);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(r.have_crop_error, !c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(r.crop_out_w, c.out_w);
        EXPECT_EQ(r.crop_out_h, c.out_h);
        EXPECT_EQ(r.crop_l, c.out_l);
        EXPECT_EQ(r.crop_t, c.out_t);
        EXPECT_EQ(r.crop_r, c.out_r);
        EXPECT_EQ(r.crop_b, c.out_b);
        EXPECT_EQ(r.crop_left_disable_smart, c.left_smart_off);
        EXPECT_EQ(r.crop_top_disable_smart, c.top_smart_off);
        // The edges always account for the whole source.
        EXPECT_EQ(uint64_t(r.crop_l) + r.crop_r + r.crop_out_w, c.w);
        EXPECT_EQ(uint64_t(r.crop_t) + r.crop_b + r.crop_out_h, c.h);
    }
}

TEST(CropScale, OriginAndSizeStepLowersTheSizeInputs) {
    HapStandCropScale r = record(1, 1920, 1080);
    r.crop_width = 1001, r.crop_height = 503, r.crop_to_mult_4 = true;
    ASSERT_TRUE(crop_scale_compute(&r));
    EXPECT_EQ(r.crop_width, 1000u);
    EXPECT_EQ(r.crop_height, 500u);
}

TEST(CropScale, ScreenRatioScalesToTheScreen) {
    for (uint32_t sh : {1000u, 1080u}) {  // other ratio, then the source's own ratio
        SCOPED_TRACE(sh);
        HapStandCropScale r = record(3, 1920, 1080);
        r.crop_screen_width = sh == 1080 ? 1920 : 1000;
        r.crop_screen_height = sh;
        r.crop_scale_to_screen_res = true;
        ASSERT_TRUE(crop_scale_compute(&r));
        EXPECT_EQ(r.scale_mode, 1u);
        EXPECT_EQ(r.target_w, r.crop_screen_width);
        EXPECT_EQ(r.target_h, r.crop_screen_height);
    }
}

TEST(CropScale, TransformAndScale) {
    struct Case {
        const char *what;
        uint32_t w, h;  // crop output (a whole source, edges mode)
        uint32_t transform, scale_mode, sw, sh;
        bool mult4;
        bool ok;
        uint32_t tw, th, target_w, target_h;
        bool transform_smart_off, scale_smart_off;
    };
    const Case cases[] = {
        {"rotate 90", 1080, 1920, 1, 0, 0, 0, false, true, 1920, 1080, 1920, 1080, false, false},
        {"rotate 270 of 1082 wide", 1082, 1920, 3, 0, 0, 0, false, true, 1920, 1082, 1920, 1082, true, false},
        {"flip keeps the size", 1920, 1080, 4, 0, 0, 0, false, true, 1920, 1080, 1920, 1080, false, false},
        {"half of 6x6", 6, 6, 0, 5, 0, 0, false, true, 6, 6, 4, 4, false, true},
        {"quarter", 1920, 1080, 0, 7, 0, 0, false, true, 1920, 1080, 480, 270, false, true},
        {"quarter, multiple of 4", 1920, 1080, 0, 7, 0, 0, true, true, 1920, 1080, 480, 272, false, true},
        {"third", 1920, 1080, 0, 6, 0, 0, false, true, 1920, 1080, 640, 360, false, true},
        {"custom", 1920, 1080, 0, 1, 0, 0, false, true, 1920, 1080, 1280, 720, false, true},
        {"fit to screen of a square", 1000, 1000, 0, 2, 1920, 1080, false, true, 1000, 1000, 1080, 1080, false, true},
        {"fit to screen of a wide crop", 1920, 800, 0, 2, 1280, 720, false, true, 1920, 800, 1280, 533, false, true},
        {"fit to screen width", 1440, 1080, 0, 3, 1920, 0, false, true, 1440, 1080, 1920, 1440, false, true},
        {"fit to screen height", 1440, 1080, 0, 4, 0, 720, false, true, 1440, 1080, 960, 720, false, true},
        {"fit to a tiny screen", 1920, 1080, 0, 2, 3, 1080, false, false, 1920, 1080, 0, 0, false, false},
        {"fit to screen width of 3", 1920, 1080, 0, 3, 3, 0, false, false, 1920, 1080, 0, 0, false, false},
        {"fit giving a side below 4", 4000, 4, 0, 3, 1000, 0, false, false, 4000, 4, 0, 0, false, false},
        {"fit past 32 bits", 4, 4000, 0, 3, 0xFFFFFFF0u, 0, false, false, 4, 4000, 0, 0, false, false},
        {"scale mode 8", 1920, 1080, 0, 8, 0, 0, false, false, 1920, 1080, 0, 0, false, false},
        {"match source", 1920, 1080, 0, 0, 0, 0, false, true, 1920, 1080, 1920, 1080, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        HapStandCropScale r = record(2, c.w, c.h);
        r.transform_mode = c.transform;
        r.scale_mode = c.scale_mode;
        r.scale_w = 1280, r.scale_h = 720;
        r.scale_screen_w = c.sw, r.scale_screen_h = c.sh;
        r.scale_to_mult_4 = c.mult4;
        testing::internal::CaptureStdout();
        const bool ok = crop_scale_compute(&r);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(r.have_scale_error, !c.ok);
        EXPECT_FALSE(r.have_crop_error);
        EXPECT_EQ(r.transform_out_w, c.tw);
        EXPECT_EQ(r.transform_out_h, c.th);
        EXPECT_EQ(r.transform_disable_smart, c.transform_smart_off);
        if (!c.ok) continue;
        EXPECT_EQ(r.target_w, c.target_w);
        EXPECT_EQ(r.target_h, c.target_h);
        EXPECT_EQ(r.scale_disable_smart, c.scale_smart_off);
        EXPECT_EQ(crop_scale_have_scale(&r), c.scale_smart_off);
        if (!c.scale_smart_off) {
            EXPECT_EQ(r.percent_scale_w, 1.0f);
            EXPECT_EQ(r.percent_scale_h, 1.0f);
        } else {
            EXPECT_FLOAT_EQ(r.percent_scale_w, float(c.target_w) / float(c.tw));
        }
    }
}

TEST(CropScale, OriginAndSizeNarrowerThanFourIsAScaleError) {
    HapStandCropScale r = record(1, 1920, 1080);
    r.crop_width = 3, r.crop_height = 100;
    EXPECT_FALSE(crop_scale_compute(&r));
    EXPECT_FALSE(r.have_crop_error);
    EXPECT_TRUE(r.have_scale_error);
}

TEST(CropScale, SmartCompatibilityOfAWholeSource) {
    HapStandCropScale r = record(2, 1920, 1080);
    ASSERT_TRUE(crop_scale_compute(&r));
    EXPECT_TRUE(crop_scale_is_smart_compatible(&r));
    EXPECT_FALSE(crop_scale_have_crop(&r));
    EXPECT_EQ(crop_scale_get_crop_info_str(&r, true), "");
    r.transform_mode = 2;
    EXPECT_EQ(crop_scale_get_crop_info_str(&r, true), "Rotate 180°");
}

TEST(CropScale, Texts) {
    HapStandCropScale r = record(2, 1920, 1080);
    r.crop_r = 100;
    ASSERT_TRUE(crop_scale_compute(&r));
    EXPECT_EQ(crop_scale_get_crop_info_str(&r, true), "Crop : Right : 100px, Width : 1820px, Height : 1080px");
    EXPECT_EQ(crop_scale_get_info_str(&r, false, false), " Right : 100px");
    r.crop_l = 8, r.crop_b = 2, r.transform_mode = 1;
    ASSERT_TRUE(crop_scale_compute(&r));
    EXPECT_EQ(crop_scale_get_info_str(&r, false, true),
              "Crop : Left : 8px, Right : 100px, Bottom : 2px, Rotate 90° Clockwise");
    EXPECT_EQ(crop_scale_get_mult_4_warning_str(&r), "Crop output height not multiple 4");

    HapStandCropScale o = record(1, 1920, 1080);
    o.crop_l = 10, o.crop_t = 20, o.crop_width = 101, o.crop_height = 200;
    ASSERT_TRUE(crop_scale_compute(&o));
    EXPECT_EQ(crop_scale_get_info_str(&o, false, true), "Crop : X : 10px, Y : 20px, Width : 101px, Height : 200px");
    EXPECT_EQ(crop_scale_get_mult_4_warning_str(&o), "Crop output width not multiple 4");
    o.crop_height = 201;
    ASSERT_TRUE(crop_scale_compute(&o));
    EXPECT_EQ(crop_scale_get_mult_4_warning_str(&o), "Crop output width and height not multiple 4");
    bool w_ok = true, h_ok = true;
    crop_scale_get_mult_4_flags(&o, &w_ok, &h_ok);
    EXPECT_FALSE(w_ok);
    EXPECT_FALSE(h_ok);
}

TEST(CropScale, CopyParamsKeepsTheTransform) {
    HapStandCropScale src = record(2, 1920, 1080), dst = record(2, 10, 10);
    src.transform_mode = 1;
    src.crop_l = 8;
    ASSERT_TRUE(crop_scale_compute(&src));
    dst.transform_mode = 4, dst.transform_out_w = 7, dst.transform_out_h = 9, dst.transform_disable_smart = true;
    crop_scale_copy_params(&dst, &src);
    EXPECT_EQ(dst.crop_l, 8u);
    EXPECT_EQ(dst.target_w, src.target_w);
    EXPECT_EQ(dst.transform_mode, 4u);
    EXPECT_EQ(dst.transform_out_w, 7u);
    EXPECT_EQ(dst.transform_out_h, 9u);
    EXPECT_TRUE(dst.transform_disable_smart);
}

}  // namespace
