// pilot.h -- the harness's virtual pilots, which fly vessels through a host's cockpit (cockpit.h),
// and the control laws of the recovery pilot, as a person flying the recovery helicopter applies
// them: a position error in the local horizon frame asks for a velocity, a velocity error for an
// acceleration, the acceleration for a pitch and a bank, and an attitude error for a stick
// deflection. Vertically, a height error asks for a climb rate and the climb-rate
// error moves the collective around a trim that the pilot finds by feel (slow integral).
//
// Horizon frame: x east, z north [m, m/s] (y unused, or up where stated). Angles in radians;
// heading clockwise from north; pitch positive nose up; bank positive with the left wing down.
#pragma once

#include "cockpit.h"

#include <memory>
#include <string>
#include <vector>

namespace harness {
namespace pilot {

struct Gains {
    double position = 0.25;       // wanted speed per metre of position error [1/s]
    double velocity = 0.5;        // wanted acceleration per m/s of velocity error [1/s]
    double attitude = 1.5;        // wanted rate per radian of attitude error [1/s]
    double stick_rate = 0.5;      // rate at full stick [rad/s] (the helicopter's manual law)
    double heading = 0.8;         // wanted turn rate per radian of heading error [1/s]
    double max_rudder = 0.4;      // rudder limit [-] (full rudder turns 1 rad/s)
    double climb = 0.25;          // wanted climb rate per metre of height error [1/s]
    double collective = 0.15;     // collective per m/s of climb-rate error
    double trim_rate = 0.05;      // trim change per m/s of climb-rate error and second
};

// Offset of point b from point a in a's horizon frame (x east, z north) [m], on a sphere of
// radius r [m]; longitudes may differ by a whole turn.
VECTOR3 HorizonOffset(double lng_a, double lat_a, double lng_b, double lat_b, double r);

// Velocity wanted to close the position error `offset` while moving with `carrier` (the target's
// velocity): carrier + gain * offset, the closing part limited to `max_closing` [m/s].
VECTOR3 WantedVelocity(const VECTOR3 &offset, const VECTOR3 &carrier, double gain, double max_closing);

// Horizontal acceleration wanted from a velocity error, limited in size to `max_accel`.
VECTOR3 WantedAcceleration(const VECTOR3 &wanted_vel, const VECTOR3 &vel, double gain, double max_accel);

// Pitch and bank that tilt the lift to give the horizontal acceleration `accel` (east, north)
// with a heading, at gravity g [m/s^2]; each angle within +-max_tilt.
void TiltFor(const VECTOR3 &accel, double heading, double g, double max_tilt, double *pitch, double *bank);

// Stick levels (-1..1) that turn the attitude toward the wanted one: elevator raises the nose,
// aileron lowers the right wing.
double ElevatorFor(double wanted_pitch, double pitch, const Gains &k);
double AileronFor(double wanted_bank, double bank, const Gains &k);

// Heading error folded into (-pi, pi].
double HeadingError(double wanted, double heading);
// Rudder level that turns the nose toward the wanted heading.
double RudderFor(double wanted_heading, double heading, const Gains &k);

// Climb rate wanted for a height error, within [-max_sink, max_climb] [m/s], plus `carrier`
// (the vertical speed of what is followed) before the limits.
double WantedClimb(double height_error, double carrier, double max_sink, double max_climb, const Gains &k);

// Share of the usual tilt the pilot allows: all of it, unless the collective is at its stop and
// the helicopter still sinks more than 2 m/s below the wanted climb rate; then less and less (down
// to a quarter at 8 m/s short): nose and wings come up to give the rotor back to the height.
double TiltAllowance(double level, double climb_shortfall);

// The collective: the trim moves slowly with the climb-rate error (within 0..1), the level is trim
// plus a proportional part, divided by the cosine of the tilt (a tilted rotor lifts less), 0..1.
struct Collective {
    double trim = 0.65;
    double Level(double wanted_climb, double climb, double tilt_cos, double dt, const Gains &k);
};

}  // namespace pilot

// How long the recovery pilot takes at its decisions [s]: in the seat before it starts the engine
// (its answer to the call-up), over the capsule with the altitude hold on before it closes in, and
// with the load on the pole before it hands over to the helicopter's autopilot (Shift+G). The words
// start=S, hold=S and handover=S of its input line set them (0 to 600 s).
struct ReactionTimes {
    double start = 0.5, hold = 3, handover = 1;
};

// A virtual pilot drives vessels from inside a host's run loop: called once a frame before the frame
// is flown, it sees and acts on the world through the cockpit only, and may write timeline lines
// through the cockpit's events.
class Pilot {
public:
    virtual ~Pilot() = default;
    virtual void Frame(Cockpit &cockpit) = 0;
    // What it did, for the run's summary ("" when it has nothing to say).
    virtual std::string Summary() const { return ""; }
};

// Makes the pilot an input line asks for ("pilot <name> <vessel> ...", for the recovery pilot
// "pilot recovery [<helicopter>] [start=S] [hold=S] [handover=S]"); null with the reason when
// there is no such pilot or its words are wrong.
std::unique_ptr<Pilot> MakePilot(const std::vector<std::string> &args, std::string *error);

}  // namespace harness
