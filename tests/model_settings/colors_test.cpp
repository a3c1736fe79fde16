#include <gtest/gtest.h>

#include <set>

#include "model/settings/randomcolor/random_color.h"
#include "model/settings/zel_color.h"

namespace {

TEST(RandomColor, HsbToRgb) {
    struct Case {
        double h, s, v;
        int32_t rgb;
    };
    const Case cases[] = {
        {0, 100, 100, 0xFF0000},   {120, 100, 100, 0x00FF00}, {240, 100, 50, 0x00007F}, {-120, 100, 100, 0x0000FF},
        {360, 100, 100, 0xFF0000}, {0, 0, 100, 0xFFFFFF},     {60, 100, 100, 0xFFFF00}, {300, 100, 100, 0xFF00FF},
        {30, 100, 100, 0xFF7F00},  {0, 0, 0, 0x000000},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.h << "," << c.s << "," << c.v);
        EXPECT_EQ(HSBtoRGB(c.h, c.s, c.v), c.rgb);
    }
}

TEST(RandomColorDeathTest, HsbPreconditions) {
    EXPECT_DEATH(HSBtoRGB(361, 50, 50), "h must be within \\[-360; 360\\]");
    EXPECT_DEATH(HSBtoRGB(0, 101, 50), "s must be within \\[0; 100\\]");
    EXPECT_DEATH(HSBtoRGB(0, 50, -1), "v must be within \\[0; 100\\]");
}

TEST(RandomColor, Families) {
    EXPECT_EQ(random_color_entry_for_hue(357).id, 0);
    EXPECT_EQ(random_color_entry_for_hue(-3).id, 0);
    EXPECT_EQ(random_color_entry_for_hue(0).id, 0);
    EXPECT_EQ(random_color_entry_for_hue(354).id, 15);
    EXPECT_EQ(random_color_entry_for_hue(240).id, 10);
    EXPECT_EQ(random_color_entry_for_hue(241).id, 11);
    // Families 0 to 15 share out the whole circle.
    for (int h = 0; h < 360; h++) EXPECT_LT(random_color_entry_for_hue(h).id, 16) << h;

    int32_t lo = 0, hi = 0;
    random_color_brightness_range(55, random_color_dictionary[0], &lo, &hi);
    EXPECT_EQ(lo, 84);
    EXPECT_EQ(hi, 100);
    random_color_brightness_range(0, random_color_dictionary[17], &lo, &hi);  // one triple
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 100);
    random_color_brightness_range(45, random_color_dictionary[18], &lo, &hi);
    EXPECT_EQ(lo, 55);
    EXPECT_EQ(hi, 90);
    random_color_brightness_range(10, random_color_dictionary[0], &lo, &hi);  // below every triple
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 100);
}

TEST(RandomColor, NarrowedRangesHoldEveryDraw) {
    RandomColorState st;
    random_color_seed(st, 12345);
    for (int i = 0; i < 2000; i++) {
        const int32_t s = random_color_pick_saturation(st, random_color_dictionary[16], 1);
        EXPECT_GE(s, 50);
        EXPECT_LE(s, 100);
        const int32_t b = random_color_pick_brightness(st, 55, random_color_dictionary[0], 1);
        EXPECT_GE(b, 92);
        EXPECT_LE(b, 98);
    }
    // Every family and mode gives a colour without breaking a precondition.
    std::set<int32_t> colours;
    for (int id = 0; id < kRandomColorEntries; id++)
        for (int mode = 0; mode < 5; mode++)
            for (int k = 0; k < 50; k++) {
                const int32_t c = random_color_generate(st, id, mode);
                EXPECT_EQ(c & ~0xFFFFFF, 0);
                colours.insert(c);
            }
    EXPECT_GT(colours.size(), 500u);
}

TEST(RandomColor, SeedsAndDraws) {
    RandomColorState a, b;
    random_color_seed(a, 0);
    random_color_seed(b, 2147483647u);
    EXPECT_EQ(a, RandomColorState(1));
    EXPECT_EQ(b, RandomColorState(1));
    random_color_seed(a, 2147483648u);
    EXPECT_EQ(a, RandomColorState(1));
    // A one-value range returns it without advancing the generator.
    RandomColorState before = a;
    EXPECT_EQ(random_color_draw(a, 7, 7), 7);
    EXPECT_EQ(a, before);
    EXPECT_EQ(a(), 48271u);  // the minimal-standard step from state 1
}

TEST(ZelColor, JsonForm) {
    const ZelColor8b c = ZelColor8b::init_with_r_and_g_and_b(10, 20, 30);
    EXPECT_EQ(c.get_json_dict(), Json::parse(R"({"r":10,"g":20,"b":30})"));
    EXPECT_EQ(ZelColor8b::init_with_r_and_g_and_b_and_a(1, 2, 3, 4).get_json_dict(),
              Json::parse(R"({"r":1,"g":2,"b":3,"a":4})"));
    struct Case {
        const char *json;
        uint8_t r, g, b, a;
    };
    const Case cases[] = {
        {R"({"r":1,"g":300,"b":3})", 1, 0, 3, 255},
        {R"({"r":-1,"g":2.9,"b":true,"a":"7"})", 0, 2, 1, 255},
        {R"({"r":1e300,"g":255,"b":0,"a":0})", 0, 255, 0, 0},
        {R"({})", 0, 0, 0, 255},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.json);
        ZelColor8b v = ZelColor8b::init_with_r_and_g_and_b_and_a(9, 9, 9, 9);
        v.set_with_json_dict(Json::parse(k.json));
        EXPECT_TRUE(v.is_equal_to_color(ZelColor8b::init_with_r_and_g_and_b_and_a(k.r, k.g, k.b, k.a)));
    }
    ZelColor8b v = c;
    v.set_with_json_dict(Json::array());
    EXPECT_TRUE(v.is_equal_to_color(c));
    EXPECT_EQ(c.description(), "ZelColorRGBA8 : RGBA : 10/20/30/255");
}

TEST(ZelColor, FloatToBytes) {
    ZelColorFloat f = ZelColorFloat::init_with_r_and_g_and_b_and_a(-0.5f, 1.5f, 0.5f, 0.999f);
    const ZelColor8b b = f.to_8b();
    EXPECT_EQ(b.red, 0);
    EXPECT_EQ(b.green, 255);
    EXPECT_EQ(b.blue, 127);
    EXPECT_EQ(b.alpha, 254);
    f.set_with_8b_r_and_g_and_b_and_a(0, 128, 255, 255);
    EXPECT_EQ(f.green, 128 / 255.0f);
    const ZelColor8b back = f.to_8b();
    EXPECT_EQ(back.green, 128);
    EXPECT_EQ(back.blue, 255);
    f.set_grey(0.25f);
    EXPECT_EQ(f.alpha, 1.0f);
}

}  // namespace
