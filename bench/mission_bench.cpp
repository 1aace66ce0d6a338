// mission_bench.cpp -- whole scenario runs through corvane-sim's harness (physics on, the scenario's
// timed inputs and virtual pilots), timed on the wall clock: simulated seconds, wall seconds and their
// ratio (the goal for the mission: at least 10 000 times real time at the pilot's 1/60 s frames), and the heap
// allocations of the whole run per frame (loading included).
//
//   mission_bench [SCENARIO[@UNTIL]]... [--root DIR] [--dt S (default 1/60)] [--repeat N] [--alloc-map]
//
// SCENARIO is a name under <root>/Scenarios or a .scn path; @UNTIL stops it at that simulation time
// [s] (default: the scenario's 'end' input, else 60 s). Each run is a process of its own. Without scenarios: Corvane/Mission when it
// exists, else the scenarios with physics that exist (the catch, the bus cruise, the capsule's entry
// down to the parafoil capsule's landing, and the parafoil's glide to the ground). Each is run N times (default 3); the fastest run is reported, as the machine may be busy.
#include "alloc_count.h"
#include "cli.h"
#include "cockpit_world.h"
#include "inputs.h"
#include "pilot.h"
#include "world.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#ifndef CORVANE_BUILD_ADDON
#define CORVANE_BUILD_ADDON "."
#endif

namespace {

constexpr double kRealTimeGoal = 10000;  // [-] simulated over wall time the mission should reach

struct Job {
    std::string scenario;
    std::string until;  // "" for the scenario's own end
};

// A stretch of consecutive frames that allocate.
struct AllocStretch {
    double t0 = 0, t1 = 0;  // simulation time at the start of its first frame and the end of its last
    long frames = 0;
    std::uint64_t allocs = 0;
};

struct Result {
    double sim_s = 0, wall_s = 0, cpu_s = 0;
    double allocs = 0;
    long frames = 0;
    std::uint64_t first_allocs = 0;  // loading and the first frame
    std::uint64_t later_allocs = 0;  // every frame after the first
    std::uint64_t end_allocs = 0;    // after the last frame: the final scenario, the summary, the pictures' wait
    std::vector<AllocStretch> stretches;  // the frames after the first that allocate
    int status = 0;
    std::string error;
};

// What the frame watcher fills while a run flies: the allocations of each frame, from the end of
// the one before to the end of this one (inputs, pilots, trajectory, the frame, its outputs and
// the picture thread's work meanwhile). Fixed storage: watching allocates nothing.
struct FrameTally {
    std::uint64_t last = 0;  // the count at the end of the frame before
    double last_t = 0;
    long frames = 0;
    std::uint64_t first = 0, later = 0;
    static constexpr int kMaxStretches = 4096;
    AllocStretch stretch[kMaxStretches];
    int stretches = 0;
    bool open = false;  // the last stretch still growing
    double trace_from = 0;  // $CORVANE_ALLOC_TRACE_FROM [s]: stacks traced from the first frame ending then
    bool tracing = false;
};
FrameTally g_tally;

void WatchFrame(long, double simt)
{
    FrameTally &f = g_tally;
    const std::uint64_t now = benchalloc::Now().calls, n = now - f.last;
    ++f.frames;
    if (f.frames == 1) f.first = n;
    if (!f.tracing && simt >= f.trace_from) {  // the stacks of the first allocations from then on
        benchalloc::TraceNext(benchalloc::TraceRequest());
        f.tracing = true;
    }
    if (f.frames == 1) {
    } else if (n == 0) {
        f.open = false;
    } else {
        f.later += n;
        if (!f.open && f.stretches < FrameTally::kMaxStretches) {
            f.stretch[f.stretches++] = AllocStretch{f.last_t, simt, 0, 0};
            f.open = true;
        }
        if (f.open) {
            AllocStretch &s = f.stretch[f.stretches - 1];
            s.t1 = simt, ++s.frames, s.allocs += n;
        }
    }
    f.last = benchalloc::Now().calls;  // the watcher's own reading left out
    f.last_t = simt;
}

// The default jobs: the whole mission once it exists, else what there is with physics.
std::vector<Job> DefaultJobs(const std::string &root)
{
    auto exists = [&](const std::string &name) {
        return std::filesystem::exists(root + "/Scenarios/" + name + ".scn");
    };
    if (exists("Corvane/Mission")) return {{"Corvane/Mission", ""}};
    std::vector<Job> jobs;
    const Job candidates[] = {{"Corvane/Catch", ""},
                              {"Corvane/Bus cruise", ""},
                              {"Corvane/Capsule entry", "2600"},  // to the parafoil capsule's landing
                              {"Corvane/Parafoil glide", "700"}};
    for (const Job &j : candidates)
        if (exists(j.scenario)) jobs.push_back(j);
    return jobs;
}

// The simulation time of the timeline's "end of run" line ("   123.45  end of run").
double EndTime(const std::string &timeline)
{
    const std::string mark = "  end of run";
    const auto at = timeline.rfind(mark);
    if (at == std::string::npos) return -1;
    const auto line = timeline.rfind('\n', at);
    return std::strtod(timeline.c_str() + (line == std::string::npos ? 0 : line + 1), nullptr);
}

// One run as a user makes it, writing its outputs (timeline, trajectory, snapshots, final scenario)
// into `out`; the working folder is a scratch folder too (the host log goes there).
Result RunOnce(const Job &job, const std::string &root, const std::string &dt, const std::string &out_dir)
{
    std::vector<std::string> args = {"run", job.scenario, "--root", root, "--dt", dt, "--out", out_dir};
    if (!job.until.empty()) {
        args.push_back("--until");
        args.push_back(job.until);
    }
    std::ostringstream out, err;
    g_tally.frames = 0, g_tally.first = g_tally.later = 0, g_tally.stretches = 0, g_tally.open = false;
    g_tally.last_t = 0;
    const char *from = std::getenv("CORVANE_ALLOC_TRACE_FROM");
    g_tally.trace_from = from ? std::strtod(from, nullptr) : 0, g_tally.tracing = false;
    sim::SetFrameWatcher(WatchFrame);
    const benchalloc::Totals a0 = benchalloc::Now();
    g_tally.last = a0.calls;
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    Result r;
    r.status = sim::RunCli(args, out, err);
    r.cpu_s = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    r.wall_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const std::uint64_t a1 = benchalloc::Now().calls;
    sim::SetFrameWatcher(nullptr);
    benchalloc::StopTrace();
    r.allocs = static_cast<double>(a1 - a0.calls);
    r.frames = g_tally.frames;
    r.first_allocs = g_tally.first;
    r.later_allocs = g_tally.later;
    r.end_allocs = a1 - g_tally.last;
    r.stretches.assign(g_tally.stretch, g_tally.stretch + g_tally.stretches);
    r.sim_s = EndTime(out.str());
    if (r.status != 0 || r.sim_s < 0) r.error = err.str().empty() ? "no end of run in the timeline" : err.str();
    return r;
}

// Writes or reads all of a buffer through a pipe; false when it broke off.
bool WriteAll(int fd, const void *p, std::size_t n)
{
    const char *c = static_cast<const char *>(p);
    while (n > 0) {
        const ssize_t k = write(fd, c, n);
        if (k <= 0) return false;
        c += k, n -= static_cast<std::size_t>(k);
    }
    return true;
}
bool ReadAll(int fd, void *p, std::size_t n)
{
    char *c = static_cast<char *>(p);
    while (n > 0) {
        const ssize_t k = read(fd, c, n);
        if (k <= 0) return false;
        c += k, n -= static_cast<std::size_t>(k);
    }
    return true;
}

// One run in a process of its own, forked from this one before any run: what a run leaves in the
// process for the next (the off-screen context, font caches, the module files loaded) would
// otherwise make every run after the first faster than a pilot's session is.
Result RunInChild(const Job &job, const std::string &root, const std::string &dt, const std::string &out_dir)
{
    Result failed;
    failed.status = 1;
    int fds[2];
    if (pipe(fds) != 0) {
        failed.error = "no pipe to a run's process";
        return failed;
    }
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]), close(fds[1]);
        failed.error = "no process for a run";
        return failed;
    }
    if (pid == 0) {
        close(fds[0]);
        const Result r = RunOnce(job, root, dt, out_dir);
        const std::size_t ns = r.stretches.size(), ne = r.error.size();
        const bool ok = WriteAll(fds[1], &r.sim_s, sizeof r.sim_s) && WriteAll(fds[1], &r.wall_s, sizeof r.wall_s) &&
                        WriteAll(fds[1], &r.cpu_s, sizeof r.cpu_s) && WriteAll(fds[1], &r.allocs, sizeof r.allocs) &&
                        WriteAll(fds[1], &r.frames, sizeof r.frames) &&
                        WriteAll(fds[1], &r.first_allocs, sizeof r.first_allocs) &&
                        WriteAll(fds[1], &r.later_allocs, sizeof r.later_allocs) &&
                        WriteAll(fds[1], &r.end_allocs, sizeof r.end_allocs) &&
                        WriteAll(fds[1], &r.status, sizeof r.status) && WriteAll(fds[1], &ns, sizeof ns) &&
                        WriteAll(fds[1], r.stretches.data(), ns * sizeof(AllocStretch)) &&
                        WriteAll(fds[1], &ne, sizeof ne) && WriteAll(fds[1], r.error.data(), ne);
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    Result r;
    std::size_t ns = 0, ne = 0;
    bool ok = ReadAll(fds[0], &r.sim_s, sizeof r.sim_s) && ReadAll(fds[0], &r.wall_s, sizeof r.wall_s) &&
              ReadAll(fds[0], &r.cpu_s, sizeof r.cpu_s) && ReadAll(fds[0], &r.allocs, sizeof r.allocs) &&
              ReadAll(fds[0], &r.frames, sizeof r.frames) && ReadAll(fds[0], &r.first_allocs, sizeof r.first_allocs) &&
              ReadAll(fds[0], &r.later_allocs, sizeof r.later_allocs) &&
              ReadAll(fds[0], &r.end_allocs, sizeof r.end_allocs) && ReadAll(fds[0], &r.status, sizeof r.status) &&
              ReadAll(fds[0], &ns, sizeof ns) && ns <= FrameTally::kMaxStretches;
    if (ok) {
        r.stretches.resize(ns);
        ok = ReadAll(fds[0], r.stretches.data(), ns * sizeof(AllocStretch)) && ReadAll(fds[0], &ne, sizeof ne) &&
             ne < (1u << 20);
    }
    if (ok) {
        r.error.resize(ne);
        ok = ReadAll(fds[0], r.error.data(), ne);
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        failed.error = "a run's process ended without its figures";
        return failed;
    }
    return r;
}

std::string Lower(std::string t)
{
    for (char &c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
}

// The inputs that steer a flight (keys, controls, focus, displays, pilots, end) as the harness
// applies them; snapshots and saves only write files and are left out.
void Apply(sim::World &w, const harness::Input &ip, std::vector<std::unique_ptr<harness::Pilot>> *pilots, bool *ended)
{
    const auto &a = ip.args;
    if (ip.verb == "end") {
        *ended = true;
    } else if (ip.verb == "key") {
        std::string k = a[1];
        const bool shift = Lower(k).rfind("shift+", 0) == 0;
        if (shift) k = k.substr(6);
        if (Vessel *v = w.FindVessel(a[0])) w.PressKey(harness::KeyCode(k), shift, v);
    } else if (ip.verb == "control") {
        Vessel *v = w.FindVessel(a[0]);
        const std::string c = Lower(a[1]);
        const double level = std::strtod(a[2].c_str(), nullptr);
        if (!v) return;
        if (c == "throttle") w.SetThrottle(v, level);
        else w.SetPilotControl(v, c == "elevator" ? AIRCTRL_ELEVATOR : c == "aileron" ? AIRCTRL_AILERON : AIRCTRL_RUDDER, level);
    } else if (ip.verb == "focus") {
        if (Vessel *v = w.FindVessel(a[0])) w.SetFocus(v);
    } else if (ip.verb == "mfd") {
        const int which = Lower(a[0]) == "left" ? 0 : 1;
        const std::string what = Lower(a[1]);
        if (what == "open") w.OpenMfd(which, a[2]);
        else if (what == "key") w.MfdKey(which, harness::KeyCode(a[2]));
        else w.MfdButton(which, std::atoi(a[2].c_str()));
    } else if (ip.verb == "pilot") {
        std::string e;
        if (std::unique_ptr<harness::Pilot> p = harness::MakePilot(a, &e)) pilots->push_back(std::move(p));
    }
}

bool ReadText(const std::string &path, std::string *text)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::stringstream ss;
    ss << f.rdbuf();
    *text = ss.str();
    return true;
}

// Flies a scenario frame by frame and prints the stretches of frames that allocate.
int AllocMap(const Job &job, const std::string &root, double dt)
{
    std::string path = job.scenario;
    if (!std::filesystem::exists(path)) path = root + "/Scenarios/" + job.scenario + ".scn";
    std::string text, e;
    std::vector<harness::Input> inputs;
    const std::string inputs_path = std::filesystem::path(path).replace_extension(".inputs").string();
    if (ReadText(inputs_path, &text) && !harness::ParseInputs(text, inputs_path, &inputs, &e)) {
        std::printf("%s: %s\n", job.scenario.c_str(), e.c_str());
        return 1;
    }
    const bool has_end = std::any_of(inputs.begin(), inputs.end(), [](const harness::Input &i) { return i.verb == "end"; });
    const double until = !job.until.empty() ? std::strtod(job.until.c_str(), nullptr) : has_end ? 1e300 : 60.0;

    sim::WorldOptions o;
    o.root = root;
    o.dt = dt;
    o.physics = true;
    o.load_plugins = true;
    o.log_path = "";
    sim::World w(o);
    if (!w.LoadScenario(path, &e)) {
        std::printf("%s: %s\n", job.scenario.c_str(), e.c_str());
        return 1;
    }
    std::printf("%s: frames that allocate\n", job.scenario.c_str());
    sim::WorldCockpit cockpit(w);  // no pictures
    std::vector<std::unique_ptr<harness::Pilot>> pilots;
    bool ended = false;
    std::size_t next = 0;
    std::uint64_t frames = 0, allocs = 0, stretch_frames = 0, stretch_allocs = 0, pilot_allocs = 0;
    double stretch_start = -1;
    auto close_stretch = [&](double t_end) {
        if (stretch_start < 0) return;
        std::printf("  t %10.2f .. %10.2f  %8llu frames  %8llu allocations\n", stretch_start, t_end,
                    static_cast<unsigned long long>(stretch_frames), static_cast<unsigned long long>(stretch_allocs));
        stretch_start = -1;
        stretch_frames = stretch_allocs = 0;
    };
    int trace = benchalloc::TraceRequest();  // stacks still to print, of allocations inside frames
    while (!ended) {
        while (next < inputs.size() && inputs[next].t <= w.SimTime() + 1e-9 && !ended) Apply(w, inputs[next++], &pilots, &ended);
        if (ended || w.SimTime() >= until - 1e-9) break;
        const std::uint64_t p0 = benchalloc::Now().calls;
        for (auto &p : pilots) p->Frame(cockpit);
        const std::uint64_t a0 = benchalloc::Now().calls;
        pilot_allocs += a0 - p0;
        const double t = w.SimTime();
        if (frames >= 1) benchalloc::TraceNext(trace);  // the first frame sets things up
        w.RunFrame();
        if (frames >= 1) trace = benchalloc::StopTrace();
        const std::uint64_t n = benchalloc::Now().calls - a0;
        ++frames;
        allocs += n;
        if (n) {
            if (stretch_start < 0) stretch_start = t;
            ++stretch_frames;
            stretch_allocs += n;
        } else {
            close_stretch(t);
        }
    }
    close_stretch(w.SimTime());
    std::printf("  %llu frames to t = %.2f s, %llu allocations in frames, %llu in the pilots\n\n",
                static_cast<unsigned long long>(frames), w.SimTime(), static_cast<unsigned long long>(allocs),
                static_cast<unsigned long long>(pilot_allocs));
    return 0;
}

// The run's allocations: loading with the first frame, the frames after it (per frame, and the
// stretches of frames that allocate: the large ones one by one, at most kShown, the small ones
// summed), and the end of the run.
void PrintAllocations(const Result &r)
{
    constexpr std::size_t kShown = 40;
    constexpr std::uint64_t kLarge = 100;  // allocations in a stretch listed on its own
    const long later = r.frames > 1 ? r.frames - 1 : 0;
    long allocating = 0;
    for (const AllocStretch &s : r.stretches) allocating += s.frames;
    std::printf("%-28s allocations: %llu loading and the first frame; %llu in the %ld frames after it (%.3f a frame,\n"
                "%-28s %ld frames allocate, listed below); %llu after the last frame (final scenario, summary, pictures)\n",
                "", static_cast<unsigned long long>(r.first_allocs), static_cast<unsigned long long>(r.later_allocs), later,
                later ? static_cast<double>(r.later_allocs) / later : 0.0, "", allocating,
                static_cast<unsigned long long>(r.end_allocs));
    std::size_t shown = 0, small = 0, large_unshown = 0;
    std::uint64_t small_allocs = 0, unshown_allocs = 0;
    for (const AllocStretch &s : r.stretches) {
        if (s.allocs < kLarge) {
            ++small, small_allocs += s.allocs;
        } else if (shown < kShown) {
            ++shown;
            std::printf("%-28s   t %9.2f .. %9.2f  %6ld frames  %8llu allocations\n", "", s.t0, s.t1, s.frames,
                        static_cast<unsigned long long>(s.allocs));
        } else {
            ++large_unshown, unshown_allocs += s.allocs;
        }
    }
    if (large_unshown)
        std::printf("%-28s   ... and %zu stretches more of %llu or more, %llu allocations\n", "", large_unshown,
                    static_cast<unsigned long long>(kLarge), static_cast<unsigned long long>(unshown_allocs));
    if (small)
        std::printf("%-28s   %zu stretches of fewer than %llu each, %llu allocations in all\n", "", small,
                    static_cast<unsigned long long>(kLarge), static_cast<unsigned long long>(small_allocs));
}

int Usage()
{
    std::cerr << "usage: mission_bench [SCENARIO[@UNTIL]]... [--root DIR] [--dt S] [--repeat N] [--alloc-map]\n";
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    const char *env = std::getenv("CORVANE_ADDON_ROOT");
    std::string root = env ? env : CORVANE_BUILD_ADDON;
    std::string dt = "0.0166666666666667";  // the pilot's frames, 60 a second
    int repeat = 3;
    bool alloc_map = false;
    std::vector<Job> jobs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--root" && i + 1 < argc) {
            root = argv[++i];
        } else if (a == "--dt" && i + 1 < argc) {
            dt = argv[++i];
        } else if (a == "--repeat" && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--alloc-map") {
            alloc_map = true;
        } else if (a == "--help" || a == "-h" || (!a.empty() && a[0] == '-')) {
            return Usage();
        } else {
            const auto at = a.rfind('@');
            jobs.push_back(at == std::string::npos ? Job{a, ""} : Job{a.substr(0, at), a.substr(at + 1)});
        }
    }
    if (jobs.empty()) jobs = DefaultJobs(root);
    if (jobs.empty()) {
        std::cerr << "mission_bench: no scenario found under " << root << "/Scenarios\n";
        return 1;
    }

    const double step = std::strtod(dt.c_str(), nullptr);
    if (!(step > 0)) return Usage();
    if (root.empty() || root[0] != '/') root = (std::filesystem::current_path() / root).string();
    if (alloc_map) {
        int failures = 0;
        for (const Job &job : jobs) failures += AllocMap(job, root, step);
        return failures ? 1 : 0;
    }
    std::printf("scenario runs at a %s s step, fastest of %d (root %s)\n\n", dt.c_str(), repeat, root.c_str());
    std::printf("%-28s %9s %8s %9s %8s %9s %8s %9s %12s\n", "scenario", "sim [s]", "frames", "wall [s]", "x real",
                "us/frame", "cpu [s]", "x (cpu)", "allocs/frame");
    char scratch_template[] = "/tmp/corvane-bench-XXXXXX";
    if (!mkdtemp(scratch_template)) {
        std::perror("mission_bench: scratch folder");
        return 1;
    }
    const std::filesystem::path scratch = scratch_template, home = std::filesystem::current_path();
    std::filesystem::current_path(scratch);
    int failures = 0;
    for (const Job &job : jobs) {
        Result best;
        best.wall_s = -1;
        for (int k = 0; k < repeat; ++k) {
            const Result r = RunInChild(job, root, dt, (scratch / ("run" + std::to_string(k))).string());
            if (!r.error.empty()) {
                best = r;
                break;
            }
            if (best.wall_s < 0 || r.wall_s < best.wall_s) best = r;
        }
        const std::string name = job.scenario + (job.until.empty() ? "" : " @" + job.until);
        if (!best.error.empty()) {
            std::printf("%-28s failed (status %d): %s\n", name.c_str(), best.status, best.error.c_str());
            ++failures;
            continue;
        }
        const double frames = best.sim_s / step;
        std::printf("%-28s %9.1f %8.0f %9.3f %8.0f %9.2f %8.3f %9.0f %12.2f\n", name.c_str(), best.sim_s, frames,
                    best.wall_s, best.sim_s / best.wall_s, 1e6 * best.wall_s / frames, best.cpu_s,
                    best.sim_s / best.cpu_s, best.allocs / frames);
        std::printf("%-28s %.0f times real time: %.2f of the goal of %.0f (%.2f by processor time)\n", "",
                    best.sim_s / best.wall_s, best.sim_s / best.wall_s / kRealTimeGoal, kRealTimeGoal,
                    best.sim_s / best.cpu_s / kRealTimeGoal);
        PrintAllocations(best);
    }
    std::filesystem::current_path(home);
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
    std::printf("\nx real = simulated / wall time (the goal); x (cpu) = simulated / this process's processor time,\n"
                "which a busy machine inflates less. Both cover loading and the outputs (timeline, trajectory,\n"
                "snapshots, final scenario); allocs/frame counts every allocation of the run.\n");
    return failures ? 1 : 0;
}
