// The calls list as a window shows it: one row per call a watch knows
// (ended ones in its log and those still running), newest first, and the
// text of each column's cell; and the name of an export file as the save
// dialog's choice makes it. Apart from any toolkit, so that every window
// front end lists the same calls with the same texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "calls/call.h"

struct CallWatch;

enum CallsColumn : uint8_t {
    CALLS_COLUMN_MODEM,
    CALLS_COLUMN_START,
    CALLS_COLUMN_DURATION,
    CALLS_COLUMN_MODULATION,
    CALLS_COLUMN_RX_RATE,
    CALLS_COLUMN_TX_RATE,
    CALLS_COLUMN_RETRAINS,
    CALLS_COLUMN_RENEGOTIATIONS,
    CALLS_COLUMN_CLEARDOWN,
    CALLS_COLUMN_VERDICT,
    CALLS_COLUMNS,
};

// One row per column: its header, the widest text it is sized for (the
// header or a typical longest value) and whether it is right-aligned.
struct CallsColumnRow {
    CallsColumn column;
    const char *header;
    const char *widest;
    bool numeric;
};
extern const CallsColumnRow CALLS_COLUMN_ROWS[CALLS_COLUMNS];

// Room for any cell: a modulation name, a wall clock, a termination category.
constexpr size_t CALLS_CELL_BYTES = 48;

// The text of one cell. Start: the wall clock in UTC ("2026-12-08 17:50:00")
// when the call has one, else origin_us (the wall clock of the calls' time
// 0, 0 for none) plus the start, else "+12.345 s". Duration: up to now_us
// (the calls' time now, -1 for none) for a call still running, as "0:04.5",
// "2:03" or "1:02:03". Rates and modulation "-" when unknown; counts "2" or
// "2 (1 remote)"; the verdict is the termination category. Always
// terminated; a column out of range gives "".
void calls_cell(const Call &call, CallsColumn column, int64_t origin_us, int64_t now_us, char *text, size_t size);

// The calls of a watch as the list shows them: newest start first; at one
// moment modem 1 first, then the higher call number. Replaces out.
void calls_rows(const CallWatch &watch, std::vector<const Call *> &out);

// What tells a list that its rows changed: the log's count, place and
// losses, and the running call of each modem.
struct CallsSignature {
    size_t count = 0, first = 0;
    uint64_t dropped = 0;
    const Call *running[2] = {nullptr, nullptr};
    bool operator==(const CallsSignature &) const = default;
};
CallsSignature calls_signature(const CallWatch &watch);

enum CallsFileFormat : uint8_t { CALLS_FILE_CSV, CALLS_FILE_JSON };

// The file an export writes for the name chosen in a save dialog: a name
// that ends in ".csv" or ".json" (any case) keeps it and its format; any
// other name gets the extension of the filter chosen (json_filter: JSON,
// else CSV) appended. False (path "") when the name is empty or the result
// does not fit `size`.
bool calls_export_name(const char *chosen, bool json_filter, char *path, size_t size, CallsFileFormat *format);
