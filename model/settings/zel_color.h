#pragma once
// RGBA colours of the settings model: bytes (with a JSON form) and floats (nominally 0..1).
#include <cstdint>
#include <string>

#include "platform/foundation/json.h"

class ZelColor8b {
public:
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;

    ZelColor8b() = default;
    static ZelColor8b init_with_r_and_g_and_b_and_a(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
    static ZelColor8b init_with_r_and_g_and_b(uint8_t r, uint8_t g, uint8_t b);

    void set_r_and_g_and_b_and_a(uint8_t r, uint8_t g, uint8_t b, uint8_t a);
    void set_r_and_g_and_b(uint8_t r, uint8_t g, uint8_t b);  // alpha 255
    void set_grey(uint8_t v);                                 // alpha 255
    void set_alpha(uint8_t a) { alpha = a; }

    // {"r","g","b"} and "a" only when alpha is not 255.
    Json get_json_dict() const;
    // Each component taken when it is a number below 256, else 0 (alpha: 255).
    void set_with_json_dict(const Json &dict);
    bool is_equal_to_color(const ZelColor8b &other) const;
    std::string description() const;
};

class ZelColorFloat {
public:
    float red = 0.0f, green = 0.0f, blue = 0.0f, alpha = 1.0f;

    ZelColorFloat() = default;
    static ZelColorFloat init_with_r_and_g_and_b_and_a(float r, float g, float b, float a);
    static ZelColorFloat init_with_r_and_g_and_b(float r, float g, float b);

    void set_r_and_g_and_b_and_a(float r, float g, float b, float a);
    void set_r_and_g_and_b(float r, float g, float b);  // alpha 1
    void set_grey(float v);                             // alpha 1
    void set_alpha(float a) { alpha = a; }
    void set_with_8b_r_and_g_and_b_and_a(uint8_t r, uint8_t g, uint8_t b, uint8_t a);

    // Each component: 0 when <= 0, 255 when >= 1, else the integer part of c x 255.
    ZelColor8b to_8b() const;
    std::string description() const;
};
