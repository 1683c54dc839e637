// Opening a session in the Qt window: a window of its own with every line
// at once and its recorded time, the eyes at a selected line's moment, the
// replay through the monitor's own path, and a file that is not a trace
// refused without touching anything.
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "monitor/qt/command_line.h"
#include "monitor/qt/session_recording.h"
#include "monitor/qt/session_window.h"
#include "session/session_lines.h"
#include "session_fixture.h"

namespace {

// What the decoder's walk gives for each modem's list, escaped as the rows are.
std::string trace_rows(const std::vector<TraceDirective> &trace) {
    std::string lists[2];
    struct Walk {
        std::string *lists;
    } walk{lists};
    trace_lines(
        trace,
        [](void *context, const TraceDirective &record, const char *line) {
            const uint32_t modem = record.record.modem;
            if (line[0] != '\0' && (modem == 1 || modem == 2)) {
                std::vector<char> escaped(4 * std::strlen(line) + 2);
                escape_line(line, escaped.data(), escaped.size());
                static_cast<Walk *>(context)->lists[modem - 1] += std::to_string(modem) + ": " + escaped.data();
            }
            return true;
        },
        &walk);
    return lists[0] + lists[1];
}

std::string shown_rows(MainWindow *window) {
    return escaped_rows(window->status_model(1)) + escaped_rows(window->status_model(2));
}

class OpenedSessionTest : public SessionWindowTest, public testing::WithParamInterface<const char *> {};

TEST_P(OpenedSessionTest, AllLinesAtOnceWithRecordedTimesAndTheEyesOfASelectedLine) {
    const std::string live = record_scenario(GetParam(), "s.trace.gz");
    MainWindow *live_window = window_.get();
    const auto files = directory_files();

    SessionWindow *window = open_session_window(QStringLiteral("s.trace.gz"), live_window);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isWindow() && window->isVisible());
    EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("s.trace.gz"))) << window->windowTitle().toStdString();
    EXPECT_EQ(window->session_recording(), nullptr);
    for (QAction *action : window->menuBar()->actions().first()->menu()->actions()) {
        EXPECT_FALSE(action->text().contains(QStringLiteral("Record"))) << action->text().toStdString();
    }
    // Every line at once: those the decoder walk gives, which the live lists showed.
    EXPECT_EQ(shown_rows(window), trace_rows(window->session().trace));
    EXPECT_EQ(shown_rows(window), live);

    // Each line's time is the moment it was recorded: the live line's
    // arrival, within one tick.
    for (int m = 1; m <= 2; ++m) {
        const LineStore &opened = window->monitor().stores[m - 1];
        const LineStore &shown_live = live_window->monitor().stores[m - 1];
        ASSERT_EQ(opened.count, shown_live.count);
        for (size_t i = 0; i < opened.count; ++i) {
            const int64_t difference = line_store_time(opened, i) - line_store_time(shown_live, i);
            EXPECT_LE(std::llabs(difference), int64_t(TIMER_PERIOD_MS) * 1000) << "modem " << m << " line " << i;
        }
    }
    char text[LINE_TIME_TEXT_BYTES];
    window->status_model(window->status_model(1)->rowCount() > 0 ? 1 : 2)->time_text(0, text);
    EXPECT_EQ(std::strlen(text), 12u) << "hh:mm:ss.mmm shown by default: " << text;

    // Selecting a line moves both eyes to the points recorded by then.
    const OpenedSession &session = window->session();
    int moved = 0;
    for (int m = 1; m <= 2; ++m) {
        StatusModel *model = window->status_model(m);
        for (int row = 0; row < model->rowCount(); row += std::max(1, model->rowCount() / 7)) {
            SCOPED_TRACE(row);
            StatusView *view = window->status_view(m);
            view->setCurrentIndex(view->model()->index(row, 0));
            const size_t index = opened_session_line_record(session, m, static_cast<uint64_t>(row));
            for (int eye = 1; eye <= 2; ++eye) {
                const std::vector<EyePoint> *points = opened_session_eye_at(session, eye, index);
                QImage expected;
                eye_render(&expected, window->eye_view(eye)->size(), window->eye_view(eye)->devicePixelRatioF(),
                           points != nullptr ? points->data() : nullptr,
                           points != nullptr ? static_cast<int>(points->size()) : 0);
                EXPECT_EQ(window->eye_view(eye)->picture(), expected) << "eye " << eye;
                moved += points != nullptr ? 1 : 0;
            }
        }
    }
    EXPECT_GT(moved, 0) << "the scenario has eye points";
    EXPECT_EQ(directory_files(), files) << "opening writes no file and changes none";
    window->close();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, OpenedSessionTest, testing::Values("v34-call", "v90-call", "fax-session"));

class ReplayedSessionTest : public SessionWindowTest, public testing::WithParamInterface<const char *> {};

TEST_P(ReplayedSessionTest, PlayedToTheEndAtFullSpeedTheListsHoldTheOpenedLines) {
    record_scenario(GetParam(), "s.trace");
    const auto files = directory_files();
    SessionWindow *window = open_session_window(QStringLiteral("s.trace"), window_.get());
    ASSERT_NE(window, nullptr);
    const std::string opened = shown_rows(window);
    const std::string opened1 = escaped_rows(window->status_model(1));
    ASSERT_FALSE(opened.empty());
    std::vector<int64_t> opened_times[2];
    for (int m = 0; m < 2; ++m) {
        const LineStore &store = window->monitor().stores[m];
        for (size_t i = 0; i < store.count; ++i) opened_times[m].push_back(line_store_time(store, i));
    }

    // A step starts a replay from empty lists: one tick of the session,
    // paused (or at its end, for a session whose records all came in its
    // first tick).
    window->step_action()->trigger();
    EXPECT_EQ(window->replay().rounds, 1u);
    EXPECT_EQ(window->replay().state, window->replay().ended ? REPLAY_STOPPED : REPLAY_PAUSED);
    const std::string first1 = escaped_rows(window->status_model(1));
    if (!window->replay().ended) {
        EXPECT_LT(shown_rows(window).size(), opened.size());
    }
    EXPECT_EQ(opened1.compare(0, first1.size(), first1), 0) << "the start of the list";

    window->speed_action(REPLAY_MAX)->trigger();
    window->play_action()->trigger();
    EXPECT_TRUE(window->replay_timer()->isActive());
    EXPECT_FALSE(window->play_action()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->replay().state == REPLAY_STOPPED; }, 20000));
    EXPECT_TRUE(window->replay().ended);
    EXPECT_FALSE(window->replay_timer()->isActive());
    EXPECT_TRUE(window->play_action()->isEnabled());
    EXPECT_TRUE(window->replay_text().startsWith(QStringLiteral("Replay ended"))) << window->replay_text().toStdString();
    EXPECT_EQ(shown_rows(window), opened);
    // Each replayed line at its recorded time, within a tick.
    for (int m = 0; m < 2; ++m) {
        const LineStore &store = window->monitor().stores[m];
        ASSERT_EQ(store.count, opened_times[m].size());
        for (size_t i = 0; i < store.count; ++i) {
            EXPECT_LE(std::llabs(line_store_time(store, i) - opened_times[m][i]), int64_t(TIMER_PERIOD_MS) * 1000)
                << "modem " << m + 1 << " line " << i;
        }
    }
    EXPECT_EQ(directory_files(), files) << "a replay writes no capture file and changes none";
    window->close();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ReplayedSessionTest,
                         testing::Values("v34-call", "capture-session", "internal-errors", "caller-id-ring"));

TEST_F(SessionWindowTest, TheLiveWindowGoesOnMonitoringWhileASessionReplaysBesideIt) {
    MainWindow *live = open_window(true);
    activate(1);
    // Any trace opens; this one's lines read driver memory of its own.
    SessionWindow *window = open_session_window(QString::fromStdString(source_file("scenarios/v90-call.trace")), live);
    ASSERT_NE(window, nullptr);
    const std::string opened = shown_rows(window);
    window->speed_action(REPLAY_10X)->trigger();
    window->play_action()->trigger();
    for (int i = 0; i < 40; ++i) sim_queue_record(status_record(1, 1, 7200 + i));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->replay().state == REPLAY_STOPPED; }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return live->status_model(1)->rowCount() == 40; }, 5000));
    EXPECT_EQ(row_text(live->status_model(1), 39), sampling_line(7239));
    EXPECT_EQ(shown_rows(window), opened) << "each monitor decodes against its own driver's memory";
    window->close();
}

TEST_F(SessionWindowTest, AFileThatIsNotATraceIsNamedByLineAndTheLiveWindowGoesOn) {
    const struct {
        const char *name;
        const char *content;
        const char *message;
    } cases[] = {
        {"notes.txt", "rec 1 13\nthis is no directive\n", "notes.txt:2:"},
        {"missing.trace", nullptr, "missing.trace"},
    };
    MainWindow *window = open_window(true);
    activate(1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.content != nullptr) {
            QFile file(QString::fromLatin1(c.name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.content);
        }
        const QWidgetList before = QApplication::topLevelWidgets();
        QString shown;
        on_next_message_box(window, [&](QMessageBox *box) { shown = box->text(); });
        EXPECT_EQ(open_session_window(QString::fromLatin1(c.name), window), nullptr);
        EXPECT_TRUE(shown.contains(QString::fromLatin1(c.message))) << shown.toStdString();
        EXPECT_EQ(QApplication::topLevelWidgets().size(), before.size());
        // The live window keeps monitoring.
        const int rows = window->status_model(1)->rowCount();
        sim_queue_record(status_record(1, 1, 9600));
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->status_model(1)->rowCount() == rows + 1; }, 3000));
    }
}

TEST_F(SessionWindowTest, AFileDroppedOnTheLiveWindowOpensInAWindowOfItsOwn) {
    record_scenario("v34-call", "dropped.trace.gz");
    MainWindow *live = window_.get();
    const struct {
        QUrl url;
        bool accepted;
    } cases[] = {
        {QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("dropped.trace.gz"))), true},
        {QUrl(QStringLiteral("https://example.org/dropped.trace.gz")), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url.toString().toStdString());
        QMimeData data;
        data.setUrls({c.url});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(live, &enter);
        EXPECT_EQ(enter.isAccepted(), c.accepted);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(live, &drop);
        QApplication::processEvents();
        QList<MainWindow *> opened;
        for (MainWindow *window : live->findChildren<MainWindow *>()) {
            if (window->isVisible() && window->role() == WINDOW_SESSION) opened << window;
        }
        ASSERT_EQ(opened.size(), c.accepted ? 1 : 0);
        if (c.accepted) {
            EXPECT_TRUE(opened.first()->isWindow());
            EXPECT_EQ(opened.first()->windowTitle().section(QLatin1Char(' '), 0, 0), QStringLiteral("dropped.trace.gz"));
            EXPECT_EQ(shown_rows(opened.first()), shown_rows(live));
            opened.first()->close();
            QApplication::processEvents();
        }
    }
}

TEST_F(SessionWindowTest, AFileOnTheCommandLineOpensASessionAnyOtherNameIsADevice) {
    {
        QFile file(QStringLiteral("s.trace"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const struct {
        const char *argument;
        WindowCommand command;
        const char *session;
        const char *device;
    } cases[] = {
        {"s.trace", WINDOW_OPEN, "s.trace", ""},
        {"no-such.trace", WINDOW_RUN, "", "no-such.trace"},
        {".", WINDOW_RUN, "", "."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.argument);
        QString device, message, session;
        EXPECT_EQ(parse_window_command_line({"LineWatch", c.argument}, &device, &message, nullptr, &session),
                  c.command);
        EXPECT_EQ(session.toStdString(), c.session);
        EXPECT_EQ(device.toStdString(), c.device);
    }
}

}  // namespace
