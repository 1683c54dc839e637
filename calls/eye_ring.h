// The last few ticks of one modem's eye points, kept in a fixed ring so that
// the tracker can freeze the eye of the moment an event happened.
#pragma once

#include <cstddef>
#include <cstdint>

#include "calls/call.h"

// One tick as the ring holds it, in room for the most points a tick keeps.
struct EyeRingTick {
    int64_t time_us;
    uint16_t count;  // 0 to EYE_POINTS_MAX
    EyeXY points[EYE_POINTS_MAX];
};

struct EyeRing {
    EyeRingTick ticks[EYE_TICKS_KEPT];
    size_t next = 0;   // slot the next tick goes to
    size_t count = 0;  // ticks held (at most EYE_TICKS_KEPT)
};

// Keeps one tick's points, the oldest tick giving way. Ticks without points
// are not kept (they would push out the picture of the moment); more than
// EYE_POINTS_MAX points are cut to the first EYE_POINTS_MAX.
void eye_ring_add(EyeRing &ring, const EyeXY *points, size_t count, int64_t time_us);

// Copies the ticks taken at or after since_us, oldest first, into frozen
// (whose kind and time the caller sets). Returns the number of ticks copied.
size_t eye_ring_freeze(const EyeRing &ring, int64_t since_us, FrozenEye &frozen);
