// MOV reader: PCM audio tracks, their chunk tables and sample reads.
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "container/mov/mov_reader.h"
#include "container/mov/mov_reader_internal.h"
#include "platform/core/errors.h"
#include "platform/core/file_io.h"

using namespace movr;

namespace {

bool is_pcm_code(uint32_t c) {
    return c == fourcc("fl32") || c == fourcc("fl64") || c == fourcc("in24") || c == fourcc("in32") ||
           c == fourcc("lpcm") || c == fourcc("raw ") || c == fourcc("twos") || c == fourcc("sowt");
}

bool code_has_endianness(uint32_t c) {
    return c == fourcc("fl32") || c == fourcc("fl64") || c == fourcc("in24") || c == fourcc("in32");
}

void pcm_from_code(MovAudioTrack *t) {
    struct Entry {
        const char *code;
        uint32_t flags, bits;
    };
    static const Entry table[] = {{"raw ", 0x08, 8},  {"twos", 0x0E, 16}, {"sowt", 0x0C, 16}, {"in24", 0x0E, 24},
                                  {"in32", 0x0E, 32}, {"fl32", 0x0B, 32}, {"fl64", 0x0B, 64}};
    for (const Entry &e : table)
        if (t->codec == fourcc(e.code)) {
            t->pcm_flags = e.flags;
            t->bits_per_sample = e.bits;
            return;
        }
}

// Returns false when a child header could not be parsed.
bool parse_description_children(MovAudioTrack *t, const uint8_t *moov, uint64_t start, uint64_t remaining) {
    bool ok = true;
    while (remaining >= 8) {
        MovAtomHeader h;
        if (mov_atom_parse_header(&h, moov, start, remaining)) {
            printf("Fail to parse Stsd additionnal atoms\n");
            ok = false;
            break;
        }
        const uint8_t *p = moov + h.payload_offset;
        if (type_is(h.type, "chan")) {
            if (h.payload_size < 16) {
                printf("Warning invalid size CHAN STSD Audio : %llu\n", (unsigned long long)h.payload_size);
            } else {
                uint64_t n = std::max<uint64_t>(t->channels, load_be32(p + 12));
                if (n == 0) {
                    printf("Warning Descriptors count CHAN No descriptors\n");
                } else if (h.payload_size >= n * 20 + 16) {
                    auto *labels = static_cast<uint32_t *>(malloc(sizeof(uint32_t) * t->channels));
                    if (!labels) throw_alloc_error();
                    for (uint32_t c = 0; c < t->channels; c++) labels[c] = load_be32(p + 16 + 20 * uint64_t(c));
                    free(t->channel_labels);
                    t->channel_labels = labels;
                }
            }
        } else if (type_is(h.type, "wave")) {
            uint64_t off = h.payload_offset, rem = h.payload_size;
            while (rem >= 8) {
                MovAtomHeader w;
                if (mov_atom_parse_header(&w, moov, off, rem)) break;
                if (type_is(w.type, "enda") && code_has_endianness(t->codec)) {
                    if (w.payload_size < 2) {
                        printf("Warning Wave ENDA data len < 2 (%llu)\n", (unsigned long long)w.payload_size);
                    } else {
                        uint16_t v = load_be16(moov + w.payload_offset);
                        if (v == 1)
                            t->pcm_flags &= ~0x02u;
                        else if (v == 0)
                            t->pcm_flags |= 0x02u;
                        else
                            printf("Warning : Invalid ENDA endianness value : %d\n", v);
                    }
                }
                off = w.payload_offset + w.payload_size;
                rem -= w.size;
            }
        }
        start = h.payload_offset + h.payload_size;
        remaining -= h.size;
    }
    return ok;
}

void build_chunk_table(MovReader *r, MovAudioTrack *t, const MovTrakAtoms &a, const uint8_t *moov) {
    MovChunkOffsets co = mov_parse_chunk_offsets(moov, a.chunk_offsets, a.chunk_offset_width);
    uint32_t *spc = nullptr;
    try {
        spc = mov_expand_sample_to_chunk(moov, a.stsc, co.count);
        t->chunks = static_cast<MovAudioChunk *>(calloc(co.count, sizeof(MovAudioChunk)));
        if (!t->chunks) throw_alloc_error();
        t->nb_chunks = co.count;
        uint64_t sum = 0;
        bool run_open = true;
        uint32_t stored = 0;
        bool cut = false;
        for (uint32_t c = 0; c < co.count; c++) {
            uint64_t bytes = uint64_t(spc[c]) * t->bytes_per_frame;  // bytes_per_frame < 2^32 here
            if (co.offsets[c] > r->file_size || bytes > r->file_size - co.offsets[c]) {
                printf("ERROR : Invalid Offset Size Audio chunk (Offset : %llu : Size : %llu (filesize : %llu)\n",
                       (unsigned long long)co.offsets[c], (unsigned long long)bytes, (unsigned long long)r->file_size);
                t->track_flags |= 0x02;
                cut = true;
                break;
            }
            if (c == 0) {
                t->first_run_chunks = 1;
                t->first_run_samples_per_chunk = spc[0];
            } else if (run_open && spc[c] == t->first_run_samples_per_chunk) {
                t->first_run_chunks++;
            } else {
                run_open = false;
            }
            t->chunks[c] = MovAudioChunk{co.offsets[c], spc[c]};
            sum += spc[c];
            stored++;
        }
        if (cut) {
            // Only the chunks before the bad one stay reachable.
            t->nb_chunks = stored;
            if (t->nb_samples > sum) t->nb_samples = sum;
        } else if (t->nb_samples != sum) {
            printf("Warning : Audio MDHD duration (%llu) not equal samples found : (%u)\n",
                   (unsigned long long)t->nb_samples, uint32_t(sum));
            if (t->nb_samples > sum) t->nb_samples = sum;
        }
    } catch (...) {
        free(spc);
        free(co.offsets);
        throw;
    }
    free(spc);
    free(co.offsets);
}

}  // namespace

void mov_reader_parse_audio_track(MovReader *r, MovAudioTrack *t, const MovTrakAtoms &a, const uint8_t *moov) {
    if (a.tkhd.size >= 16) t->track_id = load_be32(moov + a.tkhd.offset + 12);
    if (a.stsd.size < 12) throw_process_error("Invalid Stsd audio trak");
    const uint8_t *s = moov + a.stsd.offset;
    uint32_t desc = load_be32(s + 8);
    if (uint64_t(a.stsd.size) < uint64_t(desc) + 8) throw_process_error("Invalid Stsd audio trak");
    if (desc < 36) throw_process_error("Not enough data in Sample Description audio");
    t->codec = load_be32(s + 12);
    t->pcm_flags = 0;
    uint16_t version = load_be16(s + 24);
    bool unsupported = false;
    uint32_t child_start;
    if (version == 0 || version == 1) {
        // Version 1 adds four 32-bit fields; without them the description is short.
        if (version == 1 && desc < 52) throw_process_error("Not enough data in Sample Description audio");
        t->channels = load_be16(s + 32);
        if (t->channels == 0) throw_process_error("Invalid channel (0)");
        t->sample_rate = load_be16(s + 40);
        if (load_be16(s + 42) != 0) printf("Warning : Sample rate not integer : %d\n", load_be16(s + 42));
        if (t->sample_rate == 0) throw_process_error("Invalid sample rate (0)");
        if (version == 1 && load_be32(s + 44) != 1) unsupported = true;
        pcm_from_code(t);
        if (t->bits_per_sample == 0) unsupported = true;
        child_start = version == 0 ? 36 : 52;
    } else if (version == 2) {
        if (desc < 72) throw_process_error("Not enough data in Sample Description audio (v2)");
        uint64_t bits = load_be64(s + 48);
        double rate;
        std::memcpy(&rate, &bits, 8);
        double rounded = std::round(rate);
        if (!(rounded > 0)) throw_process_error("Invalid sample rate (<= 0)");
        t->sample_rate = rounded >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(rounded);
        t->channels = load_be32(s + 56);
        if (t->channels == 0) throw_process_error("Invalid channel (0)");
        t->bits_per_sample = load_be32(s + 64);
        if (t->bits_per_sample % 8 != 0) {
            printf("Warning unsupported quantif : %u\n", t->bits_per_sample);
            unsupported = true;
        }
        t->pcm_flags = load_be32(s + 68);
        if (t->pcm_flags == 0x80000000u) throw_process_error("Unset audio flags mode (v2)");
        uint32_t fpp = load_be32(s + 76);
        if (fpp != 1) {
            printf("Warning unsupported pcm frames per packet : %u\n", fpp);
            unsupported = true;
        }
        child_start = 72;
    } else {
        throw_process_error("Invalid Stsd audio version");
    }

    bool children_ok = true;
    if (uint64_t(desc) >= uint64_t(child_start) + 8)
        children_ok = parse_description_children(t, moov, a.stsd.offset + 8 + child_start, desc - child_start);

    if (children_ok) {
        if (is_pcm_code(t->codec)) {
            uint64_t bpf = uint64_t(t->channels) * (t->bits_per_sample / 8);
            // A frame wider than 4 GiB cannot be real; refusing it keeps every size product in 64 bits.
            if (unsupported || bpf == 0 || bpf > 0xFFFFFFFFu) {
                printf("Unsupported PCM Audio\n");
                t->pcm_supported = false;
            } else {
                t->bytes_per_frame = bpf;
                t->pcm_supported = true;
            }
        } else if (t->codec == fourcc("mp4a") || t->codec == fourcc(".mp3")) {
            t->pcm_supported = false;
        } else {
            printf("Codec audio unsupported demuxing : %u;%c%c%c%c\n", t->codec, char(t->codec >> 24),
                   char(t->codec >> 16), char(t->codec >> 8), char(t->codec));
            t->pcm_supported = false;
        }
    }

    if (a.mdhd.size < 24) {
        printf("Audio Trak : MDHD invalid size ( < 24) : found : %u\n", a.mdhd.size);
        throw_process_error("Invalid Mdhd audio trak");
    }
    const uint8_t *m = moov + a.mdhd.offset;
    uint32_t timescale = load_be32(m + 12);
    if (timescale != t->sample_rate) {
        printf("MDHD timescale (%u) != frequency (%u) (unsupported)\n", timescale, t->sample_rate);
        throw_process_error("Audio trak timescale not equal to frequency");
    }
    t->nb_samples = load_be32(m + 16);

    if (t->pcm_supported && !(r->flags & MOV_FLAG_DESCRIBE_ONLY)) build_chunk_table(r, t, a, moov);
}

uint64_t mov_reader_read_audio(MovReader *r, void *buffer, uint32_t track_index, uint64_t first_sample,
                               uint64_t count) {
    if (!r->audio_mutex) throw_process_error("Invalid audio track index");
    std::lock_guard<std::mutex> lock(*r->audio_mutex);
    if (track_index >= r->nb_audio_tracks) {
        printf("ERROR : Invalid audio track index : %u\n", track_index);
        throw_process_error("Invalid audio track index");
    }
    MovAudioTrack *t = &r->audio_tracks[track_index];
    if (!t->pcm_supported) {
        printf("ERROR : Demuxing unsupported for track : %u\n", track_index);
        throw_process_error("Demuxing audio track unsupported");
    }
    if (first_sample >= t->nb_samples) {
        printf("Warning : ask audio sample after track\n");
        return 0;
    }
    uint64_t left = std::min(count, t->nb_samples - first_sample);
    if (left == 0) throw_process_error("0 sample to read");
    if (!t->chunks) throw_process_error("Audio seek table not allocated");
    if (t->first_run_chunks == 0) throw_process_error("Invalid first chunk count");

    uint8_t *out = static_cast<uint8_t *>(buffer);
    uint64_t sample = first_sample, total = 0;
    const uint64_t run_spc = t->first_run_samples_per_chunk;
    const uint64_t run_end = uint64_t(t->first_run_chunks) * run_spc;
    while (left > 0) {
        uint64_t chunk, pos;
        if (run_spc != 0 && sample < run_end) {
            chunk = sample / run_spc;
            pos = sample % run_spc;
        } else {
            // Empty chunks never hold the sample, so they are stepped over.
            uint64_t start = run_end;
            chunk = t->nb_chunks;
            for (uint64_t c = t->first_run_chunks; c < t->nb_chunks; c++) {
                uint64_t n = t->chunks[c].nb_samples;
                if (sample < start + n) {
                    chunk = c;
                    break;
                }
                start += n;
            }
            if (chunk >= t->nb_chunks) {
                printf("Can't find sample num : %llu\n", (unsigned long long)sample);
                throw_process_error("Can't find sample");
            }
            pos = sample - start;
        }
        uint64_t take = std::min<uint64_t>(t->chunks[chunk].nb_samples - pos, left);
        file_read_at(r->file, out, t->chunks[chunk].offset + pos * t->bytes_per_frame, take * t->bytes_per_frame);
        out += take * t->bytes_per_frame;
        sample += take;
        total += take;
        left -= take;
    }
    return total;
}
