# The release packages, made by CPack from a build against the simulator's Linux port
# (./corvane.sh package). Two zips, each unpacked into the simulator's root folder:
#
#   Corvane-<version>-linux-port-<cpu>.zip  component `addon`: the five modules built against the
#       port's SDK, the data (Config/, Meshes/, Scenarios/, Textures/) and the guide (Doc/Corvane/);
#   Corvane-<version>-windows-source.zip    component `windows`: the same data and guide, and in
#       Doc/Corvane/Source/ the module sources with the CMake build against the SDK (BUILDING.md).
#
# The guide with its pictures comes from a stand-in build (its target `guide`), named by
# CORVANE_GUIDE_DIR; the port has no stand-in to fly the scenarios that make the pictures.
set(CORVANE_GUIDE_DIR "" CACHE PATH
    "The assembled pilot's guide (Guide.md and pictures/) of a stand-in build: <build>/guide/Corvane")
set(CORVANE_PACKAGE_DIR "${CMAKE_BINARY_DIR}/package" CACHE PATH "Where CPack writes the zips")

if(CORVANE_GUIDE_DIR)
  if(NOT EXISTS "${CORVANE_GUIDE_DIR}/Guide.md")
    message(FATAL_ERROR "CORVANE_GUIDE_DIR=${CORVANE_GUIDE_DIR} holds no Guide.md (build the stand-in's target guide)")
  endif()
  foreach(component addon windows)
    install(DIRECTORY "${CORVANE_GUIDE_DIR}/" DESTINATION Doc/Corvane COMPONENT ${component})
  endforeach()
endif()

# The Windows builders' package: the data as the port's, then the sources. The tests, the test-only
# sound libraries and everything of the stand-in stay out: with CORVANE_ORBITER_SDK set the build
# needs none of them.
install(DIRECTORY "${CMAKE_SOURCE_DIR}/addon/" DESTINATION . COMPONENT windows PATTERN ".gitkeep" EXCLUDE)
set(corvane_source_dest Doc/Corvane/Source)
install(FILES "${CMAKE_SOURCE_DIR}/CMakeLists.txt" DESTINATION ${corvane_source_dest} COMPONENT windows)
install(FILES "${CMAKE_SOURCE_DIR}/guide/Building.md" DESTINATION ${corvane_source_dest}
        RENAME BUILDING.md COMPONENT windows)
foreach(dir common bus capsule parafoil helicopter l1display)
  install(DIRECTORY "${CMAKE_SOURCE_DIR}/${dir}" DESTINATION ${corvane_source_dest} COMPONENT windows
          FILES_MATCHING PATTERN "*.cpp" PATTERN "*.h" PATTERN "CMakeLists.txt"
          PATTERN "*_test.cpp" EXCLUDE PATTERN "*_test.h" EXCLUDE PATTERN "*_test_support.h" EXCLUDE
          PATTERN "testing" EXCLUDE)
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Corvane)
set(CPACK_PACKAGE_VENDOR "Corvane mission add-on")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sample-return mission add-on: bus, capsule, parafoil, helicopter, L1 display")
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL addon windows)
set(CPACK_COMPONENTS_GROUPING IGNORE)
# Unpacked in the simulator's root: no folder of the package's own name around the tree.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_ADDON_FILE_NAME "Corvane-${PROJECT_VERSION}-linux-port-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_ARCHIVE_WINDOWS_FILE_NAME "Corvane-${PROJECT_VERSION}-windows-source")
set(CPACK_OUTPUT_FILE_PREFIX "${CORVANE_PACKAGE_DIR}")
include(CPack)
