// Decoding allocates nothing: operator new (and, outside sanitizer builds on
// glibc, malloc) are counted while the whole sweep is decoded.
#include "decoder/status.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "sweep.h"

namespace {
std::atomic<long> allocations{0};
}

void *operator new(std::size_t size)
{
    ++allocations;
    if (void *p = std::malloc(size == 0 ? 1 : size))
        return p;
    std::abort();
}
void *operator new[](std::size_t size) { return operator new(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept
{
    return operator new(size, tag);
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define COUNTS_MALLOC 1
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
std::atomic<long> malloc_calls{0};
void *malloc(size_t size)
{
    ++malloc_calls;
    return __libc_malloc(size);
}
void *calloc(size_t n, size_t size)
{
    ++malloc_calls;
    return __libc_calloc(n, size);
}
void *realloc(void *p, size_t size)
{
    ++malloc_calls;
    return __libc_realloc(p, size);
}
}
#endif

namespace {

TEST(NoAllocation, DecodingTheSweepAllocatesNothing)
{
    install_memory_map(sweep::MAP);
    StatusLine line;
    decode_status(StatusRecord{1, 0, 0, 0, 0, 0, 0, 0, 0, 1}, line);  // settle lazy set-up
    const long news_before = allocations.load();
#ifdef COUNTS_MALLOC
    const long mallocs_before = malloc_calls.load();
#endif
    long records = 0;
    sweep::for_each_record([&](const StatusRecord &r) {
        decode_status(r, line);
        ++records;
    });
    const long news = allocations.load() - news_before;
#ifdef COUNTS_MALLOC
    const long mallocs = malloc_calls.load() - mallocs_before;
    EXPECT_EQ(0, mallocs) << "malloc calls while decoding " << records << " records";
#endif
    set_driver_memory_reader(nullptr, nullptr);
    EXPECT_EQ(0, news) << "operator new calls while decoding " << records << " records";
    EXPECT_GT(records, 40000);
}

// The counters do count: an allocation outside the decoder is seen.
TEST(NoAllocation, CountersSeeAnAllocation)
{
    const long before = allocations.load();
    int *p = new int(5);
    EXPECT_EQ(before + 1, allocations.load());
    delete p;
#ifdef COUNTS_MALLOC
    const long mallocs_before = malloc_calls.load();
    void *volatile q = std::malloc(16);
    EXPECT_EQ(mallocs_before + 1, malloc_calls.load());
    std::free(q);
#endif
}

}  // namespace
