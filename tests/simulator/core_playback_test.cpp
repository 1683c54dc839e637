// Playing traces in the simulated driver's virtual time.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driverlink/ioctl.h"
#include "simulator/sim.h"
#include "trace/trace.h"

namespace {

TraceDirective rec(uint32_t modem, uint32_t code) {
    TraceDirective d = {};
    d.op = TRACE_REC;
    d.record.modem = modem;
    d.record.code = code;
    return d;
}

TraceDirective with_value(TraceOp op, uint32_t value) {
    TraceDirective d = {};
    d.op = op;
    d.value = value;
    return d;
}

TraceDirective fault(TraceFault which, uint32_t value) {
    TraceDirective d = with_value(TRACE_FAULT, value);
    d.fault = which;
    return d;
}

uint32_t active_modems() {
    unsigned char word[4] = {0, 0, 0, 0};
    uint32_t size = 4;
    sim_get_value("SOFTWARE\\Velmora\\Tarvel", "ActiveModems", word, &size);
    return word[0] | (word[1] << 8) | (word[2] << 16) | (uint32_t(word[3]) << 24);
}

// Codes of the records still queued, in order, taken through status calls.
std::vector<uint32_t> drain_codes() {
    std::vector<uint32_t> codes;
    unsigned char out[40];
    uint32_t returned = 0;
    while (sim_device_control(IOCTL_TARVEL_GET_STATUS, nullptr, 0, out, 40, &returned) && returned == 40) {
        codes.push_back(out[0] | (out[1] << 8) | (out[2] << 16) | (uint32_t(out[3]) << 24));
    }
    return codes;
}

TEST(Playback, DirectivesTakeEffectWhenTheClockReachesThem) {
    sim_reset();
    const std::vector<TraceDirective> trace = {
        with_value(TRACE_ACTIVE, 1), rec(1, 10), with_value(TRACE_WAIT, 100),
        rec(1, 11), with_value(TRACE_ACTIVE, 2), with_value(TRACE_WAIT, 50),
        rec(2, 12), with_value(TRACE_ACTIVE, 0),
    };
    sim_play(trace.data(), trace.size());
    // Each step advances the clock and checks the world after it.
    struct Step {
        uint32_t advance;
        uint64_t clock;
        uint32_t active;
        std::vector<uint32_t> codes;
        bool done;
    } steps[] = {
        {0, 0, 1, {10}, false},
        {99, 99, 1, {}, false},
        {1, 100, 2, {11}, false},
        {49, 149, 2, {}, false},
        {1, 150, 0, {12}, true},
        {1000, 1150, 0, {}, true},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE("clock " + std::to_string(s.clock));
        sim_advance(s.advance);
        EXPECT_EQ(sim_clock(), s.clock);
        EXPECT_EQ(active_modems(), s.active);
        EXPECT_EQ(drain_codes(), s.codes);
        EXPECT_EQ(sim_script_done(), s.done);
    }
}

TEST(Playback, OneLongAdvanceRunsEveryWaitInOrder) {
    sim_reset();
    const std::vector<TraceDirective> trace = {
        rec(1, 1), with_value(TRACE_WAIT, 10), rec(1, 2), with_value(TRACE_WAIT, 0),
        rec(2, 3), with_value(TRACE_WAIT, 30), rec(1, 4),
    };
    sim_play(trace.data(), trace.size());
    sim_advance(40);
    EXPECT_TRUE(sim_script_done());
    EXPECT_EQ(drain_codes(), (std::vector<uint32_t>{1, 2, 3, 4}));
}

TEST(Playback, SecondTraceFollowsTheFirst) {
    sim_reset();
    const std::vector<TraceDirective> first = {rec(1, 1), with_value(TRACE_WAIT, 100), rec(1, 2)};
    const std::vector<TraceDirective> second = {rec(1, 3), with_value(TRACE_WAIT, 10), rec(1, 4)};
    sim_play(first.data(), first.size());
    sim_play(second.data(), second.size());  // held back behind the first trace's wait
    EXPECT_EQ(drain_codes(), (std::vector<uint32_t>{1}));
    sim_advance(100);
    EXPECT_EQ(drain_codes(), (std::vector<uint32_t>{2, 3}));
    sim_advance(9);
    EXPECT_EQ(drain_codes(), (std::vector<uint32_t>{}));
    sim_advance(1);
    EXPECT_EQ(drain_codes(), (std::vector<uint32_t>{4}));
    // A wait played after the script ran dry starts at the current clock.
    const std::vector<TraceDirective> third = {with_value(TRACE_WAIT, 5), rec(1, 5)};
    sim_advance(1000);
    sim_play(third.data(), third.size());
    sim_advance(4);
    EXPECT_EQ(drain_codes(), (std::vector<uint32_t>{}));
    sim_advance(1);
    EXPECT_EQ(drain_codes(), (std::vector<uint32_t>{5}));
}

TEST(Playback, MemoryEyeCaptureAndFaults) {
    sim_reset();
    TraceDirective str = {};
    str.op = TRACE_STR;
    str.address = 0x80002000;
    str.bytes = {'h', 'i', 0};
    TraceDirective eye = {};
    eye.op = TRACE_EYE;
    eye.modem = 2;
    eye.points = {{1000, -1000}, {-1000, 1000}};
    TraceDirective cap = {};
    cap.op = TRACE_CAP;
    cap.modem = 1;
    cap.bytes = {0xE0, 0xC1};
    TraceDirective fill = {};
    fill.op = TRACE_CAP_FILL;
    fill.modem = 1;
    fill.value = 4096;
    fill.fill_byte = 0x5A;
    const std::vector<TraceDirective> trace = {
        str, eye, cap, fill, rec(1, 1), fault(FAULT_STATUS_COUNT, 39), rec(1, 2),
        with_value(TRACE_WAIT, 10), fault(FAULT_OFF, 0),
    };
    sim_play(trace.data(), trace.size());
    unsigned char text[4] = {0, 0, 0, 0};
    EXPECT_EQ(sim_read_memory(0x80002000, text, 4), 3u);
    EXPECT_STREQ(reinterpret_cast<char *>(text), "hi");
    EXPECT_EQ(sim_pending_capture(1), 4098u);

    unsigned char out[2048];
    uint32_t returned = 0;
    const unsigned char want[4] = {0x00, 0x02, 0, 0};
    sim_device_control(IOCTL_TARVEL_GET_EYE_2, want, 4, out, sizeof out, &returned);
    EXPECT_EQ(returned, 2u);
    sim_device_control(IOCTL_TARVEL_GET_STATUS, nullptr, 0, out, 40, &returned);
    EXPECT_EQ(returned, 39u) << "the status-count fault is on";
    sim_advance(10);
    sim_device_control(IOCTL_TARVEL_GET_STATUS, nullptr, 0, out, 40, &returned);
    EXPECT_EQ(returned, 40u) << "fault off";
}

}  // namespace
