// Sample tables, track containers, the movie container and the user-data atoms.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

#include "container/mov/mov_writer_hl/mov_atoms.h"
#include "platform/core/errors.h"

STSD_Writer::STSD_Writer(const Atom_Writer &description) : Atom_Writer("stsd") {
    put32(0);
    put32(1);
    put_atom(description);
}

STTS_Writer::STTS_Writer(uint32_t frame_count, ZRational frame_rate, uint32_t track_kind) : Atom_Writer("stts") {
    uint32_t count, duration;
    if (track_kind == STTS_TRACK_VIDEO) {
        count = frame_count;
        duration = frame_rate.den;
    } else if (track_kind == STTS_TRACK_TIMECODE) {
        uint64_t d = static_cast<uint64_t>(frame_count) * frame_rate.den;
        if (d > 0xFFFFFFFFu) throw_process_error("STTS TC duration overflow");
        count = 1;
        duration = static_cast<uint32_t>(d);
    } else {
        printf("Type track unknown STTS : %u\n", track_kind);
        throw_process_error("Type trak unknown STTS");
    }
    put32(0);
    put32(1);
    put32(count);
    put32(duration);
}

STTS_Audio_Writer::STTS_Audio_Writer(uint32_t sample_count) : Atom_Writer("stts") {
    put32(0);
    put32(1);
    put32(sample_count);
    put32(1);
}

STSC_Writer::STSC_Writer() : Atom_Writer("stsc") {
    put32(0);
    put32(1);
    put32(1);
    put32(1);
    put32(1);
}

STSC_Audio_Writer::STSC_Audio_Writer(uint32_t sample_count, uint32_t frequency) : Atom_Writer("stsc") {
    if (frequency == 0) throw_process_error("STSC zero frequency");
    uint32_t q = sample_count / frequency;
    uint32_t r = sample_count % frequency;
    put32(0);
    if (r == 0 || sample_count < frequency) {
        put32(1);
        put32(1);
        put32(r == 0 ? frequency : r);
        put32(1);
    } else {
        // One-second chunks, then a shorter last one.
        put32(2);
        put32(1);
        put32(frequency);
        put32(1);
        put32(q + 1);
        put32(r);
        put32(1);
    }
}

STSZ_Writer::STSZ_Writer(const std::vector<uint32_t> &sizes) : Atom_Writer("stsz") {
    payload.reserve(12 + 4 * sizes.size());
    put32(0);
    put32(0);
    put32(static_cast<uint32_t>(sizes.size()));
    for (uint32_t s : sizes) put32(s);
}

STSZ_Audio_Writer::STSZ_Audio_Writer(uint32_t sample_count, uint16_t bits, uint32_t channels) : Atom_Writer("stsz") {
    put32(0);
    put32((bits / 8u) * channels);
    put32(sample_count);
}

CO_Writer::CO_Writer(const std::vector<uint64_t> &offsets) : Atom_Writer("stco") {
    // Offsets only grow, so the last one decides the width of all.
    const bool wide = !offsets.empty() && offsets.back() >= 0xFFFFFFFFull;
    if (wide) std::memcpy(type, "co64", 4);
    payload.reserve(8 + (wide ? 8 : 4) * offsets.size());
    put32(0);
    put32(static_cast<uint32_t>(offsets.size()));
    for (uint64_t o : offsets) {
        if (wide)
            put64(o);
        else
            put32(static_cast<uint32_t>(o));
    }
}

SDTP_Writer::SDTP_Writer(uint32_t sample_count) : Atom_Writer("sdtp") {
    put32(0);
    // 0x28: depends on no other sample, no other sample depends on it.
    payload.insert(payload.end(), sample_count, 0x28);
}

STBL_Video_Writer::STBL_Video_Writer(uint16_t width, uint16_t height, uint8_t depth, const char format[4],
                                     uint32_t frame_count, ZRational frame_rate, const std::vector<uint64_t> &offsets,
                                     const std::vector<uint32_t> &sizes, uint32_t display_width,
                                     std::vector<Atom_Writer> extensions)
    : Atom_Container("stbl") {
    if (frame_count == 0) {
        printf("STBL : Duration 0 invalid\n");
        throw_process_error("STBL : Duration 0 for the file");
    }
    extensions.push_back(PASP_Writer(display_width, width));
    SampleDescription_Video desc(width, height, depth, format, extensions);
    children.push_back(std::make_unique<STSD_Writer>(desc));
    children.push_back(std::make_unique<STTS_Writer>(frame_count, frame_rate, STTS_TRACK_VIDEO));
    children.push_back(std::make_unique<SDTP_Writer>(frame_count));
    children.push_back(std::make_unique<STSC_Writer>());
    children.push_back(std::make_unique<STSZ_Writer>(sizes));
    children.push_back(std::make_unique<CO_Writer>(offsets));
}

STBL_TC_Writer::STBL_TC_Writer(uint32_t frame_count, ZRational frame_rate, uint64_t timecode_offset, bool drop_frame)
    : Atom_Container("stbl") {
    if (frame_count == 0) {
        printf("STBL TC : Duration 0 invalid\n");
        throw_process_error("STBL TC : Duration 0 for the file");
    }
    SampleDescription_Timecode desc(frame_rate, drop_frame);
    children.push_back(std::make_unique<STSD_Writer>(desc));
    children.push_back(std::make_unique<STTS_Writer>(frame_count, frame_rate, STTS_TRACK_TIMECODE));
    children.push_back(std::make_unique<STSC_Writer>());
    children.push_back(std::make_unique<STSZ_Writer>(std::vector<uint32_t>{4}));
    children.push_back(std::make_unique<CO_Writer>(std::vector<uint64_t>{timecode_offset}));
}

STBL_Audio_Writer::STBL_Audio_Writer(uint16_t bits, uint32_t frequency, uint32_t sample_count, uint32_t channels,
                                     const std::vector<uint64_t> &offsets, bool is_float, uint32_t layout)
    : Atom_Container("stbl") {
    if (sample_count == 0) {
        printf("STBL : Nb samples 0 invalid\n");
        throw_process_error("STBL : Duration 0 samples for the file");
    }
    if (channels > 0xFFFF) throw_process_error("nb channnel audio invalid");
    SampleDescription_Audio desc(bits, frequency, static_cast<uint16_t>(channels), is_float, layout);
    children.push_back(std::make_unique<STSD_Writer>(desc));
    children.push_back(std::make_unique<STTS_Audio_Writer>(sample_count));
    children.push_back(std::make_unique<STSC_Audio_Writer>(sample_count, frequency));
    children.push_back(std::make_unique<STSZ_Audio_Writer>(sample_count, bits, channels));
    children.push_back(std::make_unique<CO_Writer>(offsets));
}

MINF_Video_Writer::MINF_Video_Writer(uint16_t width, uint16_t height, uint8_t depth, const char format[4],
                                     uint32_t frame_count, ZRational frame_rate, const std::vector<uint64_t> &offsets,
                                     const std::vector<uint32_t> &sizes, uint32_t display_width,
                                     const std::vector<Atom_Writer> &extensions)
    : Atom_Container("minf") {
    children.push_back(std::make_unique<VMHD_Writer>());
    children.push_back(std::make_unique<HDLR_Media_Writer>());
    children.push_back(std::make_unique<DINF_Writer>());
    children.push_back(std::make_unique<STBL_Video_Writer>(width, height, depth, format, frame_count, frame_rate,
                                                           offsets, sizes, display_width, extensions));
}

MINF_TC_Writer::MINF_TC_Writer(uint32_t frame_count, ZRational frame_rate, uint64_t timecode_offset, bool drop_frame)
    : Atom_Container("minf") {
    children.push_back(std::make_unique<GMHD_Writer>());
    children.push_back(std::make_unique<HDLR_Media_Writer>());
    children.push_back(std::make_unique<DINF_Writer>());
    children.push_back(std::make_unique<STBL_TC_Writer>(frame_count, frame_rate, timecode_offset, drop_frame));
}

MINF_Audio_Writer::MINF_Audio_Writer(uint16_t bits, uint32_t frequency, uint32_t sample_count, uint32_t channels,
                                     const std::vector<uint64_t> &offsets, bool is_float, uint32_t layout)
    : Atom_Container("minf") {
    children.push_back(std::make_unique<SMHD_Writer>());
    children.push_back(std::make_unique<HDLR_Media_Writer>());
    children.push_back(std::make_unique<DINF_Writer>());
    children.push_back(
        std::make_unique<STBL_Audio_Writer>(bits, frequency, sample_count, channels, offsets, is_float, layout));
}

MDIA_Video_Writer::MDIA_Video_Writer(uint32_t creation_time, uint16_t width, uint16_t height, uint8_t depth,
                                     const char format[4], uint32_t frame_count, ZRational frame_rate,
                                     const std::vector<uint64_t> &offsets, const std::vector<uint32_t> &sizes,
                                     uint32_t display_width, const std::vector<Atom_Writer> &extensions)
    : Atom_Container("mdia") {
    children.push_back(std::make_unique<MDHD_Writer>(creation_time, frame_count, frame_rate));
    children.push_back(std::make_unique<HDLR_Video_Writer>());
    children.push_back(std::make_unique<MINF_Video_Writer>(width, height, depth, format, frame_count, frame_rate,
                                                           offsets, sizes, display_width, extensions));
}

MDIA_TC_Writer::MDIA_TC_Writer(uint32_t creation_time, uint32_t frame_count, ZRational frame_rate,
                               uint64_t timecode_offset, bool drop_frame)
    : Atom_Container("mdia") {
    children.push_back(std::make_unique<MDHD_Writer>(creation_time, frame_count, frame_rate));
    children.push_back(std::make_unique<HDLR_TC_Writer>());
    children.push_back(std::make_unique<MINF_TC_Writer>(frame_count, frame_rate, timecode_offset, drop_frame));
}

MDIA_Audio_Writer::MDIA_Audio_Writer(uint32_t creation_time, uint16_t bits, uint32_t frequency, uint32_t sample_count,
                                     uint32_t channels, const std::vector<uint64_t> &offsets, bool is_float,
                                     uint32_t layout)
    : Atom_Container("mdia") {
    children.push_back(std::make_unique<MDHD_Audio_Writer>(creation_time, sample_count, frequency));
    children.push_back(std::make_unique<HDLR_Audio_Writer>());
    children.push_back(
        std::make_unique<MINF_Audio_Writer>(bits, frequency, sample_count, channels, offsets, is_float, layout));
}

TRAK_Video_Writer::TRAK_Video_Writer(uint32_t creation_time, uint16_t width, uint16_t height, uint8_t depth,
                                     const char format[4], float pixel_ratio, uint32_t frame_count,
                                     ZRational frame_rate, const std::vector<uint64_t> &offsets,
                                     const std::vector<uint32_t> &sizes, int32_t timecode_track_id,
                                     const std::vector<Atom_Writer> &extensions)
    : Atom_Container("trak") {
    uint32_t display_width = width;
    if (pixel_ratio != 1.0f) {
        float scaled = static_cast<float>(width) * pixel_ratio;
        float r = std::round(scaled);  // halves away from zero
        if (r >= 1.0f && r < 65536.0f) {
            uint32_t d = static_cast<uint32_t>(r);
            display_width = (d & 1) ? d + 1 : d;
        } else if (!(r >= 1.0f)) {
            printf("WARNING : Video Track width_display <= 0 pour le pixel ratio : %f\n", pixel_ratio);
        }
        // A display width past 16 bits cannot be stored: keep the stored width.
    }
    children.push_back(std::make_unique<TKHD_Writer>(creation_time, frame_count, frame_rate, 1, width, height, false));
    children.push_back(std::make_unique<TAPT_Writer>(width, height, static_cast<uint16_t>(display_width)));
    children.push_back(std::make_unique<LOAD_Writer>());
    children.push_back(std::make_unique<EDTS_Writer>(frame_count, frame_rate));
    if (timecode_track_id >= 2) children.push_back(std::make_unique<TREF_Writer>(timecode_track_id));
    children.push_back(std::make_unique<MDIA_Video_Writer>(creation_time, width, height, depth, format, frame_count,
                                                           frame_rate, offsets, sizes, display_width, extensions));
}

TRAK_TC_Writer::TRAK_TC_Writer(uint32_t track_id, uint32_t creation_time, uint32_t frame_count, ZRational frame_rate,
                               uint64_t timecode_offset, bool drop_frame)
    : Atom_Container("trak") {
    children.push_back(std::make_unique<TKHD_TC_Writer>(creation_time, frame_count, frame_rate, track_id));
    children.push_back(std::make_unique<EDTS_Writer>(frame_count, frame_rate));
    children.push_back(
        std::make_unique<MDIA_TC_Writer>(creation_time, frame_count, frame_rate, timecode_offset, drop_frame));
}

TRAK_Audio_Writer::TRAK_Audio_Writer(uint32_t track_id, uint32_t creation_time, uint32_t frame_count,
                                     ZRational frame_rate, uint16_t bits, uint32_t frequency, uint32_t sample_count,
                                     uint32_t channels, const std::vector<uint64_t> &offsets, int32_t timecode_track_id,
                                     bool is_float, uint32_t layout)
    : Atom_Container("trak") {
    // Track header and edit list use the video duration in the movie time scale.
    children.push_back(std::make_unique<TKHD_Audio_Writer>(creation_time, frame_count, frame_rate, track_id));
    children.push_back(std::make_unique<EDTS_Writer>(frame_count, frame_rate));
    if (timecode_track_id >= 2) children.push_back(std::make_unique<TREF_Writer>(timecode_track_id));
    children.push_back(std::make_unique<MDIA_Audio_Writer>(creation_time, bits, frequency, sample_count, channels,
                                                           offsets, is_float, layout));
}

void UDTA_Writer::add_atom(std::unique_ptr<Atom_Writer> atom) { children.push_back(std::move(atom)); }

ZelqaUDTA_Writer::ZelqaUDTA_Writer(const MovUdtaMetadata &m) : Atom_Writer("ZELQ") {
    if (m.version != 1) {
        printf("WARNING : Invalid Zel metadata version : %u\n", m.version);
        throw_process_error("Invalid metadata version");
    }
    if (m.alpha_mode >= 3) throw_process_error("Invalid alpha mode");
    uint8_t crop_flag = 0;
    if (m.have_crop_box) {
        if (m.display_width != 0 && m.display_height != 0)
            crop_flag = 1;
        else
            printf("WARNING crop box set, but invalid display : %u x %u\n", m.display_width, m.display_height);
    }
    // The only little-endian payload of the file.
    auto le32 = [this](uint32_t v) {
        for (int s = 0; s < 32; s += 8) put8(v >> s);
    };
    put8(1);
    put8(0);
    put8(m.alpha_mode);
    put8(crop_flag);
    if (m.have_crop_box) {
        le32(m.display_width);
        le32(m.display_height);
        le32(m.crop_x);
        le32(m.crop_y);
    } else {
        put_zeros(16);
    }
}

ZelqaAlphaUDTA_Writer::ZelqaAlphaUDTA_Writer(const MovUdtaMetadata &m) : Atom_Writer("ZELA") {
    const char *text = "unknown";
    if (m.is_set == 1 && m.alpha_mode == 1)
        text = "premultiply_black";
    else if (m.is_set == 1 && m.alpha_mode == 2)
        text = "straight";
    else
        printf("Unset/unknown alpha mode for ZELA metadata\n");
    put_bytes(text, std::strlen(text) + 1);
}

AdobeAlfaUDTA_Writer::AdobeAlfaUDTA_Writer(const MovUdtaMetadata &m) : Atom_Writer("ALFA") {
    if (m.is_set != 1 || (m.alpha_mode != 1 && m.alpha_mode != 2)) {
        printf("Invalid ALFA mode\n");
        throw_process_error("Invalid ALFA arguments");
    }
    static const uint8_t kHead[5] = {0x00, 0x01, 0x00, 0x00, 0x00};
    static const uint8_t kPremultiplied[5] = {0x01, 0x00, 0x00, 0x00, 0x01};
    static const uint8_t kStraight[5] = {0, 0, 0, 0, 0};
    put_bytes(kHead, 5);
    put_bytes(m.alpha_mode == 1 ? kPremultiplied : kStraight, 5);
}

MDAT_TC_Writer::MDAT_TC_Writer(uint32_t start_frame) : Atom_Writer("mdat") { put32(start_frame); }

bool is_timecode_fps_supported(ZRational r) {
    if (r.den == 1 && r.num < 256) return true;
    if (r.den == 1001 && (r.num == 60000 || r.num == 30000 || r.num == 24000)) return true;
    printf("Warning unsupported fps (%d/%d), for tc\n", static_cast<int>(r.num), static_cast<int>(r.den));
    return false;
}

ZRational mov_movie_frame_rate(ZRational rate, uint32_t frame_count) {
    const uint32_t n = rate.num, d = rate.den;
    if (n == 0 || d == 0) {
        printf("ERROR src fps invalid : %u/%u. Fps overwrite by 25/1\n", n, d);
        return {25, 1};
    }
    if (n % d == 0) return {n / d, 1};
    if (static_cast<uint64_t>(frame_count) * d <= 0xFFFFFFFFu) return rate;

    const double t = static_cast<double>(n) / static_cast<double>(d);
    struct Step {
        double scale;
        uint32_t den;
        uint64_t max_frames;  // frame_count x den must stay in 32 bits
        const char *fmt;
    };
    static const Step kSteps[] = {
        {1000.0, 1000, 4294967, "ERROR src fps invalid : %u/%u. Fps round 1000 : %u/%u \n"},
        {100.0, 100, 42949672, "ERROR src fps invalid : %u/%u. Fps round 100 : %u/%u \n"},
        {10.0, 10, 429496729, "ERROR src fps invalid : %u/%u. Fps round 10 : %u/%u \n"},
        {1.0, 1, 0xFFFFFFFFull, "ERROR src fps invalid : %u/%u. Fps round 1 : %u/%u \n"},
    };
    for (const Step &s : kSteps) {
        if (frame_count > s.max_frames) continue;
        double r = std::round(t * s.scale);
        // A numerator past 32 bits cannot be stored: try a coarser step.
        if (r < 1.0 || r > 4294967295.0) continue;
        uint32_t ri = static_cast<uint32_t>(r);
        printf(s.fmt, n, d, ri, s.den);
        return {ri, s.den};
    }
    printf("ERROR src fps invalid : %u/%u. Fps overwrite by 25/1\n", n, d);
    return {25, 1};
}

Moov_Video_Writer::Moov_Video_Writer(ZRational frame_rate, uint32_t creation_time, uint16_t width, uint16_t height,
                                     uint8_t depth, float pixel_ratio, const char format[4], uint32_t frame_count,
                                     const std::vector<uint64_t> &offsets, const std::vector<uint32_t> &sizes,
                                     bool have_timecode, uint32_t /*timecode_start: carried by the tc mdat*/,
                                     bool drop_frame, uint64_t timecode_offset, uint32_t nb_audio_tracks,
                                     const std::vector<Atom_Writer> &extensions)
    : Atom_Writer("moov"),
      nb_audio_declared_(nb_audio_tracks),
      creation_time_(creation_time),
      frame_count_(frame_count),
      width_(width),
      height_(height),
      depth_(depth) {
    rate_ = mov_movie_frame_rate(frame_rate, frame_count);
    track_count_ = nb_audio_tracks + 1;
    if (have_timecode && is_timecode_fps_supported(rate_)) {
        track_count_++;
        timecode_track_id_ = static_cast<int32_t>(track_count_);
        tc_trak_ = std::make_unique<TRAK_TC_Writer>(track_count_, creation_time, frame_count, rate_, timecode_offset,
                                                    drop_frame);
    }
    mvhd_ = std::make_unique<MVHD_Writer>(creation_time, frame_count, rate_, track_count_);
    video_trak_ =
        std::make_unique<TRAK_Video_Writer>(creation_time, width, height, depth, format, pixel_ratio, frame_count,
                                            rate_, offsets, sizes, timecode_track_id_, extensions);
    udta_ = std::make_unique<UDTA_Writer>();
}

void Moov_Video_Writer::add_audio_track(uint16_t bits, uint32_t frequency, uint32_t sample_count, uint32_t channels,
                                        const std::vector<uint64_t> &offsets, bool is_float, uint32_t layout) {
    if (nb_audio_added_ >= nb_audio_declared_) throw_process_error("Not enough audio track set at start");
    audio_traks_.push_back(std::make_unique<TRAK_Audio_Writer>(nb_audio_added_ + 2, creation_time_, frame_count_, rate_,
                                                               bits, frequency, sample_count, channels, offsets,
                                                               timecode_track_id_, is_float, layout));
    nb_audio_added_++;
}

void Moov_Video_Writer::add_udta_metadata(const MovUdtaMetadata &m, bool allow_alfa) {
    if (m.is_set != 1) return;
    const char *invalid = nullptr;
    if (m.version != 1)
        invalid = "Invalid version";
    else if (m.alpha_mode > 2)
        invalid = "Invalid alpha mode";
    else if (m.have_crop_box == 1 && (m.display_width == 0 || m.display_height == 0 ||
                                      static_cast<uint64_t>(width_) + m.crop_x > m.display_width ||
                                      static_cast<uint64_t>(height_) + m.crop_y > m.display_height))
        invalid = "Invalid crop box";
    if (invalid) {
        printf("%s\nCan't write ALFA and ZELQ metadata (invalid values)\n", invalid);
        return;
    }
    try {
        udta_->add_atom(std::make_unique<ZelqaUDTA_Writer>(m));
    } catch (const std::exception &) { printf("Fail to create ZELQ Metadata"); }
    const bool known_alpha = depth_ == 32 && (m.alpha_mode == 1 || m.alpha_mode == 2);
    if (allow_alfa && known_alpha) {
        try {
            udta_->add_atom(std::make_unique<AdobeAlfaUDTA_Writer>(m));
        } catch (const std::exception &) { printf("Fail to create ALFA Metadata"); }
    }
    if (known_alpha) {
        try {
            udta_->add_atom(std::make_unique<ZelqaAlphaUDTA_Writer>(m));
        } catch (const std::exception &) { printf("Fail to create ALFA Metadata"); }
    }
}

uint64_t Moov_Video_Writer::get_atom_size(bool *is64) const {
    if (nb_audio_added_ != nb_audio_declared_) throw_process_error("Not enough audio track created");
    uint64_t n = mvhd_->get_atom_size(nullptr) + video_trak_->get_atom_size(nullptr);
    for (const auto &a : audio_traks_) n += a->get_atom_size(nullptr);
    if (tc_trak_) n += tc_trak_->get_atom_size(nullptr);
    if (!udta_->empty()) n += udta_->get_atom_size(nullptr);
    return mov_atom_size_for_content(n, is64);
}

uint64_t Moov_Video_Writer::write_atom(uint8_t *buffer) const {
    uint64_t pos = write_header(buffer);
    pos += mvhd_->write_atom(buffer + pos);
    pos += video_trak_->write_atom(buffer + pos);
    for (const auto &a : audio_traks_) pos += a->write_atom(buffer + pos);
    if (tc_trak_) pos += tc_trak_->write_atom(buffer + pos);
    if (!udta_->empty()) pos += udta_->write_atom(buffer + pos);
    return pos;
}
