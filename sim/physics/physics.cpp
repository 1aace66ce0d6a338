// physics.cpp -- the stand-in host's flight physics: the state update of one frame.
//
// The models are the simulator's own (orbitersim/orbiter, 2024 release, Src/Orbiter/); each one
// names the function it follows. Per frame and free vessel: thrust and propellant, control surface
// slewing, then the state is integrated in sub-steps (RK4 for position and velocity with the
// attitude held over a sub-step, then the angular velocity and the attitude), the air and the
// ground contact evaluated at every stage; last comes the landing test. Attached children are not
// moved here (the world puts them on their parents' points) and add nothing to their parents.
//
//   gravity      Newton's point masses: the reference body's pull plus every other body's
//                differential (third-body) pull, positions being relative to the reference body.
//   atmosphere   U.S. Standard Atmosphere 1976 (atmosphere.h) turning with the Earth: airspeed =
//                rvel - spin * rpos. "Inside the atmosphere" means density > 0 here.
//   old model    Vessel.cpp UpdateAerodynamicForces_OLD, for vessels without airfoils: OldModelLoads.
//   airfoils     Vessel.cpp UpdateAerodynamicForces, for vessels with airfoils: AirfoilModelLoads
//                (control surfaces act only here; variable drag elements have no API in this SDK).
//   surfaces     Vessel.cpp ApplyControlSurfaceLevels: ApplyControlSurfaceLevels.
//   thrust       Vessel.cpp UpdateThrustForces, ThrusterAtmScale: Thrust.
//   ground       Vessel.cpp AddSurfaceForces (dynamic ground contact, the default): SurfaceLoads.
//   landing      Vesselbase.cpp CheckLanded, Vessel.cpp Update (landed branch): CheckLanded and
//                the landed branch of StepVessel.
//   rigid body   Rigidbody.cpp EulerInv_full: I domega/dt = tau - omega x (I omega) with I = m PMI;
//                a force F at r gives the moment F x r (crossp(F, r), Vessel.h AddForce).
//
// Where we integrate differently: the host evaluates thrust and the air once per frame and
// integrates with RK2 in one sub-step at frames below 0.1 s (Rigidbody.cpp SetPropagator, default
// Config.cpp levels), the ground contact at every stage. Its default ground springs (1e6 N/m, 1e5
// N s/m per point on a 1000 kg vessel) are unstable at 0.02 s steps in that scheme (damping rate
// 300/s times 0.02 s exceeds RK2's stability bound); we sub-step near the ground and in stiff air
// until our RK4 is stable, so our vessels settle where the host's would jitter.
#include "physics.h"

#include "atmosphere.h"
#include "body.h"
#include "vessel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sim {
namespace {

// ---- constants ---------------------------------------------------------------------------------
constexpr double kG = 6.67259e-11;            // [m^3 kg^-1 s^-2] gravitational constant (as astro.h)
constexpr double kMinMass = 1.0;              // [kg] a vessel without a sensible mass weighs this
constexpr double kMinInertia = 1e-6;          // [kg m^2] floor of each principal moment
constexpr double kOldModelMinAirspeed = 1e-8; // [m/s] the old model does nothing below (host's eps)
constexpr double kViscosity = 1.7894e-5;      // [kg m^-1 s^-1] the host's fixed air viscosity (Reynolds)
constexpr double kDampingSpeedAdd = 30.0;     // [m/s] added to the airspeed for the airfoil rotational drag
constexpr double kOrbitStepFraction = 0.002;  // [-] sub-step at most this times sqrt(r^3 / GM)
constexpr double kDragStepFactor = 0.5;       // [-] sub-step at most this over the drag rate
constexpr double kAirStep = 0.05;             // [s] longest sub-step in a sensible atmosphere
constexpr double kSensibleDensity = 1e-5;     // [kg/m^3] above this the air sets the sub-step
constexpr double kMaxRotationStep = 0.1;      // [rad] largest turn in one sub-step
constexpr double kContactStepFactor = 0.2;    // [-] sub-step at most this over the contact rates
constexpr int kMaxSubsteps = 2000;            // [-] per vessel and frame
constexpr int kMaxBodies = 8;                 // [-] bodies that pull (Sun, Earth, Moon here)
// Ground contact (Vessel.cpp AddSurfaceForces)
constexpr double kMaxCompression = 1.0;       // [m] a point counts at most this deep
constexpr double kFrictionDepth = 0.1;        // [m] friction grows with the depth up to this
constexpr double kFrictionFullSpeed = 10.0;   // [m/s] below it friction falls as sqrt(0.1 |v|)
constexpr double kMaxContactTurn = 10.0 * M_PI / 180.0;  // [rad] turn per sub-step from contact torque
// Landing test (Vesselbase.cpp CheckLanded)
constexpr double kLandingCheckInterval = 0.1; // [s] first comparison after the timer starts
constexpr double kLandingMotionLimit = 1e-4;  // [m^2/s], [rad/s] still moving above these
constexpr double kLandingRestTime = 5.0;      // [s] at rest for longer than this: landed

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
    MATRIX3 spin{};      // velocity of the ground (and air) at r: spin * r
    Puller pull[kMaxBodies];
    int npull = 0;
    double mass = kMinMass;             // [kg]
    VECTOR3 inertia{};                  // principal moments [kg m^2]
    VECTOR3 thrust{}, thrust_torque{};  // vessel frame [N], [N m]
    bool airfoil_model = false;         // the vessel has airfoils
    double frame_dt = 0;                // [s]
    double sub_dt = 0;                  // [s] the current sub-step
    // over one sub-step
    MATRIX3 R{};
    VECTOR3 omega{};
    double rho = 0, sound = 340.29;
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

VECTOR3 Unit(const VECTOR3 &a)
{
    const double l = length(a);
    return l > 0 ? a / l : _V(0, 0, 0);
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

}  // namespace

// ---- aerodynamics ----------------------------------------------------------------------------
// Vessel.cpp UpdateAerodynamicForces_OLD: vessels without airfoils. u is the vessel's velocity
// relative to the air in its own axes, omega its angular velocity, rho the density.
//   drag    q (0.5 cs.x cw_x |n.x| + 0.5 cs.y cw_y |n.y| + 0.5 cs.z cw_z+ |n.z|) along -n, n = u/|u|
//           (the backward coefficient is stored but never used);
//   lift    Cl(aoa) q cs.y along (0, u.z, -u.y), aoa = atan2(-u.y, u.z), with induced drag
//           lift Cl / (wing aspect x wing effectiveness);
//   moments pitch -size m rho V cs.y sin(aoa - trim_scale trim level) pitch scale,
//           yaw -size m rho V cs.x sin(atan2(u.x, u.z)) yaw ("bank") scale,
//           rotational drag -size m rho rot_drag omega (per axis).
void OldModelLoads(const Vessel &v, double mass, double rho, const VECTOR3 &u, const VECTOR3 &omega, Loads *out)
{
    out->force = _V(0, 0, 0);
    out->moment = _V(0, 0, 0);
    const double V = length(u);
    if (V < kOldModelMinAirspeed || !(rho > 0)) return;
    const double q = 0.5 * rho * V * V;
    const double aoa = std::atan2(-u.y, u.z), beta = std::atan2(u.x, u.z);
    const double daoa = aoa - v.trim_scale * v.ctrl_curr[AIRCTRL_ELEVATORTRIM];
    const double fac = v.size * mass * rho;
    const VECTOR3 &cs = v.cross_sections;
    out->moment.x -= fac * V * cs.y * std::sin(daoa) * v.pitch_moment_scale;
    out->moment.y -= fac * V * cs.x * std::sin(beta) * v.bank_moment_scale;
    out->moment.x -= fac * omega.x * v.rot_drag.x;
    out->moment.y -= fac * omega.y * v.rot_drag.y;
    out->moment.z -= fac * omega.z * v.rot_drag.z;

    const VECTOR3 n = u / V;
    double drag = 0;
    if (v.lift_func) {
        const double cl = v.lift_func(aoa);
        if (Finite(cl) && cl != 0) {
            const double lift = cl * q * cs.y;
            const double lnorm = std::hypot(u.z, u.y);
            if (lnorm > 0) out->force += _V(0, u.z, -u.y) * (lift / lnorm);
            const double wingfactor = v.wing_aspect * v.wing_effectiveness;
            drag = wingfactor != 0 ? lift * cl / wingfactor : 0.0;
        }
    }
    const double cw_cs = 0.5 * cs.x * v.cw_x * std::fabs(n.x) + 0.5 * cs.y * v.cw_y * std::fabs(n.y) +
                         0.5 * cs.z * v.cw_z_pos * std::fabs(n.z);
    drag += cw_cs * q;
    out->force -= n * drag;
}

// Vessel.cpp UpdateAerodynamicForces: vessels with airfoils. Nothing at all when the airflow has
// no component along the vessel's z axis.
//   rotational drag  -min(0.5 rho (V+30)^2 cs.y rot_drag, PMI m / dt) omega per axis (dt the frame);
//   airfoils         the coefficients for the vessel's airflow (aoa atan2(-u.y, u.z) for a vertical
//                    airfoil, beta atan2(-u.x, u.z) for a horizontal one), Mach V/a, Reynolds
//                    rho V c / 1.7894e-5; lift along (0, u.z, -u.y) (vertical) or side force along
//                    (u.z, 0, -u.x) (horizontal), drag along -u, at the reference point; an area
//                    of 0 takes the projected cross sections; cm q S c about x (vertical) or y
//                    (horizontal);
//   control surfaces lift -level q area dCl along the lift (+X axis), its opposite (-X), the side
//                    direction (+Y) or its opposite (-Y), plus drag |level| q area, at the surface.
void AirfoilModelLoads(const Vessel &v, double mass, double rho, double sound, double dt, const VECTOR3 &u,
                       const VECTOR3 &omega, Loads *out)
{
    out->force = _V(0, 0, 0);
    out->moment = _V(0, 0, 0);
    if (u.z == 0 || !(rho > 0)) return;
    const double V = length(u), q = 0.5 * rho * V * V;
    const double aoa = std::atan2(-u.y, u.z), beta = std::atan2(-u.x, u.z);
    const double mach = sound > 0 ? V / sound : 0.0, re0 = rho * V / kViscosity;
    const VECTOR3 &cs = v.cross_sections;
    VECTOR3 F = _V(0, 0, 0), M = _V(0, 0, 0);
    auto add = [&](const VECTOR3 &f, const VECTOR3 &at) {
        F += f;
        M += crossp(f, at);
    };

    const double fac = 0.5 * rho * (V + kDampingSpeedAdd) * (V + kDampingSpeedAdd) * cs.y;
    const double cap = dt > 0 ? mass / dt : 1e300;
    M.x -= std::min(fac * v.rot_drag.x, v.pmi.x * cap) * omega.x;
    M.y -= std::min(fac * v.rot_drag.y, v.pmi.y * cap) * omega.y;
    M.z -= std::min(fac * v.rot_drag.z, v.pmi.z * cap) * omega.z;

    const VECTOR3 ddir = -u / V, ldir = Unit(_V(0, u.z, -u.y)), sdir = Unit(_V(u.z, 0, -u.x));
    for (const Airfoil *af : v.airfoils) {
        if (!af->alive || !af->cf) continue;
        double cl = 0, cm = 0, cd = 0;
        if (af->align == LIFT_VERTICAL) {
            af->cf(v.iface, aoa, mach, re0 * af->c, af->context, &cl, &cm, &cd);
            if (!Finite(cl) || !Finite(cm) || !Finite(cd)) continue;
            const double S = af->S != 0 ? af->S : std::fabs(ddir.z) * cs.z + std::fabs(ddir.y) * cs.y;
            add(ldir * (cl * q * S) + ddir * (cd * q * S), af->ref);
            M.x += cm * q * af->S * af->c;
        } else {
            af->cf(v.iface, beta, mach, re0 * af->c, af->context, &cl, &cm, &cd);
            if (!Finite(cl) || !Finite(cm) || !Finite(cd)) continue;
            // The host's projected area for a horizontal airfoil takes cs.z for both terms.
            const double S = af->S != 0 ? af->S : std::fabs(ddir.z) * cs.z + std::fabs(ddir.x) * cs.z;
            add(sdir * (cl * q * S) + ddir * (cd * q * S), af->ref);
            M.y += cm * q * af->S * af->c;
        }
    }

    for (const ControlSurface &s : v.ctrl_surfaces) {
        const int type = static_cast<int>(s.type);
        const double level = (type >= 0 && type < 6) ? v.ctrl_curr[type] : 0.0;
        if (level == 0) continue;
        const double f = s.area * q;
        const double cdrag = std::fabs(level) * f, clift = -level * f * s.dCl;
        switch (s.axis) {
        case AIRCTRL_AXIS_XPOS: add(ldir * clift + ddir * cdrag, s.ref); break;
        case AIRCTRL_AXIS_XNEG: add(ldir * (-clift) + ddir * cdrag, s.ref); break;
        case AIRCTRL_AXIS_YPOS: add(sdir * clift + ddir * cdrag, s.ref); break;
        case AIRCTRL_AXIS_YNEG: add(sdir * (-clift) + ddir * cdrag, s.ref); break;
        default: break;
        }
    }
    out->force = F;
    out->moment = M;
}

// Vessel.cpp ApplyControlSurfaceLevels: each control type's deflection moves toward its target
// (clamped to +-1) by at most dt / delay, or jumps there when its delay is 0.
void ApplyControlSurfaceLevels(Vessel &v, double dt)
{
    for (int i = 0; i < 6; ++i) {
        const double target = std::max(-1.0, std::min(1.0, v.ctrl_level[i]));
        double level = target;
        if (v.ctrl_delay[i] > 0) {
            const double dmax = dt / v.ctrl_delay[i], d = target - v.ctrl_curr[i];
            if (d > dmax) level = v.ctrl_curr[i] + dmax;
            else if (d < -dmax) level = v.ctrl_curr[i] - dmax;
        }
        v.ctrl_curr[i] = level;
    }
}

void ApplyControlSurfaceLevels(const PhysicsScene &w, double dt)
{
    if (!(dt > 0)) return;
    for (Vessel *v : w.Vessels())
        if (v->alive) ApplyControlSurfaceLevels(*v, dt);
}

namespace {

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
}

VECTOR3 GroundVelocity(const Craft &c, const VECTOR3 &r, const VECTOR3 &vel) { return vel - mul(c.spin, r); }
VECTOR3 AirVelocity(const Craft &c, const VECTOR3 &r, const VECTOR3 &vel)
{
    return c.air ? GroundVelocity(c, r, vel) : vel;
}

// ---- ground contact --------------------------------------------------------------------------
// Depth of each touchdown point above the ground (negative below) [m]; returns the lowest.
double PointHeights(const Craft &c, const VECTOR3 &r, const MATRIX3 &R, double h[3])
{
    double low = 1e300;
    for (int i = 0; i < 3; ++i) {
        h[i] = length(r + mul(R, c.v->touchdown[i])) - c.radius;
        low = std::min(low, h[i]);
    }
    return low;
}

// Vessel.cpp AddSurfaceForces (dynamic ground contact, its default): every touchdown point below
// the ground pushes along the ground's normal with stiffness x depth (depth counted to 1 m at most)
// minus damping x the point's normal speed; friction along the touchdown frame's longitudinal
// (nose point minus the middle of the rear points, in the ground plane) and lateral directions,
// mu x stiffness x min(depth, 0.1 m), scaled by sqrt(0.1 |v|) below 10 m/s, against the point's
// motion; the total friction may not more than stop the vessel in the step (mass / dt), and the
// contact torque may not turn it more than 10 degrees in the step. Wheel brakes: not modelled.
bool SurfaceLoads(const Craft &c, const VECTOR3 &r, const VECTOR3 &vel, double dt, Loads *out)
{
    out->force = _V(0, 0, 0);
    out->moment = _V(0, 0, 0);
    const Vessel &v = *c.v;
    double tdy[3];
    if (PointHeights(c, r, c.R, tdy) >= 0) return false;
    const VECTOR3 gv_ship = tmul(c.R, GroundVelocity(c, r, vel));
    const VECTOR3 hn = tmul(c.R, Unit(r));
    const VECTOR3 *tp = v.touchdown;
    const VECTOR3 d1 = tp[0] - (tp[1] + tp[2]) * 0.5;
    const VECTOR3 d1h = Unit(d1 - hn * dotp(d1, hn));
    const VECTOR3 d2h = crossp(hn, d1h);
    double fn[3] = {0, 0, 0}, flng[3] = {0, 0, 0}, flat[3] = {0, 0, 0};
    double fn_tot = 0, flng_tot = 0, flat_tot = 0;
    for (int i = 0; i < 3; ++i) {
        if (!(tdy[i] < 0)) continue;
        const double depth = std::min(-tdy[i], kMaxCompression);
        const VECTOR3 gv = gv_ship + crossp(tp[i], c.omega);
        const double gv_n = dotp(gv, hn), gv_lon = dotp(gv, d1h), gv_lat = dotp(gv, d2h);
        fn[i] = depth * v.td_stiffness[i];
        const double maxpress = std::min(depth, kFrictionDepth) * v.td_stiffness[i];
        flng[i] = v.td_mu_lng[i] * maxpress;
        if (std::fabs(gv_lon) < kFrictionFullSpeed) flng[i] *= std::sqrt(std::fabs(0.1 * gv_lon));
        if (gv_lon > 0) flng[i] = -flng[i];
        flng_tot += flng[i];
        flat[i] = v.td_mu[i] * maxpress;
        if (std::fabs(gv_lat) < kFrictionFullSpeed) flat[i] *= std::sqrt(std::fabs(0.1 * gv_lat));
        if (gv_lat > 0) flat[i] = -flat[i];
        flat_tot += flat[i];
        fn[i] -= gv_n * v.td_damping[i];
        fn_tot += fn[i];
    }
    // No more friction than stops the vessel's own motion in this step.
    const double massdt = c.mass / dt;
    const double fmax_lon = -dotp(gv_ship, d1h) * massdt, fmax_lat = -dotp(gv_ship, d2h) * massdt;
    if ((fmax_lon >= 0 && flng_tot > fmax_lon) || (fmax_lon <= 0 && flng_tot < fmax_lon)) {
        const double scale = fmax_lon / flng_tot;
        flng_tot = fmax_lon;
        for (double &f : flng) f *= scale;
    }
    if ((fmax_lat >= 0 && flat_tot > fmax_lat) || (fmax_lat <= 0 && flat_tot < fmax_lat)) {
        const double scale = fmax_lat / flat_tot;
        flat_tot = fmax_lat;
        for (double &f : flat) f *= scale;
    }
    VECTOR3 M = _V(0, 0, 0);
    for (int i = 0; i < 3; ++i)
        if (tdy[i] < 0) M += crossp(hn * fn[i] + d1h * flng[i] + d2h * flat[i], tp[i]);
    // Limit the turn the contact torque alone gives over the step (EulerInv_full of M / m).
    const VECTOR3 &p = v.pmi, &w = c.omega;
    const double m = c.mass;
    const VECTOR3 dA = _V((M.x / m - (p.y - p.z) * w.y * w.z) / std::max(p.x, 1e-12),
                          (M.y / m - (p.z - p.x) * w.z * w.x) / std::max(p.y, 1e-12),
                          (M.z / m - (p.x - p.y) * w.x * w.y) / std::max(p.z, 1e-12)) *
                        (dt * dt);
    const double da = length(dA);
    if (da > kMaxContactTurn) M = M * (kMaxContactTurn / da);
    out->force = hn * fn_tot + d1h * flng_tot + d2h * flat_tot;
    out->moment = M;
    return true;
}

// ---- the forces of one stage -----------------------------------------------------------------
// Acceleration of the centre of mass at position r, velocity vel (global axes); the moments
// (vessel frame) when asked.
VECTOR3 Acceleration(const Craft &c, const VECTOR3 &r, const VECTOR3 &vel, Loads *loads_out)
{
    Loads air, ground;
    const VECTOR3 u = tmul(c.R, AirVelocity(c, r, vel));
    if (c.airfoil_model)
        AirfoilModelLoads(*c.v, c.mass, c.rho, c.sound, c.frame_dt, u, c.omega, &air);
    else
        OldModelLoads(*c.v, c.mass, c.rho, u, c.omega, &air);
    SurfaceLoads(c, r, vel, c.sub_dt, &ground);
    if (loads_out) {
        loads_out->force = air.force + ground.force;
        loads_out->moment = air.moment + ground.moment;
    }
    return Gravity(c, r) + mul(c.R, c.thrust + air.force + ground.force) * (1.0 / c.mass);
}

// ---- mass, thrust, propellant ----------------------------------------------------------------
// Vessel.cpp UpdateThrustForces: a firing thruster with propellant gives max x level of vacuum
// thrust, burns it at thrust / (efficiency x Isp) over the frame (the tank stops at 0), and is
// scaled by max(0, 1 - p pfac) in the ambient pressure p, pfac = (Isp - Isp_ref) / (p_ref Isp);
// a thruster without propellant is switched off (its level reset to 0).
void Thrust(Craft &c, double dt, double pressure)
{
    c.thrust = _V(0, 0, 0);
    c.thrust_torque = _V(0, 0, 0);
    c.v->thrust_engaged = false;
    for (Thruster *t : c.v->thrusters) {
        if (!t->alive) continue;
        t->level = std::max(0.0, std::min(1.0, t->level));
        if (!(t->level > 0)) continue;
        Tank *tank = t->tank;
        if (!tank || !tank->alive || !(tank->mass > 0)) {
            t->level = 0;
            continue;
        }
        double F = t->max0 * t->level;
        if (t->isp0 > 0) {
            const double eff = tank->efficiency;
            tank->mass -= F / (eff * t->isp0) * dt;
            if (!(tank->mass > 0)) tank->mass = 0;
            if (t->isp_ref > 0 && t->p_ref > 0) {
                const double pfac = (t->isp0 - t->isp_ref) / (t->p_ref * t->isp0);
                F *= std::max(0.0, 1.0 - pressure * pfac);
            }
        }
        const VECTOR3 f = Unit(t->dir) * F;
        c.thrust += f;
        c.thrust_torque += crossp(f, t->pos);
        c.v->thrust_engaged = true;
    }
}

// ---- the frame of one vessel -----------------------------------------------------------------
int SubstepCount(const Craft &c, double dt, const VECTOR3 &r, const VECTOR3 &vel)
{
    const Vessel &v = *c.v;
    double h = dt;
    const double rn = length(r);
    if (c.gm > 0 && rn > 0) h = std::min(h, kOrbitStepFraction * std::sqrt(rn * rn * rn / c.gm));
    for (int i = 0; i < c.npull; ++i) {
        const double d = length(c.pull[i].pos - r);
        if (d > 0) h = std::min(h, kOrbitStepFraction * std::sqrt(d * d * d / c.pull[i].gm));
    }
    if (c.rho > kSensibleDensity) {
        h = std::min(h, kAirStep);
        double area = 0;  // drag-like area of every aerodynamic element [m^2]
        if (!c.airfoil_model) {
            area += v.cw_x * v.cross_sections.x + v.cw_y * v.cross_sections.y + v.cw_z_pos * v.cross_sections.z;
            if (v.lift_func) area += std::fabs(v.cross_sections.y);
            // The old model's rotational drag decays omega at size rho rot_drag / PMI.
            const double rate = v.size * c.rho *
                                std::max({v.rot_drag.x / std::max(v.pmi.x, 1e-12), v.rot_drag.y / std::max(v.pmi.y, 1e-12),
                                          v.rot_drag.z / std::max(v.pmi.z, 1e-12)});
            if (rate > 0) h = std::min(h, kDragStepFactor / rate);
        } else {
            for (const Airfoil *af : v.airfoils) area += 2.0 * std::fabs(af->S);
            for (const ControlSurface &cs : v.ctrl_surfaces) area += std::fabs(cs.area) * (1.0 + std::fabs(cs.dCl));
        }
        const double rate = c.rho * length(AirVelocity(c, r, vel)) * area / c.mass;  // [1/s]
        if (rate > 0) h = std::min(h, kDragStepFactor / rate);
    }
    // Near the ground the touchdown springs set the step: their natural frequency and damping
    // rate, for the vessel's translation and (through the points' arms) its rotation.
    double heights[3];
    const double low = PointHeights(c, r, c.R, heights);
    const double reach = length(GroundVelocity(c, r, vel)) * dt + 2.0;
    if (low < reach) {
        double k = 0, d = 0, arm2 = 0;
        for (int i = 0; i < 3; ++i) {
            k += v.td_stiffness[i];
            d += v.td_damping[i];
            arm2 = std::max(arm2, dotp(v.touchdown[i], v.touchdown[i]));
        }
        const double imin = std::max(kMinInertia, std::min({c.inertia.x, c.inertia.y, c.inertia.z}));
        const double wn = std::sqrt(std::max(k / c.mass, k * arm2 / imin));
        const double zeta = std::max(d / c.mass, d * arm2 / imin);
        const double rate = std::max(wn, zeta);
        if (rate > 0) h = std::min(h, kContactStepFactor / rate);
    }
    const double w = length(c.omega);
    if (w > 0) h = std::min(h, kMaxRotationStep / w);
    if (!(h > 0)) return 1;
    const double n = std::ceil(dt / h - 1e-9);
    return static_cast<int>(std::max(1.0, std::min(static_cast<double>(kMaxSubsteps), n)));
}

void StepVessel(PhysicsScene &w, Craft &c, double dt)
{
    Vessel *v = c.v;
    SampleAir(c, v->rpos);
    Thrust(c, dt, c.air ? StandardAtmosphere(length(v->rpos) - c.radius).pressure : 0.0);

    if (v->landed) {
        // Vessel.cpp Update, landed: the vessel stays on its spot; any force or torque in the step
        // (only thrust reaches a landed vessel: the air is not evaluated for it) frees it, at
        // rest on the turning ground and without rotation, and it flies from the next step on.
        const bool force = length(c.thrust) > 0 || length(c.thrust_torque) > 0;
        if (!force) return;
        v->landed = false;
        v->landing_test.testing = false;
        v->rpos += v->rvel * dt;  // where the ground has carried it by the end of the step
        v->rvel = mul(c.spin, v->rpos);
        v->omega = _V(0, 0, 0);
        w.Event("liftoff " + v->name);
        return;
    }

    VECTOR3 r = v->rpos, vel = v->rvel;
    c.R = v->R;
    c.omega = v->omega;
    const VECTOR3 r0 = r, vel0 = vel, omega0 = c.omega;
    const MATRIX3 R0 = c.R;

    const int n = SubstepCount(c, dt, r, vel);
    const double h = dt / n;
    c.sub_dt = h;
    for (int i = 0; i < n; ++i) {
        if (i > 0) SampleAir(c, r);
        if (v->contact_speed < 0) {  // remember the sink speed at the first contact
            double heights[3];
            if (PointHeights(c, r, c.R, heights) < 0)
                v->contact_speed = std::max(0.0, -dotp(GroundVelocity(c, r, vel), Unit(r)));
        }

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

        // Rotation: Euler's equations (Rigidbody.cpp EulerInv_full), then the attitude turns by
        // the new angular velocity over the sub-step.
        const VECTOR3 &I = c.inertia;
        const VECTOR3 L = _V(I.x * c.omega.x, I.y * c.omega.y, I.z * c.omega.z);
        const VECTOR3 torque = loads.moment + c.thrust_torque + crossp(c.omega, L);
        c.omega += _V(torque.x / I.x, torque.y / I.y, torque.z / I.z) * h;
        const double wn = length(c.omega);
        if (wn > 0) c.R = mul(c.R, AxisRotation(c.omega / wn, -wn * h));
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

// The vector part of the attitude's quaternion (scalar part kept >= 0).
VECTOR3 QuaternionVector(const MATRIX3 &R)
{
    const double w = 0.5 * std::sqrt(std::max(0.0, 1.0 + R.m11 + R.m22 + R.m33));
    VECTOR3 q;
    if (w > 1e-6) {
        q = _V(R.m32 - R.m23, R.m13 - R.m31, R.m21 - R.m12) * (0.25 / w);
    } else {  // a half turn: the axis from the diagonal
        q = _V(std::sqrt(std::max(0.0, 1.0 + R.m11 - R.m22 - R.m33)), std::sqrt(std::max(0.0, 1.0 - R.m11 + R.m22 - R.m33)),
               std::sqrt(std::max(0.0, 1.0 - R.m11 - R.m22 + R.m33))) * 0.5;
    }
    return q;
}

// Vesselbase.cpp QuaternionAngle via Vecmat.cpp angle(Quaternion, Quaternion): the angle between
// the quaternions' vector parts.
double AttitudeChange(const MATRIX3 &a, const MATRIX3 &b)
{
    const VECTOR3 qa = QuaternionVector(a), qb = QuaternionVector(b);
    const double la = length(qa), lb = length(qb);
    if (!(la > 0) || !(lb > 0)) return 0.0;
    return std::acos(std::max(-1.0, std::min(1.0, dotp(qa, qb) / (la * lb))));
}

}  // namespace

// Vesselbase.cpp CheckLanded (after the state update): a free top-level vessel with a touchdown
// point below the ground and no thruster firing starts a timer; from 0.1 s on, each check compares
// its planet-frame position and its attitude with the last check's, and restarts the timer when
// the squared displacement or the attitude angle divided by the time since the timer started
// exceeds 1e-4; after more than 5 s it is landed where it is, keeping its attitude and the height of
// its origin (InitLanded with its planet-frame rotation). Losing contact or firing a thruster
// stops the test.
void CheckLanded(PhysicsScene &w, Vessel &v, double t)
{
    const Body *ref = v.ref;
    if (!ref || v.landed || v.parent) return;
    VECTOR3 pts[3];
    const VECTOR3 prel = tmul(ref->R, v.rpos);  // planet frame
    bool contact = false;
    for (int i = 0; i < 3; ++i) {
        pts[i] = v.rpos + mul(v.R, v.touchdown[i]);
        if (length(pts[i]) - ref->radius < 0) contact = true;
    }
    v.surface_contact = contact;
    if (!contact) v.contact_speed = -1;
    Vessel::LandingTest &test = v.landing_test;
    if (test.testing) {
        if (!contact || v.thrust_engaged) {
            test.testing = false;
            return;
        }
        const double dt = t - test.t;
        if (dt < kLandingCheckInterval) return;
        const double dst2 = dotp(prel - test.pos, prel - test.pos);
        const double dangle = AttitudeChange(v.R, test.rot);
        test.pos = prel;
        test.rot = v.R;
        if (dst2 / dt > kLandingMotionLimit || dangle / dt > kLandingMotionLimit) {
            test.t = t;  // still moving
        } else if (t - test.t > kLandingRestTime) {
            test.testing = false;
            double lng, lat, rad;
            v.EquPos(lng, lat, rad);
            const double hdg = v.Heading();
            const double alt = length(v.rpos) - ref->radius;
            const MATRIX3 planet_rot = mul(_M(ref->R.m11, ref->R.m21, ref->R.m31, ref->R.m12, ref->R.m22, ref->R.m32,
                                              ref->R.m13, ref->R.m23, ref->R.m33),
                                           v.R);
            v.InitLanded(lng, lat, hdg, &planet_rot, alt);
            char buf[160];
            std::snprintf(buf, sizeof buf, "landed %s (touchdown %.1f m/s)", v.name.c_str(), std::max(0.0, v.contact_speed));
            w.Event(buf);
        }
    } else if (contact && !v.thrust_engaged) {
        test.testing = true;
        test.t = t;
        test.pos = prel;
        test.rot = v.R;
    }
}

void PhysicsStep(PhysicsScene &w, double dt)
{
    if (!(dt > 0)) return;
    ApplyControlSurfaceLevels(w, dt);
    for (Vessel *v : w.Vessels()) {
        if (!v->alive || v->parent || !v->ref) continue;  // children ride on their parents
        Craft c;
        c.v = v;
        c.ref = v->ref;
        c.gm = kG * c.ref->mass;
        c.radius = c.ref->radius;
        c.air = c.ref->has_atmosphere;
        c.spin = c.ref->spin;
        c.frame_dt = dt;
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
        c.airfoil_model = false;
        for (const Airfoil *af : v->airfoils)
            if (af->alive) c.airfoil_model = true;
        StepVessel(w, c, dt);
    }
    const double t = w.SimTime();
    for (Vessel *v : w.Vessels())
        if (v->alive) CheckLanded(w, *v, t);
}

}  // namespace sim
