// The marks of a call timeline and what a click on it picks, apart from any
// drawing: which events of the shown call(s) get a mark, where each mark
// stands (its time on the axis and its height in the plot), and which call,
// moment and record code a click at a pixel of the plot chooses. A timeline
// shows one call over the time since the session start, or two calls (A,
// the older, and B) over the time since each one's start; A's marks hang
// from the top of the plot, B's stand on its bottom, so that marks of the
// two calls at one moment stay apart. The findings of the calls' verdicts
// have marks of their own, in a row past the events' marks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "calls/call.h"
#include "calls/call_findings.h"

// The kinds of mark.
enum TimelineMark : uint8_t {
    MARK_RETRAIN,
    MARK_RETRAIN_REMOTE,
    MARK_RENEGOTIATION,
    MARK_RENEGOTIATION_REMOTE,
    MARK_CARRIER_LOST,
    MARK_CLEARDOWN,
    TIMELINE_MARKS,
};
// The mark of an event, or TIMELINE_MARKS for an event without one
// (fallback and fall-forward show in the rate line itself).
TimelineMark timeline_mark(const CallEvent &event);

// The calls a timeline shows: none, one, or two compared (A first).
struct TimelineCalls {
    const Call *calls[2] = {nullptr, nullptr};
    int count = 0;
};

// The end of a call's time since the session start: its end, or its last
// point or event while it runs.
int64_t timeline_call_end_us(const Call &call);
// Where a moment of call `c` (µs since the session start) is on the time
// axis, in seconds: since the session start for one call, since the call's
// own start for two.
double timeline_time(const TimelineCalls &shown, int c, int64_t time_us);

// One mark on the timeline.
struct MarkPlace {
    uint8_t call;       // 0 (A) or 1 (B)
    TimelineMark mark;
    uint16_t event;     // index into the call's events
    double time;        // seconds on the time axis
    double height;      // from the plot's top down, as a fraction of its height
};
// The marks of every shown call's events that have one, call A's first,
// each call's in the order of its events. Replaces the contents of out.
void timeline_marks(const TimelineCalls &shown, std::vector<MarkPlace> &out);

// The plot as drawn: its rectangle in pixels and the range of its time axis.
struct TimelineFrame {
    double left, top, width, height;
    double time_min, time_max;  // seconds at the left and right edges
};
double timeline_x(const TimelineFrame &frame, double time);
double timeline_y(const TimelineFrame &frame, double height);

// What a click chose.
struct TimelinePick {
    int call = -1;         // 0 (A) or 1 (B); -1: nothing (no call, or outside the plot)
    int modem = 0;         // the chosen call's modem
    int64_t time_us = 0;   // the moment, since the session start (never below 0)
    int code = 0;          // the record code of the mark's event; 0 for a plain moment
    int event = -1;        // index into the call's events of the mark; -1 for a plain moment
};
// The pick of a click at pixel (x, y): the mark within `snap` pixels to
// either side that is nearest across, and of marks in the same pixel column
// the one nearest in height (A's and B's at one moment); else the moment
// under the pointer, of call A, or of B where the time lies past A's end
// and within B's.
TimelinePick timeline_pick(const TimelineCalls &shown, const std::vector<MarkPlace> &marks,
                           const TimelineFrame &frame, double x, double y, double snap);

// A mark's description, for its tooltip: "B, modem 1 call 3: retrain asked
// by remote at 2.700 s" ("A, " and "B, " only when two calls are shown).
// Always NUL-terminated within size.
void timeline_mark_text(const TimelineCalls &shown, const MarkPlace &place, char *text, size_t size);

// ---- Findings ---------------------------------------------------------------------

// One finding's mark: in a row past the rows of the events' marks (below
// them for A, above for B); findings of one call at one moment stacked, each
// a little further from the plot's edge.
struct FindingPlace {
    uint8_t call;               // 0 (A) or 1 (B)
    FindingSeverity severity;
    uint8_t finding;            // index into the call's verdict's findings
    double time;                // seconds on the time axis
    double height;              // from the plot's top down, as a fraction of its height
};
// The marks of the findings of every shown call, A's first, each call's in
// its verdict's order; verdicts[c] is call c's (null: none). Replaces out.
void timeline_finding_marks(const TimelineCalls &shown, const CallVerdict *const verdicts[2],
                            std::vector<FindingPlace> &out);
// The finding mark within `snap` pixels of (x, y) both across and down, the
// nearest; -1 for none. An index into places.
int timeline_pick_finding(const std::vector<FindingPlace> &places, const TimelineFrame &frame, double x, double y,
                          double snap);
// A finding mark's description, for its tooltip: "Modem 1 call 3, warning
// at 3.000 s: Retrain 1 of 1 asked by ..." ("A, modem ..." and the time into
// the call when two calls are shown). Always NUL-terminated within size.
void timeline_finding_text(const TimelineCalls &shown, const CallVerdict *const verdicts[2],
                           const FindingPlace &place, char *text, size_t size);
