// The Calls child's parts and the state they share: the list of calls (a
// virtual list view over the core's rows), the summary of the selected call
// (or of each modem's last call while none is selected), the comparison of
// two selected calls, the timeline, the frozen eye and the export buttons.
// The state lives in the child's window data; the logic is the core's.
#pragma once

#include <windows.h>
// winerror.h names an HRESULT severity SEVERITY_ERROR, which the findings'
// severities also name; none of these files builds an HRESULT.
#undef SEVERITY_ERROR

#include <memory>
#include <string>
#include <vector>

#include "calls/call.h"
#include "calls/call_findings.h"
#include "calls/call_summary.h"
#include "calls/calls_table.h"
#include "calls/timeline_marks.h"
#include "calls/timeline_scale.h"

// Control ids of the Calls child's parts.
enum CallsControl {
    CALLS_ID_LIST = 70,
    CALLS_ID_SUMMARY = 71,
    CALLS_ID_COMPARE = 72,
    CALLS_ID_TIMELINE = 73,
    CALLS_ID_EYE = 74,
    CALLS_ID_EXPORT_LIST = 75,
    CALLS_ID_EXPORT_CALL = 76,
    CALLS_ID_COUNT = 77,
    CALLS_ID_EYE_CAPTION = 78,
};

// The window classes of the timeline and the frozen eye.
extern const char CALLS_TIMELINE_CLASS[];  // "CallTimelineClass"
extern const char CALLS_EYE_CLASS[];       // "FrozenEyeClass"

// A call the list shows, by its modem and number (its row moves as calls come).
struct CallKey {
    int modem = 0;
    uint32_t number = 0;
    bool operator==(const CallKey &) const = default;
};

// The timeline's picture state: the calls shown (copies, A the older),
// their verdicts, the marks drawn and the plot as last drawn.
struct TimelineState {
    std::unique_ptr<Call> calls[2];
    CallVerdict verdicts[2];
    int count = 0;
    TimelineScale scale;
    TimelineFrame frame{};
    std::vector<MarkPlace> marks;
    std::vector<FindingPlace> findings;
    std::vector<SeriesPoint> scratch;
};

// The frozen eye shown: a copy of its ticks and the caption above it.
struct EyeState {
    std::unique_ptr<FrozenEye> eye;
    std::string caption = "Click a mark to see the eye of its moment.";
};

struct CallsView {
    HWND window = nullptr;
    HWND list = nullptr, summary = nullptr, compare = nullptr, timeline = nullptr, eye = nullptr;
    HWND export_list = nullptr, export_call = nullptr, count = nullptr, eye_caption = nullptr;
    HFONT fixed_font = nullptr;  // the summary's and comparison's
    HFONT gui_font = nullptr;    // the list's, the buttons', the timeline's labels
    HFONT bold_font = nullptr;   // a running call's row (owned)
    const void *watch = nullptr;  // the CallWatch the rows come from (a new one clears the selection)
    CallsSignature seen;
    std::vector<const Call *> rows;  // newest first
    CallKey selected[2];             // in the order chosen; modem 0: none
    int selected_count = 0;
    bool syncing = false;            // the list's own selection changes while its rows are rebuilt
    bool details_posted = false;     // a message to show the selection's details is on its way
    // The two calls compared: their summaries and the rows lined up (which point into them).
    std::vector<SummaryRow> compare_a, compare_b;
    std::vector<CompareRow> compare_rows;
    std::string summary_shown;       // the summary edit's text
    int64_t origin_us = 0, now_us = -1;
    TimelineState timeline_state;
    EyeState eye_state;
    // Where the last click on the timeline went, for a look from outside:
    // the status line selected (modem, index into its store).
    int picked_modem = 0;
    size_t picked_line = 0;
};

// The Calls child's state, from its window data.
CallsView *calls_view_of(HWND calls_window);

// --- calls_list.cpp: the list view of calls.
HWND calls_list_create(CallsView &view, HINSTANCE instance);
// The width the list's columns take, in pixels.
int calls_list_width(const CallsView &view);
// Rebuilds the rows when the watch's calls changed (the selection kept on
// its calls); true when the rows changed. Running calls' rows are redrawn.
bool calls_list_sync(CallsView &view);
// Answers the list's notifications (cell texts, selection changes).
LRESULT calls_list_notify(CallsView &view, NMHDR *header);
// The calls of the selection (A the older), null where none.
void calls_selected(const CallsView &view, const Call *out[2]);

// --- calls_compare.cpp: two calls side by side.
HWND calls_compare_create(CallsView &view, HINSTANCE instance);
void calls_compare_show(CallsView &view, const Call &a, const Call &b);
LRESULT calls_compare_notify(CallsView &view, NMHDR *header);

// --- calls_timeline.cpp: the timeline and the frozen eye.
void calls_timeline_register(HINSTANCE instance);
void calls_timeline_show(CallsView &view, const Call *a, const Call *b);
void calls_eye_show(CallsView &view, const FrozenEye *eye, const std::string &caption);
// Selects the status line of modem 1 or 2 at a store index in its list,
// scrolled into view.
// The width in pixels of `text` drawn in `font` on `window`.
int calls_text_width(HWND window, HFONT font, const char *text);

void select_status_line(int modem, size_t store_index);

// --- calls_export.cpp: the export buttons.
void calls_export_list(CallsView &view);
void calls_export_call(CallsView &view);
