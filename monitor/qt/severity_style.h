// How the Calls view shows a finding's severity: the message-box icon of its
// weight (information, warning, critical), a colour for its word and its
// marks on the timeline, and counts of findings in words.
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

#include <cstddef>

#include "calls/call_findings.h"

QIcon severity_icon(FindingSeverity severity);
QColor severity_colour(FindingSeverity severity);
// "1 error, 4 warnings, 1 note"; "no findings" for none.
QString findings_count_text(const CallVerdict &verdict);
