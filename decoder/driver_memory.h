// Access to blocks of driver memory whose addresses status records carry.
//
// The decoder does not know where driver memory lives: whoever hosts it (the
// monitor's platform layer, the offline decoder, a test) installs a reader.
// Without a reader every read fails.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies up to count bytes of driver memory starting at address into dest and
// returns how many leading bytes could be read (count when all could; fewer
// when the block runs into memory that cannot be read; 0 for a bad address).
using DriverMemoryReader = size_t (*)(void *context, uint32_t address,
                                      unsigned char *dest, size_t count);

// Installs the reader of the calling thread (nullptr removes it).
void set_driver_memory_reader(DriverMemoryReader reader, void *context);
// The reader installed now and its context (null when none), so that a
// host can wrap it, as a session recording does to log what is read.
void get_driver_memory_reader(DriverMemoryReader *reader, void **context);

// The text shown where a block's content would stand when it cannot be read.
extern const char UNREADABLE_TEXT[];  // "<unreadable>"

// Reads count bytes at address into dest. True only when every byte could be
// read; on false dest holds nothing the caller may show.
bool read_driver_block(uint32_t address, size_t count, unsigned char *dest);

// Results of reading a zero-terminated text, besides its length.
constexpr long DRIVER_TEXT_UNREADABLE = -1;  // dest holds ""
constexpr long DRIVER_TEXT_CUT = -2;         // dest holds the first capacity-1 characters

// Reads the zero-terminated text at address into dest (capacity bytes,
// NUL included). Returns the text's length when the whole text fits;
// DRIVER_TEXT_CUT when it is longer than capacity-1 characters (dest then
// holds its first capacity-1 characters and a NUL); DRIVER_TEXT_UNREADABLE
// when the text cannot be read up to its NUL. dest is always terminated.
long read_driver_block(uint32_t address, char *dest, size_t capacity);
