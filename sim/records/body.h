// body.h -- the host's record of a celestial body (the Sun, Earth and Moon): mass, size, rotation and
// its state at the frame's start and, during the frame, at its end. The world moves the bodies by
// date; vessel records and the physics read them.
#pragma once

#include "Orbitersdk.h"
#include "object.h"

#include <string>

namespace sim {

struct Body : Object {
    Body() : Object(Kind::Body) {}
    std::string name;
    double mass = 0, radius = 0;
    double sidereal_period = 0;  // rotation [s]; 0 for none
    bool has_atmosphere = false;
    VECTOR3 pos{}, vel{};        // global [m, m/s]
    MATRIX3 R = identity();      // body-fixed -> global axes
    MATRIX3 spin = _M(0, 0, 0, 0, 0, 0, 0, 0, 0);  // dR/dt R^T: velocity of a body-fixed point = spin * r
    // From the end of the state update to the end of the frame: the body's state at the frame's end
    // time (its s1), published after the post-steps as the vessels' are.
    bool has_next = false;
    VECTOR3 next_pos{}, next_vel{};
    // Through the state update: where the body is at the frame's end (the vessels' gravity reads
    // the bodies in between, Psys.cpp Gacc_intermediate); without it, where it is now.
    bool has_end = false;
    VECTOR3 end_pos{};
    MATRIX3 end_R = identity();
    const VECTOR3 &EndPos() const { return has_end ? end_pos : pos; }
    MATRIX3 next_R = identity();
};

}  // namespace sim
