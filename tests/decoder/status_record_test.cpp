// The record's byte order: ten little-endian words whatever the host.
#include "decoder/status.h"

#include <gtest/gtest.h>

namespace {

TEST(StatusRecordBytes, ReadsTenLittleEndianWords)
{
    const unsigned char raw[STATUS_RECORD_BYTES] = {
        0x40, 0x00, 0x00, 0x00,  // code 64
        0x2a, 0x00, 0x00, 0x00,  // param1 42
        0x38, 0x02, 0x0e, 0x04,  // param2 0x040E0238
        0x04, 0x03, 0x02, 0x01,  // param3 0x01020304
        0xff, 0xff, 0xff, 0xff,  // param4 0xFFFFFFFF
        0x00, 0x00, 0x00, 0x80,  // param5 0x80000000
        0x01, 0x00, 0x00, 0x00,  // param6 1
        0x00, 0x01, 0x00, 0x00,  // param7 0x100
        0xef, 0xbe, 0xad, 0xde,  // param8 0xDEADBEEF
        0x02, 0x00, 0x00, 0x00,  // modem 2
    };
    const StatusRecord r = status_record_from_bytes(raw);
    EXPECT_EQ(64u, r.code);
    EXPECT_EQ(42u, r.param1);
    EXPECT_EQ(0x040E0238u, r.param2);
    EXPECT_EQ(0x01020304u, r.param3);
    EXPECT_EQ(0xFFFFFFFFu, r.param4);
    EXPECT_EQ(0x80000000u, r.param5);
    EXPECT_EQ(1u, r.param6);
    EXPECT_EQ(0x100u, r.param7);
    EXPECT_EQ(0xDEADBEEFu, r.param8);
    EXPECT_EQ(2u, r.modem);

    unsigned char back[STATUS_RECORD_BYTES + 4];
    std::fill(std::begin(back), std::end(back), 0xA5);
    status_record_to_bytes(r, back);
    for (size_t i = 0; i < STATUS_RECORD_BYTES; ++i)
        EXPECT_EQ(raw[i], back[i]) << "byte " << i;
    for (size_t i = STATUS_RECORD_BYTES; i < sizeof(back); ++i)
        EXPECT_EQ(0xA5, back[i]) << "byte " << i << " written past the record";
}

TEST(StatusRecordBytes, WritesEachWordLowByteFirst)
{
    StatusRecord r{};
    r.code = 0x11223344;
    r.modem = 0xA1B2C3D4;
    unsigned char raw[STATUS_RECORD_BYTES];
    status_record_to_bytes(r, raw);
    const unsigned char first[4] = {0x44, 0x33, 0x22, 0x11};
    const unsigned char last[4] = {0xD4, 0xC3, 0xB2, 0xA1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(first[i], raw[i]);
        EXPECT_EQ(last[i], raw[36 + i]);
    }
    for (int i = 4; i < 36; ++i)
        EXPECT_EQ(0, raw[i]);
}

}  // namespace
