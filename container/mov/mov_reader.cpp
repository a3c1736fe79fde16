// MOV reader: the record, open and close, the walk over the file and the atom tree,
// the timecode track, user data and the sample-table helpers shared by the tracks.
#include "container/mov/mov_reader.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "container/mov/mov_reader_internal.h"
#include "platform/core/errors.h"
#include "platform/core/file_io.h"

using namespace movr;

void mov_reader_init(MovReader *r) {
    r->path = nullptr;
    r->flags = 0;
    r->max_vfr_to_cfr_fps = ZRational{60, 1};
    r->file = nullptr;
    r->file_size = 0;
    r->audio_mutex = nullptr;
    r->nb_video_tracks = 0;
    r->nb_audio_tracks = 0;
    r->video_codec_supported = false;
    r->is_vfr = false;
    r->vfr_dropped_frames = 0;
    r->vfr_duplicated_frames = 0;
    r->width = r->height = 0;
    r->fps = 25.0;
    r->fps_rational = ZRational{25, 1};
    r->nb_frames = 0;
    r->codec = 0;
    r->codec_variant = 0;
    r->depth = 0;
    r->pixel_aspect = ZRational{1, 1};
    r->have_color_range = r->is_full_range = false;
    r->color_matrix = 2;
    r->have_field_info = false;
    r->field_count = 1;
    r->field_detail = 0;
    r->have_timecode = false;
    r->tc_start_frame = 0;
    r->tc_flags = 0;
    r->alfa_alpha_mode = 0;
    r->meta_set = false;
    r->meta_version = 0;
    r->meta_alpha_mode = 0;
    r->meta_have_crop = 0;
    r->meta_display_w = r->meta_display_h = r->meta_crop_x = r->meta_crop_y = 0;
    r->seek_table = nullptr;
    r->warning_flags = 0;
    r->audio_tracks = nullptr;
}

void mov_reader_close_file(MovReader *r) {
    if (r && r->file) {
        fclose(r->file);
        r->file = nullptr;
    }
}

void mov_reader_free_tables(MovReader *r) {
    if (!r) return;
    free(r->seek_table);
    r->seek_table = nullptr;
    free(r->path);
    r->path = nullptr;
    if (r->audio_tracks) {
        for (uint32_t i = 0; i < r->nb_audio_tracks; i++) {
            free(r->audio_tracks[i].channel_labels);
            free(r->audio_tracks[i].chunks);
        }
        free(r->audio_tracks);
        r->audio_tracks = nullptr;
    }
    // A count left behind would let a later loop walk the freed array.
    r->nb_audio_tracks = 0;
    delete r->audio_mutex;
    r->audio_mutex = nullptr;
}

void mov_reader_close(MovReader *r) {
    mov_reader_close_file(r);
    mov_reader_free_tables(r);
}

bool mov_fiel_is_progressive(const MovReader *r) { return r->have_field_info && r->field_count == 1; }

bool mov_fiel_is_top_field_first(const MovReader *r) {
    return r->have_field_info && r->field_count == 2 && (r->field_detail == 1 || r->field_detail == 9);
}

static bool read_exact(FILE *f, void *dst, size_t n) { return fread(dst, 1, n, f) == n; }

int mov_atom_read_header(MovAtomHeader *h, FILE *f, uint64_t available) {
    if (available < 8) {
        printf("Not enough data for atom parse : %" PRIu64 "\n", available);
        return 1;
    }
    uint8_t b[8];
    if (!read_exact(f, b, 4)) {
        printf("Error reading header size : Can't read value (end of file ?)\n");
        return 1;
    }
    if (!read_exact(f, b + 4, 4)) {
        printf("Error reading header size : Can't read value (end of file ?\n");
        return 1;
    }
    uint64_t size = load_be32(b);
    std::memcpy(h->type, b + 4, 4);
    uint64_t payload;
    if (size == 0) {
        size = available;
        payload = available - 8;
    } else if (size == 1) {
        if (available < 16) {
            printf("Not enough data for extended parse atom : %" PRIu64 "\n", available);
            return 1;
        }
        uint8_t e[8];
        if (!read_exact(f, e, 8)) {
            printf("Error reading header size : Can't read value (end of file ?\n");
            return 1;
        }
        size = load_be64(e);
        if (size <= 16) {
            printf("Invalid 64bits size : %" PRIu64 "\n", size);
            return 1;
        }
        payload = size - 16;
    } else if (size < 8) {
        printf("Invalid size atom : %" PRIu64 "\n", size);
        return 1;
    } else {
        payload = size - 8;
    }
    if (size > available) {
        printf("Invalid data size and header\n");
        return 1;
    }
    off_t pos = ftello(f);
    if (pos < 0) {
        printf("Error reading offset : %s\n", strerror(errno));
        return 1;
    }
    h->size = size;
    h->payload_offset = uint64_t(pos);
    h->payload_size = payload;
    return 0;
}

int mov_atom_parse_header(MovAtomHeader *h, const uint8_t *buf, uint64_t offset, uint64_t remaining) {
    if (remaining < 8) {
        printf("Invalid size for atom parse\n");
        return 1;
    }
    const uint8_t *p = buf + offset;
    uint64_t size = load_be32(p);
    std::memcpy(h->type, p + 4, 4);
    if (load_be32(p + 4) == 0) return 1;
    if (size == 1) {
        if (remaining < 16) {
            printf("Not enough data for extended parse atom : %" PRIu64 "\n", remaining);
            return 1;
        }
        size = load_be64(p + 8);
        if (size < 16) return 1;
        if (size > remaining) {
            printf("Invalid data size and header\n");
            return 1;
        }
        h->size = size;
        h->payload_offset = offset + 16;
        h->payload_size = size - 16;
        return 0;
    }
    if (size == 0) {
        h->size = remaining;
        h->payload_offset = offset + 8;
        h->payload_size = remaining - 8;
        return 0;
    }
    if (size < 8) return 1;
    if (size > remaining) {
        printf("Err : Atom classic Invalid data size and header : Data len : %llu ; Max size : %llu\n",
               (unsigned long long)(size - 8), (unsigned long long)remaining);
        return 1;
    }
    h->size = size;
    h->payload_offset = offset + 8;
    h->payload_size = size - 8;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Sample-table helpers

MovChunkOffsets mov_parse_chunk_offsets(const uint8_t *moov, const MovAtomLocation &loc, uint32_t width) {
    if (loc.size < 8) throw_process_error("Stco atom size invalid");
    const uint8_t *p = moov + loc.offset;
    uint32_t count = load_be32(p + 4);
    if (count == 0) throw_process_error("Stco atom entries 0");
    if (width != 4 && width != 8) throw_process_error("Chunk Offset table, size offset invalid");
    if (uint64_t(loc.size) < uint64_t(count) * width + 8) throw_process_error("Stco atom invalid size entries");
    MovChunkOffsets out;
    out.offsets = static_cast<uint64_t *>(malloc(sizeof(uint64_t) * count));
    if (!out.offsets) throw_process_error("Memory error offset table");
    out.count = count;
    for (uint32_t i = 0; i < count; i++)
        out.offsets[i] = width == 4 ? load_be32(p + 8 + 4 * uint64_t(i)) : load_be64(p + 8 + 8 * uint64_t(i));
    return out;
}

uint32_t *mov_expand_sample_to_chunk(const uint8_t *moov, const MovAtomLocation &loc, uint32_t chunk_count) {
    if (loc.size < 8) throw_process_error("Stsc atom size innvalid");
    const uint8_t *p = moov + loc.offset;
    uint32_t count = load_be32(p + 4);
    if (count == 0) throw_process_error("Stsc atom entries 0");
    if (uint64_t(loc.size) < uint64_t(count) * 12 + 8) throw_process_error("Stsc atom invalid size entries");
    uint32_t *table = static_cast<uint32_t *>(calloc(chunk_count ? chunk_count : 1, sizeof(uint32_t)));
    if (!table) throw_process_error("Not enough memory for stsc table");
    uint64_t pos = 0;
    try {
        for (uint32_t j = 0; j < count; j++) {
            const uint8_t *e = p + 8 + 12 * uint64_t(j);
            uint32_t first = load_be32(e);
            uint32_t spc = load_be32(e + 4);
            if (first == 0) throw_process_error("Invalid First chunk index (zero)");
            uint64_t end;
            if (j + 1 < count) {
                uint32_t next = load_be32(e + 12);
                if (next == 0) throw_process_error("Invalid Next First chunk index (zero)");
                end = uint64_t(next) - 1;
            } else {
                end = chunk_count;
            }
            if (uint64_t(first) - 1 < end) {
                uint64_t n = end - first + 1;
                if (pos + n > chunk_count) throw_process_error("Outside array index");
                for (uint64_t k = 0; k < n; k++) table[pos++] = spc;
            }
        }
        if (pos != chunk_count) throw_process_error("Stsc error");
    } catch (...) {
        free(table);
        throw;
    }
    return table;
}

// ---------------------------------------------------------------------------------------
// Atom tree

namespace {

// Calls fn(header) for each child of a container in the moov buffer; stops when a
// header fails (fn_fail is called) or fn returns false.
template <typename Fn, typename Fail>
void walk_children(const uint8_t *buf, uint64_t offset, uint64_t remaining, uint64_t min_left, Fn fn, Fail fail) {
    while (remaining >= min_left) {
        MovAtomHeader h;
        if (mov_atom_parse_header(&h, buf, offset, remaining)) {
            fail();
            return;
        }
        if (!fn(h)) return;
        offset = h.payload_offset + h.payload_size;
        remaining -= h.size;
    }
}

MovAtomLocation location_of(const MovAtomHeader &h) {
    return MovAtomLocation{h.payload_offset, uint32_t(h.payload_size)};
}

void parse_timecode_track(MovReader *r, const MovTrakAtoms &a, const uint8_t *moov) {
    MovChunkOffsets co;
    try {
        if (a.stsd.size < 12) throw_process_error("Invalid Stsd timecode trak");
        const uint8_t *s = moov + a.stsd.offset;
        uint32_t desc = load_be32(s + 8);
        if (uint64_t(a.stsd.size) < uint64_t(desc) + 8) throw_process_error("Invalid Stsd timecode trak");
        if (desc < 24) throw_process_error("Not enough data in Sample Description timecode");
        r->tc_flags = load_be32(s + 28);
        co = mov_parse_chunk_offsets(moov, a.chunk_offsets, a.chunk_offset_width);
        uint64_t pos = file_tell(r->file);
        uint8_t v[4];
        file_seek_from_start(r->file, co.offsets[0]);
        if (fread(v, 1, 4, r->file) != 4) throw_process_error("Can't read value (end of file ?)");
        r->tc_start_frame = load_be32(v);
        r->have_timecode = true;
        file_seek_from_start(r->file, pos);
    } catch (const std::exception &e) {
        r->have_timecode = false;
        printf("ERROR : Failed to parse tc trak : %s\n", e.what());
    } catch (...) {
        r->have_timecode = false;
        printf("ERROR : Failed to parse tc trak : %s\n", "ERROR : TC track");
    }
    free(co.offsets);
}

void parse_zelq(MovReader *r, const uint8_t *p, uint64_t size) {
    if (size < 20) return;
    try {
        r->meta_version = load_le16(p);
        if (r->meta_version != 1) {
            printf("Invalid zel version : %u\n", r->meta_version);
            throw_process_error("Invalid zel version");
        }
        r->meta_alpha_mode = p[2];
        if (r->meta_alpha_mode >= 3) {
            printf("Invalid zel alpha : %u\n", r->meta_alpha_mode);
            throw_process_error("Invalid zel alpha");
        }
        if (p[3] == 1) {
            r->meta_have_crop = 1;
            r->meta_display_w = load_le32(p + 4);
            r->meta_display_h = load_le32(p + 8);
            r->meta_crop_x = load_le32(p + 12);
            r->meta_crop_y = load_le32(p + 16);
            if (r->meta_display_w == 0 || r->meta_display_h == 0) {
                printf("Invalid zel crop : %u x %u\n", r->meta_display_w, r->meta_display_h);
                throw_process_error("Invalid zel display");
            }
        } else {
            r->meta_have_crop = 0;
            r->meta_display_w = r->meta_display_h = r->meta_crop_x = r->meta_crop_y = 0;
        }
        r->meta_set = true;
    } catch (const ProcessError &) {
        printf("Fail to read Zel Metadata (invalid values), set a s unset\n");
        r->meta_set = false;
    }
}

void parse_zela(MovReader *r, const uint8_t *p, uint64_t size) {
    if (r->meta_set && r->meta_alpha_mode != 0) return;
    if (size >= 8 && std::memcmp(p, "straight", 8) == 0) {
        r->meta_set = true;
        r->meta_alpha_mode = 2;
    } else if (size >= 17 && std::memcmp(p, "premultiply_black", 17) == 0) {
        r->meta_set = true;
        r->meta_alpha_mode = 1;
    }
}

void parse_udta(MovReader *r, const uint8_t *moov, const MovAtomHeader &udta) {
    if (udta.payload_size < 9) return;
    walk_children(
        moov, udta.payload_offset, udta.payload_size, 9,
        [&](const MovAtomHeader &h) {
            const uint8_t *p = moov + h.payload_offset;
            if (type_is(h.type, "ZELQ")) {
                parse_zelq(r, p, h.payload_size);
            } else if (type_is(h.type, "ZELA")) {
                parse_zela(r, p, h.payload_size);
            } else if (type_is(h.type, "ALFA")) {
                if (h.payload_size < 10) {
                    printf("Unknown size for alfa metadata : %llu\n", (unsigned long long)h.payload_size);
                } else {
                    uint32_t v = load_le32(p + 5);
                    if (v == 0 && p[9] == 0)
                        r->alfa_alpha_mode = 3;
                    else if (v == 1 && p[9] == 1)
                        r->alfa_alpha_mode = 2;
                }
            }
            return true;
        },
        [] { printf("Fail to parse UDTA additionnal atoms\n"); });
}

// Returns false when the trak must be dropped (the messages are printed here).
bool gather_trak(MovTrakAtoms &a, const uint8_t *moov, const MovAtomHeader &trak) {
    bool ok = true;
    auto fail = [&](const char *msg) {
        return [&ok, msg] {
            printf("%s\n", msg);
            ok = false;
        };
    };
    walk_children(
        moov, trak.payload_offset, trak.payload_size, 8,
        [&](const MovAtomHeader &h) {
            if (type_is(h.type, "tkhd")) {
                a.tkhd = location_of(h);
            } else if (type_is(h.type, "mdia")) {
                walk_children(
                    moov, h.payload_offset, h.payload_size, 8,
                    [&](const MovAtomHeader &m) {
                        if (type_is(m.type, "mdhd")) {
                            a.mdhd = location_of(m);
                        } else if (type_is(m.type, "hdlr")) {
                            if (m.payload_size < 12) {
                                printf("Invalid MDIA HDLR size\n");
                                ok = false;
                                return false;
                            }
                            std::memcpy(a.handler, moov + m.payload_offset + 8, 4);
                        } else if (type_is(m.type, "minf")) {
                            walk_children(
                                moov, m.payload_offset, m.payload_size, 8,
                                [&](const MovAtomHeader &n) {
                                    if (!type_is(n.type, "stbl")) return true;
                                    walk_children(
                                        moov, n.payload_offset, n.payload_size, 8,
                                        [&](const MovAtomHeader &s) {
                                            if (type_is(s.type, "stsd"))
                                                a.stsd = location_of(s);
                                            else if (type_is(s.type, "stts"))
                                                a.stts = location_of(s);
                                            else if (type_is(s.type, "stsc"))
                                                a.stsc = location_of(s);
                                            else if (type_is(s.type, "stsz"))
                                                a.stsz = location_of(s);
                                            else if (type_is(s.type, "stco")) {
                                                a.chunk_offsets = location_of(s);
                                                a.chunk_offset_width = 4;
                                            } else if (type_is(s.type, "co64")) {
                                                a.chunk_offsets = location_of(s);
                                                a.chunk_offset_width = 8;
                                            }
                                            return true;
                                        },
                                        fail("Fail to parse Stbl childs"));
                                    return ok;
                                },
                                fail("Fail to parse Minf childs"));
                        }
                        return ok;
                    },
                    fail("Fail to parse Mdia childs"));
            }
            return ok;
        },
        fail("Fail to parse trak childs"));
    if (!ok) printf("Erreur parse Trak\n");
    return ok;
}

bool all_present(const MovTrakAtoms &a) {
    return a.mdhd.present() && a.tkhd.present() && a.stts.present() && a.stsd.present() && a.stsz.present() &&
           a.stsc.present() && a.chunk_offsets.present();
}

void parse_trak(MovReader *r, const uint8_t *moov, const MovAtomHeader &trak) {
    MovTrakAtoms a;
    if (!gather_trak(a, moov, trak)) return;
    if (type_is(a.handler, "vide")) {
        if (!all_present(a)) {
            printf("Trak video missing atoms\n");
            return;
        }
        r->nb_video_tracks++;
        if (r->nb_video_tracks > 1) {
            printf("More than 1 video track found. Track ignored\n");
            return;
        }
        try {
            mov_reader_parse_video_track(r, a, moov);
        } catch (...) {
            printf("ERROR : Video track\n");
            throw;
        }
    } else if (type_is(a.handler, "soun")) {
        if (!all_present(a)) {
            printf("Trak audio missing atoms\n");
            return;
        }
        if (r->flags & MOV_FLAG_IGNORE_AUDIO) return;
        auto *grown = static_cast<MovAudioTrack *>(
            realloc(r->audio_tracks, sizeof(MovAudioTrack) * (uint64_t(r->nb_audio_tracks) + 1)));
        if (!grown) {
            printf("ERROR : Fail to add Audio track\n");
            return;
        }
        r->audio_tracks = grown;
        MovAudioTrack *t = &r->audio_tracks[r->nb_audio_tracks++];
        std::memset(t, 0, sizeof(*t));
        try {
            mov_reader_parse_audio_track(r, t, a, moov);
        } catch (const std::exception &e) {
            t->track_flags = 0x04;
            printf("ERROR : Failed to parse audio trak : %s\n", e.what());
        } catch (...) {
            t->track_flags = 0x04;
            printf("ERROR : Failed to parse audio trak : %s\n", "ERROR : Audio track");
        }
    } else if (type_is(a.handler, "tmcd")) {
        if (!all_present(a)) {
            printf("Trak tc missing atoms\n");
            return;
        }
        parse_timecode_track(r, a, moov);
    }
}

}  // namespace

void mov_reader_open(MovReader *r, const MovReaderParams *params) {
    mov_reader_init(r);
    r->flags = params->mov_intra_demuxer_flags;
    r->max_vfr_to_cfr_fps = params->max_vfr_to_cfr_fps;
    if (!params->path) throw_process_error("No input filepath mov demuxer");
    size_t len = strlen(params->path);
    r->path = static_cast<char *>(malloc(len + 1));
    if (!r->path) {
        printf("Fail to alloc str clone : (%zu)\n", len + 1);
        throw_alloc_error();
    }
    std::memcpy(r->path, params->path, len + 1);

    r->file = fopen(r->path, "rb");
    if (!r->file) {
        int e = errno;
        throw_process_errorf("Can't open file : %s. Error : %d. %s", r->path, e, strerror(e));
    }
    r->audio_mutex = new std::mutex;

    file_seek_to_end(r->file);
    try {
        r->file_size = file_tell(r->file);
    } catch (...) {
        rewind(r->file);
        throw;
    }
    if (r->file_size < 12) throw_process_error("Not a mov file (too small)");

    uint8_t tag[4];
    file_seek_from_start(r->file, 4);
    if (fread(tag, 1, 4, r->file) != 4) throw_process_error("Can't read value (end of file ?");
    if (std::memcmp(tag, "ftyp", 4) != 0 && std::memcmp(tag, "mdat", 4) != 0) {
        printf("Error unknown value start file : %u\n", load_le32(tag));
        throw_process_error("Not a mov file");
    }

    MovAtomHeader h;
    file_seek_from_start(r->file, 0);
    if (mov_atom_read_header(&h, r->file, r->file_size)) throw_process_error("Fail to read mov header");
    if (!(type_is(h.type, "mdat") || (type_is(h.type, "ftyp") && h.payload_size >= 4)))
        throw_process_error("Invalid Mov start file");
    while (!type_is(h.type, "moov")) {
        uint64_t next = h.payload_offset + h.payload_size;
        if (next >= r->file_size) {
            // The end of the file comes before any moov.
            mov_atom_read_header(&h, r->file, 0);
            throw_process_error("Fail to parse root atom");
        }
        file_seek_from_start(r->file, next);
        if (mov_atom_read_header(&h, r->file, r->file_size - next)) throw_process_error("Fail to parse root atom");
    }

    if (h.payload_size >= (uint64_t(1) << 32)) throw_process_error("Invalid data len (overflow)");
    std::vector<uint8_t> moov;
    try {
        moov.resize(h.payload_size + 16);  // slack so fixed-width reads of a short atom stay inside
        file_read_at(r->file, moov.data(), h.payload_offset, h.payload_size);
    } catch (const std::exception &e) {
        printf("Errror read buffer from file obj : %s\n", e.what());
        throw;
    }
    walk_children(
        moov.data(), 0, h.payload_size, 8,
        [&](const MovAtomHeader &c) {
            if (type_is(c.type, "trak"))
                parse_trak(r, moov.data(), c);
            else if (type_is(c.type, "udta"))
                parse_udta(r, moov.data(), c);
            return true;
        },
        [] {});
}

// ---------------------------------------------------------------------------------------
// PCM format

AudioSampleFormat mov_reader_get_pcm_format(const MovAudioTrack *t) {
    if (!t || !t->pcm_supported) return AudioSampleFormat_Unsupported;
    static const uint32_t pcm_codes[] = {fourcc("fl32"), fourcc("fl64"), fourcc("in24"), fourcc("in32"),
                                         fourcc("lpcm"), fourcc("raw "), fourcc("twos"), fourcc("sowt")};
    bool known = false;
    for (uint32_t c : pcm_codes) known |= (c == t->codec);
    if (!known) return AudioSampleFormat_Unsupported;
    bool be = (t->pcm_flags & 0x02) != 0;
    uint32_t kind = t->pcm_flags & 0x05;
    switch (t->bits_per_sample) {
    case 8:
        if (kind != 0) {
            printf("Mov Pcm : 8 bits PCM audio unsupported mode");
            return AudioSampleFormat_Unsupported;
        }
        return AudioSampleFormat_U8;
    case 16:
        if (kind != 0x04) {
            printf("Mov Pcm 16 bits PCM audio unsupported mode");
            return AudioSampleFormat_Unsupported;
        }
        return be ? AudioSampleFormat_S16BE : AudioSampleFormat_S16LE;
    case 24:
        if (kind != 0x04) {
            printf("Mov Pcm 24 bits PCM audio unsupported mode");
            return AudioSampleFormat_Unsupported;
        }
        return be ? AudioSampleFormat_S24BE : AudioSampleFormat_S24LE;
    case 32:
        if (kind == 0x01) return be ? AudioSampleFormat_F32BE : AudioSampleFormat_F32LE;
        if (kind == 0x04) return be ? AudioSampleFormat_S32BE : AudioSampleFormat_S32LE;
        printf("Mov Pcm 32 bits PCM audio unsupported mode");
        return AudioSampleFormat_Unsupported;
    case 64:
        if (kind != 0x01) {
            printf("64 bits PCM audio unsupported mode");
            return AudioSampleFormat_Unsupported;
        }
        return be ? AudioSampleFormat_F64BE : AudioSampleFormat_F64LE;
    default: printf("Audio track PCM codec unsupported\n"); return AudioSampleFormat_Unsupported;
    }
}
