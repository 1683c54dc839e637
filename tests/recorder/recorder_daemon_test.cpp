// The recorder program as a separate process against the tarvel-sim daemon:
// files byte-identical to what the trace delivered, the flag in the daemon's
// registry, a missing driver, every termination signal, a FIFO under a
// capture name, and a second reader of the same device.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
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
    std::string monitor_setup_file() { return world_ + "/registry/SOFTWARE/Velmora/Tarvel/TarvelSetup"; }

    void stop_daemon() {
        send_signal(daemon_pid_, SIGTERM);
        EXPECT_EQ(wait_for(daemon_pid_, 10), 0);
        daemon_pid_ = -1;
    }

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

TEST_F(RecorderDaemonTest, VersionAndHelpPrintTheirTextAndTouchNothing) {
    const struct {
        const char *option;
        std::string starts;  // what the output starts with
    } cases[] = {
        {"--version", std::string("recorder ") + TARVEL_VERSION + "\n"},
        {"--help", "Usage: recorder [DEVICE]\n"},
    };
    // A driver with no active modem: a recorder that went on to record
    // would set the flag and wait for a modem instead of ending.
    start_daemon("active 0\nwait 5000\n");
    const bool flag_existed = file_exists(setup_file());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.option);
        pid_t pid = spawn({recorder_, c.option}, world_, "recorder.out", "recorder.err");
        EXPECT_EQ(wait_for(pid, 10), 0);
        EXPECT_EQ(text_of("recorder.out").rfind(c.starts, 0), 0u) << text_of("recorder.out");
        EXPECT_EQ(file_exists(setup_file()), flag_existed) << "the recording flag was touched";
    }
}

// Every signal that would end the recorder ends it the way SIGTERM does:
// everything copied, files closed, flag cleared, status 0.
TEST_F(RecorderDaemonTest, EveryTerminationSignalEndsRecordingCleanly) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF}) {
        SCOPED_TRACE(strsignal(signal));
        start_daemon("active 1\ncap 1 fill 100000 5a\ncap 1 01 02 03\n", {"--stay"});
        pid_t pid = spawn({recorder_}, world_, "recorder.out", "recorder.err");
        for (int step = 0; step < 500 && text_of("recorder.out").empty(); ++step) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // Let the pending data be copied before the signal comes.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        send_signal(pid, signal);
        EXPECT_EQ(wait_for(pid, 10), 0);
        EXPECT_EQ(text_of("recorder.out"), "Port(s) opened\nPort(s) closed\n");
        std::vector<unsigned char> expected(100000, 0x5a);
        expected.insert(expected.end(), {0x01, 0x02, 0x03});
        EXPECT_EQ(file_bytes("session.rec.1"), expected);
        EXPECT_TRUE(file_bytes("session.rec.2").empty());
        EXPECT_EQ(file_bytes(setup_file()), (std::vector<unsigned char>{0, 0, 0, 0}));
        stop_daemon();
    }
}

// A FIFO planted as session.rec.1: the create fails at once with a clear
// error instead of waiting for a reader, modem 2 is still recorded, and
// SIGTERM ends the recorder with the flag cleared.
TEST_F(RecorderDaemonTest, FifoUnderTheCaptureNameNeverBlocks) {
    ASSERT_EQ(mkfifo("session.rec.1", 0600), 0);
    start_daemon("active 2\ncap 2 fill 5000 22\n", {"--stay"});
    pid_t pid = spawn({recorder_}, world_, "recorder.out", "recorder.err");
    for (int step = 0; step < 500 && file_bytes("session.rec.2").size() < 5000; ++step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    send_signal(pid, SIGTERM);
    EXPECT_EQ(wait_for(pid, 5), 0);
    EXPECT_EQ(text_of("recorder.err"), "Creating session.rec.1 failed, error = " + std::to_string(EINVAL) +
                                           " (something other than a regular file has that name)\n");
    EXPECT_EQ(file_bytes("session.rec.2"), std::vector<unsigned char>(5000, 0x22));
    EXPECT_EQ(file_bytes(setup_file()), (std::vector<unsigned char>{0, 0, 0, 0}));
    struct stat info;
    EXPECT_TRUE(lstat("session.rec.1", &info) == 0 && S_ISFIFO(info.st_mode));
}

// One program at a time reads a device's capture data. A second recorder (in
// the same folder or another) or a recorder beside a capturing monitor says
// so, exits with status 1 and touches nothing: the first reader's file gets
// every byte and the flag stays set until the first reader ends. A monitor
// beside a recorder cannot start its capture and says so in its status line.
TEST_F(RecorderDaemonTest, SecondReaderOfTheDeviceReadsNothingAndChangesNothing) {
    const std::string monitor = binary_path("monitor/LineWatch");
    ASSERT_TRUE(file_exists(monitor)) << "LineWatch not built";
    ASSERT_EQ(mkdir("other", 0700), 0);
    const std::string refused = "Another program is reading the capture data of \\\\.\\trvlmd; nothing recorded\n";
    struct Case {
        const char *description;
        bool monitor_first;   // else a recorder is the first reader
        bool second_is_monitor;
        const char *second_folder;
    } cases[] = {
        {"two recorders in one folder", false, false, "."},
        {"two recorders in two folders", false, false, "other"},
        {"a recorder beside the monitor", true, false, "other"},
        {"the monitor beside a recorder", false, true, "other"},
    };
    // Capture data arrives in chunks for a while, after a restart request
    // that starts a monitor's capture.
    std::string trace = "active 1\nrec 1 77 10000\nwait 600\n";
    std::vector<unsigned char> all;
    for (unsigned chunk = 0; chunk < 16; ++chunk) {
        char line[64];
        std::snprintf(line, sizeof line, "cap 1 fill 50000 %02x\nwait 100\n", 0x10 + chunk);
        trace += line;
        all.insert(all.end(), 50000, static_cast<unsigned char>(0x10 + chunk));
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        start_daemon(trace + "active 0\nwait 300\n");
        const std::vector<std::string> first_program =
            c.monitor_first ? std::vector<std::string>{monitor, "--console"} : std::vector<std::string>{recorder_};
        const pid_t first = spawn(first_program, world_, "first.out", "first.err");
        const std::string first_flag = c.monitor_first ? monitor_setup_file() : setup_file();
        for (int step = 0; step < 500 && file_bytes(first_flag) != std::vector<unsigned char>{1, 0, 0, 0}; ++step) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_EQ(file_bytes(first_flag), (std::vector<unsigned char>{1, 0, 0, 0}));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const std::string second_out = directory_ + "/second.out";
        const std::string second_err = directory_ + "/second.err";
        const std::vector<std::string> second_program =
            c.second_is_monitor ? std::vector<std::string>{monitor, "--console"} : std::vector<std::string>{recorder_};
        const pid_t second = spawn(second_program, world_, second_out, second_err, c.second_folder);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(file_bytes(first_flag), (std::vector<unsigned char>{1, 0, 0, 0})) << "flag left as it was";
        if (c.second_is_monitor) {
            // The monitor sees the restart request and cannot start its capture.
            ASSERT_EQ(wait_for(daemon_pid_, 20), 0);
            daemon_pid_ = -1;
            send_signal(second, SIGTERM);
            EXPECT_EQ(wait_for(second, 10), 0);
            EXPECT_NE(text_of(second_out).find("1: Failed to create new log file: another program is "
                                               "reading this device's capture data\n"),
                      std::string::npos)
                << text_of(second_out);
            EXPECT_FALSE(file_exists("other/session.rec.1"));
        } else {
            EXPECT_EQ(wait_for(second, 10), 1);
            EXPECT_EQ(text_of(second_err), refused);
            EXPECT_EQ(text_of(second_out), "");
            ASSERT_EQ(wait_for(daemon_pid_, 20), 0);
            daemon_pid_ = -1;
        }
        if (c.monitor_first) {
            send_signal(first, SIGTERM);
        }
        EXPECT_EQ(wait_for(first, 10), 0);
        const std::vector<unsigned char> got = file_bytes("session.rec.1");
        EXPECT_EQ(got.size(), all.size());
        EXPECT_TRUE(got == all) << "the first reader got every byte, in order";
        EXPECT_EQ(file_bytes(first_flag), (std::vector<unsigned char>{0, 0, 0, 0}));
        std::remove("session.rec.1");
        std::remove("session.rec.2");
        std::remove("other/session.rec.1");
        std::remove("other/session.rec.2");
    }
}

}  // namespace
