// modem_presence and device naming over the in-process simulated driver.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driverlink/device.h"
#include "driverlink/driver_source.h"
#include "simulator/inproc/platform_inproc.h"
#include "simulator/sim.h"

namespace {

// The program's link over the simulated driver, made anew by each test.
PlatformDriverSource source_;
DriverLink link_ = {&source_, "", NO_HANDLE, MONITOR_KEY, NO_HANDLE, nullptr, nullptr};

void fresh_world() {
    driver_link_close(link_);
    sim_reset();
    inproc_reset();
    driver_link_init(link_, &source_, MONITOR_KEY);
    choose_device_name(link_, true, nullptr);
}

TEST(DriverLinkNames, RegistryNamesAreTheDriversOwn) {
    EXPECT_STREQ(MONITOR_KEY, "SOFTWARE\\Velmora\\Tarvel");
    EXPECT_STREQ(RECORDER_KEY, "SOFTWARE\\Ostrand\\Tarvel");
    EXPECT_STREQ(ACTIVE_MODEMS_VALUE, "ActiveModems");
    EXPECT_STREQ(TARVEL_SETUP_VALUE, "TarvelSetup");
}

TEST(DeviceName, FamilyAndArgument) {
    const std::string chars75(75, 'x');
    const std::string chars76(76, 'y');
    struct Case {
        const char *description;
        bool nt_family;
        const char *argument;
        bool accepted;
        std::string expected;
    } cases[] = {
        {"NT family, no argument", true, nullptr, true, "\\\\.\\trvlmd"},
        {"9x platform, no argument", false, nullptr, true, "\\\\.\\TRVLM"},
        {"NT family, abc", true, "abc", true, "\\\\.\\abc"},
        {"9x platform, abc", false, "abc", true, "\\\\.\\abc"},
        {"empty argument keeps the NT default", true, "", true, "\\\\.\\trvlmd"},
        {"empty argument keeps the 9x default", false, "", true, "\\\\.\\TRVLM"},
        {"blanks are kept, case unchanged", true, " My Dev ", true, "\\\\.\\ My Dev "},
        {"75 characters fit", true, chars75.c_str(), true, "\\\\.\\" + chars75},
        {"76 characters are refused, NT default kept", true, chars76.c_str(), false, "\\\\.\\trvlmd"},
        {"76 characters are refused, 9x default kept", false, chars76.c_str(), false, "\\\\.\\TRVLM"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        memset(link_.device_name, 'Z', sizeof link_.device_name);
        EXPECT_EQ(choose_device_name(link_, c.nt_family, c.argument), c.accepted);
        EXPECT_EQ(std::string(link_.device_name), c.expected);
        EXPECT_LT(strnlen(link_.device_name, sizeof link_.device_name), sizeof link_.device_name);
    }
}

TEST(ModemPresence, CountsFromTheRegistry) {
    struct Case {
        const char *description;
        bool key_present;
        bool value_present;
        unsigned char bytes[8];
        uint32_t size;
        int expected;
    } cases[] = {
        {"0 modems", true, true, {0, 0, 0, 0}, 4, 0},
        {"1 modem", true, true, {1, 0, 0, 0}, 4, 1},
        {"2 modems", true, true, {2, 0, 0, 0}, 4, 2},
        {"3 reads as 2", true, true, {3, 0, 0, 0}, 4, 2},
        {"0xFFFFFFFF reads as 2", true, true, {0xFF, 0xFF, 0xFF, 0xFF}, 4, 2},
        {"256 (little-endian 00 01) reads as 2", true, true, {0, 1, 0, 0}, 4, 2},
        {"0x01000000 is not 1", true, true, {0, 0, 0, 1}, 4, 2},
        {"one-byte value 1", true, true, {1}, 1, 1},
        {"empty value reads as 0", true, true, {}, 0, 0},
        {"value longer than 4 bytes is a failed read: 0", true, true, {1, 0, 0, 0, 0}, 5, 0},
        {"missing value reads as 0", true, false, {}, 0, 0},
        {"missing key reads as 0", false, false, {}, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        fresh_world();
        if (!c.key_present) {
            sim_remove_key(MONITOR_KEY);
        } else if (c.value_present) {
            sim_set_value(MONITOR_KEY, ACTIVE_MODEMS_VALUE, c.bytes, c.size);
        } else {
            sim_remove_value(MONITOR_KEY, ACTIVE_MODEMS_VALUE);
        }
        EXPECT_EQ(modem_presence(link_), c.expected);
        EXPECT_LE(inproc_open_keys(), 1u) << "at most the one key that presence keeps open";
        EXPECT_EQ(link_.device != NO_HANDLE, c.expected != 0);
        EXPECT_EQ(sim_device_open(), c.expected != 0);
        EXPECT_EQ(sim_open_count(), c.expected != 0 ? 1u : 0u);
    }
}

TEST(ModemPresence, SequencesOpenAndCloseTheDevice) {
    // Each step sets ActiveModems, calls modem_presence and checks the result,
    // the device state and the number of open attempts so far.
    struct Step {
        uint32_t active;
        bool refuse_open;
        int expected;
        bool open_after;
        uint32_t opens_so_far;
    };
    struct Case {
        const char *description;
        Step steps[6];
        int step_count;
    } cases[] = {
        {"open once, stays open while nonzero", {{1, false, 1, true, 1}, {1, false, 1, true, 1}, {2, false, 2, true, 1}}, 3},
        {"2 then 0 closes on that call, nonzero reopens",
         {{2, false, 2, true, 1}, {0, false, 0, false, 1}, {0, false, 0, false, 1}, {1, false, 1, true, 2}}, 4},
        {"refused open retried on every call",
         {{1, true, 0, false, 1}, {1, true, 0, false, 2}, {2, true, 0, false, 3}, {2, false, 2, true, 4}, {2, false, 2, true, 4}}, 5},
        {"refused open, then 0: no attempt while 0",
         {{1, true, 0, false, 1}, {0, true, 0, false, 1}, {0, false, 0, false, 1}}, 3},
        {"0 with the device never opened makes no attempt", {{0, false, 0, false, 0}, {0, false, 0, false, 0}}, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        fresh_world();
        for (int i = 0; i < c.step_count; ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const Step &s = c.steps[i];
            SimFaults faults = {};
            faults.refuse_open = s.refuse_open;
            sim_set_faults(faults);
            sim_set_active_modems(s.active);
            EXPECT_EQ(modem_presence(link_), s.expected);
            EXPECT_EQ(link_.device != NO_HANDLE, s.open_after);
            EXPECT_EQ(sim_device_open(), s.open_after);
            EXPECT_EQ(inproc_open_devices(), s.open_after ? 1u : 0u);
            EXPECT_EQ(sim_open_count(), s.opens_so_far);
            EXPECT_LE(inproc_open_keys(), 1u);
        }
    }
}

TEST(ModemPresence, OpensTheChosenDeviceName) {
    struct Case {
        const char *description;
        bool nt_family;
        const char *argument;
        const char *driver_name;
        int expected;
    } cases[] = {
        {"NT default matches the driver", true, nullptr, "trvlmd", 1},
        {"9x default does not match an NT driver", false, nullptr, "trvlmd", 0},
        {"9x default matches TRVLM", false, nullptr, "TRVLM", 1},
        {"argument abc opens abc", false, "abc", "abc", 1},
        {"argument abc does not open trvlmd", true, "abc", "trvlmd", 0},
        {"blanks in the name are part of it", true, "a b", "a b", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        fresh_world();
        choose_device_name(link_, c.nt_family, c.argument);
        sim_set_device_name(c.driver_name);
        sim_set_active_modems(1);
        EXPECT_EQ(modem_presence(link_), c.expected);
        EXPECT_EQ(sim_open_count(), 1u);
    }
}

TEST(ModemPresence, ReadsTheProgramsOwnKey) {
    struct Case {
        const char *description;
        const char *key;
        uint32_t monitor_count;
        uint32_t recorder_count;
        int expected;
    } cases[] = {
        {"monitor sees its own key", MONITOR_KEY, 2, 0, 2},
        {"monitor ignores the recorder's key", MONITOR_KEY, 0, 1, 0},
        {"recorder sees its own key", RECORDER_KEY, 0, 1, 1},
        {"recorder ignores the monitor's key", RECORDER_KEY, 2, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        fresh_world();
        link_.program_key = c.key;
        const unsigned char monitor[4] = {(unsigned char)c.monitor_count, 0, 0, 0};
        const unsigned char recorder[4] = {(unsigned char)c.recorder_count, 0, 0, 0};
        sim_set_value(MONITOR_KEY, ACTIVE_MODEMS_VALUE, monitor, 4);
        sim_set_value(RECORDER_KEY, ACTIVE_MODEMS_VALUE, recorder, 4);
        EXPECT_EQ(modem_presence(link_), c.expected);
    }
    fresh_world();
}

TEST(ModemPresence, RecentCountIsReusedOnlyWhileTheDeviceIsOpenAndTheReadYoung) {
    fresh_world();
    sim_set_active_modems(2);
    EXPECT_EQ(modem_presence_recent(link_, 1000000000), 2) << "the first check reads the registry";
    sim_set_active_modems(0);
    EXPECT_EQ(modem_presence_recent(link_, 1000000000), 2) << "a young read is reused";
    EXPECT_NE(link_.device, NO_HANDLE);
    EXPECT_EQ(modem_presence_recent(link_, 0), 0) << "an old read is made again, and closes the device";
    EXPECT_EQ(link_.device, NO_HANDLE);
    sim_set_active_modems(1);
    EXPECT_EQ(modem_presence_recent(link_, 1000000000), 1) << "a count of 0 is never reused";
    driver_link_close(link_);
}

}  // namespace
