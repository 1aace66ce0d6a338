// physics.cpp -- the stand-in host's flight physics: the state update of one frame.
//
// The frame works like a flight-dynamics executive (JSBSim's FGFDMExec): for each vessel in free
// flight it gathers once what stays fixed over the frame (mass, inertia, thrust and propellant
// use), then integrates in sub-steps whose length follows the vessel's own dynamics, and ends with
// ground contact. Vessels are independent of each other: attached children are not moved here (the
// world puts them on their parents' points after the frame), they only add their mass.
//
// Models and where they come from:
//   gravity      Newton's point masses. The reference body pulls the vessel; every other body adds
//                its differential (third-body) pull, because positions are kept relative to the
//                reference body, which itself falls toward those bodies (Battin, An Introduction
//                to the Mathematics and Methods of Astrodynamics, 1999, sec. 8.4).
//   atmosphere   U.S. Standard Atmosphere 1976 (atmosphere.h), turning with the Earth: the air at
//                a point moves with spin * r, so airspeed = rvel - spin * rpos.
//   legacy drag  per vessel axis, F_i = -1/2 rho |v| v_i cw_i S_i with the coefficients and cross
//                sections the module set (Hoerner, Fluid-Dynamic Drag, 1965, ch. 3: drag from a
//                coefficient and a reference area, one axis at a time).
//   legacy lift  C_L(aoa) from the module's lift function on the wing area (cross section y),
//                normal to the airspeed in the y-z plane; induced drag C_L^2 / (A e) with the wing
//                aspect ratio and wing effectiveness (Anderson, Fundamentals of Aerodynamics,
//                5th ed., sec. 5.3: C_Di = C_L^2 / (pi e A), the module's effectiveness standing
//                for pi e). Weathervane moments from the pitch and bank moment scales,
//                M = scale * q * size^3 * sin(angle between the nose and the airspeed).
//                Used only by vessels without airfoils, as the simulator's legacy model is.
//   airfoils     strip model at the airfoil's reference point, with the local airspeed there
//                (the vessel's rotation included): lift normal to the airflow in the airfoil's
//                plane, drag along it, pitching moment cm q S c (Anderson, sec. 1.5).
//   control      a surface adds dCl * level * q * area of lift at its point (flap effectiveness,
//   surfaces     Anderson sec. 4.11), in the plane its axis names; positive level on a +x axis
//                pushes the point down (a tail elevator raises the nose), on a +y axis to the left.
//   rotational   damping-derivative form M_i = -rot_drag_i * q * size^3 * (omega_i size / V)
//   damping      = -rot_drag_i rho V size^4 omega_i / 2 (Etkin and Reid, Dynamics of Flight,
//                3rd ed., sec. 5.5, the rate made dimensionless with the vessel's size), V the
//                airspeed plus the tips' speed |omega| size / 2, applied as an exact exponential
//                decay so it is stable at any sub-step. With this strength the parafoil capsule,
//                whose trim holds the canopy near its steep lift slope, settles into a steady glide
//                instead of a growing phugoid.
//   rigid body   Euler's equations in body axes with the principal moments m * PMI (Goldstein,
//                Classical Mechanics, sec. 5.5). In this host's convention a point r of the vessel
//                moves with r x omega, so a force F at r gives I domega/dt = F x r, and the
//                gyroscopic term is + omega x (I omega).
//   thrust       F = max thrust * level along the thruster's unit direction at its position, with
//                the specific impulse falling linearly with ambient pressure when a reference Isp
//                is given; propellant flow m_dot = F / (Isp * tank efficiency) (Sutton and Biblarz,
//                Rocket Propulsion Elements, 8th ed., eq. 2-5). A thruster without a tank, or whose
//                tank is empty, gives no thrust; Isp 0 burns nothing.
//   integration  classical fourth-order Runge-Kutta for position and velocity (Press et al.,
//                Numerical Recipes, 3rd ed., sec. 17.1) with the attitude held over a sub-step;
//                then the angular velocity (semi-implicit) and the attitude by the exact rotation
//                of that angular velocity over the sub-step (Rodrigues' formula).
//   ground       a free vessel whose lowest touchdown point reaches the ground while moving down
//                is set landed where it is; a landed vessel lifts off when thrust along the local
//                vertical exceeds its weight.
#include "physics.h"

#include "atmosphere.h"
#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sim {
namespace {

// ---- constants ---------------------------------------------------------------------------------
constexpr double kG = 6.67259e-11;            // [m^3 kg^-1 s^-2] gravitational constant (as astro.h)
constexpr double kMinMass = 1.0;              // [kg] a vessel without a sensible mass weighs this
constexpr double kMinInertia = 1e-6;          // [kg m^2] floor of each principal moment
constexpr double kMinAirspeed = 1e-6;         // [m/s] below this the air exerts nothing
constexpr double kOrbitStepFraction = 0.002;  // [-] sub-step at most this times sqrt(r^3 / GM)
constexpr double kDragStepFactor = 0.5;       // [-] sub-step at most this over the drag rate
constexpr double kAirStep = 0.05;             // [s] longest sub-step in a sensible atmosphere
constexpr double kSensibleDensity = 1e-5;     // [kg/m^3] above this the air sets the sub-step
constexpr double kMaxRotationStep = 0.1;      // [rad] largest turn in one sub-step
constexpr int kMaxSubsteps = 2000;            // [-] per vessel and frame
constexpr double kSutherlandMu0 = 1.458e-6;   // [kg m^-1 s^-1 K^-1/2] air viscosity (Sutherland)
constexpr double kSutherlandS = 110.4;        // [K] Sutherland's constant for air
constexpr double kBuriedDepth = 1.0;          // [m] a point this deep lands whatever its motion
constexpr int kMaxBodies = 8;                 // [-] bodies that pull (Sun, Earth, Moon here)

// ---- per frame: the bodies -------------------------------------------------------------------
struct Puller {
    VECTOR3 pos;   // relative to the reference body [m]
    VECTOR3 acc0;  // its pull on the reference body's centre [m/s^2]
    double gm;     // [m^3/s^2]
};

// ---- per vessel and frame: what stays fixed ----------------------------------------------------
struct Craft {
    Vessel *v = nullptr;
    const Body *ref = nullptr;
    double gm = 0;       // reference body [m^3/s^2]
    double radius = 0;   // reference body [m]
    bool air = false;    // the reference body has an atmosphere
    MATRIX3 spin{};      // velocity of the air at r: spin * r
    Puller pull[kMaxBodies];
    int npull = 0;
    double mass = kMinMass;           // [kg]
    VECTOR3 inertia{};                // principal moments [kg m^2]
    VECTOR3 thrust{}, thrust_torque{};  // vessel frame [N], [N m] (omega space)
    bool legacy = true;               // no airfoils: cw drag, lift function, weathervane moments
    double size3 = 1, size4 = 1;      // size^3, size^4
    // over one sub-step
    MATRIX3 R{};
    VECTOR3 omega{};
    double rho = 0, sound = 340.29, viscosity = 1.8e-5;
};

struct Loads {
    VECTOR3 force;   // vessel frame [N]
    VECTOR3 moment;  // omega space [N m]
};

bool Finite(const VECTOR3 &a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }
bool Finite(double a) { return std::isfinite(a); }

// Rotation by `angle` about the unit axis n (right-hand formula, Rodrigues).
MATRIX3 AxisRotation(const VECTOR3 &n, double angle)
{
    const double s = std::sin(angle), c = std::cos(angle), k = 1.0 - c;
    return _M(c + k * n.x * n.x, k * n.x * n.y - s * n.z, k * n.x * n.z + s * n.y,  //
              k * n.y * n.x + s * n.z, c + k * n.y * n.y, k * n.y * n.z - s * n.x,  //
              k * n.z * n.x - s * n.y, k * n.z * n.y + s * n.x, c + k * n.z * n.z);
}

// Keeps a rotation matrix orthonormal (Gram-Schmidt on its columns, x then y; z completes).
void Orthonormalise(MATRIX3 &R)
{
    VECTOR3 x = _V(R.m11, R.m21, R.m31), y = _V(R.m12, R.m22, R.m32), z = _V(R.m13, R.m23, R.m33);
    const double lx = length(x);
    if (!(lx > 0)) return;
    x = x / lx;
    y = y - x * dotp(x, y);
    const double ly = length(y);
    if (!(ly > 0)) return;
    y = y / ly;
    VECTOR3 zn = crossp(x, y);  // the column set keeps the sense it had
    if (dotp(zn, z) < 0) zn = -zn;
    R = _M(x.x, y.x, zn.x, x.y, y.y, zn.y, x.z, y.z, zn.z);
}

// ---- gravity ---------------------------------------------------------------------------------
VECTOR3 Gravity(const Craft &c, const VECTOR3 &r)
{
    VECTOR3 a = _V(0, 0, 0);
    const double r2 = dotp(r, r);
    if (r2 > 1.0) a = r * (-c.gm / (r2 * std::sqrt(r2)));
    for (int i = 0; i < c.npull; ++i) {
        const VECTOR3 d = c.pull[i].pos - r;
        const double d2 = dotp(d, d);
        if (d2 > 1.0) a += d * (c.pull[i].gm / (d2 * std::sqrt(d2)));
        a -= c.pull[i].acc0;
    }
    return a;
}

// ---- aerodynamics ----------------------------------------------------------------------------
// Lift direction of a vertical airfoil for the airspeed u (normal to u in the y-z plane, +y in
// level forward flight); zero when u has no part in that plane.
VECTOR3 VerticalLiftDir(const VECTOR3 &u)
{
    const double n = std::sqrt(u.y * u.y + u.z * u.z);
    return n > kMinAirspeed ? _V(0, u.z / n, -u.y / n) : _V(0, 0, 0);
}
// The same for a horizontal airfoil (normal to u in the x-z plane, +x in forward flight).
VECTOR3 HorizontalLiftDir(const VECTOR3 &u)
{
    const double n = std::sqrt(u.x * u.x + u.z * u.z);
    return n > kMinAirspeed ? _V(u.z / n, 0, -u.x / n) : _V(0, 0, 0);
}

// The axis a control surface works on when the module left the choice to the host.
int SurfaceAxis(const ControlSurface &cs)
{
    if (cs.axis != AIRCTRL_AXIS_AUTO) return cs.axis;
    switch (cs.type) {
    case AIRCTRL_RUDDER:
    case AIRCTRL_RUDDERTRIM: return AIRCTRL_AXIS_YPOS;
    case AIRCTRL_AILERON: return cs.ref.x >= 0 ? AIRCTRL_AXIS_XPOS : AIRCTRL_AXIS_XNEG;
    case AIRCTRL_FLAP: return AIRCTRL_AXIS_XNEG;  // a flap adds lift
    default: return AIRCTRL_AXIS_XPOS;           // elevator and its trim
    }
}

// Forces (and, when asked, moments) of the air on the vessel flying with the airspeed u (vessel
// frame, the vessel's velocity relative to the air).
void AeroLoads(const Craft &c, const VECTOR3 &u, bool with_moments, Loads *out)
{
    out->force = _V(0, 0, 0);
    out->moment = _V(0, 0, 0);
    const Vessel &v = *c.v;
    const double V2 = dotp(u, u);
    if (!(c.rho > 0) || V2 < kMinAirspeed * kMinAirspeed) return;
    const double V = std::sqrt(V2), q = 0.5 * c.rho * V2;
    VECTOR3 F = _V(0, 0, 0), M = _V(0, 0, 0);

    if (c.legacy) {
        // One drag force along the airflow; its coefficient times area blends the three axes' values
        // by the squared direction cosines of the airflow (a vessel moving along an axis sees that
        // axis's coefficient and cross section alone).
        const double cwz = u.z > 0 ? v.cw_z_pos : v.cw_z_neg;
        const double cwS = (u.x * u.x * v.cw_x * v.cross_sections.x + u.y * u.y * v.cw_y * v.cross_sections.y +
                            u.z * u.z * cwz * v.cross_sections.z) / V2;
        F += u * (-0.5 * c.rho * V * cwS);
        if (v.lift_func) {
            const VECTOR3 ldir = VerticalLiftDir(u);
            if (ldir.y != 0 || ldir.z != 0) {
                const double cl = v.lift_func(std::atan2(-u.y, u.z));
                if (Finite(cl)) {
                    const double S = v.cross_sections.y;
                    const double ae = v.wing_aspect * v.wing_effectiveness;
                    const double cdi = ae > 0 ? cl * cl / ae : 0.0;
                    F += ldir * (cl * q * S) - u * (cdi * q * S / V);
                }
            }
        }
        if (with_moments)
            M += _V(v.pitch_moment_scale * u.y, -v.bank_moment_scale * u.x, 0) * (q * c.size3 / V);
    }

    for (const Airfoil *af : v.airfoils) {
        if (!af->alive || !af->cf) continue;
        const VECTOR3 ua = u + crossp(af->ref, c.omega);  // the airspeed at the airfoil
        const double Va = length(ua);
        if (Va < kMinAirspeed) continue;
        const bool vertical = af->align == LIFT_VERTICAL;
        const double angle = vertical ? std::atan2(-ua.y, ua.z) : std::atan2(-ua.x, ua.z);
        const double mach = Va / c.sound;
        const double re = c.rho * Va * af->c / c.viscosity;
        double cl = 0, cm = 0, cd = 0;
        af->cf(v.iface, angle, mach, re, af->context, &cl, &cm, &cd);
        if (!Finite(cl) || !Finite(cm) || !Finite(cd)) continue;
        const double qS = 0.5 * c.rho * Va * Va * af->S;
        const VECTOR3 ldir = vertical ? VerticalLiftDir(ua) : HorizontalLiftDir(ua);
        const VECTOR3 f = ldir * (cl * qS) - ua * (cd * qS / Va);
        F += f;
        if (with_moments) {
            M += crossp(f, af->ref);
            // cm > 0 turns the nose toward +y (vertical) or toward +x (horizontal).
            if (vertical)
                M.x += cm * qS * af->c;
            else
                M.y -= cm * qS * af->c;
        }
    }

    for (const ControlSurface &cs : v.ctrl_surfaces) {
        const int type = static_cast<int>(cs.type);
        const double level = (type >= 0 && type < 6) ? v.ctrl_level[type] : 0.0;
        if (level == 0 || cs.area == 0 || cs.dCl == 0) continue;
        const VECTOR3 us = u + crossp(cs.ref, c.omega);
        const double qs = 0.5 * c.rho * dotp(us, us);
        VECTOR3 dir;
        switch (SurfaceAxis(cs)) {
        case AIRCTRL_AXIS_XPOS: dir = -VerticalLiftDir(us); break;
        case AIRCTRL_AXIS_XNEG: dir = VerticalLiftDir(us); break;
        case AIRCTRL_AXIS_YPOS: dir = -HorizontalLiftDir(us); break;
        case AIRCTRL_AXIS_YNEG: dir = HorizontalLiftDir(us); break;
        default: continue;
        }
        const VECTOR3 f = dir * (cs.dCl * level * qs * cs.area);
        F += f;
        if (with_moments) M += crossp(f, cs.ref);
    }

    out->force = F;
    out->moment = M;
}

// Air properties at the vessel's altitude for the coming sub-step.
void SampleAir(Craft &c, const VECTOR3 &r)
{
    if (!c.air) {
        c.rho = 0;
        return;
    }
    const AtmosphereSample a = StandardAtmosphere(length(r) - c.radius);
    c.rho = a.density;
    c.sound = a.speed_of_sound;
    c.viscosity = kSutherlandMu0 * a.temperature * std::sqrt(a.temperature) / (a.temperature + kSutherlandS);
}

VECTOR3 AirVelocity(const Craft &c, const VECTOR3 &r, const VECTOR3 &vel)
{
    return c.air ? vel - mul(c.spin, r) : vel;
}

// Acceleration of the centre of mass at position r, velocity vel (global axes).
VECTOR3 Acceleration(const Craft &c, const VECTOR3 &r, const VECTOR3 &vel, Loads *loads_out)
{
    Loads l;
    AeroLoads(c, tmul(c.R, AirVelocity(c, r, vel)), loads_out != nullptr, &l);
    if (loads_out) *loads_out = l;
    return Gravity(c, r) + mul(c.R, c.thrust + l.force) * (1.0 / c.mass);
}

// ---- mass, thrust, propellant ----------------------------------------------------------------
// Thrust of the frame (vessel frame) and the propellant it burns over dt.
void Thrust(Craft &c, double dt, double pressure)
{
    c.thrust = _V(0, 0, 0);
    c.thrust_torque = _V(0, 0, 0);
    for (Thruster *t : c.v->thrusters) {
        if (!t->alive || !(t->level > 0) || !(t->max0 > 0)) continue;
        Tank *tank = t->tank;
        if (!tank || !tank->alive || !(tank->mass > 0)) continue;
        double F = t->max0 * std::min(1.0, t->level);
        double isp = t->isp0;
        if (isp > 0 && t->isp_ref > 0 && t->p_ref > 0) {
            isp = std::max(0.0, t->isp0 - (t->isp0 - t->isp_ref) * pressure / t->p_ref);
            F *= isp / t->isp0;
        }
        if (isp > 0) {
            const double eff = tank->efficiency > 0 ? tank->efficiency : 1.0;
            const double need = F / (isp * eff) * dt;
            if (need > tank->mass) {
                F *= tank->mass / need;  // the tank runs dry during the frame
                tank->mass = 0;
            } else {
                tank->mass -= need;
            }
        }
        const double ld = length(t->dir);
        if (!(ld > 0) || !(F > 0)) continue;
        const VECTOR3 f = t->dir * (F / ld);
        c.thrust += f;
        c.thrust_torque += crossp(f, t->pos);
    }
}

// ---- ground contact --------------------------------------------------------------------------
int ContactPoints(const Vessel &v, VECTOR3 pts[3])
{
    if (v.has_touchdown) {
        pts[0] = v.touchdown[0], pts[1] = v.touchdown[1], pts[2] = v.touchdown[2];
        return 3;
    }
    pts[0] = _V(0, -0.5 * v.size, 0);
    return 1;
}

// Altitude of the lowest contact point above the reference body's mean radius [m].
double LowestPointAltitude(const Craft &c, const VECTOR3 &r, const MATRIX3 &R)
{
    VECTOR3 pts[3];
    const int n = ContactPoints(*c.v, pts);
    double low = 1e300;
    for (int i = 0; i < n; ++i) low = std::min(low, length(r + mul(R, pts[i])) - c.radius);
    return low;
}

// Height of the centre of gravity above the ground while resting on the contact points.
double RestingElevation(const Vessel &v)
{
    VECTOR3 pts[3];
    const int n = ContactPoints(v, pts);
    double miny = 0;
    for (int i = 0; i < n; ++i) miny = std::min(miny, pts[i].y);
    return std::max(v.cog_elev, -miny);
}

void Touchdown(World &w, Craft &c, double vertical_speed)
{
    Vessel *v = c.v;
    double lng, lat, rad;
    v->EquPos(lng, lat, rad);
    const double hdg = v->Heading();
    v->landed_elev = RestingElevation(*v);
    v->SetLanded(lng, lat, hdg);
    char buf[160];
    std::snprintf(buf, sizeof buf, "landed %s (touchdown %.1f m/s)", v->name.c_str(), std::fabs(vertical_speed));
    w.Event(buf);
}

// ---- the frame of one vessel -----------------------------------------------------------------
int SubstepCount(const Craft &c, double dt, const VECTOR3 &r, const VECTOR3 &vel)
{
    double h = dt;
    const double rn = length(r);
    if (c.gm > 0 && rn > 0) h = std::min(h, kOrbitStepFraction * std::sqrt(rn * rn * rn / c.gm));
    for (int i = 0; i < c.npull; ++i) {
        const double d = length(c.pull[i].pos - r);
        if (d > 0) h = std::min(h, kOrbitStepFraction * std::sqrt(d * d * d / c.pull[i].gm));
    }
    if (c.rho > kSensibleDensity) {
        h = std::min(h, kAirStep);
        const Vessel &v = *c.v;
        double area = 0;  // drag-like area of every aerodynamic element [m^2]
        if (c.legacy)
            area += v.cw_x * v.cross_sections.x + v.cw_y * v.cross_sections.y +
                    std::max(v.cw_z_pos, v.cw_z_neg) * v.cross_sections.z;
        for (const Airfoil *af : v.airfoils) area += 2.0 * std::fabs(af->S);
        for (const ControlSurface &cs : v.ctrl_surfaces) area += std::fabs(cs.area * cs.dCl);
        const double rate = c.rho * length(AirVelocity(c, r, vel)) * area / c.mass;  // [1/s]
        if (rate > 0) h = std::min(h, kDragStepFactor / rate);
    }
    const double w = length(c.omega);
    if (w > 0) h = std::min(h, kMaxRotationStep / w);
    if (!(h > 0)) return 1;
    const double n = std::ceil(dt / h - 1e-9);
    return static_cast<int>(std::max(1.0, std::min(static_cast<double>(kMaxSubsteps), n)));
}

void StepVessel(World &w, Craft &c, double dt)
{
    Vessel *v = c.v;
    SampleAir(c, v->rpos);
    Thrust(c, dt, c.air ? StandardAtmosphere(length(v->rpos) - c.radius).pressure : 0.0);

    if (v->landed) {
        // It stays on the ground unless thrust along the local vertical lifts its weight (the air
        // moves with the ground, so it carries no lift).
        const VECTOR3 up = v->rpos / std::max(1.0, length(v->rpos));
        const double r2 = std::max(1.0, dotp(v->rpos, v->rpos));
        const double weight = c.mass * c.gm / r2;
        if (!(dotp(mul(v->R, c.thrust), up) > weight)) return;
        v->landed = false;
        v->rvel = c.air ? mul(c.spin, v->rpos) : _V(0, 0, 0);
        w.Event("liftoff " + v->name);
    }

    VECTOR3 r = v->rpos, vel = v->rvel;
    c.R = v->R;
    c.omega = v->omega;
    const VECTOR3 r0 = r, vel0 = vel, omega0 = c.omega;
    const MATRIX3 R0 = c.R;

    const int n = SubstepCount(c, dt, r, vel);
    const double h = dt / n;
    double low = LowestPointAltitude(c, r, c.R);
    for (int i = 0; i < n; ++i) {
        if (i > 0) SampleAir(c, r);
        const double up_before = dotp(AirVelocity(c, r, vel), r) / std::max(1.0, length(r));

        // Translation: RK4 with attitude and angular velocity held over the sub-step.
        Loads loads;
        const VECTOR3 a1 = Acceleration(c, r, vel, &loads);
        const VECTOR3 v2 = vel + a1 * (0.5 * h);
        const VECTOR3 a2 = Acceleration(c, r + vel * (0.5 * h), v2, nullptr);
        const VECTOR3 v3 = vel + a2 * (0.5 * h);
        const VECTOR3 a3 = Acceleration(c, r + v2 * (0.5 * h), v3, nullptr);
        const VECTOR3 v4 = vel + a3 * h;
        const VECTOR3 a4 = Acceleration(c, r + v3 * h, v4, nullptr);
        r += (vel + v2 * 2.0 + v3 * 2.0 + v4) * (h / 6.0);
        vel += (a1 + a2 * 2.0 + a3 * 2.0 + a4) * (h / 6.0);

        // Rotation: Euler's equations, then the damping of the air as an exact decay.
        const VECTOR3 &I = c.inertia;
        const VECTOR3 L = _V(I.x * c.omega.x, I.y * c.omega.y, I.z * c.omega.z);
        const VECTOR3 torque = loads.moment + c.thrust_torque + crossp(c.omega, L);
        c.omega += _V(torque.x / I.x, torque.y / I.y, torque.z / I.z) * h;
        if (c.rho > 0) {
            // In still air the tips' own speed sets the dynamic pressure.
            const double speed = length(AirVelocity(c, r, vel)) + 0.5 * c.v->size * length(c.omega);
            const double k = 0.5 * c.rho * speed * c.size4 * h;
            const VECTOR3 &rd = v->rot_drag;
            c.omega.x *= std::exp(-std::max(0.0, rd.x) * k / I.x);
            c.omega.y *= std::exp(-std::max(0.0, rd.y) * k / I.y);
            c.omega.z *= std::exp(-std::max(0.0, rd.z) * k / I.z);
        }
        const double wn = length(c.omega);
        if (wn > 0) c.R = mul(c.R, AxisRotation(c.omega / wn, -wn * h));

        // Ground contact: the lowest point reached the ground while coming down.
        const double low_after = LowestPointAltitude(c, r, c.R);
        const double up_after = dotp(AirVelocity(c, r, vel), r) / std::max(1.0, length(r));
        if (low_after <= 0 && (up_after <= 0 || low_after < -kBuriedDepth)) {
            const double f = low > 0 ? low / (low - low_after) : 0.0;  // when in the sub-step
            v->rpos = r;
            v->rvel = vel;
            v->R = c.R;
            Touchdown(w, c, up_before + f * (up_after - up_before));
            return;
        }
        low = low_after;
    }
    Orthonormalise(c.R);
    if (!Finite(r) || !Finite(vel) || !Finite(c.omega) || !Finite(_V(c.R.m11, c.R.m22, c.R.m33))) {
        w.Log("physics: the state of \"" + v->name + "\" became invalid in this frame; it keeps its last state");
        v->rpos = r0, v->rvel = vel0, v->omega = omega0, v->R = R0;
        return;
    }
    v->rpos = r;
    v->rvel = vel;
    v->R = c.R;
    v->omega = c.omega;
}

}  // namespace

void PhysicsStep(World &w, double dt)
{
    if (!(dt > 0)) return;
    for (Vessel *v : w.Vessels()) {
        if (!v->alive || v->parent || !v->ref) continue;  // children ride on their parents
        Craft c;
        c.v = v;
        c.ref = v->ref;
        c.gm = kG * c.ref->mass;
        c.radius = c.ref->radius;
        c.air = c.ref->has_atmosphere;
        c.spin = c.ref->spin;
        for (const Body *b : w.Bodies()) {
            if (b == c.ref || !(b->mass > 0) || c.npull == kMaxBodies) continue;
            Puller &p = c.pull[c.npull++];
            p.pos = b->pos - c.ref->pos;
            p.gm = kG * b->mass;
            const double d2 = dotp(p.pos, p.pos);
            p.acc0 = d2 > 1.0 ? p.pos * (p.gm / (d2 * std::sqrt(d2))) : _V(0, 0, 0);
        }
        const double m = v->Mass();
        c.mass = (Finite(m) && m > kMinMass) ? m : kMinMass;
        c.inertia = _V(std::max(kMinInertia, c.mass * v->pmi.x), std::max(kMinInertia, c.mass * v->pmi.y),
                       std::max(kMinInertia, c.mass * v->pmi.z));
        c.legacy = true;
        for (const Airfoil *af : v->airfoils)
            if (af->alive) c.legacy = false;
        const double size = std::max(0.0, v->size);
        c.size3 = size * size * size;
        c.size4 = c.size3 * size;
        StepVessel(w, c, dt);
    }
}

}  // namespace sim
