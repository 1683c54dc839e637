// Bit rates of the driver's rate codes. Plain rates are single bits; the PCM
// rates (V.90 / K56flex downstream) carry a flag bit, 0x40000000 or
// 0x80000000, beside their bit. Any other code, including several rate bits
// at once, falls back to 33600.
#include "formatting/formatting.h"

#include <array>
#include <bit>

namespace {

struct RateRow {
    uint32_t code;
    long bps;
};

constexpr RateRow RATES[] = {
    // Plain rates.
    {0x00000002, 75},
    {0x00000004, 300},
    {0x00000008, 600},
    {0x00000010, 1200},
    {0x00000020, 2400},
    {0x00000040, 4800},
    {0x00000080, 7200},
    {0x00000100, 9600},
    {0x00000200, 12000},
    {0x00000400, 14400},
    {0x00000800, 16800},
    {0x00001000, 19200},
    {0x00002000, 21600},
    {0x00004000, 24000},
    {0x00008000, 26400},
    {0x00010000, 28800},
    {0x00020000, 31200},
    {0x00040000, 33600},
    {0x00080000, 36000},
    {0x00100000, 38400},
    {0x00200000, 57600},
    {0x00400000, 115200},
    {0x00800000, 230400},
    {0x01000000, 460800},
    {0x02000000, 921600},
    // PCM rates, flag 0x40000000: 28000 + (n - 2) * 8000 / 6 for bit n.
    {0x40000004, 28000},
    {0x40000008, 29333},
    {0x40000010, 30666},
    {0x40000020, 32000},
    {0x40000040, 33333},
    {0x40000080, 34666},
    {0x40000100, 36000},
    {0x40000200, 37333},
    {0x40000400, 38666},
    {0x40000800, 40000},
    {0x40001000, 41333},
    {0x40002000, 42666},
    {0x40004000, 44000},
    {0x40008000, 45333},
    {0x40010000, 46666},
    {0x40020000, 48000},
    {0x40040000, 49333},
    {0x40080000, 50666},
    {0x40100000, 52000},
    {0x40200000, 53333},
    {0x40400000, 54666},
    {0x40800000, 56000},
    {0x41000000, 57333},
    // PCM rates, flag 0x80000000: 32000 + 2000 * n for bit n.
    {0x80000001, 32000},
    {0x80000002, 34000},
    {0x80000004, 36000},
    {0x80000008, 38000},
    {0x80000010, 40000},
    {0x80000020, 42000},
    {0x80000040, 44000},
    {0x80000080, 46000},
    {0x80000100, 48000},
    {0x80000200, 50000},
    {0x80000400, 52000},
    {0x80000800, 54000},
    {0x80001000, 56000},
    {0x80002000, 58000},
    {0x80004000, 60000},
};

// The table by flag (none, 0x40000000, 0x80000000) and bit number, so that
// a code is looked up without a search: 0 where no row has that bit.
constexpr auto RATE_BY_BIT = [] {
    std::array<std::array<long, 30>, 3> table{};
    for (const RateRow &row : RATES)
        table[row.code >> 30][std::countr_zero(row.code & 0x3FFFFFFFu)] = row.bps;
    return table;
}();

// Every row is one flag and one bit, so that the index holds it.
constexpr bool rows_are_single_bits() {
    for (const RateRow &row : RATES)
        if ((row.code >> 30) == 3 || !std::has_single_bit(row.code & 0x3FFFFFFFu))
            return false;
    return true;
}
static_assert(rows_are_single_bits());

}  // namespace

long rate_bps(uint32_t rate)
{
    const uint32_t flag = rate >> 30;
    const uint32_t bits = rate & 0x3FFFFFFFu;
    if (flag == 3 || bits == 0 || (bits & (bits - 1)) != 0)  // no single bit
        return 33600;
    const long bps = RATE_BY_BIT[flag][std::countr_zero(bits)];
    return bps != 0 ? bps : 33600;
}
