// LineWatch --console --calls FILE: each call, as the monitor followed it
// live, is one JSON line in FILE; and they are the calls that the offline
// reader finds in the session the monitor recorded at the same time (what
// the monitor saw: records left in the driver when the modems went idle are
// neither seen nor recorded).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "calls/call_export.h"
#include "console_fixture.h"
#include "trace/trace.h"
#include "calls/trace_calls.h"

namespace {

std::string scenario_path(const char *name) {
    const char *dir = std::getenv("TARVEL_SOURCE_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/scenarios/" + name + ".trace";
}

// The fields of a call's JSON that live and offline following must agree on.
std::string key_fields(const std::string &json) {
    std::string key;
    for (const char *field : {"\"modem\":", "\"modulation\":", "\"cleardown\":"}) {
        const size_t at = json.find(field);
        key += at == std::string::npos ? std::string("-") : json.substr(at, json.find_first_of(",}", at) - at);
        key += ' ';
    }
    return key;
}

class CallsConsoleTest : public ConsoleTest, public testing::WithParamInterface<const char *> {};

TEST_P(CallsConsoleTest, EachCallIsOneJsonLineAsTheRecordedSessionGivesIt) {
    std::vector<TraceDirective> trace;
    ASSERT_EQ(read_trace_path(scenario_path(GetParam()).c_str(), &trace), TRACE_READ_OK);
    uint64_t wait_ms = 0;
    for (const TraceDirective &d : trace) wait_ms += d.op == TRACE_WAIT ? d.value : 0;
    sim_play(trace.data(), trace.size());
    ASSERT_EQ(run({"--console", "--calls", "calls.jsonl", "--record", "seen.trace"}, wait_ms / 100 + 5), 0);
    text_of(out_);
    text_of(err_);

    std::vector<std::string> live;
    std::ifstream in("calls.jsonl");
    for (std::string line; std::getline(in, line);) {
        EXPECT_EQ(line.front(), '{') << line;
        live.push_back(key_fields(line));
    }
    std::vector<TraceDirective> seen;
    ASSERT_EQ(read_trace_path("seen.trace", &seen), TRACE_READ_OK);
    std::vector<Call> calls;
    trace_calls(seen, calls);
    std::vector<std::string> offline;
    for (const Call &call : calls) {
        std::string json;
        call_json(call, false, json);
        offline.push_back(key_fields(json));
    }
    // Calls are written as they end, so two modems' calls may come in
    // another order than the offline log's.
    std::sort(live.begin(), live.end());
    std::sort(offline.begin(), offline.end());
    EXPECT_FALSE(offline.empty());
    EXPECT_EQ(live, offline);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CallsConsoleTest,
                         testing::Values("v34-call", "v90-call", "fax-session", "caller-id-ring", "error-control-call", "capture-session"),
                         [](const testing::TestParamInfo<const char *> &info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
