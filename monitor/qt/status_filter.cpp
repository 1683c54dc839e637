// Status list filter.
#include "monitor/qt/status_filter.h"

#include "monitor/qt/status_model.h"

StatusFilter::StatusFilter(StatusModel *source, QObject *parent)
    : QSortFilterProxyModel(parent), source_(source), lines_(source->capacity()) {
    setSourceModel(source);
    setDynamicSortFilter(true);
    // Each batch that arrives has a slice of its own; lines that leave, or a
    // list that starts over, take their verdicts with them.
    connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this] { slice_end_.setRemainingTime(SLICE_MS); });
    connect(source, &QAbstractItemModel::rowsRemoved, this,
            [this] { lines_.forget_before(source_->first_number()); });
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        lines_.forget_all();
        slice_end_.setRemainingTime(SLICE_MS);
    });
    slicer_.setInterval(0);
    slicer_.setSingleShot(true);
    connect(&slicer_, &QTimer::timeout, this, &StatusFilter::decide_slice);
}

void StatusFilter::set_filter(const QString &text) {
    text_ = text;
    const QByteArray utf8 = text.toUtf8();
    valid_ = lines_.set(utf8.constData(), static_cast<size_t>(utf8.size()));
    error_ = valid_ ? QString() : QString::fromUtf8(lines_.error());
    slicer_.stop();
    unshown_from_ = UINT64_MAX;
    unshown_end_ = 0;
    show_next_.setRemainingTime(SHOW_MS);
    slice_end_.setRemainingTime(SLICE_MS);
    invalidateFilter();
    emit verdicts_changed();
}

bool StatusFilter::filterAcceptsRow(int source_row, const QModelIndex &) const {
    if (!lines_.active()) {
        return true;
    }
    const char *text = source_->line(source_row);
    if (text == nullptr) {
        return false;
    }
    const uint64_t number = source_->first_number() + static_cast<uint64_t>(source_row);
    const LineVerdict verdict = lines_.verdict(number, text, !slice_end_.hasExpired());
    if (verdict == LINE_PENDING && !slicer_.isActive()) {
        slicer_.start();
    }
    return verdict == LINE_SHOWN || verdict == LINE_UNDECIDED;
}

void StatusFilter::decide_slice() {
    // The pending lines in order, oldest first, for one slice.
    slice_end_.setRemainingTime(SLICE_MS);
    const uint64_t first = source_->first_number();
    const uint64_t end = first + static_cast<uint64_t>(source_->rowCount());
    lines_.forget_before(first);
    for (uint64_t number = lines_.first_pending(); number < end && !slice_end_.hasExpired();
         number = lines_.first_pending()) {
        lines_.verdict(number, source_->line(static_cast<int>(number - first)), true);
        unshown_from_ = std::min(unshown_from_, number);
        unshown_end_ = std::max(unshown_end_, number + 1);
    }
    const bool more = lines_.first_pending() < end;
    if (more) {
        slicer_.start();
    }
    // What the slices decided comes into view every SHOW_MS (each showing
    // costs the view a repaint), and when the last line is decided.
    if (more && !show_next_.hasExpired()) {
        return;
    }
    show_next_.setRemainingTime(SHOW_MS);
    // Rows may have left at the front since, or the list started over.
    unshown_from_ = std::max(unshown_from_, first);
    unshown_end_ = std::min(unshown_end_, end);
    if (unshown_end_ > unshown_from_) {
        // The proxy asks for these rows again and shows those that pass.
        source_->recheck(static_cast<int>(unshown_from_ - first), static_cast<int>(unshown_end_ - 1 - first));
    }
    unshown_from_ = UINT64_MAX;
    unshown_end_ = 0;
    emit verdicts_changed();
}
