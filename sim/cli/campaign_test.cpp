// campaign_test.cpp -- the recovery campaign: its file, the dispersions as each mission applies them,
// the reading of a mission's summary and the percentiles, and a small campaign flown whole (three
// catches), the same seed giving the same report and pictures and another seed another report.
#include "campaign.h"
#include "cli.h"
#include "testing/sim_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool Parse(const std::string &text, sim::Campaign *c, std::string *error)
{
    return sim::ParseCampaign(text, "c.campaign", "/d", c, error);
}

const char *kScenario =
    "BEGIN_SHIPS\n"
    "Bus:bus\n  STATUS Orbiting Earth\n  RPOS 6500000.00 0.00 0.00\n  RVEL 0.0000 0.0000 8000.0000\nEND\n"
    "Port:port\n  STATUS Landed Earth\n  POS 1 2\nEND\n"
    "END_SHIPS\n";
const char *kInputs = "0 pilot recovery HX220\n1 key Bus G  # the panels\n49 key Bus J\n3000 end\n";

}  // namespace

TEST(CampaignFile, NamesAScenarioATimeLimitAndDispersionsWithTheirSpreads)
{
    sim::Campaign c;
    std::string error;
    ASSERT_TRUE(Parse("# a campaign\nscenario My Mission.scn\ntime-limit 90\n"
                      "path-angle Bus normal 0 0.03\ninput-time key Bus J uniform 0 5  # late\npilot-start uniform 1 30\n",
                      &c, &error))
        << error;
    EXPECT_EQ(c.scenario, "/d/My Mission.scn");  // beside the file, blanks kept
    EXPECT_EQ(c.inputs, "");
    EXPECT_DOUBLE_EQ(c.time_limit, 90);
    ASSERT_EQ(c.dispersions.size(), 3u);
    EXPECT_EQ(c.dispersions[1].target, (std::vector<std::string>{"key", "Bus", "J"}));
    EXPECT_FALSE(c.dispersions[1].normal);
    EXPECT_DOUBLE_EQ(c.dispersions[1].b, 5);
    EXPECT_EQ(c.dispersions[1].line, 5);

    auto refusal = [](const std::string &text) {
        sim::Campaign c;
        std::string e;
        return Parse(text, &c, &e) ? std::string() : e;
    };
    EXPECT_EQ(refusal("time-limit 1\n"), "c.campaign:0: no scenario line");
    EXPECT_EQ(refusal("scenario a.scn\nwind normal 0 1\n"), "c.campaign:2: unknown line \"wind\"");
    EXPECT_EQ(refusal("scenario a.scn\nspeed normal 0 1\n"),
              "c.campaign:2: expected: speed <vessel> normal <mean> <sigma> | uniform <low> <high>");
    EXPECT_EQ(refusal("scenario a.scn\npilot-hold X normal 0 1\n"),
              "c.campaign:2: expected: pilot-hold normal <mean> <sigma> | uniform <low> <high>");
    EXPECT_EQ(refusal("scenario a.scn\nspeed Bus normal 0 -1\n"), "c.campaign:2: a sigma cannot be negative");
    EXPECT_EQ(refusal("scenario a.scn\nspeed Bus uniform 2 1\n"),
              "c.campaign:2: the high end of a uniform spread is below its low end");
    EXPECT_EQ(refusal("scenario a.scn\nspeed Bus normal 0 nan\n"),
              "c.campaign:2: expected: speed <vessel> normal <mean> <sigma> | uniform <low> <high>");
    EXPECT_EQ(refusal("scenario a.scn\ntime-limit 0\n"), "c.campaign:2: expected: time-limit <seconds of wall time, up to a day>");
}

TEST(CampaignDraws, SeedsDifferByMissionAndCampaignAndTheDrawsHaveTheirLaws)
{
    EXPECT_NE(sim::MissionSeed(7, 1), sim::MissionSeed(7, 2));
    EXPECT_NE(sim::MissionSeed(7, 1), sim::MissionSeed(8, 1));
    EXPECT_EQ(sim::MissionSeed(7, 3), sim::MissionSeed(7, 3));
    // Over n draws the mean of a uniform draw is 1/2 within 4 standard errors (1/sqrt(12 n)), its
    // variance 1/12; a normal draw's mean is 0 within 4/sqrt(n), its variance 1 within 4 sqrt(2/n).
    constexpr int n = 20000;
    sim::Draws d(12345);
    double su = 0, su2 = 0, sn = 0, sn2 = 0;
    for (int i = 0; i < n; ++i) {
        const double u = d.Uniform(), g = d.Normal();
        ASSERT_GE(u, 0);
        ASSERT_LT(u, 1);
        su += u, su2 += u * u, sn += g, sn2 += g * g;
    }
    EXPECT_NEAR(su / n, 0.5, 4 / std::sqrt(12.0 * n));
    EXPECT_NEAR(su2 / n - (su / n) * (su / n), 1 / 12.0, 0.002);
    EXPECT_NEAR(sn / n, 0, 4 / std::sqrt(double(n)));
    EXPECT_NEAR(sn2 / n, 1, 4 * std::sqrt(2.0 / n));
}

TEST(CampaignDraws, PercentilesByNearestRank)
{
    // The p % value is the ceil(p/100 n)-th smallest: of 1..10 the 5 % value is the 1st (0.5 up to
    // 1), the median the 5th, the 95 % value the 10th (9.5 up to 10); of 1..20 the 19th is 95 %.
    std::vector<double> ten, twenty;
    for (int i = 1; i <= 10; ++i) ten.push_back(i);
    for (int i = 1; i <= 20; ++i) twenty.push_back(i);
    EXPECT_EQ(sim::Percentile(ten, 5), 1);
    EXPECT_EQ(sim::Percentile(ten, 50), 5);
    EXPECT_EQ(sim::Percentile(ten, 95), 10);
    EXPECT_EQ(sim::Percentile(twenty, 5), 1);
    EXPECT_EQ(sim::Percentile(twenty, 50), 10);
    EXPECT_EQ(sim::Percentile(twenty, 95), 19);
    EXPECT_EQ(sim::Percentile({4.0}, 95), 4);
}

TEST(CampaignDispersions, TheVelocityTurnsUpAndAcrossAndGrowsAsDrawn)
{
    // 6500 km out along x, 8 km/s along z: level flight. In the host's left-handed frame, with up
    // along +x and the track along +z, the right hand lies along -y (the frame's z = x "cross" y).
    const double r[3] = {6500000, 0, 0};
    double v[3] = {0, 0, 8000};
    sim::DisperseVelocity(r, v, 1 * M_PI / 180, 0, 0);  // 1 degree up
    EXPECT_NEAR(v[0], 8000 * std::sin(M_PI / 180), 1e-9);
    EXPECT_NEAR(v[2], 8000 * std::cos(M_PI / 180), 1e-9);
    double w[3] = {0, 0, 8000};
    sim::DisperseVelocity(r, w, 0, M_PI / 2, 10);  // a quarter turn to the right, 10 m/s faster
    EXPECT_NEAR(w[0], 0, 1e-9);
    EXPECT_NEAR(w[1], -8010, 1e-9);
    EXPECT_NEAR(w[2], 0, 1e-9);
    // Descending 10 degrees, raised by 3: descending 7, the speed kept.
    double d[3] = {-8000 * std::sin(10 * M_PI / 180), 0, 8000 * std::cos(10 * M_PI / 180)};
    sim::DisperseVelocity(r, d, 3 * M_PI / 180, 0, 0);
    EXPECT_NEAR(std::atan2(d[0], std::hypot(d[1], d[2])) * 180 / M_PI, -7, 1e-9);
    EXPECT_NEAR(std::hypot(d[0], std::hypot(d[1], d[2])), 8000, 1e-6);
}

TEST(CampaignDispersions, AMissionMovesTheReleasePlacesTheHelicopterAndSetsThePilot)
{
    // Spreads of no width give their values: the release 2.5 s late, the helicopter 300 m north and
    // 40 m west turned 90 degrees, the pilot 12 s in the seat, the bus 1 degree up and 5 m/s faster.
    sim::Campaign c;
    std::string error;
    ASSERT_TRUE(Parse("scenario a.scn\ninput-time key Bus J uniform 2.5 2.5\nplace-north HX220 normal 300 0\n"
                      "place-east HX220 uniform -40 -40\nplace-turn HX220 normal 90 0\npilot-start normal 12 0\n"
                      "path-angle Bus normal 1 0\nspeed Bus normal 5 0\n",
                      &c, &error))
        << error;
    sim::Mission m;
    ASSERT_TRUE(sim::MakeMission(c, kScenario, kInputs, 7, 4, &m, &error)) << error;
    EXPECT_EQ(m.index, 4);
    EXPECT_EQ(m.seed, sim::MissionSeed(7, 4));
    EXPECT_NE(m.inputs.find("\n0.000 pilot recovery HX220 start=12.000\n"), std::string::npos) << m.inputs;
    EXPECT_NE(m.inputs.find("\n1 key Bus G  # the panels\n"), std::string::npos) << m.inputs;  // untouched
    EXPECT_NE(m.inputs.find("\n51.500 key Bus J\n"), std::string::npos) << m.inputs;
    EXPECT_NE(m.inputs.find("\n0 place HX220 300.000 -40.000 90.000\n"), std::string::npos) << m.inputs;
    // 8005 m/s at 1 degree up: 8005 sin 1 deg = 139.7065 m/s outwards, 8005 cos 1 deg = 8003.7808 along.
    EXPECT_NE(m.scenario.find("  RVEL 139.7065 0.0000 8003.7808\n"), std::string::npos) << m.scenario;
    EXPECT_NE(m.scenario.find("Port:port\n  STATUS Landed Earth\n  POS 1 2\nEND\n"), std::string::npos);
    ASSERT_EQ(m.drawn.size(), 7u);
    EXPECT_EQ(m.drawn[0], "input-time key Bus J uniform 2.5 2.5 -> 2.5000 s");

    // A reaction time out of the pilot's range is held at its end.
    ASSERT_TRUE(Parse("scenario a.scn\npilot-hold normal -5 0\n", &c, &error));
    ASSERT_TRUE(sim::MakeMission(c, kScenario, kInputs, 7, 1, &m, &error)) << error;
    EXPECT_NE(m.inputs.find("recovery HX220 hold=0.000\n"), std::string::npos) << m.inputs;

    // Dispersions that find nothing to act on stop the campaign before it flies.
    for (const auto &bad : std::vector<std::pair<std::string, std::string>>{
             {"speed Port normal 0 1", "the scenario has no vessel Port in flight (RPOS and RVEL lines) to disperse"},
             {"speed Nobody normal 0 1", "the scenario has no vessel Nobody in flight (RPOS and RVEL lines) to disperse"},
             {"input-time key Bus K normal 0 1", "the inputs have no line \"key Bus K\" to move"}}) {
        ASSERT_TRUE(Parse("scenario a.scn\n" + bad.first + "\n", &c, &error));
        EXPECT_FALSE(sim::MakeMission(c, kScenario, kInputs, 7, 1, &m, &error)) << bad.first;
        EXPECT_EQ(error, bad.second);
    }
    ASSERT_TRUE(Parse("scenario a.scn\npilot-start normal 1 0\n", &c, &error));
    EXPECT_FALSE(sim::MakeMission(c, kScenario, "49 key Bus J\n", 7, 1, &m, &error));
    EXPECT_EQ(error, "the inputs have no \"pilot recovery\" line for the pilot's reaction times");
}

TEST(CampaignDispersions, ASummaryGivesTheCatchTheApproachAndTheLandings)
{
    const std::string summary =
        "scenario x\n\nevents:\n  1613.21  attached Corvane_SRC_Parafoil to HX220\n\n"
        "recovery pilot of HX220:\n"
        "    1500.00  closest approach before the catch: 6.5 m horizontally, 16.6 m above the capsule\n"
        "    1613.21  capsule caught (head-up display: delta LON : 0.1)\n"
        "    2609.16  capsule landed 188 m from the heliport (-120.5 m east, 144.7 m north)\n"
        "    2653.66  helicopter landed 9 m from the heliport (3.0 m east, -8.5 m north)\n";
    const sim::MissionResult r = sim::ReadSummary(3, summary);
    EXPECT_EQ(r.index, 3);
    EXPECT_DOUBLE_EQ(r.catch_time, 1613.21);
    EXPECT_DOUBLE_EQ(r.approach, 6.5);
    EXPECT_DOUBLE_EQ(r.capsule_distance, 188);
    EXPECT_DOUBLE_EQ(r.capsule_east, -120.5);
    EXPECT_DOUBLE_EQ(r.capsule_north, 144.7);
    EXPECT_DOUBLE_EQ(r.heli_distance, 9);
    EXPECT_DOUBLE_EQ(r.heli_north, -8.5);
    const sim::MissionResult none = sim::ReadSummary(1, "recovery pilot of HX220:\n  the capsule landed before it was caught\n");
    EXPECT_LT(none.catch_time, 0);
    EXPECT_LT(none.capsule_distance, 0);
    EXPECT_EQ(none.missed, "the capsule landed before it was caught");
}

// --- a campaign flown -----------------------------------------------------------------------------

class CampaignRun : public simtest::SimTest {
protected:
    // Three catches with the capsule's glide and the pilot dispersed.
    void SetUp() override
    {
        SimTest::SetUp();
        file = temp_dir + "/catch.campaign";
        simtest::WriteFile(file, "scenario " + simtest::AddonRoot() + "/Scenarios/Corvane/Catch.scn\n"
                                 "time-limit 600\n"
                                 "speed Corvane_SRC_Parafoil normal 0 0.5\n"
                                 "track Corvane_SRC_Parafoil normal 0 10\n"
                                 "pilot-hold uniform 2 4\n"
                                 "pilot-handover uniform 0.5 2\n");
    }
    int Campaign(std::vector<std::string> args)
    {
        out.str("");
        err.str("");
        args.insert(args.begin(), {"campaign", file});
        args.insert(args.end(), {"--root", simtest::AddonRoot()});
        return sim::RunCli(args, out, err);
    }
    std::string file;
    std::ostringstream out, err;
};

TEST_F(CampaignRun, ThreeCatchesGiveAReportThatTheSameSeedRepeatsAndAnotherSeedChanges)
{
    const std::string a = temp_dir + "/a", b = temp_dir + "/b", c = temp_dir + "/c";
    ASSERT_EQ(Campaign({"--runs", "3", "--seed", "7", "--jobs", "2", "--out", a}), 0) << err.str();
    const std::string report = Slurp(a + "/report.txt");
    EXPECT_NE(report.find("recovery campaign: 3 missions, seed 7\n"), std::string::npos) << report;
    EXPECT_NE(report.find("missions flown: 3, of which failed runs (crashed, stopped or over the time limit of 600 s): 0\n"),
              std::string::npos)
        << report;
    // The Catch is flown to a catch whatever these small spreads draw.
    EXPECT_NE(report.find("catch: 3 of 3 missions (100.0 %)\n"), std::string::npos) << report;
    const std::regex row("\n  (catch time \\[s\\]|closest approach \\[m\\]|capsule from the heliport \\[m\\]|"
                         "helicopter from the heliport \\[m\\]) +3 +[0-9.]+ +[0-9.]+ +[0-9.]+ +[0-9.]+(?=\n)");
    EXPECT_EQ(std::distance(std::sregex_iterator(report.begin(), report.end(), row), std::sregex_iterator()), 4) << report;
    EXPECT_NE(report.find("percentiles by nearest rank"), std::string::npos);
    const std::regex replay("\n    corvane-sim campaign " + file + " --seed 7 --replay [123] --root \\S+ --out replay-[123](?=\n)");
    EXPECT_EQ(std::distance(std::sregex_iterator(report.begin(), report.end(), replay), std::sregex_iterator()), 3) << report;
    for (const char *p : {"/landings.png", "/catch-times.png", "/missions/0001/mission.scn", "/missions/0003/summary.txt"})
        EXPECT_TRUE(fs::exists(a + p)) << p;
    EXPECT_EQ(Slurp(a + "/landings.png").substr(1, 3), "PNG");

    // The same seed, one job at a time: the same bytes; another seed: another report.
    ASSERT_EQ(Campaign({"--runs", "3", "--seed", "7", "--jobs", "1", "--out", b}), 0) << err.str();
    for (const char *p : {"/report.txt", "/landings.png", "/catch-times.png"}) EXPECT_EQ(Slurp(a + p), Slurp(b + p)) << p;
    ASSERT_EQ(Campaign({"--runs", "3", "--seed", "8", "--out", c}), 0) << err.str();
    EXPECT_NE(Slurp(c + "/report.txt"), report);
    EXPECT_NE(Slurp(c + "/landings.png"), Slurp(a + "/landings.png"));

    // The replay command flies the same mission again, with all of a run's outputs.
    ASSERT_EQ(Campaign({"--seed", "7", "--replay", "2", "--out", temp_dir + "/replay-2"}), 0) << err.str();
    const std::string flown = Slurp(a + "/missions/0002/summary.txt"), again = Slurp(temp_dir + "/replay-2/summary.txt");
    const auto pilot = [](const std::string &s) { return s.substr(s.find("recovery pilot of")); };
    ASSERT_NE(flown.find("recovery pilot of"), std::string::npos) << flown;
    ASSERT_NE(again.find("recovery pilot of"), std::string::npos) << again;
    EXPECT_EQ(pilot(again), pilot(flown));
    EXPECT_TRUE(fs::exists(temp_dir + "/replay-2/trajectory.csv"));
}

TEST_F(CampaignRun, AMissionOverItsTimeLimitIsAFailedMissionNotAFailedCampaign)
{
    simtest::WriteFile(file, "scenario " + simtest::AddonRoot() + "/Scenarios/Corvane/Catch.scn\ntime-limit 0.05\n");
    ASSERT_EQ(Campaign({"--runs", "2", "--seed", "1", "--out", temp_dir + "/x"}), 0) << err.str();
    const std::string report = Slurp(temp_dir + "/x/report.txt");
    EXPECT_NE(report.find("failed runs (crashed, stopped or over the time limit of 0.05 s): 2\n"), std::string::npos) << report;
    EXPECT_NE(report.find("catch: 0 of 2 missions (0.0 %)\n"), std::string::npos) << report;
    EXPECT_NE(report.find("  mission 1: run failed: stopped at the time limit of 0.05 s\n"), std::string::npos) << report;
    EXPECT_TRUE(fs::exists(temp_dir + "/x/catch-times.png"));
}

TEST_F(CampaignRun, UsageAndFileErrors)
{
    EXPECT_EQ(Campaign({}), 2);  // neither --runs nor --replay
    EXPECT_EQ(Campaign({"--runs", "0"}), 2);
    EXPECT_EQ(Campaign({"--runs", "3", "--jobs", "x"}), 2);
    EXPECT_EQ(Campaign({"--runs", "3", "--seed", "-1"}), 2);
    simtest::WriteFile(file, "scenario nowhere.scn\n");
    EXPECT_EQ(Campaign({"--runs", "1", "--out", temp_dir + "/y"}), 1);
    EXPECT_NE(err.str().find("nowhere.scn"), std::string::npos) << err.str();
}
