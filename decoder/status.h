// The Tarvel driver's status record and the decoder that turns one record
// into one line of English text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/driver_memory.h"

// One status event as the driver queues it: ten little-endian 32-bit words.
// Parameters print as signed values under decimal conversions and as
// unsigned values under hexadecimal ones.
struct StatusRecord {
    uint32_t code;
    uint32_t param1;
    uint32_t param2;
    uint32_t param3;
    uint32_t param4;
    uint32_t param5;
    uint32_t param6;
    uint32_t param7;
    uint32_t param8;
    uint32_t modem;  // 1 or 2; 0 marks a driver-internal error
};

constexpr size_t STATUS_RECORD_BYTES = 40;
constexpr size_t STATUS_LINE_BYTES = 512;

// One decoded line: at most 511 characters and a NUL. An empty string means
// that the record yields no line.
using StatusLine = char[STATUS_LINE_BYTES];

// Reads a record from the driver's 40 raw bytes (little-endian on any host).
StatusRecord status_record_from_bytes(const unsigned char *bytes);
// Writes a record as the driver's 40 raw bytes (little-endian on any host).
void status_record_to_bytes(const StatusRecord &record, unsigned char *bytes);

// Decodes one record into line, reading the driver blocks that the record's
// parameters point to through memory. Never fails: every record gets its
// text, a catch-all text with the raw values, or no line (line left empty).
void decode_status(const StatusRecord &record, const DriverMemory &memory, StatusLine &line);

// Line symbol rates in Hz, indexed by the driver's symbol-rate index.
constexpr int SYMBOL_RATE_COUNT = 7;
extern const long symbol_rates[SYMBOL_RATE_COUNT];
