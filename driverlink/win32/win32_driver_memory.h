// Driver memory on Windows, read in place where the platform maps it into
// the program (the 9x platform). Exposed for tests.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies the leading readable bytes of count bytes at address of this
// process into dest and returns how many there were. Page by page, each
// page is asked for its state (VirtualQuery) and read through
// ReadProcessMemory on the program's own process, so memory that is not
// mapped or not readable ends the copy instead of faulting.
size_t read_mapped_memory(uint32_t address, unsigned char *dest, size_t count);
