#pragma once
#include <cstdint>

// Frame rates and pixel aspects: numerator, then denominator.
struct ZRational {
    uint32_t num;
    uint32_t den;
};
