// The filter of a status list, apart from any window: plain text matched
// without regard to case, or a regular expression (Perl-compatible, read by
// PCRE2) when the filter starts with "/". Every line's match is bounded in
// work: a line whose match would need more is undecided (and shown), never a
// hang, whatever the expression. The verdicts are kept by running line
// number, so that a list decides each line once, and can decide its lines a
// few at a time between the events of a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "monitor/line_store.h"

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct pcre2_real_match_context_8;

// What a filter says of a line.
enum LineVerdict : uint8_t {
    LINE_PENDING,    // not matched yet: hidden until it is
    LINE_SHOWN,      // matches
    LINE_HIDDEN,     // does not match
    LINE_UNDECIDED,  // its match needed more work than a line may take: shown
};

// The work one line's match may take: steps of the matcher, each one item
// of the expression tried at one place of the line. A step costs at most a
// pass over the line, so that a 511-character line takes a few milliseconds
// at most (the worst expressions tried: 0.2 to 1.5 ms on one idle x86-64
// core), and an ordinary expression needs a few steps per character.
constexpr uint32_t LINE_FILTER_STEPS = 10000;
// The engine's own limits, should the steps not stop it first: backtracking
// points, nesting depth, and memory for the backtracking (KiB).
constexpr uint32_t LINE_FILTER_MATCH_LIMIT = 100000;
constexpr uint32_t LINE_FILTER_DEPTH_LIMIT = 10000;
constexpr uint32_t LINE_FILTER_HEAP_KIB = 4096;
// The longest line matched: a status line's 511 characters. A longer one is
// undecided.
constexpr size_t LINE_FILTER_CHARS = 511;
constexpr size_t LINE_FILTER_ERROR_BYTES = 160;

class LineFilter {
public:
    // Keeps the verdicts of up to `capacity` lines: the bound of the list it
    // filters.
    explicit LineFilter(size_t capacity = LINE_STORE_LINES);
    ~LineFilter();
    LineFilter(const LineFilter &) = delete;
    LineFilter &operator=(const LineFilter &) = delete;

    // Sets the filter from its text, `length` bytes of UTF-8: empty lets every
    // line through, "/" and an expression matches the expression, anything
    // else is plain text. Every kept verdict is forgotten. False for an
    // expression that does not compile: the filter then lets every line
    // through and error() says why.
    bool set(const char *text, size_t length);
    bool active() const { return code_ != nullptr; }
    const char *error() const { return error_; }

    // Matches one line (text in Latin-1, one character per byte) now.
    LineVerdict match(const char *line);

    // The verdict on the line numbered `number` (text `line`, null when the
    // line is gone: hidden). The kept one if there is one; else, when
    // `decide`, the line is matched now and the verdict kept; else
    // LINE_PENDING, kept as such. Kept numbers run without gaps from the
    // lowest to the highest asked for (`capacity` of them at most, the
    // oldest forgotten first).
    LineVerdict verdict(uint64_t number, const char *line, bool decide);
    // Lines numbered below `first` have left the list: their verdicts go.
    void forget_before(uint64_t first);
    // Every verdict goes (the list starts over).
    void forget_all();

    // The lowest kept number whose verdict is pending; kept_end() if none.
    uint64_t first_pending();
    uint64_t kept_end() const { return end_; }
    size_t pending() const { return pending_; }
    size_t undecided() const { return undecided_; }

private:
    void keep(uint64_t number, LineVerdict verdict);
    void drop_front();

    pcre2_real_code_8 *code_ = nullptr;
    pcre2_real_match_data_8 *match_data_ = nullptr;
    pcre2_real_match_context_8 *context_ = nullptr;
    uint32_t steps_left_ = 0;
    char error_[LINE_FILTER_ERROR_BYTES] = {};
    // A line in UTF-8, as the expression is: two bytes at most a character.
    char subject_[2 * LINE_FILTER_CHARS];
    // Verdicts of the lines numbered [first_, end_), by number modulo the size.
    std::unique_ptr<uint8_t[]> verdicts_;
    size_t capacity_;
    uint64_t first_ = 0;
    uint64_t end_ = 0;
    uint64_t pending_from_ = 0;  // no pending verdict below this number
    size_t pending_ = 0;
    size_t undecided_ = 0;
};
