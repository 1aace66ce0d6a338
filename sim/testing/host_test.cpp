// host_test.cpp -- the stand-in host itself, driven through a test-only vessel module and a
// test-only instrument module: callback order, creation inside a callback, scenario round trip,
// class lookup, unloading, attachments, the attitude convention, displays and faults.
#include "testing/sim_test.h"

#include "spawn_geometry.h"

#include <algorithm>
#include <cmath>
#include <random>

using simtest::SimTest;

namespace {

const char *kBox =
    "MSHX1\nGROUPS 1\nMATERIAL 1\nTEXTURE 0\nGEOM 3 1\n0 0 0 0 1 0\n1 0 0 0 1 0\n0 0 1 0 1 0\n0 1 2\n"
    "MATERIALS 1\nm\nMATERIAL m\n1 1 1 1\n1 1 1 1\n0 0 0 1 5\n0 0 0 1\n";

class HostTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        WriteConfig("Config/Vessels/simtest.cfg", "ClassName = simtest\nModule = sim_test_vessel\n");
        WriteConfig("Config/plain.cfg", "ClassName = plain\nSize = 2\nMass = 300\n");
        WriteConfig("Meshes/CorvaneTest/box.msh", kBox);
    }
    // True when the host log holds this line (from index `from` on).
    bool Logged(const std::string &line, std::size_t from = 0)
    {
        const auto &l = W().LogLines();
        return std::find(l.begin() + static_cast<std::ptrdiff_t>(std::min(from, l.size())), l.end(), line) != l.end();
    }
    static std::vector<std::string> V(std::initializer_list<const char *> l)
    {
        return std::vector<std::string>(l.begin(), l.end());
    }
};

const char *kScenario =
    "BEGIN_ENVIRONMENT\n  System Sol\n  Date MJD 51544.5\nEND_ENVIRONMENT\n\n"
    "BEGIN_FOCUS\n  Ship A\nEND_FOCUS\n\n"
    "BEGIN_SHIPS\n"
    "A:simtest\n  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 7700\n  AROT 10 20 30\n"
    "  COUNTER 5\n  TEXT hello ; a comment\nEND\n"
    "B:plain\n  STATUS Landed Earth\n  POS 10.0000000 20.0000000\n  HEADING 90.00\nEND\n"
    "END_SHIPS\n";

}  // namespace

TEST_F(HostTest, ScenarioVesselGetsCallbacksInOrderAndItsOwnLines)
{
    Vessel *a = LoadScenarioText(kScenario, "A");
    ASSERT_NE(a, nullptr);
    // A scenario's vessel gets its visual from the graphics client's first update, at the end of the
    // first frame (it used to get it right after its post-creation).
    EXPECT_EQ(Said(), V({"instance 1", "clbkSetClassCaps A", "clbkLoadStateEx A", "clbkPostCreation A"}));
    const std::size_t mark = W().LogLines().size();
    Step();
    EXPECT_EQ(Said(mark), V({"clbkPreStep A", "clbkPostStep A", "clbkVisualCreated A"}));
    EXPECT_EQ(SavedLine(a, "COUNTER"), "COUNTER 6");
    EXPECT_EQ(SavedLine(a, "TEXT"), "TEXT hello");
    EXPECT_EQ(W().Focus(), a);
    Vessel *b = W().FindVessel("b");
    ASSERT_NE(b, nullptr);
    EXPECT_TRUE(b->landed);
    EXPECT_NEAR(b->surf_lng, 10 * RAD, 1e-12);
}

TEST_F(HostTest, SaveLoadSaveGivesTheSameText)
{
    LoadScenarioText(kScenario);
    Step(3);
    const std::string first = W().SaveScenarioText();
    EndWorld();
    std::string err;
    ASSERT_TRUE(W().LoadScenarioText(first, &err)) << err;
    EXPECT_EQ(W().SaveScenarioText(), first);
}

TEST_F(HostTest, VesselCreatedInAPreStepAppearsAtOnceAndStepsInThatFrame)
{
    Vessel *a = Create("A", "simtest");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Key(a, OAPI_KEY_K), 1);
    const std::size_t mark = W().LogLines().size();
    Step();
    // Made with a plain VESSELSTATUS: the host applies it itself (no clbkSetStateEx), and the
    // graphics client gives the visual before the post-creation (the old order was the reverse).
    // The simulator appends the new vessel to the list its pre-step loop is running over
    // (Orbiter.cpp ModulePreStep loops to g_psys->nVessel() anew each time), so the child gets this
    // frame's pre-step and post-step too. (The stand-in once held it back to the next frame.)
    EXPECT_EQ(Said(mark), V({"clbkPreStep A", "instance 2", "clbkSetClassCaps Child", "clbkVisualCreated Child",
                             "clbkPostCreation Child", "clbkPreStep Child", "clbkPostStep A", "clbkPostStep Child"}));
    Vessel *c = W().FindVessel("Child");
    ASSERT_NE(c, nullptr);
    EXPECT_NEAR(length(c->rpos - a->rpos), 0.0, 1e-6);
    const std::size_t mark2 = W().LogLines().size();
    Step();
    EXPECT_EQ(Said(mark2), V({"clbkPreStep A", "clbkPreStep Child", "clbkPostStep A", "clbkPostStep Child"}));
}

TEST_F(HostTest, AFreshWorldStartsWithFreshModuleData)
{
    Create("A", "simtest");
    Create("B", "simtest");
    EXPECT_EQ(Said().back(), "clbkPostCreation B");  // the visual comes before the post-creation
    EXPECT_NE(std::find(Said().begin(), Said().end(), "instance 2"), Said().end());
    EndWorld();
    Create("C", "simtest");
    EXPECT_EQ(Said().front(), "instance 1");
}

TEST_F(HostTest, ClassLookupPrefersVesselsFolderAndReportsWhatIsMissing)
{
    WriteConfig("Config/Vessels/twice.cfg", "Module = sim_test_vessel\n");
    WriteConfig("Config/twice.cfg", "Size = 9\n");
    Vessel *t = Create("T", "twice");
    ASSERT_NE(t, nullptr);
    EXPECT_NE(t->module, nullptr);
    Vessel *p = Create("P", "plain");  // found by the second lookup, served by no module
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->module, nullptr);
    EXPECT_DOUBLE_EQ(p->size, 2.0);
    EXPECT_DOUBLE_EQ(p->empty_mass, 300.0);

    EXPECT_EQ(Create("X", "nosuch/class"), nullptr);
    const std::string &why = W().LogLines().back();
    EXPECT_NE(why.find("Config/Vessels/nosuch/class.cfg"), std::string::npos) << why;
    EXPECT_NE(why.find("Config/nosuch/class.cfg"), std::string::npos) << why;

    WriteConfig("Config/nomodule.cfg", "Module = not_there\n");
    EXPECT_EQ(Create("Y", "nomodule"), nullptr);
    EXPECT_NE(W().LogLines().back().find("not_there.so not found"), std::string::npos);
    WriteConfig("Config/noentry.cfg", "Module = Plugin/sim_test_plugin\n");
    EXPECT_EQ(Create("Z", "noentry"), nullptr);
    EXPECT_NE(W().LogLines().back().find("ovcInit"), std::string::npos);
    EXPECT_EQ(W().Vessels().size(), 2u);
}

TEST_F(HostTest, MalformedScenarioNamesFileAndLine)
{
    std::string err;
    EXPECT_FALSE(W().LoadScenarioText("BEGIN_SHIPS\nA:plain\n  STATUS Orbiting Earth\nEND_SHIPS\n", &err, "x.scn"));
    EXPECT_NE(err.find("x.scn:4"), std::string::npos) << err;
    EXPECT_FALSE(W().LoadScenarioText("hello\n", &err, "y.scn"));
    EXPECT_NE(err.find("y.scn:1"), std::string::npos) << err;
    EXPECT_FALSE(W().LoadScenarioText("BEGIN_SHIPS\nnocolon\nEND_SHIPS\n", &err, "z.scn"));
    EXPECT_NE(err.find("z.scn:2"), std::string::npos) << err;
    // An unknown class skips that vessel only.
    ASSERT_TRUE(W().LoadScenarioText("BEGIN_SHIPS\nA:nosuch\nEND\nB:plain\nEND\nEND_SHIPS\n", &err)) << err;
    EXPECT_EQ(W().FindVessel("A"), nullptr);
    EXPECT_NE(W().FindVessel("B"), nullptr);
}

TEST_F(HostTest, AttachmentsFollowTheRulesAndCarryTheChild)
{
    Vessel *p = Create("P", "plain"), *c = Create("C", "plain");
    VESSEL *pi = p->iface, *ci = c->iface;
    ATTACHMENTHANDLE pp = pi->CreateAttachment(false, _V(0, -2, 3), _V(0, 0, 1), _V(0, 1, 0), "P");
    ATTACHMENTHANDLE cp = ci->CreateAttachment(true, _V(0, 1, 0), _V(0, 0, 1), _V(0, 1, 0), "C");
    ATTACHMENTHANDLE wrong = ci->CreateAttachment(false, _V(0, 0, 0), _V(0, 0, 1), _V(0, 1, 0), "W");
    EXPECT_FALSE(pi->AttachChild(c, pp, wrong));  // a child point must be made for a parent
    EXPECT_FALSE(pi->DetachChild(pp));            // nothing attached yet
    EXPECT_EQ(pi->GetAttachmentHandle(false, 0), pp);
    EXPECT_EQ(pi->GetAttachmentHandle(false, 1), nullptr);
    EXPECT_EQ(ci->GetAttachmentHandle(true, 0), cp);
    ASSERT_TRUE(pi->AttachChild(c, pp, cp));
    EXPECT_EQ(pi->GetAttachmentStatus(pp), c);
    EXPECT_EQ(ci->GetAttachmentStatus(cp), p);
    // A parent does not carry its child's mass (Vessel.cpp UpdateMass: empty mass + propellant).
    EXPECT_DOUBLE_EQ(p->Mass(), 300.0);
    p->Place(0.1, 0.2, 5000, 1.0);
    Step();
    VECTOR3 ppos, cpos;
    pi->Local2Rel(_V(0, -2, 3), ppos);
    ci->Local2Rel(_V(0, 1, 0), cpos);
    EXPECT_LT(length(ppos - cpos), 1e-6);
    // The child's direction points against the parent's (both are +z here): the child faces back.
    EXPECT_NEAR(c->Heading(), std::fmod(p->Heading() + PI, 2 * PI), 1e-5);
    // Its surface queries report the parent's (Vessel.h GetSurfParam; measured in the core: the
    // capsule 17 m below the helicopter reports the helicopter's altitude), its own record stands
    // 3 m lower; the atmosphere's data stay its own.
    EXPECT_NEAR(c->Altitude(), p->Altitude() - 3.0, 0.01);
    EXPECT_DOUBLE_EQ(ci->GetAltitude(), pi->GetAltitude());
    EXPECT_DOUBLE_EQ(ci->GetYaw(), pi->GetYaw());
    EXPECT_DOUBLE_EQ(ci->GetPitch(), pi->GetPitch());
    EXPECT_DOUBLE_EQ(ci->GetBank(), pi->GetBank());
    double clng, clat, crad, plng, plat, prad, calt = 0, chdg = 0, phdg = 0;
    ci->GetEquPos(clng, clat, crad);
    pi->GetEquPos(plng, plat, prad);
    EXPECT_DOUBLE_EQ(crad, prad);
    EXPECT_DOUBLE_EQ(clng, plng);
    ASSERT_TRUE(oapiGetAltitude(c->iface->GetHandle(), &calt));
    EXPECT_DOUBLE_EQ(calt, pi->GetAltitude());
    ASSERT_TRUE(oapiGetHeading(c->iface->GetHandle(), &chdg) && oapiGetHeading(p->iface->GetHandle(), &phdg));
    EXPECT_DOUBLE_EQ(chdg, phdg);
    VECTOR3 cair, pair;
    ci->GetHorizonAirspeedVector(cair);
    pi->GetHorizonAirspeedVector(pair);
    EXPECT_LT(length(cair - pair), 1e-12);
    EXPECT_DOUBLE_EQ(ci->GetAtmDensity(), c->Density());
    EXPECT_GT(ci->GetAtmDensity(), pi->GetAtmDensity());  // 3 m lower: denser air
    EXPECT_TRUE(pi->DetachChild(pp, 0.0));
    // Let go, it reports its own again.
    EXPECT_DOUBLE_EQ(ci->GetAltitude(), c->Altitude());
    EXPECT_FALSE(pi->DetachChild(pp, 0.0));
    EXPECT_EQ(pi->GetAttachmentStatus(pp), nullptr);
}

TEST_F(HostTest, AttitudeAnglesGiveTheAxesOfBothSpawnFormulas)
{
    Vessel *ref = Create("R", "plain");
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> ang(-M_PI, M_PI);
    for (int i = 0; i < 50; ++i) {
        ref->Place(ang(rng), ang(rng) / 2.1, 1000, ang(rng), ang(rng) / 2.1, ang(rng));
        const MATRIX3 &R = ref->R;
        const VECTOR3 x = _V(R.m11, R.m21, R.m31), y = _V(R.m12, R.m22, R.m32), z = _V(R.m13, R.m23, R.m33);
        // The release: turned 180 degrees about y.
        const VECTOR3 gx = -x, gz = -z;
        const VECTOR3 ny = unit(crossp(gz, gx)), nx = crossp(ny, gz);
        // The hand-off: a quarter turn about x.
        const VECTOR3 Z = unit(crossp(y, x)), X = crossp(Z, y);
        struct Case {
            VECTOR3 arot, ex, ey, ez;
        } cases[] = {{corvane::ArotFromAxes(nx, ny, gz), -x, y, -z}, {corvane::ArotFromAxes(X, Z, y), x, -z, y}};
        for (const Case &k : cases) {
            VESSELSTATUS vs;
            ref->iface->GetStatus(vs);
            vs.arot = k.arot;
            Vessel *n = W().CreateVessel("N", "plain", vs);
            ASSERT_NE(n, nullptr);
            const MATRIX3 &M = n->R;
            EXPECT_LT(length(_V(M.m11, M.m21, M.m31) - k.ex), 1e-9);
            EXPECT_LT(length(_V(M.m12, M.m22, M.m32) - k.ey), 1e-9);
            EXPECT_LT(length(_V(M.m13, M.m23, M.m33) - k.ez), 1e-9);
            W().DeleteVessel(n);
        }
    }
}

TEST_F(HostTest, PlacementAndAttitudeQueriesAgree)
{
    Vessel *v = Create("V", "plain");
    v->Place(0.5, -0.3, 2000, 1.2, 0.1, -0.2, _V(3, -1, 4));
    double lng, lat, rad;
    v->iface->GetEquPos(lng, lat, rad);
    EXPECT_NEAR(lng, 0.5, 1e-12);
    EXPECT_NEAR(lat, -0.3, 1e-12);
    EXPECT_NEAR(v->iface->GetAltitude(), 2000, 1e-6);
    double hdg;
    oapiGetHeading(v, &hdg);
    EXPECT_NEAR(hdg, 1.2, 1e-9);
    EXPECT_NEAR(v->iface->GetPitch(), 0.1, 1e-9);
    EXPECT_NEAR(v->iface->GetBank(), -0.2, 1e-9);
    VECTOR3 h;
    v->iface->GetHorizonAirspeedVector(h);
    EXPECT_LT(length(h - _V(3, -1, 4)), 1e-6);
    EXPECT_NEAR(v->iface->GetAirspeed(), std::sqrt(26.0), 1e-6);
    EXPECT_GT(v->iface->GetAtmDensity(), 0.9);

    Vessel *g = CreateLanded("G", "plain", 1.0, 0.4, 3.0);
    EXPECT_EQ(g->iface->GetFlightStatus() & 1u, 1u);
    Step(100);  // the Earth turns under it; it stays on its spot
    g->iface->GetEquPos(lng, lat, rad);
    EXPECT_NEAR(lng, 1.0, 1e-9);
    EXPECT_NEAR(lat, 0.4, 1e-9);
    oapiGetHeading(g, &hdg);
    EXPECT_NEAR(hdg, 3.0, 1e-9);
}

TEST_F(HostTest, InstrumentModuleDisplaysKeysAndStatus)
{
    ASSERT_NE(W().LoadPlugin("sim_test_plugin"), nullptr);
    Vessel *a = Create("A", "plain");
    W().SetFocus(a);
    EXPECT_EQ(W().LogLines().back(), "plugin: focus A after 0 frames");
    ASSERT_NE(W().OpenMfd(0, "Test Mode"), nullptr);
    EXPECT_TRUE(W().MfdKey(0, OAPI_KEY_V));
    EXPECT_FALSE(W().MfdKey(0, OAPI_KEY_B));
    HDC__ *d = W().DrawMfd(0);
    ASSERT_NE(d, nullptr);
    EXPECT_NE(d->FindText("page 1"), nullptr);
    EXPECT_NE(d->FindText("Test Mode"), nullptr);
    EXPECT_TRUE(d->problems.empty());
    const std::string scn = W().SaveScenarioText();
    EXPECT_NE(scn.find("BEGIN_MFD Left\n  TYPE User\n  MODE Test Mode\n  PAGE 1\nEND_MFD"), std::string::npos) << scn;
    EndWorld();
    W().LoadPlugin("sim_test_plugin");
    std::string err;
    ASSERT_TRUE(W().LoadScenarioText(scn, &err)) << err;
    EXPECT_NE(W().DrawMfd(0)->FindText("page 1"), nullptr);
}

TEST_F(HostTest, EveryInstrumentModuleHearsOfFocusChangesAndEachWorldLoadsItAfresh)
{
    sim::Module *one = W().LoadPlugin("sim_test_plugin");
    ASSERT_NE(one, nullptr);
    ASSERT_NE(W().LoadPlugin("sim_test_plugin2"), nullptr);
    EXPECT_EQ(W().LoadPlugin("sim_test_plugin"), one);  // loaded once per world
    Vessel *a = Create("A", "plain"), *b = Create("B", "plain");
    W().SetFocus(a);
    Step(3);
    const std::size_t mark = W().LogLines().size();
    W().SetFocus(b);
    EXPECT_TRUE(Logged("plugin: focus B after 3 frames", mark));
    EXPECT_TRUE(Logged("plugin2: focus B after 3 frames", mark));

    // The world's end unloads both: in a fresh world their frame counts start again from zero.
    EndWorld();
    ASSERT_NE(W().LoadPlugin("sim_test_plugin"), nullptr);
    ASSERT_NE(W().LoadPlugin("sim_test_plugin2"), nullptr);
    W().SetFocus(Create("C", "plain"));
    EXPECT_TRUE(Logged("plugin: focus C after 0 frames"));
    EXPECT_TRUE(Logged("plugin2: focus C after 0 frames"));
}

// Names are found in any case, only whole (neither a longer nor a shorter name matches), the first
// of two vessels of one name, and the next one once the first is deleted.
TEST_F(HostTest, VesselsAndBodiesAreFoundByNameInAnyCase)
{
    Vessel *a = Create("Corvane_SRC", "plain");
    Vessel *b = Create("Corvane_SRC_Parafoil", "plain");
    Vessel *twin = Create("CORVANE_SRC", "plain");
    EXPECT_EQ(W().FindVessel("corvane_src"), a);
    EXPECT_EQ(W().FindVessel("CORVANE_SRC_PARAFOIL"), b);
    EXPECT_EQ(W().FindVessel("Corvane_SR"), nullptr);
    EXPECT_EQ(W().FindVessel("Corvane_SRC_"), nullptr);
    EXPECT_EQ(W().FindVessel(static_cast<const char *>(nullptr)), nullptr);
    EXPECT_EQ(oapiGetVesselByName(const_cast<char *>("corvane_SRC_parafoil")), b->iface->GetHandle());
    W().DeleteVessel(a);
    Step();
    EXPECT_EQ(W().FindVessel("Corvane_SRC"), twin);
    EXPECT_EQ(oapiGetGbodyByName(const_cast<char *>("eARTH")), oapiGetGbodyByName(const_cast<char *>("Earth")));
    EXPECT_NE(oapiGetGbodyByName(const_cast<char *>("EARTH")), nullptr);
    EXPECT_EQ(oapiGetGbodyByName(const_cast<char *>("Eart")), nullptr);
}

// A landed vessel set down elsewhere, or raised, is there from the next frame on (nothing of its
// last place is kept).
TEST_F(HostTest, ALandedVesselSetDownElsewhereIsThere)
{
    Vessel *v = CreateLanded("L", "plain", 0.1, 0.2, 0);
    Step(2);
    double lng, lat, rad;
    v->EquPos(lng, lat, rad);
    EXPECT_NEAR(lng, 0.1, 1e-12);
    EXPECT_NEAR(lat, 0.2, 1e-12);
    v->SetLanded(-0.3, 0.05, 1.0);
    Step(2);
    double lng2, lat2, rad2;
    v->EquPos(lng2, lat2, rad2);
    EXPECT_NEAR(lng2, -0.3, 1e-12);
    EXPECT_NEAR(lat2, 0.05, 1e-12);
    EXPECT_NEAR(rad2, rad, 1e-6);
    v->landed_elev += 5.0;
    Step();
    v->EquPos(lng2, lat2, rad2);
    EXPECT_NEAR(rad2 - rad, 5.0, 1e-6);
}

TEST_F(HostTest, FaultsAreReportedNotCrashed)
{
    int junk = 0;
    W();
    EXPECT_EQ(oapiGetVesselInterface(&junk), nullptr);
    EXPECT_EQ(oapiSetFocusObject(nullptr), nullptr);
    EXPECT_EQ(oapiGetVesselByName(const_cast<char *>("nobody")), nullptr);
    Vessel *a = Create("A", "simtest");
    VESSEL *ai = a->iface;
    EXPECT_DOUBLE_EQ(ai->GetPropellantMass(&junk), 0.0);
    THRUSTER_HANDLE th = ai->CreateThruster(_V(0, 0, 0), _V(0, 0, 1), 10);
    EXPECT_TRUE(ai->DelThruster(th));
    EXPECT_EQ(th, nullptr);
    ai->SetThrusterLevel(th, 1.0);
    EXPECT_FALSE(ai->DelMesh(7));
    EXPECT_TRUE(ai->DelMesh(0));
    EXPECT_FALSE(ai->DelMesh(0));
    EXPECT_NE(std::find_if(W().LogLines().begin(), W().LogLines().end(),
                           [](const std::string &l) { return l.find("oapiGetVesselInterface") == 0; }),
              W().LogLines().end());
    // The display is still drawn after the faults: the test module's text, on a host with the
    // built-in graphics client (the current simulator never calls its device-context callback:
    // DeviceContextOnlyVesselHasNoDisplayOnCurrentHosts).
    W().opt_.host = sim::HostGeneration::k2016;
    HDC__ *hud = W().DrawHud(1024, 768, a);
    ASSERT_NE(hud, nullptr);
    EXPECT_NE(hud->FindText("TEST"), nullptr);
}

TEST_F(HostTest, DeviceContextOnlyVesselHasNoDisplayOnCurrentHosts)
{
    // Vessel.cpp, Vessel::DrawHUD: a VESSEL2 module has no sketchpad callback; only the built-in
    // graphics client gives the host a device context to call its device-context callback with.
    const struct {
        sim::HostGeneration host;
        bool drawn;
    } generations[] = {{sim::HostGeneration::k2016, true},
                       {sim::HostGeneration::k2024Inline, true},
                       {sim::HostGeneration::k2024, false},
                       {sim::HostGeneration::kLatest, false}};
    for (const auto &g : generations) {
        SCOPED_TRACE(sim::HostGenerationName(g.host));
        EndWorld();
        options.host = g.host;
        Vessel *a = Create("A", "simtest");
        HDC__ *hud = W().DrawHud(1024, 768, a);
        ASSERT_NE(hud, nullptr);
        if (g.drawn) {
            ASSERT_NE(hud->FindText("TEST"), nullptr);
            EXPECT_FALSE(hud->FindText("TEST")->sketchpad);
            EXPECT_EQ(hud->FindText("TEST")->y, 384);
        } else {
            EXPECT_TRUE(hud->ops.empty()) << hud->Listing();
        }
        // The host itself never asks the sketchpad for a device context it will not use.
        for (const std::string &l : W().LogLines()) EXPECT_EQ(l.find("Sketchpad::GetDC"), std::string::npos) << l;
    }
}

TEST_F(HostTest, PenMisuseInADrawingIsReportedInTheHostLog)
{
    W();
    auto logged = [&](const std::string &part) {
        for (const std::string &l : W().LogLines())
            if (l.rfind("drawing: ", 0) == 0 && l.find(part) != std::string::npos) return true;
        return false;
    };
    HDC__ dc(64, 64);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(&dc, pen);
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_TRUE(logged("deleting a pen that is still selected"));
    SelectObject(&dc, old);
    dc.Finish();  // the pen was never deleted
    EXPECT_TRUE(logged("left undeleted after drawing"));
    DeleteObject(pen);
}

TEST_F(HostTest, WithoutPhysicsAFreeVesselKeepsItsPlaceOverTheGround)
{
    Vessel *v = Create("V", "plain");
    v->Place(0.3, 0.2, 1500, 0.7, 0.05, 0.1, _V(1, 2, 3));
    Step(500);  // 10 s: the Earth turns 7e-4 rad meanwhile
    double lng, lat, rad;
    v->EquPos(lng, lat, rad);
    EXPECT_NEAR(lng, 0.3, 1e-12);
    EXPECT_NEAR(lat, 0.2, 1e-12);
    EXPECT_NEAR(v->Altitude(), 1500, 1e-6);
    EXPECT_NEAR(v->Heading(), 0.7, 1e-9);
    EXPECT_LT(length(v->HorizonAirspeed() - _V(1, 2, 3)), 1e-9);
}

TEST_F(HostTest, AnAttachedVesselCannotBeSetDownOnItsOwn)
{
    Vessel *p = Create("P", "plain"), *c = Create("C", "plain");
    ATTACHMENTHANDLE pp = p->iface->CreateAttachment(false, _V(0, 0, 0), _V(0, 0, 1), _V(0, 1, 0), "P");
    ATTACHMENTHANDLE cp = c->iface->CreateAttachment(true, _V(0, 10, 0), _V(0, 0, 1), _V(0, 1, 0), "C");
    ASSERT_TRUE(p->iface->AttachChild(c, pp, cp));
    VESSELSTATUS2 s{};
    s.version = 2;
    s.status = 1;
    c->iface->DefSetStateEx(&s);
    EXPECT_FALSE(c->landed);
    EXPECT_EQ(c->iface->GetAttachmentStatus(cp), p);
}

// --- vessels deleted and made while the host is busy with them ------------------------------

TEST_F(HostTest, AVesselDeletedInAFrameCostsNoOtherVesselItsStep)
{
    LoadScenarioText("BEGIN_SHIPS\nA:simtest\nEND\nB:simtest\n  KILL A\nEND\nC:simtest\nEND\nEND_SHIPS\n");
    const std::size_t mark = W().LogLines().size();
    Step();
    // The scenario's vessels get their visuals at the end of the first frame; A is gone by then.
    EXPECT_EQ(Said(mark), V({"clbkPreStep A", "clbkPreStep B", "clbkPreStep C", "clbkPostStep B", "clbkPostStep C",
                             "clbkVisualCreated B", "clbkVisualCreated C"}));
    EXPECT_EQ(W().FindVessel("A"), nullptr);
    EXPECT_EQ(W().Vessels().size(), 2u);
    const std::size_t mark2 = W().LogLines().size();
    Step();
    EXPECT_EQ(Said(mark2), V({"clbkPreStep B", "clbkPreStep C", "clbkPostStep B", "clbkPostStep C"}));
}

TEST_F(HostTest, AVesselDeletingItselfInACallbackLivesUntilTheCallbackReturns)
{
    Vessel *a = Create("A", "simtest");
    Create("B", "simtest");
    EXPECT_EQ(Key(a, OAPI_KEY_D), 1);  // the module touches its object after the deletion
    EXPECT_EQ(Said().back(), "deleted itself A");
    EXPECT_FALSE(a->alive);
    EXPECT_EQ(W().FindVessel("A"), nullptr);
    EXPECT_EQ(oapiGetVesselInterface(a), nullptr);
    Step();
}

TEST_F(HostTest, DeletingTheFocusVesselMovesFocusAndDisplaysToAnother)
{
    ASSERT_NE(W().LoadPlugin("sim_test_plugin"), nullptr);
    Vessel *a = Create("A", "plain"), *b = Create("B", "plain");
    W().SetFocus(a);
    ASSERT_NE(W().OpenMfd(0, "Test Mode"), nullptr);
    ASSERT_NE(W().DrawMfd(0)->FindText("vessel A"), nullptr);
    W().SetFocus(b);
    W().SetFocus(a);
    const std::size_t mark = W().LogLines().size();
    EXPECT_TRUE(W().DeleteVessel(a));
    EXPECT_EQ(W().Focus(), b);
    EXPECT_EQ(oapiGetFocusInterface(), b->iface);
    EXPECT_TRUE(Logged("plugin: focus B after 0 frames", mark));
    EXPECT_TRUE(Logged("plugin: opened 256x256 for B", mark));
    HDC__ *d = W().DrawMfd(0);
    ASSERT_NE(d, nullptr);
    EXPECT_NE(d->FindText("vessel B"), nullptr);
    Step();

    // A display opened for a vessel that has since lost the focus follows the focus too.
    Vessel *c = Create("C", "plain");
    W().SetFocus(c);
    W().DeleteVessel(b);
    EXPECT_EQ(W().Focus(), c);
    EXPECT_NE(W().DrawMfd(0)->FindText("vessel C"), nullptr);

    // Without any vessel there is nothing to show a display for.
    W().DeleteVessel(c);
    EXPECT_EQ(W().Focus(), nullptr);
    EXPECT_EQ(W().GetMfd(0), nullptr);
    EXPECT_EQ(W().OpenMfd(1, "Test Mode"), nullptr);
    Step();
}

TEST_F(HostTest, DisplaysOpenedFromAScenarioReadTheirLinesInsteadOfRecalling)
{
    ASSERT_NE(W().LoadPlugin("sim_test_plugin"), nullptr);
    LoadScenarioText("BEGIN_MFD Right\n  TYPE User\n  MODE Test Mode\n  PAGE 4\nEND_MFD\n"
                     "BEGIN_SHIPS\nA:plain\nEND\nEND_SHIPS\n");
    std::vector<std::string> plugin;
    for (const std::string &l : W().LogLines())
        if (l.rfind("plugin: ", 0) == 0 && l.find("focus") == std::string::npos) plugin.push_back(l.substr(8));
    EXPECT_EQ(plugin, V({"opened 256x256 for A", "ReadStatus"}));
    EXPECT_NE(W().DrawMfd(1)->FindText("page 4"), nullptr);
    const std::size_t mark = W().LogLines().size();
    ASSERT_NE(W().OpenMfd(0, "Test Mode", 300, 200), nullptr);
    EXPECT_EQ(std::vector<std::string>(W().LogLines().begin() + mark, W().LogLines().end()),
              V({"plugin: opened 300x200 for A", "plugin: RecallStatus"}));
}

// --- scenario files a user may get wrong ------------------------------------------------------

TEST_F(HostTest, AttachmentLinesThatWouldMakeALoopAreRefused)
{
    Vessel *a = LoadScenarioText("BEGIN_SHIPS\n"
                                 "A:simtest\n  ATTACHED 0:0,B\nEND\n"
                                 "B:simtest\n  ATTACHED 0:0,A\nEND\n"
                                 "C:simtest\n  ATTACHED 0:0,C\nEND\n"
                                 "END_SHIPS\n",
                                 "A");
    ASSERT_NE(a, nullptr);
    Vessel *b = W().FindVessel("B"), *c = W().FindVessel("C");
    EXPECT_EQ(a->parent, b);
    EXPECT_EQ(b->parent, nullptr);
    EXPECT_EQ(c->parent, nullptr);
    // Their tanks load empty (no PRPLEVEL line, as in the real host), and a parent does not carry
    // its child's mass (Vessel.cpp UpdateMass): 100 kg each.
    EXPECT_DOUBLE_EQ(b->Mass(), 100.0);
    EXPECT_DOUBLE_EQ(c->Mass(), 100.0);
    // Why each was refused, in the host log and in the timeline (world events).
    EXPECT_TRUE(Logged("<text>: vessel \"B\": cannot attach it to \"A\": that would carry B by itself"));
    EXPECT_TRUE(Logged("<text>: vessel \"C\": cannot attach it to \"C\": that would carry C by itself"));
    std::vector<std::string> events;
    for (const auto &e : W().events()) events.push_back(e.second);
    EXPECT_NE(std::find(events.begin(), events.end(), "not attached B to A: that would carry B by itself"), events.end());
    Step();
    W().SaveScenarioText();
}

// Over the Moon, which has no air, the host still gives the airspeed as the speed over the turning
// ground (Vesselbase.cpp SurfParam::Set: the ground velocity less a wind of none): 100 km up, the
// ground turns under the vessel at 2 pi / 2360588.15 s (Moon.cfg) x 1838 km = 4.89 m/s.
TEST_F(HostTest, OverTheMoonTheAirspeedIsTheSpeedOverItsTurningGround)
{
    Vessel *v = LoadScenarioText("BEGIN_SHIPS\n"
                                 "L:simtest\n  STATUS Orbiting Moon\n  RPOS 1838000 0 0\n  RVEL 0 0 1633\nEND\n"
                                 "END_SHIPS\n",
                                 "L");
    ASSERT_NE(v, nullptr);
    VESSEL *api = oapiGetVesselInterface(sim::Handle(v));
    ASSERT_NE(api, nullptr);
    char name[16] = "";
    oapiGetObjectName(api->GetSurfaceRef(), name, sizeof name);
    ASSERT_STREQ(name, "Moon");
    EXPECT_DOUBLE_EQ(api->GetAirspeed(), api->GetGroundspeed());
    const double turn = 2 * M_PI / 2360588.15 * 1838000.0 * std::cos(0.0269);  // the axis 1.5 deg off the pole
    EXPECT_NEAR(std::fabs(api->GetAirspeed() - 1633.0), turn, 0.01);
}

TEST_F(HostTest, NamesWithBlanksAndColonsSurviveSaveAndLoad)
{
    Vessel *bus = LoadScenarioText("BEGIN_SHIPS\n"
                                   "Big Bus:simtest\n  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 7700\nEND\n"
                                   "Pod:simtest\n  ATTACHED 0:0,Big Bus\nEND\n"
                                   "END_SHIPS\n",
                                   "Big Bus");
    ASSERT_NE(bus, nullptr);
    Vessel *pod = W().FindVessel("Pod");
    ASSERT_NE(pod, nullptr);
    EXPECT_EQ(pod->parent, bus);
    ASSERT_NE(W().CreateVesselAt("Stage:2", "simtest", 0.1, 0.2, 3000), nullptr);
    const std::string first = W().SaveScenarioText();
    EndWorld();
    std::string err;
    ASSERT_TRUE(W().LoadScenarioText(first, &err)) << err;
    EXPECT_EQ(W().SaveScenarioText(), first);
    Vessel *stage = W().FindVessel("Stage:2");
    ASSERT_NE(stage, nullptr);
    EXPECT_EQ(stage->class_name, "simtest");
    EXPECT_EQ(W().FindVessel("Pod")->parent, W().FindVessel("Big Bus"));
}

TEST_F(HostTest, ADuplicateVesselNameIsReported)
{
    Create("A", "plain");
    ASSERT_NE(Create("a", "plain"), nullptr);
    EXPECT_NE(W().LogLines().back().find("\"a\""), std::string::npos) << W().LogLines().back();
    EXPECT_NE(W().LogLines().back().find("already"), std::string::npos) << W().LogLines().back();
}

TEST_F(HostTest, EveryWorldReportsBadHandlesAfresh)
{
    int junk = 0;
    W();
    for (int i = 0; i < 300; ++i) oapiGetVesselInterface(&junk);
    EXPECT_EQ(W().LogLines().size(), 201u);
    EXPECT_EQ(W().LogLines().back(), "further bad calls are not reported");
    EndWorld();
    W();
    oapiGetVesselInterface(&junk);
    ASSERT_EQ(W().LogLines().size(), 1u);
    EXPECT_EQ(W().LogLines().back(), "oapiGetVesselInterface: not a vessel handle (call ignored)");
}

// Handles found good are remembered for speed; a world that ends takes them with it, so the next
// world must refuse a vessel handle of the last one, however often it was used there.
TEST_F(HostTest, AVesselHandleOfAnEndedWorldIsRefusedByTheNext)
{
    Vessel *old = Create("Old", "plain");
    ASSERT_NE(old, nullptr);
    OBJHANDLE h = sim::Handle(old);
    for (int i = 0; i < 10; ++i) ASSERT_NE(oapiGetVesselInterface(h), nullptr);
    EndWorld();
    W();
    EXPECT_EQ(oapiGetVesselInterface(h), nullptr);
    EXPECT_EQ(oapiGetMass(h), 0.0);
    EXPECT_EQ(oapiGetVesselCount(), 0u);
}

TEST_F(HostTest, AttitudesAndHeadingsSurviveSaveAndLoadAtTheirTurningPoints)
{
    const double pitches[] = {0.0, M_PI / 2, -M_PI / 2, 0.3};
    const double banks[] = {M_PI, -M_PI, 0.0, M_PI / 2};
    int i = 0;
    for (double p : pitches)
        for (double bk : banks) {
            ++i;
            W().CreateVesselAt("V" + std::to_string(i), "plain", 0.1 * i, 0.0, 1000)->Place(0.1 * i, 0, 1000, M_PI, p, bk);
        }
    const double headings[] = {-1e-9, 2 * M_PI - 1e-6, -13.0, 0.5};
    for (double h : headings) CreateLanded("G" + std::to_string(++i), "plain", -1e-12, 1e-12, h);
    W().SetFocus(W().Vessels().front());
    const std::string first = W().SaveScenarioText();
    EndWorld();
    std::string err;
    ASSERT_TRUE(W().LoadScenarioText(first, &err)) << err;
    EXPECT_EQ(W().SaveScenarioText(), first);
}

TEST_F(HostTest, ANoteSetToTheSameTextEveryFrameIsShownOnce)
{
    W();
    NOTEHANDLE n = oapiCreateAnnotation(true, 1.0, _V(1, 1, 1));
    char hello[] = "hello", bye[] = "bye", none[] = "";
    for (int i = 0; i < 50; ++i) {
        oapiAnnotationSetText(n, hello);
        Step();
    }
    oapiAnnotationSetText(n, bye);
    oapiAnnotationSetText(n, none);
    oapiAnnotationSetText(n, hello);
    std::vector<std::string> shown;
    for (const auto &e : W().events())
        if (e.second.rfind("note", 0) == 0) shown.push_back(e.second);
    EXPECT_EQ(shown, V({"note shown: \"hello\"", "note shown: \"bye\"", "note shown: \"hello\""}));
    EXPECT_EQ(W().Annotations().front()->text, "hello");
}

// The graphics client deletes a visual's device meshes with it (OGLClient VVessel.cpp,
// vVessel::~vVessel and ClearMeshes): the groups and materials a module took from them are gone, and
// the mesh handle is refused from then on.
TEST_F(HostTest, ADeletedVisualTakesItsDeviceMeshesWithIt)
{
    Vessel *a = LoadScenarioText(kScenario, "A");
    ASSERT_NE(a, nullptr);
    Step();  // the visual comes at the client's first update
    ASSERT_NE(a->visual, nullptr);
    ASSERT_FALSE(a->visual->meshes.empty());
    sim::Mesh *m = a->visual->meshes[0];
    ASSERT_NE(m, nullptr);
    ASSERT_NE(oapiMeshGroup(m, 0), nullptr);
    W().DestroyVisual(a);
    EXPECT_FALSE(m->alive);
    EXPECT_TRUE(m->groups.empty());
    EXPECT_TRUE(m->materials.empty());
    EXPECT_EQ(oapiMeshGroup(m, 0), nullptr);
}
