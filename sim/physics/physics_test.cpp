// physics_test.cpp -- the stand-in host's flight physics against independent results: free fall,
// an orbit's period, a sphere's terminal velocity, a glider's glide angle, a hovering thruster,
// thrust and rotation conventions, a child carried by its parent, ground contact, determinism. The
// simulator's force formulas one by one are in physics_forces_test.cpp.
#include "physics.h"

#include "astro.h"
#include "atmosphere.h"
#include "testing/sim_test.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr double kMu = sim::astro::G * sim::astro::kEarthMass;  // [m^3/s^2]
constexpr double kR = sim::astro::kEarthRadius;                 // [m]
constexpr double kPole = M_PI / 2;                              // latitude without centrifugal pull

class PhysicsTest : public simtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        options.physics = true;
        WriteConfig("Config/ball.cfg", "ClassName = ball\nSize = 1\nMass = 2\n");
        WriteConfig("Config/box.cfg", "ClassName = box\nSize = 2\nMass = 1000\n");
    }

    // A vessel at rest relative to the air at a place, level, heading north.
    Vessel *At(const std::string &name, const std::string &cls, double lat, double alt,
               const VECTOR3 &air = _V(0, 0, 0), double pitch = 0)
    {
        Vessel *v = W().CreateVesselAt(name, cls, 0, lat, alt);
        v->Place(0, lat, alt, 0, pitch, 0, air);
        return v;
    }

    static double Alt(const Vessel *v) { return length(v->rpos) - kR; }

    // The touchdown speed of the first "landed NAME (touchdown X m/s)" event, or -1.
    double TouchdownSpeed(const std::string &name)
    {
        const std::string head = "landed " + name + " (touchdown ";
        for (const auto &e : W().events())
            if (e.second.rfind(head, 0) == 0) return std::atof(e.second.c_str() + head.size());
        return -1;
    }
    int CountEvents(const std::string &text)
    {
        int n = 0;
        for (const auto &e : W().events()) n += e.second == text ? 1 : 0;
        return n;
    }
};

// Radial fall from rest far above the air: r(t) = r0 - g0 t^2/2 - g0^2 t^4 / (12 r0) + O(t^6).
TEST_F(PhysicsTest, FreeFallInVacuumFollowsTheRadialSolution)
{
    Vessel *v = At("faller", "box", 0.3, 1000e3);
    v->rvel = _V(0, 0, 0);  // at rest in the non-rotating frame: no sideways motion
    const double r0 = length(v->rpos), g0 = kMu / (r0 * r0);
    StepFor(30.0);
    const double t = W().SimTime();
    const double expect = r0 - 0.5 * g0 * t * t - g0 * g0 * t * t * t * t / (12 * r0);
    EXPECT_NEAR(length(v->rpos), expect, 0.02);
    EXPECT_NEAR(length(v->rvel), g0 * t, 0.01 * g0 * t);
    EXPECT_NEAR(v->iface->GetAltitude(), expect - kR, 0.02);
}

TEST_F(PhysicsTest, CircularOrbitKeepsItsKeplerPeriod)
{
    options.dt = 1.0;  // a second per frame: the period does not depend on the frame length
    Vessel *v = At("sat", "box", 0.0, 400e3);
    const double r0 = length(v->rpos), speed = std::sqrt(kMu / r0);
    const VECTOR3 x = v->rpos / r0;
    const VECTOR3 y = unit(crossp(x, _V(0, 1, 0)));  // any direction normal to x
    v->rvel = y * speed;
    const double period = 2 * M_PI * std::sqrt(r0 * r0 * r0 / kMu);
    // Follow the swept angle; interpolate the moment it completes a turn.
    double swept = 0, prev = 0, t_turn = -1;
    for (int i = 0; i < 7000 && t_turn < 0; ++i) {
        Step();
        const double ang = std::atan2(dotp(v->rpos, y), dotp(v->rpos, x));
        double d = ang - prev;
        if (d < -M_PI) d += 2 * M_PI;
        prev = ang;
        const double before = swept;
        swept += d;
        if (swept >= 2 * M_PI) t_turn = W().SimTime() - (swept - 2 * M_PI) / (swept - before) * options.dt;
    }
    ASSERT_GT(t_turn, 0);
    EXPECT_NEAR(t_turn, period, 1e-3 * period);
    EXPECT_NEAR(length(v->rpos), r0, 1e-3 * r0);  // still circular
}

// A sphere (same coefficient and cross section on every axis) falls level along -y; the host's old
// model takes half the cross section per axis (Vessel.cpp UpdateAerodynamicForces_OLD: vd_vert =
// 0.5 cs.y cw_y), so it falls at sqrt(2 m g / (rho 0.5 cw S)), not sqrt(2 m g / (rho cw S)).
TEST_F(PhysicsTest, SphereReachesItsTerminalVelocity)
{
    Vessel *v = At("ball", "ball", kPole, 3000);
    v->iface->SetCW(0.47, 0.47, 0.47, 0.47);
    v->iface->SetCrossSections(_V(0.8, 0.8, 0.8));
    StepFor(20.0);
    const double alt = Alt(v), rho = sim::StandardAtmosphere(alt).density;
    const double g = kMu / dotp(v->rpos, v->rpos);
    const double vt = std::sqrt(2 * 2.0 * g / (rho * 0.5 * 0.47 * 0.8));
    VECTOR3 h;
    v->iface->GetHorizonAirspeedVector(h);
    EXPECT_NEAR(-h.y, vt, 0.003 * vt);
    EXPECT_NEAR(std::hypot(h.x, h.z), 0.0, 0.01);
}

// The host evaluates the air once a frame, from the frame's start, and holds its force over the
// step (Vessel.cpp UpdateBodyForces; Rigidbody.cpp Update re-evaluates only gravity and the ground
// at its stages). A ball falling at 60 m/s through the air at 3 km, one frame of 0.1 s (RK2 in one
// sub-step): its speed changes by (g at the midpoint - D(v0) / m) dt, with the drag of the start
// speed, q 0.5 cw cs / m, whatever the speed within the frame.
TEST_F(PhysicsTest, TheAirsForceIsTheFrameStartsHeldOverTheStep)
{
    options.dt = 0.1;
    Vessel *v = At("ball", "ball", kPole, 3000, _V(0, -60, 0));
    v->iface->SetCW(1.0, 1.0, 1.0, 1.0);
    v->iface->SetCrossSections(_V(0.4, 0.4, 0.4));
    const VECTOR3 r0 = v->rpos, v0 = v->rvel;
    const double rho = sim::StandardAtmosphere(Alt(v)).density;
    const double drag = 0.5 * rho * 60 * 60 * 0.5 * 1.0 * 0.4 / 2.0;  // [m/s^2] up, at 60 m/s
    const VECTOR3 mid = r0 + v0 * 0.05;
    const double g = kMu / dotp(mid, mid);  // at the pole the ground does not turn the air sideways
    Step();
    EXPECT_NEAR(length(v->rvel) - length(v0), (g - drag) * 0.1, 1e-6);
    // Drag evaluated again at the midpoint (about 52 m/s) would be 4 m/s off.
    EXPECT_GT(drag, 100.0);
}

// Held over the step, stiff drag is integrated as a forward Euler step: each frame multiplies the
// departure from the terminal velocity by (1 - k dt), k = 2 g / vt the drag's relaxation rate. A light
// vessel with much drag (vt 3.3 m/s, k 6 /s) settles at 0.1 s frames (k dt 0.6) ...
TEST_F(PhysicsTest, StiffDragSettlesAtFramesShortOfTwiceItsRate)
{
    options.dt = 0.1;
    Vessel *v = At("leaf", "ball", kPole, 3000);
    v->iface->SetCW(1.0, 1.0, 1.0, 1.0);
    v->iface->SetCrossSections(_V(8, 8, 8));
    StepFor(20.0);
    const double rho = sim::StandardAtmosphere(Alt(v)).density, g = kMu / dotp(v->rpos, v->rpos);
    const double vt = std::sqrt(2 * 2.0 * g / (rho * 0.5 * 1.0 * 8));  // half the cross section (see above)
    EXPECT_NEAR(v->iface->GetAirspeed(), vt, 0.003 * vt);
}

// ... and at 0.5 s frames (k dt 3) it is thrown out of the air from three times its terminal speed:
// v' = v + (g - g v|v| / vt^2) dt gives 10, -30.6, +400, -7e4 m/s (up), as the core throws its
// capsule under the drogue at time acceleration 100 (measured: 5e8 m/s).
TEST_F(PhysicsTest, StiffDragDivergesAtFramesBeyondTwiceItsRate)
{
    options.dt = 0.5;
    Vessel *v = At("leaf", "ball", kPole, 3000, _V(0, -10, 0));
    v->iface->SetCW(1.0, 1.0, 1.0, 1.0);
    v->iface->SetCrossSections(_V(8, 8, 8));
    StepFor(2.0);
    EXPECT_GT(v->iface->GetAirspeed(), 1000.0);
}

// Falling nose first or tail first, the forward coefficient acts both ways: the host stores the
// backward coefficient but never uses it (Vessel.cpp UpdateAerodynamicForces_OLD, vd_forw =
// 0.5 cs.z cw_z_pos with |n.z|); this test once expected the backward one for tail-first flight.
TEST_F(PhysicsTest, ForwardDragCoefficientActsInBothDirections)
{
    Vessel *nose = At("nose", "ball", kPole, 3000, _V(0, 0, 0), -M_PI / 2);
    Vessel *tail = At("tail", "ball", kPole - 1e-4, 3000, _V(0, 0, 0), M_PI / 2);
    for (Vessel *v : {nose, tail}) {
        v->iface->SetCW(0.2, 0.8, 5.0, 5.0);
        v->iface->SetCrossSections(_V(3.0, 3.0, 0.8));
    }
    StepFor(30.0);
    for (Vessel *v : {nose, tail}) {
        const double cw = 0.2;
        const double rho = sim::StandardAtmosphere(Alt(v)).density, g = kMu / dotp(v->rpos, v->rpos);
        const double vt = std::sqrt(2 * 2.0 * g / (rho * 0.5 * cw * 0.8));
        EXPECT_NEAR(v->iface->GetAirspeed(), vt, 0.005 * vt) << v->name;
    }
}

// A glider that keeps its attitude (its only airfoil sits at the centre of gravity and has no
// moment) glides along the path whose angle gamma makes aoa = gamma and L/D = cot(gamma).
void GliderCoeffs(VESSEL *, double aoa, double, double, void *, double *cl, double *cm, double *cd)
{
    *cl = 0.1 + 4.0 * aoa;
    *cm = 0;
    *cd = 0.03 + 0.1 * *cl * *cl;
}

TEST_F(PhysicsTest, GliderSettlesOnTheGlideAngleOfItsCoefficients)
{
    // Equilibrium by bisection: cl(a) tan(a) = cd(a).
    double lo = 0.01, hi = 0.5, cl = 0, cm = 0, cd = 0;
    for (int i = 0; i < 60; ++i) {
        const double a = 0.5 * (lo + hi);
        GliderCoeffs(nullptr, a, 0, 0, nullptr, &cl, &cm, &cd);
        (cl * std::tan(a) > cd ? hi : lo) = a;
    }
    const double gamma = 0.5 * (lo + hi);
    GliderCoeffs(nullptr, gamma, 0, 0, nullptr, &cl, &cm, &cd);

    Vessel *v = At("glider", "box", kPole - 0.01, 2000, _V(0, -2, 20));
    v->iface->SetEmptyMass(100);
    v->iface->CreateAirfoil3(LIFT_VERTICAL, _V(0, 0, 0), GliderCoeffs, nullptr, 1.0, 10.0, 6.0);
    StepFor(240.0);
    VECTOR3 h;
    v->iface->GetHorizonAirspeedVector(h);
    const double ground = std::hypot(h.x, h.z);
    EXPECT_NEAR(-h.y / ground, std::tan(gamma), 0.02 * std::tan(gamma));  // glide ratio
    EXPECT_NEAR(v->iface->GetAOA(), gamma, 0.02 * gamma);
    // Lift balances the weight's share across the path: V^2 = 2 m g cos(gamma) / (rho S cl).
    const double rho = sim::StandardAtmosphere(Alt(v)).density, g = kMu / dotp(v->rpos, v->rpos);
    const double speed = std::sqrt(2 * 100 * g * std::cos(gamma) / (rho * 10.0 * cl));
    EXPECT_NEAR(v->iface->GetAirspeed(), speed, 0.02 * speed);
}

TEST_F(PhysicsTest, ThrusterBalancingWeightHoldsAHover)
{
    Vessel *v = At("hover", "box", kPole, 100);
    VESSEL *vi = v->iface;
    PROPELLANT_HANDLE tank = vi->CreatePropellantResource(50);
    // Isp 0 means the vessel's default Isp, 5e4 m/s, which burns (Vessel.cpp CreateThruster; this
    // test once took it to burn nothing). Thrust m g each frame: m(t) = m0 exp(-g t / Isp).
    THRUSTER_HANDLE th = vi->CreateThruster(_V(0, 0, 0), _V(0, 1, 0), 20000, tank, 0.0);
    const double g = kMu / dotp(v->rpos, v->rpos);
    for (int i = 0; i < 3000; ++i) {  // 60 s
        vi->SetThrusterLevel(th, vi->GetMass() * g / 20000);
        Step();
    }
    EXPECT_NEAR(Alt(v), 100.0, 0.05);
    EXPECT_NEAR(vi->GetPropellantMass(tank), 50.0 - 1050.0 * (1 - std::exp(-g * 60 / 5e4)), 1e-3);
    EXPECT_EQ(vi->GetFlightStatus() & 1u, 0u);
}

// Thrust off the centre of gravity turns the vessel the host's way (a push up under the right
// wing raises it: omega.z < 0, bank > 0); propellant flows at F / Isp; an empty tank gives nothing.
TEST_F(PhysicsTest, ThrustTurnsAndBurnsPropellant)
{
    Vessel *v = At("rcs", "box", 0.2, 2000e3);
    VESSEL *vi = v->iface;
    vi->SetPMI(_V(1, 1, 1));
    PROPELLANT_HANDLE tank = vi->CreatePropellantResource(10, 10);
    THRUSTER_HANDLE th = vi->CreateThruster(_V(1, 0, 0), _V(0, 1, 0), 10, tank, 100);
    vi->SetThrusterLevel(th, 1.0);
    const VECTOR3 w0 = v->omega;
    StepFor(1.0);
    const double m = v->Mass();
    EXPECT_NEAR(v->omega.z - w0.z, -10.0 / m, 0.01 * 10.0 / m);
    EXPECT_NEAR(vi->GetPropellantMass(tank), 10.0 - 0.1, 1e-9);
    EXPECT_GT(vi->GetBank(), 0.0);
    vi->SetPropellantMass(tank, 0);
    const VECTOR3 w1 = v->omega;
    StepFor(1.0);
    EXPECT_NEAR(length(v->omega - w1), 0.0, 1e-12);
}

// An angular velocity written by a module turns the vessel by omega * t; positive x raises the nose.
// The air damps the rotation by the rotational drag; vacuum does not.
TEST_F(PhysicsTest, AngularVelocityTurnsTheVesselAndAirDampsIt)
{
    Vessel *high = At("high", "box", 0.0, 2000e3);
    Vessel *low = At("low", "box", 0.0, 1000, _V(0, 0, 50));
    for (Vessel *v : {high, low}) {
        v->iface->SetRotDrag(_V(0.5, 0.5, 0.5));
        v->iface->SetAngularVel(_V(0.1, 0, 0));
    }
    StepFor(2.0);
    EXPECT_NEAR(high->omega.x, 0.1, 1e-12);
    EXPECT_NEAR(high->iface->GetPitch(), 0.2, 2e-3);
    EXPECT_LT(low->omega.x, 0.095);
    EXPECT_GT(low->omega.x, 0.0);
    EXPECT_GT(low->iface->GetPitch(), 0.0);
}

// An elevator behind the centre of gravity at +1 raises the nose and pushes the tail down. Control
// surfaces act only on vessels with airfoils (Vessel.cpp UpdateAerodynamicForces), so the plane
// gets an airfoil without coefficients (this test once flew a vessel without any).
void NoCoeffs(VESSEL *, double, double, double, void *, double *cl, double *cm, double *cd) { *cl = *cm = *cd = 0; }

TEST_F(PhysicsTest, ElevatorAtTheTailRaisesTheNose)
{
    Vessel *v = At("plane", "box", 0.0, 1000, _V(0, 0, 60));
    VESSEL *vi = v->iface;
    vi->SetCW(0, 0, 0, 0);
    vi->CreateAirfoil3(LIFT_VERTICAL, _V(0, 0, 0), NoCoeffs, nullptr, 1.0, 1.0, 1.0);
    vi->CreateControlSurface(AIRCTRL_ELEVATOR, 2.0, 1.0, _V(0, 0, -5), AIRCTRL_AXIS_AUTO);
    vi->SetControlSurfaceLevel(AIRCTRL_ELEVATOR, 1.0);
    Vessel *ref = At("ref", "box", 0.0, 1000, _V(0, 0, 60));
    ref->iface->SetCW(0, 0, 0, 0);
    // Two frames: the host's midpoint step moves the position by the velocity the last step's
    // acceleration gives (Rigidbody.cpp acc, gravity alone for a vessel just placed), so the frame's
    // own force reaches the position one frame later.
    Step(2);
    EXPECT_GT(v->omega.x, 0.0);
    EXPECT_LT(Alt(v), Alt(ref));  // the surface's force points down
}

// A parent does not carry its child's mass or forces (Vessel.cpp UpdateMass: empty mass +
// propellant; this test once expected the child's 500 kg in the parent's mass).
TEST_F(PhysicsTest, ChildRidesOnItsParentsPointWithoutAddingItsMass)
{
    WriteConfig("Config/pod.cfg", "ClassName = pod\nSize = 1\nMass = 500\n");
    Vessel *p = At("carrier", "box", 0.1, 3000e3);
    Vessel *twin = At("twin", "box", 0.1, 3000e3);
    Vessel *c = At("pod", "pod", 0.3, 3000e3);
    VESSEL *pi = p->iface;
    ATTACHMENTHANDLE pa = pi->CreateAttachment(false, _V(0, -2, 1), _V(0, -1, 0), _V(0, 0, 1), "P");
    ATTACHMENTHANDLE ca = c->iface->CreateAttachment(true, _V(0, 1, 0), _V(0, 1, 0), _V(0, 0, 1), "C");
    ASSERT_TRUE(pi->AttachChild(c->iface->GetHandle(), pa, ca));
    PROPELLANT_HANDLE tank = pi->CreatePropellantResource(100, 100);
    THRUSTER_HANDLE th = pi->CreateThruster(_V(0, 0, 0), _V(0, 0, 1), 3000, tank, 0.0);
    EXPECT_DOUBLE_EQ(pi->GetMass(), 1100.0);
    pi->SetThrusterLevel(th, 1.0);
    pi->SetAngularVel(_V(0, 0.05, 0));
    twin->iface->SetAngularVel(_V(0, 0.05, 0));
    StepFor(5.0);
    // Thrust along the turning nose: the twin without thrust falls the same way, so the difference
    // is the thrust over the carrier's own mass (1000 + 100 kg; the 0.3 kg it burns is within the
    // tolerance), not counting the 500 kg pod.
    const double dv = length(p->rvel - twin->rvel);
    const double expect = 3000.0 / 1100.0 * 2.0 * std::sin(0.05 * 5.0 / 2) / 0.05;  // |integral of a turning push|
    EXPECT_NEAR(dv, expect, 1e-3 * expect);
    const VECTOR3 point = p->rpos + mul(p->R, _V(0, -2, 1));
    EXPECT_NEAR(length(c->rpos + mul(c->R, _V(0, 1, 0)) - point), 0.0, 1e-6);
    EXPECT_NEAR(length(c->rvel - p->rvel), 0.0, 1e-9);
    // The child's point direction points against the parent's (it used to be taken parallel).
    EXPECT_NEAR(length(mul(c->R, _V(0, 1, 0)) + mul(p->R, _V(0, -1, 0))), 0.0, 1e-9);
}

// The host's ground contact (Vessel.cpp AddSurfaceForces) and landing rule (Vesselbase.cpp
// CheckLanded) change what this test expected: the vessel without touchdown points stands on the
// host's default points (0,-2,10), (-3,-2,-5), (3,-2,-5) (it used to rest on one point 1 m below),
// each 1e6 N/m; moments about x give each W/3, so it rests at 2 - W/(3k). It is reported landed
// only after 5 s at rest, and any force frees it (it used to stay landed until thrust beat weight).
TEST_F(PhysicsTest, DroppedVesselLandsAndLiftsOffUnderThrust)
{
    Vessel *v = At("lander", "box", kPole, 11.0);
    VESSEL *vi = v->iface;
    vi->SetCW(0.01, 0.01, 0.01, 0.01);
    // The host's inertia of a vessel of size 10 (its default): with the box's own (4, 4, 2) m^2 the
    // default points' 10 m nose arm damps the pitch at 2500 /s, beyond what ten RK8 sub-steps of a
    // 1/60 s frame hold (the host's rule in ground contact), and the box never comes to rest.
    vi->SetPMI(_V(20, 20, 10));
    Vessel *legs = At("legs", "box", kPole - 0.001, 11.5);
    legs->iface->SetTouchdownPoints(_V(0, -1.5, 1), _V(-1, -1.5, -1), _V(1, -1.5, -1));
    StepFor(9.0);
    ASSERT_EQ(vi->GetFlightStatus() & 1u, 1u);
    const double g = kMu / (kR * kR), W = 1000 * g;
    EXPECT_NEAR(TouchdownSpeed("lander"), std::sqrt(2 * g * 9.0), 0.1);  // fell 9 m to its legs
    EXPECT_NEAR(vi->GetAltitude(), 2.0 - W / 3e6, 1e-4);
    EXPECT_NEAR(legs->iface->GetAltitude(), 1.5 - 3 * W / 8e6, 1e-4);  // nose leg W/2, rear legs W/4

    PROPELLANT_HANDLE tank = vi->CreatePropellantResource(100, 100);
    THRUSTER_HANDLE th = vi->CreateThruster(_V(0, 0, 0), _V(0, 1, 0), 20000, tank, 0.0);
    vi->SetThrusterLevel(th, 0.5);  // 10 kN < 1100 kg * g: freed, but it stays on its legs
    StepFor(1.0);
    EXPECT_EQ(vi->GetFlightStatus() & 1u, 0u);
    EXPECT_EQ(CountEvents("liftoff lander"), 1);
    EXPECT_LT(vi->GetAltitude(), 2.0);
    vi->SetThrusterLevel(th, 1.0);  // 20 kN > weight
    StepFor(2.0);
    EXPECT_EQ(vi->GetFlightStatus() & 1u, 0u);
    EXPECT_EQ(CountEvents("liftoff lander"), 1);
    VECTOR3 h;
    vi->GetHorizonAirspeedVector(h);
    EXPECT_GT(h.y, 10.0);
    EXPECT_GT(vi->GetAltitude(), 10.0);
}

// Far out toward L1 (1 000 000 km from the Earth, the L1 approach's start) the Earth moves 18 000 km
// about the Sun in a 600 s step. The host reads every body where it is at each stage's time within
// the step (Psys.cpp Gacc_intermediate, CelestialBody::InterpolatePosition), so a flight's path
// does not depend on the step: five days at 600 s steps end where they end at 10 s steps, to the
// bodies' straight-line places within a step (the Earth's arc about the Sun bows 270 m from its
// chord in 600 s, the Moon's about the Earth 120 m): a kilometre or two. Read where they stand at
// the step's start instead, the bodies lag half a step (the Moon 300 km, the Sun's direction
// 6e-5 rad) and the flight ends 160 km away.
TEST_F(PhysicsTest, AFlightFarOutEndsWhereItEndsAtAnyStep)
{
    auto run = [this](double dt) {
        options.dt = dt;
        Vessel *v = At("bus", "box", 0.0, 1000e3);
        v->rpos = _V(180138000.0, 0.0, -983641000.0);  // relative to the Earth [m]
        v->rvel = _V(471.10, 0.0, -208.30);             // [m/s]
        StepFor(5 * 86400.0);
        return v->GlobalPos() - W().Earth()->pos;
    };
    const VECTOR3 fine = run(10.0);
    EndWorld();
    const VECTOR3 coarse = run(600.0);
    EXPECT_LT(length(coarse - fine), 2000.0);
}

TEST_F(PhysicsTest, SameWorldTwiceGivesIdenticalStates)
{
    auto run = [this]() {
        Vessel *a = At("a", "ball", 0.4, 3000, _V(5, 0, 30), 0.1);
        a->iface->SetCW(0.5, 0.6, 0.7, 0.8);
        a->iface->SetRotDrag(_V(0.2, 0.3, 0.4));
        a->iface->SetAngularVel(_V(0.3, -0.2, 0.1));
        Vessel *b = At("b", "box", -0.3, 500, _V(0, -2, 20));
        b->iface->SetEmptyMass(100);
        b->iface->CreateAirfoil3(LIFT_VERTICAL, _V(0, 0.5, -0.2), GliderCoeffs, nullptr, 1.0, 10.0, 6.0);
        StepFor(30.0);
        std::string s;
        char buf[256];
        for (const Vessel *v : W().Vessels()) {
            std::snprintf(buf, sizeof buf, "%a %a %a %a %a %a %a %a %a %d|", v->rpos.x, v->rpos.y, v->rpos.z,
                          v->rvel.x, v->rvel.y, v->rvel.z, v->omega.x, v->R.m12, v->R.m31, v->landed ? 1 : 0);
            s += buf;
        }
        return s;
    };
    const std::string first = run();
    EndWorld();
    EXPECT_EQ(run(), first);
}

}  // namespace
