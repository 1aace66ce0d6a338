// cli_test.cpp -- corvane-sim's command line: usage, bad files, timed inputs and the timeline.
#include "cli.h"
#include "testing/sim_test.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;
using simtest::SimTest;
using simtest::WriteFile;

namespace {

class CliTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        // A root of the test's own, with the build's modules.
        fs::create_directories(temp_dir + "/root");
        fs::create_symlink(simtest::TestModulesDir(), temp_dir + "/root/Modules");
        WriteFile(temp_dir + "/root/Config/Vessels/simtest.cfg", "Module = sim_test_vessel\n");
        WriteFile(temp_dir + "/root/Config/plain.cfg", "Size = 1\n");
        WriteFile(temp_dir + "/root/Config/broken.cfg", "Module = no_such_module\n");
    }
    int Run(std::vector<std::string> args)
    {
        out.str("");
        err.str("");
        args.push_back("--root");
        args.push_back(temp_dir + "/root");
        return sim::RunCli(args, out, err);
    }
    std::ostringstream out, err;
};

const char *kScn =
    "BEGIN_SHIPS\nA:simtest\n  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 7700\nEND\n"
    "B:plain\n  STATUS Landed Earth\n  POS 1 2\n  HEADING 0\nEND\nEND_SHIPS\n";

}  // namespace

TEST_F(CliTest, UsageErrorsGiveStatusTwo)
{
    EXPECT_EQ(sim::RunCli({}, out, err), 2);
    EXPECT_EQ(sim::RunCli({"fly"}, out, err), 2);
    EXPECT_EQ(Run({"run"}), 2);
    EXPECT_EQ(Run({"run", "x.scn", "--dt", "abc"}), 2);
    EXPECT_EQ(Run({"run", "x.scn", "--dt", "0"}), 2);
    EXPECT_EQ(Run({"run", "x.scn", "--until"}), 2);
    EXPECT_EQ(Run({"run", "x.scn", "--seed", "-3"}), 2);
    EXPECT_EQ(Run({"run", "x.scn", "--frobnicate"}), 2);
    EXPECT_EQ(sim::RunCli({"--help"}, out, err), 0);
    EXPECT_NE(out.str().find("corvane-sim run SCENARIO"), std::string::npos);
}

TEST_F(CliTest, UnreadableOrMalformedFilesGiveStatusOneNamingFileAndLine)
{
    EXPECT_EQ(Run({"run", "missing.scn"}), 1);
    EXPECT_NE(err.str().find("missing.scn"), std::string::npos);
    WriteFile("bad.scn", "BEGIN_SHIPS\nA:plain\n  STATUS Orbiting Earth\n");
    EXPECT_EQ(Run({"run", "bad.scn"}), 1);
    EXPECT_NE(err.str().find("bad.scn:"), std::string::npos) << err.str();
    WriteFile("good.scn", kScn);
    WriteFile("bad.inputs", "1 key A K\n2 jump A\n");
    EXPECT_EQ(Run({"run", "good.scn", "--inputs", "bad.inputs"}), 1);
    EXPECT_NE(err.str().find("bad.inputs:2"), std::string::npos) << err.str();
    WriteFile("bad2.inputs", "x key A K\n");
    EXPECT_EQ(Run({"run", "good.scn", "--inputs", "bad2.inputs"}), 1);
    EXPECT_NE(err.str().find("bad2.inputs:1"), std::string::npos) << err.str();
    EXPECT_EQ(Run({"run", "good.scn", "--inputs", "nothere.inputs"}), 1);
}

TEST_F(CliTest, MissingClassOrModuleIsReportedAndTheRunGoesOn)
{
    WriteFile("mixed.scn",
              "BEGIN_SHIPS\nX:nosuch\nEND\nY:broken\nEND\nB:plain\n  STATUS Landed Earth\n  POS 1 2\nEND\nEND_SHIPS\n");
    EXPECT_EQ(Run({"run", "mixed.scn", "--until", "0.1"}), 0) << err.str();
    const std::string log = simtest::ReadFile("Orbiter.log");
    EXPECT_NE(log.find("Config/Vessels/nosuch.cfg"), std::string::npos) << log;
    EXPECT_NE(log.find("no_such_module.so not found"), std::string::npos) << log;
    EXPECT_NE(out.str().find("created B (plain)"), std::string::npos) << out.str();

    // The timeline tells the user too, with the paths looked in; a module file without the vessel
    // entry points is refused the same way.
    WriteFile(temp_dir + "/root/Config/noentry.cfg", "Module = Plugin/sim_test_plugin\n");
    WriteFile("noentry.scn", "BEGIN_SHIPS\nX:nosuch\nEND\nZ:noentry\nEND\nEND_SHIPS\n");
    EXPECT_EQ(Run({"run", "noentry.scn", "--until", "0.1"}), 0) << err.str();
    const std::string t = out.str();
    EXPECT_NE(t.find("not created X: vessel class \"nosuch\" not found (looked in: " + temp_dir +
                     "/root/Config/Vessels/nosuch.cfg " + temp_dir + "/root/Config/nosuch.cfg)"),
              std::string::npos) << t;
    EXPECT_NE(t.find("not created Z: module " + temp_dir + "/root/Modules/Plugin/sim_test_plugin.so has no entry point ovcInit"),
              std::string::npos) << t;
    EXPECT_EQ(t.find("  created X"), std::string::npos) << t;
    EXPECT_EQ(t.find("  created Z"), std::string::npos) << t;
}

TEST_F(CliTest, TimedInputsActAtTheFirstFrameAtOrAfterTheirTime)
{
    WriteFile("good.scn", kScn);
    // The test vessel creates "Child" in the pre-step after K; the inputs file beside the
    // scenario is used when none is given.
    WriteFile("good.inputs",
              "# a comment\n0.05 key A K\n0.15 key A shift+K\n0.2 mfd left open Test Mode\n"
              "0.25 mfd left key V  # the display's next page\n0.3 focus B\n0.5 save mid.scn\n1 end\n");
    ASSERT_EQ(Run({"run", "good.scn", "--dt", "0.1", "--out", "out"}), 0) << err.str();
    const std::string t = out.str();
    EXPECT_NE(t.find("     0.10  created Child (simtest)"), std::string::npos) << t;
    EXPECT_NE(t.find("     0.20  key shift+K on A not taken"), std::string::npos) << t;  // Shift held
    EXPECT_NE(t.find("     0.30  focus B"), std::string::npos) << t;
    EXPECT_NE(simtest::ReadFile("out/mid.scn").find("BEGIN_MFD Left\n  TYPE User\n  MODE Test Mode\n  PAGE 1\n"),
              std::string::npos)
        << simtest::ReadFile("out/mid.scn");
    EXPECT_NE(t.find("     1.00  end of run"), std::string::npos) << t;
    EXPECT_TRUE(fs::exists("out/mid.scn"));
    EXPECT_TRUE(fs::exists("out/final.scn"));
    EXPECT_NE(simtest::ReadFile("out/trajectory.csv").find("time,vessel,altitude"), std::string::npos);
    EXPECT_NE(simtest::ReadFile("out/timeline.txt").find("created Child"), std::string::npos);
}

TEST_F(CliTest, PlaceSetsALandedVesselDownElsewhereAndWaitsForAVesselNotYetMade)
{
    WriteFile("good.scn", kScn);
    // B stands at 1 deg east, 2 deg north, nose north. 1000 m north on the Earth's 6371.01 km are
    // 0.0089932 deg of latitude; 500 m west there 0.0044993 deg of longitude (over cos 2 deg).
    // Child, made by A in the frame of 0.1 s after K, is in flight at the next frame, the first to
    // see it: it is not moved, and said so.
    WriteFile("place.inputs", "0 place B 1000 -500 90\n0 place Child 10 0 0\n0.05 key A K\n1 end\n");
    ASSERT_EQ(Run({"run", "good.scn", "--dt", "0.1", "--inputs", "place.inputs", "--out", "out"}), 0) << err.str();
    const std::string t = out.str();
    EXPECT_NE(t.find("     0.00  input line 1: place B by 1000.0 m north, -500.0 m east, heading 90.0\n"), std::string::npos)
        << t;
    EXPECT_NE(t.find("     0.20  input line 2: place Child: not landed, not moved\n"), std::string::npos) << t;
    const std::string scn = simtest::ReadFile("out/final.scn");
    const auto at = scn.find("B:plain");
    ASSERT_NE(at, std::string::npos) << scn;
    double lng = 0, lat = 0, hdg = 0;
    ASSERT_EQ(std::sscanf(scn.c_str() + scn.find("POS ", at), "POS %lf %lf", &lng, &lat), 2) << scn;
    ASSERT_EQ(std::sscanf(scn.c_str() + scn.find("HEADING ", at), "HEADING %lf", &hdg), 1) << scn;
    EXPECT_NEAR(lat, 2.0089932, 2e-7);
    EXPECT_NEAR(lng, 0.9955007, 2e-7);
    EXPECT_NEAR(hdg, 90, 0.01);
}

TEST_F(CliTest, SameSeedSameOutputs)
{
    WriteFile("good.scn", kScn);
    ASSERT_EQ(Run({"run", "good.scn", "--until", "3", "--out", "o1", "--seed", "5"}), 0);
    ASSERT_EQ(Run({"run", "good.scn", "--until", "3", "--out", "o2", "--seed", "5"}), 0);
    for (const char *f : {"timeline.txt", "final.scn", "trajectory.csv", "summary.txt"})
        EXPECT_EQ(simtest::ReadFile(std::string("o1/") + f), simtest::ReadFile(std::string("o2/") + f)) << f;
}

TEST_F(CliTest, InputsOutOfTimeOrderStillActAtTheirOwnTimes)
{
    WriteFile("good.scn", kScn);
    WriteFile("late.inputs", "0.6 focus B\n0.2 focus A\n0.4 key A K\n1 end\n");
    ASSERT_EQ(Run({"run", "good.scn", "--dt", "0.1", "--inputs", "late.inputs"}), 0) << err.str();
    const std::string t = out.str();
    EXPECT_NE(t.find("     0.40  key K on A"), std::string::npos) << t;
    EXPECT_NE(t.find("     0.40  created Child (simtest)"), std::string::npos) << t;
    EXPECT_NE(t.find("     0.60  focus B"), std::string::npos) << t;
}

TEST_F(CliTest, AFolderGivenAsTheScenarioCannotBeRead)
{
    fs::create_directories("folder.scn");
    EXPECT_EQ(Run({"run", "folder.scn", "--until", "0.1"}), 1);
    EXPECT_NE(err.str().find("folder.scn"), std::string::npos) << err.str();
    WriteFile("good.scn", kScn);
    fs::create_directories("dir.inputs");
    EXPECT_EQ(Run({"run", "good.scn", "--inputs", "dir.inputs"}), 1);
    EXPECT_NE(err.str().find("dir.inputs"), std::string::npos) << err.str();
}

TEST_F(CliTest, ProgressLineOnlyOnATerminalOrWhenAskedAndSixtySecondsByDefault)
{
    WriteFile("good.scn", kScn);
    // Standard error sent to a file is not a terminal: the run writes nothing there.
    std::fflush(stderr);
    const int saved = dup(2), file = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(file, 0);
    dup2(file, 2);
    close(file);
    const int quiet_rc = Run({"run", "good.scn", "--dt", "0.1"});
    const std::string quiet = err.str(), quiet_out = out.str();
    const int asked_rc = Run({"run", "good.scn", "--dt", "0.1", "--progress"});
    const std::string asked = err.str();
    dup2(saved, 2);
    close(saved);
    EXPECT_EQ(quiet_rc, 0);
    EXPECT_EQ(quiet, "");
    // Without --until and without an end input a run lasts 60 s.
    EXPECT_NE(quiet_out.find("    60.00  end of run"), std::string::npos) << quiet_out;
    EXPECT_EQ(asked_rc, 0);
    EXPECT_NE(asked.find("sim 60.0 s  wall "), std::string::npos) << asked;
    EXPECT_EQ(asked.back(), '\n');
}

// --- outputs checked to the end, inputs bounded, step lengths kept stable ----------------------

TEST_F(CliTest, AFailedWriteIsAnErrorNamingTheFileAndTheReasonAndTheRunExitsOne)
{
    WriteFile("good.scn", kScn);
    const std::string full = "No space left on device";  // strerror(ENOSPC)
    // --save to a full device.
    EXPECT_EQ(Run({"run", "good.scn", "--until", "0.1", "--save", "/dev/full"}), 1);
    EXPECT_NE(err.str().find("/dev/full: " + full), std::string::npos) << err.str();
    // A save input: no "saved" line for a file that was not written.
    WriteFile("save.inputs", "0.1 save /dev/full\n1 end\n");
    EXPECT_EQ(Run({"run", "good.scn", "--inputs", "save.inputs"}), 1);
    EXPECT_EQ(out.str().find("saved /dev/full"), std::string::npos) << out.str();
    EXPECT_NE(err.str().find("/dev/full: " + full), std::string::npos) << err.str();
    // Each file of --out on a full device in turn (a link to /dev/full stands for a full disk).
    for (const char *f : {"timeline.txt", "trajectory.csv", "final.scn", "summary.txt"}) {
        fs::remove_all("full");
        fs::create_directories("full");
        fs::create_symlink("/dev/full", std::string("full/") + f);
        EXPECT_EQ(Run({"run", "good.scn", "--until", "1", "--out", "full"}), 1) << f;
        EXPECT_NE(err.str().find(std::string("full/") + f + ": " + full), std::string::npos) << f << ": " << err.str();
    }
    // The host log in the working folder.
    fs::remove("Orbiter.log");  // the earlier runs' log
    fs::create_symlink("/dev/full", "Orbiter.log");
    EXPECT_EQ(Run({"run", "good.scn", "--until", "0.1"}), 1);
    EXPECT_NE(err.str().find("cannot write Orbiter.log: " + full), std::string::npos) << err.str();
    fs::remove("Orbiter.log");
    // A snapshot and its listing.
    WriteFile("snap.inputs", "0.1 snapshot hud /dev/full\n1 end\n");
    EXPECT_EQ(Run({"run", "good.scn", "--inputs", "snap.inputs"}), 1);
    EXPECT_NE(err.str().find("/dev/full: " + full), std::string::npos) << err.str();
}

TEST_F(CliTest, ASaveIsWholeOrNotThereWhenTheRunIsKilledAtAnyMoment)
{
    // A scenario of 300 vessels (some 40 kB a save), saved to the same file every frame. Each run
    // is killed (SIGKILL) after a random delay; the file left is the last whole save or none.
    constexpr int kVessels = 300, kKills = 200;
    std::string scn = "BEGIN_SHIPS\n";
    for (int i = 0; i < kVessels; ++i)
        scn += "V" + std::to_string(i) + ":plain\n  STATUS Orbiting Earth\n  RPOS " + std::to_string(6771000 + i) +
               " 0 0\n  RVEL 0 0 7700\nEND\n";
    WriteFile("many.scn", scn + "END_SHIPS\n");
    std::string inputs;
    for (int i = 1; i <= 400; ++i) inputs += std::to_string(i * 0.01) + " save quick.scn\n";
    WriteFile("saves.inputs", inputs + "5 end\n");
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> delay_us(0, 150000);
    int whole = 0, none = 0, bad = 0;
    for (int k = 0; k < kKills; ++k) {
        if (k % 2 == 0) fs::remove("quick.scn");  // half the runs start with no earlier save
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::ostringstream o, e;
            sim::RunCli({"run", "many.scn", "--inputs", "saves.inputs", "--dt", "0.01", "--root", temp_dir + "/root"}, o, e);
            ::_exit(0);
        }
        // Three runs in four wait for their own first save before the random delay, so that on a
        // busy machine too the kills fall among the saves; the fourth may be killed before any.
        if (k % 4 != 0) {
            const auto before = fs::exists("quick.scn") ? fs::last_write_time("quick.scn") : fs::file_time_type::min();
            for (int ms = 0; ms < 60000; ++ms) {
                std::error_code ec;
                const auto now = fs::last_write_time("quick.scn", ec);
                if (!ec && now != before) break;
                ::usleep(1000);
            }
        }
        ::usleep(static_cast<useconds_t>(delay_us(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!fs::exists("quick.scn")) {
            ++none;
            continue;
        }
        const std::string text = simtest::ReadFile("quick.scn");
        std::size_t ships = 0;
        for (std::size_t at = text.find(":plain\n"); at != std::string::npos; at = text.find(":plain\n", at + 1)) ++ships;
        const bool ok = text.size() > 10 && text.compare(text.size() - 10, 10, "END_SHIPS\n") == 0 &&
                        ships == static_cast<std::size_t>(kVessels);
        if (ok) ++whole;
        else ++bad;
        EXPECT_TRUE(ok) << "kill " << k << ": " << text.size() << " bytes, " << ships << " vessels";
    }
    EXPECT_EQ(bad, 0);
    EXPECT_GT(whole, kKills / 4);  // the kills fell across the saves, not all before the first
    // The last one loads.
    if (fs::exists("quick.scn")) {
        EXPECT_EQ(Run({"run", "quick.scn", "--until", "0.05"}), 0) << err.str();
    }
    std::printf("%d kills: %d whole saves left, %d with none yet\n", kKills, whole, none);
}

TEST_F(CliTest, ASaveThroughALinkReplacesTheFileItNamesAndKeepsTheLink)
{
    WriteFile("good.scn", kScn);
    WriteFile("real.scn", "old\n");
    fs::create_symlink("real.scn", "link.scn");
    ASSERT_EQ(Run({"run", "good.scn", "--until", "0.1", "--save", "link.scn"}), 0) << err.str();
    EXPECT_TRUE(fs::is_symlink("link.scn"));
    EXPECT_NE(simtest::ReadFile("real.scn").find("END_SHIPS"), std::string::npos);
    for (const auto &e : fs::directory_iterator("."))
        EXPECT_NE(e.path().extension(), ".tmp") << e.path();  // nothing left beside it
}

TEST_F(CliTest, LongNamesMakeWholeTrajectoryRows)
{
    const std::string name(300, 'N');
    WriteFile("long.scn", "BEGIN_SHIPS\n" + name +
                              ":plain\n  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 7700\nEND\nEND_SHIPS\n");
    ASSERT_EQ(Run({"run", "long.scn", "--until", "2", "--out", "o"}), 0) << err.str();
    std::istringstream csv(simtest::ReadFile("o/trajectory.csv"));
    std::string row;
    int rows = 0;
    std::getline(csv, row);  // the header
    while (std::getline(csv, row)) {
        ++rows;
        EXPECT_EQ(std::count(row.begin(), row.end(), ','), 11) << row;  // twelve fields, one row a line
        EXPECT_NE(row.find("," + name + ","), std::string::npos);
    }
    EXPECT_EQ(rows, 2);  // samples at 0 and 1 s
}

TEST_F(CliTest, EndlessHugeOrLongLinedFilesAreRefusedBeforeTheyAreReadWhole)
{
    WriteFile("good.scn", kScn);
    EXPECT_EQ(Run({"run", "/dev/zero"}), 1);
    EXPECT_NE(err.str().find("line 1 is longer than 65536 bytes"), std::string::npos) << err.str();
    EXPECT_EQ(Run({"run", "good.scn", "--inputs", "/dev/zero"}), 1);
    EXPECT_NE(err.str().find("/dev/zero: line 1 is longer"), std::string::npos) << err.str();
    WriteFile("long.inputs", "# a comment\n1 end " + std::string(70000, 'x') + "\n");
    EXPECT_EQ(Run({"run", "good.scn", "--inputs", "long.inputs"}), 1);
    EXPECT_NE(err.str().find("long.inputs: line 2 is longer than 65536 bytes"), std::string::npos) << err.str();
    WriteFile("huge.scn", std::string((64u << 20) + 1, '\n'));
    EXPECT_EQ(Run({"run", "huge.scn"}), 1);
    EXPECT_NE(err.str().find("huge.scn: larger than 64 MiB"), std::string::npos) << err.str();
}

TEST_F(CliTest, InputMessagesQuoteAtMostEightyCharactersWithControlBytesEscaped)
{
    WriteFile("good.scn", kScn);
    WriteFile("bad.inputs", "1 key A \x1b[2J\a" + std::string(60000, 'k') + "\n");
    EXPECT_EQ(Run({"run", "good.scn", "--inputs", "bad.inputs"}), 1);
    const std::string e = err.str();
    EXPECT_LT(e.size(), 200u);
    EXPECT_NE(e.find("bad.inputs:1: unknown key \"\\x1b[2J\\x07kkk"), std::string::npos) << e;
    EXPECT_EQ(e.find('\x1b'), std::string::npos);
    EXPECT_EQ(e.find('\a'), std::string::npos);
}

TEST_F(CliTest, StepLengthsArePhysicallyStableAndARunAdvances)
{
    WriteFile("good.scn", kScn);
    // Too short to advance (1e-300 s added to 1 s is still 1 s) or beyond an hour: refused.
    for (const char *dt : {"1e-300", "0.00005", "3601", "nan"}) EXPECT_EQ(Run({"run", "good.scn", "--dt", dt}), 2) << dt;
    WriteFile("tiny.inputs", "0 dt 1e-9\n");
    EXPECT_EQ(Run({"run", "good.scn", "--inputs", "tiny.inputs"}), 1);
    EXPECT_NE(err.str().find("tiny.inputs:1: dt: a step length must be from 0.0001 to 3600 s"), std::string::npos)
        << err.str();
    // A long step where a vessel is in the air, or can reach it within the step (A at 400 km
    // flies 7.7 km/s: in 60 s it could sink 462 km), is refused: at the start, and as an input.
    EXPECT_EQ(Run({"run", "good.scn", "--dt", "60"}), 1);
    EXPECT_NE(err.str().find("60 s is longer than the 10 s the physics keeps stable in the atmosphere, A "),
              std::string::npos)
        << err.str();
    WriteFile("glide.scn", "BEGIN_SHIPS\nG:plain\n  STATUS Orbiting Earth\n  RPOS 6372000 0 0\n  RVEL 0 0 20\n"
                           "END\nEND_SHIPS\n");
    WriteFile("glide.inputs", "1 dt 3600\n3 end\n");
    ASSERT_EQ(Run({"run", "glide.scn", "--inputs", "glide.inputs", "--dt", "1"}), 0) << err.str();
    EXPECT_NE(out.str().find("input line 1: step length 3600 s refused: 3600 s is longer than the 10 s"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("     3.00  end of run"), std::string::npos) << out.str();
    // Far beyond the air an hour is allowed.
    WriteFile("far.scn", "BEGIN_SHIPS\nF:plain\n  STATUS Orbiting Earth\n  RPOS 400000000 0 0\n  RVEL 0 0 1000\n"
                         "END\nEND_SHIPS\n");
    EXPECT_EQ(Run({"run", "far.scn", "--dt", "3600", "--until", "7200"}), 0) << err.str();
    // A vessel that falls toward the air during long steps has them cut to 10 s before it gets
    // there: from rest at 400 km (g = GM/r^2 = 8.7 m/s^2) it gains about 260 m/s every 30 s; the
    // step is cut once 30 s at its speed would take it into the air, well before 600 s.
    WriteFile("fall.scn", "BEGIN_SHIPS\nD:plain\n  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 0\n"
                          "END\nEND_SHIPS\n");
    ASSERT_EQ(Run({"run", "fall.scn", "--dt", "30", "--until", "600"}), 0) << err.str();
    EXPECT_NE(out.str().find("step length cut to 10 s: 30 s is longer than the 10 s"), std::string::npos)
        << out.str();
}
