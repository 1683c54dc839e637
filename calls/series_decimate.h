// A series thinned for drawing: at most the lowest and the highest point of
// each pixel column, so that a line over them looks like the line over every
// point while costing two points a column, however many points there are.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "calls/call.h"

// Points of `points` (ascending in time) between from_us and to_us, mapped
// onto `columns` equal columns over that span: for each column its lowest
// and its highest point, in time order (one point when they are the same).
// Points outside the span are left out, except the nearest one on each side,
// so that the line reaches the edges. When there are no more than two points
// a column, or columns is under 1, every point in the span is kept.
// Appends to out.
void series_decimate(std::span<const SeriesPoint> points, int64_t from_us, int64_t to_us, int columns,
                     std::vector<SeriesPoint> &out);
