// sound_use.cpp -- the helicopter's five waves and when it plays or stops them: the engine start,
// the two rotor loops whose frequency follows the lift level and airspeed, the pole warning.

#include "helicopter.h"
#include "sound/orbiter_sound_client.h"

namespace {

enum WaveSlot { SLOT_ROTOR = 1, SLOT_ROTOR_LOW = 2, SLOT_START = 3, SLOT_START_LOW = 4, SLOT_WARNING = 5 };
constexpr int kOnce = 0, kLooped = 1;

struct Wave {
    int slot;
    const char *file;
    int kind;
};
const Wave kWaves[] = {
    {SLOT_ROTOR, "Sound\\Vessel\\helico.wav", 7},
    {SLOT_ROTOR_LOW, "Sound\\Vessel\\helico.wav", 1},
    {SLOT_START, "Sound\\Vessel\\demarragehelico.wav", 7},
    {SLOT_START_LOW, "Sound\\Vessel\\demarragehelico.wav", 1},
    {SLOT_WARNING, "Sound\\Vessel\\warningHX220.wav", 1},
};

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

void Helicopter::LoadWaves()
{
    for (const Wave &w : kWaves) LoadWave(hx220::sound_id, w.slot, w.file, w.kind);
}

// Step 8 of the frame: start sound, spool counter, rotor loops.
void Helicopter::EngineSounds()
{
    const int id = hx220::sound_id;
    if (engine_state == ENGINE_STARTING && sound_freq < kStartSoundBelow) {
        PlayWave(id, SLOT_START, kOnce, kStartVolume, 0);
        PlayWave(id, SLOT_START_LOW, kOnce, kStartLowVolume, 0);
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
        StopWave(id, SLOT_ROTOR);
        StopWave(id, SLOT_ROTOR_LOW);
        StopWave(id, SLOT_START);
        StopWave(id, SLOT_START_LOW);
    } else if (spool_count >= spool_delay) {
        PlayWave(id, SLOT_ROTOR, kLooped, kRotorVolume, FrequencyArgument(sound_freq));
        PlayWave(id, SLOT_ROTOR_LOW, kLooped, kRotorLowVolume, FrequencyArgument(sound_freq - kRotorLowShift));
    }
}

// The pole warning loop (while the extended pole sinks low) or its stop.
void Helicopter::PoleWarningSound(bool on)
{
    if (on)
        PlayWave(hx220::sound_id, SLOT_WARNING, kLooped, kWarningVolume, 0);
    else
        StopWave(hx220::sound_id, SLOT_WARNING);
}
