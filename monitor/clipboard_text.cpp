// Selected lines to clipboard text.
#include "monitor/clipboard_text.h"

#include <cstring>

size_t clipboard_text(LineSource source, const void *context, const size_t *indexes,
                      size_t index_count, char *block, size_t block_size) {
    if (block_size == 0) {
        return 0;
    }
    // Room for text and CR LF pairs; one byte stays for the terminating NUL.
    const size_t room = block_size - 1;
    size_t used = 0;
    for (size_t n = 0; n < index_count; ++n) {
        const char *line = source(context, indexes[n]);
        if (line == nullptr) {
            continue;  // a line the source no longer holds
        }
        const size_t length = std::strlen(line);
        if (room - used < 2 || length > room - used - 2) {
            break;
        }
        std::memcpy(block + used, line, length);
        used += length;
        block[used++] = '\r';
        block[used++] = '\n';
    }
    block[used] = '\0';
    return used;
}
