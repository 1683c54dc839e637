// Bit rates of rate codes.
#include "formatting/formatting.h"

#include <gtest/gtest.h>

namespace {

struct RateCase {
    const char *description;
    uint32_t code;
    long expected;
};

TEST(RateBps, PlainRatesAndFallbacks)
{
    const RateCase cases[] = {
        {"0 has no entry", 0x0, 33600},
        {"0x1 has no entry", 0x1, 33600},
        {"lowest", 0x2, 75},
        {"300", 0x4, 300},
        {"600", 0x8, 600},
        {"1200", 0x10, 1200},
        {"2400", 0x20, 2400},
        {"4800", 0x40, 4800},
        {"7200", 0x80, 7200},
        {"9600", 0x100, 9600},
        {"12000", 0x200, 12000},
        {"14400", 0x400, 14400},
        {"16800", 0x800, 16800},
        {"19200", 0x1000, 19200},
        {"21600", 0x2000, 21600},
        {"24000", 0x4000, 24000},
        {"26400", 0x8000, 26400},
        {"28800", 0x10000, 28800},
        {"31200", 0x20000, 31200},
        {"33600 by its own entry", 0x40000, 33600},
        {"36000", 0x80000, 36000},
        {"38400", 0x100000, 38400},
        {"57600", 0x200000, 57600},
        {"115200", 0x400000, 115200},
        {"230400", 0x800000, 230400},
        {"460800", 0x1000000, 460800},
        {"highest", 0x2000000, 921600},
        {"bit 26 has no entry", 0x4000000, 33600},
        {"two bits", 0x30, 33600},
        {"flag 0x40000000 with bit 1", 0x40000002, 33600},
        {"flag 0x40000000 with bit 25", 0x42000000, 33600},
        {"flag 0x40000000 alone", 0x40000000, 33600},
        {"flag 0x80000000 alone", 0x80000000, 33600},
        {"flag 0x80000000 with bit 15", 0x80008000, 33600},
        {"both flags", 0xC0000004, 33600},
        {"flag 0x80000000 bit 0", 0x80000001, 32000},
        {"flag 0x40000000 bit 5", 0x40000020, 32000},
        {"flag 0x40000000 two bits", 0x40000030, 33600},
        {"all bits", 0xFFFFFFFF, 33600},
    };
    for (const RateCase &c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(c.expected, rate_bps(c.code));
    }
}

// Every PCM entry against its defining formula.
TEST(RateBps, PcmRatesFollowTheirFormulas)
{
    for (int n = 2; n <= 24; ++n) {
        SCOPED_TRACE(testing::Message() << "flag 0x40000000 bit " << n);
        EXPECT_EQ(28000 + (n - 2) * 8000 / 6, rate_bps(0x40000000u | (1u << n)));
    }
    for (int n = 0; n <= 14; ++n) {
        SCOPED_TRACE(testing::Message() << "flag 0x80000000 bit " << n);
        EXPECT_EQ(32000 + 2000 * n, rate_bps(0x80000000u | (1u << n)));
    }
}

}  // namespace
