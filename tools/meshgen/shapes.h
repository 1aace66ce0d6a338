// shapes.h -- parametric solids for the add-on's meshes, written in the simulator's mesh text
// format. Coordinates are the simulator's left-handed vessel frame (x right, y up, z forward).
//
// Every triangle is emitted so that its vertices run clockwise seen from the side its normals
// point to, which is the face the simulator's renderer keeps (Direct3D culls counter-clockwise
// faces; Src/Orbiter/Mesh.cpp reads the three indices as they stand). In the left-handed frame a
// clockwise triangle a, b, c has (b - a) x (c - a), computed with the usual component formula,
// along its outward normal; AddTri orders each triangle by that rule.
#pragma once

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace meshgen {

constexpr double kPi = 3.14159265358979323846;

struct V {
    double x = 0, y = 0, z = 0;
};
inline V operator+(V a, V b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V operator-(V a, V b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V operator*(V a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(V a, V b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V Cross(V a, V b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double Len(V a) { return std::sqrt(Dot(a, a)); }
inline V Unit(V a)
{
    const double l = Len(a);
    return l > 1e-12 ? a * (1 / l) : V{0, 0, 0};
}
inline V Lerp(V a, V b, double t) { return a + (b - a) * t; }

// A placement: local point p goes to origin + ax*p.x + ay*p.y + az*p.z. The axes need not be unit
// or orthogonal (a scaled frame); normals go through the inverse transpose.
struct Frame {
    V origin{0, 0, 0}, ax{1, 0, 0}, ay{0, 1, 0}, az{0, 0, 1};
    V Point(V p) const { return origin + ax * p.x + ay * p.y + az * p.z; }
    V Normal(V n) const;
    // This frame applied after `inner`.
    Frame Of(const Frame &inner) const;
};
Frame At(V origin);
Frame Scaled(V origin, double sx, double sy, double sz);
// A frame whose local z runs along `axis` (local x toward `side` as far as possible).
Frame Along(V origin, V axis, V side);
// Rotation by `angle` about a unit axis through `pivot` (right-hand rule in the component formula).
Frame Rotated(V pivot, V axis, double angle);

struct Vertex {
    V p, n;
    double u = 0, v = 0;
};

struct Group {
    std::string label;
    int material = 0;   // 1-based as in the file; 0 = none
    int texture = 0;    // 1-based as in the file; 0 = none
    unsigned flag = 0;  // user flag (hexadecimal in the file)
    std::vector<Vertex> vtx;
    std::vector<std::array<int, 3>> tri;

    int Add(const Vertex &v);
    // Adds a triangle, ordered clockwise about the mean of its vertex normals.
    void AddTri(int a, int b, int c);
    void Append(const Group &other, const Frame &f);
};

struct Colour {
    double r, g, b, a;
};
struct Material {
    std::string name;
    Colour diffuse, ambient, specular, emissive;
    double power = 0;
};
Material Mat(const std::string &name, double r, double g, double b, double a = 1, double spec = 0.1,
             double power = 10, double emissive = 0);

struct MeshFile {
    std::vector<Group> groups;
    std::vector<Material> materials;
    std::vector<std::string> textures;
    // The file's text, as the simulator's reader takes it (no comments, no blank lines: its
    // MATERIALS and TEXTURES lines must follow the last group's triangles directly).
    std::string Text() const;
};

// UV callback: (local point, parameter along, parameter across) -> (u, v).
using UvFn = std::function<std::array<double, 2>(V local, double s, double t)>;

// Surface of revolution about local z: `profile` is (radius, z) pairs, ordered so that the outside
// lies to the right when walking along it in the (r, z) plane (bottom to top on the outside, then
// inward over the top). Smooth normals along the profile; `from`..`to` the angle range [rad]
// measured from local x toward local y. Default uv: u = angle share, v = profile share.
void Revolve(Group &g, const Frame &f, const std::vector<std::array<double, 2>> &profile, int segments,
             double from = 0, double to = 2 * kPi, UvFn uv = nullptr);

// A surface through a grid of points rows[i][j]; closed in j when `wrap`. Normals from the grid,
// turned to point away from `inside` (a point), or flipped when `flip` and no inside is given.
void Grid(Group &g, const Frame &f, const std::vector<std::vector<V>> &rows, bool wrap, const V *inside,
          bool flip = false, UvFn uv = nullptr, bool two_sided = false);

// A flat polygon (convex, in local x-y, counter-clockwise seen from +z) extruded from z0 to z1,
// with both caps. Hard edges. `cap_uv` maps the caps (local x, y), the sides run u along.
void Extrude(Group &g, const Frame &f, const std::vector<std::array<double, 2>> &poly, double z0, double z1,
             UvFn cap_uv = nullptr);
// A box of half sizes h about local (0,0,0).
void Box(Group &g, const Frame &f, V half, UvFn uv = nullptr);
// A round rod from a to b (global points of the group's frame), `sides` faces, flat ends.
void Rod(Group &g, const Frame &f, V a, V b, double radius, int sides = 6);
// A flat quad a b c d (in order around it), facing both ways when `two_sided`.
void Quad(Group &g, const Frame &f, V a, V b, V c, V d, bool two_sided, const std::array<double, 8> &uv);
// A flat disc of radius r at local z = 0 facing +z (both ways when two_sided).
void Disc(Group &g, const Frame &f, double r, int segments, bool two_sided, UvFn uv = nullptr);

// Turns every normal of the group away from centre(p) (the point of the shape's core nearest to
// the vertex) and re-orders the triangles to match.
void Reorient(Group &g, const std::function<V(V p)> &centre);

// A symmetric airfoil section (thickness ratio t) as a closed loop of points in x (chord, 0 at the
// leading edge, 1 at the trailing edge) and y, n points per side.
std::vector<std::array<double, 2>> AirfoilSection(double t, int n, double camber = 0);

}  // namespace meshgen
