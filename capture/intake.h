// The status intake: fetches one status record from the driver and turns it
// into the line to show, or carries out the capture request it holds.
#pragma once

#include "capture/capture.h"
#include "decoder/record_kind.h"
#include "decoder/status.h"

// Driver-internal error texts (records of modem 0).
extern const char DATA_INTEGRITY_TEXT[];      // code 1
extern const char DMA_TIMEOUT_TEXT[];         // code 2
extern const char UNKNOWN_INTERNAL_TEXT[];    // any other code: "Unknown internal error, code %d "

// Fetches at most one record. Returns the record's modem (0, 1 or 2) with its
// text in line, or -1 with line empty: no record, a short delivery, a record
// that yields no line, or a record of a modem above 2 (dropped: there are
// tables for modems 1 and 2 only). The caller checks modem_presence first.
// What the record is, record_kind decides. Capture requests are carried out
// on `captures`, whose link the record is fetched through; records are
// decoded against capture_memory(captures).
// fetched, when given, receives the record as delivered (left alone when
// none was); delivered, when given, says whether a whole record came.
int next_status_line(CaptureSet &captures, StatusLine &line, StatusRecord *fetched = nullptr,
                     bool *delivered = nullptr);
