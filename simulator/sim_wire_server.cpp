// The daemon's side of the wire protocol (simwire/sim_wire.h):
// reading, checking and serving the requests of one client connection over
// the simulated driver's core.
#include "simulator/sim_wire_server.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

#include "simulator/sim_internal.h"

uint64_t wire_now_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

void wire_client_drop(WireClient *client) {
    if (client->opened) {
        sim_close_device();
    }
    close(client->fd);
    client->fd = -1;
}

static void reply(WireClient *client, uint32_t result, uint32_t returned, uint32_t data_size) {
    const WireReply header = {WIRE_MAGIC, result, returned, data_size};
    memcpy(client->out.data(), &header, sizeof header);
    client->out.resize(sizeof header + data_size);
    client->out_done = 0;
}

// Hands the calls served to the log and clears the core's.
static void write_call_log(FILE *log) {
    if (log != nullptr) {
        fputs(sim_call_log(), log);
        fflush(log);
    }
    sim_clear_call_log();
}

// Takes up to `wanted` records, as that many status calls in a row would,
// into out (capacity bytes) as batch entries; the records stay lent to the
// client until its next batch. Returns the bytes used. The queue running
// empty ends the batch; only a batch that got nothing counts an empty call.
static size_t serve_status_batch(WireClient *client, uint32_t wanted, unsigned char *out, size_t capacity) {
    client->lent.clear();
    size_t used = 0;
    while (client->lent.size() < wanted && capacity - used >= WIRE_STATUS_ENTRY_MAX &&
           (client->lent.empty() || sim_pending_records() != 0)) {
        SimTakenRecord taken;
        uint32_t returned = 0;
        if (!sim_take_status(&taken, &returned)) {
            break;
        }
        WireStatusEntry entry = {returned, uint32_t(taken.reads.size()), {}};
        status_record_to_bytes(taken.record, entry.record);
        memcpy(out + used, &entry, sizeof entry);
        if (!taken.reads.empty()) {  // an empty vector may have no data pointer at all
            memcpy(out + used + sizeof entry, taken.reads.data(), taken.reads.size());
        }
        used += sizeof entry + taken.reads.size();
        client->lent.push_back(std::move(taken));
    }
    return used;
}

// Serves one complete, validated request. False drops the client.
static bool serve(WireClient *client, FILE *log) {
    WireRequest request;
    memcpy(&request, client->in, sizeof request);
    const unsigned char *input = client->in + sizeof request;
    client->out.resize(sizeof(WireReply) + request.output_size);
    unsigned char *data = client->out.data() + sizeof(WireReply);
    switch (request.op) {
    case WIRE_OPEN: {
        if (client->opened || request.input_size == 0) {
            return false;
        }
        char path[4 + WIRE_MAX_INPUT + 1] = "\\\\.\\";
        memcpy(path + 4, input, request.input_size);
        path[4 + request.input_size] = '\0';
        client->opened = strlen(path) == 4 + request.input_size && sim_open_device(path);
        reply(client, client->opened ? 1 : 0, WIRE_VERSION, 0);
        return true;
    }
    case WIRE_CONTROL: {
        uint32_t returned = 0;
        uint32_t written = 0;
        const bool done = sim_device_control_bytes(request.code, request.input_size ? input : nullptr,
                                                   request.input_size, data, request.output_size,
                                                   &returned, &written);
        write_call_log(log);
        reply(client, done ? 1 : 0, returned, written <= request.output_size ? written : 0);
        return true;
    }
    case WIRE_READ_MEMORY: {
        const size_t mapped = sim_read_record_memory(request.code, data, request.output_size);
        reply(client, 1, uint32_t(mapped), uint32_t(mapped));
        return true;
    }
    case WIRE_STATUS_BATCH: {
        const size_t used = serve_status_batch(client, request.code, data, request.output_size);
        write_call_log(log);
        reply(client, 1, uint32_t(client->lent.size()), uint32_t(used));
        return true;
    }
    case WIRE_STATUS_RETURN: {
        const size_t count = request.code < client->lent.size() ? request.code : client->lent.size();
        sim_return_records(client->lent.data() + client->lent.size() - count, count);
        client->lent.clear();
        reply(client, 1, uint32_t(count), 0);
        return true;
    }
    }
    return false;
}

// Checks a request header as soon as it is complete: anything malformed
// or larger than any call needs is refused before a byte more is read.
static bool header_valid(const WireClient &client) {
    WireRequest request;
    memcpy(&request, client.in, sizeof request);
    if (request.magic != WIRE_MAGIC || request.input_size > WIRE_MAX_INPUT) {
        return false;
    }
    switch (request.op) {
    case WIRE_OPEN:
        return !client.opened && request.input_size != 0 && request.output_size == 0;
    case WIRE_CONTROL:
        return client.opened && request.output_size <= WIRE_MAX_OUTPUT;
    case WIRE_READ_MEMORY:
        return client.opened && request.input_size == 0 && request.output_size <= WIRE_MAX_MEMORY_READ;
    case WIRE_STATUS_BATCH:
        return client.opened && request.input_size == 0 && request.code >= 1 &&
               request.code <= WIRE_BATCH_RECORDS_MAX && request.output_size >= WIRE_STATUS_ENTRY_MAX &&
               request.output_size <= WIRE_MAX_OUTPUT;
    case WIRE_STATUS_RETURN:
        return client.opened && request.input_size == 0 && request.output_size == 0;
    }
    return false;
}

static size_t request_length(const WireClient &client) {
    if (client.in_length < sizeof(WireRequest)) {
        return sizeof(WireRequest);
    }
    WireRequest request;
    memcpy(&request, client.in, sizeof request);
    return sizeof(WireRequest) + request.input_size;
}

// Writes what is pending. False when the client is gone.
static bool flush(WireClient *client) {
    while (client->out_done < client->out.size()) {
        const ssize_t n = send(client->fd, client->out.data() + client->out_done,
                               client->out.size() - client->out_done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        if (n <= 0) {
            return false;
        }
        client->out_done += size_t(n);
        client->last_progress_ms = wire_now_ms();
    }
    client->out.clear();
    client->out_done = 0;
    return true;
}

// Reads and serves requests until the client has nothing more to say for
// now or its reply cannot be sent at once (see the header).
bool wire_client_handle(WireClient *client, FILE *log) {
    for (;;) {
        if (!flush(client)) {
            wire_client_drop(client);
            return false;
        }
        if (!client->out.empty()) {
            return false;  // wait for POLLOUT
        }
        const size_t wanted = request_length(*client);
        const ssize_t n = recv(client->fd, client->in + client->in_length, wanted - client->in_length, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return false;
        }
        if (n <= 0) {  // gone, possibly in the middle of a request
            wire_client_drop(client);
            return false;
        }
        client->in_length += size_t(n);
        client->last_progress_ms = wire_now_ms();
        if (client->in_length == sizeof(WireRequest) && !header_valid(*client)) {
            wire_client_drop(client);
            return false;
        }
        if (client->in_length >= sizeof(WireRequest) && client->in_length == request_length(*client)) {
            client->in_length = 0;
            if (!serve(client, log) || !flush(client)) {
                wire_client_drop(client);
                return false;
            }
            // A client waits for each reply before it asks again: back to
            // poll rather than a read that would find nothing.
            return true;
        }
    }
}

