// module_file_test.cpp -- module files that cannot be loaded (cut short, not ELF, empty, of another
// class or machine) are refused before the dynamic loader sees them, reported as a missing module
// is, and the world goes on.
#include "testing/sim_test.h"

#include <elf.h>
#include <link.h>

#include <algorithm>
#include <cstring>

using simtest::SimTest;

namespace {

class ModuleFileTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        mods = temp_dir + "/mods";
        options.module_dirs.push_back(mods);  // searched after the test modules' folder
        WriteConfig("Config/Vessels/simtest.cfg", "ClassName = simtest\nModule = sim_test_vessel\n");
        good = simtest::ReadFile(simtest::TestModulesDir() + "/sim_test_vessel.so");
        ASSERT_GT(good.size(), 4096u);
        // Where the loaded bytes end (the rest of the file, debug sections, is never mapped):
        // read from the module's own program headers.
        ElfW(Ehdr) eh;
        std::memcpy(&eh, good.data(), sizeof eh);
        for (int i = 0; i < eh.e_phnum; ++i) {
            ElfW(Phdr) ph;
            std::memcpy(&ph, good.data() + eh.e_phoff + i * sizeof ph, sizeof ph);
            if (ph.p_type == PT_LOAD) loaded_end = std::max<std::size_t>(loaded_end, ph.p_offset + ph.p_filesz);
        }
        ASSERT_GT(loaded_end, 4096u);
        // Cut in the middle of what the loader maps: it would map pages past the end of the file
        // and die touching them (SIGBUS) before this check existed.
        cut = good.substr(0, loaded_end / 2);
    }
    // A module file in the test's own module folder and a class served by it.
    void BadModule(const std::string &name, const std::string &bytes)
    {
        simtest::WriteFile(mods + "/" + name + ".so", bytes);
        WriteConfig("Config/" + name + ".cfg", "ClassName = " + name + "\nModule = " + name + "\n");
    }
    // The log line that tells why the vessel of class `name` was not made.
    std::string WhyNotCreated(const std::string &name)
    {
        EXPECT_EQ(Create("V_" + name, name), nullptr) << name;
        return W().LogLines().back();
    }
    std::string Refusal(const std::string &name, const std::string &reason)
    {
        return "module file " + mods + "/" + name + ".so cannot be loaded: " + reason;
    }
    std::string mods, good, cut;
    std::size_t loaded_end = 0;
};

// A 32-bit shared object's ELF header only (i386), as a module of the 2016 generation's class
// would begin: the class byte alone tells it apart.
std::string Elf32Header()
{
    Elf32_Ehdr h;
    std::memset(&h, 0, sizeof h);
    std::memcpy(h.e_ident, ELFMAG, SELFMAG);
    h.e_ident[EI_CLASS] = ELFCLASS32;
    h.e_ident[EI_DATA] = ELFDATA2LSB;
    h.e_ident[EI_VERSION] = EV_CURRENT;
    h.e_type = ET_DYN;
    h.e_machine = EM_386;
    h.e_version = EV_CURRENT;
    h.e_ehsize = sizeof h;
    return std::string(reinterpret_cast<const char *>(&h), sizeof h) + std::string(4096, '\0');
}

}  // namespace

TEST_F(ModuleFileTest, DamagedOrForeignModuleFilesAreRefusedWithTheReasonAndTheWorldGoesOn)
{
    // Cut short in its segments, and inside the program headers (after the ELF header).
    BadModule("cut_half", cut);
    BadModule("cut_headers", good.substr(0, 70));
    BadModule("text", "Module = this is not a module\n");
    BadModule("empty", "");
    std::string machine = good;
    const std::uint16_t arm = EM_AARCH64 == *reinterpret_cast<const std::uint16_t *>(good.data() + 18)
                                  ? EM_X86_64 : EM_AARCH64;  // a machine other than this one
    std::memcpy(&machine[18], &arm, 2);  // e_machine sits at byte 18 in both classes
    BadModule("machine", machine);

    EXPECT_NE(WhyNotCreated("cut_half").find(Refusal("cut_half", "cut short (a segment ends at byte ")),
              std::string::npos) << W().LogLines().back();
    EXPECT_NE(WhyNotCreated("cut_headers").find(Refusal("cut_headers", "cut short inside its program headers")),
              std::string::npos) << W().LogLines().back();
    EXPECT_NE(WhyNotCreated("text").find(Refusal("text", "not an ELF shared object")), std::string::npos)
        << W().LogLines().back();
    EXPECT_NE(WhyNotCreated("empty").find(Refusal("empty", "the file is empty")), std::string::npos)
        << W().LogLines().back();
    EXPECT_NE(WhyNotCreated("machine").find(Refusal("machine", "built for another machine (ELF machine " +
                                                                   std::to_string(arm) + ")")),
              std::string::npos) << W().LogLines().back();
    if (sizeof(void *) == 8) {
        BadModule("elf32", Elf32Header());
        EXPECT_NE(WhyNotCreated("elf32").find(Refusal("elf32", "an ELF file of another class (32-bit, this host is 64-bit)")),
                  std::string::npos) << W().LogLines().back();
    }
    // The message goes the missing module's way: oapiCreateVessel's line names the vessel.
    EXPECT_NE(W().LogLines().back().find("; vessel \"V_"), std::string::npos) << W().LogLines().back();
    EXPECT_TRUE(W().modules().empty());

    // The world goes on: a sound module still loads and makes its vessel.
    Vessel *ok = Create("OK", "simtest");
    ASSERT_NE(ok, nullptr);
    EXPECT_NE(ok->module, nullptr);
    EXPECT_EQ(W().modules().size(), 1u);
}

TEST_F(ModuleFileTest, AScenarioWithABrokenModuleLoadsItsOtherVessels)
{
    BadModule("cut_half", cut);
    Vessel *b = LoadScenarioText("BEGIN_SHIPS\n"
                                 "X:cut_half\n  STATUS Landed Earth\n  POS 1 2\nEND\n"
                                 "B:simtest\n  STATUS Landed Earth\n  POS 3 4\nEND\n"
                                 "END_SHIPS\n", "B");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(W().FindVessel("X"), nullptr);
    const auto &log = W().LogLines();
    const bool reported = std::any_of(log.begin(), log.end(), [&](const std::string &l) {
        return l.find(Refusal("cut_half", "cut short")) != std::string::npos &&
               l.find("vessel \"X\" not created") != std::string::npos;
    });
    EXPECT_TRUE(reported);
}

TEST_F(ModuleFileTest, ABrokenInstrumentModuleIsReportedAndNotLoaded)
{
    simtest::WriteFile(mods + "/Plugin/cut.so", cut);
    EXPECT_EQ(W().LoadPlugin("cut"), nullptr);
    const std::string said = W().LogLines().back();
    EXPECT_EQ(said.rfind("instrument module not loaded: module file " + mods + "/Plugin/cut.so cannot be loaded: cut short", 0),
              0u) << said;
    // A sound instrument module loads beside it.
    EXPECT_NE(W().LoadPlugin("sim_test_plugin"), nullptr);
}
