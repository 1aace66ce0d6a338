// inputs_test.cpp -- the timed inputs reader: what each line becomes, the key names, the ranges it
// holds lines to, and how a refusal names the file, the line and the offending word.
#include "inputs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using harness::Input;
using harness::ParseInputs;

namespace {

// The one error of a text of inputs that must be refused ("" when it was read).
std::string Refusal(const std::string &text)
{
    std::vector<Input> in;
    std::string error;
    return ParseInputs(text, "f.inputs", &in, &error) ? std::string() : error;
}

}  // namespace

TEST(Inputs, LinesBecomeTimedVerbsWithTheirWordsInFileOrder)
{
    std::vector<Input> in;
    std::string error;
    ASSERT_TRUE(ParseInputs("# a comment\n\n0.5 KEY Corvane_Bus shift+G  # the panels\n"
                            "0.2 mfd left open Corvane L1 Display\n3 control HX220 throttle 0.5\n1e2 end\n",
                            "f.inputs", &in, &error))
        << error;
    ASSERT_EQ(in.size(), 4u);
    EXPECT_EQ(in[0].line, 3);
    EXPECT_DOUBLE_EQ(in[0].t, 0.5);
    EXPECT_EQ(in[0].verb, "key");  // verbs in any case
    EXPECT_EQ(in[0].args, (std::vector<std::string>{"Corvane_Bus", "shift+G"}));
    EXPECT_DOUBLE_EQ(in[1].t, 0.2);  // the order is the file's; the host plays them by time
    EXPECT_EQ(in[1].args, (std::vector<std::string>{"left", "open", "Corvane L1 Display"}));  // a mode name keeps its blanks
    EXPECT_EQ(in[2].args, (std::vector<std::string>{"HX220", "throttle", "0.5"}));
    EXPECT_DOUBLE_EQ(in[3].t, 100);
    EXPECT_EQ(in[3].line, 6);

    EXPECT_EQ(Refusal("1 key A K\n2 jump A\n"), "f.inputs:2: unknown input \"jump\"");
    EXPECT_EQ(Refusal("x key A K\n"), "f.inputs:1: expected a time in seconds, found \"x\"");
    EXPECT_EQ(Refusal("-1 end\n"), "f.inputs:1: expected a time in seconds, found \"-1\"");
    EXPECT_EQ(Refusal("5\n"), "f.inputs:1: a time without an input");
    EXPECT_EQ(Refusal("1 control A flaps 1\n"), "f.inputs:1: unknown control \"flaps\"");
    EXPECT_EQ(Refusal("1 control A throttle inf\n"), "f.inputs:1: expected a level, found \"inf\"");
    EXPECT_EQ(Refusal("1 end now\n"), "f.inputs:1: 'end' takes nothing more");
    EXPECT_EQ(Refusal("1 rand 1\n"), "f.inputs:1: expected: <t> rand <value in [0, 1)>");
}

TEST(Inputs, KeyNamesAreTheKeyboardsScanCodes)
{
    // The host's key codes are the keyboard's scan codes (set 1; the cursor block extended).
    EXPECT_EQ(harness::KeyCode("A"), 0x1E);
    EXPECT_EQ(harness::KeyCode("k"), 0x25);
    EXPECT_EQ(harness::KeyCode("Z"), 0x2C);
    EXPECT_EQ(harness::KeyCode("1"), 0x02);
    EXPECT_EQ(harness::KeyCode("9"), 0x0A);
    EXPECT_EQ(harness::KeyCode("0"), 0x0B);
    EXPECT_EQ(harness::KeyCode("SPACE"), 0x39);
    EXPECT_EQ(harness::KeyCode("return"), 0x1C);
    EXPECT_EQ(harness::KeyCode("UP"), 0xC8);
    EXPECT_EQ(harness::KeyCode("Next"), 0xD1);
    for (const char *unknown : {"", "AB", "F13", "shift+K", "-"}) EXPECT_EQ(harness::KeyCode(unknown), 0) << unknown;
    EXPECT_EQ(Refusal("1 key A shift+F13\n"), "f.inputs:1: unknown key \"shift+F13\"");
    EXPECT_EQ(Refusal("1 mfd left key F13\n"), "f.inputs:1: unknown key \"F13\"");
}

TEST(Inputs, AStepLengthIsFromATenThousandthOfASecondToAnHour)
{
    EXPECT_EQ(Refusal("0 dt 0.0001\n1 dt 3600\n"), "");
    for (const char *dt : {"0.00005", "1e-300", "3601", "0"})
        EXPECT_EQ(Refusal(std::string("0 dt ") + dt + "\n"), "f.inputs:1: dt: a step length must be from 0.0001 to 3600 s")
            << dt;
    EXPECT_EQ(Refusal("0 dt nan\n"), "f.inputs:1: expected: <t> dt <step length in seconds>");
    std::string why;
    EXPECT_TRUE(harness::CheckStepRange(1.0 / 60, &why));
    EXPECT_FALSE(harness::CheckStepRange(std::nan(""), &why));
    EXPECT_EQ(why, "a step length must be from 0.0001 to 3600 s");
}

TEST(Inputs, WarpTakesAFactorAndAnOptionalDelay)
{
    std::vector<Input> in;
    std::string error;
    EXPECT_TRUE(ParseInputs("10 warp 100\n20 warp 1 2.5\n", "x", &in, &error)) << error;
    ASSERT_EQ(in.size(), 2u);
    EXPECT_EQ(in[1].args, (std::vector<std::string>{"1", "2.5"}));
    for (const char *bad : {"1 warp\n", "1 warp 0\n", "1 warp 10 -1\n", "1 warp 10 2 3\n"}) {
        in.clear();
        EXPECT_FALSE(ParseInputs(bad, "x", &in, &error)) << bad;
        EXPECT_NE(error.find("warp <factor"), std::string::npos) << error;
    }
}

TEST(Inputs, SnapshotViewTakesAVesselAnOptionalPlaceAndAFile)
{
    std::vector<Input> in;
    std::string err;
    ASSERT_TRUE(ParseInputs("5 snapshot view HX220 a.png\n6 snapshot view HX220 30 -10 45 b.png\n", "f", &in, &err))
        << err;
    ASSERT_EQ(in.size(), 2u);
    EXPECT_EQ(in[1].args, (std::vector<std::string>{"view", "HX220", "30", "-10", "45", "b.png"}));
    for (const char *bad : {"5 snapshot view a.png\n", "5 snapshot view HX220 30 a.png\n",
                            "5 snapshot view HX220 x 1 2 a.png\n", "5 snapshot view HX220 1 2 -3 a.png\n"}) {
        in.clear();
        EXPECT_FALSE(ParseInputs(bad, "f", &in, &err)) << bad;
        EXPECT_NE(err.find("f:1:"), std::string::npos) << err;
    }
    EXPECT_EQ(Refusal("1 snapshot screen a.png\n"), "f.inputs:1: unknown display \"screen\"");
}

TEST(Inputs, APilotLineNamesAPilotThatExists)
{
    EXPECT_EQ(Refusal("0 pilot recovery\n0 pilot Recovery HX221\n"), "");
    EXPECT_EQ(Refusal("0 pilot\n"), "f.inputs:1: expected: <t> pilot <name> ...");
    EXPECT_EQ(Refusal("0 pilot nobody\n"), "f.inputs:1: no virtual pilot named \"nobody\"");
    EXPECT_EQ(Refusal("0 pilot recovery HX220 extra\n"),
              "f.inputs:1: expected: pilot recovery [<helicopter>] [start=S] [hold=S] [handover=S]");
    EXPECT_EQ(Refusal("0 pilot recovery HX220 start=30 hold=2\n"), "");
    EXPECT_EQ(Refusal("0 pilot recovery start=-2\n"), "f.inputs:1: pilot recovery: start needs a time from 0 to 600 s");
}

TEST(Inputs, PlaceMovesAVesselByMetresNorthAndEastAndTurnsItByDegrees)
{
    std::vector<Input> in;
    std::string error;
    ASSERT_TRUE(ParseInputs("0 place HX220 -250.5 1e3 -90\n", "f", &in, &error)) << error;
    EXPECT_EQ(in[0].args, (std::vector<std::string>{"HX220", "-250.5", "1e3", "-90"}));
    EXPECT_EQ(Refusal("0 place HX220 1 2\n"), "f.inputs:1: expected: <t> place <vessel> <north m> <east m> <turn deg>");
    EXPECT_EQ(Refusal("0 place HX220 1 200001 0\n"), "f.inputs:1: place: a shift from -100 km to 100 km, found \"200001\"");
    EXPECT_EQ(Refusal("0 place HX220 nan 0 0\n"), "f.inputs:1: place: a shift from -100 km to 100 km, found \"nan\"");
    EXPECT_EQ(Refusal("0 place HX220 0 0 361\n"), "f.inputs:1: place: a turn from -360 to 360 degrees, found \"361\"");
}

TEST(Inputs, ARefusalQuotesAtMostEightyCharactersWithControlBytesEscaped)
{
    const std::string e = Refusal("1 key A \x1b[2J\a\"\\" + std::string(200, 'k') + "\n");
    // 80 characters of the word: ESC [ 2 J BEL " \ (four of them escaped), 73 k, then the cut.
    EXPECT_EQ(e, "f.inputs:1: unknown key \"\\x1b[2J\\x07\\x22\\x5c" + std::string(73, 'k') + "...\"");
}
