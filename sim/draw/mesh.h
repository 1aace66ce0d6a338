// mesh.h -- a mesh as the host holds it, read from a mesh file in the simulator's text format
// (groups with their materials, textures and geometry; materials; texture names). A vessel's
// visual holds device copies whose group flags and materials the modules may change.
#pragma once

#include "Orbitersdk.h"
#include "object.h"

#include <map>
#include <string>
#include <vector>

namespace sim {

struct Surface;

struct Mesh : Object {
    Mesh() : Object(Kind::Mesh) {}

    std::string name;                        // the name it was loaded by
    std::vector<std::vector<NTVERTEX>> vtx;  // per group
    std::vector<std::vector<WORD>> idx;      // per group
    std::vector<MESHGROUP> groups;           // Vtx/Idx point into vtx/idx
    std::vector<std::string> group_labels;
    std::vector<MATERIAL> materials;         // index as in the API (0-based)
    std::vector<std::string> material_names;
    std::vector<std::string> texture_names;  // texture i (1-based in the API) is texture_names[i-1]
    std::vector<Surface *> textures;         // surfaces for texture_names, filled by the world
    std::map<DWORD, DWORD> properties;

    // Copies geometry, materials, textures and properties from another mesh (a device copy).
    void CopyFrom(const Mesh &other);
    // Points every group's Vtx/Idx at this mesh's own arrays.
    void Relink();
    // The graphics client deleted this device copy: its groups, geometry and materials are freed, as
    // the simulator frees them (a module still holding a group or material pointer into them fails
    // under the sanitizers); the record stays, dead, so that its handle is refused.
    void Release();
};

// Parses the text of a mesh file into `out`; false with a message naming the line on error.
bool ParseMesh(const std::string &text, Mesh *out, std::string *error);
bool LoadMeshFile(const std::string &path, Mesh *out, std::string *error);
// Keeps every mesh file read from now on for the rest of the process (on), or forgets them (off,
// the default): a program that makes many worlds from one tree reads each file once. A kept file
// is read again when it changed on disk.
void KeepMeshFiles(bool on);

}  // namespace sim
