// Handlers of the decoder's code families. decode_status empties the line,
// then hands each record of these codes to its handler, which writes the line
// or leaves it empty (no line). The handlers of codes whose parameters point
// into driver memory also get the memory to read.
#pragma once

#include "decoder/status.h"

// Printf arguments for record words: decimal conversions print the word as a
// signed 32-bit number, hexadecimal ones as an unsigned 32-bit number.
inline long as_signed(uint32_t word) { return static_cast<int32_t>(word); }
inline unsigned long as_unsigned(uint32_t word) { return word; }

// Handshake and training events (code 64).
void decode_training(const StatusRecord &record, const DriverMemory &memory, StatusLine &line);

// Line measurements and capabilities (codes 65, 74, 128).
void decode_line_measurement(const StatusRecord &record, const DriverMemory &memory,
                             StatusLine &line);                                // 65
void decode_capabilities(const StatusRecord &record, StatusLine &line);      // 74
void decode_error_statistics(const StatusRecord &record, StatusLine &line);  // 128

// Error control and compression (codes 69, 70, 71, 80, 81, 89).
void decode_lapm_event(const StatusRecord &record, StatusLine &line);      // 69
void decode_lapm_parameter(const StatusRecord &record, StatusLine &line);  // 70
void decode_v42bis(const StatusRecord &record, StatusLine &line);          // 71
void decode_mnp_event(const StatusRecord &record, StatusLine &line);       // 80
void decode_mnp_parameter(const StatusRecord &record, StatusLine &line);   // 81
void decode_v80(const StatusRecord &record, StatusLine &line);             // 89

// Fax protocol (code 84).
void decode_fax(const StatusRecord &record, StatusLine &line);

// Telephony, V.8bis and host interface (codes 66-68, 72, 73, 75, 76, 78, 79,
// 87, 88, 95, 96).
void decode_dialing(const StatusRecord &record, StatusLine &line);             // 66
void decode_hdlc_flags(const StatusRecord &record, StatusLine &line);          // 67
void decode_break(const StatusRecord &record, StatusLine &line);               // 68
void decode_caller_id(const StatusRecord &record, const DriverMemory &memory, StatusLine &line);  // 72
void decode_io_status(const StatusRecord &record, StatusLine &line);           // 73
void decode_speaker(const StatusRecord &record, StatusLine &line);             // 75
void decode_at_profile(const StatusRecord &record, StatusLine &line);          // 76
void decode_reset(const StatusRecord &record, StatusLine &line);               // 78
void decode_v8bis(const StatusRecord &record, StatusLine &line);               // 79
void decode_overlay(const StatusRecord &record, StatusLine &line);             // 87
void decode_caller_id_circuit(const StatusRecord &record, StatusLine &line);   // 88
void decode_a8r(const StatusRecord &record, const DriverMemory &memory, StatusLine &line);  // 95
void decode_a8t(const StatusRecord &record, StatusLine &line);                 // 96

// The default text "Status code %ld, value %ld " with code and param1.
void write_default_text(const StatusRecord &record, StatusLine &line);
