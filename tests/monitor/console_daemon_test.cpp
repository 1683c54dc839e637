// LineWatch --console as a separate process against the tarvel-sim daemon:
// the lines on standard output and standard error, the capture files byte
// for byte, and the shutdown on each stop signal.
#include <gtest/gtest.h>

#include <fstream>

#include <sys/resource.h>
#include <string>
#include <vector>

#include "capture/sim_fixture.h"
#include "process_support.h"

namespace {

class ConsoleDaemonTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        world_ = directory_ + "/world";
        monitor_ = binary_path("monitor/LineWatch");
        daemon_ = binary_path("simulator/tarvel-sim");
        const char *source = std::getenv("TARVEL_SOURCE_DIR");
        data_ = std::string(source != nullptr ? source : ".") + "/tests/monitor/data/";
        ASSERT_TRUE(file_exists(monitor_) && file_exists(daemon_)) << "LineWatch or tarvel-sim not built";
    }
    void TearDown() override {
        for (pid_t pid : {monitor_pid_, daemon_pid_}) {
            if (pid > 0) {
                send_signal(pid, SIGKILL);
                wait_for(pid, 5);
            }
        }
        SimTest::TearDown();
    }

    void start_monitor(std::vector<std::string> options) {
        options.insert(options.begin(), monitor_);
        monitor_pid_ = spawn(options, world_, "monitor.out", "monitor.err");
    }
    void start_daemon(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), daemon_);
        daemon_pid_ = spawn(arguments, world_, "daemon.out", "daemon.err");
    }
    // Ends the monitor with a signal; its exit status.
    int stop_monitor(int signal) {
        send_signal(monitor_pid_, signal);
        int status = wait_for(monitor_pid_, 10);
        monitor_pid_ = -1;
        return status;
    }
    std::vector<unsigned char> monitor_setup() {
        return file_bytes(world_ + "/registry/SOFTWARE/Velmora/Tarvel/TarvelSetup");
    }

    std::string world_, monitor_, daemon_, data_;
    pid_t monitor_pid_ = -1;
    pid_t daemon_pid_ = -1;
};

std::vector<unsigned char> fill(std::vector<std::pair<size_t, unsigned char>> runs) {
    std::vector<unsigned char> bytes;
    for (const auto &run : runs) bytes.insert(bytes.end(), run.first, run.second);
    return bytes;
}

TEST_F(ConsoleDaemonTest, ScenarioGivesItsLinesAndCaptureFiles) {
    // The monitor waits for the driver, as it would for a modem to go active.
    ASSERT_EQ(mkdir(world_.c_str(), 0700), 0);
    start_monitor({"--console", "--escape"});
    start_daemon({data_ + "console-session.trace"});
    ASSERT_EQ(wait_for(daemon_pid_, 20), 0) << text_of("daemon.err");
    daemon_pid_ = -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(stop_monitor(SIGTERM), 0);
    EXPECT_EQ(text_of("monitor.out"), text_of(data_ + "console-session.expected"));
    EXPECT_EQ(text_of("monitor.err"), "0: Data Integrity Check Failed\\nRetrain forced\n"
                                      "0: Unknown internal error, code 9 \n");
    EXPECT_EQ(file_bytes("3.log"), fill({{5000, 0x11}}));
    EXPECT_EQ(file_bytes("session.rec.1"), fill({{3000, 0x33}}));
    std::vector<unsigned char> named = fill({{7000, 0x22}, {100, 0x44}});
    named.insert(named.end(), {0x0d, 0x0a, 0x00, 0xff});
    EXPECT_EQ(file_bytes("modem2.cap"), named);
    EXPECT_EQ(monitor_setup(), (std::vector<unsigned char>{0, 0, 0, 0}));
}

TEST_F(ConsoleDaemonTest, EachStopSignalClosesTheCaptureAndClearsTheFlag) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        std::ofstream("stay.trace") << "active 1\nrec 1 77 10000\nwait 300\ncap 1 fill 4321 5c\n";
        start_daemon({"--stay", "stay.trace"});
        start_monitor({"--console"});
        for (int step = 0; step < 300 && file_bytes("session.rec.1").size() < 4321; ++step) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(monitor_setup(), (std::vector<unsigned char>{1, 0, 0, 0})) << "recording while the capture runs";
        EXPECT_EQ(stop_monitor(signal), 0);
        EXPECT_EQ(file_bytes("session.rec.1"), fill({{4321, 0x5c}}));
        EXPECT_EQ(monitor_setup(), (std::vector<unsigned char>{0, 0, 0, 0}));
        send_signal(daemon_pid_, SIGTERM);
        EXPECT_EQ(wait_for(daemon_pid_, 10), 0);
        daemon_pid_ = -1;
        std::remove("session.rec.1");
    }
}

// A file-size limit (or a full disk) fails a capture write instead of
// ending the monitor: the file stays an exact prefix of what the driver
// delivered, and the flag is cleared at the stop.
TEST_F(ConsoleDaemonTest, FileSizeLimitIsAWriteFailure) {
    std::ofstream("limit.trace") << "active 1\nrec 1 77 10000\nwait 300\ncap 1 fill 60000 5c\n"
                                    "wait 300\ncap 1 fill 60000 5d\nwait 300\ncap 1 fill 10 5e\n";
    start_daemon({"--stay", "limit.trace"});
    rlimit previous;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    start_monitor({"--console"});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &previous), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(stop_monitor(SIGTERM), 0);
    EXPECT_EQ(file_bytes("session.rec.1"), fill({{60000, 0x5c}}));
    EXPECT_EQ(monitor_setup(), (std::vector<unsigned char>{0, 0, 0, 0}));
}

}  // namespace
