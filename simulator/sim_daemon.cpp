// The tarvel-sim daemon's serving loop: one thread, one poll() over the
// listening socket and the clients; the script advances with real time.
#include "simulator/sim_daemon.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "simwire/sim_wire.h"
#include "simwire/sim_world.h"
#include "simulator/sim_internal.h"
#include "simulator/sim_wire_server.h"

namespace {

constexpr size_t MAX_CLIENTS = 64;
// After serving a request the loop looks for the next one this many times
// without sleeping: a program that drains the queue asks again within
// microseconds, and being woken costs more than looking.
constexpr int SPIN_ROUNDS = 20;
constexpr uint32_t LOOP_PASS_IDLE_MS = 100;  // pause after each pass of a looped script without waits
// A client that has not opened the device, is in the middle of a request or
// does not take its reply, and makes no progress for this long, is dropped:
// idle or stalled connections cannot fill the table of clients for good.
constexpr uint64_t CLIENT_STALL_MS = 2000;
// When accept fails for want of descriptors or memory, the listener rests
// this long instead of being polled (it would stay readable and spin).
constexpr uint64_t ACCEPT_PAUSE_MS = 100;

using Client = WireClient;

volatile sig_atomic_t stop_signal = 0;

void on_stop_signal(int signal_number) {
    stop_signal = signal_number;
}

uint64_t now_ms() {
    return wire_now_ms();
}

// The registry values the driver sets go to the runtime directory's files.
void mirror_value(const char *key_path, const char *value_name, const unsigned char *data, uint32_t size) {
    sim_world_create_key(key_path);
    if (data == nullptr) {
        sim_world_remove_value(key_path, value_name);
    } else if (!sim_world_write_value(key_path, value_name, data, size)) {
        fprintf(stderr, "tarvel-sim: cannot write registry value %s\\%s\n", key_path, value_name);
    }
}

// True (with a message) when a running daemon answers at the socket; a
// socket file left behind by a daemon that died does not answer.
bool device_served(const char *socket_path, const char *device_name) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path);
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool served =
        probe >= 0 && connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    if (served) {
        fprintf(stderr, "tarvel-sim: device %s is already served at %s\n", device_name, socket_path);
    }
    if (probe >= 0) {
        close(probe);
    }
    return served;
}

int listen_on(const char *socket_path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    // A socket file left behind by a daemon that died is replaced.
    struct stat info;
    if (lstat(socket_path, &info) == 0 && S_ISSOCK(info.st_mode)) {
        unlink(socket_path);
    }
    const mode_t old_mask = umask(077);
    const int bound = bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    umask(old_mask);
    if (bound != 0 || chmod(socket_path, 0600) != 0 || listen(fd, 16) != 0) {
        fprintf(stderr, "tarvel-sim: cannot listen at %s: %s\n", socket_path, strerror(errno));
        close(fd);
        return -1;
    }
    return fd;
}

// Keeps only the clients still connected, in order.
void compact_clients(std::vector<Client> *clients) {
    size_t kept = 0;
    for (size_t i = 0; i < clients->size(); ++i) {
        if ((*clients)[i].fd >= 0) {
            if (kept != i) {  // a vector moved onto itself would lose its contents
                (*clients)[kept] = std::move((*clients)[i]);
            }
            ++kept;
        }
    }
    clients->resize(kept);
}

// Drops the connected client that has made no progress for the longest
// time, making room for a new one.
void drop_longest_idle(std::vector<Client> *clients) {
    Client *oldest = nullptr;
    for (Client &client : *clients) {
        if (client.fd >= 0 && (oldest == nullptr || client.last_progress_ms < oldest->last_progress_ms)) {
            oldest = &client;
        }
    }
    if (oldest != nullptr) {
        wire_client_drop(oldest);
    }
}

// Accepts every pending connection. With the table full, the client idle
// longest makes room: connections that say nothing never keep a program
// that talks out. False when accept ran out of descriptors or memory: the
// caller then rests the listener for a while.
bool accept_clients(int listener, std::vector<Client> *clients) {
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            return !(errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM);
        }
        compact_clients(clients);
        if (clients->size() >= MAX_CLIENTS) {
            drop_longest_idle(clients);
            compact_clients(clients);
        }
        clients->push_back(Client{fd, false, {}, 0, {}, 0, now_ms(), {}});
    }
}

// True when a client is waiting on nothing but itself: it has not opened
// the device, has sent part of a request, or has not taken its reply.
bool client_owes_progress(const Client &client) {
    return !client.opened || client.in_length != 0 || !client.out.empty();
}

// Drops the clients that owe progress and made none for CLIENT_STALL_MS;
// returns the milliseconds until the next such deadline (-1: none).
int64_t drop_stalled_clients(std::vector<Client> *clients, uint64_t now) {
    int64_t next = -1;
    for (Client &client : *clients) {
        if (client.fd < 0 || !client_owes_progress(client)) {
            continue;
        }
        const uint64_t deadline = client.last_progress_ms + CLIENT_STALL_MS;
        if (now >= deadline) {
            wire_client_drop(&client);
        } else if (next < 0 || int64_t(deadline - now) < next) {
            next = int64_t(deadline - now);
        }
    }
    return next;
}

// Writes what the core logged outside any call (dropped capture data) and
// clears the log, so that it never grows without a client.
void flush_call_log(FILE *log) {
    const char *text = sim_call_log();
    if (text[0] != '\0') {
        if (log != nullptr) {
            fputs(text, log);
            fflush(log);
        }
        sim_clear_call_log();
    }
}

void advance_to_real_time(uint64_t start) {
    const uint64_t elapsed = now_ms() - start;
    while (sim_clock() < elapsed) {
        const uint64_t step = elapsed - sim_clock();
        sim_advance(step > 0x7FFFFFFF ? 0x7FFFFFFF : uint32_t(step));
    }
}

}  // namespace

int run_daemon(const DaemonOptions &options, const std::vector<TraceDirective> &script) {
    char socket_path[sizeof(sockaddr_un{}.sun_path)];
    if (!sim_world_prepare()) {
        char dir[4096] = "";
        sim_world_dir(dir, sizeof dir);
        fprintf(stderr, "tarvel-sim: cannot use the runtime directory %s\n", dir);
        return 1;
    }
    if (!sim_world_socket_path(options.device_name, socket_path, sizeof socket_path)) {
        fprintf(stderr, "tarvel-sim: device name \"%s\" does not make a socket path (empty, '/', "
                        "leading '.', or longer than a socket address allows)\n", options.device_name);
        return 1;
    }

    // A device that a running daemon serves is refused before the world
    // changes: its registry values and its call log are that daemon's.
    if (device_served(socket_path, options.device_name)) {
        return 1;
    }
    FILE *log = nullptr;
    if (options.log_path != nullptr) {
        log = fopen(options.log_path, "w");
        if (log == nullptr) {
            fprintf(stderr, "tarvel-sim: cannot write %s: %s\n", options.log_path, strerror(errno));
            return 1;
        }
    }

    sim_reset();
    sim_set_device_name(options.device_name);
    sim_set_registry_observer(mirror_value);
    sim_set_active_modems(0);
    sim_set_faults(options.faults);

    // The loop replays the whole script; one without any wait would queue
    // records as fast as the processor allows, so it pauses between passes.
    uint64_t script_ms = 0;
    for (const TraceDirective &directive : script) {
        script_ms += directive.op == TRACE_WAIT ? directive.value : 0;
    }
    std::vector<TraceDirective> pass = script;
    if (options.loop && script_ms == 0) {
        TraceDirective pause = {};
        pause.op = TRACE_WAIT;
        pause.value = LOOP_PASS_IDLE_MS;
        pass.push_back(pause);
    }

    sigset_t stop_signals;
    sigset_t serving_mask;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    sigprocmask(SIG_BLOCK, &stop_signals, &serving_mask);
    sigdelset(&serving_mask, SIGTERM);
    sigdelset(&serving_mask, SIGINT);
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const uint64_t start = now_ms();
    sim_play(pass.data(), pass.size());
    // The socket appears once the world is set: a program that finds it
    // finds the registry as the script's start made it.
    const int listener = listen_on(socket_path);
    if (listener < 0) {
        sim_set_active_modems(0);
        sim_set_registry_observer(nullptr);
        if (log != nullptr) {
            fclose(log);
        }
        return 1;
    }

    std::vector<Client> clients;
    std::vector<pollfd> fds;
    int spin_left = 0;
    uint64_t accept_paused_until = 0;
    while (stop_signal == 0) {
        advance_to_real_time(start);
        flush_call_log(log);
        if (sim_script_done()) {
            if (options.loop && !pass.empty()) {
                sim_play(pass.data(), pass.size());
            } else if (!options.stay) {
                break;
            }
        }
        const uint64_t now = now_ms();
        const int64_t stall_due = drop_stalled_clients(&clients, now);
        compact_clients(&clients);
        int64_t due = sim_next_due();
        if (stall_due >= 0 && (due < 0 || stall_due < due)) {
            due = stall_due;
        }
        const bool accepting = now >= accept_paused_until;
        if (!accepting && (due < 0 || int64_t(accept_paused_until - now) < due)) {
            due = int64_t(accept_paused_until - now);
        }
        fds.clear();
        fds.push_back(pollfd{accepting ? listener : -1, POLLIN, 0});
        for (const Client &client : clients) {
            fds.push_back(pollfd{client.fd, short(client.out.empty() ? POLLIN : POLLOUT), 0});
        }
        timespec timeout = {time_t(due / 1000), long(due % 1000) * 1000000L};
        const timespec no_wait = {0, 0};
        const timespec *wait = spin_left > 0 ? &no_wait : due < 0 ? nullptr : &timeout;
        const int ready = ppoll(fds.data(), fds.size(), wait, &serving_mask);
        if (ready <= 0) {
            spin_left -= spin_left > 0 ? 1 : 0;
            continue;
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents != 0 && wire_client_handle(&clients[i - 1], log)) {
                spin_left = SPIN_ROUNDS;
            }
        }
        compact_clients(&clients);
        if (fds[0].revents != 0 && !accept_clients(listener, &clients)) {
            accept_paused_until = now_ms() + ACCEPT_PAUSE_MS;
        }
    }

    for (Client &client : clients) {
        wire_client_drop(&client);
    }
    close(listener);
    unlink(socket_path);
    // The driver is gone: no modem is active any more.
    sim_set_active_modems(0);
    sim_set_registry_observer(nullptr);
    if (log != nullptr) {
        fclose(log);
    }
    return 0;
}
