// Opening a session in the Qt window: a window of its own with every line
// at once and its recorded time, the eyes at a selected line's moment, the
// replay through the monitor's own path, a live window that goes on
// monitoring beside it, and a file that is not a trace refused.
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include "monitor/qt/command_line.h"
#include "monitor/qt/session_window.h"
#include "session_fixture.h"

namespace {

template <class Window>
std::string shown_rows(Window *window) {
    return escaped_rows(window->view()->status_model(1)) + escaped_rows(window->view()->status_model(2));
}

// Each line's time, by modem.
std::vector<int64_t> line_times(const Monitor &monitor, int modem) {
    std::vector<int64_t> times;
    for (size_t i = 0; i < monitor.stores[modem - 1].count; ++i) times.push_back(line_store_time(monitor.stores[modem - 1], i));
    return times;
}

// Every line within a tick of its time in `expected`.
void expect_times_within_a_tick(const std::vector<int64_t> &times, const std::vector<int64_t> &expected) {
    ASSERT_EQ(times.size(), expected.size());
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_LE(std::llabs(times[i] - expected[i]), int64_t(TIMER_PERIOD_MS) * 1000) << "line " << i;
    }
}

class OpenedSessionTest : public SessionWindowTest, public testing::WithParamInterface<const char *> {};

TEST_P(OpenedSessionTest, AllLinesAtOnceTheEyesOfASelectedLineAndAReplayToTheEnd) {
    const std::string live = record_scenario(GetParam(), "s.trace.gz");
    MainWindow *live_window = window_.get();
    const std::string decoder = decoded("s.trace.gz");
    const auto files = directory_files();
    SessionWindow *window = open_session_window(QStringLiteral("s.trace.gz"), live_window);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isWindow() && window->isVisible());
    EXPECT_EQ(window->windowTitle().section(QLatin1Char(' '), 0, 0), QStringLiteral("s.trace.gz"));
    EXPECT_EQ(window->menu_action(IDM_RECORD_SESSION), nullptr);
    for (QAction *action : window->menuBar()->actions().first()->menu()->actions()) {
        EXPECT_FALSE(action->text().contains(QStringLiteral("Record"))) << action->text().toStdString();
    }
    // Every line at once: the file's lines, which the live lists showed,
    // each at the moment it was recorded (the live line's arrival, within a tick).
    EXPECT_EQ(shown_rows(window), lines_of_modem(decoder, 1) + lines_of_modem(decoder, 2));
    EXPECT_EQ(shown_rows(window), live);
    std::vector<int64_t> opened_times[2];
    for (int m = 1; m <= 2; ++m) {
        SCOPED_TRACE(m);
        opened_times[m - 1] = line_times(window->monitor(), m);
        expect_times_within_a_tick(opened_times[m - 1], line_times(live_window->monitor(), m));
    }
    char text[LINE_TIME_TEXT_BYTES];
    window->view()->status_model(window->view()->status_model(1)->rowCount() > 0 ? 1 : 2)->time_text(0, text);
    EXPECT_EQ(std::strlen(text), 12u) << "hh:mm:ss.mmm shown by default: " << text;

    const OpenedSession &session = window->session();
    // The first picture is the session's last points, drawn at the eye's
    // own size (the window laid out), as a selected line's are below.
    const auto expect_eyes = [&](size_t index, bool last) {
        for (int eye = 1; eye <= 2; ++eye) {
            const std::vector<EyePoint> *points =
                last ? opened_session_last_eye(session, eye) : opened_session_eye_at(session, eye, index);
            if (last && points == nullptr) continue;  // the display untouched
            EyeView *view = window->view()->eye_view(eye);
            QImage expected;
            eye_render(&expected, view->size(), view->devicePixelRatioF(), points != nullptr ? points->data() : nullptr,
                       points != nullptr ? static_cast<int>(points->size()) : 0);
            EXPECT_EQ(view->picture(), expected) << "eye " << eye;
        }
    };
    expect_eyes(0, true);
    // Selecting a line moves both eyes to the points recorded by then.
    for (int m = 1; m <= 2; ++m) {
        StatusModel *model = window->view()->status_model(m);
        for (int row = 0; row < model->rowCount(); row += std::max(1, model->rowCount() / 7)) {
            SCOPED_TRACE(row);
            window->view()->status_view(m)->setCurrentIndex(window->view()->status_view(m)->model()->index(row, 0));
            expect_eyes(opened_session_line_record(session, m, static_cast<uint64_t>(row)), false);
        }
    }

    // A step starts a replay from empty lists: one tick of the session,
    // paused (at its end for a session whose records all came in its first tick).
    const std::string opened1 = escaped_rows(window->view()->status_model(1));
    window->step_action()->trigger();
    EXPECT_EQ(window->replay().rounds, 1u);
    EXPECT_EQ(window->replay().state, window->replay().ended ? REPLAY_STOPPED : REPLAY_PAUSED);
    const std::string first1 = escaped_rows(window->view()->status_model(1));
    EXPECT_EQ(opened1.compare(0, first1.size(), first1), 0) << "the start of the list";
    EXPECT_TRUE(window->replay().ended || shown_rows(window).size() < live.size());
    // Played to the end as fast as possible: the lists hold the opened
    // lines again, each at its recorded time.
    window->speed_action(REPLAY_MAX)->trigger();
    window->play_action()->trigger();
    EXPECT_FALSE(window->play_action()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->replay().state == REPLAY_STOPPED; }, 20000));
    EXPECT_TRUE(window->replay().ended);
    EXPECT_FALSE(window->replay_timer()->isActive());
    EXPECT_TRUE(window->play_action()->isEnabled());
    EXPECT_TRUE(window->replay_text().startsWith(QStringLiteral("Replay ended"))) << window->replay_text().toStdString();
    EXPECT_EQ(shown_rows(window), live);
    for (int m = 1; m <= 2; ++m) {
        SCOPED_TRACE(m);
        expect_times_within_a_tick(line_times(window->monitor(), m), opened_times[m - 1]);
    }
    EXPECT_EQ(directory_files(), files) << "opening and replaying write no file and change none";
    window->close();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, OpenedSessionTest,
                         testing::Values("v34-call", "v90-call", "fax-session", "capture-session", "internal-errors",
                                         "caller-id-ring"));

TEST_F(SessionWindowTest, TheLiveWindowGoesOnMonitoringWhateverTheFileOpenedBesideIt) {
    {
        QFile file(QStringLiteral("notes.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("rec 1 13\nthis is no directive\n");
    }
    const struct {
        std::string path;
        const char *message;  // of the box; null: the file opens, and replays
    } cases[] = {
        {"notes.txt", "notes.txt:2:"},
        {"missing.trace", "missing.trace"},
        {source_file("scenarios/v90-call.trace"), nullptr},  // any trace opens
    };
    MainWindow *live = open_window(true);
    activate(1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        const int rows = live->view()->status_model(1)->rowCount();
        QString shown;
        if (c.message != nullptr) on_next_message_box(live, [&](QMessageBox *box) { shown = box->text(); });
        SessionWindow *window = open_session_window(QString::fromStdString(c.path), live);
        EXPECT_EQ(window != nullptr, c.message == nullptr);
        if (window != nullptr) {
            const std::string opened = shown_rows(window);
            window->speed_action(REPLAY_10X)->trigger();
            window->play_action()->trigger();
            EXPECT_TRUE(QTest::qWaitFor([&] { return window->replay().state == REPLAY_STOPPED; }, 20000));
            EXPECT_EQ(shown_rows(window), opened) << "each monitor decodes against its own driver's memory";
            window->close();
        } else {
            EXPECT_TRUE(shown.contains(QString::fromLatin1(c.message))) << shown.toStdString();
        }
        for (int i = 0; i < 40; ++i) sim_queue_record(status_record(1, 1, 7200 + i));
        EXPECT_TRUE(QTest::qWaitFor([&] { return live->view()->status_model(1)->rowCount() == rows + 40; }, 5000));
        EXPECT_EQ(row_text(live->view()->status_model(1), rows + 39), sampling_line(7239));
    }
}

TEST_F(SessionWindowTest, AFileDroppedOrNamedOnTheCommandLineOpensASession) {
    record_scenario("v34-call", "dropped.trace.gz");
    MainWindow *live = window_.get();
    const struct {
        QUrl url;
        bool accepted;
    } drops[] = {
        {QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("dropped.trace.gz"))), true},
        {QUrl(QStringLiteral("https://example.org/dropped.trace.gz")), false},
    };
    for (const auto &d : drops) {
        SCOPED_TRACE(d.url.toString().toStdString());
        QMimeData data;
        data.setUrls({d.url});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(live, &enter);
        EXPECT_EQ(enter.isAccepted(), d.accepted);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(live, &drop);
        QApplication::processEvents();
        QList<SessionWindow *> opened;
        for (SessionWindow *window : live->findChildren<SessionWindow *>()) {
            if (window->isVisible()) opened << window;
        }
        ASSERT_EQ(opened.size(), d.accepted ? 1 : 0);
        if (d.accepted) {
            EXPECT_TRUE(opened.first()->isWindow());
            EXPECT_EQ(shown_rows(opened.first()), shown_rows(live));
            opened.first()->close();
        }
    }
    // On the command line, a file that exists is a session; any other name a device.
    const struct {
        const char *argument;
        WindowCommand command;
        const char *session;
        const char *device;
    } arguments[] = {
        {"dropped.trace.gz", WINDOW_OPEN, "dropped.trace.gz", ""},
        {"no-such.trace", WINDOW_RUN, "", "no-such.trace"},
        {".", WINDOW_RUN, "", "."},
    };
    for (const auto &a : arguments) {
        SCOPED_TRACE(a.argument);
        QString device, message, session;
        EXPECT_EQ(parse_window_command_line({"LineWatch", a.argument}, &device, &message, nullptr, &session), a.command);
        EXPECT_EQ(session.toStdString(), a.session);
        EXPECT_EQ(device.toStdString(), a.device);
    }
}

}  // namespace
