// orbiter_sound_client.cpp -- binding the outside sound add-on at run time by exported names.

#include "orbiter_sound_client.h"

#include <cstdio>

namespace {

// --- the add-on -------------------------------------------------------------------------------
const char kAddonModule[] = "OrbiterSound.dll";  // found already loaded, never loaded here

constexpr int kIdCount = 60;     // ids 0..59
constexpr int kSlotFirst = 1;    // wave slots 1..60 per id
constexpr int kSlotLast = 60;
constexpr int kOptionFirst = 1;  // options 1..17
constexpr int kOptionLast = 17;

// Entry points, in the order they are resolved (the add-on's exported names).
enum Entry {
    LOAD_WAVE,
    PLAY_WAVE,
    PLAY_EXCLUSIVE_WAVE,
    STOP_WAVE,
    IS_PLAYING_WAVE,
    IS_PLAYING_RADIO_WAVE,
    SOUND_OPTION,
    SET_FREQUENCY,
    GET_SOUND_ID,
    REPLACE_STOCK_SOUND,
    ENTRY_COUNT
};
const char *const kEntryNames[ENTRY_COUNT] = {
    "LoadVesselWaveOBSound3",
    "PlayVesselWaveOBSound3",
    "PlayVesselExclusiveWaveOBSound3",
    "StopVesselWave3",
    "IsPlayingVesselWave3",
    "IsPlayingRadioVesselWave",
    "SoundOption3",
    "SetFrequency",
    "GetVesselSoundID3",
    "ReplaceStockOBSound3",
};

// The add-on's routines return a Windows BOOL, an int.
typedef int (*LoadWaveFn)(int id, int slot, char *file_name, int kind);
typedef int (*PlayWaveFn)(int id, int slot, int loop, int volume, int frequency);
typedef int (*StopWaveFn)(int id, int slot);
typedef int (*SoundOptionFn)(int id, int option, int value);
typedef int (*GetSoundIdFn)(OBJHANDLE hVessel);

// --- finding the add-on in the process ----------------------------------------------------------
#if defined(CORVANE_HOST_PORT)
// The simulator's Linux port: the add-on exists for Windows only, so it is never there; every call
// is refused and the helicopter is silent.
typedef void *AddonHandle;
typedef void (*AddonEntry)();
AddonHandle FindLoadedAddon() { return nullptr; }
AddonEntry FindEntry(AddonHandle, const char *) { return nullptr; }
#else
typedef HMODULE AddonHandle;
typedef FARPROC AddonEntry;
AddonHandle FindLoadedAddon() { return GetModuleHandleA(kAddonModule); }
AddonEntry FindEntry(AddonHandle module, const char *name) { return GetProcAddress(module, name); }
#endif

// --- the log ----------------------------------------------------------------------------------
const char kLogFile[] = "OrbiterSound_Log.txt";
const char kLogHeader[] = "Orbiter Sound Log Started\n*****************************\n\n";
const char kLogSeparator[] = "--------------------------------------";
constexpr int kLogLastEntry = 100;  // entries 0..100: at most 101 per loaded module

const char kErrNullHandle[] =
    "ERR01= Vessel->ConnectToOrbiterSoundDLL3: A vessel passed a NULL handle to this function";
const char kErrNotLoaded[] =
    "ERR01= Vessel->ConnectToOrbiterSoundDLL3: Unable to connect to OrbiterSound 3.0 - not installed or "
    "activated";
const char kErrMissingRoutines[] = "ERR02= ConnectToOrbiterSoundDLL3: Unable to find routines missing OrbiterSound3.0 ?";
const char kErrMissingId[] = "ERR03= unable to connect to GetMyID, Older OrbiterSound.dll ?";

// --- module-wide state ------------------------------------------------------------------------
AddonHandle addon = nullptr;
AddonEntry entry[ENTRY_COUNT] = {};
int log_count = 0;
char log_detail[1] = "";  // the detail line of a connection entry stays empty

template <class Fn>
Fn EntryAs(Entry e)
{
    return reinterpret_cast<Fn>(entry[e]);
}

bool ValidId(int id) { return id >= 0 && id < kIdCount; }
bool ValidSlot(int slot) { return slot >= kSlotFirst && slot <= kSlotLast; }

}  // namespace

void WriteSoundLog(const char *message, const char *detail)
{
    if (log_count > kLogLastEntry) return;

    std::FILE *f = std::fopen(kLogFile, "r+t");
    if (!f) {
        f = std::fopen(kLogFile, "w+t");
        if (!f) return;  // neither there nor creatable: the entry is skipped
        std::fprintf(f, "%s", kLogHeader);
    }
    std::fclose(f);

    f = std::fopen(kLogFile, "a+t");
    if (!f) return;
    std::fprintf(f, "%s\n", kLogSeparator);
    if (message) std::fprintf(f, "%s\n", message);
    if (detail) std::fprintf(f, "%s\n", detail);
    ++log_count;
    std::fclose(f);
}

int ConnectToOrbiterSoundDLL3(OBJHANDLE hVessel)
{
    if (!hVessel) {
        WriteSoundLog(kErrNullHandle, log_detail);
        return -1;
    }
    addon = FindLoadedAddon();
    if (!addon) {
        for (AddonEntry &p : entry) p = nullptr;
        WriteSoundLog(kErrNotLoaded, log_detail);
        return -1;
    }
    for (int e = 0; e < ENTRY_COUNT; ++e) entry[e] = FindEntry(addon, kEntryNames[e]);

    for (int e = 0; e < ENTRY_COUNT; ++e) {
        if (e != GET_SOUND_ID && !entry[e]) {
            WriteSoundLog(kErrMissingRoutines, log_detail);
            return -1;
        }
    }
    if (!entry[GET_SOUND_ID]) {
        WriteSoundLog(kErrMissingId, log_detail);
        return -1;
    }
    return EntryAs<GetSoundIdFn>(GET_SOUND_ID)(hVessel);
}

int LoadWave(int id, int slot, const char *file_name, int kind)
{
    if (!entry[LOAD_WAVE] || !ValidId(id) || !ValidSlot(slot)) return 0;
    // The add-on's parameter is not const; it only reads the name.
    return EntryAs<LoadWaveFn>(LOAD_WAVE)(id, slot, const_cast<char *>(file_name), kind);
}

int PlayWave(int id, int slot, int loop, int volume, int frequency)
{
    if (!entry[PLAY_WAVE] || !ValidId(id) || !ValidSlot(slot)) return 0;
    return EntryAs<PlayWaveFn>(PLAY_WAVE)(id, slot, loop, volume, frequency);
}

int StopWave(int id, int slot)
{
    if (!entry[STOP_WAVE] || !ValidId(id) || !ValidSlot(slot)) return 0;
    return EntryAs<StopWaveFn>(STOP_WAVE)(id, slot);
}

int SetSoundOption(int id, int option, int value)
{
    if (!entry[SOUND_OPTION] || option < kOptionFirst || option > kOptionLast || !ValidId(id)) return 0;
    return EntryAs<SoundOptionFn>(SOUND_OPTION)(id, option, value);
}
