// bus.cpp -- corvane_bus2: the cruise spacecraft bus that carries the sample return capsule (SRC).
// It unfolds two solar panel wings (G), opens and closes the capsule's covers (K) and releases the
// capsule as a vessel of its own (J), after which it flies on at its own mass without the capsule
// mesh. It keeps its mechanisms in the scenario and shows the pilot four green head-up lines.
#define ORBITER_MODULE
#include "Orbitersdk.h"

#include "hud_surface.h"
#include "motion_state.h"
#include "scenario_keyword.h"
#include "spawn_geometry.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

// ---------------------------------------------------------------------------------------------
// Masses, propellant and engines
// ---------------------------------------------------------------------------------------------
const double kBusEmptyMass = 289.0;      // [kg] the bus alone
const double kCapsuleMass = 205.0;       // [kg] the capsule while it sits on the bus
const double kTankMaxMass = 142.0;       // [kg]
const double kTankEfficiency = 1.0;
const double kRefillBelow = 0.01;        // [kg] a tank below this is empty for the refill
const double kRefillAfter = 0.1;         // [s] only buses created later than this are refilled
const double kIsp = 3000.0;              // [m/s] vacuum specific impulse of every thruster
const double kIspRef = 0.0;              // [m/s] reference specific impulse
const double kPressureRef = 101400.0;    // [Pa] reference pressure

// ---------------------------------------------------------------------------------------------
// Aerodynamics, inertia, geometry
// ---------------------------------------------------------------------------------------------
const double kCw[4] = {0.3, 0.3, 0.6, 0.9};        // drag coefficients +z, -z, x, y
const double kWingAspect = 0.7;
const double kWingEffectiveness = 2.5;
const double kRotDrag[3] = {0.35, 0.6, 0.6};
const double kMomentScale = 0.0001;                // pitch and bank, realistic flight model only
const double kTrimScale = 0.05;
const double kPmi[3] = {0.4, 0.5, 0.6};            // [m^2]
const double kCrossSections[3] = {3.0, 3.0, 8.0};  // [m^2]
const double kSize = 3.0;                          // [m]
const double kCameraOffset[3] = {0.0, 2.0, -4.0};  // [m]
const double kTouchdown[3][3] = {{0.0, 1.0, -0.5}, {1.0, -1.0, -0.5}, {-1.0, -1.0, -0.5}};  // [m]
const double kDockPos[3] = {0.0, 0.0, 0.0};        // [m]
const double kDockDir[3] = {0.0, 1.0, 0.0};
const double kDockRot[3] = {0.0, 0.0, -1.0};

const char *const kMeshBus = "CorvaneMission/cvn_bus1";      // mesh 0
const char *const kMeshCapsule = "CorvaneMission/cvn_bus2";  // mesh 1: all that leaves with the capsule
const UINT kCapsuleMeshIndex = 1;
const char *const kExhaustTexture = "exhaust_atrcs";

// ---------------------------------------------------------------------------------------------
// Thrusters (vessel frame [m]; max thrust [N]) and thruster groups
// ---------------------------------------------------------------------------------------------
struct ThrusterSpec {
    double pos[3], dir[3];
    double max_thrust;
};

const int kRcsCount = 16;
const ThrusterSpec kRcs[kRcsCount] = {
    {{0.887, -0.355, -0.47}, {0, 0, 1}, 1},   {{-0.887, -0.355, -0.47}, {0, 0, 1}, 1},
    {{0.887, 0.355, -0.47}, {0, 0, 1}, 1},    {{-0.887, 0.355, -0.47}, {0, 0, 1}, 1},
    {{0.887, 0.355, -0.47}, {0, 0, 1}, 1},    {{0.887, -0.355, -0.47}, {0, 0, 1}, 1},
    {{-0.887, 0.355, -0.47}, {0, 0, 1}, 1},   {{-0.887, -0.355, -0.47}, {0, 0, 1}, 1},
    {{0.852, 0.444, -0.394}, {0, -1, 0}, 1},  {{-0.852, 0.444, -0.394}, {0, -1, 0}, 1},
    {{0.852, -0.444, -0.394}, {0, 1, 0}, 1},  {{-0.852, -0.444, -0.394}, {0, 1, 0}, 1},
    {{0.852, -0.444, -0.394}, {0, 1, 0}, 1},  {{-0.852, 0.444, -0.394}, {0, -1, 0}, 1},
    {{-0.852, -0.444, -0.394}, {0, 1, 0}, 1}, {{0.852, 0.444, -0.394}, {0, -1, 0}, 1},
};
const int kMainCount = 4;
const ThrusterSpec kMain[kMainCount] = {
    {{0.817, -0.043, -0.45}, {0, 0, 1}, 22},
    {{-0.817, -0.043, -0.45}, {0, 0, 1}, 22},
    {{0.817, 0.043, -0.45}, {0, 0, 1}, 22},
    {{-0.817, 0.043, -0.45}, {0, 0, 1}, 22},
};

// Groups: members are indices into th_rcs, or into th_main for the main group.
struct GroupSpec {
    THGROUP_TYPE type;
    bool main;  // members index th_main, else th_rcs
    int count;
    int members[4];
};
const GroupSpec kGroups[] = {
    {THGROUP_ATT_PITCHUP, false, 2, {8, 9}},
    {THGROUP_ATT_PITCHDOWN, false, 2, {10, 11}},
    {THGROUP_ATT_BANKLEFT, false, 2, {12, 13}},
    {THGROUP_ATT_BANKRIGHT, false, 2, {14, 15}},
    {THGROUP_ATT_YAWLEFT, false, 2, {4, 5}},
    {THGROUP_ATT_YAWRIGHT, false, 2, {6, 7}},
    {THGROUP_ATT_FORWARD, false, 4, {0, 1, 2, 3}},
    {THGROUP_MAIN, true, 4, {0, 1, 2, 3}},
};

// Exhaust flames (length, width [m])
const double kRcsExhaust[2] = {0.6, 0.03};
const double kMainExhaust[2] = {2.0, 0.08};

// ---------------------------------------------------------------------------------------------
// Mechanisms: rates [position units per second], full travel 1 s, 5 s and 20 s
// ---------------------------------------------------------------------------------------------
const double kTetherRate = 1.0;
const double kSolpRate = 0.2;
const double kBackshellRate = 0.05;

// Animation components, all rotations: the tether (2), then the covers (5), then the solar wings (2).
enum AnimId { ANIM_TETHER, ANIM_BACKSHELL, ANIM_SOLP };

UINT kGrpTether1[] = {19};
UINT kGrpTether2[] = {1, 2, 7, 8, 9};
UINT kGrpBackshell1[] = {2, 9};
UINT kGrpBackshell2[] = {1, 2, 3, 4, 5, 6};
UINT kGrpBackshell3[] = {14, 15};
UINT kGrpBackshell4[] = {11, 12, 13};
UINT kGrpBackshell5[] = {10};
UINT kGrpSolp1[] = {23, 25, 27, 28};
UINT kGrpSolp2[] = {24, 26, 29, 30};

struct ComponentSpec {
    AnimId anim;
    double state0, state1;
    UINT mesh;
    UINT *grp;
    UINT ngrp;
    double ref[3];   // [m]
    double axis[3];  // as stored, not exactly unit length
    float angle;     // [rad]
    bool child_of_tether_base;
};

#define GROUPS(a) a, sizeof(a) / sizeof(a[0])
const ComponentSpec kComponents[] = {
    {ANIM_TETHER, 0.0, 1.0, 0, GROUPS(kGrpTether1), {0.43, 0.492, -0.022}, {-0.707107, 0.707107, 0},
     1.2566371f /* 72 deg */, false},
    {ANIM_TETHER, 0.0, 1.0, 0, GROUPS(kGrpTether2), {0.531, 0.593, 0.319}, {-0.707107, 0.707107, 0},
     0.15707964f /* 9 deg */, true},
    {ANIM_BACKSHELL, 0.0, 0.3, 0, GROUPS(kGrpBackshell1), {0.53, 0.619, 0.383}, {-0.707107, 0.707107, 0},
     3.1415927f, false},
    {ANIM_BACKSHELL, 0.0, 0.3, 1, GROUPS(kGrpBackshell2), {0.53, 0.619, 0.383}, {-0.707107, 0.707107, 0},
     3.1415927f, false},
    {ANIM_BACKSHELL, 0.35, 0.6, 1, GROUPS(kGrpBackshell3), {-0.442, -0.351, 0.506}, {0.707107, -0.707107, 0},
     3.1415927f, false},
    {ANIM_BACKSHELL, 0.65, 1.0, 1, GROUPS(kGrpBackshell4), {0.196, 0.196, 0.0}, {0, 0, -1}, 1.5707964f, false},
    {ANIM_BACKSHELL, 0.65, 1.0, 1, GROUPS(kGrpBackshell5), {0.196, 0.196, 0.0}, {0, 0, 1}, 1.5707964f, false},
    // 113.9994 deg: the wings stop just short of 114 deg
    {ANIM_SOLP, 0.0, 1.0, 0, GROUPS(kGrpSolp1), {1.061, 0.0, -0.146}, {0, 1, 0}, 1.9896649f, false},
    {ANIM_SOLP, 0.0, 1.0, 0, GROUPS(kGrpSolp2), {-1.061, 0.0, -0.146}, {0, -1, 0}, 1.9896649f, false},
};
#undef GROUPS
const int kComponentCount = sizeof(kComponents) / sizeof(kComponents[0]);

// The transform descriptions, module-wide: built on the first class definition, shared by every bus
// and kept until the module is unloaded (the host holds pointers to them).
std::optional<MGROUP_ROTATE> g_transforms[kComponentCount];

void BuildTransformsOnce()
{
    if (g_transforms[0]) return;
    for (int i = 0; i < kComponentCount; ++i) {
        const ComponentSpec &c = kComponents[i];
        g_transforms[i].emplace(c.mesh, c.grp, c.ngrp, _V(c.ref[0], c.ref[1], c.ref[2]),
                                _V(c.axis[0], c.axis[1], c.axis[2]), c.angle);
    }
}

// ---------------------------------------------------------------------------------------------
// Lift: a table of coefficients over the angle of attack [deg]. All of them are 0: the bus makes
// no lift at any angle, though the host still gets a lift function and a wing aspect.
// ---------------------------------------------------------------------------------------------
const int kLiftPoints = 9;
const double kLiftAoaDeg[kLiftPoints] = {-180, -60, -30, -1, 15, 20, 25, 60, 180};
const double kLiftCl[kLiftPoints] = {0, 0, 0, 0, 0, 0, 0, 0, 0};

// ---------------------------------------------------------------------------------------------
// Release of the capsule
// ---------------------------------------------------------------------------------------------
const char *const kCapsuleClass = "Vessels/CorvaneMission/corvane_src";
const char *const kCapsuleName = "Corvane_SRC";
const double kCapsuleOffset[3] = {0.0, 0.0, 0.2796};  // [m] bus frame
const double kCapsuleDeltaV[3] = {0.0, 0.0, 0.3};     // [m/s] bus frame

// ---------------------------------------------------------------------------------------------
// Scenario lines
// ---------------------------------------------------------------------------------------------
// Room for a mechanism's "<state> <position>" value: "%d %0.4f" of any finite position the loader
// accepts takes at most 11 + 1 + 316 characters (an int, a blank, and a minus sign, the 309 integer
// digits of the largest double, the point and four decimals), so nothing is ever cut.
const std::size_t kSaveValueSize = 336;

// ---------------------------------------------------------------------------------------------
// Head-up display
// ---------------------------------------------------------------------------------------------
const int kHudX = 10;  // [pixels]
const COLORREF kHudColour = RGB(0, 255, 0);

inline VECTOR3 V(const double a[3]) { return _V(a[0], a[1], a[2]); }

// Lift coefficient over the angle of attack [rad]; the angles in radians and the slopes of the table
// are worked out on the first call. Beyond the last point the coefficient stays level.
double BusLiftCoefficient(double aoa)
{
    struct Table {
        double angle[kLiftPoints], slope[kLiftPoints];
    };
    static const Table table = [] {
        Table t{};
        for (int i = 0; i < kLiftPoints; ++i) t.angle[i] = kLiftAoaDeg[i] * PI / 180.0;
        for (int i = 0; i < kLiftPoints - 1; ++i)
            t.slope[i] = (kLiftCl[i + 1] - kLiftCl[i]) / (t.angle[i + 1] - t.angle[i]);
        t.slope[kLiftPoints - 1] = 0.0;
        return t;
    }();
    int i = 0;
    while (i < kLiftPoints - 1 && table.angle[i + 1] < aoa) ++i;
    return kLiftCl[i] + (aoa - table.angle[i]) * table.slope[i];
}

}  // namespace

// =============================================================================================
// SpacecraftBus
// =============================================================================================
class SpacecraftBus final : public corvane::HudVessel {
public:
    SpacecraftBus(OBJHANDLE hVessel, int flightmodel) : HudVessel(hVessel, flightmodel) {}

    void clbkSetClassCaps(FILEHANDLE cfg) override;
    void clbkSaveState(FILEHANDLE scn) override;
    void clbkLoadStateEx(FILEHANDLE scn, void *status) override;
    void clbkPostCreation() override;
    void clbkPreStep(double simt, double simdt, double mjd) override;
    void clbkPostStep(double simt, double simdt, double mjd) override;
    int clbkConsumeBufferedKey(DWORD key, bool down, char *kstate) override;
    // The head-up display callbacks are HudVessel's; they draw DrawHudItems.

private:
    static void ToggleMechanism(int &state);
    void ReleaseCapsule();
    void CreateReleasedVessel(const char *class_name, const char *vessel_name, VECTOR3 offset,
                              VECTOR3 velocity);
    void DefineAnimations();
    void DefineThrusters();
    void WriteMechanism(FILEHANDLE scn, const char *keyword, int state, double pos) const;
    void DrawHudItems(corvane::HudSurface &hud, const HUDPAINTSPEC *hps) const override;
    static void ReadMechanism(const char *text, int &state, double &pos);
    bool Released() const { return configuration >= 1; }

    int tether_state = 0;
    int solp_state = 0;
    int backshell_state = 0;
    int configuration = 0;  // 0 capsule aboard, 1 released
    THRUSTER_HANDLE th_rcs[kRcsCount] = {};
    THRUSTER_HANDLE th_main[kMainCount] = {};
    THRUSTER_HANDLE th_group[4] = {};
    PROPELLANT_HANDLE tank = nullptr;
    ANIMATIONCOMPONENT_HANDLE tether_base_component = nullptr;
    UINT anim_tether = 0;
    UINT anim_solp = 0;
    UINT anim_backshell = 0;
    double tether_pos = 0.0;
    double solp_pos = 0.0;
    double backshell_pos = 0.0;
};

// ---------------------------------------------------------------------------------------------
// Class definition
// ---------------------------------------------------------------------------------------------
void SpacecraftBus::DefineAnimations()
{
    BuildTransformsOnce();
    const AnimId order[3] = {ANIM_TETHER, ANIM_BACKSHELL, ANIM_SOLP};
    for (AnimId id : order) {
        const UINT anim = CreateAnimation(0.0);
        if (id == ANIM_TETHER) anim_tether = anim;
        if (id == ANIM_BACKSHELL) anim_backshell = anim;
        if (id == ANIM_SOLP) anim_solp = anim;
        for (int i = 0; i < kComponentCount; ++i) {
            const ComponentSpec &c = kComponents[i];
            if (c.anim != id) continue;
            ANIMATIONCOMPONENT_HANDLE parent = c.child_of_tether_base ? tether_base_component : nullptr;
            ANIMATIONCOMPONENT_HANDLE h =
                AddAnimationComponent(anim, c.state0, c.state1, &*g_transforms[i], parent);
            if (id == ANIM_TETHER && !c.child_of_tether_base) tether_base_component = h;
        }
    }
}

void SpacecraftBus::DefineThrusters()
{
    for (int i = 0; i < kRcsCount; ++i)
        th_rcs[i] = CreateThruster(V(kRcs[i].pos), V(kRcs[i].dir), kRcs[i].max_thrust, tank, kIsp, kIspRef,
                                   kPressureRef);
    for (int i = 0; i < kMainCount; ++i)
        th_main[i] = CreateThruster(V(kMain[i].pos), V(kMain[i].dir), kMain[i].max_thrust, tank, kIsp, kIspRef,
                                    kPressureRef);

    for (const GroupSpec &g : kGroups) {
        for (int k = 0; k < g.count; ++k) th_group[k] = g.main ? th_main[g.members[k]] : th_rcs[g.members[k]];
        CreateThrusterGroup(th_group, g.count, g.type);
    }

    char texname[64];
    std::snprintf(texname, sizeof texname, "%s", kExhaustTexture);
    SURFHANDLE tex = oapiRegisterExhaustTexture(texname);
    for (int i = 0; i < kRcsCount; ++i) AddExhaust(th_rcs[i], kRcsExhaust[0], kRcsExhaust[1], tex);
    for (int i = 0; i < kMainCount; ++i) AddExhaust(th_main[i], kMainExhaust[0], kMainExhaust[1], tex);
}

void SpacecraftBus::clbkSetClassCaps(FILEHANDLE /*cfg*/)
{
    tether_pos = solp_pos = backshell_pos = 0.0;
    tether_state = solp_state = backshell_state = corvane::AT_ZERO;
    DefineAnimations();
    configuration = 0;

    SetCW(kCw[0], kCw[1], kCw[2], kCw[3]);
    SetWingAspect(kWingAspect);
    SetWingEffectiveness(kWingEffectiveness);
    SetRotDrag(V(kRotDrag));
    if (GetFlightModel() >= 1) {
        SetPitchMomentScale(kMomentScale);
        SetBankMomentScale(kMomentScale);
    }
    SetTrimScale(kTrimScale);
    SetPMI(V(kPmi));
    SetCrossSections(V(kCrossSections));
    SetSize(kSize);

    SetMeshVisibilityMode(AddMesh(kMeshBus), MESHVIS_ALWAYS);
    SetMeshVisibilityMode(AddMesh(kMeshCapsule), MESHVIS_ALWAYS);
    SetCameraOffset(V(kCameraOffset));
    SetLiftCoeffFunc(BusLiftCoefficient);
    // The three-point call's springs are 20 x the empty mass at the call: set the mass first (the
    // class file's Mass comes only after this callback, so without it the host's default 1000 kg
    // gave 1e6 N/m per point).
    SetEmptyMass(kCapsuleMass + kBusEmptyMass);
    SetTouchdownPoints(V(kTouchdown[0]), V(kTouchdown[1]), V(kTouchdown[2]));
    SetDockParams(V(kDockPos), V(kDockDir), V(kDockRot));

    tank = CreatePropellantResource(kTankMaxMass, kTankMaxMass, kTankEfficiency);
    DefineThrusters();
    // The empty mass follows the configuration in every pre-step.
}

// ---------------------------------------------------------------------------------------------
// Mission sequence
// ---------------------------------------------------------------------------------------------
// At rest at 0 or closing: open. Anything else (open, opening, an unknown value): close.
void SpacecraftBus::ToggleMechanism(int &state)
{
    state = (state == corvane::AT_ZERO || state == corvane::TO_ZERO) ? corvane::TO_ONE : corvane::TO_ZERO;
}

int SpacecraftBus::clbkConsumeBufferedKey(DWORD key, bool down, char *kstate)
{
    if (!down) return 0;
    if (kstate && (KEYDOWN(kstate, OAPI_KEY_LSHIFT) || KEYDOWN(kstate, OAPI_KEY_RSHIFT))) return 0;
    switch (key) {
    case OAPI_KEY_G:  // the panels only deploy; nothing stows them again
        if (solp_state == corvane::AT_ZERO) ToggleMechanism(solp_state);
        return 1;
    case OAPI_KEY_J:  // panels out, covers closed and at rest, capsule aboard
        if (backshell_state == corvane::AT_ZERO && solp_state == corvane::AT_ONE && configuration < 1) {
            ReleaseCapsule();
            ToggleMechanism(tether_state);
        }
        return 1;
    case OAPI_KEY_K:  // covers work only with the panels out and the capsule aboard
        if (configuration < 1 && solp_state == corvane::AT_ONE) ToggleMechanism(backshell_state);
        return 1;
    default:
        return 0;
    }
}

void SpacecraftBus::clbkPreStep(double, double, double)
{
    SetEmptyMass(Released() ? kBusEmptyMass : kCapsuleMass + kBusEmptyMass);
}

void SpacecraftBus::clbkPostStep(double, double simdt, double)
{
    // Once released the capsule mesh stays gone; the host ignores deleting an empty slot.
    if (configuration > 0) DelMesh(kCapsuleMeshIndex, false);

    if (corvane::AdvanceMotion(tether_state, tether_pos, kTetherRate * simdt)) SetAnimation(anim_tether, tether_pos);
    if (corvane::AdvanceMotion(solp_state, solp_pos, kSolpRate * simdt)) SetAnimation(anim_solp, solp_pos);
    if (corvane::AdvanceMotion(backshell_state, backshell_pos, kBackshellRate * simdt))
        SetAnimation(anim_backshell, backshell_pos);
}

void SpacecraftBus::clbkPostCreation()
{
    // A bus created during the flight with a dry tank gets a full one; one that starts with the
    // simulation keeps what its scenario gave it.
    if (GetPropellantMass(tank) < kRefillBelow && oapiGetSimTime() > kRefillAfter)
        SetPropellantMass(tank, kTankMaxMass);
    if (configuration > 0) DelMesh(kCapsuleMeshIndex, false);
}

void SpacecraftBus::ReleaseCapsule()
{
    if (backshell_state + configuration != 0) return;
    configuration = 1;  // released even if the host cannot create the capsule
    CreateReleasedVessel(kCapsuleClass, kCapsuleName, V(kCapsuleOffset), V(kCapsuleDeltaV));
}

// A new vessel at a point of the bus frame, moving with the bus plus a velocity given in the bus
// frame, turned 180 deg about the bus's y axis.
void SpacecraftBus::CreateReleasedVessel(const char *class_name, const char *vessel_name, VECTOR3 offset,
                                         VECTOR3 velocity)
{
    VECTOR3 gx, gz;
    GlobalRot(_V(-1, 0, 0), gx);
    GlobalRot(_V(0, 0, -1), gz);
    VECTOR3 ny = crossp(gz, gx);
    ny = ny / length(ny);
    const VECTOR3 nx = crossp(ny, gz);

    VESSELSTATUS vs;
    std::memset(&vs, 0, sizeof vs);
    GetStatus(vs);
    Local2Rel(offset, vs.rpos);
    VECTOR3 dv;
    GlobalRot(velocity, dv);
    vs.rvel = vs.rvel + dv;
    vs.arot = corvane::ArotFromAxes(nx, ny, gz);
    vs.status = 0;
    // angular velocity in the turned frame: x and z reverse, y stays
    vs.vrot.x = -vs.vrot.x;
    vs.vrot.z = -vs.vrot.z;
    vs.eng_hovr = 0.0;
    vs.eng_main = 0.0;

    char name[256];
    std::snprintf(name, sizeof name, "%s", vessel_name);
    oapiCreateVessel(name, class_name, vs);
}

// ---------------------------------------------------------------------------------------------
// Scenario lines
// ---------------------------------------------------------------------------------------------
void SpacecraftBus::WriteMechanism(FILEHANDLE scn, const char *keyword, int state, double pos) const
{
    char item[32], value[kSaveValueSize];
    std::snprintf(item, sizeof item, "%s", keyword);
    std::snprintf(value, sizeof value, "%d %0.4f", state, pos);
    oapiWriteScenario_string(scn, item, value);
}

void SpacecraftBus::clbkSaveState(FILEHANDLE scn)
{
    VESSEL2::clbkSaveState(scn);
    char item[32];
    std::snprintf(item, sizeof item, "%s", "CONFIGURATION");
    oapiWriteScenario_int(scn, item, configuration);
    WriteMechanism(scn, "TETHER", tether_state, tether_pos);
    WriteMechanism(scn, "SOLP", solp_state, solp_pos);
    WriteMechanism(scn, "BACKSHELL", backshell_state, backshell_pos);
}

// "<state> <position>": a missing or unreadable value keeps the field as it was. A position that
// is not a finite number (nan, inf) is refused too: it would reach the host's animation.
void SpacecraftBus::ReadMechanism(const char *text, int &state, double &pos)
{
    int s = 0;
    double p = 0.0;
    const int n = std::sscanf(text, "%d%lf", &s, &p);
    if (n >= 1) state = s;
    if (n >= 2 && std::isfinite(p)) pos = p;
}

void SpacecraftBus::clbkLoadStateEx(FILEHANDLE scn, void *status)
{
    char *line;
    while (oapiReadScenario_nextline(scn, line)) {
        const char *rest;
        if ((rest = corvane::MatchKeyword(line, "CONFIGURATION"))) {
            std::sscanf(rest, "%d", &configuration);
        } else if ((rest = corvane::MatchKeyword(line, "TETHER"))) {
            ReadMechanism(rest, tether_state, tether_pos);
        } else if ((rest = corvane::MatchKeyword(line, "SOLP"))) {
            ReadMechanism(rest, solp_state, solp_pos);
        } else if ((rest = corvane::MatchKeyword(line, "BACKSHELL"))) {
            ReadMechanism(rest, backshell_state, backshell_pos);
        } else {
            ParseScenarioLineEx(line, status);
        }
    }
    SetAnimation(anim_tether, tether_pos);
    SetAnimation(anim_solp, solp_pos);
    SetAnimation(anim_backshell, backshell_pos);
}

// ---------------------------------------------------------------------------------------------
// Head-up display: from the top panels, covers (capsule aboard only), release, velocity change
// ---------------------------------------------------------------------------------------------
void SpacecraftBus::DrawHudItems(corvane::HudSurface &hud, const HUDPAINTSPEC *hps) const
{
    if (!hps) return;
    const int y0 = (hps->H * 180) / 1024;
    const int d = (16 * hps->H) / 768;

    const double m_empty = GetEmptyMass();
    const double m_prop = GetPropellantMass(tank);
    // An empty mass of 0 (never set, a class file without a mass) would give an infinite dV.
    const double dv = m_empty > 0.0 ? kIsp * std::log((m_prop + m_empty) / m_empty) : 0.0;

    char buf[256];
    auto line = [&](int y, const char *text) {
        hud.TextColour(kHudColour);
        std::snprintf(buf, sizeof buf, "%s", text);
        hud.Text(kHudX, y, buf);
    };

    hud.TextColour(kHudColour);
    std::snprintf(buf, sizeof buf, "Remaining dV = %0.2f m/s", dv);
    hud.Text(kHudX, y0 + 4 * d, buf);

    line(y0 + 3 * d, configuration == 0 ? "J = Jettison SRC Capsule" : "SRC Capsule Jettisoned");
    line(y0 + d, solp_state == 0 ? "G = Deploy Solar Panels" : "Solar Panels Deployed");
    if (configuration == 0) line(y0 + 2 * d, backshell_state == 0 ? "K = Open SRC Covers" : "SRC Covers Opened");
}

// =============================================================================================
// Entry points
// =============================================================================================
DLLCLBK VESSEL *ovcInit(OBJHANDLE hvessel, int flightmodel)
{
    return new SpacecraftBus(hvessel, flightmodel);
}

DLLCLBK void ovcExit(VESSEL *vessel)
{
    delete static_cast<SpacecraftBus *>(vessel);
}
