// Escaped output of a line.
#include "formatting/escape.h"

void put_escaped(const char *line, FILE *out) {
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(line); *p != 0; ++p) {
        switch (*p) {
        case '\\': fputs("\\\\", out); break;
        case '\t': fputs("\\t", out); break;
        case '\n': fputs("\\n", out); break;
        case '\r': fputs("\\r", out); break;
        default:
            if (*p < 0x20 || *p >= 0x7f) {
                fprintf(out, "\\x%02x", *p);
            } else {
                putc(*p, out);
            }
        }
    }
    putc('\n', out);
}
