// Atom object model and the movie, track and media header atoms.
#include "container/mov/mov_writer_hl/mov_atoms.h"

#include <cstring>

#include "platform/core/byte_order.h"
#include "platform/core/errors.h"

namespace {

// frame_count x denominator, refused when it does not fit in 32 bits.
uint32_t duration_product(uint32_t frame_count, uint32_t den, const char *overflow_msg) {
    uint64_t d = static_cast<uint64_t>(frame_count) * den;
    if (d > 0xFFFFFFFFu) throw_process_error(overflow_msg);
    return static_cast<uint32_t>(d);
}

const uint32_t kIdentityMatrix[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};

}  // namespace

uint64_t mov_atom_size_for_content(uint64_t n, bool *is64) {
    bool big = n + 8 > 0xFFFFFFFEull;
    if (is64) *is64 = big;
    return big ? n + 16 : n + 8;
}

Atom_Writer::Atom_Writer(const char t[4]) { std::memcpy(type, t, 4); }

void Atom_Writer::put16(uint32_t v) {
    put8(v >> 8);
    put8(v);
}

void Atom_Writer::put32(uint32_t v) {
    put16(v >> 16);
    put16(v & 0xFFFF);
}

void Atom_Writer::put64(uint64_t v) {
    put32(static_cast<uint32_t>(v >> 32));
    put32(static_cast<uint32_t>(v));
}

void Atom_Writer::put_bytes(const void *p, size_t n) {
    const uint8_t *b = static_cast<const uint8_t *>(p);
    payload.insert(payload.end(), b, b + n);
}

void Atom_Writer::put_atom(const Atom_Writer &atom) {
    size_t at = payload.size();
    payload.resize(at + atom.get_atom_size(nullptr));
    atom.write_atom(payload.data() + at);
}

uint64_t Atom_Writer::get_atom_size(bool *is64) const { return mov_atom_size_for_content(payload.size(), is64); }

uint64_t Atom_Writer::write_header(uint8_t *buffer) const {
    bool is64 = false;
    uint64_t size = get_atom_size(&is64);
    if (!is64) {
        store_be32(buffer, static_cast<uint32_t>(size));
        std::memcpy(buffer + 4, type, 4);
        return 8;
    }
    store_be32(buffer, 1);
    std::memcpy(buffer + 4, type, 4);
    store_be32(buffer + 8, static_cast<uint32_t>(size >> 32));
    store_be32(buffer + 12, static_cast<uint32_t>(size));
    return 16;
}

uint64_t Atom_Writer::write_atom(uint8_t *buffer) const {
    uint64_t h = write_header(buffer);
    if (!payload.empty()) std::memcpy(buffer + h, payload.data(), payload.size());
    return h + payload.size();
}

uint64_t Atom_Container::get_atom_size(bool *is64) const {
    uint64_t n = 0;
    for (const auto &c : children)
        if (c) n += c->get_atom_size(nullptr);
    return mov_atom_size_for_content(n, is64);
}

uint64_t Atom_Container::write_atom(uint8_t *buffer) const {
    uint64_t pos = write_header(buffer);
    for (const auto &c : children)
        if (c) pos += c->write_atom(buffer + pos);
    return pos;
}

MVHD_Writer::MVHD_Writer(uint32_t creation_time, uint32_t frame_count, ZRational frame_rate, uint32_t track_count)
    : Atom_Writer("mvhd") {
    uint32_t duration = duration_product(frame_count, frame_rate.den, "mvhd duration overflow");
    if (track_count > 0xFFFFFFFDu) throw_process_error("mvhd track count overflow");
    put32(0);  // version, flags
    put32(creation_time);
    put32(creation_time);
    put32(frame_rate.num);
    put32(duration);
    put32(0x00010000);  // preferred rate 1.0
    put16(0x0100);      // preferred volume 1.0
    put_zeros(10);
    for (uint32_t m : kIdentityMatrix) put32(m);
    put_zeros(24);  // preview, poster, selection and current times
    put32(track_count + 1);
}

TKHD_Writer::TKHD_Writer(uint32_t creation_time, uint32_t frame_count, ZRational frame_rate, uint32_t track_id,
                         uint16_t width, uint16_t height, bool is_sound)
    : Atom_Writer("tkhd") {
    uint32_t duration = duration_product(frame_count, frame_rate.den, "tkhd duration overflow");
    put32(0x0000000F);  // version 0; enabled, in movie, in preview, in poster
    put32(creation_time);
    put32(creation_time);
    put32(track_id);
    put32(0);
    put32(duration);
    put_zeros(8);
    put16(0);  // layer
    put16(0);  // alternate group
    put16(is_sound ? 0x0100 : 0);
    put16(0);
    for (uint32_t m : kIdentityMatrix) put32(m);
    put_fixed(width);
    put_fixed(height);
}

namespace {
// clef, prof and enof share one layout.
void put_aperture(std::vector<uint8_t> &p, uint16_t w, uint16_t h) {
    const uint8_t b[12] = {0,
                           0,
                           0,
                           0,
                           static_cast<uint8_t>(w >> 8),
                           static_cast<uint8_t>(w),
                           0,
                           0,
                           static_cast<uint8_t>(h >> 8),
                           static_cast<uint8_t>(h),
                           0,
                           0};
    p.assign(b, b + 12);
}
}  // namespace

CLEF_Writer::CLEF_Writer(uint16_t width, uint16_t height) : Atom_Writer("clef") {
    put_aperture(payload, width, height);
}

PROF_Writer::PROF_Writer(uint16_t width, uint16_t height) : Atom_Writer("prof") {
    put_aperture(payload, width, height);
}

ENOF_Writer::ENOF_Writer(uint16_t width, uint16_t height) : Atom_Writer("enof") {
    put_aperture(payload, width, height);
}

TAPT_Writer::TAPT_Writer(uint16_t stored_width, uint16_t height, uint16_t display_width) : Atom_Container("tapt") {
    children.push_back(std::make_unique<CLEF_Writer>(display_width, height));
    children.push_back(std::make_unique<PROF_Writer>(display_width, height));
    children.push_back(std::make_unique<ENOF_Writer>(stored_width, height));
}

LOAD_Writer::LOAD_Writer() : Atom_Writer("load") {
    put32(0);
    put32(0);
    put32(0);
    put32(0x00000100);
}

EDTS_Writer::EDTS_Writer(uint32_t frame_count, ZRational frame_rate) : Atom_Writer("edts") {
    uint32_t duration = duration_product(frame_count, frame_rate.den, "edts duration overflow");
    put32(28);
    put_fourcc("elst");
    put32(0);
    put32(1);
    put32(duration);
    put32(0);           // media time
    put32(0x00010000);  // media rate 1.0
}

TREF_TC_Entry_Writer::TREF_TC_Entry_Writer(int32_t track_id) : Atom_Writer("tmcd") {
    if (track_id < 0) throw_process_error("Tref TC Entry invalid track index");
    put32(static_cast<uint32_t>(track_id));
}

TREF_Writer::TREF_Writer(int32_t track_id) : Atom_Container("tref") {
    if (track_id < 0) throw_process_error("TREF without valid value");
    children.push_back(std::make_unique<TREF_TC_Entry_Writer>(track_id));
}

MDHD_Writer::MDHD_Writer(uint32_t creation_time, uint32_t frame_count, ZRational frame_rate) : Atom_Writer("mdhd") {
    uint32_t duration = duration_product(frame_count, frame_rate.den, "MDHD duration overflow");
    put32(0);
    put32(creation_time);
    put32(creation_time);
    put32(frame_rate.num);
    put32(duration);
    put16(0);  // language
    put16(0);  // quality
}

MDHD_Audio_Writer::MDHD_Audio_Writer(uint32_t creation_time, uint32_t sample_count, uint32_t frequency)
    : Atom_Writer("mdhd") {
    put32(0);
    put32(creation_time);
    put32(creation_time);
    put32(frequency);
    put32(sample_count);
    put16(0);
    put16(0);
}

namespace {
void put_handler(std::vector<uint8_t> &p, const char *comp_type, const char *sub_type, uint32_t flags, uint32_t mask,
                 const char *name, uint8_t name_len) {
    auto p32 = [&p](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) p.push_back(static_cast<uint8_t>(v >> s));
    };
    p32(0);
    p.insert(p.end(), comp_type, comp_type + 4);
    p.insert(p.end(), sub_type, sub_type + 4);
    p.insert(p.end(), "appl", "appl" + 4);
    p32(flags);
    p32(mask);
    p.push_back(name_len);
    p.insert(p.end(), name, name + name_len);
}
}  // namespace

HDLR_Video_Writer::HDLR_Video_Writer() : Atom_Writer("hdlr") {
    put_handler(payload, "mhlr", "vide", 0, 0x00010023, "Module de gestion video", 23);
}

HDLR_Audio_Writer::HDLR_Audio_Writer() : Atom_Writer("hdlr") {
    put_handler(payload, "mhlr", "soun", 0x10000000, 0x00010255, "Module de gestion sonore", 24);
}

HDLR_TC_Writer::HDLR_TC_Writer() : Atom_Writer("hdlr") {
    put_handler(payload, "mhlr", "tmcd", 0x00000001, 0x00010128, "Gestionnaire code temporel", 26);
}

HDLR_Media_Writer::HDLR_Media_Writer() : Atom_Writer("hdlr") {
    // 0x92 is the Mac Roman right single quotation mark: one byte, not UTF-8.
    put_handler(payload, "dhlr", "alis", 0x00000001, 0x0001002E,
                "Gestionnaire d\x92"
                "alias Apple",
                26);
}

VMHD_Writer::VMHD_Writer() : Atom_Writer("vmhd") {
    put32(0x00000001);
    put16(0x0040);
    put16(0x8000);
    put16(0x8000);
    put16(0x8000);
}

SMHD_Writer::SMHD_Writer() : Atom_Writer("smhd") {
    put32(0);
    put16(0);
    put16(0);
}

GMHD_Writer::GMHD_Writer() : Atom_Writer("gmhd") {
    put32(24);
    put_fourcc("gmin");
    put32(0);
    put16(0x0040);
    put16(0x8000);
    put16(0x8000);
    put16(0x8000);
    put16(0);
    put16(0);
    put32(47);
    put_fourcc("tmcd");
    put32(39);
    put_fourcc("tcmi");
    put32(0);
    put16(0);   // text font
    put16(0);   // text face
    put16(12);  // text size
    put16(0);
    put16(0);
    put16(0);
    put16(0);
    put16(0xFFFF);
    put16(0xFFFF);
    put16(0xFFFF);
    put8(6);
    put_bytes("System", 6);
}

DINF_Writer::DINF_Writer() : Atom_Writer("dinf") {
    put32(28);
    put_fourcc("dref");
    put32(0);
    put32(1);
    put32(12);
    put_fourcc("alis");
    put32(0x00000001);  // the data is in this file
}
