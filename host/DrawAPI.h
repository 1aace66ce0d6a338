// DrawAPI.h -- the drawing-surface interface of the host. The modules of this add-on draw through
// the device-context (HDC) callbacks only, so nothing of the sketchpad interface is declared here.
#pragma once

#include "OrbiterAPI.h"

namespace oapi {
class Sketchpad;
}
