// cli.cpp -- corvane-sim run SCENARIO [options]: loads a scenario into the stand-in host, flies it
// with physics, applies timed inputs at the first frame at or after their time, and prints a
// timeline (vessels created, focus, attach and detach, notes shown and removed, landings).
#include "cli.h"

#include "campaign.h"

#include "atmosphere.h"
#include "cockpit_world.h"
#include "inputs.h"
#include "pilot.h"
#include "separation.h"
#include "png.h"
#include "textio.h"
#include "view.h"
#include "world.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <utility>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace sim {

// The inputs are the harness's, as the simulator's own core plays them.
using harness::Input;
using harness::KeyCode;
using harness::ParseInputs;

namespace {

const char *kUsage =
    "usage: corvane-sim run SCENARIO [options]\n"
    "       corvane-sim campaign [CAMPAIGN] --runs N [--seed S] [--jobs J] [--out DIR]\n"
    "                                   (many dispersed missions: corvane-sim campaign --help)\n"
    "       corvane-sim --help\n"
    "\n"
    "Runs a scenario in the stand-in host and prints its timeline.\n"
    "SCENARIO is a .scn file, or a name under <root>/Scenarios (\"Corvane/Mission\").\n"
    "\n"
    "options:\n"
    "  --root DIR     add-on root (Config/, Meshes/, Modules/, Scenarios/); default: the\n"
    "                 installed tree beside the program, else $CORVANE_ADDON_ROOT, else .\n"
    "  --dt S         a fixed step of S seconds of frame time; default: none, each frame lasts\n"
    "                 1/60 s (the first three 0.01 s), as a pilot's session at 60 frames per\n"
    "                 second gives it\n"
    "  --warp F       time acceleration (0.1 to 100000, default 1): every step is the frame's\n"
    "                 time times F, so frames stay frames and seconds go F times faster\n"
    "                 A step (frame time or fixed step, times the warp) must be from 0.0001 to\n"
    "                 10 s; up to 3600 s (vacuum only) while no flying vessel is in the\n"
    "                 atmosphere or can reach it within one step: a longer step is refused\n"
    "                 there, or cut to 10 s when a vessel comes near it\n"
    "  --until T      stop at simulation time T (default: an 'end' input, else 60 s)\n"
    "  --inputs FILE  timed inputs (default: the scenario's name with .inputs, if present)\n"
    "  --save FILE    write the final scenario to FILE\n"
    "  --seed N       seed of the host's random generator (default 1)\n"
    "  --out DIR      write timeline.txt, final.scn, trajectory.csv, summary.txt and the\n"
    "                 snapshots into DIR\n"
    "  --no-physics   nothing moves unless placed\n"
    "  --host G       simulator generation to behave as: 2016 (built-in graphics client),\n"
    "                 2024-inline, 2024 (external graphics client) or latest (default)\n"
    "  --exact-saves  saves write positions, velocities, attitudes and turn rates of vessels in\n"
    "                 flight with every digit (not the host's format): for checks of what a save keeps\n"
    "  --no-graphics  no graphics client, as the server build: no vessel gets a visual (the\n"
    "                 helicopter flies all the same; its rotor's look waits for a visual)\n"
    "  --progress     progress line on standard error even when it is not a terminal\n"
    "  --summary-only with --out, write summary.txt alone: no timeline, trajectory, final\n"
    "                 scenario, separations or pictures (snapshots are left out)\n"
    "\n"
    "inputs, one per line ('#' comments), acting at the first frame at or after <t>:\n"
    "  <t> key <vessel> [shift+]<KEY>        KEY: a letter, or UP DOWN LEFT RIGHT PRIOR NEXT END DELETE\n"
    "  <t> control <vessel> elevator|aileron|rudder|throttle <level>\n"
    "  <t> focus <vessel>\n"
    "  <t> mfd left|right open <mode name>\n"
    "  <t> mfd left|right key <KEY>\n"
    "  <t> mfd left|right button <n>\n"
    "  <t> snapshot hud|mfd-left|mfd-right <file.png>\n"
    "  <t> snapshot view <vessel> [azimuth elevation distance] <file.png>\n"
    "  <t> pilot recovery [<helicopter>]      a virtual pilot flies the helicopter (default HX220)\n"
    "                                         from the moment it exists: engine start, liftoff, flight\n"
    "                                         to the parafoil capsule, pole out (Shift+P), altitude\n"
    "                                         hold (Shift+X), the catch, then Shift+G home; pictures\n"
    "                                         of the head-up display at the catch\n"
    "  <t> dt <S>                             a fixed step of S seconds from then on (long coasts)\n"
    "  <t> warp <F> [<delay>]                 time acceleration F from the next frame on; with a\n"
    "                                         delay it moves toward F by x10 per <delay> s of frame time\n"
    "  <t> rand <V>                           the host's next random draw gives V; at time 0\n"
    "                                         it is queued before the scenario loads\n"
    "  <t> place <vessel> <north m> <east m> <turn deg>\n"
    "                                         moves a landed vessel over the ground and turns it, as\n"
    "                                         a landed status record through DefSetStateEx does; a\n"
    "                                         vessel not there yet is moved in the first frame it is\n"
    "  <t> save <file>\n"
    "  <t> end\n";

std::string Lower(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The step lengths the physics keeps stable, within the range any run may take (from 1e-4 s, so
// that a run advances, to an hour: harness::CheckStepRange). Its sub-steps are at most 0.05 s in a
// sensible atmosphere and at most 2000 a frame (physics.cpp), shorter still for a light body under
// a canopy (half its drag time): 10 s a frame leaves room for a drag time of 10 ms. Beyond the air
// only the orbit sets the sub-step, and an hour is still integrated within the cap far from Earth.
constexpr double kMaxStepInAir = 10;      // [s] longest step while a vessel flies in the air
constexpr double kSensibleDensity = 1e-5; // [kg/m^3] the air counts from this density on (as physics.cpp)
constexpr std::uint64_t kMaxFrames = 50000000;  // a run stops with an error after this many frames

}  // namespace

// Checks a step length (a frame's simulated time: frame time x time warp) against what the
// physics keeps stable; with a world, also against where its vessels fly: a step longer than
// kMaxStepInAir is refused while a free vessel is in the atmosphere or can reach it within the step
// (its altitude less its speed times the step). False with the reason.
bool CheckStepLength(double step, const World *w, std::string *why)
{
    if (!harness::CheckStepRange(step, why)) return false;
    if (step <= kMaxStepInAir || !w) return true;
    char b[160];
    for (Vessel *v : w->Vessels()) {
        if (!v->alive || v->landed || v->parent || !v->ref || !v->ref->has_atmosphere) continue;
        const double lowest = v->Altitude() - length(v->rvel) * step;
        if (!(StandardAtmosphere(std::max(0.0, lowest)).density <= kSensibleDensity)) {
            std::snprintf(b, sizeof b, "%g s is longer than the %g s the physics keeps stable in the atmosphere, ",
                          step, kMaxStepInAir);
            if (why) *why = b + v->name + " flies in it or can reach it within that step";
            return false;
        }
    }
    return true;
}

namespace {

bool ParseDouble(const std::string &s, double *v)
{
    if (s.empty()) return false;
    char *end = nullptr;
    *v = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && std::isfinite(*v);
}

std::string DefaultRoot(const char *argv0_dir)
{
    // The installed layout: bin/corvane-sim beside Modules/, Config/ ...
    if (argv0_dir) {
        const fs::path up = fs::path(argv0_dir).parent_path();
        if (fs::exists(up / "Modules") && fs::exists(up / "Config")) return up.string();
    }
    if (const char *env = std::getenv("CORVANE_ADDON_ROOT")) return env;
    return ".";
}

std::string ExeDir()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    buf[n] = 0;
    return fs::path(buf).parent_path().string();
}

std::string Stamp(double t)
{
    char b[32];
    std::snprintf(b, sizeof b, "%9.2f", t);
    return b;
}

}  // namespace

std::string DefaultAddonRoot()
{
    const std::string exe = ExeDir();
    return DefaultRoot(exe.empty() ? nullptr : exe.c_str());
}

namespace {

struct Options {
    std::string scenario, root, inputs, save, out;
    double dt = 0, until = -1, warp = 1;
    std::uint64_t seed = 1;
    bool physics = true, progress = false, graphics = true, exact_saves = false, summary_only = false;
    HostGeneration host = HostGeneration::kLatest;
};

// The run: a world, its inputs and outputs.
FrameWatcher frame_watcher = nullptr;  // SetFrameWatcher

class Run {
public:
    Run(const Options &o, std::ostream &out, std::ostream &err) : opt_(o), out_(out), err_(err) {}
    int Go();

private:
    void Apply(const Input &ip);
    bool Place(const Input &ip);
    void Snapshot(const std::string &display, const std::string &file);
    std::string OutPath(const std::string &p) const
    {
        if (opt_.out.empty() || fs::path(p).is_absolute()) return p;
        return (fs::path(opt_.out) / p).string();
    }
    void Timeline(const std::string &text);
    void Sample();
    bool WriteSummary(std::string *error);
    // A write of the run failed: said on standard error, the run stops and exits 1.
    void Fail(const std::string &error)
    {
        err_ << "corvane-sim: " << error << "\n";
        failed_ = ended_ = true;
    }
    void CheckOutputs()
    {
        for (OutFile *f : {&timeline_, &csv_})
            if (!f->Ok() && !failed_) Fail(f->error());
    }

    Options opt_;
    std::ostream &out_, &err_;
    PictureWriter pictures_;  // snapshots encoded and written while the run flies on
    std::unique_ptr<World> world_;
    std::unique_ptr<WorldCockpit> cockpit_;  // the virtual pilots' view of the world
    std::vector<std::unique_ptr<harness::Pilot>> pilots_;
    bool ended_ = false, failed_ = false;
    bool has_pending_warp_ = false;                // a warp input of this frame, for the next one
    std::pair<double, double> pending_warp_{1, 0};  // acceleration, ramp [s]
    OutFile timeline_, csv_;
    std::string csv_row_;  // the trajectory's row being written
    harness::SeparationLog separations_;  // the frames around each attachment and release
    double next_sample_ = 0;
    std::vector<std::string> timeline_lines_;
    std::vector<Input> waiting_places_;  // place inputs whose vessel does not exist yet
};

void Run::Timeline(const std::string &text)
{
    const std::string line = Stamp(world_ ? world_->SimTime() : 0.0) + "  " + text;
    out_ << line << "\n";
    out_.flush();
    timeline_lines_.push_back(line);
    if (timeline_.IsOpen()) timeline_.Write(line + "\n");
}

void Run::Apply(const Input &ip)
{
    World &w = *world_;
    const auto &a = ip.args;
    auto vessel = [&](const std::string &name) -> Vessel * {
        Vessel *v = w.FindVessel(name);
        if (!v) Timeline("input line " + std::to_string(ip.line) + ": no vessel " + QuoteLine(name));
        return v;
    };
    if (ip.verb == "key") {
        Vessel *v = vessel(a[0]);
        if (!v) return;
        std::string k = a[1];
        const bool shift = Lower(k).rfind("shift+", 0) == 0;
        if (shift) k = k.substr(6);
        const std::string what = "key " + std::string(shift ? "shift+" : "") + k + " on " + v->name;
        Timeline(what);
        if (!w.PressKey(KeyCode(k), shift, v)) Timeline(what + " not taken");
    } else if (ip.verb == "control") {
        Vessel *v = vessel(a[0]);
        if (!v) return;
        const std::string s = Lower(a[1]);
        const double lvl = std::strtod(a[2].c_str(), nullptr);
        if (s == "throttle") w.SetThrottle(v, lvl);
        else w.SetPilotControl(v, s == "elevator" ? AIRCTRL_ELEVATOR : s == "aileron" ? AIRCTRL_AILERON : AIRCTRL_RUDDER, lvl);
    } else if (ip.verb == "focus") {
        if (Vessel *v = vessel(a[0])) w.SetFocus(v);
    } else if (ip.verb == "mfd") {
        const int which = Lower(a[0]) == "left" ? 0 : 1;
        const std::string what = Lower(a[1]);
        if (what == "open") {
            if (!w.OpenMfd(which, a[2])) Timeline("input line " + std::to_string(ip.line) + ": no MFD mode " + QuoteLine(a[2]));
        } else if (what == "key") {
            w.MfdKey(which, KeyCode(a[2]));
        } else {
            w.MfdButton(which, std::atoi(a[2].c_str()));
        }
    } else if (ip.verb == "snapshot" && Lower(a[0]) == "view") {
        std::string spec = "view";
        for (std::size_t i = 1; i + 1 < a.size(); ++i) spec += " " + a[i];
        Snapshot(spec, a.back());
    } else if (ip.verb == "snapshot") {
        Snapshot(a[0], a[1]);
    } else if (ip.verb == "save") {
        std::string e;
        if (!w.SaveScenario(OutPath(a[0]), &e)) {
            Timeline("save: " + e);
            Fail(e);
        } else {
            Timeline("saved " + OutPath(a[0]));
        }
    } else if (ip.verb == "place") {
        if (!Place(ip)) waiting_places_.push_back(ip);
    } else if (ip.verb == "end") {
        ended_ = true;
    } else if (ip.verb == "rand") {
        w.ForceRand(std::strtod(a[0].c_str(), nullptr));
    } else if (ip.verb == "dt") {
        std::string why;
        const double dt = std::strtod(a[0].c_str(), nullptr);
        if (!CheckStepLength(dt * w.WarpTarget(), &w, &why)) {
            Timeline("input line " + std::to_string(ip.line) + ": step length " + a[0] + " s refused: " + why);
            return;
        }
        w.SetStepLength(dt);
        Timeline("step length " + a[0] + " s");
    } else if (ip.verb == "warp") {
        std::string why;
        const double f = std::strtod(a[0].c_str(), nullptr);
        const double frame = w.NominalStep() / w.WarpTarget();
        if (!CheckStepLength(frame * f, &w, &why)) {
            Timeline("input line " + std::to_string(ip.line) + ": time acceleration " + a[0] + " refused: " + why);
            return;
        }
        // Read in the frame's pre-step, as a plugin's oapiSetTimeAcceleration is (the core's harness
        // plays its inputs in opcPreStep): the frame's step is already set, the new acceleration
        // acts from the next frame on.
        pending_warp_ = {f, a.size() > 1 ? std::strtod(a[1].c_str(), nullptr) : 0.0};
        has_pending_warp_ = true;
        Timeline("time acceleration " + a[0] + (a.size() > 1 ? " over " + a[1] + " s" : std::string()));
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

// "place <vessel> <north m> <east m> <turn deg>": a landed vessel set down again the given metres
// north and east over the ground and turned by the given angle, level on its touchdown points (what
// the host does with a landed VESSELSTATUS2 whose arot.x is above 4: Vesselstatus.cpp,
// Vessel::SetState2, then Vessel::InitLanded). False while the vessel does not exist.
bool Run::Place(const Input &ip)
{
    Vessel *v = world_->FindVessel(ip.args[0]);
    if (!v) return false;
    const std::string at = "input line " + std::to_string(ip.line) + ": place " + v->name;
    if (!v->landed || v->parent || !v->ref || !(v->ref->radius > 0)) {
        Timeline(at + ": not landed, not moved");
        return true;
    }
    const double north = std::strtod(ip.args[1].c_str(), nullptr), east = std::strtod(ip.args[2].c_str(), nullptr);
    const double turn = std::strtod(ip.args[3].c_str(), nullptr) * RAD;
    const double r = v->ref->radius;
    const double lat = std::clamp(v->surf_lat + north / r, -PI05 + 1e-6, PI05 - 1e-6);
    const double lng = std::remainder(v->surf_lng + east / (r * std::cos(v->surf_lat)), PI2);
    double hdg = std::fmod(v->surf_hdg + turn, PI2);
    if (hdg < 0) hdg += PI2;
    v->InitLanded(lng, lat, hdg);
    Timeline(at + " by " + FixedText(north, 1) + " m north, " + FixedText(east, 1) + " m east, heading " +
             FixedText(hdg * DEG, 1));
    return true;
}

void Run::Snapshot(const std::string &display, const std::string &file)
{
    World &w = *world_;
    if (opt_.summary_only) {
        Timeline("snapshot " + file + ": left out (summary only)");
        return;
    }
    const std::string s = Lower(display);
    if (s.rfind("view ", 0) == 0) {
        // "view <vessel> [azimuth elevation distance]": the scene around a vessel.
        std::istringstream words(display.substr(5));
        ViewSpec spec;
        words >> spec.vessel;
        double az, el, d;
        if (words >> az >> el >> d) spec.azimuth = az, spec.elevation = el, spec.distance = d;
        const std::string path = OutPath(file);
        std::string e;
        if (fs::path(path).has_parent_path()) fs::create_directories(fs::path(path).parent_path());
        if (!WriteView(w, spec, path, &e, &pictures_))
            Timeline("snapshot view " + spec.vessel + ": " + e);
        else
            Timeline("snapshot view " + spec.vessel + " " + path);
        return;
    }
    HDC__ *rec = s == "hud" ? w.DrawHud(1024, 768) : w.DrawMfd(s == "mfd-left" ? 0 : 1);
    const std::string path = OutPath(file);
    if (!rec) {
        Timeline("snapshot " + s + ": nothing to draw");
        return;
    }
    std::string e;
    std::error_code ec;
    if (fs::path(path).has_parent_path()) fs::create_directories(fs::path(path).parent_path(), ec);
    if (!WritePng(*rec, path, &e, &pictures_) || !WriteListing(*rec, path + ".txt", &e)) {
        Timeline("snapshot " + s + ": " + e);
        Fail(e);
    } else
        Timeline("snapshot " + s + " " + path);
}

void Run::Sample()
{
    if (!csv_.IsOpen()) return;
    World &w = *world_;
    if (w.SimTime() + 1e-9 < next_sample_) return;
    next_sample_ = w.SimTime() + 1.0;
    for (Vessel *own : w.Vessels()) {
        // What the API reports, as the core's harness reads it: an attached child's surface
        // parameters are its root parent's (Vessel::GetSurfParam).
        const Vessel *v = own->SurfaceOwner();
        double lng, lat, rad;
        v->EquPos(lng, lat, rad);
        const VECTOR3 h = v->HorizonAirspeed();
        const VECTOR3 g = v->ref ? tmul(v->HorizonFrame(), v->rvel - mul(v->ref->spin, v->rpos)) : h;
        // Each field whole, whatever its length (a long name, a far vessel's altitude), into one row
        // kept from sample to sample (it allocates only while it grows).
        std::string &r = csv_row_;
        r.clear();
        AppendFixed(r, w.SimTime(), 2);
        r += ',';
        r += own->name;
        const double fields[] = {v->Altitude(),     lat * DEG,  lng * DEG,        std::sqrt(g.x * g.x + g.z * g.z),
                                 h.y,               length(h),  v->Pitch() * DEG, v->Bank() * DEG,
                                 v->Heading() * DEG};
        const int decimals[] = {2, 7, 7, 3, 3, 3, 3, 3, 3};
        for (int i = 0; i < 9; ++i) {
            r += ',';
            AppendFixed(r, fields[i], decimals[i]);
        }
        // The body the place and speeds are given over (the closest one: it changes on the way
        // to L1 where the Moon passes nearer than the Earth).
        r += ',';
        if (v->ref) r += v->ref->name;
        r += '\n';
        csv_.Write(r);
    }
}

bool Run::WriteSummary(std::string *error)
{
    if (opt_.out.empty()) return true;
    std::ostringstream f;
    f << "scenario " << opt_.scenario << "\n";
    f << "simulated " << world_->SimTime() << " s in " << world_->FrameCount() << " frames\n\nevents:\n";
    for (const auto &e : world_->events()) f << Stamp(e.first) << "  " << e.second << "\n";
    f << "\ntouchdowns:\n";
    for (const auto &e : world_->events())
        if (e.second.find("touchdown") != std::string::npos) f << Stamp(e.first) << "  " << e.second << "\n";
    for (const auto &p : pilots_) {
        const std::string s = p->Summary();
        if (!s.empty()) f << "\n" << s << "\n";
    }
    return WriteTextFile(OutPath("summary.txt"), f.str(), error);
}

int Run::Go()
{
    // The scenario: a path, or a name under <root>/Scenarios.
    std::string path = opt_.scenario;
    if (!fs::exists(path)) {
        for (const std::string &c : {opt_.root + "/Scenarios/" + path, opt_.root + "/Scenarios/" + path + ".scn"})
            if (fs::exists(c)) path = c;
    }
    std::string text, why;
    if (!ReadTextFile(path, &text, &why)) {
        err_ << "corvane-sim: cannot read scenario " << QuoteLine(opt_.scenario) << ": " << why << "\n";
        return 1;
    }
    std::string inputs_path = opt_.inputs;
    if (inputs_path.empty()) {
        const fs::path guess = fs::path(path).replace_extension(".inputs");
        if (fs::exists(guess)) inputs_path = guess.string();
    }
    std::vector<Input> inputs;
    if (!inputs_path.empty()) {
        std::string itext, e;
        if (!ReadTextFile(inputs_path, &itext, &why)) {
            err_ << "corvane-sim: cannot read inputs file " << why << "\n";
            return 1;
        }
        if (!ParseInputs(itext, inputs_path, &inputs, &e)) {
            err_ << "corvane-sim: " << e << "\n";
            return 1;
        }
    }
    // Each input acts at the first frame at or after its own time, whatever its place in the file.
    std::stable_sort(inputs.begin(), inputs.end(), [](const Input &a, const Input &b) { return a.t < b.t; });
    if (!opt_.out.empty()) {
        std::error_code ec;
        fs::create_directories(opt_.out, ec);
    }
    bool pictures = false;
    if (!opt_.out.empty() && !opt_.summary_only) {
        if (!timeline_.Open(OutPath("timeline.txt")) || !csv_.Open(OutPath("trajectory.csv"))) {
            err_ << "corvane-sim: " << (timeline_.Ok() ? csv_.error() : timeline_.error()) << "\n";
            return 1;
        }
        csv_.Write("time,vessel,altitude,latitude,longitude,ground_speed,vertical_speed,airspeed,pitch,bank,heading,body\n");
        // Pictures to come (snapshot inputs, a pilot's storyboard): the drawing is made ready once
        // the scenario is loaded.
        pictures = opt_.graphics && std::any_of(inputs.begin(), inputs.end(), [](const Input &i) {
            return i.verb == "snapshot" || i.verb == "pilot";
        });
    }
    WorldOptions wo;
    wo.root = opt_.root;
    wo.dt = opt_.dt;
    wo.warp = opt_.warp;
    wo.seed = opt_.seed;
    wo.physics = opt_.physics;
    wo.host = opt_.host;
    wo.graphics = opt_.graphics;
    wo.exact_saves = opt_.exact_saves;
    wo.load_plugins = true;
    world_ = std::make_unique<World>(wo);
    world_->on_event = [this](const std::string &t) { Timeline(t); };
    // The separation log is followed only when its file is written.
    const bool log_separations = !opt_.out.empty() && !opt_.summary_only;
    if (log_separations) world_->after_post_steps = [this](double simt) { separations_.PostStep(simt); };
    cockpit_ = std::make_unique<WorldCockpit>(
        *world_, [this](const std::string &display, const std::string &file) { Snapshot(display, file); });
    // Random draws forced at time 0 are queued before the scenario loads, so that a vessel that
    // draws while it is created (the capsule's chute-failure draw) gets them.
    std::size_t next = 0;
    while (next < inputs.size() && inputs[next].t <= 0 && inputs[next].verb == "rand")
        world_->ForceRand(std::strtod(inputs[next++].args[0].c_str(), nullptr));
    std::string e;
    if (!world_->LoadScenarioText(text, &e, path)) {
        err_ << "corvane-sim: " << e << "\n";
        return 1;
    }
    if (!CheckStepLength(world_->NominalStep(), world_.get(), &e)) {
        err_ << "corvane-sim: the step (--dt or the frame time, times --warp): " << e << "\n";
        return 1;
    }
    // The off-screen context is made and the scene and the text are drawn once while the run
    // loads, so that the run's first pictures find the drawing ready.
    if (pictures) {
        PrepareViews(world_.get());
        PrepareText();
    }
    const bool has_end = std::any_of(inputs.begin(), inputs.end(), [](const Input &i) { return i.verb == "end"; });
    const double until = opt_.until >= 0 ? opt_.until : (has_end ? 1e300 : 60.0);
    const bool progress = opt_.progress || isatty(2);
    const auto wall0 = std::chrono::steady_clock::now();
    auto last_report = wall0;
    auto report = [&](std::chrono::steady_clock::time_point now) {
        const double wall = std::chrono::duration<double>(now - wall0).count();
        char b[128];
        std::snprintf(b, sizeof b, "\rsim %.1f s  wall %.1f s  x%.0f ", world_->SimTime(), wall,
                      wall > 0 ? world_->SimTime() / wall : 0.0);
        err_ << b;
        err_.flush();
    };
    while (!ended_) {
        World &w = *world_;
        if (log_separations) separations_.PreStep();  // the frame's start, before the inputs act
        while (next < inputs.size() && inputs[next].t <= w.SimTime() + 1e-9 && !ended_) Apply(inputs[next++]);
        if (ended_ || w.SimTime() >= until - 1e-9) break;
        for (std::size_t i = 0; i < waiting_places_.size();)
            if (Place(waiting_places_[i])) waiting_places_.erase(waiting_places_.begin() + static_cast<long>(i));
            else ++i;
        for (auto &p : pilots_) p->Frame(*cockpit_);
        Sample();
        // A long step that a vessel would fly into the air with is cut to what the air allows.
        std::string why;
        if (w.NominalStep() > kMaxStepInAir && !CheckStepLength(w.NominalStep(), &w, &why)) {
            // The warp is what makes a step long: it comes down so that the step is the air's limit.
            const double frame = w.NominalStep() / w.WarpTarget();
            if (frame > kMaxStepInAir) w.SetStepLength(kMaxStepInAir), w.SetWarp(1);
            else w.SetWarp(kMaxStepInAir / frame);
            Timeline("step length cut to " + FixedText(kMaxStepInAir, 0) + " s: " + why);
        }
        if (w.FrameCount() >= kMaxFrames) {
            Fail("the run has flown " + std::to_string(kMaxFrames) + " frames without ending: stopped");
            break;
        }
        w.RunFrame();
        if (has_pending_warp_) {
            has_pending_warp_ = false;
            w.SetWarp(pending_warp_.first, pending_warp_.second);
        }
        CheckOutputs();
        if (frame_watcher) frame_watcher(w.FrameCount(), w.SimTime());
        if (progress && (w.FrameCount() & 255) == 0) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last_report > std::chrono::seconds(1)) {
                last_report = now;
                report(now);
            }
        }
    }
    if (progress) {  // the line ends with the whole run's figures
        report(std::chrono::steady_clock::now());
        err_ << "\n";
    }
    Timeline("end of run");
    // Every picture written before the run reports: one that could not be is an error naming it.
    for (const std::string &picture_error : pictures_.Finish())
        if (!failed_) Fail(picture_error);
    world_->on_event = nullptr;
    world_->after_post_steps = nullptr;
    // Every output checked to the end: a write that failed is an error naming the file and why.
    if (!failed_ && !opt_.save.empty() && !world_->SaveScenario(opt_.save, &e)) Fail(e);
    if (!failed_ && !opt_.out.empty() && opt_.summary_only) {
        if (!WriteSummary(&e)) Fail(e);
    } else if (!failed_ && !opt_.out.empty()) {
        if (!world_->SaveScenario(OutPath("final.scn"), &e)) Fail(e);
        else if (!WriteSummary(&e)) Fail(e);
        else if (!WriteTextFile(OutPath("separations.csv"), separations_.Text(), &e)) Fail(e);
    }
    if (!failed_ && !world_->LogFileError().empty()) Fail(world_->LogFileError());  // the host log
    CheckOutputs();
    for (OutFile *f : {&timeline_, &csv_})
        if (f->IsOpen() && !f->Close() && !failed_) Fail(f->error());
    return failed_ ? 1 : 0;
}

}  // namespace

void SetFrameWatcher(FrameWatcher watcher) { frame_watcher = watcher; }

int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << kUsage;
        return 0;
    }
    if (args[0] == "campaign") return RunCampaign(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
    if (args[0] != "run") {
        err << "corvane-sim: unknown command " << QuoteLine(args[0]) << "\n" << kUsage;
        return 2;
    }
    Options o;
    o.root = DefaultAddonRoot();
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&](std::string *v) {
            if (i + 1 >= args.size()) return false;
            *v = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help") {
            out << kUsage;
            return 0;
        } else if (a == "--root") {
            if (!value(&o.root)) return err << "corvane-sim: --root needs a folder\n", 2;
        } else if (a == "--inputs") {
            if (!value(&o.inputs)) return err << "corvane-sim: --inputs needs a file\n", 2;
        } else if (a == "--save") {
            if (!value(&o.save)) return err << "corvane-sim: --save needs a file\n", 2;
        } else if (a == "--out") {
            if (!value(&o.out)) return err << "corvane-sim: --out needs a folder\n", 2;
        } else if (a == "--dt") {
            std::string why;
            if (!value(&v) || !ParseDouble(v, &o.dt) || !CheckStepLength(o.dt, nullptr, &why))
                return err << "corvane-sim: --dt needs a step length in seconds: " << (why.empty() ? "not a number" : why)
                           << "\n",
                       2;
        } else if (a == "--warp") {
            if (!value(&v) || !ParseDouble(v, &o.warp) || o.warp < 0.1 || o.warp > 1e5)
                return err << "corvane-sim: --warp needs a time acceleration from 0.1 to 100000\n", 2;
        } else if (a == "--until") {
            if (!value(&v) || !ParseDouble(v, &o.until) || o.until < 0)
                return err << "corvane-sim: --until needs a time in seconds\n", 2;
        } else if (a == "--seed") {
            char *end = nullptr;
            if (!value(&v) || v.empty() || v[0] == '-') return err << "corvane-sim: --seed needs a whole number\n", 2;
            o.seed = std::strtoull(v.c_str(), &end, 10);
            if (*end) return err << "corvane-sim: --seed needs a whole number\n", 2;
        } else if (a == "--no-physics") {
            o.physics = false;
        } else if (a == "--host") {
            if (!value(&v) || !ParseHostGeneration(v, &o.host))
                return err << "corvane-sim: --host needs 2016, 2024-inline, 2024 or latest\n", 2;
        } else if (a == "--no-graphics") {
            o.graphics = false;
        } else if (a == "--exact-saves") {
            o.exact_saves = true;
        } else if (a == "--progress") {
            o.progress = true;
        } else if (a == "--summary-only") {
            o.summary_only = true;
        } else if (!a.empty() && a[0] == '-') {
            err << "corvane-sim: unknown option " << QuoteLine(a) << "\n" << kUsage;
            return 2;
        } else if (o.scenario.empty()) {
            o.scenario = a;
        } else {
            err << "corvane-sim: more than one scenario given\n";
            return 2;
        }
    }
    if (o.scenario.empty()) {
        err << "corvane-sim: no scenario given\n" << kUsage;
        return 2;
    }
    Run run(o, out, err);
    return run.Go();
}

}  // namespace sim
