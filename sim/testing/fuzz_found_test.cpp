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
