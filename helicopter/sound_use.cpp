// sound_use.cpp -- the helicopter's five waves and when it plays or stops them: the engine start,
// the two rotor loops whose frequency follows the lift level and airspeed, the pole warning; and the
// library they play through: the older sound add-on when it gave this helicopter an id, XRSound
// (the simulator's own sound library) otherwise, none when neither is there.

#include "helicopter.h"
#include "sound/orbiter_sound_client.h"
#include "sound/xrsound_client.h"

#include <cstdio>

namespace {

enum WaveSlot { SLOT_ROTOR = 1, SLOT_ROTOR_LOW = 2, SLOT_START = 3, SLOT_START_LOW = 4, SLOT_WARNING = 5 };
constexpr int kOnce = 0, kLooped = 1;

// Each wave with the add-on's load kind and how XRSound lets it be heard: the kind-7 waves (the
// rotor and the start at full volume) carry far outside, the kind-1 waves (their lower layers and
// the warning) are heard close by; in the cockpit both play at full volume. XRSound takes the slot
// number as the wave's sound id (a vessel's own ids lie below 10000).
struct Wave {
    int slot;
    const char *file;
    int kind;
    xrsound::Playback playback;
};
const Wave kWaves[] = {
    {SLOT_ROTOR, "Sound\\Vessel\\helico.wav", 7, xrsound::Playback::BOTH_VIEW_FAR},
    {SLOT_ROTOR_LOW, "Sound\\Vessel\\helico.wav", 1, xrsound::Playback::BOTH_VIEW_CLOSE},
    {SLOT_START, "Sound\\Vessel\\demarragehelico.wav", 7, xrsound::Playback::BOTH_VIEW_FAR},
    {SLOT_START_LOW, "Sound\\Vessel\\demarragehelico.wav", 1, xrsound::Playback::BOTH_VIEW_CLOSE},
    {SLOT_WARNING, "Sound\\Vessel\\warningHX220.wav", 1, xrsound::Playback::BOTH_VIEW_CLOSE},
};

// XRSound's own engine sounds, which it gives every vessel with thrusters, switched off: the
// helicopter's thrusters are its rotor's lift and an exhaust carrier, and its engine sound is the
// rotor loops (as the add-on's own sounds are switched off at creation, module.cpp).
const xrsound::DefaultSound kXRSoundOwnSoundsOff[] = {
    xrsound::MAIN_ENGINES, xrsound::RETRO_ENGINES, xrsound::HOVER_ENGINES, xrsound::RCS_SUSTAIN,
    xrsound::CUSTOM_ENGINES,
};

// The add-on's volumes run 0..255, XRSound's 0..1.
constexpr float kAddonVolumeFull = 255.0f;

// The add-on's ids, as its client checks them.
constexpr int kAddonIdFirst = 0, kAddonIdLast = 59;

// The host log's line on the library chosen (the vessel's name, then XRSound's version).
const char kLogAddon[] = "hx220 %s: sound through the sound add-on";
const char kLogXRSound[] = "hx220 %s: sound through XRSound %.2f";
const char kLogSilent[] = "hx220 %s: no sound library found (neither the sound add-on nor XRSound), silent";
constexpr int kLogLineSize = 256;

// Volumes [0..255] and frequency terms of the engine sounds.
constexpr int kRotorVolume = 255;
constexpr int kRotorLowVolume = 220;
constexpr double kRotorLowShift = 2000;       // slot 2 plays this much below slot 1
constexpr int kStartVolume = 200;
constexpr int kStartLowVolume = 180;
constexpr int kWarningVolume = 150;
constexpr double kStartSoundBelow = 10;       // start sound while the frequency value is below this
constexpr double kFreqPerLiftLevel = 10000;   // frequency value per unit of lift level
constexpr double kFreqPerAirspeed = 20;       // frequency value per m/s of airspeed

// The frequency value passed to the add-on: truncated toward zero, held within the int range (a
// pitch base read from a scenario is taken without range checks, and the conversion of a double
// beyond that range would be undefined).
int FrequencyArgument(double f)
{
    if (!(f == f)) return 0;  // NaN
    if (f >= 2147483647.0) return 2147483647;
    if (f <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(f);
}

}  // namespace

// In the constructor, right after the add-on's connection for this vessel (module.cpp): its waves.
void Helicopter::LoadWaves()
{
    addon_sound = hx220::sound_id >= kAddonIdFirst && hx220::sound_id <= kAddonIdLast;
    for (const Wave &w : kWaves) LoadWave(hx220::sound_id, w.slot, w.file, w.kind);
}

// XRSound gives a vessel's engine only once its module object exists, so it is asked here, at
// post-creation, and only for a helicopter the add-on gave no id. One line in the host's log says
// which library plays this helicopter's sounds.
void Helicopter::ChooseSoundLibrary()
{
    char line[kLogLineSize];
    if (addon_sound) {
        std::snprintf(line, sizeof line, kLogAddon, GetName());
    } else {
        xr_engine = xrsound::Connect(GetHandle());
        if (xr_engine) {
            for (xrsound::DefaultSound d : kXRSoundOwnSoundsOff) xrsound::SetDefaultSoundEnabled(xr_engine, d, false);
            for (const Wave &w : kWaves) xrsound::LoadWav(xr_engine, w.slot, w.file, w.playback);
            std::snprintf(line, sizeof line, kLogXRSound, GetName(), static_cast<double>(xrsound::Version(xr_engine)));
        } else {
            std::snprintf(line, sizeof line, kLogSilent, GetName());
        }
    }
    oapiWriteLog(line);
}

// One request to the chosen library. Through the add-on the module-wide id is used, as it always
// was (the last helicopter made sets it for all). XRSound has no frequency argument: the rotor loops
// play at their recorded pitch there.
void Helicopter::PlaySlot(int slot, int loop, int volume, int frequency)
{
    if (xr_engine)
        xrsound::PlayWav(xr_engine, slot, loop == kLooped, static_cast<float>(volume) / kAddonVolumeFull);
    else
        PlayWave(hx220::sound_id, slot, loop, volume, frequency);
}

void Helicopter::StopSlot(int slot)
{
    if (xr_engine)
        xrsound::StopWav(xr_engine, slot);
    else
        StopWave(hx220::sound_id, slot);
}

// Step 8 of the frame: start sound, spool counter, rotor loops.
void Helicopter::EngineSounds()
{
    if (engine_state == ENGINE_STARTING && sound_freq < kStartSoundBelow) {
        PlaySlot(SLOT_START, kOnce, kStartVolume, 0);
        PlaySlot(SLOT_START_LOW, kOnce, kStartLowVolume, 0);
        start_sound_played = true;
    }
    if (start_sound_played && spool_count <= spool_delay) ++spool_count;

    if (spool_count >= spool_delay) {
        switch (engine_state) {
        case ENGINE_OFF: sound_freq = 0; break;
        case ENGINE_STARTING:
        case ENGINE_STOPPING: sound_freq = sound_pitch_base; break;
        case ENGINE_RUNNING:
            sound_freq = lift_level * kFreqPerLiftLevel + airspeed * kFreqPerAirspeed + sound_pitch_base;
            break;
        }
    }

    if (engine_state == ENGINE_OFF) {
        StopSlot(SLOT_ROTOR);
        StopSlot(SLOT_ROTOR_LOW);
        StopSlot(SLOT_START);
        StopSlot(SLOT_START_LOW);
    } else if (spool_count >= spool_delay) {
        PlaySlot(SLOT_ROTOR, kLooped, kRotorVolume, FrequencyArgument(sound_freq));
        PlaySlot(SLOT_ROTOR_LOW, kLooped, kRotorLowVolume, FrequencyArgument(sound_freq - kRotorLowShift));
    }
}

// The pole warning loop (while the extended pole sinks low) or its stop.
void Helicopter::PoleWarningSound(bool on)
{
    if (on)
        PlaySlot(SLOT_WARNING, kLooped, kWarningVolume, 0);
    else
        StopSlot(SLOT_WARNING);
}
