// The rows of the Calls view: one per call per modem, newest first, over a
// call watch (live, or built from a session file). The model keeps only
// pointers into the watch, in order; it looks again after every tick that
// can start or end a call, and rebuilds its rows only when one did.
#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

#include "calls/call.h"
#include "calls/calls_table.h"

struct CallWatch;

// A call's identity, which it keeps from start to end.
struct CallKey {
    int modem = 0;
    uint32_t number = 0;
    bool operator==(const CallKey &) const = default;
};

class CallsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        COLUMN_MODEM,
        COLUMN_START,
        COLUMN_DURATION,
        COLUMN_MODULATION,
        COLUMN_RX_RATE,
        COLUMN_TX_RATE,
        COLUMN_RETRAINS,
        COLUMN_RENEGOTIATIONS,
        COLUMN_CLEARDOWN,
        COLUMN_VERDICT,  // the verdict's cause; its icon the worst finding's severity
        COLUMNS,
    };

    explicit CallsModel(QObject *parent = nullptr);

    // The watch to show (null: none); origin_us is the wall clock of the
    // watch's time 0 (the calls' times are since then), 0 when unknown.
    void set_watch(const CallWatch *watch, int64_t origin_us);
    const CallWatch *watch() const { return watch_; }
    int64_t origin_us() const { return origin_us_; }

    // Catches up with the watch: the rows are rebuilt (a model reset) when a
    // call started, ended or gave way since the last look. Returns true then.
    bool sync();
    // Running calls' durations up to now_us (the watch's time): their rows'
    // cells change. A negative now keeps each running call's last record time.
    void refresh_running(int64_t now_us);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The call of a row (valid until the next sync), null for no such row.
    const Call *call(int row) const;
    CallKey key(int row) const;
    // The row of a call, -1 when it is not shown.
    int row_of(CallKey key) const;
    // The calls in row order, newest first.
    const std::vector<const Call *> &calls() const { return rows_; }

private:
    void rebuild();
    QString cell(const Call &call, int column) const;
    QVariant verdict_data(const Call &call, int role) const;

    const CallWatch *watch_ = nullptr;
    int64_t origin_us_ = 0;
    int64_t now_us_ = -1;
    CallsSignature seen_;
    std::vector<const Call *> rows_;
};
