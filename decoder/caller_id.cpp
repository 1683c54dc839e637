// Caller-ID reports (code 72) and the caller-ID circuit (code 88).
#include <cstdio>

#include "decoder/driver_memory.h"
#include "decoder/families.h"
#include "decoder/line_text.h"
#include "formatting/formatting.h"

namespace {

// Caller-ID sub-codes.
enum : uint32_t {
    CID_ERROR = 0,
    CID_CHANNEL_SEIZURE = 1,
    CID_MARK_SIGNAL = 2,
    CID_TIME = 3,
    CID_NUMBER = 4,
    CID_NAME = 5,
    CID_FINISHED = 6,
    CID_UNKNOWN_MESSAGE = 7,
    CID_WHOLE_MESSAGE = 8,
};

// Caller-ID errors; error 4 prints the checksum, other values their number.
const TextRow caller_id_errors[] = {
    {1, "Caller ID error: mark signal error "},
    {2, "Caller ID error: too many mark bits between message words "},
    {3, "Caller ID error: message too long,  truncated "},
};
constexpr uint32_t CID_CHECKSUM_ERROR = 4;

// Longest number and name kept from the driver's block.
constexpr size_t NUMBER_CHARS = 31;
constexpr size_t NAME_CHARS = 79;
// The time block: month, day, hour and minute as two characters each.
constexpr size_t TIME_CHARS = 8;

void write_error(const StatusRecord &record, StatusLine &line) {
    if (record.param2 == CID_CHECKSUM_ERROR) {
        snprintf(line, sizeof line, "Caller ID error: checksum error 0x%4lx ", as_unsigned(record.param3));
    } else {
        write_text_or_format(line, find_text(caller_id_errors, record.param2), "Caller ID error %4ld ",
                             as_signed(record.param2));
    }
}

void write_time(const StatusRecord &record, const DriverMemory &memory, StatusLine &line) {
    unsigned char t[TIME_CHARS];
    if (!read_driver_block(memory, record.param3, TIME_CHARS, t)) {
        snprintf(line, sizeof line, "Caller ID, IDtime: %s ", UNREADABLE_TEXT);
        return;
    }
    snprintf(line, sizeof line, "Caller ID, IDtime: %c%c/%c%c, %c%c:%c%c ", t[0], t[1], t[2], t[3], t[4], t[5],
             t[6], t[7]);
}

// Fills text (capacity + 1 bytes) with the first count characters of the
// driver block at address, fewer when the block holds a NUL earlier. The
// count is cut to capacity; a count of 0 or less gives an empty text.
// False when the block cannot be read.
bool read_caller_text(const DriverMemory &memory, uint32_t address, uint32_t count_word, char *text,
                      size_t capacity) {
    text[0] = '\0';
    const int32_t count = static_cast<int32_t>(count_word);
    if (count <= 0) return true;
    size_t n = static_cast<size_t>(count);
    if (n > capacity) n = capacity;
    char block[NAME_CHARS];
    if (!read_driver_block(memory, address, n, reinterpret_cast<unsigned char *>(block))) return false;
    copy_text(block, text, n);
    text[n] = '\0';
    return true;
}

void write_number(const StatusRecord &record, const DriverMemory &memory, StatusLine &line) {
    char number[NUMBER_CHARS + 1];
    const bool ok = read_caller_text(memory, record.param3, record.param2, number, NUMBER_CHARS);
    snprintf(line, sizeof line, "Caller ID, telephone number: %s ", ok ? number : UNREADABLE_TEXT);
}

void write_name(const StatusRecord &record, const DriverMemory &memory, StatusLine &line) {
    char name[NAME_CHARS + 1];
    const bool ok = read_caller_text(memory, record.param3, record.param2, name, NAME_CHARS);
    snprintf(line, sizeof line, "Caller ID, name: %s ", ok ? name : UNREADABLE_TEXT);
}

// Header, then the message bytes in hex, then one blank.
void write_dump(const StatusRecord &record, const DriverMemory &memory, StatusLine &line, const char *header) {
    snprintf(line, sizeof line, "%s", header);
    const int32_t count = static_cast<int32_t>(record.param2);
    // The closing blank keeps one character of the line free.
    if (count > 0) append_driver_hex(line, memory, record.param3, static_cast<size_t>(count), 1);
    append_line_text(line, " ");
}

}  // namespace

void decode_caller_id(const StatusRecord &record, const DriverMemory &memory, StatusLine &line) {
    line[0] = '\0';
    switch (record.param1) {
    case CID_ERROR:
        write_error(record, line);
        return;
    case CID_CHANNEL_SEIZURE:
        snprintf(line, sizeof line, "Caller ID, %ld bytes of channel seizure received ", as_signed(record.param2));
        return;
    case CID_MARK_SIGNAL:
        snprintf(line, sizeof line, "Caller ID, %ld bytes of mark signal received ", as_signed(record.param2));
        return;
    case CID_TIME:
        write_time(record, memory, line);
        return;
    case CID_NUMBER:
        write_number(record, memory, line);
        return;
    case CID_NAME:
        write_name(record, memory, line);
        return;
    case CID_FINISHED:
        snprintf(line, sizeof line, "%s", "Caller ID reception finished.\n");
        return;
    case CID_UNKNOWN_MESSAGE:
        write_dump(record, memory, line, "Caller ID, unknown message: ");
        return;
    case CID_WHOLE_MESSAGE:
        write_dump(record, memory, line, "Caller ID, whole message: ");
        return;
    default:
        return;
    }
}

void decode_caller_id_circuit(const StatusRecord &record, StatusLine &line) {
    snprintf(line, sizeof line, "%s",
             record.param1 != 0 ? "Caller ID circuit activated" : "Caller ID circuit deactivated");
}
