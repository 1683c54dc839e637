// The window's program entry: command line, start-up, event loop, shutdown.
#include "monitor/qt/qt_program.h"

#include "driverlink/driver_source.h"

#include <QApplication>
#include <QCoreApplication>
#include <QSettings>

#include <cstdio>

#include "monitor/monitor.h"
#include "monitor/qt/command_line.h"
#include "monitor/qt/main_window.h"
#include "monitor/qt/session_window.h"
#include "monitor/qt/stop_signals.h"

static int print_and_exit(WindowCommand command, const QString &message) {
    const QByteArray text = message.toLocal8Bit();
    std::fputs(text.constData(), command == WINDOW_PRINT ? stdout : stderr);
    return command == WINDOW_PRINT ? 0 : 2;
}

int run_window(int argc, char **argv) {
    QString device;
    QString message;
    if (window_wants_text_only(argc, argv)) {
        // Help and version need no display.
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("LineWatch"));
        QCoreApplication::setApplicationVersion(QStringLiteral(TARVEL_VERSION));
        const WindowCommand command = parse_window_command_line(QCoreApplication::arguments(), &device, &message);
        return print_and_exit(command, message);
    }
    QApplication app(argc, argv);  // takes Qt's own options off the command line
    QApplication::setApplicationName(QStringLiteral("LineWatch"));
    QApplication::setApplicationVersion(QStringLiteral(TARVEL_VERSION));
    bool reset_settings = false;
    QString session;
    const WindowCommand command =
        parse_window_command_line(QApplication::arguments(), &device, &message, &reset_settings, &session);
    if (command == WINDOW_OPEN) {
        // Just the session: no live monitor, no driver.
        QString error;
        std::unique_ptr<SessionParts> parts = SessionWindow::read(session, &error);
        if (parts == nullptr) {
            std::fprintf(stderr, "LineWatch: %s\n", error.toLocal8Bit().constData());
            return 2;
        }
        SessionWindow window(std::move(parts));
        window.show();
        window_stop_signals_install(&window);
        const int status = QApplication::exec();
        window_stop_signals_remove();
        return status;
    }
    if (command != WINDOW_RUN) {
        return print_and_exit(command, message);
    }
    const QByteArray argument = device.toLocal8Bit();
    // The monitor over the platform's own driver (the tarvel-sim daemon).
    PlatformDriverSource source;
    Monitor *monitor = monitor_new(source);
    if (!monitor_start(*monitor, argument.isEmpty() ? nullptr : argument.constData())) {
        std::fputs("LineWatch: device name too long\n", stderr);
        monitor_delete(monitor);
        return 2;
    }
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tarvel"),
                       QStringLiteral("LineWatch"));
    if (reset_settings) {
        settings.clear();
    }
    int status = 0;
    {
        MainWindow window(*monitor);
        window.use_settings(&settings);
        window.show();
        window_stop_signals_install(&window);
        // The window's close shuts the monitor down; the loop then ends with 0.
        status = QApplication::exec();
        window_stop_signals_remove();
    }
    monitor_delete(monitor);
    return status;
}
