// Plain-text filter of a status list.
#include "monitor/text_filter.h"

static unsigned char folded(unsigned char c) {
    // ASCII and the Latin-1 capitals (except the multiplication sign).
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return static_cast<unsigned char>(c + 32);
    }
    return c;
}

void text_filter_set(TextFilter &filter, const char *text) {
    size_t n = 0;
    for (; text != nullptr && text[n] != '\0' && n + 1 < sizeof filter.text; ++n) {
        filter.text[n] = static_cast<char>(folded(static_cast<unsigned char>(text[n])));
    }
    filter.text[n] = '\0';
    filter.length = n;
}

bool text_filter_active(const TextFilter &filter) { return filter.length > 0; }

bool text_filter_passes(const TextFilter &filter, const char *line) {
    if (filter.length == 0) {
        return true;
    }
    const unsigned char *want = reinterpret_cast<const unsigned char *>(filter.text);
    for (const unsigned char *start = reinterpret_cast<const unsigned char *>(line); *start != '\0'; ++start) {
        size_t i = 0;
        while (i < filter.length && start[i] != '\0' && folded(start[i]) == want[i]) {
            ++i;
        }
        if (i == filter.length) {
            return true;
        }
        if (start[i] == '\0') {
            return false;  // the rest is shorter than the text
        }
    }
    return false;
}
