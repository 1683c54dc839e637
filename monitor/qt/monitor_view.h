// What a window of the monitor shows, shared by the live window and the
// window of an opened session: the MDI area with the four children (both
// status lists, both eye displays) laid out 2 x 2 on every resize, the
// Calls child beside them, the lists' time column and View menu, and the
// status bar's account of the lists. It draws one monitor's stores; the
// window that holds it decides which commands reach it.
#pragma once

#include <QWidget>

#include <cstdint>

#include "monitor/line_time.h"
#include "monitor/monitor.h"

class QLabel;
class QMenu;
class QStatusBar;
class CallsView;
class ChildArea;
class ChildWindow;
class EyeView;
class StatusModel;
class StatusPane;
class StatusView;

class MonitorView : public QWidget {
    Q_OBJECT
public:
    // A view of `monitor`, which outlives it.
    explicit MonitorView(Monitor &monitor, QWidget *parent = nullptr);
    ~MonitorView() override;
    Monitor &monitor() const { return monitor_; }

    // A child by id (CHILD_CALLS for the Calls child); null for another id.
    ChildWindow *child(int child_id) const;
    ChildArea *child_area() const { return area_; }
    // Shows or hides a child, as a toggle command's effect says.
    void show_child(int child_id, bool shown);
    // Moves the children to their places in the client area.
    void lay_out_children();

    StatusModel *status_model(int modem) const { return status_models_[modem - 1]; }
    StatusView *status_view(int modem) const { return status_views_[modem - 1]; }
    StatusPane *status_pane(int modem) const { return status_panes_[modem - 1]; }
    EyeView *eye_view(int modem) const { return eye_views_[modem - 1]; }
    CallsView *calls_view() const { return calls_view_; }
    ChildWindow *calls_child() const { return calls_child_; }

    // Selects the status line of modem 1 or 2 that the core finds for
    // `time_us` of the calls' time and an event code (monitor_line_at).
    // False when the list has no such line or its filter hides it. The list
    // stops following the newest line.
    bool select_status_moment(int modem, int64_t time_us, int code = 0);

    // Both lists catch up with their stores, the Calls child with its
    // watch, the status bar with both.
    void sync_lists();
    // The stores were filled or emptied at once: the lists start over from
    // them and the Calls child shows the monitor's calls as they are now.
    void start_over();

    // The time column of both lists (off by default), chosen from the View
    // menu or a list's context menu.
    void set_time_format(LineTimeFormat format);
    LineTimeFormat time_format() const { return time_format_; }
    QAction *time_action(LineTimeFormat format) const { return time_actions_[format]; }
    QMenu *view_menu() const { return view_menu_; }

    // The status bar's account of both lists: stored, dropped at the bound,
    // warnings discarded while a box was open.
    QString loss_text() const;
    // The status bar's account of the lists' filters: lines still to match,
    // lines undecided (shown). Empty when there is nothing to say.
    QString filter_text() const;
    // Puts both accounts into a window's status bar.
    void add_status_labels(QStatusBar *bar);

    // File > Save Modem N Status As...: asks for a file, then saves.
    void save_status_as(int modem);

signals:
    // A child's close button: the window hides it through its command.
    void close_requested(int child_id);

private:
    void create_children();
    void create_calls_child();
    void show_monitor_calls();
    void create_view_menu();
    void place_calls_child();
    void update_loss();
    void update_filter_status();

    Monitor &monitor_;
    ChildArea *area_ = nullptr;
    ChildWindow *children_[4] = {};
    StatusModel *status_models_[2] = {};
    StatusView *status_views_[2] = {};
    StatusPane *status_panes_[2] = {};
    EyeView *eye_views_[2] = {};
    LineTimeFormat time_format_ = LINE_TIME_OFF;
    QAction *time_actions_[LINE_TIME_FORMATS] = {};
    QMenu *view_menu_ = nullptr;
    QLabel *loss_label_ = nullptr;
    QLabel *filter_label_ = nullptr;
    CallsView *calls_view_ = nullptr;
    ChildWindow *calls_child_ = nullptr;
};
