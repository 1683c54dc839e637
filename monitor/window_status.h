// The status bar texts of a window front end: what each list holds and
// lost, and where an opened session's replay stands.
#pragma once

#include <string>

#include "monitor/replay.h"

struct Monitor;
struct OpenedSession;

// "Modem 1: 39 lines, 0 dropped    Modem 2: 29 lines, 0 dropped    Warnings discarded: 0"
std::string monitor_loss_text(const Monitor &monitor);

// Where the replay of `session` stands: "Replaying at 10x: 1.2 s of 8.0 s",
// "Replay paused: ...", "Replay ended: the whole session was played: ..."
// or, before any replay, "340 records, 2 driver-internal errors".
std::string replay_status_text(const Replay &replay, const OpenedSession &session);
