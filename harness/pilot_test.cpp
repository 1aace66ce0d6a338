// pilot_test.cpp -- the harness's recovery pilot: the signs and limits of its control laws, and
// its flight phase by phase through a cockpit of the test's own (no host behind it), with what it
// presses, moves, reads, says and pictures, and that an ordinary frame allocates nothing.
#include "new_count.h"
#include "pilot.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace law = harness::pilot;
using harness::Sight;

namespace {
constexpr double kEarthRadius = 6371010;  // [m]
constexpr double kG = 9.81;               // [m/s^2]
}  // namespace

// --- control laws ---------------------------------------------------------------------------

TEST(PilotLaws, HorizonOffsetInMetresTheShortWayRound)
{
    VECTOR3 o = law::HorizonOffset(1.0, 0.5, 1.0, 0.5 + 1e-6, kEarthRadius);
    EXPECT_NEAR(o.z, 6.371, 1e-3);  // the catch window's 1e-6 rad of latitude
    EXPECT_NEAR(o.x, 0, 1e-9);
    o = law::HorizonOffset(1.0, 0.5, 1.0 + 1e-6, 0.5, kEarthRadius);
    EXPECT_NEAR(o.x, 6.371 * std::cos(0.5), 1e-3);
    o = law::HorizonOffset(PI - 1e-6, 0, -PI + 1e-6, 0, kEarthRadius);  // across the date line
    EXPECT_NEAR(o.x, 2e-6 * kEarthRadius, 1e-3);
}

TEST(PilotLaws, TiltPointsTheLiftWhereTheHelicopterShouldGo)
{
    double pitch, bank;
    law::TiltFor(_V(2, 0, 0), PI / 2, kG, 0.5, &pitch, &bank);  // facing east, to the east: nose down
    EXPECT_NEAR(pitch, -std::atan(2 / kG), 1e-12);
    EXPECT_NEAR(bank, 0, 1e-12);
    law::TiltFor(_V(2, 0, 0), 0, kG, 0.5, &pitch, &bank);  // facing north, to the right: right wing down
    EXPECT_NEAR(pitch, 0, 1e-12);
    EXPECT_NEAR(bank, -std::atan(2 / kG), 1e-12);
    law::TiltFor(_V(0, 0, 50), PI, kG, 0.2, &pitch, &bank);  // facing south, backwards, hard: nose up to the limit
    EXPECT_DOUBLE_EQ(pitch, 0.2);
}

TEST(PilotLaws, SticksAndRudderTurnTowardTheWantedAttitude)
{
    const law::Gains k;
    EXPECT_NEAR(law::ElevatorFor(0.1, 0, k) * k.stick_rate, k.attitude * 0.1, 1e-12);  // nose-up rate
    EXPECT_LT(law::ElevatorFor(-0.1, 0, k), 0);
    EXPECT_GT(law::AileronFor(-0.1, 0, k), 0);  // right wing down wanted: roll right
    EXPECT_LT(law::AileronFor(0.1, 0, k), 0);
    EXPECT_DOUBLE_EQ(law::ElevatorFor(2, 0, k), 1);
    EXPECT_DOUBLE_EQ(law::AileronFor(2, 0, k), -1);
    EXPECT_LT(law::RudderFor(350 * RAD, 10 * RAD, k), 0);  // left, through north
    EXPECT_GT(law::RudderFor(10 * RAD, 350 * RAD, k), 0);
    EXPECT_DOUBLE_EQ(law::RudderFor(90 * RAD, 0, k), k.max_rudder);
    const double pi = std::acos(-1.0);
    EXPECT_DOUBLE_EQ(law::HeadingError(-pi, 0), pi);  // folded into (-pi, pi]
}

TEST(PilotLaws, WantedVelocityMovesWithTheCapsuleAndLimitsTheClosing)
{
    const VECTOR3 carrier = _V(3, 0, -4);
    VECTOR3 v = law::WantedVelocity(_V(8, 0, 0), carrier, 0.25, 10);
    EXPECT_NEAR(v.x, 5, 1e-12);
    EXPECT_NEAR(v.z, -4, 1e-12);
    v = law::WantedVelocity(_V(0, 0, 4000), carrier, 0.25, 40);
    EXPECT_NEAR(v.z, 36, 1e-12);
    const VECTOR3 a = law::WantedAcceleration(_V(40, 0, 0), _V(0, 0, 30), 0.5, 2);
    EXPECT_NEAR(std::hypot(a.x, a.z), 2, 1e-12);
    EXPECT_NEAR(std::atan2(a.x, -a.z), std::atan2(40.0, 30.0), 1e-12);  // still toward the wanted velocity
}

TEST(PilotLaws, CollectiveFindsTheHoverTrimAndTiltGivesWayAtItsStop)
{
    // A rotor lifting 1.65 g at full collective: the trim settles where it balances the weight.
    const law::Gains k;
    law::Collective c;
    const double lift_per_level = 1.65 * kG, dt = 0.02;
    double vz = 0, h = 0;
    for (int i = 0; i < 6000; ++i) {
        const double level = c.Level(law::WantedClimb(100 - h, 0, 6, 8, k), vz, 1, dt, k);
        vz += (lift_per_level * level - kG) * dt;
        h += vz * dt;
    }
    EXPECT_NEAR(h, 100, 0.5);
    EXPECT_NEAR(c.trim, 1 / 1.65, 0.01);
    EXPECT_DOUBLE_EQ(law::WantedClimb(1000, 0, 6, 8, k), 8);
    EXPECT_DOUBLE_EQ(law::WantedClimb(-1000, -3, 6, 8, k), -6);
    EXPECT_DOUBLE_EQ(law::TiltAllowance(0.9, 20), 1);  // collective in hand: tilt as usual
    EXPECT_DOUBLE_EQ(law::TiltAllowance(1, 2), 1);
    EXPECT_DOUBLE_EQ(law::TiltAllowance(1, 5), 0.5);
    EXPECT_DOUBLE_EQ(law::TiltAllowance(1, 50), 0.25);
}

// --- the flight through a cockpit -----------------------------------------------------------

namespace {

// A cockpit over a few vessels the test places by hand; it records what the pilot does. Names are
// found regardless of case, as the hosts' lookups find them.
class TestCockpit : public harness::Cockpit {
public:
    struct Key {
        double t;
        int key;
        bool shift;
    };
    static constexpr int kMax = 4;

    Sight *Add(const char *name)
    {
        Slot &s = slots_[count_++];
        std::strcpy(s.sight.name, name);
        s.present = true;
        return &s.sight;
    }
    void Remove(const char *name)
    {
        if (Slot *s = Find(name)) s->present = false;
    }

    double SimTime() const override { return t; }
    double StepLength() const override { return dt; }
    bool Look(const char *vessel, Sight *out) const override
    {
        const Slot *s = const_cast<TestCockpit *>(this)->Find(vessel);
        if (!s) return false;
        *out = s->sight;
        return true;
    }
    bool PressKey(const char *vessel, int key, bool shift) override
    {
        if (!Find(vessel)) return false;
        keys.push_back({t, key, shift});
        return keys_taken;
    }
    void SetStick(const char *vessel, AIRCTRL_TYPE surface, double level) override
    {
        if (Find(vessel) && surface >= 0 && surface < 6) stick[surface] = level;
    }
    void SetThrottle(const char *vessel, double level) override
    {
        if (Find(vessel)) throttle = level;
    }
    bool HudTexts(const char *vessel, std::vector<std::string> *texts) override
    {
        if (!Find(vessel)) return false;
        ++hud_reads;
        *texts = hud;
        return true;
    }
    void Event(const std::string &line) override { events.emplace_back(t, line); }
    void Snapshot(const std::string &display, const std::string &file) override
    {
        snapshots.push_back(display + " -> " + file);
    }

    // The time of the first event holding `text`, or -1.
    double When(const std::string &text) const
    {
        for (const auto &e : events)
            if (e.second.find(text) != std::string::npos) return e.first;
        return -1;
    }

    double t = 0, dt = 0.02;
    bool keys_taken = true;
    std::vector<Key> keys;
    double stick[6] = {9, 9, 9, 9, 9, 9}, throttle = -1;  // 9, -1: never set
    std::vector<std::string> hud;
    int hud_reads = 0;
    std::vector<std::pair<double, std::string>> events;
    std::vector<std::string> snapshots;

private:
    struct Slot {
        Sight sight;
        bool present = false;
    };
    Slot *Find(const char *name)
    {
        for (int i = 0; i < count_; ++i)
            if (slots_[i].present && strcasecmp(slots_[i].sight.name, name) == 0) return &slots_[i];
        return nullptr;
    }
    Slot slots_[kMax];
    int count_ = 0;
};

class RecoveryFlight : public ::testing::Test {
protected:
    static constexpr double kAlt = 1000;  // the parafoil capsule's altitude [m]

    void SetUp() override
    {
        std::string error;
        pilot = harness::MakePilot({"recovery"}, &error);
        ASSERT_TRUE(pilot) << error;
    }
    // A vessel at a place: latitude and longitude [rad], altitude [m], on the Earth.
    static void Place(Sight *s, double lng, double lat, double alt)
    {
        s->lng = lng;
        s->lat = lat;
        s->altitude = alt;
        s->rad = kEarthRadius + alt;
        s->ref_radius = kEarthRadius;
    }
    // The helicopter hovering level, nose north, its rotor at speed.
    Sight *Helicopter(double lng, double lat, double alt)
    {
        Sight *h = c.Add("HX220");
        Place(h, lng, lat, alt);
        h->rest_height = 1.26;
        h->main_thrust = true;
        return h;
    }
    // Frames of the pilot, the time advancing by the step after each.
    void Frames(int n)
    {
        for (int i = 0; i < n; ++i) {
            pilot->Frame(c);
            c.t = ++frames_ * c.dt;
        }
    }

    TestCockpit c;
    std::unique_ptr<harness::Pilot> pilot;

private:
    long frames_ = 0;
};

}  // namespace

TEST_F(RecoveryFlight, WaitsForItsHelicopterThenStartsTheEngineAfterAMomentInTheSeat)
{
    // Told its helicopter's name in lower case, it speaks of it as the host spells it.
    pilot = harness::MakePilot({"recovery", "hx220"}, nullptr);
    Frames(50);  // no helicopter yet: nothing seen, nothing done
    EXPECT_TRUE(c.events.empty());
    EXPECT_TRUE(c.keys.empty());
    EXPECT_DOUBLE_EQ(c.throttle, -1);

    // It appears on the ground with its engine off, the capsule still high under its drogue.
    Place(c.Add("Corvane_SRC"), 1.001, 0.1, 20000);
    Sight *h = c.Add("HX220");
    Place(h, 1, 0.1, 1.26);
    h->landed = h->ground_contact = true;
    h->rest_height = 1.26;
    const double t0 = c.t;
    Frames(100);
    EXPECT_DOUBLE_EQ(c.When("pilot: takes the controls of HX220"), t0);
    ASSERT_EQ(c.keys.size(), 1u);
    EXPECT_EQ(c.keys[0].key, OAPI_KEY_K);
    EXPECT_FALSE(c.keys[0].shift);
    EXPECT_NEAR(c.keys[0].t - t0, 0.5, c.dt + 1e-9);  // half a second in the seat
    EXPECT_GE(c.When("pilot: key K on HX220 (engine start)"), 0);

    h->main_thrust = true;  // the rotor lifts
    Frames(1);
    EXPECT_GE(c.When("pilot: rotor at speed, lifting off"), 0);
    Frames(1);
    EXPECT_GE(c.throttle, 0);  // the collective in hand, the stick centred on the ground
    for (AIRCTRL_TYPE s : {AIRCTRL_ELEVATOR, AIRCTRL_AILERON, AIRCTRL_RUDDER}) EXPECT_DOUBLE_EQ(c.stick[s], 0) << s;

    const std::string summary = pilot->Summary();
    EXPECT_EQ(summary.rfind("recovery pilot of hx220:\n", 0), 0u) << summary;
    EXPECT_NE(summary.find("engine start (K)"), std::string::npos) << summary;
    EXPECT_NE(summary.find("  no catch\n"), std::string::npos) << summary;
}

TEST_F(RecoveryFlight, ItsReactionTimesDelayTheEngineStartTheCloseAndTheHandOver)
{
    // The same flight as the defaults' tests below, by a pilot slower at each decision: 20 s in the
    // seat, 7 s over the capsule before the close, 2.5 s with the load before Shift+G.
    std::string error;
    pilot = harness::MakePilot({"recovery", "start=20", "hold=7", "handover=2.5"}, &error);
    ASSERT_TRUE(pilot) << error;
    Frames(10);  // made a little after the run began (at the call-up): no start of its own under way
    Sight *h = c.Add("HX220");
    Place(h, 1, 0.1, 1.26);
    h->landed = h->ground_contact = true;
    h->rest_height = 1.26;
    Frames(3);
    const double seen = c.When("pilot: takes the controls of HX220");
    Frames(1500);
    ASSERT_EQ(c.keys.size(), 1u);
    EXPECT_EQ(c.keys[0].key, OAPI_KEY_K);
    EXPECT_NEAR(c.keys[0].t - seen, 20, c.dt + 1e-9);

    // Airborne over the capsule's aim point: pole, hold, and the close 7 s after the hold.
    c.keys.clear();
    h->landed = h->ground_contact = false;
    h->main_thrust = true;
    Place(h, 1, 0.1, kAlt + 17);
    Sight *pf = c.Add("Corvane_SRC_Parafoil");
    Place(pf, 1, 0.1 + 30 / h->rad, kAlt);
    Frames(900);
    ASSERT_EQ(c.keys.size(), 2u);
    EXPECT_EQ(c.keys[1].key, OAPI_KEY_X);
    EXPECT_NEAR(c.When("pilot: closes the last 30 m") - c.keys[1].t, 7, c.dt + 1e-9);

    std::strcpy(pf->parent, "HX220");
    const double caught = c.t;
    Frames(200);
    ASSERT_GE(c.keys.size(), 3u);
    EXPECT_EQ(c.keys[2].key, OAPI_KEY_G);
    EXPECT_NEAR(c.keys[2].t - caught, 2.5, c.dt + 1e-9);
}

TEST_F(RecoveryFlight, FliesToTheCapsuleNoseDownAtTheCruiseTiltOnTheTrimmedCollective)
{
    // Hovering level, nose north, 17 m above the capsule's height and 1 km south of it, neither
    // moving. The aim point is 30 m short of it: the closing speed asked is capped at 40 m/s, the
    // acceleration at g tan 15 deg, so the wanted pitch is the cruise tilt of -15 deg and the stick
    // asks for 1.5/s x 15 deg over the manual law's 0.5 rad/s: 45 deg of stick, -pi/4. The height
    // is right and nothing climbs: the collective stays on its starting trim, 0.65.
    Sight *h = Helicopter(1, 0.1, kAlt + 17);
    Sight *pf = c.Add("Corvane_SRC_Parafoil");
    Place(pf, 1, 0.1 + 1000 / h->rad, kAlt);
    Frames(3);  // takes the controls, finds the rotor at speed, flies
    EXPECT_GE(c.When("pilot: rotor already at speed"), 0);
    EXPECT_NEAR(c.stick[AIRCTRL_ELEVATOR], -PI / 4, 1e-12);
    EXPECT_NEAR(c.stick[AIRCTRL_AILERON], 0, 1e-12);
    EXPECT_NEAR(c.stick[AIRCTRL_RUDDER], 0, 1e-12);
    EXPECT_NEAR(c.throttle, 0.65, 1e-12);
    EXPECT_TRUE(c.keys.empty());  // the pole stays in until 400 m
    EXPECT_EQ(c.hud_reads, 1);  // one look at the display as it takes over a helicopter in flight

    // The capsule drifting east at 3 m/s: the aim point moves behind it and the nose turns right.
    pf->horizon_airspeed = _V(3, 0, 0);
    Frames(1);
    EXPECT_GT(c.stick[AIRCTRL_RUDDER], 0);
}

TEST_F(RecoveryFlight, PoleOutThenAltitudeHoldThenTheCloseTheCueAndTheCatchThenHome)
{
    // Right on the aim point: 17 m over the capsule's height and 30 m south of it.
    Sight *h = Helicopter(1, 0.1, kAlt + 17);
    Sight *pf = c.Add("Corvane_SRC_Parafoil");
    Place(pf, 1, 0.1 + 30 / h->rad, kAlt);
    Frames(3);
    ASSERT_EQ(c.keys.size(), 1u);
    EXPECT_EQ(c.keys[0].key, OAPI_KEY_P);  // within 400 m
    EXPECT_TRUE(c.keys[0].shift);
    const double pole = c.keys[0].t;

    Frames(750);  // 15 s: the pole's stroke (5.5 s), the hold settling (3 s), 5 s into the close
    ASSERT_EQ(c.keys.size(), 2u);
    EXPECT_EQ(c.keys[1].key, OAPI_KEY_X);
    EXPECT_NEAR(c.keys[1].t - pole, 5.5, c.dt + 1e-9);
    const double close = c.When("pilot: closes the last 30 m");
    EXPECT_NEAR(close - c.keys[1].t, 3, c.dt + 1e-9);
    EXPECT_EQ(c.hud_reads, 1);  // 30 m off: the cue is not looked for yet (the one read: the takeover)

    // Within 15 m the head-up display is read every frame; its cue is said and pictured once.
    Place(h, 1, pf->lat - 10 / h->rad, kAlt + 17);
    c.hud = {"CATCH !"};
    Frames(10);
    EXPECT_EQ(c.hud_reads, 1 + 10);
    EXPECT_GE(c.When("pilot: the head-up display shows CATCH !"), 0);

    // The capsule hangs on the pole: the display's offsets go to the summary; a second later the
    // sticks are centred and the helicopter's autopilot takes it home, the altitude hold off.
    c.hud = {"delta LON : 0.1", "CATCH !", "delta ALT : 16.5"};
    std::strcpy(pf->parent, "HX220");
    const double caught = c.t;
    Frames(60);
    EXPECT_DOUBLE_EQ(c.When("pilot: the capsule hangs on the pole"), caught);
    ASSERT_EQ(c.keys.size(), 4u);
    EXPECT_EQ(c.keys[2].key, OAPI_KEY_G);
    EXPECT_TRUE(c.keys[2].shift);
    EXPECT_NEAR(c.keys[2].t - caught, 1, c.dt + 1e-9);
    EXPECT_EQ(c.keys[3].key, OAPI_KEY_X);
    EXPECT_GE(c.When("pilot: key shift+X on HX220 (altitude hold off)"), 0);
    for (AIRCTRL_TYPE s : {AIRCTRL_ELEVATOR, AIRCTRL_AILERON, AIRCTRL_RUDDER}) EXPECT_DOUBLE_EQ(c.stick[s], 0) << s;

    EXPECT_EQ(c.snapshots, (std::vector<std::string>{"view HX220 100 -8 55 -> story-4-approach.png",
                                                      "hud -> hx220-hud-catch.png", "hud -> hx220-hud-caught.png",
                                                      "view HX220 80 -5 0 -> story-5-catch.png"}));
    const std::string summary = pilot->Summary();
    EXPECT_NE(summary.find("capsule caught (head-up display: delta LON : 0.1; delta ALT : 16.5)"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("closest approach before the catch: 10.0 m horizontally, 17.0 m above the capsule"),
              std::string::npos)
        << summary;
}

TEST_F(RecoveryFlight, NothingToCatchSendsItHomeWhereItLandsOnTheAutopilotsHoverAndStopsTheEngine)
{
    Sight *h = Helicopter(1, 0.1, 500);
    Sight *capsule = c.Add("Corvane_SRC");
    Place(capsule, 1, 0.1, 0.5);
    capsule->landed = true;  // the chute failed
    Sight *port = c.Add("Heliport");
    Place(port, 1, 0.1 + 100 / kEarthRadius, 1);  // 100 m north of where the helicopter will land
    Frames(3);
    EXPECT_GE(c.When("pilot: nothing to catch; back to the heliport"), 0);
    ASSERT_EQ(c.keys.size(), 1u);
    EXPECT_EQ(c.keys[0].key, OAPI_KEY_G);
    const double home = c.keys[0].t;

    // On the way the display's mode word is read every 2 s; once it says the autopilot hovers,
    // Shift+D lands the helicopter.
    Frames(250);  // 5 s
    EXPECT_EQ(c.hud_reads, 1 + 2);  // the takeover's look, then the mode word
    c.hud = {"STATIONNAIRE"};
    Frames(100);
    ASSERT_EQ(c.keys.size(), 2u);
    EXPECT_EQ(c.keys[1].key, OAPI_KEY_D);
    EXPECT_NEAR(c.keys[1].t - home, 6, c.dt + 1e-9);

    // On its gear and at rest: the engine stops 5 s later; the host then reports it landed.
    Place(h, 1, 0.1, 1.26);
    h->ground_contact = true;
    const double down = c.t;
    Frames(300);
    ASSERT_EQ(c.keys.size(), 3u);
    EXPECT_EQ(c.keys[2].key, OAPI_KEY_K);
    EXPECT_NEAR(c.keys[2].t - down, 5, c.dt + 1e-9);
    h->landed = true;
    Frames(300);
    EXPECT_EQ(c.snapshots.back(), "view HX220 135 25 45 -> story-7-landing.png");

    const std::string summary = pilot->Summary();
    // Down 100 m due south of the heliport (placed so above).
    EXPECT_NE(summary.find("helicopter landed 100 m from the heliport (0.0 m east, -100.0 m north)"), std::string::npos)
        << summary;
    EXPECT_NE(summary.find("  the capsule landed before it was caught\n"), std::string::npos) << summary;
}

TEST_F(RecoveryFlight, AKeyTheHelicopterDoesNotTakeIsSaidSo)
{
    Helicopter(1, 0.1, 500);
    c.Add("Corvane_SRC")->landed = true;
    c.keys_taken = false;
    Frames(3);
    EXPECT_GE(c.When("pilot: key shift+G on HX220 (follow course to the heliport), not taken"), 0);
}

TEST_F(RecoveryFlight, AnOrdinaryFrameAllocatesNothing)
{
    // Waiting for the helicopter, then flying toward the capsule: looks, sticks and collective.
    Frames(1);
    newcount::Start();
    Frames(100);
    EXPECT_EQ(newcount::Stop(), 0);

    Sight *h = Helicopter(1, 0.1, kAlt + 17);
    Place(c.Add("Corvane_SRC_Parafoil"), 1, 0.1 + 1000 / h->rad, kAlt);
    Frames(3);
    newcount::Start();
    Frames(200);
    EXPECT_EQ(newcount::Stop(), 0);
    EXPECT_LT(c.stick[AIRCTRL_ELEVATOR], 0);  // it was flying
}

// --- making a pilot -------------------------------------------------------------------------

TEST(MakePilot, KnowsTheRecoveryPilotAndSaysWhatIsWrongOtherwise)
{
    std::string error;
    EXPECT_TRUE(harness::MakePilot({"Recovery"}, &error));
    EXPECT_TRUE(harness::MakePilot({"recovery", "HX221"}, &error));
    EXPECT_FALSE(harness::MakePilot({"recovery", "HX220", "extra"}, &error));
    EXPECT_EQ(error, "expected: pilot recovery [<helicopter>] [start=S] [hold=S] [handover=S]");
    // Reaction times, with or without the helicopter's name before them.
    EXPECT_TRUE(harness::MakePilot({"recovery", "start=12.5", "hold=0", "HANDOVER=2"}, &error)) << error;
    EXPECT_TRUE(harness::MakePilot({"recovery", "HX220", "start=600"}, &error)) << error;
    EXPECT_FALSE(harness::MakePilot({"recovery", "start=-1"}, &error));
    EXPECT_EQ(error, "pilot recovery: start needs a time from 0 to 600 s");
    for (const char *bad : {"hold=", "hold=1x", "hold=nan", "handover=601"}) {
        EXPECT_FALSE(harness::MakePilot({"recovery", bad}, &error)) << bad;
        EXPECT_NE(error.find("needs a time from 0 to 600 s"), std::string::npos) << bad << ": " << error;
    }
    EXPECT_FALSE(harness::MakePilot({"recovery", "speed=3"}, &error));
    EXPECT_EQ(error, "expected: pilot recovery [<helicopter>] [start=S] [hold=S] [handover=S]");
    EXPECT_FALSE(harness::MakePilot({"recovery", "start=1", "HX220"}, &error));  // the name comes first
    EXPECT_FALSE(harness::MakePilot({"nobody"}, &error));
    EXPECT_EQ(error, "no virtual pilot named \"nobody\"");
    EXPECT_FALSE(harness::MakePilot({}, &error));
}
