// Status list filter over PCRE2's 8-bit library, in UTF-8 mode. The engine
// runs without its just-in-time compiler; an expression is compiled with an
// automatic callout before every item, and the callout counts the steps of
// the whole match (every place of the line it starts from), so that no
// expression can take more than LINE_FILTER_STEPS of them. The engine's match
// limit alone would not do: it restarts at every starting place and does not
// see a single-character repeat scanning back and forth.
#include "monitor/line_filter.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdio>

// Counts one step of a match; ends the match when none is left.
static int count_step(pcre2_callout_block *, void *data) {
    uint32_t *left = static_cast<uint32_t *>(data);
    if (*left == 0) {
        return PCRE2_ERROR_CALLOUT;
    }
    --*left;
    return 0;
}

LineFilter::LineFilter(size_t capacity)
    : verdicts_(new uint8_t[capacity > 0 ? capacity : 1]), capacity_(capacity > 0 ? capacity : 1) {
    context_ = pcre2_match_context_create(nullptr);
    if (context_ != nullptr) {
        pcre2_set_match_limit(context_, LINE_FILTER_MATCH_LIMIT);
        pcre2_set_depth_limit(context_, LINE_FILTER_DEPTH_LIMIT);
        pcre2_set_heap_limit(context_, LINE_FILTER_HEAP_KIB);
        pcre2_set_callout(context_, count_step, &steps_left_);
    }
}

LineFilter::~LineFilter() {
    pcre2_match_data_free(match_data_);
    pcre2_code_free(code_);
    pcre2_match_context_free(context_);
}

bool LineFilter::set(const char *text, size_t length) {
    pcre2_match_data_free(match_data_);
    pcre2_code_free(code_);
    match_data_ = nullptr;
    code_ = nullptr;
    error_[0] = '\0';
    forget_all();
    if (length == 0) {
        return true;
    }
    if (context_ == nullptr) {
        std::snprintf(error_, sizeof error_, "out of memory");
        return false;
    }
    // The lines are Latin-1, turned into UTF-8 for the match; the filter's
    // characters are Unicode, so that one outside Latin-1 matches nothing
    // rather than some other character.
    uint32_t options = PCRE2_UTF;
    if (text[0] == '/') {
        ++text;
        --length;
        options |= PCRE2_AUTO_CALLOUT;
    } else {
        // Plain text: a literal, found in at most a pass per place of the line.
        options |= PCRE2_LITERAL | PCRE2_CASELESS;
    }
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text), length, options, &error, &offset, nullptr);
    if (code_ == nullptr) {
        pcre2_get_error_message(error, reinterpret_cast<PCRE2_UCHAR *>(error_), sizeof error_);
        return false;
    }
    // Only whether the line matches: one pair of offsets.
    match_data_ = pcre2_match_data_create(1, nullptr);
    if (match_data_ == nullptr) {
        pcre2_code_free(code_);
        code_ = nullptr;
        std::snprintf(error_, sizeof error_, "out of memory");
        return false;
    }
    return true;
}

LineVerdict LineFilter::match(const char *line) {
    if (code_ == nullptr) {
        return LINE_SHOWN;
    }
    if (line == nullptr) {
        return LINE_HIDDEN;
    }
    size_t bytes = 0;
    size_t chars = 0;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(line); *c != '\0'; ++c, ++chars) {
        if (chars == LINE_FILTER_CHARS) {
            return LINE_UNDECIDED;
        }
        if (*c < 0x80) {
            subject_[bytes++] = static_cast<char>(*c);
        } else {
            subject_[bytes++] = static_cast<char>(0xC0 | (*c >> 6));
            subject_[bytes++] = static_cast<char>(0x80 | (*c & 0x3F));
        }
    }
    steps_left_ = LINE_FILTER_STEPS;
    const int result = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject_), bytes, 0, PCRE2_NO_UTF_CHECK,
                                   match_data_, context_);
    if (result >= 0) {
        return LINE_SHOWN;
    }
    // Out of steps, over one of the engine's limits, out of memory: not known.
    return result == PCRE2_ERROR_NOMATCH ? LINE_HIDDEN : LINE_UNDECIDED;
}

LineVerdict LineFilter::verdict(uint64_t number, const char *line, bool decide) {
    if (code_ == nullptr) {
        return LINE_SHOWN;
    }
    if (first_ == end_ || number >= end_ + capacity_) {
        // Nothing kept, or every kept line is far older: start over here.
        forget_all();
        first_ = end_ = pending_from_ = number;
    }
    if (number < first_) {
        if (end_ - number > capacity_) {
            return match(line);  // older than any list holds: not kept
        }
        while (first_ > number) {
            verdicts_[--first_ % capacity_] = LINE_PENDING;
            ++pending_;
        }
        pending_from_ = first_;
    }
    while (end_ <= number) {
        if (end_ - first_ == capacity_) {
            drop_front();
        }
        verdicts_[end_++ % capacity_] = LINE_PENDING;
        ++pending_;
    }
    uint8_t &kept = verdicts_[number % capacity_];
    if (kept == LINE_PENDING && decide) {
        kept = match(line);
        --pending_;
        if (kept == LINE_UNDECIDED) {
            ++undecided_;
        }
    }
    return static_cast<LineVerdict>(kept);
}

void LineFilter::drop_front() {
    const uint8_t verdict = verdicts_[first_++ % capacity_];
    if (verdict == LINE_PENDING) {
        --pending_;
    } else if (verdict == LINE_UNDECIDED) {
        --undecided_;
    }
    if (pending_from_ < first_) {
        pending_from_ = first_;
    }
}

void LineFilter::forget_before(uint64_t first) {
    while (first_ < end_ && first_ < first) {
        drop_front();
    }
}

void LineFilter::forget_all() {
    first_ = end_ = pending_from_ = 0;
    pending_ = 0;
    undecided_ = 0;
}

uint64_t LineFilter::first_pending() {
    if (pending_ == 0) {
        return end_;
    }
    while (pending_from_ < end_ && verdicts_[pending_from_ % capacity_] != LINE_PENDING) {
        ++pending_from_;
    }
    return pending_from_;
}
