// The clipboard text of the selected lines of a status list.
#pragma once

#include <cstddef>

// Bytes of the clipboard block, and the most selected lines that one copy takes.
constexpr size_t CLIPBOARD_BLOCK_BYTES = 65536;
constexpr size_t SELECTION_MAX = 32767;

// The text of line `index` of a list; null for a line it does not hold,
// which the copy leaves out.
using LineSource = const char *(*)(const void *context, size_t index);

// Writes the lines at `indexes` (ascending), each followed by CR LF, into
// block, stopping at the first line that does not fit. The text always ends
// with a NUL inside the block: the last byte is never text. Returns the
// number of text bytes written.
size_t clipboard_text(LineSource source, const void *context, const size_t *indexes,
                      size_t index_count, char *block, size_t block_size);
