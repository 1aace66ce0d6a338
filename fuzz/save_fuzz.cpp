// save_fuzz.cpp -- libFuzzer target: the save path. Each input is loaded as a scenario's text (the
// modules behind it, as in the scenario target), flown a few frames and saved; that save is loaded
// again (a refusal of the host's own output is a fault), flown and saved a second time; the second
// save is loaded and saved a third time, which must give the second save's text again (a load and
// a save with no frame between change nothing).
#include "fuzz_world.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

void Fail(const char *what, const std::string &a, const std::string &b)
{
    std::fprintf(stderr, "fuzz_save: %s\n--- first\n%s\n--- second\n%s\n---\n", what, a.c_str(), b.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzworld::Initialize("fuzz_save");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::string error;
    sim::World &w = fuzzworld::Fresh();
    if (!w.LoadScenarioText(text, &error, "fuzz.scn")) return 0;
    w.RunFrames(3);
    const std::string save1 = w.SaveScenarioText();

    sim::World &w2 = fuzzworld::Fresh();
    if (!w2.LoadScenarioText(save1, &error, "save1.scn")) Fail(("the first save is refused: " + error).c_str(), save1, "");
    w2.RunFrames(3);
    const std::string save2 = w2.SaveScenarioText();

    sim::World &w3 = fuzzworld::Fresh();
    if (!w3.LoadScenarioText(save2, &error, "save2.scn")) Fail(("the second save is refused: " + error).c_str(), save2, "");
    const std::string save3 = w3.SaveScenarioText();
    if (save3 != save2) Fail("a load and a save changed the second save (second, then third)", save2, save3);
    return 0;
}
