// Driver memory of the in-process backend: the simulated driver's memory map.
#include "decoder/driver_memory.h"
#include "driverlink/platform.h"
#include "simulator/sim.h"

namespace {
size_t read_sim_memory(void *, uint32_t address, unsigned char *dest, size_t count) {
    return sim_read_memory(address, dest, count);
}
}  // namespace

void platform_attach_driver_memory() {
    set_driver_memory_reader(read_sim_memory, nullptr);
}
