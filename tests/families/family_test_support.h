// Shared scaffolding for the family handler tests: records built from signed
// or unsigned words, a line with a guard band behind it, tables of expected
// lines, and a driver-memory map that counts how many bytes the decoder
// asked for.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

#include "decode_test_support.h"
#include "decoder/driver_memory.h"
#include "decoder/families.h"

// A family handler of either kind: one that reads driver memory or one that
// does not, run the same way.
struct FamilyHandler {
    void (*plain)(const StatusRecord &, StatusLine &) = nullptr;
    void (*reading)(const StatusRecord &, const DriverMemory &, StatusLine &) = nullptr;

    FamilyHandler(decltype(plain) handler) : plain(handler) {}
    FamilyHandler(decltype(reading) handler) : reading(handler) {}
    void operator()(const StatusRecord &record, const DriverMemory &memory, StatusLine &line) const {
        if (plain != nullptr) {
            plain(record, line);
        } else {
            reading(record, memory, line);
        }
    }
};

// A record of code with param1, param2, ... taken in order; values may be
// negative and are stored as their 32-bit two's complement.
inline StatusRecord make_record(uint32_t code, std::initializer_list<int64_t> params) {
    StatusRecord record{};
    record.code = code;
    record.modem = 1;
    uint32_t *words[] = {&record.param1, &record.param2, &record.param3, &record.param4,
                         &record.param5, &record.param6, &record.param7, &record.param8};
    size_t i = 0;
    for (int64_t value : params) {
        if (i < 8) *words[i++] = static_cast<uint32_t>(value);
    }
    return record;
}

// A StatusLine with bytes behind it that no handler may touch.
constexpr char GUARD_BYTE = 0x5a;
struct GuardedLine {
    StatusLine line;
    char guard[64];
};

// Runs handler on record the way the dispatch does (line emptied first, the
// rest of the buffer stale) and returns the line. Fails the test when the
// line is not terminated inside its 512 bytes or the guard band changed.
inline std::string run_handler(FamilyHandler handler, const StatusRecord &record,
                               const DriverMemory &memory = NO_DRIVER_MEMORY) {
    GuardedLine buffer;
    memset(&buffer, GUARD_BYTE, sizeof buffer);
    buffer.line[0] = '\0';
    handler(record, memory, buffer.line);
    const size_t length = strnlen(buffer.line, STATUS_LINE_BYTES);
    EXPECT_LT(length, STATUS_LINE_BYTES) << "line not terminated inside its buffer";
    for (size_t i = 0; i < sizeof buffer.guard; ++i) {
        if (buffer.guard[i] != GUARD_BYTE) {
            ADD_FAILURE() << "byte " << i << " past the line was overwritten";
            break;
        }
    }
    return std::string(buffer.line, length);
}

// Runs handler on each case's record and expects the case's line.
inline void check_cases(FamilyHandler handler, const LineCase *cases, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(cases[i].description);
        EXPECT_EQ(run_handler(handler, cases[i].record), cases[i].expected);
    }
}

// Driver memory for the tests: one readable region; everything else fails.
struct FakeDriverMemory {
    static constexpr uint32_t BASE = 0x00100000;
    static constexpr size_t SIZE = 4096;
    unsigned char bytes[SIZE];
    size_t bytes_requested;  // sum of the counts the decoder asked for
    size_t largest_request;  // the largest single count asked for
    int calls;
};

inline size_t fake_driver_reader(void *context, uint32_t address, unsigned char *dest, size_t count) {
    FakeDriverMemory *memory = static_cast<FakeDriverMemory *>(context);
    memory->bytes_requested += count;
    if (count > memory->largest_request) memory->largest_request = count;
    memory->calls += 1;
    if (address < FakeDriverMemory::BASE || address >= FakeDriverMemory::BASE + FakeDriverMemory::SIZE) return 0;
    const size_t offset = address - FakeDriverMemory::BASE;
    const size_t available = FakeDriverMemory::SIZE - offset;
    const size_t n = count < available ? count : available;
    memcpy(dest, memory->bytes + offset, n);
    return n;
}

// A fresh fake memory (filled with fill) that the test's handlers read.
class DriverMemoryTest : public ::testing::Test {
protected:
    static constexpr uint32_t BAD_ADDRESS = 0x00000040;
    FakeDriverMemory memory{};

    // run_handler against this test's memory.
    std::string run_handler(FamilyHandler handler, const StatusRecord &record) {
        return ::run_handler(handler, record, DriverMemory{fake_driver_reader, &memory});
    }

    void fill(unsigned char value) { memset(memory.bytes, value, sizeof memory.bytes); }
    // Places bytes at address (inside the region) and returns the address.
    uint32_t place(uint32_t address, const void *data, size_t length) {
        memcpy(memory.bytes + (address - FakeDriverMemory::BASE), data, length);
        return address;
    }
    void reset_counts() {
        memory.bytes_requested = 0;
        memory.largest_request = 0;
        memory.calls = 0;
    }

    // A record, the line it must give and how many bytes of driver memory
    // the handler may ask for to write it.
    struct BlockCase {
        const char *description;
        StatusRecord record;
        const char *expected;
        size_t bytes_read;
    };

    // Runs handler on each case's record with fresh counts and expects the
    // case's line and bytes asked for.
    void check_block_cases(FamilyHandler handler, const BlockCase *cases, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            SCOPED_TRACE(cases[i].description);
            reset_counts();
            EXPECT_EQ(run_handler(handler, cases[i].record), cases[i].expected);
            EXPECT_EQ(memory.bytes_requested, cases[i].bytes_read);
        }
    }
};

// n copies of text.
inline std::string repeat(const std::string &text, size_t n) {
    std::string result;
    for (size_t i = 0; i < n; ++i) result += text;
    return result;
}
