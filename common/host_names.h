// host_names.h -- the few names the modules use that the simulator's Linux port spells otherwise.
// The port (../shared/real-host; the build sets CORVANE_HOST_PORT) has no Windows types: its API
// takes int wherever the upstream SDK and the stand-in take DWORD (keys, indices, counts), colours
// are the same 32-bit 0x00BBGGRR values without the COLORREF/RGB names, and the module entry points
// get a MODULEHANDLE instead of an HINSTANCE. Everywhere else this header adds only ModuleHandle.
#pragma once

#include "Orbitersdk.h"

#if defined(CORVANE_HOST_PORT)
#include <cstdint>

typedef int DWORD;
typedef std::uint32_t COLORREF;  // as the port's own GraphicsAPI.h declares it
#define RGB(r, g, b) \
    ((COLORREF)((std::uint8_t)(r) | ((std::uint32_t)(std::uint8_t)(g) << 8) | ((std::uint32_t)(std::uint8_t)(b) << 16)))
#endif

namespace corvane {

// What InitModule and ExitModule are handed (the entry points are C functions: the type is for the
// compiler only).
#if defined(CORVANE_HOST_PORT)
typedef MODULEHANDLE ModuleHandle;
#else
typedef HINSTANCE ModuleHandle;
#endif

}  // namespace corvane
