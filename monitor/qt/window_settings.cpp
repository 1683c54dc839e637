// Window settings.
#include "monitor/qt/window_settings.h"

#include <QSettings>

#include "monitor/window_tables.h"

void write_window_options(const WindowOptions &options, QSettings &settings) {
    settings.setValue(QStringLiteral("window/geometry"), options.geometry);
    for (int i = 0; i < 4; ++i) {
        settings.setValue(QStringLiteral("children/%1/shown").arg(CHILD_ROWS[i].id), options.child_shown[i]);
    }
    settings.setValue(QStringLiteral("children/%1/shown").arg(CHILD_CALLS), options.calls_shown);
    settings.setValue(QStringLiteral("lists/time_format"), static_cast<int>(options.time_format));
    for (int m = 1; m <= 2; ++m) {
        const ListOptions &list = options.lists[m - 1];
        settings.setValue(QStringLiteral("lists/%1/following").arg(m), list.following);
        settings.setValue(QStringLiteral("lists/%1/filter").arg(m), list.filter);
        const EyeOptions &eye = options.eyes[m - 1];
        settings.setValue(QStringLiteral("eyes/%1/mode").arg(m), static_cast<int>(eye.mode));
        settings.setValue(QStringLiteral("eyes/%1/fade_ticks").arg(m), eye.fade_ticks);
        settings.setValue(QStringLiteral("eyes/%1/frozen").arg(m), eye.frozen);
        settings.setValue(QStringLiteral("eyes/%1/readouts").arg(m), eye.readouts);
    }
}

// An integer setting within [low, high], else `fallback`.
static int bounded(const QSettings &settings, const QString &key, int low, int high, int fallback) {
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

WindowOptions read_window_options(const QSettings &settings) {
    WindowOptions options;
    options.geometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
    for (int i = 0; i < 4; ++i) {
        const QVariant shown = settings.value(QStringLiteral("children/%1/shown").arg(CHILD_ROWS[i].id));
        if (shown.isValid()) {
            options.child_shown[i] = shown.toBool();
        }
    }
    options.calls_shown =
        settings.value(QStringLiteral("children/%1/shown").arg(CHILD_CALLS), options.calls_shown).toBool();
    options.time_format = static_cast<LineTimeFormat>(
        bounded(settings, QStringLiteral("lists/time_format"), 0, LINE_TIME_FORMATS - 1, options.time_format));
    for (int m = 1; m <= 2; ++m) {
        ListOptions &list = options.lists[m - 1];
        list.filter = settings.value(QStringLiteral("lists/%1/filter").arg(m), list.filter).toString();
        list.following = settings.value(QStringLiteral("lists/%1/following").arg(m), list.following).toBool();
        EyeOptions &eye = options.eyes[m - 1];
        eye.mode = static_cast<EyeMode>(
            bounded(settings, QStringLiteral("eyes/%1/mode").arg(m), EYE_LAST_TICK, EYE_DENSITY, eye.mode));
        eye.fade_ticks =
            bounded(settings, QStringLiteral("eyes/%1/fade_ticks").arg(m), EYE_FADE_MIN, EYE_FADE_MAX, eye.fade_ticks);
        eye.frozen = settings.value(QStringLiteral("eyes/%1/frozen").arg(m), eye.frozen).toBool();
        eye.readouts = settings.value(QStringLiteral("eyes/%1/readouts").arg(m), eye.readouts).toBool();
    }
    return options;
}
