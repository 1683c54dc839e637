// Capture files against a hostile world: over-reported counts, planted
// links, write failures, and data queued in the last moments of a session.
// POSIX hosts only (links and file-size limits).
#if !defined(_WIN32)
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

#include "capture/capture.h"
#include "capture/sim_fixture.h"

namespace {

constexpr size_t CHUNK = 524288;

class CaptureHardeningTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        reset_captures(captures_);
        line_[0] = '\0';
    }
    void TearDown() override {
        reset_captures(captures_);
        SimTest::TearDown();
    }
    StatusLine line_;
};

TEST_F(CaptureHardeningTest, OverReportedCountNeverMixesTheModems) {
    activate(2);
    ASSERT_TRUE(set_capture(captures_, true, 1, "one.bin", CAPTURE_BYTE_LIMIT_MAX));
    ASSERT_TRUE(set_capture(captures_, true, 2, "two.bin", CAPTURE_BYTE_LIMIT_MAX));
    sim_queue_capture_fill(1, 4000, 0xAA);
    sim_queue_capture_fill(2, 100, 0xBB);
    SimFaults faults{};
    faults.capture_count = CHUNK;
    sim_set_faults(faults);
    drain_captures(captures_);
    std::vector<unsigned char> two = file_bytes("two.bin");
    ASSERT_EQ(two.size(), CHUNK);
    EXPECT_EQ(std::count(two.begin(), two.end(), 0xAA), 0) << "modem 1's bytes in modem 2's file";
    EXPECT_EQ(std::count(two.begin(), two.end(), 0xBB), 100);
}

TEST_F(CaptureHardeningTest, LastDataOfASessionIsReadBeforeTheDeviceCloses) {
    activate(2);
    restart_capture(captures_, 1, 10000, line_);
    restart_capture(captures_, 2, 10000, line_);
    std::vector<unsigned char> one = patterned_bytes(3000, 1);
    std::vector<unsigned char> two = patterned_bytes(5000, 2);
    sim_queue_capture(1, one.data(), one.size());
    sim_queue_capture(2, two.data(), two.size());
    sim_set_active_modems(0);  // in the same moment as the data
    drain_captures(captures_);
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_FALSE(captures_.slot[1].active);
    EXPECT_EQ(file_bytes("session.rec.1"), one);
    EXPECT_EQ(file_bytes("session.rec.2"), two);
    EXPECT_FALSE(sim_device_open());
}

TEST_F(CaptureHardeningTest, PlantedLinkIsRefusedAndItsTargetUntouched) {
    activate(1);
    ASSERT_EQ(mkdir("elsewhere", 0700), 0);
    {
        FILE *target = fopen("elsewhere/precious", "w");
        ASSERT_NE(target, nullptr);
        fputs("precious", target);
        fclose(target);
    }
    ASSERT_EQ(symlink("elsewhere/precious", "session.rec.1"), 0);
    ASSERT_EQ(symlink("elsewhere/precious", "7.log"), 0);
    ASSERT_EQ(symlink("elsewhere", "sub"), 0);  // a directory part of a driver's name
    restart_capture(captures_, 1, 10000, line_);
    EXPECT_FALSE(captures_.slot[0].active);
    uint32_t address = 0x80001000;
    for (const char *name : {"7.log", "sub/precious", "sub/victim", "sub/./victim"}) {
        SCOPED_TRACE(name);
        address += 0x1000;
        sim_map_memory(address, reinterpret_cast<const unsigned char *>(name), std::strlen(name) + 1);
        open_named_capture(captures_, 1, 1, address, line_);
        EXPECT_STREQ(line_, ("Failed to create new log file error = " + std::to_string(ELOOP)).c_str());
        EXPECT_FALSE(captures_.slot[0].active);
    }
    EXPECT_EQ(file_bytes("elsewhere/precious"), std::vector<unsigned char>({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    EXPECT_FALSE(file_exists("elsewhere/victim"));
}

// A write that fails (here a file-size limit, as with a full disk) ends
// writing to that file for good: it stays an exact prefix of the stream even
// when later, smaller chunks would fit again.
TEST_F(CaptureHardeningTest, FailedWriteEndsTheFileAsAnExactPrefix) {
    activate(1);
    ASSERT_TRUE(set_capture(captures_, true, 1, "limited.bin", CAPTURE_BYTE_LIMIT_MAX));
    std::vector<unsigned char> data = patterned_bytes(2 * CHUNK + 1000, 3);
    rlimit previous;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    void (*previous_handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = CHUNK + CHUNK / 3;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    sim_queue_capture(1, data.data(), data.size());
    for (int tick = 0; tick < 3; ++tick) {
        drain_captures(captures_);
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previous_handler);
    EXPECT_EQ(file_bytes("limited.bin"), std::vector<unsigned char>(data.begin(), data.begin() + CHUNK));
    EXPECT_TRUE(captures_.slot[0].file.write_failed);
    EXPECT_EQ(captures_.slot[0].file.bytes_written, static_cast<int64_t>(CHUNK));
}

}  // namespace

#endif  // !_WIN32
