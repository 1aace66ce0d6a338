#include "spawn_geometry.h"

#include <cmath>

namespace corvane {

VECTOR3 ArotFromAxes(const VECTOR3 &x, const VECTOR3 &y, const VECTOR3 &z)
{
    return _V(std::atan2(z.y, z.z), -std::asin(z.x), kHalfPi - std::atan2(x.x, y.x));
}

}  // namespace corvane
