// A status list of the window: a list model over one modem's line store, the
// view that shows it (copy with Ctrl+C, no other key acts) and the delegate
// that draws TABs as tab stops.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>

#include <cstdint>

#include "monitor/line_store.h"
#include "monitor/line_time.h"

class QLabel;
class QToolButton;

// The rows of one list: the lines of a store that the view has been told of,
// numbered by the store's running line numbers.
class StatusModel : public QAbstractListModel {
    Q_OBJECT
public:
    // The time text of a row in the current format (empty when off).
    static constexpr int TIME_ROLE = Qt::UserRole + 1;

    // `format` is the window's time format, shared by both lists.
    StatusModel(LineStore *store, int modem, const LineTimeFormat *format, QObject *parent = nullptr);

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
    // The time text of a row in the current format; empty when off or unknown.
    void time_text(int row, char text[LINE_TIME_TEXT_BYTES]) const;
    // The row as a copy or an export takes it: its time and a TAB first when
    // a time is shown. Empty when the line has left the store.
    void copy_text(int row, char *out, size_t size) const;
    int modem() const { return modem_; }
    LineTimeFormat time_format() const { return *format_; }
    // The time column changed format: every row's time is new.
    void times_changed();
    // The last sync's change, for a view that keeps its place.
    ViewChange last_change() const { return last_change_; }

private:
    LineStore *store_;
    int modem_;
    const LineTimeFormat *format_;
    ViewChange last_change_ = {0, 0};
    uint64_t shown_first_ = 0;  // running number of row 0
    uint64_t shown_end_ = 0;    // one past the last row's
};

// Draws a row with its TABs expanded to stops eight character cells apart,
// the columns the status texts are written for. The text itself keeps them.
class TabDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // Width of the time column in character cells (and the gap after it).
    static constexpr int TIME_CELLS = 12;
    static constexpr int TIME_GAP_CELLS = 2;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

// The list of one modem. The mouse selects (extended and multiple
// selection); Ctrl+C copies the selected lines; End follows the newest line
// again; every other key is swallowed, so the keyboard never moves the
// selection. The newest line stays in view until the user scrolls up or
// picks a line away from the end; the list then stays still and counts the
// lines that arrive.
class StatusView : public QListView {
    Q_OBJECT
public:
    StatusView(StatusModel *model, QWidget *parent = nullptr);

    // Puts the selected lines on the clipboard as text, ascending, each
    // followed by CR LF, within the clipboard block's bound. Nothing happens
    // without a selection.
    void copy_selection();
    // After a sync: keeps the newest line in view while following; else
    // keeps the rows in view where they are and counts the new lines.
    void show_newest();
    // Follows the newest line again (End, the "new lines" button, or a
    // scroll back to the bottom).
    void follow();
    bool following() const { return following_; }
    size_t unseen_lines() const { return unseen_; }
    QToolButton *new_lines_button() const { return new_lines_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void place_button();
    void stop_following();

    StatusModel *status_model_;
    bool following_ = true;
    size_t unseen_ = 0;
    QToolButton *new_lines_ = nullptr;
};
