// WAV writer: fixed header, buffered sample writes, size patching at close.
#include "container/wav/wav_writer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>

#include "platform/core/byte_order.h"
#include "platform/core/errors.h"
#include "platform/core/file_create.h"
#include "platform/core/file_io.h"

namespace {

void patch(FILE *f, uint64_t offset, const void *bytes, size_t n) {
    file_seek_from_start(f, offset);
    file_write_checked(f, bytes, n);
}

void patch_le32(FILE *f, uint64_t offset, uint32_t v) {
    uint8_t b[4];
    store_le32(b, v);
    patch(f, offset, b, 4);
}

}  // namespace

void wav_writer_init(WavWriter *w) {
    std::memset(w, 0, sizeof(*w));
    w->file = nullptr;
    w->buffer = nullptr;
    w->max_riff32_size = 4294967294ull;
}

namespace {

void check_channels(uint8_t channels) {
    if (channels == 0) throw_process_errorf("Invalid channels count : %u", channels);
}

void check_quantification(uint8_t bytes_per_sample, bool is_float) {
    if (is_float) {
        if (bytes_per_sample != 4)
            throw_process_errorf("Unsupported quantification float (32 bits f (4) supporte) : %u", bytes_per_sample);
    } else if (bytes_per_sample < 2 || bytes_per_sample > 4) {
        throw_process_errorf("Unsupported quantification (16 bits i (2), 24 bits i (3), 32 bits i (4) supporte) : %u",
                             bytes_per_sample);
    }
}

void check_frequency(uint32_t frequency) {
    if (frequency != 48000 && frequency != 44100)
        throw_process_errorf("Unsupported frequence (44100, 48000 supportes) : %u", frequency);
}

}  // namespace

void wav_writer_set_format(WavWriter *w, uint8_t channels, uint8_t bytes_per_sample, uint32_t frequency,
                           bool is_float) {
    check_channels(channels);
    w->channels = channels;
    check_quantification(bytes_per_sample, is_float);
    w->bytes_per_sample = bytes_per_sample;
    w->is_float = is_float ? 1 : 0;
    check_frequency(frequency);
    w->frequency = frequency;
}

void wav_writer_alloc_buffer(WavWriter *w, uint32_t seconds) {
    if (seconds == 0) seconds = 1;
    w->buffer_capacity = static_cast<uint64_t>(seconds) * w->channels * w->bytes_per_sample * w->frequency;
    if (w->buffer_capacity == 0) throw_process_error("Invalid internal buffer size (0)");
    free(w->buffer);
    w->buffer_fill = 0;
    w->buffer = static_cast<uint8_t *>(malloc(w->buffer_capacity));
    if (!w->buffer) {
        w->buffer_capacity = 0;
        throw_alloc_error();
    }
}

std::string wav_writer_open(WavWriter *w, const char *path) {
    if (!path) throw_process_error("Can't open NULL file");
    // A header without a complete format would describe no playable file.
    check_channels(w->channels);
    check_quantification(w->bytes_per_sample, w->is_float);
    check_frequency(w->frequency);
    // Never replaces an entry: a name taken since it was chosen moves to the next free one.
    std::string created = path;
    w->file = file_create_exclusive(created);
    if (!w->file) {
        int e = errno;
        throw_process_errorf("Can't open file : %s. Error : %d. %s", path, e, strerror(e));
    }
    // Unbuffered: the writer already writes whole seconds, and a failing write
    // must be reported by the call that made it.
    setvbuf(w->file, nullptr, _IONBF, 0);

    uint8_t h[690];
    std::memset(h, 0, sizeof(h));
    std::memcpy(h, "RIFF", 4);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "JUNK", 4);
    store_le32(h + 16, 28);
    size_t fmt = 48;
    if (w->write_bext) {
        std::memcpy(h + 48, "bext", 4);
        store_le32(h + 52, 602);
        std::memcpy(h + 312, "ZELQA_STUDIO", 12);
        std::memcpy(h + 344, "ZELQA", 5);
        store_le64(h + 394, w->bext_time_reference);  // low 32 bits first
        fmt = 658;
    }
    const uint32_t block = static_cast<uint32_t>(w->channels) * w->bytes_per_sample;
    std::memcpy(h + fmt, "fmt ", 4);
    store_le32(h + fmt + 4, 16);
    store_le16(h + fmt + 8, w->is_float ? 3 : 1);
    store_le16(h + fmt + 10, w->channels);
    store_le32(h + fmt + 12, w->frequency);
    store_le32(h + fmt + 16, static_cast<uint32_t>(w->frequency * block));
    store_le16(h + fmt + 20, block);
    store_le16(h + fmt + 22, 8u * w->bytes_per_sample);
    std::memcpy(h + fmt + 24, "data", 4);
    const size_t header_size = fmt + 32;
    file_write_checked(w->file, h, header_size);
    w->data_chunk_offset = header_size - 8;
    return created;
}

void wav_writer_add_samples(WavWriter *w, const void *data, uint64_t length) {
    if (length == 0) return;
    const uint64_t frame = static_cast<uint64_t>(w->channels) * w->bytes_per_sample;
    if (frame != 0 && length % frame != 0)
        throw_process_errorf("Invalid interleaved data size : %llu (Non multiple de channels * quantif : %llu)",
                             static_cast<unsigned long long>(length), static_cast<unsigned long long>(frame));
    if (w->buffer_capacity == 0)
        throw_process_error("Impossible d'ajouter des samples dans le buffer interne (taille 0)");
    if (!w->buffer) throw_process_error("Impossible d'ajouter des samples dans le buffer interne (buffer == NULL)");

    const uint8_t *src = static_cast<const uint8_t *>(data);
    while (length > 0) {
        if (w->buffer_fill == w->buffer_capacity) {
            file_write_checked(w->file, w->buffer, w->buffer_fill);
            w->data_bytes_written += w->buffer_fill;
            w->buffer_fill = 0;
        }
        uint64_t n = w->buffer_capacity - w->buffer_fill;
        if (n > length) n = length;
        std::memcpy(w->buffer + w->buffer_fill, src, n);
        w->buffer_fill += n;
        src += n;
        length -= n;
    }
}

namespace {

// Writes what is buffered, the pad byte and the sizes; the caller closes the stream.
void finish_file(WavWriter *w) {
    if (w->buffer_fill != 0) {
        file_write_checked(w->file, w->buffer, w->buffer_fill);
        w->data_bytes_written += w->buffer_fill;
        w->buffer_fill = 0;
    }
    // RIFF chunks are word-aligned: an odd data chunk is followed by one pad byte, counted
    // in the RIFF size but not in the data size.
    if (w->data_bytes_written % 2 != 0) {
        const uint8_t pad = 0;
        file_write_checked(w->file, &pad, 1);
    }
    const uint64_t len = file_tell(w->file);
    if (len > 8 && len - 8 <= w->max_riff32_size) {
        patch_le32(w->file, 4, static_cast<uint32_t>(len - 8));
        patch_le32(w->file, w->data_chunk_offset + 4, static_cast<uint32_t>(w->data_bytes_written));
    } else if (len > 8) {
        // RF64: the 28-byte JUNK chunk was reserved for exactly this "ds64".
        uint8_t ds64[36];
        std::memcpy(ds64, "ds64", 4);
        store_le32(ds64 + 4, 28);
        store_le64(ds64 + 8, len - 8);
        store_le64(ds64 + 16, w->data_bytes_written);
        const uint64_t frame = static_cast<uint64_t>(w->channels) * w->bytes_per_sample;
        store_le64(ds64 + 24, frame ? w->data_bytes_written / frame : 0);
        store_le32(ds64 + 32, 0);  // no table
        patch(w->file, 12, ds64, sizeof(ds64));
        uint8_t riff[8];
        std::memcpy(riff, "RF64", 4);
        store_le32(riff + 4, 0xFFFFFFFFu);
        patch(w->file, 0, riff, 8);
        patch_le32(w->file, w->data_chunk_offset + 4, 0xFFFFFFFFu);
    }
}

void release_buffer(WavWriter *w) {
    free(w->buffer);
    w->buffer = nullptr;
    w->buffer_capacity = 0;
}

}  // namespace

void wav_writer_close(WavWriter *w) {
    if (!w) return;
    if (w->file) {
        // A failure still closes the stream and frees the buffer: the file is released
        // whatever happens, and the error is reported.
        try {
            finish_file(w);
        } catch (...) {
            fclose(w->file);
            w->file = nullptr;
            release_buffer(w);
            throw;
        }
        FILE *f = w->file;
        w->file = nullptr;
        if (fclose(f) != 0) {
            release_buffer(w);
            throw_process_error("Error file write");
        }
    }
    release_buffer(w);
}
