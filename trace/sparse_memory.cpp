// Sparse driver memory in 16-byte blocks.
#include "trace/sparse_memory.h"

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

void sparse_unmap(SparseMemory &memory, uint32_t address, size_t count) {
    size_t done = 0;
    while (done < count) {
        const uint64_t at = uint64_t(address) + done;
        if (at > 0xFFFFFFFFu) {
            break;
        }
        const uint32_t number = uint32_t(at / SPARSE_BLOCK_BYTES);
        const uint32_t offset = uint32_t(at % SPARSE_BLOCK_BYTES);
        const size_t in_block = SPARSE_BLOCK_BYTES - offset < count - done
                                    ? SPARSE_BLOCK_BYTES - offset
                                    : count - done;
        auto found = memory.blocks.find(number);
        if (found != memory.blocks.end()) {
            const uint32_t bits = ((1u << in_block) - 1u) << offset;
            found->second.mapped = uint16_t(found->second.mapped & ~bits);
            if (found->second.mapped == 0) {
                memory.blocks.erase(found);
            }
        }
        done += in_block;
    }
}
