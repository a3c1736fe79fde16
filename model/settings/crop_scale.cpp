#include "model/settings/crop_scale.h"

#include <cmath>
#include <cstdio>

#include "model/settings/setting_enums.h"
#include "platform/core/log.h"

namespace {

// Halves away from zero, in single precision.
float round_f(float v) { return std::round(v); }

// A rounded size as uint32; false when it does not fit.
bool size_from_float(float v, uint32_t *out) {
    if (!(v >= 0.0f) || v >= 4294967296.0f) return false;
    *out = uint32_t(v);
    return true;
}

bool crop_stage(HapStandCropScale *r) {
    const int64_t sw = r->src_w, sh = r->src_h;
    switch (r->crop_mode) {
    case HapStandCropMode_OriginAndSize: {
        const int64_t avail_w = sw - r->crop_l, avail_h = sh - r->crop_t;
        bool bad = false;
        if (avail_w <= 3) {
            printf("after_crop_w invalid\n");
            bad = true;
        }
        if (avail_h <= 3) {
            printf("after_crop_h invalid\n");
            bad = true;
        }
        if (bad) return false;
        r->crop_out_w = uint32_t(std::min<int64_t>(r->crop_width, avail_w));
        r->crop_out_h = uint32_t(std::min<int64_t>(r->crop_height, avail_h));
        if (r->crop_to_mult_4) {
            const uint32_t rw = r->crop_out_w % 4, rh = r->crop_out_h % 4;
            r->crop_out_w -= rw;
            r->crop_width -= rw;
            r->crop_out_h -= rh;
            r->crop_height -= rh;
        }
        r->crop_r = uint32_t(avail_w - r->crop_out_w);
        r->crop_b = uint32_t(avail_h - r->crop_out_h);
        return true;
    }
    case HapStandCropMode_EdgesCrop:
    case HapStandCropMode_ScreenRatio: {
        if (r->crop_mode == HapStandCropMode_ScreenRatio) {
            bool bad = false;
            if (r->crop_screen_width <= 3) {
                printf("Invalid screen width : %d\n", int(r->crop_screen_width));
                bad = true;
            }
            if (r->crop_screen_height <= 3) {
                printf("Invalid screen height : %d\n", int(r->crop_screen_height));
                bad = true;
            }
            if (bad) return false;
            r->crop_t = r->crop_l = r->crop_b = r->crop_r = 0;
            const float s = float(r->src_w) / float(r->src_h);
            const float q = float(r->crop_screen_width) / float(r->crop_screen_height);
            if (s == q) {
                r->crop_out_w = r->src_w;
                r->crop_out_h = r->src_h;
            } else if (q > s) {
                // The screen is wider: cut the top and the bottom.
                const float h = round_f(float(r->src_w) / q);
                if (h < float(r->src_h)) {
                    const uint32_t hh = uint32_t(h);
                    r->crop_t = (r->src_h - hh) / 2;
                    r->crop_b = r->src_h - hh - r->crop_t;
                }
            } else if (q < s) {
                const float w = round_f(q * float(r->src_h));
                if (w < float(r->src_w)) {
                    const uint32_t ww = uint32_t(w);
                    r->crop_l = (r->src_w - ww) / 2;
                    r->crop_r = r->src_w - ww - r->crop_l;
                }
            }
            // Equal ratios scale to the screen size too: the choice is the user's flag.
            if (r->crop_scale_to_screen_res) {
                r->scale_mode = 1;
                r->scale_w = r->crop_screen_width;
                r->scale_h = r->crop_screen_height;
            }
            if (s == q) break;
        }
        const int64_t out_w = sw - (int64_t(r->crop_l) + r->crop_r);
        const int64_t out_h = sh - (int64_t(r->crop_t) + r->crop_b);
        bool bad = false;
        if (out_w <= 3) {
            printf("after_crop_w invalid\n");
            bad = true;
        }
        if (out_h <= 3) {
            printf("after_crop_h invalid\n");
            bad = true;
        }
        if (bad) return false;
        r->crop_out_w = uint32_t(out_w);
        r->crop_out_h = uint32_t(out_h);
        break;
    }
    default: return false;
    }
    if (r->crop_to_mult_4) {
        const uint32_t rw = r->crop_out_w % 4, rh = r->crop_out_h % 4;
        r->crop_out_w -= rw;
        r->crop_r += rw;
        r->crop_out_h -= rh;
        r->crop_b += rh;
    }
    return true;
}

bool scale_stage(HapStandCropScale *r) {
    const uint32_t W = r->transform_out_w, H = r->transform_out_h;
    if (W < 4 || H < 4) return false;
    if (r->scale_mode > 7) {
        printf("Invalid scale mode\n");
        return false;
    }
    const float ratio = float(W) / float(H);
    const uint32_t sw = r->scale_screen_w, sh = r->scale_screen_h;
    uint32_t tw = 0, th = 0;
    bool fits = true;
    switch (r->scale_mode) {
    case 0: tw = W, th = H; break;
    case 1: tw = r->scale_w, th = r->scale_h; break;
    case 2: {
        if (sw < 4 || sh < 4) {
            printf("Invalid scale screen width or height : %u ; %u\n", sw, sh);
            return false;
        }
        const float screen = float(sw) / float(sh);
        if (ratio == screen) {
            tw = sw, th = sh;
        } else if (ratio > screen) {
            tw = sw;
            fits = size_from_float(round_f(float(sw) / ratio), &th);
        } else {
            th = sh;
            fits = size_from_float(round_f(ratio * float(sh)), &tw);
        }
        break;
    }
    case 3:
        if (sw < 4) return false;
        tw = sw;
        fits = size_from_float(round_f(float(sw) / ratio), &th);
        break;
    case 4:
        if (sh < 4) return false;
        th = sh;
        fits = size_from_float(round_f(ratio * float(sh)), &tw);
        break;
    default: {
        const float k = float(r->scale_mode - 3);  // 5, 6, 7 -> 2, 3, 4
        tw = uint32_t(round_f(float(W) / k));
        th = uint32_t(round_f(float(H) / k));
        if (tw < 5) tw = 4;
        if (th < 5) th = 4;
        break;
    }
    }
    if (!fits) return false;
    if (r->scale_mode >= 1 && r->scale_mode <= 4 && (tw < 4 || th < 4)) return false;
    if (r->scale_to_mult_4) {
        const uint64_t w4 = (uint64_t(tw) + 3) / 4 * 4, h4 = (uint64_t(th) + 3) / 4 * 4;
        if (w4 > UINT32_MAX || h4 > UINT32_MAX) return false;
        tw = uint32_t(w4);
        th = uint32_t(h4);
    }
    r->target_w = tw;
    r->target_h = th;
    if (tw == W && th == H) {
        r->percent_scale_w = r->percent_scale_h = 1.0f;
        r->scale_disable_smart = false;
    } else {
        r->scale_disable_smart = true;
        r->percent_scale_w = float(tw) / float(W);
        r->percent_scale_h = float(th) / float(H);
    }
    return true;
}

}  // namespace

void crop_scale_init(HapStandCropScale *r) {
    *r = HapStandCropScale{};
    r->crop_mode = HapStandCropMode_EdgesCrop;
}

bool crop_scale_compute(HapStandCropScale *r) {
    if (!crop_stage(r)) {
        r->have_crop_error = true;
        return false;
    }
    r->crop_top_disable_smart = r->crop_t % 4 != 0;
    r->crop_left_disable_smart = r->crop_l % 4 != 0;

    const bool swap = r->transform_mode == 1 || r->transform_mode == 3;
    r->transform_out_w = swap ? r->crop_out_h : r->crop_out_w;
    r->transform_out_h = swap ? r->crop_out_w : r->crop_out_h;
    r->transform_disable_smart = r->transform_mode != 0 && (r->crop_out_w % 4 != 0 || r->crop_out_h % 4 != 0);

    if (!scale_stage(r)) {
        r->have_scale_error = true;
        return false;
    }
    return true;
}

bool crop_scale_have_crop(const HapStandCropScale *r) { return r->src_w != r->crop_out_w || r->src_h != r->crop_out_h; }

bool crop_scale_have_transform(const HapStandCropScale *r) { return r->transform_mode != 0; }

bool crop_scale_have_scale(const HapStandCropScale *r) {
    return r->target_w != r->transform_out_w || r->target_h != r->transform_out_h;
}

bool crop_scale_is_smart_compatible(const HapStandCropScale *r) {
    return !r->crop_left_disable_smart && !r->crop_top_disable_smart && !r->transform_disable_smart &&
           !r->scale_disable_smart;
}

void crop_scale_get_mult_4_flags(const HapStandCropScale *r, bool *w_ok, bool *h_ok) {
    *w_ok = r->crop_out_w % 4 == 0;
    *h_ok = r->crop_out_h % 4 == 0;
}

void crop_scale_copy_params(HapStandCropScale *dst, const HapStandCropScale *src) {
    const uint32_t mode = dst->transform_mode, w = dst->transform_out_w, h = dst->transform_out_h;
    const bool smart = dst->transform_disable_smart;
    *dst = *src;
    dst->transform_mode = mode;
    dst->transform_disable_smart = smart;
    dst->transform_out_w = w;
    dst->transform_out_h = h;
}

std::string crop_scale_get_info_str(const HapStandCropScale *r, bool with_size, bool with_prefix) {
    const std::string transform = r->transform_mode != 0 ? transform_mode_display_text(r->transform_mode) : "";
    if (!crop_scale_have_crop(r)) return transform;
    const std::string suffix = r->transform_mode != 0 ? ", " + transform : "";
    char buf[160];
    if (r->crop_mode == HapStandCropMode_OriginAndSize) {
        snprintf(buf, sizeof(buf), "X : %upx, Y : %upx, Width : %upx, Height : %upx", r->crop_l, r->crop_t,
                 r->crop_out_w, r->crop_out_h);
        return (with_prefix ? "Crop : " : "") + std::string(buf) + suffix;
    }
    if (r->crop_l == 0 && r->crop_t == 0 && r->crop_r == 0 && r->crop_b == 0) {
        zlog("WARNING DEV : Not crop in edges crop ?");
        return "";
    }
    std::string s = with_prefix ? "Crop :" : "";
    const struct {
        const char *label;
        uint32_t v;
    } edges[] = {{" Left : %upx,", r->crop_l},
                 {" Top : %upx,", r->crop_t},
                 {" Right : %upx,", r->crop_r},
                 {" Bottom : %upx,", r->crop_b}};
    for (const auto &e : edges) {
        if (e.v == 0) continue;
        snprintf(buf, sizeof(buf), e.label, e.v);
        s += buf;
    }
    s.pop_back();
    s += suffix;
    if (with_size) {
        snprintf(buf, sizeof(buf), ", Width : %upx, Height : %upx", r->crop_out_w, r->crop_out_h);
        s += buf;
    }
    return s;
}

std::string crop_scale_get_crop_info_str(const HapStandCropScale *r, bool with_size) {
    return crop_scale_get_info_str(r, with_size, true);
}

std::string crop_scale_get_mult_4_warning_str(const HapStandCropScale *r) {
    bool w_ok, h_ok;
    crop_scale_get_mult_4_flags(r, &w_ok, &h_ok);
    if (w_ok && h_ok) return "";
    if (!w_ok && !h_ok) return "Crop output width and height not multiple 4";
    return w_ok ? "Crop output height not multiple 4" : "Crop output width not multiple 4";
}
