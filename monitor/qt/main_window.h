// The main window "Line Watch" of a live monitor: the monitor view (four
// children laid out 2 x 2, the Calls child), the menu built from the
// monitor's menu table, the five 100 ms timers, the warning boxes, the
// recording of a session and the options kept between runs. Every decision
// is the core's; these classes dispatch to it and draw what it produces.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include <memory>

#include "monitor/monitor.h"
#include "monitor/qt/window_options.h"

class QSettings;
class MonitorView;
class SessionRecording;
class WindowMenus;
struct CallWatch;
struct OpenedSession;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // A window over `monitor`, which outlives it. Tests drive the ticks
    // themselves and pass start_timers false.
    explicit MainWindow(Monitor &monitor, bool start_timers = true);
    ~MainWindow() override;
    Monitor &monitor() const { return monitor_; }
    MonitorView *view() const { return view_; }

    // Carries out a menu command (ids of the menu table); unknown ids do nothing.
    void command(int id);
    QAction *menu_action(int id) const;
    // File > Save Modem N Status As...
    QAction *save_action(int modem) const;

    // One tick of a status list: the core's bounded drain (either list's
    // tick fills both lists), then both lists catch up with their stores.
    void status_tick();
    void eye_tick(int modem);
    void main_tick();
    QTimer *timer(int index) { return &timers_[index]; }
    QTimer *calls_timer() { return &calls_timer_; }

    // The Calls child shows the calls the monitor follows live, or those of
    // an opened session's trace, which the window then keeps; origin_us is
    // the wall clock of the watch's time 0 (the session's start). A null
    // watch goes back to the live calls.
    void show_session_calls(std::unique_ptr<CallWatch> watch, int64_t origin_us);
    void show_session_calls(const OpenedSession &session);
    const CallWatch *live_calls() const { return live_calls_.get(); }

    // Options kept between runs: loaded now, saved when the window closes.
    void use_settings(QSettings *settings);
    // Takes the options (in range, as read_window_options gives them): the
    // children through the menu command, so that flags and check marks agree.
    void apply_options(const WindowOptions &options);
    WindowOptions options() const;

    // File > Record Session... and Stop Recording.
    SessionRecording *session_recording() const { return recording_; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void start_timers();
    static void sink_show_warning(void *context, const char *line);

    Monitor &monitor_;
    MonitorView *view_ = nullptr;
    std::unique_ptr<WindowMenus> menus_;
    // One per tick of the core, in its order (MONITOR_TICKS).
    QTimer timers_[5];
    MonitorSink sink_ = {};
    QSettings *settings_ = nullptr;
    SessionRecording *recording_ = nullptr;
    std::unique_ptr<CallWatch> live_calls_;
    std::unique_ptr<CallWatch> session_calls_;
    // The running calls' durations, once a second.
    QTimer calls_timer_;
};
