// inputs_fuzz.cpp -- libFuzzer target: corvane-sim's timed inputs reader (with the virtual pilots
// an input line may name), on any text.
#include "cli.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<sim::Input> inputs;
    std::string error;
    if (sim::ParseInputs(text, "fuzz.inputs", &inputs, &error)) {
        // As the run orders them.
        std::stable_sort(inputs.begin(), inputs.end(), [](const sim::Input &a, const sim::Input &b) { return a.t < b.t; });
        for (const sim::Input &ip : inputs)
            if (ip.verb == "key") sim::KeyCode(ip.args.at(1));
    } else if (error.rfind("fuzz.inputs:", 0) != 0) {
        __builtin_trap();  // a refusal always names the file and line
    }
    return 0;
}
