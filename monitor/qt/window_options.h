// The window's options kept between runs, as plain values: geometry, which
// children are shown (the Calls view too), the time format, each list's follow state and filter,
// each eye's mode, fade, freeze and readouts. Every default is what a new
// window starts with.
#pragma once

#include <QByteArray>
#include <QString>

#include "monitor/line_time.h"
#include "monitor/qt/eye_view.h"

struct ListOptions {
    bool following = true;
    QString filter;
};

struct EyeOptions {
    EyeMode mode = EYE_LAST_TICK;
    int fade_ticks = EYE_FADE_DEFAULT;  // within [EYE_FADE_MIN, EYE_FADE_MAX]
    bool frozen = false;
    bool readouts = false;
};

struct WindowOptions {
    QByteArray geometry;  // as QWidget::saveGeometry gives it; empty: none kept
    bool child_shown[4] = {true, true, true, true};  // in the order of CHILD_ROWS
    bool calls_shown = false;                        // Monitor > Calls
    LineTimeFormat time_format = LINE_TIME_OFF;
    ListOptions lists[2];  // index 0 for modem 1
    EyeOptions eyes[2];
};
