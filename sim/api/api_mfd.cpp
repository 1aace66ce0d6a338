// api_mfd.cpp -- the MFD base classes. The host's display drawing is simple: Title writes the
// title in the current font at (cw/2, 0) in the host's title colour, light green RGB(0, 200, 0),
// and leaves that colour selected; SelectDefaultFont and SelectDefaultPen select the host's default
// fonts and pens (sim/draw/draw.h) and return what was selected before.
#include "internal.h"

#include <cstring>

using namespace sim;

MFD::MFD(DWORD w, DWORD h, VESSEL *vessel) : W(w), H(h), cw(8), ch(14), pV(vessel)
{
    if (World *wd = World::Current()) {
        cw = wd->char_w;
        ch = wd->char_h;
    }
}

MFD::~MFD() {}
bool MFD::ConsumeKeyBuffered(DWORD) { return false; }
bool MFD::ConsumeKeyImmediate(char *) { return false; }
bool MFD::ConsumeButton(int, int) { return false; }
char *MFD::ButtonLabel(int) { return nullptr; }
int MFD::ButtonMenu(const MFDBUTTONMENU **) const { return 0; }
void MFD::WriteStatus(FILEHANDLE) const {}
void MFD::ReadStatus(FILEHANDLE) {}
void MFD::StoreStatus() const {}
void MFD::RecallStatus() {}

void MFD::Title(HDC hDC, const char *title) const
{
    if (!hDC || !title) return;
    SetTextColor(hDC, RGB(0, 200, 0));
    TextOutA(hDC, static_cast<int>(cw / 2), 0, title, static_cast<int>(std::strlen(title)));
}

HFONT MFD::SelectDefaultFont(HDC hDC, DWORD i) const
{
    if (!hDC) return nullptr;
    return static_cast<HFONT>(SelectObject(hDC, DefaultFont(static_cast<int>(i))));
}

HPEN MFD::SelectDefaultPen(HDC hDC, DWORD i) const
{
    if (!hDC) return nullptr;
    return static_cast<HPEN>(SelectObject(hDC, DefaultPen(static_cast<int>(i))));
}

GraphMFD::GraphMFD(DWORD w, DWORD h, VESSEL *vessel) : MFD(w, h, vessel) {}
GraphMFD::~GraphMFD() {}
