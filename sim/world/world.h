// world.h -- the stand-in host's world: time and date, the Sun, Earth and Moon, the vessels in
// creation order, the focus, annotations, instrument modules and their displays, the host log and a
// seeded random generator. One world exists at a time; the API functions act on it.
#pragma once

#include "Orbitersdk.h"
#include "body.h"
#include "draw.h"
#include "mesh.h"
#include "object.h"
#include "vessel.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace sim {

// A vessel class configuration file.
struct ClassConfig {
    std::string class_name, module;
    bool has_size = false, has_mass = false;
    double size = 0, mass = 0;
    std::string mesh_name;        // MeshName: a mesh every vessel of the class shows, first of its meshes
    bool has_touchdown = false;   // TouchdownPoints: three points, x y z each
    VECTOR3 touchdown[3] = {};
};

struct Surface : Object {
    Surface() : Object(Kind::Surface) {}
    std::string name;
    int width = 0, height = 0;
    bool dynamic = false;
    struct Blit {
        Surface *src;
        int tgtx, tgty, srcx, srcy, w, h;
        DWORD ck;
    };
    std::vector<Blit> blits;  // what was copied onto it
};

struct Annotation : Object {
    Annotation() : Object(Kind::Annotation) {}
    bool exclusive = false;
    double size = 1;
    VECTOR3 col{};
    double x1 = 0, y1 = 0, x2 = 1, y2 = 1;
    std::string text;
};

// A loaded module file (vessel module or instrument plugin).
struct Module {
    std::string name, path;
    void *handle = nullptr;  // dlopen handle
    bool plugin = false;
    VESSEL *(*ovcInit)(OBJHANDLE, int) = nullptr;
    void (*ovcExit)(VESSEL *) = nullptr;
    void (*InitModule)(HINSTANCE) = nullptr;
    void (*ExitModule)(HINSTANCE) = nullptr;
    void (*opcPreStep)(double, double, double) = nullptr;
    void (*opcPostStep)(double, double, double) = nullptr;
    void (*opcFocusChanged)(OBJHANDLE, OBJHANDLE) = nullptr;
    // Its InitModule ran in this world and its ExitModule is due at the world's end. A module kept
    // loaded through World::Reset waits unused until a vessel class or the plugin list needs it.
    bool active = true;
};

struct MfdMode {
    int id = 0;
    std::string name;
    DWORD key = 0;
    OAPI_MSGTYPE (*msgproc)(UINT, UINT, WPARAM, LPARAM) = nullptr;
    bool registered = true;
};

// An open MFD display (0 left, 1 right) showing a registered mode.
struct Display {
    int mode_id = 0;
    MFD *mfd = nullptr;
    DWORD w = 256, h = 256;
    Vessel *vessel = nullptr;  // the vessel it was opened for (its MFD holds that vessel's interface)
};

// The simulator generation the world behaves as, where generations differ: which graphics client
// makes vessel visuals and which head-up display callback is called.
//   k2016        the 2016 tree: built-in (inline) graphics client
//   k2024Inline  the 2024 release's inline-graphics executable
//   k2024        the 2024 release with its external graphics client
//   kLatest      the current tree (external graphics client only)
enum class HostGeneration { k2016, k2024Inline, k2024, kLatest };
// "2016", "2024-inline", "2024", "latest"; false for anything else.
bool ParseHostGeneration(const std::string &text, HostGeneration *out);
const char *HostGenerationName(HostGeneration g);
// True for the generations whose graphics client is the built-in one.
inline bool InlineGraphics(HostGeneration g) { return g == HostGeneration::k2016 || g == HostGeneration::k2024Inline; }

struct WorldOptions {
    std::string root;         // add-on root; empty: $CORVANE_ADDON_ROOT, else "."
    std::string overlay;      // searched before the root for Config/ files (tests add classes here)
    std::vector<std::string> module_dirs;  // searched after <root>/Modules for module files (test modules)
    // Step length (TimeData.cpp BeginStep): SimDT = (fixed step, else the frame's real time) x warp.
    double dt = 0.02;         // fixed step [s] (the simulator's fixed-step option); 0: none, each
                              // step is the frame time (the first three frames 0.01 s) x warp
    double frame_time = 1.0 / 60.0;  // real time of one frame when no fixed step is set [s]
    double warp = 1.0;        // time acceleration at the start
    double mjd = 51544.5;     // date at simulation time 0
    std::uint64_t seed = 1;   // random generator seed
    bool physics = false;     // integrate motion (off: nothing moves unless placed)
    bool load_plugins = false;  // load every instrument module found in Modules/Plugin
    std::string log_path = "Orbiter.log";  // host log, in the current folder
    bool journal = false;     // journal every vessel's API calls from its creation on
    int flight_model = 1;     // flight-model level given to new vessels (0 simple, 1 realistic)
    HostGeneration host = HostGeneration::kLatest;  // simulator generation to behave as
    bool graphics = true;     // false: no graphics client (the server build), no vessel gets a visual
    // Saves write the host's lines with every digit and the angular velocity always (not the host's
    // format): for checks that tell a module's lost state from the host's rounding.
    bool exact_saves = false;
};

class World {
public:
    explicit World(const WorldOptions &opt = WorldOptions());
    const WorldOptions &Options() const { return opt_; }
    ~World();  // ends the world: vessels deleted, plugins exited, modules unloaded
    // Ends the flight and starts the world afresh with the same options, as a new World would be,
    // but keeps the module files loaded (each module's ExitModule runs now and its InitModule again
    // when a vessel class or the plugin list first needs it, as in a new world) and the mesh files
    // already parsed (read once per World object). The owner's callbacks (state_update, on_event,
    // after_post_steps) stay set. For runs of many short flights (the fuzz targets).
    void Reset();
    World(const World &) = delete;
    World &operator=(const World &) = delete;

    static World *Current();

    // --- time -----------------------------------------------------------------------------
    // The simulation time of the frame's start (oapiGetSimTime gives TimeData SimT0, so it is still
    // the start inside the post-steps; it advances at the end of the frame).
    double SimTime() const { return simt_; }
    // The current frame's step (SimDT): fixed step or frame time, times the warp.
    double StepLength() const { return dt_; }
    double Mjd() const { return mjd0_ + simt_ / 86400.0; }
    // Sets a fixed step [s] (0: frames that do not advance time); the warp still multiplies it.
    void SetStepLength(double dt)
    {
        fixed_ = true;
        fixed_step_ = dt;
        NewStep(dt * warp_);
    }
    // Time acceleration (Orbiter.cpp SetWarpFactor, TimeData.cpp SetWarp): clamped to [0.1, 1e5];
    // with a delay > 0 the warp moves toward the target by a factor of ten per `delay` seconds of
    // real time (what a recorded session's "TACC warp delay" does), else at once (keys, dialog,
    // oapiSetTimeAcceleration). Takes effect from the next frame on.
    void SetWarp(double warp, double delay = 0);
    double Warp() const { return warp_; }
    // The step the coming frames take once the warp has reached its target (launch frames aside).
    double NominalStep() const { return (fixed_ ? fixed_step_ : opt_.frame_time) * warp_target_; }
    double WarpTarget() const { return warp_target_; }
    void SetMjd(double mjd);  // moves the date (bodies follow)
    std::uint64_t FrameCount() const { return frames_; }

    // --- frames ---------------------------------------------------------------------------
    // One frame as Orbiter::UpdateWorld + EndTimeStep run it: each plugin's opcPreStep, then each
    // vessel's clbkPreStep(SimT0, SimDT, MJD0); the state update (into each vessel's `next`
    // state); each vessel's clbkPostStep(SimT1, SimDT, MJD1), then each plugin's opcPostStep; the
    // updated states are published, landed vessels and attached children placed, deleted vessels
    // given back, and time advances. The loops reach vessels created during them (they are appended
    // to the list): one made in a pre-step gets its own pre-step and is integrated, one made in a
    // vessel's post-step gets its post-step without being integrated, one made in a plugin's
    // post-step waits for the next frame.
    void RunFrame();
    void RunFrames(int n);
    void RunFor(double seconds);
    bool physics() const { return opt_.physics; }
    void SetPhysics(bool on) { opt_.physics = on; }
    // The state update of one frame (physics when on, else landed vessels turn with the Earth and
    // attached children follow their parents). Set by the physics module when present.
    std::function<void(World &, double dt)> state_update;

    // --- bodies ---------------------------------------------------------------------------
    Body *Sun() const { return sun_; }
    Body *Earth() const { return earth_; }
    Body *Moon() const { return moon_; }
    Body *FindBody(const std::string &name) const;
    Body *FindBody(const char *name) const;  // no string is built (lookups on the per-frame path)
    const std::vector<Body *> &Bodies() const { return bodies_; }
    Body *DominantGravitySource(const VECTOR3 &global_pos) const;  // Psys.cpp GetDominantGravitySource

    // --- vessels --------------------------------------------------------------------------
    // Run-time creation (oapiCreateVessel/Ex): ovcInit, class caps (the module's, then the class
    // file's items), the state (the module's clbkSetStateEx for a VESSELSTATUS2, the host itself for
    // a plain VESSELSTATUS), the graphics client's visual, then clbkPostCreation.
    // Null when the class is not found or its module cannot be used (reported in the log).
    Vessel *CreateVessel(const std::string &name, const std::string &cls, const VESSELSTATUS2 &status);
    Vessel *CreateVessel(const std::string &name, const std::string &cls, const VESSELSTATUS &status);
    // A vessel in free flight at a place (tests): created like a run-time vessel, then placed.
    Vessel *CreateVesselAt(const std::string &name, const std::string &cls, double lng, double lat, double alt,
                           double heading = 0, const VECTOR3 &air_velocity = _V(0, 0, 0));
    Vessel *CreateVesselLanded(const std::string &name, const std::string &cls, double lng, double lat,
                               double heading = 0);
    bool DeleteVessel(Vessel *v);
    Vessel *FindVessel(const std::string &name) const;  // case-insensitive, live vessels only
    Vessel *FindVessel(const char *name) const;  // the same without building a string (per-frame lookups)
    const std::vector<Vessel *> &Vessels() const { return vessels_; }  // live, creation order
    Vessel *Focus() const { return focus_; }
    void SetFocus(Vessel *v);

    // Visuals, as the generation's graphics client makes them: the external client (2024, latest)
    // gives a run-time vessel its visual inside the creating call, before its clbkPostCreation, and
    // the vessels of a scenario theirs at its first update (the end of the first frame); a visual
    // lives until its vessel is deleted. The built-in client (2016, 2024-inline) keeps a visual only
    // while the vessel is within the camera's range (the focus vessel's cockpit). Without graphics
    // no vessel gets one. Tests can also take a visual away and give it back.
    void CreateVisual(Vessel *v);
    void DestroyVisual(Vessel *v);
    void UpdateScene();                     // the client's update at the end of a frame
    bool InCameraRange(const Vessel *v) const;  // the built-in client's visibility rule
    bool CameraPos(VECTOR3 *pos) const;     // false when there is no vessel to look from

    // --- scenarios ------------------------------------------------------------------------
    bool LoadScenario(const std::string &path, std::string *error);
    bool LoadScenarioText(const std::string &text, std::string *error, const std::string &source = "<text>");
    std::string SaveScenarioText(const std::string &description = "");
    bool SaveScenario(const std::string &path, std::string *error = nullptr);
    // The lines one vessel writes (host lines and its own), without the name:class line and END.
    std::vector<std::string> SaveVesselLines(Vessel *v);

    // --- input ----------------------------------------------------------------------------
    // A buffered key event to a vessel (its clbkConsumeBufferedKey); returns the callback's result.
    int KeyEvent(Vessel *v, DWORD key, bool down, bool shift = false);
    // Press and release a key on the focus vessel (or on v); returns what the press returned.
    int PressKey(DWORD key, bool shift = false, Vessel *v = nullptr);
    // A pilot's stick, rudder and throttle (ignored for surfaces whose ADCtrlMode bit is off).
    void SetPilotControl(Vessel *v, AIRCTRL_TYPE type, double level);
    void SetThrottle(Vessel *v, double level);

    // --- MFD displays ---------------------------------------------------------------------
    const std::vector<MfdMode> &MfdModes() const { return modes_; }
    int RegisterMfdMode(const MFDMODESPEC &spec);
    bool UnregisterMfdMode(int id);
    // Opens a registered mode on display 0 (left) or 1 (right) of the focus vessel (null without
    // one). When the vessel a display was opened for is deleted, the display is opened again for
    // the new focus vessel (StoreStatus, then RecallStatus), or closed when no vessel is left.
    MFD *OpenMfd(int which, const std::string &mode_name, DWORD w = 256, DWORD h = 256);
    void CloseMfd(int which);
    MFD *GetMfd(int which) const;
    Display *GetDisplay(int which);
    bool MfdKey(int which, DWORD key);
    bool MfdButton(int which, int bt, int event = PANEL_MOUSE_LBDOWN);
    // Draws a display into a fresh recorder (owned by the world until the next draw of that display).
    DrawRecorder *DrawMfd(int which);
    // Draws the focus vessel's (or v's) head-up display of a given size into a fresh recorder.
    DrawRecorder *DrawHud(int w = 1024, int h = 768, Vessel *v = nullptr, int mode = HUD_SURFACE);
    DWORD char_w = 8, char_h = 14;  // the host's default MFD font cell [pixels]

    // --- annotations, textures, meshes ----------------------------------------------------
    const std::vector<Annotation *> &Annotations() const { return notes_; }  // live ones
    Annotation *NewAnnotation();
    bool DeleteAnnotation(Annotation *a);
    Surface *LoadTexture(const std::string &name, bool dynamic);
    Surface *RegisterTexture(const std::string &name);
    Mesh *LoadMesh(const std::string &name);  // a new copy; null (and a log line) when missing
    Mesh *MeshTemplate(const std::string &name);  // the file's parsed mesh, loaded once (null when missing)
    Mesh *CopyMesh(const Mesh *m);

    // --- log, random, events --------------------------------------------------------------
    void Log(const std::string &line);
    void Logf(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
    const std::vector<std::string> &LogLines() const { return log_; }
    // Why the host log file could not be written ("" while all is well): the first failure.
    const std::string &LogFileError() const { return log_error_; }
    // A bad call a module made, reported in the log: the first 200 of each world, then one line
    // saying that the rest go unreported (a fault repeated every frame would flood the log).
    void Fault(const char *func, const char *what);
    double Rand();               // uniform in [0, 1)
    void ForceRand(double v);    // the next Rand() returns v (queued)
    // Timeline events (created, focus, attached, detached, note shown/removed, landed, deleted):
    // "t=..." is added by the listener. Also kept in events().
    std::function<void(const std::string &)> on_event;
    // Called once a frame after the plugins' post-steps, with the post-step time: what a plugin
    // added last would see there (the harness's own watchers).
    std::function<void(double simt)> after_post_steps;
    void Event(const std::string &text);
    const std::vector<std::pair<double, std::string>> &events() const { return events_; }

    // --- registry and module files (used by the API implementation) ----------------------
    void Register(Object *o);  // takes ownership
    bool Issued(const void *h) const { return issued_.count(h) != 0; }
    std::vector<std::string> journal;  // global API calls, when journaling (options.journal)
    void Note(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
    // The vessel whose callback is running (for journaling global calls), or null.
    Vessel *current_vessel = nullptr;
    const std::string &root() const { return root_; }
    // The path of an add-on file given relative to the tree ("Textures/x.dds"): the overlay's
    // when the overlay has it, else the tree's.
    std::string AddonPath(const std::string &relative) const;
    // A number no other world of this process has (a world made where an ended one stood has
    // another): what outlives a world, as the drawing's kept textures, tells worlds apart by it.
    std::uint64_t serial() const { return serial_; }
    std::string FindClassConfig(const std::string &cls, std::vector<std::string> *looked) const;
    Module *LoadModule(const std::string &name, bool plugin, std::string *error);
    const std::vector<std::unique_ptr<Module>> &modules() const { return modules_; }
    void LoadPlugins();  // every instrument module in Modules/Plugin
    Module *LoadPlugin(const std::string &name);

    WorldOptions opt_;

    // The callbacks of a vessel's object (null for a plain VESSEL or a dead vessel).
    static VESSEL2 *Callbacks(Vessel *v);
    // The host's own object for a vessel of a class that no module serves (a plain VESSEL2), and
    // its end. The API layer, which implements the VESSEL2 class, sets these when the host library
    // loads (api_vessel.cpp): the world calls them and knows nothing of that class's code.
    static VESSEL *(*new_plain_vessel)(OBJHANDLE hVessel, int fmodel);
    static void (*delete_plain_vessel)(VESSEL *v);
    // Puts every attached child on its parent's point (parents before children).
    void FollowParents();
    // Fixes a newly attached child's rotation and offset from the two points (InitAttachment) and
    // puts it there with its own children (UpdatePassive). PlaceChild does both.
    static void PlaceChild(Vessel *parent, Attachment *pa, Vessel *child, Attachment *ca);
    static void InitAttachment(Vessel *child, bool allow_loose);
    static void UpdatePassive(Vessel *child, int depth = 0);
    // Releases a child from its parent with an ejection speed; false when it hangs on none.
    bool DetachFromParent(Vessel *child, double vel);
    // A point's position, direction or rotation changed (old direction and rotation given).
    void AttachmentParamsChanged(Attachment *a, const VECTOR3 &old_dir, const VECTOR3 &old_rot);
    bool in_frame() const { return in_frame_; }
    const std::vector<Module *> &plugins() const { return plugins_; }
    // Scenario loading keeps these while a vessel reads its lines.
    struct LoadContext *loading = nullptr;

private:
    friend struct WorldAccess;
    struct Kept;  // what Reset carries over to the fresh world
    World(const WorldOptions &opt, Kept *kept);
    void EndFlight();  // the vessels ended, the displays closed, every active module's ExitModule
    Vessel *NewVesselRecord(const std::string &name, const std::string &cls, std::string *error);
    void SetClassCaps(Vessel *v);    // the module's clbkSetClassCaps, then the class file's items
    void InsertVessel(Vessel *v);    // run-time creation's end: the client's visual, then post-creation
    void NewVesselVisual(Vessel *v);
    void FinishCreation(Vessel *v);  // clbkPostCreation (scenario vessels: after all are loaded)
    void UpdateBodies() { UpdateBodies(Mjd()); }
    void UpdateBodies(double mjd);   // the Sun, Earth and Moon at a date (the last date's kept)
    void ComputeBodies(double mjd);
    double BeginStep();  // the step of the frame that begins (warp ramp, launch frames)
    void NewStep(double dt)
    {
        if (dt == dt_) return;
        dt_ = dt;
        step_origin_ = simt_;
        steps_since_origin_ = 0;
    }
    void BeginUpdate(std::vector<Vessel::State> *saved, std::vector<Vessel *> *updated);
    void BodiesAtEnd(double mjd1);
    void EndUpdate(double mjd1, const std::vector<Vessel::State> &saved, const std::vector<Vessel *> &updated);
    void Publish();
    void UpdateProxies(Vessel *v);
    void UpdateProxies(double simt1);
    // The date and the Sun's place for Earth's atmosphere model (`fresh`: look the Sun up now).
    void UpdateAtmosphereClock(bool fresh = false);
    template <typename F>
    void ForEachVessel(F &&call);  // a callback of every vessel, as the frame's loops run them
    void DefaultStateUpdate(double dt);
    void ExitVessel(Vessel *v);
    void HoldOverGround(const MATRIX3 &earth_before);
    void UnloadModules();
    void ActivateModule(Module *m);  // InitModule, its log line, among the plugins if one
    void ReapDeleted();
    // Opens a display; `recall` false when a scenario's lines restore it (ReadStatus instead).
    MFD *OpenDisplay(int which, const std::string &mode_name, DWORD w, DWORD h, bool recall);
    bool Deleting(const Vessel *v) const;  // deleted, its module object not yet given back
    std::vector<Vessel *> pending_delete_;
    // Module code may delete a vessel from inside any callback, its own included: the vessel leaves
    // the world at once but its module object is given back only when no callback is running (at
    // the end of the frame, or when the outermost host call into module code returns).
    struct Busy;
    int busy_ = 0;
    std::vector<Vessel *> frame_vessels_;  // the vessels a frame's loop calls (kept to spare an allocation)

    std::string root_;
    std::uint64_t serial_ = 0;
    double simt_ = 0, dt_ = 0.02, mjd0_ = 51544.5;
    bool fixed_ = true;            // a fixed step is set
    double fixed_step_ = 0.02;     // [s]
    double warp_ = 1, warp_target_ = 1, warp_delay_ = 0;
    int launch_frames_ = 3;        // frames left at 0.01 s (Orbiter.cpp launch_tick)
    std::vector<Vessel::State> saved_states_;  // the published states during the update (kept to spare allocations)
    std::vector<Vessel *> updated_;            // the vessels the update stepped
    // Time is counted in whole steps from the last change of step length, so that 180000 steps of
    // 1/60 s end at 3000 s, not a rounding error short of it.
    double step_origin_ = 0;
    std::uint64_t steps_since_origin_ = 0;
    std::uint64_t frames_ = 0;
    bool in_frame_ = false;
    std::vector<std::unique_ptr<Object>> owned_;
    std::unordered_set<const void *> issued_;
    std::vector<Body *> bodies_;
    Body *sun_ = nullptr, *earth_ = nullptr, *moon_ = nullptr;
    // The bodies' state at the last date computed: the state update asks for the frame's end twice
    // (the vessels' gravity, then the bodies' own move), and a frame's start is the last one's end.
    struct BodyMemo {
        double mjd = 0;
        bool valid = false;
        VECTOR3 pos[3], vel[3];
        MATRIX3 R[3], spin[3];
    } body_memo_;
    std::vector<Vessel *> vessels_;
    Vessel *focus_ = nullptr;
    Vessel *prev_focus_ = nullptr;  // the focus before the current one (takes over if that is deleted)
    std::vector<Annotation *> notes_;
    std::vector<std::unique_ptr<Module>> modules_;
    std::vector<Module *> plugins_;
    std::vector<MfdMode> modes_;
    int next_mode_id_ = 1;
    Display displays_[2];
    std::unique_ptr<DrawRecorder> last_draw_[3];  // left, right, hud
    bool hud_dc_refused_ = false;  // an external client logs a GetDC on the HUD's surface once
    std::vector<std::string> log_;
    int faults_ = 0;
    std::FILE *log_file_ = nullptr;
    std::string log_error_;
    void Log(const std::string &line, bool keep);  // keep: also in LogLines()
    std::mt19937_64 rng_;
    std::vector<double> forced_rand_;
    std::vector<std::pair<double, std::string>> events_;
    std::map<std::string, Mesh *> mesh_cache_;
    std::map<const Vessel *, ClassConfig> class_items_;  // the class file's items, until its class caps are set
    bool scene_started_ = false;    // the graphics client made its first update
    std::size_t scene_cursor_ = 0;  // the object its next update looks at
};

}  // namespace sim
