// fuzz_found_test.cpp -- inputs the fuzz targets (fuzz/) found that once broke a reader, kept as
// tests so that the ordinary and the sanitizer suites replay them.
#include "testing/sim_test.h"

using simtest::SimTest;

namespace {

class FuzzFoundTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        WriteConfig("Config/plain.cfg", "ClassName = plain\nSize = 2\nMass = 300\n");
    }
    Vessel *WithAfcMode(const std::string &name, const std::string &mode)
    {
        return LoadVessel(name, "plain", {"STATUS Landed Earth", "POS 1 2", "AFCMODE " + mode});
    }
};

}  // namespace

// An AFCMODE too large for the mode's 32 bits was converted anyway (undefined behaviour, caught by
// UBSan under the scenario target). Such a mode, or one that is no number, is refused with the
// field named; a mode in range still counts.
TEST_F(FuzzFoundTest, AnAfcModeBeyondThirtyTwoBitsIsRefused)
{
    for (const char *bad : {"11111111111111111117", "nan"}) {
        std::string err;
        EXPECT_FALSE(W().LoadScenarioText(std::string("BEGIN_SHIPS\nA:plain\n  STATUS Landed Earth\n  POS 1 2\n"
                                                      "  AFCMODE ") + bad + "\nEND\nEND_SHIPS\n", &err));
        EXPECT_NE(err.find("AFCMODE"), std::string::npos) << err;
        EndWorld();
    }
    Vessel *v = WithAfcMode("C", "5");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->adctrl_mode, 5u);
}

// A date a million years out puts the ephemerides' Earth some 1e15 m from the Sun. A vessel loaded
// against Earth and placed against the Moon (its closest body) was re-expressed through its global
// place, rounded there to 0.1 m, so each load and save moved it by centimetres (found by the save
// target). Re-expressed through the two bodies' difference, a load and a save give the text back.
TEST_F(FuzzFoundTest, ALoadAndASaveKeepTheTextWhereverTheBodiesStand)
{
    options.physics = false;
    const std::string scn =
        "BEGIN_ENVIRONMENT\n  System Sol\n  Date MJD 409219915.0000014305\nEND_ENVIRONMENT\n"
        "BEGIN_SHIPS\nA:plain\n  STATUS Orbiting Earth\n"
        "  RPOS -411169226.045 -3105399531.968 1780891744.371\n"
        "  RVEL -37892753274.5408 -286189168583.7164 164124541061.4119\n"
        "  AROT -1.336059 -3.789538 -13.111872\nEND\n"
        "B:plain\n  STATUS Orbiting Moon\n  RPOS 1000000.000 -2000000.000 3000000.000\n"
        "  RVEL 100.0000 0.0000 -50.0000\n  AROT 10.000000 20.000000 30.000000\nEND\nEND_SHIPS\n";
    std::string err;
    ASSERT_TRUE(W().LoadScenarioText(scn, &err)) << err;
    const std::string first = W().SaveScenarioText();
    EXPECT_NE(first.find("  RPOS -411169226.045 -3105399531.968 1780891744.371\n"), std::string::npos) << first;
    EXPECT_NE(first.find("  RPOS 1000000.000 -2000000.000 3000000.000\n"), std::string::npos) << first;
    EndWorld();
    options.physics = false;
    ASSERT_TRUE(W().LoadScenarioText(first, &err)) << err;
    EXPECT_EQ(W().SaveScenarioText(), first);
}
