// object.cpp -- the lookup of issued handles every API entry point makes (As<T>).
#include "object.h"

#include <algorithm>
#include <cstddef>

namespace sim {

namespace {
const std::unordered_set<const void *> *g_issued = nullptr;  // the current world's registry

// The handles lately found issued, by a hash of their address. Modules ask about the same few
// handles many times a frame, and a world never takes back a handle it issued while it lives (a
// deleted record stays, marked dead), so a handle once found stays issued until the registry is
// changed. The API is called from the simulation's thread only.
constexpr std::size_t kRecent = 256;  // a power of two
const void *g_recent[kRecent] = {};

std::size_t Slot(const void *handle)
{
    const auto a = reinterpret_cast<std::uintptr_t>(handle);
    return static_cast<std::size_t>((a >> 4) ^ (a >> 12)) & (kRecent - 1);
}
}  // namespace

bool IsIssued(const void *handle)
{
    if (!g_issued || !handle) return false;
    const void *&recent = g_recent[Slot(handle)];
    if (recent == handle) return true;
    if (g_issued->count(handle) == 0) return false;
    recent = handle;
    return true;
}

void SetIssuedHandles(const std::unordered_set<const void *> *handles)
{
    g_issued = handles;
    std::fill(std::begin(g_recent), std::end(g_recent), nullptr);
}

}  // namespace sim
