// Closing the recorder's console on Windows: the process ends as soon as the
// console control handler returns, so the handler must return only once the
// recorder has finished like the end of recording. (Windows only; the file
// is empty elsewhere.)
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capture/sim_fixture.h"
#include "recorder/interrupt.h"
#include "recorder/recorder.h"
#include "simulator/sim_internal.h"

namespace {

std::atomic<int> flag_writes{0};
std::atomic<bool> last_write_cleared{false};

void observe_flag(const char *key_path, const char *value_name, const unsigned char *data,
                  uint32_t size) {
    if (std::string(key_path) == RECORDER_KEY && std::string(value_name) == TARVEL_SETUP_VALUE &&
        data != nullptr && size > 0) {
        last_write_cleared = (data[0] & 1) == 0;
        ++flag_writes;
    }
}

struct ConsoleCloseTest : SimTest {
    FILE *console = nullptr;
    void SetUp() override {
        SimTest::SetUp();
        console = std::tmpfile();
        ASSERT_NE(console, nullptr);
        recorder_console = console;
        recorder_errors = console;
        flag_writes = 0;
        last_write_cleared = false;
        sim_set_registry_observer(observe_flag);
    }
    void TearDown() override {
        sim_set_registry_observer(nullptr);
        recorder_console = nullptr;
        recorder_errors = nullptr;
        std::fclose(console);
        SimTest::TearDown();
    }
};

// Each closing event, while the modems stay active: the handler returns
// TRUE only after the flag is cleared and the files are closed whole.
TEST_F(ConsoleCloseTest, HandlerReturnsOnlyOnceRecordingHasEnded) {
    const unsigned long events[] = {CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT};
    for (unsigned long event : events) {
        SCOPED_TRACE(event);
        fresh_world();
        std::remove("session.rec.1");
        flag_writes = 0;
        const std::vector<unsigned char> data = patterned_bytes(3 * 524288 + 11, 80);
        sim_queue_capture(1, data.data(), data.size());
        sim_set_active_modems(1);  // and it stays active

        std::atomic<bool> handled{false};
        std::atomic<int> writes_when_handled{-1};
        std::atomic<bool> cleared_when_handled{false};
        std::thread closer([&] {
            while (flag_writes == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            handled = recorder_console_event(event) != 0;
            writes_when_handled = flag_writes.load();
            cleared_when_handled = last_write_cleared.load();
        });
        char name[] = "recorder";
        char *argv[] = {name, nullptr};
        EXPECT_EQ(run_recorder(1, argv), 0);
        closer.join();
        EXPECT_TRUE(handled);
        EXPECT_EQ(writes_when_handled, 2) << "the flag was set and cleared before the handler returned";
        EXPECT_TRUE(cleared_when_handled);
        EXPECT_EQ(file_bytes("session.rec.1"), data);
    }
}

TEST_F(ConsoleCloseTest, OtherEventsAreLeftToTheNextHandler) {
    EXPECT_EQ(recorder_console_event(0x1234), 0);
}

}  // namespace
#endif
