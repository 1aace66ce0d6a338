// The helicopter with XRSound in the process and the older sound add-on absent: the engine asked for
// once the vessel exists, the library's engine sounds off, the five waves, the engine sounds frame by
// frame, one engine per helicopter, a library that gives no engine; and the client's own checks.
// The library's numbers (playback types, its own sound ids, its reserved range) are those of its
// public header, XRSound.h; volumes are the add-on's 0..255 over 255, worked out by hand.
#include "xrsound_client.h"

#include "testing/sim_test.h"
#include "testing/fake_xrsound.h"

#include <algorithm>
#include <cmath>

namespace {

const char kAddonLog[] = "OrbiterSound_Log.txt";
const char kNotInstalledEntry[] =
    "Orbiter Sound Log Started\n*****************************\n\n"
    "--------------------------------------\n"
    "ERR01= Vessel->ConnectToOrbiterSoundDLL3: Unable to connect to OrbiterSound 3.0 - not installed or activated\n"
    "\n";

class XRSoundTest : public simtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        xr = &fakexrsound::Library::Load(FAKE_XRSOUND_PATH);
        ASSERT_TRUE(xr->ok()) << "cannot load " << FAKE_XRSOUND_PATH;
        xr->reset();
    }
    // A helicopter loaded from scenario lines, with its visual at once (the frame's sound steps run
    // only while it has one).
    Vessel *Heli(const std::string &name = "HX220", const std::vector<std::string> &lines = {"PERCHE 0 0"})
    {
        Vessel *v = LoadVessel(name, "hx220", lines);
        EXPECT_NE(v, nullptr);
        if (v && !v->visual) W().CreateVisual(v);
        return v;
    }
    std::vector<std::string> FrameCalls()
    {
        const int from = xr->call_count();
        Step();
        const std::vector<std::string> all = xr->Calls();
        return std::vector<std::string>(all.begin() + from, all.end());
    }
    int HostLogCount(const std::string &line)
    {
        return static_cast<int>(std::count(W().LogLines().begin(), W().LogLines().end(), line));
    }
    fakexrsound::Library *xr = nullptr;
};

std::string Play(const std::string &v, int id, int loop, const char *volume)
{
    return "PlayWav(" + v + ", " + std::to_string(id) + ", " + std::to_string(loop) + ", " + volume + ")";
}
std::string Stop(const std::string &v, int id) { return "StopWav(" + v + ", " + std::to_string(id) + ")"; }

TEST_F(XRSoundTest, AskedOnceTheVesselExistsEngineSoundsOffFiveWavesOneLogLine)
{
    Heli();
    EXPECT_EQ(xr->Calls(), (std::vector<std::string>{
                               "GetXRSoundEngineInstance(HX220)",
                               // MainEngines, RetroEngines, HoverEngines, RCSSustain, CustomEngines
                               "SetDefaultSoundEnabled(HX220, 10004, 0)",
                               "SetDefaultSoundEnabled(HX220, 10005, 0)",
                               "SetDefaultSoundEnabled(HX220, 10006, 0)",
                               "SetDefaultSoundEnabled(HX220, 10008, 0)",
                               "SetDefaultSoundEnabled(HX220, 10014, 0)",
                               // BothViewFar 2, BothViewClose 4
                               "LoadWav(HX220, 1, \"Sound\\Vessel\\helico.wav\", 2)",
                               "LoadWav(HX220, 2, \"Sound\\Vessel\\helico.wav\", 4)",
                               "LoadWav(HX220, 3, \"Sound\\Vessel\\demarragehelico.wav\", 2)",
                               "LoadWav(HX220, 4, \"Sound\\Vessel\\demarragehelico.wav\", 4)",
                               "LoadWav(HX220, 5, \"Sound\\Vessel\\warningHX220.wav\", 4)",
                               "GetVersion(HX220)",
                           }))
        << "the library's entry gives no engine before the vessel's module object exists";
    EXPECT_EQ(HostLogCount("hx220 HX220: sound through XRSound 3.00"), 1);
    EXPECT_EQ(simtest::ReadFile(kAddonLog), kNotInstalledEntry) << "the add-on's client logs its absence as ever";
}

TEST_F(XRSoundTest, EngineStartAndWarningFrameByFrame)
{
    Vessel *v = Heli("H");
    const std::vector<std::string> off = {Stop("H", 1), Stop("H", 2), Stop("H", 3), Stop("H", 4)};
    EXPECT_EQ(FrameCalls(), off) << "an engine that is off stops its sounds every frame";

    // The start: slots 3 and 4 once at 200 and 180 of 255 every frame of the 500-frame wait...
    Key(v, OAPI_KEY_K);
    const std::vector<std::string> start = {Play("H", 3, 0, "0.7843"), Play("H", 4, 0, "0.7059")};
    for (int frame = 1; frame < 500; ++frame) ASSERT_EQ(FrameCalls(), start) << "frame " << frame;
    // ...then the rotor loops at 255 and 220 of 255 with them, and alone once the ramp has begun.
    std::vector<std::string> both = start;
    both.push_back(Play("H", 1, 1, "1.0000"));
    both.push_back(Play("H", 2, 1, "0.8627"));
    EXPECT_EQ(FrameCalls(), both);
    EXPECT_EQ(FrameCalls(), both);
    EXPECT_EQ(FrameCalls(), std::vector<std::string>(both.begin() + 2, both.end()));

    // The pole warning of a helicopter with its pole out: sinking below 200 m, looped at 150 of 255
    // every frame; climbing, stopped.
    Vessel *w = Heli("W", {"PERCHE 3 1.0"});
    w->Place(0, 0, 150, 0, 0, 0, _V(0, -1, 0));
    std::vector<std::string> s;
    for (int frame = 0; frame < 3; ++frame) {
        s = FrameCalls();
        EXPECT_EQ(std::count(s.begin(), s.end(), Play("W", 5, 1, "0.5882")), 1) << "frame " << frame;
    }
    w->Place(0, 0, 150, 0, 0, 0, _V(0, 1, 0));
    s = FrameCalls();
    EXPECT_EQ(std::count(s.begin(), s.end(), Stop("W", 5)), 1);
    EXPECT_EQ(std::count_if(s.begin(), s.end(),
                            [](const std::string &c) { return c.find("W, 5, ") != std::string::npos; }),
              0) << "no warning while climbing";

    // No call reaches any slot but loading, playing, stopping, the own sounds and the version.
    for (const std::string &c : xr->Calls())
        EXPECT_TRUE(c.rfind("PlayWav(", 0) == 0 || c.rfind("StopWav(", 0) == 0 || c.rfind("LoadWav(", 0) == 0 ||
                    c.rfind("SetDefaultSoundEnabled(", 0) == 0 || c.rfind("GetVersion(", 0) == 0 ||
                    c.rfind("GetXRSoundEngineInstance(", 0) == 0)
            << c;
}

TEST_F(XRSoundTest, EachHelicopterPlaysThroughItsOwnEngine)
{
    // Unlike the add-on's one module-wide id, an engine belongs to its vessel: each helicopter's
    // sounds come from where it is, and one helicopter's engine never outlives it in another.
    Vessel *a = Heli("A");
    Heli("B");
    Key(a, OAPI_KEY_K);
    const std::vector<std::string> s = FrameCalls();
    EXPECT_EQ(s, (std::vector<std::string>{Play("A", 3, 0, "0.7843"), Play("A", 4, 0, "0.7059"), Stop("B", 1),
                                           Stop("B", 2), Stop("B", 3), Stop("B", 4)}));
    EXPECT_EQ(HostLogCount("hx220 A: sound through XRSound 3.00"), 1);
    EXPECT_EQ(HostLogCount("hx220 B: sound through XRSound 3.00"), 1);
}

TEST_F(XRSoundTest, ALibraryThatGivesNoEngineLeavesTheHelicopterSilent)
{
    xr->refuse(1);
    Vessel *v = Heli();
    Key(v, OAPI_KEY_K);
    Step(600);
    EXPECT_EQ(xr->Calls(), std::vector<std::string>{"GetXRSoundEngineInstance(HX220)"});
    EXPECT_EQ(HostLogCount("hx220 HX220: no sound library found (neither the sound add-on nor XRSound), silent"), 1);
    EXPECT_EQ(SavedLine(v, "MOTEUR"), "MOTEUR 1 5050.000000 501 1.010000 1") << "the engine starts all the same";
}

TEST_F(XRSoundTest, ClientRefusesTheLibrarysIdsAndMissingNamesAndHoldsTheVolume)
{
    Heli("P");
    xrsound::Engine *e = xrsound::Connect(oapiGetVesselByName(const_cast<char *>("P")));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(xrsound::Connect(nullptr), nullptr);
    const int mark = xr->call_count();

    using xrsound::Playback;
    for (int reserved : {10000, 11999}) {
        EXPECT_FALSE(xrsound::LoadWav(e, reserved, "a.wav", Playback::GLOBAL));
        EXPECT_FALSE(xrsound::PlayWav(e, reserved, true, 1));
        EXPECT_FALSE(xrsound::StopWav(e, reserved));
    }
    EXPECT_FALSE(xrsound::LoadWav(e, 6, nullptr, Playback::GLOBAL));
    EXPECT_FALSE(xrsound::LoadWav(e, 6, "", Playback::GLOBAL));
    EXPECT_FALSE(xrsound::LoadWav(nullptr, 6, "a.wav", Playback::GLOBAL));
    EXPECT_FALSE(xrsound::PlayWav(nullptr, 6, true, 1));
    EXPECT_FALSE(xrsound::StopWav(nullptr, 6));
    EXPECT_FALSE(xrsound::SetDefaultSoundEnabled(nullptr, xrsound::MAIN_ENGINES, false));
    EXPECT_EQ(xrsound::Version(nullptr), 0.0f);
    EXPECT_EQ(xr->call_count(), mark) << "nothing refused reaches the engine";

    // The edges outside the reserved range pass, with the engine's result.
    EXPECT_TRUE(xrsound::LoadWav(e, 9999, "a.wav", Playback::GLOBAL));
    EXPECT_TRUE(xrsound::StopWav(e, 12000));
    EXPECT_TRUE(xrsound::PlayWav(e, 6, false, 1.5f));
    EXPECT_TRUE(xrsound::PlayWav(e, 6, true, -0.25f));
    EXPECT_TRUE(xrsound::PlayWav(e, 6, true, std::nanf("")));
    const std::vector<std::string> all = xr->Calls();
    EXPECT_EQ(std::vector<std::string>(all.begin() + mark, all.end()),
              (std::vector<std::string>{"LoadWav(P, 9999, \"a.wav\", 7)", "StopWav(P, 12000)",
                                        Play("P", 6, 0, "1.0000"), Play("P", 6, 1, "0.0000"),
                                        Play("P", 6, 1, "0.0000")}));
}

}  // namespace
