// Main window, child windows and the client area.
#include "monitor/qt/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QStatusBar>
#include <QCloseEvent>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QResizeEvent>
#include <QSettings>

#include <cstring>

#include "monitor/monitor.h"
#include "monitor/qt/eye_view.h"
#include "monitor/qt/status_save.h"
#include "monitor/qt/window_settings.h"
#include "monitor/qt/status_list.h"
#include "monitor/windows.h"
#include "driverlink/device.h"

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
    main_window_->command(child_close_command(child_id_));
}

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

MainWindow::MainWindow(bool start) {
    setWindowTitle(QString::fromLatin1(MAIN_CAPTION));
    sink_ = {this, sink_add_line, sink_show_warning};
    activity_reset();
    create_children();
    create_menus();
    resize(960, 720);
    if (start) {
        start_timers();
    }
}

void MainWindow::create_children() {
    area_ = new ChildArea(this);
    setCentralWidget(area_);
    for (int i = 0; i < 4; ++i) {
        const ChildRow &row = CHILD_ROWS[i];
        ChildWindow *child = new ChildWindow(row.id, this);
        QWidget *content = nullptr;
        if (row.id == CHILD_STATUS_1 || row.id == CHILD_STATUS_2) {
            const int m = row.id - CHILD_STATUS_1;
            status_models_[m] = new StatusModel(&status_stores[m], m + 1, &time_format_, this);
            status_views_[m] = new StatusView(status_models_[m]);
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
        child->setAttribute(Qt::WA_DeleteOnClose, false);
        area_->addSubWindow(child);
        child->show();
        children_[i] = child;
    }
    // No child starts out as the active one.
    area_->setActiveSubWindow(nullptr);
}

void MainWindow::create_menus() {
    QMenu *menu = nullptr;
    const char *popup = nullptr;
    for (size_t i = 0; i < sizeof MENU_ROWS / sizeof MENU_ROWS[0]; ++i) {
        const MenuRow &row = MENU_ROWS[i];
        if (popup == nullptr || std::strcmp(popup, row.popup) != 0) {
            popup = row.popup;
            menu = menuBar()->addMenu(QString::fromLatin1(row.popup));
            if (row.id == IDM_ABOUT) {
                create_view_menu(menu);
            }
        }
        if (row.id == IDM_EXIT) {
            // Save each list, above Exit.
            for (int m = 1; m <= 2; ++m) {
                save_actions_[m - 1] = menu->addAction(QStringLiteral("Save Modem &%1 Status As...").arg(m));
                connect(save_actions_[m - 1], &QAction::triggered, this, [this, m] { save_status_as(m); });
            }
            menu->addSeparator();
        }
        QAction *action = menu->addAction(QString::fromLatin1(row.item));
        action->setCheckable(row.checkable);
        action->setChecked(row.checkable);
        const int id = row.id;
        connect(action, &QAction::triggered, this, [this, id] { command(id); });
        actions_[i] = action;
    }
}

void MainWindow::create_view_menu(QMenu *before) {
    // View, before Help: the lists' time column, also on each list's context menu.
    QMenu *view = new QMenu(QStringLiteral("&View"), this);
    menuBar()->insertMenu(before->menuAction(), view);
    QMenu *time = view->addMenu(QStringLiteral("&Time"));
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
    }
    loss_label_ = new QLabel(this);
    statusBar()->addWidget(loss_label_);
    update_loss();
    filter_label_ = new QLabel(this);
    filter_label_->setToolTip(QStringLiteral(
        "Undecided lines needed more work to match the filter's expression than one line may take; they are shown."));
    statusBar()->addPermanentWidget(filter_label_);
    for (StatusView *list : status_views_) {
        connect(list->status_filter(), &StatusFilter::verdicts_changed, this, &MainWindow::update_filter_status);
    }
}

void MainWindow::set_time_format(LineTimeFormat format) {
    time_format_ = format;
    time_actions_[format]->setChecked(true);
    for (StatusModel *model : status_models_) {
        model->times_changed();
    }
}

QString MainWindow::loss_text() const {
    QString text;
    for (int m = 0; m < 2; ++m) {
        text += QStringLiteral("Modem %1: %2 lines, %3 dropped    ")
                    .arg(m + 1)
                    .arg(static_cast<qulonglong>(status_stores[m].count))
                    .arg(static_cast<qulonglong>(status_stores[m].dropped));
    }
    text += QStringLiteral("Warnings discarded: %1").arg(static_cast<qulonglong>(warnings_discarded));
    return text;
}

static QString line_count(size_t lines) {
    return QStringLiteral("%1 line%2").arg(static_cast<qulonglong>(lines)).arg(lines == 1 ? "" : "s");
}

QString MainWindow::filter_text() const {
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

void MainWindow::update_filter_status() {
    if (filter_label_ != nullptr) {
        filter_label_->setText(filter_text());
    }
}

void MainWindow::save_status_as(int modem) {
    QString filter;
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save Modem %1 Status").arg(modem), QStringLiteral("modem%1-status.txt").arg(modem),
        QStringLiteral("Text (*.txt);;CSV (*.csv)"), &filter);
    if (path.isEmpty()) {
        return;
    }
    const ExportFormat format = filter.startsWith(QStringLiteral("CSV")) ? EXPORT_CSV : export_format_for(path);
    QString error;
    if (!save_status(modem, path, format, time_format_, &error)) {
        QMessageBox::warning(this, QStringLiteral("Save Modem %1 Status").arg(modem),
                             QStringLiteral("Could not save %1:\n%2").arg(path, error));
    }
}

void MainWindow::update_loss() {
    if (loss_label_ != nullptr) {
        loss_label_->setText(loss_text());
    }
}

void MainWindow::start_timers() {
    connect(&timers_[0], &QTimer::timeout, this, &MainWindow::status_tick);
    connect(&timers_[1], &QTimer::timeout, this, &MainWindow::status_tick);
    connect(&timers_[2], &QTimer::timeout, this, [this] { eye_tick(1); });
    connect(&timers_[3], &QTimer::timeout, this, [this] { eye_tick(2); });
    connect(&timers_[4], &QTimer::timeout, this, &MainWindow::main_tick);
    for (QTimer &timer : timers_) {
        timer.start(static_cast<int>(TIMER_PERIOD_MS));
    }
}

QAction *MainWindow::menu_action(int id) const {
    for (size_t i = 0; i < sizeof MENU_ROWS / sizeof MENU_ROWS[0]; ++i) {
        if (MENU_ROWS[i].id == id) {
            return actions_[i];
        }
    }
    return nullptr;
}

ChildWindow *MainWindow::child(int child_id) const {
    for (ChildWindow *c : children_) {
        if (c != nullptr && c->child_id() == child_id) {
            return c;
        }
    }
    return nullptr;
}

void MainWindow::command(int id) {
    const CommandEffect effect = menu_command(id);
    switch (effect.kind) {
    case COMMAND_EXIT:
        close();
        break;
    case COMMAND_TOGGLE: {
        ChildWindow *c = child(effect.child);
        c->setVisible(effect.shown);
        const int menu_id = child_close_command(effect.child);
        if (QAction *action = menu_action(menu_id)) {
            action->setChecked(effect.shown);
        }
        break;
    }
    case COMMAND_ABOUT:
        show_message(QMessageBox::Information, ABOUT_CAPTION, ABOUT_TEXT);
        break;
    case COMMAND_UNKNOWN:
        break;
    }
}

void MainWindow::show_message(int icon, const char *caption, const char *text) {
    // exec() runs its own event loop, in which every timer keeps firing.
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), QString::fromLatin1(caption),
                    QString::fromLatin1(text), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void MainWindow::lay_out_children() {
    const QSize client = area_->viewport()->size();
    ChildPlace places[4];
    layout_children(static_cast<uint32_t>(client.width()), static_cast<uint32_t>(client.height()), places);
    for (const ChildPlace &place : places) {
        if (ChildWindow *c = child(place.child)) {
            c->setGeometry(place.x, place.y, place.width, place.height);
        }
    }
}

void MainWindow::sink_add_line(void *, int modem, const char *line) { monitor_add_line(modem, line); }

void MainWindow::sink_show_warning(void *context, const char *line) {
    MainWindow *window = static_cast<MainWindow *>(context);
    // The lists show what has arrived before the box takes over.
    window->sync_lists();
    window->show_message(QMessageBox::Warning, WARNING_CAPTION, line);
}

void MainWindow::sync_lists() {
    for (int m = 0; m < 2; ++m) {
        status_models_[m]->sync();
        const ViewChange change = status_models_[m]->last_change();
        if (change.removed > 0 || change.inserted > 0) {
            status_views_[m]->show_newest();
            status_panes_[m]->update_count();
        }
    }
    update_loss();
    update_filter_status();
}

void MainWindow::status_tick() {
    if (shut_down_) {
        return;
    }
    // When each modem became active, for the lines' times.
    activity_note(modem_presence(), monitor_clock());
    drain_status(sink_);
    if (shut_down_) {
        // The window was closed while a warning box held this drain; the
        // records fetched after that may have started a capture again.
        monitor_shutdown();
        return;
    }
    sync_lists();
}

void MainWindow::eye_tick(int modem) {
    if (!shut_down_) {
        eye_views_[modem - 1]->tick();
    }
}

void MainWindow::main_tick() {
    if (!shut_down_) {
        monitor_main_tick();
    }
}

void MainWindow::use_settings(QSettings *settings) {
    settings_ = settings;
    load_window_settings(this, *settings);
}

void MainWindow::closeEvent(QCloseEvent *event) {
    if (settings_ != nullptr && !shut_down_) {
        save_window_settings(*this, *settings_);
        settings_->sync();
    }
    // Closing the main window ends the monitor: timers stopped, both
    // captures stopped (files complete, recording flag cleared).
    for (QTimer &timer : timers_) {
        timer.stop();
    }
    if (!shut_down_) {
        shut_down_ = true;
        monitor_shutdown();
    }
    // A warning box still open would keep the program (and its drain) going.
    for (QMessageBox *box : findChildren<QMessageBox *>()) {
        if (box->isVisible()) {
            box->done(QMessageBox::Ok);
        }
    }
    event->accept();
}
