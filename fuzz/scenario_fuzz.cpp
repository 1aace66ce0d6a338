// scenario_fuzz.cpp -- libFuzzer target: the scenario file reader with the modules behind it. Each
// input is loaded as a scenario's text into a fresh world (fuzz_world.h: one world reset between
// inputs, the vessel classes' modules read their own lines), flown for a few frames and saved.
#include "fuzz_world.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzworld::Initialize("fuzz_scenario");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    sim::World &w = fuzzworld::Fresh();
    std::string error;
    if (!w.LoadScenarioText(text, &error, "fuzz.scn")) return 0;
    w.RunFrames(3);
    (void)w.SaveScenarioText();
    return 0;
}
