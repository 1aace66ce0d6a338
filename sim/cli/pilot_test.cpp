// pilot_test.cpp -- the recovery pilot in the stand-in: whole runs of the catch (and of the
// mission) through corvane-sim with the add-on's modules, the pilot flying through the world's
// cockpit.
#include "testing/harness_test.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <sstream>

using simtest::ReadFile;
using simtest::SimTest;
using simtest::WriteFile;

namespace {

class PilotRun : public simtest::HarnessTest {
protected:
    // A distance the summary gives ("... landed 57 m from the heliport"), or -1.
    static double FromHeliport(const std::string &summary, const std::string &what)
    {
        const auto at = summary.find(what + " landed ");
        if (at == std::string::npos) return -1;
        return std::stod(summary.substr(at + what.size() + 8));
    }
};

}  // namespace

TEST_F(PilotRun, CatchesTheCapsuleAndBringsItHome)
{
    ASSERT_EQ(Fly({"Corvane/Catch"}), 0) << errors;
    const double pole = When("pilot: key shift+P on HX220"), hold = When("pilot: key shift+X on HX220");
    const double caught = When("attached Corvane_SRC_Parafoil to HX220");
    const double home = When("pilot: key shift+G on HX220");
    const double released = When("detached Corvane_SRC_Parafoil from HX220");
    const double heli_down = When("landed HX220 (touchdown"), stop = When("pilot: key K on HX220 (engine stop)");
    ASSERT_GT(caught, 0) << timeline;
    EXPECT_GT(pole, 0);
    EXPECT_GT(hold, pole);
    EXPECT_GT(caught, hold);
    EXPECT_GT(home, caught);
    EXPECT_GT(released, home) << timeline;
    EXPECT_GT(heli_down, released);
    // The host reports the helicopter landed only after 5 s at rest with no thruster firing
    // (Vesselbase.cpp CheckLanded): the engine stops on the gear first, the landing follows.
    EXPECT_GT(stop, released);
    EXPECT_GT(heli_down, stop);
    EXPECT_LT(When("not taken"), 0) << timeline;  // every key the pilot pressed was a command

    const std::string summary = ReadFile("out/summary.txt");
    EXPECT_NE(summary.find("closest approach before the catch"), std::string::npos) << summary;
    const double capsule = FromHeliport(summary, "capsule"), heli = FromHeliport(summary, "helicopter");
    EXPECT_GE(capsule, 0) << summary;
    // Released below 16 m at the descent's sink of about a metre a second and a ground speed
    // falling off below 20 m/s, the capsule comes down some 150-200 m short of the pad (the core
    // measured 181 m in this flight, the helicopter 11 m).
    EXPECT_LT(capsule, 300);
    EXPECT_GE(heli, 0) << summary;
    EXPECT_LT(heli, 150);

    // The head-up display right after the catch shows the offsets the catch test saw.
    const std::string hud = ReadFile("out/hx220-hud-caught.png.txt");
    const auto alt = hud.find("delta ALT : ");
    ASSERT_NE(alt, std::string::npos) << hud;
    const double above = std::stod(hud.substr(alt + 12));
    EXPECT_GE(above, 14);
    EXPECT_LE(above, 18);
    EXPECT_FALSE(ReadFile("out/hx220-hud-caught.png").empty());

    const std::string scn = ReadFile("out/final.scn");
    const std::string h = Block(scn, "HX220"), pf = Block(scn, "Corvane_SRC_Parafoil");
    EXPECT_NE(h.find("STATUS Landed"), std::string::npos) << h;
    // It stands on its skids: the points 1.27 m below its origin, the rear pair carrying 0.955 of
    // the weight (0.104 m behind the centre of gravity, the nose point 2.193 m ahead), about
    // 2200 kg x 9.82 m/s^2 x 0.955 / 2 on 1e6 N/m each: 1 cm down, so the origin 1.26 m up (on
    // 36 kN/m springs it sank 0.23 m at the back and went over onto its tail, origin below ground).
    const auto heli_alt = h.find("  ALT ");
    ASSERT_NE(heli_alt, std::string::npos) << h;
    EXPECT_NEAR(std::stod(h.substr(heli_alt + 6)), 1.26, 0.01) << h;
    EXPECT_NE(pf.find("STATUS Landed"), std::string::npos) << pf;
    EXPECT_NE(pf.find("CONFIGURATION 2"), std::string::npos) << pf;  // the landed mesh

    // The automatic release below 16 m: the capsule hanging 17 m below the helicopter is then under
    // its set-down height, and is set on the ground where it was, rising onto its points and moving
    // no more than a metre sideways (a release in the post-step would throw it some 500 m: one step
    // of the Earth's heliocentric motion).
    simtest::SeparationRow f[3];
    ASSERT_TRUE(simtest::ReleaseFrames(simtest::ParseSeparations(ReadFile("out/separations.csv")), f));
    const VECTOR3 step = f[1].s - f[0].s;  // the last frame on the pole to the first one free
    const double rise = dotp(step, f[1].up);
    EXPECT_GE(f[1].alt, 0.0);
    EXPECT_LT(f[1].alt, 3.0);
    EXPECT_LT(std::fabs(rise), 3.0);
    EXPECT_LT(length(step - f[1].up * rise), 1.0) << length(step) << " " << rise;
    EXPECT_LT(length(f[2].s - f[1].s), 1.0);
}

TEST_F(PilotRun, ALoadLetGoInFlightLeavesFromThePoleTipWithItsVelocity)
{
    // 30 m up over the heliport, the capsule hanging 14 m above the ground (too low to be caught
    // again), let go by command (Shift+J). In the first frame the host reports it free it is where
    // the pole held it, moving at the helicopter's velocity plus the helicopter's rotation at its
    // origin, R (r x w) (Vessel.cpp, Vessel::DetachFromParent; w as it was when the key came, at the
    // frame's start); a frame later it has moved by one frame of its motion relative to the
    // helicopter.
    ASSERT_EQ(Fly({CORVANE_PROBES "/Release in flight.scn"}), 0) << errors;
    const double released = When("detached Corvane_SRC_Parafoil from HX220");
    EXPECT_GT(released, 0.4) << timeline;
    EXPECT_LT(When("attached", released), 0) << timeline;
    EXPECT_GT(When("landed Corvane_SRC_Parafoil", released), released) << timeline;
    simtest::SeparationRow f[3];
    ASSERT_TRUE(simtest::ReleaseFrames(simtest::ParseSeparations(ReadFile("out/separations.csv")), f));
    EXPECT_GT(f[1].alt, 5.0);
    EXPECT_LT(length(f[1].s - f[0].s), 0.01);  // one frame of its fall away from the pole tip
    EXPECT_LT(length(f[0].dv - f[0].rot0), 2e-5);
    EXPECT_GT(length(f[0].rot0), 1e-4);  // a rotation term to see
    EXPECT_LT(length(f[2].s - f[1].s), 1.0);
}

// The released bus falls its last 390 m onto its back at 77 m/s (probes/Bus landing). The core,
// flown at the same fixed step, slowed it to 60 m/s, threw it back up at 8.47 m/s, had it at rest
// 0.658 m deep and reported it landed at 14.08 s, there: POS 86.6660917 3.0967093.
TEST_F(PilotRun, TheBusLandsOnItsBackWhereAndWhenTheCoreLandsIt)
{
    ASSERT_EQ(Fly({CORVANE_PROBES "/Bus landing.scn", "--dt", "0.016666666666666666"}), 0) << errors;
    EXPECT_NEAR(When("landed Corvane_Bus"), 14.08, 0.05) << timeline;
    const std::string scn = ReadFile("out/final.scn");
    const std::size_t at = scn.find("Corvane_Bus:");
    ASSERT_NE(at, std::string::npos) << scn;
    double lng = 0, lat = 0, alt = 0;
    ASSERT_EQ(std::sscanf(scn.c_str() + scn.find("POS ", at), "POS %lf %lf", &lng, &lat), 2) << scn;
    ASSERT_EQ(std::sscanf(scn.c_str() + scn.find("ALT ", at), "ALT %lf", &alt), 1) << scn;
    EXPECT_NEAR(lng, 86.6660917, 2e-6);  // 0.2 m; one frame of the Earth's turn is 7.8 m
    EXPECT_NEAR(lat, 3.0967093, 2e-6);
    EXPECT_NEAR(alt, -0.658, 0.005);
}

TEST_F(PilotRun, WaitsForItsHelicopterAndRejectsUnknownPilots)
{
    // No helicopter in the glide scenario: the pilot never acts, and nothing breaks.
    WriteFile("wait.inputs", "0 pilot recovery HX220\n20 end\n");
    ASSERT_EQ(Fly({"Corvane/Parafoil glide", "--inputs", "wait.inputs"}), 0) << errors;
    EXPECT_LT(When("pilot:"), 0) << timeline;

    WriteFile("bad.inputs", "0 pilot nobody\n");
    EXPECT_EQ(Fly({"Corvane/Catch", "--inputs", "bad.inputs"}), 1);
    EXPECT_NE(errors.find("bad.inputs:1: no virtual pilot named \"nobody\""), std::string::npos) << errors;
    WriteFile("bad.inputs", "0 pilot recovery HX220 extra\n");
    EXPECT_EQ(Fly({"Corvane/Catch", "--inputs", "bad.inputs"}), 1);
    EXPECT_NE(errors.find("expected: pilot recovery [<helicopter>]"), std::string::npos) << errors;
}

// The whole mission, from the bus shortly before entry to the helicopter landed at the heliport.
TEST_F(PilotRun, MissionFromTheBusToTheHeliport)
{
    ASSERT_EQ(Fly({"Corvane/Mission"}), 0) << errors;
    const double released_by_bus = When("created Corvane_SRC (Vessels/CorvaneMission/corvane_src)");
    const double heli = When("created HX220 (hx220)"), handoff = When("created Corvane_SRC_Parafoil");
    const double caught = When("attached Corvane_SRC_Parafoil to HX220");
    const double released = When("detached Corvane_SRC_Parafoil from HX220");
    EXPECT_GT(When("key J on Corvane_Bus"), 0) << timeline;
    EXPECT_GT(released_by_bus, 0);
    EXPECT_GT(heli, released_by_bus);
    EXPECT_GT(When("pilot: key K on HX220 (engine start)"), heli);
    EXPECT_GT(handoff, heli);
    EXPECT_GT(caught, handoff);
    EXPECT_GT(released, caught);
    EXPECT_GT(When("landed HX220 (touchdown", released), released);
    const std::string summary = ReadFile("out/summary.txt");
    const double capsule = FromHeliport(summary, "capsule"), h = FromHeliport(summary, "helicopter");
    EXPECT_GE(capsule, 0) << summary;
    EXPECT_LT(capsule, 400);
    EXPECT_GE(h, 0) << summary;
    EXPECT_LT(h, 150);
    EXPECT_FALSE(ReadFile("out/l1-display-cruise.png").empty());
    EXPECT_FALSE(ReadFile("out/hx220-hud-caught.png").empty());
}

TEST_F(PilotRun, EngagedOnAStateSavedDuringTheCarryItLetsTheAutopilotFlyOnHome)
{
    // Saved at 1650 s, the capsule on the pole and the autopilot following its course home: the
    // pilot engaged on the reload reads "SUIVRE CAP" and presses nothing (Shift+G again would switch
    // the autopilot off and set the capsule down where it is, 35 km out).
    WriteFile("save.inputs", "0 pilot recovery HX220\n1 key Corvane_Bus G\n7 key Corvane_Bus K\n28 key Corvane_Bus K\n"
                             "49 key Corvane_Bus J\n1650 save " + temp_dir + "/carry.scn\n1651 end\n");
    ASSERT_EQ(Fly({"Corvane/Mission", "--inputs", "save.inputs"}, "first"), 0) << errors;
    WriteFile("on.inputs", "0 pilot recovery HX220\n1400 end\n");
    ASSERT_EQ(Fly({temp_dir + "/carry.scn", "--inputs", "on.inputs"}), 0) << errors;
    EXPECT_GE(When("pilot: finds the capsule on the pole and the autopilot flying home (SUIVRE CAP)"), 0) << timeline;
    EXPECT_LT(When("pilot: key shift+G"), 0) << timeline;
    EXPECT_GT(When("detached Corvane_SRC_Parafoil from HX220"), 900) << timeline;  // 2609 s into the mission
    const std::string summary = ReadFile("out/summary.txt");
    const double capsule = FromHeliport(summary, "capsule");
    EXPECT_GE(capsule, 0) << summary;
    EXPECT_LT(capsule, 400) << summary;
}
