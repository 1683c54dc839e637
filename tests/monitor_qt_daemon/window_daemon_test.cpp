// The Qt window against the tarvel-sim daemon, as a user runs it: the
// window's own timers, the platform's own driver, a scenario played by the
// daemon while File > Record Session records. tarvel-decode of the session
// prints exactly the lines the window's lists showed, modem by modem.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "driverlink/driver_source.h"
#include "monitor/monitor.h"
#include "monitor/qt/monitor_view.h"
#include "monitor/qt/main_window.h"
#include "monitor/session_recording.h"
#include "monitor/qt/status_model.h"
#include "monitor_qt/session_lines.h"
#include "process_support.h"

namespace {

std::string source_file(const std::string &relative) { return std::string(TARVEL_SOURCE_DIR) + "/" + relative; }

// Runs the window's event loop until the program ends, closing the warning
// boxes of driver-internal errors as they open; then a few ticks more, for
// the records the last ticks fetch.
int run_until_exit(pid_t program) {
    int status = -1;
    // A box runs its own event loop inside the tick that opened it: the
    // closer runs there too.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QMessageBox *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            box->done(QMessageBox::Ok);
        }
    });
    closer.start(10);
    const auto pump = [] {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(program, &status, WNOHANG) != program && std::chrono::steady_clock::now() < deadline) {
        pump();
    }
    const auto after = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < after) {
        pump();
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class WindowDaemonTest : public testing::TestWithParam<const char *> {
protected:
    void SetUp() override {
        directory_ = make_temp_directory("window_daemon_test");
        ASSERT_EQ(chdir(directory_.c_str()), 0);
        world_ = directory_ + "/world";
        ASSERT_EQ(mkdir(world_.c_str(), 0700), 0);
        setenv("TARVEL_SIM_DIR", world_.c_str(), 1);
    }
    std::string directory_, world_;
};

// Recorded from the scenario, then played back by the daemon from the
// recorded session: both times the session decodes to the lists' lines,
// and the played-back window shows the lines of the first.
TEST_P(WindowDaemonTest, TheRecordedSessionDecodesToTheListsLines) {
    std::string played = source_file(std::string("scenarios/") + GetParam() + ".trace");
    std::string shown[2];
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "recording the scenario" : "playing the recorded session back");
        const std::string session = directory_ + (run == 0 ? "/first.trace.gz" : "/second.trace");
        PlatformDriverSource source;
        Monitor *monitor = monitor_new(source);
        ASSERT_TRUE(monitor_start(*monitor, nullptr));
        {
            MainWindow window(*monitor);
            window.show();
            QString error;
            ASSERT_TRUE(window.start_recording(QString::fromStdString(session), 1, &error))
                << error.toStdString();
            const pid_t daemon = spawn({binary_path("simulator/tarvel-sim"), played}, world_, "daemon.out", "daemon.err");
            EXPECT_EQ(run_until_exit(daemon), 0) << text_of("daemon.err");
            window.stop_recording();
            window.view()->sync_lists();
            shown[run] = escaped_rows(window.view()->status_model(1)) + escaped_rows(window.view()->status_model(2));
            window.close();
        }
        monitor_delete(monitor);
        ASSERT_FALSE(shown[run].empty());
        const std::string text = decoded(session);
        EXPECT_EQ(lines_of_modem(text, 1) + lines_of_modem(text, 2), shown[run]);
        played = session;
    }
    EXPECT_EQ(shown[1], shown[0]);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WindowDaemonTest,
                         testing::Values("v34-call", "capture-session", "internal-errors", "v90-call"));

}  // namespace
