// Names of the call model's values, the series table and the anomaly texts.
#include <algorithm>
#include <cstdio>

#include "calls/call.h"
#include "formatting/formatting.h"

const char *direction_name(CallDirection direction) {
    switch (direction) {
    case DIRECTION_ORIGINATE: return "originate";
    case DIRECTION_ANSWER: return "answer";
    default: return "unknown";
    }
}

const char *cleardown_name(CleardownCause cause) {
    switch (cause) {
    case CLEARDOWN_NONE: return "running";
    case CLEARDOWN_LOCAL: return "local";
    case CLEARDOWN_REMOTE: return "remote";
    case CLEARDOWN_CARRIER_LOST: return "carrier lost";
    case CLEARDOWN_ON_HOOK: return "on hook";
    case CLEARDOWN_IDLE: return "went idle";
    default: return "unknown";
    }
}

const char *event_name(CallEventKind kind) {
    switch (kind) {
    case EVENT_RETRAIN: return "retrain";
    case EVENT_RENEGOTIATION: return "renegotiation";
    case EVENT_FALLBACK: return "fallback";
    case EVENT_FALLFORWARD: return "fallforward";
    case EVENT_CARRIER_LOST: return "carrier lost";
    case EVENT_CLEARDOWN: return "cleardown";
    default: return "unknown";
    }
}

const char *origin_name(EventOrigin origin) {
    switch (origin) {
    case ORIGIN_LOCAL: return "local";
    case ORIGIN_REMOTE: return "remote";
    default: return "unknown";
    }
}

const char *error_control_name(ErrorControlProtocol protocol) {
    switch (protocol) {
    case EC_LAPM: return "LAPM";
    case EC_MNP: return "MNP";
    case EC_V80: return "V.80";
    case EC_CONFLICT: return "conflicting";
    default: return "unknown";
    }
}

std::optional<double> series_median(const std::vector<SeriesPoint> &points) {
    const size_t n = points.size() < SERIES_POINTS_MAX ? points.size() : SERIES_POINTS_MAX;
    if (n == 0) return std::nullopt;
    int32_t values[SERIES_POINTS_MAX];
    for (size_t i = 0; i < n; ++i) values[i] = points[i].value;
    // Of an even count, the mean of the two middle values.
    const size_t upper = n / 2;
    std::nth_element(values, values + upper, values + n);
    if (n % 2 == 1) return values[upper];
    const int32_t lower = *std::max_element(values, values + upper);
    return (double(lower) + double(values[upper])) / 2;
}

void anomaly_text(const Anomaly &a, char *text, size_t size) {
    switch (a.kind) {
    case ANOMALY_RATE_BEFORE_MODULATION:
        snprintf(text, size, "%s rate before any modulation", a.value == 11 ? "Rx" : "Tx");
        break;
    case ANOMALY_MODULATION_CONFLICT: {
        char first[40];
        snprintf(first, sizeof first, "%s", modulation_name(a.value));
        snprintf(text, size, "two modulations: %s, then %s", first, modulation_name(a.other));
        break;
    }
    case ANOMALY_MODULATION_UNKNOWN:
        snprintf(text, size, "modulation code 0x%x has no name", static_cast<unsigned>(a.value));
        break;
    case ANOMALY_SYMBOL_RATE_INDEX:
        snprintf(text, size, "code %u: symbol-rate index %u outside the table", static_cast<unsigned>(a.value),
                 static_cast<unsigned>(a.other));
        break;
    case ANOMALY_RECORD_AFTER_CLEARDOWN:
        snprintf(text, size, "code %u (value %d) after the cleardown", static_cast<unsigned>(a.value),
                 static_cast<int>(static_cast<int32_t>(a.other)));
        break;
    case ANOMALY_DIRECTION_CONFLICT:
        snprintf(text, size, "both originate and answer reported");
        break;
    case ANOMALY_ERROR_CONTROL_CONFLICT:
        snprintf(text, size, "more than one error-control protocol established");
        break;
    case ANOMALY_DRIVER_MEMORY:
        snprintf(text, size, "code %u sub-code %u: driver memory unreadable", static_cast<unsigned>(a.value),
                 static_cast<unsigned>(a.other));
        break;
    case ANOMALY_RATE_UNKNOWN:
        snprintf(text, size, "code %u: rate code 0x%x names no rate", static_cast<unsigned>(a.value),
                 static_cast<unsigned>(a.other));
        break;
    case ANOMALY_RECORD_WHILE_IDLE:
        snprintf(text, size, "code %u (value %d) after the call had ended", static_cast<unsigned>(a.value),
                 static_cast<int>(static_cast<int32_t>(a.other)));
        break;
    case ANOMALY_OFF_HOOK_TWICE:
        snprintf(text, size, "off hook while already off hook");
        break;
    default:
        snprintf(text, size, "anomaly %u", static_cast<unsigned>(a.kind));
        break;
    }
}
