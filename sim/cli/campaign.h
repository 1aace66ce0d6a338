// campaign.h -- corvane-sim campaign: a recovery campaign over dispersed missions. A campaign file
// names a scenario and its inputs and the dispersions a mission designer sets (each with its
// distribution and spread); each mission draws its own from a seed made of the campaign's seed and
// its number, is flown as a run of its own in a child process, and the report gathers what the
// missions did: the share with a catch, the catch times and closest approaches, the landing
// distances from the heliport, the worst missions with the command that replays each, and two
// pictures (the landing points, the catch times).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace sim {

// One dispersion of a campaign file: "<kind> [<target words>] normal <mean> <sigma>" or
// "... uniform <low> <high>".
struct Dispersion {
    std::string kind;                  // path-angle, speed, track, input-time, place-north, ...
    std::vector<std::string> target;   // the vessel, or the input line's words (input-time)
    bool normal = true;                // normal (mean, sigma) or uniform (low, high)
    double a = 0, b = 0;
    int line = 0;                      // in the campaign file
    std::string Text() const;          // as the file would write it
};

struct Campaign {
    std::string scenario, inputs;      // paths as the file gives them, resolved against its folder
    double time_limit = 600;           // [s] of wall time a mission may take before it is stopped
    std::vector<Dispersion> dispersions;
};

// Reads a campaign file's text; false with "SOURCE:LINE: message". `folder` resolves relative paths.
bool ParseCampaign(const std::string &text, const std::string &source, const std::string &folder, Campaign *out,
                   std::string *error);

// The seed of mission `index` (1, 2, ...) of a campaign flown with seed `seed`, and the draws a
// seed gives: uniform in [0, 1) (the upper 53 bits of SplitMix64's output) and normal (Box and
// Muller's transform of two uniform draws).
std::uint64_t MissionSeed(std::uint64_t seed, int index);
class Draws {
public:
    explicit Draws(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    double Uniform();
    double Normal();

private:
    std::uint64_t state_;
};

// The velocity `v` at position `r` (both relative to the body's centre, in the host's left-handed
// frame) with its flight-path angle raised by `d_angle` [rad], its track turned clockwise seen from
// above by `d_track` [rad], and its speed changed by `d_speed` [m/s].
void DisperseVelocity(const double r[3], double v[3], double d_angle, double d_track, double d_speed);

// One mission made from a campaign: the scenario and inputs texts with its dispersions applied, and
// the values drawn (one line each, "<dispersion text> -> <value>").
struct Mission {
    int index = 0;
    std::uint64_t seed = 0;
    std::string scenario, inputs;
    std::vector<std::string> drawn;
};
bool MakeMission(const Campaign &c, const std::string &scenario_text, const std::string &inputs_text,
                 std::uint64_t campaign_seed, int index, Mission *out, std::string *error);

// What the report reads from a mission's summary; a figure missing is negative (distances) or
// absent (catch_time < 0).
struct MissionResult {
    int index = 0;
    std::string failure;  // "" when the run ended normally
    double catch_time = -1, approach = -1;
    double capsule_distance = -1, capsule_east = 0, capsule_north = 0;
    double heli_distance = -1, heli_east = 0, heli_north = 0;
    std::string missed;   // without a catch, what the pilot said of it ("the capsule landed before it was caught")
};
MissionResult ReadSummary(int index, const std::string &summary);

// The nearest-rank percentile of sorted values: the ceil(p/100 n)-th smallest (the first for p 0).
double Percentile(const std::vector<double> &sorted, double p);

// corvane-sim campaign [CAMPAIGN] --runs N --seed S [--jobs J] [--out DIR] [--root DIR] [--replay I]:
// the command's whole work; the exit status (0 done, 1 a file could not be read or written, 2 bad
// usage). A failed mission is reported, not an error of the campaign.
int RunCampaign(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

}  // namespace sim
