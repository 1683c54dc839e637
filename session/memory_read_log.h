// A driver memory reader that logs what it reads: it passes each read on to
// the reader it wraps and keeps the address, the count asked for, how many
// leading bytes could be read and those bytes, in fixed buffers (no
// allocation). A session records these reads before the record whose
// decoding made them, so that decoding the session later reads the same
// bytes and fails where the live read failed.
//
//   MemoryReadLog log;
//   memory_read_log_init(log, driver_source_memory(source));  // the memory wrapped
//   const DriverMemory memory = logging_memory(log);
//   ... for each record: memory_read_log_clear(log); decode it against
//       memory; hand log to the session
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/driver_memory.h"

// Room for the reads of one record's decoding, which reads at most one text
// (511 bytes) or a few small blocks.
constexpr size_t MEMORY_LOG_READS = 32;
constexpr size_t MEMORY_LOG_BYTES = 4096;

struct MemoryRead {
    uint32_t address;
    uint32_t count;   // bytes asked for
    uint32_t got;     // leading bytes that could be read (count: all)
    uint32_t offset;  // where those bytes start in MemoryReadLog::data
};

struct MemoryReadLog {
    DriverMemory wrapped;  // the memory read through; a null reader: every read fails
    MemoryRead reads[MEMORY_LOG_READS];
    size_t read_count;
    unsigned char data[MEMORY_LOG_BYTES];
    size_t data_used;
    // A read did not fit the buffers (or asked for more than MEMORY_LOG_BYTES):
    // it was passed on but not logged.
    bool overflowed;
};

void memory_read_log_init(MemoryReadLog &log, DriverMemory wrapped);
// Forgets the reads logged so far (before each record is decoded).
inline void memory_read_log_clear(MemoryReadLog &log) {
    log.read_count = 0;
    log.data_used = 0;
    log.overflowed = false;
}

// The DriverMemoryReader that logs; context is the MemoryReadLog.
size_t logging_memory_reader(void *context, uint32_t address, unsigned char *dest, size_t count);
// The memory to decode against while logging into log, which must outlive it.
inline DriverMemory logging_memory(MemoryReadLog &log) { return {logging_memory_reader, &log}; }
