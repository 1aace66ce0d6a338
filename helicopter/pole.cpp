// pole.cpp -- the capture pole under the nose: its stroke, the attachment point that moves with
// it, the catch of the parafoil capsule in a small box below the helicopter, the load's swing and
// its release.

#include "helicopter.h"

#include <algorithm>
#include <cmath>

namespace {

// --- catch window ---------------------------------------------------------------------------------
constexpr double kCatchAngle = 1e-6;          // |longitude| and |latitude| offsets [rad]
constexpr double kCatchBelowMin = 14;         // capsule below the helicopter [m]
constexpr double kCatchBelowMax = 18;         // [m]
constexpr double kCatchMinAlt = 20;           // a capsule at or below this altitude is never caught [m]

// --- attachment point along the stroke [m, vessel frame] -------------------------------------------
constexpr double kSlideEnd = 0.5;             // stroke position where the slide ends and the swing starts
constexpr double kTipZStart = 4.224;
constexpr double kTipZPerStroke = 2 * 1.3;    // [m per unit of stroke] during the slide
constexpr double kTipZSlid = 5.524;
constexpr double kSwingMax = -140;            // [deg] at the end of the stroke
constexpr double kPivotY = -1.217, kPivotZ = 1.241;
const VECTOR3 kPoleDir = {{0, 0, 1}};

// --- the capsule's own point while it hangs on the pole ----------------------------------------------
const VECTOR3 kLoadPoint = {{0, 13, 0.5}};    // [m]

// The capsule's point swung by `a` about its x axis: direction (0, 0, 1) and rotation reference
// (0, 1, 0) both turned by a, so the pair stays at right angles. The host builds the child's
// attitude from the pair as given, without making it orthogonal (Vessel.cpp, AttachChild and
// SetAttachmentParams), so a direction left at (0, 0, 1) beside a turned reference would shear it.
void LoadSwingAxes(double a, VECTOR3 &dir, VECTOR3 &rot)
{
    const double c = std::cos(a), s = std::sin(a);
    dir = _V(0, -s, c);
    rot = _V(0, c, s);
}

}  // namespace

void Helicopter::TogglePole()
{
    if (pole_state == POLE_RETRACTED || pole_state == POLE_RETRACTING)
        pole_state = POLE_EXTENDING;
    else if (pole_state == POLE_EXTENDING || pole_state == POLE_EXTENDED)
        pole_state = POLE_RETRACTING;
}

void Helicopter::CatchParafoil()
{
    OBJHANDLE h = hx220::FindVessel(hx220::kParafoilName);
    if (!h) return;
    VESSEL *capsule = oapiGetVesselInterface(h);
    if (!capsule) return;
    AttachChild(h, pole_attach, capsule->GetAttachmentHandle(true, 0));
    attached = true;  // corrected by the next frame's attachment status if the host refused
}

void Helicopter::ReleaseLoad()
{
    if (DetachChild(pole_attach, 0)) descent_on = false;
    attached = false;
}

void Helicopter::TrackParafoil(OBJHANDLE capsule)
{
    if (!capsule) return;
    VESSEL *c = oapiGetVesselInterface(capsule);
    if (!c) return;
    c->GetEquPos(pf_lon, pf_lat, pf_rad);
    pf_alt = c->GetAltitude();
    GetEquPos(own_lon, own_lat, own_rad);
    own_alt = GetAltitude();

    const double below = own_alt - pf_alt;
    if (!attached && std::fabs(own_lon - pf_lon) <= kCatchAngle && std::fabs(own_lat - pf_lat) <= kCatchAngle &&
        below >= kCatchBelowMin && below <= kCatchBelowMax && pf_alt > kCatchMinAlt)
        CatchParafoil();
}

void Helicopter::MovePole(double simdt, OBJHANDLE capsule)
{
    const double step = hx220::kPoleSpeed * simdt;
    if (pole_state == POLE_RETRACTING) {
        if (pole_pos > 0)
            pole_pos = std::max(pole_pos - step, 0.0);
        else
            pole_state = POLE_RETRACTED;
    } else if (pole_state == POLE_EXTENDING) {
        if (pole_pos < 1)
            pole_pos = std::min(pole_pos + step, 1.0);
        else
            pole_state = POLE_EXTENDED;
    }

    VECTOR3 point;
    if (pole_pos < kSlideEnd) {
        hx220::pole_tip_z = kTipZStart + kTipZPerStroke * pole_pos;
        point = _V(0, hx220::pole_tip_y, hx220::pole_tip_z);
    } else {
        hx220::pole_tip_z = kTipZSlid;
        hx220::pole_swing = (pole_pos - kSlideEnd) * 2 * kSwingMax * RAD;
        const double c = std::cos(hx220::pole_swing), s = std::sin(hx220::pole_swing);
        const double w = kTipZSlid - kPivotZ, b = hx220::pole_tip_y - kPivotY;
        point = _V(0, s * w + c * b + kPivotY, c * w - s * b + kPivotZ);
    }
    const double a = ship_airspeed.x * RAD;  // the load leans with the lateral airspeed
    SetAttachmentParams(pole_attach, point, kPoleDir, _V(std::sin(a), std::cos(a), 0));

    if (capsule && attached) {
        VESSEL *c = oapiGetVesselInterface(capsule);
        if (c) {
            const double f = ship_airspeed.z * RAD;  // and swings with the forward airspeed
            VECTOR3 dir, rot;
            LoadSwingAxes(f, dir, rot);
            c->SetAttachmentParams(c->GetAttachmentHandle(true, 0), kLoadPoint, dir, rot);
        }
    }
    SetAnimation(anim_pole, pole_pos);
}
