// The helicopter's connection to the sound add-on, engine start and stop by frame count, the lift
// thruster, the manual attitude law, rotor look, beacons and keys, through the stand-in host with
// the stand-in sound add-on loaded.
#include "hx220_test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace hx220test;

namespace {

bool Has(const std::vector<std::string> &v, const std::string &s) { return std::count(v.begin(), v.end(), s) > 0; }

std::vector<std::string> Starting(const std::vector<std::string> &s)
{
    std::vector<std::string> out;
    for (const auto &c : s)
        if (c.rfind("PlayVesselWaveOBSound3(0, 3,", 0) == 0 || c.rfind("PlayVesselWaveOBSound3(0, 4,", 0) == 0)
            out.push_back(c);
    return out;
}

int LiveThrusters(Vessel *v)
{
    int n = 0;
    for (auto *t : v->thrusters) n += t->alive ? 1 : 0;
    return n;
}

sim::Thruster *LiftThruster(Vessel *v)
{
    for (auto *g : v->groups)
        if (g->alive && g->type == THGROUP_MAIN && g->thrusters.size() == 1 && g->thrusters[0]->alive)
            return g->thrusters[0];
    return nullptr;
}

class FlightTest : public HelicopterTest {};

TEST_F(FlightTest, ConnectsSwitchesOptionsOffAndLoadsFiveWaves)
{
    Heli();
    const std::vector<std::string> want = {
        "GetVesselSoundID3(@)",
        "SoundOption3(0, 1, 0)", "SoundOption3(0, 9, 0)", "SoundOption3(0, 17, 0)",
        "SoundOption3(0, 5, 0)", "SoundOption3(0, 3, 0)",
        "LoadVesselWaveOBSound3(0, 1, \"Sound\\Vessel\\helico.wav\", 7)",
        "LoadVesselWaveOBSound3(0, 2, \"Sound\\Vessel\\helico.wav\", 1)",
        "LoadVesselWaveOBSound3(0, 3, \"Sound\\Vessel\\demarragehelico.wav\", 7)",
        "LoadVesselWaveOBSound3(0, 4, \"Sound\\Vessel\\demarragehelico.wav\", 1)",
        "LoadVesselWaveOBSound3(0, 5, \"Sound\\Vessel\\warningHX220.wav\", 1)",
    };
    EXPECT_EQ(sound->Calls(), want);
    EXPECT_TRUE(simtest::ReadFile("OrbiterSound_Log.txt").empty()) << "a good connection logs nothing";
}

TEST_F(FlightTest, DefinitionCallsInOrderWithTheirValues)
{
    options.journal = true;
    Vessel *v = Heli();
    auto from = std::find(v->journal.begin(), v->journal.end(), "SetSize(10)");
    ASSERT_NE(from, v->journal.end());
    ASSERT_GE(v->journal.end() - from, 27);
    const std::vector<std::string> caps(from, from + 27);
    EXPECT_EQ(caps, (std::vector<std::string>{
                        "SetSize(10)", "SetEmptyMass(1800)", "SetCW(0.3, 0.3, 0.6, 0.9)", "SetWingAspect(0.7)",
                        "SetCrossSections(10.07, 38.76, 2.82)", "SetRotDrag(0.43, 0.43, 0.29)",
                        "SetPMI(5.89, 7.41, 2.83)", "SetGravityGradientDamping(20)", "SetTrimScale(0.05)",
                        "GetFlightModel()", "SetPitchMomentScale(5e-05)", "SetBankMomentScale(5e-05)",
                        "SetCameraOffset(0, 0.8, 1)", "SetCameraDefaultDirection(0, 0, 1)",
                        "SetCameraRotationRange(6.283185307, 6.283185307, 1.221730476, 1.221730476)",
                        "SetCameraShiftRange((0, 0, 0.1), (-0.2, 0, 0), (0, 0, 0))",
                        "SetTouchdownPoints(@, 3)",
                        "CreatePropellantResource(426, -1, 1)", "ClearVariableDragElements()", "SetADCtrlMode(7)",
                        "AddReentryStream(@)", "AddBeacon(@)", "AddBeacon(@)",
                        "CreateThruster((0, 0, 0), (0, 0, 1), 1, @, 0, 0, 101400)",
                        "AddExhaustStream(@, (-0.032, 0.211, 0), @)", "AddMesh(\"hx220\")",
                        "SetMeshVisibilityMode(0, 3)"}));
    EXPECT_TRUE(v->ctrl_surfaces.empty() && v->airfoils.empty());

    // The constructor before: rotor and pole animations, the camera, the pole point for a child.
    const std::vector<std::string> ctor(v->journal.begin(), from);
    EXPECT_EQ(std::count(ctor.begin(), ctor.end(), "AddAnimationComponent(0, 0, 1000000, @, 0)"), 6);
    const std::vector<std::string> pole = {"AddAnimationComponent(1, 0.5, 1, @, 0)",
                                           "AddAnimationComponent(1, 0, 0.5, @, 0)",
                                           "AddAnimationComponent(1, 0.5, 1, @, @)"};
    EXPECT_NE(std::search(ctor.begin(), ctor.end(), pole.begin(), pole.end()), ctor.end())
        << "arm swing, head slide, head swing on the slide";
    EXPECT_TRUE(Has(ctor, "SetCameraOffset(0.3, 0, 2)"));
    EXPECT_TRUE(Has(ctor, "CreateAttachment(false, (0, -1.126, 4.24), (0, 0, 1), (0, 1, 0), \"HX220\", false)"));
    const auto *tail = static_cast<MGROUP_ROTATE *>(v->animations[0].components[0]->trans);
    const auto *main = static_cast<MGROUP_ROTATE *>(v->animations[0].components[5]->trans);
    EXPECT_TRUE(tail->grp[0] == 8 && tail->angle == -15000000.0f && tail->ref.z == -3.931 && tail->axis.x == 1);
    EXPECT_TRUE(main->grp[0] == 7 && main->angle == 6280000.0f && main->ref.z == 0.975 && main->axis.y == 1);
    const auto *swing = static_cast<MGROUP_ROTATE *>(v->animations[1].components[2]->trans);
    EXPECT_TRUE(swing->grp[0] == 10 && swing->ref.z == 0.92 && std::fabs(swing->angle - 140 * RAD) < 1e-6);

    // Both streams and both beacons as given.
    ASSERT_EQ(v->streams.size(), 2u);
    const PARTICLESTREAMSPEC &re = v->streams[0]->spec, &ex = v->streams[1]->spec;
    EXPECT_EQ(v->streams[0]->source, sim::ParticleStream::REENTRY);
    EXPECT_TRUE(re.srcsize == 20 && re.srcrate == 20 && re.v0 == 0 && re.srcspread == 0.03 && re.lifetime == 0.5 &&
                re.growthrate == 100 && re.atmslowdown == 3 && re.ltype == PARTICLESTREAMSPEC::DIFFUSE &&
                re.levelmap == PARTICLESTREAMSPEC::LVL_FLAT && re.lmin == 1 && re.lmax == 1 &&
                re.atmsmap == PARTICLESTREAMSPEC::ATM_PLIN && re.amin == 6e7 && re.amax == 1.2e8 && !re.tex);
    EXPECT_TRUE(ex.srcsize == 0.1 && ex.srcrate == 1 && ex.v0 == 40 && ex.srcspread == 0.15 && ex.lifetime == 0.1 &&
                ex.growthrate == 5 && ex.atmslowdown == 3 && ex.ltype == PARTICLESTREAMSPEC::DIFFUSE &&
                ex.levelmap == PARTICLESTREAMSPEC::LVL_PSQRT && ex.lmin == 0 && ex.lmax == 2 &&
                ex.atmsmap == PARTICLESTREAMSPEC::ATM_PLOG && ex.amin == 1e-4 && ex.amax == 1 && !ex.tex);
    ASSERT_EQ(v->beacons.size(), 2u);
    const BEACONLIGHTSPEC &b1 = *v->beacons[0].spec, &b2 = *v->beacons[1].spec;
    EXPECT_TRUE(b1.shape == 1 && b1.pos->z == -4.875 && b1.col->y == -0.828 && b1.col->z == 0.153 && b1.size == 0.1 &&
                b1.falloff == 1 && b1.period == 1 && b1.duration == 0.2 && b1.tofs == 0.6 && !b1.active);
    EXPECT_TRUE(b2.shape == 1 && b2.pos->y == -0.8 && b2.col->z == 0.9 && b2.size == 0.1 && b2.falloff == 1 &&
                b2.period == 1 && b2.duration == 0.3 && b2.tofs == 1.0 && !b2.active);

    // Every frame: the ground friction.
    v->journal.clear();
    Step();
    EXPECT_TRUE(Has(v->journal, "SetSurfaceFrictionCoeff(0.05, 0.4)"));
    EXPECT_TRUE(static_cast<VESSEL2 *>(oapiGetVesselInterface(v))->clbkLoadGenericCockpit());

    // The simple flight model leaves the moment scales alone.
    EndWorld();
    options.flight_model = 0;
    Vessel *simple = Heli();
    EXPECT_TRUE(Has(simple->journal, "SetTrimScale(0.05)"));
    EXPECT_EQ(std::count_if(simple->journal.begin(), simple->journal.end(),
                            [](const std::string &j) { return j.find("MomentScale") != std::string::npos; }),
              0);
}

TEST_F(FlightTest, AnIdOutOfRangeKeepsTheHelicopterSilent)
{
    for (int id : {60, -1}) {
        sound->reset();
        sound->set_id(id);
        Vessel *v = Heli({}, "H" + std::to_string(id + 1));
        Key(v, OAPI_KEY_K);
        Step(600);
        EXPECT_EQ(sound->Calls(), std::vector<std::string>{"GetVesselSoundID3(@)"}) << "id " << id;
    }
}

TEST_F(FlightTest, EngineStartsIn500FramesOfStartSoundThen800OfRamp)
{
    Vessel *v = Heli();
    EXPECT_EQ(FrameSounds(), (std::vector<std::string>{Stop(0, 1), Stop(0, 2), Stop(0, 3), Stop(0, 4)}))
        << "an engine that is off stops its sounds every frame";
    EXPECT_EQ(Key(v, OAPI_KEY_K), 1);

    const std::vector<std::string> start = {Play(0, 3, 0, 200, 0), Play(0, 4, 0, 180, 0)};
    for (int frame = 1; frame < 500; ++frame) {
        const auto s = FrameSounds();
        ASSERT_EQ(s, start) << "frame " << frame;
    }
    // Frame 500: the counter runs out, the rotor loops begin at the pitch base, the ramp starts.
    EXPECT_EQ(FrameSounds(), (std::vector<std::string>{start[0], start[1], Play(0, 1, 1, 255, 0),
                                                       Play(0, 2, 1, 220, -2000)}));
    // Frame 501 still finds the frequency below 10 and asks for the start sound once more.
    EXPECT_EQ(FrameSounds(), (std::vector<std::string>{start[0], start[1], Play(0, 1, 1, 255, 50),
                                                       Play(0, 2, 1, 220, -1950)}));
    EXPECT_EQ(FrameSounds(), (std::vector<std::string>{Play(0, 1, 1, 255, 100), Play(0, 2, 1, 220, -1900)}));

    Step(1298 - 502);
    EXPECT_EQ(Values(v, "MOTEUR"), "1 39950.000000 501 7.990000 1");
    EXPECT_EQ(LiftThruster(v), nullptr);
    Step();  // frame 1299: the 800th frame of the ramp
    EXPECT_EQ(Values(v, "MOTEUR"), "2 40000.000000 501 8.000000 1");
    sim::Thruster *lift = LiftThruster(v);
    ASSERT_NE(lift, nullptr) << "the lift thruster comes with the running state";
    EXPECT_EQ(lift->pos.y, 2.5);
    EXPECT_EQ(lift->dir.y, 1.0);
    EXPECT_EQ(lift->isp0, 2e6);
    EXPECT_EQ(lift->p_ref, 101400);

    // Running: slot 1 at lift level x 10000 + airspeed x 20 + pitch base, slot 2 2000 below.
    W().SetThrottle(v, 0.5);
    v->Place(0, 0, 100e3, 0, 0, 0, _V(10.01, 0, 0));  // 200.2 above the base: truncated to 200
    Step();
    EXPECT_EQ(FrameSounds(), (std::vector<std::string>{Play(0, 1, 1, 255, 45200), Play(0, 2, 1, 220, 43200)}));
}

TEST_F(FlightTest, RampEndsOnItsEndValueNotAFrameEarly)
{
    // Rotor speeds off the 0.01 grid (a hand-written scenario): the ramp runs until the speed has
    // really reached 8 or 0, as it would with exact decimals.
    Vessel *up = Heli({"MOTEUR 1 0 501 7.986 1"}, "Up");
    Vessel *down = Heli({"MOTEUR 3 0 501 0.012 1"}, "Down");
    Step();
    EXPECT_EQ(Values(up, "MOTEUR"), "1 50.000000 501 7.996000 1");
    EXPECT_EQ(Values(down, "MOTEUR"), "3 -50.000000 501 0.002000 1");
    Step();
    EXPECT_EQ(Values(up, "MOTEUR"), "2 100.000000 501 8.000000 1");
    EXPECT_EQ(Values(down, "MOTEUR"), "0 -100.000000 0 0.000000 0");
}

TEST_F(FlightTest, KDuringTheStartWaitStopsWhenTheCounterRunsOut)
{
    Vessel *v = Heli();
    Key(v, OAPI_KEY_K);
    Step(100);
    Key(v, OAPI_KEY_K);  // stopping; the counter keeps counting
    Mark();
    Step(399);
    EXPECT_TRUE(Starting(SoundCalls()).empty()) << "no start sound while stopping";
    EXPECT_EQ(Values(v, "MOTEUR"), "3 0.000000 499 0.000000 1");
    Step();  // frame 500: the stop ramp ends at once
    EXPECT_EQ(Values(v, "MOTEUR"), "0 -50.000000 0 0.000000 0");
    EXPECT_EQ(FrameSounds(), (std::vector<std::string>{Stop(0, 1), Stop(0, 2), Stop(0, 3), Stop(0, 4)}));
}

TEST_F(FlightTest, KWhileStoppingRampsUpAgainAtOnce)
{
    Vessel *v = RunningHeli();
    Step();
    ASSERT_NE(LiftThruster(v), nullptr) << "a running engine from a scenario gets its lift on the first frame";
    Key(v, OAPI_KEY_K);
    Step();
    EXPECT_EQ(LiftThruster(v), nullptr) << "deleted on the first stopping frame";
    EXPECT_EQ(LiveThrusters(v), 1) << "only the exhaust carrier is left";
    Step(99);
    EXPECT_EQ(Values(v, "MOTEUR"), "3 35000.000000 501 7.000000 1");
    Key(v, OAPI_KEY_K);
    const auto s = FrameSounds();
    EXPECT_TRUE(Starting(s).empty());
    EXPECT_EQ(s, (std::vector<std::string>{Play(0, 1, 1, 255, 35000), Play(0, 2, 1, 220, 33000)}));
    EXPECT_EQ(Values(v, "MOTEUR"), "1 35050.000000 501 7.010000 1");
}

TEST_F(FlightTest, LiftThrustFollowsAirDensity)
{
    Vessel *v = RunningHeli();
    v->Place(0, 0, 0);
    Step();
    ASSERT_NE(LiftThruster(v), nullptr);
    // Sea-level density of the host's Earth atmosphere (Jacchia 1971-Gill, as the simulator's default
    // model: 28.96 kg/kmol x 2.547e25 /m3 / 6.02257e26 /kmol = 1.22474 kg/m3; the 1976 standard has 1.225).
    EXPECT_NEAR(LiftThruster(v)->max0, 1.22474 * 30000, 1.0) << "sea level";
    v->Place(0, 0, 5000);
    Step();
    EXPECT_DOUBLE_EQ(LiftThruster(v)->max0, v->Density() * 30000);
    EXPECT_LT(LiftThruster(v)->max0, 0.7 * 36750);
    v->ref = W().Moon();  // no air at all
    v->Place(0, 0, 5000);
    Step();
    EXPECT_EQ(LiftThruster(v)->max0, 0.0);
}

TEST_F(FlightTest, ManualLawWritesOneRateComponentAtATime)
{
    options.journal = true;
    Vessel *v = Heli();
    W().SetPilotControl(v, AIRCTRL_AILERON, 1.0);
    W().SetPilotControl(v, AIRCTRL_ELEVATOR, -0.5);
    // The host moves surfaces toward the pilot's input at 1/delay per second (1 s by default,
    // Vessel.cpp ApplyControlSurfaceLevels); these inputs have been held long enough to be there.
    v->ctrl_curr[AIRCTRL_AILERON] = 1.0;
    v->ctrl_curr[AIRCTRL_ELEVATOR] = -0.5;
    v->omega = _V(0.1, 0.2, 0.3);
    v->journal.clear();
    Step();
    std::vector<std::string> rates;
    for (const auto &j : v->journal)
        if (j.find("AngularVel") != std::string::npos || j.find("GetControlSurfaceLevel") == 0 ||
            j.find("SetThrusterLevel") == 0)
            rates.push_back(j);
    EXPECT_EQ(rates, (std::vector<std::string>{
                         "GetControlSurfaceLevel(2)", "GetControlSurfaceLevel(0)",
                         "GetAngularVel()", "SetAngularVel(0.1, 0.2, 0.5)",
                         "GetAngularVel()", "SetAngularVel(-0.25, 0.2, 0.5)"}))
        << "without lift the yaw rate and the thrust are not touched";
}

// The real host loses a state written after its update (the write goes into the frame's old state):
// the rates the post-step laws wrote are written again before the next update, the components they
// did not write keeping what the update left.
TEST_F(FlightTest, RatesWrittenAfterTheUpdateAreAppliedBeforeTheNext)
{
    options.journal = true;
    Vessel *v = Heli();
    W().SetPilotControl(v, AIRCTRL_AILERON, 1.0);
    W().SetPilotControl(v, AIRCTRL_ELEVATOR, -0.5);
    // Held long enough for the surfaces to have reached the stick (they slew over 1 s).
    v->ctrl_curr[AIRCTRL_AILERON] = 1.0;
    v->ctrl_curr[AIRCTRL_ELEVATOR] = -0.5;
    Step();  // manual law, no lift: pitch 0.5 x -0.5 and roll 0.5 x 1 rad/s; yaw not written
    // As if the write had been lost: the state holds what the update made of it.
    v->omega = _V(0.1, 0.2, 0.3);
    VECTOR3 at_update = _V(9, 9, 9);
    auto physics = W().state_update;
    W().state_update = [&](sim::World &w, double dt) {
        at_update = v->omega;
        if (physics) physics(w, dt);
    };
    v->journal.clear();
    Step();
    W().state_update = physics;
    EXPECT_NEAR(at_update.x, -0.25, 1e-12);
    EXPECT_NEAR(at_update.y, 0.2, 1e-12);
    EXPECT_NEAR(at_update.z, 0.5, 1e-12);
    ASSERT_GE(v->journal.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(v->journal.begin(), v->journal.begin() + 2),
              (std::vector<std::string>{"GetAngularVel()", "SetAngularVel(-0.25, 0.2, 0.5)"}))
        << "first thing in the frame";

    // The autopilot writes all three components, the last one written wins.
    Vessel *h = Heli({kEngineRunning, "STATIO 1 0"}, "HX220b");
    h->Place(0.001, 0.001, 500, 0, 0.05, 0.1, _V(3, 0, 5));  // pitched, banked, drifting
    Step(2);
    h->journal.clear();
    Step();
    // What the post-step wrote last (whether or not the host kept it).
    VECTOR3 commanded = _V(0, 0, 0);
    int writes = 0;
    for (const std::string &j : h->journal)
        writes += std::sscanf(j.c_str(), "SetAngularVel(%lf, %lf, %lf)", &commanded.x, &commanded.y, &commanded.z) == 3;
    ASSERT_GE(writes, 3);  // roll, pitch, yaw
    ASSERT_TRUE(commanded.x != 0 && commanded.z != 0);
    h->omega = _V(0, 0, 0);
    at_update = _V(9, 9, 9);
    W().state_update = [&](sim::World &w, double dt) {
        at_update = h->omega;
        if (physics) physics(w, dt);
    };
    Step();
    W().state_update = physics;
    // (the journal prints 10 significant digits)
    EXPECT_NEAR(at_update.x, commanded.x, 1e-9 * std::fabs(commanded.x));
    EXPECT_NEAR(at_update.y, commanded.y, 1e-9 * std::fabs(commanded.y) + 1e-12);
    EXPECT_NEAR(at_update.z, commanded.z, 1e-9 * std::fabs(commanded.z));
}

// The manual law on a host that integrates the attitude. The stick is held at full right from a
// level start; the aileron surface slews to it at 1 per second (Vessel.cpp ApplyControlSurfaceLevels,
// default delay 1 s), the law commands a roll rate of 0.5 rad/s per unit of surface, and the host
// turns the helicopter only by a rate written before its update (a rate written in the post-step is
// lost; the helicopter writes it again in its next pre-step, without which the bank would not
// change). So the roll rate ramps from 0 to 0.5 rad/s over the first second and holds 0.5 after, one
// frame late. Over T = 2 s the bank changes by
//   0.5 x 1 s / 2 (the ramp) + 0.5 x (T - 1 s) = 0.25 + 0.5 = 0.75 rad,
// less one frame at most at the full rate: 0.5 x 0.02 = 0.01 rad. Positive aileron rolls to the
// right, and the host's bank is positive with the left wing down, so it decreases.
// The helicopter flies 100 km up, where the air's rotational drag (size rho rotdrag / PMI per second,
// Vessel.cpp UpdateAerodynamicForces_OLD: about 6e-7 /s there) takes nothing from the commanded rate;
// in the low air it would take about 1.2 /s of it, a couple of percent per frame. Heading hold with
// the rudder at rest keeps the yaw rate 0, so the turn is a pure roll and the pitch stays.
TEST_F(FlightTest, HeldStickBanksAtTheManualRateOnceTheSurfaceHasSlewed)
{
    options.physics = true;
    Vessel *v = Heli({kEngineRunning, "HEADINGHOLD 1 0 0"});
    v->Place(0, 0, 100e3);
    Step(2);  // the lift thruster and heading hold are in place
    const double bank0 = v->iface->GetBank(), pitch0 = v->iface->GetPitch();
    ASSERT_NEAR(bank0, 0, 1e-4);
    W().SetPilotControl(v, AIRCTRL_AILERON, 1.0);
    StepFor(1.0);
    // After the ramp alone: 0.25 rad, less one frame at the rate reached.
    EXPECT_NEAR(v->iface->GetBank() - bank0, -0.25, 0.01);
    StepFor(1.0);
    EXPECT_NEAR(v->iface->GetBank() - bank0, -0.75, 0.01);
    EXPECT_NEAR(v->iface->GetPitch() - pitch0, 0, 1e-3);
}

TEST_F(FlightTest, RotorLookAndBeaconGroups)
{
    Vessel *v = Heli({"MOTEUR 1 0 501 3.0 1"});  // starting, fast enough to blur
    Step(10);
    sim::Mesh *m = v->visual->meshes[0];
    ASSERT_NE(m, nullptr);
    float blade = 1, blur = 0;  // single-precision alphas, each step of 0.003 taken in double
    for (int i = 0; i < 10; ++i) {
        blade -= 0.003;
        blur += 0.003;
    }
    for (const COLOUR4 *c : {&m->materials[3].diffuse, &m->materials[3].ambient, &m->materials[3].specular,
                             &m->materials[3].emissive})
        EXPECT_EQ(c->a, blade);
    for (const COLOUR4 *c : {&m->materials[11].diffuse, &m->materials[11].ambient, &m->materials[11].specular,
                             &m->materials[11].emissive})
        EXPECT_EQ(c->a, blur) << "0.03 to the last bit";
    EXPECT_EQ(m->properties[MESHPROPERTY_MODULATEMATALPHA], 1u);
    EXPECT_EQ(m->groups[19].UsrFlag & 1, 1u) << "blur discs cast no shadow";
    EXPECT_EQ(m->groups[18].UsrFlag & 1, 1u);
    EXPECT_EQ(m->groups[7].UsrFlag & 3, 0u) << "blades shown until the engine runs";
    EXPECT_EQ(m->groups[6].UsrFlag & 3, 3u) << "beacon lamps hidden while off";
    EXPECT_EQ(m->groups[15].UsrFlag & 3, 3u);

    Step(500);  // running
    EXPECT_EQ(m->materials[3].diffuse.a, 0.0f);
    EXPECT_EQ(m->materials[11].diffuse.a, 1.0f);
    EXPECT_EQ(m->groups[7].UsrFlag & 3, 3u);
    EXPECT_EQ(m->groups[8].UsrFlag & 3, 3u);

    EXPECT_EQ(Key(v, OAPI_KEY_L, true), 1);
    Step();
    EXPECT_TRUE(v->beacons[0].spec->active && v->beacons[1].spec->active);
    EXPECT_EQ(m->groups[6].UsrFlag & 3, 0u);
    EXPECT_EQ(m->groups[15].UsrFlag & 3, 0u);
    EXPECT_EQ(v->beacons[0].spec->pos->y, 1.216);
    EXPECT_EQ(v->beacons[1].spec->col->x, 0.9);
}

TEST_F(FlightTest, ModuleWideValuesAreSharedByTwoHelicopters)
{
    Vessel *a = Heli({}, "A");
    Vessel *b = Heli({}, "B");  // the add-on gave it id 1: the module's id is now 1 for both
    Key(a, OAPI_KEY_K);
    const auto s = FrameSounds();
    EXPECT_TRUE(Has(s, Play(1, 3, 0, 200, 0)));
    EXPECT_FALSE(Has(s, Play(0, 3, 0, 200, 0)));

    // B's visual goes: the shared own handle is cleared, A's rotor look stops, its beacons still work.
    W().DestroyVisual(b);
    sim::Mesh *m = a->visual->meshes[0];
    m->materials[3].diffuse.a = 0.5f;
    Key(a, OAPI_KEY_L, true);
    Step();
    EXPECT_EQ(m->materials[3].diffuse.a, 0.5f);
    EXPECT_EQ(m->groups[6].UsrFlag & 3, 0u);
}

TEST_F(FlightTest, KeyTable)
{
    Vessel *v = Heli();
    const DWORD shift_keys[] = {OAPI_KEY_P, OAPI_KEY_S, OAPI_KEY_D, OAPI_KEY_F, OAPI_KEY_G, OAPI_KEY_H,
                                OAPI_KEY_J, OAPI_KEY_L, OAPI_KEY_X, OAPI_KEY_UP, OAPI_KEY_DOWN, OAPI_KEY_LEFT,
                                OAPI_KEY_RIGHT, OAPI_KEY_PRIOR, OAPI_KEY_NEXT, OAPI_KEY_END, OAPI_KEY_DELETE};
    for (DWORD k : shift_keys) EXPECT_EQ(Key(v, k), 0) << "without Shift: key " << k;
    EXPECT_EQ(Key(v, OAPI_KEY_K, true), 0) << "Shift+K";
    EXPECT_EQ(Key(v, OAPI_KEY_A, true), 0);
    EXPECT_EQ(W().KeyEvent(v, OAPI_KEY_K, false), 0) << "a release";
    EXPECT_EQ(Values(v, "MOTEUR"), "0 0.000000 0 0.000000 0");
    EXPECT_EQ(Key(v, OAPI_KEY_K), 1);
    EXPECT_EQ(Values(v, "MOTEUR"), "1 0.000000 0 0.000000 0");

    EXPECT_EQ(Key(v, OAPI_KEY_F, true), 1);
    EXPECT_EQ(Values(v, "HEADINGHOLD"), "0 1 0");
    EXPECT_EQ(Key(v, OAPI_KEY_H, true), 1);
    EXPECT_EQ(Values(v, "HEADINGHOLD"), "1 0 0") << "H clears the airplane mode";
    Key(v, OAPI_KEY_F, true);
    EXPECT_EQ(Values(v, "HEADINGHOLD"), "1 0 0") << "F does nothing under heading hold";
    EXPECT_EQ(Key(v, OAPI_KEY_X, true), 1);
    EXPECT_EQ(Values(v, "HEADINGHOLD"), "1 0 1");
    EXPECT_EQ(Key(v, OAPI_KEY_P, true), 1);
    EXPECT_EQ(Values(v, "PERCHE"), "2 0.000000");
    EXPECT_EQ(Key(v, OAPI_KEY_S, true), 1);
    EXPECT_EQ(Values(v, "STATIO"), "1 0");
    EXPECT_EQ(Key(v, OAPI_KEY_J, true), 1);
    EXPECT_EQ(Key(v, OAPI_KEY_G, true), 1);
    EXPECT_EQ(Values(v, "PILOTEAUTO").substr(0, 1), "1");
    EXPECT_EQ(Key(v, OAPI_KEY_D, true), 1);
    EXPECT_EQ(Values(v, "STATIO"), "1 1");

    // Camera: rates per frame from the arrows and Page Up/Down, End stops, Delete resets.
    for (DWORD k : {OAPI_KEY_UP, OAPI_KEY_UP, OAPI_KEY_DOWN, OAPI_KEY_RIGHT, OAPI_KEY_RIGHT, OAPI_KEY_LEFT,
                    OAPI_KEY_PRIOR, OAPI_KEY_PRIOR, OAPI_KEY_NEXT})
        EXPECT_EQ(Key(v, k, true), 1);
    Step(2);
    EXPECT_NEAR(v->camera_offset.x, 0.306, 1e-12);
    EXPECT_NEAR(v->camera_offset.y, 0.006, 1e-12);
    EXPECT_NEAR(v->camera_offset.z, 2.006, 1e-12);
    EXPECT_EQ(Key(v, OAPI_KEY_END, true), 1);
    Step();
    EXPECT_NEAR(v->camera_offset.z, 2.006, 1e-12);
    Key(v, OAPI_KEY_DOWN, true);
    EXPECT_EQ(Key(v, OAPI_KEY_DELETE, true), 1);
    Step();
    EXPECT_NEAR(v->camera_offset.z, 1.997, 1e-12) << "Delete resets the offset, the rate stays";
    EXPECT_NEAR(v->camera_offset.x, 0.3, 1e-12);
}

// --- the same flight with the visual kept, only near the camera, or never made -----------------

const char kParafoilClass[] = "CorvaneMission/corvane_src_parafoil";

// The three ways the helicopter meets the graphics client. The built-in one (2016) keeps a vessel's
// visual only while size / (distance x tan 25 deg) exceeds 1e-3 (Scene.cpp, Vessel.cpp vislimit):
// for the helicopter (size 10) within 10 / (1e-3 x 0.466) = 21 km of the camera. The camera is in
// the cockpit of a vessel landed 0.01 rad (64 km) east of where the helicopter flies.
struct Client {
    const char *name;
    sim::HostGeneration host;
    bool graphics;
    bool visual;  // the helicopter has a visual
};
const Client kClients[] = {
    {"visual kept (2024, external client)", sim::HostGeneration::k2024, true, true},
    {"built-in client, camera 64 km away (2016)", sim::HostGeneration::k2016, true, false},
    {"no graphics client", sim::HostGeneration::kLatest, false, false},
};

class ClientTest : public HelicopterTest {
protected:
    // A fresh world with physics, as the client makes visuals, the camera 64 km east.
    void Begin(const Client &c)
    {
        EndWorld();
        sound->reset();
        options.host = c.host;
        options.graphics = c.graphics;
        options.physics = true;
        WriteConfig("Config/Vessels/TestCamera.cfg", "ClassName = TestCamera\nMass = 1000\n");
        camera = CreateLanded("Camera", "TestCamera", 0.01, 0);
        W().SetFocus(camera);
    }
    // A running helicopter with a full tank, from a scenario, placed; its first frame flown (the
    // lift thruster comes on it), with the visual the client gave it.
    Vessel *Flying(const Client &c, double alt, double pitch = 0, double bank = 0)
    {
        Vessel *v = LoadVessel("HX220", kClass, {kEngineRunning, "PRPLEVEL 0:1.000000"});
        if (!v) return nullptr;
        v->Place(0, 0, alt, 0, pitch * RAD, bank * RAD);
        Step();
        EXPECT_EQ(v->visual != nullptr, c.visual);
        return v;
    }
    int BadCalls()
    {
        int n = 0;
        for (const std::string &l : W().LogLines()) n += l.find("(call ignored)") != std::string::npos;
        return n;
    }
    Vessel *camera = nullptr;
};

// The hover autopilot levels a helicopter banked 15 deg and pitched 10 deg within about a second (at
// 0.5 rad/s, then 0.1 rad/s per degree: HoverLevelsABankedPitchedHelicopter works it out) and holds
// its height; left to itself it would have fallen 9.81 x 3^2 / 2 = 44 m in the 3 s. The visual takes
// no part in it: the flight and the engine sounds are the same to the last bit.
TEST_F(ClientTest, HoverAutopilotHoldsTheHelicopter)
{
    std::vector<double> reference;
    std::vector<std::string> reference_sounds;
    for (const Client &c : kClients) {
        SCOPED_TRACE(c.name);
        Begin(c);
        Vessel *v = Flying(c, 500, 10, 15);
        ASSERT_NE(v, nullptr);
        Mark();
        EXPECT_EQ(Key(v, OAPI_KEY_S, true), 1);
        StepFor(3);
        EXPECT_EQ(Values(v, "STATIO"), "1 0");
        EXPECT_NEAR(v->iface->GetBank(), 0, 1.5 * RAD);
        EXPECT_NEAR(v->iface->GetPitch(), 0, 1.5 * RAD);
        EXPECT_NEAR(v->Altitude(), 500, 2);
        EXPECT_EQ(v->visual != nullptr, c.visual) << "the camera stayed away";
        const std::vector<double> flight = {v->Altitude(), v->iface->GetBank(), v->iface->GetPitch(), v->Heading()};
        const std::vector<std::string> sounds = SoundCalls();
        EXPECT_FALSE(sounds.empty());
        if (reference.empty()) {
            reference = flight;
            reference_sounds = sounds;
        } else {
            EXPECT_EQ(flight, reference);
            EXPECT_EQ(sounds, reference_sounds);
        }
    }
}

// Following the course to the heliport 0.001 rad (6.4 km) due east: the course to its target point,
// 1e-6 rad north and west of it, is 90 - atan(1e-6 / 0.000999) = 89.94 deg. From north the autopilot
// turns at its limit, 0.5 rad/s (29 deg/s), faces the course in about 3 s and holds it (0.1 rad/s per
// degree of error). It flies by its own heading: one that read none (the module-wide handle of the
// last visual, null while there is none) would go on turning at the limit, 170 deg in 6 s.
TEST_F(ClientTest, FollowCourseTurnsTowardTheHeliport)
{
    std::vector<double> reference;
    for (const Client &c : kClients) {
        SCOPED_TRACE(c.name);
        Begin(c);
        ASSERT_NE(CreateLanded("Heliport", "CorvaneMission/heliport", 0.001, 0, 0.5), nullptr);
        Vessel *v = Flying(c, 50);
        ASSERT_NE(v, nullptr);
        double lng0, lat0, rad;
        v->EquPos(lng0, lat0, rad);
        EXPECT_EQ(Key(v, OAPI_KEY_G, true), 1);
        StepFor(6);
        EXPECT_EQ(Values(v, "PILOTEAUTO").substr(0, 2), "1 ");
        EXPECT_NEAR(v->Heading() * DEG, 89.94, 2);
        EXPECT_NEAR(v->omega.y, 0, 0.05) << "no longer turning";
        double lng, lat;
        v->EquPos(lng, lat, rad);
        EXPECT_GT((lng - lng0) * rad, 10) << "on its way east";
        EXPECT_EQ(v->visual != nullptr, c.visual);
        const std::vector<double> flight = {lng, lat, v->Altitude(), v->Heading()};
        if (reference.empty())
            reference = flight;
        else
            EXPECT_EQ(flight, reference);
    }
}

// The capsule caught 16 m under the helicopter at 40 m, then carried down by the descent autopilot:
// the first frame that ends below 16 m decides the release, which takes effect at the start of the
// next frame (a detach inside the post-steps would restart the load from the frame's start in the
// simulator's own core), and the release ends the descent.
TEST_F(ClientTest, ACarriedLoadIsLetGoBelow16Metres)
{
    std::vector<double> reference;
    for (const Client &c : kClients) {
        SCOPED_TRACE(c.name);
        Begin(c);
        Vessel *h = Flying(c, 40);
        ASSERT_NE(h, nullptr);
        Vessel *p = Create("Corvane_SRC_Parafoil", kParafoilClass);
        ASSERT_NE(p, nullptr);
        h->Place(0, 0, 40);
        p->Place(0, 0, 24);
        Step();
        ASSERT_EQ(p->parent, h) << "caught";
        EXPECT_EQ(Key(h, OAPI_KEY_D, true), 1);
        double two_before = h->Altitude(), before = h->Altitude();
        int frames = 0;
        for (; p->parent == h && frames < 3000; ++frames) {
            two_before = before;
            before = h->Altitude();
            Step();
        }
        ASSERT_EQ(p->parent, nullptr) << "released";
        EXPECT_GE(two_before, 16) << "the frame before the deciding one ended above 16 m";
        EXPECT_LT(before, 16) << "the deciding frame ended below 16 m";
        EXPECT_EQ(Values(h, "STATIO"), "1 0");
        EXPECT_EQ(h->visual != nullptr, c.visual);
        const std::vector<double> flight = {static_cast<double>(frames), h->Altitude()};
        if (reference.empty())
            reference = flight;
        else
            EXPECT_EQ(flight, reference);
    }
}

// What the visual's mesh shows of the rotor and the beacons; "" without a visual.
std::string Look(const Vessel *v)
{
    if (!v->visual || v->visual->meshes.empty() || !v->visual->meshes[0]) return "";
    const sim::Mesh *m = v->visual->meshes[0];
    char buf[160];
    std::snprintf(buf, sizeof buf, "blades %a blur %a groups 6:%u 7:%u 8:%u 15:%u modulate %u",
                  m->materials[3].diffuse.a, m->materials[11].emissive.a, m->groups[6].UsrFlag & 3,
                  m->groups[7].UsrFlag & 3, m->groups[8].UsrFlag & 3, m->groups[15].UsrFlag & 3,
                  m->properties.count(MESHPROPERTY_MODULATEMATALPHA) ? m->properties.at(MESHPROPERTY_MODULATEMATALPHA) : 9);
    return buf;
}

// The built-in client makes the helicopter's visual when the camera comes to it and deletes it,
// mesh and all, when the camera goes back to the far vessel; here every 100 frames, through an
// engine start (K, 500 frames of start sound, 800 of ramp) and the beacons switched on and off. The
// helicopter never uses a mesh or group of a deleted visual (the host frees them: the sanitizers
// would see it) nor hands the host a dead mesh handle, its engine runs up on the same frame as with
// a visual kept, and each new visual shows the rotor and beacons as that helicopter's does.
TEST_F(ClientTest, AVisualThatComesAndGoesShowsTheRotorAsItIs)
{
    const Client &kept = kClients[0], &builtin = kClients[1];
    std::vector<std::string> reference;
    for (const Client *c : {&kept, &builtin}) {
        SCOPED_TRACE(c->name);
        Begin(*c);
        Vessel *h = Heli();
        ASSERT_NE(h, nullptr);
        Key(h, OAPI_KEY_K);
        int made = 0, compared = 0;
        const sim::Visual *last = nullptr;
        for (int frame = 1; frame <= 1400; ++frame) {
            if (frame % 100 == 0) W().SetFocus(frame % 200 ? h : camera);
            if (frame == 650 || frame == 1150) Key(h, OAPI_KEY_L, true);
            Step();
            if (frame == 1298) {
                EXPECT_EQ(Values(h, "MOTEUR").substr(0, 2), "1 ");
            } else if (frame == 1299) {
                EXPECT_EQ(Values(h, "MOTEUR"), "2 40000.000000 501 8.000000 1") << "full speed on time";
            }
            const std::string look = Look(h);
            const sim::Visual *vis = h->visual;  // a deleted visual's record is not reused
            if (c == &kept) {
                reference.push_back(look);
            } else if (vis && vis == last) {  // a visual the helicopter has had a frame to paint
                EXPECT_EQ(look, reference[frame - 1]) << "frame " << frame;
                ++compared;
            }
            made += vis && vis != last;
            last = vis;
        }
        EXPECT_EQ(BadCalls(), 0);
        if (c == &builtin) {
            EXPECT_EQ(made, 7) << "a visual for each stay of the camera";
            EXPECT_GT(compared, 600);
        }
    }
    EXPECT_NE(reference.back().find("groups 6:3 7:3 8:3 15:3"), std::string::npos) << reference.back();
}

}  // namespace
