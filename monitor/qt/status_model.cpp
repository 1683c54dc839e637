// Status list model.
#include "monitor/qt/status_model.h"


StatusModel::StatusModel(LineStore *store, const ModemActivity *activity, int modem,
                         const LineTimeFormat *format, QObject *parent)
    : QAbstractListModel(parent), store_(store), activity_(activity), modem_(modem), format_(format) {
    shown_first_ = store_->first_number;
    shown_end_ = store_->first_number;
}

int StatusModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_end_ - shown_first_);
}

const char *StatusModel::line(int row) const {
    if (row < 0) {
        return nullptr;
    }
    const uint64_t number = shown_first_ + static_cast<uint64_t>(row);
    if (number >= shown_end_ || number < store_->first_number ||
        number >= line_store_end_number(*store_)) {
        return nullptr;
    }
    return line_store_text(*store_, static_cast<size_t>(number - store_->first_number));
}

void StatusModel::time_text(int row, char text[LINE_TIME_TEXT_BYTES]) const {
    text[0] = '\0';
    if (line(row) != nullptr) {
        const uint64_t number = shown_first_ + static_cast<uint64_t>(row);
        store_line_time(*store_, static_cast<size_t>(number - store_->first_number), activity_, modem_, *format_,
                        text);
    }
}

size_t StatusModel::store_index(int row) const {
    return line(row) != nullptr ? static_cast<size_t>(shown_first_ + static_cast<uint64_t>(row) - store_->first_number)
                                : SIZE_MAX;
}

void StatusModel::recheck(int first, int last) { emit dataChanged(index(first), index(last)); }

void StatusModel::times_changed() {
    if (rowCount() > 0) {
        emit dataChanged(index(0), index(rowCount() - 1), {TIME_ROLE});
    }
}

QVariant StatusModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid()) {
        return QVariant();
    }
    if (role == TIME_ROLE) {
        char time[LINE_TIME_TEXT_BYTES];
        time_text(index.row(), time);
        return QVariant(QString::fromLatin1(time));
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
    const char *text = line(index.row());
    // One character per byte: a driver's text in any 8-bit code shows as
    // something, never as a decoding error.
    return text != nullptr ? QVariant(QString::fromLatin1(text)) : QVariant();
}

void StatusModel::reset() {
    beginResetModel();
    shown_first_ = store_->first_number;
    shown_end_ = line_store_end_number(*store_);
    endResetModel();
}

size_t StatusModel::sync() {
    if (store_->first_number < shown_first_ || line_store_end_number(*store_) < shown_end_) {
        // The store was set up anew under the view.
        reset();
        last_change_ = {0, static_cast<size_t>(shown_end_ - shown_first_)};
        return last_change_.inserted;
    }
    uint64_t first = shown_first_;
    uint64_t end = shown_end_;
    const ViewChange change = line_view_catch_up(*store_, &first, &end);
    last_change_ = change;
    if (change.removed > 0) {
        beginRemoveRows(QModelIndex(), 0, static_cast<int>(change.removed) - 1);
        shown_first_ += change.removed;
        endRemoveRows();
    }
    if (change.inserted > 0) {
        const int rows = rowCount();
        beginInsertRows(QModelIndex(), rows, rows + static_cast<int>(change.inserted) - 1);
        shown_first_ = first;
        shown_end_ = end;
        endInsertRows();
    }
    shown_first_ = first;
    shown_end_ = end;
    return change.inserted;
}
