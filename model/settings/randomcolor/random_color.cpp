#include "model/settings/randomcolor/random_color.h"

#include <algorithm>
#include <cmath>

#include "platform/core/log.h"

namespace {

const RandomColorBound kRed[] = {{20, 100, 100}, {30, 95, 100}, {40, 90, 100}, {50, 88, 100}, {60, 80, 100},
                                 {70, 70, 100},  {80, 60, 100}, {90, 58, 100}, {100, 55, 100}};
const RandomColorBound kRedOrange[] = {{20, 100, 100}, {30, 95, 100}, {40, 90, 100}, {50, 85, 100}, {60, 80, 100},
                                       {70, 70, 100},  {80, 60, 100}, {90, 60, 100}, {100, 55, 100}};
const RandomColorBound kOrange[] = {{25, 100, 100}, {30, 93, 100}, {40, 88, 100}, {50, 86, 100},
                                    {60, 85, 100},  {70, 70, 100}, {100, 70, 100}};
const RandomColorBound kYellow[] = {{28, 100, 100}, {40, 98, 100}, {50, 95, 100}, {60, 93, 100},
                                    {70, 85, 100},  {80, 82, 100}, {90, 78, 100}, {100, 75, 100}};
const RandomColorBound kYellowGreen[] = {{30, 100, 100}, {40, 94, 100}, {50, 90, 100}, {60, 86, 100},
                                         {70, 84, 100},  {80, 82, 100}, {90, 78, 100}, {100, 75, 100}};
const RandomColorBound kGreen[] = {{30, 100, 100}, {40, 95, 100}, {50, 85, 100}, {60, 75, 100},
                                   {70, 60, 100},  {80, 54, 100}, {90, 48, 100}, {100, 45, 100}};
const RandomColorBound kGreenCyan[] = {{20, 100, 100}, {30, 95, 100}, {40, 90, 100}, {50, 85, 100}, {60, 80, 100},
                                       {70, 60, 100},  {80, 55, 100}, {90, 52, 100}, {100, 45, 100}};
const RandomColorBound kCyan[] = {{20, 100, 100}, {30, 90, 100}, {40, 80, 100}, {50, 74, 100},
                                  {60, 58, 100},  {70, 52, 100}, {90, 52, 100}, {100, 50, 100}};
const RandomColorBound kBlue[] = {{20, 100, 100}, {30, 90, 100}, {40, 85, 100}, {50, 76, 100}, {60, 65, 100},
                                  {70, 64, 100},  {80, 60, 100}, {90, 55, 100}, {100, 55, 100}};
const RandomColorBound kMagenta[] = {{20, 100, 100}, {30, 85, 100}, {40, 80, 100}, {50, 70, 100},
                                     {60, 60, 100},  {70, 55, 100}, {100, 55, 100}};
const RandomColorBound kMagentaPink[] = {{20, 100, 100}, {30, 95, 100}, {40, 92, 100}, {50, 87, 100},
                                         {60, 84, 100},  {80, 70, 100}, {90, 65, 100}, {100, 65, 100}};
const RandomColorBound kPink[] = {{20, 100, 100}, {30, 95, 100}, {40, 92, 100}, {50, 87, 100},
                                  {60, 84, 100},  {80, 80, 100}, {90, 75, 100}, {100, 73, 100}};
const RandomColorBound kPinkRed[] = {{20, 100, 100}, {30, 95, 100}, {40, 90, 100}, {50, 85, 100}, {60, 80, 100},
                                     {70, 70, 100},  {80, 60, 100}, {90, 58, 100}, {100, 55, 100}};
const RandomColorBound kAny[] = {{20, 100, 100}, {100, 50, 100}};
const RandomColorBound kGreys[] = {{0, 0, 100}};
const RandomColorBound kBrown[] = {{20, 90, 95}, {30, 80, 90}, {40, 60, 90}, {50, 50, 90}, {60, 50, 90},
                                   {70, 50, 90}, {80, 45, 85}, {90, 45, 85}, {100, 40, 85}};

#define ZQ_BOUNDS(b) b, int32_t(sizeof(b) / sizeof(b[0]))

}  // namespace

const RandomColorEntry random_color_dictionary[kRandomColorEntries] = {
    {0, -5, 10, ZQ_BOUNDS(kRed)},        {1, 11, 19, ZQ_BOUNDS(kRedOrange)},      {2, 20, 41, ZQ_BOUNDS(kOrange)},
    {3, 42, 50, ZQ_BOUNDS(kOrange)},     {4, 51, 61, ZQ_BOUNDS(kYellow)},         {5, 62, 75, ZQ_BOUNDS(kYellowGreen)},
    {6, 76, 140, ZQ_BOUNDS(kGreen)},     {7, 141, 171, ZQ_BOUNDS(kGreenCyan)},    {8, 172, 200, ZQ_BOUNDS(kCyan)},
    {9, 201, 215, ZQ_BOUNDS(kCyan)},     {10, 216, 240, ZQ_BOUNDS(kBlue)},        {11, 241, 280, ZQ_BOUNDS(kBlue)},
    {12, 281, 315, ZQ_BOUNDS(kMagenta)}, {13, 316, 330, ZQ_BOUNDS(kMagentaPink)}, {14, 331, 340, ZQ_BOUNDS(kPink)},
    {15, 341, 354, ZQ_BOUNDS(kPinkRed)}, {16, 0, 359, ZQ_BOUNDS(kAny)},           {17, 0, 359, ZQ_BOUNDS(kGreys)},
    {18, 15, 30, ZQ_BOUNDS(kBrown)},
};

void random_color_seed(RandomColorState &state, uint64_t value) { state.seed(uint32_t(value % 2147483647u)); }

int32_t random_color_draw(RandomColorState &state, int32_t lo, int32_t hi) {
    if (lo >= hi) return lo;
    return std::uniform_int_distribution<int32_t>(lo, hi)(state);
}

const RandomColorEntry &random_color_entry_for_hue(int32_t hue) {
    const int32_t h = hue < 0 ? hue + 360 : hue;
    const RandomColorEntry *best = &random_color_dictionary[16];
    for (const RandomColorEntry &e : random_color_dictionary) {
        if (e.id >= 17) continue;
        const bool inside = (e.hue_min <= h && h <= e.hue_max) || (e.hue_min <= 0 && h >= e.hue_min + 360);
        if (inside && e.hue_max - e.hue_min < best->hue_max - best->hue_min) best = &e;
    }
    return *best;
}

int32_t random_color_pick_saturation(RandomColorState &state, const RandomColorEntry &family, int mode) {
    int32_t lo = family.bounds[0].saturation;
    int32_t hi = family.bounds[family.nb_bounds - 1].saturation;
    switch (mode) {
    case 0:
    case 3: lo = hi - int32_t((hi - lo) * 0.3); break;
    case 1: lo = std::max(lo, std::min(hi, 50)); break;
    case 2: hi = lo + int32_t((hi - lo) * 0.25); break;
    default: break;
    }
    return random_color_draw(state, lo, hi);
}

void random_color_brightness_range(int32_t s, const RandomColorEntry &family, int32_t *min, int32_t *max) {
    for (int32_t i = family.nb_bounds - 2; i >= 0; i--) {
        const RandomColorBound &a = family.bounds[i], &b = family.bounds[i + 1];
        if (s < a.saturation) continue;
        const double t = a.saturation == b.saturation ? 0.0 : double(s - a.saturation) / (b.saturation - a.saturation);
        *min = a.min_brightness + int32_t(t * (b.min_brightness - a.min_brightness));
        *max = a.max_brightness + int32_t(t * (b.max_brightness - a.max_brightness));
        return;
    }
    if (family.nb_bounds == 1) {
        *min = family.bounds[0].min_brightness;
        *max = family.bounds[0].max_brightness;
    } else {
        *min = 0;
        *max = 100;
    }
}

int32_t random_color_pick_brightness(RandomColorState &state, int32_t s, const RandomColorEntry &family, int mode) {
    int32_t lo = 0, hi = 100;
    random_color_brightness_range(s, family, &lo, &hi);
    const int32_t d = hi - lo;
    switch (mode) {
    case 0: hi = lo + int32_t(std::min(30.0, 0.3 * d)); break;
    case 1:
        lo = lo + int32_t(0.5 * d);
        hi = hi - int32_t(0.125 * d);
        break;
    case 2: lo = hi - int32_t(std::min(15.0, 0.3 * d)); break;
    case 3: lo = hi - int32_t(std::min(10.0, 0.3 * d)); break;
    default: break;
    }
    return random_color_draw(state, lo, hi);
}

int32_t random_color_generate(RandomColorState &state, int id, int mode) {
    ZASSERT(id >= 0 && id < kRandomColorEntries);
    const RandomColorEntry &entry = random_color_dictionary[id];
    const int32_t hue = random_color_draw(state, entry.hue_min, entry.hue_max);
    const RandomColorEntry &family = id == 16 ? random_color_entry_for_hue(hue) : entry;
    const int32_t s = random_color_pick_saturation(state, family, mode);
    const int32_t v = random_color_pick_brightness(state, s, family, mode);
    return HSBtoRGB(hue, s, v);
}

int32_t HSBtoRGB(double h, double s, double v) {
    if (!(h >= -360 && h <= 360)) zassert_fail("h must be within [-360; 360]", __func__, __FILE__, __LINE__);
    if (!(s >= 0 && s <= 100)) zassert_fail("s must be within [0; 100]", __func__, __FILE__, __LINE__);
    if (!(v >= 0 && v <= 100)) zassert_fail("v must be within [0; 100]", __func__, __FILE__, __LINE__);
    if (h >= 360) h -= 360;
    if (h < 0) h += 360;
    const int i = int(h / 60);
    if (i > 5) return 0;
    const double f = h / 60 - i;
    const double k = (v / 100) * (s / 100);
    const double x = k * (1 - std::fabs((i % 2) + f - 1));
    const double m = v / 100 - k;
    double r = 0, g = 0, b = 0;
    switch (i) {
    case 0: r = k, g = x; break;
    case 1: r = x, g = k; break;
    case 2: g = k, b = x; break;
    case 3: g = x, b = k; break;
    case 4: r = x, b = k; break;
    default: r = k, b = x; break;
    }
    const int32_t R = int32_t((r + m) * 255), G = int32_t((g + m) * 255), B = int32_t((b + m) * 255);
    return R * 65536 + G * 256 + B;
}
