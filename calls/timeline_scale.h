// The axes of a call timeline and its finding marks, apart from any
// drawing: the time range of the shown call(s) with a little room at both
// ends, the levels (SNR in dB, receive level in dBm) from 0 or below up to
// the highest value on round grid steps, the rates (bit/s) on the same grid
// lines; and which finding mark a click on the time axis chooses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "calls/call_findings.h"
#include "calls/timeline_marks.h"

// Grid intervals of the value axes (levels and rates share them) and,
// about, of the time axis: few enough that every label fits.
constexpr int TIMELINE_VALUE_INTERVALS = 5;
constexpr int TIMELINE_TIME_INTERVALS = 8;

struct TimelineScale {
    double time_min = 0, time_max = 1, time_step = 1;  // seconds on the axis (see timeline_time)
    double time_first_tick = 0;                        // the first grid line at or after time_min
    double level_low = -40, level_high = 40, level_step = 16;
    double rate_high = 40000, rate_step = 8000;  // rates from 0 up
};

// A round step at least `raw`: 1, 2 or 5 times a power of ten (1 for none).
double timeline_nice_step(double raw);

// The scale for the shown calls, from their series' lowest and highest
// values (SERIES_SNR, SERIES_RX_LEVEL; SERIES_RX_RATE, SERIES_TX_RATE) and
// their time; without calls or values, -40 to 40 and 0 to 40,000 bit/s
// over one second.
void timeline_scale(const TimelineCalls &shown, TimelineScale &out);

// Where a value is in the plot, from its top down, as a fraction of its
// height: a level on the level axis, a rate on the rate axis.
double timeline_level_height(const TimelineScale &scale, double level);
double timeline_rate_height(const TimelineScale &scale, double rate);

// The finding marks themselves (FindingPlace, timeline_finding_marks) are
// timeline_marks.h's.
// The finding whose mark is nearest across to x within `snap` pixels, the
// more severe at one distance; -1 for none. An index into `places`.
int timeline_finding_pick(const std::vector<FindingPlace> &places, const TimelineFrame &frame, double x, double snap);
