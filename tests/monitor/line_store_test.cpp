// The bounded line store against a plain model of the same bounds, the
// refusal of a line that never fits, and a view catching up with it.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "monitor/line_store.h"

namespace {

// A store over its own small buffers.
struct SmallStore {
    SmallStore(size_t text_size, size_t lines)
        : text(text_size + 16, '#'), offsets(lines), times(lines), codes(lines) {
        line_store_init(&store, text.data(), text_size, offsets.data(), times.data(), lines, codes.data());
    }
    std::vector<char> text;  // 16 guard bytes past the store's text
    std::vector<uint32_t> offsets;
    std::vector<int64_t> times;
    std::vector<uint32_t> codes;
    LineStore store;
};

std::vector<std::string> contents(const LineStore &store) {
    std::vector<std::string> lines;
    for (size_t i = 0; i < store.count; ++i) {
        lines.push_back(line_store_text(store, i));
    }
    return lines;
}

struct StoreCase {
    const char *name;
    size_t text_size;
    size_t lines;
    std::vector<std::string> added;
    std::vector<std::string> kept;
    uint64_t dropped;
};

TEST(LineStore, KeepsTheNewestLinesWithinBothBounds) {
    const StoreCase cases[] = {
        {"under both bounds", 64, 4, {"a", "b"}, {"a", "b"}, 0},
        {"line bound drops the oldest", 64, 3, {"a", "b", "c", "d", "e"}, {"c", "d", "e"}, 2},
        {"text bound drops the oldest", 10, 100, {"aaa", "bbb", "ccc"}, {"bbb", "ccc"}, 1},
        {"wrap to the start of the text", 12, 100, {"aaaa", "bbbb", "cc", "dddd"}, {"cc", "dddd"}, 2},
        // Text is kept contiguous: a long line after the wrap needs room at the start.
        {"a long line drops several", 12, 100, {"a", "b", "c", "d", "eeeeeeee"}, {"eeeeeeee"}, 4},
        {"a long line drops only what is in its way", 14, 100, {"aaaaa", "b", "c", "dddd"}, {"b", "c", "dddd"}, 1},
        {"a line filling the whole text", 6, 100, {"ab", "cdefg"}, {"cdefg"}, 1},
        {"too long even when empty", 6, 100, {"ab", "cdefgh"}, {"ab"}, 1},
        {"empty lines count too", 4, 2, {"", "", "x"}, {"", "x"}, 1},
        {"no room for lines at all", 64, 0, {"a"}, {}, 1},
    };
    for (const StoreCase &c : cases) {
        SCOPED_TRACE(c.name);
        SmallStore s(c.text_size, c.lines);
        for (const std::string &line : c.added) {
            line_store_add(&s.store, line.c_str(), 0);
        }
        EXPECT_EQ(contents(s.store), c.kept);
        EXPECT_EQ(s.store.dropped, c.dropped);
        EXPECT_EQ(std::string(s.text.end() - 16, s.text.end()), std::string(16, '#')) << "wrote past the text";
    }
}

// Random lines of random lengths against a deque with the same two bounds:
// every line, its time and the dropped count must agree after every add.
TEST(LineStore, AgreesWithAModelOverManyWraps) {
    const size_t text_size = 997;
    const size_t lines = 37;
    SmallStore s(text_size, lines);
    std::deque<std::pair<std::string, int64_t>> model;
    uint64_t model_dropped = 0;
    std::mt19937 random(7);
    for (int64_t n = 0; n < 20000; ++n) {
        std::string line(random() % 120, static_cast<char>('a' + n % 26));
        line_store_add(&s.store, line.c_str(), n);
        if (model.size() == lines) {
            model.pop_front();
            ++model_dropped;
        }
        model.emplace_back(line, n);
        // Beyond the line bound the store may drop only for want of text
        // room: the kept lines and the ring's unused tail (less than one
        // line) leave no room for the line dropped last.
        size_t text_drops = 0;
        while (model.size() > s.store.count) {
            model.pop_front();
            ++model_dropped;
            ++text_drops;
        }
        size_t bytes = 0;
        for (const auto &entry : model) {
            bytes += entry.first.size() + 1;
        }
        ASSERT_LE(bytes, text_size);
        if (text_drops > 0) {
            ASSERT_GT(bytes + 2 * 121, text_size) << "dropped lines that still fitted, add " << n;
        }
        ASSERT_EQ(s.store.dropped, model_dropped);
        for (size_t i = 0; i < model.size(); ++i) {
            ASSERT_EQ(line_store_text(s.store, i), model[i].first) << "line " << i << " after add " << n;
            ASSERT_EQ(line_store_time(s.store, i), model[i].second);
        }
    }
    EXPECT_EQ(std::string(s.text.end() - 16, s.text.end()), std::string(16, '#'));
}

TEST(LineView, CatchesUpWithFrontDropsAndNewLines) {
    struct Case {
        const char *name;
        uint64_t shown_first, shown_end;  // what the view shows
        uint64_t first, end;              // what the store holds
        size_t removed, inserted;
    };
    const Case cases[] = {
        {"nothing new", 0, 5, 0, 5, 0, 0},
        {"new lines only", 0, 5, 0, 8, 0, 3},
        {"some oldest dropped", 0, 5, 2, 9, 2, 4},
        {"every shown line dropped", 0, 5, 7, 12, 5, 5},
        {"lines came and went unseen", 10, 20, 30, 40, 10, 10},
        {"empty view, full store", 0, 0, 3, 6, 0, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LineStore store{};
        store.first_number = c.first;
        store.count = static_cast<size_t>(c.end - c.first);
        uint64_t shown_first = c.shown_first, shown_end = c.shown_end;
        ViewChange change = line_view_catch_up(store, &shown_first, &shown_end);
        EXPECT_EQ(change.removed, c.removed);
        EXPECT_EQ(change.inserted, c.inserted);
        EXPECT_EQ(shown_first, c.first);
        EXPECT_EQ(shown_end, c.end);
        // The view's row count follows: old rows - removed + inserted = store count.
        EXPECT_EQ(c.shown_end - c.shown_first - change.removed + change.inserted, store.count);
    }
}

// The line of a moment, in a store that has wrapped (its oldest lines gave
// way): by time alone, and by the code of an event's record near its time
// (records with parameters decode to other texts each time).
TEST(LineStore, FindsTheLineOfAMoment) {
    SmallStore small(4096, 6);
    const struct {
        const char *text;
        int64_t time;
        uint32_t code;
    } added[] = {{"gone", 50, 5}, {"gone", 60, 5}, {"a", 100, 0}, {"RxRate:  24000 bps ", 200, 11},
                 {"c", 200, 0}, {"Retraining! ", 200, 39}, {"d", 300, 0}, {"RxRate:  9600 bps ", 420, 11}};
    for (const auto &line : added) line_store_add(&small.store, line.text, line.time, line.code);
    ASSERT_EQ(small.store.count, 6u);  // a, RxRate 24000, c, Retraining!, d, RxRate 9600
    const struct {
        int64_t time;
        uint32_t code;  // 0: by time alone
        int64_t window;
        size_t line;    // 6: none
    } finds[] = {
        {99, 0, 0, 0},    // before every line: the oldest
        {100, 0, 0, 0},
        {250, 0, 0, 3},   // the newest of three at 200
        {1000, 0, 0, 5},
        {200, 39, 100, 3},
        {200, 11, 100, 1},
        {390, 11, 100, 5},  // nearer than the one at 200
        {300, 39, 50, 6},   // none within 50
        {200, 5, 1000, 6},  // left the store
    };
    for (const auto &find : finds) {
        SCOPED_TRACE(find.time);
        const size_t line = find.code != 0 ? line_store_find_code_near(small.store, find.time, find.window, find.code)
                                           : line_store_find_time(small.store, find.time);
        EXPECT_EQ(line, find.line);
    }
}

}  // namespace
