// definition.cpp -- what a new helicopter hands to the host: its fields' defaults, animations, pole
// attachment, waves, and the class capabilities (physical values, camera, touchdown points, fuel,
// streams, beacons, the exhaust thruster and the mesh); the visual's mesh groups.

#include "helicopter.h"

namespace {

// --- physical definition -------------------------------------------------------------------
constexpr double kSize = 10;                          // [m]
constexpr double kEmptyMass = 1800;                   // [kg]
constexpr double kCwZPos = 0.3, kCwZNeg = 0.3, kCwX = 0.6, kCwY = 0.9;
constexpr double kWingAspect = 0.7;
const VECTOR3 kCrossSections = {{10.07, 38.76, 2.82}};  // [m^2]
const VECTOR3 kRotDrag = {{0.43, 0.43, 0.29}};
const VECTOR3 kPmi = {{5.89, 7.41, 2.83}};              // [m^2]
constexpr double kGravityGradientDamping = 20;
constexpr double kTrimScale = 0.05;
constexpr double kMomentScale = 5e-5;                 // pitch and bank, above the simple flight model
constexpr double kFuelMass = 426;                     // [kg]
constexpr DWORD kAdCtrlAll = 7;                       // elevator, rudder and ailerons

// --- camera ----------------------------------------------------------------------------------
const VECTOR3 kCamOffsetClass = {{0, 0.8, 1.0}};      // [m]
const VECTOR3 kCamDirection = {{0, 0, 1}};
constexpr double kCamRangeLeft = 360, kCamRangeRight = 360, kCamRangeUp = 70, kCamRangeDown = 70;  // [deg]
const VECTOR3 kCamShiftForward = {{0, 0, 0.1}}, kCamShiftLeft = {{-0.2, 0, 0}}, kCamShiftRight = {{0, 0, 0}};

// --- touchdown points [m] --------------------------------------------------------------------
// The skids' points with the host's own suspension for points that are not tied to the mass
// (1e6 N/m, 1e5 N s/m: its default and class-file points) and its default friction (0.5 lateral,
// 0.1 along). The three-point call would give each point 20 x the empty mass (36 kN/m): the rear
// points, only 0.104 m behind the centre of gravity and 1.27 m below it, then sink 0.23 m, the
// nose rises past the point where the centre of gravity passes behind them, and the helicopter
// settles on its tail once the rotor stops.
const TOUCHDOWNVTX kTouchdown[3] = {{{{-0.75, -1.27, -0.104}}, 1e6, 1e5, 0.5, 0.1},
                                    {{{0.75, -1.27, -0.104}}, 1e6, 1e5, 0.5, 0.1},
                                    {{{0, -1.27, 2.193}}, 1e6, 1e5, 0.5, 0.1}};

// --- exhaust carrier thruster ----------------------------------------------------------------
const VECTOR3 kAuxPos = {{0, 0, 0}}, kAuxDir = {{0, 0, 1}};
constexpr double kAuxThrust = 1;                      // [N]
constexpr double kRefPressure = 101400;               // [Pa]
const VECTOR3 kExhaustPos = {{-0.032, 0.211, 0}};     // [m]

// --- particle streams (the host copies them; kept for the module's life all the same) --------
PARTICLESTREAMSPEC reentry_stream = {
    0, 20, 20, 0, 0.03, 0.5, 100, 3,
    PARTICLESTREAMSPEC::DIFFUSE, PARTICLESTREAMSPEC::LVL_FLAT, 1, 1,
    PARTICLESTREAMSPEC::ATM_PLIN, 6e7, 1.2e8, nullptr};
PARTICLESTREAMSPEC exhaust_stream = {
    0, 0.1, 1.0, 40, 0.15, 0.1, 5, 3,
    PARTICLESTREAMSPEC::DIFFUSE, PARTICLESTREAMSPEC::LVL_PSQRT, 0, 2,
    PARTICLESTREAMSPEC::ATM_PLOG, 1e-4, 1, nullptr};

// --- beacons ---------------------------------------------------------------------------------
struct BeaconDef {
    VECTOR3 pos, col;
    double size, falloff, period, duration, tofs;  // [m, -, s, s, s]
};
const BeaconDef kBeacon1 = {{{0, 1.216, -4.875}}, {{0, -0.828, 0.153}}, 0.1, 1.0, 1.0, 0.2, 0.6};
const BeaconDef kBeacon2 = {{{0, -0.8, 0}}, {{0.9, 0.9, 0.9}}, 0.1, 1.0, 1.0, 0.3, 1.0};

// --- mesh ------------------------------------------------------------------------------------
const char kMeshName[] = "hx220";
enum MeshGroupIndex : DWORD {
    GRP_MAIN_HUB = 2, GRP_TAIL_HUB = 3, GRP_BEACON_A = 6, GRP_MAIN_BLADES = 7, GRP_TAIL_BLADES = 8,
    GRP_POLE_ARM = 9, GRP_POLE_HEAD = 10, GRP_BEACON_B = 15, GRP_TAIL_BLUR = 18, GRP_MAIN_BLUR = 19
};
constexpr DWORD kNoShadow = 0x1;                      // user flag bit of the blur discs

// --- animations --------------------------------------------------------------------------------
// The host keeps pointers to these transforms; they live as long as the module.
constexpr double kRotorAnimEnd = 1e6;                 // animation states 0..1e6
const VECTOR3 kTailAxis = {{1, 0, 0}}, kTailPivot = {{0, 0.13, -3.931}};
const VECTOR3 kMainAxis = {{0, 1, 0}}, kMainPivot = {{0, 0, 0.975}};
constexpr float kTailAngle = -15000000.0f;            // [rad] over the full range
constexpr float kMainAngle = 6280000.0f;              // [rad]

UINT grp_tail_blades[] = {GRP_TAIL_BLADES};
UINT grp_tail_hub[] = {GRP_TAIL_HUB};
UINT grp_tail_blur[] = {GRP_TAIL_BLUR};
UINT grp_main_hub[] = {GRP_MAIN_HUB};
UINT grp_main_blur[] = {GRP_MAIN_BLUR};
UINT grp_main_blades[] = {GRP_MAIN_BLADES};
MGROUP_ROTATE rotor_transforms[] = {
    MGROUP_ROTATE(0, grp_tail_blades, 1, kTailPivot, kTailAxis, kTailAngle),
    MGROUP_ROTATE(0, grp_tail_hub, 1, kTailPivot, kTailAxis, kTailAngle),
    MGROUP_ROTATE(0, grp_tail_blur, 1, kTailPivot, kTailAxis, kTailAngle),
    MGROUP_ROTATE(0, grp_main_hub, 1, kMainPivot, kMainAxis, kMainAngle),
    MGROUP_ROTATE(0, grp_main_blur, 1, kMainPivot, kMainAxis, kMainAngle),
    MGROUP_ROTATE(0, grp_main_blades, 1, kMainPivot, kMainAxis, kMainAngle),
};

// The pole slides 0.65 m forward over states 0..0.5, then arm and head swing 140 deg over 0.5..1.
UINT grp_pole_arm[] = {GRP_POLE_ARM};
UINT grp_pole_head[] = {GRP_POLE_HEAD};
const float kPoleSwingAngle = static_cast<float>(140 * RAD);
MGROUP_ROTATE pole_arm_swing(0, grp_pole_arm, 1, _V(0, -1.091, 1.57), _V(1, 0, 0), kPoleSwingAngle);
MGROUP_TRANSLATE pole_head_slide(0, grp_pole_head, 1, _V(0, 0, 0.65));
MGROUP_ROTATE pole_head_swing(0, grp_pole_head, 1, _V(0, -1.091, 0.92), _V(1, 0, 0), kPoleSwingAngle);

// --- pole attachment (the helicopter is the parent) ---------------------------------------------
const VECTOR3 kPolePoint = {{0, -1.126, 4.24}};       // [m]
const VECTOR3 kPoleDir = {{0, 0, 1}}, kPoleRot = {{0, 1, 0}};
const char kPoleId[] = "HX220";

void SetBeacon(BEACONLIGHTSPEC &b, const BeaconDef &def, VECTOR3 &pos, VECTOR3 &col)
{
    pos = def.pos;
    col = def.col;
    b.shape = BEACONSHAPE_DIFFUSE;
    b.pos = &pos;
    b.col = &col;
    b.size = def.size;
    b.falloff = def.falloff;
    b.period = def.period;
    b.duration = def.duration;
    b.tofs = def.tofs;
    b.active = false;
}

}  // namespace

Helicopter::Helicopter(OBJHANDLE hVessel, int flightmodel) : HudVessel(hVessel, flightmodel)
{
    DefineAnimations();
    cam_offset = hx220::kCamOffsetDefault;
    cam_rate = _V(0, 0, 0);
    ship_airspeed = _V(0, 0, 0);
    horizon_airspeed = _V(0, 0, 0);
    SetBeacon(beacon1, kBeacon1, beacon1_pos, beacon1_col);
    SetBeacon(beacon2, kBeacon2, beacon2_pos, beacon2_col);
    SetCameraOffset(cam_offset);
    LoadWaves();
    CreatePoleAttachment();
    attached = false;
}

void Helicopter::DefineAnimations()
{
    anim_rotor = CreateAnimation(0);
    for (MGROUP_ROTATE &t : rotor_transforms) AddAnimationComponent(anim_rotor, 0, kRotorAnimEnd, &t);

    anim_pole = CreateAnimation(0);
    AddAnimationComponent(anim_pole, 0.5, 1.0, &pole_arm_swing);
    ANIMATIONCOMPONENT_HANDLE slide = AddAnimationComponent(anim_pole, 0.0, 0.5, &pole_head_slide);
    AddAnimationComponent(anim_pole, 0.5, 1.0, &pole_head_swing, slide);
}

void Helicopter::CreatePoleAttachment()
{
    pole_attach = CreateAttachment(false, kPolePoint, kPoleDir, kPoleRot, kPoleId, false);
    hx220::pole_tip_y = kPolePoint.y;
    hx220::pole_tip_z = kPolePoint.z;
    SetAttachmentParams(pole_attach, kPolePoint, kPoleDir, kPoleRot);
}

void Helicopter::clbkSetClassCaps(FILEHANDLE)
{
    SetSize(kSize);
    SetEmptyMass(kEmptyMass);
    SetCW(kCwZPos, kCwZNeg, kCwX, kCwY);
    SetWingAspect(kWingAspect);
    SetCrossSections(kCrossSections);
    SetRotDrag(kRotDrag);
    SetPMI(kPmi);
    SetGravityGradientDamping(kGravityGradientDamping);
    SetTrimScale(kTrimScale);
    if (GetFlightModel() > 0) {
        SetPitchMomentScale(kMomentScale);
        SetBankMomentScale(kMomentScale);
    }
    SetCameraOffset(kCamOffsetClass);
    SetCameraDefaultDirection(kCamDirection);
    SetCameraRotationRange(kCamRangeLeft * RAD, kCamRangeRight * RAD, kCamRangeUp * RAD, kCamRangeDown * RAD);
    SetCameraShiftRange(kCamShiftForward, kCamShiftLeft, kCamShiftRight);
    SetTouchdownPoints(kTouchdown, 3);
    tank = CreatePropellantResource(kFuelMass, -1, 1);
    ClearVariableDragElements();
    SetADCtrlMode(kAdCtrlAll);
    AddReentryStream(&reentry_stream);
    AddBeacon(&beacon1);
    AddBeacon(&beacon2);
    aux_thruster = CreateThruster(kAuxPos, kAuxDir, kAuxThrust, tank, 0, 0, kRefPressure);
    AddExhaustStream(aux_thruster, kExhaustPos, &exhaust_stream);
    SetMeshVisibilityMode(AddMesh(kMeshName), MESHVIS_ALWAYS);
}

void Helicopter::clbkPostCreation()
{
    ChooseSoundLibrary();
    // Loaded hovering (STATIO 1) or landed by the autopilot (COMMANDES 1): the hover's host settings.
    if (hover_on || hover_controls) ApplyHoverControls(true);
}

// The visual's mesh and groups are the only things the frame needs a visual for (the rotor look
// and the beacon lamps); the flight, the autopilots, the pole and the sounds run without one.
void Helicopter::clbkVisualCreated(VISHANDLE vis, int)
{
    mesh = GetMesh(vis, 0);
    main_blades = tail_blades = main_blur = tail_blur = beacon_group_a = beacon_group_b = nullptr;
    if (mesh) {
        main_blades = oapiMeshGroup(mesh, GRP_MAIN_BLADES);
        main_blur = oapiMeshGroup(mesh, GRP_MAIN_BLUR);
        tail_blades = oapiMeshGroup(mesh, GRP_TAIL_BLADES);
        tail_blur = oapiMeshGroup(mesh, GRP_TAIL_BLUR);
        beacon_group_a = oapiMeshGroup(mesh, GRP_BEACON_A);
        beacon_group_b = oapiMeshGroup(mesh, GRP_BEACON_B);
        if (main_blur) main_blur->UsrFlag |= kNoShadow;
        if (tail_blur) tail_blur->UsrFlag |= kNoShadow;
    }
    visual_present = true;
    hx220::own_handle = GetHandle();
}

void Helicopter::clbkVisualDestroyed(VISHANDLE, int)
{
    hx220::own_handle = nullptr;
    visual_present = false;
    // The groups belonged to the visual's mesh: drop them with it.
    mesh = nullptr;
    main_blades = tail_blades = main_blur = tail_blur = beacon_group_a = beacon_group_b = nullptr;
}

bool Helicopter::clbkLoadGenericCockpit() { return true; }
