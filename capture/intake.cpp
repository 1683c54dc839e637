// One status record from the driver to one line of text.
#include "capture/intake.h"

#include <cstdio>

#include "capture/capture.h"
#include "driverlink/device.h"
#include "driverlink/driver_source.h"
#include "driverlink/ioctl.h"
#include "driverlink/platform.h"

const char DATA_INTEGRITY_TEXT[] = "Data Integrity Check Failed\nRetrain forced";
const char DMA_TIMEOUT_TEXT[] = "DMA Transfer Request Timeout\nRetrain forced";
const char UNKNOWN_INTERNAL_TEXT[] = "Unknown internal error, code %d ";

// Texts of the driver's internal errors, by code.
struct InternalErrorText {
    uint32_t code;
    const char *text;
};
static const InternalErrorText internal_error_texts[] = {
    {1, DATA_INTEGRITY_TEXT},
    {2, DMA_TIMEOUT_TEXT},
};

static void internal_error_line(uint32_t code, StatusLine &line) {
    for (const InternalErrorText &row : internal_error_texts) {
        if (row.code == code) {
            std::snprintf(line, STATUS_LINE_BYTES, "%s", row.text);
            return;
        }
    }
    std::snprintf(line, STATUS_LINE_BYTES, UNKNOWN_INTERNAL_TEXT, static_cast<int32_t>(code));
}

int next_status_line(CaptureSet &captures, StatusLine &line, StatusRecord *fetched, bool *delivered) {
    if (delivered != nullptr) {
        *delivered = false;
    }
    line[0] = '\0';
    unsigned char bytes[STATUS_RECORD_BYTES];
    uint32_t returned = 0;
    driver_control(*captures.link, IOCTL_TARVEL_GET_STATUS, nullptr, 0, bytes, sizeof bytes, &returned);
    if (returned != STATUS_RECORD_BYTES) {
        return -1;
    }
    StatusRecord record = status_record_from_bytes(bytes);
    if (fetched != nullptr) {
        *fetched = record;
    }
    if (delivered != nullptr) {
        *delivered = true;
    }
    const int modem = static_cast<int>(record.modem);
    switch (record_kind(record)) {
    case RecordKind::DRIVER_ERROR:
        internal_error_line(record.code, line);
        return 0;
    case RecordKind::NO_MODEM:
        return -1;
    case RecordKind::CAPTURE_REQUEST:
        if (record.code == CAPTURE_RESTART_CODE) {
            restart_capture(captures, modem, static_cast<int32_t>(record.param1), line);
        } else {
            open_named_capture(captures, modem, record.param1, record.param2, line);
        }
        break;
    case RecordKind::DECODED_LINE:
        decode_status(record, capture_memory(captures), line);
        break;
    }
    return line[0] == '\0' ? -1 : modem;
}
