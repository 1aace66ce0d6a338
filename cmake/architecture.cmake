# The picture of the project's targets and what each links: written from the targets themselves at
# configure time (architecture.dot in the build tree) and drawn by the build with Graphviz's dot
# (architecture.svg). docs/architecture.dot is the committed copy ARCHITECTURE.md shows;
# architecture_picture_test fails when it no longer matches the targets.

# The project's own targets below a folder, in the order CMake made them.
function(corvane_collect_targets dir out)
  get_property(here DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub ${subs})
    corvane_collect_targets("${sub}" more)
    list(APPEND here ${more})
  endforeach()
  set(${out} ${here} PARENT_SCOPE)
endfunction()

function(corvane_architecture_picture)
  corvane_collect_targets("${CMAKE_SOURCE_DIR}" all)
  # Libraries, modules and the program; tests, benchmarks and fuzz targets would hide the rooms.
  set(shown "")
  foreach(t ${all})
    get_target_property(type ${t} TYPE)
    if(type MATCHES "^(OBJECT_LIBRARY|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$"
       AND NOT t MATCHES "(_test$|_bench$|^fuzz_|^sim_test_)"
       AND NOT t MATCHES "^(corvane-meshgen|corvane_testing|hx220_fake_sound.*)$")
      list(APPEND shown ${t})
    endif()
  endforeach()
  set(dot "digraph corvane {\n  rankdir=BT;\n  node [shape=box, fontname=\"DejaVu Sans\", fontsize=10];\n")
  foreach(t ${shown})
    get_target_property(type ${t} TYPE)
    set(style "")
    if(type STREQUAL "OBJECT_LIBRARY")
      set(style ", style=rounded")
    elseif(type STREQUAL "MODULE_LIBRARY")
      set(style ", style=filled, fillcolor=\"#e8f0ff\"")
    elseif(type STREQUAL "EXECUTABLE")
      set(style ", style=filled, fillcolor=\"#fff0d0\"")
    endif()
    string(APPEND dot "  \"${t}\" [label=\"${t}\"${style}];\n")
  endforeach()
  foreach(t ${shown})
    get_target_property(libs ${t} LINK_LIBRARIES)
    if(NOT libs)
      continue()
    endif()
    foreach(l ${libs})
      if(l IN_LIST shown)
        string(APPEND dot "  \"${t}\" -> \"${l}\";\n")
      endif()
    endforeach()
  endforeach()
  string(APPEND dot "}\n")
  file(WRITE "${CMAKE_BINARY_DIR}/architecture.dot" "${dot}")
  find_program(CORVANE_DOT dot REQUIRED)
  add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/architecture.svg"
    COMMAND "${CORVANE_DOT}" -Tsvg "${CMAKE_BINARY_DIR}/architecture.dot" -o "${CMAKE_BINARY_DIR}/architecture.svg"
    DEPENDS "${CMAKE_BINARY_DIR}/architecture.dot"
    COMMENT "Drawing the targets' picture (architecture.svg)")
  add_custom_target(architecture ALL DEPENDS "${CMAKE_BINARY_DIR}/architecture.svg")
  add_test(NAME architecture_picture_test
           COMMAND "${CMAKE_COMMAND}" -E compare_files "${CMAKE_BINARY_DIR}/architecture.dot"
                   "${CMAKE_SOURCE_DIR}/docs/architecture.dot")
endfunction()
