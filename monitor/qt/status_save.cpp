// Status list files.
#include "monitor/qt/status_save.h"

#include <QSaveFile>

#include "monitor/monitor.h"

// Writes all of bytes. A short write (the disk filled up or the file reached
// its size limit part way) is followed by a write of the rest, which fails
// with the system's reason; the short one alone leaves no reason to show.
static bool write_all(QSaveFile *file, const QByteArray &bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const qint64 written = file->write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            return false;
        }
        done += static_cast<qsizetype>(written);
    }
    return true;
}

ExportFormat export_format_for(const QString &path) {
    return path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ? EXPORT_CSV : EXPORT_TEXT;
}

bool save_status(const Monitor &monitor, int modem, const QString &path, ExportFormat format,
                 LineTimeFormat time_format, QString *error) {
    if (modem != 1 && modem != 2) {
        *error = QStringLiteral("no such modem");
        return false;
    }
    const LineStore &store = monitor.stores[modem - 1];
    QSaveFile file(path);
    // Unbuffered: every block reaches the file in write_all, where a failure
    // keeps its reason, never later in a flush that cannot tell it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    // Written in blocks; the lines of a full store come to megabytes.
    QByteArray block;
    constexpr qsizetype BLOCK_BYTES = 1 << 16;
    block.reserve(BLOCK_BYTES + static_cast<qsizetype>(EXPORT_ROW_BYTES));
    block.append(export_header(format));
    bool ok = true;
    for (size_t i = 0; ok && i < store.count; ++i) {
        char time[LINE_TIME_TEXT_BYTES];
        store_line_time(store, i, monitor.activity, modem, time_format, time);
        char row[EXPORT_ROW_BYTES];
        const size_t n = export_row(format, time_format != LINE_TIME_OFF ? time : nullptr, modem,
                                    line_store_text(store, i), row, sizeof row);
        block.append(row, static_cast<qsizetype>(n));
        if (block.size() >= BLOCK_BYTES) {
            ok = write_all(&file, block);
            block.clear();
        }
    }
    if (ok && !block.isEmpty()) {
        ok = write_all(&file, block);
    }
    if (!ok) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool save_bytes(const QString &path, const QByteArray &bytes, QString *error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    if (!write_all(&file, bytes)) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
