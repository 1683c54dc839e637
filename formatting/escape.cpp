// Escaped output of a line.
#include "formatting/escape.h"

// The escaped form of one byte in out (at most 4 bytes); its length.
static size_t escape_byte(unsigned char c, char out[4]) {
    static const char HEX[] = "0123456789abcdef";
    switch (c) {
    case '\\': out[0] = '\\'; out[1] = '\\'; return 2;
    case '\t': out[0] = '\\'; out[1] = 't'; return 2;
    case '\n': out[0] = '\\'; out[1] = 'n'; return 2;
    case '\r': out[0] = '\\'; out[1] = 'r'; return 2;
    default:
        if (c < 0x20 || c >= 0x7f) {
            out[0] = '\\';
            out[1] = 'x';
            out[2] = HEX[c >> 4];
            out[3] = HEX[c & 0xf];
            return 4;
        }
        out[0] = static_cast<char>(c);
        return 1;
    }
}

void put_escaped(const char *line, FILE *out) {
    char bytes[4];
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(line); *p != 0; ++p) {
        const size_t length = escape_byte(*p, bytes);
        if (length == 1) {
            putc(bytes[0], out);
        } else {
            fwrite(bytes, 1, length, out);
        }
    }
    putc('\n', out);
}

size_t escape_line(const char *line, char *out, size_t capacity) {
    if (capacity == 0) {
        return 0;
    }
    size_t used = 0;
    char bytes[4];
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(line); *p != 0; ++p) {
        const size_t length = escape_byte(*p, bytes);
        if (used + length + 2 > capacity) {
            break;
        }
        for (size_t i = 0; i < length; ++i) {
            out[used++] = bytes[i];
        }
    }
    out[used++] = '\n';
    out[used] = '\0';
    return used;
}
