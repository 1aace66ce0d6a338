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
// UBSan under the scenario target). Such a mode is ignored: the vessel keeps the default, all three
// surface groups on (1 elevator + 2 rudder + 4 ailerons = 7, VESSEL::SetADCtrlMode's bits).
TEST_F(FuzzFoundTest, AnAfcModeBeyondThirtyTwoBitsIsIgnored)
{
    Vessel *v = WithAfcMode("A", "11111111111111111117");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->adctrl_mode, 7u);
    EndWorld();
    v = WithAfcMode("B", "nan");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->adctrl_mode, 7u);
    EndWorld();
    v = WithAfcMode("C", "5");  // a mode in range still counts
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->adctrl_mode, 5u);
}
