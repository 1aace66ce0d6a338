// sim_test.h -- test support: a world rooted at the build's add-on tree, run in a temporary working
// folder of its own, with helpers to create and place vessels, step frames, press keys and read
// what the host received.
#pragma once

#include "world.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace simtest {

// The build's add-on tree (Config/, Meshes/, Modules/, ...).
std::string AddonRoot();
// The folder of the test-only modules (sim_test_vessel, Plugin/sim_test_plugin).
std::string TestModulesDir();
std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &text);  // creates folders

class SimTest : public ::testing::Test {
protected:
    void SetUp() override;     // a fresh temporary folder becomes the working folder
    void TearDown() override;  // the world ends, the folder is removed

    // What the test modules logged ("test: ..." lines of the host log), in order, from index `from` on.
    std::vector<std::string> Said(std::size_t from = 0)
    {
        std::vector<std::string> out;
        const auto &l = W().LogLines();
        for (std::size_t i = from; i < l.size(); ++i)
            if (l[i].rfind("test: ", 0) == 0) out.push_back(l[i].substr(6));
        return out;
    }

    // The world, made on first use from `options` (root = AddonRoot(), overlay = the temp folder).
    sim::World &W();
    sim::WorldOptions options;
    void EndWorld();  // ends the current world (modules unloaded); W() then makes a fresh one

    // A class config file in the test's own overlay (e.g. "Config/Vessels/X.cfg").
    void WriteConfig(const std::string &relpath, const std::string &text);

    // Vessels created as at run time, flying at a place: 100 km above (0, 0) unless placed.
    Vessel *Create(const std::string &name, const std::string &cls, double alt = 100e3);
    Vessel *CreateLanded(const std::string &name, const std::string &cls, double lng = 0, double lat = 0,
                         double hdg = 0);
    // Loads a scenario given as text (a whole .scn) and returns the vessel named `name` (or null).
    Vessel *LoadScenarioText(const std::string &scn, const std::string &name = "");
    // A scenario holding one vessel with the given lines between its name:class line and END.
    Vessel *LoadVessel(const std::string &name, const std::string &cls, const std::vector<std::string> &lines);

    // The vessel's saved lines (host lines first, then its own; no name line, no END).
    std::vector<std::string> Saved(Vessel *v);
    // The saved line beginning with a keyword (e.g. "CONFIGURATION"), trimmed; "" when none.
    std::string SavedLine(Vessel *v, const std::string &keyword);

    int Key(Vessel *v, DWORD key, bool shift = false);  // press (and release); the press's result
    void Step(int frames = 1) { W().RunFrames(frames); }
    void StepFor(double seconds) { W().RunFor(seconds); }

    std::string temp_dir;
    std::string old_dir;

private:
    std::unique_ptr<sim::World> world_;
};

}  // namespace simtest
