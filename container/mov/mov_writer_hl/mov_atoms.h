#pragma once
// QuickTime atom objects of the MOV writer.
//
// The writer keeps its samples in the file as they arrive and builds the movie
// index only at close: a tree of atom objects is measured with get_atom_size,
// serialised into one buffer with write_atom and written at the end of the file.
// Every integer is big-endian (except the little-endian "ZELQ" payload); fixed
// point values are 16.16 unless said otherwise.
//
// Leaf atoms hold their whole payload once their constructor returns, so a leaf
// can be copied by value as a plain Atom_Writer (the extension list of the video
// sample description relies on it). Containers own their children and serialise
// them in a fixed order, skipping absent optional children.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/video_frame.h"  // ZRational

class Atom_Writer {
public:
    explicit Atom_Writer(const char type[4]);
    virtual ~Atom_Writer() = default;
    Atom_Writer(const Atom_Writer &) = default;
    Atom_Writer &operator=(const Atom_Writer &) = default;

    // Whole size of the atom, header included; is64 tells whether it needs the
    // 16-byte header (its 8-byte form would be 0xFFFFFFFF bytes or more).
    virtual uint64_t get_atom_size(bool *is64) const;
    // Writes the complete atom at buffer (at least get_atom_size bytes, not
    // checked) and returns the number of bytes written.
    virtual uint64_t write_atom(uint8_t *buffer) const;
    // Writes the 8- or 16-byte header from the object's own size; returns its length.
    uint64_t write_header(uint8_t *buffer) const;

    char type[4];
    std::vector<uint8_t> payload;

protected:
    void put8(uint32_t v) { payload.push_back(static_cast<uint8_t>(v)); }
    void put16(uint32_t v);
    void put32(uint32_t v);
    void put64(uint64_t v);
    void put_fourcc(const char *cc) { payload.insert(payload.end(), cc, cc + 4); }
    void put_fixed(uint32_t v) {
        put16(v);
        put16(0);
    }  // 16.16 from a 16-bit integer
    void put_zeros(size_t n) { payload.insert(payload.end(), n, 0); }
    void put_bytes(const void *p, size_t n);
    // Appends a complete atom (header and payload) to this payload.
    void put_atom(const Atom_Writer &atom);
};

// A container: children serialised in order, null entries skipped.
class Atom_Container : public Atom_Writer {
public:
    explicit Atom_Container(const char type[4]) : Atom_Writer(type) {}
    uint64_t get_atom_size(bool *is64) const override;
    uint64_t write_atom(uint8_t *buffer) const override;

protected:
    std::vector<std::unique_ptr<Atom_Writer>> children;
};

// Size of an atom whose content is n bytes: 32-bit form when n + 8 <= 0xFFFFFFFE.
uint64_t mov_atom_size_for_content(uint64_t n, bool *is64);

// ---- Movie, track and media headers ----

class MVHD_Writer : public Atom_Writer {
public:
    MVHD_Writer(uint32_t creation_time, uint32_t frame_count, ZRational frame_rate, uint32_t track_count);
};

class TKHD_Writer : public Atom_Writer {
public:
    TKHD_Writer(uint32_t creation_time, uint32_t frame_count, ZRational frame_rate, uint32_t track_id, uint16_t width,
                uint16_t height, bool is_sound);
};
class TKHD_TC_Writer : public TKHD_Writer {
public:
    TKHD_TC_Writer(uint32_t creation_time, uint32_t frame_count, ZRational frame_rate, uint32_t track_id)
        : TKHD_Writer(creation_time, frame_count, frame_rate, track_id, 0, 0, false) {}
};
class TKHD_Audio_Writer : public TKHD_Writer {
public:
    TKHD_Audio_Writer(uint32_t creation_time, uint32_t frame_count, ZRational frame_rate, uint32_t track_id)
        : TKHD_Writer(creation_time, frame_count, frame_rate, track_id, 0, 0, true) {}
};

class CLEF_Writer : public Atom_Writer {
public:
    CLEF_Writer(uint16_t width, uint16_t height);
};
class PROF_Writer : public Atom_Writer {
public:
    PROF_Writer(uint16_t width, uint16_t height);
};
class ENOF_Writer : public Atom_Writer {
public:
    ENOF_Writer(uint16_t width, uint16_t height);
};
class TAPT_Writer : public Atom_Container {
public:
    TAPT_Writer(uint16_t stored_width, uint16_t height, uint16_t display_width);
};

class LOAD_Writer : public Atom_Writer {
public:
    LOAD_Writer();
};

class EDTS_Writer : public Atom_Writer {
public:
    EDTS_Writer(uint32_t frame_count, ZRational frame_rate);
};

class TREF_TC_Entry_Writer : public Atom_Writer {
public:
    explicit TREF_TC_Entry_Writer(int32_t track_id);
};
class TREF_Writer : public Atom_Container {
public:
    explicit TREF_Writer(int32_t track_id);
};

class MDHD_Writer : public Atom_Writer {
public:
    MDHD_Writer(uint32_t creation_time, uint32_t frame_count, ZRational frame_rate);
};
class MDHD_Audio_Writer : public Atom_Writer {
public:
    MDHD_Audio_Writer(uint32_t creation_time, uint32_t sample_count, uint32_t frequency);
};

class HDLR_Video_Writer : public Atom_Writer {
public:
    HDLR_Video_Writer();
};
class HDLR_Audio_Writer : public Atom_Writer {
public:
    HDLR_Audio_Writer();
};
class HDLR_TC_Writer : public Atom_Writer {
public:
    HDLR_TC_Writer();
};
class HDLR_Media_Writer : public Atom_Writer {
public:
    HDLR_Media_Writer();
};

class VMHD_Writer : public Atom_Writer {
public:
    VMHD_Writer();
};
class SMHD_Writer : public Atom_Writer {
public:
    SMHD_Writer();
};
class GMHD_Writer : public Atom_Writer {
public:
    GMHD_Writer();
};
class DINF_Writer : public Atom_Writer {
public:
    DINF_Writer();
};

// ---- Sample descriptions and their extension atoms ----

class SampleDescription_Video : public Atom_Writer {
public:
    SampleDescription_Video(uint16_t width, uint16_t height, uint8_t depth, const char format[4],
                            const std::vector<Atom_Writer> &extensions);
};

class SampleDescription_Audio : public Atom_Writer {
public:
    SampleDescription_Audio(uint16_t bits, uint32_t frequency, uint16_t channels, bool is_float, uint32_t layout);
};

class SampleDescription_Timecode : public Atom_Writer {
public:
    SampleDescription_Timecode(ZRational frame_rate, bool drop_frame);
};

class FIEL_Writer : public Atom_Writer {
public:
    explicit FIEL_Writer(uint32_t field_mode);
};
class COLR_NCLC_Writer : public Atom_Writer {
public:
    explicit COLR_NCLC_Writer(uint32_t colour_mode);
};
class GAMA_Writer : public Atom_Writer {
public:
    GAMA_Writer(uint16_t integer_part, uint16_t fraction);
};
class PASP_Writer : public Atom_Writer {
public:
    PASP_Writer(uint32_t h_spacing, uint32_t v_spacing);
};

// ---- Sample tables ----

class STSD_Writer : public Atom_Writer {
public:
    explicit STSD_Writer(const Atom_Writer &description);
};

enum { STTS_TRACK_VIDEO = 0, STTS_TRACK_TIMECODE = 1 };

class STTS_Writer : public Atom_Writer {
public:
    STTS_Writer(uint32_t frame_count, ZRational frame_rate, uint32_t track_kind);
};
class STTS_Audio_Writer : public Atom_Writer {
public:
    explicit STTS_Audio_Writer(uint32_t sample_count);
};
class STSC_Writer : public Atom_Writer {
public:
    STSC_Writer();
};
class STSC_Audio_Writer : public Atom_Writer {
public:
    STSC_Audio_Writer(uint32_t sample_count, uint32_t frequency);
};
class STSZ_Writer : public Atom_Writer {
public:
    explicit STSZ_Writer(const std::vector<uint32_t> &sizes);
};
class STSZ_Audio_Writer : public Atom_Writer {
public:
    STSZ_Audio_Writer(uint32_t sample_count, uint16_t bits, uint32_t channels);
};
// "stco", or "co64" when the last offset does not fit in 32 bits.
class CO_Writer : public Atom_Writer {
public:
    explicit CO_Writer(const std::vector<uint64_t> &offsets);
};
class SDTP_Writer : public Atom_Writer {
public:
    explicit SDTP_Writer(uint32_t sample_count);
};

class STBL_Video_Writer : public Atom_Container {
public:
    STBL_Video_Writer(uint16_t width, uint16_t height, uint8_t depth, const char format[4], uint32_t frame_count,
                      ZRational frame_rate, const std::vector<uint64_t> &offsets, const std::vector<uint32_t> &sizes,
                      uint32_t display_width, std::vector<Atom_Writer> extensions);
};
class STBL_TC_Writer : public Atom_Container {
public:
    STBL_TC_Writer(uint32_t frame_count, ZRational frame_rate, uint64_t timecode_offset, bool drop_frame);
};
class STBL_Audio_Writer : public Atom_Container {
public:
    STBL_Audio_Writer(uint16_t bits, uint32_t frequency, uint32_t sample_count, uint32_t channels,
                      const std::vector<uint64_t> &offsets, bool is_float, uint32_t layout);
};

class MINF_Video_Writer : public Atom_Container {
public:
    MINF_Video_Writer(uint16_t width, uint16_t height, uint8_t depth, const char format[4], uint32_t frame_count,
                      ZRational frame_rate, const std::vector<uint64_t> &offsets, const std::vector<uint32_t> &sizes,
                      uint32_t display_width, const std::vector<Atom_Writer> &extensions);
};
class MINF_TC_Writer : public Atom_Container {
public:
    MINF_TC_Writer(uint32_t frame_count, ZRational frame_rate, uint64_t timecode_offset, bool drop_frame);
};
class MINF_Audio_Writer : public Atom_Container {
public:
    MINF_Audio_Writer(uint16_t bits, uint32_t frequency, uint32_t sample_count, uint32_t channels,
                      const std::vector<uint64_t> &offsets, bool is_float, uint32_t layout);
};

class MDIA_Video_Writer : public Atom_Container {
public:
    MDIA_Video_Writer(uint32_t creation_time, uint16_t width, uint16_t height, uint8_t depth, const char format[4],
                      uint32_t frame_count, ZRational frame_rate, const std::vector<uint64_t> &offsets,
                      const std::vector<uint32_t> &sizes, uint32_t display_width,
                      const std::vector<Atom_Writer> &extensions);
};
class MDIA_TC_Writer : public Atom_Container {
public:
    MDIA_TC_Writer(uint32_t creation_time, uint32_t frame_count, ZRational frame_rate, uint64_t timecode_offset,
                   bool drop_frame);
};
class MDIA_Audio_Writer : public Atom_Container {
public:
    MDIA_Audio_Writer(uint32_t creation_time, uint16_t bits, uint32_t frequency, uint32_t sample_count,
                      uint32_t channels, const std::vector<uint64_t> &offsets, bool is_float, uint32_t layout);
};

class TRAK_Video_Writer : public Atom_Container {
public:
    TRAK_Video_Writer(uint32_t creation_time, uint16_t width, uint16_t height, uint8_t depth, const char format[4],
                      float pixel_ratio, uint32_t frame_count, ZRational frame_rate,
                      const std::vector<uint64_t> &offsets, const std::vector<uint32_t> &sizes,
                      int32_t timecode_track_id, const std::vector<Atom_Writer> &extensions);
};
class TRAK_TC_Writer : public Atom_Container {
public:
    TRAK_TC_Writer(uint32_t track_id, uint32_t creation_time, uint32_t frame_count, ZRational frame_rate,
                   uint64_t timecode_offset, bool drop_frame);
};
class TRAK_Audio_Writer : public Atom_Container {
public:
    TRAK_Audio_Writer(uint32_t track_id, uint32_t creation_time, uint32_t frame_count, ZRational frame_rate,
                      uint16_t bits, uint32_t frequency, uint32_t sample_count, uint32_t channels,
                      const std::vector<uint64_t> &offsets, int32_t timecode_track_id, bool is_float, uint32_t layout);
};

// ---- User data ----

struct MovUdtaMetadata {
    uint8_t is_set = 0;         // 1: write the metadata atoms
    uint16_t version = 1;       // must be 1
    uint8_t alpha_mode = 0;     // 0 unset, 1 premultiplied on black, 2 straight
    uint8_t have_crop_box = 0;  // 1: the crop box below is valid
    uint32_t display_width = 0;
    uint32_t display_height = 0;
    uint32_t crop_x = 0;
    uint32_t crop_y = 0;
};

class UDTA_Writer : public Atom_Container {
public:
    UDTA_Writer() : Atom_Container("udta") {}
    // Takes ownership.
    void add_atom(std::unique_ptr<Atom_Writer> atom);
    bool empty() const { return children.empty(); }
};

class ZelqaUDTA_Writer : public Atom_Writer {
public:
    explicit ZelqaUDTA_Writer(const MovUdtaMetadata &metadata);
};
class ZelqaAlphaUDTA_Writer : public Atom_Writer {
public:
    explicit ZelqaAlphaUDTA_Writer(const MovUdtaMetadata &metadata);
};
class AdobeAlfaUDTA_Writer : public Atom_Writer {
public:
    explicit AdobeAlfaUDTA_Writer(const MovUdtaMetadata &metadata);
};

// The 12-byte "mdat" holding the timecode sample (the first frame's timecode as a frame count).
class MDAT_TC_Writer : public Atom_Writer {
public:
    explicit MDAT_TC_Writer(uint32_t start_frame);
};

// ---- Movie ----

// Rates a timecode track can carry: n/1 with n < 256, 60000/1001, 30000/1001, 24000/1001.
bool is_timecode_fps_supported(ZRational rate);

class Moov_Video_Writer : public Atom_Writer {
public:
    Moov_Video_Writer(ZRational frame_rate, uint32_t creation_time, uint16_t width, uint16_t height, uint8_t depth,
                      float pixel_ratio, const char format[4], uint32_t frame_count,
                      const std::vector<uint64_t> &offsets, const std::vector<uint32_t> &sizes, bool have_timecode,
                      uint32_t timecode_start, bool drop_frame, uint64_t timecode_offset, uint32_t nb_audio_tracks,
                      const std::vector<Atom_Writer> &extensions);

    void add_audio_track(uint16_t bits, uint32_t frequency, uint32_t sample_count, uint32_t channels,
                         const std::vector<uint64_t> &offsets, bool is_float, uint32_t layout);
    // Validates the metadata and adds its atoms to the udta; never throws for bad metadata.
    void add_udta_metadata(const MovUdtaMetadata &metadata, bool allow_alfa);

    uint64_t get_atom_size(bool *is64) const override;
    uint64_t write_atom(uint8_t *buffer) const override;

    ZRational rate() const { return rate_; }
    int32_t timecode_track_id() const { return timecode_track_id_; }
    uint32_t track_count() const { return track_count_; }

private:
    uint32_t nb_audio_declared_ = 0;
    uint32_t nb_audio_added_ = 0;
    uint32_t track_count_ = 0;
    int32_t timecode_track_id_ = -1;
    uint32_t creation_time_ = 0;
    ZRational rate_{25, 1};
    uint32_t frame_count_ = 0;
    uint16_t width_ = 0;
    uint16_t height_ = 0;
    uint8_t depth_ = 0;

    std::unique_ptr<MVHD_Writer> mvhd_;
    std::unique_ptr<TRAK_Video_Writer> video_trak_;
    std::vector<std::unique_ptr<TRAK_Audio_Writer>> audio_traks_;
    std::unique_ptr<TRAK_TC_Writer> tc_trak_;
    std::unique_ptr<UDTA_Writer> udta_;
};

// The movie's frame-rate rule: 25/1 for a zero term, n/d reduced to (n/d)/1 when d
// divides n, otherwise rounded to thousandths, hundredths, tenths or units when
// frame_count x d does not fit in 32 bits (prints the rule's line when it changes the rate).
ZRational mov_movie_frame_rate(ZRational rate, uint32_t frame_count);
