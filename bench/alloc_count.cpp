// alloc_count.cpp -- counting replacements of the C allocator's entry points. operator new and the
// standard containers end in malloc, so these see every heap allocation of the executable and of
// the libraries and modules it loads. Each forwards to the C library's allocator (glibc's __libc_*
// entry points), so memory from either side may be freed by the other.
#include "alloc_count.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <execinfo.h>
#include <unistd.h>

extern "C" {
void *__libc_malloc(size_t n);
void *__libc_calloc(size_t n, size_t size);
void *__libc_realloc(void *p, size_t n);
void *__libc_memalign(size_t align, size_t n);
void *__libc_valloc(size_t n);
void *__libc_pvalloc(size_t n);
}

namespace {

std::atomic<std::uint64_t> g_calls{0}, g_bytes{0};
std::atomic<int> g_trace_left{0};
bool g_in_trace = false;  // the stack walk may allocate itself (it loads the unwinder once)

void Trace()
{
    if (g_in_trace) return;
    g_in_trace = true;
    void *frames[40];
    const int n = backtrace(frames, 40);
    static const char kHead[] = "---- allocation\n";
    if (write(2, kHead, sizeof kHead - 1) < 0) {}
    backtrace_symbols_fd(frames, n, 2);
    g_in_trace = false;
}

inline void Count(size_t n)
{
    g_calls.fetch_add(1, std::memory_order_relaxed);
    g_bytes.fetch_add(n, std::memory_order_relaxed);
    if (g_trace_left.load(std::memory_order_relaxed) > 0 && !g_in_trace) {
        g_trace_left.fetch_sub(1, std::memory_order_relaxed);
        Trace();
    }
}

// The unwinder is loaded on the first stack walk; do that before any measurement.
struct WarmUnwinder {
    WarmUnwinder()
    {
        void *f[2];
        g_in_trace = true;
        backtrace(f, 2);
        g_in_trace = false;
    }
} g_warm_unwinder;

}  // namespace

extern "C" {

void *malloc(size_t n)
{
    Count(n);
    return __libc_malloc(n);
}

void *calloc(size_t n, size_t size)
{
    Count(n * size);
    return __libc_calloc(n, size);
}

void *realloc(void *p, size_t n)
{
    Count(n);
    return __libc_realloc(p, n);
}

void *memalign(size_t align, size_t n)
{
    Count(n);
    return __libc_memalign(align, n);
}

void *aligned_alloc(size_t align, size_t n)
{
    Count(n);
    return __libc_memalign(align, n);
}

int posix_memalign(void **out, size_t align, size_t n)
{
    if (align < sizeof(void *) || (align & (align - 1)) != 0) return EINVAL;
    Count(n);
    void *p = __libc_memalign(align, n);
    if (!p && n) return ENOMEM;
    *out = p;
    return 0;
}

void *valloc(size_t n)
{
    Count(n);
    return __libc_valloc(n);
}

void *pvalloc(size_t n)
{
    Count(n);
    return __libc_pvalloc(n);
}

}  // extern "C"

namespace benchalloc {

Totals Now()
{
    return {g_calls.load(std::memory_order_relaxed), g_bytes.load(std::memory_order_relaxed)};
}

void TraceNext(int n) { g_trace_left.store(n < 0 ? 0 : n, std::memory_order_relaxed); }

int StopTrace() { return g_trace_left.exchange(0, std::memory_order_relaxed); }

int TraceRequest()
{
    const char *s = std::getenv("CORVANE_ALLOC_TRACE");
    return s ? std::atoi(s) : 0;
}

}  // namespace benchalloc
