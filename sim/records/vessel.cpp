// vessel.cpp -- the derived queries of a vessel record: air data, equatorial position, attitude
// angles in the local horizon frame, placement on or above the surface.
#include "vessel.h"

#include "astro.h"
#include "atmosphere.h"
#include "body.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

MATRIX3 Columns(const VECTOR3 &a, const VECTOR3 &b, const VECTOR3 &c)
{
    return _M(a.x, b.x, c.x, a.y, b.y, c.y, a.z, b.z, c.z);
}

// Whether two numbers are the same bits (a memo's key: -0 and 0 differ, NaN matches itself).
bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

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
VECTOR3 Vessel::PosAgainst(const sim::Body *b) const
{
    if (!b || b == ref) return rpos;
    return ref ? rpos + (ref->pos - b->pos) : rpos - b->pos;
}
VECTOR3 Vessel::VelAgainst(const sim::Body *b) const
{
    if (!b || b == ref) return rvel;
    return ref ? rvel + (ref->vel - b->vel) : rvel - b->vel;
}

Vessel::State Vessel::CurrentState() const
{
    State s;
    s.rpos = rpos, s.rvel = rvel, s.R = R, s.omega = omega;
    s.landed = landed, s.surf_lng = surf_lng, s.surf_lat = surf_lat, s.surf_hdg = surf_hdg;
    s.landed_elev = landed_elev;
    s.land_rot = land_rot, s.landed_pitch = landed_pitch, s.landed_bank = landed_bank;
    return s;
}

void Vessel::SetCurrentState(const State &s)
{
    rpos = s.rpos, rvel = s.rvel, R = s.R, omega = s.omega;
    landed = s.landed, surf_lng = s.surf_lng, surf_lat = s.surf_lat, surf_hdg = s.surf_hdg;
    landed_elev = s.landed_elev;
    land_rot = s.land_rot, landed_pitch = s.landed_pitch, landed_bank = s.landed_bank;
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

// Columns east, up, north at a longitude and latitude on a body turned by B.
MATRIX3 HorizonFrameFrom(const MATRIX3 &B, double lng, double lat)
{
    const VECTOR3 up = mul(B, _V(std::cos(lat) * std::cos(lng), std::sin(lat), std::cos(lat) * std::sin(lng)));
    const VECTOR3 east = mul(B, _V(-std::sin(lng), 0, std::cos(lng)));
    const VECTOR3 north = mul(B, _V(-std::sin(lat) * std::cos(lng), std::cos(lat), -std::sin(lat) * std::sin(lng)));
    return Columns(east, up, north);
}

// Columns east, up, north at a place on a body turned by B.
MATRIX3 HorizonFrameAt(const VECTOR3 &rpos, const MATRIX3 &B)
{
    double lng, lat, rad;
    EquPosAt(rpos, B, lng, lat, rad);
    return HorizonFrameFrom(B, lng, lat);
}

// The vessel's place and horizon frame for this position and rotation, worked out again only when
// either differs by a bit from the last ones.
const Vessel::HorizonMemo &HorizonOf(const Vessel &v, const VECTOR3 &rpos, const MATRIX3 &B)
{
    Vessel::HorizonMemo &m = v.horizon_memo;
    if (m.valid && std::memcmp(&m.rpos, &rpos, sizeof rpos) == 0 && std::memcmp(&m.B, &B, sizeof B) == 0) return m;
    m.rpos = rpos, m.B = B;
    EquPosAt(rpos, B, m.lng, m.lat, m.rad);
    m.H = HorizonFrameFrom(B, m.lng, m.lat);
    m.valid = true;
    return m;
}
}  // namespace

VECTOR3 Vessel::AirVelocityGlobal() const
{
    // The velocity against the ground turning under the vessel, less the wind (none here), over
    // any body, with air or without (Vesselbase.cpp SurfParam::Set: airvel_glob = groundvel_glob -
    // windvel_glob): over the Moon the airspeed is the speed over its turning surface.
    const SurfaceState s = Surface(*this);
    if (!ref) return s.rvel;
    return s.rvel - mul(ref->spin, s.rpos);
}

MATRIX3 Vessel::HorizonFrame() const
{
    const SurfaceState s = Surface(*this);
    return HorizonOf(*this, s.rpos, s.B).H;
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
    const HorizonMemo &m = HorizonOf(*this, s.rpos, s.B);
    lng = m.lng, lat = m.lat, rad = m.rad;
}

namespace {
// The attitude against the horizon frame H of a vessel turned by R (the nose is R's third column,
// the right wing its first, the roof its second), in the host's conventions.
VECTOR3 InHorizon(const MATRIX3 &H, const MATRIX3 &R, int column)
{
    if (column == 0) return tmul(H, _V(R.m11, R.m21, R.m31));
    if (column == 1) return tmul(H, _V(R.m12, R.m22, R.m32));
    return tmul(H, _V(R.m13, R.m23, R.m33));
}
double HeadingIn(const MATRIX3 &H, const MATRIX3 &R)
{
    const VECTOR3 z = InHorizon(H, R, 2);  // nose in (east, up, north)
    double h = std::atan2(z.x, z.z);
    if (h < 0) h += 2.0 * M_PI;
    return h;
}
double PitchIn(const MATRIX3 &H, const MATRIX3 &R)
{
    return std::asin(std::max(-1.0, std::min(1.0, InHorizon(H, R, 2).y)));
}
double BankIn(const MATRIX3 &H, const MATRIX3 &R) { return std::atan2(InHorizon(H, R, 0).y, InHorizon(H, R, 1).y); }
double LandedHeading(double surf_hdg) { return std::fmod(std::fmod(surf_hdg, 2.0 * M_PI) + 2.0 * M_PI, 2.0 * M_PI); }
}  // namespace

double Vessel::Heading() const
{
    if (landed) return LandedHeading(surf_hdg);  // SurfParam::SetLanded
    return HeadingIn(HorizonFrame(), Surface(*this).R);
}

double Vessel::Pitch() const
{
    if (landed) return landed_pitch;
    return PitchIn(HorizonFrame(), Surface(*this).R);
}

double Vessel::Bank() const
{
    if (landed) return landed_bank;
    return BankIn(HorizonFrame(), Surface(*this).R);
}

Vessel::HorizonReading Vessel::ReadHorizon() const
{
    const SurfaceState s = Surface(*this);
    const HorizonMemo &m = HorizonOf(*this, s.rpos, s.B);
    HorizonReading r;
    r.lng = m.lng, r.lat = m.lat, r.rad = m.rad;
    r.airspeed = tmul(m.H, AirVelocityGlobal());
    if (landed) {
        r.heading = LandedHeading(surf_hdg), r.pitch = landed_pitch, r.bank = landed_bank;
    } else {
        r.heading = HeadingIn(m.H, s.R), r.pitch = PitchIn(m.H, s.R), r.bank = BankIn(m.H, s.R);
    }
    return r;
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
    if (!ref) ref = home;
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

namespace {

constexpr double kLevelTilt = 1e-8;                 // [rad] below this a placement is taken as level
constexpr double kBankEps = 1e-6;                   // [-] bank is 0 when the normal has no x, y part

// The vessel frame -> the local horizon frame of a place on the body, level at heading `hdg`
// (columns: the vessel's x, y, z in the body-fixed frame; Vessel.cpp, Vessel::InitLanded).
MATRIX3 LevelRotation(double lng, double lat, double hdg)
{
    const double slng = std::sin(lng), clng = std::cos(lng), slat = std::sin(lat), clat = std::cos(lat);
    const double sdir = std::sin(hdg), cdir = std::cos(hdg);
    return _M(clng * slat * sdir - slng * cdir, clng * clat, -clng * slat * cdir - slng * sdir,  //
              -clat * sdir, slat, clat * cdir,                                                  //
              slng * slat * sdir + clng * cdir, clat * slng, -slng * slat * cdir + clng * sdir);
}

// The rotation (in the vessel frame) that turns the touchdown plane's normal `nml` onto the vessel's
// y axis: about the horizontal axis normal to both (Vessel.cpp, Vessel::InitLanded, "touchdown tilt").
MATRIX3 TiltRotation(const VECTOR3 &nml)
{
    const double tilt = std::acos(std::max(-1.0, std::min(1.0, nml.y)));
    if (!(tilt > kLevelTilt)) return identity();
    const double phi = std::atan2(nml.x, -nml.z);
    const double sp = std::sin(phi), cp = std::cos(phi), sa = std::sin(tilt), ca = std::cos(tilt);
    const MATRIX3 turn_in = _M(cp, 0, sp, 0, 1, 0, -sp, 0, cp);
    const MATRIX3 tilt_x = _M(1, 0, 0, 0, ca, -sa, 0, sa, ca);
    const MATRIX3 turn_out = _M(cp, 0, -sp, 0, 1, 0, sp, 0, cp);
    return mul(turn_out, mul(tilt_x, turn_in));
}

// The three touchdown points compressed as they are when the vessel rests on them under `weight`
// [N]: each point moves along the touchdown plane's normal by its share of the load over its
// stiffness, the share balancing force and moments (Vessel.cpp, Vessel::SetTouchdownPoints
// "equilibrium suspension compression", used by Vessel::InitLanded).
void CompressedTouchdown(const VECTOR3 pts[3], const double stiffness[3], double weight, VECTOR3 out[3])
{
    VECTOR3 nm = crossp(pts[0] - (pts[1] + pts[2]) * 0.5, pts[2] - pts[1]);
    const double len = length(nm);
    for (int i = 0; i < 3; ++i) out[i] = pts[i];
    if (!(len > 1e-12) || !(stiffness[0] + stiffness[1] + stiffness[2] > 0)) return;
    nm = nm / len;
    const VECTOR3 ex = unit(pts[2] - pts[1]);
    const VECTOR3 ez = crossp(ex, nm);
    double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    VECTOR3 tr[3];
    for (int i = 0; i < 3; ++i) {
        tr[i] = _V(dotp(ex, pts[i]), dotp(nm, pts[i]), dotp(ez, pts[i]));
        const double k = stiffness[i];
        a += k, b += k * tr[i].x, c += k * tr[i].z;
        d += k * tr[i].x * tr[i].x, e += k * tr[i].x * tr[i].z, f += k * tr[i].z * tr[i].z;
    }
    const double den = c * c * d - 2.0 * b * c * e + b * b * f + a * (e * e - d * f);
    if (den == 0) return;
    const double dycg = (e * e - d * f) / den, sinth = (b * f - c * e) / den, sinph = (c * d - b * e) / den;
    for (int i = 0; i < 3; ++i) out[i] = pts[i] + nm * ((dycg + sinth * tr[i].x + sinph * tr[i].z) * weight);
}

}  // namespace

const Vessel *Vessel::SurfaceOwner() const
{
    const Vessel *top = this;
    for (int depth = 0; top->parent && depth < 64; ++depth) top = top->parent;
    return top;
}

void Vessel::FinishSetup()
{
    if (pmi.x < 0) pmi.x = 2 * size;
    if (pmi.y < 0) pmi.y = 2 * size;
    if (pmi.z < 0) pmi.z = size;
    updated_mass = Mass();
}

void Vessel::InitLanded(double lng, double lat, double hdg, const MATRIX3 *rot, double elev)
{
    if (!ref) ref = home;
    VECTOR3 nml;  // the ground's normal in the vessel frame
    if (!rot) {
        // Level on its touchdown points under its weight as last updated (Vessel::InitLanded reads
        // `mass`, which Vesselstatus.cpp SetState2 does not update first).
        const double m = updated_mass;
        const double prad = ref ? ref->radius : 0.0;
        const double weight = prad > 0 ? sim::astro::G * ref->mass * m / (prad * prad) : 0.0;
        VECTOR3 tp[3];
        // Until the module sets its own, the touchdown points and stiffness are the host's defaults.
        CompressedTouchdown(touchdown, td_stiffness, weight, tp);
        nml = unit(crossp(tp[0] - (tp[1] + tp[2]) * 0.5, tp[2] - tp[1]));
        elev = dotp(nml, tp[0] * -1.0);
        land_rot = mul(LevelRotation(lng, lat, hdg), TiltRotation(nml));
    } else {
        const VECTOR3 up = _V(std::cos(lat) * std::cos(lng), std::sin(lat), std::cos(lat) * std::sin(lng));
        nml = tmul(*rot, up);
        land_rot = *rot;
    }
    // Vesselbase.cpp, SurfParam::SetLanded: the attitude angles are those of this placement and
    // are not recomputed while the vessel stays landed.
    landed_pitch = std::atan2(nml.z, nml.y);
    landed_bank = (std::fabs(nml.x) > kBankEps || std::fabs(nml.y) > kBankEps) ? std::atan2(nml.x, nml.y) : 0.0;
    landed = true;
    surf_lng = lng, surf_lat = lat, surf_hdg = hdg;
    landed_elev = elev;
    omega = _V(0, 0, 0);
    UpdateLanded();
}

void Vessel::SetLanded(double lng, double lat, double hdg)
{
    if (!ref) ref = home;
    landed = true;
    surf_lng = lng, surf_lat = lat, surf_hdg = hdg;
    land_rot = LevelRotation(lng, lat, hdg);
    landed_pitch = landed_bank = 0;
    omega = _V(0, 0, 0);
    UpdateLanded();
}

void Vessel::UpdateLanded()
{
    if (!landed || !ref) return;
    const MATRIX3 &B = ref->R;
    SurfacePointMemo &m = surface_point_memo;
    const double radius = ref->radius + landed_elev;
    if (!m.valid || !SameBits(m.lng, surf_lng) || !SameBits(m.lat, surf_lat) || !SameBits(m.radius, radius)) {
        const sim::V3 p = sim::astro::EquToLocalEarthFixed(surf_lng, surf_lat, radius);
        m = {surf_lng, surf_lat, radius, _V(p.x, p.y, p.z), true};
    }
    rpos = mul(B, m.fixed);
    rvel = mul(ref->spin, rpos);
    R = mul(B, land_rot);
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
