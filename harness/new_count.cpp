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

void *operator new(std::size_t n)
{
    if (g_counting) ++g_count;
    if (void *p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

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
