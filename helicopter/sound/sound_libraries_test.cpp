// The helicopter with both sound libraries in the process: the older add-on plays its sounds when it
// gives an id, XRSound when it does not; and one flight (engine start, running, the pole warning on
// and off, the stop) sounds the same through either: the same waves loaded, and in every frame the
// same slots played or stopped, looped or once, at the same volume.
#include "testing/sim_test.h"
#include "testing/fake_sound.h"
#include "testing/fake_xrsound.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

namespace {

// One request in the libraries' common terms: the frame, the slot (XRSound's sound id), what was
// asked ("loop", "once", "stop") and the volume on the add-on's 0..255 scale (0 for a stop).
using Request = std::tuple<int, int, std::string, int>;
// One wave loaded: its slot and file.
using Load = std::pair<int, std::string>;

// "PlayVesselWaveOBSound3(0, 1, 1, 255, 45200)", "StopVesselWave3(0, 1)"
bool FromAddon(const std::string &c, int frame, Request &r)
{
    int id, slot, loop, volume, freq;
    if (std::sscanf(c.c_str(), "PlayVesselWaveOBSound3(%d, %d, %d, %d, %d)", &id, &slot, &loop, &volume, &freq) == 5) {
        r = Request{frame, slot, loop ? "loop" : "once", volume};
        return true;
    }
    if (std::sscanf(c.c_str(), "StopVesselWave3(%d, %d)", &id, &slot) == 2) {
        r = Request{frame, slot, "stop", 0};
        return true;
    }
    return false;
}

// "PlayWav(HX220, 1, 1, 0.8627)", "StopWav(HX220, 1)"
bool FromXRSound(const std::string &c, int frame, Request &r)
{
    char name[64];
    int slot, loop;
    float volume;
    if (std::sscanf(c.c_str(), "PlayWav(%63[^,], %d, %d, %f)", name, &slot, &loop, &volume) == 4) {
        r = Request{frame, slot, loop ? "loop" : "once", static_cast<int>(std::lround(volume * 255))};
        return true;
    }
    if (std::sscanf(c.c_str(), "StopWav(%63[^,], %d)", name, &slot) == 2) {
        r = Request{frame, slot, "stop", 0};
        return true;
    }
    return false;
}

// "LoadVesselWaveOBSound3(0, 1, \"file\", 7)" or "LoadWav(HX220, 1, \"file\", 2)"
bool LoadOf(const std::string &c, Load &l)
{
    char who[64], file[256];
    int slot;
    if (std::sscanf(c.c_str(), "LoadVesselWaveOBSound3(%63[^,], %d, \"%255[^\"]\"", who, &slot, file) == 3 ||
        std::sscanf(c.c_str(), "LoadWav(%63[^,], %d, \"%255[^\"]\"", who, &slot, file) == 3) {
        l = Load{slot, file};
        return true;
    }
    return false;
}

class SoundLibrariesTest : public simtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        addon = &fakesound::Library::Load(FAKE_SOUND_PATH);
        xr = &fakexrsound::Library::Load(FAKE_XRSOUND_PATH);
        ASSERT_TRUE(addon->ok() && xr->ok());
        addon->reset();
        xr->reset();
    }

    struct Recording {
        std::vector<Load> loads;
        std::vector<Request> requests;
    };

    // The flight, one frame at a time, with the requests of each frame read from `calls` (the
    // library's recording) by `parse`.
    template <class Calls, class Parse>
    Recording Fly(Calls calls, Parse parse)
    {
        Recording rec;
        Vessel *v = LoadVessel("HX220", "hx220", {"PERCHE 3 1.0"});
        if (!v) return rec;
        if (!v->visual) W().CreateVisual(v);
        for (const std::string &c : calls()) {
            Load l;
            if (LoadOf(c, l)) rec.loads.push_back(l);
        }
        int frame = 0;
        auto run = [&](int frames) {
            for (int i = 0; i < frames; ++i, ++frame) {
                const std::size_t from = calls().size();
                Step();
                const std::vector<std::string> all = calls();
                for (std::size_t k = from; k < all.size(); ++k) {
                    Request r;
                    if (parse(all[k], frame, r)) rec.requests.push_back(r);
                }
            }
        };
        run(2);                                      // engine off
        Key(v, OAPI_KEY_K);
        run(1400);                                   // start wait, ramp, running
        v->Place(0, 0, 150, 0, 0, 0, _V(0, -2, 0));  // sinking low with the pole out: the warning
        run(40);
        v->Place(0, 0, 150, 0, 0, 0, _V(0, 2, 0));   // climbing: the warning ends
        run(3);
        Key(v, OAPI_KEY_K);
        run(820);                                    // the stop ramp, then off
        return rec;
    }

    fakesound::Library *addon = nullptr;
    fakexrsound::Library *xr = nullptr;
};

int Count(const std::vector<Request> &rs, int slot, const std::string &what, int volume)
{
    return static_cast<int>(std::count_if(rs.begin(), rs.end(), [&](const Request &r) {
        return std::get<1>(r) == slot && std::get<2>(r) == what && std::get<3>(r) == volume;
    }));
}

TEST_F(SoundLibrariesTest, TheAddonWhenItGivesAnIdXRSoundOtherwise)
{
    LoadVessel("A", "hx220", {});
    EXPECT_EQ(std::count(W().LogLines().begin(), W().LogLines().end(), "hx220 A: sound through the sound add-on"), 1);
    EXPECT_EQ(xr->call_count(), 0) << "XRSound is not asked when the add-on plays";

    // The add-on present but giving no id (a connection it refuses): XRSound steps in, and the add-on
    // hears nothing beyond the connection.
    EndWorld();
    addon->reset();
    addon->set_id(-1);
    LoadVessel("B", "hx220", {});
    EXPECT_EQ(std::count(W().LogLines().begin(), W().LogLines().end(), "hx220 B: sound through XRSound 3.00"), 1);
    EXPECT_EQ(addon->Calls(), std::vector<std::string>{"GetVesselSoundID3(@)"});
    EXPECT_EQ(xr->Calls().front(), "GetXRSoundEngineInstance(B)");
}

TEST_F(SoundLibrariesTest, TheSameRequestsInTheSameFramesThroughEitherLibrary)
{
    const Recording through_addon = Fly([this] { return addon->Calls(); }, FromAddon);
    ASSERT_EQ(xr->call_count(), 0);

    EndWorld();
    addon->reset();
    addon->set_id(-1);
    const Recording through_xr = Fly([this] { return xr->Calls(); }, FromXRSound);
    ASSERT_EQ(addon->call_count(), 1) << "only the refused connection";

    EXPECT_EQ(through_addon.loads, through_xr.loads);
    EXPECT_EQ(through_addon.requests, through_xr.requests);

    // The flight really sounded: the start sound over the wait and the frame after it (frames 2 to
    // 502), the rotor loops from frame 501 on, the warning, the stops of the engine that is off.
    const std::vector<Request> &r = through_xr.requests;
    EXPECT_EQ(through_xr.loads.size(), 5u);
    EXPECT_EQ(Count(r, 3, "once", 200), 501);
    EXPECT_EQ(Count(r, 4, "once", 180), 501);
    EXPECT_EQ(r.front(), (Request{0, 1, "stop", 0}));
    EXPECT_NE(std::find(r.begin(), r.end(), Request{501, 1, "loop", 255}), r.end());
    EXPECT_NE(std::find(r.begin(), r.end(), Request{501, 2, "loop", 220}), r.end());
    EXPECT_GT(Count(r, 5, "loop", 150), 0);
    EXPECT_GT(Count(r, 5, "stop", 0), 0);
    for (int slot = 1; slot <= 4; ++slot)  // the stop ramp's 800 frames are over: off again
        EXPECT_NE(std::find(r.begin(), r.end(), Request{2264, slot, "stop", 0}), r.end()) << slot;
}

}  // namespace
