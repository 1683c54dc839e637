// The window's options kept between runs, in QSettings.
#pragma once

#include "monitor/qt/window_options.h"

class QSettings;

// The options `settings` holds; a value missing or out of range is ignored
// and leaves the default.
WindowOptions read_window_options(const QSettings &settings);
void write_window_options(const WindowOptions &options, QSettings &settings);
