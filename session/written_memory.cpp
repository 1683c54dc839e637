// The session writer's map of driver memory as its file describes it.
#include "session/written_memory.h"

#include <cstring>

namespace {

// Walks the count bytes at address block by block (never past address
// 0xFFFFFFFF): visit(block number, first offset, bytes in this block, index
// of the first byte).
template <class Visit>
void each_block(uint32_t address, size_t count, Visit visit) {
    size_t done = 0;
    while (done < count) {
        const uint64_t at = uint64_t(address) + done;
        if (at > 0xFFFFFFFFu) return;
        const uint32_t offset = uint32_t(at % WRITTEN_BLOCK_BYTES);
        size_t n = WRITTEN_BLOCK_BYTES - offset;
        if (n > count - done) n = count - done;
        visit(uint32_t(at / WRITTEN_BLOCK_BYTES), offset, n, done);
        done += n;
    }
}

// The mask of n bytes (1 to 64) from offset.
uint64_t bits(uint32_t offset, size_t n) {
    return (n >= 64 ? ~uint64_t(0) : (uint64_t(1) << n) - 1u) << offset;
}

}  // namespace

bool written_holds(const WrittenMemory &memory, uint32_t address, const unsigned char *bytes, size_t count) {
    bool all = true;
    each_block(address, count, [&](uint32_t number, uint32_t offset, size_t n, size_t first) {
        if (!all) return;
        auto found = memory.blocks.find(number);
        const uint64_t want = bits(offset, n);
        all = found != memory.blocks.end() && (found->second.known & want) == want &&
              memcmp(found->second.bytes + offset, bytes + first, n) == 0;
    });
    return all;
}

size_t written_changes(const WrittenMemory &memory, uint32_t address, const unsigned char *bytes,
                       size_t count, bool *changed) {
    size_t changes = 0;
    memset(changed, 1, count * sizeof *changed);
    each_block(address, count, [&](uint32_t number, uint32_t offset, size_t n, size_t first) {
        auto found = memory.blocks.find(number);
        if (found == memory.blocks.end()) {
            changes += n;
            return;
        }
        const WrittenBlock &block = found->second;
        const uint64_t want = bits(offset, n);
        // The usual case: the file already holds every byte as read.
        if ((block.known & want) == want && memcmp(block.bytes + offset, bytes + first, n) == 0) {
            memset(changed + first, 0, n * sizeof *changed);
            return;
        }
        for (size_t i = 0; i < n; ++i) {
            const bool same = ((block.known >> (offset + i)) & 1u) != 0 &&
                              block.bytes[offset + i] == bytes[first + i];
            changed[first + i] = !same;
            changes += same ? 0 : 1;
        }
    });
    return changes;
}

void written_store(WrittenMemory &memory, uint32_t address, const unsigned char *bytes, size_t count) {
    each_block(address, count, [&](uint32_t number, uint32_t offset, size_t n, size_t first) {
        WrittenBlock &block = memory.blocks[number];
        memcpy(block.bytes + offset, bytes + first, n);
        block.known |= bits(offset, n);
        block.unreadable &= ~bits(offset, n);
    });
}

bool written_unreadable(const WrittenMemory &memory, uint32_t address, size_t count) {
    bool all = true;
    each_block(address, count, [&](uint32_t number, uint32_t offset, size_t n, size_t) {
        if (!all) return;
        auto found = memory.blocks.find(number);
        const uint64_t want = bits(offset, n);
        if (found == memory.blocks.end() || (found->second.unreadable & want) != want) all = false;
    });
    return all;
}

void written_mark_unreadable(WrittenMemory &memory, uint32_t address, size_t count) {
    each_block(address, count, [&](uint32_t number, uint32_t offset, size_t n, size_t) {
        WrittenBlock &block = memory.blocks[number];
        block.unreadable |= bits(offset, n);
        block.known &= ~bits(offset, n);
    });
}
