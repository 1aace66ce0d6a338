// hx220_test_support.h -- fixture for the helicopter's tests with the stand-in sound add-on loaded
// in the process: helicopters made at run time or from scenario lines, the sound calls of one
// frame, the saved lines by keyword.
#pragma once

#include "testing/sim_test.h"
#include "sound/testing/fake_sound.h"

#include <string>
#include <vector>

namespace hx220test {

const char kClass[] = "hx220";
const std::string kEngineRunning = "MOTEUR 2 40000 501 8.0 1";

class HelicopterTest : public simtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        sound = &fakesound::Library::Load(FAKE_SOUND_PATH);
        ASSERT_TRUE(sound->ok()) << "cannot load " << FAKE_SOUND_PATH;
        sound->reset();
    }

    // A helicopter created at run time, 100 km up; with lines, one loaded from a scenario.
    Vessel *Heli(const std::vector<std::string> &lines = {}, const std::string &name = "HX220")
    {
        Vessel *v = lines.empty() ? Create(name, kClass) : LoadVessel(name, kClass, lines);
        EXPECT_NE(v, nullptr);
        // A scenario's vessels get their visuals at the graphics client's first update, at the end of
        // the first frame. The helicopter flies without one, but its rotor look and beacon lamps are
        // on the visual's mesh, and these tests look at them from its first frame on, so the visual
        // is given here at once.
        if (!lines.empty() && v && !v->visual) W().CreateVisual(v);
        return v;
    }
    Vessel *RunningHeli() { return Heli({kEngineRunning}); }

    // The rates the helicopter's laws commanded in the last frame's post-step. The host drops a
    // state written after its update (the write goes into the frame's old state, Rigidbody.cpp
    // SetAngVel, Body.cpp EndStateUpdate), so the helicopter writes them again in its next
    // pre-step: that pre-step alone is run here (it only writes them) and its result read.
    VECTOR3 Commanded(Vessel *v)
    {
        sim::World::Callbacks(v)->clbkPreStep(W().SimTime(), W().StepLength(), W().Mjd());
        return v->omega;
    }

    // The sound calls made since the last Mark().
    void Mark() { mark_ = sound->call_count(); }
    std::vector<std::string> SoundCalls() const
    {
        std::vector<std::string> all = sound->Calls();
        return std::vector<std::string>(all.begin() + std::min<std::size_t>(mark_, all.size()), all.end());
    }
    // One frame's sound calls.
    std::vector<std::string> FrameSounds()
    {
        Mark();
        Step();
        return SoundCalls();
    }

    // The values of an own saved line ("MOTEUR 2 ..." -> "2 ...").
    std::string Values(Vessel *v, const std::string &keyword)
    {
        const std::string line = SavedLine(v, keyword);
        return line.size() > keyword.size() ? line.substr(keyword.size() + 1) : "";
    }

    fakesound::Library *sound = nullptr;

private:
    std::size_t mark_ = 0;
};

inline std::string Play(int id, int slot, int loop, int volume, int freq)
{
    return "PlayVesselWaveOBSound3(" + std::to_string(id) + ", " + std::to_string(slot) + ", " +
           std::to_string(loop) + ", " + std::to_string(volume) + ", " + std::to_string(freq) + ")";
}
inline std::string Stop(int id, int slot)
{
    return "StopVesselWave3(" + std::to_string(id) + ", " + std::to_string(slot) + ")";
}

}  // namespace hx220test
