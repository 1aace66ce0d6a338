// vessel.cpp -- the derived queries of a vessel record: air data, equatorial position, attitude
// angles in the local horizon frame, placement on or above the surface.
#include "vessel.h"

#include "astro.h"
#include "atmosphere.h"
#include "world.h"

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
    // Vessel.cpp UpdateMass: mass = empty mass + propellant; a parent does not carry its attached
    // children's mass.
    for (const sim::Tank *t : tanks)
        if (t->alive) m += t->mass;
    return m;
}

VECTOR3 Vessel::GlobalPos() const { return ref ? ref->pos + rpos : rpos; }
VECTOR3 Vessel::GlobalVel() const { return ref ? ref->vel + rvel : rvel; }

VECTOR3 Vessel::AirVelocityGlobal() const
{
    if (!ref || !ref->has_atmosphere) return rvel;
    return rvel - mul(ref->spin, rpos);
}

MATRIX3 Vessel::HorizonFrame() const
{
    // Columns east, up, north at the vessel's place on its reference body.
    double lng, lat, rad;
    EquPos(lng, lat, rad);
    const MATRIX3 &B = ref ? ref->R : identity();
    const VECTOR3 up = mul(B, _V(std::cos(lat) * std::cos(lng), std::sin(lat), std::cos(lat) * std::sin(lng)));
    const VECTOR3 east = mul(B, _V(-std::sin(lng), 0, std::cos(lng)));
    const VECTOR3 north = mul(B, _V(-std::sin(lat) * std::cos(lng), std::cos(lat), -std::sin(lat) * std::sin(lng)));
    return Columns(east, up, north);
}

VECTOR3 Vessel::HorizonAirspeed() const { return tmul(HorizonFrame(), AirVelocityGlobal()); }
VECTOR3 Vessel::ShipAirspeed() const { return tmul(R, AirVelocityGlobal()); }

double Vessel::Altitude() const
{
    if (landed) return landed_elev;
    return length(rpos) - (ref ? ref->radius : 0.0);
}

void Vessel::EquPos(double &lng, double &lat, double &rad) const
{
    const VECTOR3 p = ref ? tmul(ref->R, rpos) : rpos;
    double lo, la, r;
    sim::astro::EarthFixedToEqu(sim::V3{p.x, p.y, p.z}, &lo, &la, &r);
    lng = lo, lat = la, rad = r;
}

double Vessel::Heading() const
{
    const MATRIX3 H = HorizonFrame();
    const VECTOR3 z = tmul(H, _V(R.m13, R.m23, R.m33));  // nose in (east, up, north)
    double h = std::atan2(z.x, z.z);
    if (h < 0) h += 2.0 * M_PI;
    return h;
}

double Vessel::Pitch() const
{
    const MATRIX3 H = HorizonFrame();
    const VECTOR3 z = tmul(H, _V(R.m13, R.m23, R.m33));
    return std::asin(std::max(-1.0, std::min(1.0, z.y)));
}

double Vessel::Bank() const
{
    const MATRIX3 H = HorizonFrame();
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
    const MATRIX3 H = HorizonFrame();
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
    land_rot_valid = false;
    surf_lng = lng, surf_lat = lat, surf_hdg = hdg;
    omega = _V(0, 0, 0);
    UpdateLanded();
}

void Vessel::SetLandedKeeping(double lng, double lat, double hdg, const MATRIX3 &planet_rot, double elev)
{
    if (!ref && world) ref = world->Earth();
    landed = true;
    land_rot_valid = true;
    land_rot = planet_rot;
    landed_elev = elev;
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
    if (land_rot_valid) {  // Vessel::Update, landed: R = planet rotation * land_rot
        R = mul(B, land_rot);
        return;
    }
    const MATRIX3 H = HorizonFrame();
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
