// Reading whole traces: line numbers, long lines, CRLF files, and the
// "FILE:LINE: message" report of the first malformed line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "simulator/trace.h"

namespace {

// Reads text as a trace named "t.trace"; stderr_text receives what the
// reader printed.
bool read_text(const std::string &text, std::vector<TraceDirective> *out, std::string *stderr_text) {
    FILE *input = tmpfile();
    EXPECT_NE(input, nullptr);
    if (input == nullptr) return false;
    fwrite(text.data(), 1, text.size(), input);
    rewind(input);
    testing::internal::CaptureStderr();
    bool ok = read_trace(input, "t.trace", out);
    *stderr_text = testing::internal::GetCapturedStderr();
    fclose(input);
    return ok;
}

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
