// Menus of a monitor window.
#include "monitor/qt/window_menus.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include <cstring>

#include "monitor/monitor.h"
#include "monitor/qt/monitor_view.h"
#include "monitor/qt/session_window.h"

// Whether the child that a toggle command hides and shows is shown now.
static bool toggle_shown(const Visibility &visible, int id) {
    switch (id) {
    case IDM_MONITOR_1:
    case IDM_MONITOR_2:
        return visible.status[id - IDM_MONITOR_1] != 0;
    case IDM_EYE_1:
    case IDM_EYE_2:
        return visible.eye[id - IDM_EYE_1] != 0;
    case IDM_CALLS:
        return visible.calls != 0;
    default:
        return false;
    }
}

WindowMenus::WindowMenus(QMainWindow *window, MonitorView *view, bool record, std::function<void(int)> command)
    : view_(view), command_(std::move(command)) {
    QMenuBar *bar = window->menuBar();
    QMenu *menu = nullptr;
    const char *popup = nullptr;
    for (const MenuRow &row : MENU_ROWS) {
        if (popup == nullptr || std::strcmp(popup, row.popup) != 0) {
            popup = row.popup;
            if (row.id == IDM_ABOUT) {
                bar->addMenu(view->view_menu());
            }
            menu = bar->addMenu(QString::fromLatin1(row.popup));
        }
        if (!record && (row.id == IDM_RECORD_SESSION || row.id == IDM_STOP_RECORDING)) {
            continue;
        }
        if (row.separator) {
            menu->addSeparator();
        }
        if (row.id == IDM_EXIT) {
            // Save each list, above Exit.
            for (int m = 1; m <= 2; ++m) {
                save_actions_[m - 1] = menu->addAction(QStringLiteral("Save Modem &%1 Status As...").arg(m));
                QObject::connect(save_actions_[m - 1], &QAction::triggered, view, [view, m] { view->save_status_as(m); });
            }
            menu->addSeparator();
        }
        add_item(menu, row.qt_item, row.id, row.checkable);
    }
}

void WindowMenus::add_item(QMenu *menu, const char *text, int id, bool checkable) {
    QAction *action = menu->addAction(QString::fromLatin1(text));
    action->setCheckable(checkable);
    action->setChecked(checkable && toggle_shown(view_->monitor().visible, id));
    QObject::connect(action, &QAction::triggered, view_, [this, id] { command_(id); });
    if (count_ < static_cast<int>(sizeof items_ / sizeof items_[0])) {
        items_[count_++] = {id, action};
    }
}

void WindowMenus::enable_as(const Monitor &monitor) {
    for (int i = 0; i < count_; ++i) {
        items_[i].action->setEnabled(monitor_command_enabled(monitor, items_[i].id));
    }
}

QAction *WindowMenus::action(int id) const {
    for (int i = 0; i < count_; ++i) {
        if (items_[i].id == id) {
            return items_[i].action;
        }
    }
    return nullptr;
}

bool carry_out_command(QMainWindow *window, MonitorView *view, const WindowMenus &menus,
                       const CommandEffect &effect) {
    switch (effect.kind) {
    case COMMAND_EXIT:
        window->close();
        return true;
    case COMMAND_TOGGLE:
        view->show_child(effect.child, effect.shown);
        if (QAction *action = menus.action(child_close_command(effect.child))) {
            action->setChecked(effect.shown);
        }
        return true;
    case COMMAND_ABOUT:
        show_message(window, QMessageBox::Information, ABOUT_CAPTION, ABOUT_TEXT);
        return true;
    case COMMAND_OPEN_SESSION:
        open_session_as(window);
        return true;
    default:
        return false;
    }
}

void show_message(QWidget *parent, int icon, const char *caption, const char *text) {
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), QString::fromLatin1(caption), QString::fromLatin1(text),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
