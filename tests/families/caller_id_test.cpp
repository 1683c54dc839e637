// Caller-ID reports (code 72): errors, counts, time, number, name, dumps.
#include "family_test_support.h"

namespace {

TEST(CallerId, LinesWithoutDriverMemory) {
    const LineCase cases[] = {
        {"error 0 raw, four places", make_record(72, {0, 0}), "Caller ID error    0 "},
        {"error 1", make_record(72, {0, 1}), "Caller ID error: mark signal error "},
        {"error 2", make_record(72, {0, 2}), "Caller ID error: too many mark bits between message words "},
        {"error 3", make_record(72, {0, 3}), "Caller ID error: message too long,  truncated "},
        {"error 4 checksum", make_record(72, {0, 4, 0x1f}), "Caller ID error: checksum error 0x  1f "},
        {"error 4 checksum unsigned", make_record(72, {0, 4, -1}), "Caller ID error: checksum error 0xffffffff "},
        {"error 5 raw", make_record(72, {0, 5}), "Caller ID error    5 "},
        {"error -1 raw", make_record(72, {0, -1}), "Caller ID error   -1 "},
        {"error wider than four", make_record(72, {0, 12345}), "Caller ID error 12345 "},
        {"channel seizure", make_record(72, {1, 10}), "Caller ID, 10 bytes of channel seizure received "},
        {"mark signal", make_record(72, {2, -3}), "Caller ID, -3 bytes of mark signal received "},
        {"finished ends in line feed", make_record(72, {6}), "Caller ID reception finished.\n"},
        {"9 no line", make_record(72, {9, 1, 1}), ""},
        {"-1 no line", make_record(72, {-1, 1, 1}), ""},
    };
    check_cases(decode_caller_id, cases, std::size(cases));
}

using CallerIdBlocks = DriverMemoryTest;

TEST_F(CallerIdBlocks, TimeReadsExactlyEightCharacters) {
    const uint32_t at = place(FakeDriverMemory::BASE + 8, "12251830", 8);
    EXPECT_EQ(run_handler(decode_caller_id, make_record(72, {3, 100000, at})), "Caller ID, IDtime: 12/25, 18:30 ");
    EXPECT_EQ(memory.bytes_requested, 8u);

    reset_counts();
    EXPECT_EQ(run_handler(decode_caller_id, make_record(72, {3, 8, BAD_ADDRESS})),
              "Caller ID, IDtime: <unreadable> ");
    // Seven readable bytes are not a time.
    const uint32_t last_seven = FakeDriverMemory::BASE + FakeDriverMemory::SIZE - 7;
    EXPECT_EQ(run_handler(decode_caller_id, make_record(72, {3, 8, last_seven})),
              "Caller ID, IDtime: <unreadable> ");
}

TEST_F(CallerIdBlocks, NumberAndName) {
    const uint32_t number = place(FakeDriverMemory::BASE + 100, "5551234", 7);
    const uint32_t short_number = place(FakeDriverMemory::BASE + 200, "55\0" "99999", 8);
    const uint32_t name = place(FakeDriverMemory::BASE + 300, "JOHN SMITH", 10);
    const BlockCase cases[] = {
        {"number whole", make_record(72, {4, 7, number}), "Caller ID, telephone number: 5551234 ", 7},
        {"number cut at count", make_record(72, {4, 3, number}), "Caller ID, telephone number: 555 ", 3},
        {"number ends at NUL", make_record(72, {4, 7, short_number}), "Caller ID, telephone number: 55 ", 7},
        {"number count 0", make_record(72, {4, 0, number}), "Caller ID, telephone number:  ", 0},
        {"number negative count", make_record(72, {4, -1, number}), "Caller ID, telephone number:  ", 0},
        {"number unreadable", make_record(72, {4, 7, BAD_ADDRESS}), "Caller ID, telephone number: <unreadable> ", 7},
        {"name whole", make_record(72, {5, 10, name}), "Caller ID, name: JOHN SMITH ", 10},
        {"name count 0", make_record(72, {5, 0, name}), "Caller ID, name:  ", 0},
        {"name negative count", make_record(72, {5, -100000, name}), "Caller ID, name:  ", 0},
        {"name unreadable", make_record(72, {5, 4, BAD_ADDRESS}), "Caller ID, name: <unreadable> ", 4},
    };
    check_block_cases(decode_caller_id, cases, std::size(cases));
}

TEST_F(CallerIdBlocks, NumberAndNameKeepTheirCapacity) {
    fill('7');
    const uint32_t at = FakeDriverMemory::BASE;
    const struct {
        const char *description;
        int64_t sub_code;
        int64_t count;
        std::string expected;
        size_t bytes_read;
    } cases[] = {
        {"number at capacity", 4, 31, "Caller ID, telephone number: " + repeat("7", 31) + " ", 31},
        {"number one past", 4, 32, "Caller ID, telephone number: " + repeat("7", 31) + " ", 31},
        {"number huge", 4, 100000, "Caller ID, telephone number: " + repeat("7", 31) + " ", 31},
        {"name at capacity", 5, 79, "Caller ID, name: " + repeat("7", 79) + " ", 79},
        {"name huge", 5, 100000, "Caller ID, name: " + repeat("7", 79) + " ", 79},
        {"name most positive", 5, 0x7fffffff, "Caller ID, name: " + repeat("7", 79) + " ", 79},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        reset_counts();
        EXPECT_EQ(run_handler(decode_caller_id, make_record(72, {c.sub_code, c.count, at})), c.expected);
        EXPECT_EQ(memory.bytes_requested, c.bytes_read);
    }
}

TEST_F(CallerIdBlocks, MessageDumps) {
    const unsigned char message[] = {0x80, 0x0A, 0xFF};
    const uint32_t at = place(FakeDriverMemory::BASE + 40, message, sizeof message);
    const BlockCase cases[] = {
        {"whole message", make_record(72, {8, 3, at}), "Caller ID, whole message: 800aff ", 3},
        {"unknown message", make_record(72, {7, 2, at}), "Caller ID, unknown message: 800a ", 2},
        {"unknown, count 0", make_record(72, {7, 0, at}), "Caller ID, unknown message:  ", 0},
        {"whole, negative count", make_record(72, {8, -3, at}), "Caller ID, whole message:  ", 0},
        {"unreadable", make_record(72, {7, 3, BAD_ADDRESS}), "Caller ID, unknown message: <unreadable> ", 3},
    };
    check_block_cases(decode_caller_id, cases, std::size(cases));
}

TEST_F(CallerIdBlocks, DumpsAreBoundedToTheLine) {
    fill(0x0E);
    const uint32_t at = FakeDriverMemory::BASE;
    // 511 characters: header (28 or 26), hex pairs, the closing blank.
    const struct {
        const char *description;
        int64_t sub_code;
        int64_t count;
        std::string expected;
        size_t bytes_read;
    } cases[] = {
        {"unknown at capacity", 7, 241, "Caller ID, unknown message: " + repeat("0e", 241) + " ", 241},
        {"unknown huge", 7, 100000, "Caller ID, unknown message: " + repeat("0e", 241) + " ", 241},
        {"whole at capacity", 8, 242, "Caller ID, whole message: " + repeat("0e", 242) + " ", 242},
        {"whole one past", 8, 243, "Caller ID, whole message: " + repeat("0e", 242) + " ", 242},
        {"whole huge", 8, 100000, "Caller ID, whole message: " + repeat("0e", 242) + " ", 242},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        reset_counts();
        const std::string line = run_handler(decode_caller_id, make_record(72, {c.sub_code, c.count, at}));
        EXPECT_EQ(line, c.expected);
        EXPECT_LE(line.size(), 511u);
        EXPECT_EQ(memory.bytes_requested, c.bytes_read);
    }
}

}  // namespace
