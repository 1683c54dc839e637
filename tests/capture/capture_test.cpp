// Capture files over the simulated driver: limits, restart and capture-file
// requests, the shared log counter, the recording flag and file contents.
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "capture/capture.h"
#include "capture/sim_fixture.h"
#include "driverlink/recording_flag.h"

namespace {

constexpr size_t CHUNK = 524288;

class CaptureTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        reset_captures(captures_);
        line_[0] = '\0';
    }
    void TearDown() override {
        reset_captures(captures_);
        SimTest::TearDown();
    }

    // The monitor's TarvelSetup; empty when missing.
    std::vector<unsigned char> setup() {
        std::vector<unsigned char> bytes;
        setup_value(MONITOR_KEY, &bytes);
        return bytes;
    }
    bool setup_present() {
        std::vector<unsigned char> bytes;
        return setup_value(MONITOR_KEY, &bytes);
    }

    // The capture-begin calls served, in order, as "BEGIN_1 n" / "BEGIN_2 n".
    std::vector<std::string> begin_calls() {
        std::vector<std::string> found;
        for (const std::string &call : served_calls()) {
            if (call.rfind("CAPTURE_BEGIN_", 0) == 0) {
                found.push_back(call.substr(8, call.rfind(' ') - 8));
            }
        }
        return found;
    }

    size_t capture_reads(const char *index) {
        size_t reads = 0;
        std::string prefix = std::string("READ_CAPTURE ") + index + " ";
        for (const std::string &call : served_calls()) {
            reads += call.rfind(prefix, 0) == 0;
        }
        return reads;
    }

    // Queues bytes for a modem and drains until they are all taken.
    void deliver(int modem, const std::vector<unsigned char> &bytes) {
        sim_queue_capture(modem, bytes.data(), bytes.size());
        for (int tick = 0; tick < 1000 && sim_pending_capture(modem) > 0; ++tick) {
            drain_captures(captures_);
        }
        ASSERT_EQ(sim_pending_capture(modem), 0u);
    }

    StatusLine line_;
};

TEST_F(CaptureTest, RestartCaptureWritesThirtyNineFullChunksThenStops) {
    activate(1);
    restart_capture(captures_, 1, 10000, line_);
    ASSERT_TRUE(captures_.slot[0].active);
    std::vector<unsigned char> data = patterned_bytes(41 * CHUNK, 3);
    sim_queue_capture(1, data.data(), data.size());
    sim_clear_call_log();
    for (int tick = 0; tick < 45; ++tick) {
        drain_captures(captures_);
    }
    // The 40th chunk brings the count to exactly 20,971,520: not written.
    std::vector<unsigned char> written = file_bytes("session.rec.1");
    ASSERT_EQ(written.size(), 20447232u);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), data.begin()));
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_EQ(captures_.slot[0].byte_count, 20971520);
    EXPECT_EQ(capture_reads("0"), 40u);
    EXPECT_EQ(sim_pending_capture(1), CHUNK);  // the 41st chunk was never read
    std::vector<unsigned char> flag = setup();
    ASSERT_EQ(flag.size(), 4u);
    EXPECT_EQ(flag[0] & 1, 0);
}

TEST_F(CaptureTest, RestartRequestsByRangeAndSlotState) {
    struct Case {
        const char *description;
        bool active_before;
        int32_t param1;
        bool starts;              // a fresh session.rec.1 capture is running after
        const char *line;         // expected message
        const char *renamed_to;   // file that holds the finished capture, or nullptr
    };
    const Case cases[] = {
        {"10000 on active slot", true, 10000, true, "", nullptr},
        {"10003 on active slot", true, 10003, true, "Created new log file 3.log", "3.log"},
        {"19999 on active slot", true, 19999, true, "Created new log file 9999.log", "9999.log"},
        {"10000 on inactive slot", false, 10000, true, "", nullptr},
        {"10003 on inactive slot", false, 10003, true, "", nullptr},
        {"19999 on inactive slot", false, 19999, true, "", nullptr},
        {"9999 does nothing", false, 9999, false, "", nullptr},
        {"20000 does nothing", false, 20000, false, "", nullptr},
        {"negative does nothing", false, -10003, false, "", nullptr},
        {"9999 leaves an active capture alone", true, 9999, false, "", nullptr},
        {"20000 leaves an active capture alone", true, 20000, false, "", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        reset_captures(captures_);
        fresh_world();
        ASSERT_TRUE(empty_current_directory());
        activate(1);
        std::vector<unsigned char> old_data = patterned_bytes(1000, 11);
        if (c.active_before) {
            restart_capture(captures_, 1, 10000, line_);
            deliver(1, old_data);
        }
        sim_clear_call_log();
        std::memset(line_, 'x', sizeof line_);
        line_[0] = '\0';

        restart_capture(captures_, 1, c.param1, line_);

        EXPECT_STREQ(line_, c.line);
        if (c.starts) {
            EXPECT_TRUE(captures_.slot[0].active);
            EXPECT_STREQ(captures_.slot[0].file_name, "session.rec.1");
            EXPECT_EQ(captures_.slot[0].byte_limit, 20971520);
            EXPECT_EQ(captures_.slot[0].byte_count, 0);
            EXPECT_TRUE(file_bytes("session.rec.1").empty());
            EXPECT_EQ(begin_calls(), (std::vector<std::string>{"BEGIN_1 1", "BEGIN_2 1"}));
            EXPECT_EQ(setup()[0] & 1, 1);
        } else {
            EXPECT_TRUE(served_calls().empty());
            EXPECT_EQ(captures_.slot[0].active, c.active_before);
            if (c.active_before) {
                EXPECT_EQ(file_bytes("session.rec.1"), old_data);
            } else {
                EXPECT_TRUE(directory_names().empty());
                EXPECT_FALSE(setup_present());
            }
        }
        if (c.renamed_to != nullptr) {
            EXPECT_EQ(file_bytes(c.renamed_to), old_data);
        }
    }
}

TEST_F(CaptureTest, RestartOfModemTwoUsesItsOwnNameAndNumber) {
    activate(2);
    sim_clear_call_log();
    restart_capture(captures_, 2, 10000, line_);
    EXPECT_TRUE(captures_.slot[1].active);
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_TRUE(file_exists("session.rec.2"));
    EXPECT_EQ(begin_calls(), (std::vector<std::string>{"BEGIN_1 2", "BEGIN_2 2"}));
}

TEST_F(CaptureTest, UnnamedCaptureFilesShareOneCounter) {
    activate(2);
    sim_clear_call_log();
    open_named_capture(captures_, 1, 1, 0, line_);
    EXPECT_STREQ(line_, "Created new log file 1.log");
    open_named_capture(captures_, 2, 1, 0, line_);
    EXPECT_STREQ(line_, "Created new log file 2.log");
    EXPECT_EQ(captures_.log_counter, 3);
    EXPECT_STREQ(captures_.slot[0].file_name, "1.log");
    EXPECT_STREQ(captures_.slot[1].file_name, "2.log");
    EXPECT_EQ(begin_calls(), (std::vector<std::string>{"BEGIN_1 1", "BEGIN_2 1", "BEGIN_1 2",
                                                       "BEGIN_2 2"}));
    // Each file holds exactly its own modem's data.
    std::vector<unsigned char> one = patterned_bytes(3000, 1);
    std::vector<unsigned char> two = patterned_bytes(5000, 2);
    sim_queue_capture(2, two.data(), two.size());
    deliver(1, one);
    EXPECT_EQ(file_bytes("1.log"), one);
    EXPECT_EQ(file_bytes("2.log"), two);
}

TEST_F(CaptureTest, FileRequestWithZeroSizeOnlyStops) {
    activate(1);
    open_named_capture(captures_, 1, 2, 0, line_);
    std::vector<unsigned char> data = patterned_bytes(777, 5);
    deliver(1, data);
    sim_clear_call_log();
    line_[0] = '\0';
    open_named_capture(captures_, 1, 0, 0, line_);
    EXPECT_STREQ(line_, "");
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_EQ(captures_.log_counter, 2);
    EXPECT_TRUE(begin_calls().empty());
    EXPECT_EQ(file_bytes("1.log"), data);
    EXPECT_EQ(setup()[0] & 1, 0);
}

TEST_F(CaptureTest, StoppingAnInactiveSlotTouchesNothing) {
    activate(1);
    const unsigned char word[4] = {0x01, 0x00, 0x00, 0x00};
    sim_set_value(MONITOR_KEY, TARVEL_SETUP_VALUE, word, sizeof word);
    sim_clear_call_log();
    EXPECT_TRUE(set_capture(captures_, false, 1));
    EXPECT_TRUE(set_capture(captures_, false, 2));
    open_named_capture(captures_, 2, 0, 0, line_);
    EXPECT_EQ(setup(), (std::vector<unsigned char>{0x01, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(served_calls().empty());
    EXPECT_TRUE(directory_names().empty());
    // Not even the key is opened: a stop succeeds with the key gone.
    sim_remove_key(MONITOR_KEY);
    EXPECT_TRUE(set_capture(captures_, false, 1));
}

TEST_F(CaptureTest, BadModemNumbersAreRefused) {
    const int modems[] = {0, 3, -1, 1000};
    for (int modem : modems) {
        SCOPED_TRACE(modem);
        EXPECT_FALSE(set_capture(captures_, true, modem, "x.bin", 100));
        EXPECT_FALSE(set_capture(captures_, false, modem));
        restart_capture(captures_, modem, 10003, line_);
        open_named_capture(captures_, modem, 5, 0, line_);
        EXPECT_STREQ(line_, "");
    }
    EXPECT_TRUE(directory_names().empty());
    EXPECT_FALSE(setup_present());
    EXPECT_EQ(captures_.log_counter, 1);
}

TEST_F(CaptureTest, NoActiveModemStopsBothCapturesAndClearsTheFlag) {
    activate(2);
    restart_capture(captures_, 1, 10000, line_);
    open_named_capture(captures_, 2, 4, 0, line_);
    std::vector<unsigned char> one = patterned_bytes(2048, 7);
    std::vector<unsigned char> two = patterned_bytes(4096, 8);
    sim_queue_capture(2, two.data(), two.size());
    deliver(1, one);
    EXPECT_EQ(setup()[0] & 1, 1);
    sim_set_active_modems(0);
    drain_captures(captures_);
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_FALSE(captures_.slot[1].active);
    EXPECT_EQ(setup()[0] & 1, 0);
    EXPECT_EQ(file_bytes("session.rec.1"), one);
    EXPECT_EQ(file_bytes("1.log"), two);
    EXPECT_FALSE(sim_device_open());
}

TEST_F(CaptureTest, OneActiveModemDrainsOnlyModemOne) {
    activate(2);
    restart_capture(captures_, 1, 10000, line_);
    restart_capture(captures_, 2, 10000, line_);
    sim_queue_capture_fill(2, 100, 0x22);
    sim_queue_capture_fill(1, 100, 0x11);
    sim_set_active_modems(1);
    sim_clear_call_log();
    drain_captures(captures_);
    drain_captures(captures_);
    EXPECT_EQ(capture_reads("1"), 0u);
    EXPECT_EQ(capture_reads("0"), 2u);
    EXPECT_EQ(file_bytes("session.rec.1"), std::vector<unsigned char>(100, 0x11));
    EXPECT_TRUE(file_bytes("session.rec.2").empty());
    EXPECT_TRUE(captures_.slot[1].active);
}

TEST_F(CaptureTest, FlagFollowsTheLastStartOrStopOfEitherModem) {
    activate(2);
    restart_capture(captures_, 1, 10000, line_);
    restart_capture(captures_, 2, 10000, line_);
    EXPECT_EQ(setup()[0] & 1, 1);
    open_named_capture(captures_, 1, 0, 0, line_);  // stops modem 1 only
    EXPECT_TRUE(captures_.slot[1].active);
    EXPECT_EQ(setup()[0] & 1, 0);
    restart_capture(captures_, 1, 10000, line_);
    EXPECT_EQ(setup()[0] & 1, 1);
}

TEST_F(CaptureTest, SetupValueIsChangedOnlyInBitZero) {
    struct Case {
        const char *description;
        std::vector<unsigned char> before;  // empty: missing
        std::vector<unsigned char> after_start;
        std::vector<unsigned char> after_stop;
    };
    const Case cases[] = {
        {"missing value becomes the word 1", {}, {1, 0, 0, 0}, {0, 0, 0, 0}},
        {"other bits kept", {0xFE, 0x12, 0x34, 0x80}, {0xFF, 0x12, 0x34, 0x80},
         {0xFE, 0x12, 0x34, 0x80}},
        {"bit already set", {0x03, 0, 0, 0}, {0x03, 0, 0, 0}, {0x02, 0, 0, 0}},
        {"two-byte value keeps its size", {0x40, 0x41}, {0x41, 0x41}, {0x40, 0x41}},
        {"ten-byte value kept whole", {0xA0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
         {0xA1, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0xA0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        sim_remove_value(MONITOR_KEY, TARVEL_SETUP_VALUE);
        if (!c.before.empty()) {
            sim_set_value(MONITOR_KEY, TARVEL_SETUP_VALUE, c.before.data(),
                          static_cast<uint32_t>(c.before.size()));
        }
        ASSERT_TRUE(set_capture(captures_, true, 1, "a.bin", 1000));
        EXPECT_EQ(setup(), c.after_start);
        ASSERT_TRUE(set_capture(captures_, false, 1));
        EXPECT_EQ(setup(), c.after_stop);
    }
}

TEST_F(CaptureTest, LongSetupValueIsPreservedByteForByte) {
    std::vector<unsigned char> value = patterned_bytes(SETUP_VALUE_MAX, 9);
    value[0] &= 0xFE;
    sim_set_value(MONITOR_KEY, TARVEL_SETUP_VALUE, value.data(), SETUP_VALUE_MAX);
    activate(1);
    open_named_capture(captures_, 1, 1, 0, line_);
    EXPECT_STREQ(line_, "Created new log file 1.log");
    std::vector<unsigned char> expected = value;
    expected[0] |= 1;
    EXPECT_EQ(setup(), expected);
    open_named_capture(captures_, 1, 0, 0, line_);
    EXPECT_EQ(setup(), value);
}

TEST_F(CaptureTest, SetupValueTooLongToKeepIsLeftUntouchedAndTheStartFails) {
    std::vector<unsigned char> value = patterned_bytes(SETUP_VALUE_MAX + 1, 4);
    sim_set_value(MONITOR_KEY, TARVEL_SETUP_VALUE, value.data(),
                  static_cast<uint32_t>(value.size()));
    activate(1);
    sim_clear_call_log();
    open_named_capture(captures_, 1, 1, 0, line_);
    EXPECT_EQ(std::string(line_).rfind("Failed to create new log file error = ", 0), 0u) << line_;
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_TRUE(directory_names().empty());
    EXPECT_TRUE(begin_calls().empty());
    EXPECT_EQ(setup(), value);
}

TEST_F(CaptureTest, MissingRegistryKeyFailsTheStart) {
    activate(1);
    sim_remove_key(MONITOR_KEY);
    sim_clear_call_log();
    open_named_capture(captures_, 1, 5, 0, line_);
    EXPECT_EQ(std::string(line_).rfind("Failed to create new log file error = ", 0), 0u) << line_;
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_EQ(captures_.log_counter, 2);  // the name was taken before the start failed
    EXPECT_TRUE(begin_calls().empty());
    EXPECT_TRUE(directory_names().empty());

    // A restart reports nothing, starts nothing, but still issues the pair.
    line_[0] = '\0';
    restart_capture(captures_, 1, 10000, line_);
    EXPECT_STREQ(line_, "");
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_TRUE(directory_names().empty());
    EXPECT_EQ(begin_calls(), (std::vector<std::string>{"BEGIN_1 1", "BEGIN_2 1"}));
}

TEST_F(CaptureTest, DriverSuppliedNames) {
    const std::string longest(127, 'n');
    const std::string too_long(128, 'n');
    struct Case {
        const char *description;
        std::string name;      // text placed in driver memory
        bool mapped;           // false: the address is unreadable
        bool created;
        int expected_error;    // for a refused name
    };
    const Case cases[] = {
        {"plain name", "trace.cap", true, true, 0},
        {"127 characters", longest, true, true, 0},
        {"128 characters refused", too_long, true, false, platform_name_too_long_error()},
        {"unreadable name", "", false, false, CAPTURE_NAME_UNREADABLE_ERROR},
        {"absolute path", "/tmp/abs-path.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"backslash root", "\\share\\x.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"drive letter", "C:x.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"climbs out", "../escaped.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"climbs out further down", "a/../../escaped.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"climbs out by backslash", "a\\..\\..\\escaped.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"line break", "evil\nCreated new log file x", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"control character", "bell\x07.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"delete character", "del\x7f.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        // Windows device names, in any part, any case, with any extension
        // or trailing dots and blanks, and colons, are refused everywhere.
        {"device with extension", "NUL.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"device in lower case", "nul", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"aux.txt", "aux.txt", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"port", "COM1", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"printer port, mixed case", "sub/lPt9.cap", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"device reached through ..", "sub\\..\\NUL", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"device as a directory", "con/x.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"trailing dots and blanks", "PRN. .", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"blank before the extension", "aux .log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"console output", "CONOUT$", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"superscript port digit", "COM\xc2\xb9.log", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"stream of a file", "trace.cap:hidden", true, false, CAPTURE_NAME_INVALID_ERROR},
        {"device name inside a longer one", "console.log", true, true, 0},
        {"port number 10", "COM10", true, true, 0},
    };
    activate(1);
    uint32_t address = 0x80001000;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        address += 0x1000;
        if (c.mapped) {
            sim_map_memory(address, reinterpret_cast<const unsigned char *>(c.name.c_str()),
                           c.name.size() + 1);
        }
        sim_clear_call_log();
        open_named_capture(captures_, 1, 1, address, line_);
        if (c.created) {
            EXPECT_EQ(std::string(line_), "Created new log file " + c.name);
            EXPECT_TRUE(captures_.slot[0].active);
            EXPECT_TRUE(file_exists(c.name));
            EXPECT_EQ(begin_calls().size(), 2u);
        } else {
            EXPECT_EQ(std::string(line_),
                      "Failed to create new log file error = " + std::to_string(c.expected_error));
            EXPECT_FALSE(captures_.slot[0].active);
            EXPECT_TRUE(begin_calls().empty());
        }
    }
    // Nothing was cut into another name, and the counter was never used.
    EXPECT_EQ(directory_names(), (std::vector<std::string>{"COM10", "console.log", longest, "trace.cap"}));
    EXPECT_EQ(captures_.log_counter, 1);
}

TEST_F(CaptureTest, SizeLimitsOfCaptureFileRequests) {
    struct Case {
        const char *description;
        uint32_t mebibytes;
        int64_t expected_limit;
    };
    const Case cases[] = {
        {"3 MiB", 3, 3145728},
        {"2047 MiB", 2047, 2146435072},
        {"2048 MiB", 2048, CAPTURE_BYTE_LIMIT_MAX},
        {"4096 MiB would wrap to 0", 4096, CAPTURE_BYTE_LIMIT_MAX},
        {"0x80000000 MiB", 0x80000000u, CAPTURE_BYTE_LIMIT_MAX},
        {"0xFFFFFFFF MiB", 0xFFFFFFFFu, CAPTURE_BYTE_LIMIT_MAX},
    };
    EXPECT_GT(CAPTURE_BYTE_LIMIT_MAX, int64_t{0x7FFFFFFF});
    activate(1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        open_named_capture(captures_, 1, c.mebibytes, 0, line_);
        ASSERT_TRUE(captures_.slot[0].active);
        EXPECT_EQ(captures_.slot[0].byte_limit, c.expected_limit);
        std::vector<unsigned char> data = patterned_bytes(CHUNK, c.mebibytes);
        deliver(1, data);
        EXPECT_TRUE(captures_.slot[0].active);
        EXPECT_EQ(file_bytes(captures_.slot[0].file_name), data);
    }
}

TEST_F(CaptureTest, SmallLimitDropsTheChunkThatReachesIt) {
    activate(1);
    ASSERT_TRUE(set_capture(captures_, true, 1, "small.bin", 1000));
    struct Step {
        size_t bytes;
        bool active_after;
        size_t file_size_after;
    };
    const Step steps[] = {{600, true, 600}, {399, true, 999}, {1, false, 999}};
    size_t seed = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE(step.bytes);
        sim_queue_capture(1, patterned_bytes(step.bytes, static_cast<unsigned>(++seed)).data(),
                          step.bytes);
        drain_captures(captures_);
        EXPECT_EQ(captures_.slot[0].active, step.active_after);
        EXPECT_EQ(file_bytes("small.bin").size(), step.file_size_after);
    }
    EXPECT_EQ(captures_.slot[0].byte_count, 1000);
}

TEST_F(CaptureTest, RestartToTheNameTheCaptureAlreadyHasKeepsIt) {
    activate(1);
    open_named_capture(captures_, 1, 5, 0, line_);  // 1.log
    ASSERT_STREQ(captures_.slot[0].file_name, "1.log");
    std::vector<unsigned char> data = patterned_bytes(9000, 6);
    deliver(1, data);
    line_[0] = '\0';
    restart_capture(captures_, 1, 10001, line_);
    EXPECT_STREQ(line_, "Created new log file 1.log");
    EXPECT_EQ(file_bytes("1.log"), data);
    EXPECT_TRUE(captures_.slot[0].active);
    EXPECT_STREQ(captures_.slot[0].file_name, "session.rec.1");
}

TEST_F(CaptureTest, RestartToAnotherSpellingOfTheCapturesNameKeepsIt) {
    activate(1);
    const char name[] = "./3.log";
    const uint32_t address = 0x80006000;
    sim_map_memory(address, reinterpret_cast<const unsigned char *>(name), sizeof name);
    open_named_capture(captures_, 1, 5, address, line_);
    ASSERT_STREQ(captures_.slot[0].file_name, "./3.log");
    std::vector<unsigned char> data = patterned_bytes(9000, 18);
    deliver(1, data);
    line_[0] = '\0';
    restart_capture(captures_, 1, 10003, line_);
    EXPECT_STREQ(line_, "Created new log file 3.log");
    EXPECT_EQ(file_bytes("3.log"), data);
    EXPECT_TRUE(captures_.slot[0].active);
    EXPECT_STREQ(captures_.slot[0].file_name, "session.rec.1");
}

TEST_F(CaptureTest, FailedRenameKeepsTheFinishedCapture) {
    activate(1);
    restart_capture(captures_, 1, 10000, line_);
    std::vector<unsigned char> data = patterned_bytes(4000, 12);
    deliver(1, data);
    // A non-empty directory named 3.log can be neither deleted nor replaced.
    ASSERT_TRUE(make_directory_holding("3.log", "keep"));
    sim_clear_call_log();
    restart_capture(captures_, 1, 10003, line_);
    EXPECT_EQ(std::string(line_).rfind("Failed to create new log file error = ", 0), 0u) << line_;
    EXPECT_STRNE(line_, "Failed to create new log file error = 0");
    EXPECT_EQ(file_bytes("session.rec.1"), data);
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_TRUE(begin_calls().empty());
}

TEST_F(CaptureTest, FailedRenameKeepsAFinishedCaptureNamedSessionRecByAnotherSpelling) {
    activate(1);
    const char name[] = "./session.rec.1";
    const uint32_t address = 0x80007000;
    sim_map_memory(address, reinterpret_cast<const unsigned char *>(name), sizeof name);
    open_named_capture(captures_, 1, 5, address, line_);
    ASSERT_TRUE(captures_.slot[0].active);
    std::vector<unsigned char> data = patterned_bytes(4000, 19);
    deliver(1, data);
    ASSERT_TRUE(make_directory_holding("3.log", "keep"));
    sim_clear_call_log();
    restart_capture(captures_, 1, 10003, line_);
    EXPECT_EQ(std::string(line_).rfind("Failed to create new log file error = ", 0), 0u) << line_;
    EXPECT_EQ(file_bytes("session.rec.1"), data);
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_TRUE(begin_calls().empty());
}

TEST_F(CaptureTest, FailedRenameOfANamedCaptureStillStartsSessionRec) {
    activate(1);
    open_named_capture(captures_, 1, 5, 0, line_);  // 1.log
    std::vector<unsigned char> data = patterned_bytes(4000, 13);
    deliver(1, data);
    ASSERT_TRUE(make_directory_holding("3.log", "keep"));
    restart_capture(captures_, 1, 10003, line_);
    EXPECT_EQ(std::string(line_).rfind("Failed to create new log file error = ", 0), 0u) << line_;
    EXPECT_EQ(file_bytes("1.log"), data);
    EXPECT_TRUE(captures_.slot[0].active);
    EXPECT_STREQ(captures_.slot[0].file_name, "session.rec.1");
}

TEST_F(CaptureTest, RenameNeverDeletesTheOtherModemsRunningCapture) {
    activate(2);
    open_named_capture(captures_, 2, 5, 0, line_);  // modem 2 records into 1.log
    ASSERT_STREQ(captures_.slot[1].file_name, "1.log");
    std::vector<unsigned char> two = patterned_bytes(6000, 14);
    deliver(2, two);
    restart_capture(captures_, 1, 10000, line_);
    std::vector<unsigned char> one = patterned_bytes(3000, 15);
    deliver(1, one);
    line_[0] = '\0';
    restart_capture(captures_, 1, 10001, line_);  // 1.log is modem 2's open capture
    EXPECT_EQ(std::string(line_).rfind("Failed to create new log file error = ", 0), 0u) << line_;
    EXPECT_EQ(file_bytes("session.rec.1"), one);
    // Modem 2's capture keeps its data and goes on receiving more.
    std::vector<unsigned char> more = patterned_bytes(2000, 16);
    deliver(2, more);
    std::vector<unsigned char> expected = two;
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_TRUE(captures_.slot[1].active);
    EXPECT_EQ(file_bytes("1.log"), expected);
}

TEST_F(CaptureTest, NamedCaptureNeverReplacesTheOtherModemsRunningCapture) {
    activate(2);
    open_named_capture(captures_, 1, 5, 0, line_);  // modem 1 records into 1.log
    std::vector<unsigned char> one = patterned_bytes(7000, 17);
    deliver(1, one);
    const char name[] = "1.log";
    const uint32_t address = 0x80005000;
    sim_map_memory(address, reinterpret_cast<const unsigned char *>(name), sizeof name);
    sim_clear_call_log();
    open_named_capture(captures_, 2, 5, address, line_);
    EXPECT_EQ(std::string(line_).rfind("Failed to create new log file error = ", 0), 0u) << line_;
    EXPECT_FALSE(captures_.slot[1].active);
    EXPECT_TRUE(begin_calls().empty());
    EXPECT_TRUE(captures_.slot[0].active);
    EXPECT_EQ(file_bytes("1.log"), one);
}

TEST_F(CaptureTest, CountAboveTheBufferIsCutToTheBuffer) {
    activate(1);
    ASSERT_TRUE(set_capture(captures_, true, 1, "big.bin", CAPTURE_BYTE_LIMIT_MAX));
    sim_queue_capture_fill(1, CHUNK + 100, 0x5A);
    SimFaults faults{};
    faults.capture_count = 2 * CHUNK;
    sim_set_faults(faults);
    drain_captures(captures_);
    EXPECT_EQ(captures_.slot[0].byte_count, static_cast<int64_t>(CHUNK));
    EXPECT_EQ(file_bytes("big.bin"), std::vector<unsigned char>(CHUNK, 0x5A));
    // The second read delivers 100 bytes and claims a full buffer: what it
    // did not fill reads as zeros, never as the first read's bytes.
    drain_captures(captures_);
    std::vector<unsigned char> expected(2 * CHUNK, 0);
    std::fill(expected.begin(), expected.begin() + CHUNK + 100, 0x5A);
    EXPECT_EQ(file_bytes("big.bin"), expected);
}

}  // namespace

namespace {

// One program at a time reads a device's capture data. While another holds
// the device's capture lock, no capture starts: a clear line, no file, no
// flag change, no read. The monitor's own lock is held while either capture
// runs and given back when both have stopped.
TEST_F(CaptureTest, CaptureLockOfTheDevice) {
    activate(2);
    sim_map_memory(0x80001000, reinterpret_cast<const unsigned char *>("named.cap"), 10);
    PlatformHandle other = platform_lock_capture(link_.device_name);
    ASSERT_NE(other, NO_HANDLE);
    const std::vector<unsigned char> before = setup();
    struct Request {
        const char *description;
        void (*send)(CaptureSet &captures, StatusLine &line);
    } requests[] = {
        {"capture-file request",
         [](CaptureSet &captures, StatusLine &line) { open_named_capture(captures, 1, 1, 0x80001000, line); }},
        {"restart request", [](CaptureSet &captures, StatusLine &line) { restart_capture(captures, 2, 10000, line); }},
    };
    sim_queue_capture_fill(1, 1000, 0x41);
    for (const Request &request : requests) {
        SCOPED_TRACE(request.description);
        line_[0] = '\0';
        request.send(captures_, line_);
        EXPECT_STREQ(line_, CAPTURE_BUSY_TEXT);
        EXPECT_FALSE(captures_.slot[0].active || captures_.slot[1].active);
    }
    drain_captures(captures_);
    EXPECT_EQ(sim_pending_capture(1), 1000u) << "nothing read";
    EXPECT_TRUE(directory_names().empty());
    EXPECT_EQ(setup(), before);

    // Once the other program is gone the captures start, and the lock is
    // the monitor's until both have stopped.
    platform_unlock_capture(other);
    open_named_capture(captures_, 1, 1, 0x80001000, line_);
    EXPECT_STREQ(line_, "Created new log file named.cap");
    restart_capture(captures_, 2, 10000, line_);
    EXPECT_TRUE(captures_.slot[1].active);
    EXPECT_EQ(platform_lock_capture(link_.device_name), NO_HANDLE);
    EXPECT_EQ(platform_last_error(), platform_capture_busy_error());
    set_capture(captures_, false, 1);
    EXPECT_EQ(platform_lock_capture(link_.device_name), NO_HANDLE) << "modem 2 still captures";
    set_capture(captures_, false, 2);
    other = platform_lock_capture(link_.device_name);
    EXPECT_NE(other, NO_HANDLE) << "given back after both stopped";
    platform_unlock_capture(other);
}

}  // namespace
