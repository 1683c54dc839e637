// The window's options kept between runs (QSettings): geometry, which
// children are shown, the time format, each list's follow state and filter,
// each eye's mode, fade, freeze and readouts.
#pragma once

class MainWindow;
class QSettings;

// Applies what `settings` holds to a new window; values out of range are
// ignored and leave the defaults.
void load_window_settings(MainWindow *window, QSettings &settings);
void save_window_settings(const MainWindow &window, QSettings &settings);
