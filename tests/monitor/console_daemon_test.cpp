// LineWatch --console as a separate process against the tarvel-sim daemon:
// the lines on standard output and standard error, the capture files byte
// for byte, the shutdown on each stop signal whatever standard output does,
// and (for every program) a closed standard output.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>

#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <string>
#include <vector>

#include "capture/sim_fixture.h"
#include "monitor/session_open.h"
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

// A session recorded against the daemon, played back by the daemon to a
// second monitor: the second shows the same lines, each at its recorded
// time within one tick, and records a session that decodes to them.
TEST_F(ConsoleDaemonTest, APlayedBackSessionShowsItsLinesAtTheirTimes) {
    ASSERT_EQ(mkdir(world_.c_str(), 0700), 0);
    const char *source = std::getenv("TARVEL_SOURCE_DIR");
    const std::string scenario = std::string(source != nullptr ? source : ".") + "/scenarios/v34-call.trace";
    std::string lines[2];
    OpenedSession sessions[2];
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "recording the scenario" : "playing the recorded session back");
        const std::string recorded = world_ + (run == 0 ? "/first.trace.gz" : "/second.trace");
        start_monitor({"--console", "--escape", "--record", recorded});
        start_daemon({run == 0 ? scenario : world_ + "/first.trace.gz"});
        ASSERT_EQ(wait_for(daemon_pid_, 60), 0) << text_of("daemon.err");
        daemon_pid_ = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_EQ(stop_monitor(SIGTERM), 0) << text_of("monitor.err");
        lines[run] = text_of("monitor.out");
        std::string error, warning;
        ASSERT_TRUE(opened_session_read(recorded.c_str(), sessions[run], error, warning)) << error;
        EXPECT_EQ(warning, "");
    }
    ASSERT_FALSE(lines[0].empty());
    EXPECT_EQ(lines[1], lines[0]);
    // Times from each session's first line: the monitor fetches a record
    // at its next tick, so a line moves by less than a tick (with a little
    // room for a loaded machine's scheduling).
    constexpr int64_t TICK_US = 100000, SLACK_US = 20000;
    for (int m = 1; m <= 2; ++m) {
        const size_t count = sessions[0].lines[m - 1].count;
        ASSERT_EQ(count, sessions[1].lines[m - 1].count) << "modem " << m;
        if (count == 0) continue;
        const int64_t base[2] = {opened_session_line_time(sessions[0], m, 0), opened_session_line_time(sessions[1], m, 0)};
        for (size_t i = 0; i < count; ++i) {
            const int64_t recorded = opened_session_line_time(sessions[0], m, i) - base[0];
            const int64_t replayed = opened_session_line_time(sessions[1], m, i) - base[1];
            EXPECT_LE(std::llabs(replayed - recorded), TICK_US + SLACK_US) << "modem " << m << " line " << i;
        }
    }
}

TEST_F(ConsoleDaemonTest, EachStopSignalClosesTheCaptureAndClearsTheFlag) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF}) {
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

// The hangs: a FIFO under the name the driver asks for is refused at once
// and the monitor goes on; a standard output whose reader stopped reading
// (a full pipe) does not hold up a stop: within a second of SIGTERM the
// capture is closed and the flag cleared, and the lost lines are reported.
TEST_F(ConsoleDaemonTest, FifoUnderADriverNameIsRefusedAtOnce) {
    ASSERT_EQ(mkfifo("pipe.cap", 0600), 0);
    std::ofstream("fifo.trace") << "active 1\nstr 0x80340000 \"pipe.cap\"\nrec 1 131 3 0x80340000\n"
                                   "wait 300\nrec 1 22 1\n";
    start_daemon({"--stay", "fifo.trace"});
    start_monitor({"--console"});
    for (int step = 0; step < 300 && text_of("monitor.out").find("Hook") == std::string::npos; ++step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(stop_monitor(SIGTERM), 0);
    EXPECT_EQ(text_of("monitor.out"), "1: Failed to create new log file error = " + std::to_string(EINVAL) +
                                          "\n1: Hook switch  ON \n");
    const std::vector<unsigned char> setup = monitor_setup();
    EXPECT_TRUE(setup.empty() || (setup[0] & 1) == 0) << "recording flag set";
}

TEST_F(ConsoleDaemonTest, StalledStandardOutputDoesNotHoldUpTheStop) {
    ASSERT_EQ(mkfifo("stalled", 0600), 0);
    const int held = open("stalled", O_RDWR | O_NONBLOCK);  // a reader that never reads
    ASSERT_GE(held, 0);
    std::string trace = "active 1\nrec 1 77 10000\nwait 300\ncap 1 fill 4321 5c\nwait 300\n";
    for (int block = 0; block < 40; ++block) {
        for (int line = 0; line < 200; ++line) {
            trace += "rec 1 22 1\n";
        }
        trace += "wait 20\n";
    }
    std::ofstream("flood.trace") << trace;
    start_daemon({"--stay", "flood.trace"});
    monitor_pid_ = spawn({monitor_, "--console"}, world_, "stalled", "monitor.err");
    int queued = 0;
    for (int step = 0; step < 1000 && queued < 60000; ++step) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ioctl(held, FIONREAD, &queued);
    }
    ASSERT_GE(queued, 60000) << "the pipe filled up";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the monitor waits on the pipe
    const auto signalled = std::chrono::steady_clock::now();
    send_signal(monitor_pid_, SIGTERM);
    const int status = wait_for(monitor_pid_, 1);
    monitor_pid_ = -1;
    const auto took = std::chrono::steady_clock::now() - signalled;
    EXPECT_EQ(status, 1);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 1000);
    EXPECT_EQ(file_bytes("session.rec.1"), fill({{4321, 0x5c}}));
    EXPECT_EQ(monitor_setup(), (std::vector<unsigned char>{0, 0, 0, 0}));
    EXPECT_NE(text_of("monitor.err").find("lines could not be written in time and are lost"), std::string::npos)
        << text_of("monitor.err");
    close(held);
}

// Lost data: a program started with standard output closed must not let
// the first file or connection it opens take descriptor 1. Each one finds
// its output closed, says so on standard error and exits with status 1; the
// recorder still records the session and clears the flag.
TEST_F(ConsoleDaemonTest, ClosedStandardOutputIsAnError) {
    const char *source = std::getenv("TARVEL_SOURCE_DIR");
    const std::string golden = std::string(source != nullptr ? source : ".") + "/tests/tools/data/golden.trace";
    struct Case {
        const char *description;
        std::vector<std::string> command;
        std::string trace;  // for a daemon that runs meanwhile, or empty
        const char *error_part;
    } cases[] = {
        {"console monitor", {monitor_, "--console"}, "active 1\nrec 1 22 1\n",
         "LineWatch: standard output could not be written; stopped\n"},
        {"recorder", {binary_path("recorder/recorder")},
         "active 1\ncap 1 fill 1000 31\nwait 500\nactive 0\nwait 300\n",
         "Standard output could not be written\n"},
        {"decoder", {binary_path("tools/tarvel-decode"), golden}, "", "tarvel-decode: write error"},
        {"simulator", {daemon_, "--version"}, "", "tarvel-sim: standard output could not be written"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        if (!c.trace.empty()) {
            std::ofstream("closed.trace") << c.trace;
            start_daemon({"--stay", "closed.trace"});
            ASSERT_TRUE(wait_for_file(world_ + "/trvlmd", 5));
        }
        const pid_t pid = spawn(c.command, world_, "", "program.err");
        EXPECT_EQ(wait_for(pid, 10), 1);
        EXPECT_NE(text_of("program.err").find(c.error_part), std::string::npos) << text_of("program.err");
        if (c.command[0] == binary_path("recorder/recorder")) {
            EXPECT_EQ(file_bytes("session.rec.1"), fill({{1000, 0x31}}));
            EXPECT_EQ(file_bytes(world_ + "/registry/SOFTWARE/Ostrand/Tarvel/TarvelSetup"),
                      (std::vector<unsigned char>{0, 0, 0, 0}));
        }
        if (daemon_pid_ > 0) {
            send_signal(daemon_pid_, SIGTERM);
            EXPECT_EQ(wait_for(daemon_pid_, 10), 0);
            daemon_pid_ = -1;
        }
    }
}

}  // namespace
