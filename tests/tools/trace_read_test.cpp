// Reading whole traces: line numbers, long lines, CRLF files, and the
// "FILE:LINE: message" report of the first malformed line.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "trace/trace.h"

namespace {

#ifdef _WIN32
int make_pipe(int ends[2]) { return _pipe(ends, 4096, _O_BINARY); }
#else
int make_pipe(int ends[2]) { return pipe(ends); }
#endif

// Reads text as a trace named "t.trace"; stderr_text receives what the
// reader printed. The text is read twice, through a stdio stream and through
// a file descriptor (which cuts its lines out of a buffer): both must give
// the same result, the same message and the same directives.
bool read_text(const std::string &text, std::vector<TraceDirective> *out, std::string *stderr_text) {
    FILE *input = tmpfile();
    EXPECT_NE(input, nullptr);
    if (input == nullptr) return false;
    fwrite(text.data(), 1, text.size(), input);
    fflush(input);
    rewind(input);
    testing::internal::CaptureStderr();
    bool ok = read_trace(input, "t.trace", out);
    *stderr_text = testing::internal::GetCapturedStderr();
#ifdef _WIN32
    const int descriptor = _dup(_fileno(input));
    _lseek(descriptor, 0, SEEK_SET);
#else
    const int descriptor = dup(fileno(input));
    lseek(descriptor, 0, SEEK_SET);
#endif
    std::vector<TraceDirective> again;
    testing::internal::CaptureStderr();
    const bool ok_again = read_trace_descriptor(descriptor, "t.trace", &again, nullptr) == TRACE_READ_OK;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), *stderr_text) << "read through a descriptor";
    EXPECT_EQ(ok_again, ok) << "read through a descriptor";
    EXPECT_EQ(again.size(), out->size()) << "read through a descriptor";
    for (size_t i = 0; i < again.size() && i < out->size(); ++i) {
        EXPECT_EQ(again[i].line_number, (*out)[i].line_number) << "directive " << i;
        EXPECT_EQ(again[i].bytes, (*out)[i].bytes) << "directive " << i;
    }
    fclose(input);
    return ok;
}

std::string repeated(const std::string &line, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += line;
    return text;
}

// The most waits of the longest kind that stay within TRACE_WAITS_MAX_MS.
const size_t LONGEST_WAITS_ALLOWED = size_t(TRACE_WAITS_MAX_MS / 0xFFFFFFFFull);

struct ReadErrorCase {
    const char *description;
    std::string text;
    const char *expected_stderr;
};

TEST(TraceRead, FirstMalformedLineIsReportedWithFileAndLine) {
    const ReadErrorCase cases[] = {
        {"error on line 3 after a blank line", "rec 1 13\n\nrec 1 x\nrec 1 14\n",
         "t.trace:3: rec CODE: bad number 'x'\n"},
        {"only the first error is reported", "wait 1\nfoo\nbar\n", "t.trace:2: unknown directive 'foo'\n"},
        {"error on a last line without newline", "rec 1 13\nrec 1", "t.trace:2: rec: missing CODE\n"},
        {"NUL inside the first line", std::string("rec 1\0 13\n", 10), "t.trace:1: NUL byte in line\n"},
        {"comment lines count", "# header\n# more\nstr 0x10 \"open\n",
         "t.trace:3: unterminated quoted text\n"},
        {"CRLF file", "rec 1 13\r\nrec 1 14 junk\r\n", "t.trace:2: rec parameter: bad number 'junk'\n"},
        {"session after a directive", "rec 1 13\nsession 2026-12-08T17:46:16.123Z \"LW\"\n",
         "t.trace:2: session: only as the first directive of a trace\n"},
        {"shown before a pause", "shown \"x\"\nwait 1\n", "t.trace:2: shown: not followed by its record\n"},
        {"shown at the end", "rec 1 13\nshown \"x\"\n", "t.trace:2: shown: not followed by its record\n"},
        {"an unterminated last line of a plain trace is still parsed", "wait 1\nrec", "t.trace:2: rec: missing MODEM\n"},
        {"waits adding up past what a clock counts", repeated("wait 4294967295\n", LONGEST_WAITS_ALLOWED + 1),
         "t.trace:2329: wait: the waits add up to more than 10000000000000 ms (about 317 years)\n"},
    };
    for (const ReadErrorCase &c : cases) {
        SCOPED_TRACE(c.description);
        std::vector<TraceDirective> out(3);  // must be emptied
        std::string err;
        EXPECT_FALSE(read_text(c.text, &out, &err));
        EXPECT_EQ(err, c.expected_stderr);
        EXPECT_TRUE(out.empty());
    }
}

// Files a writer left short are read up to their last complete record,
// with a warning; the waits may add up to the limit itself.
TEST(TraceRead, CutSessionsAndLongTracesAreReadWithTheirWarning) {
    const std::string header = "session 2026-12-08T17:46:16.123Z \"LineWatch 0.1.0\"\nrec 1 13\n";
    const struct {
        const char *description;
        std::string text;
        size_t directives;
        const char *expected_stderr;
    } cases[] = {
        {"a session cut right after a shown line", header + "shown \"Capture\"\n", 2,
         "t.trace:3: warning: file cut short after this line (shown without its record); read up to line 2\n"},
        {"a session cut inside the record after a shown line", header + "shown \"x\"\n\nrec 1 7", 2,
         "t.trace:5: warning: file cut short inside this line (no line feed); read up to line 2\n"},
        {"waits adding up to the limit", repeated("wait 4294967295\n", LONGEST_WAITS_ALLOWED), LONGEST_WAITS_ALLOWED,
         ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        std::vector<TraceDirective> out;
        std::string err;
        EXPECT_TRUE(read_text(c.text, &out, &err));
        EXPECT_EQ(err, c.expected_stderr);
        EXPECT_EQ(out.size(), c.directives);
    }
}

// gzip data is told by its first two bytes however a pipe splits them.
TEST(TraceRead, PipesAreToldGzipOrPlainByTheirFirstTwoBytes) {
    // "rec 1 13\nrec 1 14\n" as gzip -n compresses it.
    const unsigned char gzip[] = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x2b,
                                  0x4a, 0x4d, 0x56, 0x30, 0x54, 0x30, 0x34, 0xe6, 0x2a, 0x82, 0x30,
                                  0x4c, 0xb8, 0x00, 0xe3, 0x18, 0xa8, 0xa1, 0x12, 0x00, 0x00, 0x00};
    const std::string plain = "rec 1 13\nrec 1 14\n";
    const std::string gz(reinterpret_cast<const char *>(gzip), sizeof gzip);
    const struct {
        const char *description;
        std::string data;
        size_t first;  // bytes in the pipe before the reader starts; the rest follow later
    } cases[] = {
        {"gzip, first byte alone", gz, 1}, {"gzip, two bytes first", gz, 2},
        {"plain, first byte alone", plain, 1}, {"gzip, one write", gz, sizeof gzip},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        int ends[2];
        ASSERT_EQ(make_pipe(ends), 0);
        ASSERT_EQ(write(ends[1], c.data.data(), unsigned(c.first)), int(c.first));
        std::thread rest([&c, &ends] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const size_t n = c.data.size() - c.first;
            EXPECT_EQ(write(ends[1], c.data.data() + c.first, unsigned(n)), int(n));
            close(ends[1]);
        });
        std::vector<TraceDirective> out;
        TraceReport report;
        EXPECT_EQ(read_trace_descriptor(ends[0], "pipe", &out, &report), TRACE_READ_OK) << report.error;
        rest.join();
        ASSERT_EQ(out.size(), 2u);
        EXPECT_EQ(out[1].record.code, 14u);
    }
}

TEST(TraceRead, DirectivesKeepTheirLineNumbers) {
    std::string text =
        "# one V.34 call on modem 1\n"
        "active 1\r\n"
        "\n"
        "rec 1 64 26                    # V34 Phase 2 started\n"
        "str 0x80002000 \"Answering call\"\n"
        "   \t\n"
        "eye 1 1000 -1000 -1000 1000\n"
        "cap 1 fill 4096 5a\n"
        "wait 500\n"
        "active 0";  // no final newline
    std::vector<TraceDirective> out;
    std::string err;
    ASSERT_TRUE(read_text(text, &out, &err)) << err;
    EXPECT_EQ(err, "");
    const struct {
        TraceOp op;
        int line;
    } expected[] = {{TRACE_ACTIVE, 2}, {TRACE_REC, 4},      {TRACE_STR, 5},  {TRACE_EYE, 7},
                    {TRACE_CAP_FILL, 8}, {TRACE_WAIT, 9}, {TRACE_ACTIVE, 10}};
    ASSERT_EQ(out.size(), std::size(expected));
    for (size_t i = 0; i < out.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(out[i].op, expected[i].op);
        EXPECT_EQ(out[i].line_number, expected[i].line);
    }
    EXPECT_EQ(out[0].value, 1u);
    EXPECT_EQ(out[6].value, 0u);
    EXPECT_EQ(out[4].value, 4096u);
}

// fetch and shown belong to the records after them; a session's last line
// without a line feed is a fragment of a cut file.
TEST(TraceRead, SessionDirectivesFoldIntoTheirRecords) {
    const std::string header = "session 2026-12-08T17:46:16.123Z \"LineWatch 0.1.0\"\n";
    const std::string text = header + "rec 1 1\nfetch 2\nshown \"x\\ty\"\nrec 1 2\nrec 2 3\nrec 1 4 0x8";
    std::vector<TraceDirective> out;
    std::string err;
    ASSERT_TRUE(read_text(text, &out, &err)) << err;
    EXPECT_EQ(err, "t.trace:7: warning: file cut short inside this line (no line feed); read up to line 6\n");
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].op, TRACE_SESSION);
    EXPECT_EQ(out[0].time_ms, 1796751976123);
    const struct {
        uint32_t code;
        int fetched_by;
        bool has_shown;
        std::string shown;
    } expected[] = {{1, 0, false, ""}, {2, 2, true, "x\ty"}, {3, 2, false, ""}};
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const TraceDirective &rec = out[i + 1];
        EXPECT_EQ(rec.op, TRACE_REC);
        EXPECT_EQ(rec.record.code, expected[i].code);
        EXPECT_EQ(rec.fetched_by, expected[i].fetched_by);
        EXPECT_EQ(rec.has_shown, expected[i].has_shown);
        EXPECT_EQ(std::string(rec.bytes.begin(), rec.bytes.end()), expected[i].shown);
    }
}

TEST(TraceRead, SessionTimesReadBackAsWritten) {
    const struct {
        const char *text;
        int64_t ms;
    } cases[] = {{"1970-01-01T00:00:00.000Z", 0},
                 {"2000-02-29T23:59:59.999Z", 951868799999},
                 {"2026-12-08T17:46:16.123Z", 1796751976123}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        int64_t ms = -1;
        ASSERT_TRUE(parse_session_time(c.text, strlen(c.text), &ms));
        EXPECT_EQ(ms, c.ms);
        char text[32];
        format_session_time(c.ms, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

TEST(TraceRead, VeryLongLinesAreReadWhole) {
    // 100000 bytes on one line, in a pattern that shows any cut or shift.
    const size_t count = 100000;
    std::string text = "mem 0x80000000";
    for (size_t i = 0; i < count; ++i) {
        char byte[4];
        snprintf(byte, sizeof byte, " %02x", static_cast<unsigned>(i * 7 % 256));
        text += byte;
    }
    text += "\nrec 1 13\n";
    std::vector<TraceDirective> out;
    std::string err;
    ASSERT_TRUE(read_text(text, &out, &err)) << err;
    ASSERT_EQ(out.size(), 2u);
    ASSERT_EQ(out[0].bytes.size(), count);
    for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(out[0].bytes[i], static_cast<unsigned char>(i * 7 % 256)) << "byte " << i;
    }
    EXPECT_EQ(out[1].line_number, 2);
}

TEST(TraceRead, EmptyInputIsAnEmptyTrace) {
    std::vector<TraceDirective> out(2);
    std::string err;
    EXPECT_TRUE(read_text("", &out, &err));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(read_text("\n\n# nothing\n", &out, &err));
    EXPECT_TRUE(out.empty());
}

TEST(TraceRead, MissingFileIsReported) {
    std::vector<TraceDirective> out(1);
    testing::internal::CaptureStderr();
    bool ok = read_trace_file("/nonexistent/dir/x.trace", &out);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(ok);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(err, "/nonexistent/dir/x.trace: No such file or directory\n");
}

TEST(TraceRead, FileIsReadByPath) {
    char path[] = "/tmp/trace_read_testXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE *file = fdopen(fd, "w");
    fputs("rec 2 11 0x1c\nbogus\n", file);
    fclose(file);
    std::vector<TraceDirective> out;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(read_trace_file(path, &out));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, std::string(path) + ":2: unknown directive 'bogus'\n");
    remove(path);
}

}  // namespace
