corvane_add_test(sim_draw_test SOURCES draw_test.cpp mesh_test.cpp png_test.cpp LIBS PkgConfig::CAIRO)
