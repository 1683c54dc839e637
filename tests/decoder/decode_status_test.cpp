// decode_status over the code table: every code of 1..130 that is not given
// to a family, the codes outside the table, and the driver text of code 97.
#include "decoder/status.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "decode_test_support.h"
#include "memory_map.h"

namespace {

StatusRecord rec(uint32_t code, uint32_t p1 = 0, uint32_t p2 = 0, uint32_t p3 = 0, uint32_t p4 = 0,
                 uint32_t p5 = 0, uint32_t p6 = 0)
{
    StatusRecord r{};
    r.code = code;
    r.param1 = p1;
    r.param2 = p2;
    r.param3 = p3;
    r.param4 = p4;
    r.param5 = p5;
    r.param6 = p6;
    r.modem = 1;
    return r;
}

const LineCase CODE_CASES[] = {
    {"1 sampling rate", rec(1, 9600), "Sampling rate:\t\t\t  9600 Hz\t"},
    {"1 negative", rec(1, static_cast<uint32_t>(-5)), "Sampling rate:\t\t\t    -5 Hz\t"},
    {"2 modulation", rec(2, 0x100), "Modulation: v.34 "},
    {"2 unknown modulation", rec(2, 3), "Modulation: unknown "},
    {"3 index 0", rec(3, 0), "Rx symbol rate:\t\t\t  2400 Hz\t"},
    {"3 index 4", rec(3, 4), "Rx symbol rate:\t\t\t  3200 Hz\t"},
    {"3 index 6", rec(3, 6), "Rx symbol rate:\t\t\t  8000 Hz\t"},
    {"3 index 7 past the table", rec(3, 7), "Rx symbol rate:\t\t\tunknown (index 7) Hz\t"},
    {"3 index 9", rec(3, 9), "Rx symbol rate:\t\t\tunknown (index 9) Hz\t"},
    {"3 index 15", rec(3, 15), "Rx symbol rate:\t\t\tunknown (index 15) Hz\t"},
    {"3 index -1 prints signed", rec(3, 0xFFFFFFFF), "Rx symbol rate:\t\t\tunknown (index -1) Hz\t"},
    {"3 most negative index", rec(3, 0x80000000), "Rx symbol rate:\t\t\tunknown (index -2147483648) Hz\t"},
    {"4 index 1", rec(4, 1), "Tx symbol rate:\t\t\t  2743 Hz\t"},
    {"4 index 2", rec(4, 2), "Tx symbol rate:\t\t\t  2800 Hz\t"},
    {"4 index 3", rec(4, 3), "Tx symbol rate:\t\t\t  3000 Hz\t"},
    {"4 index 5", rec(4, 5), "Tx symbol rate:\t\t\t  3429 Hz\t"},
    {"4 index 7 past the table", rec(4, 7), "Tx symbol rate:\t\t\tunknown (index 7) Hz\t"},
    {"4 index 15", rec(4, 15), "Tx symbol rate:\t\t\tunknown (index 15) Hz\t"},
    {"4 index -1 prints signed", rec(4, 0xFFFFFFFF), "Tx symbol rate:\t\t\tunknown (index -1) Hz\t"},
    {"5 rx carrier", rec(5, 1800), "Rx carrier frequency:\t\t  1800 Hz\t"},
    {"6 tx carrier", rec(6, 1920), "Tx carrier frequency:\t\t  1920 Hz\t"},
    {"7 preemphasis", rec(7, 3), "Tx preemphasis filter:\t\t     3 \t\t"},
    {"8 -1 sixteenth stays -1", rec(8, 0xFFFFFFFF), "Tx power adjustment:\t\t    -1 dB\t"},
    {"8 -17 sixteenths give -2", rec(8, static_cast<uint32_t>(-17)), "Tx power adjustment:\t\t    -2 dB\t"},
    {"8 53 sixteenths give 3", rec(8, 0x35), "Tx power adjustment:\t\t     3 dB\t"},
    {"9 remote preemphasis", rec(9, 5), "Remote Tx preemphasis filter:\t     5 \t\t"},
    {"10 not divided by 16", rec(10, 53), "Remote Tx power adjustment:\t    53 dB\t"},
    {"11 rx rate", rec(11, 0x40000), "RxRate:  33600 bps "},
    {"11 rx rate 1200", rec(11, 0x10), "RxRate:   1200 bps "},
    {"11 rx rate wider than five", rec(11, 0x400000), "RxRate:  115200 bps "},
    {"12 tx rate pcm", rec(12, 0x80000001), "TxRate:  32000 bps "},
    {"12 tx rate unknown code", rec(12, 0x30), "TxRate:  33600 bps "},
    {"13", rec(13), "Rx Data Mode Active! "},
    {"14", rec(14), "Tx Data Mode Active! "},
    {"15 default", rec(15, 7), "Status code 15, value 7 "},
    {"16 digit from byte 0", rec(16, 0x0135), "DTMF 5 "},
    {"16 hash", rec(16, 0x23), "DTMF # "},
    {"16 byte 0 zero: no line", rec(16, 0x0100), ""},
    {"17 two bits, later one named", rec(17, 0x0110), "v.34 signal "},
    {"17 B212 last", rec(17, 0x300001), "B212 signal "},
    {"17 no listed bit", rec(17, 0x2), ""},
    {"17 v.21", rec(17, 0x10), "v.21 signal "},
    {"17 v.22", rec(17, 0x20), "v.22 signal "},
    {"17 v.23", rec(17, 0x40), "v.23 signal "},
    {"17 v.25 after v.21 in the order", rec(17, 0x11), "v.25 signal "},
    {"17 v.32", rec(17, 0x81), "v.32 signal "},
    {"17 B103", rec(17, 0x100000), "B103 signal "},
    {"17 every bit", rec(17, 0xFFFFFFFF), "B212 signal "},
    {"17 half-duplex bits are not listed", rec(17, 0x8002), ""},
    {"18 never a line", rec(18, 1, 2, 3), ""},
    {"18 zero", rec(18), ""},
    {"19 zero: no line", rec(19, 0), ""},
    {"19 custom signal", rec(19, 0x1a2b), "Custom signal 1a2b "},
    {"19 unsigned", rec(19, 0xFFFFFFFF), "Custom signal ffffffff "},
    {"20", rec(20), "V.21 HDLC preamble detected! "},
    {"21 circuit 106 on: no line", rec(21, 106, 1), ""},
    {"21 circuit 106 off: no line", rec(21, 106, 0), ""},
    {"21 off, no trailing blank", rec(21, 107, 0), "V.24 circuit 107  OFF"},
    {"21 on", rec(21, 108, 1), "V.24 circuit 108  ON "},
    {"21 on, narrow number", rec(21, 5, 2), "V.24 circuit   5  ON "},
    {"22 on", rec(22, 1), "Hook switch  ON "},
    {"22 off", rec(22, 0), "Hook switch OFF "},
    {"22 any non-zero is on", rec(22, 0x80000000), "Hook switch  ON "},
    {"23", rec(23), "Call waiting tone detected "},
    {"24 multitone", rec(24, 1, 2, 350, 440, static_cast<uint32_t>(-3), 12345),
     "MultiTone detected(1,2):  350  440   -3 12345 "},
    {"25 on", rec(25, 1), "Pulse shunt relay  ON "},
    {"25 off", rec(25, 0), "Pulse shunt relay OFF "},
    {"26 ring", rec(26, 20), "Ring Frequency:\t\t    20 Hz\t"},
    {"27 default, signed value", rec(27, 0xFFFFFFFF), "Status code 27, value -1 "},
    {"28 default", rec(28, 1), "Status code 28, value 1 "},
    {"29 default", rec(29, 2), "Status code 29, value 2 "},
    {"30 default", rec(30, 3), "Status code 30, value 3 "},
    {"31 default", rec(31, 0), "Status code 31, value 0 "},
    {"32 error", rec(32, static_cast<uint32_t>(-7)), "Error # -7 "},
    {"33 exception", rec(33, 0x12ab), "V34 exception:      12ab "},
    {"33 exception unsigned", rec(33, 0xFFFFFFFF), "V34 exception:  ffffffff "},
    {"34", rec(34), "Cleardown! "},
    {"35", rec(35), "Cleardown! (Remote request) "},
    {"36", rec(36), "Carrier Present! "},
    {"37", rec(37), "Carrier Lost! "},
    {"38", rec(38), "Retraining! "},
    {"39", rec(39), "Retraining!  (Remote request) "},
    {"40", rec(40), "Rate Renegotiation! "},
    {"41", rec(41), "Rate Renegotiation!  (Remote request) "},
    {"42", rec(42), "Fallback initiated! "},
    {"43", rec(43), "Fallforward initiated! "},
    {"44", rec(44), "Cleardown initiated! "},
    {"45 default", rec(45, 45), "Status code 45, value 45 "},
    {"46 default", rec(46), "Status code 46, value 0 "},
    {"47 default", rec(47), "Status code 47, value 0 "},
    {"48 default", rec(48), "Status code 48, value 0 "},
    {"49 default", rec(49), "Status code 49, value 0 "},
    {"50 default", rec(50, 0x7FFFFFFF), "Status code 50, value 2147483647 "},
    {"51 default", rec(51), "Status code 51, value 0 "},
    {"52 default", rec(52), "Status code 52, value 0 "},
    {"53 default", rec(53), "Status code 53, value 0 "},
    {"54 default", rec(54), "Status code 54, value 0 "},
    {"55 default", rec(55), "Status code 55, value 0 "},
    {"56 default", rec(56), "Status code 56, value 0 "},
    {"57 default", rec(57), "Status code 57, value 0 "},
    {"58 default", rec(58), "Status code 58, value 0 "},
    {"59 default", rec(59), "Status code 59, value 0 "},
    {"60 default", rec(60), "Status code 60, value 0 "},
    {"61 default", rec(61), "Status code 61, value 0 "},
    {"62 default", rec(62), "Status code 62, value 0 "},
    {"63 default", rec(63, 0x80000000), "Status code 63, value -2147483648 "},
    {"77 given directly: default", rec(77, 3), "Status code 77, value 3 "},
    {"82 default", rec(82, 1), "Status code 82, value 1 "},
    {"83 default", rec(83), "Status code 83, value 0 "},
    {"85 default", rec(85), "Status code 85, value 0 "},
    {"86 default", rec(86), "Status code 86, value 0 "},
    {"90 default", rec(90, 9), "Status code 90, value 9 "},
    {"91 country", rec(91, 49), "Local country code changed: 49 "},
    {"92 dte rate", rec(92, 0x100), "DTE rate set to 9600 "},
    {"92 dte rate unknown code", rec(92, 0), "DTE rate set to 33600 "},
    {"93 at response", rec(93, 2), "AT Response 2\t"},
    {"94 upper-case hex", rec(94, 0xab), "Framer mode: \tAB\t"},
    {"98 default", rec(98), "Status code 98, value 0 "},
    {"99 default", rec(99), "Status code 99, value 0 "},
    {"100 default", rec(100), "Status code 100, value 0 "},
    {"101 default", rec(101), "Status code 101, value 0 "},
    {"102 default", rec(102), "Status code 102, value 0 "},
    {"103 default", rec(103), "Status code 103, value 0 "},
    {"104 default", rec(104), "Status code 104, value 0 "},
    {"105 default", rec(105), "Status code 105, value 0 "},
    {"106 default", rec(106), "Status code 106, value 0 "},
    {"107 default", rec(107), "Status code 107, value 0 "},
    {"108 default", rec(108), "Status code 108, value 0 "},
    {"109 default", rec(109), "Status code 109, value 0 "},
    {"110 default", rec(110), "Status code 110, value 0 "},
    {"111 default", rec(111), "Status code 111, value 0 "},
    {"112 default", rec(112), "Status code 112, value 0 "},
    {"113 default", rec(113), "Status code 113, value 0 "},
    {"114 default", rec(114), "Status code 114, value 0 "},
    {"115 default", rec(115), "Status code 115, value 0 "},
    {"116 default", rec(116), "Status code 116, value 0 "},
    {"117 default", rec(117), "Status code 117, value 0 "},
    {"118 default", rec(118), "Status code 118, value 0 "},
    {"119 default", rec(119), "Status code 119, value 0 "},
    {"120 default", rec(120), "Status code 120, value 0 "},
    {"121 default", rec(121), "Status code 121, value 0 "},
    {"122 default", rec(122), "Status code 122, value 0 "},
    {"123 default", rec(123), "Status code 123, value 0 "},
    {"124 default", rec(124), "Status code 124, value 0 "},
    {"125 default", rec(125), "Status code 125, value 0 "},
    {"126 default", rec(126), "Status code 126, value 0 "},
    {"127 default", rec(127, 127), "Status code 127, value 127 "},
    {"129 line feed at the end", rec(129), "Connection established! \n"},
    {"130 checksum", rec(130, 0xdeadbeef), "Test checksum = deadbeef "},
    // Outside the table.
    {"code 0", rec(0, 5), "Status code 0, value 5 "},
    {"code 131 given directly", rec(131, 1), "Status code 131, value 1 "},
    {"code 1000", rec(1000, 0), "Status code 1000, value 0 "},
    {"negative code", rec(0xFFFFFFFF, 0xFFFFFFFE), "Status code -1, value -2 "},
    {"most negative code", rec(0x80000000, 0), "Status code -2147483648, value 0 "},
};

// Codes whose texts belong to the family handlers.
const std::set<uint32_t> FAMILY_CODES = {64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 75, 76,
                                         78, 79, 80, 81, 84, 87, 88, 89, 95, 96, 128};

TEST(DecodeStatus, CodeTable)
{
    for (const LineCase &c : CODE_CASES) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(c.expected, decode(c.record));
    }
}

// Every code of 1..130 outside the families has at least one case above
// (97 has its own tests below).
TEST(DecodeStatus, EveryCodeOfTheTableIsCovered)
{
    std::set<uint32_t> covered = {97};
    for (const LineCase &c : CODE_CASES)
        covered.insert(c.record.code);
    for (uint32_t code = 1; code <= 130; ++code) {
        if (FAMILY_CODES.count(code) == 0) {
            EXPECT_EQ(1u, covered.count(code)) << "code " << code << " has no case";
        }
    }
}

// A line starts empty whatever the caller's buffer held: a no-line code
// leaves no stale text behind.
TEST(DecodeStatus, NoLineLeavesAnEmptyString)
{
    StatusLine line = "stale text";
    decode_status(rec(18), NO_DRIVER_MEMORY, line);
    EXPECT_EQ('\0', line[0]);
}

// ---- Code 97: a text in driver memory --------------------------------------

constexpr uint32_t TEXT_BASE = 0x10000;

struct DriverTexts {
    char bytes[2048];
};

DriverTexts build_texts()
{
    DriverTexts t{};
    std::memset(t.bytes, 'x', sizeof(t.bytes));
    std::strcpy(t.bytes, "Hello from the driver");  // +0
    std::strcpy(t.bytes + 64, "100% sure %s %n");      // +64: printf marks print as they are
    t.bytes[128] = '\0';                               // +128: empty text
    std::memset(t.bytes + 200, 'a', 510);              // +200: exactly 510 characters
    t.bytes[710] = '\0';
    std::memset(t.bytes + 800, 'b', 511);              // +800: 511 characters
    t.bytes[1311] = '\0';
    std::memset(t.bytes + 1400, 'c', 600);             // +1400: 600 characters, then the map ends
    return t;
}

const DriverTexts TEXTS = build_texts();
const MappedRegion TEXT_REGIONS[] = {{TEXT_BASE, TEXTS.bytes, sizeof(TEXTS.bytes)}};
const MemoryMap TEXT_MAP = {TEXT_REGIONS, 1};

TEST(DriverText, TextsAndTheirCuts)
{
    const struct {
        const char *description;
        uint32_t address;
        std::string expected;
    } cases[] = {
        {"plain text", TEXT_BASE, "Hello from the driver\t"},
        {"percent signs are text", TEXT_BASE + 64, "100% sure %s %n\t"},
        {"empty text", TEXT_BASE + 128, "\t"},
        {"510 characters fit with the TAB", TEXT_BASE + 200, std::string(510, 'a') + "\t"},
        {"511 characters are cut to 510", TEXT_BASE + 800, std::string(510, 'b') + "\t"},
        {"600 characters are cut to 510", TEXT_BASE + 1400, std::string(510, 'c') + "\t"},
        {"no NUL before the map ends", TEXT_BASE + 1800, "<unreadable>\t"},
        {"unmapped address", 0x9000, "<unreadable>\t"},
        {"no address", 0, "(null)\t"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(c.expected, decode(rec(97, c.address), map_memory(TEXT_MAP)));
    }
}

// Each decoding reads the memory it is given, as two monitors of two
// drivers in one process do, one record after the other.
TEST(DriverText, EachDecodingReadsItsOwnMemory)
{
    const char other[] = "Other driver";
    const MappedRegion other_regions[] = {{TEXT_BASE, other, sizeof(other)}};
    const MemoryMap other_map = {other_regions, 1};
    const DriverMemory first = map_memory(TEXT_MAP);
    const DriverMemory second = map_memory(other_map);
    EXPECT_EQ("Hello from the driver\t", decode(rec(97, TEXT_BASE), first));
    EXPECT_EQ("Other driver\t", decode(rec(97, TEXT_BASE), second));
    EXPECT_EQ("<unreadable>\t", decode(rec(97, TEXT_BASE + 64), second));
    EXPECT_EQ("100% sure %s %n\t", decode(rec(97, TEXT_BASE + 64), first));
}

TEST(DriverTextWithoutReader, IsUnreadable)
{
    EXPECT_EQ("<unreadable>\t", decode(rec(97, TEXT_BASE)));
    EXPECT_EQ("(null)\t", decode(rec(97, 0)));
}

}  // namespace
