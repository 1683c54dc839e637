// Command line of the window.
#include "monitor/qt/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstring>

#include "driverlink/device.h"

WindowCommand parse_window_command_line(const QStringList &arguments, QString *device, QString *message,
                                        bool *reset_settings, QString *session) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Monitors the Tarvel modem driver: the status lines and eye diagrams of both modems,\n"
        "and the capture files that the driver asks for.\n"
        "Run with --console for the same monitor without a window."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption reset(QStringLiteral("reset-settings"),
                                   QStringLiteral("Forget the saved window layout and list and eye options."));
    parser.addOption(reset);
    parser.addPositionalArgument(QStringLiteral("device"),
                                 QStringLiteral("The driver device \\\\.\\device (at most %1 characters),\n"
                                                "or a recorded session (a file) to open instead.")
                                     .arg(DEVICE_ARGUMENT_MAX),
                                 QStringLiteral("[device | FILE]"));
    device->clear();
    message->clear();
    if (!parser.parse(arguments)) {
        *message = QStringLiteral("LineWatch: %1\n\n%2").arg(parser.errorText(), parser.helpText());
        return WINDOW_ERROR;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        *message = parser.helpText();
        return WINDOW_PRINT;
    }
    if (parser.isSet(version)) {
        *message = QStringLiteral("LineWatch %1\n").arg(QStringLiteral(TARVEL_VERSION));
        return WINDOW_PRINT;
    }
    if (reset_settings != nullptr) {
        *reset_settings = parser.isSet(reset);
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        *message = QStringLiteral("LineWatch: one device name at most, got %1\n").arg(positional.size());
        return WINDOW_ERROR;
    }
    if (!positional.isEmpty() && session != nullptr && QFileInfo(positional.first()).isFile()) {
        *session = positional.first();
        return WINDOW_OPEN;
    }
    if (!positional.isEmpty()) {
        *device = positional.first();
        if (device->toLocal8Bit().size() > static_cast<qsizetype>(DEVICE_ARGUMENT_MAX)) {
            *message = QStringLiteral("LineWatch: device name too long: at most %1 characters\n")
                           .arg(DEVICE_ARGUMENT_MAX);
            device->clear();
            return WINDOW_ERROR;
        }
    }
    return WINDOW_RUN;
}

bool window_wants_text_only(int argc, char **argv) {
    static const char *const TEXT_OPTIONS[] = {"--help", "-h", "-?", "--help-all", "--version", "-v"};
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        for (const char *option : TEXT_OPTIONS) {
            if (std::strcmp(argv[i], option) == 0) {
                return true;
            }
        }
    }
    return false;
}
