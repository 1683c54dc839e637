// Export rows of status lines.
#include "monitor/status_export.h"

#include <cstdio>
#include <cstring>

const char *export_header(ExportFormat format) { return format == EXPORT_CSV ? "time,modem,text\r\n" : ""; }

// Appends `count` bytes, or fails without writing when they do not fit
// (leaving room for the NUL).
static bool put(char *out, size_t size, size_t *used, const char *bytes, size_t count) {
    if (size == 0 || count > size - 1 - *used) {
        return false;
    }
    std::memcpy(out + *used, bytes, count);
    *used += count;
    return true;
}

size_t export_row(ExportFormat format, const char *time_text, int modem, const char *line, char *out,
                  size_t size) {
    size_t used = 0;
    bool ok = true;
    if (format == EXPORT_TEXT) {
        if (time_text != nullptr) {
            const char *time = time_text != nullptr ? time_text : "";
        ok = put(out, size, &used, time, std::strlen(time)) && put(out, size, &used, "\t", 1);
        }
        ok = ok && put(out, size, &used, line, std::strlen(line)) && put(out, size, &used, "\n", 1);
    } else {
        char modem_field[16];
        const int modem_length = std::snprintf(modem_field, sizeof modem_field, ",%d,\"", modem);
        const char *time = time_text != nullptr ? time_text : "";
        ok = put(out, size, &used, time, std::strlen(time)) &&
             put(out, size, &used, modem_field, static_cast<size_t>(modem_length));
        for (const char *c = line; ok && *c != '\0'; ++c) {
            ok = *c == '"' ? put(out, size, &used, "\"\"", 2) : put(out, size, &used, c, 1);
        }
        ok = ok && put(out, size, &used, "\"\r\n", 3);
    }
    if (!ok) {
        if (size > 0) {
            out[0] = '\0';
        }
        return 0;
    }
    out[used] = '\0';
    return used;
}
