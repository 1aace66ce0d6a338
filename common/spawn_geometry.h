// spawn_geometry.h -- the attitude angles (VESSELSTATUS::arot) that the host expects for a new
// vessel whose axes are given in the global frame.
#pragma once

#include "Orbitersdk.h"

namespace corvane {

// pi/2 as the spawn formulas take it
constexpr double kHalfPi = 1.570796326794895;

// x, y and z are the new vessel's unit axes in the global frame; the result is
// (atan2(z.y, z.z), -asin(z.x), pi/2 - atan2(x.x, y.x)).
VECTOR3 ArotFromAxes(const VECTOR3 &x, const VECTOR3 &y, const VECTOR3 &z);

}  // namespace corvane
