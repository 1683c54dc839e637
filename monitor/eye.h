// The eye display's arithmetic and its fetch of signal points. The picture
// maps the square -20000..+20000 isotropically onto the client area: the
// square spans the smaller dimension exactly, is centred in the larger one,
// (0, 0) sits at the centre and y points up.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driverlink/device.h"
#include "driverlink/ioctl.h"

constexpr int EYE_UNITS = 20000;  // logical half-width of the square

struct EyeMapping {
    int extent;    // pixels from the centre to the square's edge
    int origin_x;  // pixel of the logical origin
    int origin_y;
};

// The mapping for a client area of width x height pixels. False for an area
// less than 2 pixels wide or high, on which nothing is drawn.
bool eye_mapping(int width, int height, EyeMapping *mapping);

// The pixel of a logical point, rounded to the nearest pixel (halves up).
// Points beyond the square land outside it, or outside the area.
void eye_pixel(const EyeMapping &mapping, int x, int y, int *px, int *py);

// One eye tick's points: -1 when no modem is active (the window is left as
// it is), else the number of points delivered into `points` (0 to 512; a
// driver that reports more delivered no more than the buffer holds).
int eye_fetch(DriverLink &link, int modem, EyePoint points[EYE_POINTS_WANTED]);
