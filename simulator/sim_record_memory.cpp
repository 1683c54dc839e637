// The driver memory a status record points at: what the monitor's intake
// reads for it, found by making the same reads against the simulated
// driver's memory through a logging reader.
#include <vector>

#include "capture/capture.h"
#include "capture/intake.h"
#include "decoder/driver_memory.h"
#include "session/memory_read_log.h"
#include "simulator/sim_internal.h"
#include "simwire/sim_wire.h"

namespace {

size_t read_core_memory(void *, uint32_t address, unsigned char *dest, size_t count) {
    return sim_read_memory(address, dest, count);
}

}  // namespace

void sim_record_reads(const StatusRecord &record, std::vector<unsigned char> *reads) {
    // Driver-internal errors, records of no modem the monitor shows and
    // capture restarts read nothing.
    if (record.modem == 0 || record.modem > 2 || record.code == CAPTURE_RESTART_CODE) {
        return;
    }
    MemoryReadLog log;
    memory_read_log_init(log, DriverMemory{read_core_memory, nullptr});
    const DriverMemory memory = logging_memory(log);
    if (record.code == CAPTURE_FILE_CODE) {
        if (record.param2 != 0) {
            char name[CAPTURE_NAME_BYTES];
            read_driver_block(memory, record.param2, name, sizeof name);
        }
    } else {
        StatusLine line;
        decode_status(record, memory, line);
    }
    for (size_t i = 0; i < log.read_count; ++i) {
        const MemoryRead &read = log.reads[i];
        wire_append_read(*reads, read.address, read.count, log.data + read.offset, read.got);
    }
}
