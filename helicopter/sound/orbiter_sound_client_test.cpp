// The sound client on its own, with the stand-in add-on loaded in the process: the connection,
// the range checks before every call and the log. (The log's count lives as long as the process,
// which may run one test or all of them: entries_written keeps track.)
#include "orbiter_sound_client.h"

#include "testing/sim_test.h"
#include "testing/fake_sound.h"

#include <sys/stat.h>

#include <cstdio>

namespace {

const char kLog[] = "OrbiterSound_Log.txt";
const char kHeader[] = "Orbiter Sound Log Started\n*****************************\n\n";
const char kNullEntry[] =
    "--------------------------------------\n"
    "ERR01= Vessel->ConnectToOrbiterSoundDLL3: A vessel passed a NULL handle to this function\n"
    "\n";
int dummy_vessel;  // any non-null handle: the add-on only passes it on
int entries_written = 0;  // log entries this process wrote so far

class SoundClientTest : public simtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        sound = &fakesound::Library::Load(FAKE_SOUND_PATH);
        ASSERT_TRUE(sound->ok());
        sound->reset();
    }
    fakesound::Library *sound = nullptr;
};

TEST_F(SoundClientTest, ConnectsToTheLoadedAddonOrLogsANullHandle)
{
    EXPECT_EQ(ConnectToOrbiterSoundDLL3(&dummy_vessel), 0);
    sound->set_id(42);
    EXPECT_EQ(ConnectToOrbiterSoundDLL3(&dummy_vessel), 42);
    EXPECT_EQ(sound->Calls(), (std::vector<std::string>{"GetVesselSoundID3(@)", "GetVesselSoundID3(@)"}));
    EXPECT_TRUE(simtest::ReadFile(kLog).empty());

    EXPECT_EQ(ConnectToOrbiterSoundDLL3(nullptr), -1);
    ++entries_written;
    EXPECT_EQ(simtest::ReadFile(kLog), std::string(kHeader) + kNullEntry);
    EXPECT_EQ(sound->call_count(), 2);
}

TEST_F(SoundClientTest, ArgumentsOutOfRangeNeverReachTheAddon)
{
    ASSERT_EQ(ConnectToOrbiterSoundDLL3(&dummy_vessel), 0);
    sound->reset();
    for (int bad_slot : {0, 61}) {
        EXPECT_EQ(LoadWave(0, bad_slot, "a.wav", 1), 0);
        EXPECT_EQ(PlayWave(0, bad_slot, 0, 255, 0), 0);
        EXPECT_EQ(StopWave(0, bad_slot), 0);
    }
    for (int bad_id : {-1, 60}) {
        EXPECT_EQ(LoadWave(bad_id, 1, "a.wav", 1), 0);
        EXPECT_EQ(PlayWave(bad_id, 1, 0, 255, 0), 0);
        EXPECT_EQ(StopWave(bad_id, 1), 0);
        EXPECT_EQ(SetSoundOption(bad_id, 1, 0), 0);
    }
    for (int bad_option : {0, 18}) EXPECT_EQ(SetSoundOption(0, bad_option, 0), 0);
    EXPECT_EQ(sound->call_count(), 0);

    // The edges that are in range pass, with the add-on's result.
    EXPECT_EQ(LoadWave(59, 60, "a.wav", 7), 1);
    EXPECT_EQ(PlayWave(0, 1, 1, 220, -5), 1);
    EXPECT_EQ(StopWave(59, 60), 1);
    EXPECT_EQ(SetSoundOption(0, 1, 0), 1);
    EXPECT_EQ(SetSoundOption(59, 17, 1), 1);
    EXPECT_EQ(sound->Calls(), (std::vector<std::string>{
                                  "LoadVesselWaveOBSound3(59, 60, \"a.wav\", 7)",
                                  "PlayVesselWaveOBSound3(0, 1, 1, 220, -5)", "StopVesselWave3(59, 60)",
                                  "SoundOption3(0, 1, 0)", "SoundOption3(59, 17, 1)"}));
}

TEST_F(SoundClientTest, ALogThatCannotBeOpenedIsSkipped)
{
    ASSERT_EQ(mkdir(kLog, 0755), 0);  // a folder in the log's place: neither opened nor created
    WriteSoundLog("lost", "");
    ASSERT_EQ(rmdir(kLog), 0);
    WriteSoundLog("kept", nullptr);
    ++entries_written;
    EXPECT_EQ(simtest::ReadFile(kLog), std::string(kHeader) + "--------------------------------------\nkept\n");
}

TEST_F(SoundClientTest, AtMost101EntriesPerLoadedModule)
{
    for (int i = 0; i < 150; ++i) ConnectToOrbiterSoundDLL3(nullptr);
    std::string want = kHeader;
    for (int i = entries_written; i < 101; ++i) want += kNullEntry;
    EXPECT_EQ(simtest::ReadFile(kLog), want);
    std::remove(kLog);
    WriteSoundLog("late", "");
    EXPECT_TRUE(simtest::ReadFile(kLog).empty()) << "after 101 entries the log is not touched";
}

}  // namespace
