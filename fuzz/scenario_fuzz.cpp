// scenario_fuzz.cpp -- libFuzzer target: the scenario file reader with the modules behind it. Each
// input is loaded as a scenario's text into a fresh world rooted at the build's add-on tree (the
// vessel classes' modules read their own lines), flown for a few frames and saved again.
//
// The add-on's modules are opened once here and kept open: a world unloads its modules when it
// ends, but a module built with the fuzzer's coverage must stay mapped for the whole run (the
// fuzzer keeps reading its counters). So module-wide data lives on from one input to the next,
// unlike in corvane-sim, where each world starts with freshly loaded modules.
#include "world.h"

#include <dirent.h>
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string g_root;

void KeepModulesOpen(const std::string &dir)
{
    DIR *d = opendir(dir.c_str());
    if (!d) return;
    while (dirent *e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.size() <= 3 || n.compare(n.size() - 3, 3, ".so") != 0) continue;
        const std::string path = dir + "/" + n;
        if (!dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE))
            std::fprintf(stderr, "fuzz_scenario: cannot open %s: %s\n", path.c_str(), dlerror());
    }
    closedir(d);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const char *env = std::getenv("CORVANE_ADDON_ROOT");
    g_root = env ? env : CORVANE_BUILD_ADDON;
    KeepModulesOpen(g_root + "/Modules");
    KeepModulesOpen(g_root + "/Modules/Plugin");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    sim::WorldOptions o;
    o.root = g_root;
    o.physics = true;
    o.load_plugins = true;
    o.log_path.clear();  // no host log file per input (the lines stay in memory)
    sim::World w(o);
    std::string error;
    if (!w.LoadScenarioText(text, &error, "fuzz.scn")) return 0;
    w.RunFrames(3);
    (void)w.SaveScenarioText();
    return 0;
}
