// Eye mapping and point fetch.
#include "monitor/eye.h"

#include <algorithm>
#include <cstring>

#include "driverlink/device.h"
#include "driverlink/platform.h"

bool eye_mapping(int width, int height, EyeMapping *mapping) {
    if (width < 2 || height < 2) {
        return false;
    }
    // The viewport asked for is (W/2, -(H/2)) around (W/2, H/2); the
    // isotropic mapping shrinks the larger extent to the smaller.
    mapping->extent = std::min(width / 2, height / 2);
    mapping->origin_x = width / 2;
    mapping->origin_y = height / 2;
    return true;
}

// floor(numerator / denominator) for a positive denominator.
static int64_t floor_div(int64_t numerator, int64_t denominator) {
    int64_t q = numerator / denominator;
    if ((numerator % denominator) != 0 && numerator < 0) {
        --q;
    }
    return q;
}

void eye_pixel(const EyeMapping &mapping, int x, int y, int *px, int *py) {
    // origin + round(v * extent / 20000), halves rounded up.
    const int64_t e = mapping.extent;
    *px = mapping.origin_x + static_cast<int>(floor_div(2 * int64_t(x) * e + EYE_UNITS, 2 * EYE_UNITS));
    *py = mapping.origin_y + static_cast<int>(floor_div(-2 * int64_t(y) * e + EYE_UNITS, 2 * EYE_UNITS));
}

int eye_fetch(DriverLink &link, int modem, EyePoint points[EYE_POINTS_WANTED]) {
    if (modem_presence(link) == 0) {
        return -1;
    }
    // Zeroed: a driver reached through METHOD_BUFFERED copies back only as
    // many bytes as it reports points, so the rest of the points it counts
    // must read as (0, 0), never as what the stack held.
    unsigned char buffer[EYE_BUFFER_SIZE] = {};
    const uint32_t wanted = EYE_POINTS_WANTED;
    uint32_t returned = 0;
    const uint32_t code = modem == 1 ? IOCTL_TARVEL_GET_EYE_1 : IOCTL_TARVEL_GET_EYE_2;
    driver_control(link, code, &wanted, sizeof wanted, buffer, sizeof buffer, &returned);
    const uint32_t count = std::min<uint32_t>(returned, EYE_POINTS_WANTED);
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char *p = buffer + 4 * i;
        points[i].x = static_cast<int16_t>(p[0] | (p[1] << 8));
        points[i].y = static_cast<int16_t>(p[2] | (p[3] << 8));
    }
    return static_cast<int>(count);
}
