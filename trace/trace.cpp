// Reader of Tarvel trace files.
//
// A line is cut into tokens separated by blanks and TABs; '#' outside a
// quoted text ends the line. A trailing CR (CRLF files) is dropped; a NUL
// byte anywhere in a line is an error, since no directive can hold one
// literally (a text gets one through the \0 escape). Every operand is
// checked, and anything left over after a complete directive is an error,
// so a typing slip never turns silently into a different trace.
//
// Standard input is named "<stdin>" in error messages.
#include "trace/trace.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>

#include <fcntl.h>
#include <zlib.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// One token of a line: raw points at its first character (the opening quote
// for a quoted text) and length counts every character up to and including
// the closing quote.
struct Token {
    const char *raw;
    size_t length;
    bool quoted;
};

struct Line {
    std::vector<Token> tokens;
    char *error;
    size_t error_size;
};

// Writes the message into the caller's buffer and returns -1, the result of
// parse_trace_line for a malformed line.
[[gnu::format(printf, 2, 3)]] int fail(Line &line, const char *format, ...) {
    if (line.error != nullptr && line.error_size > 0) {
        va_list args;
        va_start(args, format);
        vsnprintf(line.error, line.error_size, format, args);
        va_end(args);
    }
    return -1;
}

// Tokens are quoted in messages cut to this many characters, so a mistyped
// megabyte-long token does not flood the terminal.
constexpr int SHOWN_TOKEN = 40;

int shown_length(const Token &token) {
    return token.length > SHOWN_TOKEN ? SHOWN_TOKEN : static_cast<int>(token.length);
}

bool is_separator(char c) { return c == ' ' || c == '\t'; }

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool token_is(const Token &token, const char *word) {
    size_t n = strlen(word);
    return !token.quoted && token.length == n && memcmp(token.raw, word, n) == 0;
}

// Cuts text[0..length) into tokens. A quoted text runs to the first quote
// not preceded by a backslash; it must be followed by a separator, a comment
// or the end of the line.
int tokenize(const char *text, size_t length, Line &line) {
    size_t i = 0;
    while (i < length) {
        char c = text[i];
        if (is_separator(c)) {
            ++i;
            continue;
        }
        if (c == '#') break;
        size_t start = i;
        if (c == '"') {
            ++i;
            while (i < length && text[i] != '"') i += (text[i] == '\\') ? 2 : 1;
            if (i >= length) return fail(line, "unterminated quoted text");
            ++i;  // past the closing quote
            if (i < length && !is_separator(text[i]) && text[i] != '#') {
                return fail(line, "unexpected character '%c' after closing quote", text[i]);
            }
            line.tokens.push_back(Token{text + start, i - start, true});
        } else {
            while (i < length && !is_separator(text[i]) && text[i] != '#') ++i;
            line.tokens.push_back(Token{text + start, i - start, false});
        }
    }
    return 0;
}

// A number of the trace: decimal with an optional sign, or hexadecimal with
// the prefix 0x or 0X (a sign is taken there too: -0x1 is -1). value
// receives the number itself, not yet folded into 32 bits.
enum NumberResult { NUMBER_OK, NUMBER_BAD, NUMBER_TOO_BIG };

NumberResult parse_number(const Token &token, int64_t *value) {
    if (token.quoted || token.length == 0) return NUMBER_BAD;
    const char *p = token.raw;
    const char *end = token.raw + token.length;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    unsigned base = 10;
    if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (p == end) return NUMBER_BAD;
    // The magnitude stops growing past 2^32: enough to tell "too big" from
    // any valid value without overflowing on a long run of digits.
    uint64_t magnitude = 0;
    bool too_big = false;
    for (; p < end; ++p) {
        int digit = hex_digit_value(*p);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) return NUMBER_BAD;
        if (!too_big) {
            magnitude = magnitude * base + static_cast<unsigned>(digit);
            if (magnitude > 0xFFFFFFFFull) too_big = true;
        }
    }
    if (too_big) return NUMBER_TOO_BIG;
    if (negative && magnitude > 0x80000000ull) return NUMBER_TOO_BIG;
    *value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return NUMBER_OK;
}

// A number between low and high (inclusive); what names the operand.
bool parse_ranged(Line &line, const Token &token, const char *what, int64_t low, int64_t high,
                  int64_t *value, int *result) {
    switch (parse_number(token, value)) {
    case NUMBER_BAD:
        *result = fail(line, "%s: bad number '%.*s'", what, shown_length(token), token.raw);
        return false;
    case NUMBER_TOO_BIG:
        *result = fail(line, "%s: number out of range '%.*s'", what, shown_length(token), token.raw);
        return false;
    case NUMBER_OK:
        break;
    }
    if (*value < low || *value > high) {
        *result = fail(line, "%s: %lld is outside %lld to %lld", what, static_cast<long long>(*value),
                       static_cast<long long>(low), static_cast<long long>(high));
        return false;
    }
    return true;
}

// A 32-bit word: -2147483648 to 4294967295, negatives in two's complement.
bool parse_word(Line &line, const Token &token, const char *what, uint32_t *word, int *result) {
    int64_t value = 0;
    if (!parse_ranged(line, token, what, -2147483648LL, 4294967295LL, &value, result)) return false;
    *word = static_cast<uint32_t>(value);
    return true;
}

// A count or a duration: a 32-bit word that is not negative.
bool parse_count(Line &line, const Token &token, const char *what, uint32_t *count, int *result) {
    int64_t value = 0;
    if (!parse_ranged(line, token, what, 0, 4294967295LL, &value, result)) return false;
    *count = static_cast<uint32_t>(value);
    return true;
}

// The modem of an eye or cap directive: 1 or 2.
bool parse_modem(Line &line, const Token &token, const char *what, int *modem, int *result) {
    int64_t value = 0;
    if (!parse_ranged(line, token, what, 1, 2, &value, result)) return false;
    *modem = static_cast<int>(value);
    return true;
}

// Appends the bytes of one hex token ("e0c105": three bytes).
bool parse_hex_bytes(Line &line, const Token &token, const char *what,
                     std::vector<unsigned char> *bytes, int *result) {
    if (token.quoted) {
        *result = fail(line, "%s: bad hex bytes '%.*s'", what, shown_length(token), token.raw);
        return false;
    }
    for (size_t i = 0; i < token.length; ++i) {
        if (hex_digit_value(token.raw[i]) < 0) {
            *result = fail(line, "%s: bad hex bytes '%.*s'", what, shown_length(token), token.raw);
            return false;
        }
    }
    if (token.length % 2 != 0) {
        *result = fail(line, "%s: odd number of hex digits in '%.*s'", what, shown_length(token),
                       token.raw);
        return false;
    }
    for (size_t i = 0; i < token.length; i += 2) {
        bytes->push_back(static_cast<unsigned char>(hex_digit_value(token.raw[i]) * 16 +
                                                    hex_digit_value(token.raw[i + 1])));
    }
    return true;
}

// Decodes the escapes of a quoted text (quotes excluded) into bytes.
bool parse_quoted_text(Line &line, const Token &token, const char *what,
                       std::vector<unsigned char> *bytes, int *result) {
    const char *p = token.raw + 1;
    const char *end = token.raw + token.length - 1;
    while (p < end) {
        if (*p != '\\') {
            bytes->push_back(static_cast<unsigned char>(*p++));
            continue;
        }
        // The tokenizer guarantees a character after every backslash.
        char kind = p[1];
        p += 2;
        switch (kind) {
        case '\\': bytes->push_back('\\'); break;
        case '"': bytes->push_back('"'); break;
        case 't': bytes->push_back('\t'); break;
        case 'n': bytes->push_back('\n'); break;
        case 'r': bytes->push_back('\r'); break;
        case '0': bytes->push_back(0); break;
        case 'x': {
            int high = p < end ? hex_digit_value(p[0]) : -1;
            int low = p + 1 < end ? hex_digit_value(p[1]) : -1;
            if (high < 0 || low < 0) {
                *result = fail(line, "%s: \\x needs two hex digits", what);
                return false;
            }
            bytes->push_back(static_cast<unsigned char>(high * 16 + low));
            p += 2;
            break;
        }
        default:
            *result = fail(line, "%s: unknown escape '\\%c'", what, kind);
            return false;
        }
    }
    return true;
}

// A block of driver memory must start at a nonzero address and fit below
// 2^32: a block that wrapped round to address 0 would land somewhere else.
bool check_block(Line &line, const char *what, uint32_t address, size_t size, int *result) {
    if (address == 0) {
        *result = fail(line, "%s: address must not be 0", what);
        return false;
    }
    if (size > 0 && static_cast<uint64_t>(address) + (size - 1) > 0xFFFFFFFFull) {
        *result = fail(line, "%s: block of %lu bytes at 0x%lx runs past address 0xffffffff", what,
                       static_cast<unsigned long>(size), static_cast<unsigned long>(address));
        return false;
    }
    return true;
}

// Each directive's parser: tokens[0] is the directive's name. They return 1
// with *out filled, or -1 with the error written.

int missing(Line &line, const char *what, const char *operand) {
    return fail(line, "%s: missing %s", what, operand);
}

int check_no_more(Line &line, const char *what, size_t used) {
    if (line.tokens.size() > used) {
        const Token &junk = line.tokens[used];
        return fail(line, "%s: unexpected '%.*s' after the directive", what, shown_length(junk),
                    junk.raw);
    }
    return 1;
}

int parse_rec(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "rec", "MODEM");
    if (t.size() < 3) return missing(line, "rec", "CODE");
    if (t.size() > 11) return fail(line, "rec: more than eight parameters");
    out->op = TRACE_REC;
    int result = 1;
    uint32_t params[8] = {};
    if (!parse_word(line, t[1], "rec MODEM", &out->record.modem, &result)) return result;
    if (!parse_word(line, t[2], "rec CODE", &out->record.code, &result)) return result;
    for (size_t i = 3; i < t.size(); ++i) {
        if (!parse_word(line, t[i], "rec parameter", &params[i - 3], &result)) return result;
    }
    out->record.param1 = params[0];
    out->record.param2 = params[1];
    out->record.param3 = params[2];
    out->record.param4 = params[3];
    out->record.param5 = params[4];
    out->record.param6 = params[5];
    out->record.param7 = params[6];
    out->record.param8 = params[7];
    return 1;
}

int parse_mem(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "mem", "ADDR");
    if (t.size() < 3) return missing(line, "mem", "BYTES");
    out->op = TRACE_MEM;
    int result = 1;
    if (!parse_word(line, t[1], "mem ADDR", &out->address, &result)) return result;
    if (out->address == 0) return fail(line, "mem: address must not be 0");
    for (size_t i = 2; i < t.size(); ++i) {
        if (!parse_hex_bytes(line, t[i], "mem", &out->bytes, &result)) return result;
    }
    if (!check_block(line, "mem", out->address, out->bytes.size(), &result)) return result;
    return 1;
}

int parse_str(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "str", "ADDR");
    if (t.size() < 3) return missing(line, "str", "\"TEXT\"");
    out->op = TRACE_STR;
    int result = 1;
    if (!parse_word(line, t[1], "str ADDR", &out->address, &result)) return result;
    if (out->address == 0) return fail(line, "str: address must not be 0");
    if (!t[2].quoted) {
        return fail(line, "str: TEXT must be in double quotes, not '%.*s'", shown_length(t[2]),
                    t[2].raw);
    }
    if (!parse_quoted_text(line, t[2], "str", &out->bytes, &result)) return result;
    out->bytes.push_back(0);
    if (!check_block(line, "str", out->address, out->bytes.size(), &result)) return result;
    return check_no_more(line, "str", 3);
}

int parse_active(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "active", "N");
    out->op = TRACE_ACTIVE;
    int result = 1;
    if (!parse_word(line, t[1], "active", &out->value, &result)) return result;
    return check_no_more(line, "active", 2);
}

int parse_eye(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "eye", "MODEM");
    if (t.size() < 3) return missing(line, "eye", "X Y");
    out->op = TRACE_EYE;
    int result = 1;
    if (!parse_modem(line, t[1], "eye MODEM", &out->modem, &result)) return result;
    if ((t.size() - 2) % 2 != 0) return fail(line, "eye: odd number of values (X without Y)");
    out->points.reserve((t.size() - 2) / 2);
    for (size_t i = 2; i < t.size(); i += 2) {
        int64_t x = 0, y = 0;
        if (!parse_ranged(line, t[i], "eye X", -32768, 32767, &x, &result)) return result;
        if (!parse_ranged(line, t[i + 1], "eye Y", -32768, 32767, &y, &result)) return result;
        out->points.push_back(EyePoint{static_cast<int16_t>(x), static_cast<int16_t>(y)});
    }
    return 1;
}

int parse_cap(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "cap", "MODEM");
    if (t.size() < 3) return missing(line, "cap", "BYTES");
    int result = 1;
    if (!parse_modem(line, t[1], "cap MODEM", &out->modem, &result)) return result;
    if (!token_is(t[2], "fill")) {
        out->op = TRACE_CAP;
        for (size_t i = 2; i < t.size(); ++i) {
            if (!parse_hex_bytes(line, t[i], "cap", &out->bytes, &result)) return result;
        }
        return 1;
    }
    out->op = TRACE_CAP_FILL;
    if (t.size() < 4) return missing(line, "cap fill", "COUNT");
    if (!parse_count(line, t[3], "cap fill COUNT", &out->value, &result)) return result;
    out->fill_byte = 0;
    if (t.size() < 5) return 1;
    std::vector<unsigned char> fill;
    if (t[4].length != 2 || !parse_hex_bytes(line, t[4], "cap fill BYTE", &fill, &result)) {
        if (result == 1) {
            result = fail(line, "cap fill: BYTE must be two hex digits, not '%.*s'",
                          shown_length(t[4]), t[4].raw);
        }
        return result;
    }
    out->fill_byte = fill[0];
    return check_no_more(line, "cap fill", 5);
}

int parse_wait(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "wait", "MS");
    out->op = TRACE_WAIT;
    int result = 1;
    if (!parse_count(line, t[1], "wait", &out->value, &result)) return result;
    return check_no_more(line, "wait", 2);
}

// Eye points in their compact form: each point is eight hex digits, the
// little-endian 16-bit X and then Y as they come from the driver
// ("e803 18fc" is X 1000, Y -1000). Tokens may split the digits anywhere.
int parse_eyehex(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "eyehex", "MODEM");
    if (t.size() < 3) return missing(line, "eyehex", "POINTS");
    out->op = TRACE_EYE;
    int result = 1;
    if (!parse_modem(line, t[1], "eyehex MODEM", &out->modem, &result)) return result;
    std::vector<unsigned char> bytes;
    for (size_t i = 2; i < t.size(); ++i) {
        if (!parse_hex_bytes(line, t[i], "eyehex", &bytes, &result)) return result;
    }
    if (bytes.size() % 4 != 0) return fail(line, "eyehex: points must be 8 hex digits each");
    out->points.reserve(bytes.size() / 4);
    for (size_t i = 0; i < bytes.size(); i += 4) {
        const uint16_t x = static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
        const uint16_t y = static_cast<uint16_t>(bytes[i + 2] | (bytes[i + 3] << 8));
        out->points.push_back(EyePoint{static_cast<int16_t>(x), static_cast<int16_t>(y)});
    }
    return 1;
}

int parse_session(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "session", "TIME");
    if (t.size() < 3) return missing(line, "session", "\"PROGRAM\"");
    out->op = TRACE_SESSION;
    if (t[1].quoted || !parse_session_time(t[1].raw, t[1].length, &out->time_ms)) {
        return fail(line, "session: TIME must be YYYY-MM-DDTHH:MM:SS.mmmZ, not '%.*s'",
                    shown_length(t[1]), t[1].raw);
    }
    if (!t[2].quoted) {
        return fail(line, "session: PROGRAM must be in double quotes, not '%.*s'",
                    shown_length(t[2]), t[2].raw);
    }
    int result = 1;
    if (!parse_quoted_text(line, t[2], "session", &out->bytes, &result)) return result;
    return check_no_more(line, "session", 3);
}

int parse_unreadable(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "unreadable", "ADDR");
    if (t.size() < 3) return missing(line, "unreadable", "LENGTH");
    out->op = TRACE_UNREADABLE;
    int result = 1;
    if (!parse_word(line, t[1], "unreadable ADDR", &out->address, &result)) return result;
    if (!parse_count(line, t[2], "unreadable LENGTH", &out->value, &result)) return result;
    if (out->value == 0) return fail(line, "unreadable: LENGTH must not be 0");
    if (!check_block(line, "unreadable", out->address, out->value, &result)) return result;
    return check_no_more(line, "unreadable", 3);
}

int parse_fetch(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "fetch", "MODEM");
    out->op = TRACE_FETCH;
    int result = 1;
    if (!parse_modem(line, t[1], "fetch MODEM", &out->modem, &result)) return result;
    return check_no_more(line, "fetch", 2);
}

int parse_shown(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "shown", "\"TEXT\"");
    out->op = TRACE_SHOWN;
    if (!t[1].quoted) {
        return fail(line, "shown: TEXT must be in double quotes, not '%.*s'", shown_length(t[1]),
                    t[1].raw);
    }
    int result = 1;
    if (!parse_quoted_text(line, t[1], "shown", &out->bytes, &result)) return result;
    if (!out->bytes.empty() && memchr(out->bytes.data(), 0, out->bytes.size()) != nullptr) {
        return fail(line, "shown: TEXT must not hold a NUL");
    }
    return check_no_more(line, "shown", 2);
}

// Faults of the simulated driver, one row per name as a trace writes it.
struct FaultName {
    const char *name;
    TraceFault fault;
};
constexpr FaultName fault_names[] = {
    {"status-count",  FAULT_STATUS_COUNT},
    {"eye-count",     FAULT_EYE_COUNT},
    {"capture-count", FAULT_CAPTURE_COUNT},
    {"refuse-open",   FAULT_REFUSE_OPEN},
    {"setup-size",    FAULT_SETUP_SIZE},
    {"off",           FAULT_OFF},
};

int parse_fault(Line &line, TraceDirective *out) {
    const std::vector<Token> &t = line.tokens;
    if (t.size() < 2) return missing(line, "fault", "NAME");
    out->op = TRACE_FAULT;
    const FaultName *found = nullptr;
    for (const FaultName &row : fault_names) {
        if (token_is(t[1], row.name)) found = &row;
    }
    if (found == nullptr) {
        return fail(line, "fault: unknown fault '%.*s'", shown_length(t[1]), t[1].raw);
    }
    out->fault = found->fault;
    out->value = 0;
    if (found->fault == FAULT_OFF) return check_no_more(line, "fault off", 2);
    if (t.size() < 3) return missing(line, "fault", "N");
    int result = 1;
    if (!parse_count(line, t[2], "fault", &out->value, &result)) return result;
    if (found->fault == FAULT_REFUSE_OPEN && out->value > 1) {
        return fail(line, "fault refuse-open: N must be 1 or 0");
    }
    // The setup value is a 4-byte word; the fault makes it longer (or, with
    // 0, switches the fault off).
    if (found->fault == FAULT_SETUP_SIZE && out->value != 0 && out->value <= 4) {
        return fail(line, "fault setup-size: N must be 0 or more than 4");
    }
    return check_no_more(line, "fault", 3);
}

struct DirectiveParser {
    const char *name;
    int (*parse)(Line &line, TraceDirective *out);
};
constexpr DirectiveParser directive_parsers[] = {
    {"rec",    parse_rec},
    {"mem",    parse_mem},
    {"str",    parse_str},
    {"active", parse_active},
    {"eye",    parse_eye},
    {"cap",    parse_cap},
    {"wait",   parse_wait},
    {"fault",  parse_fault},
    {"eyehex", parse_eyehex},
    {"session", parse_session},
    {"unreadable", parse_unreadable},
    {"fetch",  parse_fetch},
    {"shown",  parse_shown},
};

}  // namespace

int parse_trace_line(const char *text, size_t length, TraceDirective *out, char *error,
                     size_t error_size) {
    if (error != nullptr && error_size > 0) error[0] = '\0';
    *out = TraceDirective{};
    Line line{{}, error, error_size};
    line.tokens.reserve(8);  // a record line and its parameters in one allocation
    if (text == nullptr) return 0;
    // The line as read may still carry its line feed and, in a CRLF file,
    // the CR before it.
    if (length > 0 && text[length - 1] == '\n') --length;
    if (length > 0 && text[length - 1] == '\r') --length;
    if (memchr(text, '\0', length) != nullptr) return fail(line, "NUL byte in line");
    if (tokenize(text, length, line) < 0) return -1;
    if (line.tokens.empty()) return 0;
    const Token &name = line.tokens[0];
    for (const DirectiveParser &row : directive_parsers) {
        if (token_is(name, row.name)) {
            int result = row.parse(line, out);
            if (result < 0) *out = TraceDirective{};
            return result;
        }
    }
    return fail(line, "unknown directive '%.*s'", shown_length(name), name.raw);
}

namespace {

// How the input behind a trace ended once no more characters come.
enum SourceEnd {
    SOURCE_END_CLEAN,  // the whole input was read
    SOURCE_END_CUT,    // compressed data stopped short or turned bad: what came before is kept
    SOURCE_END_FAILED, // a read error
};

// Lines from a stdio stream, without the stream's lock where the platform
// has such a call.
struct StreamSource {
    FILE *input;
    uint64_t consumed = 0;  // characters read so far
    int get() {
        ++consumed;
#ifdef _WIN32
        return getc(input);
#else
        return getc_unlocked(input);
#endif
    }
    SourceEnd end(std::string *message) {
        if (!ferror(input)) return SOURCE_END_CLEAN;
        *message = strerror(errno != 0 ? errno : EIO);
        return SOURCE_END_FAILED;
    }
};

// Lines from a file descriptor: gzip data (told by its first two bytes) is
// inflated, anything else passed through as it is. Inflating is done here
// rather than through gzread so that data that turns bad midway still gives
// every byte inflated before the damage, and concatenated gzip members are
// read one after another as gzip does.
struct DescriptorSource {
    static constexpr size_t CHUNK = 1 << 16;
    int descriptor;
    z_stream stream{};
    bool gzip = false;
    bool started = false;
    bool inflating = false;   // stream initialised
    bool input_done = false;  // the descriptor has no more bytes
    SourceEnd state = SOURCE_END_CLEAN;
    bool ended = false;
    std::string message;
    std::vector<unsigned char> in = std::vector<unsigned char>(CHUNK);
    std::vector<unsigned char> out = std::vector<unsigned char>(CHUNK);
    size_t out_at = 0, out_length = 0;
    uint64_t consumed = 0;  // bytes of the file read so far

    explicit DescriptorSource(int fd) : descriptor(fd) {}
    ~DescriptorSource() {
        if (inflating) inflateEnd(&stream);
    }

    int get() {
        if (out_at < out_length) return out[out_at++];
        if (!refill()) return EOF;
        return out[out_at++];
    }

    SourceEnd end(std::string *text) {
        *text = message;
        return state;
    }

    void finish(SourceEnd how, const char *text) {
        ended = true;
        state = how;
        message = text != nullptr ? text : "";
    }

    // Reads more input into in; false at its end or on an error.
    bool read_input(size_t *count) {
        for (;;) {
#ifdef _WIN32
            const int n = _read(descriptor, in.data(), unsigned(CHUNK));
#else
            const ssize_t n = read(descriptor, in.data(), CHUNK);
#endif
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                finish(SOURCE_END_FAILED, strerror(errno));
                return false;
            }
            if (n == 0) input_done = true;
            consumed += uint64_t(n);
            *count = size_t(n);
            return n > 0;
        }
    }

    bool refill() {
        out_at = out_length = 0;
        while (!ended) {
            if (!started) {
                started = true;
                size_t count = 0;
                if (!read_input(&count) && !input_done) continue;
                gzip = count >= 2 && in[0] == 0x1f && in[1] == 0x8b;
                if (!gzip) {  // a plain file: what was read is the first output
                    if (count == 0) {
                        if (input_done) finish(SOURCE_END_CLEAN, nullptr);
                        continue;
                    }
                    std::copy(in.begin(), in.begin() + std::ptrdiff_t(count), out.begin());
                    out_length = count;
                    return true;
                }
                if (inflateInit2(&stream, 15 + 16) != Z_OK) {
                    finish(SOURCE_END_FAILED, strerror(ENOMEM));
                    continue;
                }
                inflating = true;
                stream.next_in = in.data();
                stream.avail_in = unsigned(count);
            }
            if (!gzip) {
                size_t count = 0;
                if (!read_input(&count)) {
                    if (input_done) finish(SOURCE_END_CLEAN, nullptr);
                    continue;
                }
                std::swap(in, out);
                out_length = count;
                return true;
            }
            if (stream.avail_in == 0 && !input_done) {
                size_t count = 0;
                if (!read_input(&count) && !input_done) continue;
                stream.next_in = in.data();
                stream.avail_in = unsigned(count);
            }
            stream.next_out = out.data();
            stream.avail_out = unsigned(CHUNK);
            const int result = inflate(&stream, Z_NO_FLUSH);
            out_length = CHUNK - stream.avail_out;
            if (result == Z_STREAM_END) {
                // Another member may follow; the end of the input ends the file.
                if (stream.avail_in == 0 && !input_done) {
                    size_t count = 0;
                    if (read_input(&count)) {
                        stream.next_in = in.data();
                        stream.avail_in = unsigned(count);
                    }
                }
                if (stream.avail_in == 0) {
                    finish(SOURCE_END_CLEAN, nullptr);
                } else {
                    inflateReset(&stream);
                }
            } else if (result == Z_BUF_ERROR || (result == Z_OK && out_length == 0)) {
                if (input_done && stream.avail_in == 0) finish(SOURCE_END_CUT, "unexpected end of file");
            } else if (result != Z_OK) {
                finish(result == Z_MEM_ERROR ? SOURCE_END_FAILED : SOURCE_END_CUT,
                       stream.msg != nullptr ? stream.msg : "invalid compressed data");
            }
            if (out_length > 0) return true;
        }
        return false;
    }
};

// How reading one line ended.
enum LineEnd {
    LINE_COMPLETE,      // up to its line feed
    LINE_UNTERMINATED,  // the input ended inside the line
    LINE_NONE,          // the input ended before the line
    LINE_TOO_LONG,      // longer than TRACE_LINE_MAX (what was read is dropped)
};

// Reads one line (without its line feed) into text. The length is counted,
// not found by a NUL, so a NUL inside is kept and seen.
template <class Source>
LineEnd read_line(Source &source, std::string &text) {
    text.clear();
    int c;
    while ((c = source.get()) != EOF) {
        if (c == '\n') return LINE_COMPLETE;
        if (text.size() >= TRACE_LINE_MAX) return LINE_TOO_LONG;
        text.push_back(static_cast<char>(c));
    }
    return text.empty() ? LINE_NONE : LINE_UNTERMINATED;
}

// What the directives read so far carry over to the ones that follow.
struct FoldState {
    int fetch_modem;      // of the latest fetch directive, 0 before any
    bool seen;            // a directive has been read
    bool session;         // the first directive opened a session
    bool shown_pending;   // a shown directive waits for its record
    std::vector<unsigned char> shown;
};

// Where the directives read go, one by one.
struct DirectiveOut {
    TraceDirectiveSink sink;
    void *context;
    bool stopped;  // the sink asked to stop
};

// Folds a parsed directive into the trace read so far: fetch sets the
// fetching modem of the records after it, shown belongs to the record right
// after it, session may only open the trace. Returns false with the message
// written for a directive out of place.
bool add_directive(TraceDirective &directive, DirectiveOut &out, uint64_t input_bytes, FoldState &state,
                   char *error, size_t error_size) {
    const bool first = !state.seen;
    state.seen = true;
    if (state.shown_pending && directive.op != TRACE_REC) {
        snprintf(error, error_size, "shown: not followed by its record");
        return false;
    }
    switch (directive.op) {
    case TRACE_SESSION:
        if (!first) {
            snprintf(error, error_size, "session: only as the first directive of a trace");
            return false;
        }
        state.session = true;
        break;
    case TRACE_FETCH:
        state.fetch_modem = directive.modem;
        return true;
    case TRACE_SHOWN:
        state.shown_pending = true;
        state.shown = std::move(directive.bytes);
        return true;
    case TRACE_REC:
        directive.fetched_by = state.fetch_modem;
        if (state.shown_pending) {
            directive.has_shown = true;
            directive.bytes = std::move(state.shown);
            state.shown_pending = false;
            state.shown.clear();
        }
        break;
    default:
        break;
    }
    if (!out.sink(out.context, directive, input_bytes)) {
        out.stopped = true;
        return false;
    }
    return true;
}

// Says a reader's message: into the report when the caller keeps one,
// else on standard error.
void say(TraceReport *report, bool warning, const char *format, ...) __attribute__((format(printf, 3, 4)));
void say(TraceReport *report, bool warning, const char *format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (report == nullptr) {
        fprintf(stderr, "%s\n", text);
    } else {
        (warning ? report->warning : report->error) = text;
    }
}

template <class Source>
TraceReadResult read_lines(Source &source, const char *file_name, DirectiveOut &out, TraceReport *report) {
    if (file_name == nullptr) file_name = "<trace>";
    std::string text;
    std::string message;
    int line_number = 0;
    FoldState state{};
    TraceReadResult result = TRACE_READ_OK;
    for (;;) {
        errno = 0;
        const LineEnd got = read_line(source, text);
        if (got == LINE_NONE) break;
        ++line_number;
        if (got == LINE_TOO_LONG) {
            say(report, false, "%s:%d: line longer than %lu bytes", file_name, line_number,
                    static_cast<unsigned long>(TRACE_LINE_MAX));
            result = TRACE_READ_MALFORMED;
            break;
        }
        if (got == LINE_UNTERMINATED) {
            // A session's writer ends every line it writes; a compressed
            // stream that was cut ends wherever the cut fell. Either way the
            // last line may be a fragment and is left out.
            const SourceEnd end = source.end(&message);
            if (end == SOURCE_END_CUT || (end == SOURCE_END_CLEAN && state.session)) {
                say(report, true, "%s:%d: warning: file cut short inside this line (%s); read up to line %d",
                        file_name, line_number,
                        end == SOURCE_END_CUT ? message.c_str() : "no line feed", line_number - 1);
                return TRACE_READ_OK;
            }
        }
        TraceDirective directive;
        char error[256];
        int parsed = parse_trace_line(text.data(), text.size(), &directive, error, sizeof error);
        if (parsed > 0) {
            directive.line_number = line_number;
            if (!add_directive(directive, out, source.consumed, state, error, sizeof error)) parsed = -1;
        }
        if (out.stopped) return TRACE_READ_FAILED;
        if (parsed < 0) {
            say(report, false, "%s:%d: %s", file_name, line_number, error);
            result = TRACE_READ_MALFORMED;
            break;
        }
    }
    if (result == TRACE_READ_OK) {
        switch (source.end(&message)) {
        case SOURCE_END_CLEAN:
            if (state.shown_pending) {
                say(report, false, "%s:%d: shown: not followed by its record", file_name, line_number);
                result = TRACE_READ_MALFORMED;
            }
            break;
        case SOURCE_END_CUT:
            say(report, true, "%s: warning: %s; read up to line %d", file_name, message.c_str(),
                    line_number);
            break;
        case SOURCE_END_FAILED:
            say(report, false, "%s: %s", file_name, message.c_str());
            result = TRACE_READ_FAILED;
            break;
        }
    }
    return result;
}

// The directives into a vector, which holds nothing when the read fails.
bool push_directive(void *context, TraceDirective &directive, uint64_t) {
    static_cast<std::vector<TraceDirective> *>(context)->push_back(std::move(directive));
    return true;
}

TraceReadResult into_vector(TraceReadResult result, std::vector<TraceDirective> *out) {
    if (result != TRACE_READ_OK) {
        out->clear();
        out->shrink_to_fit();
    }
    return result;
}

TraceReadResult read_descriptor_each(int descriptor, const char *file_name, DirectiveOut &out, TraceReport *report) {
    if (descriptor < 0) {
        say(report, false, "%s: %s", file_name, strerror(errno != 0 ? errno : EBADF));
        return TRACE_READ_FAILED;
    }
    DescriptorSource source(descriptor);
    const TraceReadResult result = read_lines(source, file_name, out, report);
#ifdef _WIN32
    _close(descriptor);
#else
    close(descriptor);
#endif
    return result;
}

}  // namespace

bool read_trace(FILE *input, const char *file_name, std::vector<TraceDirective> *out) {
    out->clear();
    StreamSource source{input};
    DirectiveOut sink{push_directive, out, false};
    return into_vector(read_lines(source, file_name, sink, nullptr), out) == TRACE_READ_OK;
}

TraceReadResult read_trace_descriptor(int descriptor, const char *file_name,
                                      std::vector<TraceDirective> *out, TraceReport *report) {
    out->clear();
    DirectiveOut sink{push_directive, out, false};
    return into_vector(read_descriptor_each(descriptor, file_name, sink, report), out);
}

TraceReadResult read_trace_path_each(const char *path, TraceDirectiveSink sink, void *context,
                                     TraceReport *report) {
    DirectiveOut out{sink, context, false};
    if (strcmp(path, "-") == 0) {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
        return read_descriptor_each(_dup(_fileno(stdin)), "<stdin>", out, report);
#else
        return read_descriptor_each(dup(fileno(stdin)), "<stdin>", out, report);
#endif
    }
#ifdef _WIN32
    const int descriptor = _open(path, _O_RDONLY | _O_BINARY);
#else
    const int descriptor = open(path, O_RDONLY);
#endif
    if (descriptor < 0) {
        say(report, false, "%s: %s", path, strerror(errno));
        return TRACE_READ_FAILED;
    }
    return read_descriptor_each(descriptor, path, out, report);
}

TraceReadResult read_trace_path(const char *path, std::vector<TraceDirective> *out, TraceReport *report) {
    out->clear();
    return into_vector(read_trace_path_each(path, push_directive, out, report), out);
}

bool read_trace_file(const char *path, std::vector<TraceDirective> *out) {
    return read_trace_path(path, out) == TRACE_READ_OK;
}

bool parse_count(const char *text, uint32_t *value) {
    if (text == nullptr || text[0] == '\0' || text[0] == '-' || text[0] == '+') {
        return false;
    }
    char *end = nullptr;
    errno = 0;
    const unsigned long long parsed = strtoull(text, &end, 0);
    if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull) {
        return false;
    }
    *value = uint32_t(parsed);
    return true;
}

bool read_trace_files(const std::vector<const char *> &paths, std::vector<TraceDirective> *out) {
    for (const char *path : paths) {
        std::vector<TraceDirective> directives;
        if (!read_trace_file(path, &directives)) {
            return false;
        }
        out->insert(out->end(), directives.begin(), directives.end());
    }
    return true;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, and
// back (Howard Hinnant's civil-date algorithms).
static int64_t days_from_civil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

static void civil_from_days(int64_t days, int64_t *year, int *month, int *day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t day_of_era = days - era * 146097;
    const int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t mp = (5 * day_of_year + 2) / 153;
    *day = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
    *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *year = year_of_era + era * 400 + (*month <= 2);
}

void format_session_time(int64_t time_ms, char *text, size_t size) {
    if (size == 0) return;
    // Years 1970 to 9999: what four digits hold.
    const int64_t last_ms = days_from_civil(10000, 1, 1) * 86400000 - 1;
    if (time_ms < 0) time_ms = 0;
    if (time_ms > last_ms) time_ms = last_ms;
    const int64_t days = time_ms / 86400000;
    const int64_t in_day = time_ms % 86400000;
    int64_t year = 0;
    int month = 0, day = 0;
    civil_from_days(days, &year, &month, &day);
    snprintf(text, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", static_cast<int>(year), month, day,
             static_cast<int>(in_day / 3600000), static_cast<int>(in_day / 60000 % 60),
             static_cast<int>(in_day / 1000 % 60), static_cast<int>(in_day % 1000));
}

bool parse_session_time(const char *text, size_t length, int64_t *time_ms) {
    // Positions of the digits and separators of "YYYY-MM-DDTHH:MM:SS.mmmZ".
    static const char pattern[] = "dddd-dd-ddTdd:dd:dd.dddZ";
    if (length != sizeof pattern - 1) return false;
    for (size_t i = 0; i < length; ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return false;
    }
    auto number = [text](size_t at, size_t digits) {
        int value = 0;
        for (size_t i = 0; i < digits; ++i) value = value * 10 + (text[at + i] - '0');
        return value;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    const int ms = number(20, 3);
    if (year < 1970 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    static const int month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > month_days[month - 1] || (month == 2 && day == 29 && !leap)) return false;
    *time_ms = ((days_from_civil(year, month, day) * 24 + hour) * 60 + minute) * 60000 +
               second * 1000 + ms;
    return true;
}
