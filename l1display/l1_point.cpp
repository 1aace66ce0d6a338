// l1_point.cpp -- the Sun-Earth L1 point by a fixed three-step iteration of the Hill-sphere
// distance: L1 lies on the line from the Sun to the Earth-Moon barycentre, short of the barycentre
// by the fraction gamma of that distance.
#include "l1_point.h"

#include <cmath>

namespace {

const double kOneThird = 0.3333333333333333;  // factor and exponent of the iteration [-]

}  // namespace

L1Point ComputeL1Point(double mS, double mE, double mM, const VECTOR3 &pS, const VECTOR3 &pE,
                       const VECTOR3 &pM)
{
    L1Point r;
    const double mu = (mE + mM) / mS;
    const VECTOR3 barycentre = pE + (pM - pE) * (mM / (mE + mM));
    r.v = barycentre - pS;

    // Exactly three steps, no convergence test: the plots and readouts expect these values.
    r.gamma[0] = std::pow(mu * kOneThird, kOneThird);
    r.gamma[1] = std::pow((1.0 - r.gamma[0]) * mu * kOneThird, kOneThird);
    r.gamma[2] = std::pow((1.0 - r.gamma[1]) * mu * kOneThird, kOneThird);

    r.L1 = pS + r.v * (1.0 - r.gamma[2]);
    return r;
}
