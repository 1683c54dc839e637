// copy_text, hex_string and modulation_name, with sentinel bytes to catch
// writes past what each helper may touch.
#include "formatting/formatting.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr char SENTINEL = static_cast<char>(0xA5);

struct CopyCase {
    const char *description;
    const char *source;
    size_t n;
    size_t bytes_written;  // characters copied, NUL included when copied
    bool ends_with_nul;
};

TEST(CopyText, StopsAtNulOrCount)
{
    const CopyCase cases[] = {
        {"12 characters, n=10: ten copied, no NUL", "abcdefghijkl", 10, 10, false},
        {"4 characters, n=10: four and the NUL", "abcd", 10, 5, true},
        {"n=0 writes nothing", "abcd", 0, 0, false},
        {"exactly n characters: no NUL", "abcdefghij", 10, 10, false},
        {"n-1 characters: NUL fits", "abcdefghi", 10, 10, true},
        {"empty text: only the NUL", "", 10, 1, true},
    };
    for (const CopyCase &c : cases) {
        SCOPED_TRACE(c.description);
        char dest[32];
        std::memset(dest, SENTINEL, sizeof(dest));
        copy_text(c.source, dest, c.n);
        const size_t chars = c.ends_with_nul ? c.bytes_written - 1 : c.bytes_written;
        EXPECT_EQ(0, std::memcmp(dest, c.source, chars));
        if (c.ends_with_nul) {
            EXPECT_EQ('\0', dest[chars]);
        }
        for (size_t i = c.bytes_written; i < sizeof(dest); ++i)
            ASSERT_EQ(SENTINEL, dest[i]) << "byte " << i << " written";
    }
}

struct HexCase {
    const char *description;
    unsigned char bytes[4];
    size_t length;
    const char *expected;
};

TEST(HexString, TwoLowerCaseDigitsPerByte)
{
    const HexCase cases[] = {
        {"0x0a 0xff", {0x0a, 0xff}, 2, "0aff"},
        {"leading zeros kept", {0x00, 0x10, 0x9c}, 3, "00109c"},
        {"all digits", {0x01, 0x23, 0xab, 0xcd}, 4, "0123abcd"},
        {"length 0 writes only the NUL", {0x55}, 0, ""},
    };
    for (const HexCase &c : cases) {
        SCOPED_TRACE(c.description);
        char dest[16];
        std::memset(dest, SENTINEL, sizeof(dest));
        EXPECT_EQ(static_cast<int>(2 * c.length), hex_string(dest, c.bytes, c.length));
        EXPECT_STREQ(c.expected, dest);
        for (size_t i = 2 * c.length + 1; i < sizeof(dest); ++i)
            ASSERT_EQ(SENTINEL, dest[i]) << "byte " << i << " written";
    }
}

struct ModulationCase {
    uint32_t code;
    const char *expected;
};

TEST(ModulationName, EveryCodeAndUnknowns)
{
    const ModulationCase cases[] = {
        {0x0, "idle"},
        {0x1, "v.25"},
        {0x2, "v.8"},
        {0x10, "v.21"},
        {0x20, "v.22/v.22bis"},
        {0x40, "v.23"},
        {0x80, "v.32/v.32bis/v.32terbo"},
        {0x100, "v.34"},
        {0x200, "X2 PCM"},
        {0x400, "v.90"},
        {0x800, "k56Flex"},
        {0x1000, "v.27ter"},
        {0x2000, "v.29"},
        {0x4000, "v.17"},
        {0x8000, "v.34 half-duplex"},
        {0x8002, "v.34 half-duplex"},
        {0x10000, "v.34 half-duplex control channel"},
        {0x100000, "Bell 103"},
        {0x200000, "Bell 212"},
        {0x3, "unknown"},
        {0x4, "unknown"},
        {0x8001, "unknown"},
        {0x20000, "unknown"},
        {0x300000, "unknown"},
        {0xFFFFFFFF, "unknown"},
    };
    for (const ModulationCase &c : cases) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
        EXPECT_STREQ(c.expected, modulation_name(c.code));
    }
}

}  // namespace
