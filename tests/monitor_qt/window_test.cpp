// The main window: menus and check marks, child close buttons, the 2 x 2
// layout, the About box, the timers, the shutdown and the command line.
#include <QAction>
#include <QMenuBar>
#include <QPointer>

#include "capture/intake.h"
#include "monitor/qt/command_line.h"
#include "monitor/qt/stop_signals.h"

#include <csignal>
#include <cstring>
#include "window_fixture.h"

TEST_F(WindowTest, MenusFollowTheMenuTableWithTogglesCheckedAtStart) {
    MainWindow *window = open_window();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Line Watch"));
    QStringList popups;
    for (QAction *popup : window->menuBar()->actions()) {
        popups << popup->text();
    }
    // The table's menus, and View (the lists' options) before Help.
    EXPECT_EQ(popups, (QStringList{"&File", "&Monitor", "&Eye", "&View", "&Help"}));
    for (const MenuRow &row : MENU_ROWS) {
        SCOPED_TRACE(row.item);
        QAction *action = window->menu_action(row.id);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), QString::fromLatin1(row.qt_item));
        EXPECT_EQ(action->isCheckable(), row.checkable);
        EXPECT_EQ(action->isChecked(), row.checked);
    }
}

TEST_F(WindowTest, EachToggleHidesAndShowsItsChildWithItsCheckMark) {
    MainWindow *window = open_window();
    struct Row {
        int id;
        int child;
        int *flag;
    } rows[] = {
        {IDM_MONITOR_1, CHILD_STATUS_1, &monitor_->visible.status[0]},
        {IDM_MONITOR_2, CHILD_STATUS_2, &monitor_->visible.status[1]},
        {IDM_EYE_1, CHILD_EYE_1, &monitor_->visible.eye[0]},
        {IDM_EYE_2, CHILD_EYE_2, &monitor_->visible.eye[1]},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.id);
        QAction *action = window->menu_action(row.id);
        // The user's path: the action toggles its own check, the core decides.
        for (bool shown : {false, true, false, true}) {
            action->trigger();
            EXPECT_EQ(action->isChecked(), shown);
            EXPECT_EQ(window->view()->child(row.child)->isVisible(), shown);
            EXPECT_EQ(*row.flag, shown ? 1 : 0);
            // Only this child changed.
            for (const Row &other : rows) {
                if (other.child != row.child) {
                    EXPECT_TRUE(window->view()->child(other.child)->isVisible()) << other.child;
                    EXPECT_TRUE(window->menu_action(other.id)->isChecked()) << other.id;
                }
            }
        }
    }
}

TEST_F(WindowTest, CloseButtonHidesAndUnchecksWithoutDestroying) {
    MainWindow *window = open_window();
    for (const ChildRow &row : CHILD_ROWS) {
        SCOPED_TRACE(row.caption);
        QPointer<ChildWindow> child = window->view()->child(row.id);
        EXPECT_EQ(child->windowTitle(), QString::fromLatin1(row.caption));
        EXPECT_TRUE(child->close() == false);  // the close is refused: the child lives on
        QApplication::processEvents();
        ASSERT_FALSE(child.isNull());
        EXPECT_FALSE(child->isVisible());
        EXPECT_FALSE(window->menu_action(row.menu_id)->isChecked());
        // The menu shows it again.
        window->menu_action(row.menu_id)->trigger();
        EXPECT_TRUE(child->isVisible());
        EXPECT_TRUE(window->menu_action(row.menu_id)->isChecked());
    }
}

TEST_F(WindowTest, EveryResizeLaysOutTheChildrenTwoByTwoHiddenOnesToo) {
    MainWindow *window = open_window();
    window->command(IDM_EYE_2);  // a hidden child is moved as well
    struct Row {
        int width, height;
        QRect eye1, eye2, status1, status2;
    } rows[] = {
        {801, 601, {0, 0, 400, 300}, {400, 0, 400, 300}, {0, 300, 400, 300}, {400, 300, 400, 300}},
        {640, 480, {0, 0, 320, 240}, {320, 0, 320, 240}, {0, 240, 320, 240}, {320, 240, 320, 240}},
        {1001, 700, {0, 0, 500, 350}, {500, 0, 500, 350}, {0, 350, 500, 350}, {500, 350, 500, 350}},
    };
    const QSize frame = window->size() - window->view()->child_area()->viewport()->size();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.width);
        window->resize(QSize(row.width, row.height) + frame);
        QApplication::processEvents();
        ASSERT_EQ(window->view()->child_area()->viewport()->size(), QSize(row.width, row.height));
        EXPECT_EQ(window->view()->child(CHILD_EYE_1)->geometry(), row.eye1);
        EXPECT_EQ(window->view()->child(CHILD_EYE_2)->geometry(), row.eye2);
        EXPECT_EQ(window->view()->child(CHILD_STATUS_1)->geometry(), row.status1);
        EXPECT_EQ(window->view()->child(CHILD_STATUS_2)->geometry(), row.status2);
    }
    // Showing a child again keeps its place.
    window->command(IDM_EYE_2);
    QApplication::processEvents();
    EXPECT_EQ(window->view()->child(CHILD_EYE_2)->geometry(), rows[2].eye2);
}

TEST_F(WindowTest, AboutBoxShowsItsTextAndCaptionWhileTheTimersGoOn) {
    MainWindow *window = open_window(true);
    activate(1);
    bool seen = false;
    size_t rows_during_box = 0;
    on_next_message_box(window, [&](QMessageBox *box) {
        seen = true;
        EXPECT_EQ(box->text(), QStringLiteral("Tarvel line watch Rev 1.1."));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("LineWatch"));
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        // The status timers drain while the box is open.
        sim_queue_record(status_record(1, 1, 9600));
        EXPECT_TRUE(QTest::qWaitFor([] { return sim_pending_records() == 0; }, 3000));
        rows_during_box = static_cast<size_t>(window->view()->status_model(1)->rowCount());
    });
    window->menu_action(IDM_ABOUT)->trigger();
    EXPECT_TRUE(seen);
    EXPECT_EQ(rows_during_box, 1u);
}

TEST_F(WindowTest, FiveTimersOfOneHundredMillisecondsTickWhileEverythingIsHidden) {
    MainWindow *window = open_window(true);
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(window->timer(i)->isActive()) << i;
        EXPECT_EQ(window->timer(i)->interval(), 100) << i;
    }
    for (int id : {IDM_MONITOR_1, IDM_MONITOR_2, IDM_EYE_1, IDM_EYE_2}) {
        window->command(id);
    }
    activate(2);
    sim_queue_record(status_record(1, 1, 9600));
    sim_queue_record(status_record(2, 1, 8000));
    const EyePoint points[] = {{0, 0}};
    sim_queue_eye(2, points, 1);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return sim_pending_records() == 0 && !window->view()->eye_view(2)->picture().isNull(); }, 3000));
    EXPECT_EQ(window->view()->status_model(1)->rowCount(), 1);
    EXPECT_EQ(window->view()->status_model(2)->rowCount(), 1);
}

TEST_F(WindowTest, ClosingTheMainWindowStopsCapturesAndTheTimers) {
    MainWindow *window = open_window();
    activate(1);
    sim_queue_record(status_record(1, CAPTURE_RESTART_CODE, 10000));  // starts session.rec.1
    window->status_tick();
    std::vector<unsigned char> setup;
    ASSERT_TRUE(setup_value(MONITOR_KEY, &setup));
    ASSERT_EQ(setup.at(0) & 1, 1);
    ASSERT_TRUE(file_exists("session.rec.1"));

    window->close();
    ASSERT_TRUE(setup_value(MONITOR_KEY, &setup));
    EXPECT_EQ(setup.at(0) & 1, 0) << "recording flag left set";
    // The file is closed: it can be removed (an open capture refuses).
    EXPECT_TRUE(platform_delete_file("session.rec.1"));
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(window->timer(i)->isActive()) << i;
    }
    // A tick after the shutdown fetches nothing.
    sim_queue_record(status_record(1, 1, 9600));
    window->status_tick();
    EXPECT_EQ(sim_pending_records(), 1u);
}

TEST(WindowCommandLine, DeviceArgumentHelpVersionAndRefusals) {
    const std::string longest(75, 'd');
    const std::string too_long(76, 'd');
    struct Row {
        QStringList arguments;
        WindowCommand command;
        QString device;
        const char *message_part;
    } rows[] = {
        {{"LineWatch"}, WINDOW_RUN, "", ""},
        {{"LineWatch", "abc"}, WINDOW_RUN, "abc", ""},
        {{"LineWatch", QString::fromStdString(longest)}, WINDOW_RUN, QString::fromStdString(longest), ""},
        {{"LineWatch", QString::fromStdString(too_long)}, WINDOW_ERROR, "", "too long"},
        {{"LineWatch", "abc", "def"}, WINDOW_ERROR, "", "one device name"},
        {{"LineWatch", "--bogus"}, WINDOW_ERROR, "", "bogus"},
        {{"LineWatch", "--help"}, WINDOW_PRINT, "", "[device | FILE]"},
        {{"LineWatch", "--version"}, WINDOW_PRINT, "", "LineWatch " TARVEL_VERSION},
        {{"LineWatch", "--", "-x"}, WINDOW_RUN, "-x", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        QString device;
        QString message;
        EXPECT_EQ(parse_window_command_line(row.arguments, &device, &message), row.command);
        EXPECT_EQ(device, row.device);
        EXPECT_TRUE(message.contains(QString::fromLatin1(row.message_part))) << message.toStdString();
    }
}

TEST_F(WindowTest, DeviceArgumentNamesTheDevice) {
    QString device;
    QString message;
    ASSERT_EQ(parse_window_command_line({"LineWatch", "abc"}, &device, &message), WINDOW_RUN);
    ASSERT_TRUE(monitor_start(*monitor_, device.toLocal8Bit().constData()));
    EXPECT_STREQ(monitor_->link.device_name, "\\\\.\\abc");
}

TEST_F(WindowTest, StopSignalsCloseTheWindowLikeItsCloseButton) {
    for (int number : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF}) {
        SCOPED_TRACE(strsignal(number));
        ASSERT_TRUE(monitor_start(*monitor_, nullptr));
        MainWindow *window = open_window();
        activate(1);
        sim_queue_record(status_record(1, CAPTURE_RESTART_CODE, 10000));  // starts session.rec.1
        window->status_tick();
        ASSERT_TRUE(window_stop_signals_install(window));
        ASSERT_EQ(raise(number), 0);
        EXPECT_TRUE(QTest::qWaitFor([window] { return !window->isVisible(); }, 3000));
        window_stop_signals_remove();
        std::vector<unsigned char> setup;
        ASSERT_TRUE(setup_value(MONITOR_KEY, &setup));
        EXPECT_EQ(setup.at(0) & 1, 0) << "recording flag left set";
        EXPECT_TRUE(platform_delete_file("session.rec.1")) << "capture file still open";
        window_.reset();
    }
}
