#include "calls/eye_ring.h"

#include <cstring>

void eye_ring_add(EyeRing &ring, const EyeXY *points, size_t count, int64_t time_us) {
    if (count == 0 || points == nullptr) return;
    if (count > EYE_POINTS_MAX) count = EYE_POINTS_MAX;
    EyeTick &tick = ring.ticks[ring.next];
    tick.time_us = time_us;
    tick.count = static_cast<uint16_t>(count);
    std::memcpy(tick.points, points, count * sizeof(EyeXY));
    ring.next = (ring.next + 1) % EYE_TICKS_KEPT;
    if (ring.count < EYE_TICKS_KEPT) ++ring.count;
}

size_t eye_ring_freeze(const EyeRing &ring, int64_t since_us, FrozenEye &frozen) {
    frozen.ticks = 0;
    const size_t oldest = (ring.next + EYE_TICKS_KEPT - ring.count) % EYE_TICKS_KEPT;
    for (size_t i = 0; i < ring.count; ++i) {
        const EyeTick &tick = ring.ticks[(oldest + i) % EYE_TICKS_KEPT];
        if (tick.time_us < since_us) continue;
        EyeTick &copy = frozen.tick[frozen.ticks++];
        copy.time_us = tick.time_us;
        copy.count = tick.count;
        std::memcpy(copy.points, tick.points, tick.count * sizeof(EyeXY));
    }
    return frozen.ticks;
}
