// physics.h -- the stand-in host's flight physics: the state update of one frame.
#pragma once

#include "Orbitersdk.h"

#include <string>
#include <vector>

class Vessel;

namespace sim {

struct Body;

// What the state update sees of the world and tells it: the vessels in creation order, the bodies,
// the frame's start time, the timeline and the host log. The world hands one to the physics each
// frame; the physics knows nothing else of the world.
class PhysicsScene {
public:
    virtual const std::vector<Vessel *> &Vessels() const = 0;
    virtual const std::vector<Body *> &Bodies() const = 0;
    virtual double SimTime() const = 0;
    virtual void Event(const std::string &text) = 0;  // a line of the timeline
    virtual void Log(const std::string &line) = 0;    // a line of the host log

protected:
    ~PhysicsScene() = default;
};

// Moves every free vessel of the world over dt seconds (gravity of the reference body with the Sun's
// and Moon's differential pull, the atmosphere turning with the Earth, the simulator's two
// aerodynamic models, control surfaces, thrust and propellant, the angular velocity, ground contact
// on the touchdown points), then runs the landing test. Landed vessels stay where they are until a
// force acts on them; attached children are left to the world, which puts them on their parents'
// points after the frame (they add nothing to the parent). Liftoffs and landings go to the world's
// timeline. World::RunFrame calls it between the pre-steps and the post-steps when physics is on.
void PhysicsStep(PhysicsScene &w, double dt);

// Control surface deflections follow their targets over dt (part of every vessel's force update).
void ApplyControlSurfaceLevels(const PhysicsScene &w, double dt);
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
void CheckLanded(PhysicsScene &w, Vessel &v, double t);

}  // namespace sim
