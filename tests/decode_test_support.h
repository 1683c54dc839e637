// Shared by the decoder and family handler tests: one expected line of a
// record, and decode_status run the way a caller runs it, against the
// given driver memory (none: every read fails).
#pragma once

#include <cstring>
#include <string>

#include "decoder/status.h"

// One record and the line it must decode to.
struct LineCase {
    const char *description;
    StatusRecord record;
    const char *expected;
};

// decode_status on a line filled with 'Z' beforehand, so that a line that
// is not terminated shows as a run of 'Z' rather than passing by chance.
inline std::string decode(const StatusRecord &r, const DriverMemory &memory = NO_DRIVER_MEMORY)
{
    StatusLine line;
    std::memset(line, 'Z', sizeof(line));
    decode_status(r, memory, line);
    return std::string(line, strnlen(line, sizeof(line)));
}
