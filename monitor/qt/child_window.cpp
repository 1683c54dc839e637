// Child window: a caption bar whose close button hides the child.
#include "monitor/qt/child_window.h"

#include <QCloseEvent>
#include <QIcon>
#include <QPixmap>

ChildWindow::ChildWindow(int child_id)
    : QMdiSubWindow(nullptr, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      child_id_(child_id) {
    // No toolkit logo in the caption bar: a blank icon in its place.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    setWindowIcon(QIcon(blank));
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void ChildWindow::closeEvent(QCloseEvent *event) {
    // The close button hides the child and unchecks its menu item, exactly
    // as the menu command does; the child lives on and keeps ticking.
    event->ignore();
    emit close_requested(child_id_);
}
