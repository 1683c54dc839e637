// Error ratios in their short scientific form, worked out by hand.
#include "formatting/formatting.h"

#include <gtest/gtest.h>

namespace {

struct RateCase {
    const char *description;
    uint32_t total;
    uint32_t errors;
    const char *expected;
};

TEST(FormatErrorRate, FixedTextsAndForms)
{
    const RateCase cases[] = {
        {"nothing received", 0, 0, "NaN"},
        {"more errors than received", 50, 60, "NaN"},
        {"no errors", 50, 0, "0.00"},
        {"all in error", 50, 50, "1.00"},
        {"too few to give a ratio", 50, 1, "****"},
        {"1 in 200", 200, 1, "0.50e-2"},
        {"50 in 200, exponent +0", 200, 50, "0.25e+0"},
        {"3 in 5000", 5000, 3, "0.60e-3"},
        {"25 in a million", 1000000, 25, "0.2500e-4"},
        // Branch boundaries of the received count.
        {"total 99 is too few", 99, 1, "****"},
        {"total 99 still names no errors", 99, 0, "0.00"},
        {"total 99 still names all in error", 99, 99, "1.00"},
        {"total 100, short form", 100, 99, "0.99e+0"},
        {"total 10000, short form", 10000, 9999, "0.99e+0"},
        {"total 10001, long form", 10001, 1001, "0.1001e+0"},
        // A mantissa that reaches 100 or 10000 moves a digit into the exponent.
        {"1 in 100", 100, 1, "0.10e-1"},
        {"1 in 1000", 1000, 1, "0.10e-2"},
        {"1 in 10000", 10000, 1, "0.10e-3"},
        {"1 in 10001", 10001, 1, "0.1000e-3"},
        {"1 in 100000", 100000, 1, "0.1000e-4"},
        // Counts whose scaled value would wrap in 32 bits.
        {"3e9 in 4e9", 4000000000u, 3000000000u, "0.7500e+0"},
        {"1 in the largest count", 4294967295u, 1, "0.2328e-9"},
        {"5e8 in 1e9", 1000000000u, 500000000u, "0.5000e+0"},
    };
    for (const RateCase &c : cases) {
        SCOPED_TRACE(c.description);
        const char *text = format_error_rate(c.total, c.errors);
        EXPECT_STREQ(c.expected, text);
        EXPECT_LE(std::char_traits<char>::length(text), 10u);
    }
}

}  // namespace
