// The lists' time column in each format over an injected clock, copies with
// the time that is shown, and the status bar's account of lost lines.
#include <QClipboard>
#include <QItemSelectionModel>

#include <cstdlib>
#include <ctime>

#include "window_fixture.h"

namespace {

constexpr int64_t SECOND = 1000000;
constexpr int64_t NOON = 1796733296LL * SECOND + 789000;  // 2026-12-08 12:34:56.789 UTC
int64_t fake_now = 0;
int64_t fake_clock() { return fake_now; }

class TimeColumnTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        setenv("TZ", "UTC", 1);
        tzset();
        monitor_->clock = fake_clock;
    }
    void TearDown() override {
        monitor_->clock = monitor_wall_clock;
        WindowTest::TearDown();
    }
    // One status tick at `at` microseconds, fetching the records queued.
    void tick_at(int64_t at) {
        fake_now = at;
        window_->status_tick();
    }
};

}  // namespace

TEST_F(TimeColumnTest, EachFormatOnKnownArrivalTimesInListAndCopy) {
    MainWindow *window = open_window();
    activate(1);
    tick_at(NOON);  // modem 1 seen active
    const int64_t arrivals[] = {NOON + 1500000, NOON + 1600000, NOON + 3000000};
    for (int i = 0; i < 3; ++i) {
        sim_queue_record(status_record(1, 1, 8000 + i));
        tick_at(arrivals[i]);
    }
    StatusModel *model = window->view()->status_model(1);
    ASSERT_EQ(model->rowCount(), 3);
    StatusView *view = window->view()->status_view(1);
    for (int row = 0; row < 3; ++row) {
        view->selectionModel()->select(model->index(row), QItemSelectionModel::Select);
    }
    struct Row {
        LineTimeFormat format;
        const char *times[3];
    } rows[] = {
        {LINE_TIME_OFF, {"", "", ""}},
        {LINE_TIME_WALL, {"12:34:58.289", "12:34:58.389", "12:34:59.789"}},
        {LINE_TIME_SINCE_ACTIVE, {"1.500", "1.600", "3.000"}},
        {LINE_TIME_DELTA, {"", "+0.100", "+1.400"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(LINE_TIME_NAMES[row.format]);
        window->view()->time_action(row.format)->trigger();
        EXPECT_EQ(window->view()->time_format(), row.format);
        std::string expected;
        for (int r = 0; r < 3; ++r) {
            EXPECT_EQ(model->data(model->index(r), StatusModel::TIME_ROLE).toString().toStdString(),
                      row.times[r]);
            if (row.format != LINE_TIME_OFF) {
                expected += std::string(row.times[r]) + "\t";
            }
            expected += sampling_line(8000 + r) + "\r\n";
        }
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(), expected);
        // The list's context menu carries the same choices.
        EXPECT_TRUE(view->actions().contains(window->view()->time_action(row.format)));
    }
}

TEST_F(TimeColumnTest, StatusBarCountsStoredDroppedAndDiscarded) {
    static char text[4096];
    static uint32_t offsets[4];
    static int64_t times[4];
    line_store_init(&monitor_->stores[1], text, sizeof text, offsets, times, 4);
    MainWindow *window = open_window();
    activate(2);
    for (int i = 0; i < 6; ++i) {
        sim_queue_record(status_record(2, 1, 8000 + i));
    }
    sim_queue_record(status_record(1, 1, 9600));
    tick_at(NOON);
    EXPECT_EQ(window->view()->loss_text(),
              QStringLiteral("Modem 1: 1 lines, 0 dropped    Modem 2: 4 lines, 2 dropped    Warnings discarded: 0"));
}
