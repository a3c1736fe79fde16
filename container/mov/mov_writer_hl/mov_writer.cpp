// MOV writer: streams samples, interleaves one-second audio chunks, writes the
// movie atom at close.
#include "container/mov/mov_writer_hl/mov_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/core/byte_order.h"
#include "platform/core/errors.h"
#include "platform/core/file_create.h"
#include "platform/core/file_io.h"
#include "platform/core/log.h"

Mov_Writer_Video::Mov_Writer_Video(const char *path, uint16_t width, uint16_t height, uint8_t depth,
                                   ZRational frame_rate, float pixel_ratio, const char format[4],
                                   uint32_t creation_time, bool have_timecode, uint32_t timecode_start, bool drop_frame)
    : width_(width),
      height_(height),
      depth_(depth),
      frame_rate_(frame_rate),
      creation_time_(creation_time),
      pixel_ratio_(pixel_ratio),
      have_timecode_(have_timecode),
      timecode_start_(have_timecode ? timecode_start : 0),
      drop_frame_(have_timecode && drop_frame) {
    std::memcpy(format_, format, 4);
    open_file(path);
}

Mov_Writer_Video::~Mov_Writer_Video() {
    if (file_) fclose(file_);
}

void Mov_Writer_Video::open_file(const char *path) {
    if (!path) throw_process_error("Can't open NULL file");
    // Never replaces an entry: a name taken since it was chosen moves to the next free one.
    path_ = path;
    file_ = file_create_exclusive(path_);
    if (!file_) {
        int e = errno;
        throw_process_errorf("Can't open file : %s. Error : %d. %s", path, e, strerror(e));
    }
    // Unbuffered: every sample and chunk is one large write, and a failing write
    // is seen by the call that made it rather than by a later flush.
    setvbuf(file_, nullptr, _IONBF, 0);
    static const uint8_t kHeader[48] = {0,    0,    0,   32,  'f', 't', 'y', 'p', 'q', 't', ' ', ' ', 0x20, 0x05,
                                        0x03, 0x00, 'q', 't', ' ', ' ', 0,   0,   0,   0,   0,   0,   0,    0,
                                        0,    0,    0,   0,   0,   0,   0,   1,   'm', 'd', 'a', 't'};
    try {
        file_write_checked(file_, kHeader, sizeof(kHeader));
    } catch (...) {
        fclose(file_);
        file_ = nullptr;
        throw;
    }
    file_pos_ = 48;
}

void Mov_Writer_Video::check_file() const {
    if (!file_) throw_process_error("Invalid file pointer");
}

void Mov_Writer_Video::set_audio_tracks(uint32_t nb_tracks, uint32_t frequency, uint16_t bits, uint32_t channels,
                                        bool is_float, uint32_t layout) {
    if (audio_tracks_ != 0) throw_process_error("Set audio tracks call multiple times");
    if (nb_tracks == 0) return;
    if (nb_tracks > 64) throw_process_error("Unsupported audio track count (max 64 supported)");
    if (frequency == 0) throw_process_error("Invalid 0 frequency");
    if (channels == 0) throw_process_error("Invalid 0 nb channels by track");
    if (is_float) {
        if (bits != 32 && bits != 64) throw_process_error("Unsupported audio quantif for float");
    } else if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        printf("ERR : Invalid Audio quantif (int) : %d\n", bits);
        throw_process_error("Unsupported audio quantif for integer");
    }
    // The chunk schedule divides by the numerator and the sample count needs both terms.
    if (frame_rate_.num == 0 || frame_rate_.den == 0) throw_process_error("Invalid frame rate for audio tracks");
    const uint64_t second = static_cast<uint64_t>(frequency) * channels * (bits / 8u);
    if (channels > 0xFFFF || second * nb_tracks > 0xFFFFFFFFull)
        throw_process_error("Unsupported audio layout (chunk too large)");

    layout_ = layout;
    frequency_ = frequency;
    bits_ = bits;
    channels_ = channels;
    is_float_ = is_float;
    bytes_per_sample_ = bits / 8u;
    track_second_size_ = static_cast<uint32_t>(second);
    chunk_size_ = static_cast<uint32_t>(second * nb_tracks);
    silence_byte_ = bits == 8 ? 0x80 : 0;
    tracks_.assign(nb_tracks, AudioTrackBuffer{});
    for (AudioTrackBuffer &t : tracks_) t.buffer.assign(track_second_size_, silence_byte_);
    silence_chunk_.assign(chunk_size_, silence_byte_);
    audio_tracks_ = nb_tracks;
}

void Mov_Writer_Video::set_metadata(const MovUdtaMetadata &m) {
    metadata_.is_set = m.is_set;
    metadata_.alpha_mode = m.alpha_mode;
    metadata_.have_crop_box = m.have_crop_box;
    metadata_.display_width = m.display_width;
    metadata_.display_height = m.display_height;
    metadata_.crop_x = m.crop_x;
    metadata_.crop_y = m.crop_y;
}

void Mov_Writer_Video::reserve_audio_chunk() {
    check_file();
    file_write_checked(file_, silence_chunk_.data(), silence_chunk_.size());
    chunk_offsets_.push_back(file_pos_);
    file_pos_ += chunk_size_;
    chunks_reserved_++;
}

void Mov_Writer_Video::add_video_sample(uint64_t offset, uint32_t size) {
    video_offsets_.push_back(offset);
    video_sizes_.push_back(size);
}

void Mov_Writer_Video::write_video_frame(const uint8_t *data, uint32_t size) {
    check_file();
    if (frame_count_ == 0xFFFFFFFFu) throw_process_error("Too many video frames");
    if (audio_tracks_ > 0) {
        // Chunk k goes before the first frame n with (n + 1) / rate >= k seconds.
        uint64_t seconds = (static_cast<uint64_t>(frame_count_) + 1) * frame_rate_.den / frame_rate_.num;
        if (seconds >= chunks_reserved_) reserve_audio_chunk();
    }
    if (size == 0) printf("WARNING : Invalid video chunk size zero\n");
    if (size) file_write_checked(file_, data, size);
    add_video_sample(file_pos_, size);
    frame_count_++;
    file_pos_ += size;
}

void Mov_Writer_Video::check_audio_track(uint32_t track_index) const {
    if (track_index >= audio_tracks_)
        throw_process_errorf("Invalid audio track index : %u Nb Audio tracks (%u)", track_index, audio_tracks_);
}

void Mov_Writer_Video::write_audio_samples(const void *data, int64_t nb_samples, uint32_t track_index) {
    if (nb_samples == 0) return;
    check_audio_track(track_index);
    if (nb_samples < 0) throw_process_error("Invalid audio sample count");
    AudioTrackBuffer &t = tracks_[track_index];
    const size_t frame_bytes = static_cast<size_t>(channels_) * bytes_per_sample_;
    const uint8_t *src = static_cast<const uint8_t *>(data);
    uint64_t remaining = static_cast<uint64_t>(nb_samples);
    while (remaining > 0) {
        uint32_t room = frequency_ - t.fill;
        if (room == 0) {
            flush_audio_buffer(track_index);
            continue;
        }
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(room, remaining));
        std::memcpy(t.buffer.data() + static_cast<size_t>(t.fill) * frame_bytes, src, n * frame_bytes);
        src += n * frame_bytes;
        t.fill += n;
        remaining -= n;
    }
}

void Mov_Writer_Video::flush_audio_buffer(uint32_t track) {
    check_audio_track(track);
    check_file();
    AudioTrackBuffer &t = tracks_[track];
    const uint32_t j = t.chunks_written;
    if (j >= chunks_reserved_) reserve_audio_chunk();
    if (j >= chunk_offsets_.size()) throw_process_error("Error index audio buffer");
    file_seek_from_start(file_, chunk_offsets_[j] + static_cast<uint64_t>(track) * track_second_size_);
    file_write_checked(file_, t.buffer.data(), t.buffer.size());
    t.fill = 0;
    t.chunks_written++;
    t.samples_written += frequency_;
    file_seek_to_end(file_);
    std::fill(t.buffer.begin(), t.buffer.end(), silence_byte_);
}

void Mov_Writer_Video::flush_partial_audio_buffers() {
    for (uint32_t i = 0; i < audio_tracks_; i++)
        if (tracks_[i].fill != 0) flush_audio_buffer(i);
}

uint64_t Mov_Writer_Video::audio_sample_count() const {
    if (frame_count_ == 0) return 0;
    // frequency x frame_count / rate, rounded half up, exactly (no double rounding).
    const unsigned __int128 num = static_cast<unsigned __int128>(frequency_) * frame_count_ * frame_rate_.den;
    const unsigned __int128 r = (2 * num + frame_rate_.num) / (2 * static_cast<unsigned __int128>(frame_rate_.num));
    return static_cast<uint64_t>(r);
}

void Mov_Writer_Video::pad_audio_chunks(uint64_t sample_count) {
    uint64_t p = static_cast<uint64_t>(frequency_) * chunks_reserved_;
    for (const AudioTrackBuffer &t : tracks_) p = std::max(p, t.samples_written);
    while (p < sample_count) {
        reserve_audio_chunk();
        p += frequency_;
    }
}

std::vector<uint64_t> Mov_Writer_Video::get_audio_chunk_offsets(uint32_t track, uint64_t sample_count) const {
    std::vector<uint64_t> list;
    uint64_t remaining = sample_count;
    for (uint64_t j = 0; remaining > 0; j++) {
        if (j >= chunk_offsets_.size()) {
            // The index would describe chunks that are not in the file.
            printf("Error, invalid audio buf index : %llu; Nb Offset : %zu", static_cast<unsigned long long>(j),
                   chunk_offsets_.size());
            throw_process_error("Error index audio buffer");
        }
        list.push_back(chunk_offsets_[j] + static_cast<uint64_t>(track) * track_second_size_);
        if (remaining <= frequency_) break;
        remaining -= frequency_;
    }
    return list;
}

void Mov_Writer_Video::close() {
    check_file();
    uint64_t audio_samples = 0;
    if (audio_tracks_ > 0) {
        flush_partial_audio_buffers();
        // One count for the padding and for the index, so they always agree.
        audio_samples = audio_sample_count();
        if (audio_samples > 0xFFFFFFFFull) throw_process_error("Audio sample count overflow");
        pad_audio_chunks(audio_samples);
    }

    uint8_t size_be[8];
    store_be64(size_be, file_pos_ - 32);
    file_seek_from_start(file_, 40);
    file_write_checked(file_, size_be, 8);
    file_seek_to_end(file_);

    if (have_timecode_) {
        MDAT_TC_Writer mdat_tc(timecode_start_);
        bool is64Temp = false;
        ZASSERT(mdat_tc.get_atom_size(&is64Temp) == 12);
        uint8_t buf[12];
        mdat_tc.write_atom(buf);
        timecode_offset_ = file_pos_ + 8;
        file_write_checked(file_, buf, 12);
        file_pos_ += 12;
    }

    std::vector<Atom_Writer> extensions;
    if (field_mode_ != 3) extensions.push_back(FIEL_Writer(field_mode_));
    if (colour_mode_ == 2)
        extensions.push_back(GAMA_Writer(2, 0x3333));
    else
        extensions.push_back(COLR_NCLC_Writer(colour_mode_));

    Moov_Video_Writer moov(frame_rate_, creation_time_, width_, height_, depth_, pixel_ratio_, format_, frame_count_,
                           video_offsets_, video_sizes_, have_timecode_, timecode_start_, drop_frame_, timecode_offset_,
                           audio_tracks_, extensions);
    for (uint32_t i = 0; i < audio_tracks_; i++) {
        moov.add_audio_track(bits_, frequency_, static_cast<uint32_t>(audio_samples), channels_,
                             get_audio_chunk_offsets(i, audio_samples), is_float_, layout_);
    }
    if (metadata_.is_set == 1) moov.add_udta_metadata(metadata_, true);

    const uint64_t moov_size = moov.get_atom_size(nullptr);
    std::vector<uint8_t> buffer(moov_size);
    uint64_t written = moov.write_atom(buffer.data());
    ZASSERT(written == moov_size);
    file_write_checked(file_, buffer.data(), buffer.size());
    file_pos_ += moov_size;

    FILE *f = file_;
    file_ = nullptr;
    if (fclose(f) != 0) throw_process_error("Error file write");
}
