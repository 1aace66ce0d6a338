// shapes.cpp -- the parametric solids and the mesh file writer.
#include "shapes.h"

#include <cstdio>

namespace meshgen {

V Frame::Normal(V n) const
{
    // Inverse transpose of the 3x3 part: its columns are the cross products of the axes.
    const V c0 = Cross(ay, az), c1 = Cross(az, ax), c2 = Cross(ax, ay);
    const double det = Dot(ax, c0);
    const V r = c0 * n.x + c1 * n.y + c2 * n.z;
    return Unit(det < 0 ? r * -1 : r);
}

Frame Frame::Of(const Frame &in) const
{
    Frame r;
    r.origin = Point(in.origin);
    r.ax = ax * in.ax.x + ay * in.ax.y + az * in.ax.z;
    r.ay = ax * in.ay.x + ay * in.ay.y + az * in.ay.z;
    r.az = ax * in.az.x + ay * in.az.y + az * in.az.z;
    return r;
}

Frame At(V origin)
{
    Frame f;
    f.origin = origin;
    return f;
}

Frame Scaled(V origin, double sx, double sy, double sz)
{
    Frame f;
    f.origin = origin;
    f.ax = {sx, 0, 0};
    f.ay = {0, sy, 0};
    f.az = {0, 0, sz};
    return f;
}

Frame Along(V origin, V axis, V side)
{
    Frame f;
    f.origin = origin;
    f.az = Unit(axis);
    V x = side - f.az * Dot(side, f.az);
    if (Len(x) < 1e-9) {  // side along the axis: any other direction will do
        x = std::fabs(f.az.x) < 0.9 ? V{1, 0, 0} : V{0, 1, 0};
        x = x - f.az * Dot(x, f.az);
    }
    f.ax = Unit(x);
    f.ay = Cross(f.az, f.ax);  // so that ax x ay = az, as x x y = z in the vessel frame
    return f;
}

Frame Rotated(V pivot, V axis, double angle)
{
    const V k = Unit(axis);
    auto rot = [&](V v) {
        const double c = std::cos(angle), s = std::sin(angle);
        return v * c + Cross(k, v) * s + k * (Dot(k, v) * (1 - c));
    };
    Frame f;
    f.ax = rot({1, 0, 0});
    f.ay = rot({0, 1, 0});
    f.az = rot({0, 0, 1});
    f.origin = pivot - (f.ax * pivot.x + f.ay * pivot.y + f.az * pivot.z);
    return f;
}

int Group::Add(const Vertex &v)
{
    vtx.push_back(v);
    return static_cast<int>(vtx.size()) - 1;
}

void Group::AddTri(int a, int b, int c)
{
    const V pa = vtx[a].p, pb = vtx[b].p, pc = vtx[c].p;
    const V geo = Cross(pb - pa, pc - pa);
    if (Len(geo) < 1e-12) return;  // degenerate: nothing to see
    const V n = vtx[a].n + vtx[b].n + vtx[c].n;
    if (Dot(geo, n) < 0) std::swap(b, c);
    tri.push_back({a, b, c});
}

void Group::Append(const Group &o, const Frame &f)
{
    const int base = static_cast<int>(vtx.size());
    for (Vertex v : o.vtx) {
        v.p = f.Point(v.p);
        v.n = f.Normal(v.n);
        vtx.push_back(v);
    }
    for (const auto &t : o.tri) AddTri(base + t[0], base + t[1], base + t[2]);
}

Material Mat(const std::string &name, double r, double g, double b, double a, double spec, double power,
             double emissive)
{
    Material m;
    m.name = name;
    m.diffuse = {r, g, b, a};
    m.ambient = {r, g, b, a};
    m.specular = {spec, spec, spec, a};
    m.power = power;
    m.emissive = {r * emissive, g * emissive, b * emissive, a};
    return m;
}

namespace {

// Fixed decimals, trailing zeros dropped, no negative zero: the same text on every run.
std::string Num(double v, int decimals = 4)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    std::string s = b;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

std::string Colour4(const Colour &c) { return Num(c.r, 3) + " " + Num(c.g, 3) + " " + Num(c.b, 3) + " " + Num(c.a, 3); }

}  // namespace

std::string MeshFile::Text() const
{
    std::string o = "MSHX1\nGROUPS " + std::to_string(groups.size()) + "\n";
    for (const Group &g : groups) {
        if (!g.label.empty()) o += "LABEL " + g.label + "\n";
        o += "MATERIAL " + std::to_string(g.material) + "\n";
        o += "TEXTURE " + std::to_string(g.texture) + "\n";
        if (g.flag) {
            char b[32];
            std::snprintf(b, sizeof b, "FLAG %X\n", g.flag);
            o += b;
        }
        o += "GEOM " + std::to_string(g.vtx.size()) + " " + std::to_string(g.tri.size()) + "\n";
        for (const Vertex &v : g.vtx) {
            o += Num(v.p.x) + " " + Num(v.p.y) + " " + Num(v.p.z) + " " + Num(v.n.x, 3) + " " + Num(v.n.y, 3) + " " +
                 Num(v.n.z, 3) + " " + Num(v.u) + " " + Num(v.v) + "\n";
        }
        for (const auto &t : g.tri) o += std::to_string(t[0]) + " " + std::to_string(t[1]) + " " + std::to_string(t[2]) + "\n";
    }
    o += "MATERIALS " + std::to_string(materials.size()) + "\n";
    for (const Material &m : materials) o += m.name + "\n";
    for (const Material &m : materials) {
        o += "MATERIAL " + m.name + "\n";
        o += Colour4(m.diffuse) + "\n" + Colour4(m.ambient) + "\n" + Colour4(m.specular) + " " + Num(m.power, 2) + "\n" +
             Colour4(m.emissive) + "\n";
    }
    o += "TEXTURES " + std::to_string(textures.size()) + "\n";
    for (const std::string &t : textures) o += t + "\n";
    return o;
}

void Revolve(Group &g, const Frame &f, const std::vector<std::array<double, 2>> &prof, int segments, double from,
             double to, UvFn uv)
{
    const size_t n = prof.size();
    if (n < 2) return;
    // Profile arc length for v, and smooth profile normals (outside to the right of the walk).
    std::vector<double> s(n, 0);
    for (size_t i = 1; i < n; ++i)
        s[i] = s[i - 1] + std::hypot(prof[i][0] - prof[i - 1][0], prof[i][1] - prof[i - 1][1]);
    std::vector<std::array<double, 2>> nrm(n);
    for (size_t i = 0; i < n; ++i) {
        const auto &a = prof[i > 0 ? i - 1 : i], &b = prof[i + 1 < n ? i + 1 : i];
        double dr = b[0] - a[0], dz = b[1] - a[1];
        const double l = std::hypot(dr, dz);
        nrm[i] = {dz / l, -dr / l};
    }
    const int base = static_cast<int>(g.vtx.size());
    for (int k = 0; k <= segments; ++k) {
        const double t = static_cast<double>(k) / segments, a = from + (to - from) * t;
        const double c = std::cos(a), sn = std::sin(a);
        for (size_t i = 0; i < n; ++i) {
            const V lp{prof[i][0] * c, prof[i][0] * sn, prof[i][1]};
            const V ln{nrm[i][0] * c, nrm[i][0] * sn, nrm[i][1]};
            Vertex v;
            v.p = f.Point(lp);
            v.n = f.Normal(ln);
            const double sv = s[n - 1] > 0 ? s[i] / s[n - 1] : 0;
            if (uv) {
                auto w = uv(lp, sv, t);
                v.u = w[0], v.v = w[1];
            } else {
                v.u = t, v.v = sv;
            }
            g.Add(v);
        }
    }
    const int m = static_cast<int>(n);
    for (int k = 0; k < segments; ++k)
        for (int i = 0; i + 1 < m; ++i) {
            const int a = base + k * m + i, b = base + (k + 1) * m + i;
            g.AddTri(a, b, b + 1);
            g.AddTri(a, b + 1, a + 1);
        }
}

void Grid(Group &g, const Frame &f, const std::vector<std::vector<V>> &rows, bool wrap, const V *inside, bool flip,
          UvFn uv, bool two_sided)
{
    const int ni = static_cast<int>(rows.size());
    if (ni < 2) return;
    const int nj = static_cast<int>(rows[0].size());
    auto P = [&](int i, int j) {
        if (wrap) j = (j % nj + nj) % nj;
        else j = std::max(0, std::min(nj - 1, j));
        i = std::max(0, std::min(ni - 1, i));
        return rows[i][j];
    };
    for (int side = 0; side < (two_sided ? 2 : 1); ++side) {
        const int base = static_cast<int>(g.vtx.size());
        const int cols = wrap ? nj + 1 : nj;
        for (int i = 0; i < ni; ++i)
            for (int j = 0; j < cols; ++j) {
                const V p = P(i, j);
                V n = Cross(P(i + 1, j) - P(i - 1, j), P(i, j + 1) - P(i, j - 1));
                if (inside) {
                    if (Dot(n, p - *inside) < 0) n = n * -1;
                } else if (flip) {
                    n = n * -1;
                }
                if (side) n = n * -1;
                Vertex v;
                v.p = f.Point(p);
                v.n = f.Normal(Unit(n));
                const double s = static_cast<double>(i) / (ni - 1), t = static_cast<double>(j) / (cols - 1);
                if (uv) {
                    auto w = uv(p, s, t);
                    v.u = w[0], v.v = w[1];
                } else {
                    v.u = t, v.v = s;
                }
                g.Add(v);
            }
        for (int i = 0; i + 1 < ni; ++i)
            for (int j = 0; j + 1 < cols; ++j) {
                const int a = base + i * cols + j, b = base + (i + 1) * cols + j;
                g.AddTri(a, b, b + 1);
                g.AddTri(a, b + 1, a + 1);
            }
    }
}

void Extrude(Group &g, const Frame &f, const std::vector<std::array<double, 2>> &poly, double z0, double z1,
             UvFn cap_uv)
{
    const int n = static_cast<int>(poly.size());
    double per = 0;
    for (int i = 0; i < n; ++i) {
        const auto &a = poly[i], &b = poly[(i + 1) % n];
        per += std::hypot(b[0] - a[0], b[1] - a[1]);
    }
    double run = 0;
    for (int i = 0; i < n; ++i) {
        const auto &a = poly[i], &b = poly[(i + 1) % n];
        const double l = std::hypot(b[0] - a[0], b[1] - a[1]);
        if (l < 1e-12) continue;
        // Outward for a counter-clockwise polygon (seen from +z in x-y).
        const V ln{(b[1] - a[1]) / l, -(b[0] - a[0]) / l, 0};
        const V q[4] = {{a[0], a[1], z0}, {b[0], b[1], z0}, {b[0], b[1], z1}, {a[0], a[1], z1}};
        const double u0 = run / per, u1 = (run + l) / per;
        const double uu[4] = {u0, u1, u1, u0}, vv[4] = {1, 1, 0, 0};
        int idx[4];
        for (int k = 0; k < 4; ++k) idx[k] = g.Add({f.Point(q[k]), f.Normal(ln), uu[k], vv[k]});
        g.AddTri(idx[0], idx[1], idx[2]);
        g.AddTri(idx[0], idx[2], idx[3]);
        run += l;
    }
    for (int cap = 0; cap < 2; ++cap) {
        const double z = cap ? z1 : z0;
        const V ln{0, 0, z1 > z0 ? (cap ? 1.0 : -1.0) : (cap ? -1.0 : 1.0)};
        const int base = static_cast<int>(g.vtx.size());
        for (const auto &p : poly) {
            const V lp{p[0], p[1], z};
            Vertex v{f.Point(lp), f.Normal(ln), 0, 0};
            if (cap_uv) {
                auto w = cap_uv(lp, 0, 0);
                v.u = w[0], v.v = w[1];
            }
            g.Add(v);
        }
        for (int i = 1; i + 1 < n; ++i) g.AddTri(base, base + i, base + i + 1);
    }
}

void Box(Group &g, const Frame &f, V h, UvFn uv)
{
    Extrude(g, f, {{-h.x, -h.y}, {h.x, -h.y}, {h.x, h.y}, {-h.x, h.y}}, -h.z, h.z, uv);
}

void Rod(Group &g, const Frame &f, V a, V b, double r, int sides)
{
    const V d = b - a;
    const V side = std::fabs(Unit(d).y) < 0.9 ? V{0, 1, 0} : V{1, 0, 0};
    Frame local = Along(a, d, side);
    std::vector<std::array<double, 2>> poly;
    for (int k = 0; k < sides; ++k) {
        const double t = 2 * kPi * k / sides;
        poly.push_back({r * std::cos(t), r * std::sin(t)});
    }
    Extrude(g, f.Of(local), poly, 0, Len(d));
}

void Quad(Group &g, const Frame &f, V a, V b, V c, V d, bool two_sided, const std::array<double, 8> &uv)
{
    const V n = Unit(Cross(b - a, c - a));
    for (int side = 0; side < (two_sided ? 2 : 1); ++side) {
        const V ln = side ? n * -1 : n;
        const V p[4] = {a, b, c, d};
        int idx[4];
        for (int k = 0; k < 4; ++k) idx[k] = g.Add({f.Point(p[k]), f.Normal(ln), uv[2 * k], uv[2 * k + 1]});
        g.AddTri(idx[0], idx[1], idx[2]);
        g.AddTri(idx[0], idx[2], idx[3]);
    }
}

void Disc(Group &g, const Frame &f, double r, int segments, bool two_sided, UvFn uv)
{
    for (int side = 0; side < (two_sided ? 2 : 1); ++side) {
        const V ln{0, 0, side ? -1.0 : 1.0};
        const int base = static_cast<int>(g.vtx.size());
        auto add = [&](V lp) {
            Vertex v{f.Point(lp), f.Normal(ln), 0.5 + 0.5 * lp.x / r, 0.5 - 0.5 * lp.y / r};
            if (uv) {
                auto w = uv(lp, 0, 0);
                v.u = w[0], v.v = w[1];
            }
            return g.Add(v);
        };
        add({0, 0, 0});
        for (int k = 0; k <= segments; ++k) {
            const double t = 2 * kPi * k / segments;
            add({r * std::cos(t), r * std::sin(t), 0});
        }
        for (int k = 0; k < segments; ++k) g.AddTri(base, base + 1 + k, base + 2 + k);
    }
}

void Reorient(Group &g, const std::function<V(V p)> &centre)
{
    for (Vertex &v : g.vtx)
        if (Dot(v.n, v.p - centre(v.p)) < 0) v.n = v.n * -1;
    auto tris = g.tri;
    g.tri.clear();
    for (const auto &t : tris) g.AddTri(t[0], t[1], t[2]);
}

std::vector<std::array<double, 2>> AirfoilSection(double t, int n, double camber)
{
    // The four-digit symmetric thickness law, points crowded to the leading edge.
    auto half = [&](double x) {
        return 5 * t * (0.2969 * std::sqrt(x) - 0.1260 * x - 0.3516 * x * x + 0.2843 * x * x * x - 0.1036 * x * x * x * x);
    };
    auto mean = [&](double x) { return camber * 4 * x * (1 - x); };
    std::vector<std::array<double, 2>> pts;
    for (int i = 0; i < n; ++i) {  // upper surface, trailing edge to leading edge
        const double b = kPi * i / n, x = 0.5 * (1 + std::cos(b));
        pts.push_back({x, mean(x) + half(x)});
    }
    for (int i = 0; i < n; ++i) {  // lower surface, leading edge to trailing edge
        const double b = kPi * i / n, x = 0.5 * (1 - std::cos(b));
        pts.push_back({x, mean(x) - half(x)});
    }
    return pts;
}

}  // namespace meshgen
