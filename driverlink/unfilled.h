// Bytes that a device-control call did not fill. A driver may report a
// larger count than it put into the caller's buffer; a simulated driver's
// backend, which knows both, zeroes the bytes from filled up to what the
// reported count covers (points of 4 bytes for the eye calls, bytes for the
// others; within the buffer). So what an earlier call left in a shared
// buffer, such as the other modem's capture data, can never pass for this
// call's data.
#pragma once

#include <cstdint>
#include <cstring>

#include "driverlink/ioctl.h"

inline void clear_unfilled(uint32_t code, void *output, uint32_t output_size, uint32_t filled,
                           uint32_t reported) {
    const bool points = code == IOCTL_TARVEL_GET_EYE_1 || code == IOCTL_TARVEL_GET_EYE_2;
    const uint64_t covered = points ? uint64_t(reported) * sizeof(EyePoint) : reported;
    const uint32_t end = covered < output_size ? uint32_t(covered) : output_size;
    if (output != nullptr && filled < end) {
        memset(static_cast<unsigned char *>(output) + filled, 0, end - filled);
    }
}
