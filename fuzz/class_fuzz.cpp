// class_fuzz.cpp -- libFuzzer target: the vessel class file reader (Config/*.cfg).
#include "internal.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    sim::ClassConfig cc;
    std::string error;
    if (!sim::ParseClassConfig(text, "fuzz.cfg", &cc, &error) && error.rfind("fuzz.cfg:", 0) != 0)
        __builtin_trap();  // a refusal always names the file and line
    return 0;
}
