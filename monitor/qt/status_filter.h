// The filter of a status list.
#pragma once

#include <QDeadlineTimer>
#include <QSortFilterProxyModel>
#include <QTimer>

#include <cstdint>

#include "monitor/line_filter.h"
#include <QString>

class StatusModel;

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
