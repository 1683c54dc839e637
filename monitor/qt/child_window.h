// A child window of the main window's MDI area.
#pragma once

#include <QMdiSubWindow>

#include "monitor/window_tables.h"

class MainWindow;

// A child window: caption bar and close button; closing it hides it through
// the main window's menu command, it is never destroyed by the user.
class ChildWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    ChildWindow(int child_id, MainWindow *main_window);
    int child_id() const { return child_id_; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    int child_id_;
    MainWindow *main_window_;
};
