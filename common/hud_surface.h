// hud_surface.h -- the surface a vessel's head-up items are drawn on, whichever interface the host
// handed out: the device context of the VESSEL2 callback (built-in graphics client) or the
// sketchpad of the VESSEL3 callback (every client). A vessel writes its items once, against this,
// and both callbacks draw the same text, boxes and colours.
#pragma once

#include "Orbitersdk.h"

#include <cstring>

namespace corvane {

class HudSurface {
public:
    explicit HudSurface(HDC dc) : dc_(dc) {}
    explicit HudSurface(oapi::Sketchpad *skp) : skp_(skp) {}

    void TextColour(COLORREF colour)
    {
        if (skp_)
            skp_->SetTextColor(colour);
        else
            ::SetTextColor(dc_, colour);
    }
    // The text with its exact length, in the surface's current colour and font.
    void Text(int x, int y, const char *text)
    {
        const int n = static_cast<int>(std::strlen(text));
        if (skp_)
            skp_->Text(x, y, text, n);
        else
            ::TextOutA(dc_, x, y, text, n);
    }
    // A rectangle with the surface's current pen (and fill).
    void Box(int left, int top, int right, int bottom)
    {
        if (skp_)
            skp_->Rectangle(left, top, right, bottom);
        else
            ::Rectangle(dc_, left, top, right, bottom);
    }

private:
    HDC dc_ = nullptr;
    oapi::Sketchpad *skp_ = nullptr;
};

}  // namespace corvane
