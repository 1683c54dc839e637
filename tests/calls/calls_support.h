// Shared by the call tests: a session written as steps (records, counts of
// active modems, eye ticks) and played through a call watch.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "calls/call_watch.h"
#include "decoder/status.h"

enum StepOp { STEP_RECORD, STEP_ACTIVE, STEP_EYE };

struct Step {
    StepOp op;
    int64_t ms;  // since the session start
    uint32_t modem;
    uint32_t code;  // STEP_ACTIVE: the count; STEP_EYE: the number of points
    uint32_t p1 = 0, p2 = 0, p3 = 0, p4 = 0, p5 = 0;
};

inline Step rec(int64_t ms, uint32_t modem, uint32_t code, uint32_t p1 = 0, uint32_t p2 = 0, uint32_t p3 = 0,
                uint32_t p4 = 0, uint32_t p5 = 0) {
    return Step{STEP_RECORD, ms, modem, code, p1, p2, p3, p4, p5};
}
inline Step active(int64_t ms, uint32_t count) { return Step{STEP_ACTIVE, ms, 0, count}; }
// An eye tick of `points` points, each at (x, x) with x the tick's time in ms.
inline Step eye(int64_t ms, uint32_t modem, uint32_t points) { return Step{STEP_EYE, ms, modem, points}; }

// A call watch with its own driver memory: a few blocks at fixed addresses.
struct WatchedSession {
    struct Block {
        uint32_t address;
        std::vector<unsigned char> bytes;
    };
    std::vector<Block> memory;
    std::unique_ptr<CallWatch> watch{new CallWatch};

    static size_t read(void *context, uint32_t address, unsigned char *dest, size_t count) {
        auto *self = static_cast<WatchedSession *>(context);
        for (const Block &b : self->memory) {
            if (address < b.address || address - b.address >= b.bytes.size()) continue;
            size_t n = b.bytes.size() - (address - b.address);
            if (n > count) n = count;
            std::memcpy(dest, b.bytes.data() + (address - b.address), n);
            return n;
        }
        return 0;
    }

    WatchedSession() { call_watch_init(*watch, DriverMemoryAccess{read, this}, 0, {nullptr, nullptr}); }

    void play(const std::vector<Step> &steps) {
        EyeXY points[EYE_POINTS_MAX];
        for (const Step &s : steps) {
            const int64_t us = s.ms * 1000;
            switch (s.op) {
            case STEP_RECORD:
                call_watch_record(*watch, StatusRecord{s.code, s.p1, s.p2, s.p3, s.p4, s.p5, 0, 0, 0, s.modem}, us,
                                  1'700'000'000'000'000 + us);
                break;
            case STEP_ACTIVE:
                call_watch_presence(*watch, static_cast<int>(s.code), us, 1'700'000'000'000'000 + us);
                break;
            case STEP_EYE:
                for (uint32_t i = 0; i < s.code && i < EYE_POINTS_MAX; ++i)
                    points[i] = {static_cast<int16_t>(s.ms), static_cast<int16_t>(s.ms)};
                call_watch_eye_tick(*watch, static_cast<int>(s.modem), points, s.code < EYE_POINTS_MAX ? s.code : EYE_POINTS_MAX, us);
                break;
            }
        }
    }

    // Every call, ended ones in the order they ended, then those still running.
    std::vector<const Call *> finish() {
        call_watch_finish(*watch);
        std::vector<const Call *> calls;
        for (size_t i = 0; i < call_log_size(watch->log); ++i) calls.push_back(&call_log_at(watch->log, i));
        return calls;
    }
};
