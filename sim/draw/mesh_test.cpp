// Tests of the mesh file reader: groups, inherited materials and textures, and errors that name
// the line at fault.
#include "mesh.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace {

// Three groups: the second inherits the first's material and texture, the third has no normals.
const char *kMesh = R"(MSHX1
GROUPS 3
LABEL  body shell  ; the label keeps its inner spaces
MATERIAL 2
TEXTURE 1
FLAG 3
GEOM 3 1
0 0 0 0 1 0 0 0
1 0 0 0 1 0 1 0
0 0 1 0 1 0 0 1
0 1 2

geom 3 1          ; keywords in any case
0 0 0  0 0 -1
1 0 0  0 0 -1
0 1 0  0 0 -1
2 1 0
MATERIAL 0
texture 2
NONORMAL
ZBIAS 2
GEOM 4 2
0 0 0 0 0
1 0 0 1 0
1 0 1 1 1
0 0 1 0 1
0 2 1
0 3 2
MATERIALS 2
body
blade
MATERIAL body
0.8 0.8 0.8 1
0.7 0.7 0.7 1
0.1 0.1 0.1 1 10
0 0 0 1
MATERIAL blade
0.2 0.3 0.4 0.5
0 0 0 1
0 0 0 1
0 0 0 1
TEXTURES 2
CorvaneMission/hull.dds D
CorvaneMission/blade.dds
)";

TEST(MeshFile, ReadsGroupsMaterialsAndTextures)
{
    sim::Mesh m;
    std::string error;
    ASSERT_TRUE(sim::ParseMesh(kMesh, &m, &error)) << error;
    ASSERT_EQ(m.groups.size(), 3u);
    EXPECT_EQ(m.group_labels[0], "body shell");
    EXPECT_EQ(m.group_labels[1], "");

    const MESHGROUP &g0 = m.groups[0], &g1 = m.groups[1], &g2 = m.groups[2];
    EXPECT_EQ(g0.nVtx, 3u);
    EXPECT_EQ(g0.nIdx, 3u);
    EXPECT_EQ(g0.MtrlIdx, 1u);  // MATERIAL 2 of the file
    EXPECT_EQ(g0.TexIdx, 0u);
    EXPECT_EQ(g0.UsrFlag, 3u);
    EXPECT_FLOAT_EQ(g0.Vtx[2].tv, 1.0f);
    EXPECT_FLOAT_EQ(g0.Vtx[1].tu, 1.0f);

    // Omitted MATERIAL/TEXTURE carry over; FLAG does not.
    EXPECT_EQ(g1.MtrlIdx, 1u);
    EXPECT_EQ(g1.TexIdx, 0u);
    EXPECT_EQ(g1.UsrFlag, 0u);
    EXPECT_EQ(g1.Idx[0], 2);
    EXPECT_FLOAT_EQ(g1.Vtx[0].nz, -1.0f);
    EXPECT_FLOAT_EQ(g1.Vtx[0].tu, 0.0f);

    // MATERIAL 0 means none; NONORMAL vertices take u v after x y z and get face normals.
    EXPECT_EQ(g2.MtrlIdx, SPEC_DEFAULT);
    EXPECT_EQ(g2.TexIdx, 1u);
    EXPECT_EQ(g2.zBias, 2);
    EXPECT_EQ(g2.nIdx, 6u);
    EXPECT_FLOAT_EQ(g2.Vtx[2].tu, 1.0f);
    EXPECT_FLOAT_EQ(g2.Vtx[2].tv, 1.0f);
    for (DWORD i = 0; i < g2.nVtx; ++i) EXPECT_FLOAT_EQ(g2.Vtx[i].ny, 1.0f) << i;  // the y = 0 plane

    ASSERT_EQ(m.materials.size(), 2u);
    EXPECT_EQ(m.material_names[1], "blade");
    EXPECT_FLOAT_EQ(m.materials[0].specular.r, 0.1f);
    EXPECT_FLOAT_EQ(m.materials[0].power, 10.0f);
    EXPECT_FLOAT_EQ(m.materials[1].diffuse.a, 0.5f);
    EXPECT_EQ(m.texture_names, (std::vector<std::string>{"CorvaneMission/hull.dds", "CorvaneMission/blade.dds"}));
}

TEST(MeshFile, CopyPointsAtItsOwnArrays)
{
    sim::Mesh a, b;
    std::string error;
    ASSERT_TRUE(sim::ParseMesh(kMesh, &a, &error)) << error;
    a.name = "CorvaneMission/test";
    b.CopyFrom(a);
    EXPECT_EQ(b.name, a.name);
    ASSERT_EQ(b.groups.size(), 3u);
    EXPECT_EQ(b.groups[0].Vtx, b.vtx[0].data());
    EXPECT_NE(b.groups[0].Vtx, a.groups[0].Vtx);
    b.groups[1].UsrFlag = 2;  // a device copy changes apart from its source
    EXPECT_EQ(a.groups[1].UsrFlag, 0u);
}

struct BadMesh {
    const char *text;
    const char *message;  // part of the error expected
};

TEST(MeshFile, MalformedFilesFailWithTheLineAndLeaveTheMeshUntouched)
{
    const BadMesh cases[] = {
        {"", "MSHX1 expected"},
        {"MSHX1\nGROUPS 1\nGEOM 3 1\n0 0 0 0 1 0\n", "line 4: file ends after 1 of the 3 vertices announced on line 3"},
        {"MSHX1\nGROUPS 1\nGEOM 3 2\n0 0 0 0 1 0\n1 0 0 0 1 0\n0 0 1 0 1 0\n0 1 2\n",
         "line 7: file ends after 1 of the 2 triangles"},
        {"MSHX1\nGROUPS 1\nGEOM 3 1\n0 0 0 0 1 0\n1 0 0 0 1 0\n0 0 1 0 1 0\n0 1\n", "line 7: expected 3 vertex indices"},
        {"MSHX1\nGROUPS 1\nGEOM 3 1\n0 0 0 0 1 0\n1 0 0 0 1 0\n0 0 1 0 1 0\n0 1 3\n",
         "line 7: vertex index 3 out of range (group 0 has 3 vertices)"},
        {"MSHX1\nGROUPS 1\nGEOM 1 0\n0 0 0 0 1\n", "line 4: expected a vertex: x y z nx ny nz [u v]"},
        {"MSHX1\nGROUPS 1\nGEOM 1 0\n0 x 0 0 1 0\n", "line 4: \"x\" is not a number a float can hold"},
        // Beyond the largest float (3.40e38) a coordinate would become infinite; a word is quoted
        // with its control bytes escaped.
        {"MSHX1\nGROUPS 1\nGEOM 1 0\n0 1e39 0 0 1 0\n", "line 4: \"1e39\" is not a number a float can hold"},
        {"MSHX1\nGROUPS 1\nGEOM 1 0\n0 \x1b[2J 0 0 1 0\n", "line 4: \"\\x1b[2J\" is not a number"},
        {"MSHX1\nGROUPS 2\nMATERIAL 1\nGEOM 0 0\nGEOM 0 0\n", "line 3: group 0: material 1 out of range (the mesh has 0 materials)"},
        {"MSHX1\nGROUPS 1\nTEXTURE 2\nGEOM 0 0\nTEXTURES 1\na.dds\n", "line 3: group 0: texture 2 out of range"},
        {"MSHX1\nGROUPS 1\nMATERIAL 1\nGEOM 0 0\nMATERIALS 1\nbody\n", "line 6: file ends before the block of material 'body'"},
        {"MSHX1\nGROUPS 1\nGEOM 0 0\nMATERIALS 1\nbody\nMATERIAL hull\n1 1 1 1\n", "line 6: material block 'hull'"},
        {"MSHX1\nGROUPS 1\nGEOM 0 0\nMATERIALS 1\nbody\nMATERIAL body\n1 1 1 1\n1 1 1\n", "line 8: expected the ambient colour"},
        {"MSHX1\nGROUPS 2\nGEOM 0 0\n", "file ends in group 1 before its GEOM line"},
        {"MSHX1\nGROUPS 1\nSHINY 1\nGEOM 0 0\n", "line 3: unknown keyword 'SHINY' in group 0"},
        {"MSHX1\nGROUPS 1\nGEOM -1 0\n", "line 3: \"-1\" is not a valid vertex count"},
        {"MSHX1\nGROUPS 1\nGEOM 70000 0\n", "line 3: \"70000\" is not a valid vertex count"},
        {"MSHX1\nGROUPS 1\nGEOM 0 4000000\n", "line 3: file ends after 0 of the 4000000 triangles"},
        {"MSHX1\nGROUPS 1\nGEOM 0 0\nGEOM 0 0\n", "line 4: unexpected 'GEOM' after the 1 groups"},
    };
    for (const BadMesh &c : cases) {
        sim::Mesh m;
        m.texture_names = {"kept"};
        std::string error;
        EXPECT_FALSE(sim::ParseMesh(c.text, &m, &error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << "got: " << error << "\nwanted: " << c.message;
        EXPECT_EQ(m.texture_names, std::vector<std::string>{"kept"});
        EXPECT_TRUE(m.groups.empty());
    }
}

TEST(MeshFile, LoadNamesTheFileInItsErrors)
{
    sim::Mesh m;
    std::string error;
    EXPECT_FALSE(sim::LoadMeshFile("no/such/mesh.msh", &m, &error));
    EXPECT_NE(error.find("no/such/mesh.msh"), std::string::npos);

    const std::string path = testing::TempDir() + "mesh_test_crlf.msh";
    {
        std::ofstream out(path, std::ios::binary);
        out << "MSHX1\r\nGROUPS 1\r\nGEOM 3 1\r\n0 0 0 0 1 0\r\n1 0 0 0 1 0\r\n0 0 1 0 1 0\r\n0 1 2\r\n";
    }
    EXPECT_TRUE(sim::LoadMeshFile(path, &m, &error)) << error;
    EXPECT_EQ(m.groups.size(), 1u);
    std::remove(path.c_str());
}

// Kept files come back as they were read, each copy with arrays of its own; a file changed on disk
// (here a second group added, so its size differs) is read again, and one gone fails as it would without keeping.
TEST(MeshFile, KeptFilesAreReadAgainWhenTheyChange)
{
    const std::string path = testing::TempDir() + "mesh_test_kept.msh";
    const char *one = "MSHX1\nGROUPS 1\nNONORMAL\nGEOM 3 1\n0 0 0\n1 0 0\n0 0 1\n0 1 2\n";
    const char *two =
        "MSHX1\nGROUPS 2\nNONORMAL\nGEOM 3 1\n0 0 0\n1 0 0\n0 0 1\n0 1 2\nNONORMAL\nGEOM 3 1\n0 0 0\n2 0 0\n0 0 2\n0 1 2\n";
    { std::ofstream(path, std::ios::binary) << one; }
    sim::KeepMeshFiles(true);
    sim::Mesh a, b, c;
    std::string error;
    ASSERT_TRUE(sim::LoadMeshFile(path, &a, &error)) << error;
    ASSERT_TRUE(sim::LoadMeshFile(path, &b, &error)) << error;
    ASSERT_EQ(b.groups.size(), 1u);
    EXPECT_EQ(b.vtx[0][1].x, 1.0f);
    EXPECT_NE(b.groups[0].Vtx, a.groups[0].Vtx);  // its own copy
    EXPECT_EQ(b.groups[0].Vtx, b.vtx[0].data());

    { std::ofstream(path, std::ios::binary | std::ios::trunc) << two; }
    ASSERT_TRUE(sim::LoadMeshFile(path, &c, &error)) << error;
    ASSERT_EQ(c.groups.size(), 2u);
    EXPECT_EQ(c.vtx[1][1].x, 2.0f);

    std::remove(path.c_str());
    sim::Mesh d;
    EXPECT_FALSE(sim::LoadMeshFile(path, &d, &error));
    EXPECT_NE(error.find(path), std::string::npos);
    sim::KeepMeshFiles(false);
}

}  // namespace
