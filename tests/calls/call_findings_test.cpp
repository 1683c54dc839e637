// The findings table, one small session per rule with the finding it must
// give (text, moment, record), and a clean call on which no rule but its
// hang-up fires.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calls/call_findings.h"
#include "calls_support.h"

namespace {

struct RuleCase {
    FindingId id;
    std::vector<Step> steps;
    const char *text;
    int64_t at_ms;  // since the call's start
    uint32_t record;
    TerminationCategory termination;
};

// Rate codes: 0x20000 is 31200 bit/s, 0x400 14400 bit/s; v.34 is modulation 0x100.
const RuleCase RULES[] = {
    {FINDING_HANGUP_LOCAL, {rec(0, 1, 22, 1), rec(2500, 1, 36), rec(12000, 1, 34)},
     "Cleardown by this end (code 34) 12.0 s into the call, after 9.5 s connected", 12000, 3,
     TERMINATION_LOCAL_HANGUP},
    {FINDING_HANGUP_REMOTE, {rec(0, 1, 22, 1), rec(2500, 1, 36), rec(12000, 1, 35)},
     "Cleardown asked by the remote end (code 35) 12.0 s into the call, after 9.5 s connected", 12000, 3,
     TERMINATION_REMOTE_HANGUP},
    {FINDING_LINE_DROP,
     {rec(0, 1, 22, 1), rec(1000, 1, 36), rec(10400, 1, 65, 6, 480), rec(12000, 1, 65, 6, 360), rec(12400, 1, 37),
      rec(13000, 1, 22, 0)},
     "Carrier lost 12.4 s into the call without cleardown; SNR fell 7.5 dB over 1.6 s (30.0 to 22.5 dB)", 12400, 5,
     TERMINATION_LINE_DROP},
    {FINDING_TRAINING_FAILED,
     {rec(0, 1, 22, 1), rec(0, 1, 66, 0), rec(0, 1, 2, 0x100), rec(1000, 1, 64, 38, 14), rec(30000, 1, 22, 0)},
     "Training failed: no connection after 30.0 s (modulation v.34)", 30000, 5, TERMINATION_NO_CONNECTION},
    {FINDING_TOO_SHORT, {rec(0, 1, 26, 20), rec(300, 1, 22, 1), rec(800, 1, 22, 0)},
     "The call lasted 0.8 s, too short to have connected (a connection takes 2 s at least)", 800, 3,
     TERMINATION_NO_CONNECTION},
    {FINDING_RETRAIN_REMOTE,
     {rec(0, 1, 22, 1), rec(100, 1, 36), rec(1000, 1, 65, 6, 512), rec(1000, 1, 65, 2, 320), rec(2500, 1, 65, 6, 320),
      rec(2500, 1, 65, 2, 400), rec(3000, 1, 39), rec(3000, 1, 65, 6, 500), rec(5000, 1, 34)},
     "Retrain 1 of 1 asked by the remote end 3.0 s into the call; SNR fell 12.0 dB over 1.5 s (32.0 to 20.0 dB); "
     "Rx level fell 5.0 dB over 1.5 s (-20.0 to -25.0 dBm)",
     3000, 7, TERMINATION_LOCAL_HANGUP},
    {FINDING_RETRAIN_LOCAL, {rec(0, 1, 22, 1), rec(100, 1, 36), rec(4000, 1, 38), rec(5000, 1, 34)},
     "Retrain 1 of 1 asked by the local end 4.0 s into the call; no line measurement in the 2 s before", 4000, 3,
     TERMINATION_LOCAL_HANGUP},
    {FINDING_RATE_FALLBACK,
     {rec(0, 1, 22, 1), rec(0, 1, 2, 0x100), rec(0, 1, 11, 0x20000), rec(100, 1, 36), rec(1000, 1, 38),
      rec(1500, 1, 11, 0x400), rec(5000, 1, 34)},
     "Rx rate fell 53 % (from 31200 to 14400 bit/s; retrains 1, renegotiations 0, fallbacks 0)", 1500, 6,
     TERMINATION_LOCAL_HANGUP},
    {FINDING_NOISY_LINE, {rec(0, 1, 22, 1), rec(100, 1, 36), rec(5000, 1, 128, 1000000, 5000, 500, 10), rec(6000, 1, 34)},
     "Noisy line: BER 0.0005 (500 in 1000000 bits, bound 1e-04), BLER 0.002 (10 in 5000 blocks, bound 1e-03)", 5000, 3,
     TERMINATION_LOCAL_HANGUP},
    {FINDING_RETRANSMISSIONS,
     {rec(0, 1, 22, 1), rec(100, 1, 36), rec(200, 1, 69, 1), rec(5000, 1, 69, 12, 1000, 30), rec(6000, 1, 34)},
     "30 of 1000 frames sent were retransmitted (3.0 %); bound 1 %", 5000, 4, TERMINATION_LOCAL_HANGUP},
    {FINDING_ERROR_CONTROL_FAILED,
     {rec(0, 1, 22, 1), rec(100, 1, 36), rec(200, 1, 80, 1), rec(2000, 1, 80, 0, 2), rec(2100, 1, 34)},
     "Error control failed: MNP disconnected after the connection failed (0 link errors, 0 time-outs)", 2000, 4,
     TERMINATION_LINK_FAILURE},
    {FINDING_ERROR_CONTROL_ABSENT, {rec(0, 1, 22, 1), rec(500, 1, 36), rec(3000, 1, 38), rec(5000, 1, 34)},
     "No error control on a line that needed it (1 retrains)", 500, 2, TERMINATION_LOCAL_HANGUP},
    {FINDING_COMPRESSION_OFF,
     {rec(0, 1, 22, 1), rec(100, 1, 36), rec(1000, 1, 69, 1), rec(1000, 1, 70, 6, 0), rec(5000, 1, 34)},
     "Compression off: LAPM without V.42bis", 1000, 3, TERMINATION_LOCAL_HANGUP},
    {FINDING_ECHO_LIMITED, {rec(0, 1, 22, 1), rec(100, 1, 36), rec(2000, 1, 65, 8, 224), rec(5000, 1, 34)},
     "Echo-limited line: signal/echo 14.0 dB (bound 20.0 dB)", 2000, 3, TERMINATION_LOCAL_HANGUP},
    {FINDING_RX_LEVEL_LOW, {rec(0, 1, 22, 1), rec(100, 1, 36), rec(2000, 1, 65, 2, 736), rec(5000, 1, 34)},
     "Receive level too low: -46.0 dBm (bound -43.0 dBm)", 2000, 3, TERMINATION_LOCAL_HANGUP},
    {FINDING_RX_LEVEL_HIGH, {rec(0, 1, 22, 1), rec(100, 1, 36), rec(2000, 1, 65, 2, 96), rec(5000, 1, 34)},
     "Receive level too high: -6.0 dBm (bound -9.0 dBm)", 2000, 3, TERMINATION_LOCAL_HANGUP},
    {FINDING_FAX_TRAINING_FAILED, {rec(0, 1, 22, 1), rec(0, 1, 84, 0, 0, 3), rec(2000, 1, 84, 0, 0, 8), rec(4000, 1, 34)},
     "Fax training failed: 1 failed trainings (FTT), 0 pages rejected (RTN), TCF sent 0 times", 2000, 3,
     TERMINATION_NO_CONNECTION},
    {FINDING_FAX_PAGES_UNCONFIRMED,
     {rec(0, 1, 22, 1), rec(500, 1, 84, 0, 0, 7), rec(1000, 1, 84, 0, 0, 16), rec(9000, 1, 84, 0, 2, 32),
      rec(9500, 1, 84, 0, 0, 28), rec(9600, 1, 34)},
     "Fax pages not confirmed: 1 counted, 0 confirmed (MCF)", 9500, 5, TERMINATION_FAX_FAILURE},
    {FINDING_FAX_NO_DCN, {rec(0, 1, 22, 1), rec(500, 1, 84, 0, 0, 7), rec(2000, 1, 84, 0, 0, 18), rec(3000, 1, 34)},
     "The fax ended without DCN, 3.0 s into the call", 3000, 4, TERMINATION_LOCAL_HANGUP},
};

// One session's only call and its verdict.
struct Judged {
    WatchedSession session;
    const Call *call = nullptr;
    CallVerdict verdict;

    explicit Judged(const std::vector<Step> &steps) {
        session.play(steps);
        const std::vector<const Call *> calls = session.finish();
        EXPECT_EQ(calls.size(), 1u);
        if (!calls.empty()) {
            call = calls[0];
            call_verdict(*call, verdict);
        }
    }
    std::string text(const Finding &f) const {
        char text[FINDING_TEXT_BYTES];
        finding_text(*call, f, text, sizeof text);
        return text;
    }
    std::string cause() const {
        char text[VERDICT_CAUSE_BYTES];
        verdict_cause(*call, verdict, text, sizeof text);
        return text;
    }
};

TEST(CallFindings, EachRuleFindsItsCase) {
    bool covered[FINDING_IDS] = {};
    for (const RuleCase &c : RULES) {
        SCOPED_TRACE(finding_name(c.id));
        covered[c.id] = true;
        const Judged judged(c.steps);
        ASSERT_NE(judged.call, nullptr);
        const CallVerdict &verdict = judged.verdict;
        const Finding *found = nullptr;
        for (size_t i = 0; i < verdict.count; ++i)
            if (verdict.findings[i].id == c.id) found = &verdict.findings[i];
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(judged.text(*found), c.text);
        EXPECT_EQ(found->severity, FINDING_RULES[c.id].severity);
        EXPECT_EQ(found->at.time_us, c.at_ms * 1000);
        EXPECT_EQ(found->at.record, c.record);
        EXPECT_EQ(verdict.termination, c.termination);
    }
    for (int id = 0; id < FINDING_IDS; ++id) EXPECT_TRUE(covered[id]) << finding_name(FindingId(id)) << " has no case";
}

// A V.34 call dialled out, trained, with LAPM and V.42bis, good levels and
// ratios, an hour without retrains, cleared down by the remote end: one note.
TEST(CallFindings, ACleanCallHasOnlyItsHangup) {
    const Judged judged({
        rec(0, 1, 22, 1), rec(0, 1, 66, 0), rec(0, 1, 2, 0x100), rec(1000, 1, 65, 2, 320), rec(1000, 1, 65, 6, 560),
        rec(1000, 1, 65, 8, 560), rec(1000, 1, 11, 0x20000), rec(1000, 1, 12, 0x20000), rec(3000, 1, 36),
        rec(3500, 1, 69, 1), rec(3500, 1, 70, 6, 3), rec(10000, 1, 128, 1000000, 5000, 1, 0),
        rec(10000, 1, 69, 12, 1000, 2), rec(10000, 1, 69, 13, 1000, 1), rec(3600000, 1, 35), rec(3600100, 1, 22, 0)});
    ASSERT_NE(judged.call, nullptr);
    ASSERT_EQ(judged.verdict.count, 1u);
    EXPECT_EQ(judged.verdict.findings[0].id, FINDING_HANGUP_REMOTE);
    EXPECT_EQ(judged.cause(),
              "Remote hang-up: cleardown asked by the remote end (code 35) 3600.0 s into the call, after 3597.0 s "
              "connected");
}

}  // namespace
