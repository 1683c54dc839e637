// The rows of a status list: a list model over one modem's line store.
#pragma once

#include <QAbstractListModel>

#include <cstddef>
#include <cstdint>

#include "monitor/line_store.h"
#include "monitor/line_time.h"

// The rows of one list: the lines of a store that the view has been told of,
// numbered by the store's running line numbers.
class StatusModel : public QAbstractListModel {
    Q_OBJECT
public:
    // The time text of a row in the current format (empty when off).
    static constexpr int TIME_ROLE = Qt::UserRole + 1;

    // `format` is the window's time format, shared by both lists.
    // A model over a monitor's store of modem 1 or 2; `activity` is the
    // monitor's record of when each modem became active, for the times.
    StatusModel(LineStore *store, const ModemActivity *activity, int modem, const LineTimeFormat *format,
                QObject *parent = nullptr);

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
    // The index in the store of a row's line (0 the oldest held); SIZE_MAX
    // when it has left the store.
    size_t store_index(int row) const;
    int modem() const { return modem_; }
    // The most lines the store holds.
    size_t capacity() const { return store_->capacity; }
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
    const ModemActivity *activity_;
    int modem_;
    const LineTimeFormat *format_;
    ViewChange last_change_ = {0, 0};
    uint64_t shown_first_ = 0;  // running number of row 0
    uint64_t shown_end_ = 0;    // one past the last row's
};
