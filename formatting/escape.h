// The escaped form of a line: exactly one output line whose every byte can
// be told apart. Backslash is written \\, TAB \t, line feed \n, carriage
// return \r, and every other byte below 0x20 or from 0x7f up as \xHH.
#pragma once

#include <cstdio>

// Writes the escaped line and a newline.
void put_escaped(const char *line, FILE *out);
