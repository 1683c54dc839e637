// Main window.
#include "monitor/qt/main_window.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>

#include "monitor/qt/calls_view.h"
#include "monitor/qt/eye_view.h"
#include "monitor/qt/monitor_view.h"
#include "monitor/qt/session_window.h"
#include "monitor/qt/status_model.h"
#include "monitor/qt/status_pane.h"
#include "monitor/qt/status_view.h"
#include "monitor/qt/window_menus.h"
#include "monitor/qt/window_settings.h"
#include "monitor/session_recording.h"

MainWindow::MainWindow(Monitor &monitor, bool start) : monitor_(monitor) {
    view_ = new MonitorView(monitor_, this);
    setCentralWidget(view_);
    connect(view_, &MonitorView::close_requested, this, [this](int child_id) { command(child_close_command(child_id)); });
    connect(&calls_timer_, &QTimer::timeout, view_->calls_view(), &CallsView::refresh);
    menus_ = std::make_unique<WindowMenus>(this, view_, true, [this](int id) { command(id); });
    view_->add_status_labels(statusBar());
    recording_label_ = new QLabel(this);
    recording_label_->hide();
    statusBar()->addPermanentWidget(recording_label_);
    MonitorEvents events{};
    events.context = this;
    events.show_warning = event_warning;
    events.recording_changed = event_recording;
    events.session_shown = event_session_shown;
    monitor_set_events(monitor_, events);
    show_recording_state();
    resize(960, 720);
    if (start) {
        start_timers();
    }
    accept_session_drops(this);
}

MainWindow::~MainWindow() {
    // The monitor outlives the window: it tells the window nothing more,
    // and a recording still running is completed and closed.
    monitor_set_events(monitor_, MonitorEvents{});
    monitor_record_stop(monitor_);
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
        record_session_as();
    } else if (effect.kind == COMMAND_STOP_RECORDING) {
        stop_recording();
    }
}

void MainWindow::record_session_as() {
    if (!monitor_command_enabled(monitor_, IDM_RECORD_SESSION)) {
        return;
    }
    const QString plain = QStringLiteral("Session (*.trace)");
    QString filter;
    const QString chosen = QFileDialog::getSaveFileName(
        this, QStringLiteral("Record Session"), QStringLiteral("session.trace.gz"),
        QStringLiteral("Compressed session (*.trace.gz *.gz);;%1;;All files (*)").arg(plain), &filter);
    if (chosen.isEmpty()) {
        return;
    }
    // A name without an extension gets the chosen kind's; the buffer has
    // room for the longest one.
    const QByteArray name = QFile::encodeName(chosen);
    QByteArray named(name.size() + 16, '\0');
    session_file_name(name.constData(), filter != plain, named.data(), static_cast<size_t>(named.size()));
    const QString path = QFile::decodeName(named.constData());
    // The dialog asked about the name as typed; a name that gained its
    // extension is asked about here.
    if (path != chosen && QFileInfo::exists(path) &&
        QMessageBox::question(this, QStringLiteral("Record Session"),
                              QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(path)) !=
            QMessageBox::Yes) {
        return;
    }
    QString error;
    if (!start_recording(path, 1, &error)) {
        QMessageBox::warning(this, QStringLiteral("Record Session"),
                             QStringLiteral("Could not record into %1:\n%2").arg(path, error));
    }
}

bool MainWindow::start_recording(const QString &path, uint32_t eye_every, QString *error) {
    stop_recording();
    if (monitor_record_start(monitor_, QFile::encodeName(path).constData(), eye_every)) {
        return true;
    }
    *error = QString::fromLocal8Bit(monitor_recording_error(monitor_));
    return false;
}

void MainWindow::stop_recording() { monitor_record_stop(monitor_); }

void MainWindow::show_recording_state() {
    char text[1024];
    monitor_caption(monitor_, text, sizeof text);
    setWindowTitle(QString::fromLocal8Bit(text));
    menus_->enable_as(monitor_);
    if (monitor_recording(monitor_)) {
        monitor_recording_status(monitor_, text, sizeof text);
        recording_label_->setStyleSheet(QString());
        recording_label_->setText(QString::fromLocal8Bit(text));
        recording_label_->show();
    }
}

void MainWindow::report_recording_failure() {
    // The status bar keeps the reason until the next recording; the box does
    // not hold anything up: the monitor's timers go on under it.
    const QString text =
        QStringLiteral("%1; monitoring goes on").arg(QString::fromLocal8Bit(monitor_recording_error(monitor_)));
    recording_label_->setStyleSheet(QStringLiteral("color: #b00000"));
    recording_label_->setText(text);
    recording_label_->show();
    QMessageBox *box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Recording Stopped"), text, QMessageBox::Ok, this);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

void MainWindow::event_recording(void *context, RecordingChange change) {
    MainWindow *window = static_cast<MainWindow *>(context);
    window->show_recording_state();
    if (change == RECORDING_STOPPED) {
        window->recording_label_->hide();
    } else if (change == RECORDING_INCOMPLETE || change == RECORDING_FAILED) {
        window->report_recording_failure();
    }
}

void MainWindow::event_session_shown(void *context) {
    MainWindow *window = static_cast<MainWindow *>(context);
    window->view_->start_over();
    window->show_recording_state();  // a monitor that shows a session records nothing
}

void MainWindow::event_warning(void *context, const char *line) {
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
    monitor_status_tick(monitor_, WINDOW_DRAIN_BUDGET_US);
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
    stop_recording();  // the session file complete and closed
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
