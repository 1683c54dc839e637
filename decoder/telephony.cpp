// Telephony and host-interface reports: dialing (66), HDLC flags (67),
// breaks (68), I/O status (73), speaker (75), AT profile (76), hardware
// reset (78), V.8bis negotiation (79, 95, 96) and overlays (87).
#include <cstdio>

#include "decoder/families.h"
#include "decoder/line_text.h"

namespace {

const TextRow dialing_texts[] = {
    {0, "Dialing completed\t"},
    {1, "No dialtone\t"},
    {2, "Bong tone\t"},
    {3, "No bong tone\t"},
};
constexpr uint32_t DIAL_ILLEGAL_MODIFIER = 5;
constexpr uint32_t DIAL_EXTERNAL_PULSE = 7;

constexpr uint32_t HDLC_FLAGS_DETECTED = 8;

// Break types; every other type is called unknown.
const TextRow break_formats[] = {
    {0, "Break received (nonexpedited) %s \t"},
    {1, "Break received (expedited) %s \t"},
    {3, "Break received (expedited/destructive) %s \t"},
};
// The longest length text is "length = 2147483647 ms", 22 characters
// (negative lengths say "default length"); the buffer is sized for any long
// so that the compiler can prove the print fits.
constexpr size_t BREAK_LENGTH_BYTES = 32;

// I/O status; 0 and 3 yield no line, other values print their number.
const TextRow io_status_texts[] = {
    {1, "I/O status Rx data buffer overflow "},
    {2, "I/O status Tx data buffer space available "},
};

// V.8bis: 0 to 14 signals and messages detected, 32 to 38 errors, 64 to 66
// progress. The rows 34, 35, 36 and 64 print param2.
const TextRow v8bis_texts[] = {
    {0,  "V8bis detected ESi "},
    {1,  "V8bis detected ESr "},
    {2,  "V8bis detected MRe "},
    {3,  "V8bis detected MRd "},
    {4,  "V8bis detected CRe "},
    {5,  "V8bis detected CRd "},
    {6,  "V8bis detected MS "},
    {7,  "V8bis detected CL "},
    {8,  "V8bis detected CLR "},
    {9,  "V8bis detected ACK(1) "},
    {10, "V8bis detected ACK(2) "},
    {11, "V8bis detected NAK(1) "},
    {12, "V8bis detected NAK(2) "},
    {13, "V8bis detected NAK(3) "},
    {14, "V8bis detected NAK(4) "},
    {32, "V8bis frame CRC error "},
    {33, "V8bis received 6 consecutive binary ONE "},
    {34, "V8bis frame longer than rx buffer size (%ld) "},
    {35, "V8bis frame less than 3 bytes (received %ld bits) "},
    {36, "V8bis frame not integer number of bytes (received %ld bits) "},
    {37, "V8bis received signal not in allowed procedures "},
    {38, "V8bis timed out "},
    {64, "V8bis remote revision number %ld "},
    {65, "V8bis finished "},
    {66, "V8bis waiting MS from host "},
};

// Overlay load, record and replay; 3 and 4 name the direction of the data.
const TextRow overlay_texts[] = {
    {0, "Overlay: load begin\t"},
    {1, "Overlay: load end\t"},
    {5, "Overlay: replay done\t"},
};

// Appends one +A8R field: a comma, then the block's bytes in hex. A count of
// -1 marks a field that is present but empty; any other negative count is
// treated the same way. reserve keeps room for what follows the field.
void append_a8r_field(StatusLine &line, const DriverMemory &memory, uint32_t address, uint32_t count_word,
                      size_t reserve) {
    append_line_text(line, ",");
    const int32_t count = static_cast<int32_t>(count_word);
    if (count > 0) append_driver_hex(line, memory, address, static_cast<size_t>(count), reserve);
}

}  // namespace

void decode_dialing(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    if (record.param1 == DIAL_ILLEGAL_MODIFIER) {
        snprintf(line, sizeof line, "Illegal dial modifier: %c\t", static_cast<int>(record.param2 & 0xffu));
    } else if (record.param1 == DIAL_EXTERNAL_PULSE) {
        snprintf(line, sizeof line, "External Pulse Dial: %2ld  make=%3ldms brake=%3ldms\t",
                 as_signed(record.param2), as_signed(record.param3), as_signed(record.param4));
    } else if (const char *text = find_text(dialing_texts, record.param1)) {
        snprintf(line, sizeof line, "%s", text);
    }
}

void decode_hdlc_flags(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    if (record.param1 == HDLC_FLAGS_DETECTED) snprintf(line, sizeof line, "%s", "HDLC flags detected\t");
}

void decode_break(const StatusRecord &record, StatusLine &line) {
    char length[BREAK_LENGTH_BYTES];
    const long duration = as_signed(record.param2);
    if (duration < 0) {
        snprintf(length, sizeof length, "%s", "default length");
    } else {
        snprintf(length, sizeof length, "length = %ld ms", duration);
    }
    const char *format = find_text(break_formats, record.param1);
    write_line_format(line, format != nullptr ? format : "Break received (unknown type) %s \t", length);
}

void decode_io_status(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    if (record.param1 == 0 || record.param1 == 3) return;
    write_text_or_format(line, find_text(io_status_texts, record.param1), "I/O status code %ld ",
                         as_signed(record.param1));
}

void decode_speaker(const StatusRecord &record, StatusLine &line) {
    snprintf(line, sizeof line, "Speaker %3s ", record.param1 != 0 ? " ON" : "OFF");
}

void decode_at_profile(const StatusRecord &, StatusLine &line) {
    snprintf(line, sizeof line, "%s", "AT Profile change");
}

void decode_reset(const StatusRecord &, StatusLine &line) {
    snprintf(line, sizeof line, "%s", "Reset hardware ");
}

void decode_v8bis(const StatusRecord &record, StatusLine &line) {
    const char *format = find_text(v8bis_texts, record.param1);
    if (format != nullptr) {
        // Rows without a conversion ignore the extra argument.
        write_line_format(line, format, as_signed(record.param2));
    } else {
        snprintf(line, sizeof line, "V8bis status %ld, value %ld ", as_signed(record.param1),
                 as_signed(record.param2));
    }
}

void decode_overlay(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    const char *direction = record.param2 != 0 ? "receive" : "transmit";
    switch (record.param1) {
    case 2:
        snprintf(line, sizeof line, "Overlay: time elapsed: %ld ms reported to data pump; %ld ms actual\t",
                 as_signed(record.param2), as_signed(record.param3));
        return;
    case 3:
        snprintf(line, sizeof line, "Overlay: recorded %ld ms of %s data\t", as_signed(record.param3), direction);
        return;
    case 4:
        snprintf(line, sizeof line, "Overlay: replayed %ld ms of %s data\t", as_signed(record.param3), direction);
        return;
    default:
        if (const char *text = find_text(overlay_texts, record.param1)) snprintf(line, sizeof line, "%s", text);
        return;
    }
}

void decode_a8r(const StatusRecord &record, const DriverMemory &memory, StatusLine &line) {
    snprintf(line, sizeof line, "V8bis +A8R:%ld", as_signed(record.param1));
    if (record.param3 == 0) return;
    // The first block leaves room for the comma that opens the second field.
    append_a8r_field(line, memory, record.param2, record.param3, record.param5 != 0 ? 1 : 0);
    if (record.param5 == 0) return;
    append_a8r_field(line, memory, record.param4, record.param5, 0);
}

void decode_a8t(const StatusRecord &, StatusLine &line) {
    snprintf(line, sizeof line, "%s", "V8bis: A8T transmition finished ");
}
