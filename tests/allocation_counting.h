// Counts heap allocations program-wide: replaces the global operator new
// (plain, array and nothrow) and, outside sanitizer builds on glibc, malloc,
// calloc and realloc with versions that count their calls. COUNTS_MALLOC is
// defined where the malloc family is counted.
//
// Replacements of these functions hold for the whole program, so a program
// includes this header in exactly one source file; a second one fails to
// link.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<long> operator_new_calls{0};
inline std::atomic<long> malloc_calls{0};

void *operator new(std::size_t size)
{
    ++operator_new_calls;
    if (void *p = std::malloc(size == 0 ? 1 : size))
        return p;
    std::abort();
}
void *operator new[](std::size_t size) { return operator new(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    ++operator_new_calls;
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
