// Pictures of the Calls view for the documentation: scenarios played one
// after the other through the in-process simulated driver into a monitor
// window (offscreen), then the window grabbed with the Calls view showing
// the list and a timeline, the frozen eye of an event, the findings of a
// call that dropped its line, and comparisons; then a summary, the findings
// and a comparison at the window's default size.
// Usage: calls_view_shots OUTDIR SCENARIO.trace...
#include <QApplication>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include <cstdio>
#include <string>
#include <vector>

#include "driverlink/driver_source.h"
#include "monitor/monitor.h"
#include "monitor/qt/call_timeline.h"
#include "monitor/qt/calls_view.h"
#include "monitor/qt/child_window.h"
#include "monitor/qt/main_window.h"
#include "monitor/qt/monitor_view.h"
#include "simulator/sim.h"
#include "trace/trace.h"

namespace {

// 2026-12-08 17:00:00 UTC plus the driver's virtual time.
int64_t shot_clock() { return INT64_C(1796749200000000) + static_cast<int64_t>(sim_clock()) * 1000; }

bool save(QWidget *widget, const std::string &path) {
    QApplication::processEvents();
    const bool ok = widget->grab().save(QString::fromStdString(path), "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
    return ok;
}

// The row of the first call whose modulation column reads `modulation`.
int row_with(const CallsModel *model, const char *modulation) {
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->index(r, CallsModel::COLUMN_MODULATION).data().toString() == QLatin1String(modulation)) return r;
    return 0;
}

// The row of the first call whose verdict starts with `cause`.
int row_with_verdict(const CallsModel *model, const char *cause) {
    for (int r = 0; r < model->rowCount(); ++r)
        if (model->index(r, CallsModel::COLUMN_VERDICT).data().toString().startsWith(QLatin1String(cause))) return r;
    return 0;
}

// Selects the first finding of `name` in the Findings pane.
void select_finding(CallsView *view, const char *name) {
    QTableWidget *findings = view->findings();
    for (int r = 0; r < findings->rowCount(); ++r) {
        if (findings->item(r, findings->columnCount() - 1)->toolTip().startsWith(QLatin1String(name))) {
            findings->setCurrentCell(r, 0);
            return;
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: calls_view_shots OUTDIR SCENARIO.trace...\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string out = argv[1];
    PlatformDriverSource source;
    Monitor *monitor = monitor_new(source);
    monitor_set_clock(*monitor, shot_clock);
    if (!monitor_start(*monitor, nullptr)) return 1;
    int status = 0;
    {
        MainWindow window(*monitor, false);
        window.resize(1280, 1000);
        window.show();
        for (int i = 2; i < argc; ++i) {
            std::vector<TraceDirective> trace;
            if (!read_trace_file(argv[i], &trace)) {
                std::fprintf(stderr, "calls_view_shots: cannot read %s\n", argv[i]);
                return 1;
            }
            sim_play_lingering(trace.data(), trace.size(), 300);
            // A pause between calls.
            TraceDirective pause{};
            pause.op = TRACE_WAIT;
            pause.value = 20000;
            sim_play(&pause, 1);
        }
        for (int round = 0; round < 100000 && !sim_script_done(); ++round) {
            sim_advance(TIMER_PERIOD_MS);
            window.main_tick();
            window.status_tick();
            window.eye_tick(1);
            window.eye_tick(2);
        }
        window.command(IDM_CALLS);
        CallsView *view = window.view()->calls_view();
        view->refresh();
        const CallsModel *model = view->model();

        // The list and the timeline of the V.32 call with its retrain, the
        // retrain's mark clicked (its status line selected below).
        view->select_rows({row_with(model, "v.32/v.32bis/v.32terbo")});
        view->tabs()->setCurrentWidget(view->timeline());
        QApplication::processEvents();
        if (const Call *call = view->shown_call()) {
            for (const CallEvent &e : call->events) {
                if (e.kind == EVENT_RETRAIN) {
                    window.view()->select_status_moment(call->modem, e.time_us, e.code);
                    break;
                }
            }
        }
        status |= !save(&window, out + "/calls-view.png");
        status |= !save(view->timeline(), out + "/calls-timeline.png");

        // The frozen eye at the V.34 call's cleardown, after its timeline.
        view->select_rows({row_with_verdict(model, "Remote hang-up")});
        status |= !save(view->timeline(), out + "/calls-timeline-v34.png");
        view->tabs()->setCurrentWidget(view->events()->parentWidget());
        QApplication::processEvents();
        QTableWidget *events = view->events();
        for (int r = 0; r < events->rowCount(); ++r) {
            if (events->item(r, 4)->text() != QStringLiteral("-")) {
                events->setCurrentCell(r, 0);
            }
        }
        status |= !save(window.view()->calls_child(), out + "/calls-frozen-eye.png");

        // The call that dropped its line: its findings, the line drop's
        // chosen (its status line and the eye frozen there), and its
        // timeline with the findings' marks.
        view->select_rows({row_with_verdict(model, "Line drop")});
        view->tabs()->setCurrentWidget(view->findings_tab());
        select_finding(view, "line-drop");
        status |= !save(window.view()->calls_child(), out + "/calls-findings.png");
        status |= !save(&window, out + "/calls-findings-window.png");
        view->tabs()->setCurrentWidget(view->timeline());
        status |= !save(view->timeline(), out + "/calls-timeline-findings.png");

        // The clean V.34 call beside the one that dropped: the verdicts side
        // by side, then both calls' findings.
        view->select_rows({row_with_verdict(model, "Remote hang-up"), row_with_verdict(model, "Line drop")});
        status |= !save(window.view()->calls_child(), out + "/calls-compare-verdicts.png");
        view->tabs()->setCurrentWidget(view->findings_tab());
        select_finding(view, "line-drop");
        status |= !save(window.view()->calls_child(), out + "/calls-compare-findings.png");

        // The V.34 and V.90 calls side by side.
        view->select_rows({row_with_verdict(model, "Remote hang-up"), row_with(model, "v.90")});
        view->tabs()->setCurrentWidget(view->timeline());
        status |= !save(window.view()->calls_child(), out + "/calls-compare.png");
        // Both calls' events, B's cleardown chosen.
        view->tabs()->setCurrentWidget(view->events()->parentWidget());
        for (int r = 0; r < events->rowCount(); ++r) {
            if (events->item(r, 5)->text() == QStringLiteral("B") && events->item(r, 1)->text() == QStringLiteral("cleardown"))
                events->setCurrentCell(r, 0);
        }
        status |= !save(window.view()->calls_child(), out + "/calls-compare-events.png");
        view->tabs()->setCurrentWidget(view->timeline());

        // The summary and the comparison again at the window's default size.
        window.resize(960, 720);
        view->select_rows({row_with(model, "v.32/v.32bis/v.32terbo")});
        status |= !save(window.view()->calls_child(), out + "/calls-summary-default-size.png");
        view->select_rows({row_with_verdict(model, "Line drop")});
        view->tabs()->setCurrentWidget(view->findings_tab());
        select_finding(view, "retrain-remote");
        status |= !save(window.view()->calls_child(), out + "/calls-findings-default-size.png");
        view->tabs()->setCurrentWidget(view->timeline());
        view->select_rows({row_with_verdict(model, "Remote hang-up"), row_with(model, "v.90")});
        status |= !save(window.view()->calls_child(), out + "/calls-compare-default-size.png");
        window.close();
    }
    monitor_delete(monitor);
    return status;
}
