// frame_test.cpp -- the frame as the simulator runs it (Orbiter.cpp UpdateWorld and EndTimeStep,
// TimeData.cpp): the order of the step callbacks and the times they get, the state a vessel sees in
// its post-step, what becomes of state written in each callback, vessels created inside each
// callback, and the step length with time warp.
#include "atmosphere.h"
#include "testing/sim_test.h"

#include <cmath>
#include <cstdio>
#include <sstream>

using simtest::SimTest;

namespace {

class FrameTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        WriteConfig("Config/Vessels/simtest.cfg", "ClassName = simtest\nModule = sim_test_vessel\n");
        WriteConfig("Meshes/CorvaneTest/box.msh",
                    "MSHX1\nGROUPS 1\nMATERIAL 1\nTEXTURE 0\nGEOM 3 1\n0 0 0 0 1 0\n1 0 0 0 1 0\n0 0 1 0 1 0\n0 1 2\n"
                    "MATERIALS 1\nm\nMATERIAL m\n1 1 1 1\n1 1 1 1\n0 0 0 1 5\n0 0 0 1\n");
    }
    // The test modules' lines ("test: ..."), in order, from index `from` on.
    // The words of the last probe line that begins with `head` ("probe: post A"), after the head.
    std::vector<double> Probe(const std::string &head)
    {
        const auto &l = W().LogLines();
        for (auto it = l.rbegin(); it != l.rend(); ++it) {
            if (it->rfind(head + " ", 0) != 0) continue;
            std::istringstream in(it->substr(head.size()));
            std::vector<double> out;
            std::string w;
            while (in >> w) {
                char *end = nullptr;
                const double d = std::strtod(w.c_str(), &end);
                if (end && *end == '\0') out.push_back(d);
            }
            return out;
        }
        ADD_FAILURE() << "no line " << head;
        return {};
    }
    bool Has(const std::vector<std::string> &lines, const std::string &what)
    {
        for (const auto &l : lines)
            if (l.rfind(what, 0) == 0) return true;
        return false;
    }
    std::size_t IndexOf(const std::vector<std::string> &lines, const std::string &what)
    {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind(what, 0) == 0) return i;
        return lines.size();
    }
};

constexpr double kMjd0 = 51544.5;  // the test world's date at time 0

// ---- order and times ---------------------------------------------------------------------------

TEST_F(FrameTest, PluginsPreStepFirstThenVesselsThenTheVesselsPostStepsThenThePlugins)
{
    ASSERT_NE(W().LoadPlugin("sim_test_plugin"), nullptr);
    ASSERT_NE(LoadVessel("FrameProbe", "simtest", {"PROBE"}), nullptr);
    ASSERT_NE(LoadVessel("Second", "simtest", {}), nullptr);
    const std::size_t mark = W().LogLines().size();
    Step();
    // Orbiter.cpp ModulePreStep: plugins, then vessels; ModulePostStep: vessels, then plugins.
    // (The scenario's vessels get their visuals at the graphics client's first update, which ends
    // the frame: those lines are not part of the steps.)
    std::vector<std::string> said;
    for (const std::string &l : Said(mark))
        if (l.rfind("clbkVisualCreated", 0) != 0) said.push_back(l);
    ASSERT_EQ(said.size(), 6u) << ::testing::PrintToString(said);
    EXPECT_EQ(said[0].rfind("plugin opcPreStep", 0), 0u);
    EXPECT_EQ(said[1], "clbkPreStep FrameProbe");
    EXPECT_EQ(said[2], "clbkPreStep Second");
    EXPECT_EQ(said[3], "clbkPostStep FrameProbe");
    EXPECT_EQ(said[4], "clbkPostStep Second");
    EXPECT_EQ(said[5].rfind("plugin opcPostStep", 0), 0u);
}

TEST_F(FrameTest, PreStepsGetTheStartTimeAndPostStepsTheTimeAfterTheUpdate)
{
    options.dt = 0.02;
    ASSERT_NE(W().LoadPlugin("sim_test_plugin"), nullptr);
    ASSERT_NE(LoadVessel("FrameProbe", "simtest", {"PROBE"}), nullptr);
    Step(2);
    // The second frame: SimT0 = 0.02, SimDT = 0.02, SimT1 = 0.04; MJD = 51544.5 + t / 86400.
    // oapiGetSimTime gives SimT0 in both callbacks (TimeData::EndStep copies T1 to T0 only at the
    // end of the frame).
    const auto pre = Probe("probe: pre FrameProbe"), post = Probe("probe: post FrameProbe");
    ASSERT_GE(pre.size(), 4u);
    ASSERT_GE(post.size(), 4u);
    EXPECT_NEAR(pre[0], 0.02, 1e-9);
    EXPECT_NEAR(pre[1], 0.02, 1e-9);
    EXPECT_NEAR(pre[2], kMjd0 + 0.02 / 86400, 1e-11);
    EXPECT_NEAR(pre[3], 0.02, 1e-9);
    EXPECT_NEAR(post[0], 0.04, 1e-9);
    EXPECT_NEAR(post[1], 0.02, 1e-9);
    EXPECT_NEAR(post[2], kMjd0 + 0.04 / 86400, 1e-11);
    EXPECT_NEAR(post[3], 0.02, 1e-9);
    const auto plugin_pre = Probe("test: plugin opcPreStep"), plugin_post = Probe("test: plugin opcPostStep");
    ASSERT_EQ(plugin_pre.size(), 3u);
    ASSERT_EQ(plugin_post.size(), 3u);
    EXPECT_NEAR(plugin_pre[0], 0.02, 1e-9);
    EXPECT_NEAR(plugin_post[0], 0.04, 1e-9);
    EXPECT_NEAR(plugin_post[2], kMjd0 + 0.04 / 86400, 1e-11);
    EXPECT_NEAR(W().SimTime(), 0.04, 1e-12);
}

// ---- the state seen in the post-step -----------------------------------------------------------

TEST_F(FrameTest, PostStepSeesTheStartStateVectorsButTheNewAltitudeAndAttitudeAngles)
{
    options.physics = true;
    options.dt = 0.02;
    Vessel *v = LoadVessel("FrameProbe", "simtest", {"PROBE"});
    ASSERT_NE(v, nullptr);
    // 5 km up, level, falling at 100 m/s, pitching up at 0.5 rad/s (+x is nose up). Without cross
    // sections: the host's default 20 m^2 would brake it by a few centimetres in the frame.
    v->cross_sections = _V(0, 0, 0);
    v->Place(0.3, 0.2, 5000, 0.0, 0.0, 0.0, _V(0, -100, 0));
    v->omega = _V(0.5, 0, 0);
    const VECTOR3 gpos0 = v->GlobalPos(), gvel0 = v->GlobalVel(), rpos0 = v->rpos;
    const MATRIX3 R0 = v->R;
    const double alt0 = v->Altitude();
    Step();
    const auto p = Probe("probe: post FrameProbe");
    // words: t dt mjd simt, alt a, pitch p, mass m, gpos xyz, gvel xyz, avel xyz, rot m13 m23, status xyz
    ASSERT_EQ(p.size(), 4u + 3u + 3 * 3u + 2u + 3u) << "probe line changed";
    const double alt = p[4], pitch = p[5];
    const VECTOR3 gpos = _V(p[7], p[8], p[9]), gvel = _V(p[10], p[11], p[12]), avel = _V(p[13], p[14], p[15]);
    const double r13 = p[16], r23 = p[17];
    const VECTOR3 srpos = _V(p[18], p[19], p[20]);
    // The frame's start: global position and velocity (Earth's published position included: the
    // Earth moves some 600 m in 20 ms), rotation matrix, angular velocity, GetStatus.
    EXPECT_LT(length(gpos - gpos0), 1e-5);
    EXPECT_LT(length(gvel - gvel0), 1e-5);
    EXPECT_LT(length(avel - _V(0.5, 0, 0)), 1e-9);
    EXPECT_NEAR(r13, R0.m13, 1e-11);
    EXPECT_NEAR(r23, R0.m23, 1e-11);
    EXPECT_LT(length(srpos - rpos0), 1e-5);
    // Already the new ones: the altitude fell by 100 m/s x 0.02 s + g/2 x 0.02^2 = 2.002 m, the nose
    // rose by 0.5 rad/s x 0.02 s = 0.01 rad (the air's damping of so small a vessel aside).
    EXPECT_NEAR(alt - alt0, -2.002, 0.01);
    EXPECT_NEAR(pitch, 0.01, 5e-4);
    EXPECT_NEAR(alt, v->Altitude(), 1e-6);
    EXPECT_NEAR(pitch, v->Pitch(), 1e-9);
    // After the frame the new state is published.
    EXPECT_GT(length(v->GlobalPos() - gpos0), 100.0);
    EXPECT_GT(length(v->rpos - rpos0), 1.0);
}

// ---- state written in the step callbacks -------------------------------------------------------

TEST_F(FrameTest, AngularVelocityWrittenInPostStepIsLostAndInPreStepKept)
{
    // Rigidbody.cpp SetAngVel writes the current buffer s0; in the post-step that is the frame's old
    // state, which Body::EndStateUpdate then replaces by the updated one (the 2016 tree's FlipState
    // does the same). In the pre-step s0 is the state the update starts from.
    Vessel *post = LoadVessel("Post", "simtest", {"AV_POST 0 0 0.5"});
    Vessel *pre = LoadVessel("Pre", "simtest", {"AV_PRE 0 0 0.5"});
    ASSERT_NE(post, nullptr);
    ASSERT_NE(pre, nullptr);
    Step();
    EXPECT_EQ(post->omega.z, 0.0);
    EXPECT_EQ(pre->omega.z, 0.5);
    Step(3);
    EXPECT_EQ(post->omega.z, 0.0);
    EXPECT_EQ(pre->omega.z, 0.5);
}

TEST_F(FrameTest, AChildLetGoInAPreStepStaysOnItsTrackAndInAPostStepRestartsAFrameBack)
{
    // Vessel::DetachFromParent places the child with RPlace at its own position and its velocity
    // plus the parent's rotation at the child's origin, R_p (r x w_p); Body::RPlace writes s1 while
    // it exists. In a pre-step there is none: the update starts from the release. In a post-step the
    // frame's new state gets the position and velocity the frame started from: the child is back
    // where it was, global, while its parent moved on by its whole global motion over the step, and
    // it lacks the frame's change of velocity. Measured in the simulator's core, a parent in orbit
    // spinning at 0.2 rad/s: about a 500 m jump and the rotation term kept.
    options.physics = true;
    for (const bool in_post : {false, true}) {
        SCOPED_TRACE(in_post ? "post-step" : "pre-step");
        Vessel *p = LoadVessel("P", "simtest", {"AV_PRE 0 0 0.2", in_post ? "RELEASE_POST 4" : "RELEASE_PRE 4"});
        Vessel *c = LoadVessel("C", "simtest", {});
        ASSERT_NE(p, nullptr);
        ASSERT_NE(c, nullptr);
        // 400 km up at the orbital speed, eastward: no air, the two fall alike.
        p->Place(0.5, 0.1, 400e3, 0.5 * PI, 0, 0, _V(7200, 0, 0));
        ASSERT_TRUE(p->iface->AttachChild(c->iface->GetHandle(), p->iface->GetAttachmentHandle(false, 0),
                                          c->iface->GetAttachmentHandle(true, 0)));
        Step(3);  // the spin set in the first pre-step, the child carried 2 m below the origin
        ASSERT_EQ(c->iface->GetAttachmentStatus(c->iface->GetAttachmentHandle(true, 0)), p->iface->GetHandle());
        const VECTOR3 d0 = c->GlobalPos() - p->GlobalPos(), ppos0 = p->GlobalPos(), pvel0 = p->GlobalVel();
        VECTOR3 w, r = _V(0, -2, 0);  // the child's origin in the parent's frame
        p->iface->GetAngularVel(w);
        EXPECT_NEAR(w.z, 0.2, 1e-12);
        MATRIX3 R;
        p->iface->GetRotationMatrix(R);
        const VECTOR3 rot = mul(R, crossp(r, w));  // 0.4 m/s
        const double dt = W().NominalStep();
        Step();
        ASSERT_EQ(c->iface->GetAttachmentStatus(c->iface->GetAttachmentHandle(true, 0)), nullptr);
        const VECTOR3 d1 = c->GlobalPos() - p->GlobalPos();
        const VECTOR3 dv1 = c->GlobalVel() - p->GlobalVel();
        if (!in_post) {
            // One frame of the relative motion: 0.4 m/s over the step.
            EXPECT_LT(length(d1 - d0), 0.4 * dt * 1.01);
            EXPECT_LT(length(dv1 - rot), 1e-3);  // both fall alike in orbit
        } else {
            const VECTOR3 pstep = p->GlobalPos() - ppos0;  // the parent's global motion over the step
            EXPECT_GT(length(pstep), 20e3 * dt);  // the Earth's 30 km/s, less up to the orbit's 7.7 km/s
            EXPECT_LT(length(d1 - (d0 - pstep)), 1e-3);
            // The rotation term, less the parent's change of velocity over the step (gravity).
            EXPECT_LT(length(dv1 - (rot - (p->GlobalVel() - pvel0))), 1e-6);
            EXPECT_GT(length(p->GlobalVel() - pvel0), 8.0 * dt);  // 8.7 m/s^2 at 400 km
        }
        EndWorld();
    }
}

TEST_F(FrameTest, AChildPointMovedInAPostStepMovesWhatIsPublishedNotWhatThePostStepsRead)
{
    // Vessel::SetAttachmentParams puts the child in place at once with UpdatePassive, which writes
    // the update buffer while it exists (s1 from the parent's s1): in a post-step the child's new
    // state moves, while what the later post-steps read is still the frame's start.
    Vessel *p = LoadVessel("P", "simtest", {"MOVEPOINT_POST -11"});
    Vessel *c = LoadVessel("C", "simtest", {"PROBE"});  // its post-step comes after the parent's
    ASSERT_NE(p, nullptr);
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(p->iface->AttachChild(c->iface->GetHandle(), p->iface->GetAttachmentHandle(false, 0),
                                      c->iface->GetAttachmentHandle(true, 0)));
    // Attaching places nothing until the next update or change of a point: put it on the point now.
    p->iface->SetAttachmentParams(p->iface->GetAttachmentHandle(false, 0), _V(0, -1, 0), _V(0, -1, 0), _V(0, 0, 1));
    VECTOR3 p0;
    p->iface->GetGlobalPos(p0);
    Step();  // (without physics the two keep their place over the Earth)
    // The child's point is 1 m above its origin: 2 m below the parent's origin at first, 12 m after.
    const std::vector<double> seen = Probe("probe: post C");
    ASSERT_GE(seen.size(), 14u);
    const VECTOR3 read_in_post = _V(seen[7], seen[8], seen[9]);  // gpos, after the four times and alt, pitch, mass
    VECTOR3 pp;
    p->iface->GetGlobalPos(pp);
    MATRIX3 R;
    p->iface->GetRotationMatrix(R);
    EXPECT_LT(length(c->GlobalPos() - (pp + mul(R, _V(0, -12, 0)))), 1e-6);
    EXPECT_NEAR(length(read_in_post - p0), 2.0, 1e-3);
}

// ---- vessels created inside the callbacks ------------------------------------------------------

TEST_F(FrameTest, CreatedInAPreStepIsSteppedAndIntegratedInThatFrame)
{
    options.physics = true;
    Vessel *a = LoadVessel("A", "simtest", {"SPAWN_PRE Kid"});
    ASSERT_NE(a, nullptr);
    a->Place(0, 0, 5000, 0, 0, 0, _V(0, -100, 0));
    const VECTOR3 start = a->rpos;
    const std::size_t mark = W().LogLines().size();
    Step();
    const auto said = Said(mark);
    EXPECT_TRUE(Has(said, "clbkPreStep Kid")) << ::testing::PrintToString(said);
    EXPECT_TRUE(Has(said, "clbkPostStep Kid"));
    Vessel *kid = W().FindVessel("Kid");
    ASSERT_NE(kid, nullptr);
    // Made at A's start state, then moved with it over the frame (0.02 s at about 465 m/s east and
    // 100 m/s down: some 9.5 m; the host's default drag, 20 m^2 of cross section, parts the two by
    // millimetres).
    EXPECT_NEAR(length(kid->rpos - start), length(a->rpos - start), 1e-2);
    EXPECT_GT(length(kid->rpos - start), 5.0);
}

TEST_F(FrameTest, CreatedInAVesselsPostStepGetsThatPostStepButIsNotIntegrated)
{
    options.physics = true;
    Vessel *a = LoadVessel("A", "simtest", {"SPAWN_POST Kid"});
    ASSERT_NE(a, nullptr);
    a->Place(0, 0, 5000, 0, 0, 0, _V(0, -100, 0));
    const VECTOR3 start = a->rpos;
    const std::size_t mark = W().LogLines().size();
    Step();
    const auto said = Said(mark);
    EXPECT_FALSE(Has(said, "clbkPreStep Kid")) << ::testing::PrintToString(said);
    EXPECT_GT(IndexOf(said, "clbkPostStep Kid"), IndexOf(said, "clbkPostStep A"));
    EXPECT_LT(IndexOf(said, "clbkPostStep Kid"), said.size());
    Vessel *kid = W().FindVessel("Kid");
    ASSERT_NE(kid, nullptr);
    // GetStatus in the post-step still gives A's start state, and the kid was not moved this frame.
    EXPECT_LT(length(kid->rpos - start), 1e-6);
    EXPECT_GT(length(a->rpos - start), 5.0);
}

TEST_F(FrameTest, CreatedInAPluginsPreStepIsSteppedThatFrameAndInItsPostStepTheNext)
{
    ASSERT_NE(W().LoadPlugin("sim_test_plugin"), nullptr);
    ASSERT_NE(LoadVessel("SpawnFromPluginPre", "simtest", {}), nullptr);
    ASSERT_NE(LoadVessel("SpawnFromPluginPost", "simtest", {}), nullptr);
    std::size_t mark = W().LogLines().size();
    Step();
    auto said = Said(mark);
    EXPECT_TRUE(Has(said, "clbkPreStep FromPluginPre")) << ::testing::PrintToString(said);
    EXPECT_TRUE(Has(said, "clbkPostStep FromPluginPre"));
    ASSERT_NE(W().FindVessel("FromPluginPost"), nullptr);
    EXPECT_FALSE(Has(said, "clbkPreStep FromPluginPost"));
    EXPECT_FALSE(Has(said, "clbkPostStep FromPluginPost"));
    mark = W().LogLines().size();
    Step();
    said = Said(mark);
    EXPECT_TRUE(Has(said, "clbkPreStep FromPluginPost")) << ::testing::PrintToString(said);
    EXPECT_TRUE(Has(said, "clbkPostStep FromPluginPost"));
}

// ---- step length and time warp -----------------------------------------------------------------

TEST_F(FrameTest, FrameTimeStepsStartWithThreeFramesOf10msThenFollowTheWarp)
{
    options.dt = 0;  // no fixed step: each step is the frame time (1/60 s) times the warp
    Step(3);
    EXPECT_NEAR(W().SimTime(), 0.03, 1e-12);  // Orbiter.cpp BeginTimeStep: launch_tick = 3 frames of 10 ms
    Step(60);
    EXPECT_NEAR(W().SimTime(), 1.03, 1e-12);
    W().SetWarp(10);
    Step(6);
    EXPECT_NEAR(W().StepLength(), 10.0 / 60, 1e-15);
    EXPECT_NEAR(W().SimTime(), 2.03, 1e-12);
    W().SetWarp(1e6);  // Orbiter.cpp MaxWarpLimit
    EXPECT_EQ(W().Warp(), 1e5);
    W().SetWarp(0.01);  // MinWarpLimit
    EXPECT_EQ(W().Warp(), 0.1);
}

TEST_F(FrameTest, WarpWithADelayRampsTenfoldPerDelay)
{
    // TimeData.cpp BeginStep: warp *= 10^(frame time / delay) each frame until the target.
    options.dt = 0.02;  // a fixed step: the ramp still runs on the frame time (1/60 s here after the
                        // three launch frames of 10 ms)
    W().SetWarp(100, 1.0);
    Step(3);
    EXPECT_NEAR(W().Warp(), std::pow(10.0, 0.03), 1e-12);
    EXPECT_NEAR(W().StepLength(), 0.02 * std::pow(10.0, 0.03), 1e-14);
    Step(60);
    EXPECT_NEAR(W().Warp(), std::pow(10.0, 1.03), 1e-9);
    Step(60);
    EXPECT_EQ(W().Warp(), 100.0);
    EXPECT_NEAR(W().StepLength(), 2.0, 1e-12);
    W().SetWarp(1, 0.5);
    Step(61);  // down by 10^(1/0.5) = 100 within a second
    EXPECT_EQ(W().Warp(), 1.0);
}

TEST_F(FrameTest, HelicopterEngineStartTakesAsManyFramesAtAnyWarp)
{
    // The helicopter counts its engine start in frames: 500 frames of start sound, then 800 of rotor
    // ramp; the running state shows on the 1299th frame after the key (helicopter/flight_test.cpp).
    for (double warp : {1.0, 10.0, 100.0}) {
        SCOPED_TRACE(warp);
        options.dt = 0;
        options.warp = warp;
        Vessel *v = Create("HX220", "hx220");
        ASSERT_NE(v, nullptr);
        Key(v, OAPI_KEY_K);
        int frames = 0;
        while (SavedLine(v, "MOTEUR").rfind("MOTEUR 2", 0) != 0 && frames < 5000) {
            Step();
            ++frames;
        }
        EXPECT_EQ(frames, 1299);
        EndWorld();
    }
}

// ---- the atmosphere's clock --------------------------------------------------------------------

TEST_F(FrameTest, EarthsAtmosphereSeesTheSunWhereItStandsAtTheWorldsDate)
{
    // MJD 51544.5 is 2000 January 1, 12:00: the Sun stands at declination -23.0 deg and, the
    // equation of time being -3.2 min, 0.8 deg east of Greenwich (Astronomical Almanac 2000, C5).
    options.mjd = 51544.5;
    W();
    const double expected = sim::Jacchia71Gill(300e3, 51544.5, 0.8 * RAD, -23.0 * RAD).density;
    EXPECT_NEAR(sim::StandardAtmosphere(300e3).density / expected, 1.0, 2e-3);
    // Twelve hours later the Sun is over the other side: the model's longitude-0 place is in the
    // night, where the exosphere is cooler and the air at 300 km thinner.
    options.mjd = 51545.0;
    EndWorld();
    W();
    EXPECT_LT(sim::StandardAtmosphere(300e3).density, 0.8 * expected);
}

}  // namespace
