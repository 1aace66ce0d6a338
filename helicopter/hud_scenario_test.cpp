// The helicopter's scenario lines (and, with the autopilots, its head-up display) through the
// stand-in host.
#include "hx220_test_support.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

using namespace hx220test;

namespace {

int CountLines(const std::vector<std::string> &lines, const std::string &line)
{
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

class ScenarioTest : public HelicopterTest {
protected:
    int LogCount(const std::string &line) { return CountLines(W().LogLines(), line); }
    std::vector<std::string> OwnLines(Vessel *v)
    {
        std::vector<std::string> lines = Saved(v);
        auto it = std::find_if(lines.begin(), lines.end(), [](const std::string &l) { return l.rfind("MOTEUR", 0) == 0; });
        return std::vector<std::string>(it, lines.end());
    }
};

TEST_F(ScenarioTest, RoundTripWithLowerCaseKeywordsAndFlagsNormalised)
{
    Vessel *v = Heli({"STATUS Landed Earth", "POS 10.0 20.0", "HEADING 45",
                      "moteur 2 40000 501 8.0 7", "Statio 5 -2", "PILOTEAUTO 3 0.5 -0.25 90",
                      "HEADINGHOLD 1 0 1", "perche 3 1.0"});
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->landed) << "the host's own lines still reach the host";
    const std::vector<std::string> want = {"MOTEUR 2 40000.000000 501 8.000000 1", "STATIO 1 1",
                                           "PILOTEAUTO 1 0.500000 -0.250000 90.000000", "HEADINGHOLD 1 0 1",
                                           "PERCHE 3 1.000000"};
    EXPECT_EQ(OwnLines(v), want);

    // Saved and loaded again: the same lines.
    Vessel *again = Heli(OwnLines(v), "HX220b");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(OwnLines(again), want);
}

// A value that is not a finite number keeps the field as it was (a default or an earlier line's),
// so nothing that is not a number reaches the autopilot, the thrust or the angular velocity.
TEST_F(ScenarioTest, ValuesThatAreNoNumberKeepTheField)
{
    Vessel *v = Heli({"MOTEUR 2 40000 501 8.0 1", "MOTEUR 2 nan 501 inf 1", "STATIO 1 0",
                      "PILOTEAUTO 1 0.5 -0.25 90", "PILOTEAUTO 1 nan inf -inf", "PERCHE 3 0.5", "PERCHE 3 nan"});
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(OwnLines(v), (std::vector<std::string>{"MOTEUR 2 40000.000000 501 8.000000 1", "STATIO 1 0",
                                                     "PILOTEAUTO 1 0.500000 -0.250000 90.000000",
                                                     "HEADINGHOLD 0 0 0", "PERCHE 3 0.500000"}));

    // Alone, a heliport target that is no number leaves the fresh helicopter's zeros; following
    // the course there keeps every thruster level and the angular velocity finite.
    Vessel *h = Heli({"MOTEUR 2 40000 501 8.0 1", "STATIO 1 0", "PILOTEAUTO 1 nan nan nan"}, "HX220b");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Values(h, "PILOTEAUTO"), "1 0.000000 0.000000 0.000000");
    h->Place(0.001, 0.001, 500, 1.0);
    Step(5);
    EXPECT_TRUE(std::isfinite(h->omega.x) && std::isfinite(h->omega.y) && std::isfinite(h->omega.z));
    ASSERT_FALSE(h->thrusters.empty());
    for (const auto *t : h->thrusters) EXPECT_TRUE(std::isfinite(t->level));
}

TEST_F(ScenarioTest, OwnLinesAlsoGoToTheHostExceptThePoleLine)
{
    options.journal = true;
    Vessel *v = Heli({"MOTEUR 1 0 0 0 1", "HEADINGHOLD 1 0 1", "PERCHE 2 0.25", "UNKNOWN 1"});
    ASSERT_NE(v, nullptr);
    std::vector<std::string> parsed;
    for (const auto &j : v->journal)
        if (j.rfind("ParseScenarioLineEx", 0) == 0) parsed.push_back(j);
    EXPECT_EQ(parsed, (std::vector<std::string>{"ParseScenarioLineEx(\"MOTEUR 1 0 0 0 1\")",
                                                "ParseScenarioLineEx(\"HEADINGHOLD 1 0 1\")",
                                                "ParseScenarioLineEx(\"UNKNOWN 1\")"}));
    EXPECT_EQ(Values(v, "PERCHE"), "2 0.250000");
}

TEST_F(ScenarioTest, ShortOrHugeValuesNeitherCrashNorCutTheLine)
{
    Vessel *v = Heli({"MOTEUR 2 1e300 501", "PILOTEAUTO 1 1e300 -1e300 1e300", "PERCHE"});
    ASSERT_NE(v, nullptr);
    const std::string engine = Values(v, "MOTEUR");
    EXPECT_EQ(engine.substr(0, 12), "2 1000000000");
    EXPECT_EQ(engine.substr(engine.size() - 15), " 501 0.000000 0") << "missing values keep their defaults";
    EXPECT_EQ(Values(v, "PERCHE"), "0 0.000000");
    const std::string course = Values(v, "PILOTEAUTO");
    EXPECT_GT(course.size(), 900u);
    EXPECT_EQ(course.substr(course.size() - 7), ".000000");
    // The frequency passed to the add-on is held within its integer range.
    v->Place(0, 0, 100);
    EXPECT_EQ(FrameSounds(), (std::vector<std::string>{Play(0, 1, 1, 255, 2147483647), Play(0, 2, 1, 220, 2147483647)}));
}

TEST_F(ScenarioTest, EverySaveWritesTheLogLine)
{
    Vessel *v = Heli();
    const std::string line = "sauvegarde sc\xe9nario";
    EXPECT_EQ(LogCount(line), 0);
    Saved(v);
    EXPECT_EQ(LogCount(line), 1);
    Saved(v);
    EXPECT_EQ(LogCount(line), 2);
}

// --- head-up display ------------------------------------------------------------------------------

class HudTest : public HelicopterTest {
protected:
    int LogCount(const std::string &line) { return CountLines(W().LogLines(), line); }
    // Drawn on a 1024 x 768 display: the top line is 384 - 192 = 192.
    HDC__ *Hud(Vessel *v) { return W().DrawHud(1024, 768, v); }
    std::vector<const HDC__::Op *> Boxes(HDC__ *d)
    {
        std::vector<const HDC__::Op *> out;
        for (const auto &op : d->ops)
            if (op.type == HDC__::Op::RECTANGLE) out.push_back(&op);
        return out;
    }
    void ExpectAt(HDC__ *d, const std::string &text, int x, int y)
    {
        const HDC__::Op *op = d->FindText(text);
        ASSERT_NE(op, nullptr) << text;
        EXPECT_EQ(op->x, x) << text;
        EXPECT_EQ(op->y, y) << text;
    }
    // The warning sound's calls (slot 5) since the last Mark().
    std::vector<std::string> WarningCalls() const
    {
        std::vector<std::string> out;
        for (const std::string &c : SoundCalls())
            if (c.find(", 5, 1, 150, 0)") != std::string::npos || c.rfind(", 5)") == c.size() - 4) out.push_back(c);
        return out;
    }
    int n_ = 0;
    Vessel *Modes(const std::vector<std::string> &lines) { return Heli(lines, "M" + std::to_string(++n_)); }
};

TEST_F(HudTest, AFreshHelicopterShowsZerosAndNormal)
{
    HDC__ *d = Hud(Heli());
    EXPECT_EQ(d->Texts(), (std::vector<std::string>{"delta LON : 0.000000", "delta LAT : 0.000000",
                                                    "delta ALT : 0.000000", "NORMAL", "CAP REQUIS : 0.000000"}))
        << "the course where it is undefined is 0";
    ExpectAt(d, "delta LON : 0.000000", 16, 192);
    ExpectAt(d, "delta LAT : 0.000000", 16, 202);
    ExpectAt(d, "delta ALT : 0.000000", 16, 212);
    ExpectAt(d, "NORMAL", 16, 242);
    ExpectAt(d, "CAP REQUIS : 0.000000", 16, 262);
    EXPECT_TRUE(Boxes(d).empty());
}

TEST_F(HudTest, ModeWordPrecedenceHidesTheAssistWords)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"PILOTEAUTO 1 0 0 0", "STATIO 1 1", "HEADINGHOLD 1 1 1"}, "SUIVRE CAP"},
        {{"STATIO 1 1", "HEADINGHOLD 1 1 1"}, "DESCENTE"},
        {{"STATIO 1 0", "HEADINGHOLD 1 1 1"}, "STATIONNAIRE"},
        {{"HEADINGHOLD 1 1 1"}, "HEADING HOLD"},
    };
    for (const auto &c : cases) {
        HDC__ *d = Hud(Modes(c.first));
        ExpectAt(d, c.second, 16, 242);
        EXPECT_EQ(d->FindText("MODE AVION"), nullptr) << c.second;
        EXPECT_EQ(d->FindText("AUTOPILOTE ALTITUDE"), nullptr) << c.second;
    }
    HDC__ *d = Hud(Modes({"HEADINGHOLD 0 1 1"}));
    ExpectAt(d, "NORMAL", 16, 242);
    ExpectAt(d, "AUTOPILOTE ALTITUDE", 16, 252);
    ExpectAt(d, "MODE AVION", 55, 257);
}

TEST_F(HudTest, PoleBarAndBlinkingWarningWithItsSound)
{
    HDC__ *d = Hud(Modes({"PERCHE 2 0.5"}));
    ASSERT_EQ(Boxes(d).size(), 1u);
    const HDC__::Op *bar = Boxes(d)[0];
    EXPECT_EQ((std::vector<int>{bar->x, bar->y, bar->x2, bar->y2}), (std::vector<int>{7, 192, 14, 209}));

    // Extended and sinking below 200 m: WARNING and the bar in the first half of each second, the
    // looped warning sound in both halves (id 1: the add-on's id for the second helicopter). The
    // sound is the frame's business: drawing the display makes none (it used to start the sound,
    // which then only the display could stop).
    Vessel *v = Modes({"PERCHE 3 1.0"});
    v->Place(0, 0, 150, 0, 0, 0, _V(0, -1, 0));
    Mark();
    Step();
    EXPECT_EQ(WarningCalls(), (std::vector<std::string>{Play(1, 5, 1, 150, 0)}));
    Mark();
    d = Hud(v);
    ExpectAt(d, "WARNING", 16, 232);
    ASSERT_EQ(Boxes(d).size(), 1u);
    EXPECT_EQ(Boxes(d)[0]->y2, 227);
    EXPECT_TRUE(SoundCalls().empty());
    Mark();
    Step(30);  // 0.62 s
    EXPECT_EQ(WarningCalls(), std::vector<std::string>(30, Play(1, 5, 1, 150, 0)));
    d = Hud(v);
    EXPECT_EQ(d->FindText("WARNING"), nullptr);
    EXPECT_TRUE(Boxes(d).empty());

    // Climbing: the bar, and the sound stops, once.
    v->Place(0, 0, 150, 0, 0, 0, _V(0, 1, 0));
    Mark();
    Step(3);
    EXPECT_EQ(WarningCalls(), (std::vector<std::string>{Stop(1, 5)}));
    d = Hud(v);
    EXPECT_EQ(d->FindText("WARNING"), nullptr);
    EXPECT_EQ(Boxes(d).size(), 1u);
}

TEST_F(HudTest, WarningSoundStopsWhenThePoleRetractsOrTheSinkEndsWithNoDisplayDrawn)
{
    // No display is drawn in this test: the sound follows the warning frame by frame all the same.
    Vessel *v = Modes({"PERCHE 3 1.0"});
    v->Place(0, 0, 150, 0, 0, 0, _V(0, -1, 0));
    Mark();
    Step(60);  // 1.2 s, both halves of a second
    EXPECT_EQ(WarningCalls(), std::vector<std::string>(60, Play(0, 5, 1, 150, 0)));

    // The pole goes in while the warning sounds: retracting is no warning, so the loop stops.
    Mark();
    EXPECT_EQ(Key(v, OAPI_KEY_P, true), 1);
    Step(5);
    EXPECT_EQ(WarningCalls(), (std::vector<std::string>{Stop(0, 5)}));
    Mark();
    StepFor(6);  // fully retracted: still silent, and no further stop
    EXPECT_TRUE(WarningCalls().empty());

    // Out again and still sinking: the warning comes back once the pole is fully out (5 s); in
    // level flight it ends.
    EXPECT_EQ(Key(v, OAPI_KEY_P, true), 1);
    Mark();
    StepFor(5.2);
    EXPECT_FALSE(WarningCalls().empty());
    EXPECT_EQ(WarningCalls().back(), Play(0, 5, 1, 150, 0));
    v->Place(0, 0, 150, 0, 0, 0, _V(0, 0, 0));
    Mark();
    Step();
    EXPECT_EQ(WarningCalls(), (std::vector<std::string>{Stop(0, 5)})) << "level flight is no sinking";
}

TEST_F(HudTest, CatchCueHasABoxOfItsOwn)
{
    WriteConfig("Config/Vessels/TestCapsule.cfg", "ClassName = TestCapsule\nMass = 191\n");
    Vessel *c = Create("Corvane_SRC_Parafoil", "TestCapsule");
    Vessel *v = Heli();
    // 1.5e-6 rad off and 16 m above: the cue shows, the catch does not happen.
    options.journal = true;
    c->Place(1.5e-6, 0, 1000);
    v->Place(0, 0, 1016);
    Step();
    HDC__ *d = Hud(v);
    ExpectAt(d, "CATCH !", 16, 232);
    ExpectAt(d, "delta ALT : 16.000000", 16, 212);
    EXPECT_NE(d->FindText("delta LON : -0.000086"), nullptr);
    EXPECT_NE(d->FindText("CAP REQUIS : 90.000000"), nullptr);
    EXPECT_EQ(c->parent, nullptr);

    // Right above at 14.5 m: caught, and no cue (below its 15 m floor).
    c->Place(0, 0, 1001.5);
    v->Place(0, 0, 1016);
    Step();
    EXPECT_EQ(Hud(v)->FindText("CATCH !"), nullptr);

    // A far-off capsule: the numbers are cut to the line, never overrun.
    c->Place(0, 0, 1e60);
    v->Place(0, 0, 1016);
    Step();
    d = Hud(v);
    std::string alt_line;
    for (const auto &t : d->Texts())
        if (t.rfind("delta ALT : -", 0) == 0) alt_line = t;
    EXPECT_EQ(alt_line.size(), 63u) << ::testing::PrintToString(d->Texts());
}

// What a display drew, one line per operation as the listing has it but without the interface it
// came through, which goes into `via`.
std::string Drawn(const HDC__ *d, std::set<std::string> *via)
{
    std::istringstream in(d->Listing());
    std::string out, line;
    while (std::getline(in, line)) {
        const std::size_t p = line.rfind(" (");
        via->insert(line.substr(p));
        out += line.substr(0, p) + "\n";
    }
    return out;
}

TEST_F(HudTest, EveryGenerationDrawsTheSameItemsThroughItsOwnInterface)
{
    // The built-in graphics client (2016, the 2024 inline build) hands the helicopter a sketchpad
    // with a device context, so the host goes on to the device-context callback; the 2024 external
    // client and the current simulator have only the sketchpad. The pilot sees the same display.
    WriteConfig("Config/Vessels/TestCapsule.cfg", "ClassName = TestCapsule\nMass = 191\n");
    const std::string obsolete = "Call to obsolete Sketchpad::GetDC() detected. Returned NULL";
    const struct {
        sim::HostGeneration host;
        const char *via;
        int obsolete_lines;  // the external client logs the sketchpad's GetDC, once for the surface
    } generations[] = {{sim::HostGeneration::k2016, " (dc)", 0},
                       {sim::HostGeneration::k2024Inline, " (dc)", 0},
                       {sim::HostGeneration::k2024, " (sketchpad)", 1},
                       {sim::HostGeneration::kLatest, " (sketchpad)", 1}};
    std::string reference;
    for (const auto &g : generations) {
        SCOPED_TRACE(sim::HostGenerationName(g.host));
        EndWorld();
        options.host = g.host;
        std::string drawn;
        std::set<std::string> via;
        auto take = [&](HDC__ *d) {
            ASSERT_NE(d, nullptr);
            drawn += Drawn(d, &via) + "--\n";
        };
        // Each mode word, and the assist words of the normal mode.
        const std::vector<std::vector<std::string>> modes = {
            {"PILOTEAUTO 1 0 0 0"}, {"STATIO 1 1"}, {"STATIO 1 0"}, {"HEADINGHOLD 1 0 0"}, {"HEADINGHOLD 0 1 1"}};
        for (const auto &lines : modes) take(Hud(Modes(lines)));
        // The warning and the pole bar in the first half of a second, nothing of them in the second.
        Vessel *v = Modes({"PERCHE 3 1.0"});
        v->Place(0, 0, 150, 0, 0, 0, _V(0, -1, 0));
        Step();
        take(Hud(v));
        Step(30);
        take(Hud(v));
        // The catch cue, with the offsets and course to the capsule.
        // (In a world of its own, where the pilot's view is from this helicopter.)
        EndWorld();
        Vessel *h = Modes({});
        Vessel *c = Create("Corvane_SRC_Parafoil", "TestCapsule");
        c->Place(1.5e-6, 0, 1000);
        h->Place(0, 0, 1016);
        Step();
        take(Hud(h));

        EXPECT_EQ(via, std::set<std::string>{g.via});
        EXPECT_EQ(LogCount(obsolete), g.obsolete_lines);
        if (reference.empty())
            reference = drawn;
        else
            EXPECT_EQ(drawn, reference);
    }
    for (const char *item : {"\"SUIVRE CAP\"", "\"DESCENTE\"", "\"STATIONNAIRE\"", "\"HEADING HOLD\"", "\"NORMAL\"",
                             "\"AUTOPILOTE ALTITUDE\"", "\"MODE AVION\"", "\"WARNING\"", "rect 7 192 14 227",
                             "\"CATCH !\"", "\"delta ALT : 16.000000\"", "\"CAP REQUIS : 90.000000\""})
        EXPECT_NE(reference.find(item), std::string::npos) << item << "\n" << reference;
}

}  // namespace
