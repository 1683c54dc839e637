// File > Record Session... and File > Stop Recording of the live window: a
// session writer fed by the monitor's recording tap, the status bar's
// account of it (file name, size on disk, time recorded, once a second), and
// the stop on a write error, which leaves the monitoring running.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>

#include "monitor/monitor.h"
#include "monitor/session_recording.h"

class QAction;
class QLabel;
class QMainWindow;

// "name  1.2 MB  0:01:05": what the status bar says of a running recording.
QString recording_status_text(const QString &name, uint64_t bytes, int64_t recorded_us);

class SessionRecording : public QObject {
    Q_OBJECT
public:
    // Records `monitor`, which outlives this; the window gets the menu items'
    // owner, the status bar label and the message boxes.
    SessionRecording(Monitor &monitor, QMainWindow *window);
    ~SessionRecording() override;

    // The two File menu items (which the window's menu made), enabled as
    // the state allows from now on.
    void use_actions(QAction *record, QAction *stop);
    QAction *record_action() const { return record_; }
    QAction *stop_action() const { return stop_; }

    // Asks for a file and starts recording into it.
    void record_as();
    // Starts recording into `path` (".gz": compressed), eye points of one
    // tick in `eye_every`. False, with *error set, when the file cannot be
    // created; nothing is recorded then.
    bool start(const QString &path, uint32_t eye_every, QString *error);
    // Stops feeding the writer and closes the file. A file that could not be
    // written to its end is reported as a write error is.
    void stop();
    bool recording() const { return recording_ != nullptr && monitor_.recording == &recording_->tap; }
    // Once a second (and from tests): a writer that failed stops the
    // recording with its reason in the status bar and a message box; the
    // status bar's account is brought up to date.
    void check();
    QString status_text() const;
    QLabel *label() const { return label_; }

private:
    void report_failure(const QString &reason);
    void update_actions();

    Monitor &monitor_;
    QMainWindow *window_;
    std::unique_ptr<WindowRecording> recording_;
    QString name_;
    QTimer timer_;
    QLabel *label_ = nullptr;
    QAction *record_ = nullptr;
    QAction *stop_ = nullptr;
};
