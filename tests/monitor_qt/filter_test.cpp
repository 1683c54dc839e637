// The filter of a status list: counts, plain text without regard to case,
// regular expressions, an invalid expression, copies and the store left as
// they are, and an expression too costly to match that never holds the window.
#include <QClipboard>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSettings>

#include <algorithm>
#include <ctime>

#include "window_fixture.h"

TEST_F(WindowTest, FilterShowsMatchingLinesWithShownAndTotalCounts) {
    MainWindow *window = open_window();
    activate(1);
    for (int hz : {8000, 9600, 11025, 16000, 7200}) {
        sim_queue_record(status_record(1, 1, hz));
    }
    window->status_tick();
    StatusPane *pane = window->view()->status_pane(1);
    StatusView *view = window->view()->status_view(1);
    struct Row {
        const char *filter;
        int shown;
        bool valid;
        std::vector<int> rates;
    } rows[] = {
        {"", 5, true, {8000, 9600, 11025, 16000, 7200}},
        {"sampling RATE", 5, true, {8000, 9600, 11025, 16000, 7200}},
        {"9600", 1, true, {9600}},
        {"/\\t +1\\d{4} Hz", 2, true, {11025, 16000}},
        {"/^sampling", 0, true, {}},  // expressions keep case
        {"/(", 5, false, {8000, 9600, 11025, 16000, 7200}},
        {"no such line", 0, true, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.filter);
        pane->filter_field()->setText(QString::fromLatin1(row.filter));
        EXPECT_EQ(view->model()->rowCount(), row.shown);
        EXPECT_EQ(pane->count_text(), QStringLiteral("%1 / 5").arg(row.shown));
        EXPECT_EQ(view->status_filter()->valid(), row.valid);
        EXPECT_EQ(pane->filter_field()->styleSheet().isEmpty(), row.valid) << "invalid expression not marked";
        for (int r = 0; r < row.shown; ++r) {
            EXPECT_EQ(view->model()->index(r, 0).data().toString().toStdString(), sampling_line(row.rates[r]));
        }
    }
    EXPECT_EQ(window->view()->status_model(1)->rowCount(), 5) << "the filter changed what is stored";
}

TEST_F(WindowTest, FilteredListCopiesItsSelectionAndTakesNewMatchingLines) {
    MainWindow *window = open_window();
    activate(1);
    for (int hz : {8000, 11025, 9600, 16000}) {
        sim_queue_record(status_record(1, 1, hz));
    }
    window->status_tick();
    StatusPane *pane = window->view()->status_pane(1);
    StatusView *view = window->view()->status_view(1);
    pane->filter_field()->setText(QStringLiteral("/ 1\\d{4} Hz"));
    ASSERT_EQ(view->model()->rowCount(), 2);
    view->selectAll();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
              sampling_line(11025) + "\r\n" + sampling_line(16000) + "\r\n");

    for (int hz : {12000, 7200}) {
        sim_queue_record(status_record(1, 1, hz));
    }
    window->status_tick();
    EXPECT_EQ(view->model()->rowCount(), 3);
    EXPECT_EQ(pane->count_text(), QStringLiteral("3 / 6"));
    pane->filter_field()->clear();
    EXPECT_EQ(view->model()->rowCount(), 6);
}

TEST_F(WindowTest, NewFilterIsNotCountedAsNewLinesWhileTheListStaysStill) {
    MainWindow *window = open_window();
    activate(1);
    for (int i = 0; i < 300; ++i) {
        sim_queue_record(status_record(1, 1, i));
    }
    window->status_tick();
    QApplication::processEvents();
    StatusView *view = window->view()->status_view(1);
    view->set_following(false);
    window->view()->status_pane(1)->filter_field()->setText(QStringLiteral("/ 1\\d Hz"));
    window->view()->status_pane(1)->filter_field()->setText(QStringLiteral("/ \\d\\d Hz"));
    sim_queue_record(status_record(1, 1, 42));
    sim_queue_record(status_record(1, 1, 420));
    window->status_tick();
    EXPECT_EQ(view->unseen_lines(), 1u) << "only the one matching line arrived";
    EXPECT_FALSE(view->following());
}


// An expression that backtracks without end on long lines, typed or restored
// from the settings at start: the window never works 100 ms without turning
// its event loop (a 10 ms timer keeps firing) while the lines are matched in
// slices, rows come into view as they are decided, and the status bar counts
// the lines that could not be decided, which are shown.
TEST_F(WindowTest, BacktrackingFilterKeepsTheWindowAnsweringAndCountsUndecidedLines) {
    constexpr int LINES = 2000;
    const std::string line = std::string(510, 'a') + "!";
    for (int i = 0; i < LINES; ++i) {
        line_store_add(&monitor_->stores[0], line.c_str(), i);
    }
    const QString expression = QStringLiteral("/(a+)+$");
    const QString ini = QString::fromStdString(directory_ + "/settings.ini");
    QSettings(ini, QSettings::IniFormat).setValue(QStringLiteral("lists/1/filter"), expression);
    for (bool restored : {false, true}) {
        SCOPED_TRACE(restored ? "restored from the settings" : "typed");
        MainWindow *window = open_window();
        StatusFilter *filter = window->view()->status_view(1)->status_filter();
        QSettings settings(ini, QSettings::IniFormat);
        if (!restored) {
            window->status_tick();
        }
        double busy_ms = thread_ms();
        if (restored) {
            window->use_settings(&settings);
            window->status_tick();  // the lines arrive under the filter
        } else {
            window->view()->status_pane(1)->filter_field()->setText(expression);
        }
        busy_ms = thread_ms() - busy_ms;
        EXPECT_LT(busy_ms, 100.0) << "the filter held the window";
        ASSERT_EQ(filter->filter(), expression);

        QEventLoop loop;
        QTimer probe;
        double previous = thread_ms();
        double busiest_ms = 0;
        bool partly_shown = false;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            busiest_ms = std::max(busiest_ms, thread_ms() - previous);
            previous = thread_ms();
            const int rows = window->view()->status_view(1)->model()->rowCount();
            partly_shown = partly_shown || (rows > 0 && rows < LINES &&
                                            window->view()->filter_text().contains(QStringLiteral("to match")));
            if (filter->pending() == 0) {
                loop.quit();
            }
        });
        probe.start(10);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        EXPECT_EQ(filter->pending(), 0u) << "not all decided within a minute";
        EXPECT_LT(busiest_ms, 100.0) << "the window worked this long between two turns of its event loop";
        EXPECT_TRUE(partly_shown) << "the rows decided so far were not shown while the rest waited";
        EXPECT_EQ(filter->undecided(), static_cast<size_t>(LINES));
        EXPECT_EQ(window->view()->status_view(1)->model()->rowCount(), LINES) << "undecided lines are shown";
        EXPECT_EQ(window->view()->status_pane(1)->count_text(), QStringLiteral("2000 / 2000"));
        EXPECT_EQ(window->view()->filter_text(), QStringLiteral("Modem 1 filter: 2000 lines undecided (shown)"));
    }
}
