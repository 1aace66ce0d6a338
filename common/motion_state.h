// motion_state.h -- the four-value state of a moving part (covers, panels, tether, drogue, canopy)
// whose animation position runs from 0 to 1, and the one rule that moves it each time step.
#pragma once

namespace corvane {

// Stored as a 32-bit signed number and written to the scenario as that number.
enum MotionState : int {
    AT_ZERO = 0,  // at rest at 0
    AT_ONE = 1,   // at rest at 1
    TO_ZERO = 2,  // moving toward 0
    TO_ONE = 3    // moving toward 1 (any value above 3 moves like 3)
};

// Advances a part by d = rate x step length. In TO_ZERO the position falls to 0 and the state comes
// to rest (AT_ZERO) on the step that finds it at 0 or below; in TO_ONE or above it rises to 1 and
// rests (AT_ONE) on the step that finds it at 1 or above. Returns true for a moving state (the caller
// then sets its animation to the position, also on the step that comes to rest); states 0, 1 and
// negative values do nothing and return false.
bool AdvanceMotion(int &state, double &position, double d);

}  // namespace corvane
