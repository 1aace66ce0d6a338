// world_reset_test.cpp -- a reset world is a fresh world: the shipped scenarios loaded, flown and
// saved one after the other in one world reset between them give the same saves and host log,
// byte for byte, as each in a new world (the fuzz targets fly their inputs this way).
#include "testing/sim_test.h"

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Flight {
    std::string save, log;
};

sim::WorldOptions Options()
{
    sim::WorldOptions o;
    o.root = simtest::AddonRoot();
    o.physics = true;
    o.load_plugins = true;
    o.log_path.clear();
    return o;
}

std::vector<std::string> ShippedScenarios()
{
    std::vector<std::string> out;
    const std::string dir = simtest::AddonRoot() + "/Scenarios/Corvane";
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 4 && n.compare(n.size() - 4, 4, ".scn") == 0) out.push_back(dir + "/" + n);
        }
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Loads, flies two seconds (the launch frames, a display's first refresh, the chute timers' first
// steps) and saves; then loads that save and saves it again.
Flight Fly(sim::World &w, const std::string &path)
{
    Flight f;
    std::string err;
    EXPECT_TRUE(w.LoadScenario(path, &err)) << path << ": " << err;
    w.RunFrames(100);
    f.save = w.SaveScenarioText();
    for (const std::string &l : w.LogLines()) f.log += l + "\n";
    return f;
}

}  // namespace

TEST(WorldResetTest, AResetWorldFliesAsAFreshOne)
{
    const std::vector<std::string> scenarios = ShippedScenarios();
    ASSERT_GE(scenarios.size(), 5u) << "the add-on's scenarios are missing from " << simtest::AddonRoot();
    std::vector<Flight> fresh;
    for (const std::string &s : scenarios) {
        sim::World w(Options());
        fresh.push_back(Fly(w, s));
    }
    // One world for all, in order, then backwards (so each follows another one than before), and
    // a scenario loaded into the world that has just flown it.
    auto w = std::make_unique<sim::World>(Options());
    bool first = true;
    auto check = [&](std::size_t i) {
        if (!first) w->Reset();
        first = false;
        const Flight f = Fly(*w, scenarios[i]);
        EXPECT_EQ(f.save, fresh[i].save) << scenarios[i];
        EXPECT_EQ(f.log, fresh[i].log) << scenarios[i];
    };
    for (std::size_t i = 0; i < scenarios.size(); ++i) check(i);
    for (std::size_t i = scenarios.size(); i-- > 0;) check(i);
    check(0);
    check(0);
}
