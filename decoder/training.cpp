// Code 64: handshake and training events (V.8 and V.34 start-up phases, their
// PCM counterparts, V.34 parameters, rates, echo cancellers, loop tests, the
// V.34 half-duplex control channel, seamless rate changes, V.32 ranging).
// param1 selects the event, param2 carries its value or the address of a
// block in driver memory.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "decoder/driver_memory.h"
#include "decoder/families.h"
#include "decoder/format_check.h"
#include "formatting/formatting.h"

namespace {

constexpr uint32_t HIGHEST_EVENT = 109;

enum class Kind : uint8_t {
    FIXED,              // fixed text
    HEX,                // %4x: param2 as unsigned int
    HEX_LONG,           // %lx / %4lx: param2 as unsigned long
    DECIMAL,            // %d: param2 as int
    MODULATION,         // %s: modulation_name(param2)
    RATE_2400,          // %5ld: param2 * 2400
    SIDE,               // %s: "source" when param2 is not 0, else "recipient"
    NEAR_END_ECHO,      // two 16-bit halves of param2
    V34_PARAMETERS,     // V.34 parameter block at param2
    PROJECTED_RATE,     // symbol rate, rate and SNR packed into param2
    JD,                 // Jd block at param2
    HALF_DUPLEX_RATES,  // side and three 4-bit rates packed into param2
    MP_SEQUENCE,        // MP block at param2; format column holds the name
    CP_DETECTED,        // CP block at param2; name chosen from its flags
    CP_SENT,            // CP block at param2; format column holds the name
};

struct EventRow {
    uint32_t event;
    const char *format;
    Kind kind;
};

constexpr EventRow EVENT_ROWS[] = {
    {0,   "Periodical detected ",                                      Kind::FIXED},
    {1,   "Phase reversal detected ",                                  Kind::FIXED},
    {2,   "Signal start detected ",                                    Kind::FIXED},
    {3,   "Signal end detected ",                                      Kind::FIXED},
    {4,   "S   detected ",                                             Kind::FIXED},
    {5,   "S~  detected ",                                             Kind::FIXED},
    {6,   "J4  detected ",                                             Kind::FIXED},
    {7,   "J16 detected ",                                             Kind::FIXED},
    {8,   "J'  detected ",                                             Kind::FIXED},
    {9,   "MP detected",                                               Kind::MP_SEQUENCE},
    {10,  "MP' detected",                                              Kind::MP_SEQUENCE},
    {11,  "MP  sent",                                                  Kind::MP_SEQUENCE},
    {12,  "MP'  sent",                                                 Kind::MP_SEQUENCE},
    {13,  "R-sequence detected\t%4x ",                                 Kind::HEX},
    {14,  "E detected\t%4x ",                                          Kind::HEX},
    {15,  "R-sequence sent\t%4x ",                                     Kind::HEX},
    {16,  "Automoder trying \t%s ",                                    Kind::MODULATION},
    {17,  "Automoding completed, selected \t%s ",                      Kind::MODULATION},
    {18,  "Rockwell compatible bitmap:\t%lx ",                         Kind::HEX_LONG},
    {19,  "V8 (V34 Phase 1) detected CI ",                             Kind::FIXED},
    {20,  "V8 (V34 Phase 1) detected ANS tone ",                       Kind::FIXED},
    {21,  "V8 (V34 Phase 1) detected ANSam ",                          Kind::FIXED},
    {22,  "V8 (V34 Phase 1) detected CM ",                             Kind::FIXED},
    {23,  "V8 (V34 Phase 1) detected JM ",                             Kind::FIXED},
    {24,  "V8 (V34 Phase 1) detected CJ ",                             Kind::FIXED},
    {25,  "V8 (V34 Phase 1) finished, modulation %s ",                 Kind::MODULATION},
    {26,  "V34 Phase 2 started ",                                      Kind::FIXED},
    {27,  "V34 Phase 2 detected INFO%d sequence ",                     Kind::DECIMAL},
    {28,  "V34 Phase 2 detected near end echo, detected value = %ld, 40ms turn-around uses %ld ",
                                                                       Kind::NEAR_END_ECHO},
    {29,  "Receiving V34 Phase 2 L1 signal ",                          Kind::FIXED},
    {30,  "Receiving V34 Phase 2 L2 signal ",                          Kind::FIXED},
    {31,  "V34 Phase 2 finished, modulation %s ",                      Kind::MODULATION},
    {32,  "V34 Phase 3 started ",                                      Kind::FIXED},
    {33,  "V34 Phase 3 finished ",                                     Kind::FIXED},
    {34,  "V34 Phase 4 started ",                                      Kind::FIXED},
    {35,  "V34 Phase 4 finished ",                                     Kind::FIXED},
    {36,  "V34 decoder parameters: %s %s %s %s %2dS J=%1d P=%2d b=%2d r=%2d q=%1d K=%2d M=%2d ",
                                                                       Kind::V34_PARAMETERS},
    {37,  "V34 encoder parameters: %s %s %s %s %2dS J=%1d P=%2d b=%2d r=%2d q=%1d K=%2d M=%2d ",
                                                                       Kind::V34_PARAMETERS},
    {38,  "Max local  Rx data rate %5ld ",                             Kind::RATE_2400},
    {39,  "Max local  Tx data rate %5ld ",                             Kind::RATE_2400},
    {40,  "Max remote Rx data rate %5ld ",                             Kind::RATE_2400},
    {41,  "Max remote Tx data rate %5ld ",                             Kind::RATE_2400},
    {42,  "Projected data rate for %4d symbol rate, is %5ld bps (in-band SNR = %s dB) ",
                                                                       Kind::PROJECTED_RATE},
    {43,  "Main far-end echo canceller deactivated ",                  Kind::FIXED},
    {44,  "Main near-end echo canceller deactivated ",                 Kind::FIXED},
    {45,  "Preliminary far-end echo canceller deactivated ",           Kind::FIXED},
    {46,  "Phase jitter canceller deactivated ",                       Kind::FIXED},
    {47,  "PCM phase 2 detected digital connection ",                  Kind::FIXED},
    {48,  "PCM phase 2 detected RBS ",                                 Kind::FIXED},
    {49,  "X2 PCM detected phase 1 escape signal ",                    Kind::FIXED},
    {50,  "1200bps training ",                                         Kind::FIXED},
    {51,  "2400bps training ",                                         Kind::FIXED},
    {52,  "USB1 detected ",                                            Kind::FIXED},
    {53,  "SB1 @ 1200 detected ",                                      Kind::FIXED},
    {54,  "SB1 @ 2400 detected ",                                      Kind::FIXED},
    {55,  "S1 detected ",                                              Kind::FIXED},
    {56,  "V22 initiating V54 loop 2 test ",                           Kind::FIXED},
    {57,  "V22 responding to V54 loop 2 test ",                        Kind::FIXED},
    {58,  "V22 detected loop 2 test alternating 0 and 1 ",             Kind::FIXED},
    {59,  "DataModem local digital loopback test started ",            Kind::FIXED},
    {60,  "DataModem local digital loopback test finished ",           Kind::FIXED},
    {61,  "DataModem remote digital loopback test started ",           Kind::FIXED},
    {62,  "DataModem remote digital loopback test finished ",          Kind::FIXED},
    {63,  "DataModem local analog loopback test started ",             Kind::FIXED},
    {64,  "DataModem local analog loopback test finished ",            Kind::FIXED},
    {65,  "DataModem loopback self test enabled ",                     Kind::FIXED},
    {70,  "PCM phase 3 started ",                                      Kind::FIXED},
    {71,  "PCM phase 3 finished ",                                     Kind::FIXED},
    {72,  "PCM phase 4 started ",                                      Kind::FIXED},
    {73,  "PCM phase 4 finished ",                                     Kind::FIXED},
    {74,  "Ja detected ",                                              Kind::FIXED},
    {75,  "Jd detected:\t%4x %4x\t",                                   Kind::JD},
    {76,  "Jd' detected ",                                             Kind::FIXED},
    {77,  "R detected ",                                               Kind::FIXED},
    {78,  "R~ detected ",                                              Kind::FIXED},
    // The name of event 79 depends on the block's flags; this one stands
    // when the block cannot be read.
    {79,  "CP detected",                                               Kind::CP_DETECTED},
    {80,  "CPt sent",                                                  Kind::CP_SENT},
    {81,  "CP  sent",                                                  Kind::CP_SENT},
    {82,  "CP' sent",                                                  Kind::CP_SENT},
    {83,  "V34 Seamless Rate Change Request Sent: %4lx ",              Kind::HEX_LONG},
    {84,  "V34 Seamless Rate Change Update Sent: %4lx ",               Kind::HEX_LONG},
    {85,  "V34 Seamless Rate Change Request Received: %4lx ",          Kind::HEX_LONG},
    {86,  "V34 Seamless Rate Change Update Received: %4lx ",           Kind::HEX_LONG},
    {87,  "V34 Seamless Rate Change Update Timeout ",                  Kind::FIXED},
    {88,  "S/S~ to acknowledge Ja detected ",                          Kind::FIXED},
    {100, "V34 half duplex control channel PPh detected ",             Kind::FIXED},
    {101, "V34 half duplex control channel MPh detected ",             Kind::FIXED},
    {102, "V34 half duplex %s rates -- %d %d %d ",                     Kind::HALF_DUPLEX_RATES},
    {103, "V34 half duplex control channel consecutive binary 1 detected ", Kind::FIXED},
    {104, "V34 half duplex %s side phase 3 started ",                  Kind::SIDE},
    {105, "V34 half duplex %s side phase 3 finished ",                 Kind::SIDE},
    {106, "V34 half duplex primary channel consecutive binary 1 detected ", Kind::FIXED},
    {108, "V32 ranging started ",                                      Kind::FIXED},
    {109, "V32 ranging finished ",                                     Kind::FIXED},
};

// ---- Compile-time checks of the table --------------------------------------

// The conversions each kind passes its values to.
constexpr bool format_fits(const char *format, Kind kind)
{
    const Conversions c = conversions_of(format);
    if (!c.valid)
        return false;
    switch (kind) {
    case Kind::FIXED:
    case Kind::MP_SEQUENCE:
    case Kind::CP_DETECTED:
    case Kind::CP_SENT:
        return same_text(c.text, "");
    case Kind::HEX:
        return same_text(c.text, "x");
    case Kind::HEX_LONG:
        return same_text(c.text, "lx");
    case Kind::DECIMAL:
        return same_text(c.text, "d");
    case Kind::MODULATION:
    case Kind::SIDE:
        return same_text(c.text, "s");
    case Kind::RATE_2400:
        return same_text(c.text, "ld");
    case Kind::NEAR_END_ECHO:
        return same_text(c.text, "ldld");
    case Kind::V34_PARAMETERS:
        return same_text(c.text, "ssssdddddddd");
    case Kind::PROJECTED_RATE:
        return same_text(c.text, "dlds");
    case Kind::JD:
        return same_text(c.text, "xx");
    case Kind::HALF_DUPLEX_RATES:
        return same_text(c.text, "sddd");
    }
    return false;
}

struct EventDispatch {
    const EventRow *row = nullptr;  // nullptr: no event of its own
    uint16_t length = 0;            // characters of the format before its NUL
};

using EventTable = std::array<EventDispatch, HIGHEST_EVENT + 1>;

struct BuiltTable {
    EventTable table{};
    bool valid = true;
};

constexpr BuiltTable build_dispatch()
{
    BuiltTable built;
    for (const EventRow &row : EVENT_ROWS) {
        if (row.event > HIGHEST_EVENT || built.table[row.event].row != nullptr ||
            !format_fits(row.format, row.kind)) {
            built.valid = false;
            continue;
        }
        uint16_t length = 0;
        while (row.format[length] != '\0')
            ++length;
        built.table[row.event] = {&row, length};
    }
    return built;
}

constexpr BuiltTable BUILT_DISPATCH = build_dispatch();
static_assert(BUILT_DISPATCH.valid,
              "an event is listed twice, lies above 109 or its format does not match its kind");
constexpr const EventTable &DISPATCH = BUILT_DISPATCH.table;

// ---- Events that read driver blocks ----------------------------------------

unsigned int word16(const unsigned char *bytes, int index)
{
    return static_cast<unsigned int>(bytes[2 * index]) |
           static_cast<unsigned int>(bytes[2 * index + 1]) << 8;
}

// A block that cannot be read: the name, its TAB and the marker where the
// words would stand, closed by the words' blank.
void write_unreadable_sequence(const char *name, StatusLine &line)
{
    std::snprintf(line, sizeof(line), "%s\t%s ", name, UNREADABLE_TEXT);
}

// The name, a TAB and each 16-bit word of the block as "%4x " (4, 8 or 9
// words; the block holds at least that many).
void write_sequence(const char *name, const unsigned char *block, int words, StatusLine &line)
{
    unsigned int w[9] = {};
    for (int i = 0; i < words && i < 9; ++i)
        w[i] = word16(block, i);
    if (words == 4)
        std::snprintf(line, sizeof(line), "%s\t%4x %4x %4x %4x ", name, w[0], w[1], w[2], w[3]);
    else if (words == 8)
        std::snprintf(line, sizeof(line), "%s\t%4x %4x %4x %4x %4x %4x %4x %4x ", name, w[0], w[1],
                      w[2], w[3], w[4], w[5], w[6], w[7]);
    else
        std::snprintf(line, sizeof(line), "%s\t%4x %4x %4x %4x %4x %4x %4x %4x %4x ", name, w[0],
                      w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8]);
}

// MP sequences: bit 0 of byte 0 tells 9 words (set) or 4 words (clear). The
// short form is read first so that a 4-word block at the end of readable
// memory still prints.
void decode_mp_sequence(const char *name, const DriverMemory &memory, uint32_t address, StatusLine &line)
{
    unsigned char block[18];
    if (!read_driver_block(memory, address, 8, block)) {
        write_unreadable_sequence(name, line);
        return;
    }
    if ((block[0] & 0x01) == 0) {
        write_sequence(name, block, 4, line);
        return;
    }
    if (!read_driver_block(memory, address, 18, block)) {
        write_unreadable_sequence(name, line);
        return;
    }
    write_sequence(name, block, 9, line);
}

// Event 79: bit 1 of byte 0 clear means CPt; otherwise bits 4 and 7 of
// byte 1 choose among CPs', CPs, CP' and CP.
const char *cp_detected_name(const unsigned char *block)
{
    if ((block[0] & 0x02) == 0)
        return "CPt detected";
    const bool s = (block[1] & 0x10) != 0;
    const bool prime = (block[1] & 0x80) != 0;
    if (s)
        return prime ? "CPs' detected" : "CPs detected";
    return prime ? "CP' detected" : "CP detected";
}

void decode_cp_sequence(const EventRow &row, const DriverMemory &memory, uint32_t address, StatusLine &line)
{
    unsigned char block[16];
    if (!read_driver_block(memory, address, sizeof(block), block)) {
        write_unreadable_sequence(row.format, line);
        return;
    }
    const char *name = row.kind == Kind::CP_DETECTED ? cp_detected_name(block) : row.format;
    write_sequence(name, block, 8, line);
}

// V.34 parameter block: flags at bytes 12-15, signed parameters at 16-19 and
// 21-23, the symbol-rate figure at byte 36. Bytes 12 to 36 are read at once.
constexpr uint32_t V34_FIRST_BYTE = 12;
constexpr size_t V34_BYTES = 37 - V34_FIRST_BYTE;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
// Formats come from EVENT_ROWS, whose conversions are checked above.
void decode_v34_parameters(const EventRow &row, const DriverMemory &memory, uint32_t address, StatusLine &line)
{
    unsigned char b[V34_BYTES];
    // A block that would run past the top of the address space is unreadable
    // (address + 12 must not wrap round to low memory).
    const bool fits = address <= UINT32_MAX - (V34_FIRST_BYTE + V34_BYTES - 1);
    if (!fits || !read_driver_block(memory, address + V34_FIRST_BYTE, V34_BYTES, b)) {
        // The fixed text before the first value ("V34 decoder parameters: ").
        const int prefix = static_cast<int>(std::strcspn(row.format, "%"));
        std::snprintf(line, sizeof(line), "%.*s%s ", prefix, row.format, UNREADABLE_TEXT);
        return;
    }
    auto at = [&b](int byte) { return b[byte - V34_FIRST_BYTE]; };
    auto signed_at = [&at](int byte) { return static_cast<int>(static_cast<int8_t>(at(byte))); };
    std::snprintf(line, sizeof(line), row.format, at(12) ? "aux" : "---", at(13) ? "exp" : "min",
                  at(14) ? "prc" : "---", at(15) ? "nlc" : "---", static_cast<int>(at(36)),
                  signed_at(16), signed_at(17), signed_at(19), signed_at(18), signed_at(22),
                  signed_at(21), signed_at(23));
}

void decode_jd(const EventRow &row, const DriverMemory &memory, uint32_t address, StatusLine &line)
{
    unsigned char b[4];
    if (!read_driver_block(memory, address, sizeof(b), b)) {
        std::snprintf(line, sizeof(line), "Jd detected:\t%s\t", UNREADABLE_TEXT);
        return;
    }
    std::snprintf(line, sizeof(line), row.format, word16(b, 0), word16(b, 1));
}

// Bits 24-27 index symbol_rates, bits 16-23 count 2400 bps, bits 0-15 are
// the in-band SNR in 1/16 dB. An index past the table is never used to read
// it: the line names the raw index instead of a rate.
void decode_projected_rate(const EventRow &row, uint32_t value, StatusLine &line)
{
    const uint32_t index = (value >> 24) & 0x0F;
    const long rate = static_cast<long>((value >> 16) & 0xFF) * 2400;
    const char *snr = format_db16(static_cast<int32_t>(value & 0xFFFF));
    if (index < SYMBOL_RATE_COUNT)
        std::snprintf(line, sizeof(line), row.format, static_cast<int>(symbol_rates[index]), rate,
                      snr);
    else
        std::snprintf(line, sizeof(line),
                      "Projected data rate for unknown (index %lu) symbol rate, is %5ld bps "
                      "(in-band SNR = %s dB) ",
                      as_unsigned(index), rate, snr);
}

void write_event(const EventDispatch &d, const StatusRecord &record, const DriverMemory &memory,
                 StatusLine &line)
{
    const EventRow &row = *d.row;
    const uint32_t p2 = record.param2;
    switch (row.kind) {
    case Kind::FIXED:
        std::memcpy(line, row.format, d.length + 1u);
        break;
    case Kind::HEX:
        std::snprintf(line, sizeof(line), row.format, static_cast<unsigned int>(p2));
        break;
    case Kind::HEX_LONG:
        std::snprintf(line, sizeof(line), row.format, as_unsigned(p2));
        break;
    case Kind::DECIMAL:
        std::snprintf(line, sizeof(line), row.format, static_cast<int>(as_signed(p2)));
        break;
    case Kind::MODULATION:
        std::snprintf(line, sizeof(line), row.format, modulation_name(p2));
        break;
    case Kind::RATE_2400:
        std::snprintf(line, sizeof(line), row.format,
                      static_cast<long>(static_cast<int64_t>(as_signed(p2)) * 2400));
        break;
    case Kind::SIDE:
        std::snprintf(line, sizeof(line), row.format, p2 != 0 ? "source" : "recipient");
        break;
    case Kind::NEAR_END_ECHO:
        std::snprintf(line, sizeof(line), row.format, static_cast<long>(p2 & 0xFFFF),
                      static_cast<long>(p2 >> 16));
        break;
    case Kind::V34_PARAMETERS:
        decode_v34_parameters(row, memory, p2, line);
        break;
    case Kind::PROJECTED_RATE:
        decode_projected_rate(row, p2, line);
        break;
    case Kind::JD:
        decode_jd(row, memory, p2, line);
        break;
    case Kind::HALF_DUPLEX_RATES:
        std::snprintf(line, sizeof(line), row.format, p2 >= 4096 ? "source" : "reception",
                      static_cast<int>(p2 & 0x0F), static_cast<int>((p2 >> 4) & 0x0F),
                      static_cast<int>((p2 >> 8) & 0x0F));
        break;
    case Kind::MP_SEQUENCE:
        decode_mp_sequence(row.format, memory, p2, line);
        break;
    case Kind::CP_DETECTED:
    case Kind::CP_SENT:
        decode_cp_sequence(row, memory, p2, line);
        break;
    }
}
#pragma GCC diagnostic pop

}  // namespace

void decode_training(const StatusRecord &record, const DriverMemory &memory, StatusLine &line)
{
    if (record.param1 <= HIGHEST_EVENT && DISPATCH[record.param1].row != nullptr) {
        write_event(DISPATCH[record.param1], record, memory, line);
        return;
    }
    std::snprintf(line, sizeof(line), "Training progress code %ld ", as_signed(record.param1));
}
