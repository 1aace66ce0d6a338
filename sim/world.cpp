// world.cpp -- the stand-in host's world: bodies by date, the frame loop, vessel creation and
// deletion, visuals, focus, input, MFD displays, annotations, textures, meshes, log and random draws.
#include "world.h"

#include "astro.h"
#include "internal.h"
#include "physics.h"

#include <algorithm>
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

// The object the host makes for a vessel of a class that no module serves.
class PlainVessel final : public VESSEL2 {
public:
    using VESSEL2::VESSEL2;
};

bool FileExists(const std::string &p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

MATRIX3 FromRowMajor(const double m[9]) { return _M(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8]); }
}  // namespace

bool IsIssued(const void *handle) { return g_world && g_world->Issued(handle); }

void ReportDrawProblem(const std::string &text)
{
    if (g_world)
        g_world->Log("drawing: " + text);
    else
        std::fprintf(stderr, "drawing: %s\n", text.c_str());
}

World *World::Current() { return g_world; }

World::World(const WorldOptions &opt) : opt_(opt), rng_(opt.seed)
{
    if (g_world) std::fprintf(stderr, "corvane-sim: a second world was made while one exists\n");
    g_world = this;
    root_ = opt_.root;
    if (root_.empty()) {
        const char *env = std::getenv("CORVANE_ADDON_ROOT");
        root_ = env ? env : ".";
    }
    dt_ = opt_.dt;
    mjd0_ = opt_.mjd;
    if (!opt_.log_path.empty()) {
        log_file_ = std::fopen(opt_.log_path.c_str(), "w");
        if (log_file_) std::fprintf(log_file_, "**** Orbiter.log (corvane stand-in host)\n");
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
    if (opt_.load_plugins) LoadPlugins();
}

World::~World()
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
        if (!m->plugin && m->ExitModule) m->ExitModule(reinterpret_cast<HINSTANCE>(m->handle));
    UnloadModules();
    owned_.clear();
    issued_.clear();
    if (log_file_) std::fclose(log_file_);
    if (g_world == this) g_world = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Registry, log, random, events
// ---------------------------------------------------------------------------------------------
void World::Register(Object *o)
{
    owned_.emplace_back(o);
    issued_.insert(static_cast<const void *>(o));
}

void World::Log(const std::string &line)
{
    log_.push_back(line);
    if (log_file_) {
        std::fprintf(log_file_, "%s\n", line.c_str());
        std::fflush(log_file_);
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

void World::UpdateBodies()
{
    static thread_local Knot k0, k1;
    const double mjd = Mjd();
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
    if (!spin_ready) {
        double rp[9], rm[9];
        const double dt = 1.0;  // [s]
        astro::EarthRotation(mjd + dt / 86400.0, rp);
        astro::EarthRotation(mjd - dt / 86400.0, rm);
        MATRIX3 dR;
        for (int i = 0; i < 9; ++i) dR.data[i] = (rp[i] - rm[i]) / (2 * dt);
        const MATRIX3 &R = earth_->R;
        spin = mul(dR, _M(R.m11, R.m21, R.m31, R.m12, R.m22, R.m32, R.m13, R.m23, R.m33));
        spin_ready = true;
    }
    earth_->spin = spin;
}

Body *World::FindBody(const std::string &name) const { return FindBody(name.c_str()); }

Body *World::FindBody(const char *name) const
{
    for (Body *b : bodies_)
        if (strcasecmp(b->name.c_str(), name) == 0) return b;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------------------------
void World::RunFrame()
{
    in_frame_ = true;
    const double simt = simt_, dt = dt_, mjd = Mjd();
    // The vessels at the start of the frame: a callback may delete or create vessels, which must
    // not make the loops skip or repeat anyone.
    frame_vessels_.assign(vessels_.begin(), vessels_.end());
    for (Vessel *v : frame_vessels_) {
        if (!v->alive || v->created_in_frame || Deleting(v)) continue;
        if (VESSEL2 *v2 = Callbacks(v)) {
            current_vessel = v;
            v2->clbkPreStep(simt, dt, mjd);
            current_vessel = nullptr;
        }
    }
    for (Module *p : plugins_)
        if (p->opcPreStep) p->opcPreStep(simt, dt, mjd);
    if (state_update)
        state_update(*this, dt);
    else if (opt_.physics)
        PhysicsStep(*this, dt);
    else
        DefaultStateUpdate(dt);
    for (Vessel *v : frame_vessels_) {
        if (!v->alive || v->created_in_frame || Deleting(v)) continue;
        if (VESSEL2 *v2 = Callbacks(v)) {
            current_vessel = v;
            v2->clbkPostStep(simt, dt, mjd);
            current_vessel = nullptr;
        }
    }
    simt_ = step_origin_ + static_cast<double>(++steps_since_origin_) * dt_;
    ++frames_;
    const MATRIX3 earth_before = earth_->R;
    UpdateBodies();
    if (!opt_.physics && !state_update) HoldOverGround(earth_before);
    for (Vessel *v : vessels_) {
        v->created_in_frame = false;
        v->UpdateLanded();
    }
    FollowParents();
    frame_vessels_.clear();
    in_frame_ = false;
    if (busy_ == 0) ReapDeleted();
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

void World::DefaultStateUpdate(double)
{
    // Without physics nothing moves by itself; landed vessels turn with the Earth (after the time
    // advance) and attached children follow their parents.
    FollowParents();
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
        v->rpos = mul(turn, v->rpos);
        v->rvel = mul(turn, v->rvel);
        v->R = mul(turn, v->R);
    }
}

void World::FollowParents()
{
    for (Vessel *v : vessels_) {
        if (!v->alive) continue;
        for (Attachment *a : v->attachments)
            if (a->alive && !a->toparent && a->mate && a->mate->owner && a->mate->owner->alive)
                PlaceChild(v, a, a->mate->owner, a->mate);
    }
}

namespace {
MATRIX3 PointFrame(const Attachment *a)
{
    VECTOR3 d = a->dir, r = a->rot;
    const double ld = length(d);
    d = ld > 0 ? d / ld : _V(0, 0, 1);
    r = r - d * dotp(r, d);
    const double lr = length(r);
    r = lr > 1e-12 ? r / lr : (std::fabs(d.y) < 0.9 ? unit(crossp(d, _V(0, 1, 0))) : unit(crossp(d, _V(1, 0, 0))));
    const VECTOR3 c = crossp(d, r);
    return _M(d.x, r.x, c.x, d.y, r.y, c.y, d.z, r.z, c.z);
}
}  // namespace

void World::PlaceChild(Vessel *parent, Attachment *pa, Vessel *child, Attachment *ca)
{
    // The child's point sits on the parent's point, its direction and rotation reference along the
    // parent's (both point the same way in the global frame).
    const MATRIX3 Mp = PointFrame(pa), Mc = PointFrame(ca);
    const MATRIX3 Mct = _M(Mc.m11, Mc.m21, Mc.m31, Mc.m12, Mc.m22, Mc.m32, Mc.m13, Mc.m23, Mc.m33);
    child->R = mul(mul(parent->R, Mp), Mct);
    child->ref = parent->ref;
    child->rpos = parent->rpos + mul(parent->R, pa->pos) - mul(child->R, ca->pos);
    child->rvel = parent->rvel;
    child->omega = parent->omega;
    child->landed = false;
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
    v->name = name;
    v->class_name = cls;
    v->module = mod;
    v->ref = earth_;
    v->journaling = opt_.journal;
    v->flight_model = opt_.flight_model;
    if (cc.has_size) v->size = cc.size;
    if (cc.has_mass) v->empty_mass = cc.mass;
    // The configuration's mesh and touchdown points come before anything the module defines
    // (Vessel::ReadGenericCaps): a class without a module shows its mesh and rests on its points.
    if (!cc.mesh_name.empty()) {
        MeshSlot slot;
        slot.present = true;
        slot.file = cc.mesh_name;
        slot.source = MeshTemplate(cc.mesh_name);
        v->meshes.push_back(slot);
    }
    if (cc.has_touchdown) {
        v->has_touchdown = true;
        for (int i = 0; i < 3; ++i) v->touchdown[i] = cc.touchdown[i];
    }
    Register(v);
    v->created_in_frame = in_frame_;
    vessels_.push_back(v);
    if (mod) {
        v->iface = mod->ovcInit(Handle(v), v->flight_model);
        if (!v->iface) {
            if (error) *error = "module " + mod->path + ": ovcInit returned no vessel for \"" + name + "\"";
            v->alive = false;
            vessels_.pop_back();
            return nullptr;
        }
    } else {
        v->iface = new PlainVessel(Handle(v), v->flight_model);
        v->owns_iface = true;
    }
    return v;
}

Vessel *World::CreateVessel(const std::string &name, const std::string &cls, const VESSELSTATUS2 &status)
{
    Busy busy(*this);
    std::string error;
    Vessel *v = NewVesselRecord(name, cls, &error);
    if (!v) {
        Log("oapiCreateVessel: " + error + "; vessel \"" + name + "\" not created");
        return nullptr;
    }
    if (VESSEL2 *v2 = Callbacks(v)) {
        Vessel *prev = current_vessel;
        current_vessel = v;
        v2->clbkSetClassCaps(nullptr);
        v2->clbkSetStateEx(&status);
        current_vessel = prev;
    }
    FinishCreation(v);
    return v->alive && !Deleting(v) ? v : nullptr;
}

Vessel *World::CreateVessel(const std::string &name, const std::string &cls, const VESSELSTATUS &vs)
{
    VESSELSTATUS2 s;
    std::memset(&s, 0, sizeof s);
    s.version = 2;
    s.rbody = vs.rbody;
    s.base = vs.base;
    s.port = vs.port;
    s.status = vs.status;
    s.rpos = vs.rpos;
    s.rvel = vs.rvel;
    s.vrot = vs.vrot;
    s.arot = vs.arot;
    if (vs.status == 1) {
        s.surf_lng = vs.vdata[0].x;
        s.surf_lat = vs.vdata[0].y;
        s.surf_hdg = vs.vdata[0].z;
        s.vrot = _V(0, 0, 0);
    }
    return CreateVessel(name, cls, s);
}

void World::FinishCreation(Vessel *v)
{
    if (!v->alive || Deleting(v)) return;  // deleted by a module while it was being made
    if (VESSEL2 *v2 = Callbacks(v)) {
        Vessel *prev = current_vessel;
        current_vessel = v;
        v2->clbkPostCreation();
        current_vessel = prev;
    }
    v->created = true;
    Event("created " + v->name + " (" + v->class_name + ")");
    CreateVisual(v);
}

Vessel *World::CreateVesselAt(const std::string &name, const std::string &cls, double lng, double lat, double alt,
                              double heading, const VECTOR3 &air_velocity)
{
    // Placed first through a status record so the module's clbkSetStateEx sees a sensible state.
    Vessel probe;
    probe.world = this;
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
    return CreateVessel(name, cls, s);
}

void World::ExitVessel(Vessel *v)
{
    if (v->owns_iface) {
        delete static_cast<PlainVessel *>(v->iface);
    } else if (v->module && v->module->ovcExit && v->iface) {
        v->module->ovcExit(v->iface);
    }
    v->iface = nullptr;
    v->alive = false;
}

bool World::DeleteVessel(Vessel *v)
{
    if (!v || !v->alive) return false;
    // Detach it from everything first.
    for (Attachment *a : v->attachments)
        if (a->mate) {
            a->mate->mate = nullptr;
            a->mate = nullptr;
        }
    v->parent = nullptr;
    for (Vessel *o : vessels_)
        if (o->parent == v) o->parent = nullptr;
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
Vessel *World::FindVessel(const char *name) const
{
    for (Vessel *v : vessels_)
        if (v->alive && strcasecmp(v->name.c_str(), name) == 0) return v;
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
        if (m) m->alive = false;
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
    auto rec = std::make_unique<HDC__>(w, h);
    rec->font = DefaultFont(1);  // the host's HUD text: a small font, one line per 10 pixels
    Vessel *prev = current_vessel;
    current_vessel = v;
    v2->clbkDrawHUD(mode, &hps, rec.get());
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

Mesh *World::MeshTemplate(const std::string &name)
{
    auto it = mesh_cache_.find(name);
    Mesh *tmpl = nullptr;
    if (it != mesh_cache_.end()) {
        tmpl = it->second;
    } else {
        std::string path = root_ + "/Meshes/" + name + ".msh";
        if (!opt_.overlay.empty() && FileExists(opt_.overlay + "/Meshes/" + name + ".msh"))
            path = opt_.overlay + "/Meshes/" + name + ".msh";
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
            ReadDdsSize(root_ + "/Textures/" + t, &s->width, &s->height);
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

}  // namespace sim
