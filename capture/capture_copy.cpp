// Reading the driver's capture data and appending it to a capture file.
#include "capture/capture_copy.h"

uint32_t read_capture_data(DriverLink &link, int index, unsigned char *buffer) {
    uint32_t input = static_cast<uint32_t>(index);
    uint32_t count = 0;
    driver_control(link, IOCTL_TARVEL_READ_CAPTURE, &input, sizeof input, buffer, CAPTURE_BUFFER_SIZE,
                   &count);
    return count > CAPTURE_BUFFER_SIZE ? CAPTURE_BUFFER_SIZE : count;
}

bool write_capture_data(CaptureFile &file, const unsigned char *buffer, uint32_t count) {
    if (count == 0 || file.handle == NO_HANDLE || file.write_failed) {
        return true;
    }
    if (!platform_write_file(file.handle, buffer, count)) {
        file.write_failed = true;
        return false;
    }
    file.bytes_written += count;
    return true;
}
