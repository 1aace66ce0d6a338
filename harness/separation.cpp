// separation.cpp -- the frames around an attachment or a release, relative to the parent.
#include "separation.h"

#include <cstdio>

namespace harness {

namespace {

// The parent a vessel hangs on now (its first attachment to a parent that holds it), or null.
OBJHANDLE ParentOf(VESSEL *v)
{
    const int n = static_cast<int>(v->AttachmentCount(true));
    for (int i = 0; i < n; ++i) {
        ATTACHMENTHANDLE ah = v->GetAttachmentHandle(true, i);
        if (OBJHANDLE p = ah ? v->GetAttachmentStatus(ah) : nullptr) return p;
    }
    return nullptr;
}

}  // namespace

const char *SeparationLog::Header()
{
    return "time,event,child,parent,k,dx,dy,dz,dvx,dvy,dvz,rotx,roty,rotz,rot0x,rot0y,rot0z,sx,sy,sz,upx,upy,upz,alt\n";
}

void SeparationLog::PreStep()
{
    for (Track &tr : tracks_) {
        tr.have_start = false;
        if (tr.used && tr.parent && MeasureStart(tr.child, tr.parent, &tr.dpos_start, &tr.rot_start))
            tr.have_start = true;
    }
}

SeparationLog::Track *SeparationLog::Find(OBJHANDLE child)
{
    Track *free_slot = nullptr;
    for (Track &t : tracks_) {
        if (t.used && t.child == child) return &t;
        if (!t.used && !free_slot) free_slot = &t;
    }
    if (free_slot) {
        *free_slot = Track();
        free_slot->used = true;
        free_slot->child = child;
    }
    return free_slot;
}

// The child's place relative to the parent, in the global frame, and the velocity the host adds to
// a child it lets go: the parent's rotation at the child's origin, R_p (r x w_p), r the child's
// origin in the parent's frame (Vessel.cpp, Vessel::DetachFromParent).
bool SeparationLog::MeasureStart(OBJHANDLE child, OBJHANDLE parent, VECTOR3 *dpos, VECTOR3 *rot)
{
    VESSEL *c = oapiGetVesselInterface(child);
    VESSEL *p = oapiGetVesselInterface(parent);
    if (!c || !p) return false;
    VECTOR3 cp, pp, r, w;
    c->GetGlobalPos(cp);
    p->GetGlobalPos(pp);
    p->Global2Local(cp, r);
    p->GetAngularVel(w);
    MATRIX3 R;
    p->GetRotationMatrix(R);
    *dpos = cp - pp;
    *rot = mul(R, crossp(r, w));
    return true;
}

// All of the above, with the relative velocity, the altitude and the local vertical.
bool SeparationLog::Measure(OBJHANDLE child, OBJHANDLE parent, double t, Sample *out)
{
    if (!MeasureStart(child, parent, &out->dpos, &out->rot)) return false;
    VESSEL *c = oapiGetVesselInterface(child);
    VESSEL *p = oapiGetVesselInterface(parent);
    VECTOR3 cp, cv, pv;
    c->GetGlobalPos(cp);
    c->GetGlobalVel(cv);
    p->GetGlobalVel(pv);
    out->t = t;
    out->dvel = cv - pv;
    out->alt = c->GetAltitude();
    out->up = _V(0, 0, 0);
    if (OBJHANDLE ref = c->GetSurfaceRef()) {
        VECTOR3 rp;
        oapiGetGlobalPos(ref, &rp);
        const double n = length(cp - rp);
        if (n > 0) out->up = (cp - rp) / n;
    }
    return true;
}

void SeparationLog::Row(const Track &tr, const Sample &s, int k)
{
    char child[64] = "", parent[64] = "";
    oapiGetObjectName(tr.child, child, sizeof child);
    oapiGetObjectName(tr.parent, parent, sizeof parent);
    char b[768];
    std::snprintf(b, sizeof b,
                  "%.4f,%s,%s,%s,%d,%.4f,%.4f,%.4f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.4f,%.4f,%.4f,%.6f,%.6f,%.6f,%.3f\n",
                  s.t,
                  tr.event, child, parent, k, s.dpos.x, s.dpos.y, s.dpos.z, s.dvel.x, s.dvel.y, s.dvel.z, s.rot.x, s.rot.y,
                  s.rot.z, s.rot_start.x, s.rot_start.y, s.rot_start.z, s.dpos_start.x, s.dpos_start.y, s.dpos_start.z,
                  s.up.x, s.up.y, s.up.z, s.alt);
    text_ += b;
}

void SeparationLog::PostStep(double simt)
{
    // Tracks of vessels gone are dropped first (a handle may be reused by a new vessel).
    const int n = static_cast<int>(oapiGetVesselCount());
    for (Track &tr : tracks_) {
        if (!tr.used) continue;
        bool child = false, parent = !tr.parent;
        for (int i = 0; i < n; ++i) {
            OBJHANDLE h = oapiGetVesselByIndex(i);
            child = child || h == tr.child;
            parent = parent || h == tr.parent;
        }
        if (!child || !parent) tr = Track();
    }
    for (int i = 0; i < n; ++i) {
        OBJHANDLE h = oapiGetVesselByIndex(i);
        VESSEL *v = h ? oapiGetVesselInterface(h) : nullptr;
        if (!v) continue;
        OBJHANDLE mate = ParentOf(v);
        Track *tr = nullptr;
        for (Track &t : tracks_)
            if (t.used && t.child == h) tr = &t;
        if (!tr && !mate) continue;  // free and never seen attached
        if (!tr && !(tr = Find(h))) continue;
        if (mate != tr->mate) {  // attached, released or handed over since the last frame
            std::snprintf(tr->event, sizeof tr->event, "%s", mate ? "attach" : "detach");
            if (mate) tr->parent = mate;
            tr->mate = mate;
            for (int j = 0; j < tr->filled; ++j) Row(*tr, tr->before[j], j - tr->filled);
            tr->after = kAfter + 1;
            tr->k = 0;
        }
        if (!tr->parent) continue;
        Sample s;
        if (!Measure(h, tr->parent, simt, &s)) continue;
        s.rot_start = tr->have_start ? tr->rot_start : s.rot;
        s.dpos_start = tr->have_start ? tr->dpos_start : s.dpos;
        tr->have_start = false;
        if (tr->after > 0) {
            Row(*tr, s, tr->k++);
            if (--tr->after == 0) tr->filled = 0;
        }
        if (tr->mate) {  // keep the last frames while attached
            if (tr->filled == kBefore) {
                for (int j = 1; j < kBefore; ++j) tr->before[j - 1] = tr->before[j];
                tr->filled = kBefore - 1;
            }
            tr->before[tr->filled++] = s;
        } else if (tr->after == 0) {
            *tr = Track();  // free again, nothing more to write
        }
    }
}

}  // namespace harness
