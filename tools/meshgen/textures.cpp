// textures.cpp -- procedural paintings and the DDS writers.
//
// DDS layout as the simulator's graphics clients load it (DDS_HEADER, 124 bytes after "DDS "):
// flags CAPS|HEIGHT|WIDTH|PIXELFORMAT plus LINEARSIZE for DXT1 or PITCH for 32-bit images; pixel
// format FOURCC "DXT1", or RGB|ALPHAPIXELS with 32 bits and masks 00FF0000 / 0000FF00 / 000000FF /
// FF000000; caps TEXTURE. One mip level.
#include "textures.h"

#include <algorithm>
#include <cmath>

namespace meshgen {

namespace {

constexpr double kPi = 3.14159265358979323846;

void Put32(std::string &s, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string Header(int w, int h, bool dxt1)
{
    std::string s = "DDS ";
    Put32(s, 124);
    Put32(s, 0x1007u | (dxt1 ? 0x80000u : 0x8u));                        // flags
    Put32(s, static_cast<std::uint32_t>(h));
    Put32(s, static_cast<std::uint32_t>(w));
    Put32(s, dxt1 ? static_cast<std::uint32_t>(std::max(1, w / 4) * std::max(1, h / 4) * 8)
                  : static_cast<std::uint32_t>(w * 4));                   // linear size / pitch
    Put32(s, 0);                                                           // depth
    Put32(s, 0);                                                           // mip levels
    for (int i = 0; i < 11; ++i) Put32(s, 0);                              // reserved
    Put32(s, 32);                                                          // pixel format size
    if (dxt1) {
        Put32(s, 0x4);                                                     // FOURCC
        s += "DXT1";
        for (int i = 0; i < 5; ++i) Put32(s, 0);
    } else {
        Put32(s, 0x41);                                                    // RGB | ALPHAPIXELS
        Put32(s, 0);
        Put32(s, 32);
        Put32(s, 0x00FF0000u);
        Put32(s, 0x0000FF00u);
        Put32(s, 0x000000FFu);
        Put32(s, 0xFF000000u);
    }
    Put32(s, 0x1000);                                                      // caps: texture
    for (int i = 0; i < 4; ++i) Put32(s, 0);
    return s;
}

int To565(int r, int g, int b) { return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3); }
void From565(int c, int *r, int *g, int *b)
{
    *r = ((c >> 11) & 31) * 255 / 31;
    *g = ((c >> 5) & 63) * 255 / 63;
    *b = (c & 31) * 255 / 31;
}

// Integer hash noise in [0, 1): the same on every machine.
double Hash(int x, int y, int seed)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                      static_cast<std::uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / 16777216.0;
}
// Smooth value noise of cell size `cell` pixels.
double Noise(double x, double y, double cell, int seed)
{
    const double fx = x / cell, fy = y / cell;
    const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    const double tx = fx - ix, ty = fy - iy;
    const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const double a = Hash(ix, iy, seed), b = Hash(ix + 1, iy, seed), c = Hash(ix, iy + 1, seed),
                 d = Hash(ix + 1, iy + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}
double Fbm(double x, double y, double cell, int seed)
{
    return 0.5 * Noise(x, y, cell, seed) + 0.3 * Noise(x, y, cell / 2, seed + 1) + 0.2 * Noise(x, y, cell / 4, seed + 2);
}

double Clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
double Smooth(double e0, double e1, double x)
{
    const double t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

struct C3 {
    double r, g, b;
};
C3 Mix(C3 a, C3 b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
C3 Mul(C3 a, double s) { return {a.r * s, a.g * s, a.b * s}; }

// A 5 x 7 block font for the few letters the paintings need.
const char *Glyph(char c)
{
    switch (c) {
    case 'H': return "10001100011000111111100011000110001";
    case 'X': return "10001100010101000100010101000110001";
    case '2': return "01110100010000100010001000100011111";
    case '0': return "01110100011001110101110011000101110";
    case 'C': return "01110100011000010000100001000101110";
    case 'O': return "01110100011000110001100011000101110";
    case 'R': return "11110100011000111110101001001010001";
    case 'V': return "10001100011000110001100010101000100";
    case 'A': return "01110100011000111111100011000110001";
    case 'N': return "10001110011010110011100011000110001";
    case 'E': return "11111100001000011110100001000011111";
    case 'S': return "01111100001000001110000010000111110";
    default: return "00000000000000000000000000000000000";
    }
}

// Paints `text` along the fuselage's length on one side of the livery map (u around, v along):
// letters `s` pixels per font pixel, starting `v0` pixels from the nose, their baseline at u
// pixel `u0`. On the right side (u < 0.5 from the belly up) the text reads from tail to nose and
// its up is +u; on the left side it reads from nose to tail and its up is -u.
void SideText(Image &img, int v0, int u0, int s, const std::string &text, std::uint32_t colour, bool right)
{
    const int n = static_cast<int>(text.size());
    for (int i = 0; i < n; ++i) {
        const char *g = Glyph(text[i]);
        for (int gy = 0; gy < 7; ++gy)
            for (int gx = 0; gx < 5; ++gx) {
                if (g[gy * 5 + gx] != '1') continue;
                for (int py = 0; py < s; ++py)
                    for (int px = 0; px < s; ++px) {
                        const int along = (i * 6 + gx) * s + px, up = (6 - gy) * s + (s - 1 - py);
                        const int Y = right ? v0 + n * 6 * s - along : v0 + along;
                        const int X = right ? u0 + up : u0 - up;
                        if (X >= 0 && Y >= 0 && X < img.w && Y < img.h) img.At(X, Y) = colour;
                    }
            }
    }
}

std::uint32_t Px(C3 c, double a = 1) { return Rgb(c.r, c.g, c.b, a); }

// Ram-air canopy cloth: u across the span, one stripe per cell (nine), alternately orange and white,
// with darker seams at the ribs.
Image Canopy()
{
    Image img(256, 64);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const double u = (x + 0.5) / img.w * 9;
            const int cell = static_cast<int>(u);
            const double f = u - cell;
            C3 c = (cell % 2) ? C3{0.95, 0.95, 0.92} : C3{0.98, 0.45, 0.05};
            if (f < 0.04 || f > 0.96) c = Mul(c, 0.6);
            c = Mul(c, 0.92 + 0.08 * Fbm(x, y, 6, 81));
            img.At(x, y) = Px(c);
        }
    return img;
}

// The heat shield seen from its front: texture coordinates are a polar map, (0.5, 0.5) at the
// nose, the shoulder on the circle of radius 0.5. `burnt` paints it after the entry.
Image HeatShield(bool burnt)
{
    Image img(512, 512);
    const C3 ablator{0.55, 0.42, 0.30}, seam{0.38, 0.28, 0.19}, char_{0.06, 0.05, 0.045}, glaze{0.22, 0.12, 0.07};
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const double u = (x + 0.5) / img.w - 0.5, v = (y + 0.5) / img.h - 0.5;
            const double r = 2 * std::sqrt(u * u + v * v), a = std::atan2(v, u);
            const double grain = Fbm(x, y, 24, 7);
            C3 c = Mul(ablator, 0.85 + 0.3 * grain);
            // Tile seams: rings and spokes of the ablator's segments.
            const double ring = std::fabs(std::fmod(r * 4 + 10, 1.0) - 0.5);
            const double spoke = std::fabs(std::fmod((a + kPi) / (2 * kPi) * 12 + 10, 1.0) - 0.5);
            if ((ring > 0.48 && r > 0.2) || (spoke > 0.485 && r > 0.25)) c = seam;
            if (burnt) {
                // Charred all over, darkest at the stagnation point, flow streaks toward the shoulder.
                const double streak = Noise(a * 80, r * 6, 1.0, 11);
                const double soot = 0.75 + 0.25 * Smooth(0.9, 0.2, r) + 0.1 * (streak - 0.5);
                c = Mix(c, char_, Clamp01(soot));
                c = Mix(c, glaze, 0.25 * Fbm(x, y, 40, 12) * Smooth(0.3, 0.9, r));
            }
            if (r > 0.98) c = Mul(c, 0.7);
            img.At(x, y) = Px(c);
        }
    return img;
}

Image Backshell(int seed, C3 base, bool rivets)
{
    Image img(128, 128);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            C3 c = Mul(base, 0.85 + 0.25 * Fbm(x, y, 12, seed));
            if (rivets && (y % 32 == 16) && (x % 8 == 4)) c = Mul(c, 0.6);
            img.At(x, y) = Px(c);
        }
    return img;
}

Image Band()
{
    Image img(128, 128);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            C3 c = Mul(C3{0.78, 0.62, 0.25}, 0.85 + 0.25 * Fbm(x, y, 10, 21));
            if ((x / 16) % 2 == 0 && y > 48 && y < 80) c = {0.12, 0.12, 0.14};
            img.At(x, y) = Px(c);
        }
    return img;
}

// Solar cells: a grid of dark blue cells with silver gaps and thin bus bars.
Image SolarCells()
{
    Image img(256, 256);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const int cx = x % 32, cy = y % 21;
            C3 c{0.05, 0.09, 0.28};
            c = Mul(c, 0.9 + 0.2 * Hash(x / 32, y / 21, 31));
            if (cx < 2 || cy < 2) c = {0.75, 0.76, 0.8};
            else if (cx % 8 == 5) c = {0.35, 0.38, 0.48};
            if (x < 4 || y < 4 || x >= img.w - 4 || y >= img.h - 4) c = {0.6, 0.6, 0.62};
            img.At(x, y) = Px(c);
        }
    return img;
}

// Multi-layer insulation: gold foil with creases.
Image Foil()
{
    Image img(128, 128);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const double n = Fbm(x, y, 16, 41), m = Noise(x * 1.3 + y * 0.4, y * 0.7, 6, 42);
            C3 c = Mul(C3{0.85, 0.66, 0.22}, 0.7 + 0.45 * n + 0.15 * (m - 0.5));
            img.At(x, y) = Px(c);
        }
    return img;
}

// The helicopter's livery on the fuselage's texture map: u runs around the fuselage (0 and 1 at
// the belly, 0.5 on the roof; the right side x > 0 is u in 0..0.5), v from the nose (0) to the
// tail (1).
Image Livery()
{
    Image img(512, 256);
    const C3 white{0.93, 0.93, 0.9}, red{0.78, 0.1, 0.08}, dark{0.15, 0.17, 0.2};
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const double u = (x + 0.5) / img.w, v = (y + 0.5) / img.h;
            const double side = std::fabs(u - 0.5);  // 0 on the roof, 0.5 at the belly
            C3 c = white;
            // A red band along the sides, sweeping up toward the tail.
            const double band = 0.3 - 0.08 * v;
            if (std::fabs(side - band) < 0.035) c = red;
            if (side > 0.42) c = dark;  // belly
            c = Mul(c, 0.95 + 0.05 * Fbm(x, y, 8, 51));
            img.At(x, y) = Px(c);
        }
    // Registration on both sides, each readable from its own side, on the cabin's rear half.
    SideText(img, 164, 140, 3, "HX220", Rgb(0.1, 0.12, 0.3), true);
    SideText(img, 164, 372, 3, "HX220", Rgb(0.1, 0.12, 0.3), false);
    return img;
}

// The heliport's surface seen from above: concrete, a yellow touchdown ring and a white H.
Image HeliportPad()
{
    Image img(512, 512);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const double u = (x + 0.5) / img.w - 0.5, v = (y + 0.5) / img.h - 0.5;
            const double r = std::sqrt(u * u + v * v);
            C3 c = Mul(C3{0.52, 0.52, 0.5}, 0.85 + 0.25 * Fbm(x, y, 20, 61));
            if ((x % 128 < 2) || (y % 128 < 2)) c = Mul(c, 0.8);  // slab joints
            if (r > 0.34 && r < 0.37) c = {0.95, 0.78, 0.1};
            if (std::fabs(u) > 0.47 || std::fabs(v) > 0.47) c = (((x + y) / 24) % 2) ? C3{0.95, 0.95, 0.95} : C3{0.9, 0.2, 0.1};
            const bool bar = std::fabs(v) < 0.16 && ((std::fabs(u + 0.1) < 0.025) || (std::fabs(u - 0.1) < 0.025));
            const bool cross = std::fabs(u) < 0.1 && std::fabs(v) < 0.022;
            if (bar || cross) c = {0.96, 0.96, 0.96};
            img.At(x, y) = Px(c);
        }
    return img;
}

// The rotor's blur seen from above: grey streaks round the hub, mostly see-through (alpha), a
// darker ring where the blade tips run. Polar map: the centre at (0.5, 0.5), the tips on r = 0.5.
Image RotorBlur()
{
    Image img(128, 128);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const double u = (x + 0.5) / img.w - 0.5, v = (y + 0.5) / img.h - 0.5;
            const double r = 2 * std::sqrt(u * u + v * v);
            const double streak = 0.5 + 0.5 * Noise(r * 60, 0.5, 1.0, 91);
            double a = r > 1 ? 0 : 0.18 + 0.12 * streak;
            if (r > 0.93 && r <= 1) a = 0.45;
            img.At(x, y) = Rgb(0.25, 0.25, 0.27, a);
        }
    return img;
}

// A soft round glow with alpha, for the attitude thrusters' exhaust.
Image Exhaust()
{
    Image img(64, 64);
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const double u = (x + 0.5) / img.w - 0.5, v = (y + 0.5) / img.h - 0.5;
            const double a = Clamp01(1 - 2 * std::sqrt(u * u + v * v));
            img.At(x, y) = Rgb(1, 0.95, 0.85, a * a);
        }
    return img;
}

}  // namespace

std::uint32_t Rgb(double r, double g, double b, double a)
{
    auto q = [](double v) { return static_cast<std::uint32_t>(std::lround(Clamp01(v) * 255)); };
    return (q(a) << 24) | (q(r) << 16) | (q(g) << 8) | q(b);
}

std::string DdsDxt1(const Image &img)
{
    std::string s = Header(img.w, img.h, true);
    for (int by = 0; by < img.h; by += 4)
        for (int bx = 0; bx < img.w; bx += 4) {
            int px[16][3];
            for (int k = 0; k < 16; ++k) {
                const std::uint32_t c = img.px[static_cast<size_t>(by + k / 4) * img.w + bx + k % 4];
                px[k][0] = (c >> 16) & 255, px[k][1] = (c >> 8) & 255, px[k][2] = c & 255;
            }
            // End points: the two pixels farthest apart along the block's brightest-to-darkest line.
            int lo = 0, hi = 0;
            auto lum = [&](int k) { return px[k][0] * 3 + px[k][1] * 6 + px[k][2]; };
            for (int k = 1; k < 16; ++k) {
                if (lum(k) < lum(lo)) lo = k;
                if (lum(k) > lum(hi)) hi = k;
            }
            int c0 = To565(px[hi][0], px[hi][1], px[hi][2]), c1 = To565(px[lo][0], px[lo][1], px[lo][2]);
            if (c0 < c1) std::swap(c0, c1);
            std::uint32_t bits = 0;
            if (c0 != c1) {
                int pal[4][3];
                From565(c0, &pal[0][0], &pal[0][1], &pal[0][2]);
                From565(c1, &pal[1][0], &pal[1][1], &pal[1][2]);
                for (int ch = 0; ch < 3; ++ch) {
                    pal[2][ch] = (2 * pal[0][ch] + pal[1][ch]) / 3;
                    pal[3][ch] = (pal[0][ch] + 2 * pal[1][ch]) / 3;
                }
                for (int k = 0; k < 16; ++k) {
                    int best = 0, bestd = 1 << 30;
                    for (int p = 0; p < 4; ++p) {
                        const int dr = px[k][0] - pal[p][0], dg = px[k][1] - pal[p][1], db = px[k][2] - pal[p][2];
                        const int d = dr * dr + dg * dg + db * db;
                        if (d < bestd) bestd = d, best = p;
                    }
                    bits |= static_cast<std::uint32_t>(best) << (2 * k);
                }
            }
            s.push_back(static_cast<char>(c0 & 255));
            s.push_back(static_cast<char>(c0 >> 8));
            s.push_back(static_cast<char>(c1 & 255));
            s.push_back(static_cast<char>(c1 >> 8));
            Put32(s, bits);
        }
    return s;
}

std::string DdsArgb(const Image &img)
{
    std::string s = Header(img.w, img.h, false);
    for (std::uint32_t p : img.px) Put32(s, p);
    return s;
}

std::map<std::string, std::string> AllTextures()
{
    std::map<std::string, std::string> t;
    t["CorvaneMission/cvn_src1.dds"] = DdsDxt1(HeatShield(false));
    t["CorvaneMission/cvn_src2.dds"] = DdsDxt1(HeatShield(true));
    t["CorvaneMission/cvn_src_back.dds"] = DdsDxt1(Backshell(71, {0.82, 0.8, 0.76}, true));
    t["CorvaneMission/cvn_src_heat.dds"] = DdsDxt1(Backshell(72, {0.7, 0.68, 0.64}, false));
    t["CorvaneMission/cvn_src_band.dds"] = DdsDxt1(Band());
    t["CorvaneMission/cvn_canopy.dds"] = DdsDxt1(Canopy());
    t["CorvaneMission/cvn_solar.dds"] = DdsDxt1(SolarCells());
    t["CorvaneMission/cvn_foil.dds"] = DdsDxt1(Foil());
    t["CorvaneMission/hx220_livery.dds"] = DdsDxt1(Livery());
    t["CorvaneMission/heliport_pad.dds"] = DdsDxt1(HeliportPad());
    t["CorvaneMission/hx220_blur.dds"] = DdsArgb(RotorBlur());
    t["exhaust_atrcs.dds"] = DdsArgb(Exhaust());
    return t;
}

}  // namespace meshgen
