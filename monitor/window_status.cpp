// Status bar texts.
#include "monitor/window_status.h"

#include <cinttypes>
#include <cstdio>

#include "monitor/monitor.h"
#include "monitor/session_open.h"

std::string monitor_loss_text(const Monitor &monitor) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "Modem 1: %zu lines, %" PRIu64 " dropped    Modem 2: %zu lines, %" PRIu64
                  " dropped    Warnings discarded: %" PRIu64,
                  monitor.stores[0].count, monitor.stores[0].dropped, monitor.stores[1].count,
                  monitor.stores[1].dropped, monitor.warnings_discarded);
    return text;
}

std::string replay_status_text(const Replay &replay, const OpenedSession &session) {
    char text[160];
    switch (replay.state) {
    case REPLAY_PLAYING:
        std::snprintf(text, sizeof text, "Replaying at %s", REPLAY_SPEED_NAMES[replay.speed]);
        break;
    case REPLAY_PAUSED:
        std::snprintf(text, sizeof text, "Replay paused");
        break;
    case REPLAY_STOPPED:
        if (replay.ended) {
            std::snprintf(text, sizeof text, "Replay ended: the whole session was played");
        } else {
            std::snprintf(text, sizeof text, "%" PRIu64 " records, %" PRIu64 " driver-internal errors",
                          session.records, session.internal_errors);
        }
        break;
    }
    std::string shown = text;
    if (replay.state != REPLAY_STOPPED || replay.ended) {
        // Where the replay stands in the session, in tenths of a second.
        const uint64_t played_ds = replay.rounds * TIMER_PERIOD_MS / 100;
        const int64_t length_ds = session.length_ms / 100;
        std::snprintf(text, sizeof text, ": %" PRIu64 ".%" PRIu64 " s of %" PRId64 ".%" PRId64 " s", played_ds / 10,
                      played_ds % 10, length_ds / 10, length_ds % 10);
        shown += text;
    }
    return shown;
}
