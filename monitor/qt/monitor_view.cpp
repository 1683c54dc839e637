// Monitor view.
#include "monitor/qt/monitor_view.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

#include "monitor/qt/calls_view.h"
#include "monitor/qt/child_area.h"
#include "monitor/qt/child_window.h"
#include "monitor/qt/eye_view.h"
#include "monitor/qt/status_filter.h"
#include "monitor/qt/status_model.h"
#include "monitor/qt/status_pane.h"
#include "monitor/qt/status_save.h"
#include "monitor/qt/status_view.h"
#include "monitor/window_tables.h"

MonitorView::MonitorView(Monitor &monitor, QWidget *parent) : QWidget(parent), monitor_(monitor) {
    QVBoxLayout *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    area_ = new ChildArea(this);
    layout->addWidget(area_);
    connect(area_, &ChildArea::resized, this, &MonitorView::lay_out_children);
    create_children();
    create_calls_child();
    create_view_menu();
}

MonitorView::~MonitorView() {
    // The Calls view lets go of its watch before anything else goes.
    calls_view_->set_watch(nullptr, 0);
}

void MonitorView::create_children() {
    for (int i = 0; i < 4; ++i) {
        const ChildRow &row = CHILD_ROWS[i];
        ChildWindow *child = new ChildWindow(row.id);
        QWidget *content = nullptr;
        if (row.id == CHILD_STATUS_1 || row.id == CHILD_STATUS_2) {
            const int m = row.id - CHILD_STATUS_1;
            status_models_[m] = new StatusModel(&monitor_.stores[m], monitor_.activity, m + 1, &time_format_, this);
            status_views_[m] = new StatusView(monitor_, status_models_[m]);
            status_views_[m]->setContextMenuPolicy(Qt::ActionsContextMenu);
            status_panes_[m] = new StatusPane(status_views_[m]);
            content = status_panes_[m];
        } else {
            const int m = row.id - CHILD_EYE_1;
            eye_views_[m] = new EyeView(m + 1);
            content = eye_views_[m];
        }
        child->setWidget(content);
        child->setWindowTitle(QString::fromLatin1(row.caption));
        connect(child, &ChildWindow::close_requested, this, &MonitorView::close_requested);
        area_->addSubWindow(child);
        children_[i] = child;
        // As the monitor's flags say: shown at the start.
        const int m = (row.id - 1) % 2;
        child->setVisible(row.id <= CHILD_STATUS_2 ? monitor_.visible.status[m] != 0 : monitor_.visible.eye[m] != 0);
    }
    // No child starts out as the active one.
    area_->setActiveSubWindow(nullptr);
}

void MonitorView::create_calls_child() {
    calls_view_ = new CallsView;
    connect(calls_view_, &CallsView::moment_chosen, this,
            [this](int modem, int64_t time_us, int code) { select_status_moment(modem, time_us, code); });
    // A fifth child outside the 2 x 2 layout, hidden until asked for.
    calls_child_ = new ChildWindow(CHILD_CALLS);
    calls_child_->setWindowFlags(calls_child_->windowFlags() | Qt::WindowMinMaxButtonsHint);
    calls_child_->setWidget(calls_view_);
    calls_child_->setWindowTitle(QStringLiteral("Calls"));
    connect(calls_child_, &ChildWindow::close_requested, this, &MonitorView::close_requested);
    area_->addSubWindow(calls_child_);
    calls_child_->hide();
    show_monitor_calls();
    if (monitor_.visible.calls != 0) {
        show_child(CHILD_CALLS, true);
    }
}

void MonitorView::create_view_menu() {
    // The lists' time column, also on each list's context menu.
    view_menu_ = new QMenu(QStringLiteral("&View"), this);
    QMenu *time = view_menu_->addMenu(QStringLiteral("&Time"));
    QActionGroup *group = new QActionGroup(this);
    for (int f = 0; f < LINE_TIME_FORMATS; ++f) {
        QAction *action = time->addAction(QString::fromLatin1(LINE_TIME_NAMES[f]));
        action->setCheckable(true);
        action->setChecked(f == time_format_);
        group->addAction(action);
        const LineTimeFormat format = static_cast<LineTimeFormat>(f);
        connect(action, &QAction::triggered, this, [this, format] { set_time_format(format); });
        time_actions_[f] = action;
    }
    for (StatusView *list : status_views_) {
        QAction *title = new QAction(QStringLiteral("Time"), list);
        title->setEnabled(false);
        list->addAction(title);
        list->addActions(group->actions());
        connect(list->status_filter(), &StatusFilter::verdicts_changed, this, &MonitorView::update_filter_status);
    }
}

void MonitorView::add_status_labels(QStatusBar *bar) {
    loss_label_ = new QLabel(bar);
    bar->addWidget(loss_label_);
    update_loss();
    filter_label_ = new QLabel(bar);
    filter_label_->setToolTip(QStringLiteral(
        "Undecided lines needed more work to match the filter's expression than one line may take; they are shown."));
    bar->addPermanentWidget(filter_label_);
}

ChildWindow *MonitorView::child(int child_id) const {
    if (child_id == CHILD_CALLS) {
        return calls_child_;
    }
    for (ChildWindow *c : children_) {
        if (c->child_id() == child_id) {
            return c;
        }
    }
    return nullptr;
}

void MonitorView::show_child(int child_id, bool shown) {
    ChildWindow *c = child(child_id);
    if (c == nullptr) {
        return;
    }
    if (c == calls_child_ && shown) {
        place_calls_child();
        calls_view_->refresh();
    }
    c->setVisible(shown);
    if (c == calls_child_ && shown) {
        c->raise();
    }
}

void MonitorView::place_calls_child() {
    // Over the eye displays (the top half), so that the status lines a
    // click on the timeline picks stay in view below it.
    const QSize client = area_->viewport()->size();
    calls_child_->setGeometry(0, 0, client.width(),
                              std::max(client.height() / 2, calls_child_->minimumSizeHint().height()));
}

void MonitorView::lay_out_children() {
    const QSize client = area_->viewport()->size();
    ChildPlace places[4];
    layout_children(static_cast<uint32_t>(client.width()), static_cast<uint32_t>(client.height()), places);
    for (const ChildPlace &place : places) {
        if (ChildWindow *c = child(place.child)) {
            c->setGeometry(place.x, place.y, place.width, place.height);
        }
    }
    if (!calls_child_->isHidden()) {
        place_calls_child();
    }
}

void MonitorView::show_monitor_calls() {
    // The monitor's calls: followed live (a running call lasts until now),
    // or an opened session's, all finished.
    if (monitor_.session == nullptr) {
        calls_view_->set_clock([this] { return monitor_calls_now_us(monitor_); });
    } else {
        calls_view_->set_clock(nullptr);
    }
    calls_view_->set_watch(monitor_calls(monitor_), monitor_calls_origin_us(monitor_));
}

void MonitorView::start_over() {
    for (StatusModel *model : status_models_) {
        model->reset();
    }
    show_monitor_calls();
    sync_lists();
}

bool MonitorView::select_status_moment(int modem, int64_t time_us, int code) {
    if (modem != 1 && modem != 2) {
        return false;
    }
    sync_lists();
    const LineStore &store = monitor_.stores[modem - 1];
    const size_t line = monitor_line_at(monitor_, modem, time_us, code);
    if (line >= store.count) {
        return false;
    }
    StatusModel *model = status_models_[modem - 1];
    StatusView *view = status_views_[modem - 1];
    const uint64_t number = store.first_number + line;
    if (number < model->first_number()) {
        return false;
    }
    const QModelIndex source = model->index(static_cast<int>(number - model->first_number()));
    const QModelIndex shown = view->status_filter()->mapFromSource(source);
    if (!shown.isValid()) {
        return false;  // the filter hides it
    }
    view->set_following(false);
    view->setCurrentIndex(shown);
    view->selectionModel()->select(shown, QItemSelectionModel::ClearAndSelect);
    view->scrollTo(shown, QAbstractItemView::PositionAtCenter);
    return true;
}

void MonitorView::sync_lists() {
    for (int m = 0; m < 2; ++m) {
        status_models_[m]->sync();
        const ViewChange change = status_models_[m]->last_change();
        if (change.removed > 0 || change.inserted > 0) {
            status_views_[m]->show_newest();
            status_panes_[m]->update_count();
        }
    }
    calls_view_->sync();
    update_loss();
    update_filter_status();
}

void MonitorView::set_time_format(LineTimeFormat format) {
    time_format_ = format;
    time_actions_[format]->setChecked(true);
    for (StatusModel *model : status_models_) {
        model->times_changed();
    }
}

QString MonitorView::loss_text() const {
    QString text;
    for (int m = 0; m < 2; ++m) {
        text += QStringLiteral("Modem %1: %2 lines, %3 dropped    ")
                    .arg(m + 1)
                    .arg(static_cast<qulonglong>(monitor_.stores[m].count))
                    .arg(static_cast<qulonglong>(monitor_.stores[m].dropped));
    }
    text += QStringLiteral("Warnings discarded: %1").arg(static_cast<qulonglong>(monitor_.warnings_discarded));
    return text;
}

static QString line_count(size_t lines) {
    return QStringLiteral("%1 line%2").arg(static_cast<qulonglong>(lines)).arg(lines == 1 ? "" : "s");
}

QString MonitorView::filter_text() const {
    // "Modem 1 filter: 250 lines to match, 1750 undecided (shown)"
    QStringList modems;
    for (int m = 0; m < 2; ++m) {
        const size_t pending = status_views_[m]->status_filter()->pending();
        const size_t undecided = status_views_[m]->status_filter()->undecided();
        if (pending == 0 && undecided == 0) {
            continue;
        }
        QString text = QStringLiteral("Modem %1 filter: ").arg(m + 1);
        if (pending > 0) {
            text += line_count(pending) + QStringLiteral(" to match");
        }
        if (undecided > 0) {
            text += pending > 0 ? QStringLiteral(", %1").arg(static_cast<qulonglong>(undecided)) : line_count(undecided);
            text += QStringLiteral(" undecided (shown)");
        }
        modems += text;
    }
    return modems.join(QStringLiteral("    "));
}

void MonitorView::update_loss() {
    if (loss_label_ != nullptr) {
        loss_label_->setText(loss_text());
    }
}

void MonitorView::update_filter_status() {
    if (filter_label_ != nullptr) {
        filter_label_->setText(filter_text());
    }
}

void MonitorView::save_status_as(int modem) {
    QString filter;
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save Modem %1 Status").arg(modem), QStringLiteral("modem%1-status.txt").arg(modem),
        QStringLiteral("Text (*.txt);;CSV (*.csv)"), &filter);
    if (path.isEmpty()) {
        return;
    }
    const ExportFormat format = filter.startsWith(QStringLiteral("CSV")) ? EXPORT_CSV : export_format_for(path);
    QString error;
    if (!save_status(monitor_, modem, path, format, time_format_, &error)) {
        QMessageBox::warning(this, QStringLiteral("Save Modem %1 Status").arg(modem),
                             QStringLiteral("Could not save %1:\n%2").arg(path, error));
    }
}
