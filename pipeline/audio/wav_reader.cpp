#include "pipeline/audio/wav_reader.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "platform/core/file_io.h"
#include "platform/core/byte_order.h"
#include "platform/core/errors.h"

namespace {

void read_exact(FILE *f, uint8_t *buffer, size_t n, const char *message) {
    if (fread(buffer, 1, n, f) != n) throw_process_error(message);
}

uint16_t read_le16(FILE *f, const char *message = "Can't read value") {
    uint8_t b[2];
    read_exact(f, b, 2, message);
    return load_le16(b);
}

uint32_t read_le32(FILE *f, const char *message = "Can't read value") {
    uint8_t b[4];
    read_exact(f, b, 4, message);
    return load_le32(b);
}

uint64_t read_le64(FILE *f) {
    uint8_t b[8];
    read_exact(f, b, 8, "Can't read value");
    return load_le64(b);
}

void skip(FILE *f, long n) {
    if (fseeko(f, n, SEEK_CUR) != 0) throw_process_error("Can't read value");
}

struct FmtInfo {
    uint16_t channels;
    uint16_t bits;
    uint8_t is_float;
    uint32_t rate;
};

FmtInfo parse_fmt(FILE *f, uint32_t size) {
    if (size < 16) throw_process_error("Invalid fmt chunk size");
    FmtInfo info;
    uint16_t tag = read_le16(f);
    info.channels = read_le16(f);
    info.rate = read_le32(f, "Can't read value (end of file ?");
    skip(f, 4 + 2);  // byte rate, block align
    info.bits = read_le16(f);
    if (tag == 0xFFFE) {
        if (size < 40) throw_process_error("Invalid fmt wav extensible chunk size");
        skip(f, 4 + 4);  // extension size and valid bits, channel mask
        tag = read_le16(f);
        if (tag != 1 && tag != 3) throw_process_error("Unsupported audio format (WAV EXTENSIBLE)");
    } else if (tag != 1 && tag != 3) {
        throw_process_error("Unsupported audio format");
    }
    info.is_float = tag == 3;
    if (info.channels == 0) throw_process_error("Invalid channels count (0)");
    if (info.bits < 8 || info.bits % 8) throw_process_errorf("Unsupported bits per sample : %u", info.bits);
    if (info.rate == 0 || info.rate > kWavMaxSampleRate) throw_process_errorf("Invalid frequency (%u)", info.rate);
    return info;
}

}  // namespace

void wav_reader_init(WavReader *r) { memset(r, 0, sizeof(*r)); }

void wav_reader_open(WavReader *r, const char *path) {
    if (!path) throw_alloc_error();
    size_t len = strlen(path) + 1;
    r->path = static_cast<char *>(malloc(len));
    if (!r->path) {
        printf("Fail to alloc str clone : (%zu)\n", len);
        throw_alloc_error();
    }
    memcpy(r->path, path, len);
    r->mutex = new std::mutex;
    r->file = fopen(path, "rb");
    if (!r->file) {
        int e = errno;
        throw_process_errorf("Can't open file : %s. Error : %d. %s", path, e, strerror(e));
    }
    FILE *f = r->file;
    file_seek_to_end(f);
    r->file_size = file_tell(f);
    file_seek_from_start(f, 0);

    if (r->file_size < 44) throw_process_error("Not enough bytes in wav file");
    uint8_t tag[4];
    read_exact(f, tag, 4, "Can't read value (end of file ?");
    if (memcmp(tag, "RIFF", 4) == 0)
        r->is_rf64 = 0;
    else if (memcmp(tag, "RF64", 4) == 0)
        r->is_rf64 = 1;
    else
        throw_process_error("Not a riff/rf64 file");
    read_exact(f, tag, 4, "Can't read value (end of file ?");  // size field, not used
    read_exact(f, tag, 4, "Can't read value (end of file ?");
    if (memcmp(tag, "WAVE", 4) != 0) throw_process_error("Not a wav file");

    bool have_fmt = false, have_data = false, have_ds64 = false;
    uint64_t ds64_data_size = 0;
    uint64_t offset = 12;
    while (offset <= r->file_size - 8) {
        uint64_t payload = 0;
        try {
            file_seek_from_start(f, offset);
            read_exact(f, tag, 4, "Can't read value");
            const uint32_t size = read_le32(f);
            payload = size;
            if (memcmp(tag, "fmt ", 4) == 0) {
                FmtInfo info = parse_fmt(f, size);
                r->channels = info.channels;
                r->bits_per_sample = info.bits;
                r->is_float = info.is_float;
                r->sample_rate = info.rate;
                have_fmt = true;
            } else if (memcmp(tag, "ds64", 4) == 0) {
                if (!r->is_rf64) printf("WARNING : DS64 chunk found in RIFF file\n");
                if (size < 28) throw_process_error("Invalid ds64 chunk size");
                read_le64(f);  // RIFF size
                uint64_t data_size = read_le64(f);
                read_le64(f);  // sample count
                r->chunk_table_length = read_le32(f);
                if (r->chunk_table_length != 0) throw_process_error("RF64 file with chunk table unsupported");
                ds64_data_size = data_size;
                have_ds64 = true;
            } else if (memcmp(tag, "data", 4) == 0) {
                if (r->is_rf64) {
                    if (!have_ds64) throw_process_error("Invalid data chunk size in RF64");
                    r->data_size = ds64_data_size;
                } else {
                    r->data_size = size;
                }
                r->data_offset = offset + 8;
                payload = r->data_size;
                have_data = true;
            }
        } catch (const std::exception &e) {
            printf("WARNING : failed to parse chunk in WAV : %s\n", e.what());
            break;
        } catch (...) {
            printf("WARNING : failed to parse chunk in WAV (unknown)\n");
            break;
        }
        // A 64-bit data size may run past the end of any file: stop instead of wrapping.
        if (payload > r->file_size) break;
        offset += 8 + payload + (payload & 1);
    }

    if (!have_fmt) throw_process_error("Can't find valid FMT Chunk");
    if (!have_data) throw_process_error("Can't find valid DATA Chunk");
    if (r->is_rf64 && !have_ds64) throw_process_error("Can't find valid DS64 Chunk");

    uint64_t usable = r->file_size - r->data_offset;
    if (r->data_size < usable) usable = r->data_size;
    r->bytes_per_sample_instant = uint64_t(r->bits_per_sample / 8) * r->channels;
    if (usable < r->bytes_per_sample_instant) throw_process_error("Can't calculate data samples count");
    r->nb_samples = usable / r->bytes_per_sample_instant;
    r->duration = float(r->nb_samples) / float(r->sample_rate);
}

AudioSampleFormat wav_reader_get_format(const WavReader *r) {
    if (r->is_float) {
        if (r->bits_per_sample == 32) return AudioSampleFormat_F32LE;
        if (r->bits_per_sample == 64) return AudioSampleFormat_F64LE;
        printf("ERROR : Unsupported wav quantification float %d bits\n", r->bits_per_sample);
        return AudioSampleFormat_Unsupported;
    }
    switch (r->bits_per_sample) {
    case 8: return AudioSampleFormat_U8;
    case 16: return AudioSampleFormat_S16LE;
    case 24: return AudioSampleFormat_S24LE;
    case 32: return AudioSampleFormat_S32LE;
    default:
        printf("ERROR : Unsupported wav quantification int %d bits\n", r->bits_per_sample);
        return AudioSampleFormat_Unsupported;
    }
}

uint64_t wav_reader_read_samples(WavReader *r, void *buffer, uint64_t start, uint64_t count) {
    if (start >= r->nb_samples)
        throw_process_errorf("Can't read samples (invalid start sample : %" PRIu64 " ; Max samples count : %" PRIu64,
                             start, r->nb_samples);
    const uint64_t n = count < r->nb_samples - start ? count : r->nb_samples - start;
    if (n == 0) return 0;
    const uint64_t bytes = n * r->bytes_per_sample_instant;
    if (bytes > 4294967294u || bytes / r->bytes_per_sample_instant != n)
        throw_process_error("Invalid wave size read samples");
    file_read_at(r->file, buffer, r->data_offset + start * r->bytes_per_sample_instant, bytes);
    return n;
}

uint64_t wav_reader_read_samples_locked(WavReader *r, void *buffer, uint64_t start, uint64_t count) {
    std::lock_guard<std::mutex> lock(*r->mutex);
    return wav_reader_read_samples(r, buffer, start, count);
}

void wav_reader_free(WavReader *r) {
    if (!r) return;
    if (r->file) fclose(r->file);
    free(r->path);
    delete r->mutex;
    r->file = nullptr;
    r->path = nullptr;
    r->mutex = nullptr;
}
