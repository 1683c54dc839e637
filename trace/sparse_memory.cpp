// Sparse driver memory in 16-byte blocks.
#include "trace/sparse_memory.h"

#include <iterator>

void sparse_write(SparseMemory &memory, uint32_t address, const unsigned char *bytes, size_t count) {
    if (bytes == nullptr) {
        return;
    }
    SparseBlock *block = nullptr;
    uint32_t block_number = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint64_t at = uint64_t(address) + i;
        if (at > 0xFFFFFFFFu) {  // the address space ends here
            break;
        }
        const uint32_t number = uint32_t(at / SPARSE_BLOCK_BYTES);
        if (block == nullptr || number != block_number) {
            block = &memory.blocks[number];  // value-initialised: nothing mapped
            block_number = number;
        }
        const uint32_t offset = uint32_t(at % SPARSE_BLOCK_BYTES);
        block->bytes[offset] = bytes[i];
        block->mapped = uint16_t(block->mapped | (1u << offset));
    }
}

size_t sparse_read(const SparseMemory &memory, uint32_t address, unsigned char *dest, size_t count) {
    if (dest == nullptr) {
        return 0;
    }
    size_t done = 0;
    const SparseBlock *block = nullptr;
    uint32_t block_number = 0;
    while (done < count) {
        const uint64_t at = uint64_t(address) + done;
        if (at > 0xFFFFFFFFu) {
            break;
        }
        const uint32_t number = uint32_t(at / SPARSE_BLOCK_BYTES);
        if (block == nullptr || number != block_number) {
            auto found = memory.blocks.find(number);
            if (found == memory.blocks.end()) {
                break;
            }
            block = &found->second;
            block_number = number;
        }
        const uint32_t offset = uint32_t(at % SPARSE_BLOCK_BYTES);
        if ((block->mapped & (1u << offset)) == 0) {
            break;
        }
        dest[done++] = block->bytes[offset];
    }
    return done;
}

// Only the blocks that exist in the range are visited, so unmapping the
// whole address space costs what is mapped there, not 2^28 look-ups.
void sparse_unmap(SparseMemory &memory, uint32_t address, size_t count) {
    if (count == 0) return;
    const uint64_t last = count - 1 > 0xFFFFFFFFull - address ? 0xFFFFFFFFull : uint64_t(address) + (count - 1);
    const uint32_t last_block = uint32_t(last / SPARSE_BLOCK_BYTES);
    auto it = memory.blocks.lower_bound(address / SPARSE_BLOCK_BYTES);
    while (it != memory.blocks.end() && it->first <= last_block) {
        const uint64_t start = uint64_t(it->first) * SPARSE_BLOCK_BYTES;
        const uint64_t from = start > address ? start : address;
        const uint64_t to = start + SPARSE_BLOCK_BYTES - 1 < last ? start + SPARSE_BLOCK_BYTES - 1 : last;
        const uint32_t bits = ((1u << (to - from + 1)) - 1u) << (from - start);
        it->second.mapped = uint16_t(it->second.mapped & ~bits);
        it = it->second.mapped == 0 ? memory.blocks.erase(it) : std::next(it);
    }
}
