// placement_test.cpp -- where the host puts vessels and what it gives them: landed status records
// (the "extended" planet-frame attitude and the level placement on compressed touchdown points),
// status round trips, attachments (attitude, shear, velocities, immediate re-placement) and the
// graphics client's visuals in each simulator generation.
#include "testing/sim_test.h"

#include "internal.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using simtest::SimTest;

namespace {

class PlacementTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        WriteConfig("Config/Vessels/simtest.cfg", "ClassName = simtest\nModule = sim_test_vessel\n");
        WriteConfig("Config/plain.cfg", "ClassName = plain\nSize = 2\nMass = 300\n");
        WriteConfig("Meshes/CorvaneTest/box.msh",
                    "MSHX1\nGROUPS 1\nMATERIAL 1\nTEXTURE 0\nGEOM 3 1\n0 0 0 0 1 0\n1 0 0 0 1 0\n0 0 1 0 1 0\n0 1 "
                    "2\nMATERIALS 1\nm\nMATERIAL m\n1 1 1 1\n1 1 1 1\n0 0 0 1 5\n0 0 0 1\n");
    }
    static VESSELSTATUS2 Landed(double lng_deg, double lat_deg, double hdg_deg)
    {
        VESSELSTATUS2 s;
        std::memset(&s, 0, sizeof s);
        s.version = 2;
        s.status = 1;
        s.rbody = sim::Handle(sim::World::Current()->Earth());
        s.surf_lng = lng_deg * RAD, s.surf_lat = lat_deg * RAD, s.surf_hdg = hdg_deg * RAD;
        return s;
    }
    // Height above the mean radius of a point given in the vessel's frame [m].
    static double Height(const Vessel *v, const VECTOR3 &p) { return length(v->rpos + mul(v->R, p)) - v->ref->radius; }
};

double MaxDiff(const MATRIX3 &a, const MATRIX3 &b)
{
    double d = 0;
    for (int i = 0; i < 9; ++i) d = std::max(d, std::fabs(a.data[i] - b.data[i]));
    return d;
}

// --- landed status records ----------------------------------------------------------------------

TEST_F(PlacementTest, AZeroFilledLandedRecordStandsTheVesselAtThePlanetFramesAttitude)
{
    // arot = 0 is "extended" information (arot.x <= 4): the rotation relative to the Earth's fixed
    // frame is the identity and the origin sits vrot.x = 0 above the ground. The ground's normal in
    // the vessel frame is then the local vertical in the Earth frame, (cos lat cos lng, sin lat,
    // cos lat sin lng); pitch = atan2(n.z, n.y), bank = atan2(n.x, n.y). At 85.9 E 3.0 N (python):
    // pitch 86.9923167644 deg, bank 53.7585043007 deg.
    Vessel *v = W().CreateVessel("Tail", "plain", Landed(85.9, 3.0, 0));
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->landed);
    EXPECT_NEAR(v->Pitch() * DEG, 86.9923167644, 1e-8);
    EXPECT_NEAR(v->Bank() * DEG, 53.7585043007, 1e-8);
    EXPECT_NEAR(length(v->rpos) - v->ref->radius, 0.0, 1e-6);  // origin on the ground: half sunk
    EXPECT_LT(MaxDiff(v->R, W().Earth()->R), 1e-12);
    EXPECT_NEAR(v->iface->GetAltitude(), 0.0, 1e-12);
}

TEST_F(PlacementTest, ANotSetRecordRestsTheVesselOnItsCompressedTouchdownPointsAtItsHeading)
{
    // A plain 300 kg vessel with touchdown points set after its mass: each is a spring of
    // 20 * 300 N/m. Its weight W = G M m / R^2 = 2946.065884 N. Solving the three springs for
    // force and moment balance about the origin (by hand, the linear
    // system sum k d_i = W, sum k d_i u_i = sum k d_i w_i = 0 in the touchdown plane;
    // placement_derivation.py beside this file) gives
    // compressions d = (0.155769, 0.167621, 0.167621) m, the vessel's origin 0.9987737343 m above
    // the ground and pitched 4.8764287602 deg nose up (the front leg is the longer), no bank.
    Vessel *v = Create("Legs", "plain");
    ASSERT_NE(v, nullptr);
    const VECTOR3 pts[3] = {_V(0, -1.5, 4), _V(-2, -1, -2), _V(2, -1, -2)};
    v->iface->SetTouchdownPoints(pts[0], pts[1], pts[2]);
    VESSELSTATUS2 s = Landed(10.0, 20.0, 30.0);
    s.arot.x = 10;  // "not set"
    v->iface->DefSetStateEx(&s);
    ASSERT_TRUE(v->landed);
    EXPECT_NEAR(v->iface->GetAltitude(), 0.9987737343, 1e-9);
    EXPECT_NEAR(v->Pitch() * DEG, 4.8764287602, 1e-8);
    EXPECT_NEAR(v->Bank() * DEG, 0.0, 1e-9);
    EXPECT_NEAR(v->Heading() * DEG, 30.0, 1e-9);
    // The nose's own direction over the ground says the same heading.
    const MATRIX3 H = v->HorizonFrame();
    const VECTOR3 z = tmul(H, _V(v->R.m13, v->R.m23, v->R.m33));
    EXPECT_NEAR(std::atan2(z.x, z.z) * DEG, 30.0, 1e-6);
    // Each point is pressed into the ground by its compression.
    const double d[3] = {0.15576900077460884, 0.16762098996398125, 0.16762098996398125};
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(Height(v, pts[i]), -d[i], 1e-4) << "point " << i;
}

TEST_F(PlacementTest, LandedStatusRoundTripsThroughTheExtendedRecord)
{
    Vessel *a = Create("A", "plain");
    a->iface->SetTouchdownPoints(_V(0, -1.5, 4), _V(-2, -1, -2), _V(2, -1, -2));
    VESSELSTATUS2 s = Landed(-40.0, 50.0, 200.0);
    s.arot.x = 10;
    a->iface->DefSetStateEx(&s);
    VESSELSTATUS2 got;
    std::memset(&got, 0, sizeof got);
    got.version = 2;
    a->iface->GetStatusEx(&got);
    EXPECT_EQ(got.status, 1);
    EXPECT_LE(got.arot.x, 4.0);  // the Euler angles of a rotation: always the extended branch
    EXPECT_NEAR(got.vrot.x, a->iface->GetAltitude(), 1e-12);
    EXPECT_LT(MaxDiff(sim::MatrixFromArot(got.arot), a->land_rot), 1e-12);
    Vessel *b = W().CreateVessel("B", "plain", got);  // no touchdown points: the record alone places it
    ASSERT_NE(b, nullptr);
    EXPECT_LT(length(b->rpos - a->rpos), 1e-6);
    EXPECT_LT(MaxDiff(b->R, a->R), 1e-12);
    EXPECT_NEAR(b->Pitch(), a->Pitch(), 1e-12);
    EXPECT_NEAR(b->Bank(), a->Bank(), 1e-12);
    EXPECT_NEAR(b->Heading(), a->Heading(), 1e-12);
    VESSELSTATUS plain;
    a->iface->GetStatus(plain);
    EXPECT_NEAR(plain.vrot.x, a->iface->GetAltitude(), 1e-12);
    EXPECT_NEAR(plain.vdata[0].z, 200.0 * RAD, 1e-12);
}

TEST_F(PlacementTest, APlainRecordAndAScenarioStatusLineAlwaysSetTheVesselLevel)
{
    // A plain VESSELSTATUS landed record: always the level placement, whatever its arot.
    VESSELSTATUS vs;
    std::memset(&vs, 0, sizeof vs);
    vs.rbody = sim::Handle(W().Earth());
    vs.status = 1;
    vs.vdata[0] = _V(85.9 * RAD, 3.0 * RAD, 45 * RAD);
    Vessel *p = W().CreateVessel("Plain", "plain", vs);
    ASSERT_NE(p, nullptr);
    EXPECT_NEAR(p->Pitch(), 0.0, 1e-12);
    EXPECT_NEAR(p->Bank(), 0.0, 1e-12);
    EXPECT_NEAR(p->Heading() * DEG, 45.0, 1e-9);
    // The default touchdown points (0,-2,10), (-3,-2,-5), (3,-2,-5), 1e6 N/m each, carry the
    // 300 kg evenly (their centre is under the origin): 2 m less 2946.065884 / 3e6 m.
    EXPECT_NEAR(p->iface->GetAltitude(), 2.0 - 2946.065884 / 3e6, 1e-9);
    // In a scenario, STATUS Landed sets arot.x to "not set" and the heading to 0: an AROT line
    // before it is forgotten, one after it is the extended attitude.
    Vessel *s = LoadVessel("S", "plain",
                           {"AROT 0 0 0", "HEADING 33", "STATUS Landed Earth", "POS 85.9 3.0"});
    ASSERT_NE(s, nullptr);
    EXPECT_NEAR(s->Pitch(), 0.0, 1e-12);
    EXPECT_NEAR(s->Heading(), 0.0, 1e-12);
    Vessel *e = LoadVessel("E", "plain", {"STATUS Landed Earth", "POS 85.9 3.0", "ALT 1.5", "AROT 0 0 0"});
    ASSERT_NE(e, nullptr);
    EXPECT_NEAR(e->Pitch() * DEG, 86.9923167644, 1e-8);
    EXPECT_NEAR(e->iface->GetAltitude(), 1.5, 1e-12);
}

TEST_F(PlacementTest, OneHorizonReadingGivesWhatEachSurfaceQueryGives)
{
    // In flight: the attitude and airspeed it was placed with, and to the bit what the single
    // queries give (the pilot reads the one, the modules the others).
    Vessel *f = W().CreateVessel("F", "plain", VESSELSTATUS2{});
    ASSERT_NE(f, nullptr);
    f->Place(-40 * RAD, 28 * RAD, 3000, 250 * RAD, 10 * RAD, -20 * RAD, _V(30, -4, 55));
    const Vessel::HorizonReading h = f->ReadHorizon();
    EXPECT_NEAR(h.heading * DEG, 250.0, 1e-9);
    EXPECT_NEAR(h.pitch * DEG, 10.0, 1e-9);
    EXPECT_NEAR(h.bank * DEG, -20.0, 1e-9);
    EXPECT_NEAR(h.lng * DEG, -40.0, 1e-9);
    EXPECT_NEAR(h.lat * DEG, 28.0, 1e-9);
    EXPECT_NEAR(h.airspeed.x, 30.0, 1e-6);
    EXPECT_NEAR(h.airspeed.y, -4.0, 1e-6);
    EXPECT_NEAR(h.airspeed.z, 55.0, 1e-6);
    // Landed: the resting heading and the level attitude of the record.
    VESSELSTATUS2 rest = Landed(86.0, 3.2, 300.0);
    Vessel *l = W().CreateVessel("L", "plain", rest);
    ASSERT_NE(l, nullptr);
    EXPECT_NEAR(l->ReadHorizon().heading * DEG, 300.0, 1e-9);
    for (Vessel *v : {f, l}) {
        SCOPED_TRACE(v->name);
        const Vessel::HorizonReading r = v->ReadHorizon();
        double lng, lat, rad;
        v->EquPos(lng, lat, rad);
        const VECTOR3 a = v->HorizonAirspeed();
        const double one[] = {lng, lat, rad, a.x, a.y, a.z, v->Heading(), v->Pitch(), v->Bank()};
        const VECTOR3 b = r.airspeed;
        const double all[] = {r.lng, r.lat, r.rad, b.x, b.y, b.z, r.heading, r.pitch, r.bank};
        EXPECT_EQ(std::memcmp(one, all, sizeof one), 0);
    }
}

// --- attachments --------------------------------------------------------------------------------

TEST_F(PlacementTest, AChildFacesAgainstItsParentsPointAndANonOrthogonalPairShearsIt)
{
    Vessel *p = Create("P", "plain"), *c = Create("C", "plain"), *d = Create("D", "plain", 90e3);
    VESSEL *pi = p->iface;
    p->Place(0.1, 0.2, 5000, 1.0, 0.3, -0.2);
    ATTACHMENTHANDLE pp = pi->CreateAttachment(false, _V(0, -2, 3), _V(0, 0, 1), _V(0, 1, 0), "P");
    ATTACHMENTHANDLE pq = pi->CreateAttachment(false, _V(1, 0, 0), _V(0, 0, 1), _V(0, 1, 0), "Q");
    ATTACHMENTHANDLE cp = c->iface->CreateAttachment(true, _V(0, 1, 0), _V(0, 0, 1), _V(0, 1, 0), "C");
    ATTACHMENTHANDLE dp = d->iface->CreateAttachment(true, _V(0, 0, 0), _V(0, 0, 1), _V(0, 1, 1), "D");
    ASSERT_TRUE(pi->AttachChild(c, pp, cp));
    ASSERT_TRUE(pi->AttachChild(d, pq, dp));
    Step();  // children are moved at the state update
    // Orthogonal pair: rrot (0,0,1) = (0,0,-1), rrot (0,1,0) = (0,1,0), so rrot (x) = -x: a half
    // turn about y.
    EXPECT_LT(MaxDiff(c->attach_rrot, _M(-1, 0, 0, 0, 1, 0, 0, 0, -1)), 1e-15);
    EXPECT_LT(MaxDiff(c->R, mul(p->R, _M(-1, 0, 0, 0, 1, 0, 0, 0, -1))), 1e-12);
    // Non-orthogonal pair, child dir (0,0,1), rot (0,1,1): by hand, M (0,0,1) = (0,0,-1),
    // M (0,1,1) = (0,1,0), M (-1,0,0) = (1,0,0) give the columns (-1,0,0), (0,1,1), (0,0,-1).
    const MATRIX3 M = _M(-1, 0, 0, 0, 1, 0, 0, 1, -1);
    EXPECT_LT(MaxDiff(d->attach_rrot, M), 1e-15);
    EXPECT_LT(MaxDiff(d->R, mul(p->R, M)), 1e-12);
    EXPECT_NEAR(length(mul(d->R, _V(0, 1, 0))), std::sqrt(2.0), 1e-12);  // sheared: not a rotation
    // Both points meet.
    EXPECT_LT(length(c->rpos + mul(c->R, _V(0, 1, 0)) - (p->rpos + mul(p->R, _V(0, -2, 3)))), 1e-6);
    EXPECT_LT(length(d->rpos - (p->rpos + mul(p->R, _V(1, 0, 0)))), 1e-6);
}

TEST_F(PlacementTest, AnAttachedChildMovesWithItsParentsVelocityAndIsReleasedWithItsRotation)
{
    Vessel *p = Create("P", "plain"), *c = Create("C", "plain");
    VESSEL *pi = p->iface;
    p->Place(0.1, 0.2, 5000, 1.0, 0.3, -0.2, _V(30, 2, -10));
    ATTACHMENTHANDLE pp = pi->CreateAttachment(false, _V(0, -2, 3), _V(0, 0, 1), _V(0, 1, 0), "P");
    ATTACHMENTHANDLE cp = c->iface->CreateAttachment(true, _V(0, 1, 0), _V(0, 0, 1), _V(0, 1, 0), "C");
    EXPECT_FALSE(pi->DetachChild(pp));              // nothing attached
    EXPECT_FALSE(pi->AttachChild(c, pp, nullptr));  // no child point
    ASSERT_TRUE(pi->AttachChild(c, pp, cp));
    pi->SetAngularVel(_V(0, 0.1, 0));
    Step();
    EXPECT_EQ(length(c->rvel - p->rvel), 0.0);  // the parent's velocity as it is: no rotation term
    EXPECT_LT(length(c->omega - _V(0, 0.1, 0)), 1e-15);  // rrot^T (0, 0.1, 0) with rrot = diag(-1, 1, -1)
    // Released at 2 m/s: its origin sits at rpos = (0,-2,3) - rrot (0,1,0) = (0,-3,3) in the parent
    // frame, moving with rpos x omega = (0,-3,3) x (0,0.1,0) = (-0.3, 0, 0); the push is along the
    // parent point's direction, (0,0,1) in the parent frame. Together: R_p (-0.3, 0, 2).
    const VECTOR3 before = p->rvel;
    ASSERT_TRUE(pi->DetachChild(pp, 2.0));
    EXPECT_LT(length(c->rvel - (before + mul(p->R, _V(-0.3, 0, 2)))), 1e-12);
    EXPECT_EQ(pi->GetAttachmentStatus(pp), nullptr);
    EXPECT_EQ(c->parent, nullptr);
}

TEST_F(PlacementTest, AttachmentParamsMoveTheChildAtOnceAndOnlyTheParentsOrthogonalise)
{
    Vessel *p = Create("P", "plain"), *d = Create("D", "plain");
    VESSEL *pi = p->iface;
    p->Place(0.1, 0.2, 5000, 1.0);
    ATTACHMENTHANDLE pq = pi->CreateAttachment(false, _V(1, 0, 0), _V(0, 0, 1), _V(0, 1, 0), "Q");
    ATTACHMENTHANDLE dp = d->iface->CreateAttachment(true, _V(0, 0, 0), _V(0, 0, 1), _V(0, 1, 1), "D");
    ASSERT_TRUE(pi->AttachChild(d, pq, dp));
    Step();
    // The child's own point moves: re-solved, still sheared, the child re-placed before any frame.
    d->iface->SetAttachmentParams(dp, _V(0, 2, 0), _V(0, 0, 1), _V(0, 1, 1));
    const MATRIX3 M = _M(-1, 0, 0, 0, 1, 0, 0, 1, -1);
    EXPECT_LT(MaxDiff(d->attach_rrot, M), 1e-15);
    EXPECT_LT(length(d->rpos + mul(d->R, _V(0, 2, 0)) - (p->rpos + mul(p->R, _V(1, 0, 0)))), 1e-6);
    // The parent's point moves (same frame): rrot is turned by A_new A_old^T = I, then the first
    // call orthogonalises about axis 1: rows 1 and 3 taken as unit vectors, row 2 = unit(row 3) x
    // unit(row 1) = (0,1,-1)/sqrt2 x (-1,0,0) = (0,1,1)/sqrt2; rows 1 and 3 stay as they are.
    pi->SetAttachmentParams(pq, _V(1, 1, 0), _V(0, 0, 1), _V(0, 1, 0));
    const double h = 1 / std::sqrt(2.0);
    EXPECT_LT(MaxDiff(d->attach_rrot, _M(-1, 0, 0, 0, h, h, 0, 1, -1)), 1e-15);
    EXPECT_LT(length(d->rpos + mul(d->R, _V(0, 2, 0)) - (p->rpos + mul(p->R, _V(1, 1, 0)))), 1e-6);
}

TEST_F(PlacementTest, APointInUseIsTakenOver)
{
    Vessel *p = Create("P", "plain"), *a = Create("A", "plain"), *b = Create("B", "plain");
    ATTACHMENTHANDLE pp = p->iface->CreateAttachment(false, _V(0, -2, 0), _V(0, -1, 0), _V(0, 0, 1), "P");
    ATTACHMENTHANDLE ap = a->iface->CreateAttachment(true, _V(0, 1, 0), _V(0, 1, 0), _V(0, 0, 1), "A");
    ATTACHMENTHANDLE bp = b->iface->CreateAttachment(true, _V(0, 1, 0), _V(0, 1, 0), _V(0, 0, 1), "B");
    ASSERT_TRUE(p->iface->AttachChild(a, pp, ap));
    ASSERT_TRUE(p->iface->AttachChild(b, pp, bp));
    EXPECT_EQ(p->iface->GetAttachmentStatus(pp), b);
    Step();
    EXPECT_LT(length(b->rpos + mul(b->R, _V(0, 1, 0)) - (p->rpos + mul(p->R, _V(0, -2, 0)))), 1e-6);
}

TEST_F(PlacementTest, ALooseParentPointKeepsTheChildsAttitudeAndAChildHasItsParentsFlightStatus)
{
    Vessel *p = CreateLanded("P", "plain", 0.3, 0.4, 1.0), *c = Create("C", "plain");
    c->Place(0.3, 0.4, 100, 2.0, 0.5, 0.1);
    const MATRIX3 rel = mul(_M(p->R.m11, p->R.m21, p->R.m31, p->R.m12, p->R.m22, p->R.m32, p->R.m13, p->R.m23,
                               p->R.m33),
                            c->R);  // the child's frame in the parent's: R_p^T R_c
    ATTACHMENTHANDLE pp = p->iface->CreateAttachment(false, _V(0, 5, 0), _V(0, 1, 0), _V(0, 0, 1), "P", true);
    ATTACHMENTHANDLE cp = c->iface->CreateAttachment(true, _V(0, 0, 0), _V(0, 1, 0), _V(0, 0, 1), "C");
    ASSERT_TRUE(p->iface->AttachChild(c, pp, cp));
    Step();
    EXPECT_LT(MaxDiff(c->attach_rrot, rel), 1e-12);
    EXPECT_LT(length(c->rpos - (p->rpos + mul(p->R, _V(0, 5, 0)))), 1e-6);
    EXPECT_EQ(c->iface->GetFlightStatus() & 1u, 1u);  // the landed parent's status
}

TEST_F(PlacementTest, TheClassFilesItemsOverrideWhatTheModuleSetInItsClassCaps)
{
    // The test module sets an empty mass of 100 kg in clbkSetClassCaps; the class file says 777.
    WriteConfig("Config/Vessels/heavy.cfg", "ClassName = heavy\nModule = sim_test_vessel\nMass = 777\nSize = 9\n");
    Vessel *a = Create("A", "heavy");
    ASSERT_NE(a, nullptr);
    EXPECT_DOUBLE_EQ(a->empty_mass, 777.0);
    EXPECT_DOUBLE_EQ(a->size, 9.0);
    Vessel *b = LoadVessel("B", "heavy", {"STATUS Orbiting Earth", "RPOS 0 0 7000000", "RVEL 0 7500 0"});
    ASSERT_NE(b, nullptr);
    EXPECT_DOUBLE_EQ(b->empty_mass, 777.0);
}

// --- visuals ------------------------------------------------------------------------------------

TEST_F(PlacementTest, TheExternalClientGivesARunTimeVesselItsVisualBeforeItsPostCreation)
{
    for (auto g : {sim::HostGeneration::k2024, sim::HostGeneration::kLatest}) {
        options.host = g;
        Create("A", "simtest");
        const std::vector<std::string> said = Said();
        ASSERT_GE(said.size(), 2u);
        EXPECT_EQ(said[said.size() - 2], "clbkVisualCreated A") << sim::HostGenerationName(g);
        EXPECT_EQ(said.back(), "clbkPostCreation A");
        EndWorld();
    }
}

TEST_F(PlacementTest, AScenariosVesselsGetTheirVisualsAllAtTheClientsFirstUpdate)
{
    LoadScenarioText("BEGIN_SHIPS\nA:simtest\nEND\nB:plain\n  STATUS Landed Earth\n  POS 10 20\nEND\n"
                     "C:plain\nEND\nEND_SHIPS\n");
    for (Vessel *v : W().Vessels()) EXPECT_EQ(v->visual, nullptr) << v->name;
    Step();
    for (Vessel *v : W().Vessels()) EXPECT_NE(v->visual, nullptr) << v->name;
    const std::size_t mark = W().LogLines().size();
    Step(20);
    EXPECT_TRUE(Said(mark).size() == 40u) << "no visual is made twice";
}

TEST_F(PlacementTest, TheBuiltInClientKeepsAVisualOnlyWithinTheCamerasRange)
{
    // size / (distance tan 25 deg) > 1e-3: a 2 m vessel is seen up to 2 / (1e-3 * 0.466307658)
    // = 4289.03 m from the camera, which is in the first vessel's cockpit (no focus set).
    for (auto g : {sim::HostGeneration::k2016, sim::HostGeneration::k2024Inline}) {
        options.host = g;
        Vessel *cam = Create("Cam", "plain", 3000);
        cam->Place(0, 0, 3000);
        EXPECT_NE(cam->visual, nullptr);  // the camera's own vessel
        Vessel *far = W().CreateVesselAt("Far", "plain", 0, 0, 3000 + 4600.0);
        Vessel *near = W().CreateVesselAt("Near", "plain", 0, 0, 3000 + 4000.0);
        EXPECT_EQ(far->visual, nullptr) << sim::HostGenerationName(g);
        EXPECT_NE(near->visual, nullptr);
        // One object per update after the first: five objects (three bodies, ...) in five frames.
        near->Place(0, 0, 3000 + 4600.0);
        far->Place(0, 0, 3000 + 4000.0);
        Step(5);
        EXPECT_NE(far->visual, nullptr);
        EXPECT_EQ(near->visual, nullptr);
        EndWorld();
    }
}

TEST_F(PlacementTest, WithoutGraphicsNoVesselEverGetsAVisual)
{
    options.graphics = false;
    Create("A", "simtest");
    LoadScenarioText("BEGIN_SHIPS\nB:simtest\nEND\nEND_SHIPS\n");
    Step(10);
    for (Vessel *v : W().Vessels()) EXPECT_EQ(v->visual, nullptr) << v->name;
    for (const std::string &s : Said()) EXPECT_EQ(s.find("clbkVisualCreated"), std::string::npos) << s;
}

}  // namespace

// --- the surface queries follow the state they are asked about --------------------------------

TEST_F(PlacementTest, ThePlaceAndHorizonFrameFollowTheVesselAndTheTurningBody)
{
    // Asked again and again (the surface queries keep their last answer), each read must still
    // be that of the state of the moment: after a move, and after the body alone has turned.
    Vessel *v = Create("Here", "plain");
    ASSERT_NE(v, nullptr);
    v->Place(10 * RAD, 20 * RAD, 1000);
    double lng, lat, rad;
    v->EquPos(lng, lat, rad);
    EXPECT_NEAR(lng * DEG, 10, 1e-9);
    EXPECT_NEAR(lat * DEG, 20, 1e-9);
    v->Place(-30 * RAD, 45 * RAD, 1000);
    v->EquPos(lng, lat, rad);
    EXPECT_NEAR(lng * DEG, -30, 1e-9);
    EXPECT_NEAR(lat * DEG, 45, 1e-9);
    EXPECT_NEAR(rad - v->ref->radius, 1000, 1e-6);
    // Up is the direction from the centre whatever the body's turn; the frame is orthonormal.
    const VECTOR3 radial = v->rpos / length(v->rpos);
    MATRIX3 H = v->HorizonFrame();
    EXPECT_NEAR(dotp(_V(H.m12, H.m22, H.m32), radial), 1, 1e-12);
    // The body turned by 0.25 rad more about its own axis (its fixed frame's y axis): the vessel
    // stays where it is in space, its longitude moves by the turn, its latitude stays.
    sim::Body *b = v->ref;
    const MATRIX3 keep = b->R, keep_next = b->next_R;
    const bool keep_has = b->has_next;
    const double a = 0.25;
    const MATRIX3 turn = _M(std::cos(a), 0, -std::sin(a), 0, 1, 0, std::sin(a), 0, std::cos(a));
    b->R = mul(keep, turn), b->next_R = mul(keep_next, turn);
    double lng2, lat2, rad2;
    v->EquPos(lng2, lat2, rad2);
    const double moved = std::remainder(lng2 - lng, PI2);
    H = v->HorizonFrame();
    b->R = keep, b->next_R = keep_next, b->has_next = keep_has;
    EXPECT_NEAR(std::fabs(moved), a, 1e-9);
    EXPECT_NEAR(lat2 * DEG, 45, 1e-9);
    EXPECT_NEAR(dotp(_V(H.m12, H.m22, H.m32), radial), 1, 1e-12);
    EXPECT_NEAR(dotp(_V(H.m11, H.m21, H.m31), _V(H.m13, H.m23, H.m33)), 0, 1e-12);
}
