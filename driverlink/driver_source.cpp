// Decoding against the memory of a driver source.
#include "driverlink/driver_source.h"

#include "decoder/driver_memory.h"

namespace {
size_t read_source_memory(void *context, uint32_t address, unsigned char *dest, size_t count) {
    return static_cast<DriverSource *>(context)->read_memory(address, dest, count);
}
}  // namespace

void use_driver_memory(DriverSource &source) {
    set_driver_memory_reader(read_source_memory, &source);
}
