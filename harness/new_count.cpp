// new_count.cpp -- a counting replacement of the global operator new and delete, on the C
// allocator (so that the sanitizers' allocator still sees every block). In a file of its own: the
// compiler must not see a new's malloc meet a delete's free.
#include "new_count.h"

#include <cstdlib>
#include <new>

namespace {
bool g_counting = false;
long g_count = 0;
}  // namespace

// Every form but the aligned ones (which keep the library's own pair), so that a block is always
// given back to the allocator it came from.
void *operator new(std::size_t n, const std::nothrow_t &) noexcept
{
    if (g_counting) ++g_count;
    return std::malloc(n ? n : 1);
}
void *operator new(std::size_t n)
{
    if (void *p = operator new(n, std::nothrow)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void *operator new[](std::size_t n, const std::nothrow_t &) noexcept { return operator new(n, std::nothrow); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }

namespace newcount {

void Start()
{
    g_count = 0;
    g_counting = true;
}

long Stop()
{
    g_counting = false;
    return g_count;
}

}  // namespace newcount
