// Saving a status list to a file: the stored lines (not only the ones a
// filter shows) as text or CSV, with the time format that is on.
#pragma once

#include <QString>

#include "monitor/line_time.h"
#include "monitor/status_export.h"

// CSV for a name ending in .csv (any case), text otherwise.
ExportFormat export_format_for(const QString &path);

// Writes modem 1's or 2's stored lines to path. The file is written under a
// temporary name and renamed over path only when complete, so a failed save
// never leaves a half file over an old one. False with the reason in *error.
struct Monitor;
bool save_status(const Monitor &monitor, int modem, const QString &path, ExportFormat format,
                 LineTimeFormat time_format, QString *error);

// Writes bytes to path the same way: under a temporary name, renamed over
// path only when complete. False with the reason in *error.
bool save_bytes(const QString &path, const QByteArray &bytes, QString *error);
