// models.h -- the add-on's meshes, built from parametric shapes.
#pragma once

#include <map>
#include <string>

namespace meshgen {

// Every mesh of the add-on: path under Meshes/ -> file text.
std::map<std::string, std::string> AllMeshes();

}  // namespace meshgen
