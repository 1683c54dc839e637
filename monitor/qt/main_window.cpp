// Main window.
#include "monitor/qt/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>

#include <cstring>

#include "calls/call_watch.h"
#include "monitor/monitor.h"
#include "monitor/qt/calls_view.h"
#include "monitor/session_open.h"
#include "calls/trace_calls.h"
#include "monitor/qt/child_area.h"
#include "monitor/qt/child_window.h"
#include "monitor/qt/eye_view.h"
#include "monitor/qt/session_recording.h"
#include "monitor/qt/session_window.h"
#include "monitor/qt/status_save.h"
#include "monitor/qt/status_filter.h"
#include "monitor/qt/status_model.h"
#include "monitor/qt/status_pane.h"
#include "monitor/qt/status_view.h"
#include "monitor/qt/window_settings.h"
#include "monitor/window_tables.h"
#include "decoder/status.h"
#include "driverlink/device.h"

MainWindow::MainWindow(Monitor &monitor, bool start, WindowRole role) : monitor_(monitor), role_(role) {
    setWindowTitle(QString::fromLatin1(MAIN_CAPTION));
    sink_ = {this, nullptr, sink_show_warning};
    create_children();
    create_calls_child();
    create_menus();
    resize(960, 720);
    if (start) {
        start_timers();
    }
    if (role_ == WINDOW_LIVE) {
        accept_session_drops(this);
    }
}

MainWindow::~MainWindow() {
    release_calls();
}

void MainWindow::release_calls() {
    if (calls_released_) {
        return;
    }
    calls_released_ = true;
    // The children go after the members: the Calls view lets go of the
    // watch first.
    calls_view_->set_watch(nullptr, 0);
    if (monitor_.calls == live_calls_.get()) {
        monitor_watch_calls(monitor_, nullptr);
    }
}

void MainWindow::create_calls_child() {
    // The window follows the calls from its start.
    live_calls_ = std::make_unique<CallWatch>();
    call_watch_init(*live_calls_, monitor_memory_access(monitor_), 0, {nullptr, nullptr});
    monitor_watch_calls(monitor_, live_calls_.get());
    calls_origin_us_ = monitor_.calls_since;
    calls_view_ = new CallsView;
    calls_view_->set_watch(live_calls_.get(), calls_origin_us_);
    calls_view_->set_clock([this] { return monitor_.clock() - monitor_.calls_since; });
    connect(calls_view_, &CallsView::moment_chosen, this,
            [this](int modem, int64_t time_us, int code) { select_status_moment(modem, time_us, code); });
    // A fifth child outside the 2 x 2 layout, hidden until asked for.
    calls_child_ = new ChildWindow(CHILD_CALLS, this);
    calls_child_->setWindowFlags(calls_child_->windowFlags() | Qt::WindowMinMaxButtonsHint);
    calls_child_->setWidget(calls_view_);
    calls_child_->setWindowTitle(QStringLiteral("Calls"));
    calls_child_->setAttribute(Qt::WA_DeleteOnClose, false);
    area_->addSubWindow(calls_child_);
    calls_child_->hide();
    connect(&calls_timer_, &QTimer::timeout, calls_view_, &CallsView::refresh);
}

void MainWindow::toggle_calls() {
    // Hidden rather than not visible: settings may show it before the
    // main window itself is shown.
    const bool shown = calls_child_->isHidden();
    if (shown) {
        place_calls_child();
        calls_view_->refresh();
    }
    calls_child_->setVisible(shown);
    if (shown) {
        calls_child_->raise();
    }
    calls_action_->setChecked(shown);
}

void MainWindow::place_calls_child() {
    // Over the eye displays (the top half), so that the status lines a
    // click on the timeline picks stay in view below it.
    const QSize client = area_->viewport()->size();
    calls_child_->setGeometry(0, 0, client.width(), std::max(client.height() / 2, calls_child_->minimumSizeHint().height()));
}

void MainWindow::show_session_calls(std::unique_ptr<CallWatch> watch, int64_t origin_us) {
    if (watch) {
        session_calls_ = std::move(watch);
        calls_origin_us_ = origin_us;
        calls_view_->set_clock(nullptr);
        calls_view_->set_watch(session_calls_.get(), origin_us);
    } else {
        calls_origin_us_ = monitor_.calls_since;
        calls_view_->set_clock([this] { return monitor_.clock() - monitor_.calls_since; });
        calls_view_->set_watch(live_calls_.get(), calls_origin_us_);
        session_calls_.reset();
    }
}

void MainWindow::show_session_calls(const OpenedSession &session) {
    // The session's calls as its walk built them; the window keeps them.
    show_session_calls(std::move(const_cast<OpenedSession &>(session).calls), session.start_us);
}

bool MainWindow::select_status_moment(int modem, int64_t time_us, int code) {
    if (modem != 1 && modem != 2) {
        return false;
    }
    sync_lists();
    const LineStore &store = monitor_.stores[modem - 1];
    const int64_t at = calls_origin_us_ + time_us;
    size_t line = store.count;
    if (code != 0) {
        // The event's own line: its record's text (the event codes carry no
        // parameters), near the moment.
        StatusRecord record{};
        record.modem = static_cast<uint32_t>(modem);
        record.code = static_cast<uint32_t>(code);
        StatusLine text;
        decode_status(record, text);
        line = line_store_find_text_near(store, at, TIMER_PERIOD_MS * 1000, text);
    }
    if (line >= store.count) {
        line = line_store_find_time(store, at);
    }
    if (line >= store.count) {
        return false;
    }
    StatusModel *model = status_models_[modem - 1];
    StatusView *view = status_views_[modem - 1];
    const uint64_t number = store.first_number + line;
    if (number < model->first_number()) {
        return false;
    }
    const QModelIndex source = model->index(static_cast<int>(number - model->first_number()));
    const QModelIndex shown = view->status_filter()->mapFromSource(source);
    if (!shown.isValid()) {
        return false;  // the filter hides it
    }
    view->set_following(false);
    view->setCurrentIndex(shown);
    view->selectionModel()->select(shown, QItemSelectionModel::ClearAndSelect);
    view->scrollTo(shown, QAbstractItemView::PositionAtCenter);
    return true;
}

void MainWindow::create_children() {
    area_ = new ChildArea(this);
    setCentralWidget(area_);
    for (int i = 0; i < 4; ++i) {
        const ChildRow &row = CHILD_ROWS[i];
        ChildWindow *child = new ChildWindow(row.id, this);
        QWidget *content = nullptr;
        if (row.id == CHILD_STATUS_1 || row.id == CHILD_STATUS_2) {
            const int m = row.id - CHILD_STATUS_1;
            status_models_[m] = new StatusModel(&monitor_.stores[m], monitor_.activity, m + 1, &time_format_, this);
            status_views_[m] = new StatusView(status_models_[m]);
            status_views_[m]->setContextMenuPolicy(Qt::ActionsContextMenu);
            status_panes_[m] = new StatusPane(status_views_[m]);
            content = status_panes_[m];
        } else {
            const int m = row.id - CHILD_EYE_1;
            eye_views_[m] = new EyeView(m + 1);
            content = eye_views_[m];
        }
        child->setWidget(content);
        child->setWindowTitle(QString::fromLatin1(row.caption));
        child->setAttribute(Qt::WA_DeleteOnClose, false);
        area_->addSubWindow(child);
        child->show();
        children_[i] = child;
    }
    // No child starts out as the active one.
    area_->setActiveSubWindow(nullptr);
}

void MainWindow::create_menus() {
    QMenu *menu = nullptr;
    const char *popup = nullptr;
    for (size_t i = 0; i < sizeof MENU_ROWS / sizeof MENU_ROWS[0]; ++i) {
        const MenuRow &row = MENU_ROWS[i];
        if (popup == nullptr || std::strcmp(popup, row.popup) != 0) {
            popup = row.popup;
            menu = menuBar()->addMenu(QString::fromLatin1(row.popup));
            if (row.id == IDM_ABOUT) {
                create_view_menu(menu);
            }
        }
        if (row.id == IDM_OPEN_SESSION || row.id == IDM_RECORD_SESSION || row.id == IDM_STOP_RECORDING ||
            row.id == IDM_CALLS) {
            continue;  // made by hand below
        }
        if (row.id == IDM_EXIT) {
            // Sessions first: open one, and in a live window record one.
            open_session_ = menu->addAction(QStringLiteral("&Open Session..."));
            connect(open_session_, &QAction::triggered, this, &MainWindow::open_session_as);
            if (role_ == WINDOW_LIVE) {
                recording_ = new SessionRecording(monitor_, this);
                recording_->add_menu_items(menu, nullptr);
            }
            menu->addSeparator();
            // Save each list, above Exit.
            for (int m = 1; m <= 2; ++m) {
                save_actions_[m - 1] = menu->addAction(QStringLiteral("Save Modem &%1 Status As...").arg(m));
                connect(save_actions_[m - 1], &QAction::triggered, this, [this, m] { save_status_as(m); });
            }
            menu->addSeparator();
        }
        QAction *action = menu->addAction(QString::fromLatin1(row.item));
        action->setCheckable(row.checkable);
        action->setChecked(row.checkable);
        const int id = row.id;
        connect(action, &QAction::triggered, this, [this, id] { command(id); });
        actions_[i] = action;
        if (row.id == IDM_MONITOR_2) {
            // The Calls view, after the lists; it starts hidden.
            calls_action_ = menu->addAction(QStringLiteral("&Calls"));
            calls_action_->setCheckable(true);
            connect(calls_action_, &QAction::triggered, this, [this] { command(IDM_CALLS); });
        }
    }
}

void MainWindow::create_view_menu(QMenu *before) {
    // View, before Help: the lists' time column, also on each list's context menu.
    QMenu *view = new QMenu(QStringLiteral("&View"), this);
    menuBar()->insertMenu(before->menuAction(), view);
    QMenu *time = view->addMenu(QStringLiteral("&Time"));
    QActionGroup *group = new QActionGroup(this);
    for (int f = 0; f < LINE_TIME_FORMATS; ++f) {
        QAction *action = time->addAction(QString::fromLatin1(LINE_TIME_NAMES[f]));
        action->setCheckable(true);
        action->setChecked(f == time_format_);
        group->addAction(action);
        const LineTimeFormat format = static_cast<LineTimeFormat>(f);
        connect(action, &QAction::triggered, this, [this, format] { set_time_format(format); });
        time_actions_[f] = action;
    }
    for (StatusView *list : status_views_) {
        QAction *title = new QAction(QStringLiteral("Time"), list);
        title->setEnabled(false);
        list->addAction(title);
        list->addActions(group->actions());
    }
    loss_label_ = new QLabel(this);
    statusBar()->addWidget(loss_label_);
    update_loss();
    filter_label_ = new QLabel(this);
    filter_label_->setToolTip(QStringLiteral(
        "Undecided lines needed more work to match the filter's expression than one line may take; they are shown."));
    statusBar()->addPermanentWidget(filter_label_);
    for (StatusView *list : status_views_) {
        connect(list->status_filter(), &StatusFilter::verdicts_changed, this, &MainWindow::update_filter_status);
    }
}

void MainWindow::set_time_format(LineTimeFormat format) {
    time_format_ = format;
    time_actions_[format]->setChecked(true);
    for (StatusModel *model : status_models_) {
        model->times_changed();
    }
}

QString MainWindow::loss_text() const {
    QString text;
    for (int m = 0; m < 2; ++m) {
        text += QStringLiteral("Modem %1: %2 lines, %3 dropped    ")
                    .arg(m + 1)
                    .arg(static_cast<qulonglong>(monitor_.stores[m].count))
                    .arg(static_cast<qulonglong>(monitor_.stores[m].dropped));
    }
    text += QStringLiteral("Warnings discarded: %1").arg(static_cast<qulonglong>(monitor_.warnings_discarded));
    return text;
}

static QString line_count(size_t lines) {
    return QStringLiteral("%1 line%2").arg(static_cast<qulonglong>(lines)).arg(lines == 1 ? "" : "s");
}

QString MainWindow::filter_text() const {
    // "Modem 1 filter: 250 lines to match, 1750 undecided (shown)"
    QStringList modems;
    for (int m = 0; m < 2; ++m) {
        const size_t pending = status_views_[m]->status_filter()->pending();
        const size_t undecided = status_views_[m]->status_filter()->undecided();
        if (pending == 0 && undecided == 0) {
            continue;
        }
        QString text = QStringLiteral("Modem %1 filter: ").arg(m + 1);
        if (pending > 0) {
            text += line_count(pending) + QStringLiteral(" to match");
        }
        if (undecided > 0) {
            text += pending > 0 ? QStringLiteral(", %1").arg(static_cast<qulonglong>(undecided)) : line_count(undecided);
            text += QStringLiteral(" undecided (shown)");
        }
        modems += text;
    }
    return modems.join(QStringLiteral("    "));
}

void MainWindow::update_filter_status() {
    if (filter_label_ != nullptr) {
        filter_label_->setText(filter_text());
    }
}

void MainWindow::save_status_as(int modem) {
    QString filter;
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save Modem %1 Status").arg(modem), QStringLiteral("modem%1-status.txt").arg(modem),
        QStringLiteral("Text (*.txt);;CSV (*.csv)"), &filter);
    if (path.isEmpty()) {
        return;
    }
    const ExportFormat format = filter.startsWith(QStringLiteral("CSV")) ? EXPORT_CSV : export_format_for(path);
    QString error;
    if (!save_status(monitor_, modem, path, format, time_format_, &error)) {
        QMessageBox::warning(this, QStringLiteral("Save Modem %1 Status").arg(modem),
                             QStringLiteral("Could not save %1:\n%2").arg(path, error));
    }
}

void MainWindow::open_session_as() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Session"), QString(),
        QStringLiteral("Sessions and traces (*.trace *.trace.gz *.gz);;All files (*)"));
    if (!path.isEmpty()) {
        open_session_window(path, this);
    }
}

void MainWindow::update_loss() {
    if (loss_label_ != nullptr) {
        loss_label_->setText(loss_text());
    }
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

QAction *MainWindow::menu_action(int id) const {
    if (id == IDM_CALLS) {
        return calls_action_;
    }
    if (id == IDM_OPEN_SESSION) {
        return open_session_;
    }
    if ((id == IDM_RECORD_SESSION || id == IDM_STOP_RECORDING) && recording_ != nullptr) {
        return id == IDM_RECORD_SESSION ? recording_->record_action() : recording_->stop_action();
    }
    for (size_t i = 0; i < sizeof MENU_ROWS / sizeof MENU_ROWS[0]; ++i) {
        if (MENU_ROWS[i].id == id) {
            return actions_[i];
        }
    }
    return nullptr;
}

ChildWindow *MainWindow::child(int child_id) const {
    for (ChildWindow *c : children_) {
        if (c != nullptr && c->child_id() == child_id) {
            return c;
        }
    }
    return nullptr;
}

void MainWindow::command(int id) {
    if (id == IDM_CALLS) {
        toggle_calls();
        return;
    }
    const CommandEffect effect = monitor_command(monitor_, id);
    switch (effect.kind) {
    case COMMAND_EXIT:
        close();
        break;
    case COMMAND_TOGGLE: {
        ChildWindow *c = child(effect.child);
        c->setVisible(effect.shown);
        const int menu_id = child_close_command(effect.child);
        if (QAction *action = menu_action(menu_id)) {
            action->setChecked(effect.shown);
        }
        break;
    }
    case COMMAND_ABOUT:
        show_message(QMessageBox::Information, ABOUT_CAPTION, ABOUT_TEXT);
        break;
    case COMMAND_RECORD_SESSION:
        if (recording_ != nullptr) {
            recording_->record_as();
        }
        break;
    case COMMAND_STOP_RECORDING:
        if (recording_ != nullptr) {
            recording_->stop();
        }
        break;
    case COMMAND_OPEN_SESSION:
        open_session_as();
        break;
    case COMMAND_UNKNOWN:
        break;
    }
}

void MainWindow::show_message(int icon, const char *caption, const char *text) {
    // exec() runs its own event loop, in which every timer keeps firing.
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), QString::fromLatin1(caption),
                    QString::fromLatin1(text), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void MainWindow::lay_out_children() {
    const QSize client = area_->viewport()->size();
    ChildPlace places[4];
    layout_children(static_cast<uint32_t>(client.width()), static_cast<uint32_t>(client.height()), places);
    for (const ChildPlace &place : places) {
        if (ChildWindow *c = child(place.child)) {
            c->setGeometry(place.x, place.y, place.width, place.height);
        }
    }
    if (calls_child_ != nullptr && calls_child_->isVisible()) {
        place_calls_child();
    }
}


void MainWindow::sink_show_warning(void *context, const char *line) {
    MainWindow *window = static_cast<MainWindow *>(context);
    // The lists show what has arrived before the box takes over.
    window->sync_lists();
    window->show_message(QMessageBox::Warning, WARNING_CAPTION, line);
}

void MainWindow::sync_lists() {
    for (int m = 0; m < 2; ++m) {
        status_models_[m]->sync();
        const ViewChange change = status_models_[m]->last_change();
        if (change.removed > 0 || change.inserted > 0) {
            status_views_[m]->show_newest();
            status_panes_[m]->update_count();
        }
    }
    calls_view_->sync();
    update_loss();
    update_filter_status();
}

void MainWindow::status_tick() {
    if (monitor_.closed) {
        return;
    }
    // A burst drains over several ticks, so that the window keeps answering.
    monitor_status_tick(monitor_, sink_, WINDOW_DRAIN_BUDGET_US);
    if (!monitor_.closed) {
        sync_lists();
    }
}

void MainWindow::eye_tick(int modem) {
    EyePoint points[EYE_POINTS_WANTED];
    const int count = monitor_eye_tick(monitor_, modem, points);
    if (count >= 0) {
        eye_views_[modem - 1]->show_points(points, count);
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
    options.calls_shown = calls_action_->isChecked();
    options.time_format = time_format_;
    for (int m = 0; m < 2; ++m) {
        options.lists[m].following = status_views_[m]->following();
        options.lists[m].filter = status_panes_[m]->filter_field()->text();
        const EyeView *eye = eye_views_[m];
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
    if (options.calls_shown != calls_action_->isChecked()) {
        command(IDM_CALLS);
    }
    set_time_format(options.time_format);
    for (int m = 0; m < 2; ++m) {
        status_panes_[m]->filter_field()->setText(options.lists[m].filter);
        status_views_[m]->set_following(options.lists[m].following);
        const EyeOptions &eye = options.eyes[m];
        eye_views_[m]->set_mode(eye.mode, eye.fade_ticks);
        eye_views_[m]->set_frozen(eye.frozen);
        eye_views_[m]->set_readouts(eye.readouts);
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
    if (recording_ != nullptr) {
        recording_->stop();  // the session file complete and closed
    }
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
