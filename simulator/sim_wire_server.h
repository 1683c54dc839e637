// The daemon's side of the wire protocol: one client connection, its
// request being read and its reply being sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "simulator/sim_internal.h"
#include "simwire/sim_wire.h"

struct WireClient {
    int fd;       // non-blocking; -1 once dropped
    bool opened;  // the device was opened on this connection
    unsigned char in[sizeof(WireRequest) + WIRE_MAX_INPUT];
    size_t in_length;
    std::vector<unsigned char> out;
    size_t out_done;
    uint64_t last_progress_ms;  // when a byte last came in or went out
    std::vector<SimTakenRecord> lent;  // the records of the last status batch
};

// Milliseconds of a monotonic clock.
uint64_t wire_now_ms();

// Closes the connection (and the device, when it was opened on it).
void wire_client_drop(WireClient *client);

// Reads and serves requests until the client has nothing more to say for
// now or its reply cannot be sent at once; a malformed request, or the
// client going away, drops it. True when a request was served. log
// receives the call log of the calls served (or nullptr).
bool wire_client_handle(WireClient *client, FILE *log);
