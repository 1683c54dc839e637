// The calls of every scenario, against values worked out by hand from the
// trace files (rates from the rate codes, levels and delays from their 1/16
// units, error ratios by the decoder's rules, times from the waits).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "calls/call_summary.h"
#include "calls/trace_calls.h"

namespace {

struct ScenarioCalls {
    const char *file;
    std::vector<int> modems;  // of each call, in order of start
};

const ScenarioCalls SCENARIOS[] = {
    {"v34-call.trace", {1}},
    {"v90-call.trace", {1}},
    {"error-control-call.trace", {1, 2}},
    {"fax-session.trace", {2, 2}},
    {"caller-id-ring.trace", {1, 1}},
    {"internal-errors.trace", {1, 2}},
    {"capture-session.trace", {1, 2}},
};

struct Field {
    const char *file;
    int call;  // 1-based, in order of start
    const char *key;
    const char *value;
};

const Field FIELDS[] = {
    // Dialled V.34 call; the remote end clears down after 3.3 s of waits.
    {"v34-call.trace", 1, "Direction", "originate"},
    {"v34-call.trace", 1, "Start", "0.000 s"},
    {"v34-call.trace", 1, "End", "3.300 s"},
    {"v34-call.trace", 1, "Connected after", "0.300 s (code 36)"},
    {"v34-call.trace", 1, "Modulation", "v.34"},
    {"v34-call.trace", 1, "Rx symbol rate", "3200 Bd"},
    {"v34-call.trace", 1, "Tx symbol rate", "3200 Bd"},
    {"v34-call.trace", 1, "Rx rate initial", "31200 bit/s"},
    {"v34-call.trace", 1, "Rx rate highest", "31200 bit/s"},
    {"v34-call.trace", 1, "Tx rate final", "28800 bit/s"},
    {"v34-call.trace", 1, "Max local Rx rate", "33600 bit/s"},
    {"v34-call.trace", 1, "Max local Tx rate", "28800 bit/s"},
    {"v34-call.trace", 1, "Max remote Rx rate", "31200 bit/s"},
    {"v34-call.trace", 1, "Projected rate 1", "3200 Bd: 33600 bit/s, in-band SNR 35.5 dB"},
    {"v34-call.trace", 1, "Projected rate 2", "3429 Bd: 31200 bit/s, in-band SNR 30.0 dB"},
    {"v34-call.trace", 1, "Round trip delay", "12.3 ms"},
    {"v34-call.trace", 1, "Hybrid delay", "2.5 ms"},
    {"v34-call.trace", 1, "Rx level", "-21.7 dBm"},
    {"v34-call.trace", 1, "SNR", "35.4 dB"},
    {"v34-call.trace", 1, "Near echo level", "-27.0 dBm"},
    {"v34-call.trace", 1, "Signal/echo", "35.0 dB"},
    {"v34-call.trace", 1, "Far echo level", "unknown"},
    {"v34-call.trace", 1, "Retrains", "0 (0 asked by the remote end)"},
    {"v34-call.trace", 1, "Carrier losses", "0"},
    {"v34-call.trace", 1, "Error control", "LAPM"},
    {"v34-call.trace", 1, "Compression", "V.42bis both ways, dictionary 2048, string 32"},
    {"v34-call.trace", 1, "Frames sent", "412 (0 retransmitted)"},
    {"v34-call.trace", 1, "Frames received", "388 (1 rejected)"},
    {"v34-call.trace", 1, "Link disconnect", "remote requested disconnect (LAPM)"},
    {"v34-call.trace", 1, "V.42bis encoder", "48211 bytes in, 20417 out"},
    {"v34-call.trace", 1, "BER", "0.1262e-4 (31 in 2456000)"},
    {"v34-call.trace", 1, "BLER", "0.1538e-3 (2 in 13100)"},
    {"v34-call.trace", 1, "Cleardown", "remote (code 35)"},
    {"v34-call.trace", 1, "Event 1", "+3.300 s cleardown (remote, code 35), eye of 4 ticks"},
    // The call ends at the remote cleardown: the carrier loss, local cleardown
    // and on hook after it wind it down and change nothing.
    {"v34-call.trace", 1, "Event 2", "none"},
    {"v34-call.trace", 1, "Termination", "remote hang-up"},
    {"v34-call.trace", 1, "Verdict",
     "Remote hang-up: cleardown asked by the remote end (code 35) 3.3 s into the call, after 3.0 s connected"},
    {"v34-call.trace", 1, "Finding 2", "none"},  // BER 1.3e-5, BLER 1.5e-4, 1 of 388 rejected: within bounds
    {"v34-call.trace", 1, "Anomalies", "0"},

    // V.90 to an ISP: PCM downstream, V.34 upstream, local hang-up.
    {"v90-call.trace", 1, "Direction", "originate"},
    {"v90-call.trace", 1, "End", "2.700 s"},
    {"v90-call.trace", 1, "Connected after", "0.200 s (code 36)"},
    {"v90-call.trace", 1, "Modulation", "v.90"},
    {"v90-call.trace", 1, "Rx rate final", "50666 bit/s"},
    {"v90-call.trace", 1, "Tx rate final", "31200 bit/s"},
    {"v90-call.trace", 1, "Rx symbol rate", "unknown"},
    {"v90-call.trace", 1, "Rx level", "-25.0 dBm"},
    {"v90-call.trace", 1, "Total Rx power", "-24.5 dBm"},
    {"v90-call.trace", 1, "Compression", "V.42bis both ways, dictionary 2048"},
    {"v90-call.trace", 1, "Frames sent", "unknown"},
    {"v90-call.trace", 1, "Frames received", "2210 (0 rejected)"},
    {"v90-call.trace", 1, "BER", "0.00 (0 in 5066000)"},
    {"v90-call.trace", 1, "Link disconnect", "local requested disconnect (LAPM)"},
    {"v90-call.trace", 1, "Cleardown", "local (code 44)"},
    {"v90-call.trace", 1, "Event 1", "+2.700 s cleardown (local, code 44), eye of 4 ticks"},
    {"v90-call.trace", 1, "Event 2", "none"},
    {"v90-call.trace", 1, "Verdict",
     "Local hang-up: cleardown by this end (code 44) 2.7 s into the call, after 2.5 s connected"},
    {"v90-call.trace", 1, "Finding 2", "none"},

    // Modem 1: V.32bis with LAPM through a noise burst and one retrain.
    {"error-control-call.trace", 1, "Direction", "originate"},
    {"error-control-call.trace", 1, "Modulation", "v.32/v.32bis/v.32terbo"},
    {"error-control-call.trace", 1, "Rx rate final", "14400 bit/s"},
    {"error-control-call.trace", 1, "Tx rate final", "14400 bit/s"},
    {"error-control-call.trace", 1, "SNR", "first 20.0, lowest 20.0, median 26.0, last 32.0 dB (2 samples)"},
    {"error-control-call.trace", 1, "Retrains", "1 (0 asked by the remote end)"},
    {"error-control-call.trace", 1, "Event 1", "+1.000 s retrain (local, code 38)"},
    {"error-control-call.trace", 1, "Compression", "V.42bis transmit only, dictionary 1024, string 32"},
    {"error-control-call.trace", 1, "Link errors", "3 (0 time-outs)"},
    {"error-control-call.trace", 1, "Frames sent", "5120 (14 retransmitted)"},
    {"error-control-call.trace", 1, "Frames received", "4980 (9 rejected)"},
    {"error-control-call.trace", 1, "V.42bis encoder", "901220 bytes in, 512004 out"},
    {"error-control-call.trace", 1, "BER", "0.2158e-3 (212 in 982000)"},
    {"error-control-call.trace", 1, "BLER", "0.19e-2 (15 in 7600)"},
    {"error-control-call.trace", 1, "End", "1.500 s"},
    {"error-control-call.trace", 1, "Cleardown", "local (code 34)"},
    {"error-control-call.trace", 1, "Termination", "local hang-up"},
    {"error-control-call.trace", 1, "Finding 2",
     "+1.000 s warning retrain-local: Retrain 1 of 1 asked by the local end 1.0 s into the call; SNR 20.0 dB"},
    {"error-control-call.trace", 1, "Finding 3",  // 212 / 982000 = 2.2e-4, 15 / 7600 = 2.0e-3
     "+1.000 s warning noisy-line: Noisy line: BER 0.00022 (212 in 982000 bits, bound 1e-04), BLER 0.002 (15 in "
     "7600 blocks, bound 1e-03)"},
    // Modem 2: MNP after failed V.42 detection; retry failed.
    {"error-control-call.trace", 2, "Rx rate final", "12000 bit/s"},
    {"error-control-call.trace", 2, "Error control", "MNP"},
    {"error-control-call.trace", 2, "Compression", "MNP 5"},
    {"error-control-call.trace", 2, "MNP parameters",
     "level 4, class 3, optimisation 1, compression 1, info field 256, window 8"},
    {"error-control-call.trace", 2, "Link errors", "2 (1 time-outs)"},
    {"error-control-call.trace", 2, "Frames sent", "830 (21 retransmitted)"},
    {"error-control-call.trace", 2, "Frames received", "790 (11 rejected)"},
    {"error-control-call.trace", 2, "Link disconnect", "retry failed (MNP)"},
    {"error-control-call.trace", 2, "Carrier losses", "1"},
    {"error-control-call.trace", 2, "End", "1.000 s"},
    {"error-control-call.trace", 2, "Cleardown", "local (code 34)"},
    {"error-control-call.trace", 2, "Verdict",
     "Link failure: error control failed: MNP disconnected after retries failed (2 link errors, 1 time-outs)"},
    {"error-control-call.trace", 2, "Finding 2",  // 21 / 830 = 2.5 %, 11 / 790 = 1.4 %
     "+1.000 s warning retransmissions: 21 of 830 frames sent were retransmitted (2.5 %), 11 of 790 frames "
     "received were rejected (1.4 %); bound 1 %"},

    // Fax reception (answer) at V.17, then the page sent back (originate).
    {"fax-session.trace", 1, "Direction", "answer"},
    {"fax-session.trace", 1, "Rings", "2"},
    {"fax-session.trace", 1, "Modulation", "v.17"},
    {"fax-session.trace", 1, "Rx rate final", "14400 bit/s"},
    {"fax-session.trace", 1, "Tx rate final", "unknown"},
    {"fax-session.trace", 1, "Fax phases", "A B C D E"},
    {"fax-session.trace", 1, "Fax frames", "sent DIS, got DCS, got TCF, sent CFR, got EOP, sent MCF, got DCN"},
    {"fax-session.trace", 1, "Fax pages", "1 counted, 1 confirmed (MCF), 0 rejected (RTN), 0 RTP"},
    {"fax-session.trace", 1, "Fax training", "1 successful, 0 failed"},
    {"fax-session.trace", 1, "Fax disconnect", "DCN received"},
    {"fax-session.trace", 1, "End", "1.200 s"},
    {"fax-session.trace", 1, "Event 1", "+1.200 s carrier lost (unknown, code 37), eye of 4 ticks"},
    {"fax-session.trace", 1, "Cleardown", "local (code 34)"},
    {"fax-session.trace", 2, "Direction", "originate"},
    {"fax-session.trace", 2, "Start", "3.200 s"},
    {"fax-session.trace", 2, "Duration", "3.000 s"},
    {"fax-session.trace", 2, "Modulation", "unknown"},
    {"fax-session.trace", 2, "Tx rate final", "14400 bit/s"},
    {"fax-session.trace", 2, "Fax frames", "got DIS, sent DCS, sent TCF, got CFR, sent EOP, got MCF, sent DCN"},
    {"fax-session.trace", 2, "Fax pages", "0 counted, 1 confirmed (MCF), 0 rejected (RTN), 0 RTP"},
    {"fax-session.trace", 2, "Fax disconnect", "DCN sent"},
    {"fax-session.trace", 2, "Cleardown", "local (code 34)"},
    {"fax-session.trace", 1, "Connected after", "0.000 s (code 84)"},  // monitor_TRAINING_SUCCESSFUL
    {"fax-session.trace", 2, "Connected after", "0.000 s (code 84)"},  // CFR received
    {"fax-session.trace", 2, "Verdict",
     "Local hang-up: cleardown by this end (code 34) 3.0 s into the call, after 3.0 s connected"},
    {"fax-session.trace", 2, "Event 1", "+3.000 s cleardown (local, code 34)"},  // the ring's eye is of call 1
    {"fax-session.trace", 2, "Anomaly 1", "+0.000 s Tx rate before any modulation"},  // before the 3 s wait

    // Caller ID between rings, answered, caller gone; a damaged second call.
    {"caller-id-ring.trace", 1, "Direction", "answer"},
    {"caller-id-ring.trace", 1, "Rings", "3"},
    {"caller-id-ring.trace", 1, "Caller ID time", "12/25 18:30"},
    {"caller-id-ring.trace", 1, "Caller ID number", "5551234567"},
    {"caller-id-ring.trace", 1, "Caller ID name", "JONES MARY"},
    {"caller-id-ring.trace", 1, "Caller ID errors", "0"},
    {"caller-id-ring.trace", 1, "Caller ID message", "37 bytes, 0 unknown, finished"},
    {"caller-id-ring.trace", 1, "Connected after", "unknown"},
    {"caller-id-ring.trace", 1, "Cleardown", "on hook (code 22)"},
    {"caller-id-ring.trace", 1, "Verdict",
     "No connection: the call lasted 0.0 s, too short to have connected (a connection takes 2 s at least)"},
    {"caller-id-ring.trace", 2, "Start", "60.000 s"},
    {"caller-id-ring.trace", 2, "Direction", "answer"},
    {"caller-id-ring.trace", 2, "Rings", "2"},
    {"caller-id-ring.trace", 2, "Caller ID number", "unknown"},
    {"caller-id-ring.trace", 2, "Caller ID errors", "3 (last: message too long, truncated)"},
    {"caller-id-ring.trace", 2, "Caller ID message", "1 unknown, finished"},
    {"caller-id-ring.trace", 2, "Cleardown", "went idle"},

    // Two data calls while the driver reports internal errors; modem 1 retrains twice.
    {"internal-errors.trace", 1, "Direction", "unknown"},
    {"internal-errors.trace", 1, "Rx rate initial", "28800 bit/s"},
    {"internal-errors.trace", 1, "Rx rate final", "26400 bit/s"},
    {"internal-errors.trace", 1, "Rx rate lowest", "26400 bit/s"},
    {"internal-errors.trace", 1, "Rx rate highest", "28800 bit/s"},
    {"internal-errors.trace", 1, "Tx rate final", "28800 bit/s"},
    {"internal-errors.trace", 1, "Retrains", "2 (0 asked by the remote end)"},
    {"internal-errors.trace", 1, "Event 1", "+0.500 s retrain (local, code 38), eye of 4 ticks"},
    {"internal-errors.trace", 1, "Event 2", "+1.000 s retrain (local, code 38), eye of 4 ticks"},
    {"internal-errors.trace", 1, "BER", "0.2341e-4 (96 in 4100000)"},
    {"internal-errors.trace", 1, "BLER", "0.2000e-3 (4 in 20500)"},
    {"internal-errors.trace", 1, "Cleardown", "local (code 34)"},
    // 28800 to 26400 bit/s is 8 %, under the fallback bound; two retrains without error control.
    {"internal-errors.trace", 1, "Finding 3",
     "+1.000 s warning retrain-local: Retrain 2 of 2 asked by the local end 1.0 s into the call; no line "
     "measurement in the 2 s before"},
    {"internal-errors.trace", 1, "Finding 4",
     "+0.000 s warning error-control-absent: No error control on a line that needed it (2 retrains)"},
    {"internal-errors.trace", 2, "Finding 2",  // 2 / 118 = 1.7 %
     "+1.000 s warning retransmissions: 2 of 118 frames received were rejected (1.7 %); bound 1 %"},
    {"internal-errors.trace", 2, "Modulation", "v.32/v.32bis/v.32terbo"},
    {"internal-errors.trace", 2, "SNR", "30.0 dB"},
    {"internal-errors.trace", 2, "Error control", "unknown"},
    {"internal-errors.trace", 2, "Frames sent", "120 (0 retransmitted)"},
    {"internal-errors.trace", 2, "Frames received", "118 (2 rejected)"},
    {"internal-errors.trace", 2, "End", "1.500 s"},

    // Capture requests (77, 131) are no part of any call.
    {"capture-session.trace", 1, "Modulation", "v.34"},
    {"capture-session.trace", 1, "Rx rate final", "unknown"},
    {"capture-session.trace", 1, "Cleardown", "local (code 34)"},
    {"capture-session.trace", 1, "Anomalies", "0"},
    {"capture-session.trace", 2, "Modulation", "v.32/v.32bis/v.32terbo"},
    {"capture-session.trace", 2, "Cleardown", "local (code 34)"},
};

class ScenarioCallsTest : public testing::Test {
protected:
    static std::vector<Call> calls_of(const char *file) {
        const char *source = getenv("TARVEL_SOURCE_DIR");
        const std::string path = std::string(source != nullptr ? source : ".") + "/scenarios/" + file;
        std::vector<TraceDirective> trace;
        std::vector<Call> calls;
        if (read_trace_file(path.c_str(), &trace)) trace_calls(trace, calls);
        return calls;
    }
};

TEST_F(ScenarioCallsTest, EachScenarioHasItsCalls) {
    for (const ScenarioCalls &s : SCENARIOS) {
        SCOPED_TRACE(s.file);
        std::vector<int> modems;
        bool all_ended = true;
        for (const Call &call : calls_of(s.file)) {
            modems.push_back(call.modem);
            all_ended = all_ended && call.ended;
        }
        EXPECT_EQ(modems, s.modems);
        EXPECT_TRUE(all_ended);
    }
}

TEST_F(ScenarioCallsTest, FieldsMatchTheTrace) {
    const char *loaded = nullptr;
    std::vector<std::vector<SummaryRow>> summaries;
    for (const Field &f : FIELDS) {
        SCOPED_TRACE(std::string(f.file) + " call " + std::to_string(f.call) + " " + f.key);
        if (loaded == nullptr || std::string(loaded) != f.file) {
            loaded = f.file;
            summaries.clear();
            for (const Call &call : calls_of(f.file)) {
                summaries.emplace_back();
                call_summary(call, summaries.back());
            }
        }
        ASSERT_LE(static_cast<size_t>(f.call), summaries.size());
        const char *value = nullptr;
        for (const SummaryRow &row : summaries[f.call - 1])
            if (std::string(row.key) == f.key) value = row.value;
        // "none": the call has no such row.
        EXPECT_STREQ(value != nullptr ? value : "none", f.value);
    }
}

}  // namespace
