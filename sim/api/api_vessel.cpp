// api_vessel.cpp -- the VESSEL and VESSEL2 interface: a thin layer that checks the handles a module
// passes, journals the call when asked, and forwards to the vessel record. A bad or stale handle
// gives a message in the host log and a harmless result; it never crashes the host.
#include "internal.h"

// The SDK declares some results as const values; the definitions must match them.
#pragma GCC diagnostic ignored "-Wignored-qualifiers"

#include "astro.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

using namespace sim;

#define VF "(%.10g, %.10g, %.10g)"
#define VA(v) (v).x, (v).y, (v).z
#define NOTE(...)                                                   \
    do {                                                            \
        if (vessel && vessel->journaling) vessel->Note(__VA_ARGS__); \
    } while (0)

namespace {

void Bad(const char *func, const char *what)
{
    if (World *w = World::Current()) w->Fault(func, what);
}

const char *H(const void *h) { return h ? "@" : "0"; }

template <class T>
T *Own(Vessel *v, const std::vector<T *> &list, const void *h, Kind k)
{
    T *t = As<T>(h, k);
    if (!t || !v) return nullptr;
    return std::find(list.begin(), list.end(), t) != list.end() ? t : nullptr;
}

void JournalStatus(Vessel *v, const char *what, const void *status)
{
    if (!v || !v->journaling) return;
    const auto *s = static_cast<const VESSELSTATUS2 *>(status);
    if (!s) {
        v->Note("%s(0)", what);
        return;
    }
    // arot and vrot.x too: in a landed record they choose between the given and the default placement
    v->Note("%s(version %u, status %d, surf_lng %.10g, surf_lat %.10g, surf_hdg %.10g, arot %.10g %.10g %.10g, "
            "vrot.x %.10g)",
            what, s->version, s->status, s->surf_lng, s->surf_lat, s->surf_hdg, s->arot.x, s->arot.y, s->arot.z,
            s->vrot.x);
}

// The object the host makes for a vessel of a class that no module serves; the world makes and
// ends it through the two functions set here when the host library loads.
class PlainVessel final : public VESSEL2 {
public:
    using VESSEL2::VESSEL2;
};

struct PlainVessels {
    PlainVessels()
    {
        World::new_plain_vessel = [](OBJHANDLE h, int fmodel) -> VESSEL * { return new PlainVessel(h, fmodel); };
        World::delete_plain_vessel = [](VESSEL *v) { delete static_cast<PlainVessel *>(v); };
    }
} plain_vessels;

}  // namespace

// =============================================================================================
// VESSEL
// =============================================================================================
VESSEL::VESSEL(OBJHANDLE hVessel, int fmodel)
    : vessel(As<Vessel>(hVessel, Kind::Vessel)), flightmodel(static_cast<short>(fmodel)), version(0)
{
    if (!vessel) Bad("VESSEL::VESSEL", "not a vessel handle");
    if (vessel) vessel->flight_model = fmodel;
}

VESSEL::~VESSEL() {}

#define REC(ret)                                                       \
    if (!vessel || !vessel->alive) {                                   \
        Bad(__func__, vessel ? "the vessel no longer exists" : "no vessel"); \
        return ret;                                                    \
    }

const OBJHANDLE VESSEL::GetHandle() const
{
    NOTE("GetHandle()");
    return vessel ? Handle(vessel) : nullptr;
}
char *VESSEL::GetName() const
{
    NOTE("GetName()");
    return vessel ? const_cast<char *>(vessel->name.c_str()) : const_cast<char *>("");
}
char *VESSEL::GetClassName() const
{
    NOTE("GetClassName()");
    return vessel ? const_cast<char *>(vessel->class_name.c_str()) : const_cast<char *>("");
}
int VESSEL::GetFlightModel() const
{
    NOTE("GetFlightModel()");
    return flightmodel;
}

// --- definition ----------------------------------------------------------------------------
void VESSEL::SetSize(double size) const
{
    NOTE("SetSize(%.10g)", size);
    REC();
    vessel->size = size;
}
double VESSEL::GetSize() const
{
    NOTE("GetSize()");
    REC(0);
    return vessel->size;
}
void VESSEL::SetEmptyMass(double m) const
{
    NOTE("SetEmptyMass(%.10g)", m);
    REC();
    vessel->empty_mass = m;
    vessel->updated_mass = vessel->Mass();  // Vessel.h SetEmptyMass: UpdateMass
}
double VESSEL::GetEmptyMass() const
{
    NOTE("GetEmptyMass()");
    REC(0);
    return vessel->empty_mass;
}
double VESSEL::GetMass() const
{
    NOTE("GetMass()");
    REC(0);
    return vessel->Mass();
}
void VESSEL::SetCW(double zp, double zn, double x, double y) const
{
    NOTE("SetCW(%.10g, %.10g, %.10g, %.10g)", zp, zn, x, y);
    REC();
    vessel->cw_z_pos = zp, vessel->cw_z_neg = zn, vessel->cw_x = x, vessel->cw_y = y;
}
void VESSEL::SetWingAspect(double a) const
{
    NOTE("SetWingAspect(%.10g)", a);
    REC();
    vessel->wing_aspect = a;
}
void VESSEL::SetWingEffectiveness(double e) const
{
    NOTE("SetWingEffectiveness(%.10g)", e);
    REC();
    vessel->wing_effectiveness = e;
}
void VESSEL::SetRotDrag(const VECTOR3 &rd) const
{
    NOTE("SetRotDrag" VF, VA(rd));
    REC();
    vessel->rot_drag = rd;
}
void VESSEL::SetPitchMomentScale(double s) const
{
    NOTE("SetPitchMomentScale(%.10g)", s);
    REC();
    vessel->pitch_moment_scale = s;
}
void VESSEL::SetYawMomentScale(double s) const
{
    NOTE("SetYawMomentScale(%.10g)", s);
    REC();
    vessel->bank_moment_scale = s;
}
void VESSEL::SetBankMomentScale(double s) const
{
    NOTE("SetBankMomentScale(%.10g)", s);
    REC();
    vessel->bank_moment_scale = s;
}
void VESSEL::SetTrimScale(double s) const
{
    NOTE("SetTrimScale(%.10g)", s);
    REC();
    vessel->trim_scale = s;
}
void VESSEL::SetPMI(const VECTOR3 &pmi) const
{
    NOTE("SetPMI" VF, VA(pmi));
    REC();
    vessel->pmi = pmi;
}
void VESSEL::GetPMI(VECTOR3 &pmi) const
{
    NOTE("GetPMI()");
    REC();
    pmi = vessel->pmi;
}
void VESSEL::SetCrossSections(const VECTOR3 &cs) const
{
    NOTE("SetCrossSections" VF, VA(cs));
    REC();
    vessel->cross_sections = cs;
}
void VESSEL::GetCrossSections(VECTOR3 &cs) const
{
    NOTE("GetCrossSections()");
    REC();
    cs = vessel->cross_sections;
}
void VESSEL::SetCOG_elev(double h) const
{
    NOTE("SetCOG_elev(%.10g)", h);
    REC();
    vessel->cog_elev = h;
}
void VESSEL::SetCameraOffset(const VECTOR3 &co) const
{
    NOTE("SetCameraOffset" VF, VA(co));
    REC();
    vessel->camera_offset = co;
}
void VESSEL::GetCameraOffset(VECTOR3 &co) const
{
    NOTE("GetCameraOffset()");
    REC();
    co = vessel->camera_offset;
}
void VESSEL::SetCameraDefaultDirection(const VECTOR3 &cd) const
{
    NOTE("SetCameraDefaultDirection" VF, VA(cd));
    REC();
    vessel->camera_dir = cd;
}
void VESSEL::SetCameraRotationRange(double l, double r, double u, double d) const
{
    NOTE("SetCameraRotationRange(%.10g, %.10g, %.10g, %.10g)", l, r, u, d);
    REC();
    vessel->cam_range[0] = l, vessel->cam_range[1] = r, vessel->cam_range[2] = u, vessel->cam_range[3] = d;
}
void VESSEL::SetCameraShiftRange(const VECTOR3 &f, const VECTOR3 &l, const VECTOR3 &r) const
{
    NOTE("SetCameraShiftRange(" VF ", " VF ", " VF ")", VA(f), VA(l), VA(r));
    REC();
    vessel->cam_shift[0] = f, vessel->cam_shift[1] = l, vessel->cam_shift[2] = r;
}
void VESSEL::SetLiftCoeffFunc(LiftCoeffFunc lcf) const
{
    NOTE("SetLiftCoeffFunc(%s)", H(reinterpret_cast<const void *>(lcf)));
    REC();
    vessel->lift_func = lcf;
}
void VESSEL::SetTouchdownPoints(const VECTOR3 &a, const VECTOR3 &b, const VECTOR3 &c) const
{
    NOTE("SetTouchdownPoints(" VF ", " VF ", " VF ")", VA(a), VA(b), VA(c));
    REC();
    vessel->has_touchdown = true;
    vessel->touchdown[0] = a, vessel->touchdown[1] = b, vessel->touchdown[2] = c;
    // Vessel.cpp VESSEL::SetTouchdownPoints (three points): stiffness 20 x the empty mass as it is
    // now (1e6 N/m while it is the default 1000 kg), damping a tenth of it, the vessel's friction.
    const double k = vessel->empty_mass == 1e3 ? 1e6 : 20.0 * vessel->empty_mass;
    for (int i = 0; i < 3; ++i) {
        vessel->td_stiffness[i] = k;
        vessel->td_damping[i] = 0.1 * k;
        vessel->td_mu[i] = vessel->mu_lat;
        vessel->td_mu_lng[i] = vessel->mu_lng;
    }
}
void VESSEL::SetTouchdownPoints(const TOUCHDOWNVTX *tdvtx, DWORD ntdvtx) const
{
    NOTE("SetTouchdownPoints(%s, %lu)", H(tdvtx), static_cast<unsigned long>(ntdvtx));
    REC();
    // Vessel.cpp Vessel::SetTouchdownPoints: each point with its own suspension and friction. The
    // host takes the first three as the support plane and any further ones as its collision hull,
    // which the stand-in does not model; fewer than three fail the host's check.
    if (!tdvtx || ntdvtx < 3) {
        Bad("SetTouchdownPoints", "needs at least three points");
        return;
    }
    vessel->has_touchdown = true;
    for (int i = 0; i < 3; ++i) {
        vessel->touchdown[i] = tdvtx[i].pos;
        vessel->td_stiffness[i] = tdvtx[i].stiffness;
        vessel->td_damping[i] = tdvtx[i].damping;
        vessel->td_mu[i] = tdvtx[i].mu;
        vessel->td_mu_lng[i] = tdvtx[i].mu_lng;
    }
}
void VESSEL::SetDockParams(const VECTOR3 &pos, const VECTOR3 &dir, const VECTOR3 &rot) const
{
    NOTE("SetDockParams(" VF ", " VF ", " VF ")", VA(pos), VA(dir), VA(rot));
    REC();
    vessel->dock_pos = pos, vessel->dock_dir = dir, vessel->dock_rot = rot;
}
void VESSEL::ClearVariableDragElements() const
{
    NOTE("ClearVariableDragElements()");
}
bool VESSEL::SetGravityGradientDamping(double d) const
{
    NOTE("SetGravityGradientDamping(%.10g)", d);
    REC(false);
    // Vessel.cpp SetGravityGradientDamping: refused unless distributed mass is enabled in the
    // simulator's options, which this host never does.
    (void)d;
    return false;
}
void VESSEL::SetSurfaceFrictionCoeff(double lng, double lat) const
{
    NOTE("SetSurfaceFrictionCoeff(%.10g, %.10g)", lng, lat);
    REC();
    vessel->mu_lng = lng, vessel->mu_lat = lat;
    for (int i = 0; i < 3; ++i) vessel->td_mu[i] = lat, vessel->td_mu_lng[i] = lng;  // every point's
}
void VESSEL::SetADCtrlMode(DWORD mode) const
{
    NOTE("SetADCtrlMode(%u)", mode);
    REC();
    vessel->adctrl_mode = mode;
}
DWORD VESSEL::GetADCtrlMode() const
{
    NOTE("GetADCtrlMode()");
    REC(0);
    return vessel->adctrl_mode;
}
bool VESSEL::SetAttitudeMode(int mode) const
{
    NOTE("SetAttitudeMode(%d)", mode);
    REC(false);
    if (mode < 0 || mode > 2) return false;
    vessel->attitude_mode = mode;
    return true;
}
int VESSEL::GetAttitudeMode() const
{
    NOTE("GetAttitudeMode()");
    REC(0);
    return vessel->attitude_mode;
}
void VESSEL::AddBeacon(BEACONLIGHTSPEC *bs)
{
    NOTE("AddBeacon(%s)", H(bs));
    REC();
    if (!bs) return;
    vessel->beacons.push_back(Beacon{bs});
}
bool VESSEL::DelBeacon(BEACONLIGHTSPEC *bs)
{
    NOTE("DelBeacon(%s)", H(bs));
    REC(false);
    for (auto it = vessel->beacons.begin(); it != vessel->beacons.end(); ++it)
        if (it->spec == bs) {
            vessel->beacons.erase(it);
            return true;
        }
    return false;
}

// --- propellant and thrusters ---------------------------------------------------------------
PROPELLANT_HANDLE VESSEL::CreatePropellantResource(double maxmass, double mass, double eff) const
{
    NOTE("CreatePropellantResource(%.10g, %.10g, %.10g)", maxmass, mass, eff);
    REC(nullptr);
    auto *t = new Tank;
    t->max_mass = std::max(0.0, maxmass);
    t->mass = mass < 0 ? t->max_mass : std::min(mass, t->max_mass);
    t->efficiency = eff;
    vessel->world->Register(t);
    vessel->parts.push_back(t);
    vessel->tanks.push_back(t);
    return Handle(t);
}
double VESSEL::GetPropellantMass(PROPELLANT_HANDLE ph) const
{
    NOTE("GetPropellantMass(%s)", H(ph));
    REC(0);
    Tank *t = Own(vessel, vessel->tanks, ph, Kind::Tank);
    if (!t) {
        Bad(__func__, "not a propellant handle of this vessel");
        return 0;
    }
    return t->mass;
}
double VESSEL::GetPropellantMaxMass(PROPELLANT_HANDLE ph) const
{
    NOTE("GetPropellantMaxMass(%s)", H(ph));
    REC(0);
    Tank *t = Own(vessel, vessel->tanks, ph, Kind::Tank);
    return t ? t->max_mass : 0;
}
void VESSEL::SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const
{
    NOTE("SetPropellantMass(%s, %.10g)", H(ph), mass);
    REC();
    Tank *t = Own(vessel, vessel->tanks, ph, Kind::Tank);
    if (!t) {
        Bad(__func__, "not a propellant handle of this vessel");
        return;
    }
    t->mass = std::max(0.0, std::min(mass, t->max_mass));
    vessel->updated_mass = vessel->Mass();  // VESSEL::SetPropellantMass: UpdateMass
}
double VESSEL::GetTotalPropellantMass() const
{
    NOTE("GetTotalPropellantMass()");
    REC(0);
    double m = 0;
    for (Tank *t : vessel->tanks) m += t->mass;
    return m;
}
THRUSTER_HANDLE VESSEL::CreateThruster(const VECTOR3 &pos, const VECTOR3 &dir, double maxth0, PROPELLANT_HANDLE hp,
                                       double isp0, double isp_ref, double p_ref) const
{
    NOTE("CreateThruster(" VF ", " VF ", %.10g, %s, %.10g, %.10g, %.10g)", VA(pos), VA(dir), maxth0, H(hp), isp0,
         isp_ref, p_ref);
    REC(nullptr);
    auto *t = new Thruster;
    t->pos = pos;
    t->dir = dir;
    t->max0 = maxth0;
    t->tank = hp ? Own(vessel, vessel->tanks, hp, Kind::Tank) : nullptr;
    if (hp && !t->tank) Bad(__func__, "not a propellant handle of this vessel");
    // Vessel.cpp CreateThruster: Isp 0 (or less) means the vessel's default Isp at this moment.
    t->isp0 = isp0 > 0 ? isp0 : vessel->default_isp;
    t->isp_ref = isp_ref;
    t->p_ref = p_ref;
    vessel->world->Register(t);
    vessel->parts.push_back(t);
    vessel->thrusters.push_back(t);
    return Handle(t);
}
bool VESSEL::DelThruster(THRUSTER_HANDLE &th) const
{
    NOTE("DelThruster(%s)", H(th));
    REC(false);
    Thruster *t = vessel->FindThruster(th);
    if (!t) return false;
    t->alive = false;
    auto &ts = vessel->thrusters;
    ts.erase(std::remove(ts.begin(), ts.end(), t), ts.end());
    for (ThrusterGroup *g : vessel->groups)
        g->thrusters.erase(std::remove(g->thrusters.begin(), g->thrusters.end(), t), g->thrusters.end());
    th = nullptr;
    return true;
}
DWORD VESSEL::GetThrusterCount() const
{
    NOTE("GetThrusterCount()");
    REC(0);
    return static_cast<DWORD>(vessel->thrusters.size());
}
THGROUP_HANDLE VESSEL::CreateThrusterGroup(THRUSTER_HANDLE *th, int nth, THGROUP_TYPE type) const
{
    NOTE("CreateThrusterGroup(%s, %d, %d)", H(th), nth, static_cast<int>(type));
    REC(nullptr);
    auto *g = new ThrusterGroup;
    g->type = type;
    for (int i = 0; th && i < nth; ++i) {
        Thruster *t = vessel->FindThruster(th[i]);
        if (t)
            g->thrusters.push_back(t);
        else
            Bad(__func__, "a member is not a thruster of this vessel");
    }
    vessel->world->Register(g);
    vessel->parts.push_back(g);
    vessel->groups.push_back(g);
    return Handle(g);
}
namespace {
double GroupLevel(const ThrusterGroup *g)
{
    if (!g || g->thrusters.empty()) return 0;
    double s = 0;
    for (const Thruster *t : g->thrusters) s += t->level;
    return s / g->thrusters.size();
}
ThrusterGroup *GroupOfType(Vessel *v, THGROUP_TYPE type)
{
    for (ThrusterGroup *g : v->groups)
        if (g->alive && g->type == type) return g;
    return nullptr;
}
}  // namespace
double VESSEL::GetThrusterGroupLevel(THGROUP_HANDLE thg) const
{
    NOTE("GetThrusterGroupLevel(%s)", H(thg));
    REC(0);
    ThrusterGroup *g = Own(vessel, vessel->groups, thg, Kind::Group);
    if (!g) {
        Bad(__func__, "not a thruster group of this vessel");
        return 0;
    }
    return GroupLevel(g);
}
double VESSEL::GetThrusterGroupLevel(THGROUP_TYPE type) const
{
    NOTE("GetThrusterGroupLevel(type %d)", static_cast<int>(type));
    REC(0);
    return GroupLevel(GroupOfType(vessel, type));
}
void VESSEL::SetThrusterGroupLevel(THGROUP_HANDLE thg, double level) const
{
    NOTE("SetThrusterGroupLevel(%s, %.10g)", H(thg), level);
    REC();
    ThrusterGroup *g = Own(vessel, vessel->groups, thg, Kind::Group);
    if (!g) return;
    for (Thruster *t : g->thrusters) t->level = std::max(0.0, std::min(1.0, level));
}
void VESSEL::SetThrusterGroupLevel(THGROUP_TYPE type, double level) const
{
    NOTE("SetThrusterGroupLevel(type %d, %.10g)", static_cast<int>(type), level);
    REC();
    if (ThrusterGroup *g = GroupOfType(vessel, type))
        for (Thruster *t : g->thrusters) t->level = std::max(0.0, std::min(1.0, level));
}
void VESSEL::SetThrusterLevel(THRUSTER_HANDLE th, double level) const
{
    NOTE("SetThrusterLevel(%s, %.10g)", H(th), level);
    REC();
    Thruster *t = vessel->FindThruster(th);
    if (!t) {
        Bad(__func__, "not a thruster of this vessel");
        return;
    }
    t->level = std::max(0.0, std::min(1.0, level));
}
double VESSEL::GetThrusterLevel(THRUSTER_HANDLE th) const
{
    NOTE("GetThrusterLevel(%s)", H(th));
    REC(0);
    Thruster *t = vessel->FindThruster(th);
    return t ? t->level : 0;
}
void VESSEL::SetThrusterMax0(THRUSTER_HANDLE th, double maxth0) const
{
    NOTE("SetThrusterMax0(%s, %.10g)", H(th), maxth0);
    REC();
    Thruster *t = vessel->FindThruster(th);
    if (!t) {
        Bad(__func__, "not a thruster of this vessel");
        return;
    }
    t->max0 = maxth0;
}
double VESSEL::GetThrusterMax0(THRUSTER_HANDLE th) const
{
    NOTE("GetThrusterMax0(%s)", H(th));
    REC(0);
    Thruster *t = vessel->FindThruster(th);
    return t ? t->max0 : 0;
}
UINT VESSEL::AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, SURFHANDLE tex) const
{
    NOTE("AddExhaust(%s, %.10g, %.10g, %s)", H(th), lscale, wscale, H(tex));
    REC(0);
    Exhaust e;
    e.thruster = vessel->FindThruster(th);
    if (!e.thruster) Bad(__func__, "not a thruster of this vessel");
    e.lscale = lscale;
    e.wscale = wscale;
    e.tex = tex;
    vessel->exhausts.push_back(e);
    return static_cast<UINT>(vessel->exhausts.size() - 1);
}
namespace {
PSTREAM_HANDLE NewStream(Vessel *v, ParticleStream::Source src, Thruster *t, const VECTOR3 *pos,
                         const PARTICLESTREAMSPEC *pss)
{
    auto *s = new ParticleStream;
    s->source = src;
    s->thruster = t;
    if (pos) s->has_pos = true, s->pos = *pos;
    if (pss) s->has_spec = true, s->spec = *pss;
    v->world->Register(s);
    v->parts.push_back(s);
    v->streams.push_back(s);
    return Handle(s);
}
}  // namespace
PSTREAM_HANDLE VESSEL::AddExhaustStream(THRUSTER_HANDLE th, PARTICLESTREAMSPEC *pss) const
{
    NOTE("AddExhaustStream(%s, %s)", H(th), H(pss));
    REC(nullptr);
    Thruster *t = vessel->FindThruster(th);
    if (!t) {
        Bad(__func__, "not a thruster of this vessel");
        return nullptr;
    }
    return NewStream(vessel, ParticleStream::EXHAUST, t, nullptr, pss);
}
PSTREAM_HANDLE VESSEL::AddExhaustStream(THRUSTER_HANDLE th, const VECTOR3 &pos, PARTICLESTREAMSPEC *pss) const
{
    NOTE("AddExhaustStream(%s, " VF ", %s)", H(th), VA(pos), H(pss));
    REC(nullptr);
    Thruster *t = vessel->FindThruster(th);
    if (!t) {
        Bad(__func__, "not a thruster of this vessel");
        return nullptr;
    }
    return NewStream(vessel, ParticleStream::EXHAUST, t, &pos, pss);
}
PSTREAM_HANDLE VESSEL::AddReentryStream(PARTICLESTREAMSPEC *pss) const
{
    NOTE("AddReentryStream(%s)", H(pss));
    REC(nullptr);
    return NewStream(vessel, ParticleStream::REENTRY, nullptr, nullptr, pss);
}

// --- meshes and animations ------------------------------------------------------------------
namespace {
UINT PutMesh(Vessel *v, const std::string &file, Mesh *src, const VECTOR3 *ofs)
{
    MeshSlot slot;
    slot.present = true;
    slot.file = file;
    slot.source = src;
    if (ofs) slot.has_ofs = true, slot.ofs = *ofs;
    UINT idx = 0;
    while (idx < v->meshes.size() && v->meshes[idx].present) ++idx;
    if (idx == v->meshes.size())
        v->meshes.push_back(slot);
    else
        v->meshes[idx] = slot;
    if (v->visual) {
        if (v->visual->meshes.size() <= idx) v->visual->meshes.resize(idx + 1, nullptr);
        v->visual->meshes[idx] = src ? v->world->CopyMesh(src) : nullptr;
    }
    return idx;
}
}  // namespace
UINT VESSEL::AddMesh(const char *meshname, const VECTOR3 *ofs) const
{
    if (ofs)
        NOTE("AddMesh(\"%s\", " VF ")", meshname ? meshname : "", VA(*ofs));
    else
        NOTE("AddMesh(\"%s\")", meshname ? meshname : "");
    REC((UINT)-1);
    if (!meshname) {
        Bad(__func__, "no mesh name");
        return (UINT)-1;
    }
    return PutMesh(vessel, meshname, vessel->world->MeshTemplate(meshname), ofs);
}
UINT VESSEL::AddMesh(MESHHANDLE hMesh, const VECTOR3 *ofs) const
{
    if (ofs)
        NOTE("AddMesh(%s, " VF ")", H(hMesh), VA(*ofs));
    else
        NOTE("AddMesh(%s)", H(hMesh));
    REC((UINT)-1);
    Mesh *m = As<Mesh>(hMesh, Kind::Mesh);
    if (hMesh && !m) Bad(__func__, "not a mesh handle");
    return PutMesh(vessel, m ? m->name : std::string(), m, ofs);
}
bool VESSEL::DelMesh(UINT idx, bool retain_anim) const
{
    NOTE("DelMesh(%u, %s)", idx, retain_anim ? "true" : "false");
    REC(false);
    if (idx >= vessel->meshes.size() || !vessel->meshes[idx].present) return false;
    vessel->meshes[idx] = MeshSlot();
    if (vessel->visual && idx < vessel->visual->meshes.size()) {
        if (Mesh *m = vessel->visual->meshes[idx]) m->alive = false;
        vessel->visual->meshes[idx] = nullptr;
    }
    return true;
}
void VESSEL::SetMeshVisibilityMode(UINT idx, WORD mode) const
{
    NOTE("SetMeshVisibilityMode(%u, %u)", idx, static_cast<unsigned>(mode));
    REC();
    if (idx >= vessel->meshes.size() || !vessel->meshes[idx].present) {
        Bad(__func__, "no mesh at that index");
        return;
    }
    vessel->meshes[idx].vis_mode = mode;
}
UINT VESSEL::GetMeshCount() const
{
    NOTE("GetMeshCount()");
    REC(0);
    UINT n = 0;
    for (const MeshSlot &s : vessel->meshes) n += s.present ? 1 : 0;
    return n;
}
MESHHANDLE VESSEL::GetMesh(VISHANDLE vis, UINT idx) const
{
    NOTE("GetMesh(%s, %u)", H(vis), idx);
    REC(nullptr);
    Visual *v = As<Visual>(vis, Kind::Visual);
    if (!v || v->vessel != vessel) {
        Bad(__func__, "not a visual of this vessel");
        return nullptr;
    }
    return idx < v->meshes.size() && v->meshes[idx] ? Handle(v->meshes[idx]) : nullptr;
}
UINT VESSEL::CreateAnimation(double initial_state) const
{
    NOTE("CreateAnimation(%.10g)", initial_state);
    REC(0);
    Animation a;
    a.initial = a.state = initial_state;
    vessel->animations.push_back(a);
    return static_cast<UINT>(vessel->animations.size() - 1);
}
ANIMATIONCOMPONENT_HANDLE VESSEL::AddAnimationComponent(UINT anim, double state0, double state1,
                                                         MGROUP_TRANSFORM *trans,
                                                         ANIMATIONCOMPONENT_HANDLE parent) const
{
    NOTE("AddAnimationComponent(%u, %.10g, %.10g, %s, %s)", anim, state0, state1, H(trans), H(parent));
    REC(nullptr);
    if (anim >= vessel->animations.size()) {
        Bad(__func__, "no such animation");
        return nullptr;
    }
    auto *c = new AnimComponent;
    c->anim = anim;
    c->state0 = state0;
    c->state1 = state1;
    c->trans = trans;
    c->parent = As<AnimComponent>(parent, Kind::Component);
    if (parent && !c->parent) Bad(__func__, "parent is not an animation component");
    vessel->world->Register(c);
    vessel->parts.push_back(c);
    vessel->animations[anim].components.push_back(c);
    return Handle(c);
}
bool VESSEL::SetAnimation(UINT anim, double state) const
{
    NOTE("SetAnimation(%u, %.10g)", anim, state);
    REC(false);
    if (anim >= vessel->animations.size()) return false;
    vessel->animations[anim].state = state;
    return true;
}
double VESSEL::GetAnimation(UINT anim) const
{
    NOTE("GetAnimation(%u)", anim);
    REC(0);
    return anim < vessel->animations.size() ? vessel->animations[anim].state : 0;
}

// --- state ----------------------------------------------------------------------------------
// Vesselstatus.cpp, Vessel::GetState and Vessel::GetState2: a landed vessel reports the Euler angles
// of its rotation relative to the body's fixed frame and its height above the ground in vrot.x.
void VESSEL::GetStatus(VESSELSTATUS &s) const
{
    NOTE("GetStatus()");
    std::memset(&s, 0, sizeof s);
    REC();
    s.rpos = vessel->rpos;
    s.rvel = vessel->rvel;
    s.vrot = vessel->landed ? _V(vessel->landed_elev, 0, 0) : vessel->omega;
    s.arot = ArotFromMatrix(vessel->landed ? vessel->land_rot : vessel->R);
    s.fuel = vessel->tanks.empty() || vessel->tanks[0]->max_mass <= 0
                 ? 0
                 : vessel->tanks[0]->mass / vessel->tanks[0]->max_mass;
    s.eng_main = GroupLevel(GroupOfType(vessel, THGROUP_MAIN));
    if (s.eng_main == 0) s.eng_main = -GroupLevel(GroupOfType(vessel, THGROUP_RETRO));
    s.eng_hovr = GroupLevel(GroupOfType(vessel, THGROUP_HOVER));
    s.rbody = vessel->ref ? Handle(vessel->ref) : nullptr;
    s.status = vessel->landed ? 1 : 0;
    if (vessel->landed) s.vdata[0] = _V(vessel->surf_lng, vessel->surf_lat, vessel->surf_hdg);
}
void VESSEL::GetStatusEx(void *status) const
{
    NOTE("GetStatusEx(%s)", H(status));
    REC();
    auto *s = static_cast<VESSELSTATUS2 *>(status);
    if (!s || s->version != 2) {
        Bad(__func__, "the status record is not version 2");
        return;
    }
    // The caller's flags stay: they ask for the propellant and thruster lists.
    s->rbody = vessel->ref ? Handle(vessel->ref) : nullptr;
    s->base = nullptr;
    s->port = 0;
    s->status = vessel->landed ? 1 : 0;
    s->rpos = vessel->rpos;
    s->rvel = vessel->rvel;
    s->vrot = vessel->landed ? _V(vessel->landed_elev, 0, 0) : vessel->omega;
    s->arot = ArotFromMatrix(vessel->landed ? vessel->land_rot : vessel->R);
    double lng, lat, rad;
    vessel->EquPos(lng, lat, rad);
    s->surf_lng = vessel->landed ? vessel->surf_lng : lng;
    s->surf_lat = vessel->landed ? vessel->surf_lat : lat;
    s->surf_hdg = vessel->Heading();
    if (s->flag & VS_FUELLIST) {
        const DWORD n = static_cast<DWORD>(vessel->tanks.size());
        if (!s->fuel) s->fuel = new VESSELSTATUS2::FUELSPEC[n ? n : 1];  // the caller frees it, as from the simulator
        s->nfuel = n;
        for (DWORD i = 0; i < n; ++i) {
            const Tank *t = vessel->tanks[i];
            s->fuel[i].idx = i;
            s->fuel[i].level = t->max_mass > 0 ? t->mass / t->max_mass : 0.0;
        }
    }
    if (s->flag & VS_THRUSTLIST) {
        const DWORD n = static_cast<DWORD>(vessel->thrusters.size());
        if (!s->thruster) s->thruster = new VESSELSTATUS2::THRUSTSPEC[n ? n : 1];
        s->nthruster = n;
        for (DWORD i = 0; i < n; ++i) {
            s->thruster[i].idx = i;
            s->thruster[i].level = vessel->thrusters[i]->level;
        }
    }
    s->xpdr = 0;
}
void VESSEL::DefSetState(const VESSELSTATUS *status) const
{
    NOTE("DefSetState(%s)", H(status));
    REC();
    if (!status) return;
    ApplyPlainStatus(vessel, *status);
}
// Vessel.cpp, Vessel::SetStateEx: only a version-2 record is applied.
void VESSEL::DefSetStateEx(const void *status) const
{
    JournalStatus(vessel, "DefSetStateEx", status);
    REC();
    const auto *s = static_cast<const VESSELSTATUS2 *>(status);
    if (!s || s->version != 2) {
        Bad(__func__, "the status record is not version 2");
        return;
    }
    ApplyStatus(vessel, s);
}
void VESSEL::GlobalRot(const VECTOR3 &rloc, VECTOR3 &rglob) const
{
    NOTE("GlobalRot" VF, VA(rloc));
    REC();
    rglob = mul(vessel->R, rloc);
}
void VESSEL::HorizonRot(const VECTOR3 &rloc, VECTOR3 &rh) const
{
    NOTE("HorizonRot" VF, VA(rloc));
    REC();
    rh = tmul(vessel->HorizonFrame(), mul(vessel->R, rloc));
}
void VESSEL::Local2Global(const VECTOR3 &local, VECTOR3 &global) const
{
    NOTE("Local2Global" VF, VA(local));
    REC();
    global = vessel->GlobalPos() + mul(vessel->R, local);
}
void VESSEL::Global2Local(const VECTOR3 &global, VECTOR3 &local) const
{
    NOTE("Global2Local" VF, VA(global));
    REC();
    local = tmul(vessel->R, global - vessel->GlobalPos());
}
void VESSEL::Local2Rel(const VECTOR3 &local, VECTOR3 &rel) const
{
    NOTE("Local2Rel" VF, VA(local));
    REC();
    rel = vessel->rpos + mul(vessel->R, local);
}
void VESSEL::GetGlobalPos(VECTOR3 &pos) const
{
    NOTE("GetGlobalPos()");
    REC();
    pos = vessel->GlobalPos();
}
void VESSEL::GetGlobalVel(VECTOR3 &vel) const
{
    NOTE("GetGlobalVel()");
    REC();
    vel = vessel->GlobalVel();
}
namespace {
bool RefPosVel(OBJHANDLE h, VECTOR3 *pos, VECTOR3 *vel)
{
    if (Body *b = As<Body>(h, Kind::Body)) {
        *pos = b->pos, *vel = b->vel;
        return true;
    }
    if (Vessel *v = As<Vessel>(h, Kind::Vessel)) {
        *pos = v->GlobalPos(), *vel = v->GlobalVel();
        return true;
    }
    return false;
}
}  // namespace
void VESSEL::GetRelativePos(OBJHANDLE hRef, VECTOR3 &pos) const
{
    NOTE("GetRelativePos(%s)", H(hRef));
    REC();
    VECTOR3 p, v;
    if (!RefPosVel(hRef, &p, &v)) {
        Bad(__func__, "not an object handle");
        pos = _V(0, 0, 0);
        return;
    }
    pos = vessel->GlobalPos() - p;
}
void VESSEL::GetRelativeVel(OBJHANDLE hRef, VECTOR3 &vel) const
{
    NOTE("GetRelativeVel(%s)", H(hRef));
    REC();
    VECTOR3 p, v;
    if (!RefPosVel(hRef, &p, &v)) {
        Bad(__func__, "not an object handle");
        vel = _V(0, 0, 0);
        return;
    }
    vel = vessel->GlobalVel() - v;
}
void VESSEL::GetRotationMatrix(MATRIX3 &R) const
{
    NOTE("GetRotationMatrix()");
    REC();
    R = vessel->R;
}
bool VESSEL::GetElements(OBJHANDLE hRef, ELEMENTS &el, ORBITPARAM *prm, double, int frame) const
{
    NOTE("GetElements(%s, %s, %d)", H(hRef), H(prm), frame);
    std::memset(&el, 0, sizeof el);
    REC(false);
    Body *b = hRef ? As<Body>(hRef, Kind::Body) : vessel->OrbitRef();
    if (!b) {
        Bad(__func__, "not a body handle");
        return false;
    }
    // Left-handed global (x, y, z) -> right-handed ecliptic (x, z, y).
    const VECTOR3 rg = vessel->GlobalPos() - b->pos, vg = vessel->GlobalVel() - b->vel;
    const VECTOR3 r = _V(rg.x, rg.z, rg.y), v = _V(vg.x, vg.z, vg.y);
    const double mu = astro::G * b->mass;
    const double rl = length(r), v2 = dotp(v, v);
    const double a = 1.0 / (2.0 / rl - v2 / mu);
    const VECTOR3 h = crossp(r, v);
    const VECTOR3 evec = crossp(v, h) / mu - r / rl;
    const double e = length(evec);
    const double hl = length(h);
    const double inc = hl > 0 ? std::acos(std::max(-1.0, std::min(1.0, h.z / hl))) : 0;
    const VECTOR3 n = _V(-h.y, h.x, 0);
    const double nl = length(n);
    double node = nl > 0 ? std::atan2(n.y, n.x) : 0;
    if (node < 0) node += 2 * M_PI;
    double argp = 0;
    if (nl > 0 && e > 1e-12) {
        argp = std::acos(std::max(-1.0, std::min(1.0, dotp(n, evec) / (nl * e))));
        if (evec.z < 0) argp = 2 * M_PI - argp;
    }
    double tra = 0;
    if (e > 1e-12) {
        tra = std::acos(std::max(-1.0, std::min(1.0, dotp(evec, r) / (e * rl))));
        if (dotp(r, v) < 0) tra = 2 * M_PI - tra;
    }
    double mean = tra;
    if (e < 1 && e > 1e-12) {
        const double E = 2 * std::atan(std::sqrt((1 - e) / (1 + e)) * std::tan(tra / 2));
        mean = E - e * std::sin(E);
    }
    el.a = a;
    el.e = e;
    el.i = inc;
    el.theta = node;
    el.omegab = std::fmod(node + argp, 2 * M_PI);
    el.L = std::fmod(el.omegab + mean + 4 * M_PI, 2 * M_PI);
    if (prm) {
        std::memset(prm, 0, sizeof *prm);
        prm->SMi = a * std::sqrt(std::fabs(1 - e * e));
        prm->PeD = a * (1 - e);
        prm->ApD = e < 1 ? a * (1 + e) : -1;
        prm->MnA = mean;
        prm->TrA = tra;
        prm->T = a > 0 ? 2 * M_PI * std::sqrt(a * a * a / mu) : 0;
    }
    return true;
}
const OBJHANDLE VESSEL::GetGravityRef() const
{
    NOTE("GetGravityRef()");
    REC(nullptr);
    Body *b = vessel->OrbitRef();
    return b ? Handle(b) : nullptr;
}
const OBJHANDLE VESSEL::GetSurfaceRef() const
{
    NOTE("GetSurfaceRef()");
    REC(nullptr);
    const Vessel *s = vessel->SurfaceOwner();
    return s->ref ? Handle(s->ref) : nullptr;
}
double VESSEL::GetAltitude() const
{
    NOTE("GetAltitude()");
    REC(0);
    return vessel->SurfaceOwner()->Altitude();
}
DWORD VESSEL::GetFlightStatus() const
{
    NOTE("GetFlightStatus()");
    REC(0);
    // Bit 0 landed (bit 1, docked, never set: no docking here). An attached child takes its
    // parent's status (Vessel.cpp UpdatePassive copies fstatus).
    const Vessel *top = vessel;
    for (int depth = 0; top->parent && depth < 64; ++depth) top = top->parent;
    return top->landed ? 1u : 0u;
}
OBJHANDLE VESSEL::GetEquPos(double &lng, double &lat, double &rad) const
{
    NOTE("GetEquPos()");
    REC(nullptr);
    const Vessel *s = vessel->SurfaceOwner();
    s->EquPos(lng, lat, rad);
    return s->ref ? Handle(s->ref) : nullptr;
}
double VESSEL::GetAirspeed() const
{
    NOTE("GetAirspeed()");
    REC(0);
    return length(vessel->SurfaceOwner()->AirVelocityGlobal());
}
double VESSEL::GetGroundspeed() const
{
    NOTE("GetGroundspeed()");
    REC(0);
    return length(vessel->SurfaceOwner()->AirVelocityGlobal());
}
bool VESSEL::GetShipAirspeedVector(VECTOR3 &v) const
{
    NOTE("GetShipAirspeedVector()");
    REC(false);
    v = vessel->SurfaceOwner()->ShipAirspeed();
    return true;
}
bool VESSEL::GetHorizonAirspeedVector(VECTOR3 &v) const
{
    NOTE("GetHorizonAirspeedVector()");
    REC(false);
    v = vessel->SurfaceOwner()->HorizonAirspeed();
    return true;
}
double VESSEL::GetAtmDensity() const
{
    NOTE("GetAtmDensity()");
    REC(0);
    return vessel->Density();
}
double VESSEL::GetAtmPressure() const
{
    NOTE("GetAtmPressure()");
    REC(0);
    return vessel->Pressure();
}
double VESSEL::GetAtmTemperature() const
{
    NOTE("GetAtmTemperature()");
    REC(0);
    return vessel->Temperature();
}
double VESSEL::GetMachNumber() const
{
    NOTE("GetMachNumber()");
    REC(0);
    return length(vessel->AirVelocityGlobal()) / vessel->SpeedOfSound();
}
double VESSEL::GetDynPressure() const
{
    NOTE("GetDynPressure()");
    REC(0);
    const VECTOR3 v = vessel->AirVelocityGlobal();
    return 0.5 * vessel->Density() * dotp(v, v);
}
double VESSEL::GetAOA() const
{
    NOTE("GetAOA()");
    REC(0);
    const VECTOR3 v = vessel->SurfaceOwner()->ShipAirspeed();
    return std::atan2(-v.y, v.z);
}
double VESSEL::GetSlipAngle() const
{
    NOTE("GetSlipAngle()");
    REC(0);
    const VECTOR3 v = vessel->SurfaceOwner()->ShipAirspeed();
    return std::atan2(-v.x, v.z);
}
double VESSEL::GetBank() const
{
    NOTE("GetBank()");
    REC(0);
    return vessel->SurfaceOwner()->Bank();
}
double VESSEL::GetPitch() const
{
    NOTE("GetPitch()");
    REC(0);
    return vessel->SurfaceOwner()->Pitch();
}
double VESSEL::GetYaw() const
{
    NOTE("GetYaw()");
    REC(0);
    return vessel->SurfaceOwner()->Heading();
}
void VESSEL::GetAngularVel(VECTOR3 &avel) const
{
    NOTE("GetAngularVel()");
    REC();
    avel = vessel->omega;
}
void VESSEL::SetAngularVel(const VECTOR3 &avel) const
{
    NOTE("SetAngularVel" VF, VA(avel));
    REC();
    if (vessel->landed || vessel->parent) return;  // a landed or attached vessel does not turn by itself
    vessel->omega = avel;
}

// --- attachments ----------------------------------------------------------------------------
ATTACHMENTHANDLE VESSEL::CreateAttachment(bool toparent, const VECTOR3 &pos, const VECTOR3 &dir, const VECTOR3 &rot,
                                          const char *id, bool loose) const
{
    NOTE("CreateAttachment(%s, " VF ", " VF ", " VF ", \"%s\", %s)", toparent ? "true" : "false", VA(pos), VA(dir),
         VA(rot), id ? id : "", loose ? "true" : "false");
    REC(nullptr);
    auto *a = new Attachment;
    a->owner = vessel;
    a->toparent = toparent;
    a->pos = pos, a->dir = dir, a->rot = rot;
    a->id = id ? std::string(id).substr(0, 8) : "";
    a->loose = loose;
    vessel->world->Register(a);
    vessel->parts.push_back(a);
    vessel->attachments.push_back(a);
    return Handle(a);
}
bool VESSEL::DelAttachment(ATTACHMENTHANDLE h) const
{
    NOTE("DelAttachment(%s)", H(h));
    REC(false);
    Attachment *a = Own(vessel, vessel->attachments, h, Kind::Attachment);
    if (!a) return false;
    // Vessel.cpp, Vessel::DelAttachment: a point in use lets its vessel go first.
    if (a->mate) {
        if (a->toparent)
            vessel->world->DetachFromParent(vessel, 0.0);
        else if (a->mate->owner && a->mate->owner->parent == vessel)
            vessel->world->DetachFromParent(a->mate->owner, 0.0);
        if (a->mate) {
            if (a->mate->mate == a) a->mate->mate = nullptr;
            a->mate = nullptr;
        }
    }
    a->alive = false;
    auto &l = vessel->attachments;
    l.erase(std::remove(l.begin(), l.end(), a), l.end());
    return true;
}
void VESSEL::SetAttachmentParams(ATTACHMENTHANDLE h, const VECTOR3 &pos, const VECTOR3 &dir, const VECTOR3 &rot) const
{
    NOTE("SetAttachmentParams(%s, " VF ", " VF ", " VF ")", H(h), VA(pos), VA(dir), VA(rot));
    REC();
    Attachment *a = Own(vessel, vessel->attachments, h, Kind::Attachment);
    if (!a) {
        Bad(__func__, "not an attachment point of this vessel");
        return;
    }
    const VECTOR3 old_dir = a->dir, old_rot = a->rot;
    a->pos = pos, a->dir = dir, a->rot = rot;
    vessel->world->AttachmentParamsChanged(a, old_dir, old_rot);  // the child moves at once
}
void VESSEL::GetAttachmentParams(ATTACHMENTHANDLE h, VECTOR3 &pos, VECTOR3 &dir, VECTOR3 &rot) const
{
    NOTE("GetAttachmentParams(%s)", H(h));
    REC();
    Attachment *a = Own(vessel, vessel->attachments, h, Kind::Attachment);
    if (!a) return;
    pos = a->pos, dir = a->dir, rot = a->rot;
}
const char *VESSEL::GetAttachmentId(ATTACHMENTHANDLE h) const
{
    NOTE("GetAttachmentId(%s)", H(h));
    REC("");
    Attachment *a = Own(vessel, vessel->attachments, h, Kind::Attachment);
    return a ? a->id.c_str() : "";
}
OBJHANDLE VESSEL::GetAttachmentStatus(ATTACHMENTHANDLE h) const
{
    NOTE("GetAttachmentStatus(%s)", H(h));
    REC(nullptr);
    Attachment *a = Own(vessel, vessel->attachments, h, Kind::Attachment);
    if (!a) {
        Bad(__func__, "not an attachment point of this vessel");
        return nullptr;
    }
    return a->mate && a->mate->owner && a->mate->owner->alive ? Handle(a->mate->owner) : nullptr;
}
DWORD VESSEL::AttachmentCount(bool toparent) const
{
    NOTE("AttachmentCount(%s)", toparent ? "true" : "false");
    REC(0);
    DWORD n = 0;
    for (Attachment *a : vessel->attachments) n += a->toparent == toparent ? 1 : 0;
    return n;
}
ATTACHMENTHANDLE VESSEL::GetAttachmentHandle(bool toparent, DWORD i) const
{
    NOTE("GetAttachmentHandle(%s, %u)", toparent ? "true" : "false", i);
    REC(nullptr);
    Attachment *a = vessel->AttachmentByIndex(toparent, i);
    return a ? Handle(a) : nullptr;
}
// Vessel.cpp, Vessel::AttachChild and Vessel::AttachToParent: a child that hangs on another parent
// is released from it first; a null child point refuses; a parent point in use is taken over (the
// child it held stays fastened but is no longer carried). The child is moved at the next state
// update. The simulator would crash on a null parent point or loop forever on a vessel carried by
// itself; the stand-in refuses both.
bool VESSEL::AttachChild(OBJHANDLE child, ATTACHMENTHANDLE attachment, ATTACHMENTHANDLE child_attachment) const
{
    NOTE("AttachChild(%s, %s, %s)", H(child), H(attachment), H(child_attachment));
    REC(false);
    Vessel *c = As<Vessel>(child, Kind::Vessel);
    if (c && !child_attachment) return false;
    Attachment *pa = Own(vessel, vessel->attachments, attachment, Kind::Attachment);
    Attachment *ca = c ? Own(c, c->attachments, child_attachment, Kind::Attachment) : nullptr;
    if (!c || !c->alive || !pa || !ca || c == vessel) {
        Bad(__func__, "not a vessel and attachment points of the two vessels");
        return false;
    }
    if (pa->toparent || !ca->toparent) {
        Bad(__func__, "the parent's point must be made for a child, the child's for a parent");
        return false;
    }
    for (Vessel *p = vessel; p; p = p->parent)
        if (p == c) {
            Bad(__func__, "the vessel would carry itself");
            return false;
        }
    World *w = vessel->world;
    if (c->parent) w->DetachFromParent(c, 0.0);
    if (ca->mate) {  // left over from a point taken over: let go of it
        if (ca->mate->mate == ca) ca->mate->mate = nullptr;
        ca->mate = nullptr;
    }
    pa->mate = ca;
    ca->mate = pa;
    c->parent = vessel;
    c->landed = false;
    World::InitAttachment(c, true);
    w->Event("attached " + c->name + " to " + vessel->name);
    return true;
}
bool VESSEL::DetachChild(ATTACHMENTHANDLE attachment, double vel) const
{
    NOTE("DetachChild(%s, %.10g)", H(attachment), vel);
    REC(false);
    Attachment *pa = Own(vessel, vessel->attachments, attachment, Kind::Attachment);
    if (!pa || pa->toparent || !pa->mate) return false;  // nothing attached
    Vessel *c = pa->mate->owner;
    if (!c || c->parent != vessel) return false;
    return vessel->world->DetachFromParent(c, vel);
}

// --- aerodynamics ---------------------------------------------------------------------------
AIRFOILHANDLE VESSEL::CreateAirfoil3(AIRFOIL_ORIENTATION align, const VECTOR3 &ref, AirfoilCoeffFuncEx cf,
                                     void *context, double c, double S, double A) const
{
    NOTE("CreateAirfoil3(%d, " VF ", %s, %s, %.10g, %.10g, %.10g)", static_cast<int>(align), VA(ref),
         H(reinterpret_cast<const void *>(cf)), H(context), c, S, A);
    REC(nullptr);
    auto *a = new Airfoil;
    a->align = align;
    a->ref = ref;
    a->cf = cf;
    a->context = context;
    a->c = c, a->S = S, a->A = A;
    vessel->world->Register(a);
    vessel->parts.push_back(a);
    vessel->airfoils.push_back(a);
    return Handle(a);
}
bool VESSEL::DelAirfoil(AIRFOILHANDLE h) const
{
    NOTE("DelAirfoil(%s)", H(h));
    REC(false);
    Airfoil *a = Own(vessel, vessel->airfoils, h, Kind::Airfoil);
    if (!a) return false;
    a->alive = false;
    auto &l = vessel->airfoils;
    l.erase(std::remove(l.begin(), l.end(), a), l.end());
    return true;
}
void VESSEL::ClearAirfoilDefinitions() const
{
    NOTE("ClearAirfoilDefinitions()");
    REC();
    for (Airfoil *a : vessel->airfoils) a->alive = false;
    vessel->airfoils.clear();
}
namespace {
// Vessel.cpp CreateControlSurface: the automatic axis is chosen now (elevators and flaps +X,
// rudders +Y, an aileron +X right of the centre line and -X elsewhere); the surface's type takes
// the delay (1 s for the calls without one; 0 moves the deflection to its target at once).
void AddControlSurface(Vessel *vessel, AIRCTRL_TYPE type, double area, double dCl, const VECTOR3 &ref, int axis,
                       double delay, UINT anim)
{
    ControlSurface cs;
    cs.type = type;
    cs.area = area;
    cs.dCl = dCl;
    cs.ref = ref;
    if (axis == AIRCTRL_AXIS_AUTO) {
        switch (type) {
        case AIRCTRL_RUDDER:
        case AIRCTRL_RUDDERTRIM: axis = AIRCTRL_AXIS_YPOS; break;
        case AIRCTRL_AILERON: axis = ref.x > 0 ? AIRCTRL_AXIS_XPOS : AIRCTRL_AXIS_XNEG; break;
        default: axis = AIRCTRL_AXIS_XPOS; break;
        }
    }
    cs.axis = axis;
    cs.anim = anim;
    vessel->ctrl_surfaces.push_back(cs);
    if (type >= 0 && type < 6) vessel->ctrl_delay[type] = std::isfinite(delay) && delay > 0 ? delay : 0.0;
}
}  // namespace

void VESSEL::CreateControlSurface(AIRCTRL_TYPE type, double area, double dCl, const VECTOR3 &ref, int axis,
                                  UINT anim) const
{
    NOTE("CreateControlSurface(%d, %.10g, %.10g, " VF ", %d, %u)", static_cast<int>(type), area, dCl, VA(ref), axis,
         anim);
    REC();
    AddControlSurface(vessel, type, area, dCl, ref, axis, 1.0, anim);
}
CTRLSURFHANDLE VESSEL::CreateControlSurface3(AIRCTRL_TYPE type, double area, double dCl, const VECTOR3 &ref, int axis,
                                             double delay, UINT anim) const
{
    NOTE("CreateControlSurface3(%d, %.10g, %.10g, " VF ", %d, %.10g, %u)", static_cast<int>(type), area, dCl, VA(ref),
         axis, delay, anim);
    REC(nullptr);
    AddControlSurface(vessel, type, area, dCl, ref, axis, delay, anim);
    // An opaque token (the surfaces are kept by value; nothing here takes the handle back).
    return reinterpret_cast<CTRLSURFHANDLE>(static_cast<std::uintptr_t>(vessel->ctrl_surfaces.size()));
}
void VESSEL::ClearControlSurfaceDefinitions() const
{
    NOTE("ClearControlSurfaceDefinitions()");
    REC();
    vessel->ctrl_surfaces.clear();
}
void VESSEL::SetControlSurfaceLevel(AIRCTRL_TYPE type, double level) const
{
    NOTE("SetControlSurfaceLevel(%d, %.10g)", static_cast<int>(type), level);
    REC();
    if (type < 0 || type > 5) {
        Bad(__func__, "no such control surface type");
        return;
    }
    vessel->ctrl_level[type] = std::max(-1.0, std::min(1.0, level));
}
double VESSEL::GetControlSurfaceLevel(AIRCTRL_TYPE type) const
{
    NOTE("GetControlSurfaceLevel(%d)", static_cast<int>(type));
    REC(0);
    if (type < 0 || type > 5) return 0;
    return vessel->ctrl_curr[type];  // the current deflection, which follows the target over time
}

// =============================================================================================
// VESSEL2: the host's default callbacks
// =============================================================================================
VESSEL2::VESSEL2(OBJHANDLE hVessel, int fmodel) : VESSEL(hVessel, fmodel) { version = 1; }

void VESSEL2::clbkSetClassCaps(FILEHANDLE) {}
void VESSEL2::clbkSaveState(FILEHANDLE scn)
{
    NOTE("VESSEL2::clbkSaveState()");
    REC();
    WriteHostLines(vessel, scn);
}
void VESSEL2::clbkLoadStateEx(FILEHANDLE scn, void *status)
{
    NOTE("VESSEL2::clbkLoadStateEx()");
    char *line;
    while (oapiReadScenario_nextline(scn, line)) ParseScenarioLineEx(line, status);
}
void VESSEL2::clbkSetStateEx(const void *status) { DefSetStateEx(status); }
void VESSEL2::clbkPostCreation() {}
void VESSEL2::clbkFocusChanged(bool, OBJHANDLE, OBJHANDLE) {}
void VESSEL2::clbkPreStep(double, double, double) {}
void VESSEL2::clbkPostStep(double, double, double) {}
bool VESSEL2::clbkPlaybackEvent(double, double, const char *, const char *) { return false; }
void VESSEL2::clbkVisualCreated(VISHANDLE, int) {}
void VESSEL2::clbkVisualDestroyed(VISHANDLE, int) {}
void VESSEL2::clbkDrawHUD(int mode, const HUDPAINTSPEC *, HDC)
{
    // The host's own display is not drawn by the stand-in: every operation in the context is the
    // module's own.
    NOTE("VESSEL2::clbkDrawHUD(%d)", mode);
}
void VESSEL2::clbkRCSMode(int) {}
void VESSEL2::clbkADCtrlMode(DWORD) {}
void VESSEL2::clbkHUDMode(int) {}
void VESSEL2::clbkMFDMode(int, int) {}
void VESSEL2::clbkNavMode(int, bool) {}
void VESSEL2::clbkDockEvent(int, OBJHANDLE) {}
void VESSEL2::clbkAnimate(double) {}
int VESSEL2::clbkConsumeDirectKey(char *) { return 0; }
int VESSEL2::clbkConsumeBufferedKey(DWORD, bool, char *) { return 0; }
bool VESSEL2::clbkLoadGenericCockpit() { return true; }
bool VESSEL2::clbkLoadPanel(int) { return false; }
bool VESSEL2::clbkPanelMouseEvent(int, int, int, int) { return false; }
bool VESSEL2::clbkPanelRedrawEvent(int, int, SURFHANDLE) { return false; }
bool VESSEL2::clbkLoadVC(int) { return false; }
bool VESSEL2::clbkVCMouseEvent(int, int, VECTOR3 &) { return false; }
bool VESSEL2::clbkVCRedrawEvent(int, int, SURFHANDLE) { return false; }

// =============================================================================================
// VESSEL3 (Vessel.cpp, class VESSEL3): version 2 tells the host that the sketchpad callbacks exist.
// =============================================================================================
VESSEL3::VESSEL3(OBJHANDLE hVessel, int fmodel) : VESSEL2(hVessel, fmodel) { version = 2; }

bool VESSEL3::clbkPanelMouseEvent(int, int, int, int, void *) { return false; }
bool VESSEL3::clbkPanelRedrawEvent(int, int, SURFHANDLE, void *) { return false; }
int VESSEL3::clbkGeneric(int, int, void *) { return 0; }
bool VESSEL3::clbkLoadPanel2D(int, PANELHANDLE, DWORD, DWORD) { return false; }
bool VESSEL3::clbkDrawHUD(int mode, const HUDPAINTSPEC *, oapi::Sketchpad *)
{
    // The real default draws the host's standard display and reports it drawn; the stand-in's
    // standard display is empty, as in VESSEL2::clbkDrawHUD.
    NOTE("VESSEL3::clbkDrawHUD(%d)", mode);
    return true;
}
void VESSEL3::clbkRenderHUD(int, const HUDPAINTSPEC *, SURFHANDLE) {}
void VESSEL3::clbkGetRadiationForce(const VECTOR3 &mflux, VECTOR3 &F, VECTOR3 &pos)
{
    // The host's simple model: the square of the vessel's size as cross-section, albedo 1.5,
    // acting at the centre of mass (the stand-in applies no radiation pressure).
    const double size = vessel && vessel->alive ? vessel->size : 0.0;
    F = mflux * (size * size * 1.5);
    pos = _V(0, 0, 0);
}
