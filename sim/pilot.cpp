// pilot.cpp -- the harness's virtual pilot "recovery": flies the recovery helicopter through the
// catch of the capsule under its parafoil as a person at the controls would. Its hands: the stick
// (elevator, ailerons), the rudder, the collective (the main throttle) and the helicopter's keys. Its
// eyes: what the cockpit and the view outside show (positions, altitudes, ground speeds, attitude
// and heading of the helicopter and of the capsule it chases) and the head-up display's texts.
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
#include "pilot.h"

#include "cli.h"
#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace sim {
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
constexpr double kSettleTime = 0.5;          // in the seat before touching anything [s]
constexpr double kSpinUpTimeout = 90;        // the rotor should be at speed by then [s]
constexpr double kAbove = 17;                // height over the capsule (the altitude hold's) [m]
constexpr double kCeiling = 3000;            // highest catch: the rotor keeps a margin with the load [m]
constexpr double kCruiseSpeed = 40;          // closing speed far from the capsule [m/s]
constexpr double kBrake = 1.5;               // deceleration planned when arriving [m/s^2]
constexpr double kCruiseTilt = 15 * RAD;     // [rad]
constexpr double kNearTilt = 12 * RAD;       // within kNearDistance of the aim point [rad]
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
constexpr double kHoldSettle = 3;            // the altitude hold settles before the close [s]
constexpr double kCloseRate = 1.0;           // the stand-off shrinks at this rate [m/s]
constexpr double kCloseTimeout = 120;        // no catch by then: back off and close again [s]
constexpr double kCueDistance = 15;          // the HUD is watched for the cue within this [m]
constexpr double kLoadSettle = 1;            // with the load, before Shift+G [s]
constexpr double kModeCheck = 2;             // the head-up display's mode word is read this often [s]
constexpr double kParkDelay = 5;             // on the ground, before the engine is stopped [s]
constexpr double kParkedSpeed = 0.1;         // on its gear and slower than this: at rest [m/s]
constexpr int kHudW = 1024, kHudH = 768;     // the head-up display's picture [pixels]
constexpr double kStoryDrogueAlt = 32000;    // the drogue opens at 33 km: seen open below this [m]
constexpr double kStoryGlideAfter = 30;      // the parafoil seen gliding this long after it appears [s]
constexpr double kStoryApproachAfter = 5;    // into the final approach [s]
constexpr double kStoryCatchAfter = 1;       // after the catch [s]
constexpr double kStoryCarryAfter = 90;      // carrying the load [s]
constexpr double kStoryLandedAfter = 5;      // after the helicopter has landed [s]

double GroundDistance(const Vessel *a, const Vessel *b)
{
    double la, pa, ra, lb, pb, rb;
    a->EquPos(la, pa, ra);
    b->EquPos(lb, pb, rb);
    const double s = std::sin((pb - pa) / 2), t = std::sin((lb - la) / 2);
    const double h = s * s + std::cos(pa) * std::cos(pb) * t * t;
    return 2 * std::asin(std::min(1.0, std::sqrt(h))) * (a->ref ? a->ref->radius : ra);
}

std::string Fmt(const char *fmt, double a, double b = 0, double c = 0, double d = 0)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    return buf;
}

class RecoveryPilot final : public Pilot {
public:
    explicit RecoveryPilot(std::string heli) : heli_name_(std::move(heli)) {}
    void Frame(World &w) override;
    std::string Summary() const override;

private:
    enum class Phase { kWaiting, kSettle, kSpinUp, kFly, kCaught, kHome, kParked };

    void Say(World &w, const std::string &what) { w.Event("pilot: " + what); }
    void Press(World &w, Vessel *h, DWORD key, bool shift, const char *name, const char *why);
    void CentreSticks(World &w, Vessel *h);
    void GoHome(World &w, Vessel *h);
    static bool OnItsGear(const Vessel *h);
    bool LiftPresent(const Vessel *h) const;
    void Watch(World &w, Vessel *h, Vessel *pf);
    void Fly(World &w, Vessel *h, Vessel *pf);
    void Steer(World &w, Vessel *h, const VECTOR3 &aim, const VECTOR3 &carrier, double max_tilt);
    void HudAtCatch(World &w, Vessel *h, bool attached);
    void Storyboard(World &w, Vessel *h);

    std::string heli_name_;
    Phase phase_ = Phase::kWaiting;
    double phase_t_ = 0;
    Gains k_;
    Collective collective_;
    bool pole_out_ = false, alt_hold_ = false, closing_ = false, cue_seen_ = false;
    double pole_t_ = 0, hold_t_ = 0, close_t_ = 0, standoff_ = kStandoff;
    double landed_t_ = -1, mode_check_t_ = 0;

    // What the summary reports.
    double t_engine_ = -1, t_rotor_ = -1, t_pole_ = -1, t_hold_ = -1, t_close_ = -1, t_catch_ = -1;
    double t_home_ = -1, t_release_ = -1, t_descent_ = -1, t_capsule_down_ = -1, t_heli_down_ = -1, t_parked_ = -1;
    double best_dist_ = 1e300, best_above_ = 0, best_t_ = -1;
    std::string hud_at_catch_;
    double capsule_from_port_ = -1, heli_from_port_ = -1;
    bool missed_ = false;

    // The storyboard: which of its views were taken, and when the parafoil was first seen.
    unsigned story_ = 0;
    double pf_first_t_ = -1;
};

void RecoveryPilot::Press(World &w, Vessel *h, DWORD key, bool shift, const char *name, const char *why)
{
    const int used = w.PressKey(key, shift, h);
    Say(w, std::string("key ") + (shift ? "shift+" : "") + name + " on " + h->name + " (" + why + ")" +
               (used ? "" : ", not taken"));
}

void RecoveryPilot::CentreSticks(World &w, Vessel *h)
{
    w.SetPilotControl(h, AIRCTRL_ELEVATOR, 0);
    w.SetPilotControl(h, AIRCTRL_AILERON, 0);
    w.SetPilotControl(h, AIRCTRL_RUDDER, 0);
}

// The lift is there when the rotor is at speed: the main (collective) group has a thruster.
bool RecoveryPilot::LiftPresent(const Vessel *h) const
{
    for (const ThrusterGroup *g : h->groups)
        if (g->alive && g->type == THGROUP_MAIN)
            for (const Thruster *t : g->thrusters)
                if (t->alive) return true;
    return false;
}

// What the pilot keeps an eye on every frame: the closest approach, the catch, the landings.
void RecoveryPilot::Watch(World &w, Vessel *h, Vessel *pf)
{
    const double t = w.SimTime();
    Vessel *port = w.FindVessel(kHeliport);
    if (pf && t_catch_ < 0 && pf->parent == h) {
        t_catch_ = t;
        HudAtCatch(w, h, true);
    }
    if (t_catch_ >= 0 && t_release_ < 0 && (!pf || !pf->parent)) t_release_ = t;
    if (pf && t_catch_ < 0 && !pf->landed && !pf->parent) {
        double lh, ph, rh, lp, pp, rp;
        h->EquPos(lh, ph, rh);
        pf->EquPos(lp, pp, rp);
        const VECTOR3 off = HorizonOffset(lh, ph, lp, pp, rh);
        const double d = Horizontal(off), above = h->Altitude() - pf->Altitude();
        if (above > 0 && d < best_dist_) best_dist_ = d, best_above_ = above, best_t_ = t;
    }
    if (pf && pf->landed && t_capsule_down_ < 0) {
        t_capsule_down_ = t;
        if (port) capsule_from_port_ = GroundDistance(pf, port);
    }
    if (t_home_ >= 0 && h->landed && t_heli_down_ < 0) {
        t_heli_down_ = t;
        if (port) heli_from_port_ = GroundDistance(h, port);
    }
}

// The HUD as the pilot sees it: the first "CATCH !" cue is kept as a picture, and so is the
// display right after the catch (its offsets are those the catch test saw).
void RecoveryPilot::HudAtCatch(World &w, Vessel *h, bool attached)
{
    DrawRecorder *hud = w.DrawHud(kHudW, kHudH, h);
    if (!hud) return;
    if (attached) {
        hud_at_catch_.clear();
        for (const std::string &s : hud->Texts())
            if (s.rfind("delta", 0) == 0) hud_at_catch_ += (hud_at_catch_.empty() ? "" : "; ") + s;
        if (snapshot) snapshot("hud", "hx220-hud-caught.png");
        return;
    }
    if (!cue_seen_ && hud->FindText("CATCH !")) {
        cue_seen_ = true;
        Say(w, "the head-up display shows CATCH !");
        if (snapshot) snapshot("hud", "hx220-hud-catch.png");
    }
}

// Stick and rudder toward an aim point (offset from the helicopter in its horizon frame) while
// moving with `carrier`.
void RecoveryPilot::Steer(World &w, Vessel *h, const VECTOR3 &aim, const VECTOR3 &carrier, double max_tilt)
{
    const VECTOR3 air = h->HorizonAirspeed();  // no wind: the ground speed
    const double closing = std::min(kCruiseSpeed, std::sqrt(2 * kBrake * Horizontal(aim)));
    const VECTOR3 vw = WantedVelocity(aim, carrier, k_.position, closing);
    const VECTOR3 aw = WantedAcceleration(vw, air, k_.velocity, kG * std::tan(max_tilt));
    const double hdg = h->Heading();
    double wanted_hdg = hdg;
    if (Horizontal(vw) > kTurnSpeed)
        wanted_hdg = std::atan2(vw.x, vw.z);
    else if (Horizontal(carrier) > kCarrierTurnSpeed)
        wanted_hdg = std::atan2(carrier.x, carrier.z);
    double pitch, bank;
    TiltFor(aw, hdg, kG, max_tilt, &pitch, &bank);
    w.SetPilotControl(h, AIRCTRL_ELEVATOR, ElevatorFor(pitch, h->Pitch(), k_));
    w.SetPilotControl(h, AIRCTRL_AILERON, AileronFor(bank, h->Bank(), k_));
    w.SetPilotControl(h, AIRCTRL_RUDDER, RudderFor(wanted_hdg, hdg, k_));
}

void RecoveryPilot::Fly(World &w, Vessel *h, Vessel *pf)
{
    const double t = w.SimTime(), dt = w.StepLength();
    Vessel *target = pf;
    if (!target) {
        Vessel *c = w.FindVessel(kDrogueCapsule);
        if (c && !c->landed) target = c;
    }
    double lh, ph, rh;
    h->EquPos(lh, ph, rh);
    const double alt = h->Altitude();
    VECTOR3 aim = _V(0, 0, 0), carrier = _V(0, 0, 0);
    double wanted_alt = alt, carrier_climb = 0;
    if (target) {
        double lt, pt, rt;
        target->EquPos(lt, pt, rt);
        const VECTOR3 tv = target->HorizonAirspeed();
        carrier = _V(tv.x, 0, tv.z);
        const double cs = Horizontal(carrier);
        const VECTOR3 behind = cs > 1 ? carrier * (-1 / cs) : _V(0, 0, -1);
        aim = HorizonOffset(lh, ph, lt, pt, rh) + behind * standoff_;
        wanted_alt = target->Altitude() + kAbove;
        if (wanted_alt > kCeiling)
            wanted_alt = kCeiling;
        else
            carrier_climb = tv.y;
    }

    // Hands: stick and rudder once clear of the ground, collective until the altitude hold has it.
    double allowance = 1;
    if (!alt_hold_) {
        const double vz = h->HorizonAirspeed().y;
        const double want = WantedClimb(wanted_alt - alt, carrier_climb, kMaxSink, kMaxClimb, k_);
        const double level = collective_.Level(want, vz, std::cos(h->Pitch()) * std::cos(h->Bank()), dt, k_);
        w.SetThrottle(h, level);
        allowance = TiltAllowance(level, want - vz);
    }
    const bool low = h->landed || alt < h->landed_elev + kGroundClear;
    if (low)
        CentreSticks(w, h);
    else
        Steer(w, h, aim, carrier, allowance * (Horizontal(aim) < kNearDistance ? kNearTilt : kCruiseTilt));
    if (!pf) return;

    // The catch: pole out, altitude hold over the capsule, then close the last metres.
    double lp, pp, rp;
    pf->EquPos(lp, pp, rp);
    const double dist = Horizontal(HorizonOffset(lh, ph, lp, pp, rh));
    const double above = alt - pf->Altitude();
    if (!pole_out_ && dist < kPoleRange) {
        Press(w, h, OAPI_KEY_P, true, "P", "pole out");
        pole_out_ = true;
        pole_t_ = t_pole_ = t;
    }
    if (pole_out_ && !alt_hold_ && t - pole_t_ >= kPoleStroke && pf->Altitude() + kAbove <= kCeiling &&
        Horizontal(aim) < kHoldAimError && std::fabs(above - kAbove) < kHoldHeightError &&
        std::fabs(h->HorizonAirspeed().y - pf->HorizonAirspeed().y) < kHoldClimbError) {
        Press(w, h, OAPI_KEY_X, true, "X", "altitude hold over the capsule");
        alt_hold_ = true;
        hold_t_ = t_hold_ = t;
    }
    if (alt_hold_ && !closing_ && t - hold_t_ >= kHoldSettle) {
        closing_ = true;
        close_t_ = t;
        if (t_close_ < 0) t_close_ = t;
        Say(w, "closes the last " + Fmt("%.0f", standoff_) + " m");
    }
    if (closing_) {
        standoff_ = std::max(0.0, standoff_ - kCloseRate * dt);
        if (dist < kCueDistance) HudAtCatch(w, h, false);
        if (t - close_t_ > kCloseTimeout) {
            Say(w, "no catch yet; backs off and closes again");
            closing_ = false;
            standoff_ = kStandoff;
            hold_t_ = t;
        }
    }
}

// Sticks centred, Shift+G: the helicopter's autopilot flies to the heliport.
void RecoveryPilot::GoHome(World &w, Vessel *h)
{
    CentreSticks(w, h);
    Press(w, h, OAPI_KEY_G, true, "G", "follow course to the heliport");
    if (alt_hold_) {
        // The altitude hold would keep the helicopter 17 m over the capsule once the autopilot
        // has landed and let go of the lift: the autopilot has the height now.
        Press(w, h, OAPI_KEY_X, true, "X", "altitude hold off");
        alt_hold_ = false;
    }
    t_home_ = w.SimTime();
    mode_check_t_ = t_home_ + kModeCheck;
    phase_ = Phase::kHome;
}

// The storyboard: views of the scene at the recovery's events, kept as pictures of the run (the
// release is the inputs' own view): the drogue open, the parafoil gliding, the helicopter closing
// in, the catch, the carry and the landing. Each "view <vessel> azimuth elevation distance"
// (0: far enough to see the vessel whole) is taken once.
void RecoveryPilot::Storyboard(World &w, Vessel *h)
{
    if (!snapshot) return;
    const double t = w.SimTime();
    auto take = [&](unsigned bit, const std::string &view, const char *file) {
        if (story_ & bit) return;
        story_ |= bit;
        snapshot(view, file);
    };
    const Vessel *capsule = w.FindVessel(kDrogueCapsule), *pf = w.FindVessel(kParafoil);
    if (capsule && !pf && capsule->Altitude() < kStoryDrogueAlt && capsule->Altitude() > kStoryDrogueAlt - 5000)
        take(1, "view Corvane_SRC 110 12 0", "story-2-drogue.png");
    if (pf && pf_first_t_ < 0) pf_first_t_ = t;
    if (pf && !pf->parent && !pf->landed && t - pf_first_t_ >= kStoryGlideAfter) take(2, "view Corvane_SRC_Parafoil 60 8 0", "story-3-glide.png");
    if (!h) return;
    const std::string heli = "view " + h->name;
    if (closing_ && t_catch_ < 0 && t - close_t_ >= kStoryApproachAfter) take(4, heli + " 100 -8 55", "story-4-approach.png");
    if (t_catch_ >= 0 && t - t_catch_ >= kStoryCatchAfter) take(8, heli + " 80 -5 0", "story-5-catch.png");
    if (t_catch_ >= 0 && t_release_ < 0 && t - t_catch_ >= kStoryCarryAfter) take(16, heli + " 50 5 0", "story-6-carry.png");
    if (t_heli_down_ >= 0 && t - t_heli_down_ >= kStoryLandedAfter) take(32, heli + " 135 25 45", "story-7-landing.png");
}

void RecoveryPilot::Frame(World &w)
{
    Vessel *h = w.FindVessel(heli_name_);
    Storyboard(w, h);
    if (!h) return;  // not there yet (created at 20 km by the capsule), or gone
    const double t = w.SimTime();
    Vessel *pf = w.FindVessel(kParafoil);
    Watch(w, h, pf);
    switch (phase_) {
    case Phase::kWaiting:
        Say(w, "takes the controls of " + h->name);
        phase_ = Phase::kSettle;
        phase_t_ = t;
        break;
    case Phase::kSettle:
        if (LiftPresent(h)) {
            Say(w, "rotor already at speed");
            phase_ = Phase::kFly;
        } else if (t - phase_t_ >= kSettleTime) {
            Press(w, h, OAPI_KEY_K, false, "K", "engine start");
            t_engine_ = t;
            phase_ = Phase::kSpinUp;
            phase_t_ = t;
        }
        break;
    case Phase::kSpinUp:
        if (LiftPresent(h)) {
            Say(w, "rotor at speed, lifting off");
            t_rotor_ = t;
            phase_ = Phase::kFly;
        } else if (t - phase_t_ > kSpinUpTimeout) {
            Say(w, "the rotor does not come up to speed; gives up");
            phase_ = Phase::kParked;
        }
        break;
    case Phase::kFly:
        if (t_catch_ >= 0) {
            Say(w, "the capsule hangs on the pole");
            phase_ = Phase::kCaught;
            phase_t_ = t;
            break;
        }
        if (pf && pf->landed) {
            missed_ = true;
            Say(w, "the capsule landed before the catch; back to the heliport");
            GoHome(w, h);
            break;
        }
        if (!pf) {
            const Vessel *c = w.FindVessel(kDrogueCapsule);
            if (!c || c->landed) {  // a failed chute, or no capsule at all
                missed_ = true;
                Say(w, "nothing to catch; back to the heliport");
                GoHome(w, h);
                break;
            }
        }
        Fly(w, h, pf);
        break;
    case Phase::kCaught: {
        // Keep moving with the load for a moment, then hand over to the autopilot.
        const VECTOR3 v = h->HorizonAirspeed();
        if (t - phase_t_ < kLoadSettle) {
            Steer(w, h, _V(0, 0, 0), _V(v.x, 0, v.z), kNearTilt);
            break;
        }
        GoHome(w, h);
        break;
    }
    case Phase::kHome:
        if (!h->landed && !OnItsGear(h)) {
            landed_t_ = -1;
            if (t >= mode_check_t_) {
                mode_check_t_ = t + kModeCheck;
                DrawRecorder *hud = w.DrawHud(kHudW, kHudH, h);
                if (hud && hud->FindText("STATIONNAIRE")) {
                    Press(w, h, OAPI_KEY_D, true, "D", "descent: the autopilot hovers after the release");
                    if (t_descent_ < 0) t_descent_ = t;
                }
            }
            break;
        }
        if (landed_t_ < 0) landed_t_ = t;
        if (t - landed_t_ >= kParkDelay) {
            Press(w, h, OAPI_KEY_K, false, "K", "engine stop");
            t_parked_ = t;
            phase_ = Phase::kParked;
        }
        break;
    case Phase::kParked: break;
    }
}

// The helicopter sits on its gear (a touchdown point on the ground) and hardly moves.
bool RecoveryPilot::OnItsGear(const Vessel *h)
{
    return h->surface_contact && length(h->HorizonAirspeed()) < kParkedSpeed;
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
    at(t_capsule_down_, capsule_from_port_ >= 0 ? Fmt("capsule landed %.0f m from the heliport", capsule_from_port_)
                                                : std::string("capsule landed"));
    at(t_heli_down_, heli_from_port_ >= 0 ? Fmt("helicopter landed %.0f m from the heliport", heli_from_port_)
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

Pilot *MakePilot(const std::vector<std::string> &args, std::string *error)
{
    std::string name = args.empty() ? std::string() : args[0];
    for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "recovery") {
        if (args.size() > 2) {
            if (error) *error = "expected: pilot recovery [<helicopter>]";
            return nullptr;
        }
        return new RecoveryPilot(args.size() == 2 ? args[1] : "HX220");
    }
    if (error) *error = "no virtual pilot named \"" + (args.empty() ? std::string() : args[0]) + "\"";
    return nullptr;
}

}  // namespace sim
