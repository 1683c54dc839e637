// The trace reader's line parser: every directive's good forms and every
// kind of malformed line with its message.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "trace/trace.h"

namespace {

struct ParseResult {
    int result;
    TraceDirective directive;
    std::string error;
};

ParseResult parse(const std::string &text) {
    ParseResult r;
    char error[256];
    memset(error, 'Z', sizeof error);
    r.result = parse_trace_line(text.data(), text.size(), &r.directive, error, sizeof error);
    r.error = error;
    return r;
}

std::vector<unsigned char> bytes_of(std::initializer_list<int> values) {
    std::vector<unsigned char> bytes;
    for (int v : values) bytes.push_back(static_cast<unsigned char>(v));
    return bytes;
}

TEST(TraceParse, BlankAndCommentLinesYieldNothing) {
    const char *cases[] = {"", "   \t  ", "# a comment", "   # indented comment", "\n", "\r\n",
                           "\t#\"unclosed quote inside a comment\n"};
    for (const char *text : cases) {
        SCOPED_TRACE(text);
        ParseResult r = parse(text);
        EXPECT_EQ(r.result, 0);
        EXPECT_EQ(r.error, "");
    }
}

struct RecCase {
    const char *description;
    const char *text;
    StatusRecord expected;  // code, param1..param8, modem
};

TEST(TraceParse, RecordDirectives) {
    const RecCase cases[] = {
        {"code and one parameter", "rec 1 64 26", {64, 26, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"no parameters", "rec 2 13", {13, 0, 0, 0, 0, 0, 0, 0, 0, 2}},
        {"modem 0 is a driver-internal error", "rec 0 5 7", {5, 7, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"all eight parameters, every number form",
         "rec 1 1 -1 +7 0x1B2004 0XFFFFFFFF 4294967295 -2147483648 0x80000000 0xabcDEF",
         {1, 0xFFFFFFFFu, 7, 0x1B2004, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x80000000u, 0x80000000u, 0xABCDEF,
          1}},
        {"TABs, extra blanks and a trailing comment", "\trec\t2   131  0x10 # capture file",
         {131, 16, 0, 0, 0, 0, 0, 0, 0, 2}},
        {"comment right after a token", "rec 1 22 1#hook", {22, 1, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"CRLF line end", "rec 1 36\r\n", {36, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"leading zeros stay decimal", "rec 1 010", {10, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"a signed hexadecimal number", "rec 1 8 -0x11", {8, 0xFFFFFFEFu, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"any 32-bit modem word", "rec 4294967295 1", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFFFFFFu}},
    };
    for (const RecCase &c : cases) {
        SCOPED_TRACE(c.description);
        ParseResult r = parse(c.text);
        ASSERT_EQ(r.result, 1) << r.error;
        EXPECT_EQ(r.directive.op, TRACE_REC);
        const StatusRecord &got = r.directive.record;
        EXPECT_EQ(got.modem, c.expected.modem);
        EXPECT_EQ(got.code, c.expected.code);
        EXPECT_EQ(got.param1, c.expected.param1);
        EXPECT_EQ(got.param2, c.expected.param2);
        EXPECT_EQ(got.param3, c.expected.param3);
        EXPECT_EQ(got.param4, c.expected.param4);
        EXPECT_EQ(got.param5, c.expected.param5);
        EXPECT_EQ(got.param6, c.expected.param6);
        EXPECT_EQ(got.param7, c.expected.param7);
        EXPECT_EQ(got.param8, c.expected.param8);
    }
}

struct MemoryCase {
    const char *description;
    std::string text;
    TraceOp op;
    uint32_t address;
    std::vector<unsigned char> bytes;
};

TEST(TraceParse, MemoryDirectives) {
    const MemoryCase cases[] = {
        {"separate bytes", "mem 0x80001000 e0 c1 05", TRACE_MEM, 0x80001000u,
         bytes_of({0xe0, 0xc1, 0x05})},
        {"joined bytes and upper case", "mem 16 e0C105 AB", TRACE_MEM, 16,
         bytes_of({0xe0, 0xc1, 0x05, 0xab})},
        {"block ending at the last address", "mem 0xFFFFFFFE 0102", TRACE_MEM, 0xFFFFFFFEu,
         bytes_of({1, 2})},
        {"plain text gets its NUL", "str 0x80002000 \"Answering call\"", TRACE_STR, 0x80002000u,
         bytes_of({'A', 'n', 's', 'w', 'e', 'r', 'i', 'n', 'g', ' ', 'c', 'a', 'l', 'l', 0})},
        {"every escape", "str 0x20 \"a\\\\b\\\"c\\td\\ne\\rf\\0g\\x41\\x7e\"", TRACE_STR, 0x20,
         bytes_of({'a', '\\', 'b', '"', 'c', '\t', 'd', '\n', 'e', '\r', 'f', 0, 'g', 'A', '~', 0})},
        {"hash and blanks inside quotes", "str 0x30 \"# x \t y\"  # real comment", TRACE_STR, 0x30,
         bytes_of({'#', ' ', 'x', ' ', '\t', ' ', 'y', 0})},
        {"empty text", "str 0x40 \"\"", TRACE_STR, 0x40, bytes_of({0})},
        {"\\0 before digits stays one NUL", "str 0x50 \"\\012\"", TRACE_STR, 0x50,
         bytes_of({0, '1', '2', 0})},
        {"high bytes", "str 0x60 \"\\xff\\xFe\"", TRACE_STR, 0x60, bytes_of({0xff, 0xfe, 0})},
    };
    for (const MemoryCase &c : cases) {
        SCOPED_TRACE(c.description);
        ParseResult r = parse(c.text);
        ASSERT_EQ(r.result, 1) << r.error;
        EXPECT_EQ(r.directive.op, c.op);
        EXPECT_EQ(r.directive.address, c.address);
        EXPECT_EQ(r.directive.bytes, c.bytes);
    }
}

struct EyeCase {
    const char *description;
    const char *text;
    int modem;
    std::vector<int> values;  // x0 y0 x1 y1 ...
};

TEST(TraceParse, EyeDirectives) {
    const EyeCase cases[] = {
        {"two points", "eye 1 1000 -1000 -1000 1000", 1, {1000, -1000, -1000, 1000}},
        {"the extremes of 16 bits", "eye 2 -32768 32767", 2, {-32768, 32767}},
        {"hexadecimal values", "eye 2 0x7fff -0x8000 0 +5", 2, {32767, -32768, 0, 5}},
        {"compact points, little-endian", "eyehex 1 e80318fc 0080ff7f", 1, {1000, -1000, -32768, 32767}},
        {"compact points split anywhere", "eyehex 2 e803 18 fc0100 0000", 2, {1000, -1000, 1, 0}},
    };
    for (const EyeCase &c : cases) {
        SCOPED_TRACE(c.description);
        ParseResult r = parse(c.text);
        ASSERT_EQ(r.result, 1) << r.error;
        EXPECT_EQ(r.directive.op, TRACE_EYE);
        EXPECT_EQ(r.directive.modem, c.modem);
        ASSERT_EQ(r.directive.points.size() * 2, c.values.size());
        for (size_t i = 0; i < r.directive.points.size(); ++i) {
            EXPECT_EQ(r.directive.points[i].x, c.values[2 * i]) << "point " << i;
            EXPECT_EQ(r.directive.points[i].y, c.values[2 * i + 1]) << "point " << i;
        }
    }
}

struct ValueCase {
    const char *description;
    const char *text;
    TraceOp op;
    int modem;          // cap directives
    uint32_t value;     // active, wait, fill count, fault value
    int fill_byte;      // cap fill
    TraceFault fault;   // fault
    std::vector<unsigned char> bytes;  // cap
};

TEST(TraceParse, ActiveWaitCaptureAndFaultDirectives) {
    const ValueCase cases[] = {
        {"two modems active", "active 2", TRACE_ACTIVE, 0, 2, 0, FAULT_OFF, {}},
        {"no modem active", "active 0 # call ended", TRACE_ACTIVE, 0, 0, 0, FAULT_OFF, {}},
        {"active takes any word", "active -1", TRACE_ACTIVE, 0, 0xFFFFFFFFu, 0, FAULT_OFF, {}},
        {"a pause", "wait 100", TRACE_WAIT, 0, 100, 0, FAULT_OFF, {}},
        {"no pause", "wait 0", TRACE_WAIT, 0, 0, 0, FAULT_OFF, {}},
        {"capture bytes", "cap 1 00ff 5a", TRACE_CAP, 1, 0, 0, FAULT_OFF, bytes_of({0, 0xff, 0x5a})},
        {"fill with a byte", "cap 2 fill 4096 5a", TRACE_CAP_FILL, 2, 4096, 0x5a, FAULT_OFF, {}},
        {"fill with zeros by default", "cap 1 fill 0x10", TRACE_CAP_FILL, 1, 16, 0, FAULT_OFF, {}},
        {"fill of nothing", "cap 1 fill 0 FF", TRACE_CAP_FILL, 1, 0, 0xff, FAULT_OFF, {}},
        {"largest fill", "cap 1 fill 0xFFFFFFFF", TRACE_CAP_FILL, 1, 0xFFFFFFFFu, 0, FAULT_OFF, {}},
        {"status count fault", "fault status-count 41", TRACE_FAULT, 0, 41, 0, FAULT_STATUS_COUNT, {}},
        {"eye count fault", "fault eye-count 513", TRACE_FAULT, 0, 513, 0, FAULT_EYE_COUNT, {}},
        {"capture count fault", "fault capture-count 0x80001", TRACE_FAULT, 0, 0x80001, 0,
         FAULT_CAPTURE_COUNT, {}},
        {"refuse open", "fault refuse-open 1", TRACE_FAULT, 0, 1, 0, FAULT_REFUSE_OPEN, {}},
        {"open again", "fault refuse-open 0", TRACE_FAULT, 0, 0, 0, FAULT_REFUSE_OPEN, {}},
        {"long setup value", "fault setup-size 8", TRACE_FAULT, 0, 8, 0, FAULT_SETUP_SIZE, {}},
        {"setup fault off", "fault setup-size 0", TRACE_FAULT, 0, 0, 0, FAULT_SETUP_SIZE, {}},
        {"all faults off", "fault off", TRACE_FAULT, 0, 0, 0, FAULT_OFF, {}},
        {"unreadable memory", "unreadable 0x80001000 511", TRACE_UNREADABLE, 0, 511, 0, FAULT_OFF, {}},
        {"unreadable last byte", "unreadable 0xFFFFFFFF 1", TRACE_UNREADABLE, 0, 1, 0, FAULT_OFF, {}},
        {"fetching modem", "fetch 2", TRACE_FETCH, 2, 0, 0, FAULT_OFF, {}},
        {"line shown", "shown \"Created new log file 3.log\"", TRACE_SHOWN, 0, 0, 0, FAULT_OFF,
         bytes_of({'C', 'r', 'e', 'a', 't', 'e', 'd', ' ', 'n', 'e', 'w', ' ', 'l', 'o', 'g', ' ', 'f',
                   'i', 'l', 'e', ' ', '3', '.', 'l', 'o', 'g'})},
        {"no line shown", "shown \"\"", TRACE_SHOWN, 0, 0, 0, FAULT_OFF, {}},
        {"session header", "session 2026-12-08T17:46:16.123Z \"LW\"", TRACE_SESSION, 0, 0, 0, FAULT_OFF,
         bytes_of({'L', 'W'})},
    };
    for (const ValueCase &c : cases) {
        SCOPED_TRACE(c.description);
        ParseResult r = parse(c.text);
        ASSERT_EQ(r.result, 1) << r.error;
        EXPECT_EQ(r.directive.op, c.op);
        EXPECT_EQ(r.directive.value, c.value);
        if (c.op == TRACE_CAP || c.op == TRACE_CAP_FILL) {
            EXPECT_EQ(r.directive.modem, c.modem);
        }
        if (c.op == TRACE_CAP_FILL) {
            EXPECT_EQ(r.directive.fill_byte, c.fill_byte);
        }
        if (c.op == TRACE_CAP || c.op == TRACE_SHOWN || c.op == TRACE_SESSION) {
            EXPECT_EQ(r.directive.bytes, c.bytes);
        }
        if (c.op == TRACE_FETCH) {
            EXPECT_EQ(r.directive.modem, c.modem);
        }
        if (c.op == TRACE_FAULT) {
            EXPECT_EQ(r.directive.fault, c.fault);
        }
    }
}

struct ErrorCase {
    const char *description;
    std::string text;
    const char *message;
};

TEST(TraceParse, MalformedLinesAreRefusedWithTheirMessage) {
    const ErrorCase cases[] = {
        // Names
        {"unknown directive", "rex 1 2", "unknown directive 'rex'"},
        {"directive names are lower case", "REC 1 2", "unknown directive 'REC'"},
        {"quoted directive", "\"rec\" 1 2", "unknown directive '\"rec\"'"},
        {"NUL byte", std::string("rec 1 2\0 3", 10), "NUL byte in line"},
        {"NUL byte in a comment", std::string("rec 1 2 #\0", 10), "NUL byte in line"},
        // rec
        {"rec without operands", "rec", "rec: missing MODEM"},
        {"rec without code", "rec 1 # 64", "rec: missing CODE"},
        {"nine parameters", "rec 1 2 1 2 3 4 5 6 7 8 9", "rec: more than eight parameters"},
        {"letters", "rec 1 x2", "rec CODE: bad number 'x2'"},
        {"digits then letters", "rec 1 12abc", "rec CODE: bad number '12abc'"},
        {"sign alone", "rec - 1", "rec MODEM: bad number '-'"},
        {"prefix alone", "rec 1 0x", "rec CODE: bad number '0x'"},
        {"bad hex digit", "rec 1 2 0x1G", "rec parameter: bad number '0x1G'"},
        {"quoted number", "rec 1 \"2\"", "rec CODE: bad number '\"2\"'"},
        {"two signs", "rec 1 +-2", "rec CODE: bad number '+-2'"},
        {"just above 32 bits", "rec 1 4294967296", "rec CODE: number out of range '4294967296'"},
        {"just below -2^31", "rec 1 2 -2147483649", "rec parameter: number out of range '-2147483649'"},
        {"hex above 32 bits", "rec 1 0x100000000", "rec CODE: number out of range '0x100000000'"},
        {"long digit run", "rec 1 2 99999999999999999999999999",
         "rec parameter: number out of range '99999999999999999999999999'"},
        // mem
        {"mem without operands", "mem", "mem: missing ADDR"},
        {"mem without bytes", "mem 0x10", "mem: missing BYTES"},
        {"mem at address 0", "mem 0 00", "mem: address must not be 0"},
        {"mem at address 0 in hex", "mem 0x0 00", "mem: address must not be 0"},
        {"odd digit count", "mem 0x10 00 abc", "mem: odd number of hex digits in 'abc'"},
        {"prefixed byte", "mem 0x10 0x1f", "mem: bad hex bytes '0x1f'"},
        {"non-hex byte", "mem 0x10 zz", "mem: bad hex bytes 'zz'"},
        {"block wrapping past 2^32", "mem 0xFFFFFFFF 0102",
         "mem: block of 2 bytes at 0xffffffff runs past address 0xffffffff"},
        {"bad address", "mem 1x 00", "mem ADDR: bad number '1x'"},
        // str
        {"str without operands", "str", "str: missing ADDR"},
        {"str without text", "str 0x10", "str: missing \"TEXT\""},
        {"unquoted text", "str 0x10 abc", "str: TEXT must be in double quotes, not 'abc'"},
        {"unterminated quote", "str 0x10 \"abc", "unterminated quoted text"},
        {"escaped closing quote", "str 0x10 \"abc\\\"", "unterminated quoted text"},
        {"backslash at line end", "str 0x10 \"abc\\", "unterminated quoted text"},
        {"unknown escape", "str 0x10 \"a\\qb\"", "str: unknown escape '\\q'"},
        {"\\x with one digit", "str 0x10 \"\\x4\"", "str: \\x needs two hex digits"},
        {"\\x with a non-hex digit", "str 0x10 \"\\x4g\"", "str: \\x needs two hex digits"},
        {"junk after the text", "str 0x10 \"abc\" junk", "str: unexpected 'junk' after the directive"},
        {"junk glued to the quote", "str 0x10 \"abc\"junk", "unexpected character 'j' after closing quote"},
        {"str at address 0", "str 0 \"a\"", "str: address must not be 0"},
        {"str wrapping past 2^32", "str 0xFFFFFFFF \"a\"",
         "str: block of 2 bytes at 0xffffffff runs past address 0xffffffff"},
        // active
        {"active without value", "active", "active: missing N"},
        {"active with two values", "active 1 2", "active: unexpected '2' after the directive"},
        {"active with a bad number", "active one", "active: bad number 'one'"},
        // eye
        {"eye without operands", "eye", "eye: missing MODEM"},
        {"eye without points", "eye 1", "eye: missing X Y"},
        {"eye modem 3", "eye 3 0 0", "eye MODEM: 3 is outside 1 to 2"},
        {"eye modem 0", "eye 0 0 0", "eye MODEM: 0 is outside 1 to 2"},
        {"x without y", "eye 1 5", "eye: odd number of values (X without Y)"},
        {"three values", "eye 1 1 2 3", "eye: odd number of values (X without Y)"},
        {"x above 16 bits", "eye 1 32768 0", "eye X: 32768 is outside -32768 to 32767"},
        {"y below 16 bits", "eye 1 0 -32769", "eye Y: -32769 is outside -32768 to 32767"},
        {"hex above 16 bits", "eye 2 0 0 0xffff 0", "eye X: 65535 is outside -32768 to 32767"},
        {"bad value", "eye 1 0 y", "eye Y: bad number 'y'"},
        // cap
        {"cap without operands", "cap", "cap: missing MODEM"},
        {"cap without bytes", "cap 1", "cap: missing BYTES"},
        {"cap modem 3", "cap 3 00", "cap MODEM: 3 is outside 1 to 2"},
        {"cap bad byte", "cap 1 0g", "cap: bad hex bytes '0g'"},
        {"cap odd digits", "cap 2 a", "cap: odd number of hex digits in 'a'"},
        {"fill without count", "cap 1 fill", "cap fill: missing COUNT"},
        {"fill byte of one digit", "cap 1 fill 10 5", "cap fill: BYTE must be two hex digits, not '5'"},
        {"fill byte of four digits", "cap 1 fill 10 5a5a",
         "cap fill: BYTE must be two hex digits, not '5a5a'"},
        {"fill byte not hex", "cap 1 fill 10 zz", "cap fill BYTE: bad hex bytes 'zz'"},
        {"fill with two bytes", "cap 1 fill 10 5a 6b", "cap fill: unexpected '6b' after the directive"},
        {"negative fill", "cap 1 fill -1", "cap fill COUNT: -1 is outside 0 to 4294967295"},
        // wait
        {"wait without time", "wait", "wait: missing MS"},
        {"negative wait", "wait -5", "wait: -5 is outside 0 to 4294967295"},
        {"wait with a unit", "wait 10 ms", "wait: unexpected 'ms' after the directive"},
        // fault
        {"fault without name", "fault", "fault: missing NAME"},
        {"unknown fault", "fault melt 1", "fault: unknown fault 'melt'"},
        {"fault without value", "fault eye-count", "fault: missing N"},
        {"refuse-open 2", "fault refuse-open 2", "fault refuse-open: N must be 1 or 0"},
        {"setup size of a word", "fault setup-size 4", "fault setup-size: N must be 0 or more than 4"},
        {"fault off with a value", "fault off 1", "fault off: unexpected '1' after the directive"},
        {"fault with two values", "fault eye-count 1 2", "fault: unexpected '2' after the directive"},
        {"negative count", "fault status-count -40", "fault: -40 is outside 0 to 4294967295"},
        // eyehex
        {"eyehex without points", "eyehex 1", "eyehex: missing POINTS"},
        {"eyehex half a point", "eyehex 1 e80318", "eyehex: points must be 8 hex digits each"},
        {"eyehex modem 0", "eyehex 0 e80318fc", "eyehex MODEM: 0 is outside 1 to 2"},
        // unreadable
        {"unreadable without length", "unreadable 0x10", "unreadable: missing LENGTH"},
        {"unreadable of nothing", "unreadable 0x10 0", "unreadable: LENGTH must not be 0"},
        {"unreadable at 0", "unreadable 0 4", "unreadable: address must not be 0"},
        {"unreadable past 2^32", "unreadable 0xFFFFFFFF 2",
         "unreadable: block of 2 bytes at 0xffffffff runs past address 0xffffffff"},
        // fetch, shown
        {"fetch modem 0", "fetch 0", "fetch MODEM: 0 is outside 1 to 2"},
        {"shown unquoted", "shown abc", "shown: TEXT must be in double quotes, not 'abc'"},
        {"shown with a NUL", "shown \"a\\0b\"", "shown: TEXT must not hold a NUL"},
        // session
        {"session without program", "session 2026-12-08T17:46:16.123Z", "session: missing \"PROGRAM\""},
        {"session time without ms", "session 2026-12-08T17:46:16Z \"LW\"",
         "session: TIME must be YYYY-MM-DDTHH:MM:SS.mmmZ, not '2026-12-08T17:46:16Z'"},
        {"session on 30 February", "session 2026-02-30T00:00:00.000Z \"LW\"",
         "session: TIME must be YYYY-MM-DDTHH:MM:SS.mmmZ, not '2026-02-30T00:00:00.000Z'"},
    };
    for (const ErrorCase &c : cases) {
        SCOPED_TRACE(c.description);
        ParseResult r = parse(c.text);
        EXPECT_EQ(r.result, -1);
        EXPECT_EQ(r.error, c.message);
    }
}

TEST(TraceParse, MessagesStayInsideTheCallersBuffer) {
    // A long bad token must be cut in the message, and the message cut to the
    // buffer: the bytes past the buffer keep their sentinel.
    std::string text = "rec 1 " + std::string(5000, 'q');
    char buffer[48];
    memset(buffer, '#', sizeof buffer);
    TraceDirective directive;
    ASSERT_EQ(parse_trace_line(text.data(), text.size(), &directive, buffer, 32), -1);
    EXPECT_EQ(strlen(buffer), 31u);
    for (size_t i = 32; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << "byte " << i;
    // Without a buffer the line is still refused.
    EXPECT_EQ(parse_trace_line(text.data(), text.size(), &directive, nullptr, 0), -1);
}

TEST(TraceParse, LengthIsHonouredWithoutATerminator) {
    // Only the first length bytes belong to the line: "rec 1 2" here, not
    // the junk that follows in the buffer.
    const char buffer[] = {'r', 'e', 'c', ' ', '1', ' ', '2', 'x', 'y', 'z'};
    TraceDirective directive;
    char error[128];
    ASSERT_EQ(parse_trace_line(buffer, 7, &directive, error, sizeof error), 1) << error;
    EXPECT_EQ(directive.record.code, 2u);
}

}  // namespace

namespace {

// Damaged lines: every prefix of good lines, and good lines with bytes
// replaced at random (fixed seed). Each must give a clean result, and a
// refused line a terminated message inside the buffer. Run under
// AddressSanitizer this also checks that no line is read past its length.
TEST(TraceParse, DamagedLinesNeverMisbehave) {
    const char *good[] = {
        "rec 1 64 36 0x80001000 -1 +7 4294967295 0 0 9  # comment",
        "mem 0x80001000 00 01 0a ff e0c105",
        "str 0x80002000 \"a\\\\b\\\"c\\td\\x41\\0 # not a comment\"",
        "eye 2 -32768 32767 100 -100",
        "cap 1 fill 4096 5a",
        "cap 2 00112233",
        "fault setup-size 8",
        "wait 100",
        "active 2",
    };
    unsigned seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    const char noise[] = {'\0', '"', '\\', '#', ' ', '\t', '\r', '\n', 'x', '0', '-', '\xff'};
    int checked = 0;
    for (const char *line : good) {
        std::string text = line;
        std::vector<std::string> variants;
        for (size_t cut = 0; cut <= text.size(); ++cut) variants.push_back(text.substr(0, cut));
        for (int round = 0; round < 300; ++round) {
            std::string damaged = text;
            int changes = 1 + next() % 3;
            for (int k = 0; k < changes; ++k) {
                damaged[next() % damaged.size()] = noise[next() % sizeof noise];
            }
            variants.push_back(damaged);
        }
        for (const std::string &variant : variants) {
            // An exact-size heap copy, so that reading past the end is caught.
            std::vector<char> copy(variant.begin(), variant.end());
            char error[64];
            memset(error, 'Z', sizeof error);
            TraceDirective directive;
            int result = parse_trace_line(copy.data(), copy.size(), &directive, error, sizeof error);
            ASSERT_TRUE(result == -1 || result == 0 || result == 1) << variant;
            ASSERT_NE(memchr(error, '\0', sizeof error), nullptr) << variant;
            if (result == -1) {
                EXPECT_NE(error[0], '\0') << "refused without a message: " << variant;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 2700);
}

}  // namespace
