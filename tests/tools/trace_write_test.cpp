// The writer's directives read back by the reader as the directives written,
// each within the room its *_MAX size promises.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "trace/trace.h"
#include "trace/trace_write.h"

namespace {

std::vector<unsigned char> bytes_of(const std::string &text) { return {text.begin(), text.end()}; }

TraceDirective expect(TraceOp op) {
    TraceDirective d{};
    d.op = op;
    return d;
}

struct WriteCase {
    const char *description;
    size_t room;                          // what the writer may use
    std::function<char *(char *)> write;  // the directive written at out
    TraceDirective expected;
};

TEST(TraceWrite, DirectivesReadBackAsWritten) {
    const StatusRecord all_words = {0xFFFFFFFFu, 99999, 100000, 0x80000000u, 9, 10, 99, 100, 0x1B2004, 4294967295u};
    const StatusRecord trailing_zeros = {64, 26, 0, 7, 0, 0, 0, 0, 0, 1};
    const unsigned char block[] = {0xe0, 0xc1, 0x05, 0x00, 0xff};
    const std::string all_bytes = [] {
        std::string text;
        for (int c = 1; c < 256; ++c) text.push_back(char(c));
        return text;
    }();
    const EyePoint points[] = {{1000, -1000}, {-32768, 32767}, {0, -1}};
    const auto rec = [](const StatusRecord &r) {
        TraceDirective d = expect(TRACE_REC);
        d.record = r;
        return d;
    };
    const auto with = [](TraceOp op, uint32_t address, uint32_t value, std::vector<unsigned char> bytes) {
        TraceDirective d = expect(op);
        d.address = address;
        if (op == TRACE_FETCH) {
            d.modem = int(value);  // a fetch names its modem
        } else {
            d.value = value;
        }
        d.bytes = std::move(bytes);
        return d;
    };
    const char *program = "LineWatch \"0.1\"\t\\";
    TraceDirective session = with(TRACE_SESSION, 0, 0, bytes_of(program));
    session.time_ms = 1796751976123;
    TraceDirective eye = expect(TRACE_EYE);
    eye.modem = 2;
    eye.points.assign(std::begin(points), std::end(points));
    const WriteCase cases[] = {
        {"record with every word length", TRACE_REC_LINE_MAX, [&](char *o) { return trace_write_rec(o, all_words); },
         rec(all_words)},
        {"record with trailing zero parameters", TRACE_REC_LINE_MAX,
         [&](char *o) { return trace_write_rec(o, trailing_zeros); }, rec(trailing_zeros)},
        {"memory block", trace_mem_line_max(sizeof block),
         [&](char *o) { return trace_write_mem(o, 0xFFFFFFFBu, block, sizeof block); },
         with(TRACE_MEM, 0xFFFFFFFBu, 0, {std::begin(block), std::end(block)})},
        {"unreadable to the top of memory", TRACE_UNREADABLE_LINE_MAX,
         [](char *o) { return trace_write_unreadable(o, 1, 0xFFFFFFFFu); }, with(TRACE_UNREADABLE, 1, 0xFFFFFFFFu, {})},
        {"longest wait", TRACE_SHORT_LINE_MAX, [](char *o) { return trace_write_wait(o, 0xFFFFFFFFu); },
         with(TRACE_WAIT, 0, 0xFFFFFFFFu, {})},
        {"active", TRACE_SHORT_LINE_MAX, [](char *o) { return trace_write_active(o, 4294967295u); },
         with(TRACE_ACTIVE, 0, 4294967295u, {})},
        {"fetch", TRACE_SHORT_LINE_MAX, [](char *o) { return trace_write_fetch(o, 2); }, with(TRACE_FETCH, 0, 2, {})},
        {"shown text of every byte but NUL", trace_shown_line_max(all_bytes.size()),
         [&](char *o) { return trace_write_shown(o, all_bytes.data(), all_bytes.size()); },
         with(TRACE_SHOWN, 0, 0, bytes_of(all_bytes))},
        {"empty shown text", trace_shown_line_max(0), [](char *o) { return trace_write_shown(o, "", 0); },
         with(TRACE_SHOWN, 0, 0, {})},
        {"session header", trace_session_line_max(strlen(program)),
         [&](char *o) { return trace_write_session(o, 1796751976123, program, strlen(program)); }, session},
        {"eyehex in pieces", TRACE_EYEHEX_HEAD_MAX + 3 * TRACE_EYEHEX_POINT_CHARS + 1,
         [&](char *o) {
             o = trace_append_eye_points(trace_write_eyehex_head(o, 2), points, 1);
             o = trace_append_eye_points(o, points + 1, 2);
             *o = '\n';
             return o + 1;
         },
         eye},
    };
    for (const WriteCase &c : cases) {
        SCOPED_TRACE(c.description);
        std::vector<char> buffer(c.room + 16, 'Z');  // sentinels past the promised room
        char *end = c.write(buffer.data());
        ASSERT_LE(size_t(end - buffer.data()), c.room);
        for (size_t i = c.room; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 'Z') << "written past the room at " << i;
        ASSERT_EQ(end[-1], '\n');
        TraceDirective got;
        char error[256] = "";
        ASSERT_EQ(parse_trace_line(buffer.data(), size_t(end - buffer.data()), &got, error, sizeof error), 1)
            << error << " in " << std::string(buffer.data(), end);
        const TraceDirective &want = c.expected;
        EXPECT_EQ(got.op, want.op);
        EXPECT_EQ(memcmp(&got.record, &want.record, sizeof got.record), 0);
        EXPECT_EQ(got.address, want.address);
        EXPECT_EQ(got.modem, want.modem);
        EXPECT_EQ(got.value, want.value);
        EXPECT_EQ(got.bytes, want.bytes);
        EXPECT_EQ(got.time_ms, want.time_ms);
        ASSERT_EQ(got.points.size(), want.points.size());
        for (size_t i = 0; i < got.points.size(); ++i) {
            EXPECT_EQ(got.points[i].x, want.points[i].x);
            EXPECT_EQ(got.points[i].y, want.points[i].y);
        }
    }
}

}  // namespace
