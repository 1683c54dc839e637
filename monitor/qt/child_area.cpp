// Client area: the children laid out on every resize.
#include "monitor/qt/child_area.h"

#include <QColor>
#include <QResizeEvent>

#include "monitor/qt/main_window.h"

ChildArea::ChildArea(MainWindow *main_window) : QMdiArea(main_window), main_window_(main_window) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setOption(QMdiArea::DontMaximizeSubWindowOnActivation, true);
    setBackground(QColor(128, 128, 128));
}

void ChildArea::resizeEvent(QResizeEvent *event) {
    QMdiArea::resizeEvent(event);
    main_window_->lay_out_children();
}
