// pilot_test.cpp -- the recovery pilot: the signs and limits of its control laws, and whole runs
// of the catch (and of the mission) through corvane-sim with the add-on's modules.
#include "cli.h"
#include "pilot.h"
#include "testing/harness_test.h"

#include <cmath>
#include <sstream>

using simtest::ReadFile;
using simtest::SimTest;
using simtest::WriteFile;
namespace law = sim::pilot;

namespace {
constexpr double kEarthRadius = 6371010;  // [m]
constexpr double kG = 9.81;               // [m/s^2]
}  // namespace

// --- control laws ---------------------------------------------------------------------------

TEST(PilotLaws, HorizonOffsetInMetresTheShortWayRound)
{
    VECTOR3 o = law::HorizonOffset(1.0, 0.5, 1.0, 0.5 + 1e-6, kEarthRadius);
    EXPECT_NEAR(o.z, 6.371, 1e-3);  // the catch window's 1e-6 rad of latitude
    EXPECT_NEAR(o.x, 0, 1e-9);
    o = law::HorizonOffset(1.0, 0.5, 1.0 + 1e-6, 0.5, kEarthRadius);
    EXPECT_NEAR(o.x, 6.371 * std::cos(0.5), 1e-3);
    o = law::HorizonOffset(PI - 1e-6, 0, -PI + 1e-6, 0, kEarthRadius);  // across the date line
    EXPECT_NEAR(o.x, 2e-6 * kEarthRadius, 1e-3);
}

TEST(PilotLaws, TiltPointsTheLiftWhereTheHelicopterShouldGo)
{
    double pitch, bank;
    law::TiltFor(_V(2, 0, 0), PI / 2, kG, 0.5, &pitch, &bank);  // facing east, to the east: nose down
    EXPECT_NEAR(pitch, -std::atan(2 / kG), 1e-12);
    EXPECT_NEAR(bank, 0, 1e-12);
    law::TiltFor(_V(2, 0, 0), 0, kG, 0.5, &pitch, &bank);  // facing north, to the right: right wing down
    EXPECT_NEAR(pitch, 0, 1e-12);
    EXPECT_NEAR(bank, -std::atan(2 / kG), 1e-12);
    law::TiltFor(_V(0, 0, 50), PI, kG, 0.2, &pitch, &bank);  // facing south, backwards, hard: nose up to the limit
    EXPECT_DOUBLE_EQ(pitch, 0.2);
}

TEST(PilotLaws, SticksAndRudderTurnTowardTheWantedAttitude)
{
    const law::Gains k;
    EXPECT_NEAR(law::ElevatorFor(0.1, 0, k) * k.stick_rate, k.attitude * 0.1, 1e-12);  // nose-up rate
    EXPECT_LT(law::ElevatorFor(-0.1, 0, k), 0);
    EXPECT_GT(law::AileronFor(-0.1, 0, k), 0);  // right wing down wanted: roll right
    EXPECT_LT(law::AileronFor(0.1, 0, k), 0);
    EXPECT_DOUBLE_EQ(law::ElevatorFor(2, 0, k), 1);
    EXPECT_DOUBLE_EQ(law::AileronFor(2, 0, k), -1);
    EXPECT_LT(law::RudderFor(350 * RAD, 10 * RAD, k), 0);  // left, through north
    EXPECT_GT(law::RudderFor(10 * RAD, 350 * RAD, k), 0);
    EXPECT_DOUBLE_EQ(law::RudderFor(90 * RAD, 0, k), k.max_rudder);
    const double pi = std::acos(-1.0);
    EXPECT_DOUBLE_EQ(law::HeadingError(-pi, 0), pi);  // folded into (-pi, pi]
}

TEST(PilotLaws, WantedVelocityMovesWithTheCapsuleAndLimitsTheClosing)
{
    const VECTOR3 carrier = _V(3, 0, -4);
    VECTOR3 v = law::WantedVelocity(_V(8, 0, 0), carrier, 0.25, 10);
    EXPECT_NEAR(v.x, 5, 1e-12);
    EXPECT_NEAR(v.z, -4, 1e-12);
    v = law::WantedVelocity(_V(0, 0, 4000), carrier, 0.25, 40);
    EXPECT_NEAR(v.z, 36, 1e-12);
    const VECTOR3 a = law::WantedAcceleration(_V(40, 0, 0), _V(0, 0, 30), 0.5, 2);
    EXPECT_NEAR(std::hypot(a.x, a.z), 2, 1e-12);
    EXPECT_NEAR(std::atan2(a.x, -a.z), std::atan2(40.0, 30.0), 1e-12);  // still toward the wanted velocity
}

TEST(PilotLaws, CollectiveFindsTheHoverTrimAndTiltGivesWayAtItsStop)
{
    // A rotor lifting 1.65 g at full collective: the trim settles where it balances the weight.
    const law::Gains k;
    law::Collective c;
    const double lift_per_level = 1.65 * kG, dt = 0.02;
    double vz = 0, h = 0;
    for (int i = 0; i < 6000; ++i) {
        const double level = c.Level(law::WantedClimb(100 - h, 0, 6, 8, k), vz, 1, dt, k);
        vz += (lift_per_level * level - kG) * dt;
        h += vz * dt;
    }
    EXPECT_NEAR(h, 100, 0.5);
    EXPECT_NEAR(c.trim, 1 / 1.65, 0.01);
    EXPECT_DOUBLE_EQ(law::WantedClimb(1000, 0, 6, 8, k), 8);
    EXPECT_DOUBLE_EQ(law::WantedClimb(-1000, -3, 6, 8, k), -6);
    EXPECT_DOUBLE_EQ(law::TiltAllowance(0.9, 20), 1);  // collective in hand: tilt as usual
    EXPECT_DOUBLE_EQ(law::TiltAllowance(1, 2), 1);
    EXPECT_DOUBLE_EQ(law::TiltAllowance(1, 5), 0.5);
    EXPECT_DOUBLE_EQ(law::TiltAllowance(1, 50), 0.25);
}

// --- runs -----------------------------------------------------------------------------------

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
    EXPECT_LT(capsule, 150);
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
