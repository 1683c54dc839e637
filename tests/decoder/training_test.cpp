// Code 64: every training event, the blocks in driver memory that some of
// them read, and what those lines show when a block cannot be read.
#include "decoder/status.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "decode_test_support.h"
#include "memory_map.h"

namespace {

StatusRecord event(uint32_t number, uint32_t value = 0)
{
    StatusRecord r{};
    r.code = 64;
    r.param1 = number;
    r.param2 = value;
    r.param3 = 0xDEADBEEF;  // never read
    r.modem = 2;
    return r;
}

const LineCase VALUE_EVENTS[] = {
    {"0", event(0), "Periodical detected "},
    {"1", event(1), "Phase reversal detected "},
    {"2", event(2), "Signal start detected "},
    {"3", event(3), "Signal end detected "},
    {"4", event(4), "S   detected "},
    {"5", event(5), "S~  detected "},
    {"6", event(6), "J4  detected "},
    {"7", event(7), "J16 detected "},
    {"8", event(8), "J'  detected "},
    {"13", event(13, 0x1a), "R-sequence detected\t  1a "},
    {"14", event(14, 0xbeef), "E detected\tbeef "},
    {"15 wider than four", event(15, 0x12345), "R-sequence sent\t12345 "},
    {"16", event(16, 0x100), "Automoder trying \tv.34 "},
    {"17", event(17, 0x80), "Automoding completed, selected \tv.32/v.32bis/v.32terbo "},
    {"18", event(18, 0xdeadbeef), "Rockwell compatible bitmap:\tdeadbeef "},
    {"19", event(19), "V8 (V34 Phase 1) detected CI "},
    {"20", event(20), "V8 (V34 Phase 1) detected ANS tone "},
    {"21", event(21), "V8 (V34 Phase 1) detected ANSam "},
    {"22", event(22), "V8 (V34 Phase 1) detected CM "},
    {"23", event(23), "V8 (V34 Phase 1) detected JM "},
    {"24", event(24), "V8 (V34 Phase 1) detected CJ "},
    {"25", event(25, 0x400), "V8 (V34 Phase 1) finished, modulation v.90 "},
    {"25 unknown modulation", event(25, 0x3), "V8 (V34 Phase 1) finished, modulation unknown "},
    {"26", event(26), "V34 Phase 2 started "},
    {"27", event(27, 1), "V34 Phase 2 detected INFO1 sequence "},
    {"27 signed", event(27, 0xFFFFFFFF), "V34 Phase 2 detected INFO-1 sequence "},
    {"28 two halves", event(28, 0x00500123),
     "V34 Phase 2 detected near end echo, detected value = 291, 40ms turn-around uses 80 "},
    {"28 halves unsigned", event(28, 0xFFFFFFFF),
     "V34 Phase 2 detected near end echo, detected value = 65535, 40ms turn-around uses 65535 "},
    {"29", event(29), "Receiving V34 Phase 2 L1 signal "},
    {"30", event(30), "Receiving V34 Phase 2 L2 signal "},
    {"31", event(31, 0x8000), "V34 Phase 2 finished, modulation v.34 half-duplex "},
    {"32", event(32), "V34 Phase 3 started "},
    {"33", event(33), "V34 Phase 3 finished "},
    {"34", event(34), "V34 Phase 4 started "},
    {"35", event(35), "V34 Phase 4 finished "},
    {"38", event(38, 14), "Max local  Rx data rate 33600 "},
    {"38 negative", event(38, 0xFFFFFFFF), "Max local  Rx data rate -2400 "},
    {"39", event(39, 1), "Max local  Tx data rate  2400 "},
    {"40", event(40, 12), "Max remote Rx data rate 28800 "},
    {"41", event(41, 0), "Max remote Tx data rate     0 "},
    {"42", event(42, 0x040E0238),
     "Projected data rate for 3200 symbol rate, is 33600 bps (in-band SNR =  35.5000 dB) "},
    {"42 bits 28-31 ignored", event(42, 0xF40E0238),
     "Projected data rate for 3200 symbol rate, is 33600 bps (in-band SNR =  35.5000 dB) "},
    {"42 index 0", event(42, 0x00010010),
     "Projected data rate for 2400 symbol rate, is  2400 bps (in-band SNR =  1.0 dB) "},
    {"42 index 6", event(42, 0x06000000),
     "Projected data rate for 8000 symbol rate, is     0 bps (in-band SNR =  0.0 dB) "},
    {"42 SNR is unsigned 16-bit", event(42, 0x0100FFFF),
     "Projected data rate for 2743 symbol rate, is     0 bps (in-band SNR =  4095.9375 dB) "},
    {"42 index 7 past the table", event(42, 0x070E0238),
     "Projected data rate for unknown (index 7) symbol rate, is 33600 bps (in-band SNR =  35.5000 dB) "},
    {"42 index 9", event(42, 0x09000000),
     "Projected data rate for unknown (index 9) symbol rate, is     0 bps (in-band SNR =  0.0 dB) "},
    {"42 index 15", event(42, 0x0F000001),
     "Projected data rate for unknown (index 15) symbol rate, is     0 bps (in-band SNR =  0.0625 dB) "},
    {"43", event(43), "Main far-end echo canceller deactivated "},
    {"44", event(44), "Main near-end echo canceller deactivated "},
    {"45", event(45), "Preliminary far-end echo canceller deactivated "},
    {"46", event(46), "Phase jitter canceller deactivated "},
    {"47", event(47), "PCM phase 2 detected digital connection "},
    {"48", event(48), "PCM phase 2 detected RBS "},
    {"49", event(49), "X2 PCM detected phase 1 escape signal "},
    {"50", event(50), "1200bps training "},
    {"51", event(51), "2400bps training "},
    {"52", event(52), "USB1 detected "},
    {"53", event(53), "SB1 @ 1200 detected "},
    {"54", event(54), "SB1 @ 2400 detected "},
    {"55", event(55), "S1 detected "},
    {"56", event(56), "V22 initiating V54 loop 2 test "},
    {"57", event(57), "V22 responding to V54 loop 2 test "},
    {"58", event(58), "V22 detected loop 2 test alternating 0 and 1 "},
    {"59", event(59), "DataModem local digital loopback test started "},
    {"60", event(60), "DataModem local digital loopback test finished "},
    {"61", event(61), "DataModem remote digital loopback test started "},
    {"62", event(62), "DataModem remote digital loopback test finished "},
    {"63", event(63), "DataModem local analog loopback test started "},
    {"64", event(64), "DataModem local analog loopback test finished "},
    {"65", event(65), "DataModem loopback self test enabled "},
    {"66 no event", event(66), "Training progress code 66 "},
    {"67 no event", event(67), "Training progress code 67 "},
    {"68 no event", event(68), "Training progress code 68 "},
    {"69 no event", event(69), "Training progress code 69 "},
    {"70", event(70), "PCM phase 3 started "},
    {"71", event(71), "PCM phase 3 finished "},
    {"72", event(72), "PCM phase 4 started "},
    {"73", event(73), "PCM phase 4 finished "},
    {"74", event(74), "Ja detected "},
    {"76", event(76), "Jd' detected "},
    {"77", event(77), "R detected "},
    {"78", event(78), "R~ detected "},
    {"83", event(83, 0x1f), "V34 Seamless Rate Change Request Sent:   1f "},
    {"84", event(84, 0x12345), "V34 Seamless Rate Change Update Sent: 12345 "},
    {"85", event(85, 0), "V34 Seamless Rate Change Request Received:    0 "},
    {"86", event(86, 0xabcd), "V34 Seamless Rate Change Update Received: abcd "},
    {"87", event(87), "V34 Seamless Rate Change Update Timeout "},
    {"88", event(88), "S/S~ to acknowledge Ja detected "},
    {"89 no event", event(89), "Training progress code 89 "},
    {"90 no event", event(90), "Training progress code 90 "},
    {"91 no event", event(91), "Training progress code 91 "},
    {"92 no event", event(92), "Training progress code 92 "},
    {"93 no event", event(93), "Training progress code 93 "},
    {"94 no event", event(94), "Training progress code 94 "},
    {"95 no event", event(95), "Training progress code 95 "},
    {"96 no event", event(96), "Training progress code 96 "},
    {"97 no event", event(97), "Training progress code 97 "},
    {"98 no event", event(98), "Training progress code 98 "},
    {"99 no event", event(99), "Training progress code 99 "},
    {"100", event(100), "V34 half duplex control channel PPh detected "},
    {"101", event(101), "V34 half duplex control channel MPh detected "},
    {"102 source", event(102, 0x1321), "V34 half duplex source rates -- 1 2 3 "},
    {"102 reception", event(102, 0x0321), "V34 half duplex reception rates -- 1 2 3 "},
    {"102 largest reception", event(102, 0x0FFF), "V34 half duplex reception rates -- 15 15 15 "},
    {"102 bit 31 alone is source", event(102, 0x80000000), "V34 half duplex source rates -- 0 0 0 "},
    {"103", event(103), "V34 half duplex control channel consecutive binary 1 detected "},
    {"104 source", event(104, 1), "V34 half duplex source side phase 3 started "},
    {"104 recipient", event(104, 0), "V34 half duplex recipient side phase 3 started "},
    {"105 source", event(105, 0xFFFFFFFF), "V34 half duplex source side phase 3 finished "},
    {"105 recipient", event(105, 0), "V34 half duplex recipient side phase 3 finished "},
    {"106", event(106), "V34 half duplex primary channel consecutive binary 1 detected "},
    {"107 no event", event(107), "Training progress code 107 "},
    {"108", event(108), "V32 ranging started "},
    {"109", event(109), "V32 ranging finished "},
    {"110 past the last", event(110), "Training progress code 110 "},
    {"1000", event(1000), "Training progress code 1000 "},
    {"-1 prints signed", event(0xFFFFFFFF), "Training progress code -1 "},
    {"most negative", event(0x80000000), "Training progress code -2147483648 "},
};

TEST(Training, EventsWithoutBlocks)
{
    for (const LineCase &c : VALUE_EVENTS) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(c.expected, decode(c.record));
    }
}

// ---- Events that read driver blocks ----------------------------------------

constexpr uint32_t MP_SHORT = 0x1000;     // byte 0 even: 4 words
constexpr uint32_t MP_LONG = 0x1100;      // byte 0 odd: 9 words
constexpr uint32_t MP_LONG_CUT = 0x1200;  // byte 0 odd, only 8 bytes readable
constexpr uint32_t MP_SHORT_EDGE = 0x1300;  // byte 0 even, exactly 8 bytes readable
constexpr uint32_t CP_BASE = 0x2000;      // 16-byte CP blocks, one every 0x20
constexpr uint32_t CP_CUT = 0x2100;       // 15 bytes readable
constexpr uint32_t JD = 0x3000;
constexpr uint32_t JD_SMALL = 0x3010;
constexpr uint32_t JD_CUT = 0x3020;       // 3 bytes readable
constexpr uint32_t V34_ZERO_FLAGS = 0x4000;
constexpr uint32_t V34_ALL_FLAGS = 0x4100;
constexpr uint32_t V34_CUT = 0x4200;      // 36 bytes readable: byte 36 missing
constexpr uint32_t UNMAPPED = 0x9000;

const unsigned char MP_SHORT_BYTES[] = {0x34, 0x12, 0x01, 0x00, 0xcd, 0xab, 0xff, 0x00,
                                        0x99, 0x99};  // bytes past the 4 words are not shown
const unsigned char MP_LONG_BYTES[] = {0x81, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05,
                                       0x00, 0x06, 0x00, 0x07, 0x00, 0x08, 0x00, 0xff, 0xff};
const unsigned char MP_SHORT_EDGE_BYTES[] = {0x02, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0xf0};

// CP blocks: bytes 0 and 1 hold the flags, words 1-7 are 0x0011 .. 0x0077.
struct CpBlocks {
    unsigned char bytes[5][32];
};
const unsigned char CP_FLAGS[5][2] = {
    {0x01, 0x90},  // bit 1 of byte 0 clear: CPt whatever byte 1 holds
    {0x02, 0x90},  // CPs'
    {0x02, 0x10},  // CPs
    {0x02, 0x80},  // CP'
    {0x02, 0x00},  // CP
};
CpBlocks build_cp_blocks()
{
    CpBlocks b{};
    for (int i = 0; i < 5; ++i) {
        b.bytes[i][0] = CP_FLAGS[i][0];
        b.bytes[i][1] = CP_FLAGS[i][1];
        for (int w = 1; w < 8; ++w)
            b.bytes[i][2 * w] = static_cast<unsigned char>(0x11 * w);
    }
    return b;
}
const CpBlocks CP_BLOCKS = build_cp_blocks();

const unsigned char JD_BYTES[] = {0x34, 0x12, 0xcd, 0xab};
const unsigned char JD_SMALL_BYTES[] = {0x01, 0x00, 0x00, 0x00};

// V.34 parameter blocks of 37 bytes. Bytes the line does not show hold 0x77
// so that reading the wrong byte shows up.
struct V34Block {
    unsigned char bytes[37];
};
V34Block v34_block(bool flags)
{
    V34Block b;
    std::memset(b.bytes, 0x77, sizeof(b.bytes));
    b.bytes[12] = flags ? 0x01 : 0;
    b.bytes[13] = flags ? 0xff : 0;
    b.bytes[14] = flags ? 0x02 : 0;
    b.bytes[15] = flags ? 0x80 : 0;
    b.bytes[16] = 1;     // J
    b.bytes[17] = 0xfd;  // P = -3
    b.bytes[18] = 10;    // r
    b.bytes[19] = 85;    // b
    b.bytes[21] = 3;     // K
    b.bytes[22] = 2;     // q
    b.bytes[23] = 18;    // M
    b.bytes[36] = flags ? 200 : 12;
    return b;
}
const V34Block V34_ZERO_FLAGS_BLOCK = v34_block(false);
const V34Block V34_ALL_FLAGS_BLOCK = v34_block(true);

const MappedRegion BLOCK_REGIONS[] = {
    {MP_SHORT, MP_SHORT_BYTES, sizeof(MP_SHORT_BYTES)},
    {MP_LONG, MP_LONG_BYTES, sizeof(MP_LONG_BYTES)},
    {MP_LONG_CUT, MP_LONG_BYTES, 8},
    {MP_SHORT_EDGE, MP_SHORT_EDGE_BYTES, sizeof(MP_SHORT_EDGE_BYTES)},
    {CP_BASE, CP_BLOCKS.bytes, sizeof(CP_BLOCKS.bytes)},
    {CP_CUT, CP_BLOCKS.bytes, 15},
    {JD, JD_BYTES, sizeof(JD_BYTES)},
    {JD_SMALL, JD_SMALL_BYTES, sizeof(JD_SMALL_BYTES)},
    {JD_CUT, JD_BYTES, 3},
    {V34_ZERO_FLAGS, V34_ZERO_FLAGS_BLOCK.bytes, 37},
    {V34_ALL_FLAGS, V34_ALL_FLAGS_BLOCK.bytes, 37},
    {V34_CUT, V34_ZERO_FLAGS_BLOCK.bytes, 36},
    {0x4, V34_ZERO_FLAGS_BLOCK.bytes, 37},  // reached only by an address that wraps
};
const MemoryMap BLOCK_MAP = {BLOCK_REGIONS, sizeof(BLOCK_REGIONS) / sizeof(BLOCK_REGIONS[0])};

const LineCase BLOCK_EVENTS[] = {
    {"9 four words", event(9, MP_SHORT), "MP detected\t1234    1 abcd   ff "},
    {"9 nine words", event(9, MP_LONG), "MP detected\t  81    2    3    4    5    6    7    8 ffff "},
    {"9 four words ending the readable memory", event(9, MP_SHORT_EDGE),
     "MP detected\t   2    0   10 f000 "},
    {"9 nine words announced, eight bytes readable", event(9, MP_LONG_CUT),
     "MP detected\t<unreadable> "},
    {"9 unmapped", event(9, UNMAPPED), "MP detected\t<unreadable> "},
    {"9 address 0", event(9, 0), "MP detected\t<unreadable> "},
    {"10", event(10, MP_SHORT), "MP' detected\t1234    1 abcd   ff "},
    {"10 unmapped", event(10, UNMAPPED), "MP' detected\t<unreadable> "},
    {"11", event(11, MP_LONG), "MP  sent\t  81    2    3    4    5    6    7    8 ffff "},
    {"11 unmapped", event(11, UNMAPPED), "MP  sent\t<unreadable> "},
    {"12", event(12, MP_SHORT), "MP'  sent\t1234    1 abcd   ff "},
    {"12 unmapped", event(12, UNMAPPED), "MP'  sent\t<unreadable> "},
    {"79 CPt", event(79, CP_BASE), "CPt detected\t9001   11   22   33   44   55   66   77 "},
    {"79 CPs'", event(79, CP_BASE + 0x20), "CPs' detected\t9002   11   22   33   44   55   66   77 "},
    {"79 CPs", event(79, CP_BASE + 0x40), "CPs detected\t1002   11   22   33   44   55   66   77 "},
    {"79 CP'", event(79, CP_BASE + 0x60), "CP' detected\t8002   11   22   33   44   55   66   77 "},
    {"79 CP", event(79, CP_BASE + 0x80), "CP detected\t   2   11   22   33   44   55   66   77 "},
    {"79 unmapped: the family name", event(79, UNMAPPED), "CP detected\t<unreadable> "},
    {"79 one byte short", event(79, CP_CUT), "CP detected\t<unreadable> "},
    {"80", event(80, CP_BASE + 0x20), "CPt sent\t9002   11   22   33   44   55   66   77 "},
    {"80 one byte short", event(80, CP_CUT), "CPt sent\t<unreadable> "},
    {"81", event(81, CP_BASE), "CP  sent\t9001   11   22   33   44   55   66   77 "},
    {"81 unmapped", event(81, UNMAPPED), "CP  sent\t<unreadable> "},
    {"82", event(82, CP_BASE + 0x80), "CP' sent\t   2   11   22   33   44   55   66   77 "},
    {"82 unmapped", event(82, UNMAPPED), "CP' sent\t<unreadable> "},
    {"75", event(75, JD), "Jd detected:\t1234 abcd\t"},
    {"75 narrow words", event(75, JD_SMALL), "Jd detected:\t   1    0\t"},
    {"75 one byte short", event(75, JD_CUT), "Jd detected:\t<unreadable>\t"},
    {"75 unmapped", event(75, UNMAPPED), "Jd detected:\t<unreadable>\t"},
    {"36 all flags clear", event(36, V34_ZERO_FLAGS),
     "V34 decoder parameters: --- min --- --- 12S J=1 P=-3 b=85 r=10 q=2 K= 3 M=18 "},
    {"36 all flags set", event(36, V34_ALL_FLAGS),
     "V34 decoder parameters: aux exp prc nlc 200S J=1 P=-3 b=85 r=10 q=2 K= 3 M=18 "},
    {"36 byte 36 missing", event(36, V34_CUT), "V34 decoder parameters: <unreadable> "},
    {"36 unmapped", event(36, UNMAPPED), "V34 decoder parameters: <unreadable> "},
    {"36 block past the top of memory does not wrap", event(36, 0xFFFFFFF8),
     "V34 decoder parameters: <unreadable> "},
    {"37 all flags clear", event(37, V34_ZERO_FLAGS),
     "V34 encoder parameters: --- min --- --- 12S J=1 P=-3 b=85 r=10 q=2 K= 3 M=18 "},
    {"37 all flags set", event(37, V34_ALL_FLAGS),
     "V34 encoder parameters: aux exp prc nlc 200S J=1 P=-3 b=85 r=10 q=2 K= 3 M=18 "},
    {"37 unmapped", event(37, UNMAPPED), "V34 encoder parameters: <unreadable> "},
};

TEST(TrainingBlocks, SequencesJdAndV34Parameters)
{
    for (const LineCase &c : BLOCK_EVENTS) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(c.expected, decode(c.record, map_memory(BLOCK_MAP)));
    }
}

TEST(TrainingWithoutReader, BlocksAreUnreadable)
{
    EXPECT_EQ("MP detected\t<unreadable> ", decode(event(9, MP_SHORT)));
    EXPECT_EQ("CP detected\t<unreadable> ", decode(event(79, CP_BASE)));
    EXPECT_EQ("Jd detected:\t<unreadable>\t", decode(event(75, JD)));
    EXPECT_EQ("V34 encoder parameters: <unreadable> ", decode(event(37, V34_ZERO_FLAGS)));
}

// Every event 0..109 has at least one case above.
TEST(Training, EveryEventIsCovered)
{
    std::set<uint32_t> covered;
    for (const LineCase &c : VALUE_EVENTS)
        covered.insert(c.record.param1);
    for (const LineCase &c : BLOCK_EVENTS)
        covered.insert(c.record.param1);
    for (uint32_t e = 0; e <= 109; ++e)
        EXPECT_EQ(1u, covered.count(e)) << "event " << e << " has no case";
}

// Code 64 never yields an empty line.
TEST(Training, NeverEmpty)
{
    for (uint32_t e = 0; e <= 130; ++e)
        EXPECT_NE("", decode(event(e, 0))) << "event " << e;
}

}  // namespace
