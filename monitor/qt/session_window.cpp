// The window of an opened session.
#include "monitor/qt/session_window.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressDialog>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <atomic>

#include "monitor/qt/eye_view.h"
#include "monitor/qt/monitor_view.h"
#include "monitor/qt/window_menus.h"
#include "monitor/qt/status_filter.h"
#include "monitor/qt/status_model.h"
#include "monitor/qt/status_view.h"

std::unique_ptr<SessionParts> SessionWindow::read(const QString &path, QString *error,
                                                  const SessionOpenControl &control) {
    MonitorSession *opened = nullptr;
    std::string message;
    monitor_open_session(QFile::encodeName(path).constData(), &opened, message, control);
    *error = QString::fromLocal8Bit(message.c_str());
    return std::unique_ptr<SessionParts>(opened);
}

SessionWindow::SessionWindow(std::unique_ptr<SessionParts> parts) : parts_(std::move(parts)) {
    const QString name = QFileInfo(QFile::decodeName(parts_->session.path.c_str())).fileName();
    setWindowTitle(QStringLiteral("%1 - %2").arg(name, QString::fromLatin1(MAIN_CAPTION)));
    Monitor &monitor = *parts_->monitor;
    view_ = new MonitorView(monitor, this);
    setCentralWidget(view_);
    connect(view_, &MonitorView::close_requested, this, [this](int child_id) { command(child_close_command(child_id)); });
    menus_ = std::make_unique<WindowMenus>(this, view_, false, [this](int id) { command(id); });
    view_->add_status_labels(statusBar());
    // The recorded times first: the wall clock of a session, which knows
    // when it started; the time since the modem became active for a trace,
    // which does not (its wall clock would read 1970).
    view_->set_time_format(parts_->session.start_us != 0 ? LINE_TIME_WALL : LINE_TIME_SINCE_ACTIVE);
    view_->sync_lists();
    // The Calls view shows the calls of the whole file (the monitor's); a
    // moment chosen in it selects its line, and the line's selection moves
    // the eyes there.
    const OpenedSession &session = parts_->session;
    for (int m = 1; m <= 2; ++m) {
        const std::vector<EyePoint> *points = opened_session_last_eye(session, m);
        if (points != nullptr) {
            view_->eye_view(m)->show_points(points->data(), static_cast<int>(points->size()));
        }
        StatusView *list = view_->status_view(m);
        connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this, m, list](const QModelIndex &current) {
                    if (current.isValid()) {
                        show_eyes_at_line(m, list->status_filter()->mapToSource(current).row());
                    }
                });
    }
    MonitorEvents events{};
    events.context = this;
    events.show_warning = replay_warning;
    monitor_set_events(monitor, events);
    create_replay_bar();
    timer_.setInterval(static_cast<int>(TIMER_PERIOD_MS));
    connect(&timer_, &QTimer::timeout, this, &SessionWindow::replay_tick);
    if (!parts_->warning.empty()) {
        last_warning_ = QString::fromLocal8Bit(parts_->warning.c_str());
    }
    update_replay_state();
    resize(960, 720);
    accept_session_drops(this);
}

SessionWindow::~SessionWindow() {
    timer_.stop();
    monitor_set_events(*parts_->monitor, MonitorEvents{});
    // The view goes before the calls and the monitor whose stores it shows.
    delete takeCentralWidget();
}

void SessionWindow::command(int id) { carry_out_command(this, view_, *menus_, monitor_command(*parts_->monitor, id)); }

QAction *SessionWindow::menu_action(int id) const { return menus_->action(id); }

void SessionWindow::closeEvent(QCloseEvent *event) {
    timer_.stop();
    monitor_close(*parts_->monitor);
    event->accept();
}

void SessionWindow::create_replay_bar() {
    bar_ = addToolBar(QStringLiteral("Replay"));
    bar_->setObjectName(QStringLiteral("replay"));
    bar_->setMovable(false);
    bar_->addWidget(new QLabel(QStringLiteral(" Replay: "), bar_));
    play_ = bar_->addAction(QStringLiteral("Play"), this, &SessionWindow::play);
    pause_ = bar_->addAction(QStringLiteral("Pause"), this, &SessionWindow::pause);
    step_ = bar_->addAction(QStringLiteral("Step"), this, &SessionWindow::step);
    play_->setToolTip(QStringLiteral("Replay the session from its start, or go on after a pause"));
    step_->setToolTip(QStringLiteral("Replay one tick (100 ms of the session) and pause"));
    bar_->addSeparator();
    bar_->addWidget(new QLabel(QStringLiteral(" Speed: "), bar_));
    QActionGroup *speeds = new QActionGroup(this);
    for (int s = 0; s < REPLAY_SPEEDS; ++s) {
        const ReplaySpeed speed = static_cast<ReplaySpeed>(s);
        QAction *action = bar_->addAction(QString::fromLatin1(REPLAY_SPEED_NAMES[s]));
        action->setCheckable(true);
        action->setChecked(speed == parts_->replay.speed);
        speeds->addAction(action);
        connect(action, &QAction::triggered, this, [this, speed] { set_speed(speed); });
        speed_actions_[s] = action;
    }
    replay_label_ = new QLabel(this);
    statusBar()->addPermanentWidget(replay_label_);
}

void SessionWindow::play() {
    const bool new_replay = parts_->replay.state == REPLAY_STOPPED;
    replay_play(parts_->replay);
    if (new_replay) {
        after_rounds(true);
    }
    timer_.start();
    update_replay_state();
}

void SessionWindow::pause() {
    replay_pause(parts_->replay);
    timer_.stop();
    update_replay_state();
}

void SessionWindow::step() {
    const bool new_replay = parts_->replay.state == REPLAY_STOPPED;
    timer_.stop();
    replay_step(parts_->replay);
    after_rounds(new_replay);
    update_replay_state();
}

void SessionWindow::set_speed(ReplaySpeed speed) {
    replay_set_speed(parts_->replay, speed);
    speed_actions_[speed]->setChecked(true);
    update_replay_state();
}

void SessionWindow::replay_tick() {
    ::replay_tick(parts_->replay);
    after_rounds(false);
    if (parts_->replay.state != REPLAY_PLAYING) {
        timer_.stop();
    }
    update_replay_state();
}

void SessionWindow::after_rounds(bool new_replay) {
    if (new_replay) {
        // The stores were emptied for the replay: the lists start over.
        for (int m = 1; m <= 2; ++m) {
            view_->status_model(m)->reset();
            view_->eye_view(m)->show_points(nullptr, 0);
        }
        last_warning_.clear();
    }
    for (int m = 1; m <= 2; ++m) {
        if (parts_->replay.eye_count[m - 1] >= 0) {
            view_->eye_view(m)->show_points(parts_->replay.eye[m - 1], parts_->replay.eye_count[m - 1]);
        }
    }
    view_->sync_lists();
}

void SessionWindow::replay_warning(void *context, const char *line) {
    // A replay never stops for a box: the error goes to the status bar.
    SessionWindow *window = static_cast<SessionWindow *>(context);
    window->last_warning_ = QStringLiteral("Driver-internal error: %1").arg(QString::fromLatin1(line));
}

QString SessionWindow::replay_text() const {
    const OpenedSession &session = parts_->session;
    QString text;
    switch (parts_->replay.state) {
    case REPLAY_PLAYING:
        text = QStringLiteral("Replaying at %1").arg(QString::fromLatin1(REPLAY_SPEED_NAMES[parts_->replay.speed]));
        break;
    case REPLAY_PAUSED:
        text = QStringLiteral("Replay paused");
        break;
    case REPLAY_STOPPED:
        text = parts_->replay.ended ? QStringLiteral("Replay ended: the whole session was played")
                             : QStringLiteral("%1 records, %2 driver-internal errors")
                                   .arg(static_cast<qulonglong>(session.records))
                                   .arg(static_cast<qulonglong>(session.internal_errors));
        break;
    }
    if (parts_->replay.state != REPLAY_STOPPED || parts_->replay.ended) {
        // Where the replay stands in the session.
        const double length = static_cast<double>(session.length_ms) / 1000.0;
        text += QStringLiteral(": %1 s of %2 s")
                    .arg(static_cast<double>(parts_->replay.rounds) * TIMER_PERIOD_MS / 1000.0, 0, 'f', 1)
                    .arg(length, 0, 'f', 1);
    }
    if (!last_warning_.isEmpty()) {
        text += QStringLiteral("    ") + last_warning_;
    }
    return text;
}

void SessionWindow::update_replay_state() {
    play_->setEnabled(parts_->replay.state != REPLAY_PLAYING);
    pause_->setEnabled(parts_->replay.state == REPLAY_PLAYING);
    replay_label_->setText(replay_text());
}

bool SessionWindow::show_eyes_at_line(int modem, int row) {
    StatusModel *model = view_->status_model(modem);
    if (row < 0 || row >= model->rowCount()) {
        return false;
    }
    const size_t index = opened_session_line_record(parts_->session, modem, model->first_number() + row);
    if (index == SIZE_MAX) {
        return false;
    }
    for (int m = 1; m <= 2; ++m) {
        const std::vector<EyePoint> *points = opened_session_eye_at(parts_->session, m, index);
        view_->eye_view(m)->show_points(points != nullptr ? points->data() : nullptr,
                                 points != nullptr ? static_cast<int>(points->size()) : 0);
    }
    return true;
}

namespace {

// One read of a session on a thread of its own; the thread's function holds
// it, so that a read given up still ends, and frees what it read, on its own.
struct SessionReading {
    QString path;
    SessionReader reader;
    std::unique_ptr<SessionParts> parts;
    QString error;
    std::atomic<bool> cancel{false};
    std::atomic<int> permille{0};  // of the file read, for the progress bar
};

void reading_progress(void *context, uint64_t bytes_read, uint64_t file_bytes) {
    if (file_bytes > 0) {
        static_cast<SessionReading *>(context)->permille = static_cast<int>(std::min<uint64_t>(bytes_read * 1000 / file_bytes, 1000));
    }
}

}  // namespace

SessionWindow *open_session_window(const QString &path, QWidget *owner, const SessionReader &reader) {
    auto reading = std::make_shared<SessionReading>();
    reading->path = path;
    reading->reader = reader;
    QThread *thread = QThread::create([reading] {
        SessionOpenControl control;
        control.context = reading.get();
        control.progress = reading_progress;
        control.cancel = &reading->cancel;
        reading->parts = reading->reader(reading->path, &reading->error, control);
    });
    // On the heap and watched: the owner may go while the file is read,
    // taking the dialog with it.
    const QPointer<QWidget> owner_kept(owner);
    const QPointer<QProgressDialog> progress = new QProgressDialog(
        QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()), QStringLiteral("Cancel"), 0, 1000, owner);
    progress->setWindowTitle(QStringLiteral("Open Session"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(400);  // a small file opens without it
    QEventLoop loop;
    bool done = false;
    QObject::connect(thread, &QThread::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QObject::connect(progress, &QProgressDialog::canceled, &loop, [&] {
        reading->cancel = true;  // the read stops at its next directive
        loop.quit();
    });
    QTimer bar;
    QObject::connect(&bar, &QTimer::timeout, progress, [&] { progress->setValue(reading->permille); });
    bar.start(100);
    // The thread deletes itself once its read is over, whether or not
    // anyone still waits for it.
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    // The windows' timers and painting go on in this loop while the file is read.
    loop.exec();
    delete progress.data();
    if (!done || (owner != nullptr && owner_kept.isNull())) {
        return nullptr;  // given up: what the read gives is freed when it ends
    }
    if (reading->parts == nullptr) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Open Session"),
                        QStringLiteral("%1 cannot be opened as a session:\n%2").arg(path, reading->error),
                        QMessageBox::Ok, owner);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return nullptr;
    }
    SessionWindow *window = new SessionWindow(std::move(reading->parts));
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (owner != nullptr) {
        // A window of its own, closed with the one it was opened from.
        window->setParent(owner, Qt::Window);
    }
    window->show();
    return window;
}

void open_session_as(QWidget *owner) {
    const QString path = QFileDialog::getOpenFileName(
        owner, QStringLiteral("Open Session"), QString(),
        QStringLiteral("Sessions and traces (*.trace *.trace.gz *.gz);;All files (*)"));
    if (!path.isEmpty()) {
        open_session_window(path, owner);
    }
}

namespace {

// Opens the local files dropped on a window as sessions.
class SessionDrops : public QObject {
public:
    explicit SessionDrops(QMainWindow *window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (watched != window_) {
            return false;
        }
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            QDropEvent *drag = static_cast<QDropEvent *>(event);
            if (!local_files(drag->mimeData()).isEmpty()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            QDropEvent *drop = static_cast<QDropEvent *>(event);
            const QStringList files = local_files(drop->mimeData());
            if (!files.isEmpty()) {
                drop->acceptProposedAction();
                // Opened once the drop is over: a message box must not run
                // inside the drag's own loop.
                QMainWindow *window = window_;
                QMetaObject::invokeMethod(
                    window,
                    [window, files] {
                        for (const QString &file : files) {
                            open_session_window(file, window);
                        }
                    },
                    Qt::QueuedConnection);
                return true;
            }
        }
        return false;
    }

private:
    static QStringList local_files(const QMimeData *data) {
        QStringList files;
        if (data != nullptr && data->hasUrls()) {
            for (const QUrl &url : data->urls()) {
                if (url.isLocalFile()) {
                    files << url.toLocalFile();
                }
            }
        }
        return files;
    }

    QMainWindow *window_;
};

}  // namespace

void accept_session_drops(QMainWindow *window) {
    window->setAcceptDrops(true);
    window->installEventFilter(new SessionDrops(window));
}
