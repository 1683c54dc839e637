// The client area of a monitor view: the MDI area that holds the children.
#pragma once

#include <QMdiArea>

// The client area: never lets the MDI area arrange the children; it says
// when its size changes, and whoever owns the children lays them out.
class ChildArea : public QMdiArea {
    Q_OBJECT
public:
    explicit ChildArea(QWidget *parent = nullptr);

signals:
    void resized();

protected:
    void resizeEvent(QResizeEvent *event) override;
};
