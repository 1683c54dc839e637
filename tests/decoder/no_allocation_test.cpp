// Decoding allocates nothing: operator new (and, outside sanitizer builds on
// glibc, malloc) are counted while the whole sweep is decoded.
#include "decoder/status.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "allocation_counting.h"
#include "sweep.h"

namespace {

TEST(NoAllocation, DecodingTheSweepAllocatesNothing)
{
    const DriverMemory memory = map_memory(sweep::MAP);
    StatusLine line;
    decode_status(StatusRecord{1, 0, 0, 0, 0, 0, 0, 0, 0, 1}, memory, line);  // settle lazy set-up
    const long news_before = operator_new_calls.load();
#ifdef COUNTS_MALLOC
    const long mallocs_before = malloc_calls.load();
#endif
    long records = 0;
    sweep::for_each_record([&](const StatusRecord &r) {
        decode_status(r, memory, line);
        ++records;
    });
    const long news = operator_new_calls.load() - news_before;
#ifdef COUNTS_MALLOC
    const long mallocs = malloc_calls.load() - mallocs_before;
    EXPECT_EQ(0, mallocs) << "malloc calls while decoding " << records << " records";
#endif
    EXPECT_EQ(0, news) << "operator new calls while decoding " << records << " records";
    EXPECT_GT(records, 40000);
}

// The counters do count: an allocation outside the decoder is seen.
TEST(NoAllocation, CountersSeeAnAllocation)
{
    const long before = operator_new_calls.load();
    int *p = new int(5);
    EXPECT_EQ(before + 1, operator_new_calls.load());
    delete p;
#ifdef COUNTS_MALLOC
    const long mallocs_before = malloc_calls.load();
    void *volatile q = std::malloc(16);
    EXPECT_EQ(mallocs_before + 1, malloc_calls.load());
    std::free(q);
#endif
}

}  // namespace
