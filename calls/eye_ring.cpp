#include "calls/eye_ring.h"

#include <cstring>

void eye_ring_add(EyeRing &ring, const EyeXY *points, size_t count, int64_t time_us) {
    if (count == 0 || points == nullptr) return;
    if (count > EYE_POINTS_MAX) count = EYE_POINTS_MAX;
    EyeRingTick &tick = ring.ticks[ring.next];
    tick.time_us = time_us;
    tick.count = static_cast<uint16_t>(count);
    std::memcpy(tick.points, points, count * sizeof(EyeXY));
    ring.next = (ring.next + 1) % EYE_TICKS_KEPT;
    if (ring.count < EYE_TICKS_KEPT) ++ring.count;
}

size_t eye_ring_freeze(const EyeRing &ring, int64_t since_us, FrozenEye &frozen) {
    frozen.clear();
    const size_t oldest = (ring.next + EYE_TICKS_KEPT - ring.count) % EYE_TICKS_KEPT;
    for (size_t i = 0; i < ring.count; ++i) {
        const EyeRingTick &tick = ring.ticks[(oldest + i) % EYE_TICKS_KEPT];
        if (tick.time_us >= since_us) frozen.add_tick(tick.time_us, tick.points, tick.count);
    }
    return frozen.ticks;
}

// Points of the ticks lie one after the other in the storage, each tick's
// pointer into it; a copy rebuilds the pointers over its own storage.
FrozenEye &FrozenEye::operator=(const FrozenEye &other) {
    if (this == &other) return *this;
    kind = other.kind;
    time_us = other.time_us;
    clear();
    for (uint8_t t = 0; t < other.ticks; ++t) add_tick(other.tick[t].time_us, other.tick[t].points, other.tick[t].count);
    return *this;
}

void FrozenEye::clear() {
    ticks = 0;
    storage_.clear();
    for (EyeTick &t : tick) t = EyeTick{};
}

void FrozenEye::add_tick(int64_t tick_us, const EyeXY *points, uint16_t count) {
    if (ticks >= EYE_TICKS_KEPT) return;
    if (count > EYE_POINTS_MAX) count = EYE_POINTS_MAX;
    // Exactly as much room as the points need; the ticks' pointers follow
    // the storage wherever growing it moved it.
    storage_.reserve(storage_.size() + count);
    storage_.insert(storage_.end(), points, points + count);
    tick[ticks] = EyeTick{tick_us, count, nullptr};
    ++ticks;
    size_t at = 0;
    for (uint8_t t = 0; t < ticks; ++t) {
        tick[t].points = storage_.data() + at;
        at += tick[t].count;
    }
}
