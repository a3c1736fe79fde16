// MOV reader: the video track description and its frame index.
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "container/mov/mov_reader.h"
#include "container/mov/mov_reader_internal.h"
#include "platform/core/errors.h"
#include "platform/core/file_io.h"

using namespace movr;

namespace {

const uint32_t kAcceptedCodecs[] = {
    fourcc("Hap1"), fourcc("Hap5"), fourcc("Hap7"), fourcc("HapA"), fourcc("HapM"), fourcc("HapY"), fourcc("apch"),
    fourcc("apcn"), fourcc("apco"), fourcc("apcs"), fourcc("ap4h"), fourcc("ap4x"), fourcc("jpeg"), fourcc("nclc"),
    fourcc("DXD3"), fourcc("AVdn"), fourcc("AVdh"), fourcc("2vuy"), fourcc("v210"),
};

struct SttsEntry {
    uint32_t count, duration;
};

void parse_extensions(MovReader *r, const uint8_t *moov, uint64_t start, uint64_t remaining) {
    const uint32_t avdn = fourcc("AVdn"), avdh = fourcc("AVdh");
    while (remaining >= 8) {
        MovAtomHeader h;
        if (mov_atom_parse_header(&h, moov, start, remaining)) {
            printf("Fail to parse Stsd additionnal atoms\n");
            return;
        }
        const uint8_t *p = moov + h.payload_offset;
        const unsigned long long ps = h.payload_size;
        if (type_is(h.type, "fiel")) {
            if (ps < 2) {
                printf("Warning : Invalid FIELD size : %llu\n", ps);
            } else if (p[0] != 1 && p[0] != 2) {
                printf("Warning : Invalid FIELD data (field count unknown : %d)\n", p[0]);
            } else {
                r->have_field_info = true;
                r->field_count = p[0];
                r->field_detail = p[1];
            }
        } else if (type_is(h.type, "colr")) {
            if (ps < 10) {
                printf("Warning : Invalid COLOR size : %llu\n", ps);
            } else if (std::memcmp(p, "nclc", 4) != 0 && std::memcmp(p, "nclx", 4) != 0) {
                printf("Unknown color type COLOR : %u\n", load_le32(p));
            } else {
                r->color_matrix = uint16_t(p[8] << 8 | p[9]);
                if (std::memcmp(p, "nclx", 4) == 0 && ps > 10) {
                    r->have_color_range = true;
                    r->is_full_range = (p[10] & 0x80) != 0;
                }
            }
        } else if (type_is(h.type, "pasp")) {
            if (ps < 8) {
                printf("Warning : Invalid PASP size : %llu\n", ps);
            } else {
                uint32_t hs = load_be32(p), vs = load_be32(p + 4);
                if (hs == 0 || vs == 0)
                    printf("Warning : Invalid PASP (%u / %u)\n", hs, vs);
                else if (hs == vs)
                    r->pixel_aspect = ZRational{1, 1};
                else
                    r->pixel_aspect = ZRational{hs, vs};
            }
        } else if (type_is(h.type, "ACLR")) {
            if (r->codec != avdn && r->codec != avdh)
                printf("ACLR Atom found but not DnxHD/HR : %u\n", r->codec);
            else if (ps < 12)
                printf("Warning : Invalid ACLR size : %llu\n", ps);
            else if (std::memcmp(p, "ACLR", 4) != 0)
                printf("ACLR unknown code\n");
            else {
                uint32_t v = load_be32(p + 8);
                if (v == 0 || v == 2) {
                    r->have_color_range = true;
                    r->is_full_range = true;
                } else if (v == 1) {
                    r->have_color_range = true;
                    r->is_full_range = false;
                } else {
                    printf("ACLR : Unknown color range : %u\n", v);
                }
            }
        } else if (type_is(h.type, "APRG")) {
            if (r->codec != avdn)
                printf("APRG Atom found but not DnxHD/HR\n");
            else if (ps < 12)
                printf("Warning : Invalid APRG size : %llu\n", ps);
            else if (std::memcmp(p, "APRG", 4) != 0)
                printf("APRG unknown code\n");
            else {
                uint32_t v = load_be32(p + 8);
                if (v == 1) {
                    r->have_field_info = true;
                    r->field_count = 1;
                    r->field_detail = 0;
                } else if (v == 2) {
                    r->have_field_info = true;
                    r->field_count = 2;
                    r->field_detail = 1;
                } else {
                    printf("APRG : Unknown interlaced mode : %u\n", v);
                }
            }
        } else if (type_is(h.type, "ARES")) {
            if (r->codec != avdn)
                printf("ARES Atom found but not DnxHD\n");
            else if (ps < 32)
                printf("Warning : Invalid ARES size : %llu\n", ps);
            else if (std::memcmp(p, "ARES", 4) != 0)
                printf("ARES unknown code\n");
            else {
                uint32_t id = load_be32(p + 8);
                switch (id) {
                case 1237:
                case 1238:
                case 1242:
                case 1243:
                case 1244:
                case 1251:
                case 1252:
                case 1253:
                case 1258:
                case 1259:
                case 1260:
                case 1274: r->codec_variant = 1; break;
                case 1235:
                case 1241:
                case 1250: r->codec_variant = 2; break;
                case 1256: r->codec_variant = 3; break;
                default: printf("Unknown DnxHD Compression id : %u\n", id); r->codec_variant = 0;
                }
            }
        } else if (type_is(h.type, "ADHR")) {
            if (r->codec != avdh)
                printf("ADHR Atom found but not DnxHR\n");
            else if (ps < 24)
                printf("Warning : Invalid ADHR size : %llu\n", ps);
            else {
                if (load_be16(p + 20) != 0) printf("WARNING : ADHR : DnxHR with alpha (alpha unsupported)\n");
                r->codec_variant = 0;
                uint32_t sampling = load_be32(p + 8), code = load_be32(p + 12);
                if (sampling == 0 || sampling == 2) {
                    if (code >= 1 && code <= 3)
                        r->codec_variant = (sampling == 0 ? 3 : 6) + code;
                    else
                        printf("ADHR : Unknown bitdepth 422 : %u\n", code);
                } else if (sampling == 1) {
                    printf("ADHR : Sampling 420\n");
                } else {
                    printf("ADHR : Unknown sub sampling : %u\n", sampling);
                }
            }
        }
        start = h.payload_offset + h.payload_size;
        remaining -= h.size;
    }
}

// Resampling: output frame k takes the source sample whose timestamp is nearest to k / fps.
void resample_to_constant_rate(MovReader *r, const std::vector<double> &ts, const MovSeekEntry *src, uint32_t nb_src) {
    const uint32_t n_ts = uint32_t(std::min<size_t>(ts.size(), nb_src));
    if (r->nb_frames == 0) throw_process_error("Can't find enough frames");
    r->seek_table[0] = src[0];
    const double step = 1.0 / r->fps;
    double t = 0;
    uint32_t s = 0;
    for (uint32_t k = 1; k < r->nb_frames; k++) {
        t += step;
        uint32_t chosen;
        if (s >= n_ts) {
            printf("Warning, invalid sample start : %u ; (Max : %u)\n", s, n_ts);
            chosen = n_ts - 1;
        } else if (s == n_ts - 1 || t == ts[s]) {
            chosen = s;
        } else {
            double best = std::fabs(t - ts[s]);
            chosen = s;
            uint32_t i = s + 1;
            for (;; i++) {
                if (i >= n_ts) {
                    chosen = n_ts - 1;
                    break;
                }
                if (t == ts[i]) {
                    chosen = i;
                    break;
                }
                double d = std::fabs(t - ts[i]);
                if (!(d < best)) {
                    chosen = i - 1;
                    break;
                }
                best = d;
            }
        }
        if (chosen == s)
            r->vfr_duplicated_frames++;
        else if (chosen > s + 1)
            r->vfr_dropped_frames += chosen - s - 1;
        r->seek_table[k] = src[chosen];
        s = chosen;
    }
}

void build_frame_index(MovReader *r, const MovTrakAtoms &a, const uint8_t *moov, const SttsEntry *stts,
                       uint32_t stts_count, uint32_t timescale) {
    free(r->seek_table);
    r->seek_table = nullptr;
    if (r->nb_frames == 0) throw_process_error("Invalid video duration");

    MovChunkOffsets co = mov_parse_chunk_offsets(moov, a.chunk_offsets, a.chunk_offset_width);
    uint32_t *spc = nullptr;
    try {
        if (a.stsz.size < 12) throw_process_error("Stsz atom taille invalid");
        const uint8_t *z = moov + a.stsz.offset;
        const uint32_t const_size = load_be32(z + 4);
        const uint32_t stsz_count = load_be32(z + 8);
        if (stsz_count == 0) throw_process_error("Stsz atom entries 0");
        const uint8_t *sizes = nullptr;
        if (const_size == 0) {
            if (uint64_t(a.stsz.size) < uint64_t(stsz_count) * 4 + 12)
                throw_process_error("Stsz atom invalid size entries");
            sizes = z + 12;
        }
        spc = mov_expand_sample_to_chunk(moov, a.stsc, co.count);

        const bool resample = r->is_vfr && !(r->flags & MOV_FLAG_VFR_KEEP_SAMPLES);
        uint64_t timed = 0;  // samples with a usable time-to-sample entry
        if (resample) {
            for (uint32_t i = 0; i < stts_count; i++) {
                if (stts[i].count == 0 || stts[i].duration == 0) {
                    if (stts[i].count == 0 && stts[i].duration == 0)
                        printf("STTS Entry invalid : Invalid sample count and duration 0\n");
                    else if (stts[i].count == 0)
                        printf("STTS Entry invalid : Invalid sample count 0\n");
                    else
                        printf("STTS Entry invalid : Invalid duration 0\n");
                    r->warning_flags |= MOV_WARNING_INVALID_DURATION;
                    continue;
                }
                timed += stts[i].count;
            }
        }

        // Every sample a consumer can reach gets an entry: when resampling that is every
        // timed sample (the rate cap must not cut the tail), otherwise nb_frames samples.
        const uint64_t limit = resample ? timed : r->nb_frames;
        uint32_t total = stsz_count;
        if (total > limit) {
            printf("WARNING : Too much STSZ entry\n");
            total = uint32_t(limit);
        }
        if (total > MOV_READER_MAX_FRAMES) throw_process_error("Invalid video duration");
        if (!resample && total < r->nb_frames) {
            r->nb_frames = total;
            printf("WARNING : Not enough STSZ entry\n");
        }

        // Entries grow with the samples found, so a header that promises many samples
        // costs nothing until the file really holds them.
        std::vector<MovSeekEntry> found;
        found.reserve(std::min<uint32_t>(total, 1u << 16));
        bool stopped = false;
        for (uint32_t c = 0; c < co.count && found.size() < total && !stopped; c++) {
            // A chunk takes at most the slots left, all of them.
            const uint32_t n = std::min<uint32_t>(spc[c], total - uint32_t(found.size()));
            uint64_t offset = co.offsets[c];
            for (uint32_t k = 0; k < n; k++) {
                const uint32_t index = uint32_t(found.size());
                uint32_t size;
                if (sizes) {
                    if (index >= stsz_count) {
                        printf("Invalid sample count for sample : %llu (Max : %u)\n", (unsigned long long)index,
                               stsz_count);
                        r->warning_flags |= MOV_WARNING_FILE_INCOMPLETE;
                        stopped = true;
                        break;
                    }
                    size = load_be32(sizes + 4 * uint64_t(index));
                    if (size == 0) throw_process_error("Stsz sample zero for frame");
                } else {
                    size = const_size;
                }
                if (offset > r->file_size || size > r->file_size - offset) {
                    if (index == 0) throw_process_error("Invalid offset size");
                    if (sizes)
                        printf(
                            "ERROR : Invalid offset size for sample : %llu (Offset : %llu ; Size : %u ; Filesize : "
                            "%llu)\n",
                            (unsigned long long)index, (unsigned long long)offset, size,
                            (unsigned long long)r->file_size);
                    else
                        printf("ERROR : Invalid offset size for sample : %llu\n", (unsigned long long)index);
                    r->warning_flags |= MOV_WARNING_FILE_INCOMPLETE;
                    // Samples before this one lie wholly inside the file and stay.
                    stopped = true;
                    break;
                }
                found.push_back(MovSeekEntry{offset, size});
                offset += size;
            }
        }

        const uint32_t filled = uint32_t(found.size());
        const uint32_t usable = std::min(total, filled);
        if (usable == 0) throw_process_error("Can't find valid video sample");
        if (stopped || filled < total) {
            printf("ERROR : Can't build entire video seek table\n");
            r->warning_flags |= MOV_WARNING_INDEX_INCOMPLETE;
            if (!resample) r->nb_frames = usable;
        }
        // Timestamps of the indexed samples only, and the time they cover in ticks.
        std::vector<double> ts;
        if (resample) {
            ts.reserve(usable);
            double now = 0;
            uint64_t ticks = 0;
            for (uint32_t i = 0; i < stts_count && ts.size() < usable; i++) {
                if (stts[i].count == 0 || stts[i].duration == 0) continue;
                for (uint32_t k = 0; k < stts[i].count && ts.size() < usable; k++) {
                    ts.push_back(now);
                    now += double(stts[i].duration) / timescale;
                    ticks += stts[i].duration;
                }
            }
            // Output frame k shows time k / fps: past the samples' end it would only repeat
            // the last one, so the media duration cannot ask for more frames than that.
            using u128 = unsigned __int128;
            const u128 num = u128(ticks) * r->fps_rational.num;
            const u128 den = u128(timescale) * r->fps_rational.den;
            if (den != 0) {
                const u128 covered = (num + den - 1) / den;
                if (covered < r->nb_frames) {
                    printf("WARNING : video duration longer than its samples, %u frames kept\n", uint32_t(covered));
                    r->nb_frames = uint32_t(covered);
                }
            }
        }
        if (r->nb_frames > MOV_READER_MAX_FRAMES) throw_process_error("Invalid video duration");
        r->seek_table = static_cast<MovSeekEntry *>(calloc(r->nb_frames, sizeof(MovSeekEntry)));
        if (!r->seek_table) throw_alloc_error();
        if (!resample)
            std::copy(found.begin(), found.begin() + r->nb_frames, r->seek_table);
        else
            resample_to_constant_rate(r, ts, found.data(), usable);
    } catch (...) {
        free(spc);
        free(co.offsets);
        throw;
    }
    free(spc);
    free(co.offsets);
}

// Reads `n` bytes at `at` of the first sample, keeping the stream position.
bool read_first_sample_bytes(MovReader *r, uint64_t at, uint8_t *dst, uint32_t n) {
    try {
        uint64_t pos = file_tell(r->file);
        file_read_at(r->file, dst, r->seek_table[0].offset + at, n);
        file_seek_from_start(r->file, pos);
        return true;
    } catch (const std::exception &) { return false; }
}

void first_sample_checks(MovReader *r) {
    const uint32_t c = r->codec;
    const bool prores = (c == fourcc("ap4h") || c == fourcc("ap4x")) && r->depth == 24 &&
                        !(r->flags & MOV_FLAG_SKIP_PRORES_ALPHA_CHECK);
    const bool dxv = c == fourcc("DXD3");
    const bool dnxhr = c == fourcc("AVdh");
    if (!prores && !dxv && !dnxhr) return;
    if (r->nb_frames == 0 || !r->seek_table) {
        printf("Invalid duration for header check\n");
        return;
    }
    const uint32_t size = r->seek_table[0].size;
    if (prores) {
        uint8_t b;
        if (size < 27)
            printf("Fail to check prores (Invalid length)\n");
        else if (!read_first_sample_bytes(r, 25, &b, 1))
            printf("Fail to check prores frame\n");
        else if ((b & 0x0F) == 1 || (b & 0x0F) == 2)
            r->depth = 32;
    } else if (dxv) {
        uint8_t b[4];
        if (size < 4)
            printf("Fail to check dxv (Invalid length)\n");
        else if (!read_first_sample_bytes(r, 0, b, 4))
            printf("Fail to check dxv frame\n");
        else {
            uint32_t v = load_le32(b);
            // The four characters sit in file order, so the little-endian value reads "1TXD".
            auto code = [](const char *s) { return load_le32(reinterpret_cast<const uint8_t *>(s)); };
            if (v == code("DXT1")) {
                r->codec_variant = fourcc("DXT1");
                r->depth = 24;
            } else if (v == code("DXT5")) {
                r->codec_variant = fourcc("DXT5");
                r->depth = 32;
            } else if (v == code("YCG6")) {
                r->codec_variant = fourcc("YCG6");
                r->depth = 24;
            } else if (v == code("YG10")) {
                r->codec_variant = fourcc("YG10");
                r->depth = 32;
            } else {
                printf("Unknown DXV Sub codec : %d\n%c%c%c%c\n", int(v), char(v >> 24), char(v >> 16), char(v >> 8),
                       char(v));
            }
        }
    } else {
        uint8_t b7, b33, b44;
        if (size < 640)
            printf("Fail to check DnxHR (Invalid length)\n");
        else if (!read_first_sample_bytes(r, 7, &b7, 1) || !read_first_sample_bytes(r, 33, &b33, 1) ||
                 !read_first_sample_bytes(r, 44, &b44, 1))
            printf("Fail to check DnxHR frame\n");
        else {
            if (b7 & 1) printf("DEV : DnxHR with alpha (Alpha unsupported\n");
            uint32_t code = b33 >> 5;
            if (!(b44 & 0x40)) {
                if (code >= 1 && code <= 3)
                    r->codec_variant = 3 + code;
                else {
                    printf("ERROR : unknown DnxHR 422 bitdepth : %u\n", code);
                    r->codec_variant = 0;
                }
            } else if (!(b44 & 0x01)) {
                printf("Warning : DnxHR RGB (Unsupported)\n");
                r->codec_variant = 0;
            } else if (code >= 1 && code <= 3) {
                r->codec_variant = 6 + code;
            } else {
                printf("ERROR : unknown DnxHR 444 bitdepth : %u\n", code);
                r->codec_variant = 0;
            }
        }
    }
}

}  // namespace

void mov_reader_parse_video_track(MovReader *r, const MovTrakAtoms &a, const uint8_t *moov) {
    if (a.tkhd.size < 84) {
        printf("Video Trak : TKHD invalid size ( < 84) : found : %u\n", a.tkhd.size);
        throw_process_error("Invalid tkhd video trak");
    }
    r->width = load_be16(moov + a.tkhd.offset + 76);
    r->height = load_be16(moov + a.tkhd.offset + 80);

    if (a.mdhd.size < 24) {
        printf("Video Trak : MDHD invalid size ( < 24) : found : %u\n", a.mdhd.size);
        throw_process_error("Invalid Mdhd video trak");
    }
    const uint32_t timescale = load_be32(moov + a.mdhd.offset + 12);
    const uint32_t media_duration = load_be32(moov + a.mdhd.offset + 16);

    if (a.stts.size < 16) {
        printf("ERROR STTS : Size invalide ( < 16) ; found : %llu\n", (unsigned long long)a.stts.size);
        throw_process_error("Invalid Stts Atom in video trak");
    }
    const uint8_t *st = moov + a.stts.offset;
    uint32_t stts_count = load_be32(st + 4);
    if (stts_count == 0) throw_process_error("Invalid STTS video trak (no entry)");
    if (uint64_t(stts_count) * 8 + 8 > a.stts.size) {
        stts_count = (a.stts.size - 8) / 8;
        printf("Warning : not enough space for STTS entries, clamp to %u\n", stts_count);
    }
    std::vector<SttsEntry> stts(stts_count);
    for (uint32_t i = 0; i < stts_count; i++)
        stts[i] = SttsEntry{load_be32(st + 8 + 8 * uint64_t(i)), load_be32(st + 12 + 8 * uint64_t(i))};

    if (stts_count == 1) {
        r->is_vfr = false;
        r->nb_frames = stts[0].count;
        if (stts[0].duration == 0) throw_process_error("Sample duration zero (invalid)");
        r->fps_rational = ZRational{timescale, stts[0].duration};
        r->fps = double(timescale) / stts[0].duration;
    } else {
        printf("Variable fps\n");
        r->is_vfr = true;
        uint64_t sum = stts[0].count;
        uint32_t smallest = stts[0].duration;
        for (uint32_t i = 1; i < stts_count; i++) {
            if (stts[i].duration == 0) {
                printf("STTS : %u samples with 0 duration\n", stts[i].count);
                continue;
            }
            sum += stts[i].count;
            if (stts[i].duration < smallest) smallest = stts[i].duration;
        }
        const uint32_t den = (r->flags & MOV_FLAG_VFR_KEEP_SAMPLES) ? stts[0].duration : smallest;
        if (den == 0) throw_process_error("Invalid fps (zero)");
        r->fps_rational = ZRational{timescale, den};
        const ZRational cap = r->max_vfr_to_cfr_fps;
        if (r->flags & MOV_FLAG_VFR_LIMIT_FPS) {
            double cap_value = cap.den ? double(cap.num) / cap.den : 0;
            if (double(timescale) / den >= cap_value && cap.num != 0 && cap.den != 0) r->fps_rational = cap;
            r->fps = double(r->fps_rational.num) / r->fps_rational.den;
        } else {
            r->fps = double(timescale) / den;
        }
        double frames;
        if (r->flags & MOV_FLAG_VFR_KEEP_SAMPLES)
            frames = double(sum);
        else
            frames = timescale ? std::round(double(media_duration) / timescale * r->fps) : 0;
        if (!(frames >= 0) || frames > double(MOV_READER_MAX_FRAMES)) throw_process_error("Invalid video duration");
        r->nb_frames = uint32_t(frames);
    }
    if (r->fps_rational.den != 1 && r->fps_rational.den != 0 && r->fps_rational.num % r->fps_rational.den == 0)
        r->fps_rational = ZRational{r->fps_rational.num / r->fps_rational.den, 1};

    if (a.stsd.size < 12) throw_process_error("Invalid Stsd video trak");
    const uint8_t *sd = moov + a.stsd.offset;
    const uint32_t desc = load_be32(sd + 8);
    if (uint64_t(a.stsd.size) < uint64_t(desc) + 8) throw_process_error("Invalid Stsd video trak");
    if (desc < 86) throw_process_error("Not enough data in Sample Description");
    r->codec = load_be32(sd + 12);
    r->depth = load_be16(sd + 90);
    if (desc >= 94) parse_extensions(r, moov, a.stsd.offset + 8 + 86, desc - 86);

    r->video_codec_supported = false;
    for (uint32_t c : kAcceptedCodecs) r->video_codec_supported |= (c == r->codec);
    if (!r->video_codec_supported || (r->flags & MOV_FLAG_DESCRIBE_ONLY)) return;

    build_frame_index(r, a, moov, stts.data(), stts_count, timescale);
    first_sample_checks(r);
}
