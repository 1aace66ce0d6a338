// sim_test.cpp -- the test fixture: a world in a temporary working folder of its own.
#include "testing/sim_test.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace simtest {

std::string AddonRoot()
{
    if (const char *env = std::getenv("CORVANE_ADDON_ROOT")) return env;
#ifdef CORVANE_BUILD_ADDON
    return CORVANE_BUILD_ADDON;
#else
    return ".";
#endif
}

std::string TestModulesDir()
{
#ifdef CORVANE_TEST_MODULES
    return CORVANE_TEST_MODULES;
#else
    return ".";
#endif
}

std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void WriteFile(const std::string &path, const std::string &text)
{
    const fs::path p(path);
    if (p.has_parent_path()) fs::create_directories(p.parent_path());
    std::ofstream f(path, std::ios::binary);
    f << text;
}

void SimTest::SetUp()
{
    char tmpl[] = "/tmp/corvane-test-XXXXXX";
    const char *d = mkdtemp(tmpl);
    ASSERT_NE(d, nullptr);
    temp_dir = d;
    old_dir = fs::current_path().string();
    fs::current_path(temp_dir);
    options.root = AddonRoot();
    options.overlay = temp_dir;
    options.module_dirs = {TestModulesDir()};
}

void SimTest::TearDown()
{
    world_.reset();
    if (!old_dir.empty()) fs::current_path(old_dir);
    std::error_code ec;
    if (!temp_dir.empty()) fs::remove_all(temp_dir, ec);
}

sim::World &SimTest::W()
{
    if (!world_) world_ = std::make_unique<sim::World>(options);
    return *world_;
}

void SimTest::EndWorld() { world_.reset(); }

void SimTest::WriteConfig(const std::string &relpath, const std::string &text)
{
    WriteFile(temp_dir + "/" + relpath, text);
}

Vessel *SimTest::Create(const std::string &name, const std::string &cls, double alt)
{
    return W().CreateVesselAt(name, cls, 0, 0, alt);
}

Vessel *SimTest::CreateLanded(const std::string &name, const std::string &cls, double lng, double lat, double hdg)
{
    return W().CreateVesselLanded(name, cls, lng, lat, hdg);
}

Vessel *SimTest::LoadScenarioText(const std::string &scn, const std::string &name)
{
    std::string err;
    if (!W().LoadScenarioText(scn, &err)) {
        ADD_FAILURE() << "scenario not loaded: " << err;
        return nullptr;
    }
    if (name.empty()) return W().Vessels().empty() ? nullptr : W().Vessels().back();
    return W().FindVessel(name);
}

Vessel *SimTest::LoadVessel(const std::string &name, const std::string &cls, const std::vector<std::string> &lines)
{
    std::string s = "BEGIN_SHIPS\n" + name + ":" + cls + "\n";
    for (const std::string &l : lines) s += "  " + l + "\n";
    s += "END\nEND_SHIPS\n";
    return LoadScenarioText(s, name);
}

std::vector<std::string> SimTest::Saved(Vessel *v)
{
    std::vector<std::string> out;
    for (std::string l : W().SaveVesselLines(v)) {
        const auto b = l.find_first_not_of(' ');
        out.push_back(b == std::string::npos ? "" : l.substr(b));
    }
    return out;
}

std::string SimTest::SavedLine(Vessel *v, const std::string &keyword)
{
    for (const std::string &l : Saved(v))
        if (l.compare(0, keyword.size(), keyword) == 0 &&
            (l.size() == keyword.size() || l[keyword.size()] == ' '))
            return l;
    return "";
}

int SimTest::Key(Vessel *v, DWORD key, bool shift) { return W().PressKey(key, shift, v); }

}  // namespace simtest
