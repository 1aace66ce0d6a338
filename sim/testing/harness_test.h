// harness_test.h -- test support for whole runs of corvane-sim: fly a scenario of the build's
// add-on tree with its own inputs and read the timeline and the saved scenario.
#pragma once

#include "cli.h"
#include "testing/sim_test.h"

#include <sstream>
#include <string>
#include <vector>

namespace simtest {

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
