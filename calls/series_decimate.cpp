#include "calls/series_decimate.h"

#include <algorithm>
#include <cstdint>

void series_decimate(std::span<const SeriesPoint> points, int64_t from_us, int64_t to_us, int columns,
                     std::vector<SeriesPoint> &out) {
    if (points.empty() || to_us < from_us) return;
    const auto before = [](const SeriesPoint &p, int64_t t) { return p.time_us < t; };
    size_t first = static_cast<size_t>(std::lower_bound(points.begin(), points.end(), from_us, before) - points.begin());
    size_t end = static_cast<size_t>(
        std::upper_bound(points.begin(), points.end(), to_us,
                         [](int64_t t, const SeriesPoint &p) { return t < p.time_us; }) -
        points.begin());
    // The neighbour on each side carries the line to the edge.
    if (first > 0) --first;
    if (end < points.size()) ++end;
    if (columns < 1 || end - first <= static_cast<size_t>(columns) * 2) {
        out.insert(out.end(), points.begin() + static_cast<ptrdiff_t>(first), points.begin() + static_cast<ptrdiff_t>(end));
        return;
    }
    const int64_t span = to_us - from_us + 1;
    const auto column_of = [&](int64_t t) -> int64_t {
        if (t < from_us) return -1;
        if (t > to_us) return columns;
        // The exact product while it fits in 64 bits (spans of centuries in
        // microseconds times thousands of columns); beyond, long double.
        const int64_t offset = t - from_us;
        if (offset <= INT64_MAX / columns) return offset * columns / span;
        return static_cast<int64_t>(static_cast<long double>(offset) * columns / span);
    };
    size_t i = first;
    while (i < end) {
        const int64_t column = column_of(points[i].time_us);
        size_t low = i, high = i;
        size_t j = i + 1;
        for (; j < end && column_of(points[j].time_us) == column; ++j) {
            if (points[j].value < points[low].value) low = j;
            if (points[j].value > points[high].value) high = j;
        }
        // In time order, so that the line runs forward.
        const size_t a = std::min(low, high), b = std::max(low, high);
        out.push_back(points[a]);
        if (b != a) out.push_back(points[b]);
        i = j;
    }
}
