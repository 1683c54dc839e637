// Driver memory as traces define it: only the bytes that a directive wrote
// are kept, in small aligned blocks with a mapped bit per byte, so memory
// grows with the bytes defined, not with the pages they touch. Shared by
// the simulated driver and the offline decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

constexpr uint32_t SPARSE_BLOCK_BYTES = 16;

struct SparseBlock {
    unsigned char bytes[SPARSE_BLOCK_BYTES];
    uint16_t mapped;  // bit i: bytes[i] was written
};

struct SparseMemory {
    std::map<uint32_t, SparseBlock> blocks;  // by block number (address / 16)
};

// Writes count bytes at address; bytes past 0xFFFFFFFF are not written.
void sparse_write(SparseMemory &memory, uint32_t address, const unsigned char *bytes, size_t count);
// Unmaps count bytes at address: reading them fails again. Blocks left with
// nothing mapped are freed. The cost follows the blocks mapped in the range,
// not its length (all 4 GiB at once cost one look-up when nothing is there).
void sparse_unmap(SparseMemory &memory, uint32_t address, size_t count);
// Copies the leading mapped bytes at address (at most count); how many.
size_t sparse_read(const SparseMemory &memory, uint32_t address, unsigned char *dest, size_t count);
