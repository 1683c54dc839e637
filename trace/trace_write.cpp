// Formatting the directives of the trace format straight into the caller's
// buffer: the session writer formats millions of record lines an hour with
// these, so numbers are written without printf, two digits at a time.
#include "trace/trace_write.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

const char HEX_DIGITS[] = "0123456789abcdef";

// Two decimal digits for each value below 100.
constexpr auto DIGIT_PAIRS = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[size_t(2 * i)] = char('0' + i / 10);
        pairs[size_t(2 * i + 1)] = char('0' + i % 10);
    }
    return pairs;
}();

// Two digits of a value below 100 at out.
inline void put_pair(char *out, uint32_t value) { memcpy(out, &DIGIT_PAIRS[size_t(value) * 2], 2); }

char *append_text(char *out, const char *text, size_t length) {
    memcpy(out, text, length);
    return out + length;
}

// A directive whose one operand is a decimal count.
char *write_counted(char *out, const char *head, size_t head_length, uint64_t value) {
    out = trace_append_decimal(append_text(out, head, head_length), value);
    *out++ = '\n';
    return out;
}

}  // namespace

// The digits are written from the last, two at a time, into their place.
char *trace_append_decimal(char *out, uint64_t value) {
    int digits = 1;
    for (uint64_t bound = 10; digits < 20 && value >= bound; bound *= 10) ++digits;
    char *at = out + digits;
    while (value >= 100) {
        at -= 2;
        put_pair(at, uint32_t(value % 100));
        value /= 100;
    }
    if (value >= 10) {
        put_pair(out, uint32_t(value));
    } else {
        out[0] = char('0' + value);
    }
    return out + digits;
}

char *trace_append_hex_word(char *out, uint32_t value) {
    const int digits = value == 0 ? 1 : (std::bit_width(value) + 3) / 4;
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = HEX_DIGITS[value & 0xF];
        value >>= 4;
    }
    return out + digits;
}

// The short ones, nearly every word of a record, each by the one path of
// their length.
char *trace_append_word(char *out, uint32_t value) {
    if (value < 10) {
        *out = char('0' + value);
        return out + 1;
    }
    if (value < 100) {
        put_pair(out, value);
        return out + 2;
    }
    if (value < 1000) {
        *out = char('0' + value / 100);
        put_pair(out + 1, value % 100);
        return out + 3;
    }
    if (value < 10000) {
        put_pair(out, value / 100);
        put_pair(out + 2, value % 100);
        return out + 4;
    }
    if (value < 100000) {
        *out = char('0' + value / 10000);
        put_pair(out + 1, value / 100 % 100);
        put_pair(out + 3, value % 100);
        return out + 5;
    }
    *out++ = '0';
    *out++ = 'x';
    return trace_append_hex_word(out, value);
}

char *trace_append_hex_bytes(char *out, const unsigned char *bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        *out++ = HEX_DIGITS[bytes[i] >> 4];
        *out++ = HEX_DIGITS[bytes[i] & 0xF];
    }
    return out;
}

char *trace_append_quoted(char *out, const char *text, size_t length) {
    *out++ = '"';
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '\\': out = append_text(out, "\\\\", 2); break;
        case '"': out = append_text(out, "\\\"", 2); break;
        case '\t': out = append_text(out, "\\t", 2); break;
        case '\n': out = append_text(out, "\\n", 2); break;
        case '\r': out = append_text(out, "\\r", 2); break;
        default:
            if (c < 0x20 || c >= 0x7f) {
                const char escape[4] = {'\\', 'x', HEX_DIGITS[c >> 4], HEX_DIGITS[c & 0xF]};
                out = append_text(out, escape, 4);
            } else {
                *out++ = char(c);
            }
        }
    }
    *out++ = '"';
    return out;
}

char *trace_write_rec(char *out, const StatusRecord &record) {
    const uint32_t params[8] = {record.param1, record.param2, record.param3, record.param4,
                                record.param5, record.param6, record.param7, record.param8};
    size_t given = 8;
    while (given > 0 && params[given - 1] == 0) --given;
    out = trace_append_word(append_text(out, "rec ", 4), record.modem);
    *out++ = ' ';
    out = trace_append_word(out, record.code);
    for (size_t i = 0; i < given; ++i) {
        *out++ = ' ';
        out = trace_append_word(out, params[i]);
    }
    *out++ = '\n';
    return out;
}

char *trace_write_mem(char *out, uint32_t address, const unsigned char *bytes, size_t count) {
    out = trace_append_hex_word(append_text(out, "mem 0x", 6), address);
    *out++ = ' ';
    out = trace_append_hex_bytes(out, bytes, count);
    *out++ = '\n';
    return out;
}

char *trace_write_unreadable(char *out, uint32_t address, uint32_t length) {
    out = trace_append_hex_word(append_text(out, "unreadable 0x", 13), address);
    *out++ = ' ';
    out = trace_append_decimal(out, length);
    *out++ = '\n';
    return out;
}

char *trace_write_wait(char *out, uint32_t ms) { return write_counted(out, "wait ", 5, ms); }

char *trace_write_active(char *out, uint32_t active_modems) {
    return write_counted(out, "active ", 7, active_modems);
}

char *trace_write_fetch(char *out, int modem) { return write_counted(out, "fetch ", 6, uint64_t(modem)); }

char *trace_write_shown(char *out, const char *text, size_t length) {
    out = trace_append_quoted(append_text(out, "shown ", 6), text, length);
    *out++ = '\n';
    return out;
}

char *trace_write_session(char *out, int64_t time_ms, const char *program, size_t length) {
    char time_text[SESSION_TIME_LENGTH + 1];
    format_session_time(time_ms, time_text, sizeof time_text);
    out = append_text(append_text(out, "session ", 8), time_text, SESSION_TIME_LENGTH);
    *out++ = ' ';
    out = trace_append_quoted(out, program, length);
    *out++ = '\n';
    return out;
}

char *trace_write_eyehex_head(char *out, int modem) {
    out = trace_append_decimal(append_text(out, "eyehex ", 7), uint64_t(modem));
    *out++ = ' ';
    return out;
}

char *trace_append_eye_points(char *out, const EyePoint *points, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint16_t x = uint16_t(points[i].x), y = uint16_t(points[i].y);
        const unsigned char bytes[4] = {uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)};
        out = trace_append_hex_bytes(out, bytes, 4);
    }
    return out;
}
