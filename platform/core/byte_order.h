#pragma once
// Integers of a fixed byte order at any address (no alignment needed). Callers bound
// every offset first: these read and write exactly the bytes named by their width.
#include <cstdint>

inline uint16_t load_be16(const uint8_t *p) { return uint16_t((uint32_t(p[0]) << 8) | p[1]); }
inline uint32_t load_be32(const uint8_t *p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint64_t load_be64(const uint8_t *p) { return (uint64_t(load_be32(p)) << 32) | load_be32(p + 4); }

inline uint16_t load_le16(const uint8_t *p) { return uint16_t(p[0] | (uint32_t(p[1]) << 8)); }
inline uint32_t load_le24(const uint8_t *p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16); }
inline uint32_t load_le32(const uint8_t *p) { return load_le24(p) | (uint32_t(p[3]) << 24); }
// The 48-bit fields of block formats (index bits), in the low bits of the result.
inline uint64_t load_le48(const uint8_t *p) { return load_le16(p) | (uint64_t(load_le32(p + 2)) << 16); }
inline uint64_t load_le64(const uint8_t *p) { return load_le32(p) | (uint64_t(load_le32(p + 4)) << 32); }

inline void store_be16(uint8_t *p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void store_be32(uint8_t *p, uint32_t v) {
    store_be16(p, uint16_t(v >> 16));
    store_be16(p + 2, uint16_t(v));
}
inline void store_be64(uint8_t *p, uint64_t v) {
    store_be32(p, uint32_t(v >> 32));
    store_be32(p + 4, uint32_t(v));
}

inline void store_le16(uint8_t *p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
// The low 24 bits of v.
inline void store_le24(uint8_t *p, uint32_t v) {
    store_le16(p, uint16_t(v));
    p[2] = uint8_t(v >> 16);
}
inline void store_le32(uint8_t *p, uint32_t v) {
    store_le24(p, v);
    p[3] = uint8_t(v >> 24);
}
// The low 48 bits of v.
inline void store_le48(uint8_t *p, uint64_t v) {
    store_le16(p, uint16_t(v));
    store_le32(p + 2, uint32_t(v >> 16));
}
inline void store_le64(uint8_t *p, uint64_t v) {
    store_le32(p, uint32_t(v));
    store_le32(p + 4, uint32_t(v >> 32));
}
