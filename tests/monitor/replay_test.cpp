// The replay controller, without a window: the rounds each tick runs at
// each speed, the lines' times, and play / pause / step / stop.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "monitor/replay.h"
#include "session/session_source.h"
#include "trace/trace.h"

namespace {

void no_warning(void *, const char *) { ADD_FAILURE() << "no warning expected"; }

// A session of `ticks` ticks with one record of modem 1 in each.
std::vector<TraceDirective> one_record_a_tick(int ticks) {
    std::string text = "active 1\n";
    for (int i = 0; i < ticks; ++i) {
        text += "rec 1 1 " + std::to_string(8000 + i) + "\nwait 100\n";
    }
    FILE *input = std::tmpfile();
    std::fputs(text.c_str(), input);
    std::rewind(input);
    std::vector<TraceDirective> trace;
    EXPECT_TRUE(read_trace(input, "replay", &trace));
    std::fclose(input);
    return trace;
}

class ReplayTest : public testing::Test {
protected:
    static constexpr int TICKS = 40;
    static constexpr int64_t START_US = 1700000000000000;
    void SetUp() override {
        trace_ = one_record_a_tick(TICKS);
        monitor_ = monitor_new(source_);
        monitor_start(*monitor_, nullptr);
        monitor_set_events(*monitor_, {nullptr, nullptr, no_warning, nullptr, nullptr, nullptr});
        replay_init(replay_, *monitor_, source_, trace_, START_US);
    }
    void TearDown() override { monitor_delete(monitor_); }
    size_t lines() const { return monitor_->stores[0].count; }

    std::vector<TraceDirective> trace_;
    SessionDriverSource source_;
    Monitor *monitor_ = nullptr;
    Replay replay_ = {};
};

TEST_F(ReplayTest, EachSpeedRunsItsRoundsATickAndTheEndStopsTheReplay) {
    const struct {
        ReplaySpeed speed;
        uint64_t first_tick;  // rounds of the first tick
        bool ended;           // the whole session played in it
    } cases[] = {
        {REPLAY_1X, 1, false},
        {REPLAY_10X, 10, false},
        // Forty rounds of this session take far less than a tick's budget.
        {REPLAY_MAX, TICKS, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(REPLAY_SPEED_NAMES[c.speed]);
        replay_stop(replay_);
        replay_set_speed(replay_, c.speed);
        replay_play(replay_);
        EXPECT_EQ(lines(), 0u) << "a new replay starts from empty lists";
        EXPECT_EQ(replay_tick(replay_), c.first_tick);
        EXPECT_EQ(lines(), c.first_tick) << "one record a tick of the session";
        EXPECT_EQ(replay_.ended, c.ended);
        EXPECT_EQ(replay_.state, c.ended ? REPLAY_STOPPED : REPLAY_PLAYING);
        uint64_t ticks = 1;
        while (replay_.state == REPLAY_PLAYING && ticks < 100) {
            replay_tick(replay_);
            ++ticks;
        }
        EXPECT_TRUE(replay_.ended);
        EXPECT_EQ(replay_.rounds, uint64_t(TICKS));
        EXPECT_EQ(lines(), size_t(TICKS));
        // Each line at its time in the session, however fast it was replayed.
        for (size_t i = 0; i < lines(); ++i) {
            EXPECT_EQ(line_store_time(monitor_->stores[0], i), START_US + int64_t(i) * 100000) << i;
        }
        EXPECT_EQ(replay_tick(replay_), 0u) << "a stopped replay does nothing";
    }
}

TEST_F(ReplayTest, PlayPauseStepAndStopMoveBetweenTheStates) {
    enum Command { PLAY, PAUSE, STEP, STOP, TICK };
    const struct {
        Command command;
        ReplayState state;
        uint64_t rounds;  // of the replay after the command
        size_t lines;
    } steps[] = {
        {TICK, REPLAY_STOPPED, 0, 0},   // nothing plays before Play
        {STEP, REPLAY_PAUSED, 1, 1},    // a step from stopped starts a replay, paused
        {TICK, REPLAY_PAUSED, 1, 1},    // paused: the timer does nothing
        {STEP, REPLAY_PAUSED, 2, 2},
        {PLAY, REPLAY_PLAYING, 2, 2},   // on from where it stands
        {TICK, REPLAY_PLAYING, 3, 3},
        {STEP, REPLAY_PAUSED, 4, 4},    // a step while playing pauses
        {PAUSE, REPLAY_PAUSED, 4, 4},
        {PLAY, REPLAY_PLAYING, 4, 4},
        {PAUSE, REPLAY_PAUSED, 4, 4},
        {STOP, REPLAY_STOPPED, 4, 4},   // the lists keep what they showed
        {PLAY, REPLAY_PLAYING, 0, 0},   // from stopped: a new replay from the start
        {TICK, REPLAY_PLAYING, 1, 1},
    };
    int i = 0;
    for (const auto &s : steps) {
        SCOPED_TRACE(i++);
        switch (s.command) {
        case PLAY: replay_play(replay_); break;
        case PAUSE: replay_pause(replay_); break;
        case STEP: replay_step(replay_); break;
        case STOP: replay_stop(replay_); break;
        case TICK: replay_tick(replay_); break;
        }
        EXPECT_EQ(replay_.state, s.state);
        EXPECT_EQ(replay_.rounds, s.rounds);
        EXPECT_EQ(lines(), s.lines);
    }
}

}  // namespace
