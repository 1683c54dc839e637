// A flood: a million records queued at once. The window drains them over
// its bounded ticks, repainting and answering between them, and every line
// arrives in order.
#include <cstdio>

#include "window_fixture.h"

namespace {

TEST_F(WindowTest, AFloodOfAMillionRecordsKeepsTheWindowAnsweringAndEveryLineArrivesInOrder) {
    MainWindow *window = open_window();
    activate(2);
    constexpr uint32_t FLOOD = 1000000;
    for (uint32_t n = 0; n < FLOOD; ++n) {
        sim_queue_record(status_record(1 + n % 2, 1, n));  // "Sampling rate: n Hz", in turn
    }
    ASSERT_EQ(sim_pending_records(), FLOOD);
    // Ticks back to back, the window's own events (repaints) between them.
    double longest_ms = 0;
    int ticks = 0;
    while (sim_pending_records() != 0 && ticks < 100000) {
        const double start = thread_ms();
        window->status_tick();
        QApplication::processEvents();
        longest_ms = std::max(longest_ms, thread_ms() - start);
        ++ticks;
    }
    std::printf("flood: %d ticks, longest %.1f ms of the window's CPU\n", ticks, longest_ms);
    EXPECT_EQ(sim_pending_records(), 0u);
    EXPECT_GT(ticks, 1) << "the flood took one tick: the drain was not bounded";
    EXPECT_LT(longest_ms, 100.0) << "a tick with its repaint kept the window from answering";
    // Each list holds the newest lines of its modem, in order, the rest
    // counted as dropped at the store's bound.
    for (int modem = 1; modem <= 2; ++modem) {
        SCOPED_TRACE(modem);
        StatusModel *model = window->view()->status_model(modem);
        const LineStore &store = monitor_->stores[modem - 1];
        ASSERT_EQ(static_cast<size_t>(model->rowCount()), store.count);
        EXPECT_EQ(store.count + store.dropped, FLOOD / 2);
        uint32_t expected = FLOOD - 2 * static_cast<uint32_t>(store.count) + static_cast<uint32_t>(modem - 1);
        for (size_t i = 0; i < store.count; ++i, expected += 2) {
            ASSERT_EQ(row_text(model, static_cast<int>(i)), sampling_line(static_cast<int>(expected))) << i;
        }
    }
}

}  // namespace
