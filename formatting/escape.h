// The escaped form of a line: exactly one output line whose every byte can
// be told apart. Backslash is written \\, TAB \t, line feed \n, carriage
// return \r, and every other byte below 0x20 or from 0x7f up as \xHH.
#pragma once

#include <cstddef>
#include <cstdio>

// Writes the escaped line and a newline.
void put_escaped(const char *line, FILE *out);

// The escaped line and a newline into out, NUL-terminated; its length
// without the NUL. A line whose escaped form does not fit is cut after its
// last whole escaped byte that fits (4 * strlen(line) + 2 bytes always do).
size_t escape_line(const char *line, char *out, size_t capacity);
