// campaign.cpp -- corvane-sim campaign: many missions, each with its own dispersions, flown as
// separate processes on all cores, and the report of what they did.
//
// Where each dispersion acts (nothing of a module is touched; each is what a host or the pilot can
// do):
//   path-angle, speed, track <vessel>   the vessel's velocity line (RVEL) of the scenario, at its
//                                       start: the flight-path angle raised, the speed changed, the
//                                       track turned clockwise seen from above, relative to the
//                                       body's centre (the inertial velocity the host loads)
//   input-time <input words>            the time of each input line with those words moved (a key,
//                                       say the bus's release J)
//   place-north, place-east, place-turn <vessel>
//                                       a "0 place" input: the landed vessel set down that far north
//                                       and east of where it stands and turned, in the first frame
//                                       it exists (the helicopter, made at the call-up)
//   pilot-start, pilot-hold, pilot-handover
//                                       the recovery pilot's reaction times (its input line's words)
//
// Each mission is a "run" of its own in a forked child, with its own folder, out of the campaign's
// own process: a crash or a hang (over the campaign's time limit) is a failed mission of the report.
#include "campaign.h"

#include "cli.h"
#include "inputs.h"
#include "mesh.h"
#include "png.h"
#include "textio.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>

namespace fs = std::filesystem;

namespace sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180;
constexpr double kMaxReaction = 600;   // [s] the pilot's reaction times are held within 0..600 s
constexpr double kMaxTimeLimit = 86400;  // [s]
constexpr int kMaxRuns = 1000000;
constexpr int kWorstShown = 5;          // the report names this many worst missions
constexpr auto kPoll = std::chrono::milliseconds(10);  // children are looked at this often
const char kDefaultCampaign[] = "Corvane/Mission.campaign";

// What each dispersion acts on and in what unit.
enum class Target { kVessel, kInputWords, kNone };
struct DispersionKind {
    const char *name;
    const char *unit;
    Target target;
};
const DispersionKind kKinds[] = {
    {"path-angle", "deg", Target::kVessel},   {"speed", "m/s", Target::kVessel},
    {"track", "deg", Target::kVessel},        {"input-time", "s", Target::kInputWords},
    {"place-north", "m", Target::kVessel},    {"place-east", "m", Target::kVessel},
    {"place-turn", "deg", Target::kVessel},   {"pilot-start", "s", Target::kNone},
    {"pilot-hold", "s", Target::kNone},       {"pilot-handover", "s", Target::kNone},
};

const DispersionKind *FindKind(const std::string &name)
{
    for (const DispersionKind &k : kKinds)
        if (name == k.name) return &k;
    return nullptr;
}

std::string Lower(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ParseNumber(const std::string &s, double *v)
{
    if (s.empty()) return false;
    char *end = nullptr;
    *v = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && std::isfinite(*v);
}

std::vector<std::string> Words(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> w;
    std::string x;
    while (in >> x) w.push_back(x);
    return w;
}

std::string Join(const std::vector<std::string> &w, std::size_t from = 0)
{
    std::string s;
    for (std::size_t i = from; i < w.size(); ++i) s += (i > from ? " " : "") + w[i];
    return s;
}

std::string Fmt(const char *fmt, double v)
{
    char b[64];
    std::snprintf(b, sizeof b, fmt, v);
    return b;
}

// A word of a command line, quoted when the shell would split it.
std::string ShellWord(const std::string &w)
{
    if (!w.empty() && w.find_first_of(" \t\"'$\\") == std::string::npos) return w;
    std::string q = "'";
    for (char c : w) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool SameWords(const std::vector<std::string> &a, std::size_t from, const std::vector<std::string> &b)
{
    if (a.size() - from != b.size()) return false;
    for (std::size_t i = 0; i < b.size(); ++i)
        if (Lower(a[from + i]) != Lower(b[i])) return false;
    return true;
}

}  // namespace

std::string Dispersion::Text() const
{
    std::string s = kind;
    for (const std::string &w : target) s += " " + w;
    s += normal ? " normal " : " uniform ";
    return s + Fmt("%g", a) + " " + Fmt("%g", b);
}

bool ParseCampaign(const std::string &text, const std::string &source, const std::string &folder, Campaign *out,
                   std::string *error)
{
    Campaign c;
    std::istringstream in(text);
    std::string raw;
    int n = 0;
    auto fail = [&](const std::string &why) {
        if (error) *error = source + ":" + std::to_string(n) + ": " + why;
        return false;
    };
    auto resolve = [&](const std::string &p) {
        if (p.empty() || fs::path(p).is_absolute() || folder.empty()) return p;
        return (fs::path(folder) / p).string();
    };
    while (std::getline(in, raw)) {
        ++n;
        const auto hash = raw.find('#');
        if (hash != std::string::npos) raw.erase(hash);
        const std::vector<std::string> w = Words(raw);
        if (w.empty()) continue;
        const std::string key = Lower(w[0]);
        if (key == "scenario" || key == "inputs") {
            // A file name may hold blanks: the rest of the line.
            if (w.size() < 2) return fail("expected: " + key + " <file>");
            (key == "scenario" ? c.scenario : c.inputs) = resolve(Join(w, 1));
            continue;
        }
        if (key == "time-limit") {
            double t;
            if (w.size() != 2 || !ParseNumber(w[1], &t) || t <= 0 || t > kMaxTimeLimit)
                return fail("expected: time-limit <seconds of wall time, up to a day>");
            c.time_limit = t;
            continue;
        }
        const DispersionKind *k = FindKind(key);
        if (!k) return fail("unknown line \"" + w[0] + "\"");
        Dispersion d;
        d.kind = k->name;
        d.line = n;
        std::size_t at = 1;
        while (at < w.size() && Lower(w[at]) != "normal" && Lower(w[at]) != "uniform") d.target.push_back(w[at++]);
        const std::string usage = std::string("expected: ") + k->name +
                                  (k->target == Target::kVessel ? " <vessel>" : k->target == Target::kInputWords ? " <input words>" : "") +
                                  " normal <mean> <sigma> | uniform <low> <high>";
        if (at + 3 != w.size()) return fail(usage);
        if (k->target == Target::kVessel && d.target.size() != 1) return fail(usage);
        if (k->target == Target::kInputWords && d.target.empty()) return fail(usage);
        if (k->target == Target::kNone && !d.target.empty()) return fail(usage);
        d.normal = Lower(w[at]) == "normal";
        if (!ParseNumber(w[at + 1], &d.a) || !ParseNumber(w[at + 2], &d.b)) return fail(usage);
        if (d.normal && d.b < 0) return fail("a sigma cannot be negative");
        if (!d.normal && d.b < d.a) return fail("the high end of a uniform spread is below its low end");
        c.dispersions.push_back(d);
    }
    if (c.scenario.empty()) {
        n = 0;
        return fail("no scenario line");
    }
    *out = c;
    return true;
}

// SplitMix64 (Steele, Lea and Flood, "Fast splittable pseudorandom number generators", 2014): its
// output function mixes the mission's number into the campaign's seed as well.
namespace {
std::uint64_t Mix(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}
constexpr std::uint64_t kGolden = 0x9e3779b97f4a7c15ULL;
}  // namespace

std::uint64_t MissionSeed(std::uint64_t seed, int index)
{
    return Mix(Mix(seed + kGolden) + static_cast<std::uint64_t>(index) * kGolden);
}

std::uint64_t Draws::Next()
{
    state_ += kGolden;
    return Mix(state_);
}

double Draws::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

double Draws::Normal()
{
    const double u1 = 1.0 - Uniform();  // (0, 1]: its logarithm is finite
    const double u2 = Uniform();
    return std::sqrt(-2 * std::log(u1)) * std::cos(2 * kPi * u2);
}

void DisperseVelocity(const double r[3], double v[3], double d_angle, double d_track, double d_speed)
{
    const double rl = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
    if (!(rl > 0)) return;
    const double up[3] = {r[0] / rl, r[1] / rl, r[2] / rl};
    const double vr = v[0] * up[0] + v[1] * up[1] + v[2] * up[2];
    double h[3] = {v[0] - vr * up[0], v[1] - vr * up[1], v[2] - vr * up[2]};
    const double hl = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
    const double speed = std::sqrt(vr * vr + hl * hl);
    if (!(hl > 0)) return;  // straight up or down: no track to turn
    for (double &x : h) x /= hl;
    // The right of the track: up x forward as the components multiply out in the host's left-handed
    // frame (east x up would be the right-handed way of saying it).
    const double right[3] = {up[1] * h[2] - up[2] * h[1], up[2] * h[0] - up[0] * h[2], up[0] * h[1] - up[1] * h[0]};
    const double angle = std::atan2(vr, hl) + d_angle;
    const double s = std::max(0.0, speed + d_speed);
    for (int i = 0; i < 3; ++i) {
        const double fwd = h[i] * std::cos(d_track) + right[i] * std::sin(d_track);
        v[i] = s * (std::cos(angle) * fwd + std::sin(angle) * up[i]);
    }
}

namespace {

// The scenario with the velocity dispersions of each vessel applied to its RVEL line.
bool DisperseScenario(const std::string &text, const std::map<std::string, std::array<double, 3>> &velocity, std::string *out,
                      std::string *error)
{
    std::vector<std::string> lines;
    {
        std::istringstream in(text);
        std::string l;
        while (std::getline(in, l)) lines.push_back(l);
    }
    for (const auto &kv : velocity) {
        const std::string &name = kv.first;
        int rpos = -1, rvel = -1;
        bool in_ships = false, in_vessel = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::vector<std::string> w = Words(lines[i]);
            if (w.empty()) continue;
            if (w[0] == "BEGIN_SHIPS") in_ships = true;
            else if (w[0] == "END_SHIPS") in_ships = false;
            else if (in_ships && !in_vessel && Lower(w[0].substr(0, w[0].find(':'))) == Lower(name)) in_vessel = true;
            else if (in_vessel && w[0] == "END") break;
            else if (in_vessel && Lower(w[0]) == "rpos") rpos = static_cast<int>(i);
            else if (in_vessel && Lower(w[0]) == "rvel") rvel = static_cast<int>(i);
        }
        double r[3], v[3];
        const std::vector<std::string> rw = rpos >= 0 ? Words(lines[rpos]) : std::vector<std::string>();
        const std::vector<std::string> vw = rvel >= 0 ? Words(lines[rvel]) : std::vector<std::string>();
        bool ok = rw.size() >= 4 && vw.size() >= 4;
        for (int i = 0; ok && i < 3; ++i) ok = ParseNumber(rw[i + 1], &r[i]) && ParseNumber(vw[i + 1], &v[i]);
        if (!ok) {
            if (error) *error = "the scenario has no vessel " + name + " in flight (RPOS and RVEL lines) to disperse";
            return false;
        }
        DisperseVelocity(r, v, kv.second[0] * kDeg, kv.second[1] * kDeg, kv.second[2]);
        const std::string indent = lines[rvel].substr(0, lines[rvel].find_first_not_of(" \t"));
        lines[rvel] = indent + "RVEL " + FixedText(v[0], 4) + " " + FixedText(v[1], 4) + " " + FixedText(v[2], 4);
    }
    out->clear();
    for (const std::string &l : lines) *out += l + "\n";
    return true;
}

}  // namespace

bool MakeMission(const Campaign &c, const std::string &scenario_text, const std::string &inputs_text,
                 std::uint64_t campaign_seed, int index, Mission *out, std::string *error)
{
    Mission m;
    m.index = index;
    m.seed = MissionSeed(campaign_seed, index);
    Draws draws(m.seed);
    std::map<std::string, std::array<double, 3>> velocity;  // path angle, track, speed offsets by vessel
    std::vector<std::pair<std::string, std::array<double, 3>>> places;  // north, east, turn by vessel
    std::vector<std::pair<const Dispersion *, double>> times;
    std::vector<std::pair<std::string, double>> reactions;  // pilot word, value
    for (const Dispersion &d : c.dispersions) {
        double v = d.normal ? d.a + d.b * draws.Normal() : d.a + (d.b - d.a) * draws.Uniform();
        const DispersionKind *k = FindKind(d.kind);
        std::string note;
        if (d.kind.rfind("pilot-", 0) == 0) {
            const double held = std::clamp(v, 0.0, kMaxReaction);
            if (held != v) note = " (held at " + FixedText(held, 3) + ")";
            v = held;
            reactions.emplace_back(d.kind.substr(6), v);
        } else if (d.kind == "input-time") {
            times.emplace_back(&d, v);
        } else if (d.kind.rfind("place-", 0) == 0) {
            auto it = std::find_if(places.begin(), places.end(),
                                   [&](const auto &p) { return Lower(p.first) == Lower(d.target[0]); });
            if (it == places.end()) it = places.insert(places.end(), {d.target[0], {0, 0, 0}});
            it->second[d.kind == "place-north" ? 0 : d.kind == "place-east" ? 1 : 2] += v;
        } else {
            auto it = velocity.emplace(d.target[0], std::array<double, 3>{0, 0, 0}).first;
            it->second[d.kind == "path-angle" ? 0 : d.kind == "track" ? 1 : 2] += v;
        }
        m.drawn.push_back(d.Text() + " -> " + FixedText(v, 4) + " " + k->unit + note);
    }
    if (!DisperseScenario(scenario_text, velocity, &m.scenario, error)) return false;

    // The inputs, line by line: moved times, the pilot's reaction words, the place lines at the end.
    std::istringstream in(inputs_text);
    std::string raw;
    std::vector<bool> time_used(times.size(), false);
    bool pilot_seen = false;
    m.inputs = "# mission " + std::to_string(index) + " of a campaign, seed " + std::to_string(m.seed) + "\n";
    for (const std::string &l : m.drawn) m.inputs += "#   " + l + "\n";
    while (std::getline(in, raw)) {
        std::string body = raw;
        const auto hash = body.find('#');
        if (hash != std::string::npos) body.erase(hash);
        std::vector<std::string> w = Words(body);
        if (w.size() < 2) {
            m.inputs += raw + "\n";
            continue;
        }
        double t = std::strtod(w[0].c_str(), nullptr);
        bool changed = false;
        for (std::size_t i = 0; i < times.size(); ++i)
            if (SameWords(w, 1, times[i].first->target)) {
                t = std::max(0.0, t + times[i].second);
                time_used[i] = changed = true;
            }
        if (Lower(w[1]) == "pilot" && w.size() >= 3 && Lower(w[2]) == "recovery" && !reactions.empty()) {
            pilot_seen = changed = true;
            for (const auto &r : reactions) {
                const std::string prefix = r.first + "=";
                w.erase(std::remove_if(w.begin() + 3, w.end(),
                                       [&](const std::string &x) { return Lower(x).rfind(prefix, 0) == 0; }),
                        w.end());
                w.push_back(prefix + FixedText(r.second, 3));
            }
        }
        if (changed) {
            w[0] = FixedText(t, 3);
            m.inputs += Join(w) + "\n";
        } else {
            m.inputs += raw + "\n";
        }
    }
    for (std::size_t i = 0; i < times.size(); ++i)
        if (!time_used[i]) {
            if (error) *error = "the inputs have no line \"" + Join(times[i].first->target) + "\" to move";
            return false;
        }
    if (!reactions.empty() && !pilot_seen) {
        if (error) *error = "the inputs have no \"pilot recovery\" line for the pilot's reaction times";
        return false;
    }
    for (auto &p : places) p.second[2] = std::remainder(p.second[2], 360.0);  // a turn is a turn whatever its count
    for (const auto &p : places)
        m.inputs += "0 place " + p.first + " " + FixedText(p.second[0], 3) + " " + FixedText(p.second[1], 3) + " " +
                    FixedText(p.second[2], 3) + "\n";
    std::vector<harness::Input> check;
    std::string why;
    if (!harness::ParseInputs(m.inputs, "the mission's inputs", &check, &why)) {
        if (error) *error = why;
        return false;
    }
    *out = m;
    return true;
}

MissionResult ReadSummary(int index, const std::string &summary)
{
    MissionResult r;
    r.index = index;
    std::istringstream in(summary);
    std::string l;
    bool pilot = false;
    while (std::getline(in, l)) {
        if (l.rfind("recovery pilot of ", 0) == 0) pilot = true;
        if (!pilot) continue;
        if (l == "  no catch" || l == "  the capsule landed before it was caught") r.missed = l.substr(2);
        double t = 0, a = 0, b = 0, c = 0;
        char what[64] = "";
        if (std::sscanf(l.c_str(), " %lf %63[a-z ]", &t, what) != 2) continue;
        const std::string w = what;
        const char *rest = std::strstr(l.c_str(), what) + w.size();
        if (w == "capsule caught" || w == "capsule caught ") {
            r.catch_time = t;
        } else if (w == "closest approach before the catch") {
            if (std::sscanf(rest, ": %lf m horizontally", &a) == 1) r.approach = a;
        } else if (w == "capsule landed " || w == "helicopter landed ") {
            if (std::sscanf(rest, "%lf m from the heliport (%lf m east, %lf m north)", &a, &b, &c) == 3) {
                (w[0] == 'c' ? r.capsule_distance : r.heli_distance) = a;
                (w[0] == 'c' ? r.capsule_east : r.heli_east) = b;
                (w[0] == 'c' ? r.capsule_north : r.heli_north) = c;
            }
        }
    }
    return r;
}

double Percentile(const std::vector<double> &sorted, double p)
{
    if (sorted.empty()) return 0;
    const double n = static_cast<double>(sorted.size());
    const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(p / 100 * n - 1e-9)));
    return sorted[std::min(sorted.size(), rank) - 1];
}

namespace {

// --- pictures ------------------------------------------------------------------------------

void Line(HDC__ &rec, int x, int y, int x2, int y2, COLORREF color, int width = 1)
{
    HDC__::Op op{};
    op.type = HDC__::Op::LINE;
    op.x = x, op.y = y, op.x2 = x2, op.y2 = y2, op.color = color, op.width = width;
    rec.ops.push_back(op);
}

void Rect(HDC__ &rec, int l, int t, int r, int b, COLORREF color)
{
    HDC__::Op op{};
    op.type = HDC__::Op::RECTANGLE;
    op.x = l, op.y = t, op.x2 = r, op.y2 = b, op.color = color;
    rec.ops.push_back(op);
}

void Text(HDC__ &rec, int x, int y, const std::string &text, COLORREF color)
{
    HDC__::Op op{};
    op.type = HDC__::Op::TEXT;
    op.x = x, op.y = y, op.text = text, op.color = color, op.font = 0;
    rec.ops.push_back(op);
}

// The smallest of 1, 2 and 5 times a power of ten at or above v.
double NiceAbove(double v)
{
    if (!(v > 0)) return 1;
    const double p = std::pow(10.0, std::floor(std::log10(v)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= v * (1 - 1e-12)) return m * p;
    return 10 * p;
}

const COLORREF kAxis = RGB(160, 160, 160), kLabel = RGB(220, 220, 220);
const COLORREF kCapsuleColor = RGB(255, 160, 0), kHeliColor = RGB(80, 180, 255), kBarColor = RGB(0, 200, 80);

bool LandingsPicture(const std::vector<MissionResult> &rs, const std::string &path, std::string *error)
{
    constexpr int kSide = 640, kMargin = 70;
    HDC__ rec(kSide, kSide);
    double extent = 0;
    for (const MissionResult &r : rs) {
        if (r.capsule_distance >= 0) extent = std::max({extent, std::fabs(r.capsule_east), std::fabs(r.capsule_north)});
        if (r.heli_distance >= 0) extent = std::max({extent, std::fabs(r.heli_east), std::fabs(r.heli_north)});
    }
    extent = NiceAbove(std::max(extent, 10.0));
    const int c = kSide / 2, half = kSide / 2 - kMargin;
    auto px = [&](double east) { return c + static_cast<int>(std::lround(east / extent * half)); };
    auto py = [&](double north) { return c - static_cast<int>(std::lround(north / extent * half)); };
    Rect(rec, c - half, c - half, c + half, c + half, kAxis);
    Line(rec, c - half, c, c + half, c, kAxis);
    Line(rec, c, c - half, c, c + half, kAxis);
    for (int i = -2; i <= 2; ++i) {
        const int x = c + i * half / 2;
        Line(rec, x, c + half, x, c + half + 5, kAxis);
        Text(rec, x - 24, c + half + 8, FixedText(extent * i / 2, 0), kLabel);
        Line(rec, c - half - 5, c - i * half / 2, c - half, c - i * half / 2, kAxis);
        Text(rec, 4, c - i * half / 2 - 7, FixedText(extent * i / 2, 0), kLabel);
    }
    Text(rec, c - 120, kSide - 24, "east of the heliport [m]", kLabel);
    Text(rec, 4, 30, "north [m]", kLabel);
    Text(rec, kMargin, 8, "landing points around the heliport (+)", kLabel);
    Text(rec, kSide - 250, 30, "x capsule", kCapsuleColor);
    Text(rec, kSide - 150, 30, "o helicopter", kHeliColor);
    Line(rec, c - 8, c, c + 8, c, kLabel, 2);
    Line(rec, c, c - 8, c, c + 8, kLabel, 2);
    for (const MissionResult &r : rs) {
        if (r.heli_distance >= 0) {
            const int x = px(r.heli_east), y = py(r.heli_north);
            Rect(rec, x - 2, y - 2, x + 2, y + 2, kHeliColor);
        }
        if (r.capsule_distance >= 0) {
            const int x = px(r.capsule_east), y = py(r.capsule_north);
            Line(rec, x - 3, y - 3, x + 3, y + 3, kCapsuleColor);
            Line(rec, x - 3, y + 3, x + 3, y - 3, kCapsuleColor);
        }
    }
    return WritePng(rec, path, error);
}

bool CatchTimesPicture(const std::vector<double> &times, const std::string &path, std::string *error)
{
    constexpr int kW = 640, kH = 400, kLeft = 60, kRight = 20, kTop = 40, kBottom = 50, kMaxBins = 30;
    HDC__ rec(kW, kH);
    Text(rec, kLeft, 8, "catch times (missions a bin)", kLabel);
    const int x0 = kLeft, x1 = kW - kRight, y0 = kH - kBottom, y1 = kTop;
    Line(rec, x0, y0, x1, y0, kAxis);
    Line(rec, x0, y0, x0, y1, kAxis);
    if (times.empty()) {
        Text(rec, kW / 2 - 40, kH / 2, "no catch", kLabel);
        return WritePng(rec, path, error);
    }
    const double lo = *std::min_element(times.begin(), times.end()), hi = *std::max_element(times.begin(), times.end());
    const double width = NiceAbove(std::max(hi - lo, 1.0) / kMaxBins);
    const double start = std::floor(lo / width) * width;
    const int bins = std::max(1, static_cast<int>(std::floor((hi - start) / width)) + 1);
    std::vector<int> count(static_cast<std::size_t>(bins), 0);
    for (double t : times) ++count[static_cast<std::size_t>(std::min(bins - 1, static_cast<int>(std::floor((t - start) / width))))];
    const int top = *std::max_element(count.begin(), count.end());
    const double bw = static_cast<double>(x1 - x0) / bins;
    for (int i = 0; i < bins; ++i) {
        const int l = x0 + static_cast<int>(std::lround(i * bw)) + 1, r = x0 + static_cast<int>(std::lround((i + 1) * bw)) - 1;
        const int h = static_cast<int>(std::lround(static_cast<double>(count[i]) / top * (y0 - y1)));
        for (int x = l; x <= r && h > 0; ++x) Line(rec, x, y0 - 1, x, y0 - h, kBarColor);
    }
    for (int i = 0; i <= bins; i += std::max(1, bins / 5)) {
        const int x = x0 + static_cast<int>(std::lround(i * bw));
        Line(rec, x, y0, x, y0 + 5, kAxis);
        Text(rec, x - 20, y0 + 8, FixedText(start + i * width, 0), kLabel);
    }
    Text(rec, kW / 2 - 80, kH - 22, "simulation time [s]", kLabel);
    Text(rec, 4, y1 - 7, std::to_string(top), kLabel);
    Text(rec, 4, y0 - 7, "0", kLabel);
    return WritePng(rec, path, error);
}

// --- the runs ------------------------------------------------------------------------------

struct Options {
    std::string campaign, root, out = "campaign";
    bool root_given = false;
    int runs = -1, jobs = 0, replay = 0;
    std::uint64_t seed = 1;
};

std::string MissionDir(const std::string &out, int index)
{
    char b[32];
    std::snprintf(b, sizeof b, "missions/%04d", index);
    return (fs::path(out) / b).string();
}

// Writes a mission's files into its folder: mission.scn, mission.inputs, dispersions.txt.
bool WriteMission(const Mission &m, const std::string &dir, std::string *error)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    std::string d;
    for (const std::string &l : m.drawn) d += l + "\n";
    return WriteTextFile(dir + "/mission.scn", m.scenario, error) &&
           WriteTextFile(dir + "/mission.inputs", m.inputs, error) &&
           WriteTextFile(dir + "/dispersions.txt", d, error);
}

std::vector<std::string> RunArgs(const Mission &m, const std::string &dir, const std::string &root, bool summary_only)
{
    std::vector<std::string> a = {"run", dir + "/mission.scn", "--inputs", dir + "/mission.inputs", "--seed",
                                  std::to_string(m.seed), "--out", dir, "--root", root};
    if (summary_only) a.push_back("--summary-only");
    return a;
}

// Forks a child that flies one mission in its folder: the timeline to timeline.txt, errors to
// errors.txt, the host log there too. -1 when no child could be made.
// Every mesh file of the tree is read here once, before the first mission is forked: each
// mission's world then copies the parsed meshes instead of reading and parsing them again.
void ReadMeshesOnce(const std::string &root)
{
    KeepMeshFiles(true);
    std::error_code ec;
    const auto follow = fs::directory_options::follow_directory_symlink;
    for (fs::recursive_directory_iterator it(root + "/Meshes", follow, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->path().extension() != ".msh") continue;
        Mesh m;
        std::string why;
        LoadMeshFile(it->path().string(), &m, &why);  // a bad file is the mission's to report
    }
}

pid_t StartMission(const Mission &m, const std::string &dir, const std::string &root)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // The child: its own folder, its own outputs, then the run.
    int rc = 1;
    if (chdir(dir.c_str()) == 0) {
        const int o = open("timeline.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open("errors.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o >= 0 && e >= 0 && dup2(o, 1) >= 0 && dup2(e, 2) >= 0) {
            close(o), close(e);
            rc = RunCli(RunArgs(m, ".", root, true), std::cout, std::cerr);
            std::cout.flush();
            std::cerr.flush();
            std::fflush(nullptr);
        }
    }
    _exit(rc);
}

MissionResult FailedMission(int index, const std::string &why)
{
    MissionResult r;
    r.index = index;
    r.failure = why;
    return r;
}

std::string FirstLine(const std::string &path)
{
    std::string text, why;
    if (!ReadTextFile(path, &text, &why)) return "";
    const std::string l = text.substr(0, text.find('\n'));
    return l.size() > 200 ? l.substr(0, 200) + "..." : l;
}

MissionResult Finish(int index, const std::string &dir, int status, bool timed_out, double limit)
{
    MissionResult r;
    std::string summary, why;
    if (timed_out) {
        r.failure = "stopped at the time limit of " + Fmt("%g", limit) + " s";
    } else if (WIFSIGNALED(status)) {
        r.failure = "killed by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        const std::string e = FirstLine(dir + "/errors.txt");
        r.failure = "exited with status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                    (e.empty() ? std::string() : ": " + e);
    } else if (!ReadTextFile(dir + "/summary.txt", &summary, &why)) {
        r.failure = "no summary: " + why;
    }
    if (r.failure.empty()) r = ReadSummary(index, summary);
    r.index = index;
    return r;
}

// --- the report ----------------------------------------------------------------------------

struct Figure {
    const char *name;
    std::vector<double> values;
};

std::string FigureLine(const Figure &f)
{
    char b[256];
    std::vector<double> v = f.values;
    std::sort(v.begin(), v.end());
    if (v.empty()) {
        std::snprintf(b, sizeof b, "  %-32s %5d  %9s %9s %9s %9s\n", f.name, 0, "-", "-", "-", "-");
        return b;
    }
    std::snprintf(b, sizeof b, "  %-32s %5zu  %9.1f %9.1f %9.1f %9.1f\n", f.name, v.size(), Percentile(v, 5),
                  Percentile(v, 50), Percentile(v, 95), v.back());
    return b;
}

// How bad a mission went, worst first: a failed run, then no catch, then the farther capsule, then
// the later catch (the distances are whole metres: many are alike).
bool Worse(const MissionResult &a, const MissionResult &b)
{
    auto key = [](const MissionResult &r) {
        return std::make_tuple(r.failure.empty() ? 0 : 1, r.catch_time < 0 ? 1 : 0,
                               r.capsule_distance < 0 ? 1e300 : r.capsule_distance, r.catch_time, -r.index);
    };
    return key(a) > key(b);
}

std::string Describe(const MissionResult &r)
{
    if (!r.failure.empty()) return "run failed: " + r.failure;
    std::string s = r.catch_time >= 0 ? "caught at " + FixedText(r.catch_time, 1) + " s"
                    : "no catch" + (r.missed.empty() || r.missed == "no catch" ? std::string() : " (" + r.missed + ")");
    s += r.capsule_distance >= 0 ? ", capsule down " + FixedText(r.capsule_distance, 0) + " m from the heliport"
                                 : std::string(", no landing of the capsule under its parafoil");
    s += r.heli_distance >= 0 ? ", helicopter " + FixedText(r.heli_distance, 0) + " m" : std::string(", helicopter not landed");
    return s;
}

std::string Report(const Options &o, const Campaign &c, const std::vector<MissionResult> &rs)
{
    std::ostringstream f;
    f << "recovery campaign: " << rs.size() << " missions, seed " << o.seed << "\n";
    f << "campaign file: " << o.campaign << "\n";
    f << "scenario: " << fs::path(c.scenario).filename().string() << "\n";
    f << "dispersions (drawn in this order by each mission from its own seed):\n";
    for (const Dispersion &d : c.dispersions) f << "  " << d.Text() << " " << FindKind(d.kind)->unit << "\n";
    int failed = 0, caught = 0;
    Figure catch_t{"catch time [s]", {}}, approach{"closest approach [m]", {}};
    Figure capsule{"capsule from the heliport [m]", {}}, heli{"helicopter from the heliport [m]", {}};
    for (const MissionResult &r : rs) {
        if (!r.failure.empty()) ++failed;
        if (r.catch_time >= 0) ++caught, catch_t.values.push_back(r.catch_time);
        if (r.approach >= 0) approach.values.push_back(r.approach);
        if (r.capsule_distance >= 0) capsule.values.push_back(r.capsule_distance);
        if (r.heli_distance >= 0) heli.values.push_back(r.heli_distance);
    }
    const double n = std::max<std::size_t>(1, rs.size());
    f << "\nmissions flown: " << rs.size() << ", of which failed runs (crashed, stopped or over the time limit of "
      << Fmt("%g", c.time_limit) << " s): " << failed << "\n";
    f << "catch: " << caught << " of " << rs.size() << " missions (" << Fmt("%.1f", 100.0 * caught / n) << " %)\n";
    f << "\nfigures over the missions that have them (n); percentiles by nearest rank: the p % value is the\n"
         "ceil(p/100 n)-th smallest of the n values; worst: the latest catch, the largest approach or distance\n";
    char b[256];
    std::snprintf(b, sizeof b, "  %-32s %5s  %9s %9s %9s %9s\n", "", "n", "5 %", "median", "95 %", "worst");
    f << b;
    for (const Figure *fig : {&catch_t, &approach, &capsule, &heli}) f << FigureLine(*fig);
    f << "  (closest approach: horizontal distance from the capsule while above it, before the catch)\n";
    std::vector<MissionResult> worst = rs;
    std::stable_sort(worst.begin(), worst.end(), Worse);
    if (worst.size() > static_cast<std::size_t>(kWorstShown)) worst.resize(kWorstShown);
    f << "\nworst missions (a failed run, then no catch, then the farthest capsule, then the latest catch), each\n"
         "with the command "
         "that replays it (its scenario and inputs are also in missions/NNNN/ beside this report):\n";
    for (const MissionResult &r : worst) {
        f << "  mission " << r.index << ": " << Describe(r) << "\n";
        f << "    corvane-sim campaign " << ShellWord(o.campaign) << " --seed " << o.seed << " --replay " << r.index;
        if (o.root_given) f << " --root " << ShellWord(o.root);
        f << " --out replay-" << r.index << "\n";
    }
    f << "\nevery mission:\n";
    for (const MissionResult &r : rs) f << "  " << r.index << "  " << Describe(r) << "\n";
    f << "\npictures: landings.png (the landing points east and north of the heliport), catch-times.png\n"
         "(a histogram of the catch times)\n";
    return f.str();
}

const char *kUsage =
    "usage: corvane-sim campaign [CAMPAIGN] --runs N [--seed S] [--jobs J] [--out DIR] [--root DIR]\n"
    "       corvane-sim campaign [CAMPAIGN] --seed S --replay I [--out DIR] [--root DIR]\n"
    "\n"
    "Flies N missions of a campaign file's scenario (default: Scenarios/" "Corvane/Mission.campaign), each\n"
    "with dispersions drawn from its own seed (made of S and its number), J at a time in separate\n"
    "processes (default: one per core), and writes DIR/report.txt with landings.png and\n"
    "catch-times.png beside it (default DIR: ./campaign). --replay flies mission I of seed S alone\n"
    "with all of a run's outputs (default DIR: ./replay-I).\n";

}  // namespace

int RunCampaign(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    Options o;
    o.root = DefaultAddonRoot();
    bool out_given = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto number = [&](long long lo, long long hi, long long *v) {
            if (i + 1 >= args.size()) return false;
            const std::string &s = args[++i];
            char *end = nullptr;
            *v = std::strtoll(s.c_str(), &end, 10);
            return !s.empty() && !*end && *v >= lo && *v <= hi;
        };
        long long v = 0;
        if (a == "--help") {
            out << kUsage;
            return 0;
        } else if (a == "--runs") {
            if (!number(1, kMaxRuns, &v)) return err << "corvane-sim campaign: --runs needs a count from 1 to 1000000\n", 2;
            o.runs = static_cast<int>(v);
        } else if (a == "--jobs") {
            if (!number(1, 1024, &v)) return err << "corvane-sim campaign: --jobs needs a count from 1 to 1024\n", 2;
            o.jobs = static_cast<int>(v);
        } else if (a == "--replay") {
            if (!number(1, kMaxRuns, &v)) return err << "corvane-sim campaign: --replay needs a mission number\n", 2;
            o.replay = static_cast<int>(v);
        } else if (a == "--seed") {
            char *end = nullptr;
            if (i + 1 >= args.size() || args[i + 1].empty() || args[i + 1][0] == '-')
                return err << "corvane-sim campaign: --seed needs a whole number\n", 2;
            o.seed = std::strtoull(args[++i].c_str(), &end, 10);
            if (*end) return err << "corvane-sim campaign: --seed needs a whole number\n", 2;
        } else if (a == "--out") {
            if (i + 1 >= args.size()) return err << "corvane-sim campaign: --out needs a folder\n", 2;
            o.out = args[++i];
            out_given = true;
        } else if (a == "--root") {
            if (i + 1 >= args.size()) return err << "corvane-sim campaign: --root needs a folder\n", 2;
            o.root = args[++i];
            o.root_given = true;
        } else if (!a.empty() && a[0] == '-') {
            return err << "corvane-sim campaign: unknown option " << QuoteLine(a) << "\n" << kUsage, 2;
        } else if (o.campaign.empty()) {
            o.campaign = a;
        } else {
            return err << "corvane-sim campaign: more than one campaign file given\n", 2;
        }
    }
    if (o.runs < 0 && !o.replay) return err << "corvane-sim campaign: --runs N or --replay I is needed\n" << kUsage, 2;
    if (o.replay && !out_given) o.out = "replay-" + std::to_string(o.replay);

    // The campaign file: a path, or a name under <root>/Scenarios.
    const std::string given = o.campaign.empty() ? kDefaultCampaign : o.campaign;
    if (o.campaign.empty()) o.campaign = given;
    std::string path = given;
    if (!fs::exists(path))
        for (const std::string &c : {o.root + "/Scenarios/" + given, o.root + "/Scenarios/" + given + ".campaign"})
            if (fs::exists(c)) path = c;
    std::string text, why;
    if (!ReadTextFile(path, &text, &why))
        return err << "corvane-sim campaign: cannot read campaign file " << QuoteLine(given) << ": " << why << "\n", 1;
    Campaign c;
    const std::string folder = fs::absolute(fs::path(path)).parent_path().string();
    if (!ParseCampaign(text, path, folder, &c, &why)) return err << "corvane-sim campaign: " << why << "\n", 1;
    if (c.inputs.empty()) c.inputs = fs::path(c.scenario).replace_extension(".inputs").string();
    std::string scn_text, inputs_text;
    if (!ReadTextFile(c.scenario, &scn_text, &why) || !ReadTextFile(c.inputs, &inputs_text, &why))
        return err << "corvane-sim campaign: " << why << "\n", 1;
    const std::string root = fs::absolute(o.root).string();

    if (o.replay) {
        Mission m;
        if (!MakeMission(c, scn_text, inputs_text, o.seed, o.replay, &m, &why))
            return err << "corvane-sim campaign: mission " << o.replay << ": " << why << "\n", 1;
        const std::string dir = fs::absolute(o.out).string();
        if (!WriteMission(m, dir, &why)) return err << "corvane-sim campaign: " << why << "\n", 1;
        for (const std::string &l : m.drawn) out << "dispersion " << l << "\n";
        return RunCli(RunArgs(m, dir, root, false), out, err);
    }

    // The first mission made before any flies: dispersions that do not fit the scenario or its inputs
    // stop the campaign here. Each mission is made as it starts; one whose draws its inputs cannot
    // take (a place beyond 100 km) is a failed mission.
    Mission first;
    if (!MakeMission(c, scn_text, inputs_text, o.seed, 1, &first, &why))
        return err << "corvane-sim campaign: " << why << "\n", 1;
    std::error_code ec;
    fs::create_directories(o.out, ec);
    const std::string out_dir = fs::absolute(o.out).string();
    int jobs = o.jobs > 0 ? o.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    ReadMeshesOnce(root);

    struct Child {
        pid_t pid;
        int index;
        std::chrono::steady_clock::time_point start;
    };
    std::vector<Child> running;
    std::vector<MissionResult> results(static_cast<std::size_t>(o.runs));
    int next = 0, done = 0;
    const bool tty = isatty(2);
    const auto limit = std::chrono::duration<double>(c.time_limit);
    while (done < o.runs) {
        while (next < o.runs && static_cast<int>(running.size()) < jobs) {
            Mission m;
            const int index = next + 1;
            const std::string dir = MissionDir(out_dir, index);
            if (!MakeMission(c, scn_text, inputs_text, o.seed, index, &m, &why)) {
                results[static_cast<std::size_t>(next)] = FailedMission(index, "not made: " + why);
                ++done, ++next;
                continue;
            }
            if (!WriteMission(m, dir, &why)) return err << "corvane-sim campaign: " << why << "\n", 1;
            const pid_t pid = StartMission(m, dir, root);
            if (pid < 0) {
                results[static_cast<std::size_t>(next)] = FailedMission(index, "could not be started");
                ++done;
            } else {
                running.push_back({pid, m.index, std::chrono::steady_clock::now()});
            }
            ++next;
        }
        std::this_thread::sleep_for(kPoll);
        for (std::size_t k = 0; k < running.size();) {
            Child &ch = running[k];
            int status = 0;
            bool timed_out = false;
            pid_t got = waitpid(ch.pid, &status, WNOHANG);
            if (got == 0 && std::chrono::steady_clock::now() - ch.start > limit) {
                kill(ch.pid, SIGKILL);
                got = waitpid(ch.pid, &status, 0);
                timed_out = true;
            }
            if (got == 0) {
                ++k;
                continue;
            }
            results[static_cast<std::size_t>(ch.index - 1)] =
                Finish(ch.index, MissionDir(out_dir, ch.index), status, timed_out, c.time_limit);
            running.erase(running.begin() + static_cast<long>(k));
            ++done;
            if (tty) err << "\rcampaign: " << done << " of " << o.runs << " missions flown " << std::flush;
        }
    }
    if (tty) err << "\n";
    std::vector<double> times;
    for (const MissionResult &r : results)
        if (r.catch_time >= 0) times.push_back(r.catch_time);
    if (!WriteTextFile(out_dir + "/report.txt", Report(o, c, results), &why) ||
        !LandingsPicture(results, out_dir + "/landings.png", &why) ||
        !CatchTimesPicture(times, out_dir + "/catch-times.png", &why))
        return err << "corvane-sim campaign: " << why << "\n", 1;
    out << "campaign: " << o.runs << " missions, report in " << (fs::path(o.out) / "report.txt").string() << "\n";
    return 0;
}

}  // namespace sim
