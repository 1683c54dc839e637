// Counts on a command line: decimal digits only, a leading zero never octal.
#include <gtest/gtest.h>

#include "trace/count_argument.h"

namespace {

TEST(CountArgument, DecimalDigitsOnly) {
    const struct {
        const char *text;
        bool ok;
        uint32_t value;
    } cases[] = {
        {"0", true, 0},          {"7", true, 7},           {"010", true, 10},      {"08", true, 8},
        {"4294967295", true, 4294967295u}, {"00000000000000000000001", true, 1},
        {"4294967296", false, 0}, {"99999999999999999999999", false, 0},
        {"0x10", false, 0},      {"-1", false, 0},         {"+1", false, 0},       {"", false, 0},
        {" 1", false, 0},        {"1 ", false, 0},         {"1e3", false, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t value = 12345;
        EXPECT_EQ(parse_count(c.text, &value), c.ok);
        EXPECT_EQ(value, c.ok ? c.value : 12345u);
    }
    EXPECT_FALSE(parse_count(nullptr, nullptr));
}

}  // namespace
