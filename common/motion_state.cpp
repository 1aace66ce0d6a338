#include "motion_state.h"

namespace corvane {

bool AdvanceMotion(int &state, double &position, double d)
{
    if (state < TO_ZERO) return false;
    if (state == TO_ZERO) {
        if (position > 0.0) {
            position -= d;
            if (position < 0.0) position = 0.0;
        } else {
            state = AT_ZERO;
        }
    } else {
        if (position < 1.0) {
            position += d;
            if (position > 1.0) position = 1.0;
        } else {
            state = AT_ONE;
        }
    }
    return true;
}

}  // namespace corvane
