// The verdict of a call: why it ended (a termination category a support
// desk can count, and one cause in words) and its findings, each graded by
// severity and pointing at the record that shows it (its moment in the call,
// the status line a window selects, the frozen eye of that moment).
//
// Findings come from one table, one row per rule (FINDING_RULES): its id,
// its severity and the check that tests its condition on the call and
// writes its text with the numbers. The bounds the checks compare against
// are named constants below, each with the reason for its value. A verdict
// is worked out from the finished call alone, so that following calls costs
// nothing for it: call_verdict may be asked for as often as a view needs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "calls/call.h"

// ---- Bounds ---------------------------------------------------------------------

// The quickest start-up a modem or fax makes (V.22 and V.21 preambles) takes
// about two seconds from answer tone to data; a call ended sooner without a
// connection never had the time to connect.
constexpr int64_t CONNECT_TIME_MIN_US = 2'000'000;
// The modems report their line measurements about once a second: two
// seconds before an event hold at least two reports, and are recent enough
// to be what led to it.
constexpr int64_t MEASURE_WINDOW_US = 2'000'000;
// A measurement that moved less than 1 dB (16 sixteenths) stayed within its
// own jitter; only larger changes are named.
constexpr int32_t MEASURE_CHANGE_MIN16 = 16;
// One 2400 bit/s step down from 24000 bit/s and above is under 10 %: the
// ordinary probing of a line; a final rate 10 % or more below the initial
// one is a fallback worth naming.
constexpr long FALLBACK_PERCENT_MIN = 10;
// Voice-band modems are rated at a bit error ratio of 1e-5 on the test
// lines; ten times that is a line clearly worse than they are designed for.
constexpr double BER_MAX = 1e-4;
// One block in a thousand lost costs one retransmission each; above that the
// loss of throughput shows.
constexpr double BLER_MAX = 1e-3;
// Below 100,000 bits a ratio rests on a handful of errors: no finding.
constexpr uint32_t STATISTICS_BITS_MIN = 100'000;
// LAPM and MNP on a clean line retransmit (or reject) well under 1 % of
// their frames; more costs throughput.
constexpr uint32_t RETRANSMIT_PERMILLE_MAX = 10;
// Below 100 frames a share rests on a handful of retransmissions: no finding.
constexpr uint32_t FRAMES_MIN = 100;
// Echo cancellation leaves the received signal about 20 dB above the echo on
// a good line; below that the echo limits the rate the line can carry.
constexpr int32_t SIGNAL_ECHO_MIN16 = 20 * 16;
// Receivers drop carrier between -48 and -43 dBm: below -43 dBm the line is
// at the edge of what a modem can hold.
constexpr int32_t RX_LEVEL_MIN16 = -43 * 16;
// Network transmit levels are capped at -9 dBm; a received level above that
// means a line or hybrid that overloads the receiver.
constexpr int32_t RX_LEVEL_MAX16 = -9 * 16;
// Findings of one rule listed per call (retrains of a restless line): each
// says how many there were in all.
constexpr size_t FINDINGS_PER_RULE_MAX = 8;

constexpr size_t FINDING_TEXT_BYTES = 192;  // room for any finding's text
constexpr size_t VERDICT_CAUSE_BYTES = 224;  // the category and a finding's text

// ---- Findings -------------------------------------------------------------------

enum FindingId : uint8_t {
    FINDING_HANGUP_LOCAL,
    FINDING_HANGUP_REMOTE,
    FINDING_LINE_DROP,
    FINDING_TRAINING_FAILED,
    FINDING_TOO_SHORT,
    FINDING_RETRAIN_REMOTE,
    FINDING_RETRAIN_LOCAL,
    FINDING_RATE_FALLBACK,
    FINDING_NOISY_LINE,
    FINDING_RETRANSMISSIONS,
    FINDING_ERROR_CONTROL_FAILED,
    FINDING_ERROR_CONTROL_ABSENT,
    FINDING_COMPRESSION_OFF,
    FINDING_ECHO_LIMITED,
    FINDING_RX_LEVEL_LOW,
    FINDING_RX_LEVEL_HIGH,
    FINDING_FAX_TRAINING_FAILED,
    FINDING_FAX_PAGES_UNCONFIRMED,
    FINDING_FAX_NO_DCN,
    FINDING_IDS,
};

enum FindingSeverity : uint8_t { SEVERITY_NOTE, SEVERITY_WARNING, SEVERITY_ERROR };

struct Finding {
    FindingId id;
    FindingSeverity severity;
    // The record that shows it: its time since the session start (the time
    // into the call is at.time_us - call.start_us), its number among its
    // modem's records and its code. Record 0: a moment without a record of
    // its own (the modem went idle).
    RecordMark at;
    int16_t frozen_eye;  // index into Call::eyes, -1 when none was kept at that moment
    uint8_t nth;         // of the rule's findings in this call, from 1 (the retrain's number)
    uint8_t part;        // which of the rule's subjects: 0 Rx, 1 Tx (rate fallback)
};

// The most findings a call can have: one per rule, FINDINGS_PER_RULE_MAX
// for each direction's retrains, one per direction for the rate fallback.
constexpr size_t FINDINGS_MAX = FINDING_IDS + 2 * (FINDINGS_PER_RULE_MAX - 1) + 1;

// How a call ended, as a support desk counts them.
enum TerminationCategory : uint8_t {
    TERMINATION_RUNNING,        // not ended (yet)
    TERMINATION_LOCAL_HANGUP,   // cleardown by this end after a connection
    TERMINATION_REMOTE_HANGUP,  // cleardown asked by the remote end after a connection
    TERMINATION_LINE_DROP,      // carrier lost, no cleardown
    TERMINATION_NO_CONNECTION,  // ended without ever connecting
    TERMINATION_LINK_FAILURE,   // error control failed
    TERMINATION_FAX_FAILURE,    // the fax went wrong (training, pages)
    TERMINATION_ON_HOOK,        // on hook without cleardown
    TERMINATION_IDLE,           // the modem went idle without cleardown
    TERMINATION_CATEGORIES,
};

// Worked out without writing any text (cheap enough for every call as it
// ends); the texts come from finding_text and verdict_cause when shown.
struct CallVerdict {
    TerminationCategory termination = TERMINATION_RUNNING;
    size_t count = 0;  // findings, in the order of the table's rows, each rule's in time order
    Finding findings[FINDINGS_MAX];
    int primary = -1;  // the finding that explains the termination, -1 for none
};

// One row per rule: its id, its name in exports, its severity, the check of
// its condition that adds its findings (if any), and the text of a finding
// with its numbers.
struct FindingRule {
    FindingId id;
    const char *name;
    FindingSeverity severity;
    void (*check)(const Call &call, CallVerdict &out);
    void (*text)(const Call &call, const Finding &finding, char *text, size_t size);
};
extern const FindingRule FINDING_RULES[FINDING_IDS];

// The call's verdict, replacing the contents of out.
void call_verdict(const Call &call, CallVerdict &out);
// A finding's text with its numbers ("Carrier lost 12.4 s into the call
// without cleardown; SNR fell 7.5 dB over 1.6 s (30.0 to 22.5 dB)"), at most
// size-1 characters, always terminated.
void finding_text(const Call &call, const Finding &finding, char *text, size_t size);
// One cause in words: the category, then the text of the finding that
// explains it ("Line drop: carrier lost 12.4 s into the call ..."), or that
// nothing was found.
void verdict_cause(const Call &call, const CallVerdict &verdict, char *text, size_t size);

const char *finding_name(FindingId id);             // "line-drop", ...
const char *severity_name(FindingSeverity severity);  // "note", "warning", "error"
const char *termination_name(TerminationCategory category);  // "line drop", ...
