// Calls list model.
#include "monitor/qt/calls_model.h"

#include <QFont>
#include <QIcon>

#include <algorithm>

#include "calls/call_findings.h"
#include "calls/call_summary.h"
#include "calls/call_watch.h"
#include "calls/calls_table.h"
#include "monitor/qt/severity_style.h"

// The model's columns are the core's calls table's, in its order.
static_assert(int(CallsModel::COLUMN_START) == int(CALLS_COLUMN_START) &&
              int(CallsModel::COLUMN_VERDICT) == int(CALLS_COLUMN_VERDICT) && int(CallsModel::COLUMNS) == int(CALLS_COLUMNS));

CallsModel::CallsModel(QObject *parent) : QAbstractTableModel(parent) {}

void CallsModel::set_watch(const CallWatch *watch, int64_t origin_us) {
    beginResetModel();
    watch_ = watch;
    origin_us_ = origin_us;
    now_us_ = -1;
    rows_.clear();
    seen_ = CallsSignature{};
    if (watch_ != nullptr) {
        seen_ = calls_signature(*watch_);
        rebuild();
    }
    endResetModel();
}

void CallsModel::rebuild() { calls_rows(*watch_, rows_); }

bool CallsModel::sync() {
    if (watch_ == nullptr) return false;
    const CallsSignature now = calls_signature(*watch_);
    if (now == seen_) return false;
    beginResetModel();
    seen_ = now;
    rebuild();
    endResetModel();
    return true;
}

void CallsModel::refresh_running(int64_t now_us) {
    sync();
    now_us_ = now_us;
    for (size_t row = 0; row < rows_.size(); ++row) {
        if (rows_[row]->ended) continue;
        const int r = static_cast<int>(row);
        emit dataChanged(index(r, 0), index(r, COLUMNS - 1), {Qt::DisplayRole});
    }
}

int CallsModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CallsModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : COLUMNS; }

const Call *CallsModel::call(int row) const {
    return row >= 0 && static_cast<size_t>(row) < rows_.size() ? rows_[static_cast<size_t>(row)] : nullptr;
}

CallKey CallsModel::key(int row) const {
    const Call *c = call(row);
    return c != nullptr ? CallKey{c->modem, c->number} : CallKey{};
}

int CallsModel::row_of(CallKey key) const {
    for (size_t row = 0; row < rows_.size(); ++row) {
        if (rows_[row]->modem == key.modem && rows_[row]->number == key.number) return static_cast<int>(row);
    }
    return -1;
}

QString CallsModel::cell(const Call &call, int column) const {
    // The verdict's cause in words, where the core's list gives its category.
    if (column == COLUMN_VERDICT) return verdict_data(call, Qt::DisplayRole).toString();
    char text[CALLS_CELL_BYTES];
    calls_cell(call, CallsColumn(column), origin_us_, now_us_, text, sizeof text);
    return QString::fromUtf8(text);
}

QVariant CallsModel::data(const QModelIndex &index, int role) const {
    const Call *c = call(index.row());
    if (c == nullptr || index.column() < 0 || index.column() >= COLUMNS) return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return cell(*c, index.column());
    case Qt::TextAlignmentRole:
        return CALLS_COLUMN_ROWS[index.column()].numeric ? int(Qt::AlignRight | Qt::AlignVCenter)
                                                   : int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::FontRole:
        if (!c->ended) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return QVariant();
    case Qt::DecorationRole:
        return index.column() == COLUMN_VERDICT ? verdict_data(*c, role) : QVariant();
    case Qt::ToolTipRole:
        if (index.column() == COLUMN_VERDICT) return verdict_data(*c, role);
        if (c->anomalies_seen > 0) return QStringLiteral("%1 anomalies: see the summary").arg(c->anomalies_seen);
        return QVariant();
    default:
        return QVariant();
    }
}

// Worked out when a row is drawn (about a microsecond with its text): only
// the rows on screen ask, and a running call's verdict changes as it runs.
QVariant CallsModel::verdict_data(const Call &call, int role) const {
    CallVerdict verdict;
    call_verdict(call, verdict);
    if (role == Qt::DecorationRole) {
        if (verdict.count == 0) return QVariant();
        FindingSeverity worst = SEVERITY_NOTE;
        for (size_t i = 0; i < verdict.count; ++i) worst = std::max(worst, verdict.findings[i].severity);
        return severity_icon(worst);
    }
    char cause[VERDICT_CAUSE_BYTES];
    verdict_cause(call, verdict, cause, sizeof cause);
    if (role != Qt::ToolTipRole) return QString::fromUtf8(cause);
    // The whole cause, however narrow the column, and what else was found.
    QString tip = QString::fromUtf8(cause);
    if (verdict.count > 0) tip += QStringLiteral("\nFindings: %1").arg(findings_count_text(verdict));
    if (call.anomalies_seen > 0) tip += QStringLiteral("\n%1 anomalies: see the summary").arg(call.anomalies_seen);
    return tip;
}

QVariant CallsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= COLUMNS)
        return QVariant();
    return QString::fromLatin1(CALLS_COLUMN_ROWS[section].header);
}
