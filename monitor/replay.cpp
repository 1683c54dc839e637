// Replaying a session through a monitor.
#include "monitor/replay.h"

#include <chrono>

const char *const REPLAY_SPEED_NAMES[REPLAY_SPEEDS] = {"1x", "10x", "As fast as possible"};

static int64_t steady_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void replay_init(Replay &replay, Monitor &monitor, SessionDriverSource &source,
                 const std::vector<TraceDirective> &trace, int64_t start_us) {
    replay.monitor = &monitor;
    replay.start_us = start_us;
    replay.source = &source;
    replay.trace = &trace;
    replay.path = nullptr;
    replay.unreadable = false;
    replay.state = REPLAY_STOPPED;
    replay.speed = REPLAY_1X;
    replay.ended = false;
    replay.rounds = 0;
    replay.eye_count[0] = replay.eye_count[1] = -1;
    replay.clock = steady_us;
}

void replay_init_file(Replay &replay, Monitor &monitor, SessionDriverSource &source, const char *path,
                      int64_t start_us) {
    static const std::vector<TraceDirective> none;
    replay_init(replay, monitor, source, none, start_us);
    replay.trace = nullptr;
    replay.path = path;
}

// A new replay: the stores emptied and the session played from its start.
static void begin(Replay &replay) {
    // The window's children stay as the user set them.
    const Visibility visible = replay.monitor->visible;
    monitor_start(*replay.monitor, nullptr);
    replay.monitor->visible = visible;
    // Capture requests give their lines; no file is touched.
    replay.monitor->captures.replaying = true;
    if (replay.trace != nullptr) {
        replay.source->play(*replay.trace);
    } else {
        // Read anew: the opened session keeps no directive between replays.
        replay.unreadable = replay.source->open(replay.path) != TRACE_READ_OK;
    }
    const MonitorEvents &events = replay.monitor->events;
    if (events.session_shown != nullptr) {
        events.session_shown(events.context);
    }
    replay.rounds = 0;
    replay.ended = false;
    replay.eye_count[0] = replay.eye_count[1] = -1;
}

void replay_play(Replay &replay) {
    if (replay.state == REPLAY_STOPPED) {
        begin(replay);
    }
    replay.state = REPLAY_PLAYING;
}

void replay_pause(Replay &replay) {
    if (replay.state == REPLAY_PLAYING) {
        replay.state = REPLAY_PAUSED;
    }
}

void replay_stop(Replay &replay) { replay.state = REPLAY_STOPPED; }

void replay_set_speed(Replay &replay, ReplaySpeed speed) { replay.speed = speed; }

// The lines a round added (running numbers from `from` on) get the round's
// session time in place of the clock's.
static void restamp(LineStore &store, uint64_t from, int64_t time) {
    const uint64_t first = from > store.first_number ? from : store.first_number;
    for (uint64_t number = first; number < line_store_end_number(store); ++number) {
        store.times[(store.first + (number - store.first_number)) % store.capacity] = time;
    }
}

// One round of the five ticks as the live window runs them (each status
// tick drains what the session's time has brought), then one timer period
// of the session's time. True while the session has more to give.
static bool round(Replay &replay) {
    Monitor &monitor = *replay.monitor;
    const uint64_t ends[2] = {line_store_end_number(monitor.stores[0]), line_store_end_number(monitor.stores[1])};
    ModemActivity activity[2] = {monitor.activity[0], monitor.activity[1]};
    monitor_round(monitor, 0, replay.eye, replay.eye_count);
    const int64_t time = replay.start_us + static_cast<int64_t>(replay.rounds) * TIMER_PERIOD_MS * 1000;
    for (int m = 0; m < 2; ++m) {
        restamp(monitor.stores[m], ends[m], time);
        // A modem that became active in this round did so at its time.
        ModemActivity &now = monitor.activity[m];
        if (now.count > 0 && (now.count != activity[m].count || now.first != activity[m].first)) {
            now.starts[(now.first + now.count - 1) % ACTIVATIONS_KEPT] = time;
        }
    }
    ++replay.rounds;
    replay.source->sleep(TIMER_PERIOD_MS);
    return !replay.source->finished();
}

static void reach_end(Replay &replay) {
    replay.state = REPLAY_STOPPED;
    replay.ended = true;
}

uint64_t replay_tick(Replay &replay) {
    replay.eye_count[0] = replay.eye_count[1] = -1;
    if (replay.state != REPLAY_PLAYING) {
        return 0;
    }
    const int64_t deadline = replay.clock() + REPLAY_TICK_BUDGET_US;
    const uint64_t wanted = replay.speed == REPLAY_1X ? 1 : replay.speed == REPLAY_10X ? 10 : UINT64_MAX;
    uint64_t rounds = 0;
    while (rounds < wanted) {
        ++rounds;
        if (!round(replay)) {
            reach_end(replay);
            break;
        }
        if (replay.speed == REPLAY_MAX && replay.clock() >= deadline) {
            break;
        }
    }
    return rounds;
}

uint64_t replay_step(Replay &replay) {
    replay.eye_count[0] = replay.eye_count[1] = -1;
    if (replay.state == REPLAY_STOPPED) {
        begin(replay);
    }
    replay.state = REPLAY_PAUSED;
    if (replay.source->finished() && replay.rounds > 0) {
        reach_end(replay);
        return 0;
    }
    if (!round(replay)) {
        reach_end(replay);
    }
    return 1;
}

bool replay_command_enabled(const Replay &replay, int id) {
    switch (id) {
    case IDM_PLAY:
        return replay.state != REPLAY_PLAYING;
    case IDM_PAUSE:
        return replay.state == REPLAY_PLAYING;
    default:
        return id == IDM_STEP || (id >= IDM_SPEED_FIRST && id < IDM_SPEED_FIRST + REPLAY_SPEEDS);
    }
}
