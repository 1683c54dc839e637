// Line measurements (65), capabilities (74) and error statistics (128).
#include "family_test_support.h"

namespace {

StatusRecord m65(int64_t selector, int64_t value) { return make_record(65, {selector, value}); }

TEST(LineMeasurement, EverySelectorFromZeroTo35) {
    const LineCase cases[] = {
        {"0 has no row", m65(0, 24), ""},
        {"1 round trip delay, 1/16 ms", m65(1, 24), "Round Trip Delay :\t 1.5000 ms\t"},
        {"2 receive level 480 is minus 30 dBm", m65(2, 480), "Rx Signal Level:\t -30.0 dBm\t"},
        {"3 timing offset", m65(3, -1), "Timing Offset  :\t-0.0625 ppm\t"},
        {"4 frequency offset, 1/256 Hz", m65(4, 259), "Frequency Offset:\t 1.011 Hz\t"},
        {"5 is a gap", m65(5, 24), ""},
        {"6 ratios are not negated", m65(6, 480), "Signal/Noise Ratio:\t 30.0 dB\t"},
        {"7 near echo level negated", m65(7, 17), "Near Echo Signal Level:\t -1.0625 dBm\t"},
        {"8 signal/echo ratio", m65(8, 31), "Signal/Echo Ratio:\t 1.9375 dB\t"},
        {"9 hybrid delay", m65(9, 16), "Hybrid Delay :\t 1.0 ms\t"},
        {"10 far echo level negated", m65(10, 566),
         "Far echo + residual near echo Signal Level:\t -35.3750 dBm\t"},
        {"11 L1/L2 ratio", m65(11, 0), "L1/L2 noise ratio:\t   0.0 dB\t"},
        {"12 DC offset unsigned hex", m65(12, -16), "DC Offset:\t\t0xfffffff0 \t"},
        {"13 negative magnitude turns positive", m65(13, -32), "Total Rx Power:\t  2.0 dBm\t"},
        {"14 remote frequency offset", m65(14, -640), "Remote modem reported frequency offset:\t-2.50 Hz\t"},
        {"15 is a gap", m65(15, 1), ""},
        {"16 is a gap", m65(16, 1), ""},
        {"17 analog detector", m65(17, 1), "PCM phase 2 analog detector SNR:\t 0.0625 dB\t"},
        {"18 digital detector", m65(18, 40), "PCM phase 2 digital detector SNR:\t 2.5000 dB\t"},
        {"19 RBS detector", m65(19, -24), "PCM phase 2 RBS detector SNR:\t-1.5000 dB\t"},
        {"20 center tap offset signed", m65(20, -7), "Equalizer center tap offset:\t-7\t"},
        {"21 pad in whole dB", m65(21, 6), "PCM pad value:\t6 dB\t"},
        {"22 RBS map six digits", m65(22, 0x12), "PCM RBS map:\t0x000012\t"},
        {"23 zero is A-law", m65(23, 0), "PCM A-law coding\t"},
        {"24 shaping bits", m65(24, 3), "PCM Spectral Shaping Bits:\t3\t"},
        {"25 loopback rate", m65(25, 1234), "DataModem loopback self test bit error rate:\t12.34E-6\t"},
        {"26 is a gap", m65(26, 1), ""},
        {"27 is a gap", m65(27, 1), ""},
        {"28 equaliser length", m65(28, 10), "V34 Eql Length: \t10\t"},
        {"29 equaliser offset", m65(29, -3), "V34 Eql Offset: \t-3\t"},
        {"30 no octets", m65(30, 0), "V8 call menu signal CM data:\t"},
        {"31 negative count", m65(31, -5), "V8 joint menu signal JM data:\t"},
        {"32 Ieec length", m65(32, 64), "PCM Ieec Length: \t64\t"},
        {"33 Ieec offset", m65(33, 7), "PCM Ieec Offset: \t7\t"},
        {"34 zero is disabled", m65(34, 0), "Seamless Rate Change:\t disabled \t"},
        {"35 is past the table", m65(35, 24), ""},
    };
    check_cases(decode_line_measurement, cases, std::size(cases));
}

TEST(LineMeasurement, ChoicesRatesAndUnsignedSelectors) {
    const LineCase cases[] = {
        {"23 one is Mu-law", m65(23, 1), "PCM Mu-law coding\t"},
        {"23 minus one is Mu-law", m65(23, -1), "PCM Mu-law coding\t"},
        {"34 one is enabled", m65(34, 1), "Seamless Rate Change:\t enabled \t"},
        {"34 minus one is enabled", m65(34, -1), "Seamless Rate Change:\t enabled \t"},
        {"25 five", m65(25, 5), "DataModem loopback self test bit error rate:\t0.05E-6\t"},
        {"25 hundred", m65(25, 100), "DataModem loopback self test bit error rate:\t1.00E-6\t"},
        {"25 negative: quotient and remainder both truncate toward zero", m65(25, -1234),
         "DataModem loopback self test bit error rate:\t-12.-34E-6\t"},
        {"22 more than six digits", m65(22, 0x1234567), "PCM RBS map:\t0x1234567\t"},
        {"12 small value", m65(12, 0x1a), "DC Offset:\t\t0x1a \t"},
        {"selector minus one", m65(-1, 24), ""},
        {"selector 0x80000001", m65(0x80000001LL, 24), ""},
        {"selector 1000", m65(1000, 24), ""},
    };
    check_cases(decode_line_measurement, cases, std::size(cases));
}

using V8Octets = DriverMemoryTest;

TEST_F(V8Octets, DumpsOctetsInLowerCaseHex) {
    const unsigned char cm[] = {0xE0, 0xC1, 0x05};
    const uint32_t at = place(FakeDriverMemory::BASE + 16, cm, sizeof cm);
    EXPECT_EQ(run_handler(decode_line_measurement, make_record(65, {30, 3, at})),
              "V8 call menu signal CM data:e0c105\t");
    EXPECT_EQ(memory.bytes_requested, 3u);
    EXPECT_EQ(run_handler(decode_line_measurement, make_record(65, {31, 2, at})),
              "V8 joint menu signal JM data:e0c1\t");
}

TEST_F(V8Octets, NoCountReadsNothing) {
    for (int64_t count : {0LL, -1LL, -100000LL}) {
        SCOPED_TRACE(count);
        reset_counts();
        EXPECT_EQ(run_handler(decode_line_measurement, make_record(65, {30, count, FakeDriverMemory::BASE})),
                  "V8 call menu signal CM data:\t");
        EXPECT_EQ(memory.calls, 0);
    }
}

TEST_F(V8Octets, UnreadableBlockKeepsHeaderAndTab) {
    EXPECT_EQ(run_handler(decode_line_measurement, make_record(65, {30, 3, BAD_ADDRESS})),
              "V8 call menu signal CM data:<unreadable>\t");
    // A block that runs past readable memory is unreadable as a whole.
    const uint32_t near_end = FakeDriverMemory::BASE + FakeDriverMemory::SIZE - 2;
    EXPECT_EQ(run_handler(decode_line_measurement, make_record(65, {31, 3, near_end})),
              "V8 joint menu signal JM data:<unreadable>\t");
}

TEST_F(V8Octets, CountsAreBoundedToTheLine) {
    fill(0xAB);
    struct Bound {
        const char *description;
        int64_t selector;
        int64_t count;
        const char *header;
        size_t octets;  // octets expected in the line and read
    };
    // 511 characters: 28 (or 29) of header, one tab, the rest hex pairs.
    const Bound bounds[] = {
        {"CM exactly at capacity", 30, 241, "V8 call menu signal CM data:", 241},
        {"CM one past capacity", 30, 242, "V8 call menu signal CM data:", 241},
        {"CM huge count", 30, 100000, "V8 call menu signal CM data:", 241},
        {"CM count with the top bit clear but huge", 30, 0x7fffffff, "V8 call menu signal CM data:", 241},
        {"JM exactly at capacity", 31, 240, "V8 joint menu signal JM data:", 240},
        {"JM huge count", 31, 100000, "V8 joint menu signal JM data:", 240},
    };
    for (const Bound &b : bounds) {
        SCOPED_TRACE(b.description);
        reset_counts();
        const std::string line =
            run_handler(decode_line_measurement, make_record(65, {b.selector, b.count, FakeDriverMemory::BASE}));
        EXPECT_EQ(line, std::string(b.header) + repeat("ab", b.octets) + "\t");
        EXPECT_LE(line.size(), 511u);
        EXPECT_EQ(memory.bytes_requested, b.octets);
    }
}

TEST(Capabilities, EveryItemAndTheCatchAll) {
    const LineCase cases[] = {
        {"0 right-aligned in eight places", make_record(74, {0, 0x1F}), "Symbol rates bitmap:              1f "},
        {"1 full width", make_record(74, {1, 0x12345678}), "Data rates bitmap:          12345678 "},
        {"2 all bits", make_record(74, {2, -1}), "Features bitmap:            ffffffff "},
        {"3 zero", make_record(74, {3, 0}), "Demod. capabilities bitmap:        0 "},
        {"4", make_record(74, {4, 0xabc}), "Rate threshold adjustment:       abc "},
        {"5", make_record(74, {5, 1}), "Xmt level adjustment:              1 "},
        {"6 hybrid delay in 1/16 ms", make_record(74, {6, 24}), "Hybrid Delay setup:  1.5000 ms "},
        {"6 hybrid delay not negated", make_record(74, {6, -24}), "Hybrid Delay setup: -1.5000 ms "},
        {"7", make_record(74, {7, 0x100}), "Auxiliary features bitmap:       100 "},
        {"8 catch-all", make_record(74, {8, 0x2a}), "Capabilities status code 8 value 2a "},
        {"negative item, signed decimal", make_record(74, {-1, 0x10}), "Capabilities status code -1 value 10 "},
        {"negative value, unsigned hex", make_record(74, {-2, -1}), "Capabilities status code -2 value ffffffff "},
    };
    check_cases(decode_capabilities, cases, std::size(cases));
}

TEST(ErrorStatistics, ModemAndAudioReports) {
    const LineCase cases[] = {
        {"modem only, audio words ignored", make_record(128, {1000000, 5000, 25, 3, 0, 7, 8, 9}),
         "Modem : 1000000 bits / 5000 blocks received; 25 bit / 3 block errors;\tBER: 0.2500e-4 ;\tBLER: 0.60e-3\t"},
        {"both halves, four different ratios", make_record(128, {1000000, 5000, 25, 3, 200, 200, 50, 1}),
         "Modem : 1000000 bits / 5000 blocks received; 25 bit / 3 block errors;\tBER: 0.2500e-4 ;\tBLER: 0.60e-3\n"
         "Audio : 200 bits / 200 blocks received; 50 sync/ 1 block errors;\tSER: 0.25e+0 ;\tBLER: 0.50e-2\t"},
        {"fixed texts in all four fields", make_record(128, {0, 50, 0, 50, 50, 50, 1, 0}),
         "Modem : 0 bits / 50 blocks received; 0 bit / 50 block errors;\tBER: NaN ;\tBLER: 1.00\n"
         "Audio : 50 bits / 50 blocks received; 1 sync/ 0 block errors;\tSER: **** ;\tBLER: 0.00\t"},
        {"counts print signed, ratios use unsigned", make_record(128, {-1, 50, 0, 60}),
         "Modem : -1 bits / 50 blocks received; 0 bit / 60 block errors;\tBER: 0.00 ;\tBLER: NaN\t"},
    };
    check_cases(decode_error_statistics, cases, std::size(cases));
}

}  // namespace
