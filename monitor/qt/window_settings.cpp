// Window settings.
#include "monitor/qt/window_settings.h"

#include <QLineEdit>
#include <QSettings>

#include "monitor/qt/eye_view.h"
#include "monitor/qt/main_window.h"
#include "monitor/qt/status_pane.h"
#include "monitor/qt/status_view.h"
#include "monitor/windows.h"

static bool shown_flag(int child_id) {
    switch (child_id) {
    case CHILD_STATUS_1:
    case CHILD_STATUS_2:
        return status_visible[child_id - CHILD_STATUS_1] != 0;
    default:
        return eye_visible[child_id - CHILD_EYE_1] != 0;
    }
}

void save_window_settings(const MainWindow &window, QSettings &settings) {
    settings.setValue(QStringLiteral("window/geometry"), window.saveGeometry());
    for (const ChildRow &row : CHILD_ROWS) {
        settings.setValue(QStringLiteral("children/%1/shown").arg(row.id), shown_flag(row.id));
    }
    settings.setValue(QStringLiteral("lists/time_format"), static_cast<int>(window.time_format()));
    for (int m = 1; m <= 2; ++m) {
        settings.setValue(QStringLiteral("lists/%1/following").arg(m), window.status_view(m)->following());
        settings.setValue(QStringLiteral("lists/%1/filter").arg(m), window.status_pane(m)->filter_field()->text());
        const EyeView *eye = window.eye_view(m);
        settings.setValue(QStringLiteral("eyes/%1/mode").arg(m), static_cast<int>(eye->mode()));
        settings.setValue(QStringLiteral("eyes/%1/fade_ticks").arg(m), eye->fade_ticks());
        settings.setValue(QStringLiteral("eyes/%1/frozen").arg(m), eye->frozen());
        settings.setValue(QStringLiteral("eyes/%1/readouts").arg(m), eye->readouts());
    }
}

// An integer setting within [low, high], else `fallback`.
static int bounded(QSettings &settings, const QString &key, int low, int high, int fallback) {
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

void load_window_settings(MainWindow *window, QSettings &settings) {
    const QByteArray geometry = settings.value(QStringLiteral("window/geometry")).toByteArray();
    if (!geometry.isEmpty()) {
        window->restoreGeometry(geometry);
    }
    for (const ChildRow &row : CHILD_ROWS) {
        const QVariant shown = settings.value(QStringLiteral("children/%1/shown").arg(row.id));
        // Through the menu command, so that flags and check marks agree.
        if (shown.isValid() && shown.toBool() != shown_flag(row.id)) {
            window->command(row.menu_id);
        }
    }
    window->set_time_format(static_cast<LineTimeFormat>(
        bounded(settings, QStringLiteral("lists/time_format"), 0, LINE_TIME_FORMATS - 1, LINE_TIME_OFF)));
    for (int m = 1; m <= 2; ++m) {
        window->status_pane(m)->filter_field()->setText(
            settings.value(QStringLiteral("lists/%1/filter").arg(m)).toString());
        window->status_view(m)->set_following(
            settings.value(QStringLiteral("lists/%1/following").arg(m), true).toBool());
        EyeView *eye = window->eye_view(m);
        const EyeMode mode = static_cast<EyeMode>(
            bounded(settings, QStringLiteral("eyes/%1/mode").arg(m), EYE_LAST_TICK, EYE_DENSITY, EYE_LAST_TICK));
        eye->set_mode(mode, bounded(settings, QStringLiteral("eyes/%1/fade_ticks").arg(m), EYE_FADE_MIN,
                                    EYE_FADE_MAX, eye->fade_ticks()));
        eye->set_frozen(settings.value(QStringLiteral("eyes/%1/frozen").arg(m), false).toBool());
        eye->set_readouts(settings.value(QStringLiteral("eyes/%1/readouts").arg(m), false).toBool());
    }
}
