// inputs.h -- the timed inputs of a run, as both hosts' harnesses play them: one line each,
// "<t> <verb> <words>...", acting at the first frame at or after <t>. Reading and checking them
// needs no world; what each verb does is the host's.
#pragma once

#include <string>
#include <vector>

namespace harness {

// One timed input line.
struct Input {
    double t = 0;
    int line = 0;
    std::string verb;               // key, control, focus, mfd, save, end, snapshot, pilot, dt, warp, rand, place
    std::vector<std::string> args;  // the words after the verb (a mode name keeps its blanks)
};

// Parses an inputs file's text; false with "FILE:LINE: message" on the first bad line.
bool ParseInputs(const std::string &text, const std::string &source, std::vector<Input> *out, std::string *error);

// A key name of the inputs (a letter, a digit, UP DOWN LEFT RIGHT PRIOR NEXT END DELETE HOME INSERT
// SPACE RETURN, any case) -> the host's key code (OAPI_KEY_*); 0 when unknown.
int KeyCode(const std::string &name);

// The step lengths a run may take at all (a frame's simulated time: frame time x time warp):
// a shorter step would not advance the simulation time (1e-300 s added to 1 s is still 1 s), and
// an hour is the longest any host is asked to integrate in one frame. Where the world allows less
// (a vessel in the air), the host says so itself.
constexpr double kMinStepLength = 1e-4;   // [s]
constexpr double kMaxStepLength = 3600;   // [s]
// Checks a step length against that range; false with the reason.
bool CheckStepRange(double step, std::string *why);

}  // namespace harness
