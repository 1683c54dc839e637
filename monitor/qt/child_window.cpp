// Child window: a caption bar whose close button hides the child.
#include "monitor/qt/child_window.h"

#include <QCloseEvent>
#include <QIcon>
#include <QPixmap>

#include "monitor/qt/main_window.h"
#include "monitor/window_tables.h"

ChildWindow::ChildWindow(int child_id, MainWindow *main_window)
    : QMdiSubWindow(nullptr, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      child_id_(child_id),
      main_window_(main_window) {
    // No toolkit logo in the caption bar: a blank icon in its place.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
}

void ChildWindow::closeEvent(QCloseEvent *event) {
    // The close button hides the child and unchecks its menu item, exactly
    // as the menu command does; the child lives on and keeps ticking.
    event->ignore();
    main_window_->command(child_id_ == CHILD_CALLS ? IDM_CALLS : child_close_command(child_id_));
}
