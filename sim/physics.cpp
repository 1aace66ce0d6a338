// physics.cpp -- the stand-in host's flight physics (being written).
#include "physics.h"

#include "world.h"

namespace sim {

void PhysicsStep(World &, double) {}

}  // namespace sim
