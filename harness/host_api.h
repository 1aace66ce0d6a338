// host_api.h -- the host API as the harness sees it: the simulator's SDK header, the stand-in's or
// the simulator's own. The simulator port's headers are not clean under -Wall -Wextra (unused
// parameters of inline stubs, const on returned handles); those warnings are the SDK's, so they
// are kept out of the harness's own.
#pragma once

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wignored-qualifiers"
#endif
#include "Orbitersdk.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
