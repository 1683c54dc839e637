// The monitor object: monitors that live side by side in one process, the
// bounded status tick of a window, a close that comes while a warning box
// holds the tick, and the copy of selected lines.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "capture/intake.h"
#include "capture/sim_fixture.h"
#include "monitor/monitor.h"
#include "simulator/inproc/inproc_source.h"

namespace {

std::vector<std::string> stored(const Monitor &monitor, int modem) {
    std::vector<std::string> lines;
    const LineStore &store = monitor.stores[modem - 1];
    for (size_t i = 0; i < store.count; ++i) {
        lines.push_back(line_store_text(store, i));
    }
    return lines;
}

void no_warning(void *, const char *) { ADD_FAILURE() << "no warning expected"; }
void close_on_warning(void *context, const char *) { monitor_close(*static_cast<Monitor *>(context)); }

// A status tick of the monitor with `events` as its events.
uint64_t status_tick(Monitor &monitor, const MonitorEvents &events, int64_t budget_us) {
    monitor_set_events(monitor, events);
    return monitor_status_tick(monitor, budget_us);
}

// The simulated driver, taking its time over every status call as a slow
// driver or a loaded machine does.
class SlowSource final : public DriverSource {
public:
    explicit SlowSource(DriverSource &inner) : inner_(inner) {}
    bool nt_family() override { return inner_.nt_family(); }
    PlatformHandle open_device(const char *path) override { return inner_.open_device(path); }
    void close_device(PlatformHandle device) override { inner_.close_device(device); }
    bool device_control(PlatformHandle device, uint32_t code, const void *in, uint32_t in_size, void *out,
                        uint32_t out_size, uint32_t *returned) override {
        if (code == IOCTL_TARVEL_GET_STATUS) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return inner_.device_control(device, code, in, in_size, out, out_size, returned);
    }
    PlatformHandle open_key(const char *path, unsigned access) override { return inner_.open_key(path, access); }
    void close_key(PlatformHandle key) override { inner_.close_key(key); }
    ValueRead read_value(PlatformHandle key, const char *name, void *buffer, uint32_t *size) override {
        return inner_.read_value(key, name, buffer, size);
    }
    bool write_value(PlatformHandle key, const char *name, const void *data, uint32_t size) override {
        return inner_.write_value(key, name, data, size);
    }
    size_t read_memory(uint32_t address, unsigned char *dest, size_t count) override {
        return inner_.read_memory(address, dest, count);
    }
    void sleep(unsigned milliseconds) override { inner_.sleep(milliseconds); }
    PlatformHandle lock_capture(const char *device_name) override { return inner_.lock_capture(device_name); }
    void unlock_capture(PlatformHandle lock) override { inner_.unlock_capture(lock); }

private:
    DriverSource &inner_;
};

class MonitorObjectTest : public SimTest {
protected:
    Monitor *start(DriverSource &source) {
        Monitor *monitor = monitor_new(source);
        EXPECT_TRUE(monitor_start(*monitor, nullptr));
        monitors_.push_back(monitor);
        return monitor;
    }
    void TearDown() override {
        for (Monitor *monitor : monitors_) {
            monitor_delete(monitor);
        }
        SimTest::TearDown();
    }
    std::vector<Monitor *> monitors_;
    InprocDriverSource other_;  // a second program's handles on the same driver
    SlowSource slow_{source_};
};

TEST_F(MonitorObjectTest, TwoMonitorsInOneProcessKeepTheirOwnState) {
    Monitor *first = start(source_);
    Monitor *second = start(other_);
    activate(2);
    sim_queue_record(sampling(1, 8000));
    EXPECT_EQ(status_tick(*first, {nullptr, nullptr, no_warning}, 0), 1u);
    sim_queue_record(sampling(2, 9600));
    EXPECT_EQ(status_tick(*second, {nullptr, nullptr, no_warning}, 0), 1u);

    EXPECT_EQ(stored(*first, 1), std::vector<std::string>{"Sampling rate:\t\t\t  8000 Hz\t"});
    EXPECT_TRUE(stored(*first, 2).empty());
    EXPECT_TRUE(stored(*second, 1).empty());
    EXPECT_EQ(stored(*second, 2), std::vector<std::string>{"Sampling rate:\t\t\t  9600 Hz\t"});

    EXPECT_EQ(monitor_command(*first, IDM_EYE_2).kind, COMMAND_TOGGLE);
    EXPECT_EQ(first->visible.eye[1], 0);
    EXPECT_EQ(second->visible.eye[1], 1) << "a command changes only its own monitor";
    EXPECT_NE(first->link.device, second->link.device) << "each monitor holds its own device handle";

    monitor_close(*first);
    sim_queue_record(sampling(1, 7200));
    EXPECT_EQ(status_tick(*first, {nullptr, nullptr, no_warning}, 0), 0u) << "a closed monitor fetches nothing";
    EXPECT_EQ(status_tick(*second, {nullptr, nullptr, no_warning}, 0), 1u);
}

TEST_F(MonitorObjectTest, WindowTicksDrainABurstWithinTheirBudgetInOrderAndLoseNothing) {
    Monitor *monitor = start(slow_);
    activate(2);
    constexpr uint32_t RECORDS = 60;  // 2 ms each: four budgets' worth
    std::vector<std::string> expected[2];
    for (uint32_t n = 0; n < RECORDS; ++n) {
        const uint32_t modem = 1 + n % 2;
        sim_queue_record(sampling(modem, 1000 + n));
        expected[modem - 1].push_back("Sampling rate:\t\t\t  " + std::to_string(1000 + n) + " Hz\t");
    }
    int ticks = 0;
    uint64_t drained = 0;
    while (drained < RECORDS && ticks < 100) {
        const auto start = std::chrono::steady_clock::now();
        const uint64_t lines = status_tick(*monitor, {nullptr, nullptr, no_warning}, WINDOW_DRAIN_BUDGET_US);
        const auto spent = std::chrono::steady_clock::now() - start;
        EXPECT_LT(spent, std::chrono::milliseconds(30 + 15)) << "tick " << ticks << " overran its budget";
        EXPECT_GT(lines, 0u) << "every tick makes progress";
        drained += lines;
        ++ticks;
    }
    EXPECT_GE(ticks, 2) << "the burst needs more than one budget";
    EXPECT_EQ(drained, RECORDS);
    EXPECT_EQ(stored(*monitor, 1), expected[0]);
    EXPECT_EQ(stored(*monitor, 2), expected[1]);
}

TEST_F(MonitorObjectTest, CloseUnderAWarningBoxEndsTheHeldTickWithCapturesStopped) {
    Monitor *monitor = start(source_);
    activate(1);
    ASSERT_TRUE(set_capture(monitor->captures, true, 1, "running.cap", RESTART_BYTE_LIMIT));
    sim_queue_record(sampling(0, 1));  // a driver-internal error: the box
    StatusRecord restart{};
    restart.modem = 1;
    restart.code = CAPTURE_RESTART_CODE;
    restart.param1 = 10000;
    sim_queue_record(restart);  // would start a capture if the held tick went on
    status_tick(*monitor, {monitor, nullptr, close_on_warning}, 0);
    EXPECT_FALSE(monitor->captures.slot[0].active);
    EXPECT_EQ(sim_pending_records(), 1u) << "the closed monitor fetched nothing after the box";
    std::vector<unsigned char> setup;
    ASSERT_TRUE(setup_value(MONITOR_KEY, &setup));
    EXPECT_EQ(setup.at(0) & 1, 0) << "the recording flag is cleared by the close";
    EXPECT_EQ(status_tick(*monitor, {nullptr, nullptr, no_warning}, 0), 0u);
}

// The copy of selected lines from a store, with the time column as a list
// shows it: modem 1 active from 1 s, its lines at 1.5 s, 2.75 s and 3 s.
TEST_F(MonitorObjectTest, ACopyTakesTheStoresLinesWithTheirTimeColumn) {
    Monitor *monitor = start(source_);
    activity_note(monitor->activity, 1, 1000000);
    const int64_t times[] = {1500000, 2750000, 3000000};
    const char *const texts[] = {"a", "b\tB", "c"};
    for (int i = 0; i < 3; ++i) line_store_add(&monitor->stores[0], texts[i], times[i]);
    const struct {
        const char *name;
        int modem;
        LineTimeFormat time;
        std::vector<size_t> indexes;
        std::string expected;
    } rows[] = {
        {"no time column", 1, LINE_TIME_OFF, {0, 2}, "a\r\nc\r\n"},
        {"since the modem became active", 1, LINE_TIME_SINCE_ACTIVE, {0, 1}, "0.500\ta\r\n1.750\tb\tB\r\n"},
        {"since the previous line", 1, LINE_TIME_DELTA, {1, 2}, "+1.250\tb\tB\r\n+0.250\tc\r\n"},
        {"an unknown time keeps its TAB", 1, LINE_TIME_DELTA, {0}, "\ta\r\n"},
        {"a line the store does not hold is left out", 1, LINE_TIME_DELTA, {2, 9}, "+0.250\tc\r\n"},
        {"another modem's lines", 3, LINE_TIME_DELTA, {0}, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        char block[256];
        const size_t used =
            monitor_copy_lines(*monitor, row.modem, row.indexes.data(), row.indexes.size(), block, sizeof block, row.time);
        EXPECT_EQ(std::string(block, used), row.expected);
        EXPECT_EQ(block[used], '\0');
    }
}

}  // namespace
