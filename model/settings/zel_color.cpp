#include "model/settings/zel_color.h"

#include <cstdio>

#include "platform/core/log.h"

ZelColor8b ZelColor8b::init_with_r_and_g_and_b_and_a(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    ZelColor8b c;
    c.set_r_and_g_and_b_and_a(r, g, b, a);
    return c;
}

ZelColor8b ZelColor8b::init_with_r_and_g_and_b(uint8_t r, uint8_t g, uint8_t b) {
    return init_with_r_and_g_and_b_and_a(r, g, b, 255);
}

void ZelColor8b::set_r_and_g_and_b_and_a(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    red = r, green = g, blue = b, alpha = a;
}

void ZelColor8b::set_r_and_g_and_b(uint8_t r, uint8_t g, uint8_t b) { set_r_and_g_and_b_and_a(r, g, b, 255); }

void ZelColor8b::set_grey(uint8_t v) { set_r_and_g_and_b_and_a(v, v, v, 255); }

Json ZelColor8b::get_json_dict() const {
    Json d = Json::object();
    d["r"] = red;
    d["g"] = green;
    d["b"] = blue;
    if (alpha != 255) d["a"] = alpha;
    return d;
}

namespace {

uint8_t component(const Json &dict, const char *key, uint8_t fallback) {
    const auto it = dict.find(key);
    uint32_t v = 0;
    if (it == dict.end() || !json_to_u32(*it, &v) || v > 255) return fallback;
    return uint8_t(v);
}

}  // namespace

void ZelColor8b::set_with_json_dict(const Json &dict) {
    if (!dict.is_object()) {
        zlog("Invalid color json data");
        return;
    }
    red = component(dict, "r", 0);
    green = component(dict, "g", 0);
    blue = component(dict, "b", 0);
    alpha = component(dict, "a", 255);
}

bool ZelColor8b::is_equal_to_color(const ZelColor8b &o) const {
    return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
}

std::string ZelColor8b::description() const {
    char buf[64];
    snprintf(buf, sizeof(buf), "ZelColorRGBA8 : RGBA : %d/%d/%d/%d", red, green, blue, alpha);
    return buf;
}

ZelColorFloat ZelColorFloat::init_with_r_and_g_and_b_and_a(float r, float g, float b, float a) {
    ZelColorFloat c;
    c.set_r_and_g_and_b_and_a(r, g, b, a);
    return c;
}

ZelColorFloat ZelColorFloat::init_with_r_and_g_and_b(float r, float g, float b) {
    return init_with_r_and_g_and_b_and_a(r, g, b, 1.0f);
}

void ZelColorFloat::set_r_and_g_and_b_and_a(float r, float g, float b, float a) {
    red = r, green = g, blue = b, alpha = a;
}

void ZelColorFloat::set_r_and_g_and_b(float r, float g, float b) { set_r_and_g_and_b_and_a(r, g, b, 1.0f); }

void ZelColorFloat::set_grey(float v) { set_r_and_g_and_b_and_a(v, v, v, 1.0f); }

void ZelColorFloat::set_with_8b_r_and_g_and_b_and_a(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    set_r_and_g_and_b_and_a(r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f);
}

namespace {

uint8_t to_byte(float c) {
    if (!(c > 0.0f)) return 0;  // NaN too
    if (c >= 1.0f) return 255;
    return uint8_t(c * 255.0f);
}

}  // namespace

ZelColor8b ZelColorFloat::to_8b() const {
    return ZelColor8b::init_with_r_and_g_and_b_and_a(to_byte(red), to_byte(green), to_byte(blue), to_byte(alpha));
}

std::string ZelColorFloat::description() const {
    char buf[128];
    snprintf(buf, sizeof(buf), "ZelColorRGBAFloat : RGBA : %f/%f/%f/%f", red, green, blue, alpha);
    return buf;
}
