// The helicopter with a sound add-on that lacks one of its routines (built once per variant):
// one log entry with the matching message, and the add-on is never called.
#include "testing/sim_test.h"
#include "testing/fake_sound.h"

namespace {

// One suite name per variant, so that each build's test has a name of its own.
#if defined(FAKE_SOUND_VARIANT_no_routine)
const char kMessage[] = "ERR02= ConnectToOrbiterSoundDLL3: Unable to find routines missing OrbiterSound3.0 ?";
#define MISSING_SUITE SoundWithoutARoutineTest
#else
const char kMessage[] = "ERR03= unable to connect to GetMyID, Older OrbiterSound.dll ?";
#define MISSING_SUITE SoundWithoutTheIdRoutineTest
#endif

class MISSING_SUITE : public simtest::SimTest {};

TEST_F(MISSING_SUITE, OneEntryAndTheAddonIsNeverCalled)
{
    fakesound::Library &sound = fakesound::Library::Load(FAKE_SOUND_PATH);
    ASSERT_TRUE(sound.ok());
    sound.reset();
    Vessel *v = Create("HX220", "hx220");
    ASSERT_NE(v, nullptr);
    Key(v, OAPI_KEY_K);
    Step(600);
    EXPECT_EQ(simtest::ReadFile("OrbiterSound_Log.txt"),
              std::string("Orbiter Sound Log Started\n*****************************\n\n"
                          "--------------------------------------\n") +
                  kMessage + "\n\n");
    EXPECT_EQ(sound.call_count(), 0);
}

}  // namespace
