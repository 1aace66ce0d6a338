// physics.cpp -- the stand-in host's flight physics: the state update of one frame.
//
// The models are the simulator's own (orbitersim/orbiter, Src/Orbiter/; the integration and the
// ground contact are the same in the 2024 release, its Linux port and the current tree); each one
// names the function it follows. Per frame and free vessel, as the host's Psys.cpp PlanetarySystem::Update
// runs it: thrust and propellant, control surface slewing and the air's forces are evaluated once,
// from the state at the frame's start (Vessel.cpp UpdateBodyForces), and held in the vessel's axes
// over the whole step; the state is then integrated with the host's propagator of the step
// (Rigidbody.cpp RigidBody::Update, SetPropagator; BodyIntegrator.cpp), which re-evaluates only
// gravity and the ground contact at its stages; last comes the landing test. Attached children are
// not moved here (the world puts them on their parents' points) and add nothing to their parents.
//
//   gravity      Newton's point masses: the reference body's pull plus every other body's
//                differential (third-body) pull, positions being relative to the reference body
//                (the bodies stand where they are at the frame's start for every stage).
//   atmosphere   Jacchia 1971 (atmosphere.h) turning with the Earth: airspeed = rvel - spin * rpos.
//                "Inside the atmosphere" means density > 0 here.
//   old model    Vessel.cpp UpdateAerodynamicForces_OLD, for vessels without airfoils: OldModelLoads.
//   airfoils     Vessel.cpp UpdateAerodynamicForces, for vessels with airfoils: AirfoilModelLoads
//                (control surfaces act only here; variable drag elements have no API in this SDK).
//   surfaces     Vessel.cpp ApplyControlSurfaceLevels: ApplyControlSurfaceLevels.
//   thrust       Vessel.cpp UpdateThrustForces, ThrusterAtmScale: Thrust.
//   ground       Vessel.cpp AddSurfaceForces (dynamic ground contact, the default) at every stage:
//                SurfaceLoads; Vesselbase.cpp SetPropagator, ValidateStateUpdate: a step in contact
//                is flown with the last propagator level at the most sub-steps, a step that finds
//                a contact it did not expect is flown again so, an impact too fast for the
//                sub-steps is slowed first.
//   landing      Vesselbase.cpp CheckLanded, Vessel.cpp Update (landed branch): CheckLanded and
//                the landed branch of StepVessel.
//   rigid body   Rigidbody.cpp EulerInv_full: PMI domega/dt = tau/m - omega x (PMI omega); a force
//                F at r gives the moment F x r (crossp(F, r), Vessel.h AddForce); the attitude is
//                the host's quaternion, turned by Vecmat.cpp Quaternion::Rotate (first order, then
//                normalised) and Quaternion::Rot (first order, not normalised) for the stages.
//
// The host's default propagator table (Config.cpp CfgPhysicsPrm defaults, no PropStage lines in
// the simulator's configuration): levels RK2, RK4, RK6, RK8 for steps below 0.5 s, 10 s, 100 s and
// above, each moved up while the step's turn |omega| dt exceeds 1, 4 and 10 degrees; sub-steps
// ceil(max(dt / target step, turn / target turn)) with targets 0.1 s / 0.2 deg, 2 s / 2 deg, 20 s /
// 5 deg, 200 s / 20 deg, at most 10. The frame's forces being held over the step, the host's
// integration of stiff air at long steps is explicit in them: it diverges where dt times the drag's
// rate exceeds about 2, and so does this one (the angular velocity is then held at 100 pi rad/s as
// the host holds it).
//
// Not modelled: the orbit stabilisation (Encke's method, used by the host only when one step covers
// more than 1 % of an orbit, which no flight here does), gravity-gradient torque (off by default:
// no distributed vessel mass).
#include "physics.h"

#include "atmosphere.h"
#include "body.h"
#include "vessel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace sim {
namespace {

// ---- constants ---------------------------------------------------------------------------------
constexpr double kG = 6.67259e-11;            // [m^3 kg^-1 s^-2] gravitational constant (as astro.h)
constexpr double kMinMass = 1.0;              // [kg] a vessel without a sensible mass weighs this
constexpr double kMinInertia = 1e-12;         // [m^2] floor of each mass-normalised principal moment
constexpr double kOldModelMinAirspeed = 1e-8; // [m/s] the old model does nothing below (host's eps)
constexpr double kViscosity = 1.7894e-5;      // [kg m^-1 s^-1] the host's fixed air viscosity (Reynolds)
constexpr double kDampingSpeedAdd = 30.0;     // [m/s] added to the airspeed for the airfoil rotational drag
constexpr int kMaxBodies = 8;                 // [-] bodies that pull (Sun, Earth, Moon here)
constexpr double kMaxAngularSpeed = 100.0 * M_PI;  // [rad/s] Rigidbody.cpp Update: the last resort cap
// The host's propagator levels (Config.cpp defaults; Rigidbody.cpp SetupPropagationModes).
enum class Method { RK2, RK4, RK6, RK8 };
struct PropagatorLevel {
    Method method;
    double step_target;  // [s]
    double turn_target;  // [rad]
    double step_limit;   // [s] the level serves steps below this
    double turn_limit;   // [rad] and turns below this
};
constexpr double kDeg = M_PI / 180.0;
constexpr PropagatorLevel kLevels[] = {
    {Method::RK2, 0.1, 0.2 * kDeg, 0.5, 1.0 * kDeg},
    {Method::RK4, 2.0, 2.0 * kDeg, 10.0, 4.0 * kDeg},
    {Method::RK6, 20.0, 5.0 * kDeg, 100.0, 10.0 * kDeg},
    {Method::RK8, 200.0, 20.0 * kDeg, 1e20, 1e20},
};
constexpr int kNumLevels = sizeof kLevels / sizeof kLevels[0];
constexpr int kMaxSubsteps = 10;               // [-] Config.cpp PropSubMax
constexpr double kImpactDepthPerSubstep = 0.1; // [m] Vesselbase.cpp ValidateStateUpdate: sink per sub-step
// Ground contact (Vessel.cpp AddSurfaceForces)
constexpr double kMaxCompression = 1.0;       // [m] a point counts at most this deep
constexpr double kFrictionDepth = 0.1;        // [m] friction grows with the depth up to this
constexpr double kFrictionFullSpeed = 10.0;   // [m/s] below it friction falls as sqrt(0.1 |v|)
constexpr double kMaxContactTurn = 10.0 * M_PI / 180.0;  // [rad] turn per sub-step from contact torque
constexpr double kContactHeightSizes = 2.0;   // [-] no contact is looked for above this many sizes
// Landing test (Vesselbase.cpp CheckLanded)
constexpr double kLandingCheckInterval = 0.1; // [s] first comparison after the timer starts
constexpr double kLandingMotionLimit = 1e-4;  // [m^2/s], [rad/s] still moving above these
constexpr double kLandingRestTime = 5.0;      // [s] at rest for longer than this: landed

// ---- per frame: the bodies -------------------------------------------------------------------
// A body that pulls, at the frame's start and end: Psys.cpp Gacc_intermediate reads each body at
// the stage's time within the step (CelestialBody::InterpolatePosition, between its s0 and s1);
// here the body relative to the reference body along the straight line between the two (over a
// 600 s step the arc's sagitta is under 300 m for the Earth about the Sun, 120 m for the Moon).
struct Puller {
    VECTOR3 pos0, pos1;  // relative to the reference body at the frame's start and end [m]
    VECTOR3 acc0, acc1;  // its pull on the reference body's centre, at the start and end [m/s^2]
    double gm;           // [m^3/s^2]
};

// ---- the host's attitude quaternion (Vecmat.h Quaternion: vector part x, y, z, scalar s) ------
struct Quat {
    double x = 0, y = 0, z = 0, s = 1;
};

// Vecmat.cpp Quaternion::Set(Matrix).
Quat QuatFromMatrix(const MATRIX3 &R)
{
    Quat q;
    const double T = 1.0 + R.m11 + R.m22 + R.m33;
    if (T > 1e-12) {
        const double S = 2.0 * std::sqrt(T);
        q = {(R.m23 - R.m32) / S, (R.m31 - R.m13) / S, (R.m12 - R.m21) / S, 0.25 * S};
    } else if (R.m11 > R.m22 && R.m11 > R.m33) {
        const double S = 2.0 * std::sqrt(1.0 + R.m11 - R.m22 - R.m33);
        q = {0.25 * S, (R.m12 + R.m21) / S, (R.m31 + R.m13) / S, (R.m23 - R.m32) / S};
    } else if (R.m22 > R.m33) {
        const double S = 2.0 * std::sqrt(1.0 + R.m22 - R.m11 - R.m33);
        q = {(R.m12 + R.m21) / S, 0.25 * S, (R.m23 + R.m32) / S, (R.m31 - R.m13) / S};
    } else {
        const double S = 2.0 * std::sqrt(1.0 + R.m33 - R.m11 - R.m22);
        q = {(R.m31 + R.m13) / S, (R.m23 + R.m32) / S, 0.25 * S, (R.m12 - R.m21) / S};
    }
    return q;
}

// Vecmat.cpp Matrix::Set(Quaternion) (a quaternion not of unit length gives a scaled matrix, as there).
MATRIX3 MatrixFromQuat(const Quat &q)
{
    const double x2 = 2 * q.x, y2 = 2 * q.y, z2 = 2 * q.z;
    const double xx = x2 * q.x, yy = y2 * q.y, zz = z2 * q.z, xy = x2 * q.y, xz = x2 * q.z, yz = y2 * q.z;
    const double xw = x2 * q.s, yw = y2 * q.s, zw = z2 * q.s;
    return _M(1 - yy - zz, xy + zw, xz - yw,  //
              xy - zw, 1 - xx - zz, yz + xw,  //
              xz + yw, yz - xw, 1 - xx - yy);
}

// Vecmat.cpp Quaternion::Rot: the quaternion turned by the small rotation vector w, to first order.
Quat QuatTurned(const Quat &q, const VECTOR3 &w)
{
    return {q.x + 0.5 * (q.s * w.x - q.y * w.z + q.z * w.y), q.y + 0.5 * (q.s * w.y - q.z * w.x + q.x * w.z),
            q.z + 0.5 * (q.s * w.z - q.x * w.y + q.y * w.x), q.s + 0.5 * (-q.x * w.x - q.y * w.y - q.z * w.z)};
}

// Vecmat.cpp Quaternion::Rotate: turned as QuatTurned, then normalised.
void QuatRotate(Quat &q, const VECTOR3 &w)
{
    q = QuatTurned(q, w);
    const double n2 = q.x * q.x + q.y * q.y + q.z * q.z + q.s * q.s;
    if (n2 > 0) {
        const double k = 1.0 / std::sqrt(n2);
        q.x *= k, q.y *= k, q.z *= k, q.s *= k;
    } else {
        q = Quat{};
    }
}

// Vecmat.cpp mul(Quaternion, Vector): a vessel-frame vector in global axes.
VECTOR3 QuatMul(const Quat &q, const VECTOR3 &p)
{
    const double vx = q.s * p.x - q.y * p.z + q.z * p.y;
    const double vy = q.s * p.y - q.z * p.x + q.x * p.z;
    const double vz = q.s * p.z - q.x * p.y + q.y * p.x;
    const double x2 = -2.0 * q.x, y2 = -2.0 * q.y, z2 = -2.0 * q.z;
    return _V(p.x + y2 * vz - z2 * vy, p.y + z2 * vx - x2 * vz, p.z + x2 * vy - y2 * vx);
}

// One state of the integration (Vecmat.h StateVectors): position and velocity relative to the
// reference body in global axes, the attitude as quaternion and matrix, the angular velocity.
struct Stage {
    VECTOR3 pos{}, vel{};
    Quat Q{};
    MATRIX3 R{};
    VECTOR3 omega{};
    void SetRot(const Quat &q)
    {
        Q = q;
        R = MatrixFromQuat(q);
    }
    // Vecmat.cpp StateVectors::Advance.
    void Advance(double dt, const VECTOR3 &a, const VECTOR3 &v, const VECTOR3 &aa, const VECTOR3 &av)
    {
        vel += a * dt;
        pos += v * dt;
        omega += aa * dt;
        QuatRotate(Q, av * dt);
        R = MatrixFromQuat(Q);
    }
};

// ---- per vessel and frame: what stays fixed ----------------------------------------------------
struct Craft {
    Vessel *v = nullptr;
    const Body *ref = nullptr;
    double gm = 0;       // reference body [m^3/s^2]
    double radius = 0;   // reference body [m]
    bool air = false;    // the reference body has an atmosphere
    MATRIX3 spin{};      // velocity of the ground (and air) at r: spin * r
    const Puller *pull = nullptr;
    int npull = 0;
    double mass = kMinMass;             // [kg]
    VECTOR3 pmi{};                      // mass-normalised principal moments [m^2]
    VECTOR3 thrust{}, thrust_torque{};  // vessel frame [N], [N m]
    VECTOR3 force{}, moment{};          // the frame's held loads: thrust and air, vessel frame
    bool airfoil_model = false;         // the vessel has airfoils
    double frame_dt = 0;                // [s]
    bool air_sampled = false;
    double rho = 0, sound = 340.29, pressure = 0;  // the air at the frame's start (SampleAir)
    bool with_collision = false;        // this pass applies the ground contact's forces
    bool collision = false;             // a stage of this pass found a point below the ground
    int isub = 0, nsub = 1;             // the sub-step under way and the pass's count
    // The fraction of the frame's step at a stage a of the sub-step under way (the host's
    // (isub + alpha) / nsub), where the bodies are read.
    double At(double a) const { return (isub + a) / nsub; }
};

bool Finite(const VECTOR3 &a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }
bool Finite(double a) { return std::isfinite(a); }

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
// Psys.cpp Gacc_intermediate: the pull at r (relative to the reference body) at the fraction f of
// the frame's step, the other bodies where they are then.
VECTOR3 Gravity(const Craft &c, const VECTOR3 &r, double f)
{
    VECTOR3 a = _V(0, 0, 0);
    const double r2 = dotp(r, r);
    if (r2 > 1.0) a = r * (-c.gm / (r2 * std::sqrt(r2)));
    for (int i = 0; i < c.npull; ++i) {
        const Puller &p = c.pull[i];
        const VECTOR3 d = p.pos0 + (p.pos1 - p.pos0) * f - r;
        const double d2 = dotp(d, d);
        if (d2 > 1.0) a += d * (p.gm / (d2 * std::sqrt(d2)));
        a -= p.acc0 + (p.acc1 - p.acc0) * f;
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
        // There already (most surfaces, most frames), down to the sign of a zero.
        if (std::memcmp(&v.ctrl_curr[i], &target, sizeof target) == 0) continue;
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

// The air at the frame's start (Vesselbase.cpp SurfParam::Set, the surface parameters the host's
// force update reads), looked up once when first needed: a free vessel's air loads always need it,
// a landed vessel's thrust only when a thruster with a pressure-dependent impulse fires.
void SampleAir(Craft &c)
{
    if (c.air_sampled) return;
    c.air_sampled = true;
    c.rho = 0;
    c.pressure = 0;
    if (!c.air) return;
    const AtmosphereSample a = StandardAtmosphere(length(c.v->rpos) - c.radius);
    c.rho = a.density;
    c.sound = a.speed_of_sound;
    c.pressure = a.pressure;
}

VECTOR3 GroundVelocity(const Craft &c, const VECTOR3 &r, const VECTOR3 &vel) { return vel - mul(c.spin, r); }
VECTOR3 AirVelocity(const Craft &c, const VECTOR3 &r, const VECTOR3 &vel)
{
    return c.air ? GroundVelocity(c, r, vel) : vel;
}

// ---- ground contact --------------------------------------------------------------------------
// Height of each touchdown point above the ground (negative below) [m]; returns the lowest.
double PointHeights(const Craft &c, const VECTOR3 &r, const MATRIX3 &R, double h[3])
{
    double low = 1e300;
    for (int i = 0; i < 3; ++i) {
        h[i] = length(r + mul(R, c.v->touchdown[i])) - c.radius;
        low = std::min(low, h[i]);
    }
    return low;
}

// Vessel.cpp AddSurfaceForces (dynamic ground contact, its default), at one stage s of the step
// (sub-step dt): nothing is looked for with the origin more than two sizes above the ground; every
// touchdown point below the ground pushes along the ground's normal with stiffness x depth (depth
// counted to 1 m at most) minus damping x the point's normal speed; friction along the touchdown
// frame's longitudinal (nose point minus the middle of the rear points, in the ground plane) and
// lateral directions, mu x stiffness x min(depth, 0.1 m), scaled by sqrt(0.1 |v|) below 10 m/s,
// against the point's motion; the total friction may not more than stop the vessel in the sub-step
// (mass / dt), and the contact torque may not turn it more than 10 degrees in the sub-step. Wheel
// brakes: not modelled. Returns whether a point is below the ground; the loads are added only when
// `apply` (the host's pass with collisions).
bool SurfaceLoads(const Craft &c, const Stage &s, double dt, bool apply, Loads *out)
{
    out->force = _V(0, 0, 0);
    out->moment = _V(0, 0, 0);
    const Vessel &v = *c.v;
    if (length(s.pos) - c.radius > kContactHeightSizes * v.size) return false;
    double tdy[3];
    if (PointHeights(c, s.pos, s.R, tdy) >= 0) return false;
    if (!apply) return true;
    const VECTOR3 gv_ship = tmul(s.R, GroundVelocity(c, s.pos, s.vel));
    const VECTOR3 hn = tmul(s.R, Unit(s.pos));
    const VECTOR3 *tp = v.touchdown;
    const VECTOR3 d1 = tp[0] - (tp[1] + tp[2]) * 0.5;
    const VECTOR3 d1h = Unit(d1 - hn * dotp(d1, hn));
    const VECTOR3 d2h = crossp(hn, d1h);
    double fn[3] = {0, 0, 0}, flng[3] = {0, 0, 0}, flat[3] = {0, 0, 0};
    double fn_tot = 0, flng_tot = 0, flat_tot = 0;
    for (int i = 0; i < 3; ++i) {
        if (!(tdy[i] < 0)) continue;
        const double depth = std::min(-tdy[i], kMaxCompression);
        const VECTOR3 gv = gv_ship + crossp(tp[i], s.omega);
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
    // No more friction than stops the vessel's own motion in this sub-step.
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
    // Limit the turn the contact torque alone gives over the sub-step (EulerInv_full of M / m).
    const VECTOR3 &p = c.pmi, &w = s.omega;
    const double m = c.mass;
    const VECTOR3 dA = _V((M.x / m - (p.y - p.z) * w.y * w.z) / p.x, (M.y / m - (p.z - p.x) * w.z * w.x) / p.y,
                          (M.z / m - (p.x - p.y) * w.x * w.y) / p.z) *
                       (dt * dt);
    const double da = length(dA);
    if (da > kMaxContactTurn) M = M * (kMaxContactTurn / da);
    out->force = hn * fn_tot + d1h * flng_tot + d2h * flat_tot;
    out->moment = M;
    return true;
}

// Rigidbody.cpp EulerInv_full: the angular acceleration under the mass-normalised torque tau.
VECTOR3 EulerInv(const VECTOR3 &p, const VECTOR3 &tau, const VECTOR3 &w)
{
    return _V((tau.x - (p.y - p.z) * w.y * w.z) / p.x, (tau.y - (p.z - p.x) * w.z * w.x) / p.y,
              (tau.z - (p.x - p.y) * w.x * w.y) / p.z);
}

// ---- the loads at one stage ------------------------------------------------------------------
// Vessel.cpp GetIntermediateMoments: the frame's held loads (turned into global axes by the stage's
// attitude), the ground contact at the stage, gravity; acc [m/s^2, global], the angular
// acceleration [rad/s^2, vessel axes].
void Moments(Craft &c, const Stage &s, double f, double dt, VECTOR3 *acc, VECTOR3 *arot)
{
    Loads ground;
    c.collision |= SurfaceLoads(c, s, dt, c.with_collision, &ground);
    *acc = Gravity(c, s.pos, f) + QuatMul(s.Q, (c.force + ground.force) * (1.0 / c.mass));
    *arot = EulerInv(c.pmi, (c.moment + ground.moment) * (1.0 / c.mass), s.omega);
}

// ---- mass, thrust, propellant ----------------------------------------------------------------
// Vessel.cpp UpdateThrustForces: a firing thruster with propellant gives max x level of vacuum
// thrust, burns it at thrust / (efficiency x Isp) over the frame (the tank stops at 0), and is
// scaled by max(0, 1 - p pfac) in the ambient pressure p, pfac = (Isp - Isp_ref) / (p_ref Isp);
// a thruster without propellant is switched off (its level reset to 0).
void Thrust(Craft &c, double dt)
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
                SampleAir(c);
                const double pfac = (t->isp0 - t->isp_ref) / (t->p_ref * t->isp0);
                F *= std::max(0.0, 1.0 - c.pressure * pfac);
            }
        }
        const VECTOR3 f = Unit(t->dir) * F;
        c.thrust += f;
        c.thrust_torque += crossp(f, t->pos);
        c.v->thrust_engaged = true;
    }
}

// ---- the propagators (BodyIntegrator.cpp) ---------------------------------------------------
// Each advances s1 over one sub-step h, starting from the acceleration acc and angular acceleration
// arot of the state s1 as the last evaluation left them.

// RK2_LinAng: one midpoint stage.
void StepRK2(Craft &c, Stage &s1, double h, const VECTOR3 &acc, VECTOR3 &arot)
{
    const double h2 = 0.5 * h;
    Stage s;
    s.pos = s1.pos + s1.vel * h2;
    s.vel = s1.vel + acc * h2;
    s.SetRot(QuatTurned(s1.Q, s1.omega * h2));
    s.omega = s1.omega + arot * h2;
    VECTOR3 acc1, aacc1;
    Moments(c, s, c.At(0.5), h, &acc1, &aacc1);
    s1.pos += s.vel * h;
    s1.vel += acc1 * h;
    QuatRotate(s1.Q, s.omega * h);
    arot = aacc1;
    s1.omega += arot * h;
}

// RK4_LinAng: the classical four stages, the first from the carried accelerations.
void StepRK4(Craft &c, Stage &s1, double h, const VECTOR3 &acc, const VECTOR3 &arot)
{
    const double h2 = 0.5 * h;
    Stage sa, sb, sc;
    VECTOR3 acc1, aacc1, acc2, aacc2, acc3, aacc3;
    sa.pos = s1.pos + s1.vel * h2;
    sa.vel = s1.vel + acc * h2;
    sa.SetRot(QuatTurned(s1.Q, s1.omega * h2));
    sa.omega = s1.omega + arot * h2;
    Moments(c, sa, c.At(0.5), h, &acc1, &aacc1);
    sb.pos = s1.pos + sa.vel * h2;
    sb.vel = s1.vel + acc1 * h2;
    sb.SetRot(QuatTurned(s1.Q, sa.omega * h2));
    sb.omega = s1.omega + aacc1 * h2;
    Moments(c, sb, c.At(0.5), h, &acc2, &aacc2);
    sc.pos = s1.pos + sb.vel * h;
    sc.vel = s1.vel + acc2 * h;
    sc.SetRot(QuatTurned(s1.Q, sb.omega * h));
    sc.omega = s1.omega + aacc2 * h;
    Moments(c, sc, c.At(1.0), h, &acc3, &aacc3);
    const double h6 = h / 6.0;
    const VECTOR3 dvel = (acc + (acc1 + acc2) * 2.0 + acc3) * h6;
    const VECTOR3 dpos = (s1.vel + (sa.vel + sb.vel) * 2.0 + sc.vel) * h6;
    QuatRotate(s1.Q, (s1.omega + (sa.omega + sb.omega) * 2.0 + sc.omega) * h6);
    s1.omega += (arot + (aacc1 + aacc2) * 2.0 + aacc3) * h6;
    s1.vel += dvel;
    s1.pos += dpos;
}

// The explicit Runge-Kutta tables of the two higher levels, as the host's driver reads them: the
// stage times (where the bodies are read), the lower triangle of stage weights row by row (row i-1
// builds stage i from stages 0..i-1) and the final weights.
// 6th order, 8 stages.
constexpr int kRK6Stages = 8;
constexpr double kRK6Alpha[kRK6Stages - 1] = {1.0 / 6.0, 4.0 / 15.0, 2.0 / 3.0, 5.0 / 6.0, 1.0, 1.0 / 15.0, 1.0};
constexpr double kRK6Beta[kRK6Stages - 1][kRK6Stages - 1] = {
    {1.0 / 6.0},
    {4.0 / 75.0, 16.0 / 75.0},
    {5.0 / 6.0, -8.0 / 3.0, 5.0 / 2.0},
    {-165.0 / 64.0, 55.0 / 6.0, -425.0 / 64.0, 85.0 / 96.0},
    {12.0 / 5.0, -8.0, 4015.0 / 612.0, -11.0 / 36.0, 88.0 / 255.0},
    {-8263.0 / 15000.0, 124.0 / 75.0, -643.0 / 680.0, -81.0 / 250.0, 2484.0 / 10625.0, 0},
    {3501.0 / 1720.0, -300.0 / 43.0, 297275.0 / 52632.0, -319.0 / 2322.0, 24068.0 / 84065.0, 0, 3850.0 / 26703.0},
};
constexpr double kRK6Gamma[kRK6Stages] = {3.0 / 40.0,  0, 875.0 / 2244.0, 23.0 / 72.0, 264.0 / 1955.0, 0,
                                          125.0 / 11592.0, 43.0 / 616.0};
// 8th order, 13 stages (Fehlberg's 7(8) pair, its 8th-order weights).
constexpr int kRK8Stages = 13;
constexpr double kRK8Alpha[kRK8Stages - 1] = {2.0 / 27.0, 1.0 / 9.0, 1.0 / 6.0, 5.0 / 12.0, 1.0 / 2.0, 5.0 / 6.0,
                                              1.0 / 6.0,  2.0 / 3.0, 1.0 / 3.0, 1.0,        0,         1.0};
constexpr double kRK8Beta[kRK8Stages - 1][kRK8Stages - 1] = {
    {2.0 / 27.0},
    {1.0 / 36.0, 1.0 / 12.0},
    {1.0 / 24.0, 0, 1.0 / 8.0},
    {5.0 / 12.0, 0, -25.0 / 16.0, 25.0 / 16.0},
    {1.0 / 20.0, 0, 0, 1.0 / 4.0, 1.0 / 5.0},
    {-25.0 / 108.0, 0, 0, 125.0 / 108.0, -65.0 / 27.0, 125.0 / 54.0},
    {31.0 / 300.0, 0, 0, 0, 61.0 / 225.0, -2.0 / 9.0, 13.0 / 900.0},
    {2.0, 0, 0, -53.0 / 6.0, 704.0 / 45.0, -107.0 / 9.0, 67.0 / 90.0, 3.0},
    {-91.0 / 108.0, 0, 0, 23.0 / 108.0, -976.0 / 135.0, 311.0 / 54.0, -19.0 / 60.0, 17.0 / 6.0, -1.0 / 12.0},
    {2383.0 / 4100.0, 0, 0, -341.0 / 164.0, 4496.0 / 1025.0, -301.0 / 82.0, 2133.0 / 4100.0, 45.0 / 82.0,
     45.0 / 164.0, 18.0 / 41.0},
    {3.0 / 205.0, 0, 0, 0, 0, -6.0 / 41.0, -3.0 / 205.0, -3.0 / 41.0, 3.0 / 41.0, 6.0 / 41.0, 0},
    {-1777.0 / 4100.0, 0, 0, -341.0 / 164.0, 4496.0 / 1025.0, -289.0 / 82.0, 2193.0 / 4100.0, 51.0 / 82.0,
     33.0 / 164.0, 12.0 / 41.0, 0, 1.0},
};
constexpr double kRK8Gamma[kRK8Stages] = {0, 0, 0, 0, 0, 34.0 / 105.0, 9.0 / 35.0, 9.0 / 35.0, 9.0 / 280.0,
                                          9.0 / 280.0, 0, 41.0 / 840.0, 41.0 / 840.0};

// RKdrv_LinAng: stage i starts from s1 and is advanced by each earlier stage in turn (its
// acceleration, velocity, angular acceleration and angular velocity times its weight), the final
// state by every stage with its final weight, the attitude one turn per stage.
template <int N>
void StepRKTable(Craft &c, Stage &s1, double h, const VECTOR3 &acc, const VECTOR3 &arot,
                 const double (&alpha)[N - 1], const double (&beta)[N - 1][N - 1], const double (&gamma)[N])
{
    Stage s[N];
    VECTOR3 a[N], d[N];
    s[0] = s1;
    a[0] = acc;
    d[0] = arot;
    for (int i = 1; i < N; ++i) {
        s[i] = s1;
        for (int j = 0; j < i; ++j) s[i].Advance(beta[i - 1][j] * h, a[j], s[j].vel, d[j], s[j].omega);
        Moments(c, s[i], c.At(alpha[i - 1]), h, &a[i], &d[i]);
    }
    VECTOR3 dvel = _V(0, 0, 0), dpos = _V(0, 0, 0);
    for (int i = 0; i < N; ++i) {
        const double bh = gamma[i] * h;
        dvel += a[i] * bh;
        dpos += s[i].vel * bh;
        QuatRotate(s1.Q, s[i].omega * bh);
        s1.omega += d[i] * bh;
    }
    s1.vel += dvel;
    s1.pos += dpos;
}

// ---- the frame of one vessel -----------------------------------------------------------------
// Rigidbody.cpp SetPropagator: the level from the step's length, moved up by the step's turn;
// the sub-steps from the level's targets, at most kMaxSubsteps.
int PropagatorLevel(double dt, double turn, int *nsub)
{
    int level = 0;
    while (level < kNumLevels - 1 && !(dt < kLevels[level].step_limit)) ++level;
    while (level < kNumLevels - 1 && !(turn < kLevels[level].turn_limit)) ++level;
    const double n = std::ceil(std::max(dt / kLevels[level].step_target, turn / kLevels[level].turn_target));
    *nsub = static_cast<int>(std::max(1.0, std::min(static_cast<double>(kMaxSubsteps), n)));
    return level;
}

// One pass of Rigidbody.cpp Update's dynamic branch: n sub-steps of the level's method from the
// frame's start state s0, each followed by the loads at its end (which the next sub-step, and
// the next frame, start from).
void Propagate(Craft &c, const Stage &s0, Method method, int n, Stage *s1, VECTOR3 *acc, VECTOR3 *arot)
{
    const double h = c.frame_dt / n;
    *s1 = s0;
    c.nsub = n;
    for (int i = 0; i < n; ++i) {
        c.isub = i;
        switch (method) {
        case Method::RK2: StepRK2(c, *s1, h, *acc, *arot); break;
        case Method::RK4: StepRK4(c, *s1, h, *acc, *arot); break;
        case Method::RK6: StepRKTable<kRK6Stages>(c, *s1, h, *acc, *arot, kRK6Alpha, kRK6Beta, kRK6Gamma); break;
        case Method::RK8: StepRKTable<kRK8Stages>(c, *s1, h, *acc, *arot, kRK8Alpha, kRK8Beta, kRK8Gamma); break;
        }
        s1->R = MatrixFromQuat(s1->Q);
        Moments(c, *s1, c.At(1.0), h, acc, arot);
    }
}

void StepVessel(PhysicsScene &w, Craft &c, double dt)
{
    Vessel *v = c.v;
    Thrust(c, dt);

    if (v->landed) {
        // Vessel.cpp Update, landed: the vessel stays on its spot, accelerated as the ground under
        // it; any force or torque in the step (only thrust reaches a landed vessel: the air is not
        // evaluated for it) frees it, at rest on the turning ground and without rotation, and it
        // flies from the next step on.
        v->step_acc = mul(c.spin, mul(c.spin, v->rpos));
        v->step_acc_valid = true;
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

    Stage s0;
    s0.pos = v->rpos;
    s0.vel = v->rvel;
    s0.SetRot(QuatFromMatrix(v->R));
    s0.R = v->R;
    s0.omega = v->omega;

    // Vessel.cpp UpdateBodyForces: thrust and the air's loads, once, from the frame's start.
    Loads air{_V(0, 0, 0), _V(0, 0, 0)};
    SampleAir(c);
    if (c.rho > 0) {
        const VECTOR3 u = tmul(s0.R, AirVelocity(c, s0.pos, s0.vel));
        if (c.airfoil_model)
            AirfoilModelLoads(*v, c.mass, c.rho, c.sound, dt, u, s0.omega, &air);
        else
            OldModelLoads(*v, c.mass, c.rho, u, s0.omega, &air);
    }
    c.force = c.thrust + air.force;
    c.moment = c.thrust_torque + air.moment;

    // Rigidbody.cpp Update with Vesselbase.cpp SetPropagator and ValidateStateUpdate: a vessel in
    // ground contact since the last step is flown at the last level with the most sub-steps and the
    // contact's forces; a pass without them that meets the ground is flown again so; the first such
    // pass of a contact checks the sink speed at the frame's start and, when the ground would be
    // entered more than 0.1 m a sub-step, scales the ground-relative velocity down to that and
    // flies the step again.
    Stage s1;
    VECTOR3 acc{}, arot{};
    for (int pass = 0; pass < 4; ++pass) {
        int n = 1;
        int level = PropagatorLevel(dt, length(s0.omega) * dt, &n);
        c.with_collision = v->surface_contact;
        if (v->surface_contact) {
            level = kNumLevels - 1;
            n = kMaxSubsteps;
        }
        c.collision = false;
        acc = v->step_acc_valid ? v->step_acc : Gravity(c, s0.pos, 0.0);
        arot = v->step_arot;
        Propagate(c, s0, kLevels[level].method, n, &s1, &acc, &arot);
        if (!c.collision) break;
        if (!c.with_collision) {
            v->surface_contact = true;
            v->collision_speed_checked = false;
            continue;
        }
        if (v->collision_speed_checked) break;
        v->collision_speed_checked = true;
        const double vsmax = -kImpactDepthPerSubstep * kMaxSubsteps / dt;
        const VECTOR3 gv = GroundVelocity(c, s0.pos, s0.vel);
        const double vs = dotp(gv, Unit(s0.pos));
        if (!(vs < vsmax)) break;
        s0.vel += gv * (vsmax / vs) - gv;
    }

    // Rigidbody.cpp Update: the last resort against a runaway rotation.
    const double wn = length(s1.omega);
    if (wn > kMaxAngularSpeed) {
        s1.omega = s1.omega * (kMaxAngularSpeed / wn);
        arot = _V(0, 0, 0);
    }
    MATRIX3 R = MatrixFromQuat(s1.Q);
    Orthonormalise(R);
    if (!Finite(s1.pos) || !Finite(s1.vel) || !Finite(s1.omega) || !Finite(_V(R.m11, R.m22, R.m33))) {
        w.Log("physics: the state of \"" + v->name + "\" became invalid in this frame; it keeps its last state");
        return;
    }
    if (v->contact_speed < 0) {  // the sink speed before the first contact, for the timeline
        double heights[3];
        if (PointHeights(c, s1.pos, R, heights) < 0)
            v->contact_speed = std::max(0.0, -dotp(GroundVelocity(c, s0.pos, s0.vel), Unit(s0.pos)));
    }
    v->rpos = s1.pos;
    v->rvel = s1.vel;
    v->R = R;
    v->omega = s1.omega;
    v->step_acc = acc;
    v->step_arot = arot;
    v->step_acc_valid = true;
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
    if (!ref || v.parent) return;
    if (v.landed) {  // Vesselbase.cpp PostUpdate: a landed vessel is in surface contact
        v.surface_contact = true;
        return;
    }
    VECTOR3 pts[3];
    const VECTOR3 prel = tmul(ref->R, v.rpos);  // planet frame
    bool contact = false;
    for (int i = 0; i < 3; ++i) {
        pts[i] = v.rpos + mul(v.R, v.touchdown[i]);
        if (length(pts[i]) - ref->radius < 0) contact = true;
    }
    if (length(v.rpos) - ref->radius > kContactHeightSizes * v.size) contact = false;  // CheckSurfaceContact
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
    // The bodies' pulls, once a frame for every vessel of the same reference body.
    Puller pull[kMaxBodies];
    int npull = 0;
    const Body *pull_ref = nullptr;
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
        if (c.ref != pull_ref) {
            pull_ref = c.ref;
            npull = 0;
            for (const Body *b : w.Bodies()) {
                if (b == c.ref || !(b->mass > 0) || npull == kMaxBodies) continue;
                Puller &p = pull[npull++];
                p.gm = kG * b->mass;
                p.pos0 = b->pos - c.ref->pos;
                p.pos1 = b->EndPos() - c.ref->EndPos();
                const double d0 = dotp(p.pos0, p.pos0), d1 = dotp(p.pos1, p.pos1);
                p.acc0 = d0 > 1.0 ? p.pos0 * (p.gm / (d0 * std::sqrt(d0))) : _V(0, 0, 0);
                p.acc1 = d1 > 1.0 ? p.pos1 * (p.gm / (d1 * std::sqrt(d1))) : _V(0, 0, 0);
            }
        }
        c.pull = pull;
        c.npull = npull;
        const double m = v->Mass();
        c.mass = (Finite(m) && m > kMinMass) ? m : kMinMass;
        c.pmi = _V(std::max(kMinInertia, v->pmi.x), std::max(kMinInertia, v->pmi.y), std::max(kMinInertia, v->pmi.z));
        c.airfoil_model = false;
        for (const Airfoil *af : v->airfoils)
            if (af->alive) c.airfoil_model = true;
        StepVessel(w, c, dt);
    }
    // Vesselbase.cpp PostUpdate runs the landing test after the bodies moved: the new state is read
    // over the ground as it has turned by the frame's end (read over the frame's start, a vessel
    // coming to rest was set down one frame of the Earth's turn east, 7.8 m at 1/60 s).
    const double t = w.SimTime();
    for (Body *b : w.Bodies())
        if (b->has_end) std::swap(b->R, b->end_R);
    for (Vessel *v : w.Vessels())
        if (v->alive) CheckLanded(w, *v, t);
    for (Body *b : w.Bodies())
        if (b->has_end) std::swap(b->R, b->end_R);
}

}  // namespace sim
