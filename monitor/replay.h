// The replay of an opened session through the monitor's own path: a monitor
// over a SessionDriverSource runs its rounds as it did live, the source's
// time advancing by one timer period per round. A window calls replay_tick
// from a timer of TIMER_PERIOD_MS; the speed sets the rounds each call
// runs. Nothing here knows of a window: a test drives it alone.
#pragma once

#include <cstdint>
#include <vector>

#include "driverlink/ioctl.h"
#include "monitor/monitor.h"
#include "session/session_source.h"
#include "trace/trace.h"

enum ReplayState { REPLAY_STOPPED, REPLAY_PLAYING, REPLAY_PAUSED };
enum ReplaySpeed {
    REPLAY_1X,    // one round per tick: the recorded pace
    REPLAY_10X,   // ten rounds per tick
    REPLAY_MAX,   // rounds until the tick's budget is spent
};
constexpr int REPLAY_SPEEDS = 3;
// Menu texts of the speeds, in their order.
extern const char *const REPLAY_SPEED_NAMES[REPLAY_SPEEDS];
// What a tick at the highest speed may spend on rounds (microseconds).
constexpr int64_t REPLAY_TICK_BUDGET_US = 30000;

struct Replay {
    Monitor *monitor;
    SessionDriverSource *source;
    // The session replayed from its start: the directives given, or (null)
    // the file at `path`, read anew for each replay so that an opened
    // session holds no directive while it is not replayed.
    const std::vector<TraceDirective> *trace;
    const char *path;
    bool unreadable;   // the last replay found the file no longer readable: it ended at once
    // The session's start (microseconds since 1970): a line replayed in
    // round k is stamped start + k timer periods, its recorded time within
    // a tick, whatever the replay's own pace.
    int64_t start_us;
    ReplayState state;
    ReplaySpeed speed;
    bool ended;        // the last replay ran to the session's end
    uint64_t rounds;   // rounds of the current replay
    // The points of each modem's latest eye tick that found a modem active
    // (count -1: none since the last call of replay_tick or replay_step).
    EyePoint eye[2][EYE_POINTS_WANTED];
    int eye_count[2];
    // Microseconds on a steady clock, for the budget; tests replace it.
    int64_t (*clock)();
};

void replay_init(Replay &replay, Monitor &monitor, SessionDriverSource &source,
                 const std::vector<TraceDirective> &trace, int64_t start_us);
// The same over the file at `path` (which must outlive the replay).
void replay_init_file(Replay &replay, Monitor &monitor, SessionDriverSource &source, const char *path,
                      int64_t start_us);

// Play: from stopped, a new replay from the session's start (the monitor's
// stores emptied and its session_shown event told, the source playing the
// session anew); from paused, on from where it stands.
void replay_play(Replay &replay);
void replay_pause(Replay &replay);
// Back to stopped; the lists keep what the replay showed.
void replay_stop(Replay &replay);
void replay_set_speed(Replay &replay, ReplaySpeed speed);
// Whether a replay command of the menu (IDM_PLAY, IDM_PAUSE, IDM_STEP or a
// speed) can be chosen in the replay's state: Play unless playing, Pause
// only while playing, Step and the speeds always.
bool replay_command_enabled(const Replay &replay, int id);

// A timer tick: while playing, the rounds of the speed (at least one); the
// end of the session stops the replay (ended set). Returns the rounds run.
// The lines and warnings go to the monitor's events.
uint64_t replay_tick(Replay &replay);
// One round and no more: from stopped it starts a new replay, paused. From
// playing it pauses first. Returns the rounds run (0 at the end).
uint64_t replay_step(Replay &replay);
