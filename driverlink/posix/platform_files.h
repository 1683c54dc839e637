// The POSIX file operations and last-error code that both POSIX-hosted
// platform backends (in-process and daemon) share.
#pragma once

// Records the code that platform_last_error reports next (an errno value).
void platform_set_last_error(int code);

#include <cstdint>

// A driver may report a larger count than it put into the caller's buffer.
// The bytes from filled up to what the reported count covers (points of 4
// bytes for the eye calls, bytes for the others; within the buffer) are
// zeroed, so what an earlier call left there, such as the other modem's
// capture data, can never pass for this call's data.
void clear_unfilled(uint32_t code, void *output, uint32_t output_size, uint32_t filled,
                    uint32_t reported);
