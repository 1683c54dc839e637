// The wire between the POSIX platform backend and the tarvel-sim daemon: one
// Unix-domain stream connection per open device. Every request gets one
// reply. Both ends run on the same host, so words travel in host order.
//
//   request: WireRequest, then input_size bytes of input
//   reply:   WireReply, then data_size bytes (data_size <= the request's
//            output_size)
//
// WIRE_OPEN (first request on a connection): input = the device name without
// the \\.\ prefix; result 1 when the device opened, 0 when it refused;
// returned = the daemon's WIRE_VERSION (a daemon of version 1 says 0).
// WIRE_CONTROL: one device-control call; code = the control code, input = its
// input, output_size = the caller's buffer size; returned = the count the
// driver reports; the data are the bytes the driver put into the buffer.
// WIRE_READ_MEMORY: code = address, output_size = bytes wanted; the data are
// the leading bytes that are mapped, as the record taken last sees them.
// Version 2 adds:
// WIRE_STATUS_BATCH: up to code (1 to WIRE_BATCH_RECORDS_MAX) status calls
// at once, as many IOCTL_TARVEL_GET_STATUS calls in a row would take them;
// output_size (at least WIRE_STATUS_ENTRY_MAX) bounds the reply. returned =
// the records delivered; the data are one entry per record: a
// WireStatusEntry, then reads_size bytes of WireMemoryRead, each followed by
// its `got` bytes: the driver memory that the intake reads for the record
// (its decoding, or a capture request's file name), as the record sees it.
// Nothing is delivered when the queue is empty (returned 0, and the call log
// gets one empty status call).
// WIRE_STATUS_RETURN: code = how many of the last batch's records were not
// used (at most that batch's count); they go back to the front of the
// queue, as if they had never been taken (a program closes its device with
// records of a batch left over). returned = the records put back.
//
// The daemon drops a connection whose request is malformed: wrong magic,
// unknown operation, sizes above the limits, or anything before WIRE_OPEN.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr uint32_t WIRE_MAGIC = 0x54524C31;  // "TRL1"
constexpr uint32_t WIRE_VERSION = 2;

enum WireOp : uint32_t {
    WIRE_OPEN = 1,
    WIRE_CONTROL = 2,
    WIRE_READ_MEMORY = 3,
    WIRE_STATUS_BATCH = 4,
    WIRE_STATUS_RETURN = 5,
};

struct WireRequest {
    uint32_t magic;
    uint32_t op;
    uint32_t code;
    uint32_t input_size;
    uint32_t output_size;
};

struct WireReply {
    uint32_t magic;
    uint32_t result;    // 1: done, 0: refused or failed
    uint32_t returned;  // the reported count
    uint32_t data_size;
};

constexpr uint32_t WIRE_MAX_INPUT = 256;           // device names and input words
constexpr uint32_t WIRE_MAX_OUTPUT = 524288;       // the largest buffer of any call
constexpr uint32_t WIRE_MAX_MEMORY_READ = 65536;   // per driver-memory request

constexpr uint32_t WIRE_RECORD_BYTES = 40;
struct WireStatusEntry {
    uint32_t returned;    // the count the status call reports for this record
    uint32_t reads_size;  // bytes of reads after the record
    unsigned char record[WIRE_RECORD_BYTES];
};
struct WireMemoryRead {
    uint32_t address;
    uint32_t count;  // bytes asked for
    uint32_t got;    // leading bytes that could be read; they follow
};
constexpr uint32_t WIRE_BATCH_RECORDS_MAX = 4096;
// The largest entry: the record and the reads of one record's decoding,
// which reads at most 32 blocks and 4,096 bytes.
constexpr uint32_t WIRE_STATUS_ENTRY_MAX = 8192;

// Appends one read to an encoded list of reads.
template <typename Bytes>
void wire_append_read(Bytes &out, uint32_t address, uint32_t count, const unsigned char *bytes, uint32_t got) {
    const WireMemoryRead read = {address, count, got};
    const unsigned char *head = reinterpret_cast<const unsigned char *>(&read);
    out.insert(out.end(), head, head + sizeof read);
    out.insert(out.end(), bytes, bytes + got);
}

// Serves a read of count bytes at address from an encoded list of reads: a
// read of that address that asked for at least count bytes answers it with
// the leading bytes it got. True when one did (*got: how many bytes went to
// dest); false when the list does not hold the answer.
inline bool wire_find_read(const unsigned char *reads, size_t size, uint32_t address, unsigned char *dest,
                           size_t count, size_t *got) {
    size_t at = 0;
    while (size - at >= sizeof(WireMemoryRead)) {
        WireMemoryRead read;
        memcpy(&read, reads + at, sizeof read);
        at += sizeof read;
        if (read.got > read.count || read.got > size - at) {
            return false;
        }
        if (read.address == address && read.count >= count) {
            *got = read.got < count ? read.got : count;
            memcpy(dest, reads + at, *got);
            return true;
        }
        at += read.got;
    }
    return false;
}
