// fake_sound.cpp -- a test-only stand-in for the outside sound add-on: a shared library whose file
// name ("OrbiterSound.so") lets the host's GetModuleHandleA("OrbiterSound.dll") find it once a test
// has loaded it. It exports the add-on's ten names with C linkage and records every call as a line
// of text that the tests read through the FakeSound_* accessors.
//
// Built in variants: FAKE_SOUND_WITHOUT_ROUTINE leaves out "StopVesselWave3", FAKE_SOUND_WITHOUT_ID
// leaves out "GetVesselSoundID3" (each an add-on that lacks one of its routines).

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::vector<std::string> calls;
int next_id = 0;     // the id the next connection gets
int fixed_id = -2;   // when >= -1, every connection gets this id

void Record(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void Record(const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    calls.emplace_back(buf);
}

}  // namespace

// --- the add-on's names ---------------------------------------------------------------------------
FAKE_EXPORT int LoadVesselWaveOBSound3(int id, int slot, char *file_name, int kind)
{
    Record("LoadVesselWaveOBSound3(%d, %d, \"%s\", %d)", id, slot, file_name ? file_name : "(null)", kind);
    return 1;
}

FAKE_EXPORT int PlayVesselWaveOBSound3(int id, int slot, int loop, int volume, int frequency)
{
    Record("PlayVesselWaveOBSound3(%d, %d, %d, %d, %d)", id, slot, loop, volume, frequency);
    return 1;
}

FAKE_EXPORT int PlayVesselExclusiveWaveOBSound3(int id, int slot, int loop, int volume, int frequency)
{
    Record("PlayVesselExclusiveWaveOBSound3(%d, %d, %d, %d, %d)", id, slot, loop, volume, frequency);
    return 1;
}

#ifndef FAKE_SOUND_WITHOUT_ROUTINE
FAKE_EXPORT int StopVesselWave3(int id, int slot)
{
    Record("StopVesselWave3(%d, %d)", id, slot);
    return 1;
}
#endif

FAKE_EXPORT int IsPlayingVesselWave3(int id, int slot)
{
    Record("IsPlayingVesselWave3(%d, %d)", id, slot);
    return 0;
}

FAKE_EXPORT int IsPlayingRadioVesselWave(int id)
{
    Record("IsPlayingRadioVesselWave(%d)", id);
    return 0;
}

FAKE_EXPORT int SoundOption3(int id, int option, int value)
{
    Record("SoundOption3(%d, %d, %d)", id, option, value);
    return 1;
}

FAKE_EXPORT int SetFrequency(int id, int slot, int frequency)
{
    Record("SetFrequency(%d, %d, %d)", id, slot, frequency);
    return 1;
}

#ifndef FAKE_SOUND_WITHOUT_ID
FAKE_EXPORT int GetVesselSoundID3(void *hVessel)
{
    Record("GetVesselSoundID3(%s)", hVessel ? "@" : "0");
    if (fixed_id >= -1) return fixed_id;
    return next_id++;
}
#endif

FAKE_EXPORT int ReplaceStockOBSound3(int id, int which, char *file_name)
{
    Record("ReplaceStockOBSound3(%d, %d, \"%s\")", id, which, file_name ? file_name : "(null)");
    return 1;
}

// --- test accessors --------------------------------------------------------------------------------
FAKE_EXPORT int FakeSound_CallCount() { return static_cast<int>(calls.size()); }

FAKE_EXPORT const char *FakeSound_Call(int i)
{
    return i >= 0 && i < static_cast<int>(calls.size()) ? calls[i].c_str() : "";
}

// Forgets the calls and the ids handed out.
FAKE_EXPORT void FakeSound_Reset()
{
    calls.clear();
    next_id = 0;
    fixed_id = -2;
}

// Every later connection gets `id` (-1 and up); a value below -1 goes back to ids 0, 1, 2, ...
FAKE_EXPORT void FakeSound_SetId(int id) { fixed_id = id; }
