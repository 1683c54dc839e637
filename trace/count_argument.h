// A count given on a program's command line (a fault's N, --eye-every,
// the calls that --compare names).
#pragma once

#include <cstdint>

// Decimal digits only, 0 to 4294967295: no sign, no prefix, no blanks, no
// trailing text. A leading zero is just a digit ("010" is ten), never the
// mark of an octal number.
bool parse_count(const char *text, uint32_t *value);
