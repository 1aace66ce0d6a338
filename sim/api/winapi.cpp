// winapi.cpp -- the Windows module functions and C runtime names the modules use, on Linux.
// GetModuleHandleA finds a library already loaded in the process by its Windows file name:
// "OrbiterSound.dll" finds a loaded "OrbiterSound.so" or "libOrbiterSound.so" (names compared
// without regard to case); nothing is ever loaded by it.
#include "Orbitersdk.h"

#include <dlfcn.h>
#include <link.h>

#include <cctype>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

std::string Lower(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Search {
    std::string want;  // lower-case base name without extension
    std::string found;
};

int VisitObject(dl_phdr_info *info, size_t, void *data)
{
    auto *s = static_cast<Search *>(data);
    if (!info->dlpi_name || !*info->dlpi_name) return 0;
    std::string path = info->dlpi_name;
    std::string base = path.substr(path.find_last_of('/') + 1);
    std::string lower = Lower(base);
    const auto so = lower.find(".so");
    if (so == std::string::npos) return 0;
    lower.resize(so);
    if (lower == s->want || lower == "lib" + s->want) {
        s->found = path;
        return 1;
    }
    return 0;
}

}  // namespace

extern "C" {

HMODULE GetModuleHandleA(const char *name)
{
    if (!name) return nullptr;
    std::string want = Lower(name);
    want = want.substr(want.find_last_of("/\\") + 1);
    if (want.size() > 4 && want.compare(want.size() - 4, 4, ".dll") == 0) want.resize(want.size() - 4);
    Search s{want, ""};
    dl_iterate_phdr(VisitObject, &s);
    if (s.found.empty()) return nullptr;
    // RTLD_NOLOAD: only a library that is already in the process; the reference is given back at
    // once, the library stays as long as whoever loaded it keeps it.
    void *h = dlopen(s.found.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return reinterpret_cast<HMODULE>(h);
}

FARPROC GetProcAddress(HMODULE module, const char *name)
{
    if (!module || !name) return nullptr;
    return reinterpret_cast<FARPROC>(dlsym(reinterpret_cast<void *>(module), name));
}

int _strnicmp(const char *a, const char *b, std::size_t n)
{
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    return strncasecmp(a, b, n);
}

int _stricmp(const char *a, const char *b)
{
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    return strcasecmp(a, b);
}

}  // extern "C"
