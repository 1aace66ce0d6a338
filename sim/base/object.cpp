// object.cpp -- the lookup of issued handles every API entry point makes (As<T>).
#include "object.h"

namespace sim {

namespace {
const std::unordered_set<const void *> *g_issued = nullptr;  // the current world's registry
}  // namespace

bool IsIssued(const void *handle) { return g_issued && g_issued->count(handle) != 0; }

void SetIssuedHandles(const std::unordered_set<const void *> *handles) { g_issued = handles; }

}  // namespace sim
