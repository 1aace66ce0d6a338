// orbiter_sound_client.h -- the helicopter's client of the outside sound add-on
// ("OrbiterSound.dll", version 3.0). The client never loads the add-on: it finds it already loaded
// in the process, binds its entry points by their exported names and checks every argument before a
// call. Without the add-on every call is refused and the helicopter runs silently; so it always
// runs on the simulator's Linux port (CORVANE_HOST_PORT), for which no such add-on exists.
// Connection failures go to the text log "OrbiterSound_Log.txt" in the working folder.
#pragma once

#include "Orbitersdk.h"

// Connects one vessel: returns the add-on's id for it (0..59) or -1 (the reason is logged).
int ConnectToOrbiterSoundDLL3(OBJHANDLE hVessel);

// Each call reaches the add-on only when its entry point was found, 0 <= id < 60 and
// 1 <= slot <= 60; the add-on's result is returned, 0 when the call was refused.
int LoadWave(int id, int slot, const char *file_name, int kind);
int PlayWave(int id, int slot, int loop, int volume, int frequency);
int StopWave(int id, int slot);

// Reaches the add-on only when found, 1 <= option <= 17 and 0 <= id < 60; else returns 0.
int SetSoundOption(int id, int option, int value);

// Appends one entry (a separator line, then the message and the detail, each on a line when given)
// to the log. At most 101 entries per loaded module; a log that cannot be opened or created is
// skipped.
void WriteSoundLog(const char *message, const char *detail);
