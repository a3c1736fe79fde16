#pragma once
// Random colours for crop rectangles: a hue from a colour family, then a saturation and a
// brightness from ranges defined per family and luminosity mode, packed as 0xRRGGBB.
#include <cstdint>
#include <random>

struct RandomColorBound {
    int32_t saturation, min_brightness, max_brightness;
};

struct RandomColorEntry {
    int32_t id;
    int32_t hue_min, hue_max;
    const RandomColorBound *bounds;
    int32_t nb_bounds;
};

// Colour families 0..18 (16 any hue, 17 greys, 18 brown), in id order.
constexpr int kRandomColorEntries = 19;
extern const RandomColorEntry random_color_dictionary[kRandomColorEntries];

// Minimal-standard generator: state = 48271 * state mod (2^31 - 1).
using RandomColorState = std::minstd_rand;

// state = value mod (2^31 - 1), 0 replaced by 1.
void random_color_seed(RandomColorState &state, uint64_t value);
// Uniform draw in [lo, hi]; lo == hi returns lo without advancing the generator.
int32_t random_color_draw(RandomColorState &state, int32_t lo, int32_t hi);

const RandomColorEntry &random_color_entry_for_hue(int32_t hue);
int32_t random_color_pick_saturation(RandomColorState &state, const RandomColorEntry &family, int mode);
void random_color_brightness_range(int32_t saturation, const RandomColorEntry &family, int32_t *min, int32_t *max);
int32_t random_color_pick_brightness(RandomColorState &state, int32_t saturation, const RandomColorEntry &family,
                                     int mode);
// Colour id 0..18; luminosity mode 0..3 narrows the ranges (crop items use 1).
int32_t random_color_generate(RandomColorState &state, int id, int mode);

// Hue in degrees (-360..360), saturation and brightness in percent (0..100).
int32_t HSBtoRGB(double h, double s, double v);
