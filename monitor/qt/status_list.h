// A status list of the window: a list model over one modem's line store, the
// view that shows it (copy with Ctrl+C, no other key acts) and the delegate
// that draws TABs as tab stops.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>

#include <cstdint>

#include "monitor/line_store.h"

// The rows of one list: the lines of a store that the view has been told of,
// numbered by the store's running line numbers.
class StatusModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit StatusModel(LineStore *store, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Brings the rows up to the store: one removal at the front for the lines
    // the store dropped, one insertion at the end for the batch that
    // arrived. Returns the rows inserted.
    size_t sync();
    // Starts over from the store as it stands (after the store was set up anew).
    void reset();
    // The stored text of a row; null when its line has left the store.
    const char *line(int row) const;

private:
    LineStore *store_;
    uint64_t shown_first_ = 0;  // running number of row 0
    uint64_t shown_end_ = 0;    // one past the last row's
};

// Draws a row with its TABs expanded to stops eight character cells apart,
// the columns the status texts are written for. The text itself keeps them.
class TabDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// The list of one modem. The mouse selects (extended and multiple
// selection); Ctrl+C copies the selected lines; every other key is swallowed,
// so the keyboard never moves the selection.
class StatusView : public QListView {
    Q_OBJECT
public:
    StatusView(StatusModel *model, QWidget *parent = nullptr);

    // Puts the selected lines on the clipboard as text, ascending, each
    // followed by CR LF, within the clipboard block's bound. Nothing happens
    // without a selection.
    void copy_selection();
    // After a sync: keeps the newest line in view.
    void show_newest();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    StatusModel *status_model_;
};
