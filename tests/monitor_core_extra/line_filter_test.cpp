// The status lists' filter without a window: what it says of a line (an
// invalid expression says why), the bound on the work of one line's match,
// and the verdicts it keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "monitor/line_filter.h"

namespace {

bool set_filter(LineFilter *filter, const std::string &text) { return filter->set(text.data(), text.size()); }

}  // namespace

TEST(LineFilter, VerdictsOnLines) {
    const std::string backtracking = std::string(510, 'a') + "!";
    struct Row {
        std::string filter;
        std::string line;  // Latin-1
        LineVerdict verdict;
    } rows[] = {
        {"", "anything", LINE_SHOWN},
        {"sampling RATE", "Sampling rate:\t\t\t  9600 Hz\t", LINE_SHOWN},
        {"9600", "Sampling rate:\t\t\t  8000 Hz\t", LINE_HIDDEN},
        {"(a+)+$", "x (a+)+$ y", LINE_SHOWN},                  // plain text is literal
        {"\xc3\x89T\xc3\x89", "l'\xe9t\xe9", LINE_SHOWN},      // "ÉTÉ" in UTF-8, a Latin-1 line
        {"/^Sampling", "Sampling rate", LINE_SHOWN},
        {"/^sampling", "Sampling rate", LINE_HIDDEN},          // expressions keep case
        {"/\\t +1\\d{4} Hz", "Sampling rate:\t\t\t 11025 Hz\t", LINE_SHOWN},
        {"/caf.$", "caf\xe9", LINE_SHOWN},                     // one character per byte
        {"/", "anything", LINE_SHOWN},
        {"/(y", "x", LINE_SHOWN},                              // invalid: filters nothing
        {"/a{2,1}", "b", LINE_SHOWN},
        {"/(a+)+$", "aaaaaaaa!", LINE_HIDDEN},                 // short enough to decide
        {"/(a+)+$", backtracking, LINE_UNDECIDED},
        {"/a*a*[bc]", std::string(511, 'a'), LINE_UNDECIDED},
        {"/a*a*a*[bc]", std::string(511, 'a'), LINE_UNDECIDED},
        {"/(?i)a*a*[bc]", std::string(511, 'a'), LINE_UNDECIDED},
        {"/(a|aa)*[bc]", std::string(511, 'a'), LINE_UNDECIDED},
        {"/(?=a*a*[bc])", std::string(511, 'a'), LINE_UNDECIDED},
        {"/x", std::string(LINE_FILTER_CHARS + 1, 'x'), LINE_UNDECIDED},  // longer than a status line
        {"/x$", std::string(LINE_FILTER_CHARS, 'x'), LINE_SHOWN},
    };
    LineFilter filter;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.filter + " on " + row.line.substr(0, 40));
        // An expression that does not compile says why.
        const bool valid = set_filter(&filter, row.filter);
        EXPECT_EQ(valid, filter.error()[0] == '\0');
        // The least of three runs: the bound is on the work, not on a busy machine.
        double fastest_ms = 1e9;
        for (int run = 0; run < 3; ++run) {
            const auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(static_cast<int>(filter.match(row.line.c_str())), static_cast<int>(row.verdict));
            fastest_ms = std::min(
                fastest_ms, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        EXPECT_LT(fastest_ms, 30.0) << "one line's match took too long";
    }
}

TEST(LineFilter, KeepsVerdictsByLineNumberAndCountsPendingAndUndecided) {
    LineFilter filter;
    ASSERT_TRUE(set_filter(&filter, "/(a+)+$"));
    const std::string hard = std::string(510, 'a') + "!";
    // Lines 100..104 asked for without time to decide: pending, hidden.
    for (uint64_t n = 100; n < 105; ++n) {
        EXPECT_EQ(filter.verdict(n, hard.c_str(), false), LINE_PENDING);
    }
    EXPECT_EQ(filter.pending(), 5u);
    EXPECT_EQ(filter.first_pending(), 100u);
    // Line 107 decided: 105 and 106 come in pending before it.
    EXPECT_EQ(filter.verdict(107, "aa", true), LINE_SHOWN);
    EXPECT_EQ(filter.pending(), 7u);
    EXPECT_EQ(filter.kept_end(), 108u);
    // Deciding from the lowest pending line on.
    for (uint64_t n = filter.first_pending(); n < filter.kept_end(); n = filter.first_pending()) {
        filter.verdict(n, n % 2 == 0 ? hard.c_str() : "b", true);
    }
    EXPECT_EQ(filter.pending(), 0u);
    EXPECT_EQ(filter.undecided(), 4u);  // 100, 102, 104, 106
    EXPECT_EQ(filter.verdict(100, "aa", true), LINE_UNDECIDED) << "the kept verdict, not a new match";
    EXPECT_EQ(filter.verdict(101, "aa", true), LINE_HIDDEN);
    // An older line asked for later is kept too.
    EXPECT_EQ(filter.verdict(98, "aa", false), LINE_PENDING);
    EXPECT_EQ(filter.first_pending(), 98u);
    // Lines that left the list take their verdicts with them.
    filter.forget_before(103);
    EXPECT_EQ(filter.pending(), 0u);
    EXPECT_EQ(filter.undecided(), 2u);
    // The oldest verdicts make way once a list's worth is kept.
    // 103 to 107 are kept: reaching 104 + LINE_STORE_LINES drops 103 and 104.
    filter.verdict(104 + LINE_STORE_LINES, "aa", false);
    EXPECT_EQ(filter.undecided(), 1u);
    EXPECT_EQ(filter.pending(), LINE_STORE_LINES - 3);
    // A new filter starts over.
    ASSERT_TRUE(set_filter(&filter, "a"));
    EXPECT_EQ(filter.pending(), 0u);
    EXPECT_EQ(filter.undecided(), 0u);
    EXPECT_EQ(filter.verdict(5, "A", false), LINE_PENDING);
}

// A filter sized for a list of an opened session keeps its lines' verdicts
// beyond the live bound.
TEST(LineFilter, ABiggerListKeepsAllItsVerdicts) {
    const size_t lines = LINE_STORE_LINES + 10;
    LineFilter filter(lines);
    ASSERT_TRUE(set_filter(&filter, "a"));
    filter.verdict(lines - 1, "a", true);
    filter.verdict(0, "a", true);
    EXPECT_EQ(filter.pending(), lines - 2);
    EXPECT_EQ(filter.first_pending(), 1u);
}
