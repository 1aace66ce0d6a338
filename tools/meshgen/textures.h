// textures.h -- the add-on's textures, painted procedurally and written as DDS files the way the
// simulator's texture loader takes them: DXT1 blocks for opaque images, uncompressed 32-bit
// A8R8G8B8 for images with alpha.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace meshgen {

struct Image {
    int w = 0, h = 0;
    std::vector<std::uint32_t> px;  // 0xAARRGGBB, row 0 at the top (the file's first row)
    Image(int w_, int h_, std::uint32_t fill = 0xFF000000u) : w(w_), h(h_), px(static_cast<size_t>(w_) * h_, fill) {}
    std::uint32_t &At(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
};

std::uint32_t Rgb(double r, double g, double b, double a = 1);
// DXT1 (no alpha), blocks chosen by a fixed rule: the same bytes on every run.
std::string DdsDxt1(const Image &img);
// Uncompressed 32-bit with alpha.
std::string DdsArgb(const Image &img);

// Every texture of the add-on: path under Textures/ -> file bytes.
std::map<std::string, std::string> AllTextures();

}  // namespace meshgen
