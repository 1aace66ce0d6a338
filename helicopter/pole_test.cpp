// The capture pole through the stand-in host: its stroke and moving point, the catch window, the
// release and the load's orientation.
#include "hx220_test_support.h"

#include <algorithm>
#include <cmath>

using namespace hx220test;

namespace {

const char kParafoilClass[] = "CorvaneMission/corvane_src_parafoil";

class PoleTest : public HelicopterTest {
protected:
    // A capsule with no module and no attachment point: the catch is seen as an AttachChild call.
    Vessel *PlainCapsule(double lng, double lat, double alt)
    {
        WriteConfig("Config/Vessels/TestCapsule.cfg", "ClassName = TestCapsule\nMass = 191\n");
        Vessel *c = Create("Corvane_SRC_Parafoil", "TestCapsule");
        c->Place(lng, lat, alt);
        return c;
    }
    int Catches(Vessel *heli)
    {
        return static_cast<int>(std::count_if(heli->journal.begin(), heli->journal.end(),
                                              [](const std::string &j) { return j.rfind("AttachChild(", 0) == 0; }));
    }
    // One frame with the helicopter at `alt` above (0, 0) and the capsule at an offset: caught?
    bool CaughtAt(double dlng, double dlat, double alt, double capsule_alt)
    {
        Vessel *h = Heli({}, "H" + std::to_string(++n_));
        h->Place(0, 0, alt);
        capsule_->Place(dlng, dlat, capsule_alt);
        h->journal.clear();
        Step();
        const bool caught = Catches(h) > 0;
        W().DeleteVessel(h);
        return caught;
    }
    VECTOR3 PolePoint(Vessel *h) { return h->attachments[0]->pos; }

    Vessel *capsule_ = nullptr;
    int n_ = 0;
};

TEST_F(PoleTest, CatchWindowEdges)
{
    options.journal = true;
    capsule_ = PlainCapsule(0, 0, 1000);
    EXPECT_FALSE(CaughtAt(0, 0, 1013.9, 1000));
    EXPECT_TRUE(CaughtAt(0, 0, 1014, 1000));
    EXPECT_TRUE(CaughtAt(0, 0, 1018, 1000));
    EXPECT_FALSE(CaughtAt(0, 0, 1018.1, 1000));
    EXPECT_TRUE(CaughtAt(0.99e-6, -0.99e-6, 1016, 1000)) << "the pole's state is not looked at";
    EXPECT_FALSE(CaughtAt(1.01e-6, 0, 1016, 1000));
    EXPECT_FALSE(CaughtAt(0, -1.01e-6, 1016, 1000));
    EXPECT_FALSE(CaughtAt(0, 0, 36, 20)) << "a capsule at 20 m or below is never caught";
    EXPECT_TRUE(CaughtAt(0, 0, 36.5, 20.5));
}

TEST_F(PoleTest, PolePointAlongTheStroke)
{
    Vessel *h = Heli({"PERCHE 3 0.0"});
    h->Place(0, 0, 1000, 0, 0, 0, _V(30, 0, 0));  // 30 m/s from the left: the point leans 30 deg
    Step();
    EXPECT_NEAR(PolePoint(h).y, -1.126, 1e-12);
    EXPECT_NEAR(PolePoint(h).z, 4.224, 1e-12);
    EXPECT_NEAR(h->attachments[0]->rot.x, 0.5, 1e-6);
    EXPECT_NEAR(h->attachments[0]->rot.y, std::sqrt(0.75), 1e-6);
    EXPECT_EQ(h->attachments[0]->dir.z, 1.0);

    Vessel *half = Heli({"PERCHE 3 0.5"}, "Half");
    Vessel *full = Heli({"PERCHE 3 1.0"}, "Full");
    Step();
    EXPECT_NEAR(PolePoint(half).y, -1.126, 1e-12);
    EXPECT_NEAR(PolePoint(half).z, 5.524, 1e-12);
    // Swung 140 deg back and down about the pivot at y -1.217, z 1.241.
    EXPECT_NEAR(PolePoint(full).x, 0, 1e-12);
    EXPECT_NEAR(PolePoint(full).y, -4.039769, 1e-5);
    EXPECT_NEAR(PolePoint(full).z, -1.981475, 1e-5);
    EXPECT_NEAR(std::hypot(PolePoint(full).y + 1.217, PolePoint(full).z - 1.241), std::hypot(0.091, 4.283), 1e-9);
    EXPECT_EQ(full->animations[1].state, 1.0);
}

TEST_F(PoleTest, StrokeTakesFiveSecondsAndReversesMidway)
{
    Vessel *h = Heli();
    EXPECT_EQ(Key(h, OAPI_KEY_P, true), 1);
    StepFor(2.5);
    EXPECT_NEAR(std::stod(Values(h, "PERCHE").substr(2)), 0.5, 1e-9);
    Key(h, OAPI_KEY_P, true);  // back from where it is
    StepFor(1.0);
    EXPECT_EQ(Values(h, "PERCHE").substr(0, 2), "1 ");
    EXPECT_NEAR(std::stod(Values(h, "PERCHE").substr(2)), 0.3, 1e-9);
    StepFor(1.5);
    Step(2);
    EXPECT_EQ(Values(h, "PERCHE"), "0 0.000000");
    Key(h, OAPI_KEY_P, true);
    StepFor(5.0);
    Step(2);
    EXPECT_EQ(Values(h, "PERCHE"), "3 1.000000");
}

// The capsule's point while it hangs: direction (0, 0, 1) and reference (0, 1, 0), both turned by
// `a` about the x axis (a turn by a maps y to (0, cos a, sin a) and z to (0, -sin a, cos a)); unit
// vectors at right angles.
void ExpectSwungPair(const sim::Attachment *cp, double a)
{
    const VECTOR3 d = cp->dir, r = cp->rot;
    EXPECT_NEAR(d.x, 0, 1e-12);
    EXPECT_NEAR(d.y, -std::sin(a), 1e-6);
    EXPECT_NEAR(d.z, std::cos(a), 1e-6);
    EXPECT_NEAR(r.x, 0, 1e-12);
    EXPECT_NEAR(r.y, std::cos(a), 1e-6);
    EXPECT_NEAR(r.z, std::sin(a), 1e-6);
    EXPECT_NEAR(d.x * r.x + d.y * r.y + d.z * r.z, 0, 1e-12);
    EXPECT_NEAR(d.x * d.x + d.y * d.y + d.z * d.z, 1, 1e-12);
    EXPECT_NEAR(r.x * r.x + r.y * r.y + r.z * r.z, 1, 1e-12);
}

TEST_F(PoleTest, CatchCarryAndRelease)
{
    Vessel *h = RunningHeli();
    h->Place(0, 0, 1016, 0, 0, 0, _V(0, 0, 10));  // flying north at 10 m/s
    Vessel *c = Create("Corvane_SRC_Parafoil", kParafoilClass);
    ASSERT_NE(c, nullptr);
    c->Place(0, 0, 1000, 0, 0, 0, _V(0, 0, 10));
    Step();
    ASSERT_EQ(c->parent, h) << "caught";
    // The capsule's own point turns with the forward airspeed (10 m/s taken as 10 deg).
    sim::Attachment *cp = c->AttachmentByIndex(true, 0);
    ASSERT_NE(cp, nullptr);
    EXPECT_EQ(cp->pos.y, 13.0);
    EXPECT_EQ(cp->pos.z, 0.5);
    EXPECT_NEAR(cp->rot.y, std::cos(10 * RAD), 1e-6);
    EXPECT_NEAR(cp->rot.z, std::sin(10 * RAD), 1e-6);
    // The direction turns with it, (0, 0, 1) swung 10 deg about x, so the pair stays at right
    // angles: the host takes the pair as given and would shear the load's attitude otherwise.
    ExpectSwungPair(cp, 10 * RAD);

    // Shift+J: the host reports success, so the descent ends too.
    Key(h, OAPI_KEY_D, true);
    ASSERT_EQ(Values(h, "STATIO"), "1 1");
    EXPECT_EQ(Key(h, OAPI_KEY_J, true), 1);
    EXPECT_EQ(c->parent, nullptr);
    EXPECT_EQ(Values(h, "STATIO"), "1 0");

    // With nothing attached the host reports failure: the descent goes on.
    Key(h, OAPI_KEY_D, true);
    ASSERT_EQ(Values(h, "STATIO"), "1 1");
    Key(h, OAPI_KEY_J, true);
    EXPECT_EQ(Values(h, "STATIO"), "1 1");
}

// The host puts a child at its parent's attitude times the matrix that solves
// rrot [cdir, crot, cdir x crot] = [-pdir, prot, -pdir x prot] (Vessel.cpp, InitAttachmentToParent),
// and makes nothing orthogonal. The pole's point is dir (0, 0, 1), rot (0, 1, 0) with no lateral
// airspeed: the right side's columns are (0, 0, -1), (0, 1, 0) and (0, 0, -1) x (0, 1, 0) = (1, 0, 0).
// The capsule's pair swung by a (c = cos a, s = sin a): cdir (0, -s, c), crot (0, c, s), their cross
// product (-s s - c c, 0, 0) = (-1, 0, 0). These columns are orthonormal, so the inverse is the
// transpose and rrot = sum of (right column k)(left column k)^T:
//     (0, 0, -1)(0, -s, c)^T + (0, 1, 0)(0, c, s)^T + (1, 0, 0)(-1, 0, 0)^T
//   = [ -1  0  0 ]
//     [  0  c  s ]
//     [  0  s -c ]   = (turn by a about x) x (half turn about y), determinant +1:
// the capsule's direction points against the pole's and the load hangs swung by a about x.
// With the pair the helicopter gave before, dir (0, 0, 1) beside rot (0, c, s), the left columns are
// (0, 0, 1), (0, c, s) and (-c, 0, 0), determinant c^2; the inverse's rows are (0, -s/c, 1),
// (0, 1/c, 0), (-1/c, 0, 0), and
//   rrot = [ -1/c   0    0 ]
//          [  0    1/c   0 ]
//          [  0   s/c   -1 ]   with rrot^T rrot - I = [[t^2, 0, 0], [0, 2 t^2, -t], [0, -t, 0]],
// t = tan a, and determinant 1/c^2: the load's attitude sheared by tan a (0.176 at 10 deg).
MATRIX3 Transpose(const MATRIX3 &m) { return _M(m.m11, m.m21, m.m31, m.m12, m.m22, m.m32, m.m13, m.m23, m.m33); }
MATRIX3 Relative(const Vessel *parent, const Vessel *child) { return mul(Transpose(parent->R), child->R); }
double OrthoError(const MATRIX3 &R)  // the largest entry of |R^T R - I|
{
    const MATRIX3 g = mul(Transpose(R), R), I = identity();
    double e = 0;
    for (int i = 0; i < 9; ++i) e = std::max(e, std::fabs(g.data[i] - I.data[i]));
    return e;
}
double Det(const MATRIX3 &m)
{
    return m.m11 * (m.m22 * m.m33 - m.m23 * m.m32) - m.m12 * (m.m21 * m.m33 - m.m23 * m.m31) +
           m.m13 * (m.m21 * m.m32 - m.m22 * m.m31);
}
void ExpectMatrix(const MATRIX3 &got, const MATRIX3 &want, double tol, const char *what)
{
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(got.data[i], want.data[i], tol) << what << ", entry " << i;
}

TEST_F(PoleTest, CarriedLoadKeepsARigidAttitudeSwungAboutX)
{
    Vessel *h = RunningHeli();
    h->Place(0, 0, 1016, 0, 0, 0, _V(0, 0, 10));  // flying north at 10 m/s: the load swings 10 deg
    Vessel *c = Create("Corvane_SRC_Parafoil", kParafoilClass);
    ASSERT_NE(c, nullptr);
    c->Place(0, 0, 1000, 0, 0, 0, _V(0, 0, 10));
    Step();
    ASSERT_EQ(c->parent, h) << "caught";
    Step(50);  // carried for a second
    ASSERT_EQ(c->parent, h);
    const double a = 10 * RAD, ca = std::cos(a), sa = std::sin(a);
    EXPECT_LT(OrthoError(c->R), 1e-9);
    EXPECT_NEAR(Det(c->R), 1, 1e-9);
    ExpectMatrix(Relative(h, c), _M(-1, 0, 0, 0, ca, sa, 0, sa, -ca), 1e-6, "relative attitude");

    // The same host given the old pair: sheared, as worked out above.
    VESSEL *ci = c->iface;
    ci->SetAttachmentParams(ci->GetAttachmentHandle(true, 0), _V(0, 13, 0.5), _V(0, 0, 1), _V(0, ca, sa));
    const double t = std::tan(a);
    ExpectMatrix(Relative(h, c), _M(-1 / ca, 0, 0, 0, 1 / ca, 0, 0, t, -1), 1e-6, "old pair");
    EXPECT_NEAR(OrthoError(c->R), t, 1e-6);
    EXPECT_NEAR(Det(c->R), 1 / (ca * ca), 1e-6);
}

TEST_F(PoleTest, OnTheCourseTheLoadSwingsWithTheWantedSpeedError)
{
    // Following the course to a target 3e-5 rad east: dist 3, so 20 m/s forward becomes 20 - 4 x 3.
    Vessel *h = Heli({kEngineRunning, "STATIO 1 0", "PILOTEAUTO 1 0 0.00003 0"});
    h->Place(0, 0, 1016, 0, 0, 0, _V(0, 0, 20));
    Step();  // the lift thruster comes on, the autopilot flies from the next frame
    Vessel *c = Create("Corvane_SRC_Parafoil", kParafoilClass);
    ASSERT_NE(c, nullptr);
    h->Place(0, 0, 1016, 0, 0, 0, _V(0, 0, 20));
    c->Place(0, 0, 1000, 0, 0, 0, _V(0, 0, 20));
    Step();
    ASSERT_EQ(c->parent, h) << "caught";
    ASSERT_EQ(Values(h, "PILOTEAUTO").substr(0, 2), "1 ") << "still following the course";
    sim::Attachment *cp = c->AttachmentByIndex(true, 0);
    ASSERT_NE(cp, nullptr);
    EXPECT_NEAR(cp->rot.x, 0, 1e-12);
    EXPECT_NEAR(cp->rot.y, std::cos(8 * RAD), 1e-6) << "not cos 20 deg: the raw forward airspeed";
    EXPECT_NEAR(cp->rot.z, std::sin(8 * RAD), 1e-6);
    ExpectSwungPair(cp, 8 * RAD);
}

TEST_F(PoleTest, LoadIsLetGoBelow16Metres)
{
    Vessel *h = RunningHeli();
    h->Place(0, 0, 40);
    Vessel *c = Create("Corvane_SRC_Parafoil", kParafoilClass);
    c->Place(0, 0, 24);
    Step();
    ASSERT_EQ(c->parent, h);
    h->Place(0, 0, 16.5);
    Step();
    EXPECT_EQ(c->parent, h);
    h->Place(0, 0, 15.5);
    Step();
    EXPECT_EQ(c->parent, h) << "decided in the post-step, let go before the next update";
    Step();
    EXPECT_EQ(c->parent, nullptr);
}

TEST_F(PoleTest, LoadedLowWithItsLoadItLetsGoInTheFirstFrame)
{
    // A scenario saved in the frame whose post-step found the load below 16 m: the decision was not
    // saved, so the first pre-step after the load takes it, and the load goes in the same frame as
    // in the flight that was never saved.
    Vessel *h = RunningHeli();  // as loaded: no post-step has run yet
    Vessel *c = Create("Corvane_SRC_Parafoil", kParafoilClass);
    ASSERT_TRUE(h && c);
    ASSERT_TRUE(h->iface->AttachChild(c->iface->GetHandle(), h->iface->GetAttachmentHandle(false, 0),
                                      c->iface->GetAttachmentHandle(true, 0)));
    ASSERT_EQ(c->parent, h);
    h->Place(0, 0, 15.5);
    Step();
    EXPECT_EQ(c->parent, nullptr);
}

}  // namespace
