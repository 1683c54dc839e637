// Main window.
#include "monitor/qt/main_window.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>

#include "calls/call_watch.h"
#include "monitor/qt/calls_view.h"
#include "monitor/qt/eye_view.h"
#include "monitor/qt/monitor_view.h"
#include "monitor/qt/session_recording.h"
#include "monitor/qt/session_window.h"
#include "monitor/qt/status_model.h"
#include "monitor/qt/status_pane.h"
#include "monitor/qt/status_view.h"
#include "monitor/qt/window_menus.h"
#include "monitor/qt/window_settings.h"
#include "monitor/session_open.h"

MainWindow::MainWindow(Monitor &monitor, bool start) : monitor_(monitor) {
    setWindowTitle(QString::fromLatin1(MAIN_CAPTION));
    sink_ = {this, nullptr, sink_show_warning};
    view_ = new MonitorView(monitor_, this);
    setCentralWidget(view_);
    connect(view_, &MonitorView::close_requested, this, [this](int child_id) { command(child_close_command(child_id)); });
    // The window follows the calls from its start.
    live_calls_ = std::make_unique<CallWatch>();
    call_watch_init(*live_calls_, monitor_memory_access(monitor_), 0, {nullptr, nullptr});
    monitor_watch_calls(monitor_, live_calls_.get());
    show_session_calls(nullptr, 0);
    connect(&calls_timer_, &QTimer::timeout, view_->calls_view(), &CallsView::refresh);
    menus_ = std::make_unique<WindowMenus>(this, view_, true, [this](int id) { command(id); });
    view_->add_status_labels(statusBar());
    recording_ = new SessionRecording(monitor_, this);
    recording_->use_actions(menus_->action(IDM_RECORD_SESSION), menus_->action(IDM_STOP_RECORDING));
    resize(960, 720);
    if (start) {
        start_timers();
    }
    accept_session_drops(this);
}

MainWindow::~MainWindow() {
    // The view goes first: it lets go of the call watches before they go,
    // and the monitor stops feeding the window's own.
    delete takeCentralWidget();
    if (monitor_.calls == live_calls_.get()) {
        monitor_watch_calls(monitor_, nullptr);
    }
}

void MainWindow::show_session_calls(std::unique_ptr<CallWatch> watch, int64_t origin_us) {
    if (watch) {
        session_calls_ = std::move(watch);
        view_->show_calls(session_calls_.get(), origin_us, nullptr);
    } else {
        view_->show_calls(live_calls_.get(), monitor_.calls_since,
                          [this] { return monitor_.clock() - monitor_.calls_since; });
        session_calls_.reset();
    }
}

void MainWindow::show_session_calls(const OpenedSession &session) {
    // The session's calls as its walk built them; the window keeps them.
    show_session_calls(std::move(const_cast<OpenedSession &>(session).calls), session.start_us);
}

void MainWindow::start_timers() {
    for (int i = 0; i < 5; ++i) {
        QTimer *timer = &timers_[i];
        switch (MONITOR_TICKS[i]) {
        case TICK_MAIN:
            connect(timer, &QTimer::timeout, this, &MainWindow::main_tick);
            break;
        case TICK_STATUS_1:
        case TICK_STATUS_2:
            connect(timer, &QTimer::timeout, this, &MainWindow::status_tick);
            break;
        case TICK_EYE_1:
            connect(timer, &QTimer::timeout, this, [this] { eye_tick(1); });
            break;
        case TICK_EYE_2:
            connect(timer, &QTimer::timeout, this, [this] { eye_tick(2); });
            break;
        }
        timer->start(static_cast<int>(TIMER_PERIOD_MS));
    }
    calls_timer_.start(1000);
}

QAction *MainWindow::menu_action(int id) const { return menus_->action(id); }

QAction *MainWindow::save_action(int modem) const { return menus_->save_action(modem); }

void MainWindow::command(int id) {
    const CommandEffect effect = monitor_command(monitor_, id);
    if (carry_out_command(this, view_, *menus_, effect)) {
        return;
    }
    if (effect.kind == COMMAND_RECORD_SESSION) {
        recording_->record_as();
    } else if (effect.kind == COMMAND_STOP_RECORDING) {
        recording_->stop();
    }
}

void MainWindow::sink_show_warning(void *context, const char *line) {
    MainWindow *window = static_cast<MainWindow *>(context);
    // The lists show what has arrived before the box takes over.
    window->view_->sync_lists();
    show_message(window, QMessageBox::Warning, WARNING_CAPTION, line);
}

void MainWindow::status_tick() {
    if (monitor_.closed) {
        return;
    }
    // A burst drains over several ticks, so that the window keeps answering.
    monitor_status_tick(monitor_, sink_, WINDOW_DRAIN_BUDGET_US);
    if (!monitor_.closed) {
        view_->sync_lists();
    }
}

void MainWindow::eye_tick(int modem) {
    EyePoint points[EYE_POINTS_WANTED];
    const int count = monitor_eye_tick(monitor_, modem, points);
    if (count >= 0) {
        view_->eye_view(modem)->show_points(points, count);
    }
}

void MainWindow::main_tick() { monitor_main_tick(monitor_); }

static bool shown_flag(const Monitor &monitor, int child_id) {
    switch (child_id) {
    case CHILD_STATUS_1:
    case CHILD_STATUS_2:
        return monitor.visible.status[child_id - CHILD_STATUS_1] != 0;
    default:
        return monitor.visible.eye[child_id - CHILD_EYE_1] != 0;
    }
}

WindowOptions MainWindow::options() const {
    WindowOptions options;
    options.geometry = saveGeometry();
    for (int i = 0; i < 4; ++i) {
        options.child_shown[i] = shown_flag(monitor_, CHILD_ROWS[i].id);
    }
    options.calls_shown = monitor_.visible.calls != 0;
    options.time_format = view_->time_format();
    for (int m = 0; m < 2; ++m) {
        options.lists[m].following = view_->status_view(m + 1)->following();
        options.lists[m].filter = view_->status_pane(m + 1)->filter_field()->text();
        const EyeView *eye = view_->eye_view(m + 1);
        options.eyes[m] = {eye->mode(), eye->fade_ticks(), eye->frozen(), eye->readouts()};
    }
    return options;
}

void MainWindow::apply_options(const WindowOptions &options) {
    if (!options.geometry.isEmpty()) {
        restoreGeometry(options.geometry);
    }
    for (int i = 0; i < 4; ++i) {
        if (options.child_shown[i] != shown_flag(monitor_, CHILD_ROWS[i].id)) {
            command(CHILD_ROWS[i].menu_id);
        }
    }
    if (options.calls_shown != (monitor_.visible.calls != 0)) {
        command(IDM_CALLS);
    }
    view_->set_time_format(options.time_format);
    for (int m = 0; m < 2; ++m) {
        view_->status_pane(m + 1)->filter_field()->setText(options.lists[m].filter);
        view_->status_view(m + 1)->set_following(options.lists[m].following);
        const EyeOptions &eye = options.eyes[m];
        EyeView *view = view_->eye_view(m + 1);
        view->set_mode(eye.mode, eye.fade_ticks);
        view->set_frozen(eye.frozen);
        view->set_readouts(eye.readouts);
    }
}

void MainWindow::use_settings(QSettings *settings) {
    settings_ = settings;
    apply_options(read_window_options(*settings));
}

void MainWindow::closeEvent(QCloseEvent *event) {
    if (settings_ != nullptr && !monitor_.closed) {
        write_window_options(options(), *settings_);
        settings_->sync();
    }
    // Closing the main window ends the monitor: timers stopped, both
    // captures stopped (files complete, recording flag cleared).
    for (QTimer &timer : timers_) {
        timer.stop();
    }
    recording_->stop();  // the session file complete and closed
    calls_timer_.stop();
    monitor_close(monitor_);
    // A warning box still open would keep the program (and its drain) going.
    for (QMessageBox *box : findChildren<QMessageBox *>()) {
        if (box->isVisible()) {
            box->done(QMessageBox::Ok);
        }
    }
    event->accept();
}
