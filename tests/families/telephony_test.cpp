// Dialing, HDLC flags, breaks, I/O status, speaker, fixed texts, V.8bis,
// overlays and the +A8R indication.
#include "family_test_support.h"

namespace {

TEST(Dialing, EverySubCode) {
    const LineCase cases[] = {
        {"0", make_record(66, {0}), "Dialing completed\t"},
        {"1", make_record(66, {1}), "No dialtone\t"},
        {"2", make_record(66, {2}), "Bong tone\t"},
        {"3", make_record(66, {3}), "No bong tone\t"},
        {"4 no line", make_record(66, {4}), ""},
        {"5 low byte of 0x123 is #", make_record(66, {5, 0x123}), "Illegal dial modifier: #\t"},
        {"6 no line", make_record(66, {6}), ""},
        {"7 pulse dial", make_record(66, {7, 5, 60, 40}), "External Pulse Dial:  5  make= 60ms brake= 40ms\t"},
        {"8 no line", make_record(66, {8}), ""},
        {"-1 no line", make_record(66, {-1}), ""},
    };
    check_cases(decode_dialing, cases, std::size(cases));
}

TEST(HdlcFlags, OnlyEightHasALine) {
    const LineCase cases[] = {
        {"8", make_record(67, {8}), "HDLC flags detected\t"},
        {"7", make_record(67, {7}), ""},
        {"9", make_record(67, {9}), ""},
        {"0", make_record(67, {0}), ""},
        {"-8", make_record(67, {-8}), ""},
    };
    check_cases(decode_hdlc_flags, cases, std::size(cases));
}

TEST(Break, TypesAndLengths) {
    const LineCase cases[] = {
        {"nonexpedited", make_record(68, {0, 200}), "Break received (nonexpedited) length = 200 ms \t"},
        {"expedited", make_record(68, {1, 200}), "Break received (expedited) length = 200 ms \t"},
        {"type 2 unknown", make_record(68, {2, 10}), "Break received (unknown type) length = 10 ms \t"},
        {"destructive, zero length", make_record(68, {3, 0}), "Break received (expedited/destructive) length = 0 ms \t"},
        {"negative length", make_record(68, {1, -1}), "Break received (expedited) default length \t"},
        {"most negative length", make_record(68, {0, -2147483648LL}), "Break received (nonexpedited) default length \t"},
        {"longest length", make_record(68, {-1, 2147483647}), "Break received (unknown type) length = 2147483647 ms \t"},
        {"type 4", make_record(68, {4, -5}), "Break received (unknown type) default length \t"},
    };
    check_cases(decode_break, cases, std::size(cases));
}

TEST(IoStatus, EverySubCode) {
    const LineCase cases[] = {
        {"0 no line", make_record(73, {0}), ""},
        {"1", make_record(73, {1}), "I/O status Rx data buffer overflow "},
        {"2", make_record(73, {2}), "I/O status Tx data buffer space available "},
        {"3 no line", make_record(73, {3}), ""},
        {"4 raw", make_record(73, {4}), "I/O status code 4 "},
        {"-5 signed", make_record(73, {-5}), "I/O status code -5 "},
    };
    check_cases(decode_io_status, cases, std::size(cases));
}

TEST(FixedTexts, SpeakerProfileResetCircuitA8t) {
    const struct {
        const char *description;
        FamilyHandler handler;
        StatusRecord record;
        const char *expected;
    } cases[] = {
        {"speaker on", decode_speaker, make_record(75, {1}), "Speaker  ON "},
        {"speaker on for -1", decode_speaker, make_record(75, {-1}), "Speaker  ON "},
        {"speaker off", decode_speaker, make_record(75, {0}), "Speaker OFF "},
        {"AT profile", decode_at_profile, make_record(76, {5, 6}), "AT Profile change"},
        {"reset", decode_reset, make_record(78, {5}), "Reset hardware "},
        {"circuit on", decode_caller_id_circuit, make_record(88, {2}), "Caller ID circuit activated"},
        {"circuit off", decode_caller_id_circuit, make_record(88, {0}), "Caller ID circuit deactivated"},
        {"A8T finished", decode_a8t, make_record(96, {1}), "V8bis: A8T transmition finished "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(run_handler(c.handler, c.record), c.expected);
    }
}

StatusRecord v8(int64_t selector) { return make_record(79, {selector, 9}); }

TEST(V8bis, AllBandsAndTheGeneric) {
    const LineCase cases[] = {
        {"0", v8(0), "V8bis detected ESi "},
        {"1", v8(1), "V8bis detected ESr "},
        {"2", v8(2), "V8bis detected MRe "},
        {"3", v8(3), "V8bis detected MRd "},
        {"4", v8(4), "V8bis detected CRe "},
        {"5", v8(5), "V8bis detected CRd "},
        {"6", v8(6), "V8bis detected MS "},
        {"7", v8(7), "V8bis detected CL "},
        {"8", v8(8), "V8bis detected CLR "},
        {"9", v8(9), "V8bis detected ACK(1) "},
        {"10", v8(10), "V8bis detected ACK(2) "},
        {"11", v8(11), "V8bis detected NAK(1) "},
        {"12", v8(12), "V8bis detected NAK(2) "},
        {"13", v8(13), "V8bis detected NAK(3) "},
        {"14", v8(14), "V8bis detected NAK(4) "},
        {"15 generic", v8(15), "V8bis status 15, value 9 "},
        {"31 generic", v8(31), "V8bis status 31, value 9 "},
        {"32", v8(32), "V8bis frame CRC error "},
        {"33", v8(33), "V8bis received 6 consecutive binary ONE "},
        {"34", v8(34), "V8bis frame longer than rx buffer size (9) "},
        {"35", v8(35), "V8bis frame less than 3 bytes (received 9 bits) "},
        {"36", make_record(79, {36, -12}), "V8bis frame not integer number of bytes (received -12 bits) "},
        {"37", v8(37), "V8bis received signal not in allowed procedures "},
        {"38", v8(38), "V8bis timed out "},
        {"39 generic", v8(39), "V8bis status 39, value 9 "},
        {"63 generic", v8(63), "V8bis status 63, value 9 "},
        {"64", make_record(79, {64, 2}), "V8bis remote revision number 2 "},
        {"65", v8(65), "V8bis finished "},
        {"66", v8(66), "V8bis waiting MS from host "},
        {"67 generic", v8(67), "V8bis status 67, value 9 "},
        {"-1 generic, signed", make_record(79, {-1, -2}), "V8bis status -1, value -2 "},
    };
    check_cases(decode_v8bis, cases, std::size(cases));
}

TEST(Overlay, EverySubCode) {
    const LineCase cases[] = {
        {"0", make_record(87, {0}), "Overlay: load begin\t"},
        {"1", make_record(87, {1}), "Overlay: load end\t"},
        {"2", make_record(87, {2, 100, 120}), "Overlay: time elapsed: 100 ms reported to data pump; 120 ms actual\t"},
        {"3 receive", make_record(87, {3, 7, 250}), "Overlay: recorded 250 ms of receive data\t"},
        {"3 transmit", make_record(87, {3, 0, 250}), "Overlay: recorded 250 ms of transmit data\t"},
        {"4 transmit", make_record(87, {4, 0, 30}), "Overlay: replayed 30 ms of transmit data\t"},
        {"4 receive for -1", make_record(87, {4, -1, -30}), "Overlay: replayed -30 ms of receive data\t"},
        {"5", make_record(87, {5}), "Overlay: replay done\t"},
        {"6 no line", make_record(87, {6}), ""},
        {"-1 no line", make_record(87, {-1}), ""},
    };
    check_cases(decode_overlay, cases, std::size(cases));
}

using A8r = DriverMemoryTest;

TEST_F(A8r, FieldsAndTheirCounts) {
    const unsigned char first[] = {0x01, 0x02};
    const unsigned char second[] = {0x12, 0xAB};
    const uint32_t a = place(FakeDriverMemory::BASE + 100, first, sizeof first);
    const uint32_t b = place(FakeDriverMemory::BASE + 200, second, sizeof second);
    const BlockCase cases[] = {
        {"no first field ignores the second", make_record(95, {3, a, 0, b, 2}), "V8bis +A8R:3", 0},
        {"empty first, then second", make_record(95, {3, a, -1, b, 2}), "V8bis +A8R:3,,12ab", 2},
        {"empty first, no second", make_record(95, {3, a, -1, b, 0}), "V8bis +A8R:3,", 0},
        {"both fields", make_record(95, {-7, a, 2, b, 1}), "V8bis +A8R:-7,0102,12", 3},
        {"first field only", make_record(95, {0, a, 1, b, 0}), "V8bis +A8R:0,01", 1},
        {"both empty", make_record(95, {3, a, -1, b, -1}), "V8bis +A8R:3,,", 0},
        {"other negative count is empty too", make_record(95, {3, a, -5, b, 0}), "V8bis +A8R:3,", 0},
        {"negative second count", make_record(95, {3, a, 1, b, -100000}), "V8bis +A8R:3,01,", 1},
        {"first unreadable", make_record(95, {3, BAD_ADDRESS, 2, b, 0}), "V8bis +A8R:3,<unreadable>", 2},
        {"second unreadable", make_record(95, {3, a, 2, BAD_ADDRESS, 1}), "V8bis +A8R:3,0102,<unreadable>", 3},
    };
    check_block_cases(decode_a8r, cases, std::size(cases));
}

TEST_F(A8r, BlocksAreBoundedToTheLine) {
    fill(0xC3);
    const uint32_t at = FakeDriverMemory::BASE;
    // "V8bis +A8R:3," is 13 characters; 498 remain for 249 whole bytes.
    const struct {
        const char *description;
        StatusRecord record;
        std::string expected;
        size_t bytes_read;
    } cases[] = {
        {"first exactly at capacity", make_record(95, {3, at, 249, at, 0}), "V8bis +A8R:3," + repeat("c3", 249), 249},
        {"first one past capacity", make_record(95, {3, at, 250, at, 0}), "V8bis +A8R:3," + repeat("c3", 249), 249},
        {"first huge", make_record(95, {3, at, 100000, at, 0}), "V8bis +A8R:3," + repeat("c3", 249), 249},
        // The first field leaves room for the comma of the second, which then
        // has no room for a byte and reads nothing.
        {"both huge", make_record(95, {3, at, 100000, at, 100000}), "V8bis +A8R:3," + repeat("c3", 248) + ",", 248},
        {"second huge", make_record(95, {3, at, -1, at, 100000}), "V8bis +A8R:3,," + repeat("c3", 248), 248},
        // 244 bytes leave 9 characters after the second comma: room for four
        // bytes, and for the unreadable marker only cut short.
        {"second unreadable without room", make_record(95, {3, at, 244, BAD_ADDRESS, 100}),
         "V8bis +A8R:3," + repeat("c3", 244) + ",<unreadab", 248},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        reset_counts();
        const std::string line = run_handler(decode_a8r, c.record);
        EXPECT_EQ(line, c.expected);
        EXPECT_LE(line.size(), 511u);
        EXPECT_EQ(memory.bytes_requested, c.bytes_read);
    }
}

}  // namespace
