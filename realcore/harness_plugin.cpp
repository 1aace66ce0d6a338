// harness_plugin.cpp -- the mission harness inside the simulator's own core: a plugin that plays a
// timed inputs file (keys to a vessel, stick and throttle, focus, MFD displays, time acceleration,
// saves, forced random draws), lets the virtual pilots fly, and writes what happens as the stand-in's
// corvane-sim writes it: the timeline (created, deleted, attached, detached, landed with the
// touchdown speed, focus, saved, the pilots' lines), a trajectory sampled every simulated second,
// the frames around each attachment and release (separations.csv) and the pilots' summary.
//
// It reaches the world through the host's public API only. Where it runs and what it plays is given
// by the environment, as the run script sets it:
//   CORVANE_INPUTS   the inputs file (none: the plugin only writes the timeline)
//   CORVANE_OUT      the folder for timeline.txt, trajectory.csv, summary.txt (default: the working folder)
// A save input writes Scenarios/<name>.scn through the host (the run script collects it).
#define ORBITER_MODULE
#include "Orbitersdk.h"

#include "cockpit.h"
#include "inputs.h"
#include "pilot.h"
#include "separation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kDeg = 180.0 / 3.14159265358979323846;
constexpr double kSampleEvery = 1.0;   // trajectory rows [s of simulated time]
constexpr double kSinkReported = 0.05; // a touchdown slower than this is a set-down at rest [m/s]
constexpr int kHudW = 1024, kHudH = 768;  // the head-up display the pilot reads [pixels]
constexpr std::size_t kNameLen = 64;

std::string Stamp(double t)
{
    char b[32];
    std::snprintf(b, sizeof b, "%9.2f", t);
    return b;
}

std::string Fixed(double v, int digits)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", digits, v);
    return b;
}

std::string Lower(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ReadFile(const std::string &path, std::string *text)
{
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    std::size_t n;
    text->clear();
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// An output file written line by line; a failed write is remembered and reported in the log.
class Output {
public:
    bool Open(const std::string &path)
    {
        path_ = path;
        f_ = std::fopen(path.c_str(), "w");
        return f_ != nullptr;
    }
    void Write(const std::string &s)
    {
        if (f_ && std::fputs(s.c_str(), f_) < 0) failed_ = true;
    }
    void Flush()
    {
        if (f_ && std::fflush(f_) != 0) failed_ = true;
    }
    bool Close()
    {
        if (!f_) return !failed_;
        const bool ok = std::fclose(f_) == 0 && !failed_;
        f_ = nullptr;
        return ok;
    }
    bool IsOpen() const { return f_ != nullptr; }
    const std::string &Path() const { return path_; }

private:
    std::FILE *f_ = nullptr;
    std::string path_;
    bool failed_ = false;
};

// A sketchpad that only keeps the texts drawn on it: how the pilot reads the head-up display.
class TextRecorder final : public oapi::Sketchpad {
public:
    TextRecorder() : oapi::Sketchpad(nullptr) {}
    bool Text(int, int, const char *str, int len) override
    {
        if (str && len > 0) texts.emplace_back(str, static_cast<std::size_t>(len));
        return true;
    }
    std::vector<std::string> texts;
};

// What the watcher remembers of a vessel between frames.
struct Watched {
    OBJHANDLE h = nullptr;
    char name[kNameLen] = "";
    char parent[kNameLen] = "";
    bool landed = false, contact = false;
    double sink = 0;      // the descent speed at the first touch of this contact [m/s]
    double last_vy = 0;   // the last vertical speed seen in flight [m/s]
    bool alive = true;
};

VESSEL *Find(const char *name)
{
    OBJHANDLE h = oapiGetVesselByName(name);
    return h ? oapiGetVesselInterface(h) : nullptr;
}

void ParentName(VESSEL *v, char *out, std::size_t n)
{
    out[0] = '\0';
    const int count = static_cast<int>(v->AttachmentCount(true));
    for (int i = 0; i < count; ++i) {
        ATTACHMENTHANDLE ah = v->GetAttachmentHandle(true, i);
        OBJHANDLE p = ah ? v->GetAttachmentStatus(ah) : nullptr;
        if (p) {
            oapiGetObjectName(p, out, static_cast<int>(n));
            return;
        }
    }
}

// The height of a vessel's origin above the ground when it rests on its touchdown points.
double RestHeight(VESSEL *v)
{
    const int n = static_cast<int>(v->GetTouchdownPointCount());
    double lowest = 0;
    for (int i = 0; i < n; ++i) {
        TOUCHDOWNVTX p;
        if (v->GetTouchdownPoint(p, i)) lowest = std::min(lowest, p.pos.y);
    }
    return -lowest;
}

class CoreHarness;

// The pilot's cockpit in the real core: what it sees and does, through the public API.
class CoreCockpit final : public harness::Cockpit {
public:
    explicit CoreCockpit(CoreHarness &h) : harness_(h) {}
    double SimTime() const override { return simt_; }
    double StepLength() const override { return simdt_; }
    bool Look(const char *vessel, harness::Sight *out) const override;
    bool PressKey(const char *vessel, int key, bool shift) override;
    void SetStick(const char *vessel, AIRCTRL_TYPE surface, double level) override;
    void SetThrottle(const char *vessel, double level) override;
    bool HudTexts(const char *vessel, std::vector<std::string> *texts) override;
    void Event(const std::string &line) override;
    void Snapshot(const std::string &display, const std::string &file) override;

    void SetTime(double simt, double simdt) { simt_ = simt, simdt_ = simdt; }

private:
    CoreHarness &harness_;
    double simt_ = 0, simdt_ = 0;
};

class CoreHarness final : public oapi::Module {
public:
    explicit CoreHarness(MODULEHANDLE h);
    ~CoreHarness() override;

    void clbkSimulationStart(RenderMode mode) override;
    void clbkSimulationEnd() override;
    void clbkPreStep(double simt, double simdt, double mjd) override;
    void clbkPostStep(double simt, double simdt, double mjd) override;
    void clbkFocusChanged(OBJHANDLE new_focus, OBJHANDLE old_focus) override;
    void clbkNewVessel(OBJHANDLE hVessel) override;
    void clbkDeleteVessel(OBJHANDLE hVessel) override;

    void Timeline(double t, const std::string &line);
    void Timeline(const std::string &line) { Timeline(oapiGetSimTime(), line); }

private:
    void LoadInputs();
    void Apply(const harness::Input &ip);
    void ForceRand(double value);
    void Watch(double simt);
    void Sample(double simt);
    void Finish();
    Watched *Record(OBJHANDLE h);

    std::string out_dir_ = ".";
    std::vector<harness::Input> inputs_;
    std::size_t next_ = 0;
    std::vector<std::unique_ptr<harness::Pilot>> pilots_;
    CoreCockpit cockpit_;
    Output timeline_, csv_;
    harness::SeparationLog separations_;
    std::vector<Watched> watched_;
    double next_sample_ = 0;
    bool started_ = false, finished_ = false, ended_ = false;
};

// --- the cockpit ------------------------------------------------------------------------------

bool CoreCockpit::Look(const char *vessel, harness::Sight *out) const
{
    VESSEL *v = Find(vessel);
    if (!v) return false;
    std::snprintf(out->name, sizeof out->name, "%s", v->GetName());
    v->GetEquPos(out->lng, out->lat, out->rad);
    out->altitude = v->GetAltitude();
    OBJHANDLE ref = v->GetSurfaceRef();
    out->ref_radius = ref ? oapiGetSize(ref) : out->rad;
    out->rest_height = RestHeight(v);
    v->GetHorizonAirspeedVector(out->horizon_airspeed);
    OBJHANDLE h = v->GetHandle();
    double a = 0;
    out->heading = oapiGetHeading(h, &a) ? a : 0;
    out->pitch = oapiGetPitch(h, &a) ? a : 0;
    out->bank = oapiGetBank(h, &a) ? a : 0;
    out->landed = (v->GetFlightStatus() & 1) != 0;
    out->ground_contact = v->GroundContact();
    ParentName(v, out->parent, sizeof out->parent);
    out->main_thrust = v->GetGroupThrusterCount(THGROUP_MAIN) > 0;
    ATTACHMENTHANDLE point = v->AttachmentCount(false) > 0 ? v->GetAttachmentHandle(false, 0) : nullptr;
    out->has_child_point = point != nullptr;
    if (point) {
        VECTOR3 dir, rot;
        v->GetAttachmentParams(point, out->child_point, dir, rot);
    }
    return true;
}

bool CoreCockpit::PressKey(const char *vessel, int key, bool shift)
{
    VESSEL *v = Find(vessel);
    if (!v) return false;
    char kstate[256] = {};
    if (shift) kstate[OAPI_KEY_LSHIFT] = static_cast<char>(0x80);
    if (key >= 0 && key < 256) kstate[key] = static_cast<char>(0x80);
    const int taken = v->SendBufferedKey(key, true, kstate);
    if (key >= 0 && key < 256) kstate[key] = 0;
    if (Find(vessel)) v->SendBufferedKey(key, false, kstate);
    return taken != 0;
}

void CoreCockpit::SetStick(const char *vessel, AIRCTRL_TYPE surface, double level)
{
    VESSEL *v = Find(vessel);
    if (!v) return;
    // The pilot's stick and pedals reach only the surfaces the vessel's control mode lets through.
    int bit = 0;
    if (surface == AIRCTRL_ELEVATOR) bit = 1;
    if (surface == AIRCTRL_RUDDER) bit = 2;
    if (surface == AIRCTRL_AILERON) bit = 4;
    if (bit && !(v->GetADCtrlMode() & bit)) return;
    v->SetControlSurfaceLevel(surface, std::max(-1.0, std::min(1.0, level)));
}

void CoreCockpit::SetThrottle(const char *vessel, double level)
{
    if (VESSEL *v = Find(vessel)) v->SetThrusterGroupLevel(THGROUP_MAIN, std::max(0.0, std::min(1.0, level)));
}

bool CoreCockpit::HudTexts(const char *vessel, std::vector<std::string> *texts)
{
    VESSEL *v = Find(vessel);
    if (!v || v->Version() < 2) return false;
    HUDPAINTSPEC hps;
    hps.W = kHudW;
    hps.H = kHudH;
    hps.CX = kHudW / 2;
    hps.CY = kHudH / 2;
    hps.Scale = kHudH / 60.0;
    hps.Markersize = kHudH / 32;
    TextRecorder skp;
    static_cast<VESSEL3 *>(v)->clbkDrawHUD(HUD_SURFACE, &hps, &skp);
    *texts = std::move(skp.texts);
    return !texts->empty();
}

void CoreCockpit::Event(const std::string &line) { harness_.Timeline(line); }

void CoreCockpit::Snapshot(const std::string &display, const std::string &file)
{
    (void)display;
    (void)file;  // no pictures are made in this host
}

// --- the harness ------------------------------------------------------------------------------

CoreHarness::CoreHarness(MODULEHANDLE h) : oapi::Module(h), cockpit_(*this)
{
    if (const char *d = std::getenv("CORVANE_OUT")) out_dir_ = d;
    if (!timeline_.Open(out_dir_ + "/timeline.txt"))
        oapiWriteLogV("CorvaneHarness: cannot write %s/timeline.txt", out_dir_.c_str());
    if (csv_.Open(out_dir_ + "/trajectory.csv"))
        csv_.Write("time,vessel,altitude,latitude,longitude,ground_speed,vertical_speed,airspeed,pitch,bank,heading,body\n");
    LoadInputs();
}

CoreHarness::~CoreHarness() { Finish(); }

void CoreHarness::LoadInputs()
{
    const char *path = std::getenv("CORVANE_INPUTS");
    if (!path || !*path) return;
    std::string text, error;
    if (!ReadFile(path, &text)) {
        Timeline(0, std::string("harness error: cannot read the inputs ") + path);
        return;
    }
    if (!harness::ParseInputs(text, path, &inputs_, &error)) {
        Timeline(0, "harness error: " + error);
        inputs_.clear();
        return;
    }
    std::stable_sort(inputs_.begin(), inputs_.end(),
                     [](const harness::Input &a, const harness::Input &b) { return a.t < b.t; });
}

void CoreHarness::Timeline(double t, const std::string &line)
{
    timeline_.Write(Stamp(t) + "  " + line + "\n");
    timeline_.Flush();
}

Watched *CoreHarness::Record(OBJHANDLE h)
{
    for (Watched &w : watched_)
        if (w.alive && w.h == h) return &w;
    return nullptr;
}

// The session begins (the first focus, before the scenario's vessels run their post-creation):
// random draws forced at time 0 are set here for the vessels' own draws at their post-creation.
void CoreHarness::clbkFocusChanged(OBJHANDLE new_focus, OBJHANDLE old_focus)
{
    if (!old_focus && !started_) {
        while (next_ < inputs_.size() && inputs_[next_].t <= 0 && inputs_[next_].verb == "rand") {
            ForceRand(std::strtod(inputs_[next_].args[0].c_str(), nullptr));
            ++next_;
        }
        return;
    }
    if (!new_focus) return;
    char name[kNameLen];
    oapiGetObjectName(new_focus, name, sizeof name);
    Timeline(std::string("focus ") + name);
}

void CoreHarness::clbkSimulationStart(RenderMode)
{
    started_ = true;
    watched_.clear();
    const int n = static_cast<int>(oapiGetVesselCount());
    for (int i = 0; i < n; ++i) {
        OBJHANDLE h = oapiGetVesselByIndex(i);
        VESSEL *v = h ? oapiGetVesselInterface(h) : nullptr;
        if (!v) continue;
        Watched w;
        w.h = h;
        std::snprintf(w.name, sizeof w.name, "%s", v->GetName());
        ParentName(v, w.parent, sizeof w.parent);
        w.landed = (v->GetFlightStatus() & 1) != 0;
        w.contact = v->GroundContact();
        watched_.push_back(w);
        Timeline(0, std::string("created ") + w.name + " (" + v->GetClassName() + ")");
    }
    if (OBJHANDLE f = oapiGetFocusObject()) {
        char name[kNameLen];
        oapiGetObjectName(f, name, sizeof name);
        Timeline(0, std::string("focus ") + name);
    }
}

void CoreHarness::clbkNewVessel(OBJHANDLE h)
{
    VESSEL *v = oapiGetVesselInterface(h);
    if (!v) return;
    Watched w;
    w.h = h;
    std::snprintf(w.name, sizeof w.name, "%s", v->GetName());
    w.landed = (v->GetFlightStatus() & 1) != 0;  // made on the ground: not a landing
    w.contact = w.landed;
    watched_.push_back(w);
    Timeline(std::string("created ") + w.name + " (" + v->GetClassName() + ")");
}

void CoreHarness::clbkDeleteVessel(OBJHANDLE h)
{
    if (Watched *w = Record(h)) {
        w->alive = false;
        Timeline(std::string("deleted ") + w->name);
    }
}

// A random draw forced: the host's draws come from the C library's generator, so it is seeded
// such that its next number is the wanted value or the nearest above it.
void CoreHarness::ForceRand(double value)
{
    unsigned best = 1;
    double best_v = 2;
    for (unsigned seed = 1; seed < 200000; ++seed) {
        std::srand(seed);
        const double r = static_cast<double>(std::rand()) / RAND_MAX;
        if (r >= value && r < best_v) best_v = r, best = seed;
        if (best_v - value < 1e-4) break;
    }
    std::srand(best);
    Timeline("harness: next random draw " + Fixed(best_v, 6));
}

void CoreHarness::Apply(const harness::Input &ip)
{
    const auto &a = ip.args;
    auto vessel = [&](const std::string &name) -> VESSEL * {
        VESSEL *v = Find(name.c_str());
        if (!v) Timeline("input line " + std::to_string(ip.line) + ": no vessel \"" + name + "\"");
        return v;
    };
    if (ip.verb == "key") {
        VESSEL *v = vessel(a[0]);
        if (!v) return;
        std::string k = a[1];
        const bool shift = Lower(k).rfind("shift+", 0) == 0;
        if (shift) k = k.substr(6);
        const std::string what = "key " + std::string(shift ? "shift+" : "") + k + " on " + v->GetName();
        Timeline(what);
        if (!cockpit_.PressKey(a[0].c_str(), harness::KeyCode(k), shift)) Timeline(what + " not taken");
    } else if (ip.verb == "control") {
        if (!vessel(a[0])) return;
        const std::string s = Lower(a[1]);
        const double lvl = std::strtod(a[2].c_str(), nullptr);
        if (s == "throttle")
            cockpit_.SetThrottle(a[0].c_str(), lvl);
        else
            cockpit_.SetStick(a[0].c_str(),
                              s == "elevator" ? AIRCTRL_ELEVATOR : s == "aileron" ? AIRCTRL_AILERON : AIRCTRL_RUDDER, lvl);
    } else if (ip.verb == "focus") {
        if (VESSEL *v = vessel(a[0])) oapiSetFocusObject(v->GetHandle());
    } else if (ip.verb == "mfd") {
        const int which = Lower(a[0]) == "left" ? MFD_LEFT : MFD_RIGHT;
        const std::string what = Lower(a[1]);
        if (what == "open") {
            std::vector<char> mode(a[2].begin(), a[2].end());
            mode.push_back('\0');
            const int id = oapiGetMFDModeSpecEx(mode.data());
            if (id == MFD_NONE || id < 0) {
                Timeline("input line " + std::to_string(ip.line) + ": no MFD mode \"" + a[2] + "\"");
                return;
            }
            oapiOpenMFD(id, which);
        } else if (what == "key") {
            oapiSendMFDKey(which, harness::KeyCode(a[2]));
        } else {
            const int bt = std::atoi(a[2].c_str());
            oapiProcessMFDButton(which, bt, PANEL_MOUSE_LBDOWN);
            oapiProcessMFDButton(which, bt, PANEL_MOUSE_LBUP);
        }
    } else if (ip.verb == "snapshot") {
        Timeline("snapshot " + a.back() + ": no pictures in this host");
    } else if (ip.verb == "save") {
        std::string name = a[0];
        if (name.size() > 4 && Lower(name.substr(name.size() - 4)) == ".scn") name.resize(name.size() - 4);
        if (oapiSaveScenario(name.c_str(), "Saved by the mission harness"))
            Timeline("saved " + name);
        else
            Timeline("save: the host could not save " + name);
    } else if (ip.verb == "place") {
        // Campaigns fly in the stand-in; here the vessel stays where it was made, and the timeline says so.
        Timeline("input line " + std::to_string(ip.line) + ": place " + a[0] + ": not in this host");
    } else if (ip.verb == "end") {
        ended_ = true;
        Finish();
    } else if (ip.verb == "rand") {
        ForceRand(std::strtod(a[0].c_str(), nullptr));
    } else if (ip.verb == "dt") {
        // The step is fixed for the session (the run script gives a time-0 step to the host).
        if (ip.t > 0) Timeline("input line " + std::to_string(ip.line) + ": step length " + a[0] + " s: fixed in this host");
    } else if (ip.verb == "warp") {
        oapiSetTimeAcceleration(std::strtod(a[0].c_str(), nullptr));
        Timeline("time acceleration " + a[0]);
    } else if (ip.verb == "pilot") {
        std::string e;
        std::unique_ptr<harness::Pilot> p = harness::MakePilot(a, &e);
        if (!p) {
            Timeline("input line " + std::to_string(ip.line) + ": " + e);
            return;
        }
        pilots_.push_back(std::move(p));
    }
}

void CoreHarness::clbkPreStep(double simt, double simdt, double)
{
    if (ended_) return;
    cockpit_.SetTime(simt, simdt);
    separations_.PreStep();  // the frame's start, before the inputs act
    while (next_ < inputs_.size() && inputs_[next_].t <= simt + 1e-9 && !ended_) Apply(inputs_[next_++]);
    if (ended_) return;
    for (auto &p : pilots_) p->Frame(cockpit_);
    Sample(simt);
}

void CoreHarness::clbkPostStep(double simt, double, double)
{
    Watch(simt);
    if (!ended_) separations_.PostStep(simt);
}

// Attachments, releases and landings, as the host reports them after the frame.
void CoreHarness::Watch(double simt)
{
    for (Watched &w : watched_) {
        if (!w.alive) continue;
        VESSEL *v = oapiGetVesselInterface(w.h);
        if (!v) continue;
        char parent[kNameLen];
        ParentName(v, parent, sizeof parent);
        if (std::strcmp(parent, w.parent) != 0) {
            if (w.parent[0]) Timeline(simt, std::string("detached ") + w.name + " from " + w.parent);
            if (parent[0]) Timeline(simt, std::string("attached ") + w.name + " to " + parent);
            std::snprintf(w.parent, sizeof w.parent, "%s", parent);
        }
        VECTOR3 hv;
        v->GetHorizonAirspeedVector(hv);
        const bool contact = v->GroundContact();
        if (contact && !w.contact) w.sink = std::max(0.0, -w.last_vy);
        if (!contact) w.last_vy = hv.y;
        w.contact = contact;
        const bool landed = (v->GetFlightStatus() & 1) != 0;
        if (landed && !w.landed) {
            double lng, lat, rad;
            v->GetEquPos(lng, lat, rad);
            char buf[128];
            if (w.sink > kSinkReported)
                std::snprintf(buf, sizeof buf, " at %.5f %.5f (touchdown %.1f m/s)", lng * kDeg, lat * kDeg, w.sink);
            else
                std::snprintf(buf, sizeof buf, " at %.5f %.5f", lng * kDeg, lat * kDeg);
            Timeline(simt, std::string("landed ") + w.name + buf);
            w.sink = 0;  // a landing again without a new touch is a set-down at rest
        }
        if (!landed && w.landed) Timeline(simt, std::string("liftoff ") + w.name);
        w.landed = landed;
    }
}

void CoreHarness::Sample(double simt)
{
    if (!csv_.IsOpen() || simt + 1e-9 < next_sample_) return;
    next_sample_ = simt + kSampleEvery;
    for (const Watched &w : watched_) {
        if (!w.alive) continue;
        VESSEL *v = oapiGetVesselInterface(w.h);
        if (!v) continue;
        double lng, lat, rad;
        v->GetEquPos(lng, lat, rad);
        VECTOR3 h, g;
        v->GetHorizonAirspeedVector(h);
        v->GetGroundspeedVector(FRAME_HORIZON, g);
        char body[64] = "";
        if (OBJHANDLE ref = v->GetSurfaceRef()) oapiGetObjectName(ref, body, sizeof body);
        csv_.Write(Fixed(simt, 2) + "," + w.name + "," + Fixed(v->GetAltitude(), 2) + "," + Fixed(lat * kDeg, 7) + "," +
                   Fixed(lng * kDeg, 7) + "," + Fixed(std::sqrt(g.x * g.x + g.z * g.z), 3) + "," + Fixed(h.y, 3) +
                   "," + Fixed(length(h), 3) + "," + Fixed(v->GetPitch() * kDeg, 3) + "," + Fixed(v->GetBank() * kDeg, 3) +
                   "," + Fixed(v->GetYaw() * kDeg, 3) + "," + body + "\n");
    }
}

void CoreHarness::clbkSimulationEnd() { Finish(); }

// The end of the run: the pilots' summaries, and every output closed and checked.
void CoreHarness::Finish()
{
    if (finished_) return;
    finished_ = true;
    Timeline("end of run");
    Output summary;
    if (summary.Open(out_dir_ + "/summary.txt")) {
        summary.Write("simulated " + Fixed(oapiGetSimTime(), 2) + " s in the real core\n");
        for (const auto &p : pilots_) summary.Write("\n" + p->Summary());
        if (!summary.Close()) oapiWriteLogV("CorvaneHarness: could not write %s", summary.Path().c_str());
    }
    Output sep;
    if (!sep.Open(out_dir_ + "/separations.csv")) {
        oapiWriteLogV("CorvaneHarness: could not write %s", sep.Path().c_str());
    } else {
        sep.Write(separations_.Text());
        if (!sep.Close()) oapiWriteLogV("CorvaneHarness: could not write %s", sep.Path().c_str());
    }
    for (Output *o : {&timeline_, &csv_})
        if (o->IsOpen() && !o->Close()) oapiWriteLogV("CorvaneHarness: could not write %s", o->Path().c_str());
}

}  // namespace

DLLCLBK void InitModule(MODULEHANDLE hModule) { oapiRegisterModule(new CoreHarness(hModule)); }

DLLCLBK void ExitModule(MODULEHANDLE) {}
