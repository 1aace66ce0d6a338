// status.cpp -- what a status record does to a vessel record: the attitude angles of VESSELSTATUS
// and VESSELSTATUS2, and the records applied at creation, by DefSetState(Ex) and by scenario loading.
#include "internal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sim {

MATRIX3 MatrixFromArot(const VECTOR3 &a)
{
    const double ca = std::cos(a.x), sa = std::sin(a.x), cb = std::cos(a.y), sb = std::sin(a.y),
                 cc = std::cos(a.z), sc = std::sin(a.z);
    const MATRIX3 Rx = _M(1, 0, 0, 0, ca, sa, 0, -sa, ca);
    const MATRIX3 Ry = _M(cb, 0, -sb, 0, 1, 0, sb, 0, cb);
    const MATRIX3 Rz = _M(cc, sc, 0, -sc, cc, 0, 0, 0, 1);
    return mul(mul(Rx, Ry), Rz);
}

VECTOR3 ArotFromMatrix(const MATRIX3 &R)
{
    return _V(std::atan2(R.m23, R.m33), -std::asin(std::max(-1.0, std::min(1.0, R.m13))), std::atan2(R.m12, R.m11));
}

namespace {

// A landing reported on the timeline: a vessel made on the ground has not landed.
void ReportLanding(Vessel *v, bool was_landed, double sink)
{
    World *w = v->world;
    if (was_landed || !w || !v->created) return;
    char buf[128];
    if (sink > 0.05)
        std::snprintf(buf, sizeof buf, " at %.5f %.5f (touchdown %.1f m/s)", v->surf_lng * DEG, v->surf_lat * DEG,
                      sink);
    else  // set down at rest, or created on the ground
        std::snprintf(buf, sizeof buf, " at %.5f %.5f", v->surf_lng * DEG, v->surf_lat * DEG);
    w->Event("landed " + v->name + buf);
}

}  // namespace

// Applies a VESSELSTATUS2 to a vessel record (Vesselstatus.cpp, Vessel::SetState2): propellant and
// thruster levels first (the landed placement weighs the vessel), then the state. A landed record
// whose arot.x is at most 4 carries "extended" information: arot is the vessel's rotation relative
// to the body's fixed frame and vrot.x the height of its origin above the ground; otherwise it is
// set level on its touchdown points at heading surf_hdg.
void ApplyStatus(Vessel *v, const VESSELSTATUS2 *s)
{
    if (!v || !s) return;
    // An attached vessel goes where its parent's point is: its own state cannot be set.
    if (v->parent) return;
    World *w = v->world;
    if (Body *b = As<Body>(s->rbody, Kind::Body)) v->ref = b;
    if (!v->ref && w) v->ref = w->Earth();
    if (s->flag & VS_FUELRESET)
        for (Tank *t : v->tanks) t->mass = 0;
    if ((s->flag & VS_FUELLIST) && s->fuel)
        for (DWORD i = 0; i < s->nfuel; ++i) {
            const double lvl = std::max(0.0, std::min(1.0, s->fuel[i].level));
            if (s->fuel[i].idx < v->tanks.size()) {
                Tank *t = v->tanks[s->fuel[i].idx];
                t->mass = t->max_mass * lvl;
            } else if (s->fuel[i].idx == static_cast<DWORD>(-1)) {  // every tank
                for (Tank *t : v->tanks) t->mass = t->max_mass * lvl;
            }
        }
    if (s->flag & VS_THRUSTRESET)
        for (Thruster *t : v->thrusters) t->level = 0;
    if ((s->flag & VS_THRUSTLIST) && s->thruster)
        for (DWORD i = 0; i < s->nthruster; ++i)
            if (s->thruster[i].idx < v->thrusters.size())
                v->thrusters[s->thruster[i].idx]->level = std::max(0.0, std::min(1.0, s->thruster[i].level));
    const bool was_landed = v->landed;
    const double sink = v->landed ? 0.0 : -v->HorizonAirspeed().y;  // [m/s] before it is set down
    if (s->status == 1) {
        if (s->arot.x <= 4.0) {
            const MATRIX3 rot = MatrixFromArot(s->arot);
            v->InitLanded(s->surf_lng, s->surf_lat, s->surf_hdg, &rot, s->vrot.x);
        } else {
            v->InitLanded(s->surf_lng, s->surf_lat, s->surf_hdg);
        }
        ReportLanding(v, was_landed, sink);
    } else {
        v->landed = false;
        v->Replaced();
        v->rpos = s->rpos;
        v->rvel = s->rvel;
        v->R = MatrixFromArot(s->arot);
        v->omega = s->vrot;
    }
}

// Applies a plain VESSELSTATUS (Vesselstatus.cpp, Vessel::SetState): the first tank's level and the
// main/retro and hover levels when flagged, then the state; a landed record is always set level on
// its touchdown points at the heading vdata[0].z. A position inside the reference body is replaced
// by one 1.1 radii out along z, and a record without a body refers to the Sun.
void ApplyPlainStatus(Vessel *v, const VESSELSTATUS &s)
{
    if (!v || v->parent) return;
    World *w = v->world;
    Body *b = As<Body>(s.rbody, Kind::Body);
    if (!b && w) b = w->Sun();
    if (b) v->ref = b;
    if ((s.flag[0] & 2) && !v->tanks.empty()) {
        Tank *t = v->tanks[0];
        t->mass = t->max_mass * std::max(0.0, std::min(1.0, s.fuel));
    }
    if (s.flag[0] & 1) {
        auto set_group = [v](THGROUP_TYPE type, double level) {
            for (ThrusterGroup *g : v->groups)
                if (g->alive && g->type == type)
                    for (Thruster *t : g->thrusters) t->level = std::max(0.0, std::min(1.0, level));
        };
        set_group(THGROUP_MAIN, std::max(0.0, s.eng_main));
        set_group(THGROUP_RETRO, std::max(0.0, -s.eng_main));
        set_group(THGROUP_HOVER, s.eng_hovr);
    }
    const bool was_landed = v->landed;
    const double sink = v->landed ? 0.0 : -v->HorizonAirspeed().y;
    if (s.status == 1) {
        v->InitLanded(s.vdata[0].x, s.vdata[0].y, s.vdata[0].z);
        ReportLanding(v, was_landed, sink);
    } else if (s.status == 0) {
        VECTOR3 rpos = s.rpos;
        if (v->ref && length(rpos) < v->ref->radius) rpos = _V(0, 0, 1.1 * v->ref->radius);
        v->landed = false;
        v->Replaced();
        v->rpos = rpos;
        v->rvel = s.rvel;
        v->R = MatrixFromArot(s.arot);
        v->omega = s.vrot;
    }
}

}  // namespace sim
