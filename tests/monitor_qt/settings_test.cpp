// Options kept between runs: a window's choices saved on close and found
// again by the next window; values out of range ignored; --reset-settings.
#include <QLineEdit>
#include <QSettings>

#include "monitor/qt/command_line.h"
#include "monitor/qt/window_settings.h"
#include "window_fixture.h"

TEST_F(WindowTest, SettingsRoundTripBetweenRuns) {
    const QString path = QString::fromStdString(directory_ + "/LineWatch.ini");
    {
        QSettings settings(path, QSettings::IniFormat);
        MainWindow *window = open_window();
        window->use_settings(&settings);
        window->resize(700, 500);
        window->command(IDM_MONITOR_2);
        window->command(IDM_EYE_1);
        window->command(IDM_CALLS);
        window->view()->set_time_format(LINE_TIME_DELTA);
        window->view()->status_pane(1)->filter_field()->setText(QStringLiteral("/LAPM"));
        window->view()->status_view(2)->set_following(false);
        window->view()->eye_view(1)->set_mode(EYE_FADE, 12);
        window->view()->eye_view(2)->set_mode(EYE_DENSITY, 8);
        window->view()->eye_view(2)->set_frozen(true);
        window->view()->eye_view(1)->set_readouts(true);
        window->close();
        window_.reset();
    }
    // The next run starts from the defaults, then takes the saved options.
    ASSERT_TRUE(monitor_start(*monitor_, nullptr));
    QSettings settings(path, QSettings::IniFormat);
    MainWindow *window = open_window();
    window->use_settings(&settings);
    EXPECT_EQ(window->size(), QSize(700, 500));
    EXPECT_EQ(monitor_->visible.status[0], 1);
    EXPECT_EQ(monitor_->visible.status[1], 0);
    EXPECT_EQ(monitor_->visible.eye[0], 0);
    EXPECT_EQ(monitor_->visible.eye[1], 1);
    EXPECT_FALSE(window->menu_action(IDM_MONITOR_2)->isChecked());
    EXPECT_FALSE(window->view()->child(CHILD_EYE_1)->isVisible());
    EXPECT_FALSE(window->view()->calls_child()->isHidden());
    EXPECT_TRUE(window->menu_action(IDM_CALLS)->isChecked());
    EXPECT_EQ(window->view()->time_format(), LINE_TIME_DELTA);
    EXPECT_TRUE(window->view()->time_action(LINE_TIME_DELTA)->isChecked());
    EXPECT_EQ(window->view()->status_pane(1)->filter_field()->text(), QStringLiteral("/LAPM"));
    EXPECT_TRUE(window->view()->status_view(1)->status_filter()->active());
    EXPECT_TRUE(window->view()->status_view(1)->following());
    EXPECT_FALSE(window->view()->status_view(2)->following());
    EXPECT_EQ(window->view()->eye_view(1)->mode(), EYE_FADE);
    EXPECT_EQ(window->view()->eye_view(1)->fade_ticks(), 12);
    EXPECT_EQ(window->view()->eye_view(2)->mode(), EYE_DENSITY);
    EXPECT_TRUE(window->view()->eye_view(2)->frozen());
    EXPECT_FALSE(window->view()->eye_view(1)->frozen());
    EXPECT_TRUE(window->view()->eye_view(1)->readouts());
}

TEST_F(WindowTest, SettingsOutOfRangeLeaveTheDefaults) {
    const QString path = QString::fromStdString(directory_ + "/LineWatch.ini");
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue("lists/time_format", 9);
    settings.setValue("eyes/1/mode", -1);
    settings.setValue("eyes/2/mode", 1);
    settings.setValue("eyes/2/fade_ticks", 500);
    settings.setValue("window/geometry", QByteArray("not a geometry"));
    MainWindow *window = open_window();
    window->use_settings(&settings);
    EXPECT_EQ(window->view()->time_format(), LINE_TIME_OFF);
    EXPECT_EQ(window->view()->eye_view(1)->mode(), EYE_LAST_TICK);
    EXPECT_EQ(window->view()->eye_view(2)->mode(), EYE_FADE);
    EXPECT_EQ(window->view()->eye_view(2)->fade_ticks(), 8);
    for (int m : {0, 1}) {
        EXPECT_EQ(monitor_->visible.status[m], 1);
        EXPECT_EQ(monitor_->visible.eye[m], 1);
    }
}

// Nothing kept: the options read are those of a new window, so applying
// them changes nothing.
TEST_F(WindowTest, SettingsDefaultsAreANewWindowsOptions) {
    QSettings settings(QString::fromStdString(directory_ + "/LineWatch.ini"), QSettings::IniFormat);
    const WindowOptions read = read_window_options(settings);
    const WindowOptions shown = open_window()->options();
    EXPECT_TRUE(read.geometry.isEmpty());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(read.child_shown[i], shown.child_shown[i]) << "child " << i;
    }
    EXPECT_EQ(read.calls_shown, shown.calls_shown);
    EXPECT_EQ(read.time_format, shown.time_format);
    for (int m = 0; m < 2; ++m) {
        SCOPED_TRACE(m + 1);
        EXPECT_EQ(read.lists[m].following, shown.lists[m].following);
        EXPECT_EQ(read.lists[m].filter, shown.lists[m].filter);
        EXPECT_EQ(read.eyes[m].mode, shown.eyes[m].mode);
        EXPECT_EQ(read.eyes[m].fade_ticks, shown.eyes[m].fade_ticks);
        EXPECT_EQ(read.eyes[m].frozen, shown.eyes[m].frozen);
        EXPECT_EQ(read.eyes[m].readouts, shown.eyes[m].readouts);
    }
}

TEST(WindowCommandLine, ResetSettingsOption) {
    QString device;
    QString message;
    bool reset = false;
    EXPECT_EQ(parse_window_command_line({"LineWatch", "--reset-settings", "abc"}, &device, &message, &reset),
              WINDOW_RUN);
    EXPECT_TRUE(reset);
    EXPECT_EQ(device, QStringLiteral("abc"));
    EXPECT_EQ(parse_window_command_line({"LineWatch"}, &device, &message, &reset), WINDOW_RUN);
    EXPECT_FALSE(reset);
}
