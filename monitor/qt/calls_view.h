// The Calls view: the list of calls (one row per call per modem, newest
// first, live) with each call's verdict, the summary and timeline of the
// selected call, its findings and its events with the eye frozen at each,
// exports, and the comparison of two calls (select two with Ctrl+click).
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "calls/call.h"
#include "calls/call_findings.h"
#include "monitor/qt/calls_model.h"

class CallTimeline;
class FrozenEyePane;
class QLabel;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTableView;
class QTableWidget;
struct CallWatch;

// What a file of calls holds, by its name: JSON for ".json" (any case),
// CSV otherwise.
enum CallFileFormat { CALL_FILE_CSV, CALL_FILE_JSON };
CallFileFormat call_file_format(const QString &path);

class CallsView : public QWidget {
    Q_OBJECT
public:
    explicit CallsView(QWidget *parent = nullptr);
    ~CallsView() override;

    // The calls to show, as CallsModel::set_watch takes them.
    void set_watch(const CallWatch *watch, int64_t origin_us);
    // The watch's time now (microseconds since its start), for the running
    // calls' durations; without it a running call lasts to its last record.
    void set_clock(std::function<int64_t()> now) { now_ = std::move(now); }

    // After every tick that may start or end a call: the rows follow the
    // watch, the selection stays on its calls.
    void sync();
    // Once a second: running calls' durations, and the details of a running
    // call that is selected.
    void refresh();

    // Selects rows (one shows a call, two compare); others are dropped.
    void select_rows(const QList<int> &rows);
    // The selected calls' keys, in row order.
    QList<CallKey> selected_keys() const;

    // The list as shown (all calls, newest first) to path, CSV or JSON by its name.
    bool export_list(const QString &path, QString *error) const;
    // The selected call's summary, events and series to path, CSV or JSON by its name.
    bool export_call(const QString &path, QString *error) const;
    bool save_timeline_image(const QString &path, QString *error) const;

    CallsModel *model() const { return model_; }
    QTableView *table() const { return table_; }
    QTableWidget *summary() const { return summary_; }
    QTableWidget *events() const { return events_; }
    // The findings of the shown call(s): severity, time, call, eye, text.
    QTableWidget *findings() const { return findings_; }
    FrozenEyePane *findings_eye() const { return findings_eye_; }
    QWidget *findings_tab() const { return findings_tab_; }
    CallTimeline *timeline() const { return timeline_; }
    FrozenEyePane *frozen_eye() const { return eye_; }
    QTabWidget *tabs() const { return tabs_; }
    // The call whose details are shown (the first of a comparison), or null.
    const Call *shown_call() const { return shown_[0].get(); }

protected:
    void resizeEvent(QResizeEvent *event) override;

signals:
    // A moment of a call was picked (a mark, a point of the timeline, an
    // event, a finding): the status line of modem `modem` at that time (since the
    // watch's start) should be shown; code is the record code of an event
    // or finding (its own line is the one to show), 0 for a plain moment.
    void moment_chosen(int modem, int64_t time_us, int code);

private:
    void create_actions();
    void show_selection();
    void show_summary(const Call &call);
    void show_comparison(const Call &a, const Call &b);
    void show_events();
    void show_event_eye(int row);
    void show_findings();
    void show_finding_eye(int row);
    void export_list_as();
    void export_call_as();
    void save_image_as();
    void update_count();
    // The summary's columns for `count` calls, and the keys' width.
    void set_summary_columns(int count, const QStringList &headers);
    // The split between summary and timeline for the calls shown.
    void fit_details();

    CallsModel *model_;
    QTableView *table_;
    QTableWidget *summary_;
    QTableWidget *events_;
    QTableWidget *findings_;
    QWidget *findings_tab_;
    CallTimeline *timeline_;
    FrozenEyePane *eye_;
    FrozenEyePane *findings_eye_;
    QTabWidget *tabs_;
    QSplitter *details_;
    int fitted_count_ = -1;   // the calls shown when the split was last fitted
    bool split_dragged_ = false;  // the reader moved it since: resizes keep it
    int key_width_ = 0;       // the summary's widest key (and mark) in pixels
    QLabel *count_;
    QPushButton *export_call_button_;
    QPushButton *image_button_;
    std::function<int64_t()> now_;
    QList<CallKey> kept_selection_;
    std::unique_ptr<Call> shown_[2];
    CallKey shown_keys_[2];    // the calls shown (number 0: none)
    bool same_calls_ = false;  // the last show_selection showed the same calls again
    // The events table's rows: the call (0 or 1) and its event of each.
    struct EventRow {
        int call;
        size_t event;
    };
    std::vector<EventRow> event_rows_;
    // The verdicts of the calls shown, and the findings table's rows: the
    // call (0 or 1) and its finding of each.
    CallVerdict verdicts_[2];
    struct FindingRow {
        int call;
        size_t finding;
    };
    std::vector<FindingRow> finding_rows_;
};
