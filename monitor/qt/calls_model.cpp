// Calls list model.
#include "monitor/qt/calls_model.h"

#include <QDateTime>
#include <QFont>
#include <QIcon>

#include <algorithm>

#include "calls/call_findings.h"
#include "calls/call_summary.h"
#include "calls/call_watch.h"
#include "formatting/formatting.h"
#include "monitor/qt/severity_style.h"

namespace {

// One row per column: its header and alignment.
struct ColumnRow {
    CallsModel::Column column;
    const char *header;
    bool numeric;  // right-aligned
};
constexpr ColumnRow COLUMN_ROWS[CallsModel::COLUMNS] = {
    {CallsModel::COLUMN_MODEM,          "Modem",      true},
    {CallsModel::COLUMN_START,          "Start",      false},
    {CallsModel::COLUMN_DURATION,       "Duration",   true},
    {CallsModel::COLUMN_MODULATION,     "Modulation", false},
    {CallsModel::COLUMN_RX_RATE,        "Rx bit/s",   true},
    {CallsModel::COLUMN_TX_RATE,        "Tx bit/s",   true},
    {CallsModel::COLUMN_RETRAINS,       "Retrains",   true},
    {CallsModel::COLUMN_RENEGOTIATIONS, "Reneg.",     true},
    {CallsModel::COLUMN_CLEARDOWN,      "Cleardown",  false},
    {CallsModel::COLUMN_VERDICT,        "Verdict",    false},
};

QString rate_text(const std::optional<long> &rate) {
    return rate ? QString::number(*rate) : QStringLiteral("-");
}

// "2" or "2 (1 remote)".
QString count_text(uint32_t all, uint32_t remote) {
    if (remote == 0) return QString::number(all);
    return QStringLiteral("%1 (%2 remote)").arg(all).arg(remote);
}

// "1:02:03", "2:03", "0:04.5" (tenths under a minute).
QString duration_text(int64_t us) {
    if (us < 0) us = 0;
    const int64_t seconds = us / 1000000;
    if (seconds < 60) return QStringLiteral("0:%1.%2").arg(seconds, 2, 10, QChar('0')).arg((us / 100000) % 10);
    if (seconds < 3600) return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
}

}  // namespace

CallsModel::CallsModel(QObject *parent) : QAbstractTableModel(parent) {}

void CallsModel::set_watch(const CallWatch *watch, int64_t origin_us) {
    beginResetModel();
    watch_ = watch;
    origin_us_ = origin_us;
    now_us_ = -1;
    rows_.clear();
    seen_ = Signature{};
    if (watch_ != nullptr) {
        seen_ = signature();
        rebuild();
    }
    endResetModel();
}

CallsModel::Signature CallsModel::signature() const {
    Signature s;
    s.count = watch_->log.count;
    s.first = watch_->log.first;
    s.dropped = watch_->log.dropped;
    for (int m = 1; m <= 2; ++m) s.running[m - 1] = call_watch_running(*watch_, m);
    return s;
}

void CallsModel::rebuild() {
    rows_.clear();
    const size_t logged = call_log_size(watch_->log);
    rows_.reserve(logged + 2);
    for (size_t i = 0; i < logged; ++i) rows_.push_back(&call_log_at(watch_->log, i));
    for (int m = 1; m <= 2; ++m) {
        if (const Call *running = call_watch_running(*watch_, m)) rows_.push_back(running);
    }
    // Newest first; at one moment, modem 1 first.
    std::stable_sort(rows_.begin(), rows_.end(), [](const Call *a, const Call *b) {
        if (a->start_us != b->start_us) return a->start_us > b->start_us;
        if (a->modem != b->modem) return a->modem < b->modem;
        return a->number > b->number;
    });
}

bool CallsModel::sync() {
    if (watch_ == nullptr) return false;
    const Signature now = signature();
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
    switch (column) {
    case COLUMN_MODEM:
        return QString::number(call.modem);
    case COLUMN_START: {
        // The wall clock when known, else the time since the watch's start.
        const int64_t wall = call.start_wall_us >= 0 ? call.start_wall_us
                             : origin_us_ > 0        ? origin_us_ + call.start_us
                                                     : -1;
        if (wall < 0) {
            char seconds[32];
            format_seconds(call.start_us, seconds, sizeof seconds);
            return QStringLiteral("+%1 s").arg(QString::fromLatin1(seconds));
        }
        return QDateTime::fromMSecsSinceEpoch(wall / 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    case COLUMN_DURATION: {
        const int64_t end = !call.ended && now_us_ >= 0 ? std::max(now_us_, call.end_us) : call.end_us;
        return duration_text(end - call.start_us);
    }
    case COLUMN_MODULATION:
        if (call.modulation) return QString::fromLatin1(modulation_name(*call.modulation));
        return call.modulation_conflict ? QStringLiteral("(two)") : QStringLiteral("-");
    case COLUMN_RX_RATE:
        return rate_text(call.rx_rate.final);
    case COLUMN_TX_RATE:
        return rate_text(call.tx_rate.final);
    case COLUMN_RETRAINS:
        return count_text(call.retrains, call.retrains_remote);
    case COLUMN_RENEGOTIATIONS:
        return count_text(call.renegotiations, call.renegotiations_remote);
    case COLUMN_CLEARDOWN:
        return QString::fromLatin1(cleardown_name(call.cleardown));
    case COLUMN_VERDICT:
        return verdict_data(call, Qt::DisplayRole).toString();
    default:
        return QString();
    }
}

QVariant CallsModel::data(const QModelIndex &index, int role) const {
    const Call *c = call(index.row());
    if (c == nullptr || index.column() < 0 || index.column() >= COLUMNS) return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return cell(*c, index.column());
    case Qt::TextAlignmentRole:
        return COLUMN_ROWS[index.column()].numeric ? int(Qt::AlignRight | Qt::AlignVCenter)
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
    return QString::fromLatin1(COLUMN_ROWS[section].header);
}
