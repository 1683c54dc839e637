// Line measurements (code 65), capability reports (code 74) and bit/block
// error statistics (code 128) of the data pump.
#include <cstdio>

#include "decoder/families.h"
#include "decoder/line_text.h"
#include "formatting/formatting.h"

namespace {

// How a measurement row turns param2 into the argument of its format.
enum MeasureKind {
    DB16,          // %s of format_db16(param2), 1/16 units
    DB16_LEVEL,    // %s of format_db16(-param2): levels arrive as magnitudes below 0 dBm
    Q8,            // %s of format_q8(param2), 1/256 units
    HEX,           // %lx family of param2 unsigned
    DECIMAL,       // %ld of param2 signed
    INT,           // %d of param2 signed
    CHOICE,        // %s of the row's word for a non-zero or a zero param2
    PER_MILLION,   // %ld.%2.2ld of param2 in units of 1E-8
    V8_OCTETS,     // the row's text is a header; the octets at param3 follow
};

struct MeasurementRow {
    uint32_t selector;
    MeasureKind kind;
    const char *format;
    const char *if_nonzero;  // CHOICE rows only
    const char *if_zero;     // CHOICE rows only
};

// Measurement selectors; a selector without a row (0, 5, 15, 16, 26, 27 and
// above 34) yields no line.
const MeasurementRow measurement_rows[] = {
    {1,  DB16,        "Round Trip Delay :\t%s ms\t", nullptr, nullptr},
    {2,  DB16_LEVEL,  "Rx Signal Level:\t %s dBm\t", nullptr, nullptr},
    {3,  DB16,        "Timing Offset  :\t%s ppm\t", nullptr, nullptr},
    {4,  Q8,          "Frequency Offset:\t%s Hz\t", nullptr, nullptr},
    {6,  DB16,        "Signal/Noise Ratio:\t%s dB\t", nullptr, nullptr},
    {7,  DB16_LEVEL,  "Near Echo Signal Level:\t %s dBm\t", nullptr, nullptr},
    {8,  DB16,        "Signal/Echo Ratio:\t%s dB\t", nullptr, nullptr},
    {9,  DB16,        "Hybrid Delay :\t%s ms\t", nullptr, nullptr},
    {10, DB16_LEVEL,  "Far echo + residual near echo Signal Level:\t %s dBm\t", nullptr, nullptr},
    {11, DB16,        "L1/L2 noise ratio:\t  %s dB\t", nullptr, nullptr},
    {12, HEX,         "DC Offset:\t\t0x%lx \t", nullptr, nullptr},
    {13, DB16_LEVEL,  "Total Rx Power:\t %s dBm\t", nullptr, nullptr},
    {14, Q8,          "Remote modem reported frequency offset:\t%s Hz\t", nullptr, nullptr},
    {17, DB16,        "PCM phase 2 analog detector SNR:\t%s dB\t", nullptr, nullptr},
    {18, DB16,        "PCM phase 2 digital detector SNR:\t%s dB\t", nullptr, nullptr},
    {19, DB16,        "PCM phase 2 RBS detector SNR:\t%s dB\t", nullptr, nullptr},
    {20, DECIMAL,     "Equalizer center tap offset:\t%ld\t", nullptr, nullptr},
    {21, DECIMAL,     "PCM pad value:\t%ld dB\t", nullptr, nullptr},
    {22, HEX,         "PCM RBS map:\t0x%6.6lx\t", nullptr, nullptr},
    {23, CHOICE,      "%s", "PCM Mu-law coding\t", "PCM A-law coding\t"},
    {24, DECIMAL,     "PCM Spectral Shaping Bits:\t%1ld\t", nullptr, nullptr},
    {25, PER_MILLION, "DataModem loopback self test bit error rate:\t%1ld.%2.2ldE-6\t", nullptr, nullptr},
    {28, INT,         "V34 Eql Length: \t%d\t", nullptr, nullptr},
    {29, INT,         "V34 Eql Offset: \t%d\t", nullptr, nullptr},
    {30, V8_OCTETS,   "V8 call menu signal CM data:", nullptr, nullptr},
    {31, V8_OCTETS,   "V8 joint menu signal JM data:", nullptr, nullptr},
    {32, INT,         "PCM Ieec Length: \t%d\t", nullptr, nullptr},
    {33, INT,         "PCM Ieec Offset: \t%d\t", nullptr, nullptr},
    {34, CHOICE,      "Seamless Rate Change:\t %s \t", "enabled", "disabled"},
};

const MeasurementRow *find_measurement(uint32_t selector) {
    for (const MeasurementRow &row : measurement_rows) {
        if (row.selector == selector) return &row;
    }
    return nullptr;
}

// Capability items 0 to 7; item 6 is a delay in 1/16 ms, the others are
// raw values printed in hexadecimal.
const TextRow capability_formats[] = {
    {0, "Symbol rates bitmap:        %8lx "},
    {1, "Data rates bitmap:          %8lx "},
    {2, "Features bitmap:            %8lx "},
    {3, "Demod. capabilities bitmap: %8lx "},
    {4, "Rate threshold adjustment:  %8lx "},
    {5, "Xmt level adjustment:       %8lx "},
    {6, "Hybrid Delay setup: %s ms "},
    {7, "Auxiliary features bitmap:  %8lx "},
};
constexpr uint32_t HYBRID_DELAY_ITEM = 6;

// A ratio text as format_error_rate gives it, copied out of its shared
// buffer and cut to ten characters.
constexpr size_t RATIO_CHARS = 10;
void copy_ratio(uint32_t total, uint32_t errors, char (&dest)[RATIO_CHARS + 1]) {
    copy_text(format_error_rate(total, errors), dest, RATIO_CHARS);
    dest[RATIO_CHARS] = '\0';
}

}  // namespace

void decode_line_measurement(const StatusRecord &record, const DriverMemory &memory, StatusLine &line) {
    line[0] = '\0';
    const MeasurementRow *row = find_measurement(record.param1);
    if (row == nullptr) return;

    const uint32_t value = record.param2;
    switch (row->kind) {
    case DB16:
        write_line_format(line, row->format, format_db16(static_cast<int32_t>(value)));
        break;
    case DB16_LEVEL:
        // 0 - value wraps like the driver's 32-bit negation.
        write_line_format(line, row->format, format_db16(static_cast<int32_t>(0u - value)));
        break;
    case Q8:
        write_line_format(line, row->format, format_q8(static_cast<int32_t>(value)));
        break;
    case HEX:
        write_line_format(line, row->format, as_unsigned(value));
        break;
    case DECIMAL:
        write_line_format(line, row->format, as_signed(value));
        break;
    case INT:
        write_line_format(line, row->format, static_cast<int>(static_cast<int32_t>(value)));
        break;
    case CHOICE:
        write_line_format(line, row->format, value != 0 ? row->if_nonzero : row->if_zero);
        break;
    case PER_MILLION: {
        // Quotient and remainder truncate toward zero; long holds any 32-bit value.
        const long rate = as_signed(value);
        write_line_format(line, row->format, rate / 100, rate % 100);
        break;
    }
    case V8_OCTETS: {
        write_line_format(line, "%s", row->format);
        const long count = as_signed(value);
        // The closing tab keeps one character of the line free.
        if (count > 0) append_driver_hex(line, memory, record.param3, static_cast<size_t>(count), 1);
        append_line_text(line, "\t");
        break;
    }
    }
}

void decode_capabilities(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    const char *format = find_text(capability_formats, record.param1);
    if (format == nullptr) {
        snprintf(line, sizeof line, "Capabilities status code %ld value %lx ",
                 as_signed(record.param1), as_unsigned(record.param2));
    } else if (record.param1 == HYBRID_DELAY_ITEM) {
        write_line_format(line, format, format_db16(static_cast<int32_t>(record.param2)));
    } else {
        write_line_format(line, format, as_unsigned(record.param2));
    }
}

void decode_error_statistics(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    char ber[RATIO_CHARS + 1];
    char modem_bler[RATIO_CHARS + 1];
    copy_ratio(record.param1, record.param3, ber);
    copy_ratio(record.param2, record.param4, modem_bler);

    if (record.param5 == 0) {
        snprintf(line, sizeof line,
                 "Modem : %ld bits / %ld blocks received; %ld bit / %ld block errors;\tBER: %s ;\tBLER: %s\t",
                 as_signed(record.param1), as_signed(record.param2), as_signed(record.param3),
                 as_signed(record.param4), ber, modem_bler);
        return;
    }

    char ser[RATIO_CHARS + 1];
    char audio_bler[RATIO_CHARS + 1];
    copy_ratio(record.param5, record.param7, ser);
    copy_ratio(record.param6, record.param8, audio_bler);
    snprintf(line, sizeof line,
             "Modem : %ld bits / %ld blocks received; %ld bit / %ld block errors;\tBER: %s ;\tBLER: %s\n"
             "Audio : %ld bits / %ld blocks received; %ld sync/ %ld block errors;\tSER: %s ;\tBLER: %s\t",
             as_signed(record.param1), as_signed(record.param2), as_signed(record.param3),
             as_signed(record.param4), ber, modem_bler, as_signed(record.param5),
             as_signed(record.param6), as_signed(record.param7), as_signed(record.param8), ser,
             audio_bler);
}
