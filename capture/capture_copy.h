// The copy of a modem's recorded session data from the driver into a
// capture file, shared by the monitor's captures and the recorder: one read
// of the driver's pending data, the write that keeps the file an exact
// prefix of what the driver delivered, and the last reads before the device
// closes.
#pragma once

#include <cstdint>

#include "driverlink/device.h"
#include "driverlink/ioctl.h"
#include "driverlink/platform.h"

// A capture file and what reached it. After a failed write nothing more is
// written to it, so the file stays an exact prefix of what the driver
// delivered.
struct CaptureFile {
    PlatformHandle handle;  // NO_HANDLE when none
    int64_t bytes_written;
    bool write_failed;
};

constexpr CaptureFile NO_CAPTURE_FILE = {NO_HANDLE, 0, false};

// One read of modem index 0 or 1's pending data into buffer
// (CAPTURE_BUFFER_SIZE bytes); the count of bytes delivered, 0 when nothing
// was pending. A driver that reports more than the buffer holds delivered
// no more than the buffer.
uint32_t read_capture_data(DriverLink &link, int index, unsigned char *buffer);

// Appends count bytes to the file unless an earlier write to it failed or it
// has no handle. False when this write failed (the file is then left alone).
bool write_capture_data(CaptureFile &file, const unsigned char *buffer, uint32_t count);

// The most reads the last copy before the device closes makes of one modem.
constexpr int LAST_READS_MAX = 64;
