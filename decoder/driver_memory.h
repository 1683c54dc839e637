// Access to blocks of driver memory whose addresses status records carry.
//
// The decoder does not know where driver memory lives: whoever decodes a
// record (the monitor over its driver link, the offline decoder over a
// trace, a test) passes the DriverMemory to read it through. There is no
// program-wide reader, so monitors of several drivers can live in one
// process. Without a reader every read fails.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies up to count bytes of driver memory starting at address into dest and
// returns how many leading bytes could be read (count when all could; fewer
// when the block runs into memory that cannot be read; 0 for a bad address).
using DriverMemoryReader = size_t (*)(void *context, uint32_t address,
                                      unsigned char *dest, size_t count);

// The driver memory that one decoding reads: a reader and its context. A
// host can wrap it, as a session recording does to log what is read.
struct DriverMemory {
    DriverMemoryReader read;  // null: every read fails
    void *context;
};

// No driver memory at all: every read fails.
constexpr DriverMemory NO_DRIVER_MEMORY = {nullptr, nullptr};

// The text shown where a block's content would stand when it cannot be read.
extern const char UNREADABLE_TEXT[];  // "<unreadable>"

// Reads count bytes at address of memory into dest. True only when every byte could be
// read; on false dest holds nothing the caller may show.
bool read_driver_block(const DriverMemory &memory, uint32_t address, size_t count, unsigned char *dest);

// Results of reading a zero-terminated text, besides its length.
constexpr long DRIVER_TEXT_UNREADABLE = -1;  // dest holds ""
constexpr long DRIVER_TEXT_CUT = -2;         // dest holds the first capacity-1 characters

// Reads the zero-terminated text at address into dest (capacity bytes,
// NUL included). Returns the text's length when the whole text fits;
// DRIVER_TEXT_CUT when it is longer than capacity-1 characters (dest then
// holds its first capacity-1 characters and a NUL); DRIVER_TEXT_UNREADABLE
// when the text cannot be read up to its NUL. dest is always terminated.
long read_driver_block(const DriverMemory &memory, uint32_t address, char *dest, size_t capacity);
