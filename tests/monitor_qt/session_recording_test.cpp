// Recording a session from the live window: tarvel-decode of the file gives
// the lines the lists showed; a file that cannot be written stops the
// recording, says why, and the monitoring goes on.
#include <QAction>
#include <QLabel>

#include <csignal>
#include <tuple>

#include <sys/resource.h>
#include <unistd.h>

#include "session_fixture.h"

namespace {

// Scenario, compressed; compressed sessions end by closing the window,
// plain ones by File > Stop Recording.
class RecordedRoundTrip : public SessionWindowTest,
                          public testing::WithParamInterface<std::tuple<const char *, bool>> {};

TEST_P(RecordedRoundTrip, DecodingTheSessionGivesTheListsLinesInOrder) {
    const bool compressed = std::get<1>(GetParam());
    const std::string session = compressed ? "recorded.trace.gz" : "recorded.trace";
    MainWindow *window = open_window();
    QAction *record = window->menu_action(IDM_RECORD_SESSION);
    QAction *stop = window->menu_action(IDM_STOP_RECORDING);
    const uint64_t ticks = sim_play_file(source_file(std::string("scenarios/") + std::get<0>(GetParam()) + ".trace"));
    QString error;
    ASSERT_TRUE(window->start_recording(QString::fromStdString(session), 1, &error)) << error.toStdString();
    EXPECT_FALSE(record->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Line Watch - recording ") + QString::fromStdString(session)))
        << window->windowTitle().toStdString();
    rounds(ticks);
    if (compressed) {
        window->close();
    } else {
        stop->trigger();
    }
    EXPECT_FALSE(monitor_recording(*monitor_));
    EXPECT_TRUE(record->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Line Watch"));

    const std::string text = decoded(session);
    ASSERT_FALSE(escaped_rows(window->view()->status_model(1)).empty() && escaped_rows(window->view()->status_model(2)).empty());
    EXPECT_EQ(lines_of_modem(text, 1), escaped_rows(window->view()->status_model(1)));
    EXPECT_EQ(lines_of_modem(text, 2), escaped_rows(window->view()->status_model(2)));
    EXPECT_EQ(text_of("decoded.err"), "") << "closed whole, no warning of a cut file";
    const std::vector<unsigned char> bytes = file_bytes(session);
    EXPECT_EQ(bytes.size() >= 2 && bytes[0] == 0x1f && bytes[1] == 0x8b, compressed);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RecordedRoundTrip,
                         testing::Combine(testing::Values("v34-call", "fax-session", "capture-session",
                                                          "internal-errors"),
                                          testing::Bool()));

TEST_F(SessionWindowTest, AWriteErrorStopsTheRecordingSaysWhyAndMonitoringGoesOn) {
    const struct {
        const char *path;
        rlim_t limit;  // a file-size limit stands for a full disk (EFBIG for ENOSPC); 0: the file removed
        const char *reason;
    } cases[] = {
        {"gone.trace", 0, "gone.trace: the file was removed"},
        {"full.trace", 2000, "full.trace: write error: File too large"},
        {"full.trace.gz", 2000, "full.trace.gz: write error: File too large"},
    };
    // The window's own timers run it, on the wall clock: the file reaches
    // the disk once a second of it.
    monitor_->clock = monitor_wall_clock;
    MainWindow *window = open_window(true);
    activate(1);
    QAction *record = window->menu_action(IDM_RECORD_SESSION);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        QString error;
        ASSERT_TRUE(window->start_recording(QString::fromLatin1(c.path), 1, &error)) << error.toStdString();
        EXPECT_TRUE(window->recording_label()->text().startsWith(QStringLiteral("Recording ")));
        rlimit limit = saved;
        limit.rlim_cur = c.limit;
        ASSERT_EQ(c.limit == 0 ? unlink(c.path) : setrlimit(RLIMIT_FSIZE, &limit), 0);
        // Distinct lines, so that even compressed they pass the limit.
        for (int i = 0; i < 3000; ++i) sim_queue_record(status_record(1, 1, 300 + i * 7));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !monitor_recording(*monitor_); }, 4000));
        setrlimit(RLIMIT_FSIZE, &saved);
        const QString label = window->recording_label()->text();
        EXPECT_TRUE(label.startsWith(QString::fromLatin1(c.reason))) << label.toStdString();
        EXPECT_TRUE(label.endsWith(QStringLiteral("; monitoring goes on"))) << label.toStdString();
        QMessageBox *box = window->findChild<QMessageBox *>();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(box->text(), label);
        box->done(QMessageBox::Ok);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(record->isEnabled());
        // The window goes on monitoring.
        EXPECT_TRUE(QTest::qWaitFor([] { return sim_pending_records() == 0; }, 5000));
        const int rows = window->view()->status_model(1)->rowCount();
        sim_queue_record(status_record(1, 1, 8000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->view()->status_model(1)->rowCount() == rows + 1; }, 3000));
    }
    std::signal(SIGXFSZ, SIG_DFL);
    // A file that cannot even be created records nothing and says why.
    QString error;
    EXPECT_FALSE(window->start_recording(QStringLiteral("no-such-folder/s.trace"), 1, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("no-such-folder/s.trace: "))) << error.toStdString();
    EXPECT_EQ(monitor_->recording, nullptr);
}

}  // namespace
