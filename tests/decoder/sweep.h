// A sweep of records over every code and training event with parameter values
// that reach every branch: zeros, extremes, signs, and the addresses of
// readable, partly readable and unreadable driver blocks.
#pragma once

#include <cstdint>
#include <cstring>

#include "decoder/status.h"
#include "memory_map.h"

namespace sweep {

constexpr uint32_t LONG_TEXT = 0x50000;   // 700 characters without a NUL, then 'y'...
constexpr uint32_t BLOCK = 0x60000;       // 64 bytes of 0xff
constexpr uint32_t SHORT_BLOCK = 0x70000; // 3 bytes of 0x01

struct Memory {
    char long_text[1024];
    unsigned char block[64];
    unsigned char short_block[3];
};

inline Memory build_memory()
{
    Memory m;
    std::memset(m.long_text, 'y', sizeof(m.long_text));
    std::memset(m.block, 0xff, sizeof(m.block));
    std::memset(m.short_block, 0x01, sizeof(m.short_block));
    return m;
}

inline const Memory MEMORY = build_memory();
inline const MappedRegion REGIONS[] = {
    {LONG_TEXT, MEMORY.long_text, sizeof(MEMORY.long_text)},
    {BLOCK, MEMORY.block, sizeof(MEMORY.block)},
    {SHORT_BLOCK, MEMORY.short_block, sizeof(MEMORY.short_block)},
};
inline const MemoryMap MAP = {REGIONS, 3};

inline constexpr uint32_t VALUES[] = {
    0, 1, 2, 7, 15, 106, 0x100, 0x7FFF, 0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
    LONG_TEXT, BLOCK, SHORT_BLOCK, 0x9000,
};

// Calls visit(record) for every code 0..140 (and a few far outside) with
// every value in param1 and param2 (the other parameters get the same value),
// and for every training event 0..120 with every value in param2.
template <typename Visit>
void for_each_record(Visit visit)
{
    const uint32_t far_codes[] = {0xFFFFFFFF, 0x80000000, 1000};
    auto visit_code = [&](uint32_t code) {
        for (uint32_t v1 : VALUES)
            for (uint32_t v2 : VALUES) {
                StatusRecord r{code, v1, v2, v2, v2, v2, v2, v2, v2, 1};
                visit(r);
            }
    };
    for (uint32_t code = 0; code <= 140; ++code)
        visit_code(code);
    for (uint32_t code : far_codes)
        visit_code(code);
    for (uint32_t e = 0; e <= 120; ++e)
        for (uint32_t v2 : VALUES) {
            StatusRecord r{64, e, v2, 0, 0, 0, 0, 0, 0, 1};
            visit(r);
        }
}

}  // namespace sweep
