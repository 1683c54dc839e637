// Status list filter.
#include "monitor/qt/status_filter.h"

#include "monitor/qt/status_model.h"

StatusFilter::StatusFilter(StatusModel *source, QObject *parent) : QSortFilterProxyModel(parent), source_(source) {
    setSourceModel(source);
    setDynamicSortFilter(true);
}

void StatusFilter::set_filter(const QString &text) {
    text_ = text;
    valid_ = true;
    error_.clear();
    if (text.isEmpty()) {
        mode_ = NONE;
    } else if (text.startsWith(QLatin1Char('/'))) {
        expression_ = QRegularExpression(text.mid(1));
        valid_ = expression_.isValid();
        error_ = valid_ ? QString() : expression_.errorString();
        mode_ = valid_ ? EXPRESSION : NONE;
    } else {
        mode_ = PLAIN;
    }
    invalidateFilter();
}

bool StatusFilter::filterAcceptsRow(int source_row, const QModelIndex &) const {
    if (mode_ == NONE) {
        return true;
    }
    const char *text = source_->line(source_row);
    if (text == nullptr) {
        return false;
    }
    const QString line = QString::fromLatin1(text);
    return mode_ == PLAIN ? line.contains(text_, Qt::CaseInsensitive) : expression_.match(line).hasMatch();
}
