// Test fixture over the in-process simulated driver: each test runs in a
// fresh temporary directory with a freshly reset driver, registry and
// capture state.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

#include "portable_fs.h"
#ifdef _WIN32
#include "driverlink/win32/win32_files.h"
#endif

#include "capture/capture.h"
#include "decoder/driver_memory.h"
#include "driverlink/device.h"
#include "driverlink/driver_source.h"
#include "driverlink/platform.h"
#include "simulator/inproc/platform_inproc.h"
#include "simulator/sim.h"
#include "trace/trace.h"

// Capture data whose every byte depends on its position and the seed, so a
// lost, doubled or reordered chunk shows up in a content comparison.
inline std::vector<unsigned char> patterned_bytes(size_t count, unsigned seed) {
    std::vector<unsigned char> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<unsigned char>(i * 131u + (i >> 10) * 7u + seed);
    }
    return bytes;
}

inline std::vector<unsigned char> file_bytes(const std::string &name) {
    std::ifstream in(name, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline bool file_exists(const std::string &name) { return access(name.c_str(), F_OK) == 0; }

// Names in the current directory, sorted, without "." and "..".
inline std::vector<std::string> directory_names() {
    std::vector<std::string> names;
    DIR *dir = opendir(".");
    if (dir == nullptr) {
        return names;
    }
    while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// The device-control calls served since the log was last cleared, one
// "NAME INPUT COUNT" per entry with the IOCTL_TARVEL_ prefix removed.
inline std::vector<std::string> served_calls() {
    std::vector<std::string> calls;
    std::istringstream log(sim_call_log());
    std::string line;
    while (std::getline(log, line)) {
        const std::string prefix = "IOCTL_TARVEL_";
        if (line.compare(0, prefix.size(), prefix) == 0) {
            line.erase(0, prefix.size());
        }
        calls.push_back(line);
    }
    return calls;
}

// TarvelSetup under a key as raw bytes; empty optional-like result when missing.
inline bool setup_value(const char *key, std::vector<unsigned char> *bytes) {
    uint32_t size = 0;
    unsigned char probe[1];
    if (!sim_get_value(key, TARVEL_SETUP_VALUE, probe, &size) && size == 0) {
        bytes->clear();
        return false;
    }
    bytes->assign(size, 0);
    uint32_t capacity = size;
    if (size > 0 && !sim_get_value(key, TARVEL_SETUP_VALUE, bytes->data(), &capacity)) {
        bytes->clear();
        return false;
    }
    return true;
}

class SimTest : public testing::Test {
protected:
    void SetUp() override {
        char previous[4096];
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        previous_directory_ = previous;
        directory_ = make_temp_directory("tarvel-capture");
        ASSERT_FALSE(directory_.empty());
        ASSERT_EQ(chdir(directory_.c_str()), 0);

        fresh_world();
#ifdef _WIN32
        // The tests look into captures that are still being written.
        win32_files_share_reading(true);
#endif
    }

    // A driver just loaded, no handles held, the monitor's defaults.
    void fresh_world() {
        sim_reset();
        inproc_reset();
        // The reset closed the simulated device and forgot every handle.
        driver_link_init(link_, &source_, MONITOR_KEY);
        choose_device_name(link_, true, nullptr);
        capture_set_init(captures_, link_);
    }

    void TearDown() override {
        driver_link_close(link_);
        EXPECT_EQ(inproc_open_keys(), 0u) << "a registry key was left open";
        ASSERT_EQ(chdir(previous_directory_.c_str()), 0);
        ASSERT_TRUE(remove_tree(directory_));
    }

    // Makes count modems active and opens the device the way the programs do.
    void activate(uint32_t count) {
        sim_set_active_modems(count);
        ASSERT_EQ(modem_presence(link_), count > 2 ? 2 : static_cast<int>(count));
    }

    // The program's driver: the simulated one, through the platform layer.
    PlatformDriverSource source_;
    DriverLink link_;
    CaptureSet captures_;
    std::string directory_;
    std::string previous_directory_;
};

// A sampling-rate record (code 1) of a modem: the plainest record that
// gives a line.
inline StatusRecord sampling(uint32_t modem, uint32_t hz) {
    StatusRecord r{};
    r.modem = modem;
    r.code = 1;
    r.param1 = hz;
    return r;
}

// Plays a trace file into the simulated driver; the 100 ms rounds it takes,
// with a few to spare.
inline uint64_t sim_play_file(const std::string &path) {
    std::vector<TraceDirective> trace;
    EXPECT_EQ(read_trace_path(path.c_str(), &trace), TRACE_READ_OK) << path;
    uint64_t wait_ms = 0;
    for (const TraceDirective &d : trace) wait_ms += d.op == TRACE_WAIT ? d.value : 0;
    sim_play(trace.data(), trace.size());
    return wait_ms / 100 + 5;
}
