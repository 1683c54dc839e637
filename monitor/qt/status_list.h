// A status list of the window: a list model over one modem's line store, the
// view that shows it (copy with Ctrl+C, no other key acts) and the delegate
// that draws TABs as tab stops.
#pragma once

#include <QAbstractListModel>
#include <QDeadlineTimer>
#include <QListView>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTimer>

#include <cstdint>

#include "monitor/line_filter.h"
#include "monitor/line_store.h"
#include "monitor/line_time.h"

class QLabel;
class QLineEdit;
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
    // The running number of row 0.
    uint64_t first_number() const { return shown_first_; }
    // Rows to be looked at again by whoever shows them (a filter that has
    // decided them since).
    void recheck(int first, int last);
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

// The lines of a list that a filter lets through: plain text, matched
// without regard to case, or a regular expression when the filter starts
// with "/". An invalid expression filters nothing. The store, copies of the
// selection and captures are never changed by it. A new filter, and each
// batch of lines that arrives, has SLICE_MS to decide lines; the rest are
// decided in slices of SLICE_MS between the window's events, hidden until
// then, and come into view every SHOW_MS. A line whose match needs more work
// than a line may take is undecided, and shown.
class StatusFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    static constexpr int SLICE_MS = 10;
    static constexpr int SHOW_MS = 100;

    explicit StatusFilter(StatusModel *source, QObject *parent = nullptr);
    void set_filter(const QString &text);
    QString filter() const { return text_; }
    bool active() const { return lines_.active(); }
    // False for an expression that does not compile; error() says why.
    bool valid() const { return valid_; }
    QString error() const { return error_; }
    // Lines still waiting for their slice, and lines that stay undecided.
    size_t pending() const { return lines_.pending(); }
    size_t undecided() const { return lines_.undecided(); }

signals:
    // A new filter, or a slice decided lines: the rows and counts changed.
    void verdicts_changed();

protected:
    bool filterAcceptsRow(int source_row, const QModelIndex &source_parent) const override;

private:
    void decide_slice();

    StatusModel *source_;
    QString text_;
    bool valid_ = true;
    QString error_;
    // The proxy asks for rows through a const call, which decides them.
    mutable LineFilter lines_;
    mutable QDeadlineTimer slice_end_;
    mutable QTimer slicer_;
    // Lines decided in slices since the rows were last looked at again.
    uint64_t unshown_from_ = UINT64_MAX;
    uint64_t unshown_end_ = 0;
    QDeadlineTimer show_next_{0};
};

// Draws a row with its TABs expanded to stops eight character cells apart,
// the columns the status texts are written for. The text itself keeps them.
class TabDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TabDelegate(const StatusModel *model, QObject *parent);
    // Width of the time column in character cells (and the gap after it).
    static constexpr int TIME_CELLS = 12;
    static constexpr int TIME_GAP_CELLS = 2;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    const StatusModel *model_;
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

    StatusFilter *status_filter() const { return filter_; }

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
    // Follows again, or stays still where the list is.
    void set_following(bool following);
    // A new filter rebuilt the rows: they are not lines that arrived.
    void filter_changed();
    size_t unseen_lines() const { return unseen_; }
    QToolButton *new_lines_button() const { return new_lines_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void place_button();
    void stop_following();

    StatusModel *status_model_;
    StatusFilter *filter_;
    // Rows the view lost at its front and gained since the last look.
    size_t front_removed_ = 0;
    size_t inserted_ = 0;
    bool following_ = true;
    size_t unseen_ = 0;
    QToolButton *new_lines_ = nullptr;
};

// A status child's content: the filter field with its "shown / total" count
// above the list.
class StatusPane : public QWidget {
    Q_OBJECT
public:
    explicit StatusPane(StatusView *view, QWidget *parent = nullptr);
    StatusView *view() const { return view_; }
    QLineEdit *filter_field() const { return field_; }
    QString count_text() const;
    // After a sync or a new filter.
    void update_count();

private:
    void apply_filter(const QString &text);

    StatusView *view_;
    QLineEdit *field_;
    QLabel *count_;
};
