#pragma once
// Enumerations of the settings model and their texts.
#include <cstdint>

enum HapStandCropMode : uint32_t {
    HapStandCropMode_OriginAndSize = 1,
    HapStandCropMode_EdgesCrop = 2,
    HapStandCropMode_ScreenRatio = 3,
};

// VideoSetting_TransformMode: 0 none, 1 rotate 90 clockwise, 2 rotate 180, 3 rotate 270
// clockwise, 4 horizontal flip, 5 vertical flip.
constexpr uint32_t kTransformModeCount = 6;
// "no_transform", "90", "180", "270", "flip_h", "flip_v"; "no_transform" above 5.
const char *transform_mode_exchange_text(uint32_t mode);
// "No transform", "Rotate 90° Clockwise", ...; "No transform" above 5.
const char *transform_mode_display_text(uint32_t mode);

// VideoSetting_ScaleMode texts of the scale panel, "" above 7.
const char *scale_mode_display_text(uint32_t mode);
