// Reads of driver memory through the reader that the host installs. Every
// read is bounded by the caller's buffer; a block that cannot be read in full
// leaves nothing the caller could show.
#include "decoder/driver_memory.h"

#include <cstring>

namespace {

// One per thread: a session opened on a thread of its own decodes against
// its own memory while the monitor's thread decodes against the driver's.
thread_local DriverMemoryReader installed_reader = nullptr;
thread_local void *installed_context = nullptr;

// Asks the reader for count bytes; never trusts it to report more than it
// was asked for.
size_t read_prefix(uint32_t address, unsigned char *dest, size_t count)
{
    if (installed_reader == nullptr || count == 0)
        return 0;
    const size_t got = installed_reader(installed_context, address, dest, count);
    return got < count ? got : count;
}

}  // namespace

const char UNREADABLE_TEXT[] = "<unreadable>";

void set_driver_memory_reader(DriverMemoryReader reader, void *context)
{
    installed_reader = reader;
    installed_context = reader != nullptr ? context : nullptr;
}

void get_driver_memory_reader(DriverMemoryReader *reader, void **context)
{
    *reader = installed_reader;
    *context = installed_context;
}

bool read_driver_block(uint32_t address, size_t count, unsigned char *dest)
{
    if (count == 0)
        return true;
    if (read_prefix(address, dest, count) == count)
        return true;
    std::memset(dest, 0, count);
    return false;
}

long read_driver_block(uint32_t address, char *dest, size_t capacity)
{
    if (capacity == 0)
        return DRIVER_TEXT_UNREADABLE;
    // One read of the whole capacity; the text ends at the first NUL.
    const size_t got = read_prefix(address, reinterpret_cast<unsigned char *>(dest), capacity);
    const void *nul = std::memchr(dest, '\0', got);
    if (nul != nullptr)
        return static_cast<const char *>(nul) - dest;
    if (got == capacity) {
        dest[capacity - 1] = '\0';
        return DRIVER_TEXT_CUT;
    }
    dest[0] = '\0';
    return DRIVER_TEXT_UNREADABLE;
}
