// inputs_fuzz.cpp -- libFuzzer target: the harness's timed inputs reader (with the virtual pilots
// an input line may name), on any text.
#include "inputs.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<harness::Input> inputs;
    std::string error;
    if (harness::ParseInputs(text, "fuzz.inputs", &inputs, &error)) {
        // As the run orders them.
        std::stable_sort(inputs.begin(), inputs.end(),
                         [](const harness::Input &a, const harness::Input &b) { return a.t < b.t; });
        for (const harness::Input &ip : inputs)
            if (ip.verb == "key") harness::KeyCode(ip.args.at(1));
    } else if (error.rfind("fuzz.inputs:", 0) != 0) {
        __builtin_trap();  // a refusal always names the file and line
    }
    return 0;
}
