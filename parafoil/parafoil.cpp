// parafoil.cpp -- vessel module corvane_src_parafoil: the sample return capsule gliding under its
// opened parafoil. Two airfoils with tabulated coefficients, a trim surface held at full deflection,
// a canopy that unfolds in 2 s, and one attachment point (index 0 of the to-parent points) that the
// recovery helicopter hooks to its pole. Shows one of three meshes: flying, caught or landed.

// The module's one source: it asks the SDK for the module entry glue (the Linux port links it
// only then).
#define ORBITER_MODULE
#include "Orbitersdk.h"

#include "motion_state.h"
#include "piecewise_linear.h"
#include "scenario_keyword.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// ---------------------------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------------------------

const double kPi = 3.14159265358979;  // as the coefficient tables and the capture point take it
const double kRad = kPi / 180.0;      // [rad/deg]

const char *const kMeshFlying = "CorvaneMission/cvn_src_parafoil90";
const char *const kMeshCaught = "CorvaneMission/cvn_src_parafoil_col1";
const char *const kMeshLanded = "CorvaneMission/cvn_src_parafoil_col2";

// Shown mesh (the scenario stores the number)
enum ParafoilMeshConfig : int {
    FLYING = 0,  // free flight under the canopy
    CAUGHT = 1,  // attached to a parent
    LANDED = 2   // on the ground; final
};

// Physical definition
const double kCwZPos = 2.0, kCwZNeg = 0.8, kCwX = 0.8, kCwY = 0.8;  // drag coefficients
const double kSize = 7.0;                                          // [m]
const double kCogElev = 0.1;                                       // [m]
const VECTOR3 kCrossSections = {9.0, 52.0, 35.0};                  // [m^2]
const VECTOR3 kPmi = {88.0, 7.0, 88.0};                            // [m^2]
const double kEmptyMass = 191.0;                                   // [kg] capsule body's share of 205 kg
const VECTOR3 kTouchdown[3] = {{0, -0.3, 1.0}, {-1.0, -0.3, -1.0}, {1.0, -0.3, -1.0}};  // [m]
const double kMomentScale = 0.001;                                 // pitch and bank moment scale
const VECTOR3 kCameraOffset = {0, 1.0, -4.0};                      // [m]
const VECTOR3 kRotDrag = {0.7, 0.7, 0.7};

// The attachment point for a parent
const VECTOR3 kCapturePos = {0, 13.0, 0};  // [m]
const VECTOR3 kCaptureDir = {0, 0, -1};
const VECTOR3 kCaptureRot = {0, 1, 0};
const double kCaptureSpeedLimit = 450.0;  // [m/s] forward airspeed beyond which the point turns no further
const double kCaptureTurnRate = 0.2;      // [deg per m/s]

// Airfoils
const VECTOR3 kWingRef = {0.1, 3.5, -0.3};  // [m] vertical-lift airfoil (the canopy)
const VECTOR3 kFinRef = {0, 1.0, -4.0};     // [m] horizontal-lift airfoil
const double kWingChord = 5.0;              // [m]
const double kWingArea = 90.0;              // [m^2]
const double kFinChord = 5.0;               // [m]
const double kFinArea = 15.0;               // [m^2]
const double kAspect = 1.5;                 // both airfoils
const double kCd0 = 0.03;                   // profile drag, both airfoils
const double kCdAoa = 0.4;                  // vertical airfoil: drag rise with sin^2(aoa)
const double kWingEfficiency = 0.7;         // induced drag efficiency, vertical airfoil
const double kFinEfficiency = 0.6;          // induced drag efficiency, horizontal airfoil
const double kWaveM1 = 0.75, kWaveM2 = 1.0, kWaveM3 = 1.1, kWaveCmax = 0.04;

// Trim surface
const double kTrimArea = 0.3;               // [m^2]
const double kTrimDCl = 1.5;
const VECTOR3 kTrimRef = {0, 0, -7.2};      // [m]
const double kTrimLevel = 1.0;              // held every step
// The host moves a surface made without a delay toward its level at 1 per second and saves no
// deflection: a reload would start the trim from neutral and glide a second on less of it. The
// deflection is saved as "TRIM" and put back over the first frame after a load, with a surface of
// no delay (it goes straight to its level), then the surface is made again as at creation.
const double kTrimDelay = 1.0;              // [s] the host's delay for CreateControlSurface
const double kTrimDirect = 0.0;             // [s] no delay: the deflection is set at once

// Canopy
const double kCanopyRate = 0.5;             // [1/s] full travel in 2 s
UINT kCanopyGroup[1] = {5};                 // group 5 of mesh 0; the host keeps the pointer
const VECTOR3 kCanopyScaleRef = {0, 0, 0};  // [m]

// A landed status record whose arot.x is above 4 carries no attitude: the host then sets the vessel
// level on its touchdown points at the record's heading (Vesselstatus.cpp, Vessel::SetState2; its
// scenario reader uses 10 as "not set"). With arot.x 4 or less it would take arot as the attitude in
// the planet's frame, so a zero-filled record would stand the vessel on its tail.
const double kArotNotSet = 10.0;

// Scenario lines
// Room for a saved "<state> <position>" value: "%d %0.4f" of any finite position the loader
// accepts takes at most 11 + 1 + 316 characters (an int, a blank, and a minus sign, the 309 integer
// digits of the largest double, the point and four decimals), so nothing is ever cut.
const std::size_t kSaveValueSize = 336;
const VECTOR3 kCanopyPackScale = {0.25, 0.04, 0.25};
const double kCanopyPack0 = 0.1, kCanopyPack1 = 1.0;
const VECTOR3 kCanopyFoldScale = {0.2, 1.0, 0.2};
const double kCanopyFold0 = 0.0, kCanopyFold1 = 0.3;

const double kSetDownAltitude = 0.5;        // [m] below it the vessel is set landed

// Vertical airfoil coefficients by angle of attack [deg]
const int kVertN = 9;
const double kVertAoaDeg[kVertN] = {-180, -60, -30, -2, 10, 15, 50, 90, 180};
const double kVertCl[kVertN] = {0, 0, -0.4, 0, 0.3, 0.6, 0.8, 0, 0};
const double kVertCm[kVertN] = {0, 0, 0.014, 0.0039, -0.006, -0.008, -0.010, 0, 0};

// Horizontal airfoil coefficients by sideslip angle [deg]
const int kHorzN = 8;
const double kHorzBetaDeg[kHorzN] = {-180, -135, -90, -45, 45, 90, 135, 180};
const double kHorzCl[kHorzN] = {0, 0.3, 0, -0.4, 0.4, 0, -0.3, 0};

// ---------------------------------------------------------------------------------------------
// Module-wide data: kept from load to unload, shared by every parafoil capsule
// ---------------------------------------------------------------------------------------------

std::optional<MGROUP_SCALE> g_canopy_pack;  // built on the first clbkSetClassCaps
std::optional<MGROUP_SCALE> g_canopy_fold;

double g_vert_aoa[kVertN];  // [rad], converted on the first call of ParafoilVerticalCoeff
bool g_vert_ready = false;
double g_horz_beta[kHorzN];  // [rad], converted on the first call of ParafoilHorizontalCoeff
bool g_horz_ready = false;

void ToRadians(const double *deg, double *rad, int n)
{
    for (int i = 0; i < n; ++i) rad[i] = deg[i] * kRad;
}

// Linear interpolation in a breakpoint table. The angle is held to the table's span so that an
// angle a hair beyond the end breakpoint (pi as the host gives it is just above the tabulated one)
// reads the end value instead of running past the table; NaN stays NaN.
double TableAt(const double *xs, const double *ys, int n, double x)
{
    const double held = x < xs[0] ? xs[0] : (x > xs[n - 1] ? xs[n - 1] : x);
    return corvane::TableLerp(xs, ys, n, held);
}

// ---------------------------------------------------------------------------------------------
// Airfoil coefficient functions
// ---------------------------------------------------------------------------------------------

void ParafoilVerticalCoeff(VESSEL *, double aoa, double M, double, void *, double *cl, double *cm, double *cd)
{
    if (!g_vert_ready) {
        ToRadians(kVertAoaDeg, g_vert_aoa, kVertN);
        g_vert_ready = true;
    }
    *cl = TableAt(g_vert_aoa, kVertCl, kVertN, aoa);
    *cm = TableAt(g_vert_aoa, kVertCm, kVertN, aoa);
    const double s = std::sin(aoa);
    *cd = kCd0 + kCdAoa * s * s + oapiGetInducedDrag(*cl, kAspect, kWingEfficiency) +
          oapiGetWaveDrag(M, kWaveM1, kWaveM2, kWaveM3, kWaveCmax);
}

void ParafoilHorizontalCoeff(VESSEL *, double beta, double M, double, void *, double *cl, double *cm, double *cd)
{
    if (!g_horz_ready) {
        ToRadians(kHorzBetaDeg, g_horz_beta, kHorzN);
        g_horz_ready = true;
    }
    *cl = TableAt(g_horz_beta, kHorzCl, kHorzN, beta);
    *cm = 0.0;
    *cd = kCd0 + oapiGetInducedDrag(*cl, kAspect, kFinEfficiency) +
          oapiGetWaveDrag(M, kWaveM1, kWaveM2, kWaveM3, kWaveCmax);
}

// ---------------------------------------------------------------------------------------------
// The vessel
// ---------------------------------------------------------------------------------------------

class ParafoilCapsule final : public VESSEL2 {
public:
    ParafoilCapsule(OBJHANDLE hVessel, int flightmodel) : VESSEL2(hVessel, flightmodel) {}

    void clbkSetClassCaps(FILEHANDLE cfg) override;
    void clbkSaveState(FILEHANDLE scn) override;
    void clbkLoadStateEx(FILEHANDLE scn, void *status) override;
    void clbkPostCreation() override;
    void clbkPreStep(double simt, double simdt, double mjd) override;
    void clbkPostStep(double simt, double simdt, double mjd) override;

private:
    void DefineCanopyAnimation();
    void ShowMesh(MESHHANDLE mesh);
    void ShowMesh(const char *meshname);
    void AlignCapturePoint();
    void SetDown();
    void DefineTrimSurface(double delay);
    void RestoreTrim(double simdt);

    int canopy_state = corvane::AT_ONE;
    MESHHANDLE mesh_caught = nullptr;
    MESHHANDLE mesh_landed = nullptr;
    AIRFOILHANDLE wing = nullptr;
    ATTACHMENTHANDLE capture_point = nullptr;
    int mesh_config = FLYING;
    double canopy_pos = 1.0;
    UINT anim_canopy = 0;
    bool trim_loaded = false;   // a TRIM line was read: the first frame puts the deflection back
    double trim_level = 0.0;    // the deflection read from it
    bool trim_restoring = false;
};

void ParafoilCapsule::DefineCanopyAnimation()
{
    if (!g_canopy_pack) {
        g_canopy_pack.emplace(0, kCanopyGroup, 1, kCanopyScaleRef, kCanopyPackScale);
        g_canopy_fold.emplace(0, kCanopyGroup, 1, kCanopyScaleRef, kCanopyFoldScale);
    }
    anim_canopy = CreateAnimation(0.0);
    AddAnimationComponent(anim_canopy, kCanopyPack0, kCanopyPack1, &*g_canopy_pack);
    AddAnimationComponent(anim_canopy, kCanopyFold0, kCanopyFold1, &*g_canopy_fold);
}

void ParafoilCapsule::clbkSetClassCaps(FILEHANDLE)
{
    canopy_pos = 1.0;
    canopy_state = corvane::AT_ONE;
    DefineCanopyAnimation();
    mesh_config = FLYING;

    SetCW(kCwZPos, kCwZNeg, kCwX, kCwY);
    SetSize(kSize);
    SetCOG_elev(kCogElev);
    SetCrossSections(kCrossSections);
    SetPMI(kPmi);
    SetEmptyMass(kEmptyMass);
    SetTouchdownPoints(kTouchdown[0], kTouchdown[1], kTouchdown[2]);
    if (GetFlightModel() >= 1) {
        SetPitchMomentScale(kMomentScale);
        SetBankMomentScale(kMomentScale);
    }

    SetMeshVisibilityMode(AddMesh(kMeshFlying), MESHVIS_ALWAYS);
    mesh_caught = oapiLoadMesh(kMeshCaught);
    mesh_landed = oapiLoadMesh(kMeshLanded);
    SetCameraOffset(kCameraOffset);

    capture_point = CreateAttachment(true, kCapturePos, kCaptureDir, kCaptureRot, "CVN", false);

    wing = CreateAirfoil3(LIFT_VERTICAL, kWingRef, ParafoilVerticalCoeff, nullptr, kWingChord, kWingArea, kAspect);
    CreateAirfoil3(LIFT_HORIZONTAL, kFinRef, ParafoilHorizontalCoeff, nullptr, kFinChord, kFinArea, kAspect);
    CreateControlSurface(AIRCTRL_ELEVATORTRIM, kTrimArea, kTrimDCl, kTrimRef, AIRCTRL_AXIS_XPOS, (UINT)-1);
    SetRotDrag(kRotDrag);
}

// The trim surface again, with the given delay (the capsule's only control surface).
void ParafoilCapsule::DefineTrimSurface(double delay)
{
    ClearControlSurfaceDefinitions();
    CreateControlSurface3(AIRCTRL_ELEVATORTRIM, kTrimArea, kTrimDCl, kTrimRef, AIRCTRL_AXIS_XPOS, delay, (UINT)-1);
}

// The first frame after a load: the deflection where the uninterrupted flight has it in this
// frame (the saved one moved on by one frame of the host's slew), set at once; from the next frame
// the surface moves as it did before the save.
void ParafoilCapsule::RestoreTrim(double simdt)
{
    if (trim_restoring) {
        DefineTrimSurface(kTrimDelay);
        trim_restoring = false;
        return;
    }
    if (!trim_loaded) return;
    trim_loaded = false;
    const double step = simdt > 0 ? simdt / kTrimDelay : 0.0;
    double level = trim_level < kTrimLevel ? std::min(kTrimLevel, trim_level + step) : std::max(kTrimLevel, trim_level - step);
    DefineTrimSurface(kTrimDirect);
    SetControlSurfaceLevel(AIRCTRL_ELEVATORTRIM, level);
    trim_restoring = true;
}

void ParafoilCapsule::clbkSaveState(FILEHANDLE scn)
{
    VESSEL2::clbkSaveState(scn);
    char item[16];
    std::snprintf(item, sizeof item, "CONFIGURATION");
    oapiWriteScenario_int(scn, item, mesh_config);
    char value[kSaveValueSize];
    std::snprintf(value, sizeof value, "%d %0.4f", canopy_state, canopy_pos);
    std::snprintf(item, sizeof item, "COL");
    oapiWriteScenario_string(scn, item, value);
    // Saved again before its first frame, a loaded capsule writes the deflection it read (the host's
    // surface has not moved to it yet).
    const double trim = trim_loaded ? trim_level : GetControlSurfaceLevel(AIRCTRL_ELEVATORTRIM);
    std::snprintf(value, sizeof value, "%0.6f", trim);
    std::snprintf(item, sizeof item, "TRIM");
    oapiWriteScenario_string(scn, item, value);
}

void ParafoilCapsule::clbkLoadStateEx(FILEHANDLE scn, void *status)
{
    char *line;
    while (oapiReadScenario_nextline(scn, line)) {
        if (const char *rest = corvane::MatchKeyword(line, "CONFIGURATION")) {
            std::sscanf(rest, "%d", &mesh_config);
        } else if (const char *rest = corvane::MatchKeyword(line, "COL")) {
            int state = 0;
            double pos = 0.0;
            const int n = std::sscanf(rest, "%d%lf", &state, &pos);
            if (n >= 1) canopy_state = state;
            // A position that is not a finite number (nan, inf) would reach the host's animation:
            // it keeps the field as it was, as a missing one does.
            if (n >= 2 && std::isfinite(pos)) canopy_pos = pos;
        } else if (const char *rest = corvane::MatchKeyword(line, "TRIM")) {
            double level = 0.0;
            if (std::sscanf(rest, "%lf", &level) == 1 && std::isfinite(level)) {
                trim_level = std::clamp(level, -1.0, 1.0);
                trim_loaded = true;
            }
        } else {
            ParseScenarioLineEx(line, status);
        }
    }
    SetAnimation(anim_canopy, canopy_pos);
}

void ParafoilCapsule::clbkPostCreation()
{
    if (mesh_config == CAUGHT) {
        DelMesh(0, false);
        SetMeshVisibilityMode(AddMesh(mesh_caught), MESHVIS_ALWAYS);
    } else if (mesh_config == LANDED) {
        ShowMesh(mesh_landed);
    }
}

void ParafoilCapsule::ShowMesh(MESHHANDLE mesh)
{
    DelMesh(0, false);
    DelMesh(1, false);
    SetMeshVisibilityMode(AddMesh(mesh), MESHVIS_ALWAYS);
}

void ParafoilCapsule::ShowMesh(const char *meshname)
{
    DelMesh(0, false);
    DelMesh(1, false);
    SetMeshVisibilityMode(AddMesh(meshname), MESHVIS_ALWAYS);
}

// While caught, the point's direction turns about the x axis by 0.2 deg per m/s of forward
// airspeed, at most 90 deg either way.
void ParafoilCapsule::AlignCapturePoint()
{
    VECTOR3 v = _V(0, 0, 0);  // no airspeed known: the point stays as created
    GetShipAirspeedVector(v);
    const double a = std::clamp(v.z, -kCaptureSpeedLimit, kCaptureSpeedLimit) * kCaptureTurnRate * kRad;
    SetAttachmentParams(capture_point, kCapturePos, _V(0, -std::sin(a), -std::cos(a)), _V(0, std::cos(a), -std::sin(a)));
}

// Rests the vessel landed where it is, at its current heading.
void ParafoilCapsule::SetDown()
{
    VESSELSTATUS2 vs;
    std::memset(&vs, 0, sizeof vs);
    vs.version = 2;
    vs.rbody = GetSurfaceRef();
    vs.status = 1;
    vs.arot.x = kArotNotSet;  // level on its touchdown points at its heading
    double radius;
    oapiGetEquPos(GetHandle(), &vs.surf_lng, &vs.surf_lat, &radius);
    oapiGetHeading(GetHandle(), &vs.surf_hdg);
    DefSetStateEx(&vs);
}

void ParafoilCapsule::clbkPreStep(double, double simdt, double)
{
    if (canopy_state == corvane::AT_ONE) canopy_state = corvane::TO_ZERO;  // a stowed canopy opens at once
    const bool restoring = trim_loaded;
    RestoreTrim(simdt);
    if (!restoring) SetControlSurfaceLevel(AIRCTRL_ELEVATORTRIM, kTrimLevel);

    const OBJHANDLE parent = GetAttachmentStatus(capture_point);
    if (parent && mesh_config == FLYING) {
        ShowMesh(mesh_caught);
        mesh_config = CAUGHT;
    }
    if (!parent && mesh_config == CAUGHT) {
        ShowMesh(kMeshFlying);
        mesh_config = FLYING;
    }
    if (parent && mesh_config == CAUGHT) AlignCapturePoint();
    if (GetFlightStatus() == 1 && mesh_config < LANDED) {  // landed (and nothing else)
        ShowMesh(mesh_landed);
        mesh_config = LANDED;
    }
    if (GetAltitude() < kSetDownAltitude) SetDown();
}

void ParafoilCapsule::clbkPostStep(double, double simdt, double)
{
    if (corvane::AdvanceMotion(canopy_state, canopy_pos, kCanopyRate * simdt)) SetAnimation(anim_canopy, canopy_pos);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------------------------

DLLCLBK VESSEL *ovcInit(OBJHANDLE hvessel, int flightmodel)
{
    return new ParafoilCapsule(hvessel, flightmodel);
}

DLLCLBK void ovcExit(VESSEL *vessel)
{
    delete static_cast<ParafoilCapsule *>(vessel);
}
