// physics.h -- the stand-in host's flight physics: the state update of one frame.
#pragma once

namespace sim {

class World;

// Moves every free vessel of the world over dt seconds (gravity of the reference body with the Sun's
// and Moon's differential pull, the atmosphere turning with the Earth, drag, lift, airfoils, control
// surfaces, rotational damping, thrust and propellant, the angular velocity, ground contact). Landed
// vessels stay where they are unless thrust lifts them off; attached children are left to the
// world, which puts them on their parents' points after the frame (they add their mass to the
// parent). Touchdowns and liftoffs go to the world's timeline. World::RunFrame calls it between the
// pre-steps and the post-steps when physics is on.
void PhysicsStep(World &w, double dt);

}  // namespace sim
