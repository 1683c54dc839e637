// Line times and modem activity.
#include "monitor/line_time.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

const char *const LINE_TIME_NAMES[LINE_TIME_FORMATS] = {
    "&Off",
    "&Wall Clock",
    "Since Modem &Active",
    "&Delta",
};


// Seconds with milliseconds of a signed span in microseconds, truncated
// toward zero: "12.345", "-0.250"; `plus` puts "+" before spans of 0 and up.
static void format_span(int64_t span, bool plus, char text[LINE_TIME_TEXT_BYTES]) {
    const bool negative = span < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(span) : static_cast<uint64_t>(span);
    const uint64_t millis = magnitude / 1000;
    std::snprintf(text, LINE_TIME_TEXT_BYTES, "%s%" PRIu64 ".%03u", negative ? "-" : (plus ? "+" : ""),
                  millis / 1000, static_cast<unsigned>(millis % 1000));
}

void format_line_time(LineTimeFormat format, int64_t time, int64_t previous, int64_t active_since,
                      char text[LINE_TIME_TEXT_BYTES]) {
    text[0] = '\0';
    switch (format) {
    case LINE_TIME_OFF:
        return;
    case LINE_TIME_WALL: {
        // Floor to whole seconds, so that times before the epoch stay right.
        int64_t seconds = time / 1000000;
        int64_t micros = time % 1000000;
        if (micros < 0) {
            micros += 1000000;
            --seconds;
        }
        const std::time_t t = static_cast<std::time_t>(seconds);
        std::tm parts{};
#ifdef _WIN32
        const bool ok = localtime_s(&parts, &t) == 0;
#else
        const bool ok = localtime_r(&t, &parts) != nullptr;
#endif
        if (ok) {
            std::snprintf(text, LINE_TIME_TEXT_BYTES, "%02d:%02d:%02d.%03d", parts.tm_hour, parts.tm_min,
                          parts.tm_sec, static_cast<int>(micros / 1000));
        }
        return;
    }
    case LINE_TIME_SINCE_ACTIVE:
        if (active_since >= 0) {
            format_span(time - active_since, false, text);
        }
        return;
    case LINE_TIME_DELTA:
        if (previous >= 0) {
            format_span(time - previous, true, text);
        }
        return;
    }
}

void activity_reset(ModemActivity activity[2]) {
    activity[0] = ModemActivity{};
    activity[1] = ModemActivity{};
}

void activity_note(ModemActivity activity[2], int active_count, int64_t now) {
    for (int m = 1; m <= 2; ++m) {
        ModemActivity &a = activity[m - 1];
        const bool active = active_count >= m;
        if (active && !a.active) {
            if (a.count == ACTIVATIONS_KEPT) {
                a.first = (a.first + 1) % ACTIVATIONS_KEPT;
                --a.count;
            }
            a.starts[(a.first + a.count) % ACTIVATIONS_KEPT] = now;
            ++a.count;
        }
        a.active = active;
    }
}

int64_t activity_since(const ModemActivity activity[2], int modem, int64_t time) {
    if (modem != 1 && modem != 2) {
        return -1;
    }
    const ModemActivity &a = activity[modem - 1];
    for (size_t n = a.count; n > 0; --n) {
        const int64_t start = a.starts[(a.first + n - 1) % ACTIVATIONS_KEPT];
        if (start <= time) {
            return start;
        }
    }
    return -1;
}

void store_line_time(const LineStore &store, size_t i, const ModemActivity activity[2], int modem,
                     LineTimeFormat format, char text[LINE_TIME_TEXT_BYTES]) {
    const int64_t time = line_store_time(store, i);
    const int64_t previous = i > 0 ? line_store_time(store, i - 1) : -1;
    format_line_time(format, time, previous, activity_since(activity, modem, time), text);
}

void line_with_time(const char *time_text, const char *line, char *out, size_t size) {
    if (size == 0) {
        return;
    }
    if (time_text == nullptr) {
        std::snprintf(out, size, "%s", line);
    } else {
        std::snprintf(out, size, "%s\t%s", time_text, line);
    }
}
