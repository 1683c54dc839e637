// The recorder program as a separate process against the tarvel-sim daemon:
// files byte-identical to what the trace delivered, the flag in the daemon's
// registry, a missing driver, and SIGTERM.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "capture/sim_fixture.h"
#include "process_support.h"

namespace {

class RecorderDaemonTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        world_ = directory_ + "/world";
        recorder_ = binary_path("recorder/recorder");
        daemon_ = binary_path("simulator/tarvel-sim");
        if (!file_exists(recorder_) || !file_exists(daemon_)) {
            GTEST_SKIP() << "recorder or tarvel-sim not built";
        }
    }
    void TearDown() override {
        if (daemon_pid_ > 0) {
            send_signal(daemon_pid_, SIGTERM);
            wait_for(daemon_pid_, 5);
        }
        SimTest::TearDown();
    }

    void start_daemon(const std::string &trace, std::vector<std::string> options = {}) {
        std::ofstream("session.trace") << trace;
        std::vector<std::string> arguments = {daemon_};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back("session.trace");
        daemon_pid_ = spawn(arguments, world_, "daemon.out", "daemon.err");
        ASSERT_TRUE(wait_for_file(world_ + "/trvlmd", 5)) << text_of("daemon.err");
    }

    std::string setup_file() { return world_ + "/registry/SOFTWARE/Ostrand/Tarvel/TarvelSetup"; }

    std::string world_;
    std::string recorder_;
    std::string daemon_;
    pid_t daemon_pid_ = -1;
};

// The bytes that "cap M fill COUNT BYTE" lines deliver, in order.
struct Fill {
    int modem;
    size_t count;
    unsigned byte;
};

TEST_F(RecorderDaemonTest, CopiesWhatTheDriverDeliveredUntilNoModemIsActive) {
    const Fill fills[] = {
        {1, 300000, 0x11}, {2, 250000, 0x21}, {1, 1, 0x12},     {1, 700000, 0x13},
        {2, 3, 0x22},      {2, 600000, 0x23}, {1, 524288, 0x14},
    };
    std::string trace = "wait 200\nactive 2\n";
    std::vector<unsigned char> expected[2];
    for (const Fill &fill : fills) {
        char line[64];
        std::snprintf(line, sizeof line, "cap %d fill %zu %02x\n", fill.modem, fill.count, fill.byte);
        trace += line;
        expected[fill.modem - 1].insert(expected[fill.modem - 1].end(), fill.count,
                                        static_cast<unsigned char>(fill.byte));
    }
    trace += "cap 2 00 01 02 03 fe ff\nwait 800\nactive 0\nwait 300\n";
    expected[1].insert(expected[1].end(), {0x00, 0x01, 0x02, 0x03, 0xfe, 0xff});
    start_daemon(trace);

    pid_t pid = spawn({recorder_}, world_, "recorder.out", "recorder.err");
    EXPECT_EQ(wait_for(pid, 20), 0);
    EXPECT_EQ(text_of("recorder.out"), "Port(s) opened\nPort(s) closed\n");
    EXPECT_EQ(text_of("recorder.err"), "");
    EXPECT_EQ(file_bytes("session.rec.1"), expected[0]);
    EXPECT_EQ(file_bytes("session.rec.2"), expected[1]);
    EXPECT_EQ(file_bytes(setup_file()), (std::vector<unsigned char>{0, 0, 0, 0}));
}

TEST_F(RecorderDaemonTest, NoDriverMeansNotInstalled) {
    // No daemon has ever run: the registry key does not exist.
    pid_t pid = spawn({recorder_}, world_, "recorder.out", "recorder.err");
    EXPECT_EQ(wait_for(pid, 10), 0);
    EXPECT_EQ(text_of("recorder.out"), "Tarvel driver not installed\n");
    EXPECT_FALSE(file_exists("session.rec.1"));
    EXPECT_FALSE(file_exists("session.rec.2"));
}

TEST_F(RecorderDaemonTest, VersionPrintsThePackageVersionAndTouchesNothing) {
    // A driver with no active modem: a recorder that went on to record
    // would set the flag and wait for a modem instead of ending.
    start_daemon("active 0\nwait 5000\n");
    const bool flag_existed = file_exists(setup_file());
    pid_t pid = spawn({recorder_, "--version"}, world_, "recorder.out", "recorder.err");
    EXPECT_EQ(wait_for(pid, 10), 0);
    EXPECT_EQ(text_of("recorder.out"), std::string("recorder ") + TARVEL_VERSION + "\n");
    EXPECT_EQ(file_exists(setup_file()), flag_existed) << "the recording flag was touched";
}

TEST_F(RecorderDaemonTest, TermSignalEndsRecordingCleanly) {
    start_daemon("active 1\ncap 1 fill 100000 5a\ncap 1 01 02 03\n", {"--stay"});
    pid_t pid = spawn({recorder_}, world_, "recorder.out", "recorder.err");
    for (int step = 0; step < 500 && text_of("recorder.out").empty(); ++step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Let the pending data be copied before the signal comes.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    send_signal(pid, SIGTERM);
    EXPECT_EQ(wait_for(pid, 10), 0);
    EXPECT_EQ(text_of("recorder.out"), "Port(s) opened\nPort(s) closed\n");
    std::vector<unsigned char> expected(100000, 0x5a);
    expected.insert(expected.end(), {0x01, 0x02, 0x03});
    EXPECT_EQ(file_bytes("session.rec.1"), expected);
    EXPECT_TRUE(file_bytes("session.rec.2").empty());
    EXPECT_EQ(file_bytes(setup_file()), (std::vector<unsigned char>{0, 0, 0, 0}));
}

}  // namespace
