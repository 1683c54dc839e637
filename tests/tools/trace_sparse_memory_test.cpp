// Unmapping driver memory: exactly the bytes named become unreadable, and a
// range as long as the address space costs what is mapped in it.
#include <gtest/gtest.h>

#include <string>

#include "trace/sparse_memory.h"

namespace {

TEST(SparseMemory, UnmapTakesExactlyTheBytesNamed) {
    // Mapped before each case: 0x100-0x13f and the last 8 bytes of memory.
    const struct {
        const char *description;
        uint32_t address;
        size_t count;
        std::string readable;  // one character per probed byte: 1 mapped, 0 not
    } cases[] = {
        {"nothing", 0x200, 16, "1111111111"},
        {"one byte inside a block", 0x105, 1, "1101111111"},
        {"across two blocks", 0x10f, 2, "1111001111"},
        {"whole blocks", 0x110, 32, "1111100111"},
        {"the whole address space", 1, 0xFFFFFFFFu, "0000000000"},
        {"past the end of memory", 0xFFFFFFFCu, 100, "1111111110"},
        {"from below the first block", 0x50, 0xB6, "0001111111"},
    };
    const uint32_t probes[] = {0x100, 0x104, 0x105, 0x10e, 0x10f, 0x110, 0x12f, 0x13f, 0xFFFFFFF8u, 0xFFFFFFFFu};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        SparseMemory memory;
        const unsigned char fill[64] = {};
        sparse_write(memory, 0x100, fill, 64);
        sparse_write(memory, 0xFFFFFFF8u, fill, 8);
        sparse_unmap(memory, c.address, c.count);
        std::string readable;
        for (uint32_t probe : probes) {
            unsigned char byte;
            readable += sparse_read(memory, probe, &byte, 1) == 1 ? '1' : '0';
        }
        EXPECT_EQ(readable, c.readable);
        if (c.readable.find('1') == std::string::npos) {
            EXPECT_TRUE(memory.blocks.empty());
        }
    }
}

// A thousand unmaps of all 4 GiB: instant when each costs what is mapped,
// hours when each walks its 2^28 blocks.
TEST(SparseMemory, UnmappingTheAddressSpaceCostsWhatIsMapped) {
    SparseMemory memory;
    const unsigned char text[] = "Answering call";
    for (int i = 0; i < 1000; ++i) {
        sparse_write(memory, 0x80002000u, text, sizeof text);
        sparse_unmap(memory, 1, 0xFFFFFFFFu);
    }
    EXPECT_TRUE(memory.blocks.empty());
}

}  // namespace
