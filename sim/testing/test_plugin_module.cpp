// test_plugin_module.cpp -- a test-only instrument module: one MFD mode whose display draws a
// line, its page and the name of the vessel it was opened for, keeps the page in the scenario, and
// reports focus changes and how its displays are opened and restored in the log. While a vessel
// named "FrameProbe" exists it logs its pre- and post-step calls (as "test: " lines, in order with
// the test vessel module's) with their times, and creates a vessel "FromPluginPre" in its pre-step
// or "FromPluginPost" in its post-step when a vessel "SpawnFromPluginPre" or "SpawnFromPluginPost"
// exists and the vessel it would create does not.
#define ORBITER_MODULE
#include "Orbitersdk.h"

#include <cstdio>
#include <cstring>

// A second copy of this module is built with its own log prefix and mode name, so that tests can
// load two instrument modules side by side.
#ifndef TEST_PLUGIN_TAG
#define TEST_PLUGIN_TAG "plugin"
#define TEST_PLUGIN_MODE "Test Mode"
#endif

namespace {

int g_mode = 0;
int g_frames = 0;

class TestMfd final : public MFD {
public:
    TestMfd(DWORD w, DWORD h, VESSEL *v) : MFD(w, h, v) {}
    void Update(HDC hdc) override
    {
        Title(hdc, TEST_PLUGIN_MODE);
        HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
        HGDIOBJ old = SelectObject(hdc, pen);
        MoveToEx(hdc, 0, static_cast<int>(H / 2), nullptr);
        LineTo(hdc, static_cast<int>(W), static_cast<int>(H / 2));
        SelectObject(hdc, old);
        DeleteObject(pen);
        char buf[32];
        std::snprintf(buf, sizeof buf, "page %d", page);
        TextOutA(hdc, 0, static_cast<int>(ch), buf, static_cast<int>(std::strlen(buf)));
        std::snprintf(buf, sizeof buf, "vessel %s", pV ? pV->GetName() : "-");
        TextOutA(hdc, 0, static_cast<int>(2 * ch), buf, static_cast<int>(std::strlen(buf)));
    }
    bool ConsumeKeyBuffered(DWORD key) override
    {
        if (key != OAPI_KEY_V) return false;
        ++page;
        return true;
    }
    void WriteStatus(FILEHANDLE scn) const override
    {
        char item[8] = "PAGE";
        oapiWriteScenario_int(scn, item, page);
    }
    void RecallStatus() override { oapiWriteLog(const_cast<char *>(TEST_PLUGIN_TAG ": RecallStatus")); }
    void ReadStatus(FILEHANDLE scn) override
    {
        oapiWriteLog(const_cast<char *>(TEST_PLUGIN_TAG ": ReadStatus"));
        char *line;
        while (oapiReadScenario_nextline(scn, line))
            if (!_strnicmp(line, "PAGE", 4)) std::sscanf(line + 4, "%d", &page);
    }
    int page = 0;
};

OAPI_MSGTYPE MsgProc(UINT msg, UINT, WPARAM wparam, LPARAM lparam)
{
    if (msg != OAPI_MSG_MFD_OPENED) return 0;
    char buf[96];
    std::snprintf(buf, sizeof buf, TEST_PLUGIN_TAG ": opened %ux%u for %s", static_cast<unsigned>(wparam & 0xFFFF),
                  static_cast<unsigned>(wparam >> 16), lparam ? reinterpret_cast<VESSEL *>(lparam)->GetName() : "-");
    oapiWriteLog(buf);
    return reinterpret_cast<OAPI_MSGTYPE>(
        new TestMfd(static_cast<DWORD>(wparam & 0xFFFF), static_cast<DWORD>(wparam >> 16),
                    reinterpret_cast<VESSEL *>(lparam)));
}

}  // namespace

DLLCLBK void InitModule(HINSTANCE)
{
    static char name[] = TEST_PLUGIN_MODE;
    MFDMODESPEC spec;
    spec.name = name;
    spec.key = OAPI_KEY_T;
    spec.msgproc = MsgProc;
    g_mode = oapiRegisterMFDMode(spec);
}

DLLCLBK void ExitModule(HINSTANCE) { oapiUnregisterMFDMode(g_mode); }

namespace {
void Probe(const char *what, double simt, double simdt, double mjd)
{
    if (!oapiGetVesselByName(const_cast<char *>("FrameProbe"))) return;
    char buf[128];
    std::snprintf(buf, sizeof buf, "test: " TEST_PLUGIN_TAG " %s %.9f %.9f %.12f", what, simt, simdt, mjd);
    oapiWriteLog(buf);
}

void SpawnIf(const char *trigger, const char *name)
{
    OBJHANDLE t = oapiGetVesselByName(const_cast<char *>(trigger));
    if (!t || oapiGetVesselByName(const_cast<char *>(name))) return;
    VESSELSTATUS vs;
    oapiGetVesselInterface(t)->GetStatus(vs);
    oapiCreateVessel(name, "simtest", vs);
}
}  // namespace

DLLCLBK void opcPreStep(double simt, double simdt, double mjd)
{
    ++g_frames;
    Probe("opcPreStep", simt, simdt, mjd);
    SpawnIf("SpawnFromPluginPre", "FromPluginPre");
}

DLLCLBK void opcPostStep(double simt, double simdt, double mjd)
{
    Probe("opcPostStep", simt, simdt, mjd);
    SpawnIf("SpawnFromPluginPost", "FromPluginPost");
}

DLLCLBK void opcFocusChanged(OBJHANDLE hNew, OBJHANDLE)
{
    char buf[128], name[64];
    oapiGetObjectName(hNew, name, sizeof name);
    std::snprintf(buf, sizeof buf, TEST_PLUGIN_TAG ": focus %s after %d frames", name, g_frames);
    oapiWriteLog(buf);
}
