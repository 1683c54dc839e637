// The Calls view over scenarios played through the in-process driver into
// the window's monitor: the rows, a click on the timeline, the exports and
// the comparison.
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QToolTip>

#include <string>
#include <vector>

#include "calls/call_export.h"
#include "calls/call_summary.h"
#include "monitor/qt/call_timeline.h"
#include "monitor/qt/calls_view.h"
#include "monitor/qt/frozen_eye.h"
#include "monitor/session_open.h"
#include "trace/trace.h"
#include "window_fixture.h"

namespace {

// The driver's virtual clock, so that lines and calls share exact times.
int64_t sim_clock_us() { return static_cast<int64_t>(sim_clock()) * 1000; }

class CallsViewTest : public WindowTest {
protected:
    // Plays the scenarios one after the other through the window's ticks,
    // then shows the Calls view. The modems go idle a few ticks after their
    // last record, as a driver's do (the monitor fetches records only while
    // a modem is active).
    CallsView *play(std::initializer_list<const char *> scenarios) {
        monitor_set_clock(*monitor_, sim_clock_us);
        MainWindow *window = open_window();
        for (const char *name : scenarios) {
            std::vector<TraceDirective> trace;
            const std::string path = std::string(TARVEL_SOURCE_DIR "/scenarios/") + name + ".trace";
            EXPECT_TRUE(read_trace_file(path.c_str(), &trace)) << path;
            sim_play_lingering(trace.data(), trace.size(), 300);
        }
        for (int round = 0; round < 2000 && !sim_script_done(); ++round) {
            sim_advance(TIMER_PERIOD_MS);
            window->main_tick();
            window->status_tick();
            window->eye_tick(1);
            window->eye_tick(2);
        }
        // A last round sees the modems idle.
        sim_advance(TIMER_PERIOD_MS);
        window->status_tick();
        window->command(IDM_CALLS);
        CallsView *view = window->view()->calls_view();
        view->refresh();
        return view;
    }

    // The scenario opened as a session instead: its lines in the stores
    // with their recorded times, its calls from the trace.
    CallsView *open_session(const char *name) {
        MainWindow *window = open_window();
        const std::string path = std::string(TARVEL_SOURCE_DIR "/scenarios/") + name + ".trace";
        std::string error, warning;
        EXPECT_TRUE(opened_session_read(path.c_str(), session_, error, warning)) << error;
        monitor_show_session(*monitor_, session_);
        if (monitor_->visible.calls == 0) window->command(IDM_CALLS);
        return window->view()->calls_view();
    }

    OpenedSession session_;

    static std::string cell(const QAbstractItemModel *model, int row, int column) {
        return model->index(row, column).data().toString().toStdString();
    }
};

TEST_F(CallsViewTest, RowsAreNewestFirstWithTheirCallsFields) {
    CallsView *view = play({"v34-call", "error-control-call", "fax-session"});
    EXPECT_TRUE(window_->view()->calls_child()->isVisible());
    EXPECT_TRUE(window_->menu_action(IDM_CALLS)->isChecked());
    // Worked out from the traces: fax calls on modem 2 last, the two
    // error-control calls at one moment (modem 1 first), the V.34 call first.
    const struct {
        const char *modem, *modulation, *rx, *tx, *retrains, *cleardown;
    } rows[] = {
        {"2", "-",                      "-",     "14400", "0", "local"},
        {"2", "v.17",                   "14400", "-",     "0", "local"},
        {"1", "v.32/v.32bis/v.32terbo", "14400", "14400", "1", "local"},
        {"2", "v.32/v.32bis/v.32terbo", "12000", "12000", "0", "local"},
        {"1", "v.34",                   "31200", "28800", "0", "remote"},
    };
    const CallsModel *model = view->model();
    ASSERT_EQ(model->rowCount(), int(std::size(rows)));
    for (int r = 0; r < int(std::size(rows)); ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(cell(model, r, CallsModel::COLUMN_MODEM), rows[r].modem);
        EXPECT_EQ(cell(model, r, CallsModel::COLUMN_MODULATION), rows[r].modulation);
        EXPECT_EQ(cell(model, r, CallsModel::COLUMN_RX_RATE), rows[r].rx);
        EXPECT_EQ(cell(model, r, CallsModel::COLUMN_TX_RATE), rows[r].tx);
        EXPECT_EQ(cell(model, r, CallsModel::COLUMN_RETRAINS), rows[r].retrains);
        EXPECT_EQ(cell(model, r, CallsModel::COLUMN_CLEARDOWN), rows[r].cleardown);
        if (r > 0) {
            EXPECT_LE(model->call(r)->start_us, model->call(r - 1)->start_us);
        }
    }
    // Closing the child hides it and clears the check mark.
    window_->view()->calls_child()->close();
    EXPECT_FALSE(window_->view()->calls_child()->isVisible());
    EXPECT_FALSE(window_->menu_action(IDM_CALLS)->isChecked());
}

// Live, and in the same scenario opened as a session; one call, then the
// two calls compared, where B's marks pick B's modem's lines.
TEST_F(CallsViewTest, AClickOnTheTimelineSelectsTheStatusLineOfThatMoment) {
    for (bool opened : {false, true}) {
        SCOPED_TRACE(opened ? "opened session" : "live");
        if (opened) {
            window_.reset();
        }
        CallsView *view = opened ? open_session("error-control-call") : play({"error-control-call"});
        const int row_a = view->model()->row_of({1, 1}), row_b = view->model()->row_of({2, 1});
        ASSERT_GE(row_a, 0);
        ASSERT_GE(row_b, 0);
        view->tabs()->setCurrentWidget(view->timeline());
        // The events' marks, and a moment between them, which takes the newest
        // line at or before it: the retrain's second's last line. Modem 1's
        // call has a retrain and a cleardown, modem 2's a carrier loss and a
        // cleardown at the same moment (B's marks at the bottom keep them apart).
        const struct {
            bool pair;          // the two calls compared (modem 1's is A)
            int call;           // 0 or 1: whose mark is clicked
            int event;          // index into the call's events, -1: a moment
            int64_t moment_us;  // since the call's start, for a moment
            int modem;          // whose list shows the line
            const char *line;
        } clicks[] = {
            {false, 0, 0, 0, 1, "Retraining! "},
            {false, 0, 1, 0, 1, "Cleardown! "},
            {false, 0, -1, 1250000, 1, "V42bis Decoder statistic: 77040 bytes in"},
            {true, 1, 0, 0, 2, "Carrier Lost! "},
            {true, 1, 1, 0, 2, "Cleardown! "},
            {true, 0, 1, 0, 1, "Cleardown! "},
            {true, 0, 0, 0, 1, "Retraining! "},
        };
        bool paired = true;
        for (const auto &click : clicks) {
            SCOPED_TRACE(click.line);
            SCOPED_TRACE(click.pair ? "compared" : "one call");
            if (click.pair != paired) {
                paired = click.pair;
                view->select_rows(paired ? QList<int>{row_a, row_b} : QList<int>{row_a});
                QApplication::processEvents();
                ASSERT_EQ(view->shown_call()->modem, 1);
                ASSERT_EQ(view->shown_call()->events.size(), 2u);
            }
            QPoint point;
            if (click.event >= 0) {
                point = view->timeline()->mark_position(click.call, size_t(click.event)).toPoint();
                ASSERT_GE(point.x(), 0);
                // The mark's tooltip names its call, and with two, which of them.
                const std::string tip = view->timeline()->mark_text_at(point).toStdString();
                EXPECT_EQ(tip.rfind(!paired ? "Modem " : click.call == 0 ? "A, modem 1 " : "B, modem 2 ", 0), 0u) << tip;
                QWidget *viewport = view->timeline()->viewport();
                QHelpEvent hover(QEvent::ToolTip, point, viewport->mapToGlobal(point));
                QApplication::sendEvent(viewport, &hover);
                EXPECT_EQ(QToolTip::text().toStdString(), tip);
            } else {
                point = view->timeline()->position_of(view->shown_call()->start_us + click.moment_us).toPoint() +
                        QPoint(0, 40);
            }
            QTest::mouseClick(view->timeline()->viewport(), Qt::LeftButton, {}, point);
            StatusView *list = window_->view()->status_view(click.modem);
            ASSERT_TRUE(list->currentIndex().isValid());
            EXPECT_EQ(list->currentIndex().data().toString().toStdString().rfind(click.line, 0), 0u)
                << list->currentIndex().data().toString().toStdString();
            list->setCurrentIndex(QModelIndex());
        }
    }
}

TEST_F(CallsViewTest, ExportsHoldWhatTheCallExportWrites) {
    CallsView *view = play({"error-control-call", "fax-session"});
    view->select_rows({1});
    const std::vector<const Call *> &calls = view->model()->calls();
    const Call &selected = *view->shown_call();
    std::string list_csv, list_json, call_csv, call_json_text;
    calls_list_csv(calls, list_csv);
    calls_list_json(calls, list_json);
    call_detail_csv(selected, call_csv);
    call_json(selected, true, call_json_text);
    const struct {
        const char *path;
        bool whole_list;
        const std::string &expected;
    } files[] = {
        {"calls.csv", true, list_csv},
        {"calls.JSON", true, list_json},
        {"call.csv", false, call_csv},
        {"call.json", false, call_json_text},
    };
    for (const auto &file : files) {
        SCOPED_TRACE(file.path);
        QString error;
        ASSERT_TRUE(file.whole_list ? view->export_list(file.path, &error) : view->export_call(file.path, &error))
            << error.toStdString();
        const std::vector<unsigned char> bytes = file_bytes(file.path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), file.expected);
    }
    // A failed save names its reason and leaves no file.
    QString error;
    EXPECT_FALSE(view->export_list("no-such-dir/calls.csv", &error));
    EXPECT_FALSE(error.isEmpty());
    ASSERT_TRUE(view->save_timeline_image("timeline.png", &error)) << error.toStdString();
    EXPECT_EQ(QImage("timeline.png").size(), view->timeline()->size());
}

TEST_F(CallsViewTest, AnExportAsksBeforeReplacingTheFileItWrites) {
    CallsView *view = play({"error-control-call"});
    view->select_rows({0});
    const struct {
        const char *button;
        const char *filter;
        const char *typed;       // without an extension: the filter's is added
        const char *existing;    // a file there before, else null
        bool replace;            // the answer to the question about it
        const char *written;     // the file the export wrote, else null
    } cases[] = {
        {"Export List...", "CSV (*.csv)", "calls", "calls.csv", false, nullptr},
        {"Export List...", "JSON (*.json)", "calls", "calls.json", true, "calls.json"},
        {"Export Call...", "JSON (*.json)", "call", nullptr, false, "call.json"},
        {"Save Timeline Image...", "PNG (*.png)", "line", "line.png", false, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.button);
        QPushButton *button = nullptr;
        for (QPushButton *b : view->findChildren<QPushButton *>()) {
            if (b->text() == QLatin1String(c.button)) button = b;
        }
        ASSERT_NE(button, nullptr);
        if (c.existing != nullptr) {
            QFile file(QString::fromLatin1(c.existing));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("before") == 6);
        }
        QString question;
        QTimer::singleShot(0, view, [&] {
            QFileDialog *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->selectNameFilter(QString::fromLatin1(c.filter));
            dialog->selectFile(QString::fromLatin1(c.typed));
            QTimer::singleShot(0, dialog, [&] {
                if (QMessageBox *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    question = box->text();
                    box->button(c.replace ? QMessageBox::Yes : QMessageBox::No)->click();
                }
            });
            static_cast<QDialog *>(dialog)->accept();  // as the Save button does
            if (dialog->isVisible()) dialog->reject();  // the answer was no
        });
        button->click();
        if (c.existing != nullptr) {
            EXPECT_TRUE(question.startsWith(QString::fromLatin1(c.existing) + QStringLiteral(" already exists")))
                << question.toStdString();
        } else {
            EXPECT_TRUE(question.isEmpty()) << question.toStdString();
        }
        if (c.existing != nullptr && !c.replace) {
            EXPECT_EQ(file_bytes(c.existing), std::vector<unsigned char>({'b', 'e', 'f', 'o', 'r', 'e'}));
        }
        if (c.written != nullptr) {
            EXPECT_GT(file_bytes(c.written).size(), 6u);
        }
        EXPECT_FALSE(QFile::exists(QString::fromLatin1(c.typed))) << "no file without the extension";
    }
}

TEST_F(CallsViewTest, TwoSelectedCallsCompareWithTheirDifferencesMarked) {
    CallsView *view = play({"error-control-call"});
    view->select_rows({0, 1});
    QTableWidget *table = view->summary();
    ASSERT_EQ(table->columnCount(), 4);
    const struct {
        const char *key;
        bool differs;
    } keys[] = {
        {"Modem", true},
        {"Rx rate final", true},
        {"Error control", true},
        {"Modulation", false},
        {"Cleardown", false},
    };
    for (const auto &key : keys) {
        SCOPED_TRACE(key.key);
        int found = -1;
        for (int r = 0; r < table->rowCount(); ++r)
            if (table->item(r, 1)->text() == QString::fromLatin1(key.key)) found = r;
        ASSERT_GE(found, 0);
        EXPECT_EQ(table->item(found, 0)->text() == QStringLiteral("*"), key.differs);
    }
    // Every marked row has two values that differ, every other row two equal ones.
    for (int r = 0; r < table->rowCount(); ++r) {
        SCOPED_TRACE(table->item(r, 1)->text().toStdString());
        EXPECT_EQ(table->item(r, 0)->text() == QStringLiteral("*"), table->item(r, 2)->text() != table->item(r, 3)->text());
    }
    // Both timelines over the time since each call's start.
    EXPECT_GT(view->timeline()->drawn_points(1, LINE_RX_RATE), 0);
    // Both calls' events listed, each with its call's letter; B's carrier
    // loss selects the line of B's modem (modem 2's call has it).
    QTableWidget *events = view->events();
    ASSERT_EQ(events->rowCount(), 4);
    int carrier_lost = -1;
    for (int r = 0; r < events->rowCount(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(events->item(r, 5)->text(), r < 2 ? QStringLiteral("A") : QStringLiteral("B"));
        if (events->item(r, 1)->text() == QStringLiteral("carrier lost")) carrier_lost = r;
    }
    ASSERT_GE(carrier_lost, 2);
    events->setCurrentCell(carrier_lost, 0);
    const QModelIndex line = window_->view()->status_view(2)->currentIndex();
    ASSERT_TRUE(line.isValid());
    EXPECT_EQ(line.data().toString().toStdString().rfind("Carrier Lost! ", 0), 0u) << line.data().toString().toStdString();
}

}  // namespace

namespace {

// The arguments of a moment_chosen signal.
struct Moment {
    int modem;
    int64_t time_us;
    int code;
    bool operator==(const Moment &) const = default;
};
Moment moment(const QList<QVariant> &arguments) {
    return {arguments.value(0).toInt(), arguments.value(1).toLongLong(), arguments.value(2).toInt()};
}
std::ostream &operator<<(std::ostream &out, const Moment &m) {
    return out << "modem " << m.modem << " at " << m.time_us << " us, code " << m.code;
}

// A call that retrained, fell back and lost its line, opened as a session:
// its verdict in the list, its findings in the pane (the table's order:
// errors first), each choosing its own moment; its line drop's mark on the
// timeline chooses the same.
TEST_F(CallsViewTest, AFindingChoosesTheStatusLineAndEyeOfItsMoment) {
    CallsView *view = open_session("line-drop-call");
    ASSERT_EQ(view->model()->rowCount(), 1);
    EXPECT_EQ(cell(view->model(), 0, CallsModel::COLUMN_VERDICT).rfind(
                  "Line drop: carrier lost 5.3 s into the call without cleardown; SNR fell 9.0 dB", 0),
              0u)
        << cell(view->model(), 0, CallsModel::COLUMN_VERDICT);
    view->select_rows({0});
    const struct {
        const char *severity, *text;
        int64_t time_us;
        int code;
        bool eye;          // a frozen eye shown
        // The start of the status line selected; null where several records
        // of the finding's code share its moment (the line measurements).
        const char *line;
    } findings[] = {
        {"error", "Carrier lost 5.3 s into the call without cleardown", 5'500'000, 37, true, "Carrier Lost!"},
        {"warning", "Retrain 1 of 1 asked by the remote end 3.0 s into the call", 3'200'000, 39, true, "Retraining!"},
        {"warning", "Rx rate fell 28 % (from 33600 to 24000 bit/s", 3'200'000, 11, false, "RxRate:  24000"},
        {"warning", "Tx rate fell 30 % (from 31200 to 21600 bit/s", 3'200'000, 12, false, "TxRate:  21600"},
        {"note", "Compression off: LAPM without V.42bis", 200'000, 69, false, "LAPM established"},
        {"warning", "Receive level too low: -46.0 dBm", 5'200'000, 65, false, nullptr},
    };
    QTableWidget *table = view->findings();
    ASSERT_EQ(table->rowCount(), int(std::size(findings)));
    QSignalSpy moments(view, &CallsView::moment_chosen);
    for (int r = 0; r < int(std::size(findings)); ++r) {
        SCOPED_TRACE(findings[r].text);
        EXPECT_EQ(table->item(r, 0)->text().toStdString(), findings[r].severity);
        const std::string text = table->item(r, table->columnCount() - 1)->text().toStdString();
        EXPECT_EQ(text.rfind(findings[r].text, 0), 0u) << text;
        table->setCurrentCell(r, 0);
        ASSERT_EQ(moments.size(), r + 1);
        EXPECT_EQ(moment(moments.last()), (Moment{1, findings[r].time_us, findings[r].code}));
        EXPECT_EQ(view->findings_eye()->points() > 0, findings[r].eye);
        const QModelIndex selected = window_->view()->status_view(1)->currentIndex();
        ASSERT_TRUE(selected.isValid());
        if (findings[r].line != nullptr) {
            EXPECT_EQ(selected.data().toString().toStdString().rfind(findings[r].line, 0), 0u)
                << selected.data().toString().toStdString();
        }
    }
    // The line drop's mark: its tooltip and its moment, the line of its record.
    view->tabs()->setCurrentWidget(view->timeline());
    QApplication::processEvents();
    const QPoint mark = view->timeline()->finding_position(0, 0).toPoint();
    ASSERT_GE(mark.x(), 0);
    EXPECT_EQ(view->timeline()->mark_text_at(mark).toStdString().rfind("Modem 1 call 1, error at 5.500 s: Carrier lost", 0),
              0u);
    QTest::mouseClick(view->timeline()->viewport(), Qt::LeftButton, {}, mark);
    EXPECT_EQ(moment(moments.last()), (Moment{1, 5'500'000, 37}));
    const QModelIndex line = window_->view()->status_view(1)->currentIndex();
    ASSERT_TRUE(line.isValid());
    EXPECT_EQ(line.data().toString().toStdString(), "Carrier Lost! ");
}

}  // namespace
