// Error ratio in a short scientific form: "0.25e+0" (two-digit mantissa for
// up to 10000 received units), "0.2500e-4" (four digits above that).
#include "formatting/formatting.h"

#include <cstdio>

namespace {
char error_rate_text[16];
}

const char *format_error_rate(uint32_t total, uint32_t errors)
{
    if (total == 0 || total < errors)
        return "NaN";
    if (errors == 0)
        return "0.00";
    if (errors == total)
        return "1.00";
    if (total < 100)
        return "****";

    // Scale the error count by tens until it just passes the total. 64-bit
    // arithmetic: counts above 429,496,729 would wrap in 32 bits.
    uint64_t scaled = errors;
    int k = 0;
    do {
        scaled *= 10;
        ++k;
    } while (scaled <= total);
    int exponent = 1 - k;

    // The truncated divisor can make the mantissa one digit too long (1 error
    // in 100 gives 100); shift that digit into the exponent so the text keeps
    // its width and still reads the true ratio.
    const bool short_form = total <= 10000;
    const uint64_t limit = short_form ? 100 : 10000;
    uint64_t mantissa = scaled / (short_form ? total / 10 : total / 1000);
    while (mantissa >= limit) {
        mantissa /= 10;
        ++exponent;
    }
    std::snprintf(error_rate_text, sizeof(error_rate_text),
                  short_form ? "0.%1lde%+2d" : "0.%03lde%+2d",
                  static_cast<long>(mantissa), exponent);
    return error_rate_text;
}
