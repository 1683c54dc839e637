// A child window of a monitor view's MDI area.
#pragma once

#include <QMdiSubWindow>

// A child window: caption bar and close button. Its close button asks for
// the child to be hidden (close_requested); it is never destroyed by the user.
class ChildWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit ChildWindow(int child_id);
    int child_id() const { return child_id_; }

signals:
    void close_requested(int child_id);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    int child_id_;
};
