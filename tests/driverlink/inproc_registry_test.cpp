// The in-process backend's registry and device handles.
#include <gtest/gtest.h>

#include <cstring>

#include "driverlink/ioctl.h"
#include "driverlink/platform.h"
#include "simulator/inproc/platform_inproc.h"
#include "simulator/sim.h"

namespace {

const char KEY[] = "SOFTWARE\\Velmora\\Tarvel";

TEST(InprocRegistry, ReadResults) {
    struct Case {
        const char *description;
        uint32_t value_size;  // 0xFFFFFFFF: no value
        uint32_t capacity;
        ValueRead expected;
        uint32_t size_after;
    } cases[] = {
        {"fits exactly", 4, 4, VALUE_READ, 4},
        {"shorter than the buffer", 2, 4, VALUE_READ, 2},
        {"too large reports its size", 9, 4, VALUE_TOO_LARGE, 9},
        {"missing leaves size alone", 0xFFFFFFFF, 4, VALUE_MISSING, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        sim_reset();
        inproc_reset();
        unsigned char value[16];
        for (int i = 0; i < 16; ++i) {
            value[i] = (unsigned char)(0xA0 + i);
        }
        if (c.value_size != 0xFFFFFFFF) {
            sim_set_value(KEY, "TarvelSetup", value, c.value_size);
        }
        PlatformHandle key = platform_open_key(KEY, REGISTRY_QUERY);
        ASSERT_NE(key, NO_HANDLE);
        unsigned char buffer[16];
        memset(buffer, 0xEE, sizeof buffer);
        uint32_t size = c.capacity;
        EXPECT_EQ(platform_read_value(key, "TarvelSetup", buffer, &size), c.expected);
        EXPECT_EQ(size, c.size_after);
        const uint32_t copied = c.expected == VALUE_READ ? c.value_size : 0;
        for (uint32_t i = 0; i < 16; ++i) {
            EXPECT_EQ(buffer[i], i < copied ? value[i] : 0xEE) << "byte " << i;
        }
        platform_close_key(key);
        EXPECT_EQ(inproc_open_keys(), 0u);
    }
}

TEST(InprocRegistry, AccessRights) {
    sim_reset();
    inproc_reset();
    const unsigned char word[4] = {1, 0, 0, 0};
    uint32_t size = 4;
    unsigned char buffer[4];

    PlatformHandle query_only = platform_open_key(KEY, REGISTRY_QUERY);
    ASSERT_NE(query_only, NO_HANDLE);
    EXPECT_FALSE(platform_write_value(query_only, "TarvelSetup", word, 4)) << "write needs set access";
    platform_close_key(query_only);

    PlatformHandle set_only = platform_open_key(KEY, REGISTRY_SET);
    ASSERT_NE(set_only, NO_HANDLE);
    EXPECT_TRUE(platform_write_value(set_only, "TarvelSetup", word, 4));
    EXPECT_EQ(platform_read_value(set_only, "TarvelSetup", buffer, &size), VALUE_FAILED)
        << "read needs query access";
    platform_close_key(set_only);

    size = 4;
    ASSERT_TRUE(sim_get_value(KEY, "TarvelSetup", buffer, &size));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(memcmp(buffer, word, 4), 0);

    EXPECT_EQ(platform_open_key("SOFTWARE\\Nobody", REGISTRY_QUERY), NO_HANDLE);
    EXPECT_EQ(platform_read_value(NO_HANDLE, "TarvelSetup", buffer, &size), VALUE_FAILED);
    EXPECT_FALSE(platform_write_value(12345, "TarvelSetup", word, 4));
}

TEST(InprocDevice, ControlNeedsAnOpenHandle) {
    sim_reset();
    inproc_reset();
    StatusRecord record = {};
    record.code = 7;
    record.modem = 1;
    sim_queue_record(record);
    unsigned char out[40];
    uint32_t returned = 99;
    EXPECT_FALSE(platform_device_control(NO_HANDLE, IOCTL_TARVEL_GET_STATUS, nullptr, 0, out, 40, &returned));
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(sim_pending_records(), 1u) << "nothing taken through a bad handle";

    PlatformHandle dev = platform_open_device("\\\\.\\trvlmd");
    ASSERT_NE(dev, NO_HANDLE);
    EXPECT_TRUE(platform_device_control(dev, IOCTL_TARVEL_GET_STATUS, nullptr, 0, out, 40, &returned));
    EXPECT_EQ(returned, 40u);
    platform_close_device(dev);
    EXPECT_FALSE(sim_device_open());
    returned = 99;
    EXPECT_FALSE(platform_device_control(dev, IOCTL_TARVEL_GET_STATUS, nullptr, 0, out, 40, &returned));
    EXPECT_EQ(returned, 0u) << "a closed handle reports 0";
}

TEST(InprocPlatform, SleepRunsVirtualTime) {
    sim_reset();
    inproc_reset();
    platform_sleep(250);
    platform_sleep(5);
    EXPECT_EQ(sim_clock(), 255u);
    EXPECT_TRUE(platform_is_nt_family());
    inproc_set_nt_family(false);
    EXPECT_FALSE(platform_is_nt_family());
    inproc_reset();
}

}  // namespace
