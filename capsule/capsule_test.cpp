// capsule_test.cpp -- the return capsule module flown through the stand-in host: its definition,
// the descent by altitude, the chute failure and crash, the vessels it creates, its scenario lines.

#include "testing/sim_test.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const char *const kClass = "Vessels/CorvaneMission/corvane_src";
const char *const kName = "Corvane_SRC";
const double kDeg = M_PI / 180.0;
const double kLng = 10 * kDeg, kLat = 20 * kDeg;  // where the capsule comes down

class CapsuleTest : public simtest::SimTest {
protected:
    // The helicopter and the parafoil capsule as plain vessels, so that these tests stand alone.
    void PlainRecoveryClasses()
    {
        WriteConfig("Config/Vessels/hx220.cfg", "ClassName = hx220\nMass = 3000\n");
        WriteConfig("Config/Vessels/CorvaneMission/corvane_src_parafoil.cfg",
                    "ClassName = CorvaneMission/corvane_src_parafoil\nMass = 191\n");
    }
    // A capsule whose random draw is `draw`, created at 100 km.
    Vessel *Capsule(double draw, const char *name = kName)
    {
        W().ForceRand(draw);
        return Create(name, kClass);
    }
    void At(Vessel *v, double alt, int frames = 1)
    {
        v->Place(kLng, kLat, alt);
        Step(frames);
    }
    // The surface behind texture 4 of the body mesh: the entry texture is copied onto it.
    static sim::Surface *BodyTexture(Vessel *v) { return v->meshes.at(1).source->textures.at(3); }
    static bool Shows(Vessel *v, unsigned slot) { return slot < v->meshes.size() && v->meshes[slot].present; }
    static std::vector<double> Cw(Vessel *v) { return {v->cw_z_pos, v->cw_z_neg, v->cw_x, v->cw_y}; }
    static int Plumes(Vessel *v)
    {
        int n = 0;
        for (sim::ParticleStream *s : v->streams) n += s->source == sim::ParticleStream::EXHAUST;
        return n;
    }
};

::testing::AssertionResult Near(const VECTOR3 &a, const VECTOR3 &b, double tol)
{
    if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs (" << b.x << ", "
                                         << b.y << ", " << b.z << ")";
}
VECTOR3 Column(const MATRIX3 &R, int i) { return _V(R.data[i], R.data[3 + i], R.data[6 + i]); }

// The heading and the attitude flag of the first landed status record a vessel was given (the
// host's journal of DefSetStateEx, also the default clbkSetStateEx of a vessel made at run time).
struct LandedRecord {
    bool found = false;
    double hdg = 0, arot_x = 0;
};
LandedRecord FirstLandedRecord(const std::vector<std::string> &journal)
{
    LandedRecord r;
    for (const std::string &j : journal) {
        const auto at = j.find("status 1,");
        if (j.rfind("DefSetStateEx(", 0) != 0 || at == std::string::npos) continue;
        const auto h = j.find("surf_hdg "), a = j.find("arot ");
        r.found = h != std::string::npos && a != std::string::npos &&
                  std::sscanf(j.c_str() + h, "surf_hdg %lf", &r.hdg) == 1 &&
                  std::sscanf(j.c_str() + a, "arot %lf", &r.arot_x) == 1;
        return r;
    }
    return r;
}

TEST_F(CapsuleTest, ClassResolvesThroughTheSecondLookupAndStartsStowed)
{
    std::vector<std::string> looked;
    const std::string cfg = W().FindClassConfig(kClass, &looked);
    ASSERT_GE(looked.size(), 2u);
    EXPECT_NE(looked.front().find("Config/Vessels/Vessels/CorvaneMission/corvane_src.cfg"), std::string::npos);
    const std::string found = "/Config/Vessels/CorvaneMission/corvane_src.cfg";
    ASSERT_GT(cfg.size(), found.size());
    EXPECT_EQ(cfg.substr(cfg.size() - found.size()), found);

    Vessel *v = Capsule(0.5);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->module->name, "corvane_src");
    EXPECT_EQ(v->empty_mass, 205.0);
    for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(v->meshes[i].vis_mode, MESHVIS_ALWAYS) << i;
    EXPECT_EQ(Cw(v), (std::vector<double>{0.9, 0.8, 0.8, 0.8}));
    EXPECT_EQ(v->pitch_moment_scale, 0.001);
    for (double aoa : {-M_PI, -0.5, 0.0, 0.3, M_PI}) EXPECT_EQ(v->lift_func(aoa), 0.0);
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 0 0");
    EXPECT_EQ(SavedLine(v, "CHUTE"), "CHUTE 1 1.0000");
    EXPECT_EQ(SavedLine(v, "COL"), "COL 0 0.0000");

    // A second capsule shares the module's transforms but has animations of its own.
    Vessel *w = Capsule(0.5, "Corvane_SRC2");
    ASSERT_EQ(w->animations.size(), 2u);
    EXPECT_EQ(w->animations[0].components.at(0)->trans, v->animations[0].components.at(0)->trans);
    EXPECT_EQ(w->animations[1].components.at(0)->state0, 0.5);
}

TEST_F(CapsuleTest, DefinitionCallsInOrderWithTheirValues)
{
    options.journal = true;
    Vessel *v = Capsule(0.5);
    ASSERT_GE(v->journal.size(), 25u);
    // The empty mass comes before the touchdown points: the host's springs for three points are
    // 20 x the mass it knows at that call, and the class file's mass comes only after this callback.
    EXPECT_EQ(std::vector<std::string>(v->journal.begin(), v->journal.begin() + 25),
              (std::vector<std::string>{
                  "CreateAnimation(0)", "AddAnimationComponent(0, 0, 1, @, 0)", "CreateAnimation(0)",
                  "AddAnimationComponent(1, 0.5, 1, @, 0)", "SetCW(0.9, 0.8, 0.8, 0.8)", "SetSize(3)",
                  "SetCOG_elev(0.1)", "SetCrossSections(2, 2, 3)", "SetPMI(0.13, 0.13, 0.2)",
                  "SetEmptyMass(205)", "SetTouchdownPoints((0, -0.3, 1), (-1, -0.3, -1), (1, -0.3, -1))",
                  "SetRotDrag(2, 2, 2)",
                  "GetFlightModel()", "SetPitchMomentScale(0.001)", "SetBankMomentScale(0.001)",
                  "AddMesh(\"CorvaneMission/cvn_src_drg\")", "SetMeshVisibilityMode(0, 3)", "AddMesh(@)",
                  "SetMeshVisibilityMode(1, 3)", "AddMesh(\"CorvaneMission/cvn_src_lid\")",
                  "SetMeshVisibilityMode(2, 3)", "SetCameraOffset(0, 1, -2.5)", "SetLiftCoeffFunc(@)",
                  "AddReentryStream(@)", "AddReentryStream(@)"}));
    EXPECT_EQ(std::vector<std::string>(W().journal.begin(), W().journal.begin() + 3),
              (std::vector<std::string>{"oapiLoadMesh(\"CorvaneMission/cvn_src_main\")",
                                        "oapiLoadTexture(\"CorvaneMission/cvn_src2.dds\", true)",
                                        "oapiRegisterReentryTexture(\"contrail3\")"}));
    ASSERT_NE(v->meshes[1].source, nullptr);
    EXPECT_EQ(v->meshes[1].source->name, "CorvaneMission/cvn_src_main");

    // Both animations scale the drogue canopy, group 2 of mesh 0.
    const auto *chute = static_cast<MGROUP_SCALE *>(v->animations[0].components.at(0)->trans);
    const auto *col = static_cast<MGROUP_SCALE *>(v->animations[1].components.at(0)->trans);
    for (const MGROUP_SCALE *t : {chute, col}) EXPECT_TRUE(t->mesh == 0 && t->ngrp == 1 && t->grp[0] == 2);
    EXPECT_TRUE(Near(chute->ref, _V(0, 0, -0.573527), 0) && Near(chute->scale, _V(0.01, 0.01, 0.001), 0));
    EXPECT_TRUE(Near(col->ref, _V(0, 0, 0), 0) && Near(col->scale, _V(0.8, 0.1, 1.0), 0));

    // The two re-entry streams, the second with the host's contrail texture.
    ASSERT_EQ(v->streams.size(), 2u);
    const PARTICLESTREAMSPEC &a = v->streams[0]->spec, &b = v->streams[1]->spec;
    for (const PARTICLESTREAMSPEC *s : {&a, &b}) {
        EXPECT_TRUE(s->flags == 0 && s->v0 == 0 && s->srcspread == 0.001 && s->lifetime == 0.5 &&
                    s->growthrate == 4 && s->atmslowdown == 0.2 && s->ltype == PARTICLESTREAMSPEC::EMISSIVE &&
                    s->levelmap == PARTICLESTREAMSPEC::LVL_PSQRT && s->lmin == 0 && s->lmax == 1 &&
                    s->atmsmap == PARTICLESTREAMSPEC::ATM_PLOG && s->amax == 2e8);
    }
    EXPECT_TRUE(a.srcsize == 2 && a.srcrate == 40 && a.amin == 7e7 && !a.tex);
    EXPECT_TRUE(b.srcsize == 1 && b.srcrate == 30 && b.amin == 9e7 && b.tex);

    // The simple flight model leaves the moment scales alone.
    EndWorld();
    options.flight_model = 0;
    Vessel *simple = Capsule(0.5);
    const auto &j = simple->journal;
    EXPECT_NE(std::find(j.begin(), j.end(), "SetRotDrag(2, 2, 2)"), j.end());
    EXPECT_EQ(std::count_if(j.begin(), j.end(), [](const std::string &c) { return c.find("MomentScale") != c.npos; }),
              0);
}

TEST_F(CapsuleTest, NominalDescentFromEntryToTheGround)
{
    PlainRecoveryClasses();
    Vessel *v = Capsule(0.99);  // exactly 0.99 does not fail
    At(v, 61e3);
    EXPECT_TRUE(BodyTexture(v)->blits.empty());
    At(v, 59e3, 2);
    ASSERT_EQ(BodyTexture(v)->blits.size(), 1u);  // once
    const sim::Surface::Blit &b = BodyTexture(v)->blits[0];
    EXPECT_TRUE(b.src->dynamic && b.src->width == 512 && b.src->height == 512);
    EXPECT_TRUE(b.w == 512 && b.h == 512 && b.ck == SURF_NO_CK && b.tgtx == 0 && b.srcy == 0);

    At(v, 33.5e3);
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 0 0");  // no failure
    At(v, 32.9e3);
    EXPECT_FALSE(Shows(v, 2));  // lid off
    EXPECT_TRUE(Near(v->cross_sections, _V(4, 4, 6), 0) && Near(v->rot_drag, _V(0.5, 0.5, 0.5), 0) &&
                Near(v->pmi, _V(3, 3, 3), 0));
    EXPECT_NEAR(v->animations[0].state, 0.98, 1e-9);  // drogue opening over 1 s
    StepFor(1.1);
    EXPECT_EQ(SavedLine(v, "CHUTE"), "CHUTE 0 0.0000");
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 1 0");
    EXPECT_EQ(v->empty_mass, 205.0);

    At(v, 19.9e3);
    Vessel *port = W().FindVessel("Heliport");
    Vessel *heli = W().FindVessel("HX220");
    ASSERT_TRUE(port && heli);
    for (Vessel *r : {port, heli}) {
        EXPECT_TRUE(r->landed);
        EXPECT_NEAR(r->surf_lat, kLat + 0.3 * kDeg, 1e-9);
        EXPECT_NEAR(r->surf_lng, kLng + 0.3 * kDeg, 1e-9);
        EXPECT_NEAR(r->surf_hdg, M_PI, 1e-9);
    }
    EXPECT_EQ(port->module, nullptr);  // a plain vessel
    EXPECT_EQ(W().Focus(), heli);
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 1 1");

    // Hand-off: the parafoil capsule takes the capsule's place, velocity and turned axes.
    v->Place(kLng, kLat, 6.6e3, 30 * kDeg, 10 * kDeg, -20 * kDeg, _V(5, -40, 12));
    v->omega = _V(0.1, 0.2, 0.3);
    Step();
    // Both stay over the same ground point while the frame turns the Earth under them.
    const VECTOR3 pos = v->rpos, vel = v->rvel;
    const MATRIX3 R = v->R;
    Vessel *pf = W().FindVessel("Corvane_SRC_Parafoil");
    ASSERT_NE(pf, nullptr);
    EXPECT_EQ(pf->class_name, "CorvaneMission/corvane_src_parafoil");
    EXPECT_TRUE(Near(pf->rpos, pos, 1e-3));
    EXPECT_TRUE(Near(pf->rvel, vel, 1e-6));
    EXPECT_TRUE(Near(Column(pf->R, 0), Column(R, 0), 1e-9));
    EXPECT_TRUE(Near(Column(pf->R, 1), -Column(R, 2), 1e-9));
    EXPECT_TRUE(Near(Column(pf->R, 2), Column(R, 1), 1e-9));
    EXPECT_TRUE(Near(pf->omega, _V(0.1, -0.3, 0.2), 1e-12));
    EXPECT_FALSE(Shows(v, 1));
    EXPECT_TRUE(Shows(v, 0));
    EXPECT_EQ(Cw(v), (std::vector<double>{2.0, 2.0, 1.0, 1.0}));
    Step();
    EXPECT_EQ(v->empty_mass, 14.0);
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 2 1");

    At(v, 0.5);
    StepFor(1.1);
    EXPECT_EQ(SavedLine(v, "COL"), "COL 1 1.0000");  // the drogue lies flat
    EXPECT_EQ(W().Vessels().size(), 4u);            // nothing created twice
    for (const std::string &l : W().LogLines()) {  // every handle and data file was good
        EXPECT_EQ(l.find("ignored"), std::string::npos) << l;
        EXPECT_EQ(l.find("CorvaneMission"), std::string::npos) << l;
    }
}

TEST_F(CapsuleTest, RecoveryLimitsAndAMissingHelicopterClass)
{
    WriteConfig("Config/Vessels/hx220.cfg", "ClassName = hx220\nModule = no_such_module\n");
    Vessel *v = Capsule(0.5);
    W().SetFocus(v);
    v->Place(179.9 * kDeg, 89.9 * kDeg, 19e3);
    Step(2);
    Vessel *port = W().FindVessel("Heliport");
    ASSERT_NE(port, nullptr);
    EXPECT_NEAR(port->surf_lat, 89.9 * kDeg, 1e-9);  // not past the pole
    EXPECT_NEAR(std::remainder(port->surf_lng - 180.2 * kDeg, 2 * M_PI), 0.0, 1e-9);
    EXPECT_EQ(W().FindVessel("HX220"), nullptr);
    EXPECT_EQ(W().Focus(), v);  // the user keeps the capsule
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 1 1");
    EXPECT_EQ(W().Vessels().size(), 2u);
}

TEST_F(CapsuleTest, ChuteFailureCrashAndTheModuleWideFailure)
{
    options.journal = true;
    PlainRecoveryClasses();
    Vessel *v = Capsule(0.995);
    At(v, 34.1e3);
    EXPECT_TRUE(W().Annotations().empty());
    At(v, 32.5e3);  // already below the drogue height: fails rather than opening
    ASSERT_EQ(W().Annotations().size(), 1u);
    const sim::Annotation *note = W().Annotations()[0];
    EXPECT_EQ(note->text, "Chute Failure!");
    EXPECT_TRUE(Near(note->col, _V(1, 0, 0), 0));
    EXPECT_EQ(note->size, 2.0);
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 3 0");
    EXPECT_EQ(SavedLine(v, "CHUTE"), "CHUTE 1 1.0000");
    EXPECT_TRUE(Shows(v, 2));  // the lid stays on
    EXPECT_TRUE(Near(v->rot_drag, _V(0, 0, 0), 0));
    EXPECT_EQ(v->cross_sections.z, 3.0);

    Step(10);  // decay at 0.1/s above 25 km
    EXPECT_NEAR(v->cw_z_pos, 0.9 - 0.1 * 0.2, 1e-9);
    EXPECT_NEAR(v->cw_x, 0.8 - 0.1 * 0.2, 1e-9);
    StepFor(4.6);
    EXPECT_EQ(W().Annotations().size(), 1u);
    StepFor(0.3);
    EXPECT_TRUE(W().Annotations().empty());  // shown for 5 s
    v->journal.clear();
    At(v, 24e3);
    EXPECT_EQ(Cw(v), (std::vector<double>{0.3, 0.2, 0.2, 0.2}));
    // In flight the failed capsule asks for its landed status every step, then its altitude.
    const auto landed_test = std::find(v->journal.begin(), v->journal.end(), "GetFlightStatus()");
    EXPECT_EQ(std::vector<std::string>(landed_test, v->journal.end()),
              (std::vector<std::string>{"GetFlightStatus()", "GetSurfaceRef()", "GetHandle()", "GetHandle()",
                                        "GetAltitude()"}));
    At(v, 19.5e3);
    EXPECT_NE(W().FindVessel("HX220"), nullptr);  // the helicopter comes all the same

    // A second capsule of the module can no longer fail and gets the decaying drag.
    Vessel *w = Capsule(0.999, "Corvane_SRC2");
    At(w, 30e3);
    EXPECT_EQ(SavedLine(w, "CONFIGURATION"), "CONFIGURATION 1 0");
    EXPECT_LT(w->cw_z_pos, 0.9 - 0.1 * 5);
    EXPECT_GE(w->cw_z_pos, 0.3);
    EXPECT_EQ(w->cw_x, w->cw_z_neg);

    At(v, 1.5);  // set down landed, then the crash on the next step
    EXPECT_TRUE(v->landed);
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 3 1");
    Step();
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 4 1");
    EXPECT_EQ(v->meshes[0].file, "CorvaneMission/cvn_src_crash");
    EXPECT_FALSE(Shows(v, 1) || Shows(v, 2));
    Step(3);
    EXPECT_EQ(Plumes(v), 1);
    ASSERT_EQ(v->thrusters.size(), 1u);
    EXPECT_EQ(v->thrusters[0]->level, 1.0);
    EXPECT_EQ(v->empty_mass, 14.0);
}

TEST_F(CapsuleTest, AFailedCapsuleReloadedFailsAgainWhateverItsNewDraw)
{
    // Saved falling in stage 3, reloaded with a fresh draw of 0.5: still the failure (the note,
    // no rotational drag, the lid on), not the healthy capsule's drogue.
    PlainRecoveryClasses();
    W().ForceRand(0.5);
    Vessel *v = LoadVessel("F", kClass, {"STATUS Orbiting Earth", "RPOS 6401000 0 0", "RVEL 0 0 100", "CONFIGURATION 3 1"});
    ASSERT_NE(v, nullptr);
    Step();
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 3 1");
    ASSERT_EQ(W().Annotations().size(), 1u);
    EXPECT_EQ(W().Annotations()[0]->text, "Chute Failure!");
    EXPECT_TRUE(Near(v->rot_drag, _V(0, 0, 0), 0));
    EXPECT_TRUE(Shows(v, 2));
}

TEST_F(CapsuleTest, AFailedCapsuleSavesWhereItsDragDecayHasGot)
{
    // Failed at 32.5 km, then 2 s of the 0.1/s decay: 0.9 -> 0.7 and 0.8 -> 0.6, saved with it; a
    // reload goes on from there (a file without the line starts the decay anew).
    PlainRecoveryClasses();
    Vessel *v = Capsule(0.995);
    At(v, 32.5e3);
    StepFor(2.0);
    const std::string line = SavedLine(v, "FAILDRAG");
    double axial = 0, other = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "FAILDRAG %lf %lf", &axial, &other), 2) << line;
    EXPECT_NEAR(axial, 0.9 - 0.1 * 2.0, 0.1 * 0.03);
    EXPECT_NEAR(other, 0.8 - 0.1 * 2.0, 0.1 * 0.03);
    EndWorld();  // a fresh host: the module's values start again at 0.9 and 0.8
    W().ForceRand(0.5);
    Vessel *r = LoadVessel("F", kClass, {"STATUS Orbiting Earth", "RPOS 6401000 0 0", "CONFIGURATION 3 1",
                                         "FAILDRAG 0.5 0.4"});
    ASSERT_NE(r, nullptr);
    Step(3);  // the failure set up again, then its drag applied from where it was
    EXPECT_LT(r->cw_z_pos, 0.5);
    EXPECT_NEAR(r->cw_z_pos, 0.5, 0.1 * 3 * W().StepLength() + 1e-9);
    EXPECT_NEAR(r->cw_x, 0.4, 0.1 * 3 * W().StepLength() + 1e-9);
    Vessel *healthy = LoadVessel("G", kClass, {"STATUS Orbiting Earth", "RPOS 6401000 0 0", "CONFIGURATION 1 1"});
    EXPECT_EQ(SavedLine(healthy, "FAILDRAG"), "");  // only a failed capsule has the line
}

TEST_F(CapsuleTest, ScenarioLinesRestoreTheStage)
{
    PlainRecoveryClasses();
    options.journal = true;
    const std::string rpos = "RPOS 6376010 0 0";  // 5 km up
    Vessel *a = LoadVessel("A", kClass, {"STATUS Orbiting Earth", rpos, "CONFIGURATION 2 1"});
    Vessel *b = LoadVessel("B", kClass, {"STATUS Landed Earth", "POS 0 0", "HEADING 0", "CONFIGURATION 4 1"});
    Vessel *c = LoadVessel("C", kClass, {"STATUS Orbiting Earth", "RPOS 6400000 0 0", "CONFIGURATION 1 0",
                                         "CHUTE 2 0.5000"});
    Vessel *d = LoadVessel("D", kClass, {"STATUS Orbiting Earth", "RPOS 7000000 0 0", "configuration 1",
                                         "chute 0 0.0", "col 3 0.25", "COLOUR green"});
    // Positions that are no number refused: the states move on from the defaults.
    Vessel *e = LoadVessel("E", kClass, {"STATUS Orbiting Earth", "RPOS 7000000 0 0", "CONFIGURATION 1 1",
                                         "CHUTE 2 nan", "COL 3 inf"});
    ASSERT_TRUE(a && b && c && d && e);
    Step();
    EXPECT_EQ(a->empty_mass, 14.0);
    EXPECT_FALSE(Shows(a, 1) || Shows(a, 2));
    EXPECT_EQ(W().FindVessel("Corvane_SRC_Parafoil"), nullptr);
    EXPECT_EQ(W().FindVessel("HX220"), nullptr);
    EXPECT_EQ(b->meshes[0].file, "CorvaneMission/cvn_src_crash");
    EXPECT_EQ(Plumes(b), 0);
    EXPECT_NEAR(c->animations[0].state, 0.48, 1e-9);
    EXPECT_EQ(SavedLine(d, "CONFIGURATION"), "CONFIGURATION 1 0");
    EXPECT_EQ(SavedLine(d, "CHUTE"), "CHUTE 0 0.0000");
    EXPECT_EQ(SavedLine(d, "COL"), "COL 3 0.2700");
    for (const std::string &j : d->journal) EXPECT_EQ(j.find("COLOUR"), std::string::npos) << j;
    EXPECT_EQ(SavedLine(e, "CHUTE"), "CHUTE 2 0.9800");
    EXPECT_EQ(SavedLine(e, "COL"), "COL 3 0.0200");
}

// Every landed record the capsule passes says "attitude not set" (arot.x above 4): the host then
// stands the vessel level on its touchdown points at the record's heading. A zero-filled record
// would be taken as an attitude in the planet's frame and stand it on its tail.
TEST_F(CapsuleTest, LandedRecordsLeaveTheAttitudeToTheHost)
{
    options.journal = true;
    PlainRecoveryClasses();
    Vessel *v = Capsule(0.995);
    At(v, 32.5e3);  // the chute fails
    At(v, 19.5e3);  // the recovery vessels
    for (const char *name : {"Heliport", "HX220"}) {
        Vessel *r = W().FindVessel(name);
        ASSERT_NE(r, nullptr) << name;
        const LandedRecord rec = FirstLandedRecord(r->journal);
        ASSERT_TRUE(rec.found) << name;
        EXPECT_GT(rec.arot_x, 4.0) << name;
        EXPECT_NEAR(rec.hdg, M_PI, 1e-9) << name;  // heading 180 deg
        // standing level at that heading
        EXPECT_NEAR(r->Pitch(), 0.0, 1e-6) << name;
        EXPECT_NEAR(r->Bank(), 0.0, 1e-6) << name;
        EXPECT_NEAR(r->Heading(), M_PI, 1e-6) << name;
    }
    v->journal.clear();
    v->Place(kLng, kLat, 1.5, 0.5, 0.3, -0.2);  // heading 0.5 rad, tumbling nose up, banked
    Step();
    ASSERT_TRUE(v->landed);
    // Set down on its touchdown points, which the host compresses under the capsule's weight
    // (Vessel.cpp SetTouchdownPoints, InitLanded): stiffness 20 x empty mass per point, so the
    // front point (z = +1) carries W/2 and each rear point (z = -1) W/4 (moments about the centre
    // of gravity); the front sinks g/40 and the rear g/80, with g = GM/R^2 = 3.986004e14 /
    // 6.37101e6^2 = 9.820 m/s^2: a nose-down tilt of atan(9.820/80 / 2) = 0.0613 rad, no bank.
    EXPECT_NEAR(v->Pitch(), -0.0613, 2e-4);
    EXPECT_NEAR(v->Bank(), 0.0, 1e-6);
    EXPECT_NEAR(v->Heading(), 0.5, 1e-6);
    const LandedRecord down = FirstLandedRecord(v->journal);
    ASSERT_TRUE(down.found);
    EXPECT_GT(down.arot_x, 4.0);
    EXPECT_NEAR(down.hdg, 0.5, 1e-9);
}

// A position the loader accepts is saved whole and reads back as the same number, up to the
// largest double ("%0.4f" of 1.8e308 is 309 digits, 4 decimals).
TEST_F(CapsuleTest, ExtremeAnimationPositionsSurviveSaveAndLoad)
{
    const double values[] = {1e70, -DBL_MAX, DBL_MAX, 123456789.0625};
    for (double x : values) {
        char line[400];
        std::snprintf(line, sizeof line, "%.17g", x);
        // Stage 2 keeps the loaded drogue position (stage 0 resets it at creation).
        Vessel *a = LoadVessel("A", kClass, {"STATUS Orbiting Earth", "RPOS 7000000 0 0", "CONFIGURATION 2 1",
                                             std::string("CHUTE 1 ") + line, std::string("COL 1 ") + line});
        ASSERT_NE(a, nullptr);
        const std::string chute = SavedLine(a, "CHUTE"), col = SavedLine(a, "COL");
        double back = 0;
        ASSERT_EQ(std::sscanf(chute.c_str(), "CHUTE 1 %lf", &back), 1) << chute;
        EXPECT_EQ(back, x) << chute;
        ASSERT_EQ(std::sscanf(col.c_str(), "COL 1 %lf", &back), 1) << col;
        EXPECT_EQ(back, x) << col;
        // and the saved line, loaded again, is saved the same
        Vessel *b = LoadVessel("B", kClass, {"STATUS Orbiting Earth", "RPOS 7000000 0 0", "CONFIGURATION 2 1", chute, col});
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(SavedLine(b, "CHUTE"), chute);
        EXPECT_EQ(SavedLine(b, "COL"), col);
        EndWorld();
    }
}

TEST_F(CapsuleTest, ShippedScenariosLoad)
{
    for (const char *scn : {"Capsule entry", "Capsule 30 km"}) {
        std::string error;
        ASSERT_TRUE(W().LoadScenario(simtest::AddonRoot() + "/Scenarios/Corvane/" + scn + ".scn", &error)) << error;
        Vessel *v = W().FindVessel(kName);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 0 0");
        EXPECT_GT(v->Altitude(), std::string(scn) == "Capsule entry" ? 120e3 : 29e3) << scn;
        EndWorld();
    }
}

#ifdef CORVANE_WITH_BUS
TEST_F(CapsuleTest, TheBusReleasesACapsuleOfThisModule)
{
    Vessel *bus = Create("Corvane", "CorvaneMission/corvane_bus2", 300e3);
    Key(bus, OAPI_KEY_G);
    StepFor(5.5);
    EXPECT_EQ(Key(bus, OAPI_KEY_J), 1);
    Vessel *v = W().FindVessel(kName);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->module->name, "corvane_src");
    Step();
    EXPECT_EQ(v->empty_mass, 205.0);
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 0 0");
}
#endif

}  // namespace
