// Reads of driver memory: whole blocks, texts, and what a failed read leaves.
#include "decoder/driver_memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "memory_map.h"

namespace {

const unsigned char BLOCK[8] = {1, 2, 3, 4, 5, 6, 7, 8};
const char TEXTS[] = "short\0abcdefghij";  // "short" at +0, "abcdefghij" (no NUL in map) at +6
const MappedRegion REGIONS[] = {
    {0x1000, BLOCK, sizeof(BLOCK)},
    {0x2000, TEXTS, sizeof(TEXTS) - 1},  // the final NUL of the literal lies outside
};
const MemoryMap MAP = {REGIONS, 2};

const DriverMemory MEMORY = map_memory(MAP);

struct BlockCase {
    const char *description;
    uint32_t address;
    size_t count;
    bool readable;
};

TEST(DriverBlocks, BlockIsReadOnlyWhenEveryByteIs)
{
    const BlockCase cases[] = {
        {"whole region", 0x1000, 8, true},
        {"inside the region", 0x1002, 4, true},
        {"last byte", 0x1007, 1, true},
        {"runs one byte past the region", 0x1004, 5, false},
        {"starts past the region", 0x1008, 1, false},
        {"unmapped", 0x9000, 4, false},
        {"address 0", 0, 4, false},
        {"address wraps past the top", 0xFFFFFFFE, 4, false},
    };
    for (const BlockCase &c : cases) {
        SCOPED_TRACE(c.description);
        unsigned char dest[16];
        std::memset(dest, 0xA5, sizeof(dest));
        EXPECT_EQ(c.readable, read_driver_block(MEMORY, c.address, c.count, dest));
        if (c.readable) {
            EXPECT_EQ(0, std::memcmp(dest, BLOCK + (c.address - 0x1000), c.count));
        } else {
            for (size_t i = 0; i < c.count; ++i)
                EXPECT_EQ(0, dest[i]) << "a failed read leaves no bytes behind";
        }
        for (size_t i = c.count; i < sizeof(dest); ++i)
            EXPECT_EQ(0xA5, dest[i]) << "byte " << i << " written past the count";
    }
}

struct TextCase {
    const char *description;
    uint32_t address;
    size_t capacity;
    long result;
    const char *text;
};

TEST(DriverBlocks, TextEndsAtItsNulOrIsCutOrUnreadable)
{
    const TextCase cases[] = {
        {"text that fits", 0x2000, 16, 5, "short"},
        {"text that just fits", 0x2000, 6, 5, "short"},
        {"text one longer than fits", 0x2000, 5, DRIVER_TEXT_CUT, "shor"},
        {"capacity 1 holds only the NUL", 0x2000, 1, DRIVER_TEXT_CUT, ""},
        {"empty text", 0x2005, 16, 0, ""},
        {"text running into unmapped memory", 0x2006, 16, DRIVER_TEXT_UNREADABLE, ""},
        {"readable as far as the cut", 0x2006, 5, DRIVER_TEXT_CUT, "abcd"},
        {"unmapped", 0x9000, 16, DRIVER_TEXT_UNREADABLE, ""},
    };
    for (const TextCase &c : cases) {
        SCOPED_TRACE(c.description);
        char dest[32];
        std::memset(dest, 0x5A, sizeof(dest));
        EXPECT_EQ(c.result, read_driver_block(MEMORY, c.address, dest, c.capacity));
        EXPECT_STREQ(c.text, dest);
        for (size_t i = c.capacity; i < sizeof(dest); ++i)
            EXPECT_EQ(0x5A, dest[i]) << "byte " << i << " written past the capacity";
    }
}

TEST(DriverBlocks, CapacityZeroWritesNothing)
{
    char dest[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(DRIVER_TEXT_UNREADABLE, read_driver_block(MEMORY, 0x2000, dest, 0));
    EXPECT_EQ('x', dest[0]);
}

TEST(DriverMemoryWithoutReader, EveryReadFails)
{
    unsigned char block[4];
    char text[8];
    EXPECT_FALSE(read_driver_block(NO_DRIVER_MEMORY, 0x1000, sizeof(block), block));
    EXPECT_EQ(DRIVER_TEXT_UNREADABLE, read_driver_block(NO_DRIVER_MEMORY, 0x2000, text, sizeof(text)));
    EXPECT_STREQ("", text);
}

// A reader that claims more bytes than it was asked for is not believed.
size_t boastful_reader(void *, uint32_t, unsigned char *dest, size_t count)
{
    std::memset(dest, 'a', count);
    return count + 100;
}

TEST(DriverMemoryWithoutReader, ReaderClaimingTooMuchIsCutToTheRequest)
{
    const DriverMemory boastful = {boastful_reader, nullptr};
    char text[8];
    std::memset(text, 0, sizeof(text));
    EXPECT_EQ(DRIVER_TEXT_CUT, read_driver_block(boastful, 0x2000, text, sizeof(text)));
    EXPECT_STREQ("aaaaaaa", text);
}

}  // namespace
