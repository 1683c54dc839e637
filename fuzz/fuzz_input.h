// Reading a fuzzer's input as a stream of little-endian fields; past the
// end every field reads as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct FuzzInput {
    const uint8_t *data;
    size_t size;
    size_t at;
};

inline bool fuzz_done(const FuzzInput &in) { return in.at >= in.size; }

inline size_t fuzz_take(FuzzInput &in, void *dest, size_t count) {
    const size_t left = in.at < in.size ? in.size - in.at : 0;
    const size_t part = count < left ? count : left;
    if (part != 0) {
        memcpy(dest, in.data + in.at, part);
    }
    if (part < count) {
        memset(static_cast<unsigned char *>(dest) + part, 0, count - part);
    }
    in.at += part;
    return part;
}

inline uint8_t fuzz_byte(FuzzInput &in) {
    uint8_t byte = 0;
    fuzz_take(in, &byte, 1);
    return byte;
}

inline uint32_t fuzz_word(FuzzInput &in) {
    unsigned char bytes[4];
    fuzz_take(in, bytes, 4);
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t(bytes[3]) << 24);
}
