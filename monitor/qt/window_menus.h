// The menu bar of a monitor window, built from the core's menu table, and
// what every monitor window does with a command's effect.
#pragma once

#include <functional>

#include "monitor/window_tables.h"

class QAction;
class QMainWindow;
class QMenuBar;
class QWidget;
class MonitorView;
struct Monitor;

class WindowMenus {
public:
    // Builds the menus of `window` in table order, with the View menu of
    // `view` before Help and the lists' Save items above Exit; each item
    // runs `command` with its id. A window that does not `record` has no
    // Record Session and Stop Recording items. Check marks start as the
    // monitor's visibility flags say.
    WindowMenus(QMainWindow *window, MonitorView *view, bool record, std::function<void(int)> command);

    // Each item enabled as the core says it can be chosen now.
    void enable_as(const Monitor &monitor);
    // The item of a command id; null for an id the menus do not have.
    QAction *action(int id) const;
    // File > Save Modem N Status As...
    QAction *save_action(int modem) const { return save_actions_[modem - 1]; }

private:
    void add_item(class QMenu *menu, const char *text, int id, bool checkable);

    MonitorView *view_;
    std::function<void(int)> command_;
    struct Item {
        int id;
        QAction *action;
    };
    Item items_[16] = {};
    int count_ = 0;
    QAction *save_actions_[2] = {};
};

// What every monitor window does with a command's effect: a toggle shows or
// hides the child and sets its item's check mark, Exit closes the window,
// About shows the About box, Open Session asks for a session to open beside
// the window. False for the commands a window carries out itself
// (recording) and for unknown ones.
bool carry_out_command(QMainWindow *window, MonitorView *view, const WindowMenus &menus,
                       const CommandEffect &effect);

// A message box owned by `parent`, plain text; exec() runs its own event
// loop, in which every timer keeps firing.
void show_message(QWidget *parent, int icon, const char *caption, const char *text);
