// view.cpp -- pictures of the scene, rendered with Mesa's off-screen OpenGL.
//
// Animations follow the graphics client's vVessel::Animate and AnimateComponent
// (OVP/D3D9Client/VVessel.cpp): per component, the states clamped to its range give a share ds of
// its travel; a rotation is D3DMAT_RotationFromAxis(axis, ds * angle) about the reference point
// (OVP/D3D9Client/D3D9Util.cpp, a quaternion with the axis as stored, not normalised), a
// translation ds * shift, a scaling (s1 (scale - 1) + 1) / (s0 (scale - 1) + 1) about the
// reference point; the matrix moves the component's groups and, recursively, its children's
// groups and the children's reference points and axes. Components run in order when the state
// grows, in reverse order when it shrinks. Groups whose user flag has bit 0x2 set are not drawn
// (D3D9Mesh::Render skips them).
//
// Frames: the simulator's frames are left-handed (x right, y up, z forward). The camera turns
// global points into eye coordinates (right, up, -forward) for OpenGL; the reflection keeps the
// picture as seen, so a face whose vertices run clockwise on the screen is a front face
// (glFrontFace(GL_CW)), as Direct3D has it.
#include "view.h"

#include "png.h"

#include "vessel.h"
#include "world.h"

#include <GL/gl.h>
#include <GL/osmesa.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

namespace sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180;
constexpr int kSuper = 2;              // supersampling factor per side (smooth edges)
constexpr int kWarmUpSide = 16;        // [pixels] the view drawn once while a run loads
constexpr double kNear = 0.2;          // near plane [m]
constexpr double kFar = 60000;         // far plane of the scene pass [m]
constexpr double kSceneRange = 20000;  // vessels farther than this from the camera are not drawn [m]
constexpr double kGroundPatch = 12000; // radius of the depth-tested ground around the view [m]
constexpr double kAmbient = 0.28;      // light from the sky and the Earth

// --- 4 x 4 matrices in the client's row-vector convention: p' = p M ---------------------------

struct M4 {
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

VECTOR3 Point(const M4 &T, const VECTOR3 &p)
{
    return _V(p.x * T.m[0][0] + p.y * T.m[1][0] + p.z * T.m[2][0] + T.m[3][0],
              p.x * T.m[0][1] + p.y * T.m[1][1] + p.z * T.m[2][1] + T.m[3][1],
              p.x * T.m[0][2] + p.y * T.m[1][2] + p.z * T.m[2][2] + T.m[3][2]);
}
VECTOR3 Direction(const M4 &T, const VECTOR3 &d)
{
    return _V(d.x * T.m[0][0] + d.y * T.m[1][0] + d.z * T.m[2][0], d.x * T.m[0][1] + d.y * T.m[1][1] + d.z * T.m[2][1],
              d.x * T.m[0][2] + d.y * T.m[1][2] + d.z * T.m[2][2]);
}

// D3DMAT_RotationFromAxis, then the translation that keeps `ref` in place.
M4 RotationAbout(const VECTOR3 &axis, double angle, const VECTOR3 &ref)
{
    const float a = static_cast<float>(angle) * 0.5f;
    const float w = std::cos(a), s = std::sin(a);
    const double x = s * axis.x, y = s * axis.y, z = s * axis.z;
    const double xx = x * x, yy = y * y, zz = z * z, xy = x * y, xz = x * z, yz = y * z, wx = w * x, wy = w * y, wz = w * z;
    M4 T;
    T.m[0][0] = 1 - 2 * (yy + zz), T.m[0][1] = 2 * (xy + wz), T.m[0][2] = 2 * (xz - wy);
    T.m[1][0] = 2 * (xy - wz), T.m[1][1] = 1 - 2 * (xx + zz), T.m[1][2] = 2 * (yz + wx);
    T.m[2][0] = 2 * (xz + wy), T.m[2][1] = 2 * (yz - wx), T.m[2][2] = 1 - 2 * (xx + yy);
    T.m[3][0] = ref.x - T.m[0][0] * ref.x - T.m[1][0] * ref.y - T.m[2][0] * ref.z;
    T.m[3][1] = ref.y - T.m[0][1] * ref.x - T.m[1][1] * ref.y - T.m[2][1] * ref.z;
    T.m[3][2] = ref.z - T.m[0][2] * ref.x - T.m[1][2] * ref.y - T.m[2][2] * ref.z;
    return T;
}

// A component's transform as the visual holds it (its own copy: children's are moved by parents).
struct CompState {
    MGROUP_TRANSFORM::TYPE type = MGROUP_TRANSFORM::NULLTRANSFORM;
    UINT mesh = 0;
    std::vector<UINT> grp;
    bool whole = false;                      // no group list: the whole mesh
    VECTOR3 ref{}, axis{}, shift{}, scale{};
    double angle = 0;
    std::vector<const AnimComponent *> children;
};

class Animator {
public:
    Animator(const Vessel &v, std::vector<std::unique_ptr<Mesh>> &meshes) : meshes_(meshes)
    {
        for (const Animation &a : v.animations)
            for (const AnimComponent *c : a.components) {
                CompState s;
                if (c->trans) {
                    const MGROUP_TRANSFORM *t = c->trans;
                    s.type = t->Type();
                    s.mesh = t->mesh;
                    if (t->grp && t->ngrp) s.grp.assign(t->grp, t->grp + t->ngrp);
                    s.whole = !t->grp;
                    if (s.type == MGROUP_TRANSFORM::ROTATE) {
                        auto *r = static_cast<const MGROUP_ROTATE *>(t);
                        s.ref = r->ref, s.axis = r->axis, s.angle = r->angle;
                    } else if (s.type == MGROUP_TRANSFORM::TRANSLATE) {
                        s.shift = static_cast<const MGROUP_TRANSLATE *>(t)->shift;
                    } else if (s.type == MGROUP_TRANSFORM::SCALE) {
                        auto *sc = static_cast<const MGROUP_SCALE *>(t);
                        s.ref = sc->ref, s.scale = sc->scale;
                    }
                }
                state_[c] = s;
            }
        for (auto &kv : state_)
            if (kv.first->parent && state_.count(kv.first->parent)) state_[kv.first->parent].children.push_back(kv.first);
        // Children in the order they were added (the order of the vessel's components).
        for (const Animation &a : v.animations)
            for (const AnimComponent *c : a.components) order_.push_back(c);
        for (auto &kv : state_) {
            auto &ch = kv.second.children;
            std::sort(ch.begin(), ch.end(), [&](const AnimComponent *x, const AnimComponent *y) {
                return std::find(order_.begin(), order_.end(), x) < std::find(order_.begin(), order_.end(), y);
            });
        }
        for (const Animation &a : v.animations) Animate(a);
    }

private:
    void Animate(const Animation &a)
    {
        const double from = a.initial, to = a.state;
        if (from == to) return;
        const size_t n = a.components.size();
        for (size_t ii = 0; ii < n; ++ii) {
            const AnimComponent *c = a.components[to > from ? ii : n - ii - 1];
            if (c->state1 == c->state0) continue;
            const double s0 = std::clamp(from, std::min(c->state0, c->state1), std::max(c->state0, c->state1));
            const double s1 = std::clamp(to, std::min(c->state0, c->state1), std::max(c->state0, c->state1));
            double ds = s1 - s0;
            if (ds == 0) continue;
            ds /= (c->state1 - c->state0);
            CompState &s = state_[c];
            M4 T;
            if (s.type == MGROUP_TRANSFORM::ROTATE) {
                // A turn of many revolutions (a rotor's state) is the same picture modulo 2 pi.
                const double ang = std::fmod(ds * s.angle, 2 * kPi);
                T = RotationAbout(s.axis, ang, s.ref);
            } else if (s.type == MGROUP_TRANSFORM::TRANSLATE) {
                T.m[3][0] = ds * s.shift.x, T.m[3][1] = ds * s.shift.y, T.m[3][2] = ds * s.shift.z;
            } else if (s.type == MGROUP_TRANSFORM::SCALE) {
                const double f0 = (s0 - c->state0) / (c->state1 - c->state0), f1 = (s1 - c->state0) / (c->state1 - c->state0);
                auto k = [&](double sc) { return (f1 * (sc - 1) + 1) / (f0 * (sc - 1) + 1); };
                T.m[0][0] = k(s.scale.x), T.m[1][1] = k(s.scale.y), T.m[2][2] = k(s.scale.z);
                T.m[3][0] = s.ref.x * (1 - T.m[0][0]);
                T.m[3][1] = s.ref.y * (1 - T.m[1][1]);
                T.m[3][2] = s.ref.z * (1 - T.m[2][2]);
            }
            Component(c, T);
        }
    }

    void Component(const AnimComponent *c, const M4 &T)
    {
        CompState &s = state_[c];
        if (s.mesh < meshes_.size() && meshes_[s.mesh]) {
            Mesh &m = *meshes_[s.mesh];
            if (s.whole) {
                for (size_t g = 0; g < m.vtx.size(); ++g) Group(m, g, T);
            } else {
                for (UINT g : s.grp)
                    if (g < m.vtx.size()) Group(m, g, T);
            }
        }
        for (const AnimComponent *child : s.children) {
            Component(child, T);
            CompState &cs = state_[child];
            if (cs.type == MGROUP_TRANSFORM::ROTATE) {
                cs.ref = Point(T, cs.ref);
                cs.axis = Direction(T, cs.axis);
                const double l = length(cs.axis);
                if (l > 0) cs.axis = cs.axis / l;
            } else if (cs.type == MGROUP_TRANSFORM::TRANSLATE) {
                cs.shift = Direction(T, cs.shift);
            } else if (cs.type == MGROUP_TRANSFORM::SCALE) {
                cs.ref = Point(T, cs.ref);
            }
        }
    }

    static void Group(Mesh &m, size_t g, const M4 &T)
    {
        for (NTVERTEX &v : m.vtx[g]) {
            const VECTOR3 p = Point(T, _V(v.x, v.y, v.z));
            VECTOR3 n = Direction(T, _V(v.nx, v.ny, v.nz));
            const double l = length(n);
            if (l > 0) n = n / l;
            v.x = static_cast<float>(p.x), v.y = static_cast<float>(p.y), v.z = static_cast<float>(p.z);
            v.nx = static_cast<float>(n.x), v.ny = static_cast<float>(n.y), v.nz = static_cast<float>(n.z);
        }
    }

    std::vector<std::unique_ptr<Mesh>> &meshes_;
    std::map<const AnimComponent *, CompState> state_;
    std::vector<const AnimComponent *> order_;
};

// --- textures ------------------------------------------------------------------------------------

std::uint32_t Rd32(const std::string &b, size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}

void Colour565(unsigned c, int *r, int *g, int *b)
{
    *r = static_cast<int>(((c >> 11) & 31) * 255 / 31);
    *g = static_cast<int>(((c >> 5) & 63) * 255 / 63);
    *b = static_cast<int>((c & 31) * 255 / 31);
}

struct Image {
    int w = 0, h = 0;
    std::vector<std::uint32_t> px;
};

}  // namespace

bool DecodeDds(const std::string &b, int *w, int *h, std::vector<std::uint32_t> *px)
{
    if (b.size() < 128 || b.compare(0, 4, "DDS ") != 0) return false;
    const int H = static_cast<int>(Rd32(b, 12)), W = static_cast<int>(Rd32(b, 16));
    if (W <= 0 || H <= 0 || W > 8192 || H > 8192) return false;
    const std::uint32_t pf_flags = Rd32(b, 80), fourcc = Rd32(b, 84), bits = Rd32(b, 88);
    px->assign(static_cast<size_t>(W) * H, 0xFF000000u);
    const size_t data = 128;
    if (pf_flags & 0x4) {
        const std::string cc = b.substr(84, 4);
        const int bw = (W + 3) / 4, bh = (H + 3) / 4;
        const size_t block = cc == "DXT1" ? 8 : 16;
        if (cc != "DXT1" && cc != "DXT3" && cc != "DXT5") return false;
        if (b.size() < data + block * bw * bh) return false;
        for (int by = 0; by < bh; ++by)
            for (int bx = 0; bx < bw; ++bx) {
                const size_t at = data + block * (static_cast<size_t>(by) * bw + bx) + (block == 16 ? 8 : 0);
                const unsigned c0 = static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
                const unsigned c1 = static_cast<unsigned char>(b[at + 2]) | (static_cast<unsigned char>(b[at + 3]) << 8);
                int pal[4][4];
                Colour565(c0, &pal[0][0], &pal[0][1], &pal[0][2]);
                Colour565(c1, &pal[1][0], &pal[1][1], &pal[1][2]);
                pal[0][3] = pal[1][3] = pal[2][3] = pal[3][3] = 255;
                for (int k = 0; k < 3; ++k) {
                    if (c0 > c1 || block == 16) {
                        pal[2][k] = (2 * pal[0][k] + pal[1][k]) / 3;
                        pal[3][k] = (pal[0][k] + 2 * pal[1][k]) / 3;
                    } else {
                        pal[2][k] = (pal[0][k] + pal[1][k]) / 2;
                        pal[3][k] = 0;
                    }
                }
                if (!(c0 > c1) && block == 8) pal[3][3] = 0;
                const std::uint32_t idx = Rd32(b, at + 4);
                for (int k = 0; k < 16; ++k) {
                    const int x = bx * 4 + k % 4, y = by * 4 + k / 4;
                    if (x >= W || y >= H) continue;
                    const int *p = pal[(idx >> (2 * k)) & 3];
                    (*px)[static_cast<size_t>(y) * W + x] = (static_cast<std::uint32_t>(p[3]) << 24) |
                                                            (static_cast<std::uint32_t>(p[0]) << 16) |
                                                            (static_cast<std::uint32_t>(p[1]) << 8) | static_cast<std::uint32_t>(p[2]);
                }
            }
    } else if (bits == 32) {
        if (b.size() < data + 4 * static_cast<size_t>(W) * H) return false;
        const bool alpha = (pf_flags & 0x1) != 0;
        for (size_t i = 0; i < static_cast<size_t>(W) * H; ++i) {
            std::uint32_t v = Rd32(b, data + 4 * i);
            if (!alpha) v |= 0xFF000000u;
            (*px)[i] = v;
        }
    } else {
        (void)fourcc;
        return false;
    }
    *w = W, *h = H;
    return true;
}

namespace {

// What of the textures stays from one picture to the next (the off-screen context lives as long as
// the process): each surface's texture as last drawn, with the world and the content it showed,
// and the ground's fields.
struct KeptTexture {
    std::uint64_t content = 0;  // the surface's ContentKey when it was made
    GLuint id = 0;              // 0: the surface has no picture
    bool see_through = false;
};
struct KeptTextures {
    std::uint64_t world = 0;  // the world the surfaces belong to
    std::map<const Surface *, KeptTexture> surfaces;
    GLuint fields = 0;
};

// The content of a surface: its file and every copy made onto it (copies are only ever added),
// with the content of each copy's source, a few sources deep.
constexpr int kContentDepth = 8;
std::uint64_t ContentKey(const Surface *s, int depth = 0)
{
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a
    auto mix = [&h](const void *p, size_t n) {
        const unsigned char *c = static_cast<const unsigned char *>(p);
        for (size_t i = 0; i < n; ++i) h = (h ^ c[i]) * 1099511628211ull;
    };
    mix(s->name.data(), s->name.size());
    const size_t n = s->blits.size();
    mix(&n, sizeof n);
    for (const Surface::Blit &bl : s->blits) {
        const int v[6] = {bl.tgtx, bl.tgty, bl.srcx, bl.srcy, bl.w, bl.h};
        mix(v, sizeof v);
        mix(&bl.ck, sizeof bl.ck);
        const std::uint64_t src = bl.src && bl.src != s && depth < kContentDepth ? ContentKey(bl.src, depth + 1) : 0;
        mix(&src, sizeof src);
    }
    return h;
}

// A surface as the client shows it: its file, with every copy made onto it laid over. A surface
// whose content is what it was at the last picture of its world keeps its texture.
class TextureCache {
public:
    TextureCache(const World &w, KeptTextures &kept) : w_(w), kept_(kept)
    {
        if (kept_.world == w.serial()) return;
        for (auto &kv : kept_.surfaces)
            if (kv.second.id) glDeleteTextures(1, &kv.second.id);
        kept_.surfaces.clear();
        kept_.world = w.serial();
    }

    // True when some of the texture's pixels are see-through.
    bool HasAlpha(const Surface *s) { return Texture(s).see_through; }
    GLuint Gl(const Surface *s) { return Texture(s).id; }

    GLuint Fields()
    {
        if (kept_.fields) return kept_.fields;
        // Farmland seen from above: patches of greens and browns, the same on every run.
        const int n = 256;
        std::vector<std::uint8_t> rgba(static_cast<size_t>(n) * n * 4);
        auto hash = [](int x, int y) {
            std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u;
            h = (h ^ (h >> 13)) * 1274126177u;
            return ((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
        };
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                // Fields of uneven shape: the grid of plots is bent by two slow waves.
                const double wx = x + 7 * std::sin(2 * kPi * y / 128.0) + 3 * std::sin(2 * kPi * y / 32.0);
                const double wy = y + 6 * std::sin(2 * kPi * x / 128.0) + 2 * std::sin(2 * kPi * x / 64.0);
                const int fx = static_cast<int>(std::floor(wx / 43)), fy = static_cast<int>(std::floor(wy / 29));
                const double f = hash((fx % 6 + 6) % 6, (fy % 9 + 9) % 9), g = hash(x / 4 + 1000, y / 4), h = hash(x, y);
                double r = 0.34 + 0.1 * f, gg = 0.42 + 0.1 * (1 - f), b = 0.2 + 0.05 * f;
                if (f > 0.78) r = 0.52, gg = 0.46, b = 0.3;  // bare soil
                if (f < 0.12) r = 0.25, gg = 0.35, b = 0.18;  // woods
                const double k = 0.88 + 0.1 * g + 0.05 * h;
                const double ex = wx / 43 - fx, ey = wy / 29 - fy;
                if (ex < 0.03 || ey < 0.04) r *= 0.82, gg *= 0.85, b *= 0.82;  // hedges
                const size_t i = 4 * (static_cast<size_t>(y) * n + x);
                rgba[i] = static_cast<std::uint8_t>(std::min(255.0, 255 * r * k));
                rgba[i + 1] = static_cast<std::uint8_t>(std::min(255.0, 255 * gg * k));
                rgba[i + 2] = static_cast<std::uint8_t>(std::min(255.0, 255 * b * k));
                rgba[i + 3] = 255;
            }
        glGenTextures(1, &kept_.fields);
        glBindTexture(GL_TEXTURE_2D, kept_.fields);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, n, n, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return kept_.fields;
    }

private:
    const KeptTexture &Texture(const Surface *s)
    {
        KeptTexture &k = kept_.surfaces[s];
        const std::uint64_t content = ContentKey(s);
        if (k.id && k.content == content) return k;
        k.content = content;
        k.see_through = false;
        const Image *img = ImageOf(s);
        if (!img) {
            if (k.id) glDeleteTextures(1, &k.id);
            k.id = 0;
            return k;
        }
        for (std::uint32_t p : img->px)
            if ((p >> 24) < 250) {
                k.see_through = true;
                break;
            }
        std::vector<std::uint8_t> rgba(img->px.size() * 4);
        for (size_t i = 0; i < img->px.size(); ++i) {
            const std::uint32_t p = img->px[i];
            rgba[4 * i] = (p >> 16) & 255, rgba[4 * i + 1] = (p >> 8) & 255, rgba[4 * i + 2] = p & 255, rgba[4 * i + 3] = p >> 24;
        }
        if (!k.id) glGenTextures(1, &k.id);
        glBindTexture(GL_TEXTURE_2D, k.id);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        // Texture row 0 is the file's first row (v = 0), as Direct3D addresses it.
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, img->w, img->h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        return k;
    }

    // The surface's picture: its file decoded with the copies laid over (null when it has none).
    // A source met again while its own picture is being made (copies in a circle) adds nothing.
    const Image *ImageOf(const Surface *s)
    {
        auto [it, fresh] = images_.emplace(s, nullptr);
        if (!fresh) return it->second.get();
        auto img = std::make_unique<Image>();
        std::ifstream in(w_.AddonPath("Textures/" + s->name), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        if (!in || !DecodeDds(bytes.str(), &img->w, &img->h, &img->px)) img.reset();
        if (img) {
            for (const Surface::Blit &bl : s->blits) {
                if (!bl.src || bl.src == s) continue;
                const Image *src = ImageOf(bl.src);
                if (!src) continue;
                for (int y = 0; y < bl.h; ++y)
                    for (int x = 0; x < bl.w; ++x) {
                        const int sx = bl.srcx + x, sy = bl.srcy + y, tx = bl.tgtx + x, ty = bl.tgty + y;
                        if (sx < 0 || sy < 0 || sx >= src->w || sy >= src->h || tx < 0 || ty < 0 || tx >= img->w || ty >= img->h)
                            continue;
                        const std::uint32_t p = src->px[static_cast<size_t>(sy) * src->w + sx];
                        if (bl.ck != 0xFFFFFFFFu && (p & 0xFFFFFF) == (bl.ck & 0xFFFFFF)) continue;
                        img->px[static_cast<size_t>(ty) * img->w + tx] = p;
                    }
            }
        }
        it->second = std::move(img);
        return it->second.get();
    }

    const World &w_;
    KeptTextures &kept_;
    std::map<const Surface *, std::unique_ptr<Image>> images_;  // this picture's decoded files
};

VECTOR3 Unit(const VECTOR3 &v)
{
    const double l = length(v);
    return l > 0 ? v / l : v;
}

// Eye coordinates for OpenGL: (right, up, -forward).
struct Eye {
    const Camera &c;
    VECTOR3 P(const VECTOR3 &global) const
    {
        const VECTOR3 d = global - c.pos;
        return _V(dotp(d, c.right), dotp(d, c.up), -dotp(d, c.fwd));
    }
    VECTOR3 N(const VECTOR3 &dir) const { return _V(dotp(dir, c.right), dotp(dir, c.up), -dotp(dir, c.fwd)); }
};

// Sky colour looking at elevation angle e [rad] from altitude h [m]: a blue that pales toward the
// horizon and darkens to black above the atmosphere.
void SkyColour(double e, double h, float *rgb)
{
    const double thin = std::clamp((h - 15000) / 60000, 0.0, 1.0);
    const double t = std::clamp(e / (kPi / 2), 0.0, 1.0);
    const double zen[3] = {0.22, 0.42, 0.78}, hor[3] = {0.72, 0.82, 0.92};
    for (int k = 0; k < 3; ++k) {
        const double day = hor[k] + (zen[k] - hor[k]) * std::sqrt(t);
        rgb[k] = static_cast<float>(day * (1 - thin) + (e < 0.02 ? 0.25 * hor[k] : 0.0) * thin);
    }
}

// The haze between the camera and ground d metres away, seen through air of the camera's height h:
// the share of the horizon colour in what is seen. Thinner air above, none in space.
constexpr double kHazeDistance = 45000;  // [m] in air at the ground
double Haze(double d, double h) { return 1 - std::exp(-d / kHazeDistance * std::exp(-std::max(0.0, h) / 8000.0 * 0.5)); }
constexpr double kLand[3] = {0.40, 0.45, 0.25};  // mean colour of the ground texture

void SetMaterial(const MATERIAL *m)
{
    float d[4] = {0.8f, 0.8f, 0.8f, 1}, a[4] = {0.8f, 0.8f, 0.8f, 1}, s[4] = {0, 0, 0, 1}, e[4] = {0, 0, 0, 1};
    float pw = 0;
    if (m) {
        d[0] = m->diffuse.r, d[1] = m->diffuse.g, d[2] = m->diffuse.b, d[3] = m->diffuse.a;
        a[0] = m->ambient.r, a[1] = m->ambient.g, a[2] = m->ambient.b, a[3] = m->ambient.a;
        s[0] = m->specular.r, s[1] = m->specular.g, s[2] = m->specular.b;
        e[0] = m->emissive.r, e[1] = m->emissive.g, e[2] = m->emissive.b;
        pw = std::clamp(m->power, 0.0f, 128.0f);
    }
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, d);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, a);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, s);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, e);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, pw);
}

struct DrawItem {
    const Mesh *mesh;
    size_t group;
    const Vessel *vessel;
    VECTOR3 ofs;
    double dist;
};

class Renderer {
public:
    Renderer(World &w, const Camera &cam, KeptTextures &kept) : w_(w), cam_(cam), eye_{cam_}, tex_(w, kept) {}

    // The scene; a warm-up draws the ground wherever the camera is and one triangle in each way a
    // vessel's group is drawn (opaque or see-through, with a texture or without), so that the
    // renderer has made the shaders of every later picture.
    void Draw(bool warm_up = false)
    {
        const Vessel *target = nullptr;
        for (Vessel *v : w_.Vessels())
            if (!target || length(v->GlobalPos() - cam_.pos) < length(target->GlobalPos() - cam_.pos)) target = v;
        Body *earth = target && target->ref ? target->ref : w_.Earth();
        Background(earth);
        glClear(GL_DEPTH_BUFFER_BIT);
        Projection(kNear, kFar);
        Lights();
        glEnable(GL_DEPTH_TEST);
        if (earth && (warm_up || length(cam_.pos - earth->pos) - earth->radius < 0.5 * kGroundPatch)) Ground(earth);
        Vessels();
        if (warm_up) GroupKinds();
    }

private:
    void Projection(double n, double f)
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        const double t = n * std::tan(cam_.fov * kDeg / 2), r = t * cam_.width / cam_.height;
        glFrustum(-r, r, -t, t, n, f);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    VECTOR3 SunDir() const
    {
        Body *sun = w_.Sun();
        return sun ? Unit(sun->pos - cam_.pos) : _V(0, 1, 0);
    }

    void Lights()
    {
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        const VECTOR3 s = eye_.N(SunDir());
        const float pos[4] = {static_cast<float>(s.x), static_cast<float>(s.y), static_cast<float>(s.z), 0};
        const float white[4] = {1, 1, 0.96f, 1}, amb[4] = {static_cast<float>(kAmbient), static_cast<float>(kAmbient),
                                                             static_cast<float>(kAmbient * 1.1), 1};
        glLightfv(GL_LIGHT0, GL_POSITION, pos);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_SPECULAR, white);
        const float none[4] = {0, 0, 0, 1};
        glLightfv(GL_LIGHT0, GL_AMBIENT, none);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, amb);
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
        glEnable(GL_NORMALIZE);
        // Back faces are culled as the simulator's client culls them: a face shows from the side
        // its vertices run clockwise.
        glFrontFace(GL_CW);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glShadeModel(GL_SMOOTH);
    }

    // Sky dome and the Earth as a shaded sphere, behind everything.
    void Background(Body *earth)
    {
        Projection(1, 1e9);
        glDisable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glDisable(GL_TEXTURE_2D);
        const VECTOR3 up = earth ? Unit(cam_.pos - earth->pos) : cam_.up;
        const double alt = earth ? length(cam_.pos - earth->pos) - earth->radius : 1e7;
        // Sky: a sphere of directions around the camera, coloured by their height angle.
        VECTOR3 e1 = Unit(crossp(up, _V(0.3, 0.2, 0.9))), e2 = crossp(up, e1);
        const int na = 36, ne = 18;
        for (int i = 0; i < ne; ++i) {
            glBegin(GL_TRIANGLE_STRIP);
            for (int j = 0; j <= na; ++j)
                for (int k = 0; k < 2; ++k) {
                    const double el = -kPi / 2 + kPi * (i + k) / ne, az = 2 * kPi * j / na;
                    const VECTOR3 d = (e1 * std::cos(az) + e2 * std::sin(az)) * std::cos(el) + up * std::sin(el);
                    float c[3];
                    SkyColour(el, alt, c);
                    glColor3fv(c);
                    const VECTOR3 p = eye_.N(d * 1000);
                    glVertex3d(p.x, p.y, p.z);
                }
            glEnd();
        }
        if (!earth) return;
        // The Earth: a sphere lit by the Sun, hazed with distance as the near ground is.
        const VECTOR3 sun = SunDir();
        const double R = earth->radius;
        // Points of the sphere around the one under the camera, out to the horizon.
        VECTOR3 f1 = Unit(crossp(up, _V(0.3, 0.9, 0.2))), f2 = crossp(up, f1);
        const double rim = std::acos(std::min(1.0, R / (R + std::max(alt, 1.0))));  // cap angle seen
        float hz[3];
        SkyColour(0, alt, hz);
        const int nr = 64, nt = 72;
        for (int i = 0; i < nr; ++i) {
            glBegin(GL_TRIANGLE_STRIP);
            for (int j = 0; j <= nt; ++j)
                for (int k = 0; k < 2; ++k) {
                    const double t = static_cast<double>(i + k) / nr;
                    const double a = rim * t * t, az = 2 * kPi * j / nt;
                    const VECTOR3 n = up * std::cos(a) + (f1 * std::cos(az) + f2 * std::sin(az)) * std::sin(a);
                    const VECTOR3 p = earth->pos + n * R;
                    // Lit as the near ground is (ambient plus the Sun's full diffuse light).
                    const double light = std::min(1.0, kAmbient + std::max(0.0, dotp(n, sun)));
                    const double haze = Haze(length(p - cam_.pos), alt);
                    float c[3];
                    for (int q = 0; q < 3; ++q)
                        c[q] = static_cast<float>((kLand[q] * light) * (1 - haze) + hz[q] * haze);
                    glColor3fv(c);
                    const VECTOR3 e = eye_.P(p);
                    glVertex3d(e.x, e.y, e.z);
                }
            glEnd();
        }
    }

    // The ground around the view: a cap of the sphere, depth-tested, textured with fields, hazed
    // like the background with the same law (exponential fog).
    void Ground(Body *earth)
    {
        glDisable(GL_CULL_FACE);
        const VECTOR3 up = Unit(cam_.pos - earth->pos);
        const VECTOR3 f1 = Unit(crossp(up, _V(0.3, 0.9, 0.2))), f2 = crossp(up, f1);
        const double R = earth->radius, alt = length(cam_.pos - earth->pos) - R;
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, tex_.Fields());
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        SetMaterial(nullptr);
        const float soil[4] = {1, 1, 1, 1};
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, soil);
        // The patch's rim fades into the background sphere (vertex alpha through the material).
        glEnable(GL_COLOR_MATERIAL);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_FOG);
        float hz[4] = {0, 0, 0, 1};
        SkyColour(0, alt, hz);
        glFogfv(GL_FOG_COLOR, hz);
        glFogi(GL_FOG_MODE, GL_EXP);
        glFogf(GL_FOG_DENSITY, static_cast<float>(std::exp(-std::max(0.0, alt) / 8000.0 * 0.5) / kHazeDistance));
        const int nr = 40, nt = 64;
        for (int i = 0; i < nr; ++i) {
            glBegin(GL_TRIANGLE_STRIP);
            for (int j = 0; j <= nt; ++j)
                for (int k = 0; k < 2; ++k) {
                    const double t = static_cast<double>(i + k) / nr;
                    const double d = kGroundPatch * t * t, a = d / R, az = 2 * kPi * j / nt;
                    const VECTOR3 n = up * std::cos(a) + (f1 * std::cos(az) + f2 * std::sin(az)) * std::sin(a);
                    const VECTOR3 p = earth->pos + n * R;
                    const VECTOR3 en = eye_.N(n), ep = eye_.P(p);
                    glColor4d(1, 1, 1, std::clamp((1 - t) / 0.3, 0.0, 1.0));
                    glNormal3d(en.x, en.y, en.z);
                    // Fields of a few hundred metres: the texture repeats every 2.5 km of ground.
                    glTexCoord2d(d * std::cos(az) / 2500, d * std::sin(az) / 2500);
                    glVertex3d(ep.x, ep.y, ep.z);
                }
            glEnd();
        }
        glDisable(GL_FOG);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        glDisable(GL_COLOR_MATERIAL);
        glEnable(GL_CULL_FACE);
    }

    void Vessels()
    {
        std::vector<DrawItem> opaque, clear;
        for (Vessel *v : w_.Vessels()) {
            if (length(v->GlobalPos() - cam_.pos) > kSceneRange + v->size) continue;
            posed_.push_back(PosedMeshes(*v));
            auto &meshes = posed_.back();
            for (size_t s = 0; s < meshes.size(); ++s) {
                const Mesh *m = meshes[s].get();
                if (!m) continue;
                const VECTOR3 ofs = s < v->meshes.size() && v->meshes[s].has_ofs ? v->meshes[s].ofs : _V(0, 0, 0);
                for (size_t g = 0; g < m->groups.size(); ++g) {
                    if (m->groups[g].UsrFlag & 0x2) continue;
                    const DWORD mi = m->groups[g].MtrlIdx;
                    const MATERIAL *mat = mi < m->materials.size() ? &m->materials[mi] : nullptr;
                    const double alpha = mat ? mat->diffuse.a : 1.0;
                    if (alpha <= 0.004) continue;
                    const DWORD ti = m->groups[g].TexIdx;
                    const bool see_through = ti < m->textures.size() && m->textures[ti] && tex_.HasAlpha(m->textures[ti]);
                    DrawItem it{m, g, v, ofs, 0};
                    if (alpha < 0.999 || see_through) {
                        it.dist = length(v->GlobalPos() - cam_.pos);
                        clear.push_back(it);
                    } else {
                        opaque.push_back(it);
                    }
                }
            }
        }
        glDisable(GL_BLEND);
        for (const DrawItem &it : opaque) DrawGroup(it);
        std::stable_sort(clear.begin(), clear.end(), [](const DrawItem &a, const DrawItem &b) { return a.dist > b.dist; });
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
        for (const DrawItem &it : clear) DrawGroup(it);
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }

    void GroupKinds()
    {
        SetMaterial(nullptr);
        for (int clear = 0; clear < 2; ++clear)
            for (int textured = 0; textured < 2; ++textured) {
                if (clear) {
                    glEnable(GL_BLEND);
                    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                    glDepthMask(GL_FALSE);
                }
                if (textured) {
                    glEnable(GL_TEXTURE_2D);
                    glBindTexture(GL_TEXTURE_2D, tex_.Fields());
                    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
                }
                glBegin(GL_TRIANGLES);
                for (int k = 0; k < 3; ++k) {
                    glNormal3d(0, 0, -1);
                    glTexCoord2d(k == 1, k == 2);
                    glVertex3d(k == 1 ? 1 : 0, k == 2 ? 1 : 0, 10);
                }
                glEnd();
                glDisable(GL_TEXTURE_2D);
                glDepthMask(GL_TRUE);
                glDisable(GL_BLEND);
            }
    }

    void DrawGroup(const DrawItem &it)
    {
        const Mesh &m = *it.mesh;
        const MESHGROUP &g = m.groups[it.group];
        const DWORD mi = g.MtrlIdx;
        SetMaterial(mi < m.materials.size() ? &m.materials[mi] : nullptr);
        GLuint tex = 0;
        if (g.TexIdx < m.textures.size() && m.textures[g.TexIdx]) tex = tex_.Gl(m.textures[g.TexIdx]);
        if (tex) {
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, tex);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        } else {
            glDisable(GL_TEXTURE_2D);
        }
        const Vessel &v = *it.vessel;
        const VECTOR3 base = v.GlobalPos();
        const auto &vtx = m.vtx[it.group];
        const auto &idx = m.idx[it.group];
        glBegin(GL_TRIANGLES);
        for (WORD i : idx) {
            if (i >= vtx.size()) continue;
            const NTVERTEX &p = vtx[i];
            const VECTOR3 gp = base + mul(v.R, _V(p.x, p.y, p.z) + it.ofs);
            const VECTOR3 gn = mul(v.R, _V(p.nx, p.ny, p.nz));
            const VECTOR3 e = eye_.P(gp), n = eye_.N(gn);
            glNormal3d(n.x, n.y, n.z);
            glTexCoord2d(p.tu, p.tv);
            glVertex3d(e.x, e.y, e.z);
        }
        glEnd();
    }

    World &w_;
    const Camera &cam_;
    Eye eye_;
    TextureCache tex_;
    std::vector<std::vector<std::unique_ptr<Mesh>>> posed_;
};

}  // namespace

std::vector<std::unique_ptr<Mesh>> PosedMeshes(const Vessel &v)
{
    std::vector<std::unique_ptr<Mesh>> out(v.meshes.size());
    for (size_t s = 0; s < v.meshes.size(); ++s) {
        const MeshSlot &slot = v.meshes[s];
        if (!slot.present || !(slot.vis_mode & MESHVIS_EXTERNAL)) continue;
        const Mesh *src = v.visual && s < v.visual->meshes.size() && v.visual->meshes[s] ? v.visual->meshes[s] : slot.source;
        if (!src) continue;
        auto m = std::make_unique<Mesh>();
        m->CopyFrom(*src);
        out[s] = std::move(m);
    }
    Animator animate(v, out);
    for (auto &m : out)
        if (m) m->Relink();
    return out;
}

bool ViewCamera(World &w, const ViewSpec &spec, Camera *cam, std::string *error)
{
    Vessel *v = w.FindVessel(spec.vessel);
    if (!v) {
        if (error) *error = "no vessel \"" + spec.vessel + "\"";
        return false;
    }
    const MATRIX3 H = v->HorizonFrame();  // columns east, up, north
    const VECTOR3 east = _V(H.m11, H.m21, H.m31), up = _V(H.m12, H.m22, H.m32), north = _V(H.m13, H.m23, H.m33);
    const double b = v->Heading() + spec.azimuth * kDeg, e = spec.elevation * kDeg;
    // The camera looks at the middle of the vessel's meshes as they stand, with those of what
    // hangs on it (their bounding box in the vessel's frame).
    VECTOR3 lo = _V(1e30, 1e30, 1e30), hi = _V(-1e30, -1e30, -1e30);
    for (Vessel *part : w.Vessels()) {
        if (part != v && part->parent != v) continue;
        const auto meshes = PosedMeshes(*part);
        for (size_t s = 0; s < meshes.size(); ++s) {
            if (!meshes[s]) continue;
            const VECTOR3 ofs = part->meshes[s].has_ofs ? part->meshes[s].ofs : _V(0, 0, 0);
            for (size_t g = 0; g < meshes[s]->vtx.size(); ++g) {
                if (meshes[s]->groups[g].UsrFlag & 0x2) continue;
                for (const NTVERTEX &p : meshes[s]->vtx[g]) {
                    VECTOR3 q = _V(p.x, p.y, p.z) + ofs;
                    if (part != v) q = tmul(v->R, part->GlobalPos() + mul(part->R, q) - v->GlobalPos());
                    lo = _V(std::min(lo.x, q.x), std::min(lo.y, q.y), std::min(lo.z, q.z));
                    hi = _V(std::max(hi.x, q.x), std::max(hi.y, q.y), std::max(hi.z, q.z));
                }
            }
        }
    }
    VECTOR3 centre = _V(0, 0, 0);
    double radius = v->size;
    if (lo.x <= hi.x) centre = (lo + hi) * 0.5, radius = length(hi - lo) * 0.5;
    const VECTOR3 aim = v->GlobalPos() + mul(v->R, centre);
    const double d = spec.distance > 0 ? spec.distance : 1.2 * radius / std::tan(spec.fov * kDeg / 2);
    const VECTOR3 off = (east * std::sin(b) + north * std::cos(b)) * std::cos(e) + up * std::sin(e);
    cam->pos = aim + off * d;
    cam->fwd = Unit(off * -1);
    cam->right = Unit(crossp(up, cam->fwd));
    if (length(cam->right) < 0.5) cam->right = Unit(crossp(north, cam->fwd));
    cam->up = crossp(cam->fwd, cam->right);
    cam->fov = spec.fov;
    cam->width = spec.width;
    cam->height = spec.height;
    return true;
}

bool Project(const Camera &cam, const VECTOR3 &global, double *px, double *py)
{
    const VECTOR3 d = global - cam.pos;
    const double z = dotp(d, cam.fwd);
    if (z <= 0) return false;
    const double t = std::tan(cam.fov * kDeg / 2);
    const double sx = dotp(d, cam.right) / (z * t * cam.width / cam.height), sy = dotp(d, cam.up) / (z * t);
    *px = (sx + 1) * 0.5 * cam.width;
    *py = (1 - sy) * 0.5 * cam.height;
    return true;
}

namespace {

// One off-screen context for all the pictures of a process, and its drawing buffer: making a
// context (the software rasteriser's threads, its compiled state) costs more than drawing a view.
struct OffscreenGl {
    OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    std::vector<std::uint8_t> buffer;
    const std::uint8_t *bound = nullptr;  // the buffer the context draws into, and its size
    int bound_w = 0, bound_h = 0;
    KeptTextures textures;
    OffscreenGl() = default;
    OffscreenGl(const OffscreenGl &) = delete;
    OffscreenGl &operator=(const OffscreenGl &) = delete;
    ~OffscreenGl()
    {
        if (ctx) OSMesaDestroyContext(ctx);
    }
};

OffscreenGl &TheOffscreenGl()
{
    static OffscreenGl gl;
    return gl;
}

bool Render(World &w, const ViewSpec &spec, bool warm_up, std::vector<std::uint8_t> *rgb, std::string *error)
{
    if (spec.width < 16 || spec.height < 16 || spec.width > 4096 || spec.height > 4096) {
        if (error) *error = "picture size out of range";
        return false;
    }
    Camera cam;
    if (!ViewCamera(w, spec, &cam, error)) return false;
    Camera big = cam;
    big.width = spec.width * kSuper;
    big.height = spec.height * kSuper;
    OffscreenGl &gl = TheOffscreenGl();
    if (!gl.ctx) {
        if (error) *error = "no off-screen OpenGL context";
        return false;
    }
    std::vector<std::uint8_t> &buf = gl.buffer;
    buf.resize(static_cast<size_t>(big.width) * big.height * 4);
    // The context stays bound to the buffer from one picture to the next of the same size (binding
    // it again sets the renderer's frame buffer up anew).
    if (gl.bound != buf.data() || gl.bound_w != big.width || gl.bound_h != big.height) {
        gl.bound = nullptr;
        if (!OSMesaMakeCurrent(gl.ctx, buf.data(), GL_UNSIGNED_BYTE, big.width, big.height)) {
            if (error) *error = "cannot draw off screen";
            return false;
        }
        OSMesaPixelStore(OSMESA_Y_UP, 0);  // row 0 at the top
        gl.bound = buf.data(), gl.bound_w = big.width, gl.bound_h = big.height;
    }
    // Whatever the drawing sets is put back after it, so that every picture starts from the state
    // of a fresh context.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glViewport(0, 0, big.width, big.height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    {
        Renderer r(w, big, gl.textures);
        r.Draw(warm_up);
        glFinish();
    }
    glPopAttrib();
    // Down-sample: each output pixel the mean of its kSuper x kSuper samples.
    rgb->assign(static_cast<size_t>(spec.width) * spec.height * 3, 0);
    for (int y = 0; y < spec.height; ++y)
        for (int x = 0; x < spec.width; ++x)
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int j = 0; j < kSuper; ++j)
                    for (int i = 0; i < kSuper; ++i)
                        sum += buf[4 * ((static_cast<size_t>(y) * kSuper + j) * big.width + static_cast<size_t>(x) * kSuper + i) + c];
                (*rgb)[3 * (static_cast<size_t>(y) * spec.width + x) + c] = static_cast<std::uint8_t>(sum / (kSuper * kSuper));
            }
    return true;
}

}  // namespace

bool RenderView(World &w, const ViewSpec &spec, std::vector<std::uint8_t> *rgb, std::string *error)
{
    return Render(w, spec, false, rgb, error);
}

void PrepareViews(World *w)
{
    OffscreenGl &gl = TheOffscreenGl();
    if (!gl.ctx || !w || !w->Focus()) return;
    const ViewSpec defaults;
    gl.buffer.reserve(static_cast<size_t>(defaults.width) * kSuper * defaults.height * kSuper * 4);
    ViewSpec spec;
    spec.vessel = w->Focus()->name;
    spec.width = spec.height = kWarmUpSide;
    std::vector<std::uint8_t> rgb;
    std::string error;
    Render(*w, spec, true, &rgb, &error);  // nothing of it is kept
}

bool WriteView(World &w, const ViewSpec &spec, const std::string &path, std::string *error, PictureWriter *writer)
{
    std::vector<std::uint8_t> rgb;
    if (!RenderView(w, spec, &rgb, error)) return false;
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, spec.width, spec.height);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        if (error) *error = "cannot make a picture of that size";
        return false;
    }
    cairo_surface_flush(s);
    unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < spec.height; ++y)
        for (int x = 0; x < spec.width; ++x) {
            const std::uint8_t *p = &rgb[3 * (static_cast<size_t>(y) * spec.width + x)];
            const std::uint32_t v = (0xFFu << 24) | (static_cast<std::uint32_t>(p[0]) << 16) |
                                    (static_cast<std::uint32_t>(p[1]) << 8) | p[2];
            std::memcpy(data + static_cast<size_t>(y) * stride + 4 * static_cast<size_t>(x), &v, 4);
        }
    cairo_surface_mark_dirty(s);
    if (writer) {
        writer->Write(s, path);
        return true;
    }
    const bool ok = WriteSurfacePng(s, path, error);
    cairo_surface_destroy(s);
    return ok;
}

}  // namespace sim
