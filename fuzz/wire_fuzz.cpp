// The daemon's side of the wire protocol: the input is what a client sends
// on one connection (any bytes, valid requests or not), served by the
// simulated driver's core with a small world of records, memory and capture
// data. The daemon must never crash, never send more than was asked for, and
// close the device when it drops the client.
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "simwire/sim_wire.h"
#include "fuzz/fuzz_input.h"
#include "simulator/sim.h"
#include "simulator/sim_wire_server.h"

namespace {

void small_world() {
    sim_reset();
    sim_set_active_modems(2);
    StatusRecord record = {};
    record.code = 97;
    record.param1 = 0x80001000;
    record.modem = 1;
    sim_queue_record(record);
    const unsigned char text[] = "Answering call";
    sim_map_memory(0x80001000, text, sizeof text);
    sim_queue_capture_fill(1, 3000, 0x5A);
    const EyePoint points[2] = {{1, 2}, {3, 4}};
    sim_queue_eye(1, points, 2);
}

// Reads and discards what the daemon sent; the bytes read.
size_t drain(int fd) {
    unsigned char buffer[65536];
    size_t total = 0;
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
        total += size_t(n);
    }
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    small_world();
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) {
        return 0;
    }
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = send(ends[0], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += size_t(n);
    }
    shutdown(ends[0], SHUT_WR);
    WireClient client = {ends[1], false, {}, 0, {}, 0, 0};
    size_t replied = 0;
    // Each round serves at most one request; the input holds at most
    // size / 20 of them, and the end of input drops the client.
    for (size_t round = 0; client.fd >= 0 && round < size + 16; ++round) {
        wire_client_handle(&client, nullptr);
        replied += drain(ends[0]);
    }
    if (client.fd >= 0) {
        wire_client_drop(&client);
    }
    replied += drain(ends[0]);
    close(ends[0]);
    if (sim_device_open()) {
        __builtin_trap();  // a dropped client left the device open
    }
    // No reply is larger than its header and the largest buffer, per request.
    if (replied > (size / sizeof(WireRequest) + 1) * (sizeof(WireReply) + WIRE_MAX_OUTPUT)) {
        __builtin_trap();
    }
    return 0;
}
