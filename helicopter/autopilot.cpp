// autopilot.cpp -- the hover autopilot that also flies to the heliport and lands there, and the
// assists of manual flight: heading hold or yaw damping, turn coordination, the airplane-like lift
// law and altitude hold (17 m above a free parafoil capsule while one flies).

#include "helicopter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDeg = 57.29577951308239;    // degrees per radian
constexpr double kTwoPi = 6.28318530717958;

// --- control surfaces, defined anew at each hover toggle -------------------------------------------
constexpr DWORD kAdCtrlOff = 0, kAdCtrlAll = 7;
constexpr int kAttitudeOff = 0, kAttitudeRotation = 1;
constexpr UINT kNoAnimation = (UINT)-1;
struct SurfaceDef {
    AIRCTRL_TYPE type;
    double area;         // [m^2]
    double dcl;
    VECTOR3 ref;         // [m]
    int axis_manual;     // axis code out of the hover (in the hover the host chooses: code 0)
};
const SurfaceDef kSurfaces[] = {
    {AIRCTRL_ELEVATOR, 20, 2.0, {{0, 0.8, -3.7}}, AIRCTRL_AXIS_XPOS},
    {AIRCTRL_RUDDER, 10, 2.0, {{0, 0.8, -3.8}}, AIRCTRL_AXIS_YPOS},
    {AIRCTRL_AILERON, 10, 2.0, {{5, 0, 1.25}}, AIRCTRL_AXIS_XPOS},
    {AIRCTRL_AILERON, 10, 2.0, {{-5, 0, 1.25}}, AIRCTRL_AXIS_XNEG},
    {AIRCTRL_ELEVATORTRIM, 0.1, 2.0, {{0, 0, 1.25}}, AIRCTRL_AXIS_XPOS},
};

// --- heliport target ---------------------------------------------------------------------------
constexpr double kTargetLonShift = -1e-6;     // [rad]
constexpr double kTargetLatShift = +1e-6;     // [rad]

// --- autopilot gains and limits --------------------------------------------------------------------
constexpr double kCollectiveBias = 0.7;       // lift level that the lift law adds to the speed error
constexpr double kDescentAltGain = 0.25;      // bias taken off per metre of altitude in descent
constexpr double kDescentSpeedOffset = 0.5;   // [m/s]
constexpr double kYawFromBank = -0.5;         // yaw command from the previous bank command
constexpr double kYawGain = 0.1, kYawLimit = 0.5;   // per degree of heading error; limit
constexpr double kDistScale = 100000;         // distance unit per radian of position offset
constexpr double kSpeedPerDist = 4;           // forward airspeed target per unit of distance
constexpr double kMinSpeedTarget = -20;
constexpr double kArrivalDist = 0.1;          // hand over to the descent below this distance
constexpr double kHeightBase = 3;             // [m] height target at the heliport
constexpr double kHeightErrMin = -5, kHeightErrMax = 3;
constexpr double kAttitudeGain = 0.2;         // per degree of bank or pitch against airspeed
constexpr double kLandedAlt = 1.7;            // [m]
constexpr double kRateGain = 0.5;             // [rad/s] at full command

// --- manual assists ------------------------------------------------------------------------------
constexpr double kYawDampGain = 0.2;          // per m/s of lateral airspeed
constexpr double kTurnCoordGain = -0.05, kTurnCoordMax = 0.5;
constexpr double kAltHoldGain = 0.1;          // per metre of height error
constexpr double kAltHoldAbove = 17;          // [m] above the parafoil capsule

enum Axis { AXIS_PITCH = 0, AXIS_YAW = 1, AXIS_ROLL = 2 };

double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Heading error folded into [-180, 180) [deg].
double FoldError(double e)
{
    if (e >= 180) e -= 360;
    if (e < -180) e += 360;
    return e;
}

double YawLaw(double error) { return Clamp(kYawGain * error, -kYawLimit, kYawLimit); }

// Flight path angle [deg] from forward and vertical airspeed; 0 without airspeed.
double ClimbAngle(double sz, double hy)
{
    const double v = std::sqrt(sz * sz + hy * hy);
    if (!(v > 0)) return 0;
    const double g = std::acos(Clamp(sz / v, -1, 1)) * kDeg;
    return hy < 0 ? -g : g;
}

}  // namespace

double Helicopter::CourseTo(double from_lat, double from_lon, double to_lat, double to_lon)
{
    const double dlon = to_lon - from_lon;
    // Rounding can take the cosines a hair outside [-1, 1]; the arcs themselves are defined there.
    const double d = std::acos(Clamp(std::sin(from_lat) * std::sin(to_lat) +
                                     std::cos(from_lat) * std::cos(to_lat) * std::cos(dlon), -1, 1));
    const double den = std::sin(d) * std::cos(from_lat);
    const double tan_d = std::tan(d);
    if (den == 0 || tan_d == 0 || !std::isfinite(den)) return 0;  // same place, antipode or a pole
    double c = std::acos(Clamp(std::sin(to_lat) / den - std::tan(from_lat) / tan_d, -1, 1));
    if (!std::isfinite(c)) return 0;
    if (dlon < 0) c = kTwoPi - c;
    double deg = c * kDeg;
    if (deg > 360)
        deg -= 360;
    else if (deg < 0)
        deg += 360;
    return deg;
}

void Helicopter::ToggleHover()
{
    descent_on = false;
    hover_on = !hover_on;
    ApplyHoverControls(hover_on);
}

// The host's settings that go with the hover autopilot on or off: the air-data control and the
// attitude mode, the control surfaces on the autopilot's axis or the pilot's. The host saves
// neither the surfaces' axes nor an air-data mode of 0, so a helicopter loaded hovering, or landed
// by its autopilot (the landing leaves the hover's settings as they are), sets them again after its
// creation.
void Helicopter::ApplyHoverControls(bool hover)
{
    ClearControlSurfaceDefinitions();
    hover_controls = hover;
    if (hover) {
        SetADCtrlMode(kAdCtrlOff);
        SetAttitudeMode(kAttitudeOff);
        SetControlSurfaceLevel(AIRCTRL_ELEVATORTRIM, 0);
    } else {
        SetADCtrlMode(kAdCtrlAll);
        SetAttitudeMode(kAttitudeRotation);
    }
    for (const SurfaceDef &s : kSurfaces)
        CreateControlSurface(s.type, s.area, s.dcl, s.ref, hover ? AIRCTRL_AXIS_AUTO : s.axis_manual, kNoAnimation);
}

void Helicopter::DescentCommand()
{
    if (descent_on) {
        descent_on = false;
        return;
    }
    hover_on = false;
    heading_hold_on = true;
    ToggleHover();  // engages the hover
    descent_on = true;
}

void Helicopter::FollowCourseCommand()
{
    hover_on = false;
    ToggleHover();  // engages the hover
    follow_course_on = !follow_course_on;
}

// Once per helicopter: the heliport's place and heading. Without a heliport the target stays as
// it is and is looked up again next frame.
void Helicopter::ReadHeliportTarget()
{
    OBJHANDLE h = hx220::FindVessel(hx220::kHeliportName);
    if (!h) return;
    VESSEL *port = oapiGetVesselInterface(h);
    if (!port) return;
    double hdg = 0;
    oapiGetHeading(h, &hdg);
    heading = hdg;
    target_heading = hdg * kDeg;
    double rad = 0;
    port->GetEquPos(target_lon, target_lat, rad);
    target_lon += kTargetLonShift;
    target_lat += kTargetLatShift;
    target_ready = true;
}

void Helicopter::SetLiftLevel(double level) { SetThrusterLevel(lift_thruster, level); }

void Helicopter::RunAutopilot()
{
    yaw_cmd = kYawFromBank * bank_cmd;
    double lon = 0, lat = 0, rad = 0;
    GetEquPos(lon, lat, rad);
    // The helicopter's own heading, visual or not (the module-wide handle of the last visual made
    // may be another helicopter's, or none while the camera is away).
    double h = 0;
    if (oapiGetHeading(GetHandle(), &h)) heading = h * kDeg;
    const double sx = ship_airspeed.x, sz = ship_airspeed.z, hy = horizon_airspeed.y;
    if (!descent_on)
        collective_bias = kCollectiveBias;
    else
        collective_bias = kCollectiveBias - kDescentAltGain * GetAltitude() +
                          (std::sqrt(sx * sx + hy * hy + sz * sz) - kDescentSpeedOffset);

    double level;
    if (follow_course_on) {
        if (heading > 360)
            heading -= 360;
        else if (heading < 0)
            heading += 360;
        yaw_cmd = YawLaw(FoldError(CourseTo(lat, lon, target_lat, target_lon) - heading));
        const double dlat = lat - target_lat, dlon = lon - target_lon;
        const double dist = std::sqrt(dlat * dlat + dlon * dlon) * kDistScale;
        // The forward airspeed is replaced by its error against the wanted speed: the pitch law
        // and the load's swing read this value for the rest of the frame.
        ship_airspeed.z = std::max(sz - kSpeedPerDist * dist, kMinSpeedTarget);
        if (dist < kArrivalDist) {
            descent_on = true;
            follow_course_on = false;
        }
        const double height_error = Clamp((kSpeedPerDist * dist + kHeightBase) - GetAltitude(), kHeightErrMin,
                                          kHeightErrMax);
        level = Clamp(height_error + collective_bias - hy, 0, 1);
    } else {
        level = Clamp(collective_bias - hy, 0, 1);
    }
    SetLiftLevel(level);

    if (descent_on) yaw_cmd = YawLaw(FoldError(target_heading - heading));

    const double bank_deg = GetBank() * kDeg, pitch_deg = GetPitch() * kDeg;
    bank_cmd = -Clamp(kAttitudeGain * (sx - bank_deg), -1, 1);
    pitch_cmd = Clamp(kAttitudeGain * (ship_airspeed.z - pitch_deg), -1, 1);

    if (GetAltitude() < kLandedAlt && descent_on) {  // landed: the surfaces stay as they are
        descent_on = false;
        hover_on = false;
        SetLiftLevel(0);
    }
    SetAngularRate(AXIS_ROLL, kRateGain * bank_cmd);
    SetAngularRate(AXIS_PITCH, kRateGain * pitch_cmd);
    SetAngularRate(AXIS_YAW, -yaw_cmd);
}

void Helicopter::ManualAssists(OBJHANDLE capsule)
{
    if (heading_hold_on) {
        yaw_cmd = GetControlSurfaceLevel(AIRCTRL_RUDDER);
        SetAngularRate(AXIS_YAW, -yaw_cmd);
        return;
    }
    const double sx = ship_airspeed.x, sz = ship_airspeed.z, hy = horizon_airspeed.y;

    // Yaw damping against sideslip, on top of the pilot's rudder.
    yaw_cmd = Clamp(kYawDampGain * sx, -1, 1);
    SetAngularRate(AXIS_YAW, -GetControlSurfaceLevel(AIRCTRL_RUDDER) - yaw_cmd);

    // Turn coordination: a banked, nose-down helicopter raises its nose.
    const double pitch_deg = GetPitch() * kDeg;
    const double t = kTurnCoordGain * pitch_deg * std::sin(std::fabs(GetBank()));
    VECTOR3 w;
    GetAngularVel(w);
    w.x += Clamp(t, 0, kTurnCoordMax);
    CommandAngularVel(w, 0x7);

    const double gamma = ClimbAngle(sz, hy);

    // Lift laws, the first that applies.
    if (plane_mode_on) {
        SetLiftLevel(Clamp(pitch_deg - gamma + collective_bias - hy, 0, 1));
    } else if (capsule && !attached) {
        VESSEL *c = oapiGetVesselInterface(capsule);
        if (!c) return;
        VECTOR3 cv;
        c->GetHorizonAirspeedVector(cv);
        if (alt_hold_on) {
            const double height_error = GetAltitude() - (c->GetAltitude() + kAltHoldAbove);
            SetLiftLevel(Clamp(collective_bias - kAltHoldGain * height_error - (hy - cv.y), 0, 1));
        }
    } else if (alt_hold_on) {
        SetLiftLevel(Clamp(collective_bias - hy, 0, 1));
    }
}
