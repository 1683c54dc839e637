// Thinning a series for drawing: the extremes of every pixel column stay,
// in time order, and the line still reaches both edges.
#include <gtest/gtest.h>

#include <vector>

#include "calls/series_decimate.h"

namespace {

// A saw: value i % 10 at time i * 10 (0 to 9 in every 100 µs).
std::vector<SeriesPoint> saw(int count) {
    std::vector<SeriesPoint> points;
    for (int i = 0; i < count; ++i) points.push_back({int64_t(i) * 10, int32_t(i % 10)});
    return points;
}

TEST(SeriesDecimate, KeepsEachColumnsExtremesInTimeOrder) {
    const struct {
        const char *name;
        int count;
        int64_t from, to;
        int columns;
        size_t kept;
        int64_t first_time, last_time;
    } cases[] = {
        {"few points are all kept", 10, 0, 90, 100, 10, 0, 90},
        {"no columns keep all", 1000, 0, 9990, 0, 1000, 0, 9990},
        {"100 columns of 10 points: low and high each", 1000, 0, 9999, 100, 200, 0, 9990},
        {"a window adds a neighbour on each side", 1000, 2000, 2999, 10, 22, 1990, 3000},
        {"an empty window keeps the two neighbours", 1000, 2001, 2009, 10, 2, 2000, 2010},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<SeriesPoint> points = saw(c.count);
        std::vector<SeriesPoint> out;
        series_decimate(points, c.from, c.to, c.columns, out);
        ASSERT_EQ(out.size(), c.kept);
        EXPECT_EQ(out.front().time_us, c.first_time);
        EXPECT_EQ(out.back().time_us, c.last_time);
        for (size_t i = 1; i < out.size(); ++i) EXPECT_LT(out[i - 1].time_us, out[i].time_us);
        // Thinned to whole columns, each of which spans the saw's 0 to 9:
        // both extremes kept, the low one first.
        if (c.kept == 2 * size_t(c.columns)) {
            for (size_t i = 0; i < out.size(); i += 2) {
                EXPECT_EQ(out[i].value, 0);
                EXPECT_EQ(out[i + 1].value, 9);
            }
        }
    }
}

}  // namespace
