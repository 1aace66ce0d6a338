// harness_test.h -- test support for whole runs of corvane-sim: fly a scenario of the build's
// add-on tree with its own inputs and read the timeline and the saved scenario.
#pragma once

#include "cli.h"
#include "testing/sim_test.h"

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace simtest {

// One row of a run's separations.csv: a child relative to its parent (global frame) in a frame
// around an attachment or a release.
struct SeparationRow {
    double t = 0;
    std::string event, child, parent;
    int k = 0;
    VECTOR3 d{}, dv{}, rot{}, rot0{};
    VECTOR3 s{};   // d at the frame's start, as the frame before published it
    VECTOR3 up{};  // the local vertical at the child
    double alt = 0;
};

inline std::vector<SeparationRow> ParseSeparations(const std::string &csv)
{
    std::vector<SeparationRow> rows;
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream ls(line);
        for (std::string w; std::getline(ls, w, ',');) f.push_back(w);
        if (f.size() != 24) continue;
        auto num = [&](int i) { return std::strtod(f[static_cast<std::size_t>(i)].c_str(), nullptr); };
        SeparationRow r;
        r.t = num(0), r.event = f[1], r.child = f[2], r.parent = f[3], r.k = std::atoi(f[4].c_str());
        r.d = _V(num(5), num(6), num(7)), r.dv = _V(num(8), num(9), num(10));
        r.rot = _V(num(11), num(12), num(13)), r.rot0 = _V(num(14), num(15), num(16));
        r.s = _V(num(17), num(18), num(19)), r.up = _V(num(20), num(21), num(22)), r.alt = num(23);
        rows.push_back(r);
    }
    return rows;
}

// The rows k = 0, 1, 2 of the first release in a run's rows (the frame the release is first seen
// in, the first and the second free frame); false when one is missing.
inline bool ReleaseFrames(const std::vector<SeparationRow> &rows, SeparationRow out[3])
{
    int found = 0;
    for (const SeparationRow &r : rows)
        if (r.event == "detach" && r.k >= 0 && r.k <= 2 && !(found & (1 << r.k))) {
            out[r.k] = r;
            found |= 1 << r.k;
        }
    return found == 7;
}

class HarnessTest : public SimTest {
protected:
    // Runs `corvane-sim run <args> --root <add-on tree> --out <out>`; the timeline and the error
    // output are kept. Returns the exit status.
    int Fly(std::vector<std::string> args, const std::string &out = "out")
    {
        std::ostringstream o, e;
        args.insert(args.begin(), "run");
        args.insert(args.end(), {"--root", AddonRoot(), "--out", out});
        const int rc = sim::RunCli(args, o, e);
        timeline = o.str();
        errors = e.str();
        return rc;
    }
    // The time of the first timeline line at or after t0 that holds `text`, or -1.
    double When(const std::string &text, double t0 = 0) const
    {
        std::istringstream in(timeline);
        std::string line;
        while (std::getline(in, line))
            if (line.find(text) != std::string::npos && std::stod(line) >= t0) return std::stod(line);
        return -1;
    }
    // The lines of one vessel's block in a saved scenario ("" when it is not there).
    static std::string Block(const std::string &scn, const std::string &name)
    {
        const auto b = scn.find("\n" + name + ":");
        if (b == std::string::npos) return "";
        return scn.substr(b + 1, scn.find("\nEND\n", b) - b);
    }

    std::string timeline, errors;
};

}  // namespace simtest
