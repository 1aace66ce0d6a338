// vessel.cpp -- the derived queries of a vessel record: air data, equatorial position, attitude
// angles in the local horizon frame, placement on or above the surface.
#include "vessel.h"

#include "astro.h"
#include "atmosphere.h"
#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

MATRIX3 Columns(const VECTOR3 &a, const VECTOR3 &b, const VECTOR3 &c)
{
    return _M(a.x, b.x, c.x, a.y, b.y, c.y, a.z, b.z, c.z);
}

}  // namespace

void Vessel::Note(const char *fmt, ...)
{
    if (!journaling) return;
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    journal.emplace_back(buf);
}

double Vessel::Mass() const
{
    double m = empty_mass;
    for (const sim::Tank *t : tanks)
        if (t->alive) m += t->mass;
    for (const sim::Attachment *a : attachments)
        if (a->alive && !a->toparent && a->mate && a->mate->owner && a->mate->owner->alive)
            m += a->mate->owner->Mass();
    return m;
}

VECTOR3 Vessel::GlobalPos() const { return ref ? ref->pos + rpos : rpos; }
VECTOR3 Vessel::GlobalVel() const { return ref ? ref->vel + rvel : rvel; }

Vessel::State Vessel::CurrentState() const
{
    State s;
    s.rpos = rpos, s.rvel = rvel, s.R = R, s.omega = omega;
    s.landed = landed, s.surf_lng = surf_lng, s.surf_lat = surf_lat, s.surf_hdg = surf_hdg;
    s.landed_elev = landed_elev;
    return s;
}

void Vessel::SetCurrentState(const State &s)
{
    rpos = s.rpos, rvel = s.rvel, R = s.R, omega = s.omega;
    landed = s.landed, surf_lng = s.surf_lng, surf_lat = s.surf_lat, surf_hdg = s.surf_hdg;
    landed_elev = s.landed_elev;
}

// The state the surface queries read: the updated one from the end of the state update to the end of
// the frame (Vesselbase.cpp UpdateSurfParams reads s1 and the planet's s1), else the published one.
namespace {
struct SurfaceState {
    const VECTOR3 &rpos, &rvel;
    const MATRIX3 &R;
    bool landed;
    double landed_elev;
    MATRIX3 B;  // the reference body's rotation at the same time
};

SurfaceState Surface(const Vessel &v)
{
    MATRIX3 B = identity();
    if (v.ref) B = v.ref->has_next ? v.ref->next_R : v.ref->R;
    if (v.has_next) return {v.next.rpos, v.next.rvel, v.next.R, v.next.landed, v.next.landed_elev, B};
    return {v.rpos, v.rvel, v.R, v.landed, v.landed_elev, B};
}

void EquPosAt(const VECTOR3 &rpos, const MATRIX3 &B, double &lng, double &lat, double &rad)
{
    const VECTOR3 p = tmul(B, rpos);
    double lo, la, r;
    sim::astro::EarthFixedToEqu(sim::V3{p.x, p.y, p.z}, &lo, &la, &r);
    lng = lo, lat = la, rad = r;
}

// Columns east, up, north at a place on a body turned by B.
MATRIX3 HorizonFrameAt(const VECTOR3 &rpos, const MATRIX3 &B)
{
    double lng, lat, rad;
    EquPosAt(rpos, B, lng, lat, rad);
    const VECTOR3 up = mul(B, _V(std::cos(lat) * std::cos(lng), std::sin(lat), std::cos(lat) * std::sin(lng)));
    const VECTOR3 east = mul(B, _V(-std::sin(lng), 0, std::cos(lng)));
    const VECTOR3 north = mul(B, _V(-std::sin(lat) * std::cos(lng), std::cos(lat), -std::sin(lat) * std::sin(lng)));
    return Columns(east, up, north);
}
}  // namespace

VECTOR3 Vessel::AirVelocityGlobal() const
{
    const SurfaceState s = Surface(*this);
    if (!ref || !ref->has_atmosphere) return s.rvel;
    return s.rvel - mul(ref->spin, s.rpos);
}

MATRIX3 Vessel::HorizonFrame() const
{
    const SurfaceState s = Surface(*this);
    return HorizonFrameAt(s.rpos, s.B);
}

VECTOR3 Vessel::HorizonAirspeed() const { return tmul(HorizonFrame(), AirVelocityGlobal()); }
VECTOR3 Vessel::ShipAirspeed() const { return tmul(Surface(*this).R, AirVelocityGlobal()); }

double Vessel::Altitude() const
{
    const SurfaceState s = Surface(*this);
    if (s.landed) return s.landed_elev;
    return length(s.rpos) - (ref ? ref->radius : 0.0);
}

void Vessel::EquPos(double &lng, double &lat, double &rad) const
{
    const SurfaceState s = Surface(*this);
    EquPosAt(s.rpos, s.B, lng, lat, rad);
}

double Vessel::Heading() const
{
    const MATRIX3 H = HorizonFrame();
    const MATRIX3 &R = Surface(*this).R;
    const VECTOR3 z = tmul(H, _V(R.m13, R.m23, R.m33));  // nose in (east, up, north)
    double h = std::atan2(z.x, z.z);
    if (h < 0) h += 2.0 * M_PI;
    return h;
}

double Vessel::Pitch() const
{
    const MATRIX3 H = HorizonFrame();
    const MATRIX3 &R = Surface(*this).R;
    const VECTOR3 z = tmul(H, _V(R.m13, R.m23, R.m33));
    return std::asin(std::max(-1.0, std::min(1.0, z.y)));
}

double Vessel::Bank() const
{
    const MATRIX3 H = HorizonFrame();
    const MATRIX3 &R = Surface(*this).R;
    const VECTOR3 x = tmul(H, _V(R.m11, R.m21, R.m31));
    const VECTOR3 y = tmul(H, _V(R.m12, R.m22, R.m32));
    return std::atan2(x.y, y.y);
}

double Vessel::Density() const
{
    if (!ref || !ref->has_atmosphere) return 0.0;
    return sim::StandardAtmosphere(Altitude()).density;
}
double Vessel::Pressure() const
{
    if (!ref || !ref->has_atmosphere) return 0.0;
    return sim::StandardAtmosphere(Altitude()).pressure;
}
double Vessel::Temperature() const
{
    if (!ref || !ref->has_atmosphere) return 0.0;
    return sim::StandardAtmosphere(Altitude()).temperature;
}
double Vessel::SpeedOfSound() const
{
    if (!ref || !ref->has_atmosphere) return 340.29;
    return sim::StandardAtmosphere(Altitude()).speed_of_sound;
}

void Vessel::Place(double lng, double lat, double alt, double heading, double pitch, double bank,
                   const VECTOR3 &air_velocity)
{
    if (!ref && world) ref = world->Earth();
    landed = false;
    const double radius = (ref ? ref->radius : 0.0) + alt;
    const MATRIX3 &B = ref ? ref->R : identity();
    const sim::V3 p = sim::astro::EquToLocalEarthFixed(lng, lat, radius);
    rpos = mul(B, _V(p.x, p.y, p.z));
    const MATRIX3 H = HorizonFrameAt(rpos, B);
    const VECTOR3 east = _V(H.m11, H.m21, H.m31), up = _V(H.m12, H.m22, H.m32), north = _V(H.m13, H.m23, H.m33);
    // Level with the heading, then pitched about the wing axis, then banked (left wing down positive).
    const VECTOR3 z0 = north * std::cos(heading) + east * std::sin(heading);
    const VECTOR3 x0 = east * std::cos(heading) - north * std::sin(heading);
    const VECTOR3 z1 = z0 * std::cos(pitch) + up * std::sin(pitch);
    const VECTOR3 y1 = up * std::cos(pitch) - z0 * std::sin(pitch);
    const VECTOR3 x2 = x0 * std::cos(bank) + y1 * std::sin(bank);
    const VECTOR3 y2 = y1 * std::cos(bank) - x0 * std::sin(bank);
    R = Columns(x2, y2, z1);
    const VECTOR3 atm = (ref && ref->has_atmosphere) ? mul(ref->spin, rpos) : _V(0, 0, 0);
    rvel = atm + east * air_velocity.x + up * air_velocity.y + north * air_velocity.z;
    omega = _V(0, 0, 0);
}

void Vessel::SetLanded(double lng, double lat, double hdg)
{
    if (!ref && world) ref = world->Earth();
    landed = true;
    surf_lng = lng, surf_lat = lat, surf_hdg = hdg;
    omega = _V(0, 0, 0);
    UpdateLanded();
}

void Vessel::UpdateLanded()
{
    if (!landed || !ref) return;
    const MATRIX3 &B = ref->R;
    const sim::V3 p = sim::astro::EquToLocalEarthFixed(surf_lng, surf_lat, ref->radius + landed_elev);
    rpos = mul(B, _V(p.x, p.y, p.z));
    rvel = mul(ref->spin, rpos);
    const MATRIX3 H = HorizonFrameAt(rpos, B);
    const VECTOR3 east = _V(H.m11, H.m21, H.m31), up = _V(H.m12, H.m22, H.m32), north = _V(H.m13, H.m23, H.m33);
    const VECTOR3 z = north * std::cos(surf_hdg) + east * std::sin(surf_hdg);
    const VECTOR3 x = east * std::cos(surf_hdg) - north * std::sin(surf_hdg);
    R = Columns(x, up, z);
}

sim::Attachment *Vessel::AttachmentByIndex(bool toparent, DWORD i) const
{
    DWORD n = 0;
    for (sim::Attachment *a : attachments) {
        if (!a->alive || a->toparent != toparent) continue;
        if (n++ == i) return a;
    }
    return nullptr;
}

sim::Thruster *Vessel::FindThruster(THRUSTER_HANDLE h) const
{
    sim::Thruster *t = sim::As<sim::Thruster>(h, sim::Kind::Thruster);
    if (!t) return nullptr;
    for (sim::Thruster *x : thrusters)
        if (x == t) return t;
    return nullptr;
}
