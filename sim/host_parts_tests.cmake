corvane_add_test(sim_draw_test SOURCES draw/draw_test.cpp draw/mesh_test.cpp draw/png_test.cpp LIBS PkgConfig::CAIRO)
