// The autopilot and the manual assists on crafted states, through the stand-in host.
#include "hx220_test_support.h"

#include <cmath>

using namespace hx220test;

namespace {

class AutopilotTest : public HelicopterTest {
protected:
    // A running helicopter whose lift thruster exists, placed as given.
    Vessel *Flying(const std::vector<std::string> &extra, double alt, double pitch = 0, double bank = 0,
                   const VECTOR3 &air = _V(0, 0, 0))
    {
        std::vector<std::string> lines = {kEngineRunning};
        lines.insert(lines.end(), extra.begin(), extra.end());
        Vessel *v = Heli(lines, "HX" + std::to_string(++count_));
        v->Place(0, 0, alt, 0, pitch * RAD, bank * RAD, air);
        Step();  // the lift thruster comes on the first frame
        return v;
    }
    double Lift(Vessel *v)
    {
        for (auto *g : v->groups)
            if (g->alive && g->type == THGROUP_MAIN && !g->thrusters.empty() && g->thrusters[0]->alive)
                return g->thrusters[0]->level;
        return -1;
    }
    Vessel *PlainCapsule(double lng, double alt, const VECTOR3 &air = _V(0, 0, 0))
    {
        WriteConfig("Config/Vessels/TestCapsule.cfg", "ClassName = TestCapsule\nMass = 191\n");
        Vessel *c = Create("Corvane_SRC_Parafoil", "TestCapsule");
        c->Place(lng, 0, alt, 0, 0, 0, air);
        return c;
    }
    int count_ = 0;
};

TEST_F(AutopilotTest, HoverToggleRedefinesTheControlSurfaces)
{
    Vessel *v = Heli();
    EXPECT_TRUE(v->ctrl_surfaces.empty()) << "none before the first hover toggle";
    EXPECT_EQ(Key(v, OAPI_KEY_S, true), 1);
    ASSERT_EQ(v->ctrl_surfaces.size(), 5u);
    EXPECT_EQ(v->adctrl_mode, 0u);
    EXPECT_EQ(v->attitude_mode, 0);
    const AIRCTRL_TYPE types[] = {AIRCTRL_ELEVATOR, AIRCTRL_RUDDER, AIRCTRL_AILERON, AIRCTRL_AILERON,
                                  AIRCTRL_ELEVATORTRIM};
    const double areas[] = {20, 10, 10, 10, 0.1};
    const double ref_x[] = {0, 0, 5, -5, 0};
    const int manual_axis[] = {3, 1, 3, 4, 3};
    for (int i = 0; i < 5; ++i) {
        const sim::ControlSurface &s = v->ctrl_surfaces[i];
        EXPECT_EQ(s.type, types[i]);
        EXPECT_EQ(s.area, areas[i]);
        EXPECT_EQ(s.dCl, 2.0);
        EXPECT_EQ(s.ref.x, ref_x[i]);
        // In the hover the module leaves the axis to the host, which resolves it when the surface
        // is made (Vessel.cpp CreateControlSurface): elevator and trim +X, rudder +Y, an aileron
        // +X right of the centre line, -X left of it -- here the same as the manual axes.
        EXPECT_EQ(s.axis, manual_axis[i]) << "in the hover the host chooses the axis";
        EXPECT_EQ(s.anim, (UINT)-1);
    }
    Key(v, OAPI_KEY_S, true);
    ASSERT_EQ(v->ctrl_surfaces.size(), 5u);
    EXPECT_EQ(v->adctrl_mode, 7u);
    EXPECT_EQ(v->attitude_mode, 1);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(v->ctrl_surfaces[i].axis, manual_axis[i]);
}

TEST_F(AutopilotTest, LoadedHoveringItSetsTheHoversControlsAgain)
{
    // Saved hovering: the file keeps STATIO 1, but the host writes no AFCMODE line for mode 0 (it
    // loads back as all surfaces on) and nothing of the surfaces or the attitude mode.
    Vessel *v = Heli({"STATUS Orbiting Earth", "RPOS 6371500 0 0", "MOTEUR 2 40000 501 8.0 1", "STATIO 1 0"});
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->ctrl_surfaces.size(), 5u);
    EXPECT_EQ(v->adctrl_mode, 0u);
    EXPECT_EQ(v->attitude_mode, 0);
    EXPECT_EQ(SavedLine(v, "STATIO"), "STATIO 1 0");
    EXPECT_EQ(SavedLine(v, "COMMANDES"), "") << "the hover itself says so";

    // Landed by the autopilot: STATIO 0 0 with the hover's settings left on; the line that says so
    // brings them back (without it, the reload had all surfaces on and the pilot's axes).
    Vessel *landed = Heli({"STATUS Orbiting Earth", "RPOS 6371500 0 0", "STATIO 0 0", "COMMANDES 1"}, "HX221");
    ASSERT_NE(landed, nullptr);
    EXPECT_EQ(landed->adctrl_mode, 0u);
    EXPECT_EQ(landed->attitude_mode, 0);
    EXPECT_EQ(landed->ctrl_surfaces[0].axis, AIRCTRL_AXIS_XPOS) << "the hover's axis, resolved by the host";
    EXPECT_EQ(SavedLine(landed, "COMMANDES"), "COMMANDES 1");
    Key(landed, OAPI_KEY_S, true);
    Key(landed, OAPI_KEY_S, true);
    EXPECT_EQ(landed->adctrl_mode, 7u) << "the hover toggled off gives the pilot's settings";
    EXPECT_EQ(SavedLine(landed, "COMMANDES"), "");

    // An older file without the line loads with the pilot's settings, as before.
    Vessel *old = Heli({"STATUS Orbiting Earth", "RPOS 6371500 0 0", "STATIO 0 0"}, "HX222");
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->adctrl_mode, 7u);
    EXPECT_EQ(SavedLine(old, "COMMANDES"), "");
}

TEST_F(AutopilotTest, HoverLevelsAgainstDriftAndHoldsTheVerticalSpeed)
{
    Vessel *v = Flying({}, 500, 10, 0, _V(5, -0.2, 0));  // drifting right, nose 10 deg up, sinking
    Key(v, OAPI_KEY_S, true);
    Step();
    // Bank -clamp(0.2 x (5 - 0)) = -1, pitch clamp(0.2 x (0 - 10)) = -1; yaw from last frame's bank (0).
    EXPECT_NEAR(Commanded(v).z, -0.5, 1e-9);
    EXPECT_NEAR(Commanded(v).x, -0.5, 1e-9);
    EXPECT_NEAR(Commanded(v).y, 0, 1e-9);
    EXPECT_NEAR(Lift(v), 0.9, 1e-6) << "0.7 - vertical speed";
    Step();
    EXPECT_NEAR(Commanded(v).y, -0.5, 1e-9) << "yaw command -0.5 x bank command, written negated";
}

// The hover autopilot on a host that integrates the attitude: from 15 deg of bank and 10 deg nose up
// it commands 0.5 rad/s (29 deg/s) toward level on both axes, and 0.1 rad/s per degree of error below
// 5 deg (a time constant of 1 / (0.1 x 57.3) = 0.17 s): level within about a second. The law aims the
// bank at the lateral airspeed and the pitch at the forward airspeed, in degrees per m/s; the tilt
// drifts the helicopter at about g tan(bank) for the half second it takes to level, under
// 9.81 x tan(7.5 deg) x 0.5 s = 0.65 m/s, so bank and pitch settle within about a degree of level.
// The lift law holds the vertical speed, so the helicopter stays at its altitude (a full tank: a
// scenario without PRPLEVEL starts empty). The rates reach the attitude only because the helicopter
// writes them again before the update; left in the post-step's write, where the host drops them,
// they would leave it at 15 and 10 deg.
TEST_F(AutopilotTest, HoverLevelsABankedPitchedHelicopter)
{
    options.physics = true;
    Vessel *v = Flying({"PRPLEVEL 0:1.000000"}, 500, 10, 15);
    ASSERT_NEAR(v->iface->GetBank(), 15 * RAD, 1e-3);
    ASSERT_NEAR(v->iface->GetPitch(), 10 * RAD, 1e-3);
    EXPECT_EQ(Key(v, OAPI_KEY_S, true), 1);
    StepFor(0.1);
    EXPECT_LT(v->iface->GetBank(), 14 * RAD) << "turning toward level";
    EXPECT_LT(v->iface->GetPitch(), 9 * RAD);
    StepFor(2.9);
    EXPECT_NEAR(v->iface->GetBank(), 0, 1.5 * RAD);
    EXPECT_NEAR(v->iface->GetPitch(), 0, 1.5 * RAD);
    EXPECT_NEAR(v->iface->GetAltitude(), 500, 2);
}

TEST_F(AutopilotTest, FollowCourseToTheHeliportThenDescendAndLand)
{
    ASSERT_NE(CreateLanded("Heliport", "CorvaneMission/heliport", 0.001, 0, 0.5), nullptr);
    Vessel *v = Flying({}, 50);
    EXPECT_EQ(Values(v, "PILOTEAUTO"), "0 0.000001 0.000999 28.647890") << "read on the first frame";
    EXPECT_EQ(Key(v, OAPI_KEY_G, true), 1);
    EXPECT_EQ(Values(v, "STATIO"), "1 0");
    Step();
    // Course about 90 deg with heading 0: yaw 0.5; the forward airspeed becomes max(0 - 4 x 99.9, -20).
    EXPECT_NEAR(Commanded(v).y, -0.5, 1e-9);
    EXPECT_NEAR(Commanded(v).x, -0.5, 1e-9) << "pitch target -20";
    EXPECT_NEAR(Lift(v), 1.0, 1e-9) << "height error held at 3";

    v->Place(0.001 - 1e-6, 1e-6, 5, 0.5);
    Step();
    EXPECT_EQ(Values(v, "STATIO"), "1 1") << "hand-over to the descent";
    EXPECT_EQ(Values(v, "PILOTEAUTO").substr(0, 2), "0 ");
    EXPECT_NEAR(Commanded(v).y, 0, 1e-6) << "facing the heliport's heading";

    v->Place(0.001 - 1e-6, 1e-6, 1.5, 0.5);
    Step();
    EXPECT_EQ(Values(v, "STATIO"), "0 0") << "landed";
    EXPECT_EQ(Lift(v), 0.0);
    // (The host resolved the hover's automatic axis to +X when the surface was made.)
    EXPECT_EQ(v->ctrl_surfaces[0].axis, AIRCTRL_AXIS_XPOS) << "the surfaces stay as the hover set them";
    EXPECT_EQ(SavedLine(v, "COMMANDES"), "COMMANDES 1") << "saved, since the host writes no AFCMODE 0";
    EXPECT_EQ(Values(v, "HEADINGHOLD").substr(0, 1), "0");
    Key(v, OAPI_KEY_G, true);
    Key(v, OAPI_KEY_G, true);
    EXPECT_EQ(Values(v, "STATIO"), "1 0") << "G twice: following off, hover still on";
}

// Each helicopter reads the heliport for itself: a second one (or one after another session with
// the module still loaded) flew toward 0 N 0 E with heading 0 once the first had read it.
TEST_F(AutopilotTest, EveryHelicopterReadsTheHeliportTarget)
{
    ASSERT_NE(CreateLanded("Heliport", "CorvaneMission/heliport", 0.001, 0, 0.5), nullptr);
    Vessel *first = Flying({}, 50);
    Vessel *second = Flying({}, 60);
    EXPECT_EQ(Values(first, "PILOTEAUTO"), "0 0.000001 0.000999 28.647890");
    EXPECT_EQ(Values(second, "PILOTEAUTO"), "0 0.000001 0.000999 28.647890");
}

TEST_F(AutopilotTest, DescentCommandBiasAndHeightLimit)
{
    Vessel *v = Flying({}, 2, 0, 0, _V(0, -0.2, 0));
    EXPECT_EQ(Key(v, OAPI_KEY_D, true), 1);
    EXPECT_EQ(Values(v, "STATIO"), "1 1");
    EXPECT_EQ(Values(v, "HEADINGHOLD"), "1 0 0") << "D engages heading hold";
    Step();
    EXPECT_NEAR(Lift(v), 0.1, 1e-9) << "bias 0.7 - 0.25 x 2 m + (0.2 m/s - 0.5), plus the sinking speed";

    Key(v, OAPI_KEY_D, true);  // D again ends the descent only
    EXPECT_EQ(Values(v, "STATIO"), "1 0");
    Step();
    EXPECT_NEAR(Lift(v), 0.9, 1e-9);

    Key(v, OAPI_KEY_D, true);
    v->Place(0, 0, 1.5, 0, 0, 0, _V(0, -0.2, 0));
    Step();
    EXPECT_EQ(Values(v, "STATIO"), "0 0") << "landed";
    EXPECT_EQ(Values(v, "HEADINGHOLD"), "1 0 0") << "heading hold stays on after the landing";

    // Far above the course's height target the height error is held at -5.
    Vessel *high = Flying({"STATIO 1 0", "PILOTEAUTO 1 0 0.001 0"}, 1000, 0, 0, _V(0, -5, 0));
    Step();
    EXPECT_NEAR(Lift(high), 0.7, 1e-9) << "-5 + 0.7 + 5";
}

TEST_F(AutopilotTest, WithoutAHeliportTheTargetWaitsForOne)
{
    Vessel *v = Flying({"PILOTEAUTO 1 0.1 0.2 30"}, 50);
    Key(v, OAPI_KEY_S, true);
    Step(3);
    EXPECT_EQ(Values(v, "PILOTEAUTO"), "1 0.100000 0.200000 30.000000");
    CreateLanded("Heliport", "CorvaneMission/heliport", 0.001, 0, 0);
    Step();
    EXPECT_EQ(Values(v, "PILOTEAUTO"), "1 0.000001 0.000999 0.000000");
}

TEST_F(AutopilotTest, HeadingHoldYawDampingAndTurnCoordination)
{
    Vessel *hold = Flying({"HEADINGHOLD 1 0 0"}, 500, 0, 0, _V(2, 0, 0));
    W().SetPilotControl(hold, AIRCTRL_RUDDER, 0.4);
    // The host moves a surface toward the pilot's input at 1/delay per second (1 s by default,
    // Vessel.cpp ApplyControlSurfaceLevels); here the pedal has been held long enough to be there.
    hold->ctrl_curr[AIRCTRL_RUDDER] = 0.4;
    W().SetThrottle(hold, 0.33);
    Step();
    EXPECT_NEAR(Commanded(hold).y, -0.4, 1e-9) << "direct rudder";
    EXPECT_NEAR(Lift(hold), 0.33, 1e-9) << "no lift law: the throttle stays the collective";

    // Yaw damping: -rudder - clamp(0.2 x lateral airspeed).
    Vessel *damp = Flying({}, 500, 0, 0, _V(2, 0, 0));
    W().SetPilotControl(damp, AIRCTRL_RUDDER, 0.4);
    damp->ctrl_curr[AIRCTRL_RUDDER] = 0.4;  // held long enough to be there (see above)
    Step();
    EXPECT_NEAR(Commanded(damp).y, -0.8, 1e-6);

    // Turn coordination: -0.05 x pitch x sin |bank|, 0..0.5, added to the pitch rate.
    Vessel *turn = Flying({}, 500, -10, 30);
    Step();
    EXPECT_NEAR(Commanded(turn).x, 0.25, 1e-6);
    Vessel *climb = Flying({}, 500, 10, 30);
    Step();
    EXPECT_NEAR(Commanded(climb).x, 0, 1e-9) << "never pushes the nose down";
}

TEST_F(AutopilotTest, LiftLawsInTheirOrder)
{
    options.journal = true;  // to see the levels as sent, before the host limits them
    // Airplane mode: pitch - climb angle + 0.7 - vertical speed.
    Vessel *plane = Flying({"HEADINGHOLD 0 1 1"}, 500, 0, 0, _V(0, 0.1, 10));
    Step();
    EXPECT_NEAR(Lift(plane), 0.7 - 0.1 - std::atan(0.01) / RAD, 1e-6);

    // Without airspeed the climb angle counts as 0: the level follows the pitch, never NaN. (Placed
    // again just before the frame: the Earth's turn leaves rounding crumbs in the airspeed.)
    Vessel *still = Flying({"HEADINGHOLD 0 1 0"}, 500, -0.3);
    still->Place(0, 0, 500, 0, -0.3 * RAD);
    still->journal.clear();
    Step();
    EXPECT_NEAR(Lift(still), 0.4, 1e-9) << "-0.3 deg - 0 + 0.7 - 0";
    int levels = 0;
    for (const std::string &j : still->journal) {
        if (j.rfind("SetThrusterLevel(", 0) != 0) continue;
        ++levels;
        EXPECT_EQ(j.find("nan"), std::string::npos) << j;
    }
    EXPECT_EQ(levels, 1);

    // Altitude hold without a capsule: 0.7 - vertical speed.
    Vessel *alt = Flying({"HEADINGHOLD 0 0 1"}, 500, 0, 0, _V(0, 0.3, 0));
    Step();
    EXPECT_NEAR(Lift(alt), 0.4, 1e-6);
}

TEST_F(AutopilotTest, AltitudeHold17MetresAboveAFreeCapsule)
{
    Vessel *c = PlainCapsule(1e-5, 1000, _V(0, -0.5, 0));
    Vessel *v = Flying({"HEADINGHOLD 0 0 1"}, 1018, 0, 0, _V(0, -0.5, 0));
    Step();
    EXPECT_NEAR(Lift(v), 0.6, 1e-6) << "0.7 - 0.1 x (1018 - 1017) - (vertical speeds alike)";

    Key(v, OAPI_KEY_X, true);  // hold off: with a capsule about, no law sets the level
    W().SetThrottle(v, 0.33);
    Step();
    EXPECT_NEAR(Lift(v), 0.33, 1e-9);
    W().DeleteVessel(c);
}

TEST_F(AutopilotTest, AltitudeHoldWithTheCapsuleOnThePole)
{
    Vessel *v = Flying({"HEADINGHOLD 0 0 1"}, 1016, 0, 0, _V(0, 0.2, 0));
    Vessel *c = Create("Corvane_SRC_Parafoil", "CorvaneMission/corvane_src_parafoil");
    c->Place(0, 0, 1000);
    v->Place(0, 0, 1016, 0, 0, 0, _V(0, 0.2, 0));  // both placed in the same frame: the Earth turns under them
    Step();
    ASSERT_EQ(c->parent, v);
    Step();
    EXPECT_NEAR(Lift(v), 0.5, 1e-6) << "as without a capsule";
}

}  // namespace
