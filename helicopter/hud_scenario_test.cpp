// The helicopter's scenario lines (and, with the autopilots, its head-up display) through the
// stand-in host.
#include "hx220_test_support.h"

#include <algorithm>

using namespace hx220test;

namespace {

class ScenarioTest : public HelicopterTest {
protected:
    std::vector<std::string> OwnLines(Vessel *v)
    {
        std::vector<std::string> lines = Saved(v);
        auto it = std::find_if(lines.begin(), lines.end(), [](const std::string &l) { return l.rfind("MOTEUR", 0) == 0; });
        return std::vector<std::string>(it, lines.end());
    }
    int LogCount(const std::string &line)
    {
        const auto &log = W().LogLines();
        return static_cast<int>(std::count(log.begin(), log.end(), line));
    }
};

TEST_F(ScenarioTest, FiveLinesAfterTheHostsWithTheirDefaults)
{
    Vessel *v = Heli();
    const std::vector<std::string> lines = Saved(v);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 5, lines.end()),
              (std::vector<std::string>{"MOTEUR 0 0.000000 0 0.000000 0", "STATIO 0 0",
                                        "PILOTEAUTO 0 0.000000 0.000000 0.000000", "HEADINGHOLD 0 0 0",
                                        "PERCHE 0 0.000000"}));
    EXPECT_EQ(lines.front().rfind("STATUS", 0), 0u) << "the host's lines come first";
}

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

}  // namespace
