// corvane_src -- the sample return capsule after its release from the bus.
//
// The capsule is driven by altitude alone: below 60 km its body takes the entry texture, below 34 km
// one capsule in a hundred suffers a chute failure, below 33 km the lid comes off and the drogue
// opens, below 20 km the recovery helicopter and its heliport are created, below 6.7 km the body is
// handed over to the parafoil vessel and this vessel goes on as the drogue alone, which flattens on
// the ground. A failed capsule falls, is set down landed and ends as a crash mesh with a dust plume.

// The module's one source: it asks the SDK for the module entry glue (the Linux port links it
// only then).
#define ORBITER_MODULE
#include "Orbitersdk.h"

#include "host_names.h"
#include "motion_state.h"
#include "piecewise_linear.h"
#include "scenario_keyword.h"
#include "spawn_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

using corvane::AdvanceMotion;
using corvane::MatchKeyword;

namespace {

// ---------------------------------------------------------------------------------------------
// Stages
// ---------------------------------------------------------------------------------------------
enum CapsuleStage : int {
    ENTRY = 0,         // intact capsule with its lid, no chute out
    DROGUE = 1,        // capsule without lid, drogue out
    HANDED_OFF = 2,    // only the drogue: the body flies on as the parafoil vessel
    CHUTE_FAILED = 3,  // capsule with lid, falling without chute
    CRASHED = 4        // failed capsule on the ground, shown as the crash mesh
};

// Mesh slots as created in clbkSetClassCaps
const UINT kMeshDrogue = 0;
const UINT kMeshBody = 1;
const UINT kMeshLid = 2;

// ---------------------------------------------------------------------------------------------
// Definition
// ---------------------------------------------------------------------------------------------
const double kSize = 3.0;                      // [m]
const double kCogElev = 0.1;                   // [m]
const VECTOR3 kCrossSections = {{2.0, 2.0, 3.0}};  // [m^2]
const VECTOR3 kPmi = {{0.13, 0.13, 0.2}};          // [m^2]
const VECTOR3 kRotDrag = {{2.0, 2.0, 2.0}};
const VECTOR3 kTouchdown[3] = {{{0.0, -0.3, 1.0}}, {{-1.0, -0.3, -1.0}}, {{1.0, -0.3, -1.0}}};  // [m]
const double kMomentScale = 0.001;             // pitch and bank moment scales (realistic model)
const VECTOR3 kCameraOffset = {{0.0, 1.0, -2.5}};  // [m]

// Drag coefficients (+z, -z, lateral x, vertical y)
struct DragSet {
    double z_pos, z_neg, x, y;
};
const DragSet kEntryCw = {0.9, 0.8, 0.8, 0.8};
const DragSet kDrogueCw = {2.0, 2.0, 1.0, 1.0};     // drogue alone, below 6.7 km
const DragSet kFailedLowCw = {0.3, 0.2, 0.2, 0.2};  // failed capsule below 25 km

// First descent drag set (below 33 km)
const VECTOR3 kDescentCrossSections = {{4.0, 4.0, 6.0}};  // [m^2]
const VECTOR3 kDescentRotDrag = {{0.5, 0.5, 0.5}};
const VECTOR3 kDescentPmi = {{3.0, 3.0, 3.0}};            // [m^2]

const char *const kMeshDrogueName = "CorvaneMission/cvn_src_drg";
const char *const kMeshBodyName = "CorvaneMission/cvn_src_main";
const char *const kMeshLidName = "CorvaneMission/cvn_src_lid";
const char *const kMeshCrashName = "CorvaneMission/cvn_src_crash";
const char *const kEntryTextureName = "CorvaneMission/cvn_src2.dds";
const char *const kContrailTextureName = "contrail3";
const DWORD kBodyEntryTexIdx = 4;  // texture of the body mesh that the entry texture replaces
const int kEntryTextureSize = 512; // [pixels] square

// Re-entry streams
const PARTICLESTREAMSPEC kReentryStreamA = {
    0, 2.0, 40.0, 0.0, 0.001, 0.5, 4.0, 0.2, PARTICLESTREAMSPEC::EMISSIVE, PARTICLESTREAMSPEC::LVL_PSQRT,
    0.0, 1.0, PARTICLESTREAMSPEC::ATM_PLOG, 7.0e7, 2.0e8, nullptr};
const PARTICLESTREAMSPEC kReentryStreamB = {
    0, 1.0, 30.0, 0.0, 0.001, 0.5, 4.0, 0.2, PARTICLESTREAMSPEC::EMISSIVE, PARTICLESTREAMSPEC::LVL_PSQRT,
    0.0, 1.0, PARTICLESTREAMSPEC::ATM_PLOG, 9.0e7, 2.0e8, nullptr};  // texture: contrail3

// Drogue animations: both scale group 2 of mesh 0 (the canopy)
const UINT kCanopyGroup = 2;
const VECTOR3 kChuteScaleRef = {{0.0, 0.0, -0.573527}};  // [m]
const VECTOR3 kChuteScale = {{0.01, 0.01, 0.001}};       // stowed
const VECTOR3 kColScaleRef = {{0.0, 0.0, 0.0}};          // [m]
const VECTOR3 kColScale = {{0.8, 0.1, 1.0}};             // flattened
const double kColState0 = 0.5;                           // collapse runs over the second half
const double kAnimRate = 1.0;                            // [1/s] full travel in 1 s

// Lift: none at any angle of attack
const int kLiftPoints = 9;
const double kLiftAoa[kLiftPoints] = {-180 * RAD, -60 * RAD, -30 * RAD, -1 * RAD, 15 * RAD,
                                      20 * RAD,   25 * RAD,  60 * RAD,  180 * RAD};  // [rad]
const double kLiftCl[kLiftPoints] = {0, 0, 0, 0, 0, 0, 0, 0, 0};

// ---------------------------------------------------------------------------------------------
// Descent
// ---------------------------------------------------------------------------------------------
const double kEntryTextureAlt = 60000.0;  // [m]
const double kFailureAlt = 34000.0;       // [m]
const double kFailureDraw = 0.99;         // a draw above this fails the chute
const double kDrogueAlt = 33000.0;        // [m]
const double kRecoveryAlt = 20000.0;      // [m]
const double kHandOffAlt = 6700.0;        // [m]
const double kCollapseAlt = 1.0;          // [m]
const double kSetDownAlt = 2.0;           // [m] a failed capsule is set down landed below this
const double kFailedLowAlt = 25000.0;     // [m]

const double kDrogueMass = 14.0;          // [kg] drogue (or wreck) alone
const double kBodyMass = 191.0;           // [kg] capsule body with lid

// Chute failure
const double kFailedCwDecay = 0.1;        // [1/s]
const double kFailedCwAxialMin = 0.3;
const double kFailedCwOtherMin = 0.2;
const double kFailedCwAxial0 = 0.9;        // where the decay starts
const double kFailedCwOther0 = 0.8;
const char kFailedDragLine[] = "FAILDRAG";  // saved in stage 3: "<axial> <other>"
const double kFailureNoteTime = 5.0;      // [s] the message is shown this long
const double kNoteSize = 2.0;
const VECTOR3 kNoteColour = {{1.0, 0.0, 0.0}};
const double kNotePos[4] = {0.3, 0.4, 0.8, 0.8};  // x1, y1, x2, y2 [screen fractions]
const char *const kFailureText = "Chute Failure!";

// Crash dust plume
const double kSmokeTankMass = 0.1;        // [kg]
const double kSmokeEfficiency = 1.0;
const VECTOR3 kSmokePos = {{0.0, -0.3, 0.0}};  // [m]
const VECTOR3 kSmokeDir = {{0.0, 1.0, 0.0}};
const double kSmokeThrust = 0.1;          // [N]
const double kSmokeIsp = 0.1;             // [m/s]
const double kSmokeIspRef = 0.0;          // [m/s]
const double kSmokePRef = 101400.0;       // [Pa]
const PARTICLESTREAMSPEC kDustStream = {
    0, 1.5, 400.0, 10.0, 1.0, 1.0, -0.2, 0.0, PARTICLESTREAMSPEC::DIFFUSE, PARTICLESTREAMSPEC::LVL_PSQRT,
    0.0, 1.0, PARTICLESTREAMSPEC::ATM_PLOG, 0.0, 1.0, nullptr};

// Vessels this capsule creates
const char *const kParafoilClass = "CorvaneMission/corvane_src_parafoil";
const char *const kParafoilName = "Corvane_SRC_Parafoil";
const char *const kHeliportClass = "CorvaneMission/heliport";
const char *const kHeliportName = "Heliport";
const char *const kHelicopterClass = "hx220";
const char *const kHelicopterName = "HX220";
const double kRecoveryOffset = 0.3 * PI / 180.0;  // [rad] north and east of the capsule
const double kRecoveryHeading = PI;               // [rad]
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

// ---------------------------------------------------------------------------------------------
// Module-wide data: lives from load to unload, shared by every capsule of this module
// ---------------------------------------------------------------------------------------------
UINT g_chute_groups[1] = {kCanopyGroup};
UINT g_col_groups[1] = {kCanopyGroup};
std::optional<MGROUP_SCALE> g_chute_transform;  // built on the first clbkSetClassCaps
std::optional<MGROUP_SCALE> g_col_transform;

// Once any capsule has failed, no other capsule of this module can fail, and every capsule gets
// the decaying drag values.
int chute_failed = 0;
double failure_time = 0.0;       // [s] simulation time of the failure
double failed_cw_axial = kFailedCwAxial0;
double failed_cw_other = kFailedCwOther0;

double CapsuleLiftCoefficient(double aoa)
{
    return corvane::TableLerp(kLiftAoa, kLiftCl, kLiftPoints, aoa);
}

// "<state> <position>" of an animation: a missing or unreadable value keeps the field as it was. A
// position that is not a finite number (nan, inf) is refused too: it would reach the host's animation.
void ReadMotion(const char *text, int &state, double &pos)
{
    int s = 0;
    double p = 0.0;
    const int n = std::sscanf(text, "%d%lf", &s, &p);
    if (n >= 1) state = s;
    if (n >= 2 && std::isfinite(p)) pos = p;
}

// ---------------------------------------------------------------------------------------------
// The capsule
// ---------------------------------------------------------------------------------------------
class ReturnCapsule final : public VESSEL2 {
public:
    ReturnCapsule(OBJHANDLE hVessel, int flightmodel) : VESSEL2(hVessel, flightmodel) {}

    void clbkSetClassCaps(FILEHANDLE cfg) override;
    void clbkSaveState(FILEHANDLE scn) override;
    void clbkLoadStateEx(FILEHANDLE scn, void *status) override;
    void clbkPostCreation() override;
    void clbkPreStep(double simt, double simdt, double mjd) override;
    void clbkPostStep(double simt, double simdt, double mjd) override;

private:
    void DefineAnimations();
    void ChuteFailure();
    void ApplyEntryTexture();
    void Crash();
    void ShowCrashMesh();
    void SpawnChildVessel(const char *cls, const char *name, const VECTOR3 &ofs, const VECTOR3 &vel);
    void SpawnRecoveryVessels(const char *cls, const char *name);
    void ApplyCw(const DragSet &cw) const { SetCW(cw.z_pos, cw.z_neg, cw.x, cw.y); }

    int chute_state = corvane::AT_ONE;
    int col_state = corvane::AT_ZERO;
    int stage = ENTRY;
    int recovery_spawned = 0;
    int texture_applied = 0;
    int drag_stage = 0;
    double failure_draw = 0.0;
    SURFHANDLE body_texture = nullptr;
    SURFHANDLE entry_texture = nullptr;
    SURFHANDLE contrail_texture = nullptr;
    MESHHANDLE body_mesh = nullptr;
    NOTEHANDLE failure_note = nullptr;
    PROPELLANT_HANDLE smoke_tank = nullptr;
    THRUSTER_HANDLE smoke_thruster = nullptr;
    UINT anim_chute = 0;
    UINT anim_col = 0;
    double chute_pos = 1.0;
    double col_pos = 0.0;
};

void ReturnCapsule::DefineAnimations()
{
    if (!g_chute_transform) {
        g_chute_transform.emplace(kMeshDrogue, g_chute_groups, 1, kChuteScaleRef, kChuteScale);
        g_col_transform.emplace(kMeshDrogue, g_col_groups, 1, kColScaleRef, kColScale);
    }
    anim_chute = CreateAnimation(0.0);
    AddAnimationComponent(anim_chute, 0.0, 1.0, &*g_chute_transform);
    anim_col = CreateAnimation(0.0);
    AddAnimationComponent(anim_col, kColState0, 1.0, &*g_col_transform);
}

void ReturnCapsule::clbkSetClassCaps(FILEHANDLE)
{
    chute_pos = 1.0;
    chute_state = corvane::AT_ONE;
    col_pos = 0.0;
    col_state = corvane::AT_ZERO;
    DefineAnimations();
    failure_draw = 0.0;
    stage = ENTRY;
    recovery_spawned = 0;
    texture_applied = 0;
    drag_stage = 0;

    ApplyCw(kEntryCw);
    SetSize(kSize);
    SetCOG_elev(kCogElev);
    SetCrossSections(kCrossSections);
    SetPMI(kPmi);
    // The host makes the springs of three touchdown points from the empty mass it knows at this call
    // (20 x mass per point, damping a tenth of that; the host's default of 1000 kg gives 1e6 N/m),
    // and the class file's mass is applied only after this callback: so the capsule's own mass comes
    // first. On 1e6 N/m springs damped by 1e5 the 14 kg wreck of a failed capsule is thrown off the
    // ground at the host's integration step.
    SetEmptyMass(kDrogueMass + kBodyMass);
    SetTouchdownPoints(kTouchdown[0], kTouchdown[1], kTouchdown[2]);
    SetRotDrag(kRotDrag);
    if (GetFlightModel() >= 1) {
        SetPitchMomentScale(kMomentScale);
        SetBankMomentScale(kMomentScale);
    }

    SetMeshVisibilityMode(AddMesh(kMeshDrogueName), MESHVIS_ALWAYS);
    body_mesh = oapiLoadMesh(kMeshBodyName);
    SetMeshVisibilityMode(AddMesh(body_mesh), MESHVIS_ALWAYS);
    SetMeshVisibilityMode(AddMesh(kMeshLidName), MESHVIS_ALWAYS);
    entry_texture = oapiLoadTexture(kEntryTextureName, true);

    SetCameraOffset(kCameraOffset);
    SetLiftCoeffFunc(CapsuleLiftCoefficient);

    PARTICLESTREAMSPEC stream_a = kReentryStreamA;
    AddReentryStream(&stream_a);
    char contrail[32];
    std::snprintf(contrail, sizeof(contrail), "%s", kContrailTextureName);
    contrail_texture = oapiRegisterReentryTexture(contrail);
    PARTICLESTREAMSPEC stream_b = kReentryStreamB;
    stream_b.tex = contrail_texture;
    AddReentryStream(&stream_b);
}

void ReturnCapsule::ShowCrashMesh()
{
    DelMesh(kMeshDrogue, false);
    DelMesh(kMeshBody, false);
    DelMesh(kMeshLid, false);
    SetMeshVisibilityMode(AddMesh(kMeshCrashName), MESHVIS_ALWAYS);
}

void ReturnCapsule::clbkPostCreation()
{
    if (stage == ENTRY) {
        // a capsule in stage 0 always starts with the drogue stowed
        chute_pos = 1.0;
        chute_state = corvane::AT_ONE;
        SetAnimation(anim_chute, 1.0);
    }
    if (stage == DROGUE || stage == HANDED_OFF) DelMesh(kMeshLid, false);
    if (stage == HANDED_OFF) DelMesh(kMeshBody, false);
    if (stage == CRASHED) ShowCrashMesh();
    failure_draw = oapiRand();
    // A capsule loaded falling without its chute flies its first frame failed already (the
    // post-step would set it up a frame late, with the healthy capsule's rotational damping).
    if (stage == CHUTE_FAILED && chute_failed == 0 && GetAltitude() < kFailureAlt) ChuteFailure();
}

void ReturnCapsule::clbkPreStep(double, double simdt, double)
{
    double m = kDrogueMass;
    if (stage == ENTRY || stage == DROGUE) m += kBodyMass;
    if (stage == CHUTE_FAILED) m += kBodyMass;
    SetEmptyMass(m);

    if (chute_failed == 1) {
        if (failure_note && oapiGetSimTime() > failure_time + kFailureNoteTime) {
            oapiDelAnnotation(failure_note);
            failure_note = nullptr;
        }
        const double d = kFailedCwDecay * simdt;
        failed_cw_axial = std::fmax(failed_cw_axial - d, kFailedCwAxialMin);
        failed_cw_other = std::fmax(failed_cw_other - d, kFailedCwOtherMin);
        if (GetAltitude() < kFailedLowAlt)
            ApplyCw(kFailedLowCw);
        else
            ApplyCw({failed_cw_axial, failed_cw_other, failed_cw_other, failed_cw_other});
    }

    // The failure test comes before the drogue test: a capsule already below 33 km whose draw
    // fails never opens its drogue.
    if (GetAltitude() < kFailureAlt && failure_draw > kFailureDraw && chute_failed == 0 && stage == ENTRY) {
        stage = CHUTE_FAILED;
        ChuteFailure();
    }
    // A capsule loaded in stage 3 has failed already: it sets its failure up again whatever its new
    // draw (a draw that had to exceed 0.99 again would make 99 of 100 reloaded failures fly on with
    // the healthy capsule's drag and rotation, a saved failure lost).
    if (GetAltitude() < kFailureAlt && chute_failed == 0 && stage == CHUTE_FAILED) ChuteFailure();

    if (GetAltitude() < kDrogueAlt && stage == ENTRY) {
        if (chute_state == corvane::AT_ONE) chute_state = corvane::TO_ZERO;
        stage = DROGUE;
        DelMesh(kMeshLid, false);
    }
    if (GetAltitude() < kDrogueAlt && drag_stage < 1 && stage < CHUTE_FAILED) {
        SetCrossSections(kDescentCrossSections);
        SetRotDrag(kDescentRotDrag);
        SetPMI(kDescentPmi);
        drag_stage = 1;
    }
    if (GetAltitude() < kRecoveryAlt && recovery_spawned == 0) {
        recovery_spawned = 1;
        SpawnRecoveryVessels(kHelicopterClass, kHelicopterName);
    }
    if (GetAltitude() < kHandOffAlt && stage == DROGUE) {
        stage = HANDED_OFF;
        DelMesh(kMeshBody, false);
        SpawnChildVessel(kParafoilClass, kParafoilName, _V(0, 0, 0), _V(0, 0, 0));
    }
    if (GetAltitude() < kHandOffAlt && drag_stage == 1 && stage < CHUTE_FAILED) {
        ApplyCw(kDrogueCw);
        drag_stage = 2;
    }
    if (GetAltitude() < kCollapseAlt && stage < CHUTE_FAILED && col_state == corvane::AT_ZERO)
        col_state = corvane::TO_ONE;  // the canopy starts to flatten

    if (GetAltitude() < kEntryTextureAlt && texture_applied == 0 && stage < HANDED_OFF) {
        ApplyEntryTexture();
        texture_applied = 1;
    }
    if (GetAltitude() < kEntryTextureAlt && texture_applied == 0 && stage == CHUTE_FAILED) {
        ApplyEntryTexture();
        texture_applied = 1;
    }

    if (GetFlightStatus() == 1) {  // landed (and nothing else)
        if (stage == CHUTE_FAILED) Crash();
        return;
    }
    if (stage == CHUTE_FAILED) {
        // The landed status of where the failed capsule is, every step; below 2 m it is set down
        // with it, and the next step runs the crash.
        VESSELSTATUS2 vs;
        std::memset(&vs, 0, sizeof(vs));
        vs.version = 2;
        vs.rbody = GetSurfaceRef();
        vs.status = 1;
        vs.arot.x = kArotNotSet;  // level on its touchdown points at its heading
        double rad = 0.0;
        oapiGetEquPos(GetHandle(), &vs.surf_lng, &vs.surf_lat, &rad);
        oapiGetHeading(GetHandle(), &vs.surf_hdg);
        if (GetAltitude() < kSetDownAlt) DefSetStateEx(&vs);
    }
}

void ReturnCapsule::Crash()
{
    ShowCrashMesh();
    stage = CRASHED;
    smoke_tank = CreatePropellantResource(kSmokeTankMass, kSmokeTankMass, kSmokeEfficiency);
    smoke_thruster = CreateThruster(kSmokePos, kSmokeDir, kSmokeThrust, smoke_tank, kSmokeIsp, kSmokeIspRef,
                                    kSmokePRef);
    PARTICLESTREAMSPEC dust = kDustStream;
    AddExhaustStream(smoke_thruster, &dust);
    SetThrusterLevel(smoke_thruster, 1.0);
}

void ReturnCapsule::ChuteFailure()
{
    if (chute_failed != 0) return;
    failure_time = oapiGetSimTime();
    chute_failed = 1;
    SetRotDrag(_V(0, 0, 0));
    if (GetFlightModel() >= 1) {
        SetPitchMomentScale(0.0);
        SetBankMomentScale(0.0);
    }
    failure_note = oapiCreateAnnotation(true, kNoteSize, kNoteColour);
    oapiAnnotationSetPos(failure_note, kNotePos[0], kNotePos[1], kNotePos[2], kNotePos[3]);
    char text[32];
    std::snprintf(text, sizeof(text), "%s", kFailureText);
    oapiAnnotationSetText(failure_note, text);
}

void ReturnCapsule::ApplyEntryTexture()
{
    body_texture = oapiGetTextureHandle(body_mesh, kBodyEntryTexIdx);
    // a missing body mesh or texture file leaves the body as it is
    if (!body_texture || !entry_texture) return;
    oapiBlt(body_texture, entry_texture, 0, 0, 0, 0, kEntryTextureSize, kEntryTextureSize, SURF_NO_CK);
}

void ReturnCapsule::SpawnChildVessel(const char *cls, const char *name, const VECTOR3 &ofs, const VECTOR3 &vel)
{
    // the child's axes are the capsule's turned a quarter turn about x: x stays, y = -z, z = y
    VECTOR3 xg, yg;
    GlobalRot(_V(1, 0, 0), xg);
    GlobalRot(_V(0, 1, 0), yg);
    VECTOR3 z = crossp(yg, xg);
    z = z / length(z);
    const VECTOR3 x = crossp(z, yg);

    VESSELSTATUS s;
    std::memset(&s, 0, sizeof(s));  // fields the host's status leaves unset go out as zeros
    GetStatus(s);
    const VECTOR3 w = s.vrot;
    Local2Rel(ofs, s.rpos);
    VECTOR3 dv;
    GlobalRot(vel, dv);
    s.rvel += dv;
    s.arot = corvane::ArotFromAxes(x, z, yg);
    s.status = 0;
    s.vrot = _V(w.x, -w.z, w.y);
    s.eng_main = 0.0;
    s.eng_hovr = 0.0;
    oapiCreateVessel(name, cls, s);
}

void ReturnCapsule::SpawnRecoveryVessels(const char *cls, const char *name)
{
    VESSELSTATUS2 vs;
    std::memset(&vs, 0, sizeof(vs));
    vs.version = 2;
    vs.rbody = GetSurfaceRef();
    vs.status = 1;
    vs.arot.x = kArotNotSet;  // both stand level at the heading below

    double lng = 0.0, lat = 0.0, rad = 0.0;
    oapiGetEquPos(GetHandle(), &lng, &lat, &rad);
    const double d = kRecoveryOffset;
    vs.surf_lat = (lat + d > PI05) ? lat : lat + d;
    vs.surf_lng = lng + d;
    if (vs.surf_lng > PI2) vs.surf_lng -= PI2;
    if (vs.surf_lng < -PI2) vs.surf_lng += PI2;
    vs.surf_hdg = kRecoveryHeading;

    oapiCreateVesselEx(kHeliportName, kHeliportClass, &vs);
    // the helicopter stands landed on the heliport's spot; the user flies it from now on
    OBJHANDLE h = oapiCreateVesselEx(name, cls, &vs);
    if (h) oapiSetFocusObject(h);
}

void ReturnCapsule::clbkPostStep(double, double simdt, double)
{
    if (stage == DROGUE || stage == HANDED_OFF) DelMesh(kMeshLid, false);
    if (stage == HANDED_OFF) DelMesh(kMeshBody, false);
    if (AdvanceMotion(chute_state, chute_pos, kAnimRate * simdt)) SetAnimation(anim_chute, chute_pos);
    if (AdvanceMotion(col_state, col_pos, kAnimRate * simdt)) SetAnimation(anim_col, col_pos);
}

void ReturnCapsule::clbkLoadStateEx(FILEHANDLE scn, void *status)
{
    char *line;
    while (oapiReadScenario_nextline(scn, line)) {
        if (const char *rest = MatchKeyword(line, "CONFIGURATION")) {
            std::sscanf(rest, "%d%d", &stage, &recovery_spawned);
        } else if (const char *rest = MatchKeyword(line, "CHUTE")) {
            ReadMotion(rest, chute_state, chute_pos);
        } else if (const char *rest = MatchKeyword(line, "COL")) {
            ReadMotion(rest, col_state, col_pos);
        } else if (const char *rest = MatchKeyword(line, kFailedDragLine)) {
            // The failed capsule's drag where its decay had got to (module-wide, as the decay is);
            // a file without the line starts the decay from the beginning.
            double axial = 0, other = 0;
            if (std::sscanf(rest, "%lf %lf", &axial, &other) == 2 && std::isfinite(axial) && std::isfinite(other)) {
                failed_cw_axial = std::clamp(axial, kFailedCwAxialMin, kFailedCwAxial0);
                failed_cw_other = std::clamp(other, kFailedCwOtherMin, kFailedCwOther0);
            }
        } else {
            ParseScenarioLineEx(line, status);
        }
    }
    SetAnimation(anim_chute, chute_pos);
    SetAnimation(anim_col, col_pos);
}

void ReturnCapsule::clbkSaveState(FILEHANDLE scn)
{
    VESSEL2::clbkSaveState(scn);
    char item[16];
    char text[kSaveValueSize];
    std::snprintf(item, sizeof(item), "CONFIGURATION");
    std::snprintf(text, sizeof(text), "%d %d", stage, recovery_spawned);
    oapiWriteScenario_string(scn, item, text);
    std::snprintf(item, sizeof(item), "CHUTE");
    std::snprintf(text, sizeof(text), "%d %0.4f", chute_state, chute_pos);
    oapiWriteScenario_string(scn, item, text);
    std::snprintf(item, sizeof(item), "COL");
    std::snprintf(text, sizeof(text), "%d %0.4f", col_state, col_pos);
    oapiWriteScenario_string(scn, item, text);
    if (stage == CHUTE_FAILED) {  // falling without its chute: where the drag's decay has got to
        std::snprintf(item, sizeof(item), "%s", kFailedDragLine);
        std::snprintf(text, sizeof(text), "%0.4f %0.4f", failed_cw_axial, failed_cw_other);
        oapiWriteScenario_string(scn, item, text);
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------------------------
DLLCLBK VESSEL *ovcInit(OBJHANDLE hvessel, int flightmodel)
{
    return new ReturnCapsule(hvessel, flightmodel);
}

DLLCLBK void ovcExit(VESSEL *vessel)
{
    delete static_cast<ReturnCapsule *>(vessel);
}
