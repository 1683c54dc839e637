// The main window's client area, the MDI area that holds the children.
#pragma once

#include <QMdiArea>

class MainWindow;

// The client area: lays the children out itself on every resize and never
// lets the MDI area arrange them.
class ChildArea : public QMdiArea {
    Q_OBJECT
public:
    explicit ChildArea(MainWindow *main_window);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    MainWindow *main_window_;
};
