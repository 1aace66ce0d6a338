// DrawAPI.h -- the host's drawing surface `oapi::Sketchpad`: what the VESSEL3 head-up display
// callback draws on. A graphics client derives its own sketchpad from this class; the vessel modules
// of this add-on use the members declared here (signatures, virtuality and defaults as the real
// SDK's: the 2016 header returns defaults, later ones assert in the bodies a client must replace).
// GetDC hands out the device context behind the surface: the built-in graphics client's sketchpad
// has one, an external client's returns NULL.
#pragma once
#if defined(__GNUC__)
#pragma GCC system_header  // the SDK's own inline defaults leave their parameters unused
#endif

#include "OrbiterAPI.h"

namespace oapi {

class OAPIFUNC Sketchpad {
public:
    Sketchpad(SURFHANDLE s);
    virtual ~Sketchpad();

    virtual DWORD SetTextColor(DWORD col) { return 0; }
    virtual bool Text(int x, int y, const char *str, int len) { return false; }
    virtual void MoveTo(int x, int y) {}
    virtual void LineTo(int x, int y) {}
    // The host's default draws the outline with MoveTo and LineTo; clients draw it themselves.
    virtual void Rectangle(int x0, int y0, int x1, int y1);

    inline SURFHANDLE GetSurface() const { return surf; }
    virtual HDC GetDC() { return NULL; }

private:
    SURFHANDLE surf;
};

}  // namespace oapi
