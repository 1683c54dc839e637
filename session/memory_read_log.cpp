// Logging of driver memory reads in fixed buffers.
#include "session/memory_read_log.h"

#include <cstring>

void memory_read_log_init(MemoryReadLog &log, DriverMemory wrapped) {
    log.wrapped = wrapped.read != nullptr ? wrapped : NO_DRIVER_MEMORY;
    memory_read_log_clear(log);
}

size_t logging_memory_reader(void *context, uint32_t address, unsigned char *dest, size_t count) {
    MemoryReadLog &log = *static_cast<MemoryReadLog *>(context);
    size_t got = 0;
    if (log.wrapped.read != nullptr && count > 0) {
        got = log.wrapped.read(log.wrapped.context, address, dest, count);
        if (got > count) got = count;  // never trust a reader to give more than asked
    }
    // A read larger than the whole buffer is no read of the decoder's; its
    // failed rest could not be marked in bounded time either.
    if (count > MEMORY_LOG_BYTES || log.read_count == MEMORY_LOG_READS ||
        got > MEMORY_LOG_BYTES - log.data_used) {
        log.overflowed = true;
        return got;
    }
    MemoryRead &read = log.reads[log.read_count++];
    read.address = address;
    read.count = static_cast<uint32_t>(count);
    read.got = static_cast<uint32_t>(got);
    read.offset = static_cast<uint32_t>(log.data_used);
    if (got > 0) std::memcpy(log.data + log.data_used, dest, got);
    log.data_used += got;
    return got;
}
