// module.cpp -- the hx220 module: values shared by all helicopters of the loaded module, and the
// entry points through which the host creates and destroys helicopters.

// The module's one source that asks the real SDK for its module boilerplate.
#define ORBITER_MODULE
#include "helicopter.h"
#include "sound/orbiter_sound_client.h"

#include <new>

namespace hx220 {
int sound_id = -1;
OBJHANDLE own_handle = nullptr;
double pole_tip_y = -1.126;
double pole_tip_z = 4.24;
double pole_swing = 0;
}  // namespace hx220

namespace {
// Sound add-on options switched off for the helicopter, in this order.
const int kOptionsOff[] = {1, 9, 17, 5, 3};
}  // namespace

DLLCLBK VESSEL *ovcInit(OBJHANDLE hvessel, int flightmodel)
{
    hx220::sound_id = ConnectToOrbiterSoundDLL3(hvessel);
    for (int option : kOptionsOff) SetSoundOption(hx220::sound_id, option, 0);
    return new (std::nothrow) Helicopter(hvessel, flightmodel);
}

DLLCLBK void ovcExit(VESSEL *vessel)
{
    delete static_cast<Helicopter *>(vessel);  // null is ignored
}
