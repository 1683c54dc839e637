// Calls as CSV (RFC 4180: CRLF line ends, fields with a comma, quote or line
// break quoted, quotes doubled) and as JSON (UTF-8 text as the records give
// it, control characters escaped), appended to the caller's string.
#pragma once

#include <span>
#include <string>

#include "calls/call.h"

// One row per call: modem, call, start, end, duration, direction, modulation,
// final rates, retrains, renegotiations, cleardown, anomalies; header first.
void calls_list_csv(std::span<const Call *const> calls, std::string &out);

// One call: "section,key,time_s,value" rows: the summary rows, the events,
// then every kept point of every series.
void call_detail_csv(const Call &call, std::string &out);

// A JSON array of the calls' summaries (no series points, no eye points).
void calls_list_json(std::span<const Call *const> calls, std::string &out);

// One call as a JSON object. with_points adds the kept points of each series
// and the frozen eyes' points.
void call_json(const Call &call, bool with_points, std::string &out);
