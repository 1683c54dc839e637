// Status lines as a saved file writes them and as a copy with times takes
// them: plain text (the time, when one is shown, and a TAB before each line)
// or CSV after RFC 4180 (time, modem, text; every text quoted, its quotes
// doubled, its TABs and line breaks kept inside the quotes).
#pragma once

#include <cstddef>

#include "decoder/status.h"
#include "monitor/line_time.h"

enum ExportFormat {
    EXPORT_TEXT,
    EXPORT_CSV,
};

// Room for any one row: a line whose every character is a doubled quote,
// its time, modem and separators.
constexpr size_t EXPORT_ROW_BYTES = 2 * STATUS_LINE_BYTES + LINE_TIME_TEXT_BYTES + 16;

// What a file starts with: the CSV header row; nothing for text.
const char *export_header(ExportFormat format);

// One row into out: text "[time TAB] line LF", CSV "time,modem,"line" CR LF".
// A null time text (no time shown) leaves the text row's time and TAB out
// and the CSV field empty; an empty one (a time shown but unknown for this
// line) keeps the TAB, so that the columns stay.
// Returns the bytes written (without the NUL that follows them), 0 when the
// row does not fit.
size_t export_row(ExportFormat format, const char *time_text, int modem, const char *line, char *out,
                  size_t size);
