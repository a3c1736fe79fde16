#include "model/settings/setting_enums.h"

namespace {
const char *const kTransformExchange[kTransformModeCount] = {"no_transform", "90", "180", "270", "flip_h", "flip_v"};
const char *const kTransformDisplay[kTransformModeCount] = {
    "No transform", "Rotate 90° Clockwise", "Rotate 180°", "Rotate 270° Clockwise", "Horizontal Flip", "Vertical Flip"};
const char *const kScaleModes[8] = {
    "Match source",         "Custom",          "Fit to screen",    "Fit to screen width",
    "Fit to screen height", "Half resolution", "Third resolution", "Quarter resolution"};
}  // namespace

const char *transform_mode_exchange_text(uint32_t mode) {
    return kTransformExchange[mode < kTransformModeCount ? mode : 0];
}

const char *transform_mode_display_text(uint32_t mode) {
    return kTransformDisplay[mode < kTransformModeCount ? mode : 0];
}

const char *scale_mode_display_text(uint32_t mode) { return mode < 8 ? kScaleModes[mode] : ""; }
