// A plain-text filter of a status list: a line passes when it holds the
// filter's text, letters compared without regard to case (ASCII and
// Latin-1, one character per byte, as the lines are). The empty filter lets
// every line through. No expression syntax: every character stands for
// itself, so nothing a user types can make a match slow.
#pragma once

#include <cstddef>

#include "decoder/status.h"

struct TextFilter {
    // The text, folded to lower case; at most a status line's length.
    char text[STATUS_LINE_BYTES];
    size_t length;
};

// Sets the filter from `text` (NUL-terminated); a text longer than a status
// line can hold is cut, since no line could hold it whole.
void text_filter_set(TextFilter &filter, const char *text);
bool text_filter_active(const TextFilter &filter);
bool text_filter_passes(const TextFilter &filter, const char *line);
