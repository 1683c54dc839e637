// Names of the driver's modulation codes. The codes are single bits (0 and the
// half-duplex alias 0x8002 aside); the signal-detected bits of status code 17
// use the same values.
#include "formatting/formatting.h"

namespace {

struct ModulationRow {
    uint32_t code;
    const char *name;
};

constexpr ModulationRow MODULATIONS[] = {
    {0x00000000, "idle"},
    {0x00000001, "v.25"},
    {0x00000002, "v.8"},
    {0x00000010, "v.21"},
    {0x00000020, "v.22/v.22bis"},
    {0x00000040, "v.23"},
    {0x00000080, "v.32/v.32bis/v.32terbo"},
    {0x00000100, "v.34"},
    {0x00000200, "X2 PCM"},
    {0x00000400, "v.90"},
    {0x00000800, "k56Flex"},
    {0x00001000, "v.27ter"},
    {0x00002000, "v.29"},
    {0x00004000, "v.17"},
    {0x00008000, "v.34 half-duplex"},
    {0x00008002, "v.34 half-duplex"},
    {0x00010000, "v.34 half-duplex control channel"},
    {0x00100000, "Bell 103"},
    {0x00200000, "Bell 212"},
};

}  // namespace

const char *modulation_name(uint32_t modulation)
{
    for (const ModulationRow &row : MODULATIONS)
        if (row.code == modulation)
            return row.name;
    return "unknown";
}
