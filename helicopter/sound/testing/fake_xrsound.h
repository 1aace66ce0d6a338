// fake_xrsound.h -- test side of the stand-in XRSound: loads one build of it into the process (as
// the simulator would have loaded the real library as a plugin) and reads the calls it recorded.
#pragma once

#include <dlfcn.h>

#include <string>
#include <vector>

namespace fakexrsound {

struct Library {
    void *handle = nullptr;
    int (*call_count)() = nullptr;
    const char *(*call)(int) = nullptr;
    void (*reset)() = nullptr;
    void (*refuse)(int) = nullptr;

    // Loads the library at `path` once per process (RTLD_GLOBAL, as a host-loaded plugin).
    static Library &Load(const std::string &path)
    {
        static Library lib;
        if (!lib.handle) {
            lib.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
            if (lib.handle) {
                lib.call_count = reinterpret_cast<int (*)()>(dlsym(lib.handle, "FakeXRSound_CallCount"));
                lib.call = reinterpret_cast<const char *(*)(int)>(dlsym(lib.handle, "FakeXRSound_Call"));
                lib.reset = reinterpret_cast<void (*)()>(dlsym(lib.handle, "FakeXRSound_Reset"));
                lib.refuse = reinterpret_cast<void (*)(int)>(dlsym(lib.handle, "FakeXRSound_Refuse"));
            }
        }
        return lib;
    }

    bool ok() const { return handle && call_count && call && reset && refuse; }

    std::vector<std::string> Calls() const
    {
        std::vector<std::string> out;
        for (int i = 0; i < call_count(); ++i) out.emplace_back(call(i));
        return out;
    }
};

}  // namespace fakexrsound
