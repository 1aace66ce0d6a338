// cli.h -- corvane-sim: runs a scenario in the stand-in host with timed inputs and prints what
// happens as a timeline.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace sim {

class World;

// Checks a step length (a frame's simulated time: frame time x time warp): within the range any
// run may take (harness::CheckStepRange, 1e-4 s to 3600 s), and with a world no longer than 10 s
// while a free vessel flies in the atmosphere or can reach it within the step. False with the
// reason.
bool CheckStepLength(double step, const World *w, std::string *why);

// The add-on root a run uses without --root: the installed tree beside the program, else
// $CORVANE_ADDON_ROOT, else the current folder.
std::string DefaultAddonRoot();

// Called by a run after each of its frames (the inputs, the pilots, the trajectory's row, the frame
// itself and the outputs' checks) with the number of frames flown and the simulation time: a
// benchmark counts there what each frame costs. None by default; a plain function, so that watching
// allocates nothing.
using FrameWatcher = void (*)(long frames, double simt);
void SetFrameWatcher(FrameWatcher watcher);

// The whole program; returns the exit status (0 done, 1 a file could not be read or parsed,
// 2 bad usage).
int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

}  // namespace sim
