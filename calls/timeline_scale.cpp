// Timeline axes and finding marks.
#include "calls/timeline_scale.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double SECOND = 1e6;

double point_value(SeriesKind kind, int32_t value) {
    return SERIES_INFO[kind].sixteenths ? value / 16.0 : double(value);
}

double nice_floor(double value, double step) { return std::floor(value / step + 1e-9) * step; }

constexpr SeriesKind LEVEL_SERIES[] = {SERIES_SNR, SERIES_RX_LEVEL};
constexpr SeriesKind RATE_SERIES[] = {SERIES_RX_RATE, SERIES_TX_RATE};

}  // namespace

double timeline_nice_step(double raw) {
    if (!(raw > 0) || !std::isfinite(raw)) return 1;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    return (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * power;
}

void timeline_scale(const TimelineCalls &shown, TimelineScale &out) {
    out = TimelineScale{};
    const int count = std::clamp(shown.count, 0, 2);
    double t_start = 0, t_end = 1, level_low = 0, level_high = 0, rate_high = 0;
    bool levels = false, any = false;
    for (int c = 0; c < count; ++c) {
        const Call *call = shown.calls[c];
        if (call == nullptr) continue;
        const double start = timeline_time(shown, c, call->start_us);
        const double end = timeline_time(shown, c, timeline_call_end_us(*call));
        t_start = any ? std::min(t_start, start) : start;
        t_end = any ? std::max(t_end, end) : end;
        any = true;
        for (SeriesKind kind : LEVEL_SERIES) {
            const Series &s = call->series[kind];
            if (s.samples == 0) continue;
            const double low = point_value(kind, s.lowest), high = point_value(kind, s.highest);
            level_low = levels ? std::min(level_low, low) : low;
            level_high = levels ? std::max(level_high, high) : high;
            levels = true;
        }
        for (SeriesKind kind : RATE_SERIES) {
            if (call->series[kind].samples > 0) rate_high = std::max(rate_high, point_value(kind, call->series[kind].highest));
        }
    }
    // A call of no length stands in the middle of a second.
    if (t_end <= t_start) {
        t_start -= 0.5;
        t_end = t_start + 1;
    }
    if (!levels) {
        level_low = -40;
        level_high = 40;
    }
    // From 0 dB (or the lowest level) up to the highest, in round steps.
    level_low = std::min(level_low, 0.0);
    level_high = std::max(level_high, level_low + 10);
    double level_step = timeline_nice_step((level_high - level_low) / TIMELINE_VALUE_INTERVALS);
    while (nice_floor(level_low, level_step) + level_step * TIMELINE_VALUE_INTERVALS < level_high)
        level_step = timeline_nice_step(level_step * 1.01);
    out.level_low = nice_floor(level_low, level_step);
    out.level_step = level_step;
    out.level_high = out.level_low + level_step * TIMELINE_VALUE_INTERVALS;
    out.rate_step = timeline_nice_step((rate_high > 0 ? rate_high * 1.05 : 40000) / TIMELINE_VALUE_INTERVALS);
    out.rate_high = out.rate_step * TIMELINE_VALUE_INTERVALS;
    // Room on both sides for the marks at the ends.
    const double pad = (t_end - t_start) * 0.02;
    out.time_min = t_start - pad;
    out.time_max = t_end + pad;
    out.time_step = timeline_nice_step((t_end - t_start) / TIMELINE_TIME_INTERVALS);
    out.time_first_tick = std::ceil(out.time_min / out.time_step - 1e-9) * out.time_step;
}

double timeline_level_height(const TimelineScale &scale, double level) {
    return (scale.level_high - level) / (scale.level_high - scale.level_low);
}

double timeline_rate_height(const TimelineScale &scale, double rate) { return 1.0 - rate / scale.rate_high; }

int timeline_finding_pick(const std::vector<FindingPlace> &places, const TimelineFrame &frame, double x, double snap) {
    int best = -1;
    double best_distance = 0;
    for (size_t i = 0; i < places.size(); ++i) {
        const double distance = std::fabs(timeline_x(frame, places[i].time) - x);
        if (distance > snap) continue;
        if (best < 0 || distance < best_distance - 1e-9 ||
            (std::fabs(distance - best_distance) <= 1e-9 && places[i].severity > places[size_t(best)].severity)) {
            best = int(i);
            best_distance = distance;
        }
    }
    return best;
}
