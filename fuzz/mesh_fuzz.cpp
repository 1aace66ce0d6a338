// mesh_fuzz.cpp -- libFuzzer target: the mesh file reader, and the copies a vessel's visual takes
// of what it read.
#include "mesh.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    sim::Mesh mesh;
    std::string error;
    if (!sim::ParseMesh(text, &mesh, &error)) return 0;
    sim::Mesh copy;
    copy.CopyFrom(mesh);
    // Every group's arrays hold what the group says (modules walk them by the counts).
    float sum = 0;
    for (const MESHGROUP &grp : copy.groups) {
        for (DWORD i = 0; i < grp.nVtx; ++i) sum += grp.Vtx[i].x;
        for (DWORD i = 0; i < grp.nIdx; ++i) sum += grp.Idx[i];
    }
    volatile float keep = sum;
    (void)keep;
    return 0;
}
