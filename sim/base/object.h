// object.h -- what every host handle points at. Handles given to modules are raw pointers to these
// records; the world keeps every record it ever issued until it ends, so a stale handle still
// points at a live record (marked dead) and is reported instead of crashing the host.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

namespace sim {

enum class Kind : std::uint32_t {
    Body = 0x42, Vessel, Thruster, Group, Tank, Attachment, Airfoil, Mesh, Surface, Annotation,
    Visual, Stream, Component, File
};

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Object(const Object &) = delete;
    Object &operator=(const Object &) = delete;

    static constexpr std::uint32_t kMagic = 0xC0A7A9E5u;
    std::uint32_t magic = kMagic;
    Kind kind;
    bool alive = true;  // false once deleted; the record itself stays until the world ends
};

// The record behind a handle of the expected kind, or null (a bad handle, a foreign pointer, a
// record of another kind, or a deleted one). Every API entry point goes through this.
// True when the current world issued this record: its handle is in the set of handles the world
// gives this room while it is the current one (the world owns the set, this room only looks).
bool IsIssued(const void *handle);
void SetIssuedHandles(const std::unordered_set<const void *> *handles);  // null: no world

template <class T>
T *As(const void *handle, Kind k, bool allow_dead = false)
{
    if (!handle || !IsIssued(handle)) return nullptr;
    Object *o = static_cast<Object *>(const_cast<void *>(handle));
    if (o->kind != k || (!o->alive && !allow_dead)) return nullptr;
    return static_cast<T *>(o);
}

// The handle of a record, as the modules see it.
inline void *Handle(Object *o) { return static_cast<void *>(o); }

}  // namespace sim
