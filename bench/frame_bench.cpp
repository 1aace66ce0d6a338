// frame_bench.cpp -- what one frame costs with each module loaded in the stand-in host: a world per
// module holding one vessel of it in a typical state (the bus cruising, the capsule under its drogue,
// the parafoil capsule gliding, the helicopter hovering on its autopilot beside a gliding parafoil
// capsule, the L1 display open on a focus vessel), beside an empty world and a world with one plain
// vessel, each with physics off and on. Reports the time per frame and the heap allocations per
// frame (the goal is none).
//
// With physics on the vessels move, so every kResetFrames frames they go back to the state they had
// after the warm-up (a copy of four values per vessel, timed with the frames); every module then
// stays in the phase it is measured in however long the benchmark runs.
//
// CORVANE_ALLOC_TRACE=N prints the call stacks of the first N allocations made in each measured run.
#include "alloc_count.h"
#include "astro.h"
#include "world.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

#ifndef CORVANE_BUILD_ADDON
#define CORVANE_BUILD_ADDON "."
#endif
#ifndef CORVANE_BENCH_DATA
#define CORVANE_BENCH_DATA "."
#endif

constexpr double kDeg = M_PI / 180.0;
constexpr double kStep = 0.02;     // step length [s]
constexpr int kWarmupFrames = 500;  // 10 s: canopies unfold, panels deploy, one-time lookups are done
constexpr int kResetFrames = 500;   // every 10 s the vessels return to their state after the warm-up
constexpr double kLng = 10 * kDeg, kLat = 20 * kDeg;  // where the atmospheric vessels fly [rad]

const char kPlainClass[] = "BenchPlain";  // bench/data: a class no module serves
const char kBusClass[] = "CorvaneMission/corvane_bus2";
const char kCapsuleClass[] = "Vessels/CorvaneMission/corvane_src";
const char kParafoilClass[] = "CorvaneMission/corvane_src_parafoil";
const char kHeliClass[] = "hx220";
const char kHeliportClass[] = "CorvaneMission/heliport";
const char kL1Plugin[] = "CorvaneMFD4";
const char kL1Mode[] = "Corvane L1 Display";

std::string AddonRoot()
{
    const char *env = std::getenv("CORVANE_ADDON_ROOT");
    return env ? env : CORVANE_BUILD_ADDON;
}

// A vessel's dynamic state as the warm-up left it.
struct SavedState {
    Vessel *v;
    VECTOR3 rpos, rvel, omega;
    MATRIX3 R;
};

class BenchWorld {
public:
    explicit BenchWorld(bool physics)
    {
        sim::WorldOptions o;
        o.root = AddonRoot();
        o.overlay = CORVANE_BENCH_DATA;
        o.dt = kStep;
        o.physics = physics;
        o.log_path = "";  // no log file: the log stays in memory
        w = std::make_unique<sim::World>(o);
    }

    // Remembers the free-flying vessels' states (attached and landed ones follow their own rules).
    void Snapshot()
    {
        saved.clear();
        for (Vessel *v : w->Vessels())
            if (!v->landed && !v->parent) saved.push_back({v, v->rpos, v->rvel, v->omega, v->R});
    }
    void Restore()
    {
        for (const SavedState &s : saved) {
            s.v->rpos = s.rpos;
            s.v->rvel = s.rvel;
            s.v->omega = s.omega;
            s.v->R = s.R;
            s.v->landed = false;
        }
    }

    std::unique_ptr<sim::World> w;
    std::vector<SavedState> saved;
};

// The saved line of a vessel beginning with a keyword, trimmed ("" when none).
std::string SavedLine(sim::World &w, Vessel *v, const std::string &keyword)
{
    for (std::string l : w.SaveVesselLines(v)) {
        l.erase(0, l.find_first_not_of(' '));
        if (l.compare(0, keyword.size() + 1, keyword + " ") == 0) return l;
    }
    return "";
}

// --- the worlds: each sets itself up (before the warm-up) and checks its state after it ---------
// A setup or check returns "" when all is well, else what is wrong.
struct Scene {
    std::string (*setup)(sim::World &);
    std::string (*check)(sim::World &);
};

std::string Nothing(sim::World &) { return ""; }

std::string PlainSetup(sim::World &w)
{
    return w.CreateVesselAt("Plain", kPlainClass, kLng, kLat, 2000, 0, _V(0, -4, 12)) ? "" : "no plain vessel";
}

// The bus in a circular orbit 300 km up with the capsule aboard, its solar panels deploying (5 s).
std::string BusSetup(sim::World &w)
{
    VESSELSTATUS2 s{};
    s.version = 2;
    s.rbody = sim::Handle(w.Earth());
    s.rpos = _V(6671010.0, 0, 0);
    s.rvel = _V(0, 0, 7729.886);
    Vessel *v = w.CreateVessel("Corvane_Bus", kBusClass, s);
    if (!v) return "no bus";
    w.PressKey(OAPI_KEY_G, false, v);
    return "";
}
std::string BusCheck(sim::World &w)
{
    Vessel *v = w.FindVessel("Corvane_Bus");
    const std::string solp = v ? SavedLine(w, v, "SOLP") : "";
    return solp.compare(0, 7, "SOLP 1 ") == 0 ? "" : "bus panels not deployed (" + solp + ")";
}

// The capsule at 30 km falling at 150 m/s: its drogue opens at once; the recovery vessels come
// only below 20 km.
std::string CapsuleSetup(sim::World &w)
{
    w.ForceRand(0.5);  // the chute does not fail
    return w.CreateVesselAt("Corvane_SRC", kCapsuleClass, kLng, kLat, 30e3, 0, _V(0, -150, 0)) ? "" : "no capsule";
}
std::string CapsuleCheck(sim::World &w)
{
    Vessel *v = w.FindVessel("Corvane_SRC");
    if (!v) return "capsule gone";
    if (w.Vessels().size() != 1) return "recovery vessels were created";
    const std::string cfg = SavedLine(w, v, "CONFIGURATION");
    return cfg == "CONFIGURATION 1 0" ? "" : "capsule not under its drogue (" + cfg + ")";
}

// The parafoil capsule 2000 m up, gliding north at 12 m/s and sinking at 4 m/s.
Vessel *MakeParafoil(sim::World &w, double lng, double lat, double alt)
{
    return w.CreateVesselAt("Corvane_SRC_Parafoil", kParafoilClass, lng, lat, alt, 0, _V(0, -4, 12));
}
std::string ParafoilSetup(sim::World &w) { return MakeParafoil(w, kLng, kLat, 2000) ? "" : "no parafoil capsule"; }
std::string ParafoilCheck(sim::World &w)
{
    Vessel *v = w.FindVessel("Corvane_SRC_Parafoil");
    if (!v) return "parafoil capsule gone";
    return v->Altitude() > 300 && !v->landed ? "" : "parafoil capsule not gliding";
}

// The helicopter with its engine running and its visual present, hovering 300 m up on the hover
// autopilot, the heliport landed 1 km away and the parafoil capsule gliding 200 m off at 500 m.
std::string HeliSetup(sim::World &w)
{
    std::string err;
    const std::string scn = std::string("BEGIN_SHIPS\nHX220:") + kHeliClass +
                            "\n  STATUS Orbiting Earth\n  RPOS 7000000 0 0\n  PRPLEVEL 0:1.000000\n  MOTEUR 2 40000 501 8.0 1\nEND\n"
                            "END_SHIPS\n";
    if (!w.LoadScenarioText(scn, &err)) return "helicopter not loaded: " + err;
    Vessel *v = w.FindVessel("HX220");
    if (!v) return "no helicopter";
    v->Place(kLng, kLat, 300);
    if (!w.CreateVesselLanded("Heliport", kHeliportClass, kLng + 0.009 * kDeg, kLat, 0)) return "no heliport";
    if (!MakeParafoil(w, kLng + 0.0018 * kDeg, kLat, 500)) return "no parafoil capsule";
    w.SetFocus(v);
    w.RunFrame();  // the lift thruster comes on the first frame
    w.PressKey(OAPI_KEY_S, true, v);  // Shift+S: hover autopilot
    return "";
}
std::string HeliCheck(sim::World &w)
{
    Vessel *v = w.FindVessel("HX220");
    if (!v) return "helicopter gone";
    if (!v->visual) return "helicopter without a visual";
    const std::string engine = SavedLine(w, v, "MOTEUR"), hover = SavedLine(w, v, "STATIO");
    if (engine.compare(0, 9, "MOTEUR 2 ") != 0) return "engine not running (" + engine + ")";
    if (hover.compare(0, 9, "STATIO 1 ") != 0) return "hover autopilot off (" + hover + ")";
    if (v->Altitude() < 100 || v->landed)
        return "helicopter not hovering (" + std::to_string(v->Altitude()) + " m up" + (v->landed ? ", landed)" : ")");
    return ParafoilCheck(w);
}

// The L1 display open on the left display of a plain focus vessel on its way to L1.
std::string L1Setup(sim::World &w)
{
    if (!w.LoadPlugin(kL1Plugin)) return "instrument module not loaded";
    std::string err;
    const std::string scn = std::string("BEGIN_SHIPS\nProbe:") + kPlainClass +
                            "\n  STATUS Orbiting Earth\n  RPOS 180138000 0 -983641000\n  RVEL 471.1 0 -208.3\n"
                            "END\nEND_SHIPS\n";
    if (!w.LoadScenarioText(scn, &err)) return "probe not loaded: " + err;
    Vessel *v = w.FindVessel("Probe");
    if (!v) return "no probe";
    w.SetFocus(v);
    return w.OpenMfd(0, kL1Mode) ? "" : "display not opened";
}
std::string L1Check(sim::World &w) { return w.GetMfd(0) ? "" : "display closed"; }

// --- the benchmark ---------------------------------------------------------------------------
void Frame(benchmark::State &state, Scene scene)
{
    BenchWorld bw(state.range(0) != 0);
    sim::World &w = *bw.w;
    std::string problem = scene.setup(w);
    if (problem.empty()) {
        w.RunFrames(kWarmupFrames);
        problem = scene.check(w);
    }
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    bw.Snapshot();
    bw.Restore();

    const int trace = benchalloc::TraceRequest();
    if (trace > 0) benchalloc::TraceNext(trace);
    const benchalloc::Totals before = benchalloc::Now();
    int k = 0;
    for (auto _ : state) {
        w.RunFrame();
        if (++k == kResetFrames) {
            bw.Restore();
            k = 0;
        }
    }
    const benchalloc::Totals after = benchalloc::Now();
    benchalloc::TraceNext(0);

    const double n = static_cast<double>(after.calls - before.calls);
    const double bytes = static_cast<double>(after.bytes - before.bytes);
    state.counters["allocs/frame"] = benchmark::Counter(n, benchmark::Counter::kAvgIterations);
    state.counters["bytes/frame"] = benchmark::Counter(bytes, benchmark::Counter::kAvgIterations);
    state.counters["sim_s/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kStep, benchmark::Counter::kIsRate);
    state.counters["vessels"] = static_cast<double>(w.Vessels().size());
}

#define FRAME_BENCH(name, setup, check) \
    BENCHMARK_CAPTURE(Frame, name, Scene{setup, check})->ArgName("physics")->Arg(0)->Arg(1)

FRAME_BENCH(empty, Nothing, Nothing);
FRAME_BENCH(plain_vessel, PlainSetup, Nothing);
FRAME_BENCH(bus, BusSetup, BusCheck);
FRAME_BENCH(capsule, CapsuleSetup, CapsuleCheck);
FRAME_BENCH(parafoil, ParafoilSetup, ParafoilCheck);
FRAME_BENCH(helicopter_with_parafoil, HeliSetup, HeliCheck);
FRAME_BENCH(l1display, L1Setup, L1Check);

// --- the host's own parts that every frame pays for ------------------------------------------
// The bodies' positions and velocities for the new date (the world does this once a frame).
void HostEarthState(benchmark::State &state)
{
    double mjd = 51544.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sim::astro::EarthState(mjd));
        mjd += kStep / 86400.0;
    }
}
BENCHMARK(HostEarthState);

void HostMoonState(benchmark::State &state)
{
    double mjd = 51544.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sim::astro::MoonState(mjd));
        mjd += kStep / 86400.0;
    }
}
BENCHMARK(HostMoonState);

}  // namespace

BENCHMARK_MAIN();
