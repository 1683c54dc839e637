// The lexical layer of the trace format: tokens and operands.
//
// A line is cut into tokens separated by blanks and TABs; '#' outside a
// quoted text ends the line. Every operand is checked, so a typing slip never
// turns silently into a different trace.
#include "trace/trace_tokens.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace trace_tokens {

namespace {

bool is_separator(char c) { return c == ' ' || c == '\t'; }

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

}  // namespace

int fail(Line &line, const char *format, ...) {
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

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool token_is(const Token &token, const char *word) {
    // Most tokens compared differ in their first character: no length
    // counted for those.
    if (token.length == 0 || token.raw[0] != word[0]) return false;
    size_t n = strlen(word);
    return !token.quoted && token.length == n && memcmp(token.raw, word, n) == 0;
}

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

}  // namespace trace_tokens
