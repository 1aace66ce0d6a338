// cockpit.h -- what a virtual pilot sees of the world and how it acts on it, through the host's
// public queries and a pilot's own inputs (stick, rudder, collective, keys, the head-up display,
// pictures). Each host implements it over its own world; the pilot knows nothing else of a host.
//
// Vessels are named as the host names them (the host finds them as its name lookup does). The
// per-frame calls allocate nothing: names go in as C strings and a Sight is filled in place.
#pragma once

#include "host_api.h"

#include <string>
#include <vector>

namespace harness {

// What the pilot sees of one vessel, from the host's public queries. Names longer than 63
// characters are cut.
struct Sight {
    char name[64] = "";                   // the vessel's name as the host spells it
    double lng = 0, lat = 0, rad = 0;     // equatorial position [rad, rad, m]
    double altitude = 0;                  // above the mean surface [m]
    double ref_radius = 0;                // radius of the reference body [m]; 0 without one
    double rest_height = 0;               // its origin's height when resting on its gear [m]
    VECTOR3 horizon_airspeed = {{0, 0, 0}};  // x east, y up, z north [m/s]
    double heading = 0, pitch = 0, bank = 0;  // [rad]: heading clockwise from north, pitch nose up, bank left wing down
    bool landed = false;                  // the host reports it landed
    bool ground_contact = false;          // a touchdown point touches the ground
    char parent[64] = "";                 // the vessel it hangs on as a child, "" when free
    bool main_thrust = false;             // its main thruster group has a thruster (the rotor lifts)
    bool has_child_point = false;         // it has an attachment point for a child ...
    VECTOR3 child_point = {{0, 0, 0}};    // ... the first one, there in its own frame [m] (a pole's tip)
};

class Cockpit {
public:
    virtual ~Cockpit() = default;
    // The simulation time of the frame about to be flown, and its step length [s].
    virtual double SimTime() const = 0;
    virtual double StepLength() const = 0;
    // Fills *out with what is seen of a vessel; false when there is no such vessel.
    virtual bool Look(const char *vessel, Sight *out) const = 0;
    // Presses and releases a key (OAPI_KEY_*) on a vessel, Shift held or not; true when the vessel
    // took it (its key handler said so), false when it did not or there is no such vessel.
    virtual bool PressKey(const char *vessel, int key, bool shift) = 0;
    // The pilot's stick and rudder input on a control surface (-1..1).
    virtual void SetStick(const char *vessel, AIRCTRL_TYPE surface, double level) = 0;
    // The main thruster group's level (0..1): the collective.
    virtual void SetThrottle(const char *vessel, double level) = 0;
    // The head-up display's text items as drawn now, in drawing order; false when the host draws
    // nothing for that vessel.
    virtual bool HudTexts(const char *vessel, std::vector<std::string> *texts) = 0;
    // A line of the run's timeline ("pilot: ..." lines come through here).
    virtual void Event(const std::string &line) = 0;
    // A picture of a display ("hud", "mfd-left", "mfd-right") or of the scene ("view <vessel>
    // [azimuth elevation distance]") into a file of the run's outputs, as the snapshot input takes
    // it; a host that cannot make the picture leaves it out.
    virtual void Snapshot(const std::string &display, const std::string &file) = 0;
};

}  // namespace harness
