// mfd_surface.h -- the surface a display page is drawn on, whichever interface the host hands the
// display: the device context of MFD::Update(HDC) (the upstream simulator, the stand-in host) or the
// sketchpad of the port's MFD::Update(oapi::Sketchpad *) (the simulator's Linux port, which has no
// device contexts; CORVANE_HOST_PORT). A page is drawn once, against this, and both interfaces get
// the same calls: text colours and texts, pens made, selected and deleted, lines. The display's
// fonts and title are the display's own (MFD members): it selects them on target().
#pragma once

#include "Orbitersdk.h"
#include "host_names.h"

#include <cstring>

namespace corvane {

class MfdSurface {
public:
#if defined(CORVANE_HOST_PORT)
    typedef oapi::Sketchpad *Target;
#else
    typedef HDC Target;
#endif
    static constexpr int kMaxPens = 4;

    explicit MfdSurface(Target target) : target_(target) {}
    MfdSurface(const MfdSurface &) = delete;
    MfdSurface &operator=(const MfdSurface &) = delete;
    // Selects the pen the surface held before the first UsePen again, then deletes the pens made,
    // in the order they were made.
    ~MfdSurface()
    {
#if defined(CORVANE_HOST_PORT)
        if (pen_used_) target_->SetPen(old_pen_);
        for (int i = 0; i < pen_count_; ++i) oapiReleasePen(pens_[i]);
#else
        if (old_pen_) ::SelectObject(target_, old_pen_);
        for (int i = 0; i < pen_count_; ++i) ::DeleteObject(pens_[i]);
#endif
    }

    Target target() const { return target_; }

    // A solid pen one pixel wide; returns its number for UsePen (-1 when kMaxPens are made).
    int MakePen(COLORREF colour)
    {
        if (pen_count_ == kMaxPens) return -1;
#if defined(CORVANE_HOST_PORT)
        pens_[pen_count_] = oapiCreatePen(kSketchpadSolid, 1, colour);
#else
        pens_[pen_count_] = ::CreatePen(PS_SOLID, 1, colour);
#endif
        return pen_count_++;
    }
    void UsePen(int pen)
    {
        if (pen < 0 || pen >= pen_count_) return;
#if defined(CORVANE_HOST_PORT)
        oapi::Pen *prev = target_->SetPen(pens_[pen]);
        if (!pen_used_) old_pen_ = prev;
        pen_used_ = true;
#else
        HGDIOBJ prev = ::SelectObject(target_, pens_[pen]);
        if (!old_pen_) old_pen_ = prev;
#endif
    }

    void TextColour(COLORREF colour)
    {
#if defined(CORVANE_HOST_PORT)
        target_->SetTextColor(colour);
#else
        ::SetTextColor(target_, colour);
#endif
    }
    // The text with its exact length, in the current colour and font.
    void Text(int x, int y, const char *text)
    {
        const int n = static_cast<int>(std::strlen(text));
#if defined(CORVANE_HOST_PORT)
        target_->Text(x, y, text, n);
#else
        ::TextOutA(target_, x, y, text, n);
#endif
    }
    void MoveTo(int x, int y)
    {
#if defined(CORVANE_HOST_PORT)
        target_->MoveTo(x, y);
#else
        ::MoveToEx(target_, x, y, nullptr);
#endif
    }
    void LineTo(int x, int y)
    {
#if defined(CORVANE_HOST_PORT)
        target_->LineTo(x, y);
#else
        ::LineTo(target_, x, y);
#endif
    }
    void Line(int x0, int y0, int x1, int y1)
    {
        MoveTo(x0, y0);
        LineTo(x1, y1);
    }

private:
    Target target_;
    int pen_count_ = 0;
#if defined(CORVANE_HOST_PORT)
    static constexpr int kSketchpadSolid = 1;  // oapiCreatePen's styles: 0 invisible, 1 solid, 2 dashed
    oapi::Pen *pens_[kMaxPens] = {};
    oapi::Pen *old_pen_ = nullptr;
    bool pen_used_ = false;
#else
    HPEN pens_[kMaxPens] = {};
    HGDIOBJ old_pen_ = nullptr;
#endif
};

}  // namespace corvane
