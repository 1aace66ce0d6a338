// corvane-meshgen -- writes every mesh under <out>/Meshes and every texture under <out>/Textures.
//   corvane-meshgen --out <addon folder>
// The output is the same bytes on every run; the add-on's committed files are this output.
#include "models.h"
#include "textures.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

bool Write(const fs::path &path, const std::string &bytes)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "corvane-meshgen: cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string out;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--out" && i + 1 < argc) out = argv[++i];
        else if (a == "--list") list = true;
        else {
            std::fprintf(stderr, "usage: corvane-meshgen --out <addon folder> [--list]\n");
            return 2;
        }
    }
    if (out.empty()) {
        std::fprintf(stderr, "usage: corvane-meshgen --out <addon folder> [--list]\n");
        return 2;
    }
    bool ok = true;
    for (const auto &[name, text] : meshgen::AllMeshes()) {
        ok = Write(fs::path(out) / "Meshes" / name, text) && ok;
        if (list) std::printf("Meshes/%s\n", name.c_str());
    }
    for (const auto &[name, bytes] : meshgen::AllTextures()) {
        ok = Write(fs::path(out) / "Textures" / name, bytes) && ok;
        if (list) std::printf("Textures/%s\n", name.c_str());
    }
    return ok ? 0 : 1;
}
