// world.cpp -- the stand-in host's world: bodies by date, the frame loop, vessel creation and
// deletion, visuals, focus, input, MFD displays, annotations, textures, meshes, log and random draws.
#include "world.h"

#include "astro.h"
#include "atmosphere.h"
#include "internal.h"
#include "physics.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace sim {

bool ParseHostGeneration(const std::string &text, HostGeneration *out)
{
    static const struct {
        const char *name;
        HostGeneration g;
    } kNames[] = {{"2016", HostGeneration::k2016},
                  {"2024-inline", HostGeneration::k2024Inline},
                  {"2024", HostGeneration::k2024},
                  {"latest", HostGeneration::kLatest}};
    for (const auto &n : kNames) {
        if (text == n.name) {
            *out = n.g;
            return true;
        }
    }
    return false;
}

const char *HostGenerationName(HostGeneration g)
{
    switch (g) {
    case HostGeneration::k2016: return "2016";
    case HostGeneration::k2024Inline: return "2024-inline";
    case HostGeneration::k2024: return "2024";
    case HostGeneration::kLatest: return "latest";
    }
    return "latest";
}

namespace {
World *g_world = nullptr;

// Time acceleration limits (Orbiter.cpp MinWarpLimit, MaxWarpLimit) and the real time of each of the
// first frames of a session (Orbiter.cpp BeginTimeStep: launch_tick = 3 frames of 10 ms).
constexpr double kMinWarp = 0.1;
constexpr double kMaxWarp = 1e5;
constexpr double kLaunchFrameTime = 0.01;  // [s]

bool FileExists(const std::string &p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

MATRIX3 FromRowMajor(const double m[9]) { return _M(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]); }

// dR/dt R^T of a body's rotation at a date (R its rotation then), by central differences over a
// second: the velocity of a body-fixed point is this matrix times its place.
MATRIX3 SpinOf(void (*rotation)(double mjd, double R[9]), double mjd, const MATRIX3 &R)
{
    double rp[9], rm[9];
    const double dt = 1.0;  // [s]
    rotation(mjd + dt / 86400.0, rp);
    rotation(mjd - dt / 86400.0, rm);
    MATRIX3 dR;
    for (int i = 0; i < 9; ++i) dR.data[i] = (rp[i] - rm[i]) / (2 * dt);
    return mul(dR, _M(R.m11, R.m21, R.m31, R.m12, R.m22, R.m32, R.m13, R.m23, R.m33));
}

// The world as the physics sees it: its vessels and bodies, the frame's start, timeline and log.
class WorldScene final : public PhysicsScene {
public:
    explicit WorldScene(World &w) : w_(w) {}
    const std::vector<Vessel *> &Vessels() const override { return w_.Vessels(); }
    const std::vector<Body *> &Bodies() const override { return w_.Bodies(); }
    double SimTime() const override { return w_.SimTime(); }
    void Event(const std::string &text) override { w_.Event(text); }
    void Log(const std::string &line) override { w_.Log(line); }

private:
    World &w_;
};

void StepPhysics(World &w, double dt)
{
    WorldScene scene(w);
    PhysicsStep(scene, dt);
}
}  // namespace

void ReportDrawProblem(const std::string &text)
{
    if (g_world)
        g_world->Log("drawing: " + text);
    else
        std::fprintf(stderr, "drawing: %s\n", text.c_str());
}

World *World::Current() { return g_world; }

VESSEL *(*World::new_plain_vessel)(OBJHANDLE, int) = nullptr;
void (*World::delete_plain_vessel)(VESSEL *) = nullptr;

struct World::Kept {
    std::vector<std::unique_ptr<Module>> modules;
    std::map<std::string, Mesh *> mesh_cache;
    std::vector<std::unique_ptr<Object>> objects;  // the cached meshes and their textures
    std::function<void(World &, double)> state_update;
    std::function<void(const std::string &)> on_event;
    std::function<void(double)> after_post_steps;
};

World::World(const WorldOptions &opt) : World(opt, nullptr) {}

World::World(const WorldOptions &opt, Kept *kept) : opt_(opt), rng_(opt.seed)
{
    if (g_world) std::fprintf(stderr, "corvane-sim: a second world was made while one exists\n");
    g_world = this;
    SetIssuedHandles(&issued_);
    static std::uint64_t worlds_made = 0;
    serial_ = ++worlds_made;
    root_ = opt_.root;
    if (root_.empty()) {
        const char *env = std::getenv("CORVANE_ADDON_ROOT");
        root_ = env ? env : ".";
    }
    // The step: a fixed one, or the frame time, times the warp (TimeData.cpp BeginStep).
    fixed_ = opt_.dt > 0;
    fixed_step_ = fixed_ ? opt_.dt : 0.0;
    warp_ = warp_target_ = std::max(kMinWarp, std::min(kMaxWarp, opt_.warp > 0 ? opt_.warp : 1.0));
    dt_ = (fixed_ ? fixed_step_ : kLaunchFrameTime) * warp_;
    mjd0_ = opt_.mjd;
    if (!opt_.log_path.empty()) {
        log_file_ = std::fopen(opt_.log_path.c_str(), "w");
        if (!log_file_) log_error_ = "cannot write " + opt_.log_path + ": " + std::strerror(errno);
        else Log("**** Orbiter.log (corvane stand-in host)", false);
    }
    auto make_body = [this](const char *name, double mass, double radius, bool atm) {
        auto *b = new Body;
        b->name = name;
        b->mass = mass;
        b->radius = radius;
        b->has_atmosphere = atm;
        Register(b);
        bodies_.push_back(b);
        return b;
    };
    sun_ = make_body("Sun", astro::kSunMass, astro::kSunRadius, false);
    earth_ = make_body("Earth", astro::kEarthMass, astro::kEarthRadius, true);
    earth_->sidereal_period = astro::kEarthSiderealDay;
    moon_ = make_body("Moon", astro::kMoonMass, astro::kMoonRadius, false);
    UpdateBodies();
    UpdateAtmosphereClock(true);
    if (kept) {
        modules_ = std::move(kept->modules);
        mesh_cache_ = std::move(kept->mesh_cache);
        for (auto &o : kept->objects) {
            issued_.insert(static_cast<const void *>(o.get()));
            owned_.push_back(std::move(o));
        }
        state_update = std::move(kept->state_update);
        on_event = std::move(kept->on_event);
        after_post_steps = std::move(kept->after_post_steps);
    }
    if (opt_.load_plugins) LoadPlugins();
}

World::~World()
{
    EndFlight();
    UnloadModules();
    owned_.clear();
    issued_.clear();
    if (g_world == this) SetIssuedHandles(&issued_);  // emptied: what was found in it is forgotten
    if (log_file_) std::fclose(log_file_);  // flushed after every line: its failures are already known
    if (g_world == this) {
        g_world = nullptr;
        SetIssuedHandles(nullptr);
    }
}

void World::Reset()
{
    EndFlight();
    Kept kept;
    for (auto &m : modules_) m->active = false;
    kept.modules = std::move(modules_);
    modules_.clear();
    plugins_.clear();
    kept.mesh_cache = mesh_cache_;
    std::unordered_set<const Object *> cached;
    for (const auto &e : mesh_cache_)
        if (e.second) {
            cached.insert(e.second);
            for (const Surface *t : e.second->textures) cached.insert(t);
        }
    for (auto &o : owned_)
        if (cached.count(o.get())) kept.objects.push_back(std::move(o));
    kept.state_update = std::move(state_update);
    kept.on_event = std::move(on_event);
    kept.after_post_steps = std::move(after_post_steps);
    const WorldOptions opt = opt_;
    this->~World();
    new (this) World(opt, &kept);
}

void World::EndFlight()
{
    ReapDeleted();
    for (int i = 0; i < 2; ++i) CloseMfd(i);
    for (auto &d : last_draw_) d.reset();
    // Vessels go first (their modules are still loaded), in creation order.
    std::vector<Vessel *> vs = vessels_;
    for (Vessel *v : vs) {
        if (v->visual) DestroyVisual(v);
        ExitVessel(v);
    }
    vessels_.clear();
    for (Module *p : plugins_)
        if (p->ExitModule) p->ExitModule(reinterpret_cast<HINSTANCE>(p->handle));
    for (auto &m : modules_)
        if (!m->plugin && m->active && m->ExitModule) m->ExitModule(reinterpret_cast<HINSTANCE>(m->handle));
}

// ---------------------------------------------------------------------------------------------
// Registry, log, random, events
// ---------------------------------------------------------------------------------------------
void World::Register(Object *o)
{
    owned_.emplace_back(o);
    issued_.insert(static_cast<const void *>(o));
}

void World::Log(const std::string &line) { Log(line, true); }

// The log file is written checked: its first failure is kept with its reason (LogFileError).
void World::Log(const std::string &line, bool keep)
{
    if (keep) log_.push_back(line);
    if (log_file_ && log_error_.empty()) {
        errno = 0;
        if (std::fprintf(log_file_, "%s\n", line.c_str()) < 0 || std::fflush(log_file_) != 0)
            log_error_ = "cannot write " + opt_.log_path + ": " + std::strerror(errno ? errno : EIO);
    }
}

void World::Logf(const char *fmt, ...)
{
    char buf[2048];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    Log(buf);
}

void World::Note(const char *fmt, ...)
{
    if (!opt_.journal) return;
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    journal.emplace_back(buf);
}

void World::Fault(const char *func, const char *what)
{
    constexpr int kMaxFaults = 200;
    if (faults_ > kMaxFaults) return;
    if (++faults_ > kMaxFaults)
        Log("further bad calls are not reported");
    else
        Logf("%s: %s (call ignored)", func, what);
}

double World::Rand()
{
    if (!forced_rand_.empty()) {
        const double v = forced_rand_.front();
        forced_rand_.erase(forced_rand_.begin());
        return v;
    }
    return static_cast<double>(rng_() >> 11) * (1.0 / 9007199254740992.0);
}

void World::ForceRand(double v) { forced_rand_.push_back(v); }

void World::Event(const std::string &text)
{
    events_.emplace_back(simt_, text);
    if (on_event) on_event(text);
}

// ---------------------------------------------------------------------------------------------
// Bodies
// ---------------------------------------------------------------------------------------------
void World::SetMjd(double mjd)
{
    mjd0_ = mjd - simt_ / 86400.0;
    UpdateBodies();
    UpdateAtmosphereClock(true);
    for (Vessel *v : vessels_) v->UpdateLanded();
}

namespace {

// The ephemerides cost microseconds, a frame must cost less: they are computed on a grid of
// kEphemerisStep of simulated time and interpolated in between with cubic Hermite polynomials
// through the positions and velocities at both ends (sub-metre for the Earth and the Moon).
constexpr double kEphemerisStep = 60.0 / 86400.0;  // [days]

struct Knot {
    double index = -1;  // grid point: mjd = index * kEphemerisStep (a whole number; -1 for none)
    double mjd = -1e300;
    astro::BodyState earth, moon;
};

Knot MakeKnot(double index)
{
    Knot k;
    k.index = index;
    k.mjd = index * kEphemerisStep;
    k.earth = astro::EarthState(k.mjd);
    k.moon = astro::MoonState(k.mjd);
    return k;
}

void Hermite(const astro::BodyState &a, const astro::BodyState &b, double h, double u, VECTOR3 *pos, VECTOR3 *vel)
{
    // h: interval [s]; u in [0, 1]
    const double u2 = u * u, u3 = u2 * u;
    const double h00 = 2 * u3 - 3 * u2 + 1, h10 = u3 - 2 * u2 + u, h01 = -2 * u3 + 3 * u2, h11 = u3 - u2;
    const double d00 = (6 * u2 - 6 * u) / h, d10 = 3 * u2 - 4 * u + 1, d01 = (-6 * u2 + 6 * u) / h, d11 = 3 * u2 - 2 * u;
    const VECTOR3 p0 = _V(a.pos.x, a.pos.y, a.pos.z), p1 = _V(b.pos.x, b.pos.y, b.pos.z);
    const VECTOR3 v0 = _V(a.vel.x, a.vel.y, a.vel.z), v1 = _V(b.vel.x, b.vel.y, b.vel.z);
    *pos = p0 * h00 + v0 * (h10 * h) + p1 * h01 + v1 * (h11 * h);
    *vel = p0 * d00 + v0 * d10 + p1 * d01 + v1 * d11;
}

}  // namespace

void World::UpdateBodies(double mjd)
{
    Body *const b[3] = {sun_, earth_, moon_};
    BodyMemo &m = body_memo_;
    if (!m.valid || m.mjd != mjd) {
        ComputeBodies(mjd);
        for (int i = 0; i < 3; ++i) m.pos[i] = b[i]->pos, m.vel[i] = b[i]->vel, m.R[i] = b[i]->R, m.spin[i] = b[i]->spin;
        m.mjd = mjd, m.valid = true;
        return;
    }
    for (int i = 0; i < 3; ++i) b[i]->pos = m.pos[i], b[i]->vel = m.vel[i], b[i]->R = m.R[i], b[i]->spin = m.spin[i];
}

void World::ComputeBodies(double mjd)
{
    static thread_local Knot k0, k1;
    // The interval is known by the grid index of its start: the difference of two dates near
    // 51544 is never exactly kEphemerisStep, so comparing dates would recompute both knots (all
    // of the ephemerides' cost) every frame.
    const double i0 = std::floor(mjd / kEphemerisStep);
    if (k0.index != i0 || k1.index != i0 + 1) {
        if (k1.index == i0)
            k0 = k1;  // moving on to the next interval
        else
            k0 = MakeKnot(i0);
        k1 = MakeKnot(i0 + 1);
    }
    const double h = kEphemerisStep * 86400.0, u = (mjd - k0.mjd) / kEphemerisStep;
    sun_->pos = _V(0, 0, 0);
    sun_->vel = _V(0, 0, 0);
    Hermite(k0.earth, k1.earth, h, u, &earth_->pos, &earth_->vel);
    Hermite(k0.moon, k1.moon, h, u, &moon_->pos, &moon_->vel);
    double r[9];
    astro::EarthRotation(mjd, r);
    earth_->R = FromRowMajor(r);
    // The spin axis is fixed and the rate constant: velocity of a body-fixed point = w x r, written
    // as a matrix (the same in both handednesses since it is computed from dR/dt once).
    static thread_local bool spin_ready = false;
    static thread_local MATRIX3 spin;
    if (!spin_ready) spin = SpinOf(astro::EarthRotation, mjd, earth_->R), spin_ready = true;
    earth_->spin = spin;
    // The Moon turns as its own configuration says (Celbody.cpp UpdateRotation), once in 27.32
    // days; its axis precesses in 18.6 years, so its spin is taken once, as the Earth's.
    astro::MoonRotation(mjd, r);
    moon_->R = FromRowMajor(r);
    static thread_local bool moon_spin_ready = false;
    static thread_local MATRIX3 moon_spin;
    if (!moon_spin_ready) moon_spin = SpinOf(astro::MoonRotation, mjd, moon_->R), moon_spin_ready = true;
    moon_->spin = moon_spin;
}

void World::UpdateAtmosphereClock(bool fresh)
{
    // EarthAtmJ71G.cpp clbkParams: the date is oapiGetSimMJD (the frame's start); once an hour the
    // Sun's place over the Earth is taken from the Earth's global position (the Sun at the origin).
    // A new world (the module's constructor invalidates its time) or a new date looks it up at once.
    const double mjd = Mjd();
    if (fresh || EarthAtmosphereNeedsSun(mjd)) {
        const VECTOR3 p = tmul(earth_->R, -earth_->pos);
        double lng, lat, r;
        astro::EarthFixedToEqu(V3{p.x, p.y, p.z}, &lng, &lat, &r);
        SetEarthAtmosphereSun(mjd, lng, lat);
    }
    SetEarthAtmosphereDate(mjd);
}

Body *World::FindBody(const std::string &name) const { return FindBody(name.c_str()); }

// Names of one length only are compared (names equal but for case have the same length).
Body *World::FindBody(const char *name) const
{
    if (!name) return nullptr;
    const std::size_t n = std::strlen(name);
    for (Body *b : bodies_)
        if (b->name.size() == n && strcasecmp(b->name.c_str(), name) == 0) return b;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------------------------
void World::SetWarp(double warp, double delay)
{
    if (!(warp > 0) || !std::isfinite(warp)) return;
    warp_target_ = std::max(kMinWarp, std::min(kMaxWarp, warp));
    warp_delay_ = delay > 0 && std::isfinite(delay) ? delay : 0.0;
    if (warp_delay_ == 0) warp_ = warp_target_;
}

double World::BeginStep()
{
    // TimeData.cpp BeginStep: the real time of the frame (10 ms for the first three frames of a
    // session, Orbiter.cpp BeginTimeStep), the warp ramp, then SimDT = (fixed step or frame time) x warp.
    double sys = opt_.frame_time > 0 ? opt_.frame_time : 1.0 / 60.0;
    if (launch_frames_ > 0) {
        --launch_frames_;
        sys = kLaunchFrameTime;
    }
    if (warp_ != warp_target_) {
        if (warp_delay_ == 0)
            warp_ = warp_target_;
        else if (warp_target_ > warp_)
            warp_ = std::min(warp_target_, warp_ * std::pow(10.0, sys / warp_delay_));
        else
            warp_ = std::max(warp_target_, warp_ * std::pow(10.0, -sys / warp_delay_));
    }
    NewStep((fixed_ ? fixed_step_ : sys) * warp_);
    return dt_;
}

void World::BeginUpdate(std::vector<Vessel::State> *saved, std::vector<Vessel *> *updated)
{
    // Psys.cpp Update -> Body::BeginStateUpdate: the update writes a second buffer while the first
    // stays the published state. Here the update writes the fields; their published values are
    // kept aside and put back for the post-steps (EndUpdate).
    saved->clear();
    updated->clear();
    for (Vessel *v : vessels_) {
        if (!v->alive || Deleting(v)) continue;
        updated->push_back(v);
        saved->push_back(v->CurrentState());
    }
}

void World::BodiesAtEnd(double mjd1)
{
    // Psys.cpp Update: the bodies are moved to the frame's end before the vessels, whose gravity
    // reads them between the two (CelestialBody::InterpolatePosition); the published state stays the
    // frame's start until EndUpdate.
    VECTOR3 pos[8], vel[8];
    MATRIX3 R[8];
    const std::size_t nb = std::min<std::size_t>(bodies_.size(), 8);
    for (std::size_t i = 0; i < nb; ++i) pos[i] = bodies_[i]->pos, vel[i] = bodies_[i]->vel, R[i] = bodies_[i]->R;
    UpdateBodies(mjd1);
    for (std::size_t i = 0; i < nb; ++i) {
        Body *b = bodies_[i];
        b->end_pos = b->pos;
        b->end_R = b->R;
        b->has_end = true;
        b->pos = pos[i], b->vel = vel[i], b->R = R[i];
    }
}

void World::EndUpdate(double mjd1, const std::vector<Vessel::State> &saved, const std::vector<Vessel *> &updated)
{
    // The bodies move to the frame's end (CelestialBody::Update writes their s1), landed vessels
    // turn with the Earth into their new state (Vessel::Update, FLIGHTSTATUS_LANDED), attached
    // children ride on their parents (Vessel::UpdateAttachments at the end of the update).
    struct BodyState {
        VECTOR3 pos, vel;
        MATRIX3 R;
    };
    BodyState old[8];
    const std::size_t nb = std::min<std::size_t>(bodies_.size(), 8);
    for (std::size_t i = 0; i < nb; ++i) old[i] = {bodies_[i]->pos, bodies_[i]->vel, bodies_[i]->R};
    const MATRIX3 earth_before = earth_->R;
    UpdateBodies(mjd1);
    if (!opt_.physics && !state_update) HoldOverGround(earth_before);
    for (Vessel *v : updated)
        if (v->alive) v->UpdateLanded();
    FollowParents();
    // The new states become `next`; the fields show the published ones again until the end of the
    // frame. A vessel that lifted off during the update is already free in the post-steps (the
    // update sets FLIGHTSTATUS_FREEFLIGHT); one that came to rest is landed only after them (the
    // landing check is VesselBase::PostUpdate, after the post-steps).
    for (std::size_t i = 0; i < nb; ++i) {
        Body *b = bodies_[i];
        b->has_end = false;
        b->next_pos = b->pos, b->next_vel = b->vel, b->next_R = b->R;
        b->pos = old[i].pos, b->vel = old[i].vel, b->R = old[i].R;
        b->has_next = true;
    }
    for (std::size_t i = 0; i < updated.size(); ++i) {
        Vessel *v = updated[i];
        if (!v->alive) continue;
        v->next = v->CurrentState();
        v->SetCurrentState(saved[i]);
        v->landed = saved[i].landed && v->next.landed;
        v->has_next = true;
    }
}

void World::Publish()
{
    // Orbiter.cpp EndTimeStep -> Psys FinaliseUpdate -> Body::EndStateUpdate: the updated buffer
    // becomes the state. Whatever a post-step wrote into the old one is gone.
    for (Body *b : bodies_) {
        if (!b->has_next) continue;
        b->pos = b->next_pos, b->vel = b->next_vel, b->R = b->next_R;
        b->has_next = false;
    }
    for (Vessel *v : updated_) {
        if (!v->has_next) continue;
        v->has_next = false;
        if (v->alive) v->SetCurrentState(v->next);
    }
    updated_.clear();
    // Vessels made during the post-steps were not updated: landed ones turn with the Earth to the
    // new time, and children made or attached during the post-steps sit on their parents' points
    // (Vessel::UpdatePassive writes the new buffer while it exists).
    for (Vessel *v : vessels_) {
        v->created_in_frame = false;
        v->UpdateLanded();
    }
    FollowParents();
}

template <typename F>
void World::ForEachVessel(F &&call)
{
    // The vessels in creation order, those created during the loop included (appended at its end);
    // one deleted during the loop is skipped from then on, and a deletion never makes the loop
    // skip or repeat anyone else.
    frame_vessels_.assign(vessels_.begin(), vessels_.end());
    for (std::size_t i = 0;; ++i) {
        if (i == frame_vessels_.size()) {
            for (Vessel *v : vessels_)
                if (std::find(frame_vessels_.begin(), frame_vessels_.end(), v) == frame_vessels_.end())
                    frame_vessels_.push_back(v);
            if (i == frame_vessels_.size()) break;
        }
        Vessel *v = frame_vessels_[i];
        if (!v->alive || Deleting(v)) continue;
        if (VESSEL2 *v2 = Callbacks(v)) {
            current_vessel = v;
            call(v2);
            current_vessel = nullptr;
        }
    }
    frame_vessels_.clear();
}

void World::RunFrame()
{
    in_frame_ = true;
    const double dt = BeginStep();
    const double simt0 = simt_, mjd0 = Mjd();
    UpdateAtmosphereClock();
    const double simt1 = step_origin_ + static_cast<double>(steps_since_origin_ + 1) * dt;
    const double mjd1 = mjd0_ + simt1 / 86400.0;

    // Orbiter.cpp ModulePreStep: the plugins first, then the vessels. The loops run over the live
    // list by index, so vessels created in a callback are reached by the same loop (Psys appends
    // them); deleted ones leave the list at once.
    for (Module *p : plugins_)
        if (p->opcPreStep) p->opcPreStep(simt0, dt, mjd0);
    ForEachVessel([&](VESSEL2 *v2) { v2->clbkPreStep(simt0, dt, mjd0); });

    // The state update writes the new state of every vessel present now.
    BeginUpdate(&saved_states_, &updated_);
    BodiesAtEnd(mjd1);
    if (state_update)
        state_update(*this, dt);
    else if (opt_.physics)
        StepPhysics(*this, dt);
    else
        DefaultStateUpdate(dt);
    EndUpdate(mjd1, saved_states_, updated_);

    // Orbiter.cpp ModulePostStep: the vessels, then the plugins, with the time after the update.
    ForEachVessel([&](VESSEL2 *v2) { v2->clbkPostStep(simt1, dt, mjd1); });
    for (std::size_t i = 0; i < plugins_.size(); ++i)
        if (plugins_[i]->opcPostStep) plugins_[i]->opcPostStep(simt1, dt, mjd1);
    if (after_post_steps) after_post_steps(simt1);

    // Orbiter.cpp EndTimeStep: the new states are published, then time advances.
    Publish();
    UpdateProxies(simt1);
    simt_ = step_origin_ + static_cast<double>(++steps_since_origin_) * dt_;
    ++frames_;
    in_frame_ = false;
    if (busy_ == 0) ReapDeleted();
    UpdateScene();  // the graphics client's update ends the frame (Orbiter::EndTimeStep)
}

void World::RunFrames(int n)
{
    for (int i = 0; i < n; ++i) RunFrame();
}

void World::RunFor(double seconds)
{
    const double end = simt_ + seconds - 1e-9;
    while (simt_ < end) RunFrame();
}

void World::DefaultStateUpdate(double dt)
{
    // Without physics nothing moves by itself; landed vessels turn with the Earth and free ones
    // keep their place over it (EndUpdate), attached children follow their parents. Control
    // surfaces still follow their targets (the host does it in every vessel's force update).
    ApplyControlSurfaceLevels(WorldScene(*this), dt);
}

void World::HoldOverGround(const MATRIX3 &earth_before)
{
    // Without physics a free vessel keeps its place over the turning Earth: its position,
    // velocity and attitude turn with the Earth over the frame.
    const MATRIX3 &A = earth_->R;
    const MATRIX3 Bt = _M(earth_before.m11, earth_before.m21, earth_before.m31, earth_before.m12, earth_before.m22,
                          earth_before.m32, earth_before.m13, earth_before.m23, earth_before.m33);
    const MATRIX3 turn = mul(A, Bt);
    for (Vessel *v : vessels_) {
        if (!v->alive || v->landed || v->parent || v->ref != earth_) continue;
        // Its velocity relative to the air turns too (the air moves with spin * r at the new place), so
        // a vessel at rest in the air stays exactly at rest.
        const VECTOR3 air = v->rvel - mul(earth_->spin, v->rpos);
        v->rpos = mul(turn, v->rpos);
        v->rvel = mul(earth_->spin, v->rpos) + mul(turn, air);
        v->R = mul(turn, v->R);
    }
}

namespace {

// The point by which a vessel hangs on its parent (null when it hangs on none).
Attachment *ParentPoint(const Vessel *child)
{
    for (Attachment *a : child->attachments)
        if (a->alive && a->toparent && a->mate && child->parent && a->mate->owner == child->parent) return a;
    return nullptr;
}

MATRIX3 Transposed(const MATRIX3 &m) { return _M(m.m11, m.m21, m.m31, m.m12, m.m22, m.m32, m.m13, m.m23, m.m33); }

// Matrix::orthogonalise (Vecmat.cpp): two rows are taken as unit vectors and the third row is
// replaced by their cross product; the two rows themselves are left as they are.
void OrthogonaliseRows(MATRIX3 &m, int axis)
{
    const VECTOR3 r1 = _V(m.m11, m.m12, m.m13), r2 = _V(m.m21, m.m22, m.m23), r3 = _V(m.m31, m.m32, m.m33);
    if (axis == 0) {
        const VECTOR3 c = crossp(unit(r1), unit(r2));
        m.m31 = c.x, m.m32 = c.y, m.m33 = c.z;
    } else if (axis == 1) {
        const VECTOR3 c = crossp(unit(r3), unit(r1));
        m.m21 = c.x, m.m22 = c.y, m.m23 = c.z;
    } else {
        const VECTOR3 c = crossp(unit(r2), unit(r3));
        m.m11 = c.x, m.m12 = c.y, m.m13 = c.z;
    }
}

// The frame of an attachment point seen from the mating side: [sign*dir, rot, (sign*dir) x rot] as
// columns, neither normalised nor made orthogonal.
MATRIX3 PointColumns(const Attachment *a, double sign)
{
    const VECTOR3 d = a->dir * sign, r = a->rot, c = crossp(d, r);
    return _M(d.x, r.x, c.x, d.y, r.y, c.y, d.z, r.z, c.z);
}

// The inverse of a 3x3 matrix (false when it is singular).
bool Inverse(const MATRIX3 &m, MATRIX3 *out)
{
    const VECTOR3 c0 = _V(m.m11, m.m21, m.m31), c1 = _V(m.m12, m.m22, m.m32), c2 = _V(m.m13, m.m23, m.m33);
    const double det = dotp(c0, crossp(c1, c2));
    if (!(std::fabs(det) > 1e-300)) return false;
    const VECTOR3 r0 = crossp(c1, c2) / det, r1 = crossp(c2, c0) / det, r2 = crossp(c0, c1) / det;
    *out = _M(r0.x, r0.y, r0.z, r1.x, r1.y, r1.z, r2.x, r2.y, r2.z);
    return true;
}

}  // namespace

// Vessel.cpp, Vessel::InitAttachmentToParent: the child's frame -> the parent's frame solves
// rrot [cdir, crot, cdir x crot] = [-pdir, prot, -pdir x prot]: the child's direction points against
// the parent's. Nothing is normalised or made orthogonal, so a pair that is not orthogonal gives a
// sheared matrix, and the host carries the child with that matrix as it stands. A loose parent point
// (when allowed) keeps the child's present attitude relative to the parent instead. The child's
// origin then sits where its point meets the parent's.
void World::InitAttachment(Vessel *child, bool allow_loose)
{
    Attachment *ca = ParentPoint(child);
    if (!ca) return;
    Attachment *pa = ca->mate;
    Vessel *parent = pa->owner;
    MATRIX3 rrot;
    if (allow_loose && pa->loose) {
        rrot = mul(Transposed(parent->R), child->R);
    } else {
        MATRIX3 inv;
        if (!Inverse(PointColumns(ca, 1.0), &inv)) inv = identity();  // a degenerate point: no turn
        rrot = mul(PointColumns(pa, -1.0), inv);
    }
    child->attach_rrot = rrot;
    child->attach_rpos = pa->pos - mul(rrot, ca->pos);
}

// Vessel.cpp, Vessel::UpdatePassive: the child takes its parent's position through its offset, the
// parent's velocity as it is (no rotation term), the parent's attitude times rrot and the parent's
// angular velocity seen through rrot; then its own children follow. It writes the update buffer
// while one exists (s1, from the parent's s1): from the state update to the end of the post-steps
// the child's new state, which is published, while what the post-steps read stays the frame's start.
void World::UpdatePassive(Vessel *child, int depth)
{
    Vessel *parent = child->parent;
    if (!parent || depth > 64) return;
    child->ref = parent->ref;
    child->orbit_ref = parent->orbit_ref;  // Vessel::AttachChild: the child takes its parent's cbody
    if (child->has_next) {
        const Vessel::State p = parent->has_next ? parent->next : parent->CurrentState();
        child->next.rpos = p.rpos + mul(p.R, child->attach_rpos);
        child->next.rvel = p.rvel;
        child->next.R = mul(p.R, child->attach_rrot);
        child->next.omega = tmul(child->attach_rrot, p.omega);
        child->next.landed = false;
    } else {
        child->rpos = parent->rpos + mul(parent->R, child->attach_rpos);
        child->rvel = parent->rvel;
        child->R = mul(parent->R, child->attach_rrot);
        child->omega = tmul(child->attach_rrot, parent->omega);
    }
    child->landed = false;  // its flight status is its parent's (VESSEL::GetFlightStatus)
    for (Attachment *a : child->attachments)
        if (a->alive && !a->toparent && a->mate && a->mate->owner && a->mate->owner->alive &&
            a->mate->owner->parent == child)
            UpdatePassive(a->mate->owner, depth + 1);
}

void World::PlaceChild(Vessel *, Attachment *, Vessel *child, Attachment *)
{
    InitAttachment(child, false);
    UpdatePassive(child);
}

// Vessel.cpp, Vessel::DetachFromParent: the released vessel keeps its position; its velocity gains
// the parent's rotation at its origin, parent R (rpos x omega_parent), and `vel` along the parent
// point's direction carried into the child's frame, child R rrot^T pdir.
//
// The host places it with Vessel::RPlace, which writes the update buffer while one exists
// (Body::RPlace: s1 during the state update and the post-steps, else s0). In a pre-step that is the
// state the update starts from. In a post-step it is the frame's new state, and what goes in is the
// position and velocity the frame started from, global: the child is published where it was a frame
// ago in a frame that moved on (one step of its reference body's heliocentric motion, about 500 m
// at 1/60 s for the Earth), with the rotation term but without the frame's own change of velocity.
bool World::DetachFromParent(Vessel *child, double vel)
{
    Attachment *ca = child ? ParentPoint(child) : nullptr;
    if (!ca) return false;
    Attachment *pa = ca->mate;
    Vessel *parent = child->parent;
    VECTOR3 v = child->rvel + mul(parent->R, crossp(child->attach_rpos, parent->omega));
    if (vel != 0) v += mul(child->R, tmul(child->attach_rrot, pa->dir)) * vel;
    child->ref = parent->ref;
    child->orbit_ref = parent->orbit_ref;
    child->proxy_t = -1;  // Vessel::DetachFromParent looks up the proxies: here at the frame's end
    child->rvel = v;
    child->Replaced();  // Vessel.cpp RPlace_individual: gravity alone, no ground contact
    if (child->has_next && child->ref) {
        const Body *b = child->ref;
        const VECTOR3 gpos = b->pos + child->rpos, gvel = b->vel + v;  // the frame's start, global
        child->next.rpos = gpos - (b->has_next ? b->next_pos : b->pos);
        child->next.rvel = gvel - (b->has_next ? b->next_vel : b->vel);
        child->next.landed = false;
    }
    if (pa->mate == ca) pa->mate = nullptr;
    ca->mate = nullptr;
    child->parent = nullptr;
    Event("detached " + child->name + " from " + parent->name);
    return true;
}

// Vessel.cpp, Vessel::SetAttachmentParams: a child's own point is solved afresh (not made
// orthogonal); a parent's point turns the child's stored rotation by the change of the point's
// frame and then orthogonalises it (one axis after another on successive calls). Either way the
// child is put in place at once.
void World::AttachmentParamsChanged(Attachment *a, const VECTOR3 &old_dir, const VECTOR3 &old_rot)
{
    if (!a || !a->mate || !a->mate->owner || !a->mate->owner->alive) return;
    if (a->toparent) {
        Vessel *child = a->owner;
        if (child->parent != a->mate->owner) return;
        InitAttachment(child, false);
        UpdatePassive(child);
        return;
    }
    Vessel *parent = a->owner, *child = a->mate->owner;
    if (child->parent != parent) return;  // the point was taken over from this child
    const VECTOR3 at = old_dir * -1.0, bt = old_rot, ct = crossp(at, bt);
    const MATRIX3 r1 = _M(at.x, at.y, at.z, bt.x, bt.y, bt.z, ct.x, ct.y, ct.z);
    const MATRIX3 r2 = PointColumns(a, -1.0);
    MATRIX3 rrot = mul(r2, mul(r1, child->attach_rrot));
    OrthogonaliseRows(rrot, ++parent->ortho_axis % 3);
    child->attach_rrot = rrot;
    child->attach_rpos = a->pos - mul(rrot, a->mate->pos);
    UpdatePassive(child);
}

void World::FollowParents()
{
    for (Vessel *v : vessels_) {
        if (!v->alive || v->parent) continue;
        for (Attachment *a : v->attachments)
            if (a->alive && !a->toparent && a->mate && a->mate->owner && a->mate->owner->alive &&
                a->mate->owner->parent == v)
                UpdatePassive(a->mate->owner);
    }
}

// ---------------------------------------------------------------------------------------------
// Vessels
// ---------------------------------------------------------------------------------------------
VESSEL2 *World::Callbacks(Vessel *v)
{
    if (!v || !v->iface || v->iface->Version() < 1) return nullptr;
    return static_cast<VESSEL2 *>(v->iface);
}

std::string World::FindClassConfig(const std::string &cls, std::vector<std::string> *looked) const
{
    std::vector<std::string> bases;
    if (!opt_.overlay.empty()) bases.push_back(opt_.overlay);
    bases.push_back(root_);
    for (const std::string &base : bases) {
        for (const char *sub : {"/Config/Vessels/", "/Config/"}) {
            const std::string p = base + sub + cls + ".cfg";
            if (looked) looked->push_back(p);
            if (FileExists(p)) return p;
        }
    }
    return "";
}

Vessel *World::NewVesselRecord(const std::string &name, const std::string &cls, std::string *error)
{
    std::vector<std::string> looked;
    const std::string cfg = FindClassConfig(cls, &looked);
    if (cfg.empty()) {
        std::string msg = "vessel class \"" + cls + "\" not found (looked in:";
        for (const auto &l : looked) msg += " " + l;
        msg += ")";
        if (error) *error = msg;
        return nullptr;
    }
    ClassConfig cc;
    if (!ReadClassConfig(cfg, &cc, error)) return nullptr;
    Module *mod = nullptr;
    if (!cc.module.empty()) {
        mod = LoadModule(cc.module, false, error);
        if (!mod) return nullptr;
        if (!mod->ovcInit) {
            if (error) *error = "module " + mod->path + " has no entry point ovcInit";
            return nullptr;
        }
    }
    if (const Vessel *same = FindVessel(name))
        Logf("vessel \"%s\": the name is already in use by \"%s\"; lookups by name find that one", name.c_str(),
             same->name.c_str());
    auto *v = new Vessel;
    v->world = this;
    v->home = earth_;
    v->name = name;
    v->class_name = cls;
    v->module = mod;
    v->ref = earth_;
    v->journaling = opt_.journal;
    v->flight_model = opt_.flight_model;
    // The class file's items are read after the module's clbkSetClassCaps (SetClassCaps): until
    // then the vessel has the host's defaults, which the module's calls see.
    class_items_[v] = cc;
    Register(v);
    v->created_in_frame = in_frame_;
    vessels_.push_back(v);
    if (mod) {
        v->iface = mod->ovcInit(Handle(v), v->flight_model);
        if (!v->iface) {
            if (error) *error = "module " + mod->path + ": ovcInit returned no vessel for \"" + name + "\"";
            v->alive = false;
            vessels_.pop_back();
            class_items_.erase(v);
            return nullptr;
        }
    } else {
        v->iface = new_plain_vessel(Handle(v), v->flight_model);
        v->owns_iface = true;
    }
    return v;
}

// Vessel.cpp, Vessel::SetClassCaps: the module's clbkSetClassCaps, then the class file's items
// (Vessel::ReadGenericCaps), which override what the module set: a module's call that depends on
// the size or the mass (the three-point SetTouchdownPoints: 20 x the empty mass, 1e6 N/m at the
// default 1000 kg) sees the defaults or its own values, never the file's. The file's mesh comes
// after the module's meshes (AddMesh), its touchdown points replace the module's with 1e6 N/m and
// 1e5 N s/m each.
void World::SetClassCaps(Vessel *v)
{
    if (VESSEL2 *v2 = Callbacks(v)) {
        Vessel *prev = current_vessel;
        current_vessel = v;
        v2->clbkSetClassCaps(nullptr);
        current_vessel = prev;
    }
    auto it = class_items_.find(v);
    if (it == class_items_.end() || !v->alive) return;
    const ClassConfig &cc = it->second;
    if (!cc.mesh_name.empty()) {
        MeshSlot slot;
        slot.present = true;
        slot.file = cc.mesh_name;
        slot.source = MeshTemplate(cc.mesh_name);
        v->meshes.push_back(slot);
    }
    if (cc.has_size) v->size = cc.size;
    if (cc.has_mass) v->empty_mass = cc.mass;
    if (cc.has_touchdown) {
        v->has_touchdown = true;
        for (int i = 0; i < 3; ++i) {
            v->touchdown[i] = cc.touchdown[i];
            v->td_stiffness[i] = 1e6, v->td_damping[i] = 1e5;
            v->td_mu[i] = v->mu_lat, v->td_mu_lng[i] = v->mu_lng;
        }
    }
    class_items_.erase(it);
}

// oapiCreateVesselEx (OrbiterAPI.cpp; Vessel.cpp, the constructor taking a status record): ovcInit,
// the class caps, the module's clbkSetStateEx (whose default applies the record), then
// Orbiter::InsertVessel.
Vessel *World::CreateVessel(const std::string &name, const std::string &cls, const VESSELSTATUS2 &status)
{
    Busy busy(*this);
    std::string error;
    Vessel *v = NewVesselRecord(name, cls, &error);
    if (!v) {
        Log("oapiCreateVessel: " + error + "; vessel \"" + name + "\" not created");
        return nullptr;
    }
    SetClassCaps(v);
    if (VESSEL2 *v2 = Callbacks(v)) {
        Vessel *prev = current_vessel;
        current_vessel = v;
        v2->clbkSetStateEx(&status);
        current_vessel = prev;
    } else if (v->alive) {
        ApplyStatus(v, &status);
    }
    v->FinishSetup();
    InsertVessel(v);
    return v->alive && !Deleting(v) ? v : nullptr;
}

// oapiCreateVessel with a plain VESSELSTATUS: the host applies the record itself (Vessel::SetState);
// the module's clbkSetStateEx is not called.
Vessel *World::CreateVessel(const std::string &name, const std::string &cls, const VESSELSTATUS &vs)
{
    Busy busy(*this);
    std::string error;
    Vessel *v = NewVesselRecord(name, cls, &error);
    if (!v) {
        Log("oapiCreateVessel: " + error + "; vessel \"" + name + "\" not created");
        return nullptr;
    }
    SetClassCaps(v);
    if (v->alive) {
        v->updated_mass = v->Mass();  // Vessel::SetState: UpdateMass before the placement
        ApplyPlainStatus(v, vs);
    }
    v->FinishSetup();
    InsertVessel(v);
    return v->alive && !Deleting(v) ? v : nullptr;
}

// Orbiter.cpp, Orbiter::InsertVessel: plugins hear of the vessel (none of ours listens), then the
// graphics client (which may give it a visual at once), then its clbkPostCreation.
void World::InsertVessel(Vessel *v)
{
    if (!v->alive || Deleting(v)) return;
    NewVesselVisual(v);
    FinishCreation(v);
}

void World::FinishCreation(Vessel *v)
{
    if (!v->alive || Deleting(v)) return;  // deleted by a module while it was being made
    UpdateProxies(v);  // Vessel::RPlace_individual: placing a vessel looks up its proxies
    if (VESSEL2 *v2 = Callbacks(v)) {
        Vessel *prev = current_vessel;
        current_vessel = v;
        v2->clbkPostCreation();
        current_vessel = prev;
    }
    v->created = true;
    Event("created " + v->name + " (" + v->class_name + ")");
}

Vessel *World::CreateVesselAt(const std::string &name, const std::string &cls, double lng, double lat, double alt,
                              double heading, const VECTOR3 &air_velocity)
{
    // Placed first through a status record so the module's clbkSetStateEx sees a sensible state.
    Vessel probe;
    probe.world = this;
    probe.home = earth_;
    probe.ref = earth_;
    probe.Place(lng, lat, alt, heading, 0, 0, air_velocity);
    VESSELSTATUS2 s;
    std::memset(&s, 0, sizeof s);
    s.version = 2;
    s.rbody = Handle(earth_);
    s.rpos = probe.rpos;
    s.rvel = probe.rvel;
    s.arot = ArotFromMatrix(probe.R);
    return CreateVessel(name, cls, s);
}

Vessel *World::CreateVesselLanded(const std::string &name, const std::string &cls, double lng, double lat,
                                  double heading)
{
    VESSELSTATUS2 s;
    std::memset(&s, 0, sizeof s);
    s.version = 2;
    s.rbody = Handle(earth_);
    s.status = 1;
    s.surf_lng = lng;
    s.surf_lat = lat;
    s.surf_hdg = heading;
    s.arot.x = 10;  // "not set": level on its touchdown points (a zero-filled record would stand it on end)
    return CreateVessel(name, cls, s);
}

void World::ExitVessel(Vessel *v)
{
    class_items_.erase(v);
    if (v->owns_iface) {
        delete_plain_vessel(v->iface);
    } else if (v->module && v->module->ovcExit && v->iface) {
        v->module->ovcExit(v->iface);
    }
    v->iface = nullptr;
    v->alive = false;
}

bool World::DeleteVessel(Vessel *v)
{
    if (!v || !v->alive) return false;
    // Detach it from everything first (Vessel.cpp, Vessel::ClearAttachments): its children are
    // released with the rotation velocity at their origins.
    for (Attachment *a : v->attachments)
        if (a->alive && !a->toparent && a->mate && a->mate->owner && a->mate->owner->parent == v)
            DetachFromParent(a->mate->owner, 0.0);
    for (Attachment *a : v->attachments)
        if (a->mate) {
            if (a->mate->mate == a) a->mate->mate = nullptr;
            a->mate = nullptr;
        }
    v->parent = nullptr;
    for (Vessel *o : vessels_)
        if (o->parent == v) {  // a child whose point was taken over
            o->parent = nullptr;
            for (Attachment *a : o->attachments)
                if (a->toparent && a->mate && a->mate->owner == v) a->mate = nullptr;
        }
    pending_delete_.push_back(v);
    vessels_.erase(std::remove(vessels_.begin(), vessels_.end(), v), vessels_.end());
    Event("deleted " + v->name);
    if (prev_focus_ == v) prev_focus_ = nullptr;
    if (focus_ == v) {
        // The user is never left without a focus vessel while one exists: the one focused before
        // takes over, else the first.
        Vessel *next = prev_focus_ && prev_focus_->alive && !Deleting(prev_focus_) ? prev_focus_ : nullptr;
        if (!next && !vessels_.empty()) next = vessels_.front();
        if (next)
            SetFocus(next);
        else
            focus_ = nullptr;
    }
    if (!in_frame_ && busy_ == 0) ReapDeleted();
    return true;
}

bool World::Deleting(const Vessel *v) const
{
    return !pending_delete_.empty() &&
           std::find(pending_delete_.begin(), pending_delete_.end(), v) != pending_delete_.end();
}

void World::ReapDeleted()
{
    if (pending_delete_.empty()) return;
    ++busy_;  // a module's destructor may delete more vessels: they are taken in the next round
    while (!pending_delete_.empty()) {
        std::vector<Vessel *> del;
        del.swap(pending_delete_);
        for (Vessel *v : del) {
            // A display made for this vessel holds its interface: it moves to the focus vessel.
            for (int i = 0; i < 2; ++i) {
                if (!displays_[i].mfd || displays_[i].vessel != v) continue;
                std::string mode;
                for (const MfdMode &m : modes_)
                    if (m.id == displays_[i].mode_id) mode = m.name;
                CloseMfd(i);
                if (focus_ && focus_ != v) OpenMfd(i, mode, displays_[i].w, displays_[i].h);
            }
            if (v->visual) DestroyVisual(v);
            ExitVessel(v);
            for (Object *o : v->Children()) o->alive = false;
        }
    }
    --busy_;
}

Vessel *World::FindVessel(const std::string &name) const { return FindVessel(name.c_str()); }

// A name longer than a string's inline buffer ("Corvane_SRC_Parafoil") would cost a heap allocation
// on every call if it were turned into a string first; modules and pilots look vessels up every frame.
// Names of one length only are compared (names equal but for case have the same length).
Vessel *World::FindVessel(const char *name) const
{
    if (!name) return nullptr;
    const std::size_t n = std::strlen(name);
    for (Vessel *v : vessels_)
        if (v->alive && v->name.size() == n && strcasecmp(v->name.c_str(), name) == 0) return v;
    return nullptr;
}

void World::SetFocus(Vessel *v)
{
    if (!v || !v->alive || v == focus_) return;
    Busy busy(*this);
    Vessel *old = focus_;
    prev_focus_ = old;
    focus_ = v;
    if (old)
        if (VESSEL2 *o2 = Callbacks(old)) o2->clbkFocusChanged(false, Handle(v), Handle(old));
    if (VESSEL2 *n2 = Callbacks(v)) n2->clbkFocusChanged(true, Handle(v), old ? Handle(old) : nullptr);
    for (Module *p : plugins_)
        if (p->opcFocusChanged) p->opcFocusChanged(Handle(v), old ? Handle(old) : nullptr);
    Event("focus " + v->name);
}

// ---------------------------------------------------------------------------------------------
// Visuals: what the graphics client does with vessels
// ---------------------------------------------------------------------------------------------
namespace {
// The built-in client's visibility rule (Scene.cpp, Scene::UpdateVisual, 2016 tree and the 2024
// inline build): a body has a visual while size / (distance * tan(aperture)) exceeds its
// visibility limit, 1e-3 by default (Vessel.cpp, vislimit). The viewport's size does not enter.
constexpr double kVisLimit = 1e-3;                 // [-] Body::vislimit default
constexpr double kCameraAperture = 25.0 * M_PI / 180.0;  // [rad] Camera.cpp default (half the 50 deg view)
}  // namespace

// The built-in client's camera: the focus vessel's cockpit (its position plus its camera offset),
// or the first vessel when none has the focus (Orbiter.cpp, CreateRenderWindow). The stand-in has
// no free camera.
bool World::CameraPos(VECTOR3 *pos) const
{
    Vessel *c = focus_ && focus_->alive ? focus_ : nullptr;
    if (!c)
        for (Vessel *v : vessels_)
            if (v->alive) {
                c = v;
                break;
            }
    if (!c) return false;
    *pos = c->GlobalPos() + mul(c->R, c->camera_offset);
    return true;
}

bool World::InCameraRange(const Vessel *v) const
{
    VECTOR3 cam;
    if (!CameraPos(&cam)) return false;
    const double dist = length(v->GlobalPos() - cam);
    const double apparent = v->size / (dist * std::tan(kCameraAperture));  // +inf at the camera itself
    return apparent > kVisLimit;
}

// A vessel made at run time (Orbiter::InsertVessel -> the client's clbkNewVessel). External client
// (D3D9Client Scene::NewVessel -> CheckVisual -> AddVisualRec): the visual is registered at once.
// Built-in client (Scene::AddBody -> UpdateVisual): only when the camera is near enough.
void World::NewVesselVisual(Vessel *v)
{
    if (!opt_.graphics) return;
    if (InlineGraphics(opt_.host)) {
        if (InCameraRange(v)) CreateVisual(v);
    } else {
        CreateVisual(v);
    }
}

// The graphics client's update at the end of a frame (Orbiter::EndTimeStep -> clbkUpdate). Its first
// update looks at every object (the external client's bFirstUpdate, the built-in one's forced
// first update): this is when the vessels of a scenario get their visuals. Later updates look at
// one object per frame in turn (bodies, then vessels). The external client then only switches the
// drawing of a visual it made; the built-in one makes or deletes it by the camera's range. The
// simulator's solar system holds more bodies than the stand-in's three, so there a vessel's turn
// comes less often.
void World::UpdateScene()
{
    if (!opt_.graphics) return;
    const bool inline_client = InlineGraphics(opt_.host);
    auto check = [&](Vessel *v) {
        if (!v || !v->alive || Deleting(v)) return;
        if (!inline_client) {
            if (!v->visual) CreateVisual(v);
        } else if (InCameraRange(v)) {
            if (!v->visual) CreateVisual(v);
        } else if (v->visual) {
            DestroyVisual(v);
        }
    };
    if (!scene_started_) {
        scene_started_ = true;
        const std::vector<Vessel *> all = vessels_;  // a visual callback may create or delete vessels
        for (Vessel *v : all) check(v);
        return;
    }
    const std::size_t nobj = bodies_.size() + vessels_.size();
    if (scene_cursor_ >= nobj) scene_cursor_ = 0;
    const std::size_t i = scene_cursor_++;
    if (i >= bodies_.size()) check(vessels_[i - bodies_.size()]);
}

void World::CreateVisual(Vessel *v)
{
    if (!v || !v->alive || v->visual) return;
    Busy busy(*this);
    auto *vis = new Visual;
    vis->vessel = v;
    Register(vis);
    for (const MeshSlot &s : v->meshes) vis->meshes.push_back(s.present && s.source ? CopyMesh(s.source) : nullptr);
    v->visual = vis;
    if (VESSEL2 *v2 = Callbacks(v)) {
        Vessel *prev = current_vessel;
        current_vessel = v;
        v2->clbkVisualCreated(Handle(vis), 1);
        current_vessel = prev;
    }
}

void World::DestroyVisual(Vessel *v)
{
    if (!v || !v->visual) return;
    Busy busy(*this);
    Visual *vis = v->visual;
    if (VESSEL2 *v2 = Callbacks(v)) {
        Vessel *prev = current_vessel;
        current_vessel = v;
        v2->clbkVisualDestroyed(Handle(vis), 1);
        current_vessel = prev;
    }
    for (Mesh *m : vis->meshes)
        if (m) m->Release();  // the client deletes its device copies with the visual (OGLClient VVessel.cpp,
                              // vVessel::~vVessel and vVessel::ClearMeshes: delete meshlist[i].mesh)
    vis->alive = false;
    v->visual = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------
int World::KeyEvent(Vessel *v, DWORD key, bool down, bool shift)
{
    VESSEL2 *v2 = Callbacks(v);
    if (!v2) return 0;
    Busy busy(*this);
    char kstate[256];
    std::memset(kstate, 0, sizeof kstate);
    if (shift) kstate[OAPI_KEY_LSHIFT] = static_cast<char>(0x80);
    if (down && key < 256) kstate[key] = static_cast<char>(0x80);
    Vessel *prev = current_vessel;
    current_vessel = v;
    const int r = v2->clbkConsumeBufferedKey(key, down, kstate);
    current_vessel = prev;
    return r;
}

int World::PressKey(DWORD key, bool shift, Vessel *v)
{
    if (!v) v = focus_;
    if (!v) return 0;
    Busy busy(*this);
    const int r = KeyEvent(v, key, true, shift);
    if (v->alive) KeyEvent(v, key, false, shift);
    return r;
}

void World::SetPilotControl(Vessel *v, AIRCTRL_TYPE type, double level)
{
    if (!v || type < 0 || type > 5) return;
    level = std::max(-1.0, std::min(1.0, level));
    DWORD bit = 0;
    if (type == AIRCTRL_ELEVATOR) bit = 1;
    if (type == AIRCTRL_RUDDER) bit = 2;
    if (type == AIRCTRL_AILERON) bit = 4;
    if (bit && !(v->adctrl_mode & bit)) return;  // the pilot's input does not reach a switched-off surface
    v->ctrl_level[type] = level;
}

void World::SetThrottle(Vessel *v, double level)
{
    if (!v) return;
    level = std::max(0.0, std::min(1.0, level));
    for (ThrusterGroup *g : v->groups)
        if (g->alive && g->type == THGROUP_MAIN)
            for (Thruster *t : g->thrusters)
                if (t->alive) t->level = level;
}

// ---------------------------------------------------------------------------------------------
// MFD modes and displays
// ---------------------------------------------------------------------------------------------
int World::RegisterMfdMode(const MFDMODESPEC &spec)
{
    MfdMode m;
    m.id = next_mode_id_++;
    m.name = spec.name ? spec.name : "";
    m.key = spec.key;
    m.msgproc = spec.msgproc;
    modes_.push_back(m);
    return m.id;
}

bool World::UnregisterMfdMode(int id)
{
    for (int i = 0; i < 2; ++i)
        if (displays_[i].mfd && displays_[i].mode_id == id) CloseMfd(i);
    for (auto it = modes_.begin(); it != modes_.end(); ++it)
        if (it->id == id) {
            modes_.erase(it);
            return true;
        }
    return false;
}

MFD *World::OpenMfd(int which, const std::string &mode_name, DWORD w, DWORD h)
{
    return OpenDisplay(which, mode_name, w, h, true);
}

MFD *World::OpenDisplay(int which, const std::string &mode_name, DWORD w, DWORD h, bool recall)
{
    if (which < 0 || which > 1) return nullptr;
    Busy busy(*this);
    CloseMfd(which);
    MfdMode mode;  // a copy: the mode's message procedure may register or remove modes
    for (const MfdMode &m : modes_)
        if (strcasecmp(m.name.c_str(), mode_name.c_str()) == 0) mode = m;
    if (!mode.msgproc) {
        Log("MFD: no mode \"" + mode_name + "\" is registered");
        return nullptr;
    }
    if (!focus_) {
        Log("MFD: no focus vessel to open \"" + mode_name + "\" for");
        return nullptr;
    }
    VESSEL *vi = focus_->iface;
    const WPARAM wp = static_cast<WPARAM>(w) | (static_cast<WPARAM>(h) << 16);
    const OAPI_MSGTYPE r = mode.msgproc(OAPI_MSG_MFD_OPENED, static_cast<UINT>(which), wp,
                                         reinterpret_cast<LPARAM>(vi));
    MFD *mfd = reinterpret_cast<MFD *>(r);
    if (!mfd) {
        Log("MFD: mode \"" + mode_name + "\" made no display");
        return nullptr;
    }
    displays_[which].mode_id = mode.id;
    displays_[which].mfd = mfd;
    displays_[which].w = w;
    displays_[which].h = h;
    displays_[which].vessel = focus_;
    if (recall) mfd->RecallStatus();
    return mfd;
}

void World::CloseMfd(int which)
{
    if (which < 0 || which > 1 || !displays_[which].mfd) return;
    Busy busy(*this);
    MFD *m = displays_[which].mfd;
    displays_[which].mfd = nullptr;
    displays_[which].vessel = nullptr;
    m->StoreStatus();
    delete m;
}

MFD *World::GetMfd(int which) const { return (which == 0 || which == 1) ? displays_[which].mfd : nullptr; }
Display *World::GetDisplay(int which) { return (which == 0 || which == 1) ? &displays_[which] : nullptr; }

bool World::MfdKey(int which, DWORD key)
{
    MFD *m = GetMfd(which);
    if (!m) return false;
    Busy busy(*this);
    return m->ConsumeKeyBuffered(key);
}

bool World::MfdButton(int which, int bt, int event)
{
    MFD *m = GetMfd(which);
    if (!m) return false;
    Busy busy(*this);
    return m->ConsumeButton(bt, event);
}

DrawRecorder *World::DrawMfd(int which)
{
    MFD *m = GetMfd(which);
    if (!m) return nullptr;
    Busy busy(*this);
    auto rec = std::make_unique<HDC__>(static_cast<int>(displays_[which].w), static_cast<int>(displays_[which].h));
    m->Update(rec.get());
    rec->Finish();
    last_draw_[which] = std::move(rec);
    return last_draw_[which].get();
}

DrawRecorder *World::DrawHud(int w, int h, Vessel *v, int mode)
{
    if (!v) v = focus_;
    VESSEL2 *v2 = Callbacks(v);
    if (!v2) return nullptr;
    Busy busy(*this);
    HUDPAINTSPEC hps;
    hps.W = w;
    hps.H = h;
    hps.CX = w / 2;
    hps.CY = h / 2;
    hps.Scale = h / 60.0;  // pixels per degree of view
    hps.Markersize = h / 32;
    // The last drawing's context, drawn again from the start, when it has this size.
    std::unique_ptr<HDC__> rec;
    if (last_draw_[2] && last_draw_[2]->width == w && last_draw_[2]->height == h) {
        rec = std::move(last_draw_[2]);
        rec->Restart();
    } else {
        rec = std::make_unique<HDC__>(w, h);
    }
    rec->font = DefaultFont(1);  // the host's HUD text: a small font, one line per 10 pixels
    Vessel *prev = current_vessel;
    current_vessel = v;
    // Vessel.cpp, Vessel::DrawHUD: a VESSEL3 module (version 2) is asked first through the
    // sketchpad. Only the built-in graphics client (the 2016 tree, the 2024 inline build) then
    // falls back, when that callback did not draw, to the device context behind the sketchpad and
    // the VESSEL2 callback; with an external client (2024) and in the current tree, which has no
    // built-in client, a VESSEL2 module's display is never drawn.
    const bool inline_client = InlineGraphics(opt_.host);
    RecorderSketchpad skp(rec.get(), inline_client, [this] {
        if (hud_dc_refused_) return;
        hud_dc_refused_ = true;
        Log("Call to obsolete Sketchpad::GetDC() detected. Returned NULL");
    });
    bool drawn = false;
    if (v2->Version() >= 2) drawn = static_cast<VESSEL3 *>(v2)->clbkDrawHUD(mode, &hps, &skp);
    if (!drawn && inline_client) {
        if (HDC hdc = skp.GetDC()) v2->clbkDrawHUD(mode, &hps, hdc);
    }
    current_vessel = prev;
    rec->Finish();
    last_draw_[2] = std::move(rec);
    return last_draw_[2].get();
}

// ---------------------------------------------------------------------------------------------
// Annotations, textures, meshes
// ---------------------------------------------------------------------------------------------
Annotation *World::NewAnnotation()
{
    auto *a = new Annotation;
    Register(a);
    notes_.push_back(a);
    return a;
}

bool World::DeleteAnnotation(Annotation *a)
{
    if (!a || !a->alive) return false;
    a->alive = false;
    notes_.erase(std::remove(notes_.begin(), notes_.end(), a), notes_.end());
    Event("note removed" + (a->text.empty() ? std::string() : ": \"" + a->text + "\""));
    return true;
}

namespace {
bool ReadDdsSize(const std::string &path, int *w, int *h)
{
    std::ifstream f(path, std::ios::binary);
    unsigned char hdr[20];
    if (!f.read(reinterpret_cast<char *>(hdr), sizeof hdr)) return false;
    if (std::memcmp(hdr, "DDS ", 4) != 0) return false;
    auto u32 = [&](int o) { return hdr[o] | (hdr[o + 1] << 8) | (hdr[o + 2] << 16) | (hdr[o + 3] << 24); };
    *h = static_cast<int>(u32(12));
    *w = static_cast<int>(u32(16));
    return true;
}
}  // namespace

Surface *World::LoadTexture(const std::string &name, bool dynamic)
{
    const std::string path = root_ + "/Textures/" + name;
    if (!FileExists(path)) {
        Log("texture not found: " + path);
        return nullptr;
    }
    auto *s = new Surface;
    s->name = name;
    s->dynamic = dynamic;
    ReadDdsSize(path, &s->width, &s->height);
    Register(s);
    return s;
}

Surface *World::RegisterTexture(const std::string &name)
{
    // Exhaust and re-entry textures may be the simulator's own ("contrail3"): a missing file is
    // not worth a message, the handle stands for the texture either way.
    auto *s = new Surface;
    s->name = name;
    Register(s);
    return s;
}

Mesh *World::LoadMesh(const std::string &name)
{
    Mesh *tmpl = MeshTemplate(name);
    return tmpl ? CopyMesh(tmpl) : nullptr;
}

std::string World::AddonPath(const std::string &relative) const
{
    if (!opt_.overlay.empty() && FileExists(opt_.overlay + "/" + relative)) return opt_.overlay + "/" + relative;
    return root_ + "/" + relative;
}

Mesh *World::MeshTemplate(const std::string &name)
{
    auto it = mesh_cache_.find(name);
    Mesh *tmpl = nullptr;
    if (it != mesh_cache_.end()) {
        tmpl = it->second;
    } else {
        const std::string path = AddonPath("Meshes/" + name + ".msh");
        auto *m = new Mesh;
        std::string err;
        if (!LoadMeshFile(path, m, &err)) {
            Log("mesh not loaded: " + err);
            delete m;
            mesh_cache_[name] = nullptr;
            return nullptr;
        }
        m->name = name;
        m->alive = false;  // the cached template itself is never handed out
        Register(m);
        for (const std::string &t : m->texture_names) {
            auto *s = new Surface;
            s->name = t;
            ReadDdsSize(AddonPath("Textures/" + t), &s->width, &s->height);
            Register(s);
            m->textures.push_back(s);
        }
        mesh_cache_[name] = m;
        tmpl = m;
    }
    return tmpl;
}

Mesh *World::CopyMesh(const Mesh *src)
{
    auto *m = new Mesh;
    m->CopyFrom(*src);
    m->name = src->name;
    m->alive = true;
    Register(m);
    return m;
}


// VesselBase::UpdateProxies: the proxy body is the body whose centre is closest (the host compares
// the squared distance less the body's size), the orbit reference the dominant gravity source
// (Psys.cpp GetDominantGravitySource: the largest mass / distance^2). A free vessel 1.5 million km
// sunward of Earth has Earth as its proxy and the Sun as its orbit reference, and is saved
// "Orbiting Sun". The state stays the same in space: it is re-expressed against the new proxy.
void World::UpdateProxies(Vessel *v)
{
    if (!v->alive || v->landed || v->parent || !v->ref || bodies_.empty()) return;
    const VECTOR3 g = v->GlobalPos();
    Body *closest = nullptr, *dominant = nullptr;
    double best = 1e300, pull = 0;
    for (Body *b : bodies_) {
        const VECTOR3 d = b->pos - g;
        const double d2 = dotp(d, d);
        if (d2 - b->radius < best) best = d2 - b->radius, closest = b;
        if (d2 > 0 && b->mass / d2 > pull) pull = b->mass / d2, dominant = b;
    }
    if (closest && closest != v->ref) {
        v->rpos = v->PosAgainst(closest);  // through the bodies' difference (Vessel::PosAgainst)
        v->rvel = v->VelAgainst(closest);
        v->ref = closest;
    }
    if (dominant) v->orbit_ref = dominant;
}

Body *World::DominantGravitySource(const VECTOR3 &g) const
{
    Body *dominant = nullptr;
    double pull = 0;
    for (Body *b : bodies_) {
        const VECTOR3 d = b->pos - g;
        const double d2 = dotp(d, d);
        if (d2 > 0 && b->mass / d2 > pull) pull = b->mass / d2, dominant = b;
    }
    return dominant;
}

// VesselBase::PostUpdate: a free vessel looks up its proxies every 100 s of simulation time, the
// first time in its first frame.
void World::UpdateProxies(double simt1)
{
    for (Vessel *v : vessels_) {
        if (!v->alive || v->landed || v->parent || !(simt1 > v->proxy_t)) continue;
        UpdateProxies(v);
        v->proxy_t = simt1 + 100.0;
    }
}

}  // namespace sim
