// Device-control calls of the Tarvel modem driver and the sizes of their
// buffers. Codes: device type FILE_DEVICE_SERIAL_PORT (0x1B), functions 0x801
// to 0x806, METHOD_BUFFERED, FILE_ANY_ACCESS.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/status.h"  // STATUS_RECORD_BYTES: the output of IOCTL_TARVEL_GET_STATUS

constexpr uint32_t tarvel_ctl_code(uint32_t function) {
    return (0x1Bu << 16) | (0u << 14) | (function << 2) | 0u;
}

constexpr uint32_t IOCTL_TARVEL_GET_STATUS = tarvel_ctl_code(0x801);       // out: one 40-byte record
constexpr uint32_t IOCTL_TARVEL_GET_EYE_1 = tarvel_ctl_code(0x802);        // in: points wanted; out: points of modem 1
constexpr uint32_t IOCTL_TARVEL_GET_EYE_2 = tarvel_ctl_code(0x803);        // as above, modem 2
constexpr uint32_t IOCTL_TARVEL_READ_CAPTURE = tarvel_ctl_code(0x804);     // in: modem index 0 or 1; out: capture bytes
constexpr uint32_t IOCTL_TARVEL_CAPTURE_BEGIN_2 = tarvel_ctl_code(0x805);  // in: modem number 1 or 2
constexpr uint32_t IOCTL_TARVEL_CAPTURE_BEGIN_1 = tarvel_ctl_code(0x806);  // in: modem number 1 or 2; issued first

static_assert(IOCTL_TARVEL_GET_STATUS == 0x1B2004);
static_assert(IOCTL_TARVEL_GET_EYE_1 == 0x1B2008);
static_assert(IOCTL_TARVEL_GET_EYE_2 == 0x1B200C);
static_assert(IOCTL_TARVEL_READ_CAPTURE == 0x1B2010);
static_assert(IOCTL_TARVEL_CAPTURE_BEGIN_2 == 0x1B2014);
static_assert(IOCTL_TARVEL_CAPTURE_BEGIN_1 == 0x1B2018);

constexpr uint32_t EYE_POINTS_WANTED = 512;        // points asked for on every eye call
constexpr uint32_t EYE_BUFFER_SIZE = 2048;         // bytes of the eye output buffer (512 points)
constexpr uint32_t CAPTURE_BUFFER_SIZE = 524288;   // bytes of the capture buffer (0x80000)

// One received signal point: x then y, signed 16-bit little-endian.
struct EyePoint {
    int16_t x;
    int16_t y;
};
static_assert(sizeof(EyePoint) == 4);
