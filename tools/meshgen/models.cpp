// models.cpp -- the add-on's vessels built from parametric shapes.
//
// Each mesh keeps the group and material indices the modules animate and switch:
//   cvn_bus1 (bus, mesh 0): 19 tether arm; 1, 7, 8 the umbilical at its end; 2, 9 the cover hinge
//     knuckles; 23, 25, 27, 28 the right solar wing, 24, 26, 29, 30 the left one.
//   cvn_bus2 (capsule on the bus, mesh 1): 0 the capsule; 1-6 the outer cover (a dome in six
//     sectors); 14, 15 the inner cap; 10 and 11-13 the two retention straps.
//   cvn_src_drg: group 2 the drogue canopy with its lines (both scalings shrink it).
//   cvn_src_main: texture 4 the heat shield's (the entry image replaces it).
//   cvn_src_parafoil90: group 5 the canopy (packed by scalings about the origin).
//   hx220: 2, 7, 19 main rotor; 3, 8, 18 tail rotor; 9, 10 the pole; 6, 15 the beacons;
//     material 3 the blades, material 11 the rotor blur.
// The pivots and axes these groups turn about are the modules' own; the comments at each model
// give the numbers the geometry is built around.
#include "models.h"
#include "shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace meshgen {

namespace {

using Prof = std::vector<std::array<double, 2>>;

double Rad(double deg) { return deg * kPi / 180; }

// Deterministic small numbers in [-1, 1] for dents and crumples.
double Jitter(int i, int j, int seed)
{
    std::uint32_t h = static_cast<std::uint32_t>(i) * 73856093u ^ static_cast<std::uint32_t>(j) * 19349663u ^
                      static_cast<std::uint32_t>(seed) * 83492791u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFF) / 32767.5 - 1;
}

Group G(const std::string &label, int material, int texture = 0)
{
    Group g;
    g.label = label;
    g.material = material;
    g.texture = texture;
    return g;
}

// A rod polyline through points.
void Polyline(Group &g, const Frame &f, const std::vector<V> &pts, double r, int sides = 4)
{
    for (size_t i = 0; i + 1 < pts.size(); ++i) Rod(g, f, pts[i], pts[i + 1], r, sides);
}

// A sagging line between a and b: `sag` metres below the straight line at its middle (-y).
std::vector<V> Sag(V a, V b, double sag, int n, V down = {0, -1, 0})
{
    std::vector<V> p;
    for (int i = 0; i <= n; ++i) {
        const double t = static_cast<double>(i) / n;
        p.push_back(Lerp(a, b, t) + down * (4 * sag * t * (1 - t)));
    }
    return p;
}

// ------------------------------------------------------------------------------------------------
// The return capsule, in its own frame: axis z, heat shield toward +z (it flies heat shield first),
// backshell toward -z with the drogue compartment under the lid at z = -0.30. 0.81 m across: a
// 60-degree sphere-cone heat shield with a 0.2 m nose radius, a 45-degree conical backshell.

constexpr double kShoulderR = 0.405, kBackZ = -0.30, kBackR = 0.16;

struct CapsuleParts {
    Group *heat, *back, *band, *top;
};

void Capsule(const CapsuleParts &p, const Frame &f, int segments = 40)
{
    // Heat shield: nose cap, then the cone to the shoulder; a polar texture map seen from the front.
    Prof heat;
    const double rn = 0.2, zn = 0.17, zc = zn - rn;
    heat.push_back({0.39, -0.024});
    for (int i = 6; i >= 0; --i) {
        const double a = Rad(30.0 * i / 6);
        heat.push_back({rn * std::sin(a), zc + rn * std::cos(a)});
    }
    auto polar = [](V l, double, double) {
        return std::array<double, 2>{0.5 + 0.5 * l.x / kShoulderR, 0.5 - 0.5 * l.y / kShoulderR};
    };
    // The cone part runs from the shoulder inward: walking outward-to-inward over the top keeps the
    // outside on the right.
    Revolve(*p.heat, f, heat, segments, 0, 2 * kPi, polar);
    Prof band;
    for (int i = 0; i <= 6; ++i) {
        const double a = Rad(-70 + 140.0 * i / 6);
        band.push_back({0.39 + 0.015 * std::cos(a), -0.047 + 0.023 * std::sin(a)});
    }
    Revolve(*p.band, f, band, segments);
    Revolve(*p.back, f, {{kBackR, kBackZ}, {0.39, -0.07}}, segments);
    // The drogue compartment: floor, wall and rim, seen through the open back once the lid is off.
    Revolve(*p.top, f, {{0, -0.24}, {0.13, -0.24}, {0.13, kBackZ}, {kBackR, kBackZ}}, segments);
}

// The lid over the drogue compartment (capsule frame).
void Lid(Group &g, const Frame &f)
{
    Prof prof;
    for (int i = 0; i <= 5; ++i) {
        const double a = Rad(90.0 * i / 5);
        prof.push_back({(kBackR + 0.005) * std::cos(a), kBackZ - 0.045 * std::sin(a)});
    }
    // Outside (-z) on the right: walk from the apex out to the rim.
    std::reverse(prof.begin(), prof.end());
    Revolve(g, f, prof, 32);
}

// Capsule frame -> a vessel frame where the capsule hangs heat shield down (+y up): the parafoil's
// frame, whose +y is the capsule's -z and +z the capsule's +y.
Frame HangingCapsule(double y0)
{
    Frame f;
    f.origin = {0, y0, 0};
    f.ax = {1, 0, 0};
    f.ay = {0, 0, 1};
    f.az = {0, -1, 0};
    return f;
}

// ------------------------------------------------------------------------------------------------

MeshFile CapsuleMain()
{
    MeshFile m;
    m.groups = {G("heatshield", 1, 4), G("backshell", 2, 2), G("band", 3, 3), G("compartment", 4, 1)};
    Capsule({&m.groups[0], &m.groups[1], &m.groups[2], &m.groups[3]}, Frame{});
    m.materials = {Mat("heatshield", 1, 1, 1, 1, 0.05, 5), Mat("backshell", 1, 1, 1, 1, 0.3, 20),
                   Mat("band", 1, 1, 1, 1, 0.4, 30), Mat("compartment", 0.6, 0.6, 0.6)};
    // Texture 4 is the one the capsule replaces with the entry image (512 x 512).
    m.textures = {"CorvaneMission/cvn_src_heat.dds", "CorvaneMission/cvn_src_back.dds",
                  "CorvaneMission/cvn_src_band.dds", "CorvaneMission/cvn_src1.dds"};
    return m;
}

MeshFile CapsuleLid()
{
    MeshFile m;
    m.groups = {G("lid", 1, 1)};
    Lid(m.groups[0], Frame{});
    m.materials = {Mat("lid", 0.95, 0.95, 0.95, 1, 0.3, 20)};
    m.textures = {"CorvaneMission/cvn_src_back.dds"};
    return m;
}

// The drogue (capsule frame): a disc-gap-band canopy 2.2 m across whose skirt is 3.2 m behind the
// capsule, on 16 lines from a confluence 1.2 m behind it and a riser to the back face. The stowed
// drogue is this group scaled to 1 % about (0, 0, -0.5735), just behind the lid.
MeshFile Drogue()
{
    MeshFile m;
    m.groups = {G("mortar", 1), G("mortar_cap", 1), G("canopy", 2)};
    Revolve(m.groups[0], Frame{}, {{0.07, -0.295}, {0.07, -0.245}, {0, -0.245}}, 16);
    Disc(m.groups[1], At({0, 0, -0.296}), 0.075, 16, true);
    Group &c = m.groups[2];
    const double R = 1.1, skirt = -3.2, conf = -1.2;
    Rod(c, Frame{}, {0, 0, kBackZ}, {0, 0, conf}, 0.012, 5);
    const int lines = 16;
    for (int k = 0; k < lines; ++k) {
        const double a = 2 * kPi * (k + 0.5) / lines;
        Rod(c, Frame{}, {0, 0, conf}, {R * std::cos(a), R * std::sin(a), skirt}, 0.006, 3);
    }
    // Band: a short cylinder; gap; disc: a shallow dome with a vent. Two-sided cloth.
    Prof band = {{R, skirt}, {R * 1.01, skirt - 0.35}};
    Prof disc;
    for (int i = 0; i <= 8; ++i) {
        const double t = i / 8.0;
        const double r = R * (1.02 - 0.92 * t);
        disc.push_back({r, skirt - 0.5 - 0.55 * std::sin(t * kPi / 2)});
    }
    Group cloth = G("", 2);
    Revolve(cloth, Frame{}, band, 32);
    Revolve(cloth, Frame{}, disc, 32);
    // The inside faces too (the cloth is seen from the capsule).
    Group inner = cloth;
    for (Vertex &v : inner.vtx) v.n = v.n * -1;
    inner.tri.clear();
    for (const auto &t : cloth.tri) inner.AddTri(t[0], t[2], t[1]);
    c.Append(cloth, Frame{});
    c.Append(inner, Frame{});
    m.materials = {Mat("mortar", 0.35, 0.35, 0.38, 1, 0.3, 20), Mat("canopy", 0.95, 0.42, 0.08, 1, 0.05, 5)};
    return m;
}

// The crashed capsule: landed, +y up, the ground at the touchdown points' y = -0.3. The capsule lies
// nose down at 50 degrees in a crater of its own making, its shell dented. The host puts this mesh
// in the first free slot, mesh 0, where the capsule's drogue animations scale group 2 to 1 % about
// (0, 0, -0.5735) while the drogue is stowed: group 2 holds only small debris, which may shrink away.
MeshFile Crash()
{
    MeshFile m;
    m.groups = {G("crater", 3), G("wreck_shell", 2, 2), G("debris", 2, 2), G("wreck_shield", 1, 1)};
    Frame f = Rotated({0, 0, 0}, {1, 0, 0}, Rad(50));
    f.origin = {0, -0.28, 0.05};
    Group band = G("", 2, 2), top = G("", 2, 2);
    Capsule({&m.groups[3], &m.groups[1], &band, &top}, f, 28);
    m.groups[1].Append(band, Frame{});
    m.groups[1].Append(top, Frame{});
    // Dents: the shell is pushed in where it struck, by a deterministic rumple.
    for (int gi : {1, 3}) {
        for (Vertex &v : m.groups[gi].vtx) {
            const double d = 0.03 * Jitter(static_cast<int>(std::lround(v.p.x * 40)), static_cast<int>(std::lround(v.p.z * 40)), 3 + gi);
            const double low = std::max(0.0, -0.1 - v.p.y) * 0.25;
            v.p = v.p + v.n * (d - low);
        }
    }
    // Crater rim and ejecta about the impact (axis y): an outer slope rising to a lip, then down
    // into the hole.
    Frame up;
    up.ax = {1, 0, 0};
    up.ay = {0, 0, 1};
    up.az = {0, 1, 0};
    Prof crater = {{0.5, -0.45}, {0.75, -0.25}, {0.95, -0.16}, {1.3, -0.24}, {2.0, -0.29}};
    std::reverse(crater.begin(), crater.end());
    Revolve(m.groups[0], up, crater, 36);
    for (Vertex &v : m.groups[0].vtx)
        v.p.y += 0.04 * Jitter(static_cast<int>(std::lround(v.p.x * 10)), static_cast<int>(std::lround(v.p.z * 10)), 9);
    // The crater's floor, dark churned soil over the hole.
    Frame floor = up;
    floor.origin = {0, -0.285, 0};
    Disc(m.groups[0], floor, 0.8, 24, false);
    // Shell fragments thrown about.
    for (int k = 0; k < 7; ++k) {
        const double a = 2.4 * k + 0.3, r = 1.1 + 0.5 * Jitter(k, 1, 13);
        Frame piece = Rotated({0, 0, 0}, {Jitter(k, 2, 14), 1, Jitter(k, 3, 15)}, a);
        piece.origin = {r * std::cos(a), -0.2, r * std::sin(a)};
        Box(m.groups[2], piece, {0.06 + 0.03 * Jitter(k, 4, 16), 0.01, 0.04});
    }
    m.materials = {Mat("shield", 0.9, 0.9, 0.9), Mat("shell", 0.8, 0.78, 0.74), Mat("soil", 0.42, 0.33, 0.24, 1, 0.02, 2)};
    m.textures = {"CorvaneMission/cvn_src2.dds", "CorvaneMission/cvn_src_back.dds"};
    return m;
}

// ------------------------------------------------------------------------------------------------
// The parafoil capsule (+y up, +z the flight direction). The capsule hangs heat shield down with
// its nose at the touchdown points' height (y = -0.3). A riser runs up to the confluence 1.8 m
// above the origin; from there the suspension lines fan out to a ram-air canopy of nine cells,
// 12 m span, 4.5 m chord, arched so that its centre is 10.2 m up and its tips 8.2 m. From the
// canopy's top an engagement line rises to the capture ring, 13 m above the origin, where the
// helicopter's pole takes it (the capture point lies on the ring's lower side): the helicopter,
// 14 to 18 m above the capsule at the catch, flies clear above the canopy. The ring and its line
// belong to the canopy group; scaled about the origin by (0.05, 0.04, 0.05) they pack into a
// bundle half a metre above the capsule.

constexpr double kCapture = 13.0, kConfluence = 1.8;
constexpr int kCells = 9;
constexpr double kSpan = 12.0, kChord = 4.5, kArcR = 10.0, kTop = 10.2, kLead = 2.0;

// Point of the canopy at span share s in [-1, 1] and section point (x along the chord from the
// leading edge, y up from the chord line).
V CanopyPoint(double s, double cx, double cy)
{
    const double half = kSpan / 2;
    const double a = std::asin(s * half / kArcR);
    const double x = kArcR * std::sin(a), y = kTop - kArcR * (1 - std::cos(a));
    // The section's "up" is the arc's outward normal.
    const V up{std::sin(a), std::cos(a), 0};
    return V{x, y, kLead - cx * kChord} + up * (cy * kChord);
}

void RamAirCanopy(Group &g)
{
    const auto sec = AirfoilSection(0.16, 14, 0.03);
    const int per_cell = 4, n = kCells * per_cell;
    std::vector<std::vector<V>> rows;
    for (int i = 0; i <= n; ++i) {
        const double s = -1 + 2.0 * i / n;
        const double billow = std::sin(kPi * (i % per_cell) / per_cell);  // cloth puffs between ribs
        std::vector<V> row;
        for (const auto &p : sec) {
            const double puff = billow * 0.012 * (p[1] >= 0 ? 1 : -0.5) * std::sin(kPi * std::min(1.0, p[0] * 1.3));
            row.push_back(CanopyPoint(s, p[0], p[1] + puff));
        }
        rows.push_back(row);
    }
    // u across the span (one stripe per cell in the texture), v around the section.
    auto uv = [&](V, double si, double tj) { return std::array<double, 2>{si * kCells / 9.0, tj}; };
    Grid(g, Frame{}, rows, true, nullptr, false, uv);
    // Normals away from the section's chord line at that span.
    Reorient(g, [](V p) {
        const double s = std::max(-1.0, std::min(1.0, p.x / (kSpan / 2)));
        // Inside the section, back from the nose and ahead of the tail, so that the nose and the
        // tail face forward and aft.
        return CanopyPoint(s, std::max(0.12, std::min(0.85, (kLead - p.z) / kChord)), 0.03);
    });
    // Stabiliser panels closing the tips.
    for (int tip = 0; tip < 2; ++tip) {
        const std::vector<V> &row = rows[tip ? n : 0];
        V c{0, 0, 0};
        for (const V &p : row) c = c + p;
        c = c * (1.0 / row.size());
        const int base = g.Add({c, {tip ? 1.0 : -1.0, 0, 0}, 0.5, 0.5});
        for (size_t k = 0; k < row.size(); ++k) g.Add({row[k], {tip ? 1.0 : -1.0, 0, 0}, 0.5, 0.5});
        for (size_t k = 0; k < row.size(); ++k)
            g.AddTri(base, base + 1 + static_cast<int>(k), base + 1 + static_cast<int>((k + 1) % row.size()));
    }
}

// The lines from the capture ring to the canopy's lower surface: four rows along the chord at
// every rib of one half (x < 0 when `left`).
void SuspensionLines(Group &g, bool left)
{
    const V conf{0, kConfluence, 0};
    for (int i = 0; i <= kCells; ++i) {
        const double s = -1 + 2.0 * i / kCells;
        if (left ? s > 0.01 : s < -0.01) continue;
        for (double cx : {0.05, 0.3, 0.55, 0.85}) {
            const V p = CanopyPoint(s, cx, -0.03);
            Rod(g, Frame{}, conf, p, 0.022, 3);
        }
    }
}

// The capture ring, its lowest point on the capture point 13 m up, on a line from `from`.
void CaptureRing(Group &g, V from)
{
    Rod(g, Frame{}, from, {0, kCapture, 0}, 0.035, 5);
    const int n = 14;
    std::vector<V> ring;
    for (int k = 0; k <= n; ++k) {
        const double a = 2 * kPi * k / n;
        ring.push_back({0.35 * std::sin(a), kCapture + 0.35 - 0.35 * std::cos(a), 0});
    }
    Polyline(g, Frame{}, ring, 0.035, 5);
}

// The riser from the capsule's back up to `top`, with a short bridle fork at the capsule.
void Riser(Group &g, double capsule_top, double top)
{
    Rod(g, Frame{}, {0, capsule_top + 0.6, 0}, {0, top, 0}, 0.04, 5);
    for (double x : {-0.12, 0.12}) Rod(g, Frame{}, {x, capsule_top - 0.05, 0}, {0, capsule_top + 0.6, 0}, 0.012, 4);
}

std::vector<Material> ParafoilMaterials()
{
    return {Mat("heatshield", 1, 1, 1, 1, 0.05, 5), Mat("backshell", 1, 1, 1, 1, 0.3, 20),
            Mat("rigging", 0.85, 0.85, 0.8, 1, 0.1, 10), Mat("canopy", 1, 1, 1, 1, 0.1, 10)};
}
std::vector<std::string> ParafoilTextures()
{
    return {"CorvaneMission/cvn_src2.dds", "CorvaneMission/cvn_src_back.dds", "CorvaneMission/cvn_canopy.dds"};
}

void HangingBody(Group &heat, Group &back)
{
    Group band = G("", 2, 2), top = G("", 2, 2);
    Capsule({&heat, &back, &band, &top}, HangingCapsule(-0.13), 32);
    back.Append(band, Frame{});
    back.Append(top, Frame{});
}

MeshFile ParafoilFlying()
{
    MeshFile m;
    m.groups = {G("heatshield", 1, 1), G("backshell", 2, 2), G("riser", 3), G("lines_left", 3), G("lines_right", 3),
                G("canopy", 4, 3)};
    HangingBody(m.groups[0], m.groups[1]);
    Riser(m.groups[2], 0.17, kConfluence);
    SuspensionLines(m.groups[3], true);
    SuspensionLines(m.groups[4], false);
    RamAirCanopy(m.groups[5]);
    CaptureRing(m.groups[5], CanopyPoint(0, 0.35, 0.1));
    for (Vertex &v : m.groups[5].vtx)
        if (v.p.y > kTop + 0.5) v.u = 0.5 / 9, v.v = 0.5;  // the ring in the canopy's orange
    m.materials = ParafoilMaterials();
    m.textures = ParafoilTextures();
    return m;
}

// Caught: the helicopter holds the ring; the canopy has collapsed and hangs from the engagement
// line as a long crumpled bundle, the gathered lines below it down to the riser and the capsule.
MeshFile ParafoilCaught()
{
    MeshFile m;
    m.groups = {G("heatshield", 1, 1), G("backshell", 2, 2), G("rigging", 3), G("canopy_bundle", 4, 3)};
    HangingBody(m.groups[0], m.groups[1]);
    Riser(m.groups[2], 0.17, kConfluence);
    CaptureRing(m.groups[2], {0, kCapture - 1.0, 0});
    const double top = kCapture - 1.0, bottom = 5.0;
    // Slack lines gathered from under the bundle to the confluence.
    for (int k = 0; k < 8; ++k) {
        const double a = 2 * kPi * k / 8;
        Polyline(m.groups[2], Frame{},
                 Sag({0.3 * std::cos(a), bottom + 0.3, 0.3 * std::sin(a)}, {0, kConfluence, 0}, 0.25, 4, {std::cos(a), 0, std::sin(a)}),
                 0.02, 3);
    }
    std::vector<std::vector<V>> rows;
    const int ni = 14, nj = 10;
    for (int i = 0; i <= ni; ++i) {
        const double t = static_cast<double>(i) / ni;
        const double y = top - (top - bottom) * t, rx = 0.15 + 0.5 * std::sin(kPi * std::min(1.0, t * 1.1)),
                     rz = 0.12 + 0.3 * std::sin(kPi * t);
        std::vector<V> row;
        for (int j = 0; j < nj; ++j) {
            const double a = 2 * kPi * j / nj, w = 1 + 0.25 * Jitter(i, j, 17);
            row.push_back({rx * w * std::cos(a) + 0.2 * std::sin(5 * t), y, rz * w * std::sin(a)});
        }
        rows.push_back(row);
    }
    Grid(m.groups[3], Frame{}, rows, true, nullptr, false, [](V, double s, double t) {
        return std::array<double, 2>{t, s};
    });
    Reorient(m.groups[3], [=](V p) { return V{0.2 * std::sin(5 * (top - p.y) / (top - bottom)), p.y, 0}; });
    m.materials = ParafoilMaterials();
    m.textures = ParafoilTextures();
    return m;
}

// Landed: the capsule on the ground, the canopy spread flat behind it with its lines.
MeshFile ParafoilLanded()
{
    MeshFile m;
    m.groups = {G("heatshield", 1, 1), G("backshell", 2, 2), G("canopy_flat", 4, 3)};
    HangingBody(m.groups[0], m.groups[1]);
    std::vector<std::vector<V>> rows;
    const int ni = 24, nj = 8;
    const double ground = -0.28;
    for (int i = 0; i <= ni; ++i) {
        const double s = -1 + 2.0 * i / ni;
        std::vector<V> row;
        for (int j = 0; j <= nj; ++j) {
            const double c = static_cast<double>(j) / nj;
            const double wrinkle = 0.06 * (1 + Jitter(i, j, 23)) + 0.1 * std::sin(kPi * c) * std::fabs(std::sin(3 * s));
            row.push_back({s * kSpan * 0.45 + 0.4 * std::sin(2 * c), ground + wrinkle, -9.0 - kChord * c + 0.8 * s * s});
        }
        rows.push_back(row);
    }
    Grid(m.groups[2], Frame{}, rows, false, nullptr, false,
         [](V, double s, double t) { return std::array<double, 2>{s, t}; }, true);
    // Lines lying on the ground from the capsule to the canopy's leading edge, as part of the cloth group.
    Group lines = G("", 4, 3);
    for (int k = 0; k <= 8; ++k) {
        const double s = -1 + 2.0 * k / 8;
        Rod(lines, Frame{}, {0, ground + 0.06, -0.3}, {s * kSpan * 0.45, ground + 0.06, -9.0 + 0.8 * s * s}, 0.025, 3);
    }
    for (Vertex &v : lines.vtx) v.u = 0.02, v.v = 0.02;
    m.groups[2].Append(lines, Frame{});
    m.materials = ParafoilMaterials();
    m.textures = ParafoilTextures();
    return m;
}

// ------------------------------------------------------------------------------------------------
// The bus (its frame: the capsule bay on the +z face, engines on -z). Body 1.7 x 0.9 x 0.57 m in
// gold foil; the capsule sits in a ring on the +z deck, its heat shield in the bay, its centre
// 0.2796 m ahead of the origin and turned half a turn about y.
//
// Moving parts and the turns the bus module gives them:
//   solar wings: hinges at (+-1.061, 0, -0.146), 113.9994 degrees about +-y. Stowed, each wing lies
//     flat along the body's side, its cells facing the body; deployed it stands out sideways, swept
//     back 24 degrees, the cells facing +z.
//   tether arm (group 19): from (0.43, 0.492, -0.022), 72 degrees about (-1, 1, 0)/sqrt2: the arm
//     swings outward; the umbilical (1, 7, 8) and the hinge knuckles (2, 9) turn 9 degrees more
//     about (0.531, 0.593, 0.319).
//   outer cover (bus2 1-6 with bus1 2, 9): a dome on the bay whose hinge runs along (-1, 1, 0)
//     through (0.53, 0.619, 0.383); half a turn lays it upside down beside the bus.
//   inner cap (bus2 14, 15): hinge along (1, -1, 0) through (-0.442, -0.351, 0.506); half a turn.
//   retention straps (bus2 10 and 11-13): pivot (0.196, 0.196) on an axis along z, a quarter
//     turn each, in opposite senses, so that both swing clear of the capsule.

constexpr double kBayZ = 0.12, kCapsuleZ = 0.2796;

Frame CapsuleOnBus()
{
    Frame f;
    f.origin = {0, 0, kCapsuleZ};
    f.ax = {-1, 0, 0};
    f.ay = {0, 1, 0};
    f.az = {0, 0, -1};
    return f;
}

void SolarWing(Group &yoke, Group &back, Group &cellsA, Group &cellsB, double side)
{
    const double xh = 1.061 * side, x = 1.075 * side, h = 0.42;
    // Yoke: two arms from the hinge to the first panel.
    for (double y : {-0.3, 0.3}) Rod(yoke, Frame{}, {xh, y, -0.146}, {x, y, 0.16}, 0.015, 5);
    Rod(yoke, Frame{}, {xh, -0.32, -0.146}, {xh, 0.32, -0.146}, 0.02, 6);
    const double za[2] = {0.16, 0.99}, zb[2] = {0.97, 1.8};
    Group *cells[2] = {&cellsA, &cellsB};
    for (int p = 0; p < 2; ++p) {
        // Cells on the side facing the body (-x for the right wing), the back on the other.
        const V a{x, -h, za[p]}, b{x, h, za[p]}, c{x, h, zb[p]}, d{x, -h, zb[p]};
        Group face = G("", 0), rear = G("", 0);
        Quad(face, Frame{}, a, b, c, d, false, {0, 1, 1, 1, 1, 0, 0, 0});
        const V want{-side, 0, 0};
        if (Dot(face.vtx[0].n, want) < 0) {
            face = G("", 0);
            Quad(face, Frame{}, a, d, c, b, false, {0, 1, 0, 0, 1, 0, 1, 1});
        }
        cells[p]->Append(face, At({0, 0, 0}));
        // Frame edge and back skin, 2 cm behind.
        const V off{0.02 * side, 0, 0};
        Quad(rear, Frame{}, a + off, b + off, c + off, d + off, false, {0, 0, 1, 0, 1, 1, 0, 1});
        if (Dot(rear.vtx[0].n, want) > 0) {
            rear = G("", 0);
            Quad(rear, Frame{}, a + off, d + off, c + off, b + off, false, {0, 0, 0, 1, 1, 1, 1, 0});
        }
        back.Append(rear, Frame{});
        // Frame tubes round the panel's edge.
        const V e = off * 0.5;
        Polyline(back, Frame{}, {a + e, b + e, c + e, d + e, a + e}, 0.012, 4);
    }
}

MeshFile Bus1()
{
    MeshFile m;
    const char *labels[31] = {"body",        "umbilical_plug", "hinge_a",   "antenna_dish", "antenna_feed",
                              "engines",     "tank_dome",      "umbilical", "umbilical_socket", "hinge_b",
                              "rcs_pp",      "rcs_pm",         "rcs_mp",    "rcs_mm",       "star_tracker",
                              "bay_ring",    "bay_floor",      "edge_rails", "sun_sensors",  "tether_arm",
                              "lga",         "harness",        "avionics",  "wing_r_yoke",  "wing_l_yoke",
                              "wing_r_back", "wing_l_back",    "wing_r_cells_a", "wing_r_cells_b", "wing_l_cells_a",
                              "wing_l_cells_b"};
    for (int i = 0; i < 31; ++i) m.groups.push_back(G(labels[i], 2));
    auto &g = m.groups;
    // Materials: 1 foil, 2 grey metal, 3 dark, 4 solar cells, 5 white, 6 panel back.
    g[0].material = 1, g[0].texture = 1;
    for (int i : {27, 28, 29, 30}) g[i].material = 4, g[i].texture = 2;
    for (int i : {25, 26}) g[i].material = 6;
    for (int i : {3, 15}) g[i].material = 5;
    for (int i : {5, 14, 16}) g[i].material = 3;

    // Body: a chamfered box, the deck at z = 0.12.
    const double w = 0.85, hh = 0.45, ch = 0.1;
    Prof oct = {{-w + ch, -hh}, {w - ch, -hh}, {w, -hh + ch}, {w, hh - ch}, {w - ch, hh}, {-w + ch, hh}, {-w, hh - ch}, {-w, -hh + ch}};
    Extrude(g[0], Frame{}, oct, -0.45, kBayZ, [](V l, double, double) {
        return std::array<double, 2>{l.x * 1.5, l.y * 1.5 + l.z * 1.5};
    });
    // Body sides get foil uv along their length too.
    for (Vertex &v : g[0].vtx)
        if (std::fabs(v.n.z) < 0.5) v.u = (v.p.x + v.p.y) * 1.5, v.v = v.p.z * 1.5;
    // Hinge brackets for the wings.
    for (double s : {-1.0, 1.0}) Box(g[0], At({0.955 * s, 0, -0.146}), {0.106, 0.05, 0.04});
    // Bay ring and floor.
    Revolve(g[15], Frame{}, {{0.47, kBayZ - 0.01}, {0.47, 0.30}, {0.44, 0.30}, {0.44, kBayZ + 0.005}}, 40);
    Disc(g[16], At({0, 0, kBayZ + 0.004}), 0.44, 32, false);
    // High-gain antenna on the -y face.
    Frame dish;
    dish.origin = {0, -0.62, -0.12};
    dish.ax = {1, 0, 0};
    dish.ay = {0, 0, 1};
    dish.az = {0, -1, 0};
    Prof bowl;
    for (int i = 0; i <= 6; ++i) {
        const double r = 0.34 * i / 6;
        bowl.push_back({r, 0.4 * r * r});
    }
    Group inner = G("", 5), outer = G("", 5);
    Revolve(outer, dish, bowl, 32);
    Prof rev(bowl.rbegin(), bowl.rend());
    Revolve(inner, dish, rev, 32);
    g[3].Append(outer, Frame{});
    g[3].Append(inner, Frame{});
    Rod(g[4], Frame{}, {0, -0.45, -0.12}, {0, -0.62, -0.12}, 0.04, 8);
    for (int k = 0; k < 3; ++k) {
        const double a = 2 * kPi * k / 3 + 0.3;
        Rod(g[4], Frame{}, {0.33 * std::cos(a), -0.62 - 0.04, -0.12 + 0.33 * std::sin(a)}, {0, -0.86, -0.12}, 0.008, 4);
    }
    // Main engines: four bells on the -z face at (+-0.817, +-0.043, -0.45).
    for (double x : {-0.817, 0.817})
        for (double y : {-0.043, 0.043}) {
            Frame e = At({x * 0.93, y * 3, -0.45});
            Revolve(g[5], e, {{0.035, -0.13}, {0.03, -0.07}, {0.02, -0.03}, {0.025, 0}}, 12);
        }
    // Propellant tank dome on the -z face.
    Prof dome;
    for (int i = 0; i <= 6; ++i) {
        const double a = Rad(90.0 * i / 6);
        dome.push_back({0.3 * std::cos(a), -0.45 - 0.12 * std::sin(a)});
    }
    Prof dwalk(dome.rbegin(), dome.rend());
    std::reverse(dwalk.begin(), dwalk.end());
    Revolve(g[6], Frame{}, dwalk, 32);
    // Attitude thruster pods at the corners of the -z end.
    int pod = 10;
    for (double x : {1.0, -1.0})
        for (double y : {1.0, -1.0}) {
            Box(g[pod], At({0.85 * x, 0.4 * y, -0.43}), {0.04, 0.05, 0.04});
            Rod(g[pod], Frame{}, {0.887 * x, 0.4 * y, -0.43}, {0.887 * x, 0.4 * y, -0.5}, 0.012, 6);
            Rod(g[pod], Frame{}, {0.86 * x, 0.44 * y, -0.394}, {0.86 * x, 0.5 * y, -0.394}, 0.012, 6);
            ++pod;
        }
    // Star trackers on the +y face.
    for (double x : {-0.5, -0.3}) {
        Box(g[14], At({x, 0.5, -0.25}), {0.05, 0.05, 0.05});
        Revolve(g[14], Frame{}.Of(Along({x, 0.55, -0.25}, {0, 1, 0}, {1, 0, 0})), {{0.04, 0}, {0.05, 0.08}, {0.045, 0.08}}, 12);
    }
    // Edge rails along the chamfers.
    for (const auto &p : oct) Rod(g[17], Frame{}, {p[0], p[1], -0.45}, {p[0], p[1], kBayZ}, 0.012, 4);
    // Sun sensors on the deck corners.
    for (double x : {-0.7, 0.7}) Box(g[18], At({x, -0.35, kBayZ + 0.03}), {0.04, 0.04, 0.03});
    // Low-gain antenna on the -z face.
    Rod(g[20], Frame{}, {-0.5, 0.25, -0.45}, {-0.5, 0.25, -0.7}, 0.01, 5);
    Disc(g[20], Frame{}.Of(Along({-0.5, 0.25, -0.7}, {0, 0, -1}, {1, 0, 0})), 0.06, 12, true);
    // Harness run and avionics boxes on the deck.
    Box(g[21], At({-0.62, 0.2, kBayZ + 0.025}), {0.15, 0.05, 0.025});
    Box(g[22], At({0.62, -0.1, kBayZ + 0.05}), {0.12, 0.18, 0.05});

    // Tether arm and umbilical.
    const V base{0.43, 0.492, -0.022}, top{0.531, 0.593, 0.319};
    Box(g[19], At({0.43, 0.47, -0.022}), {0.04, 0.025, 0.04});
    Rod(g[19], Frame{}, base, top, 0.02, 6);
    Box(g[1], At(top), {0.03, 0.03, 0.03});
    Polyline(g[7], Frame{}, Sag(top, {0.25, 0.26, 0.41}, 0.03, 6, {0, 0, -1}), 0.01, 5);
    Box(g[8], At({0.25, 0.26, 0.41}), {0.025, 0.025, 0.025});
    // Cover hinge knuckles on the hinge line through (0.53, 0.619, 0.383), along (-1, 1, 0).
    const V hinge{0.53, 0.619, 0.383}, along = Unit({-1, 1, 0});
    Rod(g[2], Frame{}, hinge - along * 0.16, hinge - along * 0.06, 0.022, 8);
    Rod(g[9], Frame{}, hinge + along * 0.06, hinge + along * 0.16, 0.022, 8);

    SolarWing(g[23], g[25], g[27], g[28], 1);
    SolarWing(g[24], g[26], g[29], g[30], -1);
    m.materials = {Mat("foil", 1, 1, 1, 1, 0.6, 30), Mat("metal", 0.62, 0.63, 0.66, 1, 0.5, 30),
                   Mat("dark", 0.18, 0.18, 0.2, 1, 0.3, 20), Mat("cells", 1, 1, 1, 1, 0.7, 40),
                   Mat("white", 0.92, 0.92, 0.9, 1, 0.3, 20), Mat("panel_back", 0.55, 0.55, 0.58, 1, 0.2, 10)};
    m.textures = {"CorvaneMission/cvn_foil.dds", "CorvaneMission/cvn_solar.dds"};
    return m;
}

MeshFile Bus2()
{
    MeshFile m;
    const char *labels[16] = {"capsule", "cover_1", "cover_2", "cover_3", "cover_4", "cover_5", "cover_6", "spring_1",
                              "spring_2", "spring_3", "strap_a", "strap_b", "strap_b_pad", "strap_b_pivot", "cap_1", "cap_2"};
    for (int i = 0; i < 16; ++i) m.groups.push_back(G(labels[i], 5));
    auto &g = m.groups;
    // The capsule as it sits on the bus.
    Group heat = G("", 1, 4), back = G("", 2, 2), band = G("", 3, 3), top = G("", 2, 1);
    Capsule({&heat, &back, &band, &top}, CapsuleOnBus(), 40);
    // One group, so one texture: the backshell, which is what shows once the covers are open.
    g[0].material = 2, g[0].texture = 2;
    g[0].Append(back, Frame{});
    g[0].Append(top, Frame{});
    g[0].Append(band, Frame{});
    g[0].Append(heat, Frame{});
    // Outer cover: a dome of radius 0.5 on the hinge height, six sectors (group 1 holds the hinge arm).
    Prof domep;
    for (int i = 0; i <= 8; ++i) {
        const double a = Rad(90.0 * i / 8);
        domep.push_back({0.5 * std::cos(a), 0.383 + 0.42 * std::sin(a)});
    }
    for (int k = 0; k < 6; ++k) {
        Group &s = g[1 + k];
        s.material = 4;
        const double a0 = Rad(60.0 * k - 15), a1 = Rad(60.0 * (k + 1) - 15);
        Revolve(s, Frame{}, domep, 8, a0, a1);
        // Its inner face, seen when it lies open.
        Group in = G("", 4);
        Prof rev(domep.rbegin(), domep.rend());
        Frame shrink = Scaled({0, 0, 0.383 * 0.01}, 0.99, 0.99, 0.99);
        Revolve(in, shrink, rev, 8, a0, a1);
        s.Append(in, Frame{});
    }
    // Hinge arm from the rim to the knuckles.
    Rod(g[1], Frame{}, {0.35, 0.35, 0.39}, {0.53, 0.619, 0.383}, 0.02, 6);
    // Separation springs at the shoulder.
    for (int k = 0; k < 3; ++k) {
        const double a = Rad(90 + 120.0 * k);
        Revolve(g[7 + k], At({0.43 * std::cos(a), 0.43 * std::sin(a), 0.22}), {{0.03, 0}, {0.03, 0.08}, {0, 0.08}}, 10);
        g[7 + k].material = 3;
    }
    // Retention straps across the capsule's back at z = 0.565, pivot (0.196, 0.196).
    const double zs = 0.565;
    Box(g[10], At({0.196, -0.06, zs}), {0.025, 0.26, 0.008});
    Box(g[10], At({0.196, -0.32, zs - 0.02}), {0.04, 0.03, 0.025});
    Box(g[11], At({-0.06, 0.196, zs + 0.018}), {0.26, 0.025, 0.008});
    Box(g[12], At({-0.32, 0.196, zs - 0.005}), {0.03, 0.04, 0.025});
    Revolve(g[13], At({0.196, 0.196, zs - 0.02}), {{0.035, 0}, {0.035, 0.05}, {0, 0.05}}, 12);
    for (int i : {10, 11, 12, 13}) g[i].material = 3;
    // Inner cap: a cone over the capsule's back, rim at the hinge height 0.506, in two halves.
    for (int k = 0; k < 2; ++k) {
        Group &c = g[14 + k];
        c.material = 5;
        const double a0 = Rad(45 + 180.0 * k), a1 = Rad(225 + 180.0 * k);
        Revolve(c, Frame{}, {{0.42, 0.506}, {0.36, 0.56}, {0.0, 0.74}}, 12, a0, a1);
        Revolve(c, Frame{}, {{0.0, 0.735}, {0.355, 0.555}, {0.415, 0.503}}, 12, a0, a1);
    }
    Rod(g[14], Frame{}, {-0.3, -0.3, 0.51}, {-0.442, -0.351, 0.506}, 0.018, 6);
    m.materials = {Mat("heatshield", 1, 1, 1), Mat("backshell", 1, 1, 1, 1, 0.3, 20), Mat("band", 1, 1, 1, 1, 0.4, 30),
                   Mat("cover", 0.88, 0.88, 0.86, 1, 0.4, 20), Mat("cap", 0.95, 0.95, 0.95, 1, 0.3, 20)};
    m.materials[2] = Mat("dark", 0.25, 0.25, 0.28, 1, 0.3, 20);
    m.textures = {"CorvaneMission/cvn_src_heat.dds", "CorvaneMission/cvn_src_back.dds",
                  "CorvaneMission/cvn_src_band.dds", "CorvaneMission/cvn_src1.dds"};
    return m;
}

// ------------------------------------------------------------------------------------------------
// The recovery helicopter (+z forward, +y up; the skids' soles at y = -1.27 under the touchdown
// points). Main rotor: 4 blades of 4.3 m radius about the axis (x, z) = (0, 0.975), turned about
// +y; tail rotor: 2 blades of 0.7 m radius on the right of the boom end, about the x axis through
// (y, z) = (0.13, -3.931). The pole under the nose: the outer tube (9) swings 140 degrees about x
// through (0, -1.091, 1.57); the inner tube (10) first slides 1.3 m forward (the 0.65 m
// translation reaches its group twice: once as its own component, once passed on to its child,
// the swing, which names the same group), then swings 140 degrees about (0, -1.091, 1.57). The
// hook sits 4.615 m from that pivot once slid out (z = 4.885 at rest), so that swung it lies on
// the point the module carries the load by, (0, -4.04, -1.98) (its own pivot is (0, -1.217,
// 1.241); the two swings differ, the points meet only at the end). Beacons: red on the fin top (0, 1.216, -4.875), white under the
// belly (0, -0.8, 0).

struct Station {
    double z, w, yb, yt;
};

// A superellipse cross-section point of the fuselage at angle a (0 at the belly, going up the
// right side x > 0).
V Section(const Station &s, double a, double ex = 2.6)
{
    const double c = -std::cos(a), sn = std::sin(a);
    auto sp = [&](double v) { return (v < 0 ? -1 : 1) * std::pow(std::fabs(v), 2 / ex); };
    const double yc = 0.5 * (s.yt + s.yb), hy = 0.5 * (s.yt - s.yb);
    return {s.w * sp(sn), yc + hy * sp(c), s.z};
}

void Fuselage(Group &body, Group &glass)
{
    const std::vector<Station> st = {{-1.3, 0.36, -0.35, 0.6},  {-0.9, 0.62, -0.7, 0.85}, {-0.3, 0.76, -0.85, 0.93},
                                     {0.5, 0.78, -0.86, 0.93},   {1.2, 0.76, -0.84, 0.86}, {1.7, 0.68, -0.78, 0.66},
                                     {2.1, 0.54, -0.68, 0.38},  {2.4, 0.34, -0.55, 0.06}, {2.58, 0.1, -0.38, -0.16}};
    const int nj = 36;
    std::vector<std::vector<V>> rows;
    // Interpolate stations smoothly (Catmull-Rom) to 4 rows per interval.
    auto at = [&](int i) { return st[std::max(0, std::min(static_cast<int>(st.size()) - 1, i))]; };
    for (size_t i = 0; i + 1 < st.size(); ++i)
        for (int k = 0; k < 4; ++k) {
            const double t = k / 4.0;
            auto cr = [&](double p0, double p1, double p2, double p3) {
                return 0.5 * (2 * p1 + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t * t + (-p0 + 3 * p1 - 3 * p2 + p3) * t * t * t);
            };
            const Station a = at(static_cast<int>(i) - 1), b = at(static_cast<int>(i)), c = at(static_cast<int>(i) + 1), d = at(static_cast<int>(i) + 2);
            Station s{cr(a.z, b.z, c.z, d.z), cr(a.w, b.w, c.w, d.w), cr(a.yb, b.yb, c.yb, d.yb), cr(a.yt, b.yt, c.yt, d.yt)};
            std::vector<V> row;
            for (int j = 0; j < nj; ++j) row.push_back(Section(s, 2 * kPi * j / nj));
            rows.push_back(row);
        }
    {
        std::vector<V> row;
        for (int j = 0; j < nj; ++j) row.push_back(Section(st.back(), 2 * kPi * j / nj));
        rows.push_back(row);
    }
    // Each quad goes to the glazing when it lies in the cockpit's windows: ahead of z = 0.9, above
    // a sill that descends toward the nose.
    const int ni = static_cast<int>(rows.size());
    auto glazed = [](V p) {
        const double sill = 0.05 - 0.45 * std::max(0.0, p.z - 1.6);
        return p.z > 0.95 && p.y > sill && !(std::fabs(p.x) < 0.06 && p.z < 2.0 && p.y > 0.55);
    };
    const V centre{0, 0.05, 0.6};
    for (int i = 0; i + 1 < ni; ++i)
        for (int j = 0; j < nj; ++j) {
            const V q[4] = {rows[i][j], rows[i + 1][j], rows[i + 1][(j + 1) % nj], rows[i][(j + 1) % nj]};
            const V mid = (q[0] + q[1] + q[2] + q[3]) * 0.25;
            Group &g = glazed(mid) ? glass : body;
            int idx[4];
            for (int k = 0; k < 4; ++k) {
                const int ii = (k == 1 || k == 2) ? i + 1 : i, jj = (k >= 2) ? j + 1 : j;
                auto P = [&](int a, int b) { return rows[std::max(0, std::min(ni - 1, a))][(b + nj) % nj]; };
                V n = Cross(P(ii + 1, jj) - P(ii - 1, jj), P(ii, jj + 1) - P(ii, jj - 1));
                const V p = q[k];
                V axis{0, centre.y, p.z};
                if (Dot(n, p - axis) < 0) n = n * -1;
                // u around (0.5 on the roof, 0 / 1 at the belly), v from the nose back.
                double u = static_cast<double>(jj) / nj;
                idx[k] = g.Add({p, Unit(n), u, (2.6 - p.z) / 4.0});
            }
            g.AddTri(idx[0], idx[1], idx[2]);
            g.AddTri(idx[0], idx[2], idx[3]);
        }
    // Closing the back of the cabin (the boom joins here).
    std::vector<V> back = rows.front();
    V c{0, 0, 0};
    for (const V &p : back) c = c + p;
    c = c * (1.0 / back.size());
    const int base = body.Add({c, {0, 0, -1}, 0.5, 1});
    for (const V &p : back) body.Add({p, {0, 0, -1}, 0.5, 1});
    for (int j = 0; j < nj; ++j) body.AddTri(base, base + 1 + j, base + 1 + (j + 1) % nj);
}

// A blade: an airfoil section lofted from root to tip along local +x, chord along local -z from the
// leading edge, `twist` degrees at the root washing out to 0 at the tip.
void Blade(Group &g, const Frame &f, double r0, double r1, double chord, double t, double twist)
{
    const auto sec = AirfoilSection(t, 6);
    std::vector<std::vector<V>> rows;
    const int n = 6;
    for (int i = 0; i <= n; ++i) {
        const double s = static_cast<double>(i) / n, r = r0 + (r1 - r0) * s;
        const double tw = Rad(twist * (1 - s)), c = chord * (i == n ? 0.8 : 1);
        std::vector<V> row;
        for (const auto &p : sec) {
            const double zc = (0.25 - p[0]) * c, yc = p[1] * c;
            row.push_back({r, yc * std::cos(tw) + zc * std::sin(tw), zc * std::cos(tw) - yc * std::sin(tw)});
        }
        rows.push_back(row);
    }
    Group b = G("", 0);
    Grid(b, Frame{}, rows, true, nullptr);
    Reorient(b, [](V p) { return V{p.x, 0, 0}; });  // away from the blade's span line
    g.Append(b, f);
}

MeshFile Helicopter()
{
    MeshFile m;
    const char *labels[20] = {"fuselage", "tailboom", "main_hub", "tail_hub", "skids", "glazing", "beacon_top",
                              "main_blades", "tail_blades", "pole_outer", "pole_inner", "fin", "stabiliser",
                              "cowling", "doors", "beacon_bottom", "exhaust", "interior", "tail_blur", "main_blur"};
    for (int i = 0; i < 20; ++i) m.groups.push_back(G(labels[i], 1));
    auto &g = m.groups;
    // Materials (file numbers, 1-based): 1 livery, 2 glass, 3 hub metal, 4 blades (module's
    // material 3), 5 skids, 6 pole, 7 red beacon, 8 white beacon, 9 exhaust, 10 tail paint,
    // 11 interior, 12 rotor blur (module's material 11), 13 doors.
    const int mat[20] = {1, 10, 3, 3, 5, 2, 7, 4, 4, 6, 6, 10, 10, 10, 1, 8, 9, 11, 12, 12};
    for (int i = 0; i < 20; ++i) g[i].material = mat[i];
    g[0].texture = 1;
    g[18].texture = g[19].texture = 2;

    Fuselage(g[0], g[5]);
    // Tail boom: a tapered tube from the cabin's back to the fin.
    {
        std::vector<std::vector<V>> rows;
        for (int i = 0; i <= 8; ++i) {
            const double t = i / 8.0, z = -1.15 - 3.35 * t, r = 0.3 - 0.17 * t, y = 0.28 - 0.12 * t;
            std::vector<V> row;
            for (int j = 0; j < 12; ++j) {
                const double a = 2 * kPi * j / 12;
                row.push_back({r * std::cos(a), y + r * 1.1 * std::sin(a), z});
            }
            rows.push_back(row);
        }
        Grid(g[1], Frame{}, rows, true, nullptr);
        Reorient(g[1], [](V p) { return V{0, 0.28 - 0.12 * (-(p.z + 1.15) / 3.35), p.z}; });
        Disc(g[1], Frame{}.Of(Along({0, 0.16, -4.5}, {0, 0, -1}, {1, 0, 0})), 0.13, 12, false);
    }
    // Engine cowling on the roof, with two exhaust stubs.
    {
        std::vector<std::vector<V>> rows;
        for (int i = 0; i <= 6; ++i) {
            const double t = i / 6.0, z = -0.95 + 2.2 * t, w = 0.42 * std::sqrt(std::sin(kPi * (0.08 + 0.84 * t)));
            std::vector<V> row;
            for (int j = 0; j <= 8; ++j) {
                const double a = kPi * j / 8;
                row.push_back({w * std::cos(a), 0.86 + 0.36 * std::sqrt(std::sin(kPi * (0.08 + 0.84 * t))) * std::sin(a), z});
            }
            rows.push_back(row);
        }
        Grid(g[13], Frame{}, rows, false, nullptr);
        Reorient(g[13], [](V p) { return V{0, 0.85, p.z}; });
        for (double x : {-0.22, 0.22}) Revolve(g[16], Frame{}.Of(Along({x, 1.0, -0.8}, {x * 2, 0.3, -1}, {0, 1, 0})), {{0.07, 0}, {0.07, 0.25}, {0.05, 0.25}, {0.05, 0.05}}, 10);
    }
    // Rotor mast and main hub (turn about the mast axis x = 0, z = 0.975).
    const double hub_y = 1.5;
    Revolve(g[2], At({0, 0, 0.975}).Of(Along({0, 0, 0}, {0, 1, 0}, {1, 0, 0})),
            {{0.09, 1.1}, {0.09, hub_y - 0.06}, {0.26, hub_y - 0.04}, {0.26, hub_y + 0.04}, {0.1, hub_y + 0.09}, {0, hub_y + 0.12}}, 16);
    // Main blades: four, 4.3 m.
    for (int k = 0; k < 4; ++k) {
        Frame f = Rotated({0, 0, 0.975}, {0, 1, 0}, Rad(45 + 90.0 * k));
        f.origin = f.origin + V{0, hub_y, 0};
        Frame place = f.Of(At({0, 0, 0.975}));
        Blade(g[7], place, 0.25, 4.3, 0.3, 0.12, 8);
    }
    // Main blur: a disc from the hub to the tips, both faces, its texture a polar map of streaks
    // whose alpha makes it see-through.
    auto polar = [](double r) {
        return [r](V l, double, double) { return std::array<double, 2>{0.5 + 0.5 * l.x / r, 0.5 - 0.5 * l.y / r}; };
    };
    {
        Group d = G("", 12);
        Prof ann = {{4.3, 0}, {0.3, 0}};
        Frame f = Frame{}.Of(Along({0, hub_y + 0.01, 0.975}, {0, 1, 0}, {1, 0, 0}));
        Revolve(d, f, ann, 48, 0, 2 * kPi, polar(4.3));
        Prof rev(ann.rbegin(), ann.rend());
        Revolve(d, f, rev, 48, 0, 2 * kPi, polar(4.3));
        g[19].Append(d, Frame{});
    }
    // Tail rotor on the right of the boom end: axis x through (y, z) = (0.13, -3.931).
    const V tail{0.3, 0.13, -3.931};
    Revolve(g[3], Frame{}.Of(Along({0.1, 0.13, -3.931}, {1, 0, 0}, {0, 1, 0})),
            {{0.04, 0}, {0.04, 0.18}, {0.09, 0.19}, {0.09, 0.24}, {0, 0.26}}, 12);
    for (int k = 0; k < 2; ++k) {
        Frame f = Rotated(tail, {1, 0, 0}, Rad(30 + 180.0 * k));
        Frame blade;
        blade.origin = tail;
        blade.ax = {0, 1, 0};
        blade.ay = {1, 0, 0};
        blade.az = {0, 0, 1};
        Blade(g[8], f.Of(blade), 0.08, 0.7, 0.13, 0.12, 0);
    }
    {
        Group d = G("", 12);
        Prof ann = {{0.7, 0}, {0.1, 0}};
        Frame f = Frame{}.Of(Along({0.31, 0.13, -3.931}, {1, 0, 0}, {0, 1, 0}));
        Revolve(d, f, ann, 32, 0, 2 * kPi, polar(0.7));
        Prof rev(ann.rbegin(), ann.rend());
        Revolve(d, f, rev, 32, 0, 2 * kPi, polar(0.7));
        g[18].Append(d, Frame{});
    }
    // Fin: a swept airfoil from the boom end up to the red beacon.
    {
        const auto sec = AirfoilSection(0.12, 8);
        std::vector<std::vector<V>> rows;
        for (int i = 0; i <= 4; ++i) {
            const double t = i / 4.0, y = 0.1 + 1.08 * t, le = -3.7 - 0.72 * t, ch = 0.85 - 0.38 * t;
            std::vector<V> row;
            for (const auto &p : sec) row.push_back({p[1] * ch, y, le - p[0] * ch});
            rows.push_back(row);
        }
        Grid(g[11], Frame{}, rows, true, nullptr);
        Reorient(g[11], [](V p) {
            const double t = (p.y - 0.1) / 1.08, le = -3.7 - 0.72 * t, ch = 0.85 - 0.38 * t;
            return V{0, p.y, std::max(le - 0.9 * ch, std::min(le - 0.1 * ch, p.z))};
        });
        Box(g[11], At({0, 1.19, -4.66}), {0.04, 0.02, 0.24});
    }
    // Horizontal stabiliser with end plates.
    {
        Frame f;
        f.origin = {0, 0.22, -3.1};
        f.ax = {1, 0, 0};
        f.ay = {0, 1, 0};
        f.az = {0, 0, 1};
        for (double s : {-1.0, 1.0}) {
            Frame side = f;
            side.ax = {s, 0, 0};
            Blade(g[12], side, 0.1, 0.75, 0.4, 0.12, 0);
            Box(g[12], At({0.76 * s, 0.22, -3.15}), {0.01, 0.12, 0.18});
        }
    }
    // Skids: two tubes with upturned toes, and two arched cross tubes.
    for (double s : {-1.0, 1.0}) {
        std::vector<V> sk;
        for (double z : {-0.35, 0.3, 1.0, 1.8, 2.25}) sk.push_back({0.75 * s, -1.22, z});
        sk.push_back({0.75 * s, -1.17, 2.45});
        sk.push_back({0.75 * s, -1.05, 2.58});
        Polyline(g[4], Frame{}, sk, 0.05, 8);
        for (double z : {0.05, 1.9}) {
            std::vector<V> arc;
            for (int i = 0; i <= 6; ++i) {
                const double t = i / 6.0;
                arc.push_back({s * (0.75 - 0.3 * t), -1.22 + 0.45 * std::sin(kPi / 2 * t), z});
            }
            Polyline(g[4], Frame{}, arc, 0.04, 6);
        }
    }
    for (double z : {0.05, 1.9}) Rod(g[4], Frame{}, {-0.45, -0.78, z}, {0.45, -0.78, z}, 0.045, 8);
    // Beacons.
    Prof lamp;
    for (int i = 0; i <= 4; ++i) {
        const double a = Rad(90.0 * i / 4);
        lamp.push_back({0.06 * std::cos(a), 0.06 * std::sin(a)});
    }
    Revolve(g[6], Frame{}.Of(Along({0, 1.2, -4.875}, {0, 1, 0}, {1, 0, 0})), lamp, 12);
    Revolve(g[15], Frame{}.Of(Along({0, -0.84, 0}, {0, -1, 0}, {1, 0, 0})), lamp, 12);
    // Doors: slightly proud panels on both sides of the cabin.
    for (double s : {-1.0, 1.0}) {
        const double x = 0.79 * s;
        Group d = G("", 1);
        Quad(d, Frame{}, {x, -0.55, 0.0}, {x, 0.55, 0.0}, {x, 0.55, 0.95}, {x, -0.55, 0.95}, false,
             {0.25, 0.55, 0.25, 0.55, 0.26, 0.56, 0.26, 0.56});
        if (d.vtx[0].n.x * s < 0) {
            d = G("", 1);
            Quad(d, Frame{}, {x, -0.55, 0.0}, {x, -0.55, 0.95}, {x, 0.55, 0.95}, {x, 0.55, 0.0}, false,
                 {0.25, 0.55, 0.25, 0.55, 0.26, 0.56, 0.26, 0.56});
        }
        g[14].Append(d, Frame{});
        Rod(g[14], Frame{}, {x + 0.01 * s, 0.0, 0.85}, {x + 0.01 * s, 0.0, 0.7}, 0.015, 4);
    }
    g[14].material = 13;
    g[14].texture = 0;
    // Interior: two seats and the instrument panel, seen through the glazing.
    for (double x : {-0.35, 0.35}) {
        Box(g[17], At({x, -0.35, 0.95}), {0.22, 0.08, 0.25});
        Box(g[17], At({x, 0.05, 0.72}), {0.22, 0.35, 0.06});
    }
    Box(g[17], At({0, 0.05, 1.75}), {0.55, 0.12, 0.12});
    // The pole: mount under the nose; outer tube from its pivot to z = 3.9, inner tube from
    // z = 0.3 to the hook at z = 4.885.
    Box(g[0], At({0, -0.95, 1.57}), {0.06, 0.12, 0.08});
    Rod(g[9], Frame{}, {0, -1.091, 1.5}, {0, -1.091, 3.9}, 0.05, 8);
    Revolve(g[9], Frame{}.Of(Along({0, -1.091, 1.57}, {1, 0, 0}, {0, 1, 0})), {{0.07, -0.08}, {0.07, 0.08}, {0, 0.08}}, 10);
    Rod(g[10], Frame{}, {0, -1.091, 0.3}, {0, -1.091, 4.885}, 0.032, 8);
    {
        std::vector<V> hook;
        for (int i = 0; i <= 8; ++i) {
            const double a = Rad(-90 + 225.0 * i / 8);
            hook.push_back({0, -1.091 + 0.13 + 0.13 * std::sin(a), 4.885 + 0.13 * std::cos(a)});
        }
        Polyline(g[10], Frame{}, hook, 0.022, 6);
    }
    m.materials = {Mat("livery", 1, 1, 1, 1, 0.5, 30),
                   Mat("glass", 0.12, 0.17, 0.24, 0.8, 0.9, 60),
                   Mat("hub", 0.35, 0.36, 0.38, 1, 0.5, 30),
                   Mat("blade", 0.16, 0.16, 0.17, 1, 0.3, 20),
                   Mat("skid", 0.3, 0.3, 0.32, 1, 0.3, 20),
                   Mat("pole", 0.95, 0.55, 0.05, 1, 0.3, 20),
                   Mat("beacon_red", 1, 0.1, 0.05, 1, 0.5, 20, 1),
                   Mat("beacon_white", 1, 1, 1, 1, 0.5, 20, 1),
                   Mat("exhaust", 0.12, 0.1, 0.1, 1, 0.2, 10),
                   Mat("tail_paint", 0.78, 0.12, 0.08, 1, 0.4, 30),
                   Mat("interior", 0.2, 0.2, 0.22),
                   Mat("blur", 0.3, 0.3, 0.32, 0, 0, 0),
                   Mat("door", 0.8, 0.8, 0.78, 1, 0.4, 30)};
    m.textures = {"CorvaneMission/hx220_livery.dds", "CorvaneMission/hx220_blur.dds"};
    return m;
}

// The heliport: a 24 m concrete pad, its top 3 cm above the ground (y = -1, the height of the
// host's default touchdown points), with its marking, edge lights and a windsock.
MeshFile Heliport()
{
    MeshFile m;
    m.groups = {G("pad", 1, 1), G("pad_edges", 2), G("windsock_mast", 3), G("windsock", 4), G("edge_lights", 5)};
    const double half = 12, top = -0.97, bottom = -1.1;
    Quad(m.groups[0], Frame{}, {-half, top, half}, {half, top, half}, {half, top, -half}, {-half, top, -half}, false,
         {0, 0, 1, 0, 1, 1, 0, 1});
    if (m.groups[0].vtx[0].n.y < 0) {
        m.groups[0] = G("pad", 1, 1);
        Quad(m.groups[0], Frame{}, {-half, top, half}, {-half, top, -half}, {half, top, -half}, {half, top, half}, false,
             {0, 0, 0, 1, 1, 1, 1, 0});
    }
    Extrude(m.groups[1], Frame{}.Of(Along({0, bottom, 0}, {0, 1, 0}, {1, 0, 0})),
            {{-half, -half}, {half, -half}, {half, half}, {-half, half}}, 0, top - bottom - 0.001);
    const V foot{half - 1.5, top, half - 1.5};
    Rod(m.groups[2], Frame{}, foot, foot + V{0, 4.5, 0}, 0.05, 8);
    Revolve(m.groups[3], Frame{}.Of(Along(foot + V{0, 4.3, 0}, {-1, -0.15, -0.3}, {0, 1, 0})),
            {{0.28, 0}, {0.2, 0.8}, {0.12, 1.6}}, 12);
    for (int k = 0; k < 12; ++k) {
        const double t = -half + 2 * half * (k / 11.0);
        for (const V p : {V{t, top, half}, V{t, top, -half}, V{half, top, t}, V{-half, top, t}})
            Box(m.groups[4], At(p + V{0, 0.06, 0}), {0.08, 0.06, 0.08});
    }
    m.materials = {Mat("concrete", 1, 1, 1, 1, 0.05, 5), Mat("kerb", 0.5, 0.5, 0.48), Mat("mast", 0.8, 0.8, 0.8, 1, 0.3, 20),
                   Mat("sock", 1, 0.45, 0.05), Mat("lights", 0.3, 0.9, 0.3, 1, 0.5, 20, 0.8)};
    m.textures = {"CorvaneMission/heliport_pad.dds"};
    return m;
}

}  // namespace

std::map<std::string, std::string> AllMeshes()
{
    std::map<std::string, std::string> out;
    out["CorvaneMission/cvn_bus1.msh"] = Bus1().Text();
    out["CorvaneMission/cvn_bus2.msh"] = Bus2().Text();
    out["CorvaneMission/cvn_src_main.msh"] = CapsuleMain().Text();
    out["CorvaneMission/cvn_src_lid.msh"] = CapsuleLid().Text();
    out["CorvaneMission/cvn_src_drg.msh"] = Drogue().Text();
    out["CorvaneMission/cvn_src_crash.msh"] = Crash().Text();
    out["CorvaneMission/cvn_src_parafoil90.msh"] = ParafoilFlying().Text();
    out["CorvaneMission/cvn_src_parafoil_col1.msh"] = ParafoilCaught().Text();
    out["CorvaneMission/cvn_src_parafoil_col2.msh"] = ParafoilLanded().Text();
    out["CorvaneMission/heliport.msh"] = Heliport().Text();
    out["hx220.msh"] = Helicopter().Text();
    return out;
}

}  // namespace meshgen
