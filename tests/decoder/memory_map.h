// A small map of driver memory for tests: a few readable regions, everything
// else unreadable. Read by the decoder through map_memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "decoder/driver_memory.h"

struct MappedRegion {
    uint32_t address;
    const void *bytes;
    size_t size;
};

struct MemoryMap {
    const MappedRegion *regions;
    size_t count;
};

// Copies the readable prefix of [address, address + count): as many bytes
// as lie inside the region that holds address.
inline size_t read_memory_map(void *context, uint32_t address, unsigned char *dest, size_t count)
{
    const MemoryMap *map = static_cast<const MemoryMap *>(context);
    for (size_t i = 0; i < map->count; ++i) {
        const MappedRegion &r = map->regions[i];
        if (address < r.address || address - r.address >= r.size)
            continue;
        const size_t offset = address - r.address;
        const size_t available = r.size - offset;
        const size_t n = count < available ? count : available;
        std::memcpy(dest, static_cast<const unsigned char *>(r.bytes) + offset, n);
        return n;
    }
    return 0;
}

// The map as the driver memory a decoding reads; map must outlive it.
inline DriverMemory map_memory(const MemoryMap &map)
{
    return {read_memory_map, const_cast<MemoryMap *>(&map)};
}
