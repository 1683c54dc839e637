// decode_status: dispatch over the message code and the texts of the codes
// that belong to no family of their own.
#include <array>
#include <cstdio>
#include <cstring>

#include "decoder/driver_memory.h"
#include "decoder/families.h"
#include "decoder/format_check.h"
#include "formatting/formatting.h"

const long symbol_rates[SYMBOL_RATE_COUNT] = {2400, 2743, 2800, 3000, 3200, 3429, 8000};

void write_default_text(const StatusRecord &record, StatusLine &line)
{
    std::snprintf(line, sizeof(line), "Status code %ld, value %ld ", as_signed(record.code),
                  as_signed(record.param1));
}

namespace {

constexpr uint32_t HIGHEST_CODE = 130;

// How a one-value text takes param1.
enum class Value : uint8_t {
    NONE,        // fixed text, no conversion
    SIGNED,      // %ld: param1 as a signed number
    UNSIGNED,    // %lx / %lX: param1 as an unsigned number
    MODULATION,  // %s: modulation_name(param1)
    RATE,        // %ld: rate_bps(param1)
    ON_OFF,      // %3s: " ON" when param1 is not 0, "OFF" when it is 0
};

struct TextRow {
    uint32_t code;
    const char *format;
    Value value;
};

// Codes with a fixed text or a one-value text.
constexpr TextRow TEXT_ROWS[] = {
    {1,   "Sampling rate:\t\t\t%6ld Hz\t",               Value::SIGNED},
    {2,   "Modulation: %s ",                             Value::MODULATION},
    {5,   "Rx carrier frequency:\t\t%6ld Hz\t",          Value::SIGNED},
    {6,   "Tx carrier frequency:\t\t%6ld Hz\t",          Value::SIGNED},
    {7,   "Tx preemphasis filter:\t\t%6ld \t\t",         Value::SIGNED},
    {9,   "Remote Tx preemphasis filter:\t%6ld \t\t",    Value::SIGNED},
    {10,  "Remote Tx power adjustment:\t%6ld dB\t",      Value::SIGNED},
    {11,  "RxRate:  %5ld bps ",                          Value::RATE},
    {12,  "TxRate:  %5ld bps ",                          Value::RATE},
    {13,  "Rx Data Mode Active! ",                       Value::NONE},
    {14,  "Tx Data Mode Active! ",                       Value::NONE},
    {20,  "V.21 HDLC preamble detected! ",               Value::NONE},
    {22,  "Hook switch %3s ",                            Value::ON_OFF},
    {23,  "Call waiting tone detected ",                 Value::NONE},
    {25,  "Pulse shunt relay %3s ",                      Value::ON_OFF},
    {26,  "Ring Frequency:\t\t%6ld Hz\t",                Value::SIGNED},
    {32,  "Error # %ld ",                                Value::SIGNED},
    {33,  "V34 exception:  %8lx ",                       Value::UNSIGNED},
    {34,  "Cleardown! ",                                 Value::NONE},
    {35,  "Cleardown! (Remote request) ",                Value::NONE},
    {36,  "Carrier Present! ",                           Value::NONE},
    {37,  "Carrier Lost! ",                              Value::NONE},
    {38,  "Retraining! ",                                Value::NONE},
    {39,  "Retraining!  (Remote request) ",              Value::NONE},
    {40,  "Rate Renegotiation! ",                        Value::NONE},
    {41,  "Rate Renegotiation!  (Remote request) ",      Value::NONE},
    {42,  "Fallback initiated! ",                        Value::NONE},
    {43,  "Fallforward initiated! ",                     Value::NONE},
    {44,  "Cleardown initiated! ",                       Value::NONE},
    {91,  "Local country code changed: %ld ",            Value::SIGNED},
    {92,  "DTE rate set to %ld ",                        Value::RATE},
    {93,  "AT Response %ld\t",                           Value::SIGNED},
    {94,  "Framer mode: \t%lX\t",                        Value::UNSIGNED},
    {129, "Connection established! \n",                  Value::NONE},
    {130, "Test checksum = %lx ",                        Value::UNSIGNED},
};

// Symbol rates, codes 3 and 4. An index outside symbol_rates never reaches
// the table: the line names the raw index instead of a rate, in signed
// decimal like every parameter under a decimal conversion (0xFFFFFFFF is
// index -1). The range test itself is unsigned, so negatives fall outside.
struct SymbolRateRow {
    uint32_t code;
    const char *format;
    const char *unknown_format;
};

constexpr SymbolRateRow SYMBOL_RATE_ROWS[] = {
    {3, "Rx symbol rate:\t\t\t%6ld Hz\t", "Rx symbol rate:\t\t\tunknown (index %ld) Hz\t"},
    {4, "Tx symbol rate:\t\t\t%6ld Hz\t", "Tx symbol rate:\t\t\tunknown (index %ld) Hz\t"},
};

// Formats come from SYMBOL_RATE_ROWS, whose conversions are checked below.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
void write_symbol_rate(const SymbolRateRow &row, uint32_t index, StatusLine &line)
{
    if (index < SYMBOL_RATE_COUNT)
        std::snprintf(line, sizeof(line), row.format, symbol_rates[index]);
    else
        std::snprintf(line, sizeof(line), row.unknown_format, as_signed(index));
}
#pragma GCC diagnostic pop

void decode_rx_symbol_rate(const StatusRecord &record, StatusLine &line)
{
    write_symbol_rate(SYMBOL_RATE_ROWS[0], record.param1, line);
}

void decode_tx_symbol_rate(const StatusRecord &record, StatusLine &line)
{
    write_symbol_rate(SYMBOL_RATE_ROWS[1], record.param1, line);
}

// param1 is in 1/16 dB; the arithmetic shift keeps the sign (-1 gives -1).
void decode_tx_power(const StatusRecord &record, StatusLine &line)
{
    std::snprintf(line, sizeof(line), "Tx power adjustment:\t\t%6ld dB\t", as_signed(record.param1) >> 4);
}

// The DTMF digit is byte 0 of param1; byte 0 of 0 reports no digit.
void decode_dtmf(const StatusRecord &record, StatusLine &line)
{
    const int digit = static_cast<int>(record.param1 & 0xFF);
    if (digit != 0)
        std::snprintf(line, sizeof(line), "DTMF %c ", digit);
}

// Signal detected: bits tested in this order, the last one set names the
// line. The bit values are the modulation codes of the signals.
struct SignalRow {
    uint32_t bit;
    const char *text;
};

constexpr SignalRow SIGNAL_ROWS[] = {
    {0x000010, "v.21 signal "},
    {0x000020, "v.22 signal "},
    {0x000040, "v.23 signal "},
    {0x000001, "v.25 signal "},
    {0x000080, "v.32 signal "},
    {0x000100, "v.34 signal "},
    {0x100000, "B103 signal "},
    {0x200000, "B212 signal "},
};

void decode_signal_detected(const StatusRecord &record, StatusLine &line)
{
    const char *text = nullptr;
    for (const SignalRow &row : SIGNAL_ROWS)
        if ((record.param1 & row.bit) != 0)
            text = row.text;
    if (text != nullptr)
        std::snprintf(line, sizeof(line), "%s", text);
}

void yield_no_line(const StatusRecord &, StatusLine &) {}

void decode_custom_signal(const StatusRecord &record, StatusLine &line)
{
    if (record.param1 != 0)
        std::snprintf(line, sizeof(line), "Custom signal %lx ", as_unsigned(record.param1));
}

// V.24 circuit changes; circuit 106 (CTS) is not reported.
void decode_v24_circuit(const StatusRecord &record, StatusLine &line)
{
    if (record.param1 == 106)
        return;
    if (record.param2 != 0)
        std::snprintf(line, sizeof(line), "V.24 circuit %3ld  ON ", as_signed(record.param1));
    else
        std::snprintf(line, sizeof(line), "V.24 circuit %3ld  OFF", as_signed(record.param1));
}

void decode_multitone(const StatusRecord &record, StatusLine &line)
{
    std::snprintf(line, sizeof(line), "MultiTone detected(%ld,%ld): %4ld %4ld %4ld %4ld ",
                  as_signed(record.param1), as_signed(record.param2), as_signed(record.param3),
                  as_signed(record.param4), as_signed(record.param5), as_signed(record.param6));
}

// A text from the driver: param1 holds its address. It is read straight into
// the line, cut so that the text, its TAB and the NUL fit the 512 bytes.
void decode_driver_text(const StatusRecord &record, const DriverMemory &memory, StatusLine &line)
{
    if (record.param1 == 0) {
        std::snprintf(line, sizeof(line), "(null)\t");
        return;
    }
    const long length = read_driver_block(memory, record.param1, line, sizeof(line) - 1);
    if (length == DRIVER_TEXT_UNREADABLE) {
        std::snprintf(line, sizeof(line), "%s\t", UNREADABLE_TEXT);
        return;
    }
    const size_t end = length == DRIVER_TEXT_CUT ? sizeof(line) - 2 : static_cast<size_t>(length);
    line[end] = '\t';
    line[end + 1] = '\0';
}

using Handler = void (*)(const StatusRecord &, StatusLine &);
// A handler of codes whose parameters point into driver memory.
using MemoryHandler = void (*)(const StatusRecord &, const DriverMemory &, StatusLine &);

// One row per code: the handler of either kind, the other one null.
struct HandlerRow {
    uint32_t code;
    Handler handler = nullptr;
    MemoryHandler memory_handler = nullptr;
    // Which of the two the row holds, set by its constructor: a function's
    // address is no constant a sanitized build can compare with null.
    bool reads_memory = false;

    constexpr HandlerRow(uint32_t c, Handler h) : code(c), handler(h) {}
    constexpr HandlerRow(uint32_t c, MemoryHandler h) : code(c), memory_handler(h), reads_memory(true) {}
};

// Codes that need more than one value or a rule of their own, and the codes
// that belong to a family handler.
constexpr HandlerRow HANDLER_ROWS[] = {
    {3,   decode_rx_symbol_rate},
    {4,   decode_tx_symbol_rate},
    {8,   decode_tx_power},
    {16,  decode_dtmf},
    {17,  decode_signal_detected},
    {18,  yield_no_line},
    {19,  decode_custom_signal},
    {21,  decode_v24_circuit},
    {24,  decode_multitone},
    {64,  decode_training},
    {65,  decode_line_measurement},
    {66,  decode_dialing},
    {67,  decode_hdlc_flags},
    {68,  decode_break},
    {69,  decode_lapm_event},
    {70,  decode_lapm_parameter},
    {71,  decode_v42bis},
    {72,  decode_caller_id},
    {73,  decode_io_status},
    {74,  decode_capabilities},
    {75,  decode_speaker},
    {76,  decode_at_profile},
    {78,  decode_reset},
    {79,  decode_v8bis},
    {80,  decode_mnp_event},
    {81,  decode_mnp_parameter},
    {84,  decode_fax},
    {87,  decode_overlay},
    {88,  decode_caller_id_circuit},
    {89,  decode_v80},
    {95,  decode_a8r},
    {96,  decode_a8t},
    {97,  decode_driver_text},
    {128, decode_error_statistics},
};

// ---- Compile-time checks of the tables -------------------------------------

// Whether the conversions of format take param1 as value passes it.
constexpr bool format_fits(const char *format, Value value)
{
    const Conversions c = conversions_of(format);
    if (!c.valid)
        return false;
    switch (value) {
    case Value::NONE:
        return c.count == 0;
    case Value::SIGNED:
    case Value::RATE:
        return same_text(c.text, "ld");
    case Value::UNSIGNED:
        return same_text(c.text, "lx") || same_text(c.text, "lX");
    case Value::MODULATION:
    case Value::ON_OFF:
        return same_text(c.text, "s");
    }
    return false;
}

constexpr bool text_rows_fit()
{
    for (const TextRow &row : TEXT_ROWS)
        if (!format_fits(row.format, row.value))
            return false;
    for (const SymbolRateRow &row : SYMBOL_RATE_ROWS)
        if (!same_text(conversions_of(row.format).text, "ld") ||
            !same_text(conversions_of(row.unknown_format).text, "ld"))
            return false;
    return true;
}
static_assert(text_rows_fit(), "a text row's conversions do not match its value");

// ---- Dispatch by code ------------------------------------------------------

enum class Action : uint8_t { DEFAULT_TEXT, TEXT, HANDLER, MEMORY_HANDLER };

struct Dispatch {
    Action action = Action::DEFAULT_TEXT;
    Value value = Value::NONE;
    uint16_t length = 0;  // fixed texts: characters before the NUL
    const char *format = nullptr;
    Handler handler = nullptr;
    MemoryHandler memory_handler = nullptr;
};

using DispatchTable = std::array<Dispatch, HIGHEST_CODE + 1>;

// Every code's action, built from the rows above at compile time. Codes
// listed twice or outside 1..130 make the table invalid.
struct BuiltTable {
    DispatchTable table{};
    bool valid = true;
};

constexpr BuiltTable build_dispatch()
{
    BuiltTable built;
    for (const TextRow &row : TEXT_ROWS) {
        if (row.code < 1 || row.code > HIGHEST_CODE ||
            built.table[row.code].action != Action::DEFAULT_TEXT) {
            built.valid = false;
            continue;
        }
        Dispatch &d = built.table[row.code];
        d.action = Action::TEXT;
        d.value = row.value;
        d.format = row.format;
        uint16_t length = 0;
        while (row.format[length] != '\0')
            ++length;
        d.length = length;
    }
    for (const HandlerRow &row : HANDLER_ROWS) {
        if (row.code < 1 || row.code > HIGHEST_CODE ||
            built.table[row.code].action != Action::DEFAULT_TEXT) {
            built.valid = false;
            continue;
        }
        Dispatch &d = built.table[row.code];
        d.action = row.reads_memory ? Action::MEMORY_HANDLER : Action::HANDLER;
        d.handler = row.handler;
        d.memory_handler = row.memory_handler;
    }
    return built;
}

constexpr BuiltTable BUILT_DISPATCH = build_dispatch();
static_assert(BUILT_DISPATCH.valid, "a code is listed twice or lies outside 1..130");
constexpr const DispatchTable &DISPATCH = BUILT_DISPATCH.table;

// Formats come from TEXT_ROWS, whose conversions are checked above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
void write_text(const Dispatch &d, uint32_t param1, StatusLine &line)
{
    switch (d.value) {
    case Value::NONE:
        std::memcpy(line, d.format, d.length + 1u);
        break;
    case Value::SIGNED:
        std::snprintf(line, sizeof(line), d.format, as_signed(param1));
        break;
    case Value::UNSIGNED:
        std::snprintf(line, sizeof(line), d.format, as_unsigned(param1));
        break;
    case Value::MODULATION:
        std::snprintf(line, sizeof(line), d.format, modulation_name(param1));
        break;
    case Value::RATE:
        std::snprintf(line, sizeof(line), d.format, rate_bps(param1));
        break;
    case Value::ON_OFF:
        std::snprintf(line, sizeof(line), d.format, param1 != 0 ? " ON" : "OFF");
        break;
    }
}

#pragma GCC diagnostic pop

}  // namespace

void decode_status(const StatusRecord &record, const DriverMemory &memory, StatusLine &line)
{
    line[0] = '\0';
    if (record.code < 1 || record.code > HIGHEST_CODE) {
        write_default_text(record, line);
        return;
    }
    const Dispatch &d = DISPATCH[record.code];
    switch (d.action) {
    case Action::DEFAULT_TEXT:
        write_default_text(record, line);
        break;
    case Action::TEXT:
        write_text(d, record.param1, line);
        break;
    case Action::HANDLER:
        d.handler(record, line);
        break;
    case Action::MEMORY_HANDLER:
        d.memory_handler(record, memory, line);
        break;
    }
}
