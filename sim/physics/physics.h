// physics.h -- the stand-in host's flight physics: the state update of one frame.
#pragma once

#include "Orbitersdk.h"

class Vessel;

namespace sim {

class World;

// Moves every free vessel of the world over dt seconds (gravity of the reference body with the Sun's
// and Moon's differential pull, the atmosphere turning with the Earth, the simulator's two
// aerodynamic models, control surfaces, thrust and propellant, the angular velocity, ground contact
// on the touchdown points), then runs the landing test. Landed vessels stay where they are until a
// force acts on them; attached children are left to the world, which puts them on their parents'
// points after the frame (they add nothing to the parent). Liftoffs and landings go to the world's
// timeline. World::RunFrame calls it between the pre-steps and the post-steps when physics is on.
void PhysicsStep(World &w, double dt);

// Control surface deflections follow their targets over dt (part of every vessel's force update).
void ApplyControlSurfaceLevels(World &w, double dt);
void ApplyControlSurfaceLevels(Vessel &v, double dt);

// Force and moment on a vessel, both in its own axes [N], [N m].
struct Loads {
    VECTOR3 force;
    VECTOR3 moment;
};

// The simulator's two aerodynamic models (u: the vessel's velocity relative to the air in its axes,
// omega its angular velocity, rho the density, mass the vessel's). The old one serves vessels
// without airfoils, the airfoil one vessels with airfoils (dt: the frame, which caps its
// rotational drag; sound: the speed of sound).
void OldModelLoads(const Vessel &v, double mass, double rho, const VECTOR3 &u, const VECTOR3 &omega, Loads *out);
void AirfoilModelLoads(const Vessel &v, double mass, double rho, double sound, double dt, const VECTOR3 &u,
                       const VECTOR3 &omega, Loads *out);

// The landing test of one vessel after a state update at time t (frame start).
void CheckLanded(World &w, Vessel &v, double t);

}  // namespace sim
