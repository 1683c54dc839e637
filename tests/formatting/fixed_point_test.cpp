// 1/16 and 1/256 fixed-point texts, worked out by hand.
#include "formatting/formatting.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct FixedCase {
    const char *description;
    int32_t value;
    const char *expected;
};

TEST(FormatDb16, EveryFractionCodeAndSign)
{
    const FixedCase cases[] = {
        {"f=0 prints a single zero", 0, " 0.0"},
        {"f=1 keeps its leading zero", 1, " 0.0625"},
        {"f=2", 2, " 0.1250"},
        {"f=3", 3, " 0.1875"},
        {"f=4", 4, " 0.2500"},
        {"f=5", 5, " 0.3125"},
        {"f=6", 6, " 0.3750"},
        {"f=7", 7, " 0.4375"},
        {"f=8", 8, " 0.5000"},
        {"f=9", 9, " 0.5625"},
        {"f=10", 10, " 0.6250"},
        {"f=11", 11, " 0.6875"},
        {"f=12", 12, " 0.7500"},
        {"f=13", 13, " 0.8125"},
        {"f=14", 14, " 0.8750"},
        {"f=15", 15, " 0.9375"},
        {"one and a half", 24, " 1.5000"},
        {"minus one sixteenth", -1, "-0.0625"},
        {"whole one", 16, " 1.0"},
        {"minus whole one", -16, "-1.0"},
        {"minus 17 sixteenths", -17, "-1.0625"},
        {"31 sixteenths", 31, " 1.9375"},
        {"566 sixteenths", 566, " 35.3750"},
        {"largest value", INT32_MAX, " 134217727.9375"},
        {"most negative value keeps its true magnitude", INT32_MIN, "-134217728.0"},
    };
    for (const FixedCase &c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_STREQ(c.expected, format_db16(c.value));
    }
}

TEST(FormatQ8, FractionBranchesAndSign)
{
    const FixedCase cases[] = {
        {"a=0", 0, " 0.000"},
        {"a=1", 1, " 0.0039"},
        {"a=2", 2, " 0.0078"},
        {"a=3, first three-digit fraction", 3, " 0.011"},
        {"a=25, last three-digit fraction", 25, " 0.097"},
        {"a=26, first two-digit fraction", 26, " 0.10"},
        {"a=255", 255, " 0.99"},
        {"whole one", 256, " 1.000"},
        {"one and a half", 384, " 1.50"},
        {"minus two and a half", -640, "-2.50"},
        {"259", 259, " 1.011"},
        {"-255", -255, "-0.99"},
        {"minus one 256th", -1, "-0.0039"},
        {"largest value", INT32_MAX, " 8388607.99"},
        {"most negative value keeps its true magnitude", INT32_MIN, "-8388608.000"},
    };
    for (const FixedCase &c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_STREQ(c.expected, format_q8(c.value));
    }
}

TEST(FormatFixedPoint, EachHelperHasItsOwnBuffer)
{
    const char *db = format_db16(24);
    const char *q = format_q8(384);
    EXPECT_STREQ(" 1.5000", db);
    EXPECT_STREQ(" 1.50", q);
    EXPECT_NE(db, q);
}

}  // namespace
