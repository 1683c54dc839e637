// A session being recorded and the capture files never overwrite each
// other: a capture named like the session is refused and the session stays
// whole; a session named like a running capture is refused and the capture
// stays whole.
#include <cerrno>
#include <cstring>

#include "capture/capture.h"
#include "session/session_writer.h"
#include "sim_fixture.h"

namespace {

#ifdef _WIN32
constexpr int FILE_BUSY_ERROR = 32;  // ERROR_SHARING_VIOLATION
#else
constexpr int FILE_BUSY_ERROR = EBUSY;
#endif
constexpr uint32_t NAME_ADDRESS = 0x80340000;

class SessionFileTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        line_[0] = '\0';
        activate(1);
    }
    void TearDown() override {
        reset_captures(captures_);
        SimTest::TearDown();
    }

    bool open_session(const char *name) {
        SessionOptions options;
        options.program = "LineWatch test";
        return writer_.open(name, 1796751976000000, options);
    }

    // The driver's name for a capture file, in driver memory.
    void driver_name(const char *name) {
        sim_map_memory(NAME_ADDRESS, reinterpret_cast<const unsigned char *>(name), std::strlen(name) + 1);
    }

    // Queues bytes for modem 1 and drains until they are all taken.
    void deliver(const std::vector<unsigned char> &bytes) {
        sim_queue_capture(1, bytes.data(), bytes.size());
        for (int tick = 0; tick < 100 && sim_pending_capture(1) > 0; ++tick) drain_captures(captures_);
    }

    SessionWriter writer_;
    StatusLine line_;
};

// The records that the session file holds once closed; -1 when it is no
// readable session.
int session_records(const char *name) {
    std::vector<TraceDirective> trace;
    if (read_trace_path(name, &trace) != TRACE_READ_OK || trace.empty() || trace.front().op != TRACE_SESSION)
        return -1;
    int records = 0;
    for (const TraceDirective &d : trace) records += d.op == TRACE_REC;
    return records;
}

TEST_F(SessionFileTest, CaptureNamedLikeTheSessionIsRefusedAndTheSessionStaysWhole) {
    const std::string refused = "Failed to create new log file error = " + std::to_string(FILE_BUSY_ERROR);
    const struct {
        const char *description;
        const char *session;
        const char *driver_name;  // for a capture-file request; null: a restart request
        std::string line;
    } cases[] = {
        {"capture-file request with the session's name", "victim.trace", "victim.trace", refused},
        {"the same file by another spelling", "victim.trace", "./victim.trace", refused},
        {"restart request onto the session file", "session.rec.1", nullptr, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        reset_captures(captures_);
        ASSERT_TRUE(open_session(c.session)) << writer_.error();
        writer_.record(1, sampling(1, 8000), nullptr);
        line_[0] = '\0';
        if (c.driver_name != nullptr) {
            driver_name(c.driver_name);
            open_named_capture(captures_, 1, 3, NAME_ADDRESS, line_);
        } else {
            restart_capture(captures_, 1, 10000, line_);
        }
        EXPECT_EQ(std::string(line_), c.line);
        EXPECT_FALSE(captures_.slot[0].active);
        deliver(patterned_bytes(4096, 3));
        writer_.record(1, sampling(1, 9600), nullptr);
        ASSERT_TRUE(writer_.close()) << writer_.error();
        EXPECT_EQ(session_records(c.session), 2) << "the session lost records or took capture bytes";
    }
}

// A session named like a capture that is still written is refused with a
// message, and the capture goes on whole.
TEST_F(SessionFileTest, SessionOnARunningCaptureIsRefused) {
    const std::vector<unsigned char> first = patterned_bytes(2000, 1);
    const std::vector<unsigned char> second = patterned_bytes(3000, 2);
    restart_capture(captures_, 1, 10000, line_);
    deliver(first);
    EXPECT_FALSE(open_session("session.rec.1"));
    EXPECT_NE(std::strstr(writer_.error(), "a capture"), nullptr) << writer_.error();
    deliver(second);
    reset_captures(captures_);
    std::vector<unsigned char> both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(file_bytes("session.rec.1"), both);
}

}  // namespace
