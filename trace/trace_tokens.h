// The lexical layer of the trace format, shared by the directive parsers:
// a line cut into tokens, and each kind of operand (number, 32-bit word,
// count, modem, hex bytes, quoted text) checked with its message. Every
// function that finds an operand wrong writes the message into the line's
// error buffer and hands back -1, the result of a malformed line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trace_tokens {

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

// Writes the message into the line's buffer; returns -1.
[[gnu::format(printf, 2, 3)]] int fail(Line &line, const char *format, ...);

// How many characters of a token a message quotes (at most 40), so that a
// mistyped megabyte-long token does not flood the terminal.
int shown_length(const Token &token);

int hex_digit_value(char c);
bool token_is(const Token &token, const char *word);

// Cuts text[0..length) into tokens. A quoted text runs to the first quote
// not preceded by a backslash; it must be followed by a separator, a comment
// or the end of the line. 0, or -1 with the message written.
int tokenize(const char *text, size_t length, Line &line);

// Operands: true with the value, or false with *result = -1 and the
// message written; what names the operand in the message.
//   ranged: a number between low and high (inclusive)
//   word:   a 32-bit word, -2147483648 to 4294967295, negatives in two's complement
//   count:  a 32-bit word that is not negative (a count or a duration)
//   modem:  1 or 2
bool parse_ranged(Line &line, const Token &token, const char *what, int64_t low, int64_t high,
                  int64_t *value, int *result);
bool parse_word(Line &line, const Token &token, const char *what, uint32_t *word, int *result);
bool parse_count(Line &line, const Token &token, const char *what, uint32_t *count, int *result);
bool parse_modem(Line &line, const Token &token, const char *what, int *modem, int *result);
// Appends the bytes of one hex token ("e0c105": three bytes).
bool parse_hex_bytes(Line &line, const Token &token, const char *what, std::vector<unsigned char> *bytes,
                     int *result);
// Decodes the escapes of a quoted text (quotes excluded) into bytes.
bool parse_quoted_text(Line &line, const Token &token, const char *what, std::vector<unsigned char> *bytes,
                       int *result);
// A block of driver memory must start at a nonzero address and fit below
// 2^32: a block that wrapped round to address 0 would land somewhere else.
bool check_block(Line &line, const char *what, uint32_t address, size_t size, int *result);

// The message of a missing operand; -1.
int missing(Line &line, const char *what, const char *operand);
// 1 when the line holds no more than `used` tokens, else -1 with the message.
int check_no_more(Line &line, const char *what, size_t used);

}  // namespace trace_tokens
