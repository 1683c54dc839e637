// The directives of the trace format: each one's parser over the tokens of
// its line, and parse_trace_line, which picks the parser by the directive's
// name.
//
// A trailing CR (CRLF files) is dropped; a NUL byte anywhere in a line is an
// error, since no directive can hold one literally (a text gets one through
// the \0 escape). Anything left over after a complete directive is an error.
#include "trace/trace.h"

#include <cstring>

#include "trace/trace_tokens.h"

using namespace trace_tokens;

namespace {

// Each directive's parser: tokens[0] is the directive's name. They return 1
// with *out filled, or -1 with the error written.

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
