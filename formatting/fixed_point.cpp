// Signed fixed-point values in 1/16 units (levels in 1/16 dB) and in 1/256
// units. The magnitude is taken in 64 bits so that INT32_MIN prints its true
// value instead of overflowing.
#include "formatting/formatting.h"

#include <cstdio>

namespace {

char db16_text[32];
char q8_text[32];

struct SignedMagnitude {
    char sign;
    uint64_t magnitude;
};

SignedMagnitude split_sign(int32_t value)
{
    if (value >= 0)
        return {' ', static_cast<uint64_t>(value)};
    return {'-', static_cast<uint64_t>(-static_cast<int64_t>(value))};
}

}  // namespace

const char *format_db16(int32_t value)
{
    const SignedMagnitude v = split_sign(value);
    const long whole = static_cast<long>(v.magnitude >> 4);
    const long fraction = static_cast<long>(v.magnitude & 15);
    // One sixteenth needs its leading zero; every other fraction code prints
    // f * 625 as it comes (0 as ".0", 2..15 as four digits).
    if (fraction == 1)
        std::snprintf(db16_text, sizeof(db16_text), "%c%ld.0625", v.sign, whole);
    else
        std::snprintf(db16_text, sizeof(db16_text), "%c%ld.%ld", v.sign, whole, fraction * 625);
    return db16_text;
}

const char *format_q8(int32_t value)
{
    const SignedMagnitude v = split_sign(value);
    const long whole = static_cast<long>(v.magnitude >> 8);
    // The fraction a/256 in units of 1e-8 is exact: s = a * 390625 (at most
    // 99,609,375, well inside 32 bits).
    const long s = static_cast<long>(v.magnitude & 255) * 390625;
    if (s < 1000000)
        std::snprintf(q8_text, sizeof(q8_text), "%c%ld.00%ld", v.sign, whole, s / 10000);
    else if (s < 10000000)
        std::snprintf(q8_text, sizeof(q8_text), "%c%ld.0%ld", v.sign, whole, s / 100000);
    else
        std::snprintf(q8_text, sizeof(q8_text), "%c%ld.%ld", v.sign, whole, s / 1000000);
    return q8_text;
}
