// Value-formatting helpers shared by the status decoder's handlers.
//
// format_error_rate, format_db16 and format_q8 return text in a static buffer
// of their own that the next call of the same helper overwrites: a handler
// that needs two results of one helper in one line copies the first away.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies source to dest up to and including its NUL, but at most n
// characters; when source has n or more characters no NUL is written.
void copy_text(const char *source, char *dest, size_t n);

// The name of a modulation code; "unknown" for any code without one.
const char *modulation_name(uint32_t modulation);

// errors / total in a short scientific form ("0.25e+0", "0.2500e-4"), or one
// of the fixed texts "NaN", "0.00", "1.00", "****". At most 10 characters.
const char *format_error_rate(uint32_t total, uint32_t errors);

// A signed value in 1/16 units: " 1.5000", "-0.0625", " 1.0".
const char *format_db16(int32_t value);

// A signed value in 1/256 units: " 0.000", " 0.0039", " 0.097", "-0.99".
const char *format_q8(int32_t value);

// Writes each byte as two lower-case hex digits, then a NUL; returns the
// number of characters written (2 * length). dest needs 2 * length + 1 bytes.
int hex_string(char *dest, const unsigned char *bytes, size_t length);

// Bits per second of a rate code; 33600 for any code without an entry.
long rate_bps(uint32_t rate);

// Whether text[0..length) ends with `suffix` (lower case), the text's ASCII
// capitals taken as small letters: ".CSV" ends with ".csv".
bool ends_with_folded(const char *text, size_t length, const char *suffix);
