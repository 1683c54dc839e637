// Decoding against the memory of a driver source.
#include "driverlink/driver_source.h"

namespace {
size_t read_source_memory(void *context, uint32_t address, unsigned char *dest, size_t count) {
    return static_cast<DriverSource *>(context)->read_memory(address, dest, count);
}
}  // namespace

DriverMemory driver_source_memory(DriverSource &source) {
    return {read_source_memory, &source};
}
