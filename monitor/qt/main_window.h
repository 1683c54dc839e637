// The main window "Line Watch": the menu built from the monitor's menu table,
// four child windows in an MDI area laid out 2 x 2 on every resize, the five
// 100 ms timers, and the message boxes. Every decision is the core's; these
// classes dispatch to it and draw what it produces.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include <memory>

#include "monitor/line_time.h"
#include "monitor/monitor.h"
#include "monitor/qt/window_options.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QSettings;
class ChildArea;
class ChildWindow;
class EyeView;
class StatusModel;
class StatusView;
class StatusPane;
class SessionRecording;
class CallsView;
struct CallWatch;
struct OpenedSession;

// A live window monitors a driver and records sessions; a session window
// shows an opened session over its own monitor and records nothing.
enum WindowRole { WINDOW_LIVE, WINDOW_SESSION };

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // A window over `monitor`, which outlives it. Tests drive the ticks
    // themselves and pass start_timers false.
    explicit MainWindow(Monitor &monitor, bool start_timers = true, WindowRole role = WINDOW_LIVE);
    WindowRole role() const { return role_; }
    ~MainWindow() override;
    Monitor &monitor() const { return monitor_; }

    // Carries out a menu command (ids of the menu table); unknown ids do nothing.
    void command(int id);
    // Moves the children to their places in the client area.
    void lay_out_children();

    // One tick of a status list: the core's bounded drain (either list's
    // tick fills both lists), then both lists catch up with their stores.
    void status_tick();
    void eye_tick(int modem);
    void main_tick();
    void sync_lists();

    QAction *menu_action(int id) const;
    ChildWindow *child(int child_id) const;
    StatusModel *status_model(int modem) const { return status_models_[modem - 1]; }
    StatusView *status_view(int modem) const { return status_views_[modem - 1]; }
    StatusPane *status_pane(int modem) const { return status_panes_[modem - 1]; }
    EyeView *eye_view(int modem) const { return eye_views_[modem - 1]; }
    ChildArea *child_area() const { return area_; }

    // The Calls view (Monitor > Calls): the calls the monitor follows live,
    // or those an opened session's trace gave (see trace_call_watch), which
    // the window then keeps; origin_us is the wall clock of the watch's time
    // 0 (the session's start). A null watch goes back to the live calls.
    CallsView *calls_view() const { return calls_view_; }
    ChildWindow *calls_child() const { return calls_child_; }
    void show_session_calls(std::unique_ptr<CallWatch> watch, int64_t origin_us);
    // The calls of a session the monitor shows (monitor_show_session): its
    // trace's calls, timed from the session's start.
    void show_session_calls(const OpenedSession &session);
    const CallWatch *live_calls() const { return live_calls_.get(); }
    // Selects the status line of modem 1 or 2 shown at `time_us` of the
    // calls' time: the line of the event's record for a nonzero code (when
    // the list has it within a tick), else the newest line at or before
    // that time. False when the list has no such line or its filter hides
    // it. The list stops following the newest line.
    bool select_status_moment(int modem, int64_t time_us, int code = 0);
    QTimer *calls_timer() { return &calls_timer_; }
    QTimer *timer(int index) { return &timers_[index]; }

    // The time column of both lists (off by default).
    void set_time_format(LineTimeFormat format);
    LineTimeFormat time_format() const { return time_format_; }
    QAction *time_action(LineTimeFormat format) const { return time_actions_[format]; }
    // The status bar's account of both lists: stored, dropped at the bound,
    // warnings discarded while a box was open.
    QString loss_text() const;
    // The status bar's account of the lists' filters: lines still to match,
    // lines undecided (shown). Empty when there is nothing to say.
    QString filter_text() const;
    // Options kept between runs: loaded now, saved when the window closes.
    void use_settings(QSettings *settings);
    // Takes the options (in range, as read_window_options gives them): the
    // children through the menu command, so that flags and check marks agree.
    void apply_options(const WindowOptions &options);
    WindowOptions options() const;

    // File > Save Modem N Status As...: asks for a file, then saves.
    void save_status_as(int modem);
    QAction *save_action(int modem) const { return save_actions_[modem - 1]; }

    // File > Record Session... and Stop Recording (live windows; null in a
    // session window).
    SessionRecording *session_recording() const { return recording_; }
    // File > Open Session...: asks for a file and opens it in a window of its own.
    void open_session_as();
    QAction *open_session_action() const { return open_session_; }

protected:
    void closeEvent(QCloseEvent *event) override;
    // The Calls view lets go of the call watches, and the monitor stops
    // feeding the window's own: before a subclass deletes the children or
    // the monitor it owns. The destructor does it otherwise.
    void release_calls();

private:
    void create_children();
    void create_menus();
    void create_view_menu(QMenu *before);
    void create_calls_child();
    void toggle_calls();
    void place_calls_child();
    void update_loss();
    void update_filter_status();
    void start_timers();
    void show_message(int icon, const char *caption, const char *text);

    static void sink_show_warning(void *context, const char *line);

    Monitor &monitor_;
    ChildArea *area_ = nullptr;
    ChildWindow *children_[4] = {};
    QAction *actions_[MENU_ROW_COUNT] = {};
    StatusModel *status_models_[2] = {};
    StatusView *status_views_[2] = {};
    StatusPane *status_panes_[2] = {};
    EyeView *eye_views_[2] = {};
    // One per tick of the core, in its order (MONITOR_TICKS).
    QTimer timers_[5];
    MonitorSink sink_ = {};
    LineTimeFormat time_format_ = LINE_TIME_OFF;
    QAction *time_actions_[LINE_TIME_FORMATS] = {};
    QLabel *loss_label_ = nullptr;
    QLabel *filter_label_ = nullptr;
    QAction *save_actions_[2] = {};
    QSettings *settings_ = nullptr;
    WindowRole role_ = WINDOW_LIVE;
    SessionRecording *recording_ = nullptr;
    QAction *open_session_ = nullptr;
    std::unique_ptr<CallWatch> live_calls_;
    std::unique_ptr<CallWatch> session_calls_;
    int64_t calls_origin_us_ = 0;  // wall clock of the shown calls' time 0
    CallsView *calls_view_ = nullptr;
    ChildWindow *calls_child_ = nullptr;
    QAction *calls_action_ = nullptr;
    bool calls_released_ = false;
    // The running calls' durations, once a second.
    QTimer calls_timer_;
};
