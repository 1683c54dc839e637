// What a status record fetched from the driver is: a driver-internal error,
// a capture request, a line for the decoder, or a record of no modem the
// monitor keeps. Decided here once, for the status intake, for recording
// and reading a session, and for the call tracker.
#pragma once

#include <cstdint>

#include "decoder/status.h"

// The modem word of a record that reports an error inside the driver.
constexpr uint32_t DRIVER_ERROR_MODEM = 0;
// The highest modem number: the driver serves modems 1 and 2.
constexpr uint32_t HIGHEST_MODEM = 2;

// Status codes that carry capture requests rather than events.
constexpr uint32_t CAPTURE_RESTART_CODE = 77;  // restart session.rec.N, maybe renaming the finished capture
constexpr uint32_t CAPTURE_FILE_CODE = 131;    // stop, then start a capture file named by the driver

enum class RecordKind : uint8_t {
    DRIVER_ERROR,     // modem 0: one of the driver-internal error texts, by code
    CAPTURE_REQUEST,  // modem 1 or 2, code 77 or 131: carried out by the captures
    DECODED_LINE,     // modem 1 or 2, any other code: decode_status's line
    NO_MODEM,         // a modem above 2: outside the per-modem tables, dropped
};

constexpr bool is_capture_request_code(uint32_t code) {
    return code == CAPTURE_RESTART_CODE || code == CAPTURE_FILE_CODE;
}

// The modem word is tested first: a driver-internal error with code 77 or
// 131 is an error, never a capture request.
constexpr RecordKind record_kind(const StatusRecord &record) {
    if (record.modem == DRIVER_ERROR_MODEM) return RecordKind::DRIVER_ERROR;
    if (record.modem > HIGHEST_MODEM) return RecordKind::NO_MODEM;
    return is_capture_request_code(record.code) ? RecordKind::CAPTURE_REQUEST : RecordKind::DECODED_LINE;
}

// True for the records whose line the intake writes itself (an error text,
// a capture request's message): decoding the record again would not give
// it, so a session keeps that line beside the record.
constexpr bool line_is_intakes(RecordKind kind) {
    return kind == RecordKind::DRIVER_ERROR || kind == RecordKind::CAPTURE_REQUEST;
}
