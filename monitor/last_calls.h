// The last call of each modem as a call summary window shows it: the call a
// live monitor's watch is following (or the last it saw end), or the last
// call of an opened session, as text.
#pragma once

#include <string>
#include <vector>

#include "calls/call.h"

struct CallWatch;

// Modem 1 or 2's newest call that the watch knows: the running one, else
// the last ended one still in its log; null when there is none.
const Call *watch_last_call(const CallWatch &watch, int modem);

// Modem 1 or 2's newest call among `calls` (in order of start, as
// trace_calls gives them); null when there is none.
const Call *list_last_call(const std::vector<Call> &calls, int modem);

// Both modems' last calls as text, line ends "\n": for each modem a heading
// ("Modem 1, last call", with " (not ended)" for a call still running) and
// the call's summary, or "Modem 1: no call yet"; a blank line between the two.
void last_calls_text(const Call *modem1, const Call *modem2, std::string &out);
