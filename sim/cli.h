// cli.h -- corvane-sim: runs a scenario in the stand-in host with timed inputs and prints what
// happens as a timeline.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sim {

class World;

// One timed input line.
struct Input {
    double t = 0;
    int line = 0;
    std::string verb;               // key, control, focus, mfd, save, end, snapshot, pilot
    std::vector<std::string> args;  // the words after the verb (a mode name keeps its blanks)
};

// Parses an inputs file's text; false with "FILE:LINE: message" on the first bad line.
bool ParseInputs(const std::string &text, const std::string &source, std::vector<Input> *out, std::string *error);

// A key name of the inputs (a letter, a digit, UP DOWN LEFT RIGHT PRIOR NEXT END DELETE HOME INSERT
// SPACE ...) -> the host's key code; 0 when unknown.
unsigned KeyCode(const std::string &name);

// Checks a step length (a frame's simulated time: frame time x time warp): from 1e-4 s to 3600 s,
// and with a world no longer than 10 s while a free vessel flies in the atmosphere or can reach it
// within the step. False with the reason.
bool CheckStepLength(double step, const World *w, std::string *why);

// The whole program; returns the exit status (0 done, 1 a file could not be read or parsed,
// 2 bad usage).
int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

}  // namespace sim
