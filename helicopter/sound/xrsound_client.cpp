// xrsound_client.cpp -- finding XRSound's engine for a vessel and calling it through its interface.

#include "xrsound_client.h"

// The engine's interface as the library's DLL exposes it to vessel modules: virtual functions only,
// reached through the object's table of slots, so that a module calls into the library without an
// import library. The slots are those of the library's engine interfaces, versions 1 to 3, in their
// order (Sound/XRSound/src/XRSoundEngine10.h, XRSoundEngine20.h, XRSoundEngine30.h, classes
// XRSoundEngine10/20/30: the library keeps that order fixed so that modules built against an older
// version keep working). The interface has no virtual destructor (the library's implementation adds
// its own after these slots), and neither may this declaration: the client never deletes an engine.
// Declared here, not taken from the library, for the reasons in xrsound_client.h; only slots 0 to 3
// and 7 are called, all present since version 1.
class xrsound::Engine {
public:
    // version 1
    virtual float GetVersion() const = 0;                                                     // 0
    virtual bool LoadWav(const int sound_id, const char *file_name, const Playback playback) = 0;  // 1
    virtual bool PlayWav(const int sound_id, const bool loop, const float volume) = 0;        // 2
    virtual bool StopWav(const int sound_id) = 0;                                             // 3
    virtual bool IsWavPlaying(const int sound_id) = 0;                                        // 4
    virtual bool SetPaused(const int sound_id, const bool pause) = 0;                         // 5
    virtual bool IsPaused(const int sound_id) = 0;                                            // 6
    virtual bool SetDefaultSoundEnabled(const DefaultSound sound, const bool enabled) = 0;    // 7
    virtual bool GetDefaultSoundEnabled(const DefaultSound sound) = 0;                        // 8
    virtual bool SetDefaultSoundGroupFolder(const DefaultSound group, const char *folder) = 0;  // 9
    virtual const char *GetDefaultSoundGroupFolder(const DefaultSound group) const = 0;       // 10
    virtual bool IsDefaultSound(const int sound_id) const = 0;                                // 11
    virtual bool IsDefaultSoundGroup(const int sound_id) const = 0;                           // 12
    virtual bool IsDefaultSoundOrGroup(const int sound_id) const = 0;                         // 13
    // version 2
    virtual int GetEngineType() = 0;                                                          // 14
    virtual const char *GetLogID() = 0;                                                       // 15
    // version 3
    virtual bool SetPan(const int sound_id, const float pan) = 0;                             // 16
    virtual float GetPan(const int sound_id) = 0;                                             // 17
    virtual bool SetPlaybackSpeed(const int sound_id, const float speed) = 0;                 // 18
    virtual float GetPlaybackSpeed(const int sound_id) = 0;                                   // 19
    virtual bool SetPlayPosition(const int sound_id, const unsigned int position_ms) = 0;     // 20
    virtual int GetPlayPosition(const int sound_id) = 0;                                      // 21

protected:
    ~Engine() = default;  // the library's to free, never the client's
};

namespace {

// --- the library --------------------------------------------------------------------------------
// Found already loaded (the simulator loads it as a plugin), never loaded here. Its exported entry
// point, plain C, gives the engine of a vessel: the library's proxy looks the DLL up by this name
// and calls this entry with the vessel's handle (Sound/XRSound/src/XRSoundImpl.cpp,
// XRSoundImpl::Initialize(VESSEL *)); the DLL looks the vessel's module object up and makes or finds
// the vessel's engine, or gives null (Sound/XRSound/src/XRSoundDLL.cpp, GetXRSoundEngineInstance).
const char kLibraryModule[] = "XRSound.dll";
const char kEngineEntry[] = "GetXRSoundEngineInstance";
typedef xrsound::Engine *(*EngineEntryFn)(OBJHANDLE hVessel);

// Sound ids the library keeps for its own sounds and groups; a vessel's own ids lie outside.
constexpr int kReservedFirst = 10000;
constexpr int kReservedLast = 11999;
constexpr float kVolumeMin = 0.0f, kVolumeMax = 1.0f;

#if defined(CORVANE_HOST_PORT)
// The simulator's Linux port: the library exists for Windows only, so it is never there.
EngineEntryFn FindEngineEntry() { return nullptr; }
#else
EngineEntryFn FindEngineEntry()
{
    HMODULE library = GetModuleHandleA(kLibraryModule);
    if (!library) return nullptr;
    return reinterpret_cast<EngineEntryFn>(GetProcAddress(library, kEngineEntry));
}
#endif

bool OwnSoundId(int id) { return id < kReservedFirst || id > kReservedLast; }

float HeldVolume(float v)
{
    if (!(v >= kVolumeMin)) return kVolumeMin;  // NaN too
    return v > kVolumeMax ? kVolumeMax : v;
}

}  // namespace

xrsound::Engine *xrsound::Connect(OBJHANDLE hVessel)
{
    if (!hVessel) return nullptr;
    EngineEntryFn entry = FindEngineEntry();
    return entry ? entry(hVessel) : nullptr;
}

float xrsound::Version(Engine *engine) { return engine ? engine->GetVersion() : 0.0f; }

bool xrsound::LoadWav(Engine *engine, int sound_id, const char *file_name, Playback playback)
{
    if (!engine || !OwnSoundId(sound_id) || !file_name || !*file_name) return false;
    return engine->LoadWav(sound_id, file_name, playback);
}

bool xrsound::PlayWav(Engine *engine, int sound_id, bool loop, float volume)
{
    if (!engine || !OwnSoundId(sound_id)) return false;
    return engine->PlayWav(sound_id, loop, HeldVolume(volume));
}

bool xrsound::StopWav(Engine *engine, int sound_id)
{
    if (!engine || !OwnSoundId(sound_id)) return false;
    return engine->StopWav(sound_id);
}

bool xrsound::SetDefaultSoundEnabled(Engine *engine, DefaultSound sound, bool enabled)
{
    if (!engine) return false;
    return engine->SetDefaultSoundEnabled(sound, enabled);
}
