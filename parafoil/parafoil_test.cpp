// parafoil_test.cpp -- the parafoil capsule module flown through the stand-in host.

#include "testing/sim_test.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace {

const char *const kClass = "CorvaneMission/corvane_src_parafoil";
const char *const kName = "Corvane_SRC_Parafoil";
const char *const kFlying = "CorvaneMission/cvn_src_parafoil90";
const char *const kCaught = "CorvaneMission/cvn_src_parafoil_col1";
const char *const kLanded = "CorvaneMission/cvn_src_parafoil_col2";
const double kDeg = M_PI / 180.0;

struct Coeffs {
    double cl, cm, cd;
};

class ParafoilTest : public simtest::SimTest {
protected:
    // The names of the meshes the vessel shows (present slots, in slot order).
    static std::vector<std::string> Shown(Vessel *v)
    {
        std::vector<std::string> names;
        for (const sim::MeshSlot &s : v->meshes) {
            if (s.present) names.push_back(s.source ? s.source->name : s.file);
        }
        return names;
    }

    // Calls airfoil `i`'s coefficient function as the host does.
    static Coeffs Coeff(Vessel *v, int i, double angle, double mach = 0.0)
    {
        Coeffs c{-9, -9, -9};
        sim::Airfoil *a = v->airfoils.at(i);
        a->cf(v->iface, angle, mach, 1e6, a->context, &c.cl, &c.cm, &c.cd);
        return c;
    }

    static double Induced(double cl, double e) { return cl * cl / (M_PI * 1.5 * e); }

    // A plain vessel with a point for a child, and the parafoil attached to it.
    Vessel *AttachToParent(Vessel *pf)
    {
        WriteConfig("Config/Vessels/TestHook.cfg", "ClassName = TestHook\nSize = 5\nMass = 3000\n");
        Vessel *parent = Create("Hook", "TestHook", 1000);
        VESSEL *p = oapiGetVesselInterface(parent);
        ATTACHMENTHANDLE hook = p->CreateAttachment(false, _V(0, -2, 0), _V(0, 0, 1), _V(0, 1, 0), "HK");
        hook_ = hook;
        EXPECT_TRUE(p->AttachChild(pf, hook, oapiGetVesselInterface(pf)->GetAttachmentHandle(true, 0)));
        return parent;
    }

    ATTACHMENTHANDLE hook_ = nullptr;
};

TEST_F(ParafoilTest, DefinitionOffersOnePointForAParentAndAFullTrimSurface)
{
    Vessel *v = Create(kName, kClass, 2000);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kFlying});
    // The helicopter finds the point as index 0 of the points for a parent.
    VESSEL *vi = oapiGetVesselInterface(v);
    ASSERT_EQ(vi->AttachmentCount(true), 1u);
    VECTOR3 pos, dir, rot;
    vi->GetAttachmentParams(vi->GetAttachmentHandle(true, 0), pos, dir, rot);
    EXPECT_TRUE(pos.x == 0 && pos.y == 13.0 && pos.z == 0 && dir.z == -1.0 && rot.y == 1.0);
    ASSERT_EQ(v->ctrl_surfaces.size(), 1u);
    EXPECT_EQ(v->ctrl_surfaces[0].type, AIRCTRL_ELEVATORTRIM);
    EXPECT_EQ(v->ctrl_surfaces[0].axis, AIRCTRL_AXIS_XPOS);
    EXPECT_EQ(v->ctrl_surfaces[0].anim, (UINT)-1);
    // The canopy animation scales group 5 of the flying mesh.
    ASSERT_EQ(v->animations.size(), 1u);
    for (const sim::AnimComponent *c : v->animations[0].components) EXPECT_EQ(c->trans->grp[0], 5u);
}

TEST_F(ParafoilTest, DefinitionCallsInOrderWithTheirValues)
{
    options.journal = true;
    Vessel *v = Create(kName, kClass, 2000);
    ASSERT_GE(v->journal.size(), 21u);
    EXPECT_EQ(std::vector<std::string>(v->journal.begin(), v->journal.begin() + 21),
              (std::vector<std::string>{
                  "CreateAnimation(0)", "AddAnimationComponent(0, 0.1, 1, @, 0)",
                  "AddAnimationComponent(0, 0, 0.3, @, 0)", "SetCW(2, 0.8, 0.8, 0.8)", "SetSize(7)",
                  "SetCOG_elev(0.1)", "SetCrossSections(9, 52, 35)", "SetPMI(88, 7, 88)", "SetEmptyMass(191)",
                  "SetTouchdownPoints((0, -0.3, 1), (-1, -0.3, -1), (1, -0.3, -1))", "GetFlightModel()",
                  "SetPitchMomentScale(0.001)", "SetBankMomentScale(0.001)",
                  "AddMesh(\"CorvaneMission/cvn_src_parafoil90\")", "SetMeshVisibilityMode(0, 3)",
                  "SetCameraOffset(0, 1, -4)",
                  "CreateAttachment(true, (0, 13, 0), (0, 0, -1), (0, 1, 0), \"CVN\", false)",
                  "CreateAirfoil3(0, (0.1, 3.5, -0.3), @, 0, 5, 90, 1.5)",
                  "CreateAirfoil3(1, (0, 1, -4), @, 0, 5, 15, 1.5)",
                  "CreateControlSurface(4, 0.3, 1.5, (0, 0, -7.2), 3, 4294967295)", "SetRotDrag(0.7, 0.7, 0.7)"}));
    EXPECT_EQ(W().journal, (std::vector<std::string>{"oapiLoadMesh(\"CorvaneMission/cvn_src_parafoil_col1\")",
                                                     "oapiLoadMesh(\"CorvaneMission/cvn_src_parafoil_col2\")"}));
    // The canopy packs by two scalings of group 5 about the origin.
    const auto *first = static_cast<MGROUP_SCALE *>(v->animations.at(0).components.at(0)->trans);
    const auto *second = static_cast<MGROUP_SCALE *>(v->animations.at(0).components.at(1)->trans);
    EXPECT_TRUE(first->scale.x == 0.25 && first->scale.y == 0.04 && first->scale.z == 0.25);
    EXPECT_TRUE(second->scale.x == 0.2 && second->scale.y == 1.0 && second->scale.z == 0.2);
    for (const MGROUP_SCALE *t : {first, second})
        EXPECT_TRUE(t->mesh == 0 && t->ngrp == 1 && t->ref.x == 0 && t->ref.y == 0 && t->ref.z == 0);

    // The simple flight model leaves the moment scales alone.
    EndWorld();
    options.flight_model = 0;
    Vessel *simple = Create(kName, kClass, 2000);
    const auto &j = simple->journal;
    EXPECT_NE(std::find(j.begin(), j.end(), "SetEmptyMass(191)"), j.end());
    EXPECT_EQ(std::count_if(j.begin(), j.end(), [](const std::string &c) { return c.find("MomentScale") != c.npos; }),
              0);
}

TEST_F(ParafoilTest, VerticalCoefficientsFollowTheTable)
{
    Vessel *v = Create(kName, kClass, 2000);
    const struct {
        double deg, cl, cm;
    } points[] = {{0, 0.05, 0.00225},   {10, 0.3, -0.006}, {-30, -0.4, 0.014}, {-60, 0, 0},
                  {30, 0.6 + 0.2 * 15 / 35.0, -0.008 - 0.002 * 15 / 35.0}, {180, 0, 0}, {-180, 0, 0}};
    for (const auto &p : points) {
        const Coeffs c = Coeff(v, 0, p.deg * kDeg);
        const double s = std::sin(p.deg * kDeg);
        EXPECT_NEAR(c.cl, p.cl, 1e-12) << p.deg;
        EXPECT_NEAR(c.cm, p.cm, 1e-12) << p.deg;
        EXPECT_NEAR(c.cd, 0.03 + 0.4 * s * s + Induced(p.cl, 0.7), 1e-12) << p.deg;
    }
    // pi as the host gives it lies a hair beyond the last breakpoint; NaN reads nothing outside.
    for (double a : {M_PI, -M_PI, std::nextafter(M_PI, 4.0)}) EXPECT_NEAR(Coeff(v, 0, a).cl, 0.0, 1e-15) << a;
    EXPECT_TRUE(std::isnan(Coeff(v, 0, std::numeric_limits<double>::quiet_NaN()).cl));

    // Wave drag: none below M 0.75, rising to 0.04 at M 1, held to M 1.1, then falling.
    const double base = Coeff(v, 0, 0.0).cd;
    EXPECT_NEAR(Coeff(v, 0, 0.0, 0.7).cd - base, 0.0, 1e-12);
    EXPECT_NEAR(Coeff(v, 0, 0.0, 0.9).cd - base, 0.024, 1e-12);
    EXPECT_NEAR(Coeff(v, 0, 0.0, 1.05).cd - base, 0.04, 1e-12);
    EXPECT_NEAR(Coeff(v, 0, 0.0, 2.0).cd - base, 0.04 * std::sqrt(1.21 - 1) / std::sqrt(3.0), 1e-12);
}

TEST_F(ParafoilTest, HorizontalCoefficientsFollowTheTable)
{
    Vessel *v = Create(kName, kClass, 2000);
    const struct {
        double deg, cl;
    } points[] = {{0, 0}, {45, 0.4}, {-45, -0.4}, {135, -0.3}, {-135, 0.3}, {112.5, -0.15}, {-157.5, 0.15}};
    for (const auto &p : points) {
        const Coeffs c = Coeff(v, 1, p.deg * kDeg, 0.5);
        EXPECT_NEAR(c.cl, p.cl, 1e-12) << p.deg;
        EXPECT_EQ(c.cm, 0.0) << p.deg;
        EXPECT_NEAR(c.cd, 0.03 + Induced(p.cl, 0.6), 1e-12) << p.deg;
    }
    // Beyond the last breakpoint the end value holds instead of running on along the last segment.
    for (double a : {M_PI, -M_PI, 3.2, -3.2}) EXPECT_NEAR(Coeff(v, 1, a).cl, 0.0, 1e-14) << a;
    EXPECT_NEAR(Coeff(v, 1, 0.0, 1.05).cd, 0.07, 1e-12);
    EXPECT_TRUE(std::isnan(Coeff(v, 1, std::numeric_limits<double>::quiet_NaN()).cl));
}

TEST_F(ParafoilTest, CanopyOpensOverTwoSecondsAndTrimIsHeldEveryStep)
{
    Vessel *v = Create(kName, kClass, 2000);
    EXPECT_EQ(SavedLine(v, "COL"), "COL 1 1.0000");  // stowed when created
    v->ctrl_level[AIRCTRL_ELEVATORTRIM] = -0.4;
    Step(1);
    EXPECT_EQ(v->ctrl_level[AIRCTRL_ELEVATORTRIM], 1.0);
    Step(49);  // 1 s at 0.02 s per frame
    EXPECT_NEAR(v->animations[0].state, 0.5, 1e-9);
    EXPECT_EQ(SavedLine(v, "COL"), "COL 2 0.5000");

    v->ctrl_level[AIRCTRL_ELEVATORTRIM] = 0.0;
    Step(1);
    EXPECT_EQ(v->ctrl_level[AIRCTRL_ELEVATORTRIM], 1.0);
    Step(55);
    EXPECT_EQ(v->animations[0].state, 0.0);
    EXPECT_EQ(SavedLine(v, "COL"), "COL 0 0.0000");  // open and at rest; it stays so
    Step(50);
    EXPECT_EQ(v->animations[0].state, 0.0);
}

// The host moves the trim toward its level at 1 per second (a surface made without a delay) and
// saves no deflection. The capsule saves it as TRIM and puts it back in the first frame after a load
// where the uninterrupted flight has it: the saved value plus one frame of 0.02 s at 1 per second;
// from then on it moves at 1 per second again. A file without the line starts from neutral as before.
TEST_F(ParafoilTest, TheTrimsDeflectionSurvivesSaveAndLoad)
{
    options.physics = true;
    Vessel *v = Create(kName, kClass, 2000);
    Step(1);
    EXPECT_NEAR(v->ctrl_curr[AIRCTRL_ELEVATORTRIM], 0.02, 1e-12);
    EXPECT_EQ(SavedLine(v, "TRIM"), "TRIM 0.020000");
    EndWorld();

    v = LoadVessel(kName, kClass, {"STATUS Orbiting Earth", "RPOS 0 0 6373000", "RVEL 0 0 0", "COL 0 0.0000", "TRIM 0.500000"});
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(SavedLine(v, "TRIM"), "TRIM 0.500000") << "saved again before its first frame";
    Step(1);
    EXPECT_NEAR(v->ctrl_curr[AIRCTRL_ELEVATORTRIM], 0.52, 1e-12) << "put back, one frame on";
    Step(1);
    EXPECT_NEAR(v->ctrl_curr[AIRCTRL_ELEVATORTRIM], 0.54, 1e-12) << "then at 1 per second, not at once";
    Step(23);
    EXPECT_NEAR(v->ctrl_curr[AIRCTRL_ELEVATORTRIM], 1.0, 1e-12);
    EXPECT_EQ(SavedLine(v, "TRIM"), "TRIM 1.000000");
    EndWorld();

    v = LoadVessel(kName, kClass, {"STATUS Orbiting Earth", "RPOS 0 0 6373000", "RVEL 0 0 0", "COL 0 0.0000", "TRIM 1.000000"});
    Step(1);
    EXPECT_EQ(v->ctrl_curr[AIRCTRL_ELEVATORTRIM], 1.0);
    EndWorld();

    for (const char *older : {"COL 0 0.0000", "TRIM x"}) {  // no line, or one that is no number
        v = LoadVessel(kName, kClass, {"STATUS Orbiting Earth", "RPOS 0 0 6373000", "RVEL 0 0 0", older});
        Step(1);
        EXPECT_NEAR(v->ctrl_curr[AIRCTRL_ELEVATORTRIM], 0.02, 1e-12) << older;
        EndWorld();
    }
}

TEST_F(ParafoilTest, CaughtAndReleasedChangeTheMeshLandedIsFinal)
{
    Vessel *v = Create(kName, kClass, 1000);
    Vessel *parent = AttachToParent(v);
    VESSEL *p = oapiGetVesselInterface(parent);
    Step(1);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kCaught});
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 1");

    ASSERT_TRUE(p->DetachChild(hook_, 0.0));
    Step(1);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kFlying});
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 0");

    // Caught again, then on the ground: the landed mesh stays even when caught once more.
    ASSERT_TRUE(p->AttachChild(v, hook_, oapiGetVesselInterface(v)->GetAttachmentHandle(true, 0)));
    Step(1);
    ASSERT_TRUE(p->DetachChild(hook_, 0.0));
    v->SetLanded(0.1, 0.2, 0.3);
    Step(1);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kLanded});
    v->Place(0.1, 0.2, 100.0);
    Step(1);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kLanded});
    ASSERT_TRUE(p->AttachChild(v, hook_, oapiGetVesselInterface(v)->GetAttachmentHandle(true, 0)));
    Step(3);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kLanded});
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 2");
}

TEST_F(ParafoilTest, CapturePointTurnsWithForwardAirspeedWhileCaught)
{
    Vessel *v = Create(kName, kClass, 1000);
    Vessel *parent = AttachToParent(v);
    const struct {
        double speed, dy, dz;
    } cases[] = {{0, 0, -1}, {100, -std::sin(20 * kDeg), -std::cos(20 * kDeg)}, {600, -1, 0}, {-600, 1, 0}};
    sim::Attachment *point = v->AttachmentByIndex(true, 0);
    for (const auto &c : cases) {
        // The host places the load as the parent carries it; the module reads the airspeed it sees,
        // which for an attached vessel is its parent's (Vessel::GetSurfParam).
        const double hdg = 0.7;
        parent->Place(0.2, 0.3, 1020, hdg, 0, 0, _V(c.speed * std::sin(hdg), 0, c.speed * std::cos(hdg)));
        v->Place(0.2, 0.3, 1000, hdg);
        Step(1);
        EXPECT_NEAR(point->pos.y, 13.0, 1e-12) << c.speed;
        EXPECT_NEAR(point->dir.x, 0.0, 1e-9) << c.speed;
        EXPECT_NEAR(point->dir.y, c.dy, 1e-9) << c.speed;
        EXPECT_NEAR(point->dir.z, c.dz, 1e-9) << c.speed;
        EXPECT_NEAR(point->rot.y, -c.dz, 1e-9) << c.speed;  // (0, cos a, -sin a)
        EXPECT_NEAR(point->rot.z, c.dy, 1e-9) << c.speed;
    }
}

TEST_F(ParafoilTest, SetDownBelowHalfAMetreWhereItIsEveryStep)
{
    options.journal = true;
    Vessel *v = Create(kName, kClass, 1000);
    v->Place(0.5, -0.25, 0.6, 2.0);
    Step(1);
    EXPECT_FALSE(v->landed);

    v->Place(0.5, -0.25, 0.3, 2.0, -0.4, 0.3);  // nose down, banked
    v->journal.clear();
    Step(1);
    ASSERT_TRUE(v->landed);
    // Set down on its touchdown points, which the host compresses under the capsule's weight
    // (Vessel.cpp SetTouchdownPoints, InitLanded): stiffness 20 x empty mass per point, so the
    // front point (z = +1) carries W/2 and each rear point (z = -1) W/4 (moments about the centre
    // of gravity); the front sinks g/40 and the rear g/80, with g = GM/R^2 = 3.986004e14 /
    // 6.37101e6^2 = 9.820 m/s^2: a nose-down tilt of atan(9.820/80 / 2) = 0.0613 rad, no bank.
    EXPECT_NEAR(v->Pitch(), -0.0613, 2e-4);
    EXPECT_NEAR(v->Bank(), 0.0, 1e-6);
    EXPECT_NEAR(v->surf_lng, 0.5, 1e-9);
    EXPECT_NEAR(v->surf_lat, -0.25, 1e-9);
    EXPECT_NEAR(v->surf_hdg, 2.0, 1e-9);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kFlying});  // the landed mesh comes the step after

    Step(2);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kLanded});
    int setdowns = 0;
    for (const std::string &call : v->journal) {
        if (call.rfind("DefSetStateEx(", 0) != 0) continue;
        ++setdowns;
        // "Attitude not set" (arot.x above 4): the host stands the vessel level on its touchdown
        // points at the heading given, instead of taking zeros as an attitude in the planet's frame.
        double hdg = 0, arot_x = 0;
        const auto h = call.find("surf_hdg "), a = call.find("arot ");
        ASSERT_TRUE(h != std::string::npos && a != std::string::npos) << call;
        ASSERT_EQ(std::sscanf(call.c_str() + h, "surf_hdg %lf", &hdg), 1) << call;
        ASSERT_EQ(std::sscanf(call.c_str() + a, "arot %lf", &arot_x), 1) << call;
        EXPECT_GT(arot_x, 4.0) << call;
        EXPECT_NEAR(hdg, 2.0, 1e-9) << call;
    }
    EXPECT_EQ(setdowns, 3);
    EXPECT_NEAR(v->surf_lng, 0.5, 1e-9);
    EXPECT_NEAR(v->surf_hdg, 2.0, 1e-9);
}

TEST_F(ParafoilTest, ScenarioLinesRestoreMeshAndCanopy)
{
    // Caught in the scenario but no parent: the caught mesh at creation, flying from the first step.
    Vessel *v = LoadVessel(kName, kClass, {"STATUS Orbiting Earth", "RPOS 0 0 6373000", "CONFIGURATION 1", "COL 0 0.0000"});
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kCaught});
    Step(1);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kFlying});
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 0");
    EXPECT_EQ(SavedLine(v, "COL"), "COL 0 0.0000");
    EndWorld();

    // State 3 closes the canopy from where it is, then it opens again.
    v = LoadVessel(kName, kClass, {"STATUS Landed Earth", "POS 10 20", "HEADING 30", "CONFIGURATION 2", "col 3 0.5000"});
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kLanded});
    EXPECT_EQ(v->animations[0].state, 0.5);
    double highest = 0;
    for (int i = 0; i < 60; ++i) {
        Step(1);
        highest = std::max(highest, v->animations[0].state);
    }
    EXPECT_EQ(highest, 1.0);
    EXPECT_LT(v->animations[0].state, 1.0);  // on its way back
    Step(120);
    EXPECT_EQ(SavedLine(v, "COL"), "COL 0 0.0000");
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 2");
    EndWorld();

    // Values are kept as written, a configuration the vessel does not know showing the flying mesh;
    // malformed values and positions that are no number leave the field as it was; the host's own
    // lines still reach it.
    v = LoadVessel(kName, kClass, {"STATUS Orbiting Earth", "RPOS 0 0 6373000", "CONFIGURATION 7", "COL x",
                                   "COL 2 1.5", "COL 2 nan", "AFCMODE 0"});
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kFlying});
    EXPECT_EQ(v->animations[0].state, 1.5);
    EXPECT_EQ(SavedLine(v, "CONFIGURATION"), "CONFIGURATION 7");
    EXPECT_EQ(SavedLine(v, "COL"), "COL 2 1.5000");
    // Mode 0 is not saved (Vessel.cpp WriteDefault; measured in the core: no AFCMODE line).
    EXPECT_EQ(SavedLine(v, "AFCMODE"), "");
}

// A canopy position the loader accepts is saved whole and reads back as the same number, up to the
// largest double ("%0.4f" of 1.8e308 is 309 digits, 4 decimals).
TEST_F(ParafoilTest, ExtremeCanopyPositionsSurviveSaveAndLoad)
{
    for (double x : {1e70, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max()}) {
        char value[400];
        std::snprintf(value, sizeof value, "COL 1 %.17g", x);
        Vessel *v = LoadVessel(kName, kClass, {"STATUS Orbiting Earth", "RPOS 0 0 6373000", value});
        ASSERT_NE(v, nullptr);
        const std::string saved = SavedLine(v, "COL");
        double back = 0;
        ASSERT_EQ(std::sscanf(saved.c_str(), "COL 1 %lf", &back), 1) << saved;
        EXPECT_EQ(back, x) << saved;
        EndWorld();
        v = LoadVessel(kName, kClass, {"STATUS Orbiting Earth", "RPOS 0 0 6373000", saved});
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(SavedLine(v, "COL"), saved);
        EndWorld();
    }
}

TEST_F(ParafoilTest, GlideScenarioStartsAtTwoKilometresWithTheCanopyStowed)
{
    std::string error;
    ASSERT_TRUE(W().LoadScenario(simtest::AddonRoot() + "/Scenarios/Corvane/Parafoil glide.scn", &error)) << error;
    Vessel *v = W().FindVessel(kName);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(W().Focus(), v);
    EXPECT_NEAR(v->Altitude(), 2000.0, 1.0);
    EXPECT_NEAR(v->ShipAirspeed().z, 12.0, 0.1);
    EXPECT_EQ(Shown(v), std::vector<std::string>{kFlying});
    Step(101);
    EXPECT_EQ(SavedLine(v, "COL"), "COL 0 0.0000");
}

}  // namespace
