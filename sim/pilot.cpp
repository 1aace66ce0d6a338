// pilot.cpp -- virtual pilots of the harness (none yet).
#include "cli.h"

namespace sim {

Pilot *MakePilot(const std::vector<std::string> &args, std::string *error)
{
    if (error) *error = "no virtual pilot named \"" + (args.empty() ? std::string() : args[0]) + "\"";
    return nullptr;
}

}  // namespace sim
