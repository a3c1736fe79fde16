#pragma once
// Cutting a source into a grid of crop zones, by zone size or by column and row counts, and
// the remembered settings of the auto-split dialog.
#include <cstdint>
#include <memory>
#include <vector>

#include "model/settings/property.h"
#include "platform/foundation/xml_reader.h"

class XmlStreamWriter;

enum HapStand_AutosplitMode : uint32_t {
    HapStand_AutosplitMode_TargetSize = 1,
    HapStand_AutosplitMode_TargetCount = 2,
};

struct HapStandAutosplitZone {
    uint32_t x, y, width, height;
};

struct HapStandAutosplit {
    uint32_t mode = HapStand_AutosplitMode_TargetSize;
    uint32_t src_width = 0, src_height = 0;
    uint32_t tile_width = 0, tile_height = 0;
    uint32_t horiz_overlap = 0, verti_overlap = 0;
    uint32_t columns = 0, rows = 0;
    bool error = false;
    std::vector<HapStandAutosplitZone> zones;  // row by row from the top, left to right
};

// True when both sides are above 3.
bool crop_split_set_src_size(HapStandAutosplit *r, uint32_t width, uint32_t height);
// Count mode; true when neither count is 0.
bool crop_split_set_target_count(HapStandAutosplit *r, uint32_t columns, uint32_t rows);
// Size mode; true when neither side is 0 and each overlap is below its side. The overlaps
// are remembered only: the layout does not use them.
bool crop_split_set_target_size(HapStandAutosplit *r, uint32_t tile_width, uint32_t tile_height, uint32_t horiz_overlap,
                                uint32_t verti_overlap);
// Appends the zones; a refused zone sets the error flag (printed line) and is left out.
// A zero tile side or count is refused rather than divided by.
void crop_split_compute(HapStandAutosplit *r);

class GlobalSettingsDialogCropDivide {
public:
    ZQ_PROPERTY(uint32_t, mode, setMode) = HapStand_AutosplitMode_TargetSize;
    ZQ_PROPERTY(uint32_t, horiz_count, setHoriz_count) = 1;
    ZQ_PROPERTY(uint32_t, verti_count, setVerti_count) = 1;
    ZQ_PROPERTY(uint32_t, horiz_size, setHoriz_size) = 1920;
    ZQ_PROPERTY(uint32_t, verti_size, setVerti_size) = 1080;
    ZQ_PROPERTY(uint32_t, horiz_overlap, setHoriz_overlap) = 0;
    ZQ_PROPERTY(uint32_t, verti_overlap, setVerti_overlap) = 0;

    static std::shared_ptr<GlobalSettingsDialogCropDivide> init();
    void set_to_default();
    // Seven `dialog_params` elements with d="crop_divide".
    void write(XmlStreamWriter &w) const;
    void set_with_xml_attribute(const XmlAttributes &attributes);
};
