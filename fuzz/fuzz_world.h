// fuzz_world.h -- the world the scenario and save targets fly their inputs in: one world rooted at
// the build's add-on tree (or $CORVANE_ADDON_ROOT), reset between inputs. A reset starts it afresh
// as a new world would be but keeps the module files loaded and the mesh files parsed, which is
// what made a new world per input slow (a fuzz run reads the same few files thousands of times).
//
// The add-on's modules are also opened once here and kept mapped: a module built with the fuzzer's
// coverage must stay mapped for the whole run (the fuzzer keeps reading its counters). So
// module-wide data lives on from one input to the next, unlike in corvane-sim, where each world
// starts with freshly loaded modules; each flight still gets the modules' InitModule and ExitModule.
#pragma once

#include "world.h"

#include <dirent.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzworld {

inline sim::World *&Slot()
{
    static sim::World *w = nullptr;
    return w;
}

inline std::string &Root()
{
    static std::string root;
    return root;
}

inline void KeepModulesOpen(const char *target, const std::string &dir)
{
    DIR *d = opendir(dir.c_str());
    if (!d) return;
    while (dirent *e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.size() <= 3 || n.compare(n.size() - 3, 3, ".so") != 0) continue;
        const std::string path = dir + "/" + n;
        if (!dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE))
            std::fprintf(stderr, "%s: cannot open %s: %s\n", target, path.c_str(), dlerror());
    }
    closedir(d);
}

inline void Initialize(const char *target)
{
    const char *env = std::getenv("CORVANE_ADDON_ROOT");
    Root() = env ? env : CORVANE_BUILD_ADDON;
    KeepModulesOpen(target, Root() + "/Modules");
    KeepModulesOpen(target, Root() + "/Modules/Plugin");
}

// The world, fresh for the next flight (made at the first call, reset at the others).
inline sim::World &Fresh()
{
    sim::World *&w = Slot();
    if (w) {
        w->Reset();
        return *w;
    }
    sim::WorldOptions o;
    o.root = Root();
    o.physics = true;
    o.load_plugins = true;
    o.log_path.clear();  // no host log file (the lines stay in memory)
    w = new sim::World(o);  // kept to the end of the run
    return *w;
}

}  // namespace fuzzworld
