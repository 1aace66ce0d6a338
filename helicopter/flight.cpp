// flight.cpp -- the helicopter's frame: engine start and stop by frame count, rotor ramp and look,
// the lift thruster whose thrust follows the air density, the manual attitude law (angular
// velocity written from the stick), the cockpit camera's motion and the keyboard commands.

#include "helicopter.h"

namespace {

// --- frame ------------------------------------------------------------------------------------
constexpr double kAutoReleaseAlt = 16;        // a load is let go below this altitude [m]
constexpr double kFrictionLng = 0.05;         // surface friction, longitudinal
constexpr double kFrictionLat = 0.4;          // lateral

// --- attitude -----------------------------------------------------------------------------------
constexpr double kManualRateGain = 0.5;       // full stick [rad/s]
enum Axis { AXIS_PITCH = 0, AXIS_YAW = 1, AXIS_ROLL = 2 };

// --- engine and rotor ---------------------------------------------------------------------------
constexpr double kRampStep = 0.01;            // rotor speed change per frame of the ramp
constexpr double kPitchStep = 50;             // sound pitch base change per frame of the ramp
// The ramp's end tests allow for the rounding of its steps and nothing more: 800 steps of 0.01 add
// up to a hair less than 8 in binary floating point, and a start takes 800 frames of ramp, not 801.
// The allowance is far above that rounding and far below the 1e-6 a scenario line can express, so
// a rotor speed read from a scenario meets its end on the same frame as with exact decimals.
constexpr double kRampTolerance = 1e-9;
constexpr double kLookMinRotorSpeed = 2;      // the blades blur above this rotor speed
constexpr double kLookStep = 0.003;          // alpha change per frame (added in double, stored as float)
constexpr DWORD kMaterialBlades = 3, kMaterialBlur = 11;
constexpr DWORD kHidden = 0x3;                // user flag bits: hidden, no shadow

// --- lift thruster ------------------------------------------------------------------------------
const VECTOR3 kLiftPos = {{0, 2.5, 0}}, kLiftDir = {{0, 1, 0}};  // [m]
constexpr double kLiftThrust = 30000;         // maximum thrust at density 1 [N per kg/m^3]
constexpr double kLiftIsp = 2e6;              // [m/s]
constexpr double kRefPressure = 101400;       // [Pa]

// --- camera -------------------------------------------------------------------------------------
constexpr double kCamRateStep = 0.003;        // camera offset change per frame, per key press [m]

// --- keys ---------------------------------------------------------------------------------------
// With Shift: commands.
struct ShiftCommand {
    DWORD key;
    void (Helicopter::*run)();
};
const ShiftCommand kShiftCommands[] = {
    {OAPI_KEY_P, &Helicopter::TogglePole},
    {OAPI_KEY_S, &Helicopter::ToggleHover},
    {OAPI_KEY_D, &Helicopter::DescentCommand},
    {OAPI_KEY_F, &Helicopter::PlaneModeCommand},
    {OAPI_KEY_G, &Helicopter::FollowCourseCommand},
    {OAPI_KEY_H, &Helicopter::HeadingHoldCommand},
    {OAPI_KEY_J, &Helicopter::ReleaseLoad},
    {OAPI_KEY_L, &Helicopter::ToggleBeacons},
    {OAPI_KEY_X, &Helicopter::AltHoldCommand},
    {OAPI_KEY_END, &Helicopter::CameraStop},
    {OAPI_KEY_DELETE, &Helicopter::CameraReset},
};
// With Shift: camera offset rates (axis 0 x, 1 y, 2 z).
struct CameraKey {
    DWORD key;
    int axis;
    double delta;  // [m per frame]
};
const CameraKey kCameraKeys[] = {
    {OAPI_KEY_UP, 2, +kCamRateStep},    {OAPI_KEY_DOWN, 2, -kCamRateStep},
    {OAPI_KEY_LEFT, 0, -kCamRateStep},  {OAPI_KEY_RIGHT, 0, +kCamRateStep},
    {OAPI_KEY_PRIOR, 1, +kCamRateStep}, {OAPI_KEY_NEXT, 1, -kCamRateStep},
};

void SetFlagBits(MESHGROUP *g, DWORD bits, bool on)
{
    if (!g) return;
    if (on)
        g->UsrFlag |= bits;
    else
        g->UsrFlag &= ~bits;
}

// The fade from blades to blur follows the rotor every frame, with or without a visual, so that a
// visual made later (the camera coming back) shows the rotor as it is.
void FadeRotor(EngineState state, double rotor_speed, float &blade_alpha, float &blur_alpha)
{
    if (state == ENGINE_STARTING && rotor_speed > kLookMinRotorSpeed && blur_alpha < 1) {
        blur_alpha += kLookStep;
        blade_alpha -= kLookStep;
    }
    if (state == ENGINE_STOPPING && rotor_speed > kLookMinRotorSpeed && blur_alpha > 0) {
        blur_alpha -= kLookStep;
        blade_alpha += kLookStep;
    }
    if (state == ENGINE_RUNNING) {
        blur_alpha = 1;
        blade_alpha = 0;
    }
    if (state == ENGINE_OFF) {
        blur_alpha = 0;
        blade_alpha = 1;
    }
}

void SetMaterialAlpha(MESHHANDLE mesh, DWORD idx, float alpha)
{
    MATERIAL *m = oapiMeshMaterial(mesh, idx);
    if (!m) return;
    m->diffuse.a = m->ambient.a = m->specular.a = m->emissive.a = alpha;
}

}  // namespace

// A load the last post-step found below the release height is let go here, before the host's state
// update: a detach made during the post-steps restarts the load from where it was at the start of that
// frame, in a frame that has moved on by then (the simulator's own core throws it about one step of
// the heliocentric motion away, some 500 m at 1/60 s), while one made here starts it from the pole's
// tip as the update finds it.
void Helicopter::clbkPreStep(double, double, double)
{
    ApplyCommandedRates();
    // The first frame after a load has had no post-step to decide in: it decides here, so that a
    // scenario saved in the frame that found the load low lets it go in the same frame.
    if (!post_stepped && GetAltitude() < kAutoReleaseAlt && GetAttachmentStatus(pole_attach)) release_due = true;
    if (release_due) {
        release_due = false;
        if (GetAttachmentStatus(pole_attach)) ReleaseLoad();
    }
}

// The helicopter flies itself every frame, whether or not the graphics client holds a visual of it
// (the built-in client keeps one only while the camera is near, a host without graphics makes
// none). Only the mesh work needs the visual: the rotor look and the beacon groups go through the
// mesh and group pointers of the visual, which are null while there is none.
void Helicopter::clbkPostStep(double, double simdt, double)
{
    post_stepped = true;
    if (!target_ready) ReadHeliportTarget();

    airspeed = GetAirspeed();
    attached = GetAttachmentStatus(pole_attach) != nullptr;
    if (GetAltitude() < kAutoReleaseAlt && attached) release_due = true;  // let go at the next pre-step
    GetShipAirspeedVector(ship_airspeed);
    GetHorizonAirspeedVector(horizon_airspeed);
    OBJHANDLE capsule = hx220::FindVessel(hx220::kParafoilName);

    if (hover_on && lift_present == 1.0) {
        RunAutopilot();
    } else {
        ManualAttitude();
        if (lift_present == 1.0) ManualAssists(capsule);
    }
    if (lift_present == 1.0) lift_level = GetThrusterGroupLevel(lift_group);

    EngineSounds();
    MoveCamera();
    SetSurfaceFrictionCoeff(kFrictionLng, kFrictionLat);
    TrackParafoil(capsule);
    MovePole(simdt, capsule);
    UpdatePoleWarning();
    RampRotor();
    FadeRotor(engine_state, rotor_speed, blade_alpha, blur_alpha);
    if (hx220::own_handle) UpdateRotorLook();
    UpdateBeaconGroups();
    ManageLiftThruster();
    TurnRotor(simdt);
}

void Helicopter::SetAngularRate(int axis, double rate)
{
    VECTOR3 w;
    GetAngularVel(w);
    w.data[axis] = rate;
    CommandAngularVel(w, 1 << axis);
}

// The attitude laws run after the host's state update, and there a written angular velocity does
// not last: the host's setter writes the current state (Rigidbody.cpp, RigidBody::SetAngVel), which
// during the post-steps is still the frame's old one; after them the updated state becomes current
// (Body.cpp, EndStateUpdate; FlipState in the older tree) and the next update overwrites the old
// one. So each write is made at once, as the laws read it back within the frame, and its components
// are kept to be written again before the next update, where they take effect.
void Helicopter::CommandAngularVel(const VECTOR3 &w, int axes)
{
    SetAngularVel(w);
    for (int i = 0; i < 3; ++i)
        if (axes & (1 << i)) rate_cmd.data[i] = w.data[i];
    rate_axes |= axes;
}

// The components the last post-step wrote go into the state the next update starts from; the
// others keep what the host's update made of them.
void Helicopter::ApplyCommandedRates()
{
    if (!rate_axes) return;
    VECTOR3 w;
    GetAngularVel(w);
    for (int i = 0; i < 3; ++i)
        if (rate_axes & (1 << i)) w.data[i] = rate_cmd.data[i];
    SetAngularVel(w);
    rate_axes = 0;
}

void Helicopter::ManualAttitude()
{
    bank_cmd = GetControlSurfaceLevel(AIRCTRL_AILERON);
    pitch_cmd = GetControlSurfaceLevel(AIRCTRL_ELEVATOR);
    SetAngularRate(AXIS_ROLL, kManualRateGain * bank_cmd);
    SetAngularRate(AXIS_PITCH, kManualRateGain * pitch_cmd);
}

void Helicopter::MoveCamera()
{
    cam_offset.x += cam_rate.x;
    SetCameraOffset(cam_offset);
    cam_offset.z += cam_rate.z;
    SetCameraOffset(cam_offset);
    cam_offset.y += cam_rate.y;
    SetCameraOffset(cam_offset);
}

void Helicopter::ToggleEngine()
{
    switch (engine_state) {
    case ENGINE_OFF:
    case ENGINE_STOPPING: engine_state = ENGINE_STARTING; break;
    case ENGINE_STARTING:
    case ENGINE_RUNNING: engine_state = ENGINE_STOPPING; break;
    }
}

void Helicopter::RampRotor()
{
    if (spool_count < spool_delay) return;
    if (engine_state == ENGINE_STARTING) {
        rotor_speed += kRampStep;
        sound_pitch_base += kPitchStep;
        if (rotor_speed >= rotor_speed_max - kRampTolerance) {
            engine_state = ENGINE_RUNNING;
            rotor_speed = rotor_speed_max;
        }
    } else if (engine_state == ENGINE_STOPPING) {
        rotor_speed -= kRampStep;
        sound_pitch_base -= kPitchStep;
        if (rotor_speed <= kRampTolerance) {
            rotor_speed = 0;
            engine_state = ENGINE_OFF;
            spool_count = 0;
            sound_freq = 0;
            start_sound_played = false;
        }
    }
}

// The rotor's look on the visual's mesh: the blades hidden while the engine runs, the fade's alphas
// on the blade and blur materials. Without a visual the pointers are null and nothing is touched.
void Helicopter::UpdateRotorLook()
{
    const bool running = engine_state == ENGINE_RUNNING;
    SetFlagBits(main_blades, kHidden, running);
    SetFlagBits(tail_blades, kHidden, running);
    if (!mesh) return;
    SetMaterialAlpha(mesh, kMaterialBlades, blade_alpha);
    SetMaterialAlpha(mesh, kMaterialBlur, blur_alpha);
    oapiSetMeshProperty(mesh, MESHPROPERTY_MODULATEMATALPHA, 1);
}

void Helicopter::UpdateBeaconGroups()
{
    // The beacon lamps' meshes show only while the beacons are on.
    SetFlagBits(beacon_group_a, kHidden, !beacon1.active);
    SetFlagBits(beacon_group_b, kHidden, !beacon1.active);
}

void Helicopter::CreateLiftThruster()
{
    lift_thruster = CreateThruster(kLiftPos, kLiftDir, kLiftThrust, tank, kLiftIsp, 0, kRefPressure);
    lift_group = CreateThrusterGroup(&lift_thruster, 1, THGROUP_MAIN);
}

void Helicopter::ManageLiftThruster()
{
    if (engine_state == ENGINE_RUNNING) {
        if (lift_present == 0.0) {
            lift_present = 1.0;
            CreateLiftThruster();
        }
        if (lift_present == 1.0) SetThrusterMax0(lift_thruster, GetAtmDensity() * kLiftThrust);
    } else if (engine_state == ENGINE_STOPPING && lift_present == 1.0) {
        lift_present = 0.0;
        DelThruster(lift_thruster);
    }
}

void Helicopter::TurnRotor(double simdt)
{
    rotor_anim_pos += simdt * rotor_speed;  // never wrapped
    SetAnimation(anim_rotor, rotor_anim_pos);
}

// --- commands -----------------------------------------------------------------------------------

void Helicopter::ToggleBeacons()
{
    const bool on = !beacon1.active;
    beacon1.active = on;
    beacon2.active = on;
}

void Helicopter::PlaneModeCommand()
{
    if (!heading_hold_on) plane_mode_on = !plane_mode_on;
}

void Helicopter::HeadingHoldCommand()
{
    heading_hold_on = !heading_hold_on;
    plane_mode_on = false;
}

void Helicopter::AltHoldCommand() { alt_hold_on = !alt_hold_on; }

void Helicopter::CameraStop() { cam_rate = _V(0, 0, 0); }

void Helicopter::CameraReset() { cam_offset = hx220::kCamOffsetDefault; }

int Helicopter::clbkConsumeBufferedKey(DWORD key, bool down, char *kstate)
{
    if (!down) return 0;
    if (!KEYMOD_SHIFT(kstate)) {
        if (key != OAPI_KEY_K) return 0;
        ToggleEngine();
        return 1;
    }
    for (const ShiftCommand &c : kShiftCommands) {
        if (c.key == key) {
            (this->*c.run)();
            return 1;
        }
    }
    for (const CameraKey &c : kCameraKeys) {
        if (c.key == key) {
            cam_rate.data[c.axis] += c.delta;
            return 1;
        }
    }
    return 0;
}
