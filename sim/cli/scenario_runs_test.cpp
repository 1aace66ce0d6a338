// scenario_runs_test.cpp -- the add-on's own scenarios flown by corvane-sim with physics, from the
// build's add-on tree: what the timeline shows, what the final scenario holds, and that a run
// is repeatable to the byte.
#include "testing/harness_test.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <sstream>

using simtest::ReadFile;

namespace {

class ScenarioRun : public simtest::HarnessTest {
protected:
    int Fly(const std::string &name, const std::string &out, std::vector<std::string> more = {})
    {
        more.insert(more.begin(), name);
        return HarnessTest::Fly(more, out);
    }
};

}  // namespace

TEST_F(ScenarioRun, DescentFromEntryToTheGround)
{
    ASSERT_EQ(Fly("Corvane/Descent", "out"), 0) << errors;
    const double heli = When("created HX220 (hx220)"), handoff = When("created Corvane_SRC_Parafoil"),
                 pf_down = When("landed Corvane_SRC_Parafoil"), drogue_down = When("landed Corvane_SRC ");
    EXPECT_GT(When("created Heliport (CorvaneMission/heliport)"), 0) << timeline;
    EXPECT_GT(heli, 100);
    EXPECT_GT(handoff, heli);
    EXPECT_GT(pf_down, handoff);
    EXPECT_GT(drogue_down, handoff);
    EXPECT_GT(When("focus HX220"), 0);
    EXPECT_LT(When("Chute Failure!"), 0);
    const std::string scn = ReadFile("out/final.scn");
    const std::string capsule = Block(scn, "Corvane_SRC"), pf = Block(scn, "Corvane_SRC_Parafoil");
    EXPECT_NE(capsule.find("CONFIGURATION 2 1"), std::string::npos) << capsule;
    EXPECT_NE(capsule.find("COL 1 1.0000"), std::string::npos) << capsule;  // collapsed on the ground
    EXPECT_NE(capsule.find("STATUS Landed"), std::string::npos);
    EXPECT_NE(pf.find("CONFIGURATION 2"), std::string::npos) << pf;       // the landed mesh
    EXPECT_NE(pf.find("COL 0 0.0000"), std::string::npos) << pf;          // canopy open
    EXPECT_NE(pf.find("STATUS Landed"), std::string::npos);
    EXPECT_NE(ReadFile("out/summary.txt").find("touchdown"), std::string::npos);
}

TEST_F(ScenarioRun, DescentAtWarp10KeepsItsSequence)
{
    // A pilot warps long coasts: every step is the frame time (1/60 s) times 10, so the capsule's
    // altitude triggers are met with steps of 0.17 s. The sequence stays the same: call-up,
    // hand-off, both down, the capsule collapsed on the ground and the parafoil landed.
    ASSERT_EQ(Fly("Corvane/Descent", "warp10", {"--warp", "10"}), 0) << errors;
    const double heli = When("created HX220 (hx220)"), handoff = When("created Corvane_SRC_Parafoil"),
                 pf_down = When("landed Corvane_SRC_Parafoil"), drogue_down = When("landed Corvane_SRC ");
    EXPECT_GT(heli, 100) << timeline;
    EXPECT_GT(handoff, heli);
    EXPECT_GT(pf_down, handoff);
    EXPECT_GT(drogue_down, handoff);
    EXPECT_LT(When("Chute Failure!"), 0);
    const std::string scn = ReadFile("warp10/final.scn");
    const std::string capsule = Block(scn, "Corvane_SRC"), pf = Block(scn, "Corvane_SRC_Parafoil");
    EXPECT_NE(capsule.find("CONFIGURATION 2 1"), std::string::npos) << capsule;
    EXPECT_NE(capsule.find("COL 1 1.0000"), std::string::npos) << capsule;
    EXPECT_NE(capsule.find("STATUS Landed"), std::string::npos);
    EXPECT_NE(pf.find("STATUS Landed"), std::string::npos) << pf;
    EXPECT_NE(pf.find("COL 0 0.0000"), std::string::npos) << pf;
}

TEST_F(ScenarioRun, DescentAtWarp100ThrowsTheCapsulesOutOfTheAirAsTheCoreDoes)
{
    // At 1.7 s steps the host's integration of the drag it holds over each step diverges: measured
    // in the core (the probe flight "Drop warp 100"), the capsule under its drogue and then the
    // parafoil capsule are thrown out of the air at some 5e8 m/s and never land. The call-up and
    // the hand-off still come in their order.
    ASSERT_EQ(Fly("Corvane/Descent", "warp100", {"--warp", "100"}), 0) << errors;
    const double heli = When("created HX220 (hx220)"), handoff = When("created Corvane_SRC_Parafoil");
    EXPECT_GT(heli, 100) << timeline;
    EXPECT_GT(handoff, heli);
    EXPECT_LT(When("landed Corvane_SRC_Parafoil"), 0) << timeline;
    EXPECT_LT(When("landed Corvane_SRC "), 0) << timeline;
    const std::string capsule = Block(ReadFile("warp100/final.scn"), "Corvane_SRC");
    const std::size_t at = capsule.find("RVEL ");
    ASSERT_NE(at, std::string::npos) << capsule;
    double vx = 0, vy = 0, vz = 0;
    ASSERT_EQ(std::sscanf(capsule.c_str() + at, "RVEL %lf %lf %lf", &vx, &vy, &vz), 3);
    EXPECT_GT(std::sqrt(vx * vx + vy * vy + vz * vz), 1e7);
}

TEST_F(ScenarioRun, ChuteFailureFallsAndCrashes)
{
    ASSERT_EQ(Fly("Corvane/Chute failure", "out"), 0) << errors;
    const double shown = When("note shown: \"Chute Failure!\""), removed = When("note removed: \"Chute Failure!\"");
    ASSERT_GT(shown, 0) << timeline;
    EXPECT_NEAR(removed - shown, 5.0, 0.05);
    EXPECT_GT(When("created HX220"), shown);           // the helicopter is still called
    EXPECT_GT(When("landed Corvane_SRC"), When("created HX220"));
    EXPECT_LT(When("created Corvane_SRC_Parafoil"), 0);  // no hand-off
    const std::string capsule = Block(ReadFile("out/final.scn"), "Corvane_SRC");
    EXPECT_NE(capsule.find("CONFIGURATION 4 1"), std::string::npos) << capsule;  // crashed
}

TEST_F(ScenarioRun, L1ApproachDrawsEachPageWithTheTrack)
{
    ASSERT_EQ(Fly("Corvane/L1 approach", "out"), 0) << errors;
    for (const char *page : {"l1-ecliptic-projection", "l1-ecliptic-plane", "l1-sun-line", "l1-readouts"}) {
        const std::string png = ReadFile(std::string("out/") + page + ".png");
        ASSERT_GT(png.size(), 100u) << page;
        EXPECT_EQ(png.substr(1, 3), "PNG");
    }
    // Thirty samples over sixty days: the track is a polyline of that many points.
    const std::string listing = ReadFile("out/l1-ecliptic-projection.png.txt");
    std::istringstream in(listing);
    std::string line;
    int track = 0;
    while (std::getline(in, line)) track += line.rfind("line ", 0) == 0 && line.find("#33ff33") != std::string::npos;
    EXPECT_GE(track, 29) << listing;
    EXPECT_NE(ReadFile("out/l1-readouts.png.txt").find("Sun-Earth-Spacecraft Angle"), std::string::npos);
}

TEST_F(ScenarioRun, SameScenarioInputsAndSeedGiveByteIdenticalOutputs)
{
    ASSERT_EQ(Fly("Corvane/Descent", "a", {"--until", "500"}), 0) << errors;
    ASSERT_EQ(Fly("Corvane/Descent", "b", {"--until", "500"}), 0) << errors;
    for (const char *f : {"timeline.txt", "final.scn", "trajectory.csv", "summary.txt"})
        EXPECT_EQ(ReadFile(std::string("a/") + f), ReadFile(std::string("b/") + f)) << f;

    // The pictures too: the catch with its virtual pilot writes head-up display snapshots. Each run
    // is made from a folder of its own, so that the paths in the timelines are the same.
    namespace fs = std::filesystem;
    const fs::path home = fs::current_path();
    for (const char *dir : {"c", "d"}) {
        fs::create_directories(dir);
        fs::current_path(home / dir);
        const int rc = Fly("Corvane/Catch", "out");
        fs::current_path(home);
        ASSERT_EQ(rc, 0) << errors;
    }
    int files = 0, pictures = 0;
    for (const auto &e : fs::directory_iterator("c/out")) {
        const std::string name = e.path().filename().string();
        ++files;
        pictures += e.path().extension() == ".png";
        EXPECT_EQ(ReadFile("c/out/" + name), ReadFile("d/out/" + name)) << name;
    }
    EXPECT_GE(pictures, 2);
    EXPECT_EQ(files, static_cast<int>(std::distance(fs::directory_iterator("d/out"), {})));
}

// The warp input line is read by the harness (its test: harness/inputs_test.cpp).
TEST(WarpInput, OptionIsCheckedAndHelpSaysWhatWarpDoes)
{
    std::ostringstream out, err;
    EXPECT_EQ(sim::RunCli({"--help"}, out, err), 0);
    EXPECT_NE(out.str().find("--warp F"), std::string::npos);
    EXPECT_NE(out.str().find("frames stay frames"), std::string::npos);
    for (const char *bad : {"0", "0.05", "200000", "x"}) {
        std::ostringstream o, e;
        EXPECT_EQ(sim::RunCli({"run", "none.scn", "--warp", bad}, o, e), 2) << bad;
        EXPECT_NE(e.str().find("--warp needs"), std::string::npos) << bad;
    }
}
