// Recording a session from the live window.
#include "monitor/qt/session_recording.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

QString recording_status_text(const QString &name, uint64_t bytes, int64_t recorded_us) {
    char size[32];
    session_size_text(bytes, size, sizeof size);
    const int64_t seconds = recorded_us > 0 ? recorded_us / 1000000 : 0;
    return QStringLiteral("Recording %1  %2  %3:%4:%5")
        .arg(name, QString::fromLatin1(size))
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

SessionRecording::SessionRecording(Monitor &monitor, QMainWindow *window)
    : QObject(window), monitor_(monitor), window_(window) {
    label_ = new QLabel(window);
    label_->hide();
    window->statusBar()->addPermanentWidget(label_);
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &SessionRecording::check);
}

SessionRecording::~SessionRecording() {
    if (recording_ != nullptr) {
        session_recording_stop(monitor_, *recording_);
    }
}

void SessionRecording::use_actions(QAction *record, QAction *stop) {
    record_ = record;
    stop_ = stop;
    update_actions();
}

void SessionRecording::update_actions() {
    if (record_ != nullptr) {
        record_->setEnabled(!recording());
        stop_->setEnabled(recording());
    }
}

void SessionRecording::record_as() {
    if (recording()) {
        return;
    }
    const QString path = QFileDialog::getSaveFileName(
        window_, QStringLiteral("Record Session"), QStringLiteral("session.trace.gz"),
        QStringLiteral("Compressed session (*.trace.gz *.gz);;Session (*.trace);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    QString error;
    if (!start(path, 1, &error)) {
        QMessageBox::warning(window_, QStringLiteral("Record Session"),
                             QStringLiteral("Could not record into %1:\n%2").arg(path, error));
    }
}

bool SessionRecording::start(const QString &path, uint32_t eye_every, QString *error) {
    if (recording()) {
        stop();
    }
    recording_ = std::make_unique<WindowRecording>();
    if (!session_recording_start(monitor_, *recording_, QFile::encodeName(path).constData(), eye_every)) {
        *error = QString::fromLocal8Bit(recording_->writer.error());
        recording_.reset();
        return false;
    }
    name_ = QFileInfo(path).fileName();
    label_->setStyleSheet(QString());
    label_->setText(status_text());
    label_->show();
    timer_.start();
    update_actions();
    return true;
}

void SessionRecording::stop() {
    if (!recording()) {
        return;
    }
    timer_.stop();
    const bool complete = session_recording_stop(monitor_, *recording_);
    if (!complete) {
        report_failure(QString::fromLocal8Bit(recording_->writer.error()));
    } else {
        label_->hide();
    }
    update_actions();
}

QString SessionRecording::status_text() const {
    if (recording_ == nullptr) {
        return QString();
    }
    return recording_status_text(name_, recording_->writer.file_bytes(), recording_->writer.recorded_us());
}

void SessionRecording::check() {
    if (!recording()) {
        return;
    }
    if (session_recording_failed(monitor_, *recording_)) {
        timer_.stop();
        update_actions();
        report_failure(QString::fromLocal8Bit(recording_->writer.error()));
        return;
    }
    label_->setText(status_text());
}

void SessionRecording::report_failure(const QString &reason) {
    // The status bar keeps the reason until the next recording; the box does
    // not hold anything up: the monitor's timers go on under it.
    const QString text = QStringLiteral("%1; monitoring goes on").arg(reason);
    label_->setStyleSheet(QStringLiteral("color: #b00000"));
    label_->setText(text);
    label_->show();
    QMessageBox *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Recording Stopped"), text,
                                       QMessageBox::Ok, window_);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}
