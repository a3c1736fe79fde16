#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/core/byte_order.h"

namespace {

struct Case {
    const char *name;
    uint64_t value;
    std::vector<uint8_t> bytes;  // as stored, first byte first
    void (*store)(uint8_t *, uint64_t);
    uint64_t (*load)(const uint8_t *);
};

// Every byte distinct and with its top bit set, so a swapped, lost or sign-extended
// byte shows.
const Case kCases[] = {
    {"be16",
     0x81F2,
     {0x81, 0xF2},
     [](uint8_t *p, uint64_t v) { store_be16(p, uint16_t(v)); },
     [](const uint8_t *p) { return uint64_t(load_be16(p)); }},
    {"be32",
     0x81F2A3D4,
     {0x81, 0xF2, 0xA3, 0xD4},
     [](uint8_t *p, uint64_t v) { store_be32(p, uint32_t(v)); },
     [](const uint8_t *p) { return uint64_t(load_be32(p)); }},
    {"be64",
     0x81F2A3D4B5C6E7F8,
     {0x81, 0xF2, 0xA3, 0xD4, 0xB5, 0xC6, 0xE7, 0xF8},
     store_be64,
     [](const uint8_t *p) { return load_be64(p); }},
    {"le16",
     0x81F2,
     {0xF2, 0x81},
     [](uint8_t *p, uint64_t v) { store_le16(p, uint16_t(v)); },
     [](const uint8_t *p) { return uint64_t(load_le16(p)); }},
    {"le24",
     0x81F2A3,
     {0xA3, 0xF2, 0x81},
     [](uint8_t *p, uint64_t v) { store_le24(p, uint32_t(v)); },
     [](const uint8_t *p) { return uint64_t(load_le24(p)); }},
    {"le32",
     0x81F2A3D4,
     {0xD4, 0xA3, 0xF2, 0x81},
     [](uint8_t *p, uint64_t v) { store_le32(p, uint32_t(v)); },
     [](const uint8_t *p) { return uint64_t(load_le32(p)); }},
    {"le48",
     0x81F2A3D4B5C6,
     {0xC6, 0xB5, 0xD4, 0xA3, 0xF2, 0x81},
     store_le48,
     [](const uint8_t *p) { return load_le48(p); }},
    {"le64",
     0x81F2A3D4B5C6E7F8,
     {0xF8, 0xE7, 0xC6, 0xB5, 0xD4, 0xA3, 0xF2, 0x81},
     store_le64,
     [](const uint8_t *p) { return load_le64(p); }},
};

}  // namespace

TEST(ByteOrder, StoresExactBytesAndLoadsThemBackAtAnyOffset) {
    for (const Case &c : kCases) {
        for (size_t offset : {0u, 1u, 3u, 7u}) {
            SCOPED_TRACE(testing::Message() << c.name << " at offset " << offset);
            std::vector<uint8_t> buf(offset + c.bytes.size() + 2, 0x5A);
            c.store(buf.data() + offset, c.value);
            std::vector<uint8_t> expected(buf.size(), 0x5A);
            std::memcpy(expected.data() + offset, c.bytes.data(), c.bytes.size());
            EXPECT_EQ(buf, expected);  // the named bytes and no others
            EXPECT_EQ(c.load(buf.data() + offset), c.value);
        }
    }
}

TEST(ByteOrder, NarrowStoresKeepOnlyTheirLowBits) {
    uint8_t b[8];
    std::memset(b, 0, sizeof(b));
    store_le24(b, 0xFF123456u);
    EXPECT_EQ(b[3], 0);
    EXPECT_EQ(load_le24(b), 0x123456u);
    store_le48(b, 0xFFFF'8123'4567'89ABull);
    EXPECT_EQ(b[6], 0);
    EXPECT_EQ(load_le48(b), 0x8123'4567'89ABull);
}
