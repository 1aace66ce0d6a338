// new_count.h -- test support: counts the program's operator new calls while counting is on (the
// harness's tests replace the global operator new with a counting one, new_count.cpp).
#pragma once

namespace newcount {

// Starts counting from zero; Stop() ends it and returns the allocations made in between.
void Start();
long Stop();

}  // namespace newcount
