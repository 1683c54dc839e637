// The status intake over the simulated driver: driver-internal errors,
// deliveries that are not one whole record, capture requests and records
// that go to the decoder.
#include <cstring>

#include "capture/capture.h"
#include "capture/intake.h"
#include "capture/sim_fixture.h"

namespace {

class IntakeTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        reset_captures(captures_);
        activate(2);
        sim_clear_call_log();
    }
    void TearDown() override {
        reset_captures(captures_);
        SimTest::TearDown();
    }
};

StatusRecord make_record(uint32_t modem, uint32_t code, uint32_t p1 = 0, uint32_t p2 = 0) {
    StatusRecord record{};
    record.modem = modem;
    record.code = code;
    record.param1 = p1;
    record.param2 = p2;
    return record;
}

TEST_F(IntakeTest, DriverInternalErrorsGetTheirTextWhateverTheParameters) {
    struct Case {
        const char *description;
        uint32_t code;
        const char *expected;
    };
    const Case cases[] = {
        {"code 1", 1, "Data Integrity Check Failed\nRetrain forced"},
        {"code 2", 2, "DMA Transfer Request Timeout\nRetrain forced"},
        {"code 5", 5, "Unknown internal error, code 5 "},
        {"code 0xFFFFFFFF prints signed", 0xFFFFFFFFu, "Unknown internal error, code -1 "},
        {"code 77 is no restart for modem 0", 77, "Unknown internal error, code 77 "},
        {"code 131 is no capture request for modem 0", 131, "Unknown internal error, code 131 "},
        {"code 0", 0, "Unknown internal error, code 0 "},
        {"largest positive code", 0x7FFFFFFFu, "Unknown internal error, code 2147483647 "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        sim_queue_record(make_record(0, c.code, 10003, 0x1234));
        StatusLine line;
        std::memset(line, 'x', sizeof line);
        EXPECT_EQ(next_status_line(captures_, line), 0);
        EXPECT_STREQ(line, c.expected);
    }
    // Neither code 77 nor 131 reached the capture operations.
    EXPECT_FALSE(captures_.slot[0].active);
    EXPECT_FALSE(captures_.slot[1].active);
    EXPECT_TRUE(directory_names().empty());
}

TEST_F(IntakeTest, DeliveryOtherThanOneWholeRecordGivesNoLine) {
    struct Case {
        const char *description;
        bool queue_record;
        uint32_t reported_count;  // 0: no fault
    };
    const Case cases[] = {
        {"queue empty, count 0", false, 0},
        {"count 39", true, 39},
        {"count 41", true, 41},
        {"count 1", true, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        SimFaults faults{};
        faults.status_count = c.reported_count;
        sim_set_faults(faults);
        if (c.queue_record) {
            sim_queue_record(make_record(0, 1));
        }
        StatusLine line;
        std::memset(line, 'x', sizeof line);
        EXPECT_EQ(next_status_line(captures_, line), -1);
        EXPECT_STREQ(line, "");
    }
}

TEST_F(IntakeTest, RecordsOfAModemAboveTwoAreDropped) {
    const uint32_t modems[] = {3, 255, 0xFFFFFFFFu};
    for (uint32_t modem : modems) {
        SCOPED_TRACE(modem);
        const StatusRecord records[] = {
            make_record(modem, 77, 10003),
            make_record(modem, 131, 5, 0),
            make_record(modem, 13),
        };
        for (const StatusRecord &record : records) {
            sim_queue_record(record);
            StatusLine line;
            EXPECT_EQ(next_status_line(captures_, line), -1);
            EXPECT_STREQ(line, "");
        }
    }
    EXPECT_EQ(captures_.log_counter, 1);
    EXPECT_TRUE(directory_names().empty());
    for (const std::string &call : served_calls()) {
        EXPECT_EQ(call.rfind("GET_STATUS", 0), 0u) << call;
    }
}

TEST_F(IntakeTest, RecordsOfModemsOneAndTwoGoToTheDecoder) {
    struct Case {
        const char *description;
        StatusRecord record;
        int expected_result;
        const char *expected;
    };
    const Case cases[] = {
        {"modem 1 text", make_record(1, 13), 1, "Rx Data Mode Active! "},
        {"modem 2 text", make_record(2, 14), 2, "Tx Data Mode Active! "},
        {"code that never yields a line", make_record(1, 18), -1, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        sim_queue_record(c.record);
        StatusLine line;
        EXPECT_EQ(next_status_line(captures_, line), c.expected_result);
        EXPECT_STREQ(line, c.expected);
    }
}

TEST_F(IntakeTest, RecordWithoutLineEndsTheDrainButLeavesTheRestQueued) {
    sim_queue_record(make_record(1, 18));
    sim_queue_record(make_record(1, 13));
    StatusLine line;
    EXPECT_EQ(next_status_line(captures_, line), -1);
    EXPECT_EQ(sim_pending_records(), 1u);
    EXPECT_EQ(next_status_line(captures_, line), 1);
    EXPECT_STREQ(line, "Rx Data Mode Active! ");
}

TEST_F(IntakeTest, CaptureRequestsNeverReachTheDecoder) {
    struct Case {
        const char *description;
        StatusRecord record;
        int expected_result;
        const char *expected_line;
        bool modem1_active_after;
        const char *expected_file;  // created by the request, or nullptr
    };
    const Case cases[] = {
        {"restart below range", make_record(2, 77, 5), -1, "", false, nullptr},
        {"restart 10000 starts session.rec.1", make_record(1, 77, 10000), -1, "", true,
         "session.rec.1"},
        {"file request 0 stops", make_record(1, 131, 0), -1, "", false, nullptr},
        {"file request without name", make_record(1, 131, 3, 0), 1, "Created new log file 1.log",
         true, "1.log"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        sim_queue_record(c.record);
        StatusLine line;
        EXPECT_EQ(next_status_line(captures_, line), c.expected_result);
        EXPECT_STREQ(line, c.expected_line);
        EXPECT_EQ(captures_.slot[0].active, c.modem1_active_after);
        EXPECT_FALSE(captures_.slot[1].active);
        if (c.expected_file != nullptr) {
            EXPECT_TRUE(file_exists(c.expected_file));
        }
    }
    EXPECT_EQ(captures_.slot[0].byte_limit, 3 * 1048576);
}

}  // namespace
