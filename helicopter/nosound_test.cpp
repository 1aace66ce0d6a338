// The helicopter with neither sound library in the process (neither the older add-on nor XRSound):
// one entry per helicopter in the add-on client's log, one line per helicopter in the host's log,
// and the helicopter flies all the same.
#include "testing/sim_test.h"

#include <algorithm>
#include <cstdio>

namespace {

const char kLogHeader[] = "Orbiter Sound Log Started\n*****************************\n\n";
const char kEntry[] =
    "--------------------------------------\n"
    "ERR01= Vessel->ConnectToOrbiterSoundDLL3: Unable to connect to OrbiterSound 3.0 - not installed or activated\n"
    "\n";

class NoSoundTest : public simtest::SimTest {
protected:
    int SilentLines(const std::string &name)
    {
        const std::string line =
            "hx220 " + name + ": no sound library found (neither the sound add-on nor XRSound), silent";
        int n = 0;
        for (const std::string &l : W().LogLines()) n += l.find("hx220 " + name + ":") == 0 ? 1 : 0;
        return n == static_cast<int>(std::count(W().LogLines().begin(), W().LogLines().end(), line)) ? n : -1;
    }
};

TEST_F(NoSoundTest, OneEntryPerHelicopterAndNothingElse)
{
    Vessel *a = Create("A", "hx220");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(simtest::ReadFile("OrbiterSound_Log.txt"), std::string(kLogHeader) + kEntry);
    Create("B", "hx220");
    EXPECT_EQ(simtest::ReadFile("OrbiterSound_Log.txt"), std::string(kLogHeader) + kEntry + kEntry);
    EXPECT_EQ(SilentLines("A"), 1);
    EXPECT_EQ(SilentLines("B"), 1);

    // Silent but otherwise unaffected: the engine starts and the lift thruster comes.
    Key(a, OAPI_KEY_K);
    Step(1300);
    EXPECT_EQ(SavedLine(a, "MOTEUR"), "MOTEUR 2 40000.000000 501 8.000000 1");
    EXPECT_EQ(a->thrusters.size(), 2u);
    EXPECT_EQ(simtest::ReadFile("OrbiterSound_Log.txt"), std::string(kLogHeader) + kEntry + kEntry);
    EXPECT_EQ(SilentLines("A"), 1) << "nothing more after the one line";
}

TEST_F(NoSoundTest, EachLoadedModuleLogsAtMost101Entries)
{
    for (int i = 0; i < 101; ++i) Create("H" + std::to_string(i), "hx220");
    std::string want = kLogHeader;
    for (int i = 0; i < 101; ++i) want += kEntry;
    EXPECT_EQ(simtest::ReadFile("OrbiterSound_Log.txt"), want);
    std::remove("OrbiterSound_Log.txt");
    Create("H101", "hx220");
    EXPECT_TRUE(simtest::ReadFile("OrbiterSound_Log.txt").empty()) << "the log is no longer touched";

    // A fresh world loads the module afresh: its count starts again.
    EndWorld();
    Create("Again", "hx220");
    EXPECT_EQ(simtest::ReadFile("OrbiterSound_Log.txt"), std::string(kLogHeader) + kEntry);
}

}  // namespace
