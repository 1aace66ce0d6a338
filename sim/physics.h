// physics.h -- the stand-in host's flight physics: the state update of one frame.
#pragma once

namespace sim {

class World;

// Moves every free vessel of the world over dt seconds (gravity, atmosphere, drag, lift, airfoils,
// control surfaces, thrust and propellant, ground contact), carries attached children with their
// parents and keeps landed vessels on the ground. World::RunFrame calls it between the pre-steps
// and the post-steps when physics is on.
void PhysicsStep(World &w, double dt);

}  // namespace sim
