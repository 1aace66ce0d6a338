// helicopter.h -- the recovery helicopter hx220: a vessel that lifts on one rotor thruster whose
// thrust follows the air density, flies its attitude by writing angular velocity, snags the
// capsule hanging under its parafoil with a pole and carries it to the heliport.
//
// The class is split by subsystem, one source file each:
//   definition.cpp    constructor, animations, class capabilities, visual, cockpit
//   flight.cpp        the frame order, engine and rotor, lift thruster, manual law, camera, keys
//   sound_use.cpp     the five waves, the engine sounds and the choice of sound library
//   autopilot.cpp     hover, follow-course and descent autopilot, manual assists
//   pole.cpp          capture pole, catch and release
//   hud_scenario.cpp  head-up display and the scenario lines
//   module.cpp        module-wide values and the entry points
#pragma once

#include "Orbitersdk.h"
#include "host_names.h"
#include "hud_surface.h"

namespace xrsound {
class Engine;  // XRSound's engine of one vessel (sound/xrsound_client.h)
}

// Engine and rotor state (the number is what the scenario stores).
enum EngineState : int {
    ENGINE_OFF = 0,
    ENGINE_STARTING = 1,
    ENGINE_RUNNING = 2,
    ENGINE_STOPPING = 3
};

// Pole motion (the number is what the scenario stores).
enum PoleState : int {
    POLE_RETRACTED = 0,
    POLE_RETRACTING = 1,
    POLE_EXTENDING = 2,
    POLE_EXTENDED = 3
};

// Values shared by every helicopter of one loaded module (they live from load to unload; the last
// helicopter created or made visible sets them for all).
namespace hx220 {
extern int sound_id;           // the sound add-on's id for this module's vessels, or -1
extern OBJHANDLE own_handle;   // the helicopter whose visual was created last, null once a visual
                               // goes; gates the rotor look (the autopilot reads its own handle)
extern double pole_tip_y;      // pole attachment point, vessel frame [m]
extern double pole_tip_z;      // [m]
extern double pole_swing;      // swing of the pole's head [rad]
constexpr double kPoleSpeed = 0.2;  // pole extension per second [1/s]
inline const VECTOR3 kCamOffsetDefault = {{0.3, 0, 2.0}};  // cockpit camera offset [m]
constexpr char kParafoilName[] = "Corvane_SRC_Parafoil";      // the capsule under its parafoil
constexpr char kHeliportName[] = "Heliport";

// Looks a vessel up by name (the host's parameter is not const; it only reads the name).
inline OBJHANDLE FindVessel(const char *name) { return oapiGetVesselByName(const_cast<char *>(name)); }
}  // namespace hx220

class Helicopter final : public corvane::HudVessel {
public:
    Helicopter(OBJHANDLE hVessel, int flightmodel);

    // Host callbacks, in the order of the host's slots.
    void clbkSetClassCaps(FILEHANDLE cfg) override;
    void clbkSaveState(FILEHANDLE scn) override;
    void clbkLoadStateEx(FILEHANDLE scn, void *status) override;
    void clbkPostCreation() override;
    void clbkPreStep(double simt, double simdt, double mjd) override;
    void clbkPostStep(double simt, double simdt, double mjd) override;
    void clbkVisualCreated(VISHANDLE vis, int refcount) override;
    void clbkVisualDestroyed(VISHANDLE vis, int refcount) override;
    // (the head-up display callbacks are HudVessel's; they draw DrawHudItems)
    int clbkConsumeBufferedKey(DWORD key, bool down, char *kstate) override;
    bool clbkLoadGenericCockpit() override;

    // Commands (keys, scenario and tests go through these).
    void ToggleEngine();
    void TogglePole();
    void ToggleHover();
    void ApplyHoverControls(bool hover);
    void DescentCommand();
    void FollowCourseCommand();
    void PlaneModeCommand();
    void HeadingHoldCommand();
    void AltHoldCommand();
    void ToggleBeacons();
    void ReleaseLoad();
    void CatchParafoil();
    void CameraStop();   // Shift+End: the camera offset stops moving
    void CameraReset();  // Shift+Delete: the camera goes back to its default offset

    // Initial great-circle course from one point to another [deg, 0..360]; 0 where undefined.
    static double CourseTo(double from_lat, double from_lon, double to_lat, double to_lon);

private:
    // --- definition (definition.cpp) ------------------------------------------------------
    void DefineAnimations();
    void CreatePoleAttachment();

    // --- frame steps (flight.cpp, sound_use.cpp, autopilot.cpp, pole.cpp) -----------------
    void ManualAttitude();
    void SetAngularRate(int axis, double rate);  // one component: 0 pitch x, 1 yaw y, 2 roll z
    void CommandAngularVel(const VECTOR3 &w, int axes);  // axes: bit i for component i
    void ApplyCommandedRates();                  // at the start of the next frame
    void EngineSounds();
    void MoveCamera();
    void RampRotor();
    void UpdateRotorLook();
    void UpdateBeaconGroups();
    void ManageLiftThruster();
    void CreateLiftThruster();
    void TurnRotor(double simdt);

    void ReadHeliportTarget();
    void RunAutopilot();
    void ManualAssists(OBJHANDLE capsule);
    void SetLiftLevel(double level);

    void TrackParafoil(OBJHANDLE capsule);
    void MovePole(double simdt, OBJHANDLE capsule);

    void LoadWaves();
    void ChooseSoundLibrary();  // at post-creation: XRSound when the sound add-on gave no id
    void PlaySlot(int slot, int loop, int volume, int frequency);
    void StopSlot(int slot);
    void PoleWarningSound(bool on);
    void UpdatePoleWarning();  // the low-altitude pole warning and its sound, every frame

    const char *ModeWord() const;  // the head-up display's mode word
    void DrawHudItems(corvane::HudSurface &hud, const HUDPAINTSPEC *hps) const override;

public:
    // --- state (the names are those of the design tables) ---------------------------------
    EngineState engine_state = ENGINE_OFF;
    PoleState pole_state = POLE_RETRACTED;
    VECTOR3 cam_offset;                          // cockpit camera offset [m]
    VECTOR3 cam_rate;                            // change of cam_offset per frame [m]
    double pf_lon = 0, pf_lat = 0, pf_rad = 0;   // parafoil capsule position [rad, rad, m]
    double pf_alt = 0;                           // [m]
    double own_lon = 0, own_lat = 0, own_rad = 0;
    double own_alt = 0;                          // [m]
    double bank_cmd = 0, yaw_cmd = 0, pitch_cmd = 0;
    double airspeed = 0;                         // [m/s]
    VECTOR3 ship_airspeed;                       // vessel frame [m/s]
    VECTOR3 horizon_airspeed;                    // local horizon frame, y = vertical speed [m/s]
    ATTACHMENTHANDLE pole_attach = nullptr;
    bool hover_on = false;
    bool hover_controls = false;                 // the hover's host settings in effect (a landing keeps them)
    double target_lat = 0, target_lon = 0;       // heliport [rad]
    double target_heading = 0;                   // heliport heading [deg]
    bool target_ready = false;                   // the heliport target was read (each helicopter its own)
    double heading = 0;                          // own heading [deg]
    BEACONLIGHTSPEC beacon1, beacon2;            // the host keeps pointers to these
    double pole_pos = 0;                         // pole extension 0..1
    double rotor_anim_pos = 0;
    double rotor_speed = 0;                      // 0..rotor_speed_max
    double lift_present = 0.0;                   // 1.0 while the lift thruster exists
    bool start_sound_played = false;
    int spool_count = 0;                         // frames counted since the start sound
    int spool_delay = 500;                       // frames of start sound before the ramp
    double rotor_speed_max = 8.0;
    double collective_bias = 0.7;
    bool descent_on = false, follow_course_on = false, plane_mode_on = false;
    bool heading_hold_on = false, alt_hold_on = false;
    bool attached = false;
    bool release_due = false;                    // below the release height: let go at the next pre-step
    bool post_stepped = false;                   // a post-step has run since the vessel was made
    bool pole_warning = false;                   // extended pole sinking low (warning shown, sound on)
    bool visual_present = false;
    MESHHANDLE mesh = nullptr;
    double sound_pitch_base = 0;
    double sound_freq = 0;
    bool addon_sound = false;                    // the sound add-on gave an id when this one was made
    xrsound::Engine *xr_engine = nullptr;        // XRSound's engine for this vessel, or null; the
                                                 // library's, freed by it with the vessel
    double lift_level = 0;
    PROPELLANT_HANDLE tank = nullptr;
    THRUSTER_HANDLE lift_thruster = nullptr;
    THRUSTER_HANDLE aux_thruster = nullptr;
    THGROUP_HANDLE lift_group = nullptr;
    float blade_alpha = 1.0f;                    // alpha of material 3 (rotor blades)
    float blur_alpha = 0.0f;                     // alpha of material 11 (rotor blur)
    MESHGROUP *main_blades = nullptr;            // group 7
    MESHGROUP *tail_blades = nullptr;            // group 8
    MESHGROUP *main_blur = nullptr;              // group 19
    MESHGROUP *tail_blur = nullptr;              // group 18
    MESHGROUP *beacon_group_a = nullptr;         // group 6
    MESHGROUP *beacon_group_b = nullptr;         // group 15
    UINT anim_rotor = 0, anim_pole = 0;

    // Angular velocity components written in the last post-step, applied again in the next pre-step.
    VECTOR3 rate_cmd = {{0, 0, 0}};              // [rad/s]
    int rate_axes = 0;                           // bit i: component i was written

private:
    VECTOR3 beacon1_pos, beacon1_col, beacon2_pos, beacon2_col;  // pointed at by the beacons
};
