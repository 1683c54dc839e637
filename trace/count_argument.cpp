// Counts on the command line, read in decimal.
#include "trace/count_argument.h"

bool parse_count(const char *text, uint32_t *value) {
    if (text == nullptr || *text == '\0') return false;
    uint64_t parsed = 0;
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        parsed = parsed * 10 + uint64_t(*p - '0');
        if (parsed > 0xFFFFFFFFull) return false;  // also stops before 64 bits could wrap
    }
    *value = uint32_t(parsed);
    return true;
}
