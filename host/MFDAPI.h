// MFDAPI.h -- the multi-function display base classes MFD and GraphMFD. The host constructs an
// instrument through the mode's message procedure, sets the character size, then calls
// RecallStatus (or ReadStatus when a scenario is loaded); it destroys it through the virtual
// destructor.
#pragma once
#if defined(__GNUC__)
#pragma GCC system_header  // the SDK's own signatures (e.g. const return values) are kept as they are
#endif

#include "OrbiterAPI.h"

class OAPIFUNC MFD {
public:
    MFD(DWORD w, DWORD h, VESSEL *vessel);
    virtual ~MFD();                                                      // 0
    virtual void Update(HDC hDC) = 0;                                    // 1
    virtual bool ConsumeKeyBuffered(DWORD key);                          // 2
    virtual bool ConsumeKeyImmediate(char *kstate);                      // 3
    virtual bool ConsumeButton(int bt, int event);                       // 4
    virtual char *ButtonLabel(int bt);                                   // 5
    virtual int ButtonMenu(const MFDBUTTONMENU **menu) const;            // 6
    virtual void WriteStatus(FILEHANDLE scn) const;                      // 7
    virtual void ReadStatus(FILEHANDLE scn);                             // 8
    virtual void StoreStatus() const;                                    // 9
    virtual void RecallStatus();                                         // 10

protected:
    void Title(HDC hDC, const char *title) const;
    HFONT SelectDefaultFont(HDC hDC, DWORD i) const;
    HPEN SelectDefaultPen(HDC hDC, DWORD i) const;

    DWORD W, H;
    DWORD cw, ch;
    VESSEL *pV;
};

class OAPIFUNC GraphMFD : public MFD {
public:
    GraphMFD(DWORD w, DWORD h, VESSEL *vessel);
    virtual ~GraphMFD();
};
