// fake_xrsound.cpp -- a test-only stand-in for XRSound, the simulator's own sound library: a shared
// library whose file name ("XRSound.so") lets the host's GetModuleHandleA("XRSound.dll") find it once
// a test has loaded it. It exports the library's entry point for vessels, which hands out one
// recording engine per vessel, and records every call as a line of text that the tests read through
// the FakeXRSound_* accessors.
//
// As the library's DLL does, the entry point gives no engine for a handle that is not a vessel with
// its module object (Sound/XRSound/src/XRSoundDLL.cpp, XRSoundDLL::GetXRSoundEngineInstance: it
// reads the vessel's interface first), and the same engine for the same vessel each time.
//
// The engine's slots are written out here on their own, in the order of the library's engine
// interfaces (Sound/XRSound/src/XRSoundEngine10.h, 20.h, 30.h), not taken from the client: a client
// that called a wrong slot records that slot's name instead of the one it meant.

#include "Orbitersdk.h"

#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::vector<std::string> calls;
bool refuse = false;  // the entry point gives no engine (the library's sound output failed)

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

// The engine's interface, slot by slot. It bears the client's name for it so that the sanitizer's
// dynamic-type check, which compares types by name, accepts the client's calls on a recording engine
// (the library's own type has another name; only the slots bind a module to it).
namespace xrsound {
class Engine {
public:
    // version 1
    virtual float GetVersion() const = 0;
    virtual bool LoadWav(const int id, const char *file, const int playback) = 0;
    virtual bool PlayWav(const int id, const bool loop, const float volume) = 0;
    virtual bool StopWav(const int id) = 0;
    virtual bool IsWavPlaying(const int id) = 0;
    virtual bool SetPaused(const int id, const bool pause) = 0;
    virtual bool IsPaused(const int id) = 0;
    virtual bool SetDefaultSoundEnabled(const int id, const bool enabled) = 0;
    virtual bool GetDefaultSoundEnabled(const int id) = 0;
    virtual bool SetDefaultSoundGroupFolder(const int id, const char *folder) = 0;
    virtual const char *GetDefaultSoundGroupFolder(const int id) const = 0;
    virtual bool IsDefaultSound(const int id) const = 0;
    virtual bool IsDefaultSoundGroup(const int id) const = 0;
    virtual bool IsDefaultSoundOrGroup(const int id) const = 0;
    // version 2
    virtual int GetEngineType() = 0;
    virtual const char *GetLogID() = 0;
    // version 3
    virtual bool SetPan(const int id, const float pan) = 0;
    virtual float GetPan(const int id) = 0;
    virtual bool SetPlaybackSpeed(const int id, const float speed) = 0;
    virtual float GetPlaybackSpeed(const int id) = 0;
    virtual bool SetPlayPosition(const int id, const unsigned int ms) = 0;
    virtual int GetPlayPosition(const int id) = 0;

protected:
    ~Engine() = default;
};
}  // namespace xrsound

namespace {

class RecordingEngine final : public xrsound::Engine {
public:
    explicit RecordingEngine(std::string vessel) : name(std::move(vessel)) {}
    ~RecordingEngine() = default;

    float GetVersion() const override
    {
        Record("GetVersion(%s)", N());
        return 3.0f;
    }
    bool LoadWav(const int id, const char *file, const int playback) override
    {
        Record("LoadWav(%s, %d, \"%s\", %d)", N(), id, file ? file : "(null)", playback);
        return true;
    }
    bool PlayWav(const int id, const bool loop, const float volume) override
    {
        Record("PlayWav(%s, %d, %d, %.4f)", N(), id, loop ? 1 : 0, static_cast<double>(volume));
        return true;
    }
    bool StopWav(const int id) override
    {
        Record("StopWav(%s, %d)", N(), id);
        return true;
    }
    bool IsWavPlaying(const int id) override { return Other("IsWavPlaying", id); }
    bool SetPaused(const int id, const bool) override { return Other("SetPaused", id); }
    bool IsPaused(const int id) override { return Other("IsPaused", id); }
    bool SetDefaultSoundEnabled(const int id, const bool enabled) override
    {
        Record("SetDefaultSoundEnabled(%s, %d, %d)", N(), id, enabled ? 1 : 0);
        return true;
    }
    bool GetDefaultSoundEnabled(const int id) override { return Other("GetDefaultSoundEnabled", id); }
    bool SetDefaultSoundGroupFolder(const int id, const char *) override
    {
        return Other("SetDefaultSoundGroupFolder", id);
    }
    const char *GetDefaultSoundGroupFolder(const int id) const override
    {
        Other("GetDefaultSoundGroupFolder", id);
        return nullptr;
    }
    bool IsDefaultSound(const int id) const override { return Other("IsDefaultSound", id); }
    bool IsDefaultSoundGroup(const int id) const override { return Other("IsDefaultSoundGroup", id); }
    bool IsDefaultSoundOrGroup(const int id) const override { return Other("IsDefaultSoundOrGroup", id); }
    int GetEngineType() override
    {
        Other("GetEngineType", 0);
        return 0;  // a vessel's engine
    }
    const char *GetLogID() override
    {
        Other("GetLogID", 0);
        return N();
    }
    bool SetPan(const int id, const float) override { return Other("SetPan", id); }
    float GetPan(const int id) override
    {
        Other("GetPan", id);
        return 0.0f;
    }
    bool SetPlaybackSpeed(const int id, const float) override { return Other("SetPlaybackSpeed", id); }
    float GetPlaybackSpeed(const int id) override
    {
        Other("GetPlaybackSpeed", id);
        return 1.0f;
    }
    bool SetPlayPosition(const int id, const unsigned int) override { return Other("SetPlayPosition", id); }
    int GetPlayPosition(const int id) override
    {
        Other("GetPlayPosition", id);
        return 0;
    }

private:
    const char *N() const { return name.c_str(); }
    bool Other(const char *what, int id) const
    {
        Record("%s(%s, %d)", what, N(), id);
        return false;
    }
    std::string name;
};

std::map<OBJHANDLE, std::unique_ptr<RecordingEngine>> engines;

}  // namespace
// --- the library's entry point ------------------------------------------------------------------
FAKE_EXPORT xrsound::Engine *GetXRSoundEngineInstance(OBJHANDLE hVessel)
{
    VESSEL *v = hVessel ? oapiGetVesselInterface(hVessel) : nullptr;
    const std::string name = v ? v->GetName() : "(no vessel)";
    Record("GetXRSoundEngineInstance(%s)", name.c_str());
    if (!v || refuse) return nullptr;
    auto &e = engines[hVessel];
    if (!e) e = std::make_unique<RecordingEngine>(name);
    return e.get();
}

// --- test accessors ------------------------------------------------------------------------------
FAKE_EXPORT int FakeXRSound_CallCount() { return static_cast<int>(calls.size()); }

FAKE_EXPORT const char *FakeXRSound_Call(int i)
{
    return i >= 0 && i < static_cast<int>(calls.size()) ? calls[i].c_str() : "";
}

// Forgets the calls and the engines handed out (call it while no vessel holds one).
FAKE_EXPORT void FakeXRSound_Reset()
{
    calls.clear();
    engines.clear();
    refuse = false;
}

// Later connections get no engine while `on` is nonzero.
FAKE_EXPORT void FakeXRSound_Refuse(int on) { refuse = on != 0; }
