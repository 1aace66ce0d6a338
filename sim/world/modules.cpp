// modules.cpp -- loading module files as the real host does: a vessel class's configuration names
// its module in Modules/, instrument modules live in Modules/Plugin/. A module is loaded once per
// world and really unloaded when the world ends, so a fresh world starts with fresh module data.
#include "internal.h"
#include "textio.h"

#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>
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

// What this host can load: shared objects of its own class, byte order and machine.
#if __SIZEOF_POINTER__ == 8
constexpr unsigned char kElfClass = ELFCLASS64;
#else
constexpr unsigned char kElfClass = ELFCLASS32;
#endif
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned char kElfData = ELFDATA2LSB;
#else
constexpr unsigned char kElfData = ELFDATA2MSB;
#endif
#if defined(__x86_64__)
constexpr int kElfMachine = EM_X86_64;
#elif defined(__i386__)
constexpr int kElfMachine = EM_386;
#elif defined(__aarch64__)
constexpr int kElfMachine = EM_AARCH64;
#elif defined(__arm__)
constexpr int kElfMachine = EM_ARM;
#elif defined(__riscv)
constexpr int kElfMachine = EM_RISCV;
#else
constexpr int kElfMachine = -1;  // not checked
#endif

// Reads exactly n bytes at offset; false when the file has fewer.
bool ReadAt(int fd, void *buf, std::size_t n, off_t offset)
{
    auto *p = static_cast<char *>(buf);
    while (n > 0) {
        const ssize_t r = ::pread(fd, p, n, offset);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
        offset += r;
    }
    return true;
}

// True when [offset, offset + length) lies inside a file of `size` bytes (no overflow).
bool InsideFile(std::uint64_t offset, std::uint64_t length, std::uint64_t size)
{
    return offset <= size && length <= size - offset;
}

// Why a module file cannot be handed to the dynamic loader, or "" when it can. The loader maps
// the file's segments and touches them: a file cut short makes it read past the end of the file
// and the process dies (SIGBUS), so the header, the program headers and every segment's bytes
// must lie inside the file before dlopen sees it. The real host's LoadLibrary fails cleanly on
// such a file, and the host logs it and goes on (Src/Orbiter/Vessel.cpp, Vessel::LoadModule:
// "Could not load vessel module"; Src/Orbiter/Orbiter.cpp, Orbiter::LoadModule for plugins).
// A file changed between this check and dlopen is not guarded against.
std::string ModuleFileProblem(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::string("cannot open it: ") + std::strerror(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return "not a regular file";
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size == 0) return "the file is empty";

    unsigned char ident[EI_NIDENT] = {};
    if (size < EI_NIDENT || !ReadAt(fd, ident, EI_NIDENT, 0) || std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return "not an ELF shared object";
    if (ident[EI_CLASS] != kElfClass)
        return std::string("an ELF file of another class (") + (ident[EI_CLASS] == ELFCLASS32 ? "32-bit" :
               ident[EI_CLASS] == ELFCLASS64 ? "64-bit" : "unknown") + ", this host is " +
               (kElfClass == ELFCLASS64 ? "64-bit" : "32-bit") + ")";
    if (ident[EI_DATA] != kElfData) return "an ELF file of the other byte order";
    if (ident[EI_VERSION] != EV_CURRENT) return "an ELF file of an unknown version";

    ElfW(Ehdr) eh;
    if (size < sizeof eh || !ReadAt(fd, &eh, sizeof eh, 0)) return "cut short inside its ELF header";
    if (eh.e_type != ET_DYN) return "not a shared object (ELF type " + std::to_string(eh.e_type) + ")";
    if (kElfMachine >= 0 && eh.e_machine != kElfMachine)
        return "built for another machine (ELF machine " + std::to_string(eh.e_machine) + ")";
    if (eh.e_phentsize != sizeof(ElfW(Phdr)) || eh.e_phnum == 0 || eh.e_phnum == PN_XNUM)
        return "no usable program headers";
    const std::uint64_t ph_bytes = std::uint64_t(eh.e_phnum) * sizeof(ElfW(Phdr));
    if (!InsideFile(eh.e_phoff, ph_bytes, size)) return "cut short inside its program headers";
    std::vector<ElfW(Phdr)> ph(eh.e_phnum);
    if (!ReadAt(fd, ph.data(), ph_bytes, static_cast<off_t>(eh.e_phoff)))
        return "cut short inside its program headers";
    bool load = false, dynamic = false;
    for (const ElfW(Phdr) &p : ph) {
        if (p.p_type == PT_LOAD) {
            load = true;
            if (p.p_filesz > p.p_memsz) return "a segment larger in the file than in memory";
        }
        if (p.p_type == PT_DYNAMIC) dynamic = true;
        if (p.p_filesz > 0 && !InsideFile(p.p_offset, p.p_filesz, size))
            return "cut short (a segment ends at byte " + std::to_string(p.p_offset + p.p_filesz) + " of " +
                   std::to_string(size) + ")";
    }
    if (!load) return "no loadable segment";
    if (!dynamic) return "no dynamic section (not a shared object)";
    return "";
}

}  // namespace

std::string CleanLine(const std::string &line)
{
    std::string s = line;
    const auto c = s.find(';');
    if (c != std::string::npos) s.erase(c);
    return Trim(s);
}

bool ParseClassConfig(const std::string &text, const std::string &source, ClassConfig *out, std::string *error)
{
    std::istringstream f(text);
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
            // The whole value a finite number above zero: "12abc", a negative, zero or NaN size or
            // mass is refused, not read as far as it goes.
            char *end = nullptr;
            const double d = std::strtod(val.c_str(), &end);
            if (end == val.c_str() || *end != '\0' || !std::isfinite(d) || !(d > 0)) {
                if (error)
                    *error = source + ":" + std::to_string(n) + ": " + key + " must be a finite number above 0, found " +
                             QuoteLine(val);
                return false;
            }
            if (strcasecmp(key.c_str(), "Size") == 0) out->has_size = true, out->size = d;
            else out->has_mass = true, out->mass = d;
        }
    }
    return true;
}

bool ReadClassConfig(const std::string &path, ClassConfig *out, std::string *error)
{
    std::string text, why;
    if (!ReadTextFile(path, &text, &why)) {  // bounded, as a scenario
        if (error) *error = "cannot read " + why;
        return false;
    }
    return ParseClassConfig(text, path, out, error);
}

Module *World::LoadModule(const std::string &name, bool plugin, std::string *error)
{
    for (auto &m : modules_)
        if (m->name == name && m->plugin == plugin) {
            if (!m->active) ActivateModule(m.get());  // kept loaded through a reset
            return m.get();
        }
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
    // A damaged or foreign file is refused as a missing one is, with the reason.
    const std::string problem = ModuleFileProblem(path);
    if (!problem.empty()) {
        if (error) *error = "module file " + path + " cannot be loaded: " + problem;
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
    m->opcPostStep = Sym<void (*)(double, double, double)>(h, "opcPostStep");
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
    raw->active = false;
    modules_.push_back(std::move(m));
    ActivateModule(raw);
    return raw;
}

void World::ActivateModule(Module *m)
{
    m->active = true;
    Log("module loaded: " + m->path);
    if (m->plugin) plugins_.push_back(m);
    if (m->InitModule) {
        Busy busy(*this);
        m->InitModule(reinterpret_cast<HINSTANCE>(m->handle));
    }
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
