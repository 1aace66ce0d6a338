// modules.cpp -- loading module files as the real host does: a vessel class's configuration names
// its module in Modules/, instrument modules live in Modules/Plugin/. A module is loaded once per
// world and really unloaded when the world ends, so a fresh world starts with fresh module data.
#include "internal.h"

#include <dirent.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>

namespace sim {

namespace {

std::string Trim(const std::string &s)
{
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

template <class F>
F Sym(void *h, const char *name)
{
    return reinterpret_cast<F>(dlsym(h, name));
}

}  // namespace

std::string CleanLine(const std::string &line)
{
    std::string s = line;
    const auto c = s.find(';');
    if (c != std::string::npos) s.erase(c);
    return Trim(s);
}

bool ReadClassConfig(const std::string &path, ClassConfig *out, std::string *error)
{
    std::ifstream f(path);
    if (!f) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::string line;
    int n = 0;
    while (std::getline(f, line)) {
        ++n;
        line = CleanLine(line);
        if (line.empty()) continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;  // lines the stand-in does not use
        const std::string key = Trim(line.substr(0, eq)), val = Trim(line.substr(eq + 1));
        if (strcasecmp(key.c_str(), "ClassName") == 0) out->class_name = val;
        else if (strcasecmp(key.c_str(), "Module") == 0) out->module = val;
        else if (strcasecmp(key.c_str(), "MeshName") == 0) out->mesh_name = val;
        else if (strcasecmp(key.c_str(), "TouchdownPoints") == 0) {
            // Nine numbers, as Vessel::ReadGenericCaps reads them; anything else leaves the defaults.
            double p[9];
            if (std::sscanf(val.c_str(), "%lf%lf%lf%lf%lf%lf%lf%lf%lf", &p[0], &p[1], &p[2], &p[3], &p[4], &p[5], &p[6],
                            &p[7], &p[8]) == 9) {
                out->has_touchdown = true;
                for (int i = 0; i < 3; ++i) out->touchdown[i] = _V(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
            }
        }
        else if (strcasecmp(key.c_str(), "Size") == 0 || strcasecmp(key.c_str(), "Mass") == 0 ||
                 strcasecmp(key.c_str(), "EmptyMass") == 0) {
            char *end = nullptr;
            const double d = std::strtod(val.c_str(), &end);
            if (end == val.c_str()) {
                if (error) *error = path + ":" + std::to_string(n) + ": " + key + " is not a number";
                return false;
            }
            if (strcasecmp(key.c_str(), "Size") == 0) out->has_size = true, out->size = d;
            else out->has_mass = true, out->mass = d;
        }
    }
    return true;
}

Module *World::LoadModule(const std::string &name, bool plugin, std::string *error)
{
    for (auto &m : modules_)
        if (m->name == name && m->plugin == plugin) return m.get();
    std::string base = name;
    // A module named with a folder or a Windows file name still finds its shared object.
    if (base.size() > 4 && strcasecmp(base.c_str() + base.size() - 4, ".dll") == 0) base.resize(base.size() - 4);
    std::string path = root_ + (plugin ? "/Modules/Plugin/" : "/Modules/") + base + ".so";
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        for (const std::string &dir : opt_.module_dirs) {
            const std::string alt = dir + (plugin ? "/Plugin/" : "/") + base + ".so";
            if (::stat(alt.c_str(), &st) == 0) {
                path = alt;
                break;
            }
        }
    }
    if (::stat(path.c_str(), &st) != 0) {
        if (error) *error = "module file " + path + " not found";
        return nullptr;
    }
    void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        if (error) *error = std::string("module ") + path + " cannot be loaded: " + dlerror();
        return nullptr;
    }
    auto m = std::make_unique<Module>();
    m->name = name;
    m->path = path;
    m->handle = h;
    m->plugin = plugin;
    m->ovcInit = Sym<VESSEL *(*)(OBJHANDLE, int)>(h, "ovcInit");
    m->ovcExit = Sym<void (*)(VESSEL *)>(h, "ovcExit");
    m->InitModule = Sym<void (*)(HINSTANCE)>(h, "InitModule");
    m->ExitModule = Sym<void (*)(HINSTANCE)>(h, "ExitModule");
    m->opcPreStep = Sym<void (*)(double, double, double)>(h, "opcPreStep");
    m->opcFocusChanged = Sym<void (*)(OBJHANDLE, OBJHANDLE)>(h, "opcFocusChanged");
    if (!plugin && !m->ovcInit) {
        if (error) *error = "module " + path + " has no entry point ovcInit";
        dlclose(h);
        return nullptr;
    }
    if (plugin && !m->InitModule && !m->opcPreStep) {
        if (error) *error = "instrument module " + path + " has none of the entry points InitModule, opcPreStep";
        dlclose(h);
        return nullptr;
    }
    Module *raw = m.get();
    modules_.push_back(std::move(m));
    Log("module loaded: " + path);
    if (plugin) plugins_.push_back(raw);
    if (raw->InitModule) {
        Busy busy(*this);
        raw->InitModule(reinterpret_cast<HINSTANCE>(h));
    }
    return raw;
}

Module *World::LoadPlugin(const std::string &name)
{
    std::string error;
    Module *m = LoadModule(name, true, &error);
    if (!m) Log("instrument module not loaded: " + error);
    return m;
}

void World::LoadPlugins()
{
    const std::string dir = root_ + "/Modules/Plugin";
    DIR *d = opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent *e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 3 && n.compare(n.size() - 3, 3, ".so") == 0) names.push_back(n.substr(0, n.size() - 3));
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string &n : names) LoadPlugin(n);
}

void World::UnloadModules()
{
    for (auto it = modules_.rbegin(); it != modules_.rend(); ++it)
        if ((*it)->handle) dlclose((*it)->handle);
    modules_.clear();
    plugins_.clear();
}

}  // namespace sim
