// alloc_count.h -- counts the heap allocations of the whole process (every malloc, calloc, realloc
// and aligned allocation, hence every operator new), so that a benchmark can say how many a frame
// makes. Linking alloc_count.cpp into an executable replaces the C allocator's entry points with
// counting ones that forward to the C library's own allocator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace benchalloc {

struct Totals {
    std::uint64_t calls = 0;  // allocation calls
    std::uint64_t bytes = 0;  // bytes asked for
};

// Allocations made by the process so far.
Totals Now();

// Prints the call stack (standard error) of the next `n` allocations, then stops; 0 stops at once.
// Module frames appear as file(+offset): `addr2line -f -C -e <file> <offset>` names the function.
void TraceNext(int n);
// Stops tracing and returns how many stacks were still to be printed.
int StopTrace();

// The number of stacks to trace in each measured window, from $CORVANE_ALLOC_TRACE (0 when unset).
int TraceRequest();

}  // namespace benchalloc
