// The window of an opened session: a top-level window of its own over a
// monitor of its own, whose driver is the session played back
// (SessionDriverSource, which refuses every write), so that a live window
// goes on monitoring beside it. It shows the same monitor view as the live
// window: all lines at once with their recorded times; selecting a line
// moves both eye displays to the points recorded at that moment; a toolbar
// replays the session through the monitor's own path. Its File menu records
// nothing.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

#include "monitor/replay.h"
#include "monitor/session_open.h"

class QAction;
class QLabel;
class QToolBar;
class MonitorView;
class WindowMenus;

// What a session window shows, made before the window: the core's opened
// session (the session as read, the source that plays it and the monitor
// over that source).
using SessionParts = MonitorSession;

class SessionWindow : public QMainWindow {
    Q_OBJECT
public:
    // Reads the session at path. Null, with *error holding the reader's
    // message (naming the line, or saying there is not enough memory), for a
    // file that cannot be opened, and when `control` cancels it. Touches no
    // window: it may run on any thread.
    static std::unique_ptr<SessionParts> read(const QString &path, QString *error,
                                              const SessionOpenControl &control = {});
    explicit SessionWindow(std::unique_ptr<SessionParts> parts);
    ~SessionWindow() override;

    const OpenedSession &session() const { return parts_->session; }
    Monitor &monitor() const { return *parts_->monitor; }
    MonitorView *view() const { return view_; }
    const Replay &replay() const { return parts_->replay; }

    // Carries out a menu command (ids of the menu table).
    void command(int id);
    QAction *menu_action(int id) const;

    // The toolbar's commands.
    void play();
    void pause();
    void step();
    void set_speed(ReplaySpeed speed);
    // One tick of the replay timer (tests call it without the timer).
    void replay_tick();
    QAction *play_action() const { return play_; }
    QAction *pause_action() const { return pause_; }
    QAction *step_action() const { return step_; }
    QAction *speed_action(ReplaySpeed speed) const { return speed_actions_[speed]; }
    QToolBar *replay_bar() const { return bar_; }
    QTimer *replay_timer() { return &timer_; }
    QString replay_text() const;

    // Both eye displays to the points recorded at the record behind a line
    // of modem 1 or 2 (its row in the store). False for a row the session
    // does not have.
    bool show_eyes_at_line(int modem, int row);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void create_replay_bar();
    void after_rounds(bool new_replay);
    void update_replay_state();
    static void replay_warning(void *context, const char *line);

    std::unique_ptr<SessionParts> parts_;
    MonitorView *view_ = nullptr;
    std::unique_ptr<WindowMenus> menus_;
    QTimer timer_;
    QToolBar *bar_ = nullptr;
    QAction *play_ = nullptr;
    QAction *pause_ = nullptr;
    QAction *step_ = nullptr;
    QAction *speed_actions_[REPLAY_SPEEDS] = {};
    QLabel *replay_label_ = nullptr;
    QString last_warning_;
};

// How a session is read: SessionWindow::read, or a stand-in in tests.
using SessionReader =
    std::function<std::unique_ptr<SessionParts>(const QString &path, QString *error, const SessionOpenControl &control)>;

// Opens the session at path in a window of its own, shown, owned by `owner`
// (closed with it; null: a window of its own that ends the program when
// closed). The file is read off the window's thread, under a progress
// dialog that appears when reading takes a while and whose Cancel gives up
// the open; the windows meanwhile go on with their timers. A file that
// cannot be read (not a trace, not enough memory) gets a message box with
// the reader's message and nothing else changes; null then, and when
// cancelled.
SessionWindow *open_session_window(const QString &path, QWidget *owner, const SessionReader &reader = SessionWindow::read);

// File > Open Session...: asks for a file and opens it beside `owner`.
void open_session_as(QWidget *owner);

// Lets files dropped on `window` open as sessions.
void accept_session_drops(QMainWindow *window);
