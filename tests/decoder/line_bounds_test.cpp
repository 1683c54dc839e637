// The decoder writes only inside the caller's 512-byte line: sentinel bytes
// behind the line (and, for this file's own codes, behind the NUL) must stay
// untouched for every record of the sweep.
#include "decoder/status.h"

#include <gtest/gtest.h>

#include <set>

#include "sweep.h"

namespace {

constexpr unsigned char SENTINEL = 0xA5;

// Codes whose handlers live with the families; they are checked against the
// line's end only.
const std::set<uint32_t> FAMILY_CODES = {65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76,
                                         78, 79, 80, 81, 84, 87, 88, 89, 95, 96, 128};

TEST(LineBounds, NeverWrittenPastTheLine)
{
    const DriverMemory memory = map_memory(sweep::MAP);
    alignas(8) unsigned char buffer[2 * STATUS_LINE_BYTES];
    int records = 0;
    sweep::for_each_record([&](const StatusRecord &r) {
        ++records;
        std::memset(buffer, SENTINEL, sizeof(buffer));
        StatusLine &line = reinterpret_cast<StatusLine &>(buffer);
        decode_status(r, memory, line);

        const void *nul = std::memchr(buffer, '\0', STATUS_LINE_BYTES);
        ASSERT_NE(nullptr, nul) << "code " << r.code << " p1 " << r.param1 << " p2 " << r.param2
                                << ": no NUL inside the line";
        for (size_t i = STATUS_LINE_BYTES; i < sizeof(buffer); ++i)
            ASSERT_EQ(SENTINEL, buffer[i]) << "code " << r.code << " p1 " << r.param1 << " p2 "
                                           << r.param2 << ": byte " << i << " written";
        // Code 97 reads the driver text straight into the line, so bytes
        // behind its NUL may hold the rest of the read.
        if (r.code == 97 || FAMILY_CODES.count(r.code) != 0)
            return;
        const size_t end = static_cast<const unsigned char *>(nul) - buffer;
        for (size_t i = end + 1; i < STATUS_LINE_BYTES; ++i)
            ASSERT_EQ(SENTINEL, buffer[i]) << "code " << r.code << " p1 " << r.param1 << " p2 "
                                           << r.param2 << ": byte " << i << " behind the NUL";
    });
    EXPECT_GT(records, 40000);
}

TEST(LineBounds, LongDriverTextFillsTheLineExactly)
{
    alignas(8) unsigned char buffer[2 * STATUS_LINE_BYTES];
    std::memset(buffer, SENTINEL, sizeof(buffer));
    StatusLine &line = reinterpret_cast<StatusLine &>(buffer);
    const StatusRecord r{97, sweep::LONG_TEXT, 0, 0, 0, 0, 0, 0, 0, 1};
    decode_status(r, map_memory(sweep::MAP), line);
    EXPECT_EQ('\t', buffer[510]);
    EXPECT_EQ('\0', buffer[511]);
    EXPECT_EQ(SENTINEL, buffer[512]);
    EXPECT_EQ(510u, std::strspn(line, "y"));
}

}  // namespace
