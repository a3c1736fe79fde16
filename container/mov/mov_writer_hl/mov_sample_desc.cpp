// Sample descriptions (video, PCM audio, timecode) and the video extension atoms.
#include <cstdio>
#include <cstring>

#include "container/mov/mov_writer_hl/mov_atoms.h"
#include "platform/core/errors.h"

namespace {

struct VideoFormat {
    const char *code;
    uint16_t version;
    uint16_t revision;
    const char *vendor;
    uint32_t temporal_quality;
    uint32_t spatial_quality;
    const char *compressor;
    int depth;  // 0: the depth argument
};

const VideoFormat kVideoFormats[] = {
    {"Hap1", 1, 1, "VDVX", 0, 1024, "Hap", 24},
    {"Hap5", 1, 1, "VDVX", 0, 1024, "Hap Alpha", 32},
    {"HapY", 1, 1, "VDVX", 0, 1024, "Hap Q", 24},
    {"HapM", 1, 1, "VDVX", 0, 1024, "Hap Q Alpha", 32},
    {"HapA", 1, 1, "VDVX", 0, 1024, "Hap Alpha-Only", 24},
    {"Hap7", 1, 1, "VDVX", 0, 1024, "Hap R", 0},
    {"apco", 0, 0, "appl", 0, 1023, "Apple ProRes 422 Proxy", 24},
    {"apcs", 0, 0, "appl", 0, 1023, "Apple ProRes 422 LT", 24},
    {"apcn", 0, 0, "appl", 0, 1023, "Apple ProRes 422", 24},
    {"apch", 0, 0, "appl", 0, 1023, "Apple ProRes 422 HQ", 24},
    {"ap4h", 0, 0, "appl", 0, 1023, "Apple ProRes 4444", 0},
    {"ap4x", 0, 0, "appl", 0, 1023, "Apple ProRes 4444 XQ", 0},
    {"jpeg", 1, 1, "appl", 0, 1003, "Photo - JPEG", 24},
    {"nclc", 0, 0, "FFMP", 512, 512, "NotchLC", 0},
    {"DXD3", 0, 0, "FFMP", 512, 512, "", 0},
    {"2vuy", 1, 0, "appl", 0, 1024, "Uncompressed YUV 8 bit 4:2:2", 24},
    {"v210", 1, 0, "appl", 0, 1024, "Uncompressed YUV 10 bit 4:2:2", 24},
};

// The vendor step accepts the ProRes family by pattern, so a few codes pass it
// and fail at the compressor-name step.
bool is_prores_pattern(const char *f) {
    return f[0] == 'a' && f[1] == 'p' && (f[2] == 'c' || f[2] == '4') && std::strchr("hnosx", f[3]) && f[3];
}

const VideoFormat *find_format(const char *f) {
    for (const VideoFormat &v : kVideoFormats)
        if (std::memcmp(v.code, f, 4) == 0) return &v;
    return nullptr;
}

}  // namespace

SampleDescription_Video::SampleDescription_Video(uint16_t width, uint16_t height, uint8_t depth, const char format[4],
                                                 const std::vector<Atom_Writer> &extensions)
    : Atom_Writer("    ") {
    const VideoFormat *vf = find_format(format);
    if (!vf && !is_prores_pattern(format)) {
        printf("Sample Description Video Codec unsupported for vendor : %.4s\n", format);
        throw_process_error("Sample description, codec unsupported");
    }
    if (!vf) {
        printf("Codec unsupported for compressor name : %.4s\n", format);
        throw_process_error("codec video unsupported");
    }
    std::memcpy(type, format, 4);
    put_zeros(6);
    put16(1);  // data reference index
    put16(vf->version);
    put16(vf->revision);
    put_fourcc(vf->vendor);
    put32(vf->temporal_quality);
    put32(vf->spatial_quality);
    put16(width);
    put16(height);
    put32(0x00480000);  // 72 dpi
    put32(0x00480000);
    put32(0);  // data size
    put16(1);  // frame count
    size_t len = std::strlen(vf->compressor);
    put8(static_cast<uint32_t>(len));
    put_bytes(vf->compressor, len);
    put_zeros(31 - len);
    put16(vf->depth ? static_cast<uint32_t>(vf->depth) : depth);
    put16(0xFFFF);  // no colour table
    for (const Atom_Writer &ext : extensions) put_atom(ext);
    put32(0);
}

SampleDescription_Audio::SampleDescription_Audio(uint16_t bits, uint32_t frequency, uint16_t channels, bool is_float,
                                                 uint32_t layout)
    : Atom_Writer("    ") {
    if (channels == 0) throw_process_error("nb channnel audio 0 invalid");
    if (frequency == 0) throw_process_error("frequency audio 0 invalid");
    const bool v2 = channels >= 3 || frequency > 48000;
    if (v2) {
        if (is_float && bits != 32 && bits != 64) throw_process_error("Quantif audio inconnue STSD Float");
        if (!is_float && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            throw_process_error("Quantif audio inconnue STSD Integer");
        std::memcpy(type, "lpcm", 4);
    } else {
        const char *f = nullptr;
        if (is_float) {
            if (bits == 32)
                f = "fl32";
            else if (bits == 64)
                f = "fl64";
        } else {
            if (bits == 8)
                f = "raw ";
            else if (bits == 16)
                f = "sowt";
            else if (bits == 24)
                f = "in24";
            else if (bits == 32)
                f = "in32";
        }
        if (!f) throw_process_error("Quantif audio inconnue STSD");
        std::memcpy(type, f, 4);
    }

    put_zeros(6);
    put16(1);  // data reference index
    if (!v2) {
        put16(1);  // version
        put16(0);
        put32(0);
        put16(channels);
        put16(bits == 8 ? 8 : 16);
        put16(0xFFFF);  // compression ID -1
        put16(0);
        put_fixed(frequency);
        put32(1);  // samples per packet
        put32(bits / 8u);
        put32(channels * (bits / 8u));
        put32(bits == 8 ? 1 : 2);
        if (bits > 16) {
            // wave: frma (our own format) and enda = 1 (little-endian samples).
            put32(38);
            put_fourcc("wave");
            put32(12);
            put_fourcc("frma");
            put_fourcc(type);
            put32(10);
            put_fourcc("enda");
            put16(1);
            put32(8);
            put32(0);
        }
        return;
    }

    put16(2);  // version
    put16(0);
    put32(0);
    put16(3);
    put16(16);
    put16(0xFFFE);
    put16(0);
    put32(0x00010000);
    put32(72);
    double rate = static_cast<double>(frequency);
    uint64_t rate_bits;
    std::memcpy(&rate_bits, &rate, 8);
    put64(rate_bits);
    put32(channels);
    put32(0x7F000000);
    put32(bits);
    // Float, packed (9) or signed integer, packed (12): no big-endian flag.
    put32(is_float ? 9 : 12);
    put32(channels * (bits / 8u));
    put32(1);

    put32(24 + 20u * channels);
    put_fourcc("chan");
    put32(0);
    put32(0);  // layout tag: channel descriptions
    put32(0);  // bitmap
    put32(channels);
    static const uint32_t k51a[6] = {1, 2, 5, 6, 3, 4};
    static const uint32_t k51b[6] = {1, 3, 2, 5, 6, 4};
    static const uint32_t k51[6] = {1, 2, 3, 4, 5, 6};
    static const uint32_t k71[8] = {1, 2, 3, 4, 5, 6, 33, 34};
    for (uint32_t c = 0; c < channels; c++) {
        uint32_t label = 0xFFFFFFFF;
        if (channels == 1)
            label = 42;
        else if (channels == 2)
            label = c + 1;
        else if (channels == 6)
            label = layout == 2 ? k51a[c] : layout == 3 ? k51b[c] : k51[c];
        else if (channels == 8)
            label = k71[c];
        put32(label);
        put32(0);
        put_zeros(12);
    }
}

SampleDescription_Timecode::SampleDescription_Timecode(ZRational frame_rate, bool drop_frame) : Atom_Writer("tmcd") {
    uint32_t scale, duration, frames;
    bool ntsc = false;
    if (frame_rate.den == 1 && frame_rate.num <= 255) {
        scale = frame_rate.num;
        duration = 1;
        frames = frame_rate.num;
    } else if (frame_rate.num == 60000 && frame_rate.den == 1001) {
        scale = 2997, duration = 50, frames = 60, ntsc = true;
    } else if (frame_rate.num == 30000 && frame_rate.den == 1001) {
        scale = 2997, duration = 100, frames = 30, ntsc = true;
    } else if (frame_rate.num == 24000 && frame_rate.den == 1001) {
        scale = 2997, duration = 125, frames = 24;
    } else {
        throw_process_error("FPS not supported for TC sample description");
    }
    put_zeros(6);
    put16(1);
    put32(0);
    put32(drop_frame && ntsc ? 1 : 0);
    put32(scale);
    put32(duration);
    put8(frames);
    put8(0);
}

FIEL_Writer::FIEL_Writer(uint32_t field_mode) : Atom_Writer("fiel") {
    static const uint8_t kFields[3][2] = {{1, 0}, {2, 9}, {2, 14}};
    if (field_mode > 2) throw_process_error("Field atom interlace type invalide");
    put8(kFields[field_mode][0]);
    put8(kFields[field_mode][1]);
}

COLR_NCLC_Writer::COLR_NCLC_Writer(uint32_t colour_mode) : Atom_Writer("colr") {
    if (colour_mode > 1) throw_process_error("Colr atom colorspace type invalide");
    put_fourcc("nclc");
    if (colour_mode == 0) {
        put16(1), put16(1), put16(1);  // BT.709
    } else {
        put16(5), put16(1), put16(6);  // BT.601, 625-line primaries
    }
}

GAMA_Writer::GAMA_Writer(uint16_t integer_part, uint16_t fraction) : Atom_Writer("gama") {
    put16(integer_part);
    put16(fraction);
}

PASP_Writer::PASP_Writer(uint32_t h_spacing, uint32_t v_spacing) : Atom_Writer("pasp") {
    put32(h_spacing);
    put32(v_spacing);
}
