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

class QLabel;
class QSettings;
class MonitorView;
class WindowMenus;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // A window over `monitor`, which outlives it; the window takes the
    // monitor's events while it lives. Tests drive the ticks themselves and
    // pass start_timers false.
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

    // Options kept between runs: loaded now, saved when the window closes.
    void use_settings(QSettings *settings);
    // Takes the options (in range, as read_window_options gives them): the
    // children through the menu command, so that flags and check marks agree.
    void apply_options(const WindowOptions &options);
    WindowOptions options() const;

    // File > Record Session...: asks for a file (the core's name rule adds
    // the extension of the chosen kind) and records into it.
    void record_session_as();
    // Records into `path` (".gz": compressed), eye points of one tick in
    // `eye_every`. False, with *error saying why, when the file cannot be
    // created; nothing is recorded then.
    bool start_recording(const QString &path, uint32_t eye_every, QString *error);
    // File > Stop Recording: the file completed and closed (an incomplete
    // one is reported as a failed write is).
    void stop_recording();
    // The status bar's account of the recording, or why it stopped.
    QLabel *recording_label() const { return recording_label_; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void start_timers();
    void show_recording_state();
    void report_recording_failure();
    static void event_warning(void *context, const char *line);
    static void event_recording(void *context, RecordingChange change);
    static void event_session_shown(void *context);

    Monitor &monitor_;
    MonitorView *view_ = nullptr;
    std::unique_ptr<WindowMenus> menus_;
    // One per tick of the core, in its order (MONITOR_TICKS).
    QTimer timers_[5];
    QSettings *settings_ = nullptr;
    QLabel *recording_label_ = nullptr;
    // The running calls' durations, once a second.
    QTimer calls_timer_;
};
