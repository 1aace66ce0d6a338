// scenario_text_test.cpp -- scenario text as the real host reads and writes it (Vessel.cpp
// WriteDefault, Vesselstatus.cpp ParseScenarioLine2, OrbiterAPI.cpp oapiReadScenario_nextline,
// Orbiter.cpp plugin blocks, Mfd.cpp / MfdUser.cpp display blocks), values that must come back
// exactly, and what the readers refuse.
#include "testing/sim_test.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

using simtest::SimTest;

namespace {

class ScenarioTextTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        WriteConfig("Config/Vessels/simtest.cfg", "ClassName = simtest\nModule = sim_test_vessel\n");
        WriteConfig("Config/plain.cfg", "ClassName = plain\nSize = 2\nMass = 300\n");
    }
    // Loads `text`; "" when it loads, else the error.
    std::string LoadError(const std::string &text)
    {
        std::string err;
        EndWorld();
        return W().LoadScenarioText(text, &err, "t.scn") ? "" : err;
    }
    static std::string Ships(const std::string &blocks) { return "BEGIN_SHIPS\n" + blocks + "END_SHIPS\n"; }
    std::vector<std::string> Events()
    {
        std::vector<std::string> out;
        for (const auto &e : W().events()) out.push_back(e.second);
        return out;
    }
};

const char *kOrbit = "  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 7700\n";

}  // namespace

// --- what is written comes back -----------------------------------------------------------------

TEST_F(ScenarioTextTest, ExtremeValuesAndLongNamesComeBackExactly)
{
    options.physics = false;
    // A 1000-character name with blanks and colons; the largest finite doubles; an elevation too
    // small for the host's 3 decimals (0 would read back as the class's default elevation).
    std::string name;
    while (name.size() < 1000) name += "Big: bus ";
    name.resize(1000);
    const std::string scn = "BEGIN_ENVIRONMENT\n  Date MJD 1e200\nEND_ENVIRONMENT\n" +
                            Ships(name + ":simtest\n  STATUS Orbiting Earth\n"
                                         "  RPOS 1.7976931348623157e308 -1.7976931348623157e308 6771000\n"
                                         "  RVEL -1.7976931348623157e308 0 1.7976931348623157e308\nEND\n"
                                         "Pod:simtest\n  ATTACHED 0:0," + name + "\nEND\n"
                                         "Rover:plain\n  STATUS Landed Earth\n  POS 10 20\n  HEADING 90\n"
                                         "  ALT 0.0004\n  AROT 10 20 30\nEND\n");  // AROT: ALT is the height (SetState2)
    Vessel *bus = LoadScenarioText(scn, name);
    ASSERT_NE(bus, nullptr);
    const std::string first = W().SaveScenarioText();
    EndWorld();
    options.physics = false;
    std::string err;
    ASSERT_TRUE(W().LoadScenarioText(first, &err)) << err;
    EXPECT_EQ(W().SaveScenarioText(), first);
    bus = W().FindVessel(name);
    ASSERT_NE(bus, nullptr);
    EXPECT_EQ(bus->name, name);
    EXPECT_EQ(bus->rpos.x, DBL_MAX);
    EXPECT_EQ(bus->rpos.y, -DBL_MAX);
    EXPECT_EQ(bus->rvel.x, -DBL_MAX);
    EXPECT_EQ(bus->rvel.z, DBL_MAX);
    EXPECT_EQ(W().Mjd(), 1e200);
    ASSERT_NE(W().FindVessel("Pod"), nullptr);
    EXPECT_EQ(W().FindVessel("Pod")->parent, bus);  // the attachment to the long name is kept
    EXPECT_EQ(W().FindVessel("Rover")->landed_elev, 0.0004);
    EXPECT_NE(first.find("\n  ALT 0.0004\n"), std::string::npos);
}

// --- the host's own lines as it writes them -------------------------------------------------------

TEST_F(ScenarioTextTest, PropellantLevelsAsTheHostWritesAndReadsThem)
{
    // The test vessel has one tank of 50 kg. Vessel::Read sets VS_FUELRESET | VS_FUELLIST
    // (Vessel.cpp), so SetState2 empties every tank before the PRPLEVEL list: without a line the
    // tank loads empty.
    Vessel *a = LoadVessel("A", "simtest", {"STATUS Orbiting Earth", "RPOS 6771000 0 0", "RVEL 0 0 7700"});
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->tanks.size(), 1u);
    EXPECT_EQ(a->tanks[0]->mass, 0.0);
    EXPECT_EQ(SavedLine(a, "PRPLEVEL"), "");  // WriteDefault lists only tanks that are not empty
    EndWorld();
    a = LoadVessel("A", "simtest", {"STATUS Orbiting Earth", "RPOS 6771000 0 0", "RVEL 0 0 7700", "PRPLEVEL 0:0.5"});
    EXPECT_DOUBLE_EQ(a->tanks[0]->mass, 25.0);
    EXPECT_EQ(SavedLine(a, "PRPLEVEL"), "PRPLEVEL 0:0.500000");  // setprecision(6), fixed
    // A level too small for 6 decimals (2^-23 = 1.19e-7) keeps its digits: the tank stays as it was
    // after a reload instead of loading empty.
    EndWorld();
    a = LoadVessel("A", "simtest", {"STATUS Orbiting Earth", "RPOS 6771000 0 0", "RVEL 0 0 7700",
                                    "PRPLEVEL 0:1.1920928955078125e-7"});
    const double mass = a->tanks[0]->mass;
    EXPECT_DOUBLE_EQ(mass, 50 * std::ldexp(1.0, -23));
    EXPECT_NE(SavedLine(a, "PRPLEVEL"), "PRPLEVEL 0:0.000000");
    const std::string text = W().SaveScenarioText();
    EndWorld();
    std::string err;
    ASSERT_TRUE(W().LoadScenarioText(text, &err)) << err;
    EXPECT_EQ(W().FindVessel("A")->tanks[0]->mass, mass);
}

TEST_F(ScenarioTextTest, VrotOnlyWhileTurningAndLandedAltitudeWithThreeDecimals)
{
    // WriteDefault writes VROT only when |omega|^2 > 1e-8 (rad/s)^2: 0.01 deg/s about one axis is
    // 1.745e-4 rad/s, squared 3.05e-8 (written); 0.005 deg/s squared is 7.6e-9 (left out).
    Vessel *a = LoadVessel("A", "plain", {"STATUS Orbiting Earth", "RPOS 6771000 0 0", "RVEL 0 0 7700", "VROT 0.01 0 0"});
    EXPECT_EQ(SavedLine(a, "VROT"), "VROT 0.0100 0.0000 0.0000");
    EndWorld();
    a = LoadVessel("A", "plain", {"STATUS Orbiting Earth", "RPOS 6771000 0 0", "RVEL 0 0 7700", "VROT 0.005 0 0"});
    EXPECT_EQ(SavedLine(a, "VROT"), "");
    EXPECT_EQ(SavedLine(a, "RPOS"), "RPOS 6771000.000 0.000 0.000");  // setprecision(3), fixed
    EndWorld();
    // ALT setprecision(3): 1.23456 m is written 1.235.
    // (With an AROT line the record's ALT is the height of the origin, Vesselstatus.cpp SetState2.)
    a = LoadVessel("B", "plain", {"STATUS Landed Earth", "POS 10 20", "HEADING 90", "ALT 1.23456", "AROT 0 0 0"});
    EXPECT_EQ(SavedLine(a, "ALT"), "ALT 1.235");
    EXPECT_EQ(SavedLine(a, "POS"), "POS 10.0000000 20.0000000");
    EXPECT_EQ(SavedLine(a, "HEADING"), "HEADING 90.00");
    EndWorld();
    // A vessel landed with its origin below the ground (the bus resting on its side in the mission
    // was saved with ALT -0.658) loads back landed at that height and saves the same line.
    a = LoadVessel("C", "plain", {"STATUS Landed Earth", "POS 10 20", "HEADING 90", "ALT -0.658", "AROT 30 0 60"});
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->landed);
    EXPECT_NEAR(a->landed_elev, -0.658, 1e-12);
    EXPECT_EQ(SavedLine(a, "ALT"), "ALT -0.658");
}

// The host saves a free vessel against its orbit reference, the dominant gravity source, looked
// up when it is placed and every 100 s; its surface queries stay with the closest body. A million
// kilometres sunward of Earth the Sun pulls 1.327e20 / (1.5e11 m)^2 = 5.9e-3 m/s^2 and Earth
// 3.986e14 / (1e9 m)^2 = 4.0e-4 m/s^2: the core's sixty-day flight toward L1 saves "STATUS
// Orbiting Sun" (measured), while a vessel in low orbit keeps Earth.
TEST_F(ScenarioTextTest, AFreeVesselIsSavedAgainstTheDominantPullAndKeepsItsPlace)
{
    options.physics = false;
    Vessel *far = LoadVessel("Far", "plain", {"STATUS Orbiting Earth", "RPOS 180138000 0 -983641000", "RVEL 471.1 0 -208.3"});
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(SavedLine(far, "STATUS"), "STATUS Orbiting Sun") << "placed: looked up at once";
    EXPECT_EQ(far->iface->GetGravityRef(), oapiGetObjectByName(const_cast<char *>("Sun")));
    const VECTOR3 place = far->GlobalPos(), vel = far->GlobalVel();
    const std::string saved = W().SaveScenarioText();
    EndWorld();
    std::string err;
    ASSERT_TRUE(W().LoadScenarioText(saved, &err, "far.scn")) << err;
    Vessel *back = W().FindVessel("Far");
    ASSERT_NE(back, nullptr);
    EXPECT_LT(length(back->GlobalPos() - place), 0.01) << "RPOS is written to the millimetre against the Sun";
    EXPECT_LT(length(back->GlobalVel() - vel), 1e-3);
    EXPECT_NE(back->iface->GetSurfaceRef(), oapiGetObjectByName(const_cast<char *>("Sun")))
        << "loaded against the Sun, its closest body is Earth or the Moon";
    EndWorld();
    Vessel *low = LoadVessel("Low", "plain", {"STATUS Orbiting Earth", "RPOS 6771000 0 0", "RVEL 0 0 7700"});
    EXPECT_EQ(SavedLine(low, "STATUS"), "STATUS Orbiting Earth");
    // 2000 km from the Moon's centre (given against Earth): the Moon pulls 4.9e12 / (2e6 m)^2 =
    // 1.2 m/s^2, Earth under 3e-3: it is the orbit reference and the closest body.
    const VECTOR3 moon = W().Moon()->pos - W().Earth()->pos;
    char rpos[128];
    std::snprintf(rpos, sizeof rpos, "RPOS %.3f %.3f %.3f", moon.x + 2e6, moon.y, moon.z);
    Vessel *near = LoadVessel("Near", "plain", {"STATUS Orbiting Earth", rpos, "RVEL 0 0 1000"});
    ASSERT_NE(near, nullptr);
    EXPECT_EQ(SavedLine(near, "STATUS"), "STATUS Orbiting Moon");
    EXPECT_EQ(near->iface->GetSurfaceRef(), oapiGetObjectByName(const_cast<char *>("Moon")));
    EXPECT_NEAR(near->iface->GetAltitude(), 2e6 - 1.7374e6, 1e3) << "above the Moon's mean radius";
}

TEST_F(ScenarioTextTest, AnExactSaveFliesOnAsTheFlightDoesWhereTheHostsSaveCannot)
{
    // A tumbling vessel falling through the air 5 km up at 250 m/s: its drag (some 300 kg at 2 m
    // size) and turn are far from what gravity alone gives, so the host's integrator, which starts
    // each step from the last one's acceleration and turn rate change and saves neither, starts a
    // loaded state from gravity alone and a turn of no acceleration (Vessel.cpp RPlace_individual).
    options.exact_saves = true;
    options.physics = true;
    options.dt = 1.0 / 60.0;
    const std::vector<std::string> fall = {"STATUS Orbiting Earth", "RPOS 6376010 0 0", "RVEL -150 200 0",
                                           "AROT 10 20 30", "VROT 40 -25 60"};
    LoadVessel("F", "plain", fall);
    Step(30);
    const std::string saved = W().SaveScenarioText();
    EXPECT_NE(saved.find("  STEPCARRY "), std::string::npos);
    Step(60);
    // Against Earth: the date is written to 1e-10 day (9 us), in which Earth moves some 0.3 m.
    Vessel *on = W().FindVessel("F");
    const VECTOR3 pos = on->GlobalPos() - W().Earth()->pos, vel = on->GlobalVel() - W().Earth()->vel;
    EndWorld();
    std::string err;
    ASSERT_TRUE(W().LoadScenarioText(saved, &err, "exact.scn")) << err;
    Step(60);
    Vessel *back = W().FindVessel("F");
    ASSERT_NE(back, nullptr);
    EXPECT_LT(length(back->GlobalPos() - W().Earth()->pos - pos), 1e-6) << "every digit and the integrator's carry: the same flight";
    EXPECT_LT(length(back->GlobalVel() - W().Earth()->vel - vel), 1e-6);
    // The line is this host's test option only: the host's own format has no such line, and a
    // scenario in it that has one hands it to the module like any line not the host's.
    EndWorld();
    options.exact_saves = false;
    std::vector<std::string> with_carry = fall;
    with_carry.push_back("STEPCARRY 1 2 3 4 5 6");
    Vessel *plain = LoadVessel("F", "plain", with_carry);
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->step_acc_valid);
    Step(1);
    EXPECT_EQ(SavedLine(plain, "STEPCARRY"), "");
}

TEST_F(ScenarioTextTest, HostKeywordsAreMatchedAsPrefixesWithoutRegardToCase)
{
    // ParseScenarioLine2 compares with _strnicmp over the keyword's length and reads the values
    // from just after it: "AFCMODE2" is AFCMODE 2, lower case is read, and a longer word whose
    // rest does not read as a number ("HEADINGHOLD 1", "ALTITUDE 5") changes nothing.
    Vessel *a = LoadVessel("A", "plain", {"status landed earth", "pos 10 20", "heading 45", "HEADINGHOLD 1",
                                          "ALTITUDE 5", "AFCMODE2"});
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->landed);
    EXPECT_NEAR(a->surf_lat, 20 * RAD, 1e-12);
    EXPECT_NEAR(a->surf_hdg, 45 * RAD, 1e-12);
    EXPECT_EQ(a->adctrl_mode, 2u);
}

// --- blocks read as the host reads them -----------------------------------------------------------

TEST_F(ScenarioTextTest, APluginBlockEndsAtEnd)
{
    // Orbiter.cpp writes a plugin's state as "BEGIN_<name>" ... "END".
    EXPECT_EQ(LoadError("BEGIN_CorvanePlugin\n  LEVEL 3\nEND\n" + Ships("A:plain\nEND\n")), "");
    // The host's own sections still end at END_<name>.
    EXPECT_EQ(LoadError("BEGIN_CAMERA\n  TARGET A\nEND_CAMERA\n" + Ships("A:plain\nEND\n")), "");
}

TEST_F(ScenarioTextTest, ADisplayReadsTheFileFromAfterItsModeLineUntilEnd)
{
    // MfdUser.cpp ReadParams hands ReadStatus the scenario file stream after the MODE line; the
    // test display reads with oapiReadScenario_nextline until it returns false, which happens only
    // at a line END (OrbiterAPI.cpp): the left display reads past END_MFD into the right display's
    // block (its PAGE 4) and stops at the vessel's END. The right display's read starts again from
    // its own MODE line (FindLine rewinds). A ';' comment is stripped, a blank line passed on.
    ASSERT_NE(W().LoadPlugin("sim_test_plugin"), nullptr);
    LoadScenarioText("BEGIN_MFD Left\n  TYPE User\n  MODE Test Mode\n\n  PAGE 1 ; first\nEND_MFD\n"
                     "BEGIN_MFD Right\n  TYPE User\n  MODE Test Mode\n  PAGE 4\nEND_MFD\n" +
                     Ships("A:plain\nEND\nB:plain\n  PAGE 7\nEND\n"));
    ASSERT_NE(W().DrawMfd(0), nullptr);
    EXPECT_NE(W().DrawMfd(0)->FindText("page 4"), nullptr);  // over-read: the right block's page
    EXPECT_NE(W().DrawMfd(1)->FindText("page 4"), nullptr);
    // MODE must be the line right after TYPE (ReadParams reads exactly one line): else no display.
    EndWorld();
    ASSERT_NE(W().LoadPlugin("sim_test_plugin"), nullptr);
    LoadScenarioText("BEGIN_MFD Left\n  TYPE User\n  PAGE 2\n  MODE Test Mode\nEND_MFD\n" + Ships("A:plain\nEND\n"));
    EXPECT_EQ(W().GetMfd(0), nullptr);
}

// --- what the readers refuse ----------------------------------------------------------------------

TEST_F(ScenarioTextTest, HostLinesThatCannotBeKeptAreRefusedNamingFileLineAndField)
{
    const struct {
        const char *line, *field;
    } bad[] = {
        {"RPOS nan 0 6771000", "RPOS"},   {"RPOS 1e400 0 0", "RPOS"},     {"RPOS 6771000 0", "RPOS"},
        {"RVEL 0 inf 0", "RVEL"},         {"AROT 1 nan 2", "AROT"},       {"VROT 0 0 -inf", "VROT"},
        {"POS nan 0", "POS"},             {"POS 10 91", "POS"},           {"HEADING inf", "HEADING"},
        {"ALT nan", "ALT"},               {"ALT -inf", "ALT"},             {"AFCMODE 4294967297", "AFCMODE"},
        {"AFCMODE 8", "AFCMODE"},         {"AFCMODE 1.5", "AFCMODE"},     {"PRPLEVEL 0:nan", "PRPLEVEL"},
        {"PRPLEVEL 0:1.5", "PRPLEVEL"},   {"PRPLEVEL -1:0.5", "PRPLEVEL"}, {"ATTACHED x:0,A", "ATTACHED"},
    };
    for (const auto &b : bad) {
        const std::string e = LoadError(Ships("A:simtest\n  STATUS Orbiting Earth\n  " + std::string(b.line) + "\nEND\n"));
        EXPECT_EQ(e.rfind("t.scn:4: vessel \"A\": " + std::string(b.field) + ": ", 0), 0u) << b.line << " -> " << e;
    }
    // Date, the environment's own line.
    EXPECT_NE(LoadError("BEGIN_ENVIRONMENT\n  Date MJD nan\nEND_ENVIRONMENT\n").find("t.scn:2: Date"), std::string::npos);
}

TEST_F(ScenarioTextTest, ClassFileNumbersMustBeWholeFiniteAndAboveZero)
{
    for (const char *cfg : {"Mass = 12abc\n", "Size = -1\n", "Mass = nan\n", "Size = 0\n", "Mass = inf\n"}) {
        WriteConfig("Config/odd.cfg", std::string("ClassName = odd\n") + cfg);
        EXPECT_EQ(LoadError(Ships("X:odd\nEND\n")), "");
        EXPECT_EQ(W().FindVessel("X"), nullptr) << cfg;
        const auto ev = Events();
        ASSERT_FALSE(ev.empty());
        EXPECT_NE(ev.back().find("Config/odd.cfg:2: "), std::string::npos) << ev.back();
        EXPECT_NE(ev.back().find("must be a finite number above 0"), std::string::npos) << ev.back();
    }
}

TEST_F(ScenarioTextTest, MessagesQuoteLittleOfALineAndNameTheSectionNotClosed)
{
    // An offending line is quoted to 80 characters, control bytes escaped.
    const std::string e = LoadError("\x1b[31m\a" + std::string(1 << 20, 'x') + "\n");
    EXPECT_LT(e.size(), 200u) << e.substr(0, 300);
    EXPECT_EQ(e.find('\x1b'), std::string::npos);
    EXPECT_EQ(e.find('\a'), std::string::npos);
    EXPECT_NE(e.find("\\x1b[31m\\x07xxx"), std::string::npos) << e;
    // "Not closed" names the section and the line that opened it, not the file's last line.
    EXPECT_EQ(LoadError("BEGIN_ENVIRONMENT\n  Date MJD 51544.5\n\n\n"),
              "t.scn:1: the section \"BEGIN_ENVIRONMENT\" opened here is not closed by END_ENVIRONMENT before "
              "the end of the file");
    EXPECT_EQ(LoadError(Ships("A:plain\nEND\n") + "BEGIN_MFD Left\n  TYPE User\n\n"),
              "t.scn:5: the section \"BEGIN_MFD\" opened here is not closed by END_MFD before the end of the file");
}

TEST_F(ScenarioTextTest, ARefusedAttachmentSaysWhyInTheTimeline)
{
    LoadScenarioText(Ships("A:simtest\n" + std::string(kOrbit) + "END\nB:simtest\n  ATTACHED 0:0,Nobody\nEND\n"
                           "C:simtest\n  ATTACHED 0:9,A\nEND\n"));
    const auto ev = Events();
    EXPECT_NE(std::find(ev.begin(), ev.end(), "not attached B to Nobody: there is no vessel of that name"), ev.end());
    EXPECT_NE(std::find(ev.begin(), ev.end(), "not attached C to A: it has no attachment point 9 for children"),
              ev.end());
}
