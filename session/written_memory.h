// What a session file has said so far about driver memory: for each byte,
// nothing, its value (a mem directive), or that it cannot be read (an
// unreadable directive). The session writer compares each read with it, so
// that a file only ever states what changed. Kept in 64-byte blocks, so it
// grows with the bytes written, not with the address range, and a text of
// 511 bytes is a handful of look-ups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

constexpr uint32_t WRITTEN_BLOCK_BYTES = 64;

struct WrittenBlock {
    unsigned char bytes[WRITTEN_BLOCK_BYTES];
    uint64_t known;       // bit i: bytes[i] holds the value the file gave
    uint64_t unreadable;  // bit i: the file said byte i cannot be read
};

struct WrittenMemory {
    std::unordered_map<uint32_t, WrittenBlock> blocks;  // by address / 64
};

// True when the file already holds every one of the count bytes at address
// as given: the usual case, answered without marking anything.
bool written_holds(const WrittenMemory &memory, uint32_t address, const unsigned char *bytes, size_t count);
// Sets changed[i] for each of the count bytes at address whose value the
// file does not yet hold; returns how many.
size_t written_changes(const WrittenMemory &memory, uint32_t address, const unsigned char *bytes,
                       size_t count, bool *changed);
// The file now holds these values.
void written_store(WrittenMemory &memory, uint32_t address, const unsigned char *bytes, size_t count);
// True when the file already says that every one of the bytes cannot be read.
bool written_unreadable(const WrittenMemory &memory, uint32_t address, size_t count);
// The file now says these bytes cannot be read.
void written_mark_unreadable(WrittenMemory &memory, uint32_t address, size_t count);
