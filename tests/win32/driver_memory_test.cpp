// Driver memory on Windows: read in place through ReadProcessMemory where it
// is mapped (the 9x platform), never a read that can fault, and on the NT
// family not at all.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "decoder/driver_memory.h"
#include "decoder/status.h"
#include "driverlink/driver_source.h"
#include "driverlink/platform.h"
#include "driverlink/win32/win32_driver_memory.h"

namespace {

constexpr size_t PAGE = 4096;

// Two pages at a 32-bit address: the first readable, the second not.
struct MappedPages : testing::Test {
    unsigned char *base = nullptr;
    void SetUp() override {
        for (uintptr_t at = 0x10000000; base == nullptr && at < 0x70000000; at += 0x01000000) {
            base = static_cast<unsigned char *>(
                VirtualAlloc(reinterpret_cast<void *>(at), 2 * PAGE, MEM_RESERVE | MEM_COMMIT,
                             PAGE_READWRITE));
        }
        ASSERT_NE(base, nullptr);
        DWORD old = 0;
        ASSERT_TRUE(VirtualProtect(base + PAGE, PAGE, PAGE_NOACCESS, &old));
    }
    void TearDown() override { VirtualFree(base, 0, MEM_RELEASE); }
    uint32_t address(size_t offset) const {
        return uint32_t(reinterpret_cast<uintptr_t>(base) + offset);
    }
};

TEST_F(MappedPages, ReadsStopWhereReadableMemoryEnds) {
    for (size_t i = 0; i < PAGE; ++i) {
        base[i] = (unsigned char)(i * 7);
    }
    struct Case {
        const char *what;
        size_t offset;
        size_t count;
        size_t readable;
    };
    const Case cases[] = {
        {"inside the page", 100, 50, 50},
        {"up to the page's end", PAGE - 64, 64, 64},
        {"across into the unreadable page", PAGE - 10, 40, 10},
        {"wholly unreadable", PAGE + 8, 16, 0},
        {"nothing asked", 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        unsigned char dest[64];
        std::memset(dest, 0xEE, sizeof dest);
        EXPECT_EQ(read_mapped_memory(address(c.offset), dest, c.count), c.readable);
        for (size_t i = 0; i < c.readable; ++i) {
            ASSERT_EQ(dest[i], base[c.offset + i]) << i;
        }
        for (size_t i = c.readable; i < sizeof dest; ++i) {
            ASSERT_EQ(dest[i], 0xEE) << "written past what was readable at " << i;
        }
    }
    unsigned char dest[4];
    EXPECT_EQ(read_mapped_memory(0, dest, sizeof dest), 0u) << "address 0 is never read";
    EXPECT_EQ(read_mapped_memory(0xFFFFFFF0u, dest, sizeof dest), 0u);
}

StatusRecord caller_number(uint32_t address) {
    StatusRecord record = {};
    record.code = 72;
    record.param1 = 4;
    record.param2 = 7;
    record.param3 = address;
    record.modem = 1;
    return record;
}

size_t read_in_place(void *, uint32_t address, unsigned char *dest, size_t count) {
    return read_mapped_memory(address, dest, count);
}

// What the lines show: the text read in place where driver memory is mapped
// (as on the 9x platform), <unreadable> where it is not, and <unreadable>
// on the NT family even for an address that this program happens to map.
TEST_F(MappedPages, LinesShowTheTextOrUnreadable) {
    std::memcpy(base + 200, "5551234", 7);
    StatusLine line;
    const DriverMemory in_place = {read_in_place, nullptr};
    decode_status(caller_number(address(200)), in_place, line);
    EXPECT_STREQ(line, "Caller ID, telephone number: 5551234 ");
    decode_status(caller_number(address(PAGE - 3)), in_place, line);
    EXPECT_STREQ(line, "Caller ID, telephone number: <unreadable> ");
    decode_status(caller_number(0x80002000u), in_place, line);
    EXPECT_STREQ(line, "Caller ID, telephone number: <unreadable> ");

    ASSERT_TRUE(platform_is_nt_family()) << "Wine and every Windows these tests run on are NT";
    PlatformDriverSource platform;
    decode_status(caller_number(address(200)), driver_source_memory(platform), line);
    EXPECT_STREQ(line, "Caller ID, telephone number: <unreadable> ");
}

}  // namespace
