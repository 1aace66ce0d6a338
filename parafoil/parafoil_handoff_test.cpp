// parafoil_handoff_test.cpp -- the return capsule hands its body over to a parafoil capsule of this
// module below 6.7 km: both real modules flown together through the stand-in host.

#include "testing/sim_test.h"

#include <cmath>

namespace {

class ParafoilHandOffTest : public simtest::SimTest {};

TEST_F(ParafoilHandOffTest, CapsuleBelowHandOffAltitudeCreatesAGlidingParafoilCapsule)
{
    // A capsule under its drogue whose recovery vessels are already out.
    Vessel *src = LoadVessel("Corvane_SRC", "Vessels/CorvaneMission/corvane_src",
                             {"STATUS Orbiting Earth", "RPOS 0 0 6400000", "CONFIGURATION 1 1", "CHUTE 0 0.0000"});
    ASSERT_NE(src, nullptr);
    src->Place(0.3, 0.5, 6.6e3, 1.0, 0, 0, _V(10, -40, 5));
    Step(1);

    Vessel *pf = W().FindVessel("Corvane_SRC_Parafoil");
    ASSERT_NE(pf, nullptr);
    ASSERT_NE(pf->module, nullptr);
    EXPECT_EQ(pf->module->name, "corvane_src_parafoil");
    EXPECT_NEAR(pf->Altitude(), 6.6e3, 1e-3);
    EXPECT_NEAR(pf->HorizonAirspeed().y, -40.0, 1e-6);
    EXPECT_EQ(pf->empty_mass, 191.0);
    ASSERT_EQ(pf->meshes.size(), 1u);
    EXPECT_EQ(pf->meshes[0].file, "CorvaneMission/cvn_src_parafoil90");
    ASSERT_EQ(pf->airfoils.size(), 2u);

    // It opens its canopy in 2 s and glides with full trim, free of any parent.
    Step(102);
    EXPECT_EQ(pf->animations.at(0).state, 0.0);
    EXPECT_EQ(pf->ctrl_level[AIRCTRL_ELEVATORTRIM], 1.0);
    EXPECT_EQ(W().FindVessel("Corvane_SRC_Parafoil"), pf);  // created once
    EXPECT_EQ(SavedLine(pf, "CONFIGURATION"), "CONFIGURATION 0");
    EXPECT_EQ(SavedLine(pf, "COL"), "COL 0 0.0000");
}

}  // namespace
