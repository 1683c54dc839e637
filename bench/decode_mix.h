// The records of one realistic V.34 data session, from going off-hook to
// cleardown, as the decode benchmark feeds them to decode_status. Each entry
// also carries the format the line is printed with and one plain snprintf of
// that format with the values already worked out, the bare formatting cost
// the decoder is measured against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "decoder/driver_memory.h"
#include "decoder/status.h"

namespace mix {

// ---- Driver memory that the session's records point into -------------------

constexpr uint32_t V34_BLOCK = 0x80001000;
constexpr uint32_t MP_BLOCK = 0x80001100;
constexpr uint32_t CM_OCTETS = 0x80001200;
constexpr uint32_t JM_OCTETS = 0x80001300;
constexpr uint32_t AT_TEXT = 0x80001400;
constexpr uint32_t CID_TIME = 0x80001500;
constexpr uint32_t CID_NUMBER = 0x80001600;

struct DriverMemory {
    unsigned char v34[37];
    unsigned char mp[18];
    unsigned char cm[6];
    unsigned char jm[6];
    char at_text[32];
    char cid_time[8];
    char cid_number[16];
};

inline DriverMemory build_memory()
{
    DriverMemory m{};
    m.v34[13] = 1;      // exp
    m.v34[14] = 1;      // prc
    m.v34[16] = 1;      // J
    m.v34[17] = 12;     // P
    m.v34[18] = 10;     // r
    m.v34[19] = 85;     // b
    m.v34[21] = 3;      // K
    m.v34[22] = 2;      // q
    m.v34[23] = 18;     // M
    m.v34[36] = 12;     // 3200 symbol-rate figure
    const unsigned char mp[8] = {0x34, 0x12, 0x01, 0x00, 0xcd, 0xab, 0xff, 0x00};
    std::memcpy(m.mp, mp, sizeof(mp));
    const unsigned char cm[6] = {0xe0, 0xc1, 0x05, 0x45, 0x90, 0xb5};
    std::memcpy(m.cm, cm, sizeof(cm));
    const unsigned char jm[6] = {0xe0, 0xc1, 0x05, 0x45, 0x90, 0x35};
    std::memcpy(m.jm, jm, sizeof(jm));
    std::strcpy(m.at_text, "AT command: ATDT5551234");
    std::memcpy(m.cid_time, "12251830", 8);
    std::strcpy(m.cid_number, "5551234567");
    return m;
}

inline const DriverMemory MEMORY = build_memory();

struct Region {
    uint32_t address;
    const void *bytes;
    size_t size;
};

inline const Region REGIONS[] = {
    {V34_BLOCK, MEMORY.v34, sizeof(MEMORY.v34)},
    {MP_BLOCK, MEMORY.mp, sizeof(MEMORY.mp)},
    {CM_OCTETS, MEMORY.cm, sizeof(MEMORY.cm)},
    {JM_OCTETS, MEMORY.jm, sizeof(MEMORY.jm)},
    {AT_TEXT, MEMORY.at_text, sizeof(MEMORY.at_text)},
    {CID_TIME, MEMORY.cid_time, sizeof(MEMORY.cid_time)},
    {CID_NUMBER, MEMORY.cid_number, sizeof(MEMORY.cid_number)},
};

// The driver-memory reader of the benchmark: the readable prefix of the
// request inside one region, nothing elsewhere.
inline size_t read_memory(void *, uint32_t address, unsigned char *dest, size_t count)
{
    for (const Region &r : REGIONS) {
        if (address < r.address || address - r.address >= r.size)
            continue;
        const size_t available = r.size - (address - r.address);
        const size_t n = count < available ? count : available;
        std::memcpy(dest, static_cast<const unsigned char *>(r.bytes) + (address - r.address), n);
        return n;
    }
    return 0;
}

// ---- The session ------------------------------------------------------------

using PlainCall = void (*)(char *line, size_t size, const char *format);

struct Entry {
    StatusRecord record;
    const char *format;
    PlainCall plain;
};

constexpr StatusRecord rec(uint32_t code, uint32_t p1 = 0, uint32_t p2 = 0, uint32_t p3 = 0,
                           uint32_t p4 = 0)
{
    return StatusRecord{code, p1, p2, p3, p4, 0, 0, 0, 0, 1};
}

// The format reaches snprintf at run time, as in the decoder, so that the
// compiler cannot fold the baseline's formatting away.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

#define PLAIN(...) [](char *l, size_t n, const char *f) { std::snprintf(l, n, f, __VA_ARGS__); }
#define PLAIN_TEXT [](char *l, size_t n, const char *f) { std::snprintf(l, n, f); }

inline const Entry SESSION[] = {
    // Off hook, dialing, caller ID of the previous ring.
    {rec(72, 1, 30), "Caller ID, %ld bytes of channel seizure received ", PLAIN(30L)},
    {rec(72, 2, 180), "Caller ID, %ld bytes of mark signal received ", PLAIN(180L)},
    {rec(72, 3, 0, CID_TIME), "Caller ID, IDtime: %c%c/%c%c, %c%c:%c%c ",
     PLAIN('1', '2', '2', '5', '1', '8', '3', '0')},
    {rec(72, 4, 10, CID_NUMBER), "Caller ID, telephone number: %s ", PLAIN("5551234567")},
    {rec(72, 6), "Caller ID reception finished.\n", PLAIN_TEXT},
    {rec(22, 1), "Hook switch %3s ", PLAIN(" ON")},
    {rec(97, AT_TEXT), "%s\t", PLAIN("AT command: ATDT5551234")},
    {rec(66, 0), "Dialing completed\t", PLAIN_TEXT},
    {rec(16, 0x35), "DTMF %c ", PLAIN('5')},
    {rec(1, 8000), "Sampling rate:\t\t\t%6ld Hz\t", PLAIN(8000L)},
    // V.8 (V.34 phase 1).
    {rec(64, 20), "V8 (V34 Phase 1) detected ANS tone ", PLAIN_TEXT},
    {rec(64, 21), "V8 (V34 Phase 1) detected ANSam ", PLAIN_TEXT},
    {rec(64, 22), "V8 (V34 Phase 1) detected CM ", PLAIN_TEXT},
    {rec(65, 30, 6, CM_OCTETS), "V8 call menu signal CM data:%s\t", PLAIN("e0c1054590b5")},
    {rec(64, 23), "V8 (V34 Phase 1) detected JM ", PLAIN_TEXT},
    {rec(65, 31, 6, JM_OCTETS), "V8 joint menu signal JM data:%s\t", PLAIN("e0c105459035")},
    {rec(64, 25, 0x100), "V8 (V34 Phase 1) finished, modulation %s ", PLAIN("v.34")},
    // V.34 phase 2: probing and ranging.
    {rec(64, 26), "V34 Phase 2 started ", PLAIN_TEXT},
    {rec(64, 27, 0), "V34 Phase 2 detected INFO%d sequence ", PLAIN(0)},
    {rec(64, 27, 1), "V34 Phase 2 detected INFO%d sequence ", PLAIN(1)},
    {rec(64, 28, 0x00500123),
     "V34 Phase 2 detected near end echo, detected value = %ld, 40ms turn-around uses %ld ",
     PLAIN(291L, 80L)},
    {rec(64, 29), "Receiving V34 Phase 2 L1 signal ", PLAIN_TEXT},
    {rec(64, 30), "Receiving V34 Phase 2 L2 signal ", PLAIN_TEXT},
    {rec(65, 1, 0x2A0), "Round Trip Delay :\t%s ms\t", PLAIN(" 42.0")},
    {rec(65, 2, 480), "Rx Signal Level:\t %s dBm\t", PLAIN("-30.0")},
    {rec(65, 3, 5), "Timing Offset  :\t%s ppm\t", PLAIN(" 0.3125")},
    {rec(65, 4, 100), "Frequency Offset:\t%s Hz\t", PLAIN(" 0.39")},
    {rec(64, 38, 14), "Max local  Rx data rate %5ld ", PLAIN(33600L)},
    {rec(64, 39, 14), "Max local  Tx data rate %5ld ", PLAIN(33600L)},
    {rec(64, 40, 13), "Max remote Rx data rate %5ld ", PLAIN(31200L)},
    {rec(64, 41, 12), "Max remote Tx data rate %5ld ", PLAIN(28800L)},
    {rec(64, 42, 0x040E0238),
     "Projected data rate for %4d symbol rate, is %5ld bps (in-band SNR = %s dB) ",
     PLAIN(3200, 33600L, " 35.5000")},
    {rec(64, 42, 0x050F0220),
     "Projected data rate for %4d symbol rate, is %5ld bps (in-band SNR = %s dB) ",
     PLAIN(3429, 36000L, " 34.0")},
    {rec(64, 42, 0x030C0200),
     "Projected data rate for %4d symbol rate, is %5ld bps (in-band SNR = %s dB) ",
     PLAIN(3000, 28800L, " 32.0")},
    {rec(64, 31, 0x100), "V34 Phase 2 finished, modulation %s ", PLAIN("v.34")},
    {rec(3, 4), "Rx symbol rate:\t\t\t%6ld Hz\t", PLAIN(3200L)},
    {rec(4, 4), "Tx symbol rate:\t\t\t%6ld Hz\t", PLAIN(3200L)},
    {rec(5, 1920), "Rx carrier frequency:\t\t%6ld Hz\t", PLAIN(1920L)},
    {rec(6, 1959), "Tx carrier frequency:\t\t%6ld Hz\t", PLAIN(1959L)},
    {rec(7, 3), "Tx preemphasis filter:\t\t%6ld \t\t", PLAIN(3L)},
    {rec(8, 0xFFFFFFE0), "Tx power adjustment:\t\t%6ld dB\t", PLAIN(-2L)},
    {rec(9, 5), "Remote Tx preemphasis filter:\t%6ld \t\t", PLAIN(5L)},
    {rec(10, 2), "Remote Tx power adjustment:\t%6ld dB\t", PLAIN(2L)},
    // V.34 phases 3 and 4: equaliser training and MP exchange.
    {rec(64, 32), "V34 Phase 3 started ", PLAIN_TEXT},
    {rec(64, 4), "S   detected ", PLAIN_TEXT},
    {rec(64, 5), "S~  detected ", PLAIN_TEXT},
    {rec(64, 7), "J16 detected ", PLAIN_TEXT},
    {rec(64, 33), "V34 Phase 3 finished ", PLAIN_TEXT},
    {rec(64, 34), "V34 Phase 4 started ", PLAIN_TEXT},
    {rec(64, 11, MP_BLOCK), "%s\t%4x %4x %4x %4x ", PLAIN("MP  sent", 0x1234u, 0x1u, 0xabcdu, 0xffu)},
    {rec(64, 9, MP_BLOCK), "%s\t%4x %4x %4x %4x ",
     PLAIN("MP detected", 0x1234u, 0x1u, 0xabcdu, 0xffu)},
    {rec(64, 36, V34_BLOCK),
     "V34 decoder parameters: %s %s %s %s %2dS J=%1d P=%2d b=%2d r=%2d q=%1d K=%2d M=%2d ",
     PLAIN("---", "exp", "prc", "---", 12, 1, 12, 85, 10, 2, 3, 18)},
    {rec(64, 37, V34_BLOCK),
     "V34 encoder parameters: %s %s %s %s %2dS J=%1d P=%2d b=%2d r=%2d q=%1d K=%2d M=%2d ",
     PLAIN("---", "exp", "prc", "---", 12, 1, 12, 85, 10, 2, 3, 18)},
    {rec(64, 43), "Main far-end echo canceller deactivated ", PLAIN_TEXT},
    {rec(64, 35), "V34 Phase 4 finished ", PLAIN_TEXT},
    // Data mode.
    {rec(2, 0x100), "Modulation: %s ", PLAIN("v.34")},
    {rec(11, 0x20000), "RxRate:  %5ld bps ", PLAIN(31200L)},
    {rec(12, 0x10000), "TxRate:  %5ld bps ", PLAIN(28800L)},
    {rec(36), "Carrier Present! ", PLAIN_TEXT},
    {rec(13), "Rx Data Mode Active! ", PLAIN_TEXT},
    {rec(14), "Tx Data Mode Active! ", PLAIN_TEXT},
    {rec(65, 6, 568), "Signal/Noise Ratio:\t%s dB\t", PLAIN(" 35.5000")},
    {rec(65, 7, 720), "Near Echo Signal Level:\t %s dBm\t", PLAIN("-45.0")},
    {rec(65, 8, 400), "Signal/Echo Ratio:\t%s dB\t", PLAIN(" 25.0")},
    {rec(74, 0, 0x7F), "Symbol rates bitmap:        %8lx ", PLAIN(0x7FUL)},
    {rec(74, 1, 0x3FFFE), "Data rates bitmap:          %8lx ", PLAIN(0x3FFFEUL)},
    {rec(74, 6, 0x50), "Hybrid Delay setup: %s ms ", PLAIN(" 5.0")},
    // Error control and compression.
    {rec(69, 2), "LAPM V.42 ODP detected\t", PLAIN_TEXT},
    {rec(69, 3), "LAPM V.42 ADP detected\t", PLAIN_TEXT},
    {rec(70, 0, 15), "LAPM xmt  sliding window size: %3ld\t", PLAIN(15L)},
    {rec(70, 1, 15), "LAPM rcv  sliding window size: %3ld\t", PLAIN(15L)},
    {rec(70, 2, 128), "LAPM xmt max info field  size: %3ld\t", PLAIN(128L)},
    {rec(70, 3, 128), "LAPM rcv max info field  size: %3ld\t", PLAIN(128L)},
    {rec(70, 6, 3), "LAPM compression enabled       \t", PLAIN_TEXT},
    {rec(70, 7, 2048), "LAPM compression dict. size: %3ld\t", PLAIN(2048L)},
    {rec(70, 8, 32), "LAPM comp.  max string size: %3ld\t", PLAIN(32L)},
    {rec(69, 1), "LAPM established connection\t", PLAIN_TEXT},
    {rec(71, 1), "V42bis Encoder: Compressed mode active\t", PLAIN_TEXT},
    {rec(71, 3), "V42bis Decoder: Compressed mode active\t", PLAIN_TEXT},
    {rec(129), "Connection established! \n", PLAIN_TEXT},
    {rec(93, 1), "AT Response %ld\t", PLAIN(1L)},
    {rec(21, 109, 1), "V.24 circuit %3ld  ON ", PLAIN(109L)},
    {rec(69, 10, 64), "LAPM TxFRAME l=%3ld ", PLAIN(64L)},
    {rec(69, 11, 32), "LAPM RxFRAME l=%3ld ", PLAIN(32L)},
    {rec(69, 10, 128), "LAPM TxFRAME l=%3ld ", PLAIN(128L)},
    {rec(69, 11, 128), "LAPM RxFRAME l=%3ld ", PLAIN(128L)},
    // A fax poll on the same line would report like this.
    {rec(84, 1, 0, 1), "Class 2 %s %s message: %s%s\t", PLAIN("got", "FAX", "fax_CONNECT", "")},
    {rec(84, 0, 2, 19, 65), "Class 2 %s %s message: %s%s\t",
     PLAIN("put", "T.30", "t30_FRAME_TRANSMITTED - ", "DCS")},
    {rec(84, 1, 1, 1), "Class 2 %s %s message: %s%s\t",
     PLAIN("got", "monitor", "monitor_CARRIER_LOST", "")},
    // Statistics and cleardown.
    {rec(128, 1000000, 4000, 25, 1),
     "Modem : %ld bits / %ld blocks received; %ld bit / %ld block errors;\tBER: %s ;\tBLER: %s\t",
     PLAIN(1000000L, 4000L, 25L, 1L, "0.2500e-4", "0.25e-3")},
    {rec(69, 12, 1200, 3), "LAPM Tx: %ld frames sent;     %ld frames retransmitted\t",
     PLAIN(1200L, 3L)},
    {rec(69, 13, 1100, 2), "LAPM Rx: %ld frames received; %ld frames rejected     \t",
     PLAIN(1100L, 2L)},
    {rec(71, 5, 50000, 21000), "V42bis Encoder statistic: %ld bytes in / %ld bytes out\t",
     PLAIN(50000L, 21000L)},
    {rec(71, 6, 18000, 41000), "V42bis Decoder statistic: %ld bytes in / %ld bytes out\t",
     PLAIN(18000L, 41000L)},
    {rec(44), "Cleardown initiated! ", PLAIN_TEXT},
    {rec(69, 0, 1), "LAPM disconnected (local requested disconnect)\t", PLAIN_TEXT},
    {rec(37), "Carrier Lost! ", PLAIN_TEXT},
    {rec(34), "Cleardown! ", PLAIN_TEXT},
    {rec(22, 0), "Hook switch %3s ", PLAIN("OFF")},
};

#undef PLAIN
#undef PLAIN_TEXT
#pragma GCC diagnostic pop

constexpr size_t SESSION_LENGTH = sizeof(SESSION) / sizeof(SESSION[0]);

}  // namespace mix
