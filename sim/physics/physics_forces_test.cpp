// physics_forces_test.cpp -- the simulator's force models and ground contact as the stand-in host
// computes them: the old aerodynamic model (vessels without airfoils), the airfoil model and its
// control surfaces, the surfaces' slew, thrust details, touchdown springs and the 5 s landing
// rule. Expected numbers are worked out by hand from the simulator's formulas (Vessel.cpp,
// Vesselbase.cpp); each test shows its derivation.
#include "physics.h"

#include "astro.h"
#include "testing/sim_test.h"

#include <cmath>
#include <string>

namespace {

constexpr double kMu = sim::astro::G * sim::astro::kEarthMass;  // [m^3/s^2]
constexpr double kR = sim::astro::kEarthRadius;                 // [m]

class ForcesTest : public simtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        options.physics = true;
        WriteConfig("Config/box.cfg", "ClassName = box\nSize = 2\nMass = 1000\n");
    }
    Vessel *At(const std::string &name, double lat, double alt, const VECTOR3 &air = _V(0, 0, 0))
    {
        Vessel *v = W().CreateVesselAt(name, "box", 0, lat, alt);
        v->Place(0, lat, alt, 0, 0, 0, air);
        return v;
    }
    double EventTime(const std::string &prefix)
    {
        for (const auto &e : W().events())
            if (e.second.rfind(prefix, 0) == 0) return e.first;
        return -1;
    }
};

void ExpectVec(const VECTOR3 &a, double x, double y, double z, double tol)
{
    EXPECT_NEAR(a.x, x, tol);
    EXPECT_NEAR(a.y, y, tol);
    EXPECT_NEAR(a.z, z, tol);
}

// An airfoil with no coefficients at all (to switch a vessel to the airfoil model), and one that
// remembers the angle it was asked for and returns a pitching moment only.
void NoCoeffs(VESSEL *, double, double, double, void *, double *cl, double *cm, double *cd) { *cl = *cm = *cd = 0; }
double g_angle = 0;
void MomentOnly(VESSEL *, double angle, double, double, void *, double *cl, double *cm, double *cd)
{
    g_angle = angle;
    *cl = 0, *cm = 0.1, *cd = 0;
}

// --- old model -------------------------------------------------------------------------------

// cs = (3, 3, 0.8), cw z+ 0.2, z- 0.8, x 0.5, y 0.6, rho 1.2.
//   along +z at 50 m/s: q = 0.5 * 1.2 * 2500 = 1500; drag = 1500 * 0.5 * 0.8 * 0.2 = 120 N along -z;
//   along -z: the same 120 N along +z (the backward coefficient is never used);
//   u = (10, -20, 40): V = 45.8258, n = u / V; cw_cs = 0.5*3*0.5*|n.x| + 0.5*3*0.6*|n.y| +
//   0.5*0.8*0.2*|n.z| and drag = q cw_cs along -n: F = (-172.2, 344.4, -688.8) N.
//   Moments, size 2, mass 1000: fac = 2 * 1000 * 1.2 = 2400; aoa = atan2(20, 40), beta =
//   atan2(10, 40); M.x = -fac V cs.y sin(aoa) 0.3 - fac omega.x rd.x = -44386.83,
//   M.y = -fac V cs.x sin(beta) 0.2 - fac omega.y rd.y = -15716.71, M.z = -fac omega.z rd.z = -504
//   with omega = (0.1, -0.2, 0.3), rot drag (0.5, 0.6, 0.7).
TEST_F(ForcesTest, OldModelDragMomentsAndRotationalDrag)
{
    Vessel *v = At("old", 0.0, 1000);
    VESSEL *vi = v->iface;
    vi->SetCW(0.2, 0.8, 0.5, 0.6);
    vi->SetCrossSections(_V(3, 3, 0.8));
    sim::Loads l;
    sim::OldModelLoads(*v, 1000, 1.2, _V(0, 0, 50), _V(0, 0, 0), &l);
    ExpectVec(l.force, 0, 0, -120, 1e-9);
    ExpectVec(l.moment, 0, 0, 0, 1e-12);  // moment scales default to 0
    sim::OldModelLoads(*v, 1000, 1.2, _V(0, 0, -50), _V(0, 0, 0), &l);
    ExpectVec(l.force, 0, 0, 120, 1e-9);
    sim::OldModelLoads(*v, 1000, 1.2, _V(30, 0, 40), _V(0, 0, 0), &l);
    ExpectVec(l.force, -0.6 * 0.514 * 1500, 0, -0.8 * 0.514 * 1500, 1e-9);  // 0.45 + 0.064 = 0.514

    vi->SetPitchMomentScale(0.3);
    vi->SetYawMomentScale(0.2);
    vi->SetRotDrag(_V(0.5, 0.6, 0.7));
    sim::OldModelLoads(*v, 1000, 1.2, _V(10, -20, 40), _V(0.1, -0.2, 0.3), &l);
    ExpectVec(l.force, -172.2, 344.4, -688.8, 1e-9);
    ExpectVec(l.moment, -44386.82730894547, -15716.705190514887, -504, 1e-6);

    // Below 1e-8 m/s of airspeed, or outside the air, nothing at all.
    sim::OldModelLoads(*v, 1000, 1.2, _V(0, 0, 1e-9), _V(0.1, 0, 0), &l);
    ExpectVec(l.moment, 0, 0, 0, 0);
    sim::OldModelLoads(*v, 1000, 0.0, _V(0, 0, 50), _V(0.1, 0, 0), &l);
    ExpectVec(l.force, 0, 0, 0, 0);
}

// --- airfoil model and control surfaces ------------------------------------------------------

// Elevator, area 2, dCl 1.5, at (0, 0, -5), level +1, flying at 60 m/s in air of 1.2 kg/m^3:
//   q = 2160; lift -1 * 2160 * 2 * 1.5 = -6480 N along the lift direction (0, 1, 0), drag
//   2160 * 2 = 4320 N along -z; moment F x r = (-6480 * -5, 0, 0) = (32400, 0, 0): nose up.
// Rotational drag at omega.x = 0.1, cs.y = 3, rot drag 0.5: 0.5 * 1.2 * 90^2 * 3 * 0.5 = 7290 < PMI
//   m / dt = 2 * 1000 / 0.02, so M.x = -729; with dt = 1 s and PMI 1 the cap 1000 gives -100.
// A horizontal airfoil (S 2, c 1.5, cm 0.1) turns about +y by 0.1 * 2160 * 2 * 1.5 = 648 and is
// asked for beta = atan2(-u.x, u.z).
TEST_F(ForcesTest, AirfoilModelControlSurfaceAndRotationalDrag)
{
    Vessel *v = At("wing", 0.0, 1000);
    VESSEL *vi = v->iface;
    vi->SetCrossSections(_V(3, 3, 0.8));
    vi->SetPMI(_V(2, 2, 2));
    vi->CreateAirfoil3(LIFT_VERTICAL, _V(0, 0, 0), NoCoeffs, nullptr, 1.0, 1.0, 1.0);
    vi->CreateControlSurface(AIRCTRL_ELEVATOR, 2.0, 1.5, _V(0, 0, -5));
    v->ctrl_curr[AIRCTRL_ELEVATOR] = 1.0;
    sim::Loads l;
    sim::AirfoilModelLoads(*v, 1000, 1.2, 340, 0.02, _V(0, 0, 60), _V(0, 0, 0), &l);
    ExpectVec(l.force, 0, -6480, -4320, 1e-6);
    ExpectVec(l.moment, 32400, 0, 0, 1e-6);
    EXPECT_DOUBLE_EQ(v->iface->GetControlSurfaceLevel(AIRCTRL_ELEVATOR), 1.0);

    v->ctrl_curr[AIRCTRL_ELEVATOR] = 0.0;
    vi->SetRotDrag(_V(0.5, 0.5, 0.5));
    sim::AirfoilModelLoads(*v, 1000, 1.2, 340, 0.02, _V(0, 0, 60), _V(0.1, 0, 0), &l);
    ExpectVec(l.moment, -729, 0, 0, 1e-9);
    ExpectVec(l.force, 0, 0, 0, 1e-12);  // no cross-section drag in this model
    vi->SetPMI(_V(1, 1, 1));
    sim::AirfoilModelLoads(*v, 1000, 1.2, 340, 1.0, _V(0, 0, 60), _V(0.1, 0, 0), &l);
    ExpectVec(l.moment, -100, 0, 0, 1e-9);
    sim::AirfoilModelLoads(*v, 1000, 1.2, 340, 0.02, _V(0, 60, 0), _V(0.1, 0, 0), &l);
    ExpectVec(l.moment, 0, 0, 0, 0);  // no airflow along z: nothing at all

    vi->SetRotDrag(_V(0, 0, 0));
    vi->CreateAirfoil3(LIFT_HORIZONTAL, _V(0, 0, 0), MomentOnly, nullptr, 1.5, 2.0, 1.0);
    sim::AirfoilModelLoads(*v, 1000, 1.2, 340, 0.02, _V(10, 0, 60), _V(0, 0, 0), &l);
    EXPECT_NEAR(g_angle, std::atan2(-10.0, 60.0), 1e-15);
    EXPECT_NEAR(l.moment.y, 0.1 * (0.5 * 1.2 * 3700) * 2 * 1.5, 1e-9);
}

// The same elevator at the tail: with an airfoil the nose comes up; without airfoils the old model
// ignores the surface entirely.
TEST_F(ForcesTest, ControlSurfacesActOnlyWithAirfoils)
{
    Vessel *wing = At("wing", 0.0, 1000, _V(0, 0, 60));
    Vessel *plain = At("plain", 0.001, 1000, _V(0, 0, 60));
    for (Vessel *v : {wing, plain}) {
        v->iface->SetCW(0, 0, 0, 0);
        v->iface->CreateControlSurface(AIRCTRL_ELEVATOR, 2.0, 1.0, _V(0, 0, -5));
        v->iface->SetControlSurfaceLevel(AIRCTRL_ELEVATOR, 1.0);
    }
    wing->iface->CreateAirfoil3(LIFT_VERTICAL, _V(0, 0, 0), NoCoeffs, nullptr, 1.0, 1.0, 1.0);
    StepFor(0.1);  // the surface is still coming out (0.1 of its travel); no time to swing round
    EXPECT_GT(wing->omega.x, 0.0);
    EXPECT_EQ(plain->omega.x, 0.0);
}

// The deflection follows the target at 1/delay per second (1 s by default): from 0 to +1 in 1 s,
// from +1 to -1 in 2 s; the target is clamped to +-1.
TEST_F(ForcesTest, ControlSurfaceSlewsOverItsDelay)
{
    Vessel *v = At("slew", 0.0, 1000);
    VESSEL *vi = v->iface;
    vi->CreateControlSurface(AIRCTRL_RUDDER, 1.0, 1.0, _V(0, 0, -5));
    vi->SetControlSurfaceLevel(AIRCTRL_RUDDER, 3.0);
    Step();
    EXPECT_NEAR(vi->GetControlSurfaceLevel(AIRCTRL_RUDDER), 0.02, 1e-12);
    StepFor(0.48);
    EXPECT_NEAR(vi->GetControlSurfaceLevel(AIRCTRL_RUDDER), 0.5, 1e-9);
    StepFor(0.5);
    EXPECT_DOUBLE_EQ(vi->GetControlSurfaceLevel(AIRCTRL_RUDDER), 1.0);
    vi->SetControlSurfaceLevel(AIRCTRL_RUDDER, -1.0);
    StepFor(1.0);
    EXPECT_NEAR(vi->GetControlSurfaceLevel(AIRCTRL_RUDDER), 0.0, 1e-9);
    StepFor(1.0);
    EXPECT_DOUBLE_EQ(vi->GetControlSurfaceLevel(AIRCTRL_RUDDER), -1.0);
    // The automatic axis is resolved when the surface is made.
    EXPECT_EQ(v->ctrl_surfaces[0].axis, AIRCTRL_AXIS_YPOS);
    vi->CreateControlSurface(AIRCTRL_AILERON, 1.0, 1.0, _V(0, 0, 0));
    vi->CreateControlSurface(AIRCTRL_FLAP, 1.0, 1.0, _V(0, 0, 0));
    EXPECT_EQ(v->ctrl_surfaces[1].axis, AIRCTRL_AXIS_XNEG);  // x = 0 is not right of the centre line
    EXPECT_EQ(v->ctrl_surfaces[2].axis, AIRCTRL_AXIS_XPOS);
}

// --- thrust ----------------------------------------------------------------------------------

// Isp 0 means the default 5e4 m/s, which burns: 1000 N for 2 s takes 1000 / 5e4 * 2 = 0.04 kg.
// A thruster whose tank runs empty is switched off.
TEST_F(ForcesTest, ThrustIspDefaultAndFuellessThrusterSwitchedOff)
{
    Vessel *v = At("rcs", 0.2, 2000e3);
    VESSEL *vi = v->iface;
    PROPELLANT_HANDLE tank = vi->CreatePropellantResource(10, 10);
    THRUSTER_HANDLE th = vi->CreateThruster(_V(0, 0, 0), _V(0, 0, 1), 1000, tank, 0.0);
    EXPECT_EQ(v->thrusters[0]->isp0, 5e4);
    vi->SetThrusterLevel(th, 1.0);
    StepFor(2.0);
    EXPECT_NEAR(vi->GetPropellantMass(tank), 10 - 0.04, 1e-9);
    vi->SetPropellantMass(tank, 0);
    Step();
    EXPECT_EQ(vi->GetThrusterLevel(th), 0.0);
    EXPECT_FALSE(vi->SetGravityGradientDamping(1.0));  // refused: no distributed mass
}

// --- ground contact --------------------------------------------------------------------------

// A 1000 kg box on legs at (0, -1.5, 1), (-1, -1.5, -1), (1, -1.5, -1): stiffness 1e6 N/m per
// point (empty mass 1000), damping 1e5. Statics: the nose leg carries W/2, each rear leg W/4
// (moments about x), compressions W/(2k) and W/(4k); the origin, midway along z, sits at
// 1.5 - (W/(2k) + W/(4k)) / 2 = 1.5 - 3W/(8k), and the nose is down by atan((W/(2k) - W/(4k)) / 2). W = m (mu/r^2 - Omega^2 r cos^2 lat) at 0.3 rad.
// It is dropped from 0.5 m, comes to rest within a second and is reported landed only after more
// than 5 s at rest, at its height; 10 N of thrust frees it again.
TEST_F(ForcesTest, DroppedVesselSettlesOnItsLegsAndLandsAfterFiveSeconds)
{
    const double lat = 0.3;
    Vessel *v = At("lander", lat, 2.0);
    VESSEL *vi = v->iface;
    vi->SetTouchdownPoints(_V(0, -1.5, 1), _V(-1, -1.5, -1), _V(1, -1.5, -1));
    EXPECT_EQ(v->td_stiffness[0], 1e6);
    EXPECT_EQ(v->td_damping[2], 1e5);
    const double omega = 7.292115e-5, r = kR + 1.5;
    const double W = 1000 * (kMu / (r * r) - omega * omega * r * std::cos(lat) * std::cos(lat));
    const double rest = 1.5 - 3 * W / (8 * 1e6);

    StepFor(2.0);
    EXPECT_NEAR(vi->GetAltitude(), rest, 2e-4);
    const double nose_down = std::atan((W / 2e6 - W / 4e6) / 2);  // the nose leg sinks more
    EXPECT_NEAR(vi->GetPitch(), -nose_down, 5e-6);
    EXPECT_LT(EventTime("landed"), 0) << "not landed 2 s after the drop";
    StepFor(3.5);
    EXPECT_EQ(vi->GetFlightStatus() & 1u, 0u) << "not landed 5.5 s after the drop";
    StepFor(2.5);
    ASSERT_EQ(vi->GetFlightStatus() & 1u, 1u);
    const double still = EventTime("landed lander (touchdown");
    EXPECT_GT(still, 5.0);
    EXPECT_LT(still, 6.5);
    EXPECT_NEAR(vi->GetAltitude(), rest, 2e-4);  // keeps its height
    EXPECT_NEAR(vi->GetPitch(), -nose_down, 5e-6);  // keeps its attitude

    // Landed, it turns with the Earth: its place on the ground stays.
    double lng0, lat0, rad0, lng1, lat1, rad1;
    vi->GetEquPos(lng0, lat0, rad0);
    StepFor(10.0);
    vi->GetEquPos(lng1, lat1, rad1);
    EXPECT_NEAR(lng1, lng0, 1e-12);
    EXPECT_NEAR(lat1, lat0, 1e-12);
    EXPECT_EQ(vi->GetFlightStatus() & 1u, 1u);

    // Any force frees it: 10 N up, far below its weight; it stays on its legs.
    PROPELLANT_HANDLE tank = vi->CreatePropellantResource(10, 10);
    THRUSTER_HANDLE th = vi->CreateThruster(_V(0, 0, 0), _V(0, 1, 0), 10, tank, 0.0);
    vi->SetThrusterLevel(th, 1.0);
    Step();
    EXPECT_EQ(vi->GetFlightStatus() & 1u, 0u);
    EXPECT_GT(EventTime("liftoff lander"), 0);
    StepFor(2.0);
    EXPECT_NEAR(vi->GetAltitude(), rest + 10 / 3e6 * 1.5, 5e-4);
    EXPECT_EQ(vi->GetFlightStatus() & 1u, 0u) << "a firing thruster stops the landing test";
}

// Three-point touchdown stiffness follows the empty mass at the time of the call: 20 x 500 kg.
// Friction set afterwards reaches every point.
TEST_F(ForcesTest, TouchdownStiffnessFollowsTheEmptyMassAndFrictionEveryPoint)
{
    Vessel *v = At("light", 0.0, 100);
    v->iface->SetEmptyMass(500);
    v->iface->SetTouchdownPoints(_V(0, -1, 1), _V(-1, -1, -1), _V(1, -1, -1));
    v->iface->SetSurfaceFrictionCoeff(0.3, 0.7);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(v->td_stiffness[i], 1e4);
        EXPECT_EQ(v->td_damping[i], 1e3);
        EXPECT_EQ(v->td_mu_lng[i], 0.3);
        EXPECT_EQ(v->td_mu[i], 0.7);
    }
}

// --- attachments -----------------------------------------------------------------------------

// A parent weighs its empty mass plus propellant only (Vessel.cpp UpdateMass); an attached child
// reports its parent's flight status (Vessel.cpp UpdatePassive copies it).
TEST_F(ForcesTest, ParentMassWithoutTheChildAndChildTakesTheParentsStatus)
{
    Vessel *p = At("parent", 0.2, 0.0);
    Vessel *c = At("child", 0.2001, 100.0);
    p->iface->CreatePropellantResource(50, 50);
    ATTACHMENTHANDLE pa = p->iface->CreateAttachment(false, _V(0, 2, 0), _V(0, 1, 0), _V(0, 0, 1), "P");
    ATTACHMENTHANDLE ca = c->iface->CreateAttachment(true, _V(0, 0, 0), _V(0, -1, 0), _V(0, 0, 1), "C");
    ASSERT_TRUE(p->iface->AttachChild(c->iface->GetHandle(), pa, ca));
    EXPECT_DOUBLE_EQ(p->iface->GetMass(), 1050.0);
    EXPECT_EQ(c->iface->GetFlightStatus() & 1u, 0u);
    p->landed_elev = 2.0;
    p->SetLanded(0, 0.2, 0);
    Step();
    EXPECT_EQ(p->iface->GetFlightStatus() & 1u, 1u);
    EXPECT_EQ(c->iface->GetFlightStatus() & 1u, 1u);
}

}  // namespace
