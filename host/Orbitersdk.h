// Orbitersdk.h -- the one header a module includes. On Windows the real SDK's umbrella header of
// the same name is used instead (point CORVANE_ORBITER_SDK at it); this stand-in declares the same
// names for the Linux build against the stand-in host.
#pragma once

#include "OrbiterAPI.h"
#include "VesselAPI.h"
#include "MFDAPI.h"
#include "DrawAPI.h"

// A module's one source file that defines ORBITER_MODULE before this include gets the module
// boilerplate of the real SDK on Windows; a Linux shared object needs none.
