// The window of an opened session.
#include "monitor/qt/session_window.h"

#include <QAction>
#include <QActionGroup>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "monitor/qt/eye_view.h"
#include "monitor/qt/status_filter.h"
#include "monitor/qt/status_model.h"
#include "monitor/qt/status_view.h"

std::unique_ptr<SessionParts> SessionWindow::read(const QString &path, QString *error) {
    auto parts = std::make_unique<SessionParts>();
    std::string message;
    if (!opened_session_read(QFile::encodeName(path).constData(), parts->session, message, parts->warning)) {
        *error = QString::fromLocal8Bit(message.c_str());
        return nullptr;
    }
    parts->monitor = monitor_new(parts->source, opened_session_bounds(parts->session));
    monitor_start(*parts->monitor, nullptr);
    parts->monitor->captures.replaying = true;
    monitor_show_session(*parts->monitor, parts->session);
    return parts;
}

SessionWindow::SessionWindow(std::unique_ptr<SessionParts> parts)
    : MainWindow(*parts->monitor, false, WINDOW_SESSION), parts_(std::move(parts)) {
    const QString name = QFileInfo(QFile::decodeName(parts_->session.path.c_str())).fileName();
    setWindowTitle(QStringLiteral("%1 - %2").arg(name, QString::fromLatin1(MAIN_CAPTION)));
    // The recorded times first: the wall clock of a session, which knows
    // when it started; the time since the modem became active for a trace,
    // which does not (its wall clock would read 1970).
    set_time_format(parts_->session.start_us != 0 ? LINE_TIME_WALL : LINE_TIME_SINCE_ACTIVE);
    sync_lists();
    // The Calls view shows the calls of the whole file; a moment chosen in
    // it selects its line, and the line's selection moves the eyes there.
    show_session_calls(parts_->session);
    for (int m = 1; m <= 2; ++m) {
        const std::vector<EyePoint> *points = opened_session_last_eye(parts_->session, m);
        if (points != nullptr) {
            eye_view(m)->show_points(points->data(), static_cast<int>(points->size()));
        }
        StatusView *view = status_view(m);
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this, m, view](const QModelIndex &current) {
                    if (current.isValid()) {
                        show_eyes_at_line(m, view->status_filter()->mapToSource(current).row());
                    }
                });
    }
    replay_init_file(replay_, *parts_->monitor, parts_->source, parts_->session.path.c_str(), parts_->session.start_us);
    replay_sink_ = {this, nullptr, replay_warning};
    create_replay_bar();
    timer_.setInterval(static_cast<int>(TIMER_PERIOD_MS));
    connect(&timer_, &QTimer::timeout, this, &SessionWindow::replay_tick);
    if (!parts_->warning.empty()) {
        last_warning_ = QString::fromLocal8Bit(parts_->warning.c_str());
    }
    update_replay_state();
}

SessionWindow::~SessionWindow() {
    timer_.stop();
    // The monitor and the children go here, before the window's own
    // destructor runs.
    release_calls();
    // The lists go before the monitor whose stores they show.
    delete takeCentralWidget();
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
        action->setChecked(speed == replay_.speed);
        speeds->addAction(action);
        connect(action, &QAction::triggered, this, [this, speed] { set_speed(speed); });
        speed_actions_[s] = action;
    }
    replay_label_ = new QLabel(this);
    statusBar()->addPermanentWidget(replay_label_);
}

void SessionWindow::play() {
    const bool new_replay = replay_.state == REPLAY_STOPPED;
    replay_play(replay_);
    if (new_replay) {
        after_rounds(true);
    }
    timer_.start();
    update_replay_state();
}

void SessionWindow::pause() {
    replay_pause(replay_);
    timer_.stop();
    update_replay_state();
}

void SessionWindow::step() {
    const bool new_replay = replay_.state == REPLAY_STOPPED;
    timer_.stop();
    replay_step(replay_, replay_sink_);
    after_rounds(new_replay);
    update_replay_state();
}

void SessionWindow::set_speed(ReplaySpeed speed) {
    replay_set_speed(replay_, speed);
    speed_actions_[speed]->setChecked(true);
    update_replay_state();
}

void SessionWindow::replay_tick() {
    ::replay_tick(replay_, replay_sink_);
    after_rounds(false);
    if (replay_.state != REPLAY_PLAYING) {
        timer_.stop();
    }
    update_replay_state();
}

void SessionWindow::after_rounds(bool new_replay) {
    if (new_replay) {
        // The stores were emptied for the replay: the lists start over.
        for (int m = 1; m <= 2; ++m) {
            status_model(m)->reset();
            eye_view(m)->show_points(nullptr, 0);
        }
        last_warning_.clear();
    }
    for (int m = 1; m <= 2; ++m) {
        if (replay_.eye_count[m - 1] >= 0) {
            eye_view(m)->show_points(replay_.eye[m - 1], replay_.eye_count[m - 1]);
        }
    }
    sync_lists();
}

void SessionWindow::replay_warning(void *context, const char *line) {
    // A replay never stops for a box: the error goes to the status bar.
    SessionWindow *window = static_cast<SessionWindow *>(context);
    window->last_warning_ = QStringLiteral("Driver-internal error: %1").arg(QString::fromLatin1(line));
}

QString SessionWindow::replay_text() const {
    const OpenedSession &session = parts_->session;
    QString text;
    switch (replay_.state) {
    case REPLAY_PLAYING:
        text = QStringLiteral("Replaying at %1").arg(QString::fromLatin1(REPLAY_SPEED_NAMES[replay_.speed]));
        break;
    case REPLAY_PAUSED:
        text = QStringLiteral("Replay paused");
        break;
    case REPLAY_STOPPED:
        text = replay_.ended ? QStringLiteral("Replay ended: the whole session was played")
                             : QStringLiteral("%1 records, %2 driver-internal errors")
                                   .arg(static_cast<qulonglong>(session.records))
                                   .arg(static_cast<qulonglong>(session.internal_errors));
        break;
    }
    if (replay_.state != REPLAY_STOPPED || replay_.ended) {
        // Where the replay stands in the session.
        const double length = static_cast<double>(session.length_ms) / 1000.0;
        text += QStringLiteral(": %1 s of %2 s")
                    .arg(static_cast<double>(replay_.rounds) * TIMER_PERIOD_MS / 1000.0, 0, 'f', 1)
                    .arg(length, 0, 'f', 1);
    }
    if (!last_warning_.isEmpty()) {
        text += QStringLiteral("    ") + last_warning_;
    }
    return text;
}

void SessionWindow::update_replay_state() {
    play_->setEnabled(replay_.state != REPLAY_PLAYING);
    pause_->setEnabled(replay_.state == REPLAY_PLAYING);
    replay_label_->setText(replay_text());
}

bool SessionWindow::show_eyes_at_line(int modem, int row) {
    StatusModel *model = status_model(modem);
    if (row < 0 || row >= model->rowCount()) {
        return false;
    }
    const size_t index = opened_session_line_record(parts_->session, modem, model->first_number() + row);
    if (index == SIZE_MAX) {
        return false;
    }
    for (int m = 1; m <= 2; ++m) {
        const std::vector<EyePoint> *points = opened_session_eye_at(parts_->session, m, index);
        eye_view(m)->show_points(points != nullptr ? points->data() : nullptr,
                                 points != nullptr ? static_cast<int>(points->size()) : 0);
    }
    return true;
}

SessionWindow *open_session_window(const QString &path, QWidget *owner) {
    QString error;
    std::unique_ptr<SessionParts> parts = SessionWindow::read(path, &error);
    if (parts == nullptr) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Open Session"),
                        QStringLiteral("%1 cannot be opened as a session:\n%2").arg(path, error), QMessageBox::Ok,
                        owner);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return nullptr;
    }
    SessionWindow *window = new SessionWindow(std::move(parts));
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (owner != nullptr) {
        // A window of its own, closed with the one it was opened from.
        window->setParent(owner, Qt::Window);
    }
    accept_session_drops(window);
    window->show();
    return window;
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
