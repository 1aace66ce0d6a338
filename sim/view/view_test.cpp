// view_test.cpp -- the add-on's meshes as the stand-in loads them, the modules' animations moving
// the intended geometry, the scene view's projection, and the snapshot view input.
#include "cli.h"
#include "testing/harness_test.h"
#include "testing/sim_test.h"
#include "vessel.h"
#include "view.h"

#include <cmath>
#include <fstream>
#include <sstream>

using simtest::AddonRoot;
using simtest::ReadFile;

namespace {

constexpr double kPi = 3.14159265358979323846;

std::unique_ptr<sim::Mesh> Load(const std::string &name)
{
    auto m = std::make_unique<sim::Mesh>();
    std::string err;
    EXPECT_TRUE(sim::LoadMeshFile(AddonRoot() + "/Meshes/" + name + ".msh", m.get(), &err)) << err;
    return m;
}

// Rotation of p by `angle` about the line through `pivot` along the unit `axis`, right-hand rule in
// the component formula (Rodrigues): the turn the graphics client gives a group.
VECTOR3 Turn(const VECTOR3 &p, const VECTOR3 &pivot, VECTOR3 axis, double angle)
{
    axis = axis / length(axis);
    const VECTOR3 r = p - pivot;
    const double c = std::cos(angle), s = std::sin(angle);
    return pivot + r * c + crossp(axis, r) * s + axis * (dotp(axis, r) * (1 - c));
}

VECTOR3 At(const sim::Mesh &m, size_t g, size_t i)
{
    const NTVERTEX &v = m.vtx[g][i];
    return _V(v.x, v.y, v.z);
}

void ExpectNear(const VECTOR3 &a, const VECTOR3 &b, double tol, const std::string &what)
{
    EXPECT_NEAR(a.x, b.x, tol) << what;
    EXPECT_NEAR(a.y, b.y, tol) << what;
    EXPECT_NEAR(a.z, b.z, tol) << what;
}

// The index of a mesh group's vertex farthest from a point (a tip of the part).
size_t Farthest(const sim::Mesh &m, size_t g, const VECTOR3 &from)
{
    size_t best = 0;
    for (size_t i = 0; i < m.vtx[g].size(); ++i)
        if (length(At(m, g, i) - from) > length(At(m, g, best) - from)) best = i;
    return best;
}

class ViewTest : public simtest::SimTest {
protected:
    // The vessel's meshes posed with one animation at a state (the others as they are).
    std::vector<std::unique_ptr<sim::Mesh>> Posed(Vessel *v, size_t anim, double state)
    {
        v->animations.at(anim).state = state;
        return sim::PosedMeshes(*v);
    }
};

}  // namespace

// Every group must hold triangles: the simulator's reader drops an empty group, and every later
// group index would then be off by one.
TEST(AddonMeshes, EveryMeshLoadsWithTheGroupsMaterialsAndTexturesTheModulesUse)
{
    struct Need {
        const char *name;
        size_t groups, materials, textures;
    };
    for (const Need &n : {Need{"CorvaneMission/cvn_bus1", 31, 1, 0}, Need{"CorvaneMission/cvn_bus2", 16, 1, 0},
                          Need{"CorvaneMission/cvn_src_drg", 3, 1, 0}, Need{"CorvaneMission/cvn_src_main", 1, 1, 4},
                          Need{"CorvaneMission/cvn_src_lid", 1, 1, 0}, Need{"CorvaneMission/cvn_src_crash", 1, 1, 0},
                          Need{"CorvaneMission/cvn_src_parafoil90", 6, 1, 0},
                          Need{"CorvaneMission/cvn_src_parafoil_col1", 1, 1, 0},
                          Need{"CorvaneMission/cvn_src_parafoil_col2", 1, 1, 0}, Need{"CorvaneMission/heliport", 1, 1, 1},
                          Need{"hx220", 20, 12, 0}}) {
        const auto held = Load(n.name);
        const sim::Mesh &m = *held;
        EXPECT_GE(m.groups.size(), n.groups) << n.name;
        EXPECT_GE(m.materials.size(), n.materials) << n.name;
        EXPECT_GE(m.texture_names.size(), n.textures) << n.name;
        for (size_t g = 0; g < m.groups.size(); ++g) {
            EXPECT_GT(m.groups[g].nVtx, 0u) << n.name << " group " << g;
            EXPECT_GE(m.groups[g].nIdx, 3u) << n.name << " group " << g;
        }
        for (const std::string &t : m.texture_names) {
            int w = 0, h = 0;
            std::vector<std::uint32_t> px;
            EXPECT_TRUE(sim::DecodeDds(ReadFile(AddonRoot() + "/Textures/" + t), &w, &h, &px)) << n.name << ": " << t;
        }
    }
    // The helicopter: blades (groups 7, 8) in material 3, the blur discs (18, 19) in material 11.
    const auto heli_mesh = Load("hx220");
    const sim::Mesh &heli = *heli_mesh;
    for (size_t g : {7, 8}) EXPECT_EQ(heli.groups[g].MtrlIdx, 3u) << g;
    for (size_t g : {18, 19}) EXPECT_EQ(heli.groups[g].MtrlIdx, 11u) << g;
    // The capsule's texture 4 (1-based) is the 512 x 512 image the entry texture replaces, and the
    // entry texture is as large.
    const auto body_mesh = Load("CorvaneMission/cvn_src_main");
    const sim::Mesh &body = *body_mesh;
    ASSERT_GE(body.texture_names.size(), 4u);
    for (const std::string &t : {body.texture_names[3], std::string("CorvaneMission/cvn_src2.dds")}) {
        int w = 0, h = 0;
        std::vector<std::uint32_t> px;
        ASSERT_TRUE(sim::DecodeDds(ReadFile(AddonRoot() + "/Textures/" + t), &w, &h, &px)) << t;
        EXPECT_EQ(w, 512) << t;
        EXPECT_EQ(h, 512) << t;
    }
}

// Triangles face the way their normals point (clockwise seen from outside in the left-handed
// frame, which the renderer keeps): for the capsule's closed body, each triangle's geometric
// normal points away from the capsule's axis or along it, never into the body.
TEST(AddonMeshes, CapsuleTrianglesFaceOutward)
{
    const auto mesh = Load("CorvaneMission/cvn_src_main");
    const sim::Mesh &m = *mesh;
    int checked = 0;
    for (size_t g : {0u, 1u}) {  // heat shield, backshell
        for (size_t t = 0; t + 2 < m.idx[g].size(); t += 3) {
            const VECTOR3 a = At(m, g, m.idx[g][t]), b = At(m, g, m.idx[g][t + 1]), c = At(m, g, m.idx[g][t + 2]);
            const VECTOR3 n = crossp(b - a, c - a);
            if (length(n) < 1e-9) continue;
            const VECTOR3 mid = (a + b + c) / 3;
            // Outward: away from the point of the axis level with the centre of the body's bulk.
            EXPECT_GT(dotp(n, mid - _V(0, 0, -0.05)), 0) << "group " << g << " triangle " << t / 3;
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}

TEST_F(ViewTest, BusWingsCoversAndTetherMoveAboutTheirHinges)
{
    Vessel *bus = Create("Bus", "CorvaneMission/corvane_bus2");
    ASSERT_TRUE(bus);
    ASSERT_EQ(bus->animations.size(), 3u);  // tether, covers, solar panels, in that order
    const auto rest = sim::PosedMeshes(*bus);
    ASSERT_TRUE(rest[0] && rest[1]);

    // Solar panels: 1.9896649 rad about +y through (1.061, 0, -0.146) (right wing, group 27) and
    // about -y through (-1.061, 0, -0.146) (left wing, group 29). The panel's far tip ends out
    // beside the bus: x beyond 2 m.
    auto deployed = Posed(bus, 2, 1.0);
    for (auto [g, pivot, axis] : {std::tuple{27u, _V(1.061, 0, -0.146), _V(0, 1, 0)},
                                  std::tuple{29u, _V(-1.061, 0, -0.146), _V(0, -1, 0)}}) {
        const size_t i = Farthest(*rest[0], g, pivot);
        const VECTOR3 want = Turn(At(*rest[0], g, i), pivot, axis, 1.9896649);
        ExpectNear(At(*deployed[0], g, i), want, 1e-3, "wing group " + std::to_string(g));
        EXPECT_GT(std::fabs(want.x), 2.0);
    }
    Posed(bus, 2, 0.0);

    // Covers, three phases: at 0.3 the outer cover (mesh 1 group 1) has turned half a turn about
    // its hinge while the inner cap (14) and the straps (10, 11) have not moved; at 0.6 the cap has
    // turned half a turn about its own hinge; at 0.825 the straps are half way (45 degrees).
    const VECTOR3 hinge1 = _V(0.53, 0.619, 0.383), axis1 = _V(-0.707107, 0.707107, 0);
    const VECTOR3 hinge2 = _V(-0.442, -0.351, 0.506), axis2 = _V(0.707107, -0.707107, 0);
    const VECTOR3 strap = _V(0.196, 0.196, 0.0);
    auto phase1 = Posed(bus, 1, 0.3);
    ExpectNear(At(*phase1[1], 1, 5), Turn(At(*rest[1], 1, 5), hinge1, axis1, kPi), 1e-3, "outer cover");
    ExpectNear(At(*phase1[0], 2, 0), Turn(At(*rest[0], 2, 0), hinge1, axis1, kPi), 1e-3, "hinge knuckle (mesh 0)");
    ExpectNear(At(*phase1[1], 14, 3), At(*rest[1], 14, 3), 1e-6, "inner cap still");
    ExpectNear(At(*phase1[1], 10, 3), At(*rest[1], 10, 3), 1e-6, "strap still");
    auto phase2 = Posed(bus, 1, 0.6);
    ExpectNear(At(*phase2[1], 14, 3), Turn(At(*rest[1], 14, 3), hinge2, axis2, kPi), 1e-3, "inner cap");
    ExpectNear(At(*phase2[1], 11, 3), At(*rest[1], 11, 3), 1e-6, "strap still");
    auto phase3 = Posed(bus, 1, 0.825);
    ExpectNear(At(*phase3[1], 10, 3), Turn(At(*rest[1], 10, 3), strap, _V(0, 0, 1), kPi / 4), 1e-3, "strap a");
    ExpectNear(At(*phase3[1], 11, 3), Turn(At(*rest[1], 11, 3), strap, _V(0, 0, -1), kPi / 4), 1e-3, "strap b");
    ExpectNear(At(*phase3[1], 0, 0), At(*rest[1], 0, 0), 1e-6, "the capsule itself");
    Posed(bus, 1, 0.0);

    // Tether: the arm (group 19) turns 72 degrees about its base; the umbilical plug (group 1) is
    // carried by the arm's turn after its own 9 degrees about the arm's end (a child component).
    const VECTOR3 base = _V(0.43, 0.492, -0.022), end = _V(0.531, 0.593, 0.319), ax = _V(-0.707107, 0.707107, 0);
    auto swung = Posed(bus, 0, 1.0);
    ExpectNear(At(*swung[0], 19, 0), Turn(At(*rest[0], 19, 0), base, ax, 1.2566371), 1e-3, "tether arm");
    const VECTOR3 plug = Turn(Turn(At(*rest[0], 1, 0), end, ax, 0.15707964), base, ax, 1.2566371);
    ExpectNear(At(*swung[0], 1, 0), plug, 1e-3, "umbilical plug");
}

TEST_F(ViewTest, HelicopterRotorsTurnAboutTheirHubsAndThePoleSlidesThenSwings)
{
    Vessel *h = Create("HX220", "hx220", 500);
    ASSERT_TRUE(h);
    ASSERT_EQ(h->animations.size(), 2u);  // rotor, pole
    const auto rest = sim::PosedMeshes(*h);
    ASSERT_TRUE(rest[0]);
    const sim::Mesh &m0 = *rest[0];
    // One unit of rotor state turns the main rotor 6.28 rad about +y through (0, 0, 0.975) and the
    // tail rotor -15 rad about +x through (0, 0.13, -3.931): a quarter turn of the main rotor
    // is a state of (pi/2) / 6.28.
    const double s = (kPi / 2) / 6.28;
    auto turned = Posed(h, 0, s);
    const size_t tip = Farthest(m0, 7, _V(0, 1.5, 0.975));
    ExpectNear(At(*turned[0], 7, tip), Turn(At(m0, 7, tip), _V(0, 0, 0.975), _V(0, 1, 0), kPi / 2), 2e-3, "main blade tip");
    EXPECT_NEAR(length(At(m0, 7, tip) - _V(0, At(m0, 7, tip).y, 0.975)), 4.3, 0.05);  // 4.3 m blades
    const size_t ttip = Farthest(m0, 8, _V(0.3, 0.13, -3.931));
    ExpectNear(At(*turned[0], 8, ttip), Turn(At(m0, 8, ttip), _V(0, 0.13, -3.931), _V(1, 0, 0), -15 * s), 2e-3,
               "tail blade tip");
    // The blades stay on their hub's circle: the tail rotor's tips keep their distance to its axis.
    EXPECT_NEAR(std::hypot(At(*turned[0], 8, ttip).y - 0.13, At(*turned[0], 8, ttip).z + 3.931),
                std::hypot(At(m0, 8, ttip).y - 0.13, At(m0, 8, ttip).z + 3.931), 1e-3);
    Posed(h, 0, 0);

    // Pole: at 0.5 the inner tube (10) has slid forward and the outer tube (9) is still. The
    // client moves a component's groups and then, with the same matrix, its children's groups:
    // the swing (component 3) names group 10 too, so the slide's 0.65 m reaches it twice, 1.3 m,
    // the distance the attachment point slides (4.224 -> 5.524). At 1.0 both tubes have swung
    // 140 degrees about x through (0, -1.091, 1.57): the swing's pivot (0, -1.091, 0.92) carried
    // 0.65 m forward by its parent.
    const size_t hook = Farthest(m0, 10, _V(0, -1.091, 0.3));
    auto slid = Posed(h, 1, 0.5);
    ExpectNear(At(*slid[0], 10, hook), At(m0, 10, hook) + _V(0, 0, 1.3), 1e-4, "inner tube slid");
    ExpectNear(At(*slid[0], 9, 0), At(m0, 9, 0), 1e-6, "outer tube still");
    auto swung = Posed(h, 1, 1.0);
    const double a = 140 * kPi / 180;
    ExpectNear(At(*swung[0], 10, hook), Turn(At(m0, 10, hook) + _V(0, 0, 1.3), _V(0, -1.091, 1.57), _V(1, 0, 0), a),
               2e-3, "inner tube swung");
    ExpectNear(At(*swung[0], 9, 0), Turn(At(m0, 9, 0), _V(0, -1.091, 1.57), _V(1, 0, 0), a), 2e-3, "outer tube swung");
    // Swung, the hook hangs under the tail on the point the catch carries the load by:
    // (0, s w + c b - 1.217, c w - s b + 1.241) with w = 4.283, b = 0.091 at -140 degrees.
    const double c = std::cos(-a), sn = std::sin(-a);
    const VECTOR3 point = _V(0, sn * 4.283 + c * 0.091 - 1.217, c * 4.283 - sn * 0.091 + 1.241);
    EXPECT_LT(length(At(*swung[0], 10, hook) - point), 0.3);
}

TEST_F(ViewTest, DrogueAndParafoilCanopiesPackAndUnfold)
{
    // The capsule's drogue (mesh 0 group 2) at 1.0 is shrunk to 1 % about (0, 0, -0.5735).
    Vessel *cap = Create("Corvane_SRC", "Vessels/CorvaneMission/corvane_src", 40e3);
    ASSERT_TRUE(cap);
    auto stowed = Posed(cap, 0, 1.0);
    auto open = Posed(cap, 0, 0.0);
    double open_r = 0;
    for (size_t i = 0; i < stowed[0]->vtx[2].size(); ++i) {
        EXPECT_LT(length(At(*stowed[0], 2, i) - _V(0, 0, -0.573527)), 0.05);
        open_r = std::max(open_r, std::hypot(At(*open[0], 2, i).x, At(*open[0], 2, i).y));
    }
    EXPECT_GT(open_r, 1.0);  // the open canopy is over 2 m across

    // The parafoil's canopy (group 5) packed at 1.0: x and z to 5 %, y to 4 % about the origin,
    // a bundle under a metre above the capsule; open at 0.0, 12 m across, below the capture ring
    // whose lowest point is the capture point (0, 13, 0), clear of a helicopter 14 m up.
    Vessel *pf = Create("Corvane_SRC_Parafoil", "CorvaneMission/corvane_src_parafoil", 3000);
    ASSERT_TRUE(pf);
    auto packed = Posed(pf, 0, 1.0);
    auto spread = Posed(pf, 0, 0.0);
    double span = 0, ring = 1e9, cloth_top = 0;
    for (size_t i = 0; i < packed[0]->vtx[5].size(); ++i) {
        const VECTOR3 p = At(*packed[0], 5, i), q = At(*spread[0], 5, i);
        EXPECT_LT(p.y, 1.0);
        EXPECT_LT(std::fabs(p.x), 0.35);
        span = std::max(span, std::fabs(q.x));
        ring = std::min(ring, length(q - _V(0, 13, 0)));
        if (std::fabs(q.x) > 0.5) cloth_top = std::max(cloth_top, q.y);
    }
    EXPECT_NEAR(span, 6.0, 0.3);
    EXPECT_LT(ring, 0.05);         // the rigging passes through the capture point
    EXPECT_LT(cloth_top, 13 - 2);  // the cloth lies well below it
}

// A plain class that shows a sphere of radius 1 m, its material pure emissive red.
class ViewRender : public simtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        std::ostringstream m;
        const int nl = 24, na = 48;
        m << "MSHX1\nGROUPS 1\nMATERIAL 1\nTEXTURE 0\nGEOM " << (nl + 1) * (na + 1) << " " << nl * na * 2 << "\n";
        for (int i = 0; i <= nl; ++i)
            for (int j = 0; j <= na; ++j) {
                const double t = kPi * i / nl, p = 2 * kPi * j / na;
                const double x = std::sin(t) * std::cos(p), y = std::cos(t), z = std::sin(t) * std::sin(p);
                m << x << " " << y << " " << z << " " << x << " " << y << " " << z << " 0 0\n";
            }
        for (int i = 0; i < nl; ++i)
            for (int j = 0; j < na; ++j) {
                const int a = i * (na + 1) + j, b = a + na + 1;
                m << a << " " << b << " " << b + 1 << "\n" << a << " " << b + 1 << " " << a + 1 << "\n";
            }
        m << "MATERIALS 1\nred\nMATERIAL red\n0 0 0 1\n0 0 0 1\n0 0 0 1\n1 0 0 1\nTEXTURES 0\n";
        simtest::WriteFile(temp_dir + "/Meshes/viewball.msh", m.str());
        WriteConfig("Config/viewball.cfg", "ClassName = viewball\nMeshName = viewball\nSize = 1\n");
    }
    static bool Red(const std::vector<std::uint8_t> &rgb, int w, int x, int y)
    {
        const std::uint8_t *p = &rgb[3 * (static_cast<size_t>(y) * w + x)];
        return p[0] > 200 && p[1] < 40 && p[2] < 40;
    }
};

// The camera 20 m from the ball's centre, field of view 40 degrees over 540 rows (960 x 540): the
// ball of radius 1 subtends asin(1/20) = 2.866 degrees, tan(2.866 deg) / tan(20 deg) * 270 =
// 37.1 pixels from the picture's centre (480, 270). A second ball 5 m to the camera's right at the
// same distance along the line of sight appears at 480 + 480 * 5 / (20 tan(20 deg) * 960/540) =
// 480 + 185.4 = 665.4.
TEST_F(ViewRender, TheVesselsSilhouetteIsWhereItsProjectionPutsIt)
{
    Vessel *a = Create("BallA", "viewball", 100e3);
    ASSERT_TRUE(a);
    ASSERT_EQ(a->meshes.size(), 1u);  // the configuration's mesh
    sim::ViewSpec spec;
    spec.vessel = "BallA";
    spec.azimuth = 70, spec.elevation = 10, spec.distance = 20;
    sim::Camera cam;
    std::string err;
    ASSERT_TRUE(sim::ViewCamera(W(), spec, &cam, &err)) << err;
    Vessel *b = Create("BallB", "viewball", 100e3);
    ASSERT_TRUE(b);
    b->rpos = a->rpos + cam.right * 5;
    b->R = a->R;
    double px, py;
    ASSERT_TRUE(sim::Project(cam, b->GlobalPos(), &px, &py));
    EXPECT_NEAR(px, 665.4, 0.1);
    EXPECT_NEAR(py, 270.0, 0.1);

    std::vector<std::uint8_t> rgb;
    ASSERT_TRUE(sim::RenderView(W(), spec, &rgb, &err)) << err;
    const int w = spec.width;
    // Ball A: red inside 37 pixels of the centre, not outside 41.
    for (auto [dx, dy] : {std::pair{0, 0}, std::pair{34, 0}, std::pair{-34, 0}, std::pair{0, 34}, std::pair{0, -34}})
        EXPECT_TRUE(Red(rgb, w, 480 + dx, 270 + dy)) << dx << "," << dy;
    for (auto [dx, dy] : {std::pair{41, 0}, std::pair{-41, 0}, std::pair{0, 41}, std::pair{0, -41}})
        EXPECT_FALSE(Red(rgb, w, 480 + dx, 270 + dy)) << dx << "," << dy;
    // Ball B, to the right (its rim a little wider than A's, seen off-axis).
    EXPECT_TRUE(Red(rgb, w, 665, 270));
    EXPECT_TRUE(Red(rgb, w, 665 + 33, 270));
    EXPECT_FALSE(Red(rgb, w, 665 + 45, 270));
    EXPECT_FALSE(Red(rgb, w, 570, 270));  // between them
}

// The drawing made ready while a run loads leaves nothing behind: a view drawn after it is the
// same to the byte as one drawn before it, and the warm-up needs a focus vessel, not a picture.
TEST_F(ViewRender, AViewAfterTheWarmUpIsTheSameAsBefore)
{
    Create("BallA", "viewball", 100e3);
    sim::ViewSpec spec;
    spec.vessel = "BallA";
    spec.width = 320, spec.height = 180;
    std::vector<std::uint8_t> before, after;
    std::string err;
    ASSERT_TRUE(sim::RenderView(W(), spec, &before, &err)) << err;
    sim::PrepareViews(nullptr);
    sim::PrepareViews(&W());
    ASSERT_TRUE(sim::RenderView(W(), spec, &after, &err)) << err;
    EXPECT_TRUE(before == after);
}

// An uncompressed 32-bit texture file of n x n pixels of one colour (0xAARRGGBB).
std::string SolidDds(int n, std::uint32_t argb)
{
    std::string b(128, '\0');
    auto put = [&b](size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k) b[at + k] = static_cast<char>((v >> (8 * k)) & 255);
    };
    b.replace(0, 4, "DDS ");
    put(4, 124), put(12, n), put(16, n), put(80, 0x41), put(88, 32);  // RGB with alpha, 32 bits
    for (int i = 0; i < n * n; ++i) {
        b.append(4, '\0');
        put(b.size() - 4, argb);
    }
    return b;
}

// A texture kept from one picture to the next is made again once something was copied onto it;
// surfaces copied onto each other in a circle are drawn, each copy once.
TEST_F(ViewRender, ACopyOntoATextureShowsInTheNextPicture)
{
    simtest::WriteFile(temp_dir + "/Textures/viewtest_red.dds", SolidDds(8, 0xFFFF0000u));
    simtest::WriteFile(temp_dir + "/Textures/viewtest_blue.dds", SolidDds(8, 0xFF0000FFu));
    std::string mesh = simtest::ReadFile(temp_dir + "/Meshes/viewball.msh");
    mesh.replace(mesh.find("TEXTURE 0"), 9, "TEXTURE 1");
    mesh.replace(mesh.find("0 0 0 1\n1 0 0 1"), 15, "0 0 0 1\n1 1 1 1");  // emissive white
    mesh.replace(mesh.find("TEXTURES 0"), 10, "TEXTURES 1\nviewtest_red.dds");
    simtest::WriteFile(temp_dir + "/Meshes/texball.msh", mesh);
    WriteConfig("Config/texball.cfg", "ClassName = texball\nMeshName = texball\nSize = 1\n");
    Vessel *a = Create("Tex", "texball", 100e3);
    ASSERT_TRUE(a && !a->meshes.empty() && a->meshes[0].source && !a->meshes[0].source->textures.empty());
    sim::Surface *tex = a->meshes[0].source->textures[0];
    sim::ViewSpec spec;
    spec.vessel = "Tex";
    spec.distance = 20, spec.width = 320, spec.height = 180;
    auto centre = [&](std::uint32_t *rgb_out) {
        std::vector<std::uint8_t> rgb;
        std::string err;
        ASSERT_TRUE(sim::RenderView(W(), spec, &rgb, &err)) << err;
        const std::uint8_t *p = &rgb[3 * (90 * 320 + 160)];
        *rgb_out = (static_cast<std::uint32_t>(p[0]) << 16) | (p[1] << 8) | p[2];
    };
    std::uint32_t c = 0;
    centre(&c);
    EXPECT_GT(c >> 16, 200u);
    EXPECT_LT(c & 255, 40u);
    sim::Surface blue;
    blue.name = "viewtest_blue.dds";
    tex->blits.push_back(sim::Surface::Blit{&blue, 0, 0, 0, 0, 8, 8, 0xFFFFFFFFu});
    centre(&c);
    EXPECT_LT(c >> 16, 40u);
    EXPECT_GT(c & 255, 200u);
    blue.blits.push_back(sim::Surface::Blit{tex, 0, 0, 0, 0, 8, 8, 0xFFFFFFFFu});
    centre(&c);
    EXPECT_GT(c & 255, 200u);
    tex->blits.clear();  // the stack surface goes before the world
}

TEST_F(ViewRender, AViewOfAMissingVesselFailsAndWritesNothing)
{
    sim::ViewSpec spec;
    spec.vessel = "Nobody";
    std::string err;
    EXPECT_FALSE(sim::WriteView(W(), spec, "nobody.png", &err));
    EXPECT_NE(err.find("Nobody"), std::string::npos);
    EXPECT_FALSE(std::ifstream("nobody.png").good());
    Create("BallA", "viewball", 100e3);
    spec.vessel = "BallA";
    EXPECT_FALSE(sim::WriteView(W(), spec, "no/such/folder/a.png", &err));  // the write's failure is told
    EXPECT_TRUE(sim::WriteView(W(), spec, "a.png", &err)) << err;
    EXPECT_EQ(ReadFile("a.png").substr(1, 3), "PNG");
}

// A class without a module shows the configuration's MeshName and rests on its TouchdownPoints
// (the heliport: its pad 3 cm above the ground, the points 1.164 m below its origin).
TEST_F(ViewTest, HeliportShowsItsMeshAndRestsOnItsPoints)
{
    Vessel *port = CreateLanded("Heliport", "CorvaneMission/heliport", 0.1, 0.1, 0);
    ASSERT_TRUE(port);
    ASSERT_EQ(port->meshes.size(), 1u);
    EXPECT_EQ(port->meshes[0].file, "CorvaneMission/heliport");
    // Made landed at run time, it stands on its points uncompressed: the placement reads the mass
    // as last updated, and a class without a module never updates it before (Vesselstatus.cpp
    // SetState2 -> Vessel::InitLanded). Measured in the core (the Catch, the heliport made landed by
    // the capsule's call-up): saved with ALT 1.164.
    EXPECT_NEAR(port->Altitude(), 1.164, 2e-4);
    const auto m = sim::PosedMeshes(*port);
    ASSERT_TRUE(m[0]);
    EXPECT_NEAR(At(*m[0], 0, 0).y, -0.97, 1e-4);
}

// The recovery pilot's storyboard: on the catch run each view is taken once, at its event, and
// written as a picture of the run.
class Storyboard : public simtest::HarnessTest {};

TEST_F(Storyboard, ThePilotTakesItsViewsAtItsEvents)
{
    ASSERT_EQ(Fly({"Corvane/Catch"}), 0) << errors;
    const double glide = When("story-3-glide.png"), approach = When("story-4-approach.png"),
                 attached = When("attached Corvane_SRC_Parafoil to HX220"), caught = When("story-5-catch.png"),
                 carry = When("story-6-carry.png"), down = When("landed HX220"), landing = When("story-7-landing.png");
    ASSERT_GT(attached, 0) << timeline;
    EXPECT_GT(glide, 0) << timeline;
    EXPECT_GT(approach, 0);
    EXPECT_LT(approach, attached);
    EXPECT_NEAR(caught - attached, 1.0, 0.05);   // a second after the catch
    EXPECT_NEAR(carry - attached, 90.0, 0.05);   // carrying the load
    EXPECT_NEAR(landing - down, 5.0, 0.05);      // on the pad
    for (const char *f : {"story-3-glide.png", "story-4-approach.png", "story-5-catch.png", "story-6-carry.png",
                          "story-7-landing.png"}) {
        const std::string png = ReadFile(std::string("out/") + f);
        ASSERT_GT(png.size(), 1000u) << f;
        EXPECT_EQ(png.substr(1, 3), "PNG") << f;
        std::istringstream lines(timeline);
        std::string line;
        int times = 0;
        while (std::getline(lines, line)) times += line.find(f) != std::string::npos;
        EXPECT_EQ(times, 1) << f;
    }
}
