// l1_point.h -- where the Sun-Earth L1 point lies, from the masses and positions of the Sun, the
// Earth and the Moon. Kept apart from the instrument so that the geometry can be checked alone.
#pragma once

#include "Orbitersdk.h"

// The L1 point and what it was found from.
struct L1Point {
    VECTOR3 L1;        // global position of L1 [m]
    VECTOR3 v;         // from the Sun to the Earth-Moon barycentre [m]
    double gamma[3];   // the three steps of the distance iteration [fraction of |v|]
};

// Masses [kg] and global positions [m] of the Sun, the Earth and the Moon.
L1Point ComputeL1Point(double mS, double mE, double mM, const VECTOR3 &pS, const VECTOR3 &pE,
                       const VECTOR3 &pM);
