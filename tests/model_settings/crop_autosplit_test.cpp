#include "model/settings/crop_autosplit.h"

#include <gtest/gtest.h>

#include "platform/foundation/xml_writer.h"

namespace {

using Zones = std::vector<std::vector<uint32_t>>;

Zones zones(const HapStandAutosplit &r) {
    Zones z;
    for (const auto &zone : r.zones) z.push_back({zone.x, zone.y, zone.width, zone.height});
    return z;
}

TEST(CropAutosplit, TargetCount) {
    const struct {
        uint32_t w, h, cols, rows;
        Zones expected;
        bool error;
        const char *printed;
    } cases[] = {
        {1920, 1080, 3, 1, {{0, 0, 640, 1080}, {640, 0, 640, 1080}, {1280, 0, 640, 1080}}, false, ""},
        {1000, 1000, 3, 1, {{0, 0, 336, 1000}, {336, 0, 336, 1000}, {672, 0, 328, 1000}}, false, ""},
        {8, 10, 1, 2, {{0, 0, 8, 8}, {0, 8, 8, 2}}, false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " in " + std::to_string(c.cols));
        HapStandAutosplit r;
        ASSERT_TRUE(crop_split_set_src_size(&r, c.w, c.h));
        ASSERT_TRUE(crop_split_set_target_count(&r, c.cols, c.rows));
        testing::internal::CaptureStdout();
        crop_split_compute(&r);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
        EXPECT_EQ(zones(r), c.expected);
        EXPECT_EQ(r.error, c.error);
    }
}

TEST(CropAutosplit, TooManyColumnsStopsWithError) {
    HapStandAutosplit r;
    crop_split_set_src_size(&r, 100, 100);
    crop_split_set_target_count(&r, 30, 1);
    testing::internal::CaptureStdout();
    crop_split_compute(&r);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid target size (target count mode) : 0 x 100\n");
    ASSERT_EQ(r.zones.size(), 25u);
    EXPECT_TRUE(r.error);
    EXPECT_EQ(r.zones[24].x, 96u);
    EXPECT_EQ(r.zones[24].width, 4u);
}

TEST(CropAutosplit, TargetSize) {
    HapStandAutosplit r;
    crop_split_set_src_size(&r, 3840, 2200);
    ASSERT_TRUE(crop_split_set_target_size(&r, 1920, 1080, 10, 0));  // overlaps do not move zones
    crop_split_compute(&r);
    EXPECT_EQ(zones(r), (Zones{{0, 0, 1920, 1080},
                               {1920, 0, 1920, 1080},
                               {0, 1080, 1920, 1080},
                               {1920, 1080, 1920, 1080},
                               {0, 2160, 1920, 40},
                               {1920, 2160, 1920, 40}}));
    EXPECT_FALSE(r.error);

    HapStandAutosplit big;
    crop_split_set_src_size(&big, 640, 480);
    crop_split_set_target_size(&big, 1920, 1080, 0, 0);
    crop_split_compute(&big);
    EXPECT_EQ(zones(big), (Zones{{0, 0, 640, 480}}));
}

TEST(CropAutosplit, Setters) {
    HapStandAutosplit r;
    EXPECT_FALSE(crop_split_set_src_size(&r, 3, 100));
    EXPECT_TRUE(crop_split_set_src_size(&r, 4, 4));
    EXPECT_FALSE(crop_split_set_target_count(&r, 0, 1));
    EXPECT_FALSE(crop_split_set_target_size(&r, 100, 100, 100, 0));
    EXPECT_FALSE(crop_split_set_target_size(&r, 0, 100, 0, 0));
    EXPECT_TRUE(crop_split_set_target_size(&r, 100, 100, 99, 99));
    // A zero side reaching the computation is refused, not divided by.
    HapStandAutosplit z;
    crop_split_set_src_size(&z, 100, 100);
    crop_split_set_target_size(&z, 0, 0, 0, 0);
    crop_split_compute(&z);
    EXPECT_TRUE(z.error);
    EXPECT_TRUE(z.zones.empty());
}

TEST(GlobalSettingsDialogCropDivide, XmlForm) {
    GlobalSettingsDialogCropDivide d;
    d.mode = 7;  // anything but 1 is written 2
    d.horiz_count = 3;
    XmlStreamWriter w;
    w.start_element("root");
    d.write(w);
    w.end_document();
    EXPECT_NE(w.text().find("<dialog_params d=\"crop_divide\" k=\"mode\" v=\"2\" />"), std::string::npos);
    EXPECT_NE(w.text().find("k=\"horiz_count\" v=\"3\""), std::string::npos);
    EXPECT_NE(w.text().find("k=\"verti_overlap\" v=\"0\""), std::string::npos);

    GlobalSettingsDialogCropDivide r;
    r.set_with_xml_attribute({{"k", "horiz_count"}, {"v", "0"}});
    EXPECT_EQ(r.horiz_count, 1u);
    r.set_with_xml_attribute({{"k", "horiz_size"}, {"v", "640"}});
    EXPECT_EQ(r.horiz_size, 640u);
    r.set_with_xml_attribute({{"k", "horiz_overlap"}, {"v", "junk"}});
    EXPECT_EQ(r.horiz_overlap, 0u);
    r.set_with_xml_attribute({{"k", "mode"}, {"v", "2"}});
    EXPECT_EQ(r.mode, 2u);
    testing::internal::CaptureStdout();
    r.set_with_xml_attribute({{"k", "mode"}, {"v", "3"}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unknown HapStand_AutosplitMode val : 3");
    EXPECT_EQ(r.mode, 1u);
}

}  // namespace
