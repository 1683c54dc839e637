// The wire between the POSIX platform backend and the tarvel-sim daemon: one
// Unix-domain stream connection per open device. Every request gets one
// reply. Both ends run on the same host, so words travel in host order.
//
//   request: WireRequest, then input_size bytes of input
//   reply:   WireReply, then data_size bytes (data_size <= the request's
//            output_size)
//
// WIRE_OPEN (first request on a connection): input = the device name without
// the \\.\ prefix; result 1 when the device opened, 0 when it refused.
// WIRE_CONTROL: one device-control call; code = the control code, input = its
// input, output_size = the caller's buffer size; returned = the count the
// driver reports; the data are the bytes the driver put into the buffer.
// WIRE_READ_MEMORY: code = address, output_size = bytes wanted; the data are
// the leading bytes that are mapped.
//
// The daemon drops a connection whose request is malformed: wrong magic,
// unknown operation, sizes above the limits, or anything before WIRE_OPEN.
#pragma once

#include <cstdint>

constexpr uint32_t WIRE_MAGIC = 0x54524C31;  // "TRL1"

enum WireOp : uint32_t {
    WIRE_OPEN = 1,
    WIRE_CONTROL = 2,
    WIRE_READ_MEMORY = 3,
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
