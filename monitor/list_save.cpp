// Saving a status list.
#include "monitor/list_save.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

#include "formatting/formatting.h"
#include "monitor/text_filter.h"
#include "monitor/monitor.h"

ExportFormat export_format_for_name(const char *path) {
    return ends_with_folded(path, std::strlen(path), ".csv") ? EXPORT_CSV : EXPORT_TEXT;
}

// Renames the complete file over `path`, replacing what was there.
static bool replace_file(const std::string &from, const char *path) {
#ifdef _WIN32
    if (MoveFileExA(from.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
#else
    return std::rename(from.c_str(), path) == 0;
#endif
}

static bool fail(std::string &error, FILE *file, const std::string &temporary) {
    error = std::strerror(errno != 0 ? errno : EIO);
    if (file != nullptr) {
        std::fclose(file);
    }
    std::remove(temporary.c_str());
    return false;
}

bool save_list(const Monitor &monitor, int modem, const char *path, ExportFormat format, LineTimeFormat time,
               const TextFilter *shown_only, std::string &error) {
    if (modem != 1 && modem != 2) {
        error = "no such modem";
        return false;
    }
    const std::string temporary = std::string(path) + ".saving";
    errno = 0;
    FILE *file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return fail(error, nullptr, temporary);
    }
    const LineStore &store = monitor.stores[modem - 1];
    const char *header = export_header(format);
    if (std::fputs(header, file) < 0) {
        return fail(error, file, temporary);
    }
    for (size_t i = 0; i < store.count; ++i) {
        const char *line = line_store_text(store, i);
        if (shown_only != nullptr && !text_filter_passes(*shown_only, line)) {
            continue;
        }
        char time_text[LINE_TIME_TEXT_BYTES];
        store_line_time(store, i, monitor.activity, modem, time, time_text);
        char row[EXPORT_ROW_BYTES];
        const size_t n = export_row(format, time != LINE_TIME_OFF ? time_text : nullptr, modem, line, row, sizeof row);
        if (n > 0 && std::fwrite(row, 1, n, file) != n) {
            return fail(error, file, temporary);
        }
    }
    if (std::fflush(file) != 0) {
        return fail(error, file, temporary);
    }
    if (std::fclose(file) != 0) {
        return fail(error, nullptr, temporary);
    }
    if (!replace_file(temporary, path)) {
        return fail(error, nullptr, temporary);
    }
    return true;
}

std::string save_list_message(const char *path, const std::string &reason) {
    return std::string("Could not save ") + path + ":\n" + reason;
}

std::string save_list_title(int modem) { return "Save Modem " + std::to_string(modem) + " List"; }
