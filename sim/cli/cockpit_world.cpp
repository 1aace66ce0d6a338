// cockpit_world.cpp -- the harness's cockpit over the stand-in's world.
#include "cockpit_world.h"

#include "world.h"

#include <cstring>

namespace sim {

namespace {

// The head-up display as the pilot's screen shows it (the size the run's HUD pictures have).
constexpr int kHudW = 1024, kHudH = 768;

// A name into a sight's fixed field, cut to fit.
void CopyName(char (&to)[64], const std::string &from)
{
    const std::size_t n = from.copy(to, sizeof to - 1);
    to[n] = '\0';
}

}  // namespace

double WorldCockpit::SimTime() const { return w_.SimTime(); }

double WorldCockpit::StepLength() const { return w_.StepLength(); }

bool WorldCockpit::Look(const char *vessel, harness::Sight *out) const
{
    const Vessel *v = w_.FindVessel(vessel);
    if (!v) return false;
    CopyName(out->name, v->name);
    const Vessel::HorizonReading h = v->ReadHorizon();
    out->lng = h.lng, out->lat = h.lat, out->rad = h.rad;
    out->altitude = v->Altitude();
    out->ref_radius = v->ref ? v->ref->radius : 0;
    out->rest_height = v->landed_elev;
    out->horizon_airspeed = h.airspeed;
    out->heading = h.heading;
    out->pitch = h.pitch;
    out->bank = h.bank;
    out->landed = v->landed;
    out->ground_contact = v->surface_contact;
    if (v->parent)
        CopyName(out->parent, v->parent->name);
    else
        out->parent[0] = '\0';
    // The rotor lifts once the main (collective) group has a live thruster.
    out->main_thrust = false;
    for (const ThrusterGroup *g : v->groups)
        if (g->alive && g->type == THGROUP_MAIN)
            for (const Thruster *t : g->thrusters)
                if (t->alive) out->main_thrust = true;
    out->has_child_point = false;
    for (const Attachment *a : v->attachments)
        if (a->alive && !a->toparent) {
            out->has_child_point = true;
            out->child_point = a->pos;
            break;
        }
    return true;
}

bool WorldCockpit::PressKey(const char *vessel, int key, bool shift)
{
    Vessel *v = w_.FindVessel(vessel);
    return v && w_.PressKey(static_cast<DWORD>(key), shift, v) != 0;
}

void WorldCockpit::SetStick(const char *vessel, AIRCTRL_TYPE surface, double level)
{
    if (Vessel *v = w_.FindVessel(vessel)) w_.SetPilotControl(v, surface, level);
}

void WorldCockpit::SetThrottle(const char *vessel, double level)
{
    if (Vessel *v = w_.FindVessel(vessel)) w_.SetThrottle(v, level);
}

bool WorldCockpit::HudTexts(const char *vessel, std::vector<std::string> *texts)
{
    Vessel *v = w_.FindVessel(vessel);
    DrawRecorder *hud = v ? w_.DrawHud(kHudW, kHudH, v) : nullptr;
    if (!hud) return false;
    // Into the strings already there, so that a display read every frame reuses their room.
    std::size_t n = 0;
    for (const DrawRecorder::Op &op : hud->ops) {
        if (op.type != DrawRecorder::Op::TEXT) continue;
        if (n < texts->size())
            (*texts)[n] = op.text;
        else
            texts->push_back(op.text);
        ++n;
    }
    texts->resize(n);
    return true;
}

void WorldCockpit::Event(const std::string &line) { w_.Event(line); }

void WorldCockpit::Snapshot(const std::string &display, const std::string &file)
{
    if (snapshot_) snapshot_(display, file);
}

}  // namespace sim
