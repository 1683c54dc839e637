// Main window, child windows and the client area.
#include "monitor/qt/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QResizeEvent>

#include <cstring>

#include "monitor/monitor.h"
#include "monitor/qt/eye_view.h"
#include "monitor/qt/status_list.h"
#include "monitor/windows.h"

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
            status_models_[m] = new StatusModel(&status_stores[m], this);
            status_views_[m] = new StatusView(status_models_[m]);
            content = status_views_[m];
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
        }
        QAction *action = menu->addAction(QString::fromLatin1(row.item));
        action->setCheckable(row.checkable);
        action->setChecked(row.checkable);
        const int id = row.id;
        connect(action, &QAction::triggered, this, [this, id] { command(id); });
        actions_[i] = action;
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
        if (status_models_[m]->sync() > 0) {
            status_views_[m]->show_newest();
        }
    }
}

void MainWindow::status_tick() {
    if (shut_down_) {
        return;
    }
    drain_status(sink_);
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

void MainWindow::closeEvent(QCloseEvent *event) {
    // Closing the main window ends the monitor: timers stopped, both
    // captures stopped (files complete, recording flag cleared).
    for (QTimer &timer : timers_) {
        timer.stop();
    }
    if (!shut_down_) {
        shut_down_ = true;
        monitor_shutdown();
    }
    event->accept();
}
