// Timeline marks and picks.
#include "calls/timeline_marks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "calls/call_summary.h"

namespace {

constexpr double SECOND = 1e6;
// Heights of the marks, as fractions of the plot from its top: a row for
// each kind that the shown calls have, in the order of the kinds, each a
// step lower (higher for B) than the one before, so that events of one
// moment (carrier lost, then cleardown) stay apart. Six rows reach 0.46.
constexpr double MARK_EDGE = 0.06;
constexpr double MARK_STEP = 0.08;
// Findings of one call at one moment (a retrain and the rate fallback after
// it) each this much further from the edge, the third and later at the third's place.
constexpr double FINDING_STACK_STEP = 0.07;
constexpr int FINDING_STACK_MAX = 3;

bool relative(const TimelineCalls &shown) { return shown.count == 2; }

}  // namespace

TimelineMark timeline_mark(const CallEvent &event) {
    const bool remote = event.origin == ORIGIN_REMOTE;
    switch (event.kind) {
    case EVENT_RETRAIN:
        return remote ? MARK_RETRAIN_REMOTE : MARK_RETRAIN;
    case EVENT_RENEGOTIATION:
        return remote ? MARK_RENEGOTIATION_REMOTE : MARK_RENEGOTIATION;
    case EVENT_CARRIER_LOST:
        return MARK_CARRIER_LOST;
    case EVENT_CLEARDOWN:
        return MARK_CLEARDOWN;
    default:
        return TIMELINE_MARKS;
    }
}

int64_t timeline_call_end_us(const Call &call) {
    int64_t end = std::max(call.end_us, call.start_us);
    for (const std::vector<SeriesPoint> &points : call.series_points) {
        if (!points.empty()) end = std::max(end, points.back().time_us);
    }
    if (!call.events.empty()) end = std::max(end, call.events.back().time_us);
    return end;
}

double timeline_time(const TimelineCalls &shown, int c, int64_t time_us) {
    const int64_t base = relative(shown) && c >= 0 && c < 2 && shown.calls[c] != nullptr ? shown.calls[c]->start_us : 0;
    return double(time_us - base) / SECOND;
}

// The row of each kind of mark that the shown calls have (rows of kinds
// without a mark are 0); returns the rows used.
static int mark_rows(const TimelineCalls &shown, int (&row)[TIMELINE_MARKS + 1]) {
    const int count = std::clamp(shown.count, 0, 2);
    for (int &r : row) r = 0;
    for (int c = 0; c < count; ++c) {
        if (shown.calls[c] == nullptr) continue;
        for (const CallEvent &event : shown.calls[c]->events) row[timeline_mark(event)] = 1;
    }
    int next = 0;
    for (int m = 0; m < TIMELINE_MARKS; ++m) row[m] = row[m] ? next++ : 0;
    return next;
}

void timeline_marks(const TimelineCalls &shown, std::vector<MarkPlace> &out) {
    out.clear();
    const int count = std::clamp(shown.count, 0, 2);
    int row[TIMELINE_MARKS + 1];
    mark_rows(shown, row);
    for (int c = 0; c < count; ++c) {
        const Call *call = shown.calls[c];
        if (call == nullptr) continue;
        const size_t events = std::min(call->events.size(), CALL_EVENTS_MAX);
        for (size_t i = 0; i < events; ++i) {
            const CallEvent &event = call->events[i];
            const TimelineMark mark = timeline_mark(event);
            if (mark == TIMELINE_MARKS) continue;
            const double step = MARK_EDGE + MARK_STEP * row[mark];
            out.push_back({uint8_t(c), mark, uint16_t(i), timeline_time(shown, c, event.time_us),
                           c == 0 ? step : 1 - step});
        }
    }
}

double timeline_x(const TimelineFrame &frame, double time) {
    const double span = frame.time_max - frame.time_min;
    return frame.left + (span > 0 ? (time - frame.time_min) / span * frame.width : 0);
}

double timeline_y(const TimelineFrame &frame, double height) { return frame.top + height * frame.height; }

TimelinePick timeline_pick(const TimelineCalls &shown, const std::vector<MarkPlace> &marks,
                           const TimelineFrame &frame, double x, double y, double snap) {
    TimelinePick pick;
    const int count = std::clamp(shown.count, 0, 2);
    if (count == 0 || shown.calls[0] == nullptr || (count == 2 && shown.calls[1] == nullptr)) return pick;
    if (x < frame.left - snap || x > frame.left + frame.width + snap || y < frame.top - snap ||
        y > frame.top + frame.height + snap)
        return pick;
    // The nearest mark across, in whole pixels; in one column the nearest in height.
    const MarkPlace *best = nullptr;
    double best_across = 0, best_down = 0;
    for (const MarkPlace &place : marks) {
        if (place.call >= count) continue;
        const double across = std::abs(timeline_x(frame, place.time) - x);
        if (across > snap) continue;
        const double column = std::floor(across + 0.5);
        const double down = std::abs(timeline_y(frame, place.height) - y);
        if (best == nullptr || column < best_across || (column == best_across && down < best_down)) {
            best = &place;
            best_across = column;
            best_down = down;
        }
    }
    if (best != nullptr) {
        const Call &call = *shown.calls[best->call];
        if (best->event < call.events.size()) {
            const CallEvent &event = call.events[best->event];
            pick.call = best->call;
            pick.modem = call.modem;
            pick.time_us = std::max<int64_t>(event.time_us, 0);
            pick.code = event.code;
            pick.event = best->event;
            return pick;
        }
    }
    // A plain moment: of A, or of B past A's end.
    const double span = frame.time_max - frame.time_min;
    const double time = frame.time_min + (frame.width > 0 ? (x - frame.left) / frame.width * span : 0);
    int c = 0;
    if (count == 2) {
        const double a_end = timeline_time(shown, 0, timeline_call_end_us(*shown.calls[0]));
        const double b_end = timeline_time(shown, 1, timeline_call_end_us(*shown.calls[1]));
        if (time > a_end && time <= b_end) c = 1;
    }
    const Call &call = *shown.calls[c];
    const int64_t base = relative(shown) ? call.start_us : 0;
    pick.call = c;
    pick.modem = call.modem;
    pick.time_us = std::max<int64_t>(base + int64_t(std::llround(time * SECOND)), 0);
    return pick;
}

void timeline_mark_text(const TimelineCalls &shown, const MarkPlace &place, char *text, size_t size) {
    if (size == 0) return;
    text[0] = '\0';
    if (place.call > 1 || place.call >= shown.count || shown.calls[place.call] == nullptr) return;
    const Call &call = *shown.calls[place.call];
    if (place.event >= call.events.size()) return;
    const CallEvent &event = call.events[place.event];
    char seconds[32];
    format_seconds(int64_t(std::llround(timeline_time(shown, place.call, event.time_us) * SECOND)), seconds,
                   sizeof seconds);
    const char *origin = event.origin == ORIGIN_UNKNOWN ? "" : origin_name(event.origin);
    if (relative(shown)) {
        snprintf(text, size, "%s, modem %d call %u: %s%s%s%s at %s s into the call", place.call == 0 ? "A" : "B",
                 call.modem, call.number, event_name(event.kind), *origin ? " (" : "", origin, *origin ? ")" : "",
                 seconds);
    } else {
        snprintf(text, size, "Modem %d call %u: %s%s%s%s at %s s", call.modem, call.number, event_name(event.kind),
                 *origin ? " (" : "", origin, *origin ? ")" : "", seconds);
    }
}

void timeline_finding_marks(const TimelineCalls &shown, const CallVerdict *const verdicts[2],
                            std::vector<FindingPlace> &out) {
    out.clear();
    const int count = std::clamp(shown.count, 0, 2);
    int row[TIMELINE_MARKS + 1];
    // Half a row more between the events' marks and the findings'.
    const double base = MARK_EDGE + MARK_STEP * (mark_rows(shown, row) + 0.5);
    for (int c = 0; c < count; ++c) {
        if (shown.calls[c] == nullptr || verdicts[c] == nullptr) continue;
        const CallVerdict &v = *verdicts[c];
        const size_t findings = std::min(v.count, FINDINGS_MAX);
        for (size_t i = 0; i < findings; ++i) {
            // Stacked under the earlier findings of the same moment.
            int stack = 0;
            for (size_t j = 0; j < i; ++j)
                if (v.findings[j].at.time_us == v.findings[i].at.time_us) ++stack;
            const double step = base + FINDING_STACK_STEP * std::min(stack, FINDING_STACK_MAX - 1);
            out.push_back({uint8_t(c), v.findings[i].severity, uint8_t(i),
                           timeline_time(shown, c, v.findings[i].at.time_us), c == 0 ? step : 1 - step});
        }
    }
}

int timeline_pick_finding(const std::vector<FindingPlace> &places, const TimelineFrame &frame, double x, double y,
                          double snap) {
    int best = -1;
    double best_distance = 0;
    for (size_t i = 0; i < places.size(); ++i) {
        const double across = std::abs(timeline_x(frame, places[i].time) - x);
        const double down = std::abs(timeline_y(frame, places[i].height) - y);
        if (across > snap || down > snap) continue;
        const double distance = across * across + down * down;
        if (best < 0 || distance < best_distance) {
            best = int(i);
            best_distance = distance;
        }
    }
    return best;
}

void timeline_finding_text(const TimelineCalls &shown, const CallVerdict *const verdicts[2],
                           const FindingPlace &place, char *text, size_t size) {
    if (size == 0) return;
    text[0] = '\0';
    if (place.call > 1 || place.call >= shown.count || shown.calls[place.call] == nullptr ||
        verdicts[place.call] == nullptr || place.finding >= verdicts[place.call]->count)
        return;
    const Call &call = *shown.calls[place.call];
    const Finding &finding = verdicts[place.call]->findings[place.finding];
    char seconds[32];
    format_seconds(int64_t(std::llround(timeline_time(shown, place.call, finding.at.time_us) * SECOND)), seconds,
                   sizeof seconds);
    char words[FINDING_TEXT_BYTES];
    finding_text(call, finding, words, sizeof words);
    if (relative(shown))
        snprintf(text, size, "%s, modem %d call %u, %s at %s s into the call: %s", place.call == 0 ? "A" : "B",
                 call.modem, call.number, severity_name(finding.severity), seconds, words);
    else
        snprintf(text, size, "Modem %d call %u, %s at %s s: %s", call.modem, call.number,
                 severity_name(finding.severity), seconds, words);
}
