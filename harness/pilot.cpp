// pilot.cpp -- the harness's virtual pilot "recovery": flies the recovery helicopter through the
// catch of the capsule under its parafoil as a person at the controls would. Its hands: the stick
// (elevator, ailerons), the rudder, the collective (the main throttle) and the helicopter's keys. Its
// eyes: what the cockpit and the view outside show (positions, altitudes, ground speeds, attitude
// and heading of the helicopter and of the capsule it chases) and the head-up display's texts.
//
// Taking the controls of a helicopter already on its way (a scenario saved mid-flight), it looks
// first: on the ground with the capsule down, the recovery is over (the engine is stopped once the
// helicopter sits at rest); carrying the capsule with the head-up display showing "SUIVRE CAP" or "DESCENTE", the
// autopilot is already flying home (pressing Shift+G again would switch it off); carrying it under
// any other mode, it hands over as after a catch; with the capsule down and the helicopter in the
// air, it lets the autopilot land it; the altitude hold is on when the display says
// "AUTOPILOTE ALTITUDE", the pole is out when its tip is not where it is stowed. Otherwise it
// starts from the seat, as below.
//
// The flight, phase by phase:
//   settle     a moment in the seat; a rotor already at speed (a helicopter loaded in flight) is
//              flown at once, otherwise K starts the engine
//   spin-up    the rotor comes up to speed (the lift is there)
//   fly        lift off and fly to a point a little behind the capsule (the drogue capsule until the
//              parafoil exists), 17 m above it but not above the catch ceiling; near it Shift+P puts
//              the pole out; settled over it, Shift+X hands the height to the helicopter's altitude
//              hold; then the stand-off shrinks to nothing until the capsule hangs on the pole
//   caught     a second with the load, sticks centred, then Shift+G: the helicopter's own autopilot
//              flies home, descends and lets the load go below 16 m; Shift+X takes the altitude
//              hold off (it would lift the helicopter again once the autopilot has landed it)
//   home       the release ends the autopilot's descent and leaves the helicopter hovering: when the
//              head-up display shows "STATIONNAIRE", Shift+D lands it; sitting on its gear at rest
//              (the host reports a vessel landed only after 5 s at rest with no thruster firing,
//              so the rotor must stop first), K stops the engine
//
// It sees and acts only through the cockpit (cockpit.h), and allocates nothing on its way through
// an ordinary frame: the vessels it watches are looked at into sights of its own, the head-up
// display is read only where it looks for a cue, and texts are built only when something happens.
#include "pilot.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace harness {
namespace pilot {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kFullCollective = 0.98;     // the collective is at its stop above this
constexpr double kShortfallFree = 2;         // sinking below the wanted climb rate this much is fine [m/s]
constexpr double kShortfallSpan = 6;         // over this much more the tilt allowed falls off [m/s]
constexpr double kMinTiltAllowance = 0.25;
double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }
double Horizontal(const VECTOR3 &v) { return std::sqrt(v.x * v.x + v.z * v.z); }
}  // namespace

VECTOR3 HorizonOffset(double lng_a, double lat_a, double lng_b, double lat_b, double r)
{
    const double dlng = std::remainder(lng_b - lng_a, 2 * kPi);
    return _V(dlng * r * std::cos(lat_a), 0, (lat_b - lat_a) * r);
}

VECTOR3 WantedVelocity(const VECTOR3 &offset, const VECTOR3 &carrier, double gain, double max_closing)
{
    VECTOR3 closing = _V(offset.x * gain, 0, offset.z * gain);
    const double s = Horizontal(closing);
    if (s > max_closing && s > 0) closing = closing * (max_closing / s);
    return _V(carrier.x + closing.x, 0, carrier.z + closing.z);
}

VECTOR3 WantedAcceleration(const VECTOR3 &wanted_vel, const VECTOR3 &vel, double gain, double max_accel)
{
    VECTOR3 a = _V((wanted_vel.x - vel.x) * gain, 0, (wanted_vel.z - vel.z) * gain);
    const double s = Horizontal(a);
    if (s > max_accel && s > 0) a = a * (max_accel / s);
    return a;
}

void TiltFor(const VECTOR3 &accel, double heading, double g, double max_tilt, double *pitch, double *bank)
{
    const double forward = accel.x * std::sin(heading) + accel.z * std::cos(heading);
    const double right = accel.x * std::cos(heading) - accel.z * std::sin(heading);
    // Nose down to go forward; right wing down (negative bank) to go right.
    *pitch = Clamp(-std::atan2(forward, g), -max_tilt, max_tilt);
    *bank = Clamp(-std::atan2(right, g), -max_tilt, max_tilt);
}

double ElevatorFor(double wanted_pitch, double pitch, const Gains &k)
{
    return Clamp(k.attitude * (wanted_pitch - pitch) / k.stick_rate, -1, 1);
}

double AileronFor(double wanted_bank, double bank, const Gains &k)
{
    // A positive roll rate lowers the right wing, i.e. takes the bank down.
    return Clamp(k.attitude * (bank - wanted_bank) / k.stick_rate, -1, 1);
}

double HeadingError(double wanted, double heading)
{
    double e = std::remainder(wanted - heading, 2 * kPi);
    if (e <= -kPi) e += 2 * kPi;
    return e;
}

double RudderFor(double wanted_heading, double heading, const Gains &k)
{
    // Right rudder turns the nose right (heading up) at one radian per second at full travel.
    return Clamp(k.heading * HeadingError(wanted_heading, heading), -k.max_rudder, k.max_rudder);
}

double WantedClimb(double height_error, double carrier, double max_sink, double max_climb, const Gains &k)
{
    return Clamp(carrier + k.climb * height_error, -max_sink, max_climb);
}

double TiltAllowance(double level, double climb_shortfall)
{
    if (level < kFullCollective) return 1;
    return Clamp(1 - (climb_shortfall - kShortfallFree) / kShortfallSpan, kMinTiltAllowance, 1);
}

double Collective::Level(double wanted_climb, double climb, double tilt_cos, double dt, const Gains &k)
{
    const double e = wanted_climb - climb;
    trim = Clamp(trim + k.trim_rate * e * dt, 0, 1);
    return Clamp((trim + k.collective * e) / std::max(0.5, tilt_cos), 0, 1);
}

}  // namespace pilot

namespace {

using namespace pilot;

// --- the recovery flight ---------------------------------------------------------------------
const char kParafoil[] = "Corvane_SRC_Parafoil";  // the capsule under its parafoil
const char kDrogueCapsule[] = "Corvane_SRC";       // followed until the parafoil exists
const char kHeliport[] = "Heliport";
constexpr double kG = 9.81;                  // [m/s^2]
constexpr double kSpinUpTimeout = 90;        // the rotor should be at speed by then [s]
constexpr double kAbove = 17;                // height over the capsule (the altitude hold's) [m]
constexpr double kCeiling = 3000;            // highest catch: the rotor keeps a margin with the load [m]
constexpr double kCruiseSpeed = 40;          // closing speed far from the capsule [m/s]
constexpr double kBrake = 1.5;               // deceleration planned when arriving [m/s^2]
const double kCruiseTilt = 15 * RAD;         // [rad]
const double kNearTilt = 12 * RAD;           // within kNearDistance of the aim point [rad]
constexpr double kNearDistance = 200;        // [m]
constexpr double kMaxClimb = 8, kMaxSink = 6;  // [m/s]
constexpr double kGroundClear = 4;           // below this height above the ground the stick stays centred [m]
constexpr double kTurnSpeed = 5;             // the nose follows the wanted track above this speed [m/s]
constexpr double kCarrierTurnSpeed = 2;      // or the capsule's track above this speed [m/s]
constexpr double kStandoff = 30;             // aim point behind the capsule until the close [m]
constexpr double kPoleRange = 400;           // Shift+P within this distance of the capsule [m]
constexpr double kPoleStroke = 5.5;          // the pole's full stroke, with a margin [s]
constexpr double kHoldAimError = 10;         // Shift+X within this distance of the aim point [m]
constexpr double kHoldHeightError = 2;       // and this close to 17 m above [m]
constexpr double kHoldClimbError = 1;        // climbing or sinking with the capsule within [m/s]
constexpr double kCloseRate = 1.0;           // the stand-off shrinks at this rate [m/s]
constexpr double kCloseTimeout = 120;        // no catch by then: back off and close again [s]
constexpr double kCueDistance = 15;          // the HUD is watched for the cue within this [m]
const VECTOR3 kPoleStowed = {{0, -1.126, 4.224}};  // the pole's tip drawn in [m, the helicopter's frame]
constexpr double kPoleMoved = 0.1;           // a tip farther than this from there: the pole is out [m]
constexpr double kModeCheck = 2;
constexpr double kMaxReaction = 600;         // a reaction time longer than this is a typing error [s]
constexpr double kSeenAtStart = 0.1;         // a helicopter seen this early was there when the run began [s]
constexpr double kSpoolWait = 25;            // longer than a start from rest to lift (1300 frames at 60/s) [s]             // the head-up display's mode word is read this often [s]
constexpr double kParkDelay = 5;             // on the ground, before the engine is stopped [s]
constexpr double kParkedSpeed = 0.1;         // on its gear and slower than this: at rest [m/s]
constexpr double kStoryDrogueAlt = 32000;    // the drogue opens at 33 km: seen open below this [m]
constexpr double kStoryGlideAfter = 30;      // the parafoil seen gliding this long after it appears [s]
constexpr double kStoryApproachAfter = 5;    // into the final approach [s]
constexpr double kStoryCatchAfter = 1;       // after the catch [s]
constexpr double kStoryCarryAfter = 90;      // carrying the load [s]
constexpr double kStoryLandedAfter = 5;      // after the helicopter has landed [s]

// Distance over the ground between two vessels, on the first one's reference body (haversine).
double GroundDistance(const Sight &a, const Sight &b)
{
    const double s = std::sin((b.lat - a.lat) / 2), t = std::sin((b.lng - a.lng) / 2);
    const double h = s * s + std::cos(a.lat) * std::cos(b.lat) * t * t;
    return 2 * std::asin(std::min(1.0, std::sqrt(h))) * (a.ref_radius > 0 ? a.ref_radius : a.rad);
}

// The radius distances over the ground are reckoned on: the reference body's, else the vessel's own.
double RefRadius(const Sight &s) { return s.ref_radius > 0 ? s.ref_radius : s.rad; }

bool Shows(const std::vector<std::string> &texts, const char *text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string Fmt(const char *fmt, double a, double b = 0, double c = 0, double d = 0)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    return buf;
}

class RecoveryPilot final : public Pilot {
public:
    RecoveryPilot(std::string heli, const ReactionTimes &r) : heli_name_(std::move(heli)), react_(r) {}
    void Frame(Cockpit &c) override;
    std::string Summary() const override;

private:
    enum class Phase { kWaiting, kSettle, kSpinUp, kFly, kCaught, kHome, kParked };

    void Say(Cockpit &c, const std::string &what) { c.Event("pilot: " + what); }
    void Press(Cockpit &c, const Sight &h, int key, bool shift, const char *name, const char *why);
    void CentreSticks(Cockpit &c, const Sight &h);
    void GoHome(Cockpit &c, const Sight &h);
    void TakeOver(Cockpit &c, const Sight &h, const Sight *pf);
    static bool OnItsGear(const Sight &h);
    void Watch(Cockpit &c, const Sight &h, const Sight *pf);
    void Fly(Cockpit &c, const Sight &h, const Sight *pf, const Sight *capsule);
    void Steer(Cockpit &c, const Sight &h, const VECTOR3 &aim, const VECTOR3 &carrier, double max_tilt);
    void HudAtCatch(Cockpit &c, const Sight &h, bool attached);
    void Storyboard(Cockpit &c, const Sight *h, const Sight *pf, const Sight *capsule);

    std::string heli_name_;
    ReactionTimes react_;
    Phase phase_ = Phase::kWaiting;
    double phase_t_ = 0;
    Gains k_;
    Collective collective_;
    bool pole_out_ = false, alt_hold_ = false, closing_ = false, cue_seen_ = false;
    bool looked_ = false;  // it has looked at what it takes over
    bool wait_for_rotor_ = false;  // found standing when the run began: its engine may be starting
    double pole_t_ = 0, hold_t_ = 0, close_t_ = 0, standoff_ = kStandoff;
    double landed_t_ = -1, mode_check_t_ = 0;

    // What it sees this frame (filled in place), and the head-up display when it reads it.
    Sight heli_, parafoil_, capsule_, port_;
    std::vector<std::string> hud_;

    // What the summary reports.
    double t_engine_ = -1, t_rotor_ = -1, t_pole_ = -1, t_hold_ = -1, t_close_ = -1, t_catch_ = -1;
    double t_home_ = -1, t_release_ = -1, t_descent_ = -1, t_capsule_down_ = -1, t_heli_down_ = -1, t_parked_ = -1;
    double best_dist_ = 1e300, best_above_ = 0, best_t_ = -1;
    std::string hud_at_catch_;
    double capsule_from_port_ = -1, heli_from_port_ = -1;
    VECTOR3 capsule_off_ = {{0, 0, 0}}, heli_off_ = {{0, 0, 0}};  // from the heliport: x east, z north [m]
    bool missed_ = false;

    // The storyboard: which of its views were taken, and when the parafoil was first seen.
    unsigned story_ = 0;
    double pf_first_t_ = -1;
};

void RecoveryPilot::Press(Cockpit &c, const Sight &h, int key, bool shift, const char *name, const char *why)
{
    const bool used = c.PressKey(h.name, key, shift);
    Say(c, std::string("key ") + (shift ? "shift+" : "") + name + " on " + h.name + " (" + why + ")" +
               (used ? "" : ", not taken"));
}

void RecoveryPilot::CentreSticks(Cockpit &c, const Sight &h)
{
    c.SetStick(h.name, AIRCTRL_ELEVATOR, 0);
    c.SetStick(h.name, AIRCTRL_AILERON, 0);
    c.SetStick(h.name, AIRCTRL_RUDDER, 0);
}

// What the pilot keeps an eye on every frame: the closest approach, the catch, the landings.
void RecoveryPilot::Watch(Cockpit &c, const Sight &h, const Sight *pf)
{
    const double t = c.SimTime();
    if (pf && t_catch_ < 0 && std::strcmp(pf->parent, h.name) == 0) {
        t_catch_ = t;
        HudAtCatch(c, h, true);
    }
    if (t_catch_ >= 0 && t_release_ < 0 && (!pf || !pf->parent[0])) t_release_ = t;
    if (pf && t_catch_ < 0 && !pf->landed && !pf->parent[0]) {
        const VECTOR3 off = HorizonOffset(h.lng, h.lat, pf->lng, pf->lat, h.rad);
        const double d = Horizontal(off), above = h.altitude - pf->altitude;
        if (above > 0 && d < best_dist_) best_dist_ = d, best_above_ = above, best_t_ = t;
    }
    if (pf && pf->landed && t_capsule_down_ < 0) {
        t_capsule_down_ = t;
        if (c.Look(kHeliport, &port_)) {
            capsule_from_port_ = GroundDistance(*pf, port_);
            capsule_off_ = HorizonOffset(port_.lng, port_.lat, pf->lng, pf->lat, RefRadius(port_));
        }
    }
    if (t_home_ >= 0 && h.landed && t_heli_down_ < 0) {
        t_heli_down_ = t;
        if (c.Look(kHeliport, &port_)) {
            heli_from_port_ = GroundDistance(h, port_);
            heli_off_ = HorizonOffset(port_.lng, port_.lat, h.lng, h.lat, RefRadius(port_));
        }
    }
}

// The HUD as the pilot sees it: the first "CATCH !" cue is kept as a picture, and so is the
// display right after the catch (its offsets are those the catch test saw).
void RecoveryPilot::HudAtCatch(Cockpit &c, const Sight &h, bool attached)
{
    if (!c.HudTexts(h.name, &hud_)) return;
    if (attached) {
        hud_at_catch_.clear();
        for (const std::string &s : hud_)
            if (s.rfind("delta", 0) == 0) hud_at_catch_ += (hud_at_catch_.empty() ? "" : "; ") + s;
        c.Snapshot("hud", "hx220-hud-caught.png");
        return;
    }
    if (!cue_seen_ && Shows(hud_, "CATCH !")) {
        cue_seen_ = true;
        Say(c, "the head-up display shows CATCH !");
        c.Snapshot("hud", "hx220-hud-catch.png");
    }
}

// Stick and rudder toward an aim point (offset from the helicopter in its horizon frame) while
// moving with `carrier`.
void RecoveryPilot::Steer(Cockpit &c, const Sight &h, const VECTOR3 &aim, const VECTOR3 &carrier, double max_tilt)
{
    const VECTOR3 air = h.horizon_airspeed;  // no wind: the ground speed
    const double closing = std::min(kCruiseSpeed, std::sqrt(2 * kBrake * Horizontal(aim)));
    const VECTOR3 vw = WantedVelocity(aim, carrier, k_.position, closing);
    const VECTOR3 aw = WantedAcceleration(vw, air, k_.velocity, kG * std::tan(max_tilt));
    const double hdg = h.heading;
    double wanted_hdg = hdg;
    if (Horizontal(vw) > kTurnSpeed)
        wanted_hdg = std::atan2(vw.x, vw.z);
    else if (Horizontal(carrier) > kCarrierTurnSpeed)
        wanted_hdg = std::atan2(carrier.x, carrier.z);
    double pitch, bank;
    TiltFor(aw, hdg, kG, max_tilt, &pitch, &bank);
    c.SetStick(h.name, AIRCTRL_ELEVATOR, ElevatorFor(pitch, h.pitch, k_));
    c.SetStick(h.name, AIRCTRL_AILERON, AileronFor(bank, h.bank, k_));
    c.SetStick(h.name, AIRCTRL_RUDDER, RudderFor(wanted_hdg, hdg, k_));
}

void RecoveryPilot::Fly(Cockpit &c, const Sight &h, const Sight *pf, const Sight *capsule)
{
    const double t = c.SimTime(), dt = c.StepLength();
    const Sight *target = pf;
    if (!target && capsule && !capsule->landed) target = capsule;
    const double alt = h.altitude;
    VECTOR3 aim = _V(0, 0, 0), carrier = _V(0, 0, 0);
    double wanted_alt = alt, carrier_climb = 0;
    if (target) {
        const VECTOR3 tv = target->horizon_airspeed;
        carrier = _V(tv.x, 0, tv.z);
        const double cs = Horizontal(carrier);
        const VECTOR3 behind = cs > 1 ? carrier * (-1 / cs) : _V(0, 0, -1);
        aim = HorizonOffset(h.lng, h.lat, target->lng, target->lat, h.rad) + behind * standoff_;
        wanted_alt = target->altitude + kAbove;
        if (wanted_alt > kCeiling)
            wanted_alt = kCeiling;
        else
            carrier_climb = tv.y;
    }

    // Hands: stick and rudder once clear of the ground, collective until the altitude hold has it.
    double allowance = 1;
    if (!alt_hold_) {
        const double vz = h.horizon_airspeed.y;
        const double want = WantedClimb(wanted_alt - alt, carrier_climb, kMaxSink, kMaxClimb, k_);
        const double level = collective_.Level(want, vz, std::cos(h.pitch) * std::cos(h.bank), dt, k_);
        c.SetThrottle(h.name, level);
        allowance = TiltAllowance(level, want - vz);
    }
    const bool low = h.landed || alt < h.rest_height + kGroundClear;
    if (low)
        CentreSticks(c, h);
    else
        Steer(c, h, aim, carrier, allowance * (Horizontal(aim) < kNearDistance ? kNearTilt : kCruiseTilt));
    if (!pf) return;

    // The catch: pole out, altitude hold over the capsule, then close the last metres.
    const double dist = Horizontal(HorizonOffset(h.lng, h.lat, pf->lng, pf->lat, h.rad));
    const double above = alt - pf->altitude;
    if (!pole_out_ && dist < kPoleRange) {
        Press(c, h, OAPI_KEY_P, true, "P", "pole out");
        pole_out_ = true;
        pole_t_ = t_pole_ = t;
    }
    if (pole_out_ && !alt_hold_ && t - pole_t_ >= kPoleStroke && pf->altitude + kAbove <= kCeiling &&
        Horizontal(aim) < kHoldAimError && std::fabs(above - kAbove) < kHoldHeightError &&
        std::fabs(h.horizon_airspeed.y - pf->horizon_airspeed.y) < kHoldClimbError) {
        Press(c, h, OAPI_KEY_X, true, "X", "altitude hold over the capsule");
        alt_hold_ = true;
        hold_t_ = t_hold_ = t;
    }
    if (alt_hold_ && !closing_ && t - hold_t_ >= react_.hold) {
        closing_ = true;
        close_t_ = t;
        if (t_close_ < 0) t_close_ = t;
        Say(c, "closes the last " + Fmt("%.0f", standoff_) + " m");
    }
    if (closing_) {
        standoff_ = std::max(0.0, standoff_ - kCloseRate * dt);
        if (dist < kCueDistance) HudAtCatch(c, h, false);
        if (t - close_t_ > kCloseTimeout) {
            Say(c, "no catch yet; backs off and closes again");
            closing_ = false;
            standoff_ = kStandoff;
            hold_t_ = t;
        }
    }
}

// Sticks centred, Shift+G: the helicopter's autopilot flies to the heliport.
void RecoveryPilot::GoHome(Cockpit &c, const Sight &h)
{
    CentreSticks(c, h);
    Press(c, h, OAPI_KEY_G, true, "G", "follow course to the heliport");
    if (alt_hold_) {
        // The altitude hold would keep the helicopter 17 m over the capsule once the autopilot
        // has landed and let go of the lift: the autopilot has the height now.
        Press(c, h, OAPI_KEY_X, true, "X", "altitude hold off");
        alt_hold_ = false;
    }
    t_home_ = c.SimTime();
    mode_check_t_ = t_home_ + kModeCheck;
    phase_ = Phase::kHome;
}

// What it finds when it takes the controls, read from the view and the head-up display.
void RecoveryPilot::TakeOver(Cockpit &c, const Sight &h, const Sight *pf)
{
    const double t = c.SimTime();
    if (h.landed || OnItsGear(h)) {
        if (pf && pf->landed && !pf->parent[0]) {  // the recovery is over
            if (h.main_thrust) {
                Say(c, "finds the helicopter down with its rotor turning and the capsule down");
                t_home_ = t;
                phase_ = Phase::kHome;  // the engine stops once it sits at rest
            } else {
                Say(c, "finds the helicopter parked and the capsule down");
                phase_ = Phase::kParked;
            }
        }
        // Otherwise from the seat; a helicopter found standing may have its engine spooling up (a
        // start not yet at speed shows nothing but the rotor): it waits as long as a start takes
        // before pressing K itself, which would stop that start.
        if (t <= kSeenAtStart) wait_for_rotor_ = true;
        return;
    }
    if (!h.main_thrust || !c.HudTexts(h.name, &hud_)) return;
    const bool carrying = pf && std::strcmp(pf->parent, h.name) == 0;
    const bool autopilot_home = Shows(hud_, "SUIVRE CAP") || Shows(hud_, "DESCENTE");
    alt_hold_ = Shows(hud_, "AUTOPILOTE ALTITUDE");
    pole_out_ = h.has_child_point && length(h.child_point - kPoleStowed) > kPoleMoved;  // seen from outside
    if (carrying) {
        pole_out_ = true;
        if (autopilot_home) {
            Say(c, std::string("finds the capsule on the pole and the autopilot flying home (") +
                       (Shows(hud_, "SUIVRE CAP") ? "SUIVRE CAP" : "DESCENTE") + ")");
            t_home_ = t;
            mode_check_t_ = t + kModeCheck;
            phase_ = Phase::kHome;
        } else {
            Say(c, "finds the capsule on the pole");
            phase_ = Phase::kCaught;
            phase_t_ = t;
        }
    } else if (pf && pf->landed) {
        Say(c, "finds the capsule down and the helicopter in the air; lets the autopilot land it");
        t_home_ = t;
        mode_check_t_ = t;
        phase_ = Phase::kHome;
    }
}

// The storyboard: views of the scene at the recovery's events, kept as pictures of the run (the
// release is the inputs' own view): the drogue open, the parafoil gliding, the helicopter closing
// in, the catch, the carry and the landing. Each "view <vessel> azimuth elevation distance"
// (0: far enough to see the vessel whole) is taken once.
void RecoveryPilot::Storyboard(Cockpit &c, const Sight *h, const Sight *pf, const Sight *capsule)
{
    const double t = c.SimTime();
    auto take = [&](unsigned bit, const char *vessel, const char *place, const char *file) {
        if (story_ & bit) return;
        story_ |= bit;
        c.Snapshot(std::string("view ") + vessel + place, file);
    };
    if (capsule && !pf && capsule->altitude < kStoryDrogueAlt && capsule->altitude > kStoryDrogueAlt - 5000)
        take(1, kDrogueCapsule, " 110 12 0", "story-2-drogue.png");
    if (pf && pf_first_t_ < 0) pf_first_t_ = t;
    if (pf && !pf->parent[0] && !pf->landed && t - pf_first_t_ >= kStoryGlideAfter)
        take(2, kParafoil, " 60 8 0", "story-3-glide.png");
    if (!h) return;
    if (closing_ && t_catch_ < 0 && t - close_t_ >= kStoryApproachAfter)
        take(4, h->name, " 100 -8 55", "story-4-approach.png");
    if (t_catch_ >= 0 && t - t_catch_ >= kStoryCatchAfter) take(8, h->name, " 80 -5 0", "story-5-catch.png");
    if (t_catch_ >= 0 && t_release_ < 0 && t - t_catch_ >= kStoryCarryAfter)
        take(16, h->name, " 50 5 0", "story-6-carry.png");
    if (t_heli_down_ >= 0 && t - t_heli_down_ >= kStoryLandedAfter) take(32, h->name, " 135 25 45", "story-7-landing.png");
}

void RecoveryPilot::Frame(Cockpit &c)
{
    const Sight *heli = c.Look(heli_name_.c_str(), &heli_) ? &heli_ : nullptr;
    const Sight *pf = c.Look(kParafoil, &parafoil_) ? &parafoil_ : nullptr;
    const Sight *capsule = c.Look(kDrogueCapsule, &capsule_) ? &capsule_ : nullptr;
    Storyboard(c, heli, pf, capsule);
    if (!heli) return;  // not there yet (created at 20 km by the capsule), or gone
    const Sight &h = *heli;
    const double t = c.SimTime();
    Watch(c, h, pf);
    switch (phase_) {
    case Phase::kWaiting:
        Say(c, std::string("takes the controls of ") + h.name);
        phase_ = Phase::kSettle;
        phase_t_ = t;
        break;
    case Phase::kSettle:
        if (!looked_) {
            looked_ = true;
            TakeOver(c, h, pf);
            if (phase_ != Phase::kSettle) break;
        }
        if (h.main_thrust) {
            Say(c, "rotor already at speed");
            phase_ = Phase::kFly;
        } else if (t - phase_t_ >= (wait_for_rotor_ ? std::max(kSpoolWait, react_.start) : react_.start)) {
            Press(c, h, OAPI_KEY_K, false, "K", "engine start");
            t_engine_ = t;
            phase_ = Phase::kSpinUp;
            phase_t_ = t;
        }
        break;
    case Phase::kSpinUp:
        if (h.main_thrust) {
            Say(c, "rotor at speed, lifting off");
            t_rotor_ = t;
            phase_ = Phase::kFly;
        } else if (t - phase_t_ > kSpinUpTimeout) {
            Say(c, "the rotor does not come up to speed; gives up");
            phase_ = Phase::kParked;
        }
        break;
    case Phase::kFly:
        if (t_catch_ >= 0) {
            Say(c, "the capsule hangs on the pole");
            phase_ = Phase::kCaught;
            phase_t_ = t;
            break;
        }
        if (pf && pf->landed) {
            missed_ = true;
            Say(c, "the capsule landed before the catch; back to the heliport");
            GoHome(c, h);
            break;
        }
        if (!pf && (!capsule || capsule->landed)) {  // a failed chute, or no capsule at all
            missed_ = true;
            Say(c, "nothing to catch; back to the heliport");
            GoHome(c, h);
            break;
        }
        Fly(c, h, pf, capsule);
        break;
    case Phase::kCaught: {
        // Keep moving with the load for a moment, then hand over to the autopilot.
        const VECTOR3 v = h.horizon_airspeed;
        if (t - phase_t_ < react_.handover) {
            Steer(c, h, _V(0, 0, 0), _V(v.x, 0, v.z), kNearTilt);
            break;
        }
        GoHome(c, h);
        break;
    }
    case Phase::kHome:
        if (!h.landed && !OnItsGear(h)) {
            landed_t_ = -1;
            if (t >= mode_check_t_) {
                mode_check_t_ = t + kModeCheck;
                if (c.HudTexts(h.name, &hud_) && Shows(hud_, "STATIONNAIRE")) {
                    Press(c, h, OAPI_KEY_D, true, "D", "descent: the autopilot hovers after the release");
                    if (t_descent_ < 0) t_descent_ = t;
                }
            }
            break;
        }
        if (landed_t_ < 0) landed_t_ = t;
        if (t - landed_t_ >= kParkDelay) {
            Press(c, h, OAPI_KEY_K, false, "K", "engine stop");
            t_parked_ = t;
            phase_ = Phase::kParked;
        }
        break;
    case Phase::kParked: break;
    }
}

// The helicopter sits on its gear (a touchdown point on the ground) and hardly moves.
bool RecoveryPilot::OnItsGear(const Sight &h)
{
    return h.ground_contact && length(h.horizon_airspeed) < kParkedSpeed;
}

std::string RecoveryPilot::Summary() const
{
    std::vector<std::pair<double, std::string>> ev;  // in the order they happened
    auto at = [&ev](double t, const std::string &what) {
        if (t >= 0) ev.emplace_back(t, what);
    };
    at(t_engine_, "engine start (K)");
    at(t_rotor_, "rotor at speed");
    at(t_pole_, "pole out (Shift+P)");
    at(t_hold_, "altitude hold over the capsule (Shift+X)");
    at(t_close_, "closing in");
    if (best_t_ >= 0)
        at(best_t_, Fmt("closest approach before the catch: %.1f m horizontally, %.1f m above the capsule", best_dist_,
                        best_above_));
    at(t_catch_, "capsule caught" + (hud_at_catch_.empty() ? std::string() : " (head-up display: " + hud_at_catch_ + ")"));
    at(t_home_, "follow course to the heliport (Shift+G)");
    at(t_release_, "load released");
    at(t_descent_, "descent to land (Shift+D)");
    at(t_capsule_down_, capsule_from_port_ >= 0
                            ? Fmt("capsule landed %.0f m from the heliport (%.1f m east, %.1f m north)",
                                  capsule_from_port_, capsule_off_.x, capsule_off_.z)
                            : std::string("capsule landed"));
    at(t_heli_down_, heli_from_port_ >= 0 ? Fmt("helicopter landed %.0f m from the heliport (%.1f m east, %.1f m north)",
                                                heli_from_port_, heli_off_.x, heli_off_.z)
                                          : std::string("helicopter landed"));
    at(t_parked_, "engine stop (K)");
    std::stable_sort(ev.begin(), ev.end(),
                     [](const std::pair<double, std::string> &a, const std::pair<double, std::string> &b) {
                         return a.first < b.first;
                     });
    std::string s = "recovery pilot of " + heli_name_ + ":\n";
    for (const auto &e : ev) s += Fmt("  %9.2f  ", e.first) + e.second + "\n";
    if (t_catch_ < 0) s += missed_ ? "  the capsule landed before it was caught\n" : "  no catch\n";
    return s;
}

}  // namespace

std::unique_ptr<Pilot> MakePilot(const std::vector<std::string> &args, std::string *error)
{
    std::string name = args.empty() ? std::string() : args[0];
    for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "recovery") {
        const char *usage = "expected: pilot recovery [<helicopter>] [start=S] [hold=S] [handover=S]";
        std::string heli = "HX220";
        ReactionTimes r;
        for (std::size_t i = 1; i < args.size(); ++i) {
            const std::string &w = args[i];
            const std::size_t eq = w.find('=');
            if (eq == std::string::npos) {
                if (i != 1) {
                    if (error) *error = usage;
                    return nullptr;
                }
                heli = w;
                continue;
            }
            std::string key = w.substr(0, eq);
            for (char &c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            double *slot = key == "start" ? &r.start : key == "hold" ? &r.hold : key == "handover" ? &r.handover : nullptr;
            const std::string value = w.substr(eq + 1);
            char *end = nullptr;
            const double v = value.empty() ? -1 : std::strtod(value.c_str(), &end);
            if (!slot || !end || *end || !std::isfinite(v) || v < 0 || v > kMaxReaction) {
                if (error)
                    *error = slot ? "pilot recovery: " + key + " needs a time from 0 to " + Fmt("%.0f", kMaxReaction) + " s"
                                  : std::string(usage);
                return nullptr;
            }
            *slot = v;
        }
        return std::make_unique<RecoveryPilot>(heli, r);
    }
    if (error) *error = "no virtual pilot named \"" + (args.empty() ? std::string() : args[0]) + "\"";
    return nullptr;
}

}  // namespace harness
