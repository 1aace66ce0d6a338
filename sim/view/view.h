// view.h -- a picture of the scene: every vessel near a camera placed around a named vessel, drawn
// with its meshes as the modules have set them (mesh slots and their visibility, group flags,
// materials, textures with what was copied onto them, animation states, attachments), lit by
// the Sun, over simply shaded ground and sky. Rendered with Mesa's off-screen OpenGL.
#pragma once

#include "mesh.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Vessel;

namespace sim {

class World;
class PictureWriter;

struct ViewSpec {
    std::string vessel;        // the vessel the camera looks at
    double azimuth = 30;       // camera's bearing from the vessel, degrees clockwise from its nose
    double elevation = 15;     // camera's height angle above the vessel's horizon [deg]
    double distance = 0;       // from the middle of the vessel's meshes [m]; 0: far enough to see them whole
    int width = 960, height = 540;
    double fov = 40;           // vertical field of view [deg]
};

// The meshes a graphics client shows for a vessel: one per mesh slot that is present and visible
// from outside (null entries for the others), each a copy of the visual's mesh (or the loaded
// template when the vessel has no visual) with the vessel's animations applied to its groups as
// the client applies them: every animation in order from its initial state to its current state,
// each component's transform scaled to the part of its state range covered, passed on to its
// child components' groups and to the children's own reference points and axes.
std::vector<std::unique_ptr<Mesh>> PosedMeshes(const Vessel &v);

// Where the camera is and where it looks, in global coordinates.
struct Camera {
    VECTOR3 pos{}, right{}, up{}, fwd{};  // fwd: line of sight; right = up x fwd (left-handed)
    double fov = 40;                      // vertical [deg]
    int width = 0, height = 0;
};
// The camera of a view spec; false when the vessel is not there.
bool ViewCamera(World &w, const ViewSpec &spec, Camera *cam, std::string *error);
// Pixel (column from the left, row from the top) where a global point appears; false behind the camera.
bool Project(const Camera &cam, const VECTOR3 &global, double *px, double *py);

// Makes the off-screen context the views are drawn in, as a graphics client does when it starts:
// a run that will take pictures makes it while it loads, not in the frame of its first picture.
// Given a world with a focus vessel it also draws a small view of that vessel once and throws it
// away: the first drawing readies the renderer's shaders, and the buffer is made the size of a
// default view.
void PrepareViews(World *w = nullptr);
// Renders the view into `rgb` (width x height x 3 bytes, top row first).
bool RenderView(World &w, const ViewSpec &spec, std::vector<std::uint8_t> *rgb, std::string *error);
// Renders the view and writes it as a PNG file; false with a message when it cannot. With a writer
// the view is rendered at once and its encoding and writing are left to the writer's thread.
bool WriteView(World &w, const ViewSpec &spec, const std::string &path, std::string *error,
               PictureWriter *writer = nullptr);

// A texture file decoded to 0xAARRGGBB pixels, top row first (DXT1, DXT3, DXT5 or uncompressed
// 32-bit DDS, as the simulator's loaders take them); false for other files.
bool DecodeDds(const std::string &bytes, int *w, int *h, std::vector<std::uint32_t> *px);

}  // namespace sim
