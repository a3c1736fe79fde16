#include "model/settings/crop_autosplit.h"

#include <cstdio>

#include "platform/foundation/number_text.h"
#include "platform/foundation/xml_writer.h"

bool crop_split_set_src_size(HapStandAutosplit *r, uint32_t width, uint32_t height) {
    r->src_width = width;
    r->src_height = height;
    return width > 3 && height > 3;
}

bool crop_split_set_target_count(HapStandAutosplit *r, uint32_t columns, uint32_t rows) {
    r->mode = HapStand_AutosplitMode_TargetCount;
    r->columns = columns;
    r->rows = rows;
    return columns != 0 && rows != 0;
}

bool crop_split_set_target_size(HapStandAutosplit *r, uint32_t tile_width, uint32_t tile_height, uint32_t horiz_overlap,
                                uint32_t verti_overlap) {
    r->mode = HapStand_AutosplitMode_TargetSize;
    r->tile_width = tile_width;
    r->tile_height = tile_height;
    r->horiz_overlap = horiz_overlap;
    r->verti_overlap = verti_overlap;
    return tile_width != 0 && tile_height != 0 && horiz_overlap < tile_width && verti_overlap < tile_height;
}

namespace {

// Appends the zone when it is not empty and lies inside the source.
void add_zone(HapStandAutosplit *r, int64_t x, int64_t y, int64_t w, int64_t h) {
    const uint32_t ux = uint32_t(x), uy = uint32_t(y), uw = uint32_t(w), uh = uint32_t(h);
    if (w == 0 || h == 0) {
        printf("Crop zone invalid : empty zone : %u x %u\n", uw, uh);
        r->error = true;
        return;
    }
    if (x + w > int64_t(r->src_width) || y + h > int64_t(r->src_height)) {
        printf("Crop zone invalid : outside source zone : Src res %u x %u ; Origin : %u / %u ; Zone size : %u x %u\n",
               r->src_width, r->src_height, ux, uy, uw, uh);
        r->error = true;
        return;
    }
    r->zones.push_back({ux, uy, uw, uh});
}

// Tile side of the count mode: side / count rounded up to a multiple of 4.
int64_t count_tile(uint32_t side, uint32_t count) {
    if (count <= 1) return side;
    return ((int64_t(side) / count) + 3) & ~int64_t(3);
}

void compute_count(HapStandAutosplit *r) {
    if (r->rows == 0) return;
    const int64_t tile_w = count_tile(r->src_width, r->columns);
    const int64_t tile_h = count_tile(r->src_height, r->rows);
    int64_t rem_h = r->src_height, y = 0;
    for (uint32_t i = 0; i < r->rows; i++) {
        const int64_t row_h = (i + 1 == r->rows || rem_h < tile_h) ? rem_h : tile_h;
        int64_t rem_w = r->src_width, x = 0;
        for (uint32_t j = 0; j < r->columns; j++) {
            const int64_t w = (j + 1 == r->columns || rem_w < tile_w) ? rem_w : tile_w;
            if (w <= 0 || row_h <= 0) {
                printf("Invalid target size (target count mode) : %lld x %lld\n", (long long)w, (long long)row_h);
                r->error = true;
                return;
            }
            add_zone(r, x, y, w, row_h);
            x += w;
            rem_w -= w;
        }
        y += row_h;
        rem_h -= row_h;
    }
}

void compute_size(HapStandAutosplit *r) {
    if (r->tile_width == 0 || r->tile_height == 0) {
        r->error = true;
        return;
    }
    const int64_t tile_w = r->tile_width, tile_h = r->tile_height;
    const int64_t cols = (r->src_width + tile_w - 1) / tile_w;
    const int64_t rows = (r->src_height + tile_h - 1) / tile_h;
    int64_t rem_h = r->src_height, y = 0;
    for (int64_t i = 0; i < rows; i++) {
        const int64_t row_h = (i + 1 == rows || rem_h < tile_h) ? rem_h : tile_h;
        int64_t rem_w = r->src_width, x = 0;
        for (int64_t j = 0; j < cols; j++) {
            const int64_t w = (j + 1 == cols || rem_w < tile_w) ? rem_w : tile_w;
            add_zone(r, x, y, w, row_h);
            x += w;
            rem_w -= w;
        }
        y += row_h;
        rem_h -= row_h;
    }
}

}  // namespace

void crop_split_compute(HapStandAutosplit *r) {
    if (r->mode == HapStand_AutosplitMode_TargetCount)
        compute_count(r);
    else
        compute_size(r);
}

// ---- GlobalSettingsDialogCropDivide ----

std::shared_ptr<GlobalSettingsDialogCropDivide> GlobalSettingsDialogCropDivide::init() {
    return std::make_shared<GlobalSettingsDialogCropDivide>();
}

void GlobalSettingsDialogCropDivide::set_to_default() { *this = GlobalSettingsDialogCropDivide(); }

void GlobalSettingsDialogCropDivide::write(XmlStreamWriter &w) const {
    const struct {
        const char *key;
        uint32_t value;
    } rows[] = {{"mode", mode == HapStand_AutosplitMode_TargetSize ? 1u : 2u},
                {"horiz_count", horiz_count},
                {"verti_count", verti_count},
                {"horiz_size", horiz_size},
                {"verti_size", verti_size},
                {"horiz_overlap", horiz_overlap},
                {"verti_overlap", verti_overlap}};
    for (const auto &row : rows) {
        w.start_element("dialog_params");
        w.attribute("d", "crop_divide");
        w.attribute("k", row.key);
        w.attribute("v", number_text_from_uint(row.value));
        w.end_element();
    }
}

void GlobalSettingsDialogCropDivide::set_with_xml_attribute(const XmlAttributes &attributes) {
    const auto k = attributes.find("k"), v = attributes.find("v");
    if (k == attributes.end() || v == attributes.end()) return;
    uint64_t n64 = 0;
    number_text_to_uint(&v->second, UINT32_MAX, &n64);
    const uint32_t n = uint32_t(n64);
    const std::string &key = k->second;
    if (key == "mode") {
        if (n != 1 && n != 2) {
            printf("Unknown HapStand_AutosplitMode val : %u", n);
            mode = HapStand_AutosplitMode_TargetSize;
        } else {
            mode = n;
        }
    } else if (key == "horiz_count") {
        if (n) horiz_count = n;
    } else if (key == "verti_count") {
        if (n) verti_count = n;
    } else if (key == "horiz_size") {
        if (n) horiz_size = n;
    } else if (key == "verti_size") {
        if (n) verti_size = n;
    } else if (key == "horiz_overlap") {
        horiz_overlap = n;
    } else if (key == "verti_overlap") {
        verti_overlap = n;
    }
}
