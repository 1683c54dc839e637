// The simulated driver's core stays bounded: driver memory grows with the
// bytes defined, not the pages they touch, and capture data that nobody
// reads is capped per modem with the drop in the call log.
#include <gtest/gtest.h>

#include <malloc.h>

#include <cstring>
#include <string>
#include <vector>

#include "simulator/sim.h"
#include "simulator/sim_internal.h"

namespace {

size_t heap_in_use() {
    return mallinfo2().uordblks;
}

TEST(CoreBounds, ScatteredMemoryCostsBytesNotPages) {
    sim_reset();
    constexpr size_t SCATTERED = 20000;
    const size_t before = heap_in_use();
    for (size_t i = 0; i < SCATTERED; ++i) {
        const unsigned char byte = static_cast<unsigned char>(i);
        sim_map_memory(static_cast<uint32_t>(0x10000000u + i * 3 * 4096 + (i % 4096)), &byte, 1);
    }
    const size_t grown = heap_in_use() - before;
    EXPECT_LT(grown / SCATTERED, 128u) << "bytes of heap per byte defined";
    for (size_t i = 0; i < SCATTERED; i += 997) {
        const uint32_t address = static_cast<uint32_t>(0x10000000u + i * 3 * 4096 + (i % 4096));
        unsigned char out[2] = {0xEE, 0xEE};
        EXPECT_EQ(sim_read_memory(address, out, 2), 1u);
        EXPECT_EQ(out[0], static_cast<unsigned char>(i));
        EXPECT_EQ(sim_read_memory(address - 1, out, 1), 0u);
    }
    sim_reset();
}

// Overlapping and adjoining blocks, at the top of the address space too:
// later bytes win, gaps stay unmapped.
TEST(CoreBounds, BlocksOverlapAndAdjoin) {
    sim_reset();
    struct Block {
        uint32_t address;
        std::string bytes;
    };
    const Block blocks[] = {
        {0x1000, "abcdefgh"}, {0x1004, "XY"}, {0x0FFE, "12"}, {0x1010, "gap"},
        {0xFFFFFFFE, "zz"},   {0x1007, std::string(100, 'L')},
    };
    for (const Block &block : blocks) {
        sim_map_memory(block.address, reinterpret_cast<const unsigned char *>(block.bytes.data()),
                       block.bytes.size());
    }
    struct Read {
        uint32_t address;
        size_t count;
        std::string expected;
    };
    const Read reads[] = {
        {0x0FFE, 9, "12abcdXYg"},
        {0x1007, 101, std::string(100, 'L')},
        {0x0FFD, 4, ""},
        {0xFFFFFFFE, 8, "zz"},
        {0x2000, 1, ""},
    };
    for (const Read &read : reads) {
        SCOPED_TRACE(read.address);
        std::vector<unsigned char> out(read.count + 1, 0);
        const size_t got = sim_read_memory(read.address, out.data(), read.count);
        EXPECT_EQ(std::string(out.begin(), out.begin() + got), read.expected);
    }
    sim_reset();
}

TEST(CoreBounds, UnreadCaptureDataIsCappedAndTheDropIsLogged) {
    sim_reset();
    std::vector<unsigned char> bytes(1 << 20, 0x5A);
    size_t queued = 0;
    while (queued < SIM_CAPTURE_PENDING_MAX) {
        sim_queue_capture(1, bytes.data(), bytes.size());
        queued += bytes.size();
    }
    sim_queue_capture(1, bytes.data(), 1000);
    sim_queue_capture_fill(2, SIM_CAPTURE_PENDING_MAX + 77, 0x11);
    EXPECT_EQ(sim_pending_capture(1), SIM_CAPTURE_PENDING_MAX);
    EXPECT_EQ(sim_pending_capture(2), SIM_CAPTURE_PENDING_MAX);
    const std::string log = sim_call_log();
    EXPECT_NE(log.find("CAPTURE_DROPPED 1 " + std::to_string(queued + 1000 - SIM_CAPTURE_PENDING_MAX) + "\n"),
              std::string::npos) << log;
    EXPECT_NE(log.find("CAPTURE_DROPPED 2 77\n"), std::string::npos) << log;
    // Reading makes room again.
    std::vector<unsigned char> out(CAPTURE_BUFFER_SIZE);
    uint32_t index = 0;
    uint32_t returned = 0;
    sim_device_control(IOCTL_TARVEL_READ_CAPTURE, &index, 4, out.data(), CAPTURE_BUFFER_SIZE, &returned);
    EXPECT_EQ(returned, CAPTURE_BUFFER_SIZE);
    sim_queue_capture(1, bytes.data(), CAPTURE_BUFFER_SIZE);
    EXPECT_EQ(sim_pending_capture(1), SIM_CAPTURE_PENDING_MAX);
    sim_reset();
}

}  // namespace
