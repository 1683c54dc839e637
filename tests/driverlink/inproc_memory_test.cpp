// Driver memory through the in-process backend's reader.
#include <gtest/gtest.h>

#include <cstring>

#include "decoder/driver_memory.h"
#include "driverlink/driver_source.h"
#include "driverlink/platform.h"
#include "simulator/inproc/platform_inproc.h"
#include "simulator/sim.h"

namespace {

TEST(InprocDriverMemory, ReadDriverBlockSeesTheSimulatedMemory) {
    sim_reset();
    inproc_reset();
    const unsigned char text[] = "Answering call";  // with its NUL
    const unsigned char block[4] = {0xE0, 0xC1, 0x05, 0x00};
    sim_map_memory(0x80002000, text, sizeof text);
    sim_map_memory(0x80001000, block, 3);
    PlatformDriverSource source;
    const DriverMemory memory = driver_source_memory(source);

    char line[64];
    EXPECT_EQ(read_driver_block(memory, 0x80002000, line, sizeof line), 14);
    EXPECT_STREQ(line, "Answering call");
    unsigned char bytes[4] = {0, 0, 0, 0};
    EXPECT_TRUE(read_driver_block(memory, 0x80001000, 3, bytes));
    EXPECT_EQ(memcmp(bytes, block, 3), 0);
    EXPECT_FALSE(read_driver_block(memory, 0x80001000, 4, bytes)) << "the fourth byte is unmapped";
    EXPECT_FALSE(read_driver_block(memory, 0x90000000, 1, bytes));
}

}  // namespace
