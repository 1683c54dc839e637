// The status lists: the drain into both lists, the warning box, the bounded
// store under the view, Ctrl+C and the keys that must not select.
#include <QClipboard>
#include <QItemSelectionModel>
#include <QScrollBar>

#include "capture/intake.h"
#include "window_fixture.h"

namespace {

// Selects exactly `rows` of a view, as extended selection with the mouse would.
void select_rows(StatusView *view, std::initializer_list<int> rows) {
    view->selectionModel()->clearSelection();
    for (int row : rows) {
        view->selectionModel()->select(view->model()->index(row, 0), QItemSelectionModel::Select);
    }
    if (rows.size() > 0) {
        view->selectionModel()->setCurrentIndex(view->model()->index(*rows.begin(), 0),
                                                QItemSelectionModel::NoUpdate);
    }
}

QList<int> selected_rows(StatusView *view) {
    QList<int> rows;
    for (const QModelIndex &index : view->selectionModel()->selectedRows()) {
        rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace

TEST_F(WindowTest, RecordsOfModemTwoOnModemOnesTickLandInModemTwosList) {
    MainWindow *window = open_window(true);
    // Only modem 1's status timer runs.
    for (int i = 0; i < 5; ++i) {
        if (MONITOR_TICKS[i] != TICK_STATUS_1) {
            window->timer(i)->stop();
        }
    }
    activate(2);
    const int order[][2] = {{2, 8000}, {1, 9600}, {2, 7200}, {2, 16000}, {1, 11025}};
    for (const auto &r : order) {
        sim_queue_record(status_record(r[0], 1, r[1]));
    }
    ASSERT_TRUE(QTest::qWaitFor([] { return sim_pending_records() == 0; }, 3000));
    StatusModel *one = window->view()->status_model(1);
    StatusModel *two = window->view()->status_model(2);
    ASSERT_EQ(one->rowCount(), 2);
    ASSERT_EQ(two->rowCount(), 3);
    EXPECT_EQ(row_text(one, 0), sampling_line(9600));
    EXPECT_EQ(row_text(one, 1), sampling_line(11025));
    EXPECT_EQ(row_text(two, 0), sampling_line(8000));
    EXPECT_EQ(row_text(two, 1), sampling_line(7200));
    EXPECT_EQ(row_text(two, 2), sampling_line(16000));
}

TEST_F(WindowTest, OneWarningBoxForTwoInternalErrorsWhileLinesKeepArriving) {
    MainWindow *window = open_window();
    activate(2);
    sim_queue_record(status_record(0, 1));
    sim_queue_record(status_record(1, 1, 9600));
    sim_queue_record(status_record(0, 2));
    sim_queue_record(status_record(2, 1, 8000));

    int boxes = 0;
    int rows_during[2] = {-1, -1};
    on_next_message_box(window, [&](QMessageBox *box) {
        ++boxes;
        EXPECT_EQ(box->text(), QStringLiteral("Data Integrity Check Failed\nRetrain forced"));
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Warning"));
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        EXPECT_EQ(monitor_->warning_open, 1);
        // A second box would block this re-entered tick; count and close it.
        QTimer::singleShot(0, window, [&, box] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                QMessageBox *other = qobject_cast<QMessageBox *>(w);
                if (other != nullptr && other != box && other->isVisible()) {
                    ++boxes;
                    other->done(QMessageBox::Ok);
                }
            }
        });
        window->status_tick();  // the other list's timer fires while the box is open
        rows_during[0] = window->view()->status_model(1)->rowCount();
        rows_during[1] = window->view()->status_model(2)->rowCount();
    });
    window->status_tick();
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(rows_during[0], 1);
    EXPECT_EQ(rows_during[1], 1);
    EXPECT_EQ(monitor_->warnings_discarded, 1u);
    EXPECT_EQ(monitor_->warning_open, 0);
    EXPECT_EQ(sim_pending_records(), 0u);
}

TEST_F(WindowTest, FullStoreDropsItsOldestLineForEachNewOne) {
    struct Row {
        const char *name;
        size_t lines;
        size_t text_bytes;
        int added;
        int kept;
    } rows[] = {
        {"line bound", 3, 4096, 5, 3},
        {"text bound", 100, 3 * 28, 5, 3},  // each line takes 28 bytes with its NUL
        {"not full", 8, 4096, 5, 5},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        static char text[4096];
        static uint32_t offsets[100];
        static int64_t times[100];
        line_store_init(&monitor_->stores[0], text, row.text_bytes, offsets, times, row.lines);
        MainWindow *window = open_window();
        StatusView *view = window->view()->status_view(1);
        activate(1);
        sim_queue_record(status_record(1, 1, 1000));
        window->status_tick();
        select_rows(view, {0});
        for (int i = 1; i < row.added; ++i) {
            sim_queue_record(status_record(1, 1, 1000 + i));
        }
        window->status_tick();
        StatusModel *model = window->view()->status_model(1);
        ASSERT_EQ(model->rowCount(), row.kept);
        EXPECT_EQ(monitor_->stores[0].dropped, static_cast<uint64_t>(row.added - row.kept));
        for (int r = 0; r < row.kept; ++r) {
            EXPECT_EQ(row_text(model, r), sampling_line(1000 + row.added - row.kept + r)) << r;
        }
        // The selected line went with its row, or stays selected.
        EXPECT_EQ(selected_rows(view), row.kept == row.added ? QList<int>{0} : QList<int>{});
        window_.reset();
        driver_link_close(monitor_->link);
        fresh_world();
    }
}

TEST_F(WindowTest, NewestLineStaysInView) {
    MainWindow *window = open_window();
    activate(1);
    for (int i = 0; i < 500; ++i) {
        sim_queue_record(status_record(1, 1, i));
    }
    window->status_tick();
    QApplication::processEvents();
    StatusView *view = window->view()->status_view(1);
    const QRect last = view->visualRect(window->view()->status_model(1)->index(499));
    EXPECT_GE(last.top(), 0) << "the newest line is out of view";
    EXPECT_LE(last.bottom(), view->viewport()->rect().bottom()) << "the newest line is out of view";
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
}

TEST_F(WindowTest, CtrlCCopiesExactlyTheSelectedLinesWithTheirTabs) {
    MainWindow *window = open_window();
    activate(1);
    for (int hz : {7200, 8000, 9600, 11025, 16000}) {
        sim_queue_record(status_record(1, 1, hz));
    }
    window->status_tick();
    StatusView *view = window->view()->status_view(1);
    struct Row {
        std::initializer_list<int> rows;
        const char *clipboard;
    } rows[] = {
        {{0, 2, 3},
         "Sampling rate:\t\t\t  7200 Hz\t\r\nSampling rate:\t\t\t  9600 Hz\t\r\n"
         "Sampling rate:\t\t\t 11025 Hz\t\r\n"},
        {{4}, "Sampling rate:\t\t\t 16000 Hz\t\r\n"},
        // Selected in any order, copied in list order.
        {{3, 1}, "Sampling rate:\t\t\t  8000 Hz\t\r\nSampling rate:\t\t\t 11025 Hz\t\r\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.clipboard);
        QApplication::clipboard()->setText(QStringLiteral("before"));
        select_rows(view, row.rows);
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(), row.clipboard);
    }
    // No selection: the clipboard keeps what it had.
    QApplication::clipboard()->setText(QStringLiteral("before"));
    select_rows(view, {});
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
}

TEST_F(WindowTest, KeysOtherThanCtrlCNeitherSelectNorScroll) {
    MainWindow *window = open_window();
    activate(1);
    for (int i = 0; i < 300; ++i) {
        sim_queue_record(status_record(1, 1, i));
    }
    window->status_tick();
    StatusView *view = window->view()->status_view(1);
    view->setFocus();
    select_rows(view, {150});
    QApplication::processEvents();
    view->verticalScrollBar()->setValue(100);
    struct Row {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } rows[] = {
        {Qt::Key_Down, Qt::NoModifier}, {Qt::Key_Up, Qt::NoModifier},
        {Qt::Key_PageDown, Qt::NoModifier}, {Qt::Key_End, Qt::ControlModifier},
        {Qt::Key_Home, Qt::NoModifier}, {Qt::Key_Down, Qt::ShiftModifier},
        {Qt::Key_A, Qt::ControlModifier}, {Qt::Key_S, Qt::NoModifier},
        {Qt::Key_Space, Qt::NoModifier}, {Qt::Key_C, Qt::NoModifier},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(QKeySequence(row.key | row.modifiers).toString().toStdString());
        QTest::keyClick(view, row.key, row.modifiers);
        EXPECT_EQ(selected_rows(view), QList<int>{150});
        EXPECT_EQ(view->currentIndex().row(), 150);
        EXPECT_EQ(view->verticalScrollBar()->value(), 100);
    }
}

TEST_F(WindowTest, ClosingDuringAWarningEndsWithCapturesStoppedAndTheBoxGone) {
    MainWindow *window = open_window();
    activate(1);
    sim_queue_record(status_record(1, CAPTURE_FILE_CODE, 1));  // a capture runs: 1.log
    sim_queue_record(status_record(0, 1));
    // Left in the driver: a closed monitor fetches nothing more, so this
    // never starts a capture again.
    sim_queue_record(status_record(1, CAPTURE_RESTART_CODE, 10000));
    bool box_closed_by_window = false;
    QTimer::singleShot(0, window, [&] {
        QMessageBox *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        window->close();
        box_closed_by_window = !box->isVisible();
        if (box->isVisible()) {
            box->done(QMessageBox::Ok);  // let the test go on
        }
    });
    window->status_tick();
    EXPECT_TRUE(box_closed_by_window);
    EXPECT_EQ(sim_pending_records(), 1u);
    EXPECT_FALSE(window->monitor().captures.slot[0].active);
    std::vector<unsigned char> setup;
    ASSERT_TRUE(setup_value(MONITOR_KEY, &setup));
    EXPECT_EQ(setup.at(0) & 1, 0) << "a capture runs after the window closed";
}
