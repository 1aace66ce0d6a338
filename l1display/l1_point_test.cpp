// The L1 point against the worked example: mu = 3.0e-6 and a Sun-barycentre distance of 1.5e11 m.
#include "l1_point.h"

#include <gtest/gtest.h>

namespace {

TEST(L1Point, WorkedExampleGivesThreeStepsAndTheDistanceFromTheBarycentre)
{
    // Sun of 1e30 kg at (1e10, 2e9, -3e9); Earth and Moon together 3e24 kg, the Moon a quarter
    // of it, placed so that their barycentre lies 1.5e11 m away along a slanted direction.
    const double mS = 1e30, mE = 2.25e24, mM = 0.75e24;
    const VECTOR3 pS = _V(1e10, 2e9, -3e9);
    const VECTOR3 dir = _V(0.6, 0.0, 0.8);
    const VECTOR3 bary = pS + dir * 1.5e11;
    const VECTOR3 pE = bary - _V(0, 0, 1e8) * 0.25;  // Moon 1e8 m beyond Earth along z
    const VECTOR3 pM = pE + _V(0, 0, 1e8);

    const L1Point p = ComputeL1Point(mS, mE, mM, pS, pE, pM);

    EXPECT_NEAR(p.gamma[0], 0.0100000000, 5e-11);
    EXPECT_NEAR(p.gamma[1], 0.0099665549, 5e-11);
    EXPECT_NEAR(p.gamma[2], 0.0099666672, 5e-11);
    EXPECT_NEAR(p.v.x, 0.9e11, 1e-2);
    EXPECT_NEAR(p.v.y, 0.0, 1e-2);
    EXPECT_NEAR(p.v.z, 1.2e11, 1e-2);

    // L1 lies 1.4950e9 m from the barycentre toward the Sun, on the Sun-barycentre line.
    const VECTOR3 fromBary = p.L1 - bary;
    EXPECT_NEAR(length(fromBary), 1.4950e9, 0.00005e9);
    EXPECT_NEAR(dotp(unit(fromBary), dir), -1.0, 1e-12);
}

}  // namespace
