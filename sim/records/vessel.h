// vessel.h -- the host's record of one vessel: everything its module defined through the API and
// its dynamic state. Queries (altitude, equatorial position, attitude angles, air data) are derived
// from the state, never stored twice. Tests read these records directly.
#pragma once

#include "Orbitersdk.h"
#include "object.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class World;
struct Body;
struct Module;
struct Mesh;

struct Tank : Object {
    Tank() : Object(Kind::Tank) {}
    double max_mass = 0, mass = 0, efficiency = 1;
};

struct Thruster : Object {
    Thruster() : Object(Kind::Thruster) {}
    VECTOR3 pos{}, dir{};
    double max0 = 0, isp0 = 0, isp_ref = 0, p_ref = 101.4e3;
    Tank *tank = nullptr;
    double level = 0;
};

struct ThrusterGroup : Object {
    ThrusterGroup() : Object(Kind::Group) {}
    std::vector<Thruster *> thrusters;
    THGROUP_TYPE type = THGROUP_MAIN;
};

struct Exhaust {
    Thruster *thruster = nullptr;
    double lscale = 0, wscale = 0;
    SURFHANDLE tex = nullptr;
};

struct ParticleStream : Object {
    ParticleStream() : Object(Kind::Stream) {}
    enum Source { EXHAUST, REENTRY } source = EXHAUST;
    Thruster *thruster = nullptr;  // exhaust streams
    bool has_pos = false;
    VECTOR3 pos{};
    bool has_spec = false;
    PARTICLESTREAMSPEC spec{};  // a copy; the host's defaults when none was given
};

struct MeshSlot {
    bool present = false;
    std::string file;          // the name it was added by ("" when added from a handle)
    Mesh *source = nullptr;    // the loaded template (null when the file was missing)
    bool has_ofs = false;
    VECTOR3 ofs{};
    WORD vis_mode = MESHVIS_EXTERNAL;
};

struct AnimComponent : Object {
    AnimComponent() : Object(Kind::Component) {}
    UINT anim = 0;
    double state0 = 0, state1 = 1;
    MGROUP_TRANSFORM *trans = nullptr;  // owned by the module
    AnimComponent *parent = nullptr;
};

struct Animation {
    double initial = 0, state = 0;
    std::vector<AnimComponent *> components;
};

struct Attachment : Object {
    Attachment() : Object(Kind::Attachment) {}
    Vessel *owner = nullptr;
    bool toparent = false;
    VECTOR3 pos{}, dir{}, rot{};
    std::string id;
    bool loose = false;
    Attachment *mate = nullptr;  // the point at the other end while attached
};

struct Airfoil : Object {
    Airfoil() : Object(Kind::Airfoil) {}
    AIRFOIL_ORIENTATION align = LIFT_VERTICAL;
    VECTOR3 ref{};
    AirfoilCoeffFuncEx cf = nullptr;
    void *context = nullptr;
    double c = 0, S = 0, A = 0;
};

struct ControlSurface {
    AIRCTRL_TYPE type = AIRCTRL_ELEVATOR;
    double area = 0, dCl = 0;
    VECTOR3 ref{};
    int axis = AIRCTRL_AXIS_AUTO;
    UINT anim = (UINT)-1;
};

struct Beacon {
    BEACONLIGHTSPEC *spec = nullptr;  // owned by the module
};

struct Visual : Object {
    Visual() : Object(Kind::Visual) {}
    Vessel *vessel = nullptr;
    std::vector<Mesh *> meshes;  // one device copy per mesh slot (null for an empty slot)
};

}  // namespace sim

// The host's vessel record (the SDK's VESSEL keeps a pointer to it).
class Vessel : public sim::Object {
public:
    Vessel() : Object(sim::Kind::Vessel) {}

    sim::World *world = nullptr;
    std::string name, class_name;
    sim::Module *module = nullptr;  // null for a plain class that no module serves
    VESSEL *iface = nullptr;        // the module's object (or the host's own VESSEL2)
    bool owns_iface = false;        // true when the host made a plain VESSEL2 for it
    int flight_model = 1;

    // --- definition ---------------------------------------------------------------------
    // The host's defaults of a vessel that sets nothing (Vessel.cpp Vessel::DefaultGenericCaps;
    // measured in the core with a class that sets nothing: size 10, cross sections (20, 20, 20),
    // rotational drag (0.01, 0.01, 0.01)). The inertia is undefined until the end of creation,
    // where Vessel::Setup makes it (2 size, 2 size, size) from the size then set (measured: (20, 20,
    // 10)) unless a module gave one.
    double size = 10, empty_mass = 1000;
    double cw_z_pos = 0.1, cw_z_neg = 0.3, cw_x = 0.3, cw_y = 0.3;
    double wing_aspect = 1, wing_effectiveness = 2.8;
    VECTOR3 rot_drag = _V(0.01, 0.01, 0.01);
    double pitch_moment_scale = 0, bank_moment_scale = 0, trim_scale = 0;
    VECTOR3 pmi = _V(-1, -1, -1), cross_sections = _V(20, 20, 20);
    double cog_elev = 0;
    VECTOR3 camera_offset{}, camera_dir = _V(0, 0, 1);
    double cam_range[4] = {0, 0, 0, 0};
    VECTOR3 cam_shift[3] = {};
    LiftCoeffFunc lift_func = nullptr;
    bool has_touchdown = false;
    // Touchdown points: the host's defaults until the module sets its own (Vessel.cpp constructor:
    // stiffness 1e6 N/m, damping 1e5 N s/m, friction 0.5 lateral / 0.1 longitudinal).
    VECTOR3 touchdown[3] = {_V(0, -2, 10), _V(-3, -2, -5), _V(3, -2, -5)};
    double td_stiffness[3] = {1e6, 1e6, 1e6}, td_damping[3] = {1e5, 1e5, 1e5};
    double td_mu[3] = {0.5, 0.5, 0.5}, td_mu_lng[3] = {0.1, 0.1, 0.1};
    VECTOR3 dock_pos{}, dock_dir{}, dock_rot{};
    double gravity_gradient_damping = 0;
    double mu_lng = 0.1, mu_lat = 0.5;
    // Vessel.cpp Vessel::Vessel: the air-data controls start off (ctrlsurfmode 0) until the module
    // or the scenario's AFCMODE says otherwise (core measured: the parafoil capsule and the heliport,
    // which set none, are saved without an AFCMODE line).
    DWORD adctrl_mode = 0;
    int attitude_mode = 1;
    std::vector<sim::Beacon> beacons;

    std::vector<sim::Tank *> tanks;
    std::vector<sim::Thruster *> thrusters;       // live ones, in creation order
    std::vector<sim::ThrusterGroup *> groups;
    std::vector<sim::Exhaust> exhausts;
    std::vector<sim::ParticleStream *> streams;
    std::vector<sim::MeshSlot> meshes;
    std::vector<sim::Animation> animations;
    std::vector<sim::Attachment *> attachments;  // both kinds, creation order
    std::vector<sim::Airfoil *> airfoils;
    std::vector<sim::ControlSurface> ctrl_surfaces;
    double ctrl_level[6] = {0, 0, 0, 0, 0, 0};  // target set by module or pilot, by AIRCTRL_TYPE
    double ctrl_curr[6] = {0, 0, 0, 0, 0, 0};   // current deflection, slewing toward the target
    double ctrl_delay[6] = {1, 1, 1, 1, 1, 1};  // [s] from -1 to +1 (the last surface created sets it)
    double default_isp = 5e4;                   // [m/s] given to thrusters created with Isp 0
    // [kg] The mass as the host last updated it (Vessel.cpp Vessel::UpdateMass: in SetEmptyMass, a
    // propellant mass set, a plain status applied and the end of creation, Vessel::Setup; a class
    // file's Mass sets only the empty mass). A level landed placement compresses the touchdown
    // points under this weight: a class without a module created landed rests on its uncompressed
    // points (measured in the core: the 50 t heliport's origin 1.164 m up on points 1.164 m below).
    double updated_mass = 0;
    sim::Visual *visual = nullptr;

    // --- dynamic state ------------------------------------------------------------------
    sim::Body *ref = nullptr;  // reference body: the closest body (the host's proxy body, for surface queries)
    // The orbit reference (the host's cbody): the body of the saved STATUS Orbiting and RPOS/RVEL,
    // GetGravityRef and the elements; the dominant pull, looked up as the proxies are (none: ref).
    sim::Body *orbit_ref = nullptr;
    double proxy_t = -1;       // simulation time after which the proxies are looked up again [s]
    sim::Body *home = nullptr; // the body it is placed on when it has none (the world's Earth)
    VECTOR3 rpos{}, rvel{};    // relative to ref, global axes [m, m/s]
    MATRIX3 R = identity();    // vessel frame -> global frame
    VECTOR3 omega{};           // angular velocity, vessel frame [rad/s]; a point r moves with r x omega
    bool landed = false;
    double surf_lng = 0, surf_lat = 0, surf_hdg = 0;  // valid while landed
    double landed_elev = 0;                           // centre of gravity above ground while landed [m]
    MATRIX3 land_rot = identity();                    // vessel frame -> reference body's fixed frame, while landed
    double landed_pitch = 0, landed_bank = 0;         // as the placement set them, while landed [rad]
    // Landing test (CheckLanded): resting on the ground since `t` with this planet-frame position
    // and global attitude at the last check.
    struct LandingTest {
        bool testing = false;
        double t = 0;
        VECTOR3 pos{};
        MATRIX3 rot = identity();
    } landing_test;
    bool surface_contact = false;   // a touchdown point was below the ground after the last step
    double contact_speed = -1;      // [m/s] sink speed at the first contact (for the timeline)
    bool thrust_engaged = false;    // a thruster fired in the last step
    // What the host's integrator carries from one step into the next (Rigidbody.h acc, arot;
    // Vesselbase.h collision_speed_checked): the acceleration of the centre of mass [m/s^2, global
    // axes] and the angular acceleration [rad/s^2, vessel axes] at the end of the last step, which
    // the next step's first stage starts from, and whether the sink speed of the present ground
    // contact has been checked.
    // A state placed by a status record or a release starts from gravity alone and out of ground
    // contact (Vessel.cpp RPlace_individual): step_acc_valid is false until the next step.
    VECTOR3 step_acc{}, step_arot{};
    bool step_acc_valid = false;
    bool collision_speed_checked = false;
    void Replaced()
    {
        step_acc_valid = false;
        surface_contact = false;
    }
    Vessel *parent = nullptr;                         // set while attached to a parent
    MATRIX3 attach_rrot = identity();                 // while attached: vessel frame -> parent frame (may be sheared)
    VECTOR3 attach_rpos{};                            // while attached: own origin in the parent frame [m]
    int ortho_axis = 0;                               // turns through the axes its child points re-orthogonalise
    bool created_in_frame = false;                    // made while a frame runs
    bool created = false;                             // its creation callbacks are done

    // --- published and updated state -----------------------------------------------------
    // The simulator keeps two state buffers per body (Body.h s0/s1): the state update of a frame
    // writes the new one, the post-steps still see the old one as the vessel's state (global
    // position and velocity, rotation matrix, angular velocity, GetStatus), and the new one is
    // published only after every post-step (Orbiter.cpp EndTimeStep -> Psys FinaliseUpdate ->
    // Body::EndStateUpdate). What the update derives on the way (Vessel.cpp Update ->
    // UpdateSurfParams, UpdateMass: altitude, equatorial position, airspeed, pitch, bank, heading,
    // air data, mass) is already the new one. The fields above are always the published state
    // (s0); from the end of the state update to the end of the frame `next` holds the updated one
    // (s1) and the surface queries below read it. A write into the fields during the post-steps
    // (SetAngularVel, RigidBody::SetAngVel writes s0) is overwritten when `next` is published.
    struct State {
        VECTOR3 rpos{}, rvel{};
        MATRIX3 R = identity();
        VECTOR3 omega{};
        bool landed = false;
        double surf_lng = 0, surf_lat = 0, surf_hdg = 0, landed_elev = 0;
        MATRIX3 land_rot = identity();
        double landed_pitch = 0, landed_bank = 0;
    };
    State CurrentState() const;
    void SetCurrentState(const State &s);
    bool has_next = false;  // between the state update and the end of the frame
    State next;

    // --- journal of API calls (tests that are about call order) -------------------------
    bool journaling = false;
    std::vector<std::string> journal;
    void Note(const char *fmt, ...) __attribute__((format(printf, 2, 3)));

    // --- helpers used by the API and the world ------------------------------------------
    double Mass() const;  // empty mass + propellant (attached children are not carried)
    VECTOR3 GlobalPos() const;
    sim::Body *OrbitRef() const { return orbit_ref ? orbit_ref : ref; }
    VECTOR3 GlobalVel() const;
    // The state against another body b (the host's rpos and rvel against a new proxy or orbit
    // reference, VesselBase::UpdateProxies, Vessel.cpp WriteDefault): through the difference of the
    // two bodies' states, not through the global state, which far from the origin (an ephemeris far
    // outside its years puts Earth some 1e15 m out) would round the place to 0.1 m, so that a save
    // loaded and saved again moved the vessel; so the place stays within a rounding of its
    // distance to b.
    VECTOR3 PosAgainst(const sim::Body *b) const;
    VECTOR3 VelAgainst(const sim::Body *b) const;
    VECTOR3 AirVelocityGlobal() const;   // velocity relative to the rotating atmosphere
    VECTOR3 HorizonAirspeed() const;     // x east, y up, z north
    VECTOR3 ShipAirspeed() const;        // in the vessel frame
    double Altitude() const;             // above the reference body's mean radius
    void EquPos(double &lng, double &lat, double &rad) const;
    MATRIX3 HorizonFrame() const;        // columns: east, up, north in global axes
    double Heading() const;              // [0, 2pi)
    double Pitch() const;                // nose above the horizon, positive up
    double Bank() const;                 // positive with the left wing down
    // All of the surface place and attitude at once, from one horizon frame: what EquPos,
    // HorizonAirspeed, Heading, Pitch and Bank give one by one (a pilot reads them all each frame).
    struct HorizonReading {
        double lng = 0, lat = 0, rad = 0;
        VECTOR3 airspeed{};  // x east, y up, z north
        double heading = 0, pitch = 0, bank = 0;
    };
    HorizonReading ReadHorizon() const;
    double Density() const;
    // The vessel whose surface parameters this one reports: an attached child its root parent's
    // (Vessel.h Vessel::GetSurfParam returns attach->mate->GetSurfParam(); measured in the core: the
    // capsule hanging 17 m below the helicopter reports the helicopter's altitude). The API's
    // surface queries read it: GetSurfaceRef, GetAltitude, GetEquPos, the air- and ground-speed
    // vectors, GetAOA, GetSlipAngle, GetPitch, GetBank, GetYaw and their oapi forms; the
    // atmosphere's data, the mass and the state vectors stay the vessel's own.
    const Vessel *SurfaceOwner() const;
    double Pressure() const;
    double Temperature() const;
    double SpeedOfSound() const;

    // Places the vessel (module tests and scripts): on its reference body at a longitude and
    // latitude [rad] and altitude [m], level with a heading [rad] then pitched and banked [rad],
    // moving with the atmosphere plus `air_velocity` given in the local horizon frame (x east,
    // y up, z north) [m/s]. Clears the landed state.
    void Place(double lng, double lat, double alt, double heading = 0, double pitch = 0, double bank = 0,
               const VECTOR3 &air_velocity = _V(0, 0, 0));
    // Sets the vessel landed at a surface point (Vessel::InitLanded of the simulator). Without
    // `rot`: level on its touchdown points (compressed under its weight) at heading `hdg`. With
    // `rot` (vessel frame -> the body's fixed frame): at that attitude with its origin `elev` above
    // the ground, `hdg` only being the heading it reports. Pitch and bank are those of the placement.
    void InitLanded(double lng, double lat, double hdg, const MATRIX3 *rot = nullptr, double elev = 0);
    // Sets the vessel landed level at a heading, its origin landed_elev above the ground (ground contact).
    void SetLanded(double lng, double lat, double hdg);
    // Recomputes position, velocity and attitude of a landed vessel from its surface point (Earth turns).
    void UpdateLanded();
    // The end of creation (Vessel.cpp Vessel::Setup): an inertia still undefined (below 0) becomes
    // (2 size, 2 size, size), and the mass is updated.
    void FinishSetup();

    std::vector<sim::Object *> parts;  // every sub-record issued for this vessel (handles)
    const std::vector<sim::Object *> &Children() const { return parts; }

    // The surface place and horizon frame last worked out, with the state they were worked out
    // from: a pure function of the position and the body's rotation, asked for many times a frame
    // for the same state (the pilot's look, the trajectory's row, the modules' air data), so the
    // same bits give back the same answer without the trigonometry again.
    struct HorizonMemo {
        VECTOR3 rpos;
        MATRIX3 B;
        double lng = 0, lat = 0, rad = 0;
        MATRIX3 H;
        bool valid = false;
    };
    mutable HorizonMemo horizon_memo;
    // A landed vessel's place in its body's fixed frame, with the surface point it was worked out
    // from: it stays the same while the vessel rests, and the frame's two turns with the Earth (the
    // state update's and the end of the frame's) need it again every frame.
    struct SurfacePointMemo {
        double lng = 0, lat = 0, radius = 0;
        VECTOR3 fixed{};
        bool valid = false;
    };
    SurfacePointMemo surface_point_memo;

    sim::Attachment *AttachmentByIndex(bool toparent, DWORD i) const;
    sim::Thruster *FindThruster(THRUSTER_HANDLE h) const;
};
