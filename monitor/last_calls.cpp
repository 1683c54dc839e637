// The last call of each modem, found and written out.
#include "monitor/last_calls.h"

#include "calls/call_summary.h"
#include "calls/call_watch.h"

const Call *watch_last_call(const CallWatch &watch, int modem) {
    if (const Call *running = call_watch_running(watch, modem)) {
        return running;
    }
    for (size_t i = call_log_size(watch.log); i > 0; --i) {
        const Call &call = call_log_at(watch.log, i - 1);
        if (call.modem == modem) {
            return &call;
        }
    }
    return nullptr;
}

const Call *list_last_call(const std::vector<Call> &calls, int modem) {
    for (size_t i = calls.size(); i > 0; --i) {
        if (calls[i - 1].modem == modem) {
            return &calls[i - 1];
        }
    }
    return nullptr;
}

void last_calls_text(const Call *modem1, const Call *modem2, std::string &out) {
    out.clear();
    const Call *last[2] = {modem1, modem2};
    for (int m = 0; m < 2; ++m) {
        if (m > 0) {
            out += '\n';
        }
        out += m == 0 ? "Modem 1" : "Modem 2";
        if (last[m] == nullptr) {
            out += ": no call yet\n";
            continue;
        }
        out += last[m]->ended ? ", last call\n" : ", last call (not ended)\n";
        std::string summary;
        call_summary_text(*last[m], summary);
        out += summary;
    }
}
