// Client area.
#include "monitor/qt/child_area.h"

#include <QColor>
#include <QResizeEvent>

ChildArea::ChildArea(QWidget *parent) : QMdiArea(parent) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setOption(QMdiArea::DontMaximizeSubWindowOnActivation, true);
    setBackground(QColor(128, 128, 128));
}

void ChildArea::resizeEvent(QResizeEvent *event) {
    QMdiArea::resizeEvent(event);
    emit resized();
}
