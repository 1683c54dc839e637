// Follow mode: the newest line stays in view until the user scrolls up or
// picks a line away from the end; the list then stays still and counts the
// new lines; End, the button or a scroll back to the bottom follow again.
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QToolButton>

#include "window_fixture.h"

namespace {

int top_row(StatusView *view) { return view->indexAt(QPoint(2, 2)).row(); }

void queue_lines(int count, int first_value) {
    for (int i = 0; i < count; ++i) {
        sim_queue_record(status_record(1, 1, first_value + i));
    }
}

}  // namespace

TEST_F(WindowTest, ScrolledUpListKeepsItsTopRowWhileLinesArriveAndEndFollowsAgain) {
    MainWindow *window = open_window();
    activate(1);
    StatusView *view = window->view()->status_view(1);
    queue_lines(300, 0);
    window->status_tick();
    QApplication::processEvents();
    ASSERT_TRUE(view->following());

    view->verticalScrollBar()->setValue(10);  // the user scrolls up
    EXPECT_FALSE(view->following());
    const int top = top_row(view);
    const std::string top_text = row_text(window->view()->status_model(1), top);
    for (int tick = 0; tick < 10; ++tick) {
        queue_lines(100, 1000 + 100 * tick);
        window->status_tick();
        QApplication::processEvents();
        EXPECT_EQ(top_row(view), top) << tick;
    }
    EXPECT_EQ(row_text(window->view()->status_model(1), top_row(view)), top_text);
    EXPECT_EQ(view->unseen_lines(), 1000u);
    EXPECT_TRUE(view->new_lines_button()->isVisible());
    EXPECT_EQ(view->new_lines_button()->text(), QStringLiteral("1000 new lines"));

    view->setFocus();
    QTest::keyClick(view, Qt::Key_End);
    QApplication::processEvents();
    EXPECT_TRUE(view->following());
    EXPECT_FALSE(view->new_lines_button()->isVisible());
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    queue_lines(50, 5000);
    window->status_tick();
    QApplication::processEvents();
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
}

TEST_F(WindowTest, FollowStopsOnALineAwayFromTheEndAndResumesAtTheBottom) {
    MainWindow *window = open_window();
    activate(1);
    StatusView *view = window->view()->status_view(1);
    queue_lines(200, 0);
    window->status_tick();
    QApplication::processEvents();
    // Picking the newest line keeps following; a line above it does not.
    view->selectionModel()->setCurrentIndex(window->view()->status_model(1)->index(199), QItemSelectionModel::Select);
    EXPECT_TRUE(view->following());
    view->selectionModel()->setCurrentIndex(window->view()->status_model(1)->index(150), QItemSelectionModel::Select);
    QApplication::processEvents();
    view->verticalScrollBar()->setValue(120);
    EXPECT_FALSE(view->following());
    queue_lines(5, 900);
    window->status_tick();
    QApplication::processEvents();
    EXPECT_EQ(view->verticalScrollBar()->value(), 120);
    // Scrolling back down to the bottom follows again.
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    EXPECT_TRUE(view->following());
    EXPECT_EQ(view->unseen_lines(), 0u);
}

TEST_F(WindowTest, ScrolledUpListKeepsItsTopLineWhileTheFullStoreDropsOldLines) {
    static char text[1 << 16];
    static uint32_t offsets[400];
    static int64_t times[400];
    line_store_init(&monitor_->stores[0], text, sizeof text, offsets, times, 400);
    MainWindow *window = open_window();
    activate(1);
    StatusView *view = window->view()->status_view(1);
    queue_lines(400, 0);
    window->status_tick();
    QApplication::processEvents();
    view->verticalScrollBar()->setValue(200);
    const std::string top_text = row_text(window->view()->status_model(1), top_row(view));
    queue_lines(150, 1000);  // 150 oldest lines leave the store
    window->status_tick();
    QApplication::processEvents();
    EXPECT_EQ(row_text(window->view()->status_model(1), top_row(view)), top_text);
    EXPECT_EQ(top_row(view), 50);
}
