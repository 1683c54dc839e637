// The filter of a status list: counts, plain text without regard to case,
// regular expressions, an invalid expression, and copies and the store left
// as they are.
#include <QClipboard>
#include <QItemSelectionModel>
#include <QLineEdit>

#include "window_fixture.h"

TEST_F(WindowTest, FilterShowsMatchingLinesWithShownAndTotalCounts) {
    MainWindow *window = open_window();
    activate(1);
    for (int hz : {8000, 9600, 11025, 16000, 7200}) {
        sim_queue_record(status_record(1, 1, hz));
    }
    window->status_tick();
    StatusPane *pane = window->status_pane(1);
    StatusView *view = window->status_view(1);
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
    EXPECT_EQ(window->status_model(1)->rowCount(), 5) << "the filter changed what is stored";
}

TEST_F(WindowTest, FilteredListCopiesItsSelectionAndTakesNewMatchingLines) {
    MainWindow *window = open_window();
    activate(1);
    for (int hz : {8000, 11025, 9600, 16000}) {
        sim_queue_record(status_record(1, 1, hz));
    }
    window->status_tick();
    StatusPane *pane = window->status_pane(1);
    StatusView *view = window->status_view(1);
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
    StatusView *view = window->status_view(1);
    view->set_following(false);
    window->status_pane(1)->filter_field()->setText(QStringLiteral("/ 1\\d Hz"));
    window->status_pane(1)->filter_field()->setText(QStringLiteral("/ \\d\\d Hz"));
    sim_queue_record(status_record(1, 1, 42));
    sim_queue_record(status_record(1, 1, 420));
    window->status_tick();
    EXPECT_EQ(view->unseen_lines(), 1u) << "only the one matching line arrived";
    EXPECT_FALSE(view->following());
}
