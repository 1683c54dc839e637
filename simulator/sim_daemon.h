// The tarvel-sim daemon: serves the simulated driver's core to separate
// programs over Unix sockets (see driverlink/sim_wire.h) and plays traces in
// real time.
#pragma once

#include <cstdio>
#include <vector>

#include "simulator/sim.h"
#include "trace/trace.h"

struct DaemonOptions {
    const char *device_name;  // without the \\.\ prefix
    bool loop;                // replay the traces when they end
    bool stay;                // keep serving after the traces end until a signal
    const char *log_path;     // one line per device-control call served goes there, or nullptr
    SimFaults faults;
};

// Sets up the runtime directory, plays the script and serves clients until
// the script ends (or a signal arrives). Returns the process exit status. A
// device that another daemon serves is refused before anything changes:
// the registry values and the call log stay that daemon's.
int run_daemon(const DaemonOptions &options, const std::vector<TraceDirective> &script);
