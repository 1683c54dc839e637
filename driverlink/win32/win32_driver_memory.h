// Driver memory on Windows, read in place where the platform maps it into
// the program (the 9x platform). Exposed for tests.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies the leading readable bytes of count bytes at address of this
// process into dest and returns how many there were. Reads go through
// ReadProcessMemory on the program's own process, page by page, so an
// address that is not mapped ends the copy instead of faulting.
size_t read_mapped_memory(uint32_t address, unsigned char *dest, size_t count);
