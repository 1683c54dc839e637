// Recording a session from the live window: tarvel-decode of the file gives
// the lines the lists showed; a file that cannot be written stops the
// recording, says why, and the monitoring goes on.
#include <QLabel>
#include <QMenu>

#include <csignal>
#include <memory>
#include <tuple>

#include <sys/resource.h>
#include <unistd.h>

#include "monitor/qt/session_recording.h"
#include "session_fixture.h"

namespace {

class RecordedRoundTrip : public SessionWindowTest,
                          public testing::WithParamInterface<std::tuple<const char *, bool>> {};

TEST_P(RecordedRoundTrip, DecodingTheSessionGivesTheListsLinesInOrder) {
    const std::string scenario = std::get<0>(GetParam());
    const std::string session = std::get<1>(GetParam()) ? "recorded.trace.gz" : "recorded.trace";
    MainWindow *window = open_window();
    SessionRecording *recording = window->session_recording();
    ASSERT_NE(recording, nullptr);
    EXPECT_TRUE(recording->record_action()->isEnabled());
    EXPECT_FALSE(recording->stop_action()->isEnabled());
    const uint64_t ticks = play_file(source_file("scenarios/" + scenario + ".trace"));
    QString error;
    ASSERT_TRUE(recording->start(QString::fromStdString(session), 1, &error)) << error.toStdString();
    EXPECT_FALSE(recording->record_action()->isEnabled());
    EXPECT_TRUE(recording->stop_action()->isEnabled());
    rounds(ticks);
    recording->stop_action()->trigger();
    EXPECT_FALSE(recording->recording());
    EXPECT_TRUE(recording->record_action()->isEnabled());

    const std::string shown1 = escaped_rows(window->status_model(1));
    const std::string shown2 = escaped_rows(window->status_model(2));
    ASSERT_FALSE(shown1.empty() && shown2.empty());
    const std::string text = decoded(session);
    EXPECT_EQ(lines_of_modem(text, 1), shown1);
    EXPECT_EQ(lines_of_modem(text, 2), shown2);
    const std::vector<unsigned char> bytes = file_bytes(session);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0] == 0x1f && bytes[1] == 0x8b, std::get<1>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, RecordedRoundTrip,
                         testing::Combine(testing::Values("v34-call", "fax-session", "capture-session",
                                                          "internal-errors"),
                                          testing::Bool()));

// A file-size limit stands for a full disk: writes fail with EFBIG where
// a full disk fails with ENOSPC, through the same path.
struct FileSizeLimit {
    rlimit saved{};
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_DFL);
    }
};

TEST_F(SessionWindowTest, AWriteErrorStopsTheRecordingSaysWhyAndMonitoringGoesOn) {
    const struct {
        const char *path;
        bool remove;     // the file removed under the recording
        rlim_t limit;    // else the disk full after this many bytes
        const char *reason;
    } cases[] = {
        {"gone.trace", true, 0, "gone.trace: the file was removed"},
        {"full.trace", false, 2000, "full.trace: write error: File too large"},
        {"full.trace.gz", false, 2000, "full.trace.gz: write error: File too large"},
    };
    // The window's own timers run it, on the wall clock: the file reaches
    // the disk once a second of it.
    monitor_->clock = monitor_wall_clock;
    MainWindow *window = open_window(true);
    activate(1);
    SessionRecording *recording = window->session_recording();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        QString error;
        ASSERT_TRUE(recording->start(QString::fromLatin1(c.path), 1, &error)) << error.toStdString();
        EXPECT_TRUE(recording->label()->text().startsWith(QStringLiteral("Recording ")));
        std::unique_ptr<FileSizeLimit> limit;
        if (c.remove) {
            ASSERT_EQ(unlink(c.path), 0);
        } else {
            limit = std::make_unique<FileSizeLimit>(c.limit);
        }
        // Distinct lines, so that even compressed they pass the limit.
        for (int i = 0; i < 3000; ++i) sim_queue_record(status_record(1, 1, 300 + i * 7));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !recording->recording(); }, 4000));
        limit.reset();
        const QString label = recording->label()->text();
        EXPECT_TRUE(label.startsWith(QString::fromLatin1(c.reason))) << label.toStdString();
        EXPECT_TRUE(label.endsWith(QStringLiteral("; monitoring goes on"))) << label.toStdString();
        QMessageBox *box = nullptr;
        for (QMessageBox *b : window->findChildren<QMessageBox *>()) {
            if (b->isVisible()) box = b;
        }
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), label);
        box->done(QMessageBox::Ok);
        EXPECT_TRUE(recording->record_action()->isEnabled());
        EXPECT_FALSE(recording->stop_action()->isEnabled());
        // The window goes on monitoring.
        EXPECT_TRUE(QTest::qWaitFor([] { return sim_pending_records() == 0; }, 5000));
        const int rows = window->status_model(1)->rowCount();
        sim_queue_record(status_record(1, 1, 8000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->status_model(1)->rowCount() == rows + 1; }, 3000));
    }
    // A file that cannot even be created records nothing and says why.
    QString error;
    EXPECT_FALSE(recording->start(QStringLiteral("no-such-folder/s.trace"), 1, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("no-such-folder/s.trace: "))) << error.toStdString();
    EXPECT_FALSE(recording->recording());
    EXPECT_EQ(monitor_->recording, nullptr);
}

TEST_F(SessionWindowTest, ClosingTheWindowClosesTheSessionFileWhole) {
    MainWindow *window = open_window();
    const uint64_t ticks = play_file(source_file("scenarios/v90-call.trace"));
    QString error;
    ASSERT_TRUE(window->session_recording()->start(QStringLiteral("closed.trace.gz"), 1, &error));
    rounds(ticks);
    window->close();
    EXPECT_FALSE(window->session_recording()->recording());
    std::vector<TraceDirective> trace;
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_trace_path("closed.trace.gz", &trace), TRACE_READ_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "no warning of a cut file";
    EXPECT_EQ(lines_of_modem(decoded("closed.trace.gz"), 1), escaped_rows(window->status_model(1)));
}

TEST(RecordingStatusText, NamesTheFileItsSizeAndTheTimeRecorded) {
    const struct {
        uint64_t bytes;
        int64_t us;
        const char *text;
    } cases[] = {
        {0, 0, "Recording s.trace.gz  0 bytes  0:00:00"},
        {1536, 61500000, "Recording s.trace.gz  1.5 KB  0:01:01"},
        {5u << 20, 3725000000, "Recording s.trace.gz  5.0 MB  1:02:05"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(recording_status_text(QStringLiteral("s.trace.gz"), c.bytes, c.us).toStdString(), c.text);
    }
}

}  // namespace
