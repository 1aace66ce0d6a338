// xrsound_client.h -- the helicopter's client of XRSound, the simulator's own sound library
// ("XRSound.dll", a plugin shipped with the 2024 release for 64-bit Windows and with the current
// tree). Like the client of the older sound add-on, it never loads the library: it finds it already
// loaded in the process, asks it for the engine of one vessel and plays through that engine. Without
// the library (always so on the simulator's Linux port, CORVANE_HOST_PORT) it finds nothing and
// every call is refused.
//
// Why no XRSound.h: the library's public header declares a proxy class whose factory lives in a
// static library built with the Windows toolchain, and the module sources must build unchanged
// against the 2016 SDK (which has no such library), the 2024 and current SDKs, the stand-in and the
// port, including nothing but Orbitersdk.h. So the client binds the library's exported entry point
// by name and declares the engine's interface itself (xrsound_client.cpp), as the library's own
// proxy reaches it.
#pragma once

#include "Orbitersdk.h"

namespace xrsound {

// How a loaded sound is heard (the library's playback types, by number).
enum class Playback : int {
    INTERNAL_ONLY = 1,     // cockpit view only
    BOTH_VIEW_FAR = 2,     // cockpit; outside, faded a little by distance and pressure
    BOTH_VIEW_MEDIUM = 3,
    BOTH_VIEW_CLOSE = 4,   // cockpit; outside, faded much by distance and pressure
    RADIO = 5,
    WIND = 6,
    GLOBAL = 7
};

// The library's own sounds that a vessel with thrusters gets, by number.
enum DefaultSound : int {
    MAIN_ENGINES = 10004,
    RETRO_ENGINES = 10005,
    HOVER_ENGINES = 10006,
    RCS_SUSTAIN = 10008,
    CUSTOM_ENGINES = 10014
};

// The library's engine of one vessel: owned by the library, which frees it with its vessel.
class Engine;

// The engine for a vessel that exists (its module object made, so from clbkPostCreation on), or null
// when the library is not in the process, lacks its entry point or gives no engine.
Engine *Connect(OBJHANDLE hVessel);

// The library's version (e.g. 3.0), 0 without an engine.
float Version(Engine *engine);

// Each call reaches the engine only when there is one, the sound id is the vessel's own (not one of
// the library's reserved 10000..11999) and, for a load, a file name is given; the engine's result is
// returned, false when the call was refused. The volume is held within 0..1.
bool LoadWav(Engine *engine, int sound_id, const char *file_name, Playback playback);
bool PlayWav(Engine *engine, int sound_id, bool loop, float volume);
bool StopWav(Engine *engine, int sound_id);
bool SetDefaultSoundEnabled(Engine *engine, DefaultSound sound, bool enabled);

}  // namespace xrsound
