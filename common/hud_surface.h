// hud_surface.h -- the surface a vessel's head-up items are drawn on, whichever interface the host
// handed out: the device context of the VESSEL2 callback (built-in graphics client) or the
// sketchpad of the VESSEL3 callback (every client). A vessel writes its items once, against this,
// and both callbacks draw the same text, boxes and colours. HudVessel below holds the two callbacks.
// The simulator's Linux port (CORVANE_HOST_PORT) has no device contexts: there a surface is always
// a sketchpad and a vessel has the sketchpad callback only.
#pragma once

#include "Orbitersdk.h"
#include "host_names.h"

#include <cstring>

namespace corvane {

class HudSurface {
public:
#if !defined(CORVANE_HOST_PORT)
    explicit HudSurface(HDC dc) : dc_(dc) {}
#endif
    explicit HudSurface(oapi::Sketchpad *skp) : skp_(skp) {}

    void TextColour(COLORREF colour)
    {
        if (skp_)
            skp_->SetTextColor(colour);
#if !defined(CORVANE_HOST_PORT)
        else
            ::SetTextColor(dc_, colour);
#endif
    }
    // The text with its exact length, in the surface's current colour and font.
    void Text(int x, int y, const char *text)
    {
        const int n = static_cast<int>(std::strlen(text));
        if (skp_)
            skp_->Text(x, y, text, n);
#if !defined(CORVANE_HOST_PORT)
        else
            ::TextOutA(dc_, x, y, text, n);
#endif
    }
    // A rectangle with the surface's current pen (and fill).
    void Box(int left, int top, int right, int bottom)
    {
        if (skp_)
            skp_->Rectangle(left, top, right, bottom);
#if !defined(CORVANE_HOST_PORT)
        else
            ::Rectangle(dc_, left, top, right, bottom);
#endif
    }

private:
#if !defined(CORVANE_HOST_PORT)
    HDC dc_ = nullptr;
#endif
    oapi::Sketchpad *skp_ = nullptr;
};

// A vessel whose head-up items are written once, in DrawHudItems, and drawn through whichever
// callback the host calls. Where the sketchpad has a device context (the built-in graphics client)
// the sketchpad callback tells the host that nothing was drawn, so that the host calls the
// device-context callback as it always did; elsewhere (external clients, the current simulator,
// which has no built-in client, and the Linux port) the sketchpad callback draws the items.
class HudVessel : public VESSEL3 {
public:
    HudVessel(OBJHANDLE hVessel, int flightmodel) : VESSEL3(hVessel, flightmodel) {}

#if !defined(CORVANE_HOST_PORT)
    void clbkDrawHUD(int mode, const HUDPAINTSPEC *hps, HDC hDC) override
    {
        VESSEL2::clbkDrawHUD(mode, hps, hDC);
        HudSurface hud(hDC);
        DrawHudItems(hud, hps);
    }
#endif

    bool clbkDrawHUD(int mode, const HUDPAINTSPEC *hps, oapi::Sketchpad *skp) override
    {
        if (!skp) return false;
#if !defined(CORVANE_HOST_PORT)
        if (skp->GetDC()) return false;
#endif
        VESSEL3::clbkDrawHUD(mode, hps, skp);
        HudSurface hud(skp);
        DrawHudItems(hud, hps);
        return true;
    }

protected:
    // The vessel's own items, on top of the host's.
    virtual void DrawHudItems(HudSurface &hud, const HUDPAINTSPEC *hps) const = 0;
};

}  // namespace corvane
