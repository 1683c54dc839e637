// Playing traces in virtual time: directives wait in a script and take effect
// when the core's clock reaches them; a wait directive holds back everything
// behind it until its milliseconds have passed.
#include <deque>

#include "simulator/sim_internal.h"
#include "trace/trace.h"

namespace {

std::deque<TraceDirective> script;
uint64_t clock_ms = 0;
bool waiting = false;   // the front directive is a wait that has started
uint64_t wait_end = 0;  // when that wait is over

void apply_fault(const TraceDirective &directive) {
    SimFaults faults = sim_get_faults();
    switch (directive.fault) {
    case FAULT_STATUS_COUNT: faults.status_count = directive.value; break;
    case FAULT_EYE_COUNT: faults.eye_count = directive.value; break;
    case FAULT_CAPTURE_COUNT: faults.capture_count = directive.value; break;
    case FAULT_REFUSE_OPEN: faults.refuse_open = directive.value != 0; break;
    case FAULT_SETUP_SIZE: faults.setup_value_size = directive.value; break;
    case FAULT_OFF: faults = SimFaults{}; break;
    }
    sim_set_faults(faults);
}

void apply(const TraceDirective &directive) {
    switch (directive.op) {
    case TRACE_REC:
        // A session's record gets the memory that the session holds just
        // before it; another trace's is decoded against memory as it
        // stands when it is fetched.
        if (directive.fetched_by != 0) {
            sim_queue_record_pinned(directive.record);
        } else {
            sim_queue_record(directive.record);
        }
        break;
    case TRACE_MEM:
    case TRACE_STR:
        sim_map_memory(directive.address, directive.bytes.data(), directive.bytes.size());
        break;
    case TRACE_ACTIVE:
        sim_set_active_modems(directive.value);
        break;
    case TRACE_EYE:
        sim_queue_eye(directive.modem, directive.points.data(), directive.points.size());
        break;
    case TRACE_CAP:
        sim_queue_capture(directive.modem, directive.bytes.data(), directive.bytes.size());
        break;
    case TRACE_CAP_FILL:
        sim_queue_capture_fill(directive.modem, directive.value, directive.fill_byte);
        break;
    case TRACE_FAULT:
        apply_fault(directive);
        break;
    case TRACE_UNREADABLE:
        sim_unmap_memory(directive.address, directive.value);
        break;
    case TRACE_WAIT:
        break;  // handled by the clock
    case TRACE_SESSION:
    case TRACE_FETCH:
    case TRACE_SHOWN:
        break;  // what the monitor saw: nothing for the driver to do
    }
}

// Applies every directive due at clock_ms.
void run_due() {
    while (!script.empty()) {
        const TraceDirective &front = script.front();
        if (front.op == TRACE_WAIT) {
            if (!waiting) {
                waiting = true;
                wait_end = clock_ms + front.value;
            }
            if (wait_end > clock_ms) {
                return;
            }
            waiting = false;
        } else {
            apply(front);
        }
        script.pop_front();
    }
}

}  // namespace

void sim_reset_script() {
    script.clear();
    clock_ms = 0;
    waiting = false;
    wait_end = 0;
}

void sim_play(const TraceDirective *directives, size_t count) {
    if (directives == nullptr) {
        return;
    }
    script.insert(script.end(), directives, directives + count);
    run_due();  // what is due now takes effect at once
}

void sim_play_lingering(const TraceDirective *directives, size_t count, uint32_t linger_ms) {
    for (size_t i = 0; directives != nullptr && i < count; ++i) {
        if (directives[i].op == TRACE_ACTIVE && directives[i].value == 0) {
            TraceDirective wait = directives[i];
            wait.op = TRACE_WAIT;
            wait.value = linger_ms;
            sim_play(&wait, 1);
        }
        sim_play(&directives[i], 1);
    }
}

void sim_advance(uint32_t milliseconds) {
    const uint64_t target = clock_ms + milliseconds;
    run_due();
    // Step from wait to wait so that each directive sees the clock at its time.
    while (!script.empty() && waiting && wait_end <= target) {
        clock_ms = wait_end;
        run_due();
    }
    clock_ms = target;
    run_due();
}

bool sim_script_done() {
    return script.empty();
}

uint64_t sim_clock() {
    return clock_ms;
}

int64_t sim_next_due() {
    if (script.empty()) {
        return -1;
    }
    if (script.front().op != TRACE_WAIT) {
        return 0;
    }
    const uint64_t end = waiting ? wait_end : clock_ms + script.front().value;
    return end > clock_ms ? int64_t(end - clock_ms) : 0;
}
