// test_vessel_module.cpp -- a test-only vessel module: it reports its callbacks in the host log,
// keeps two scenario lines of its own, can create a vessel from inside a callback (key K), delete
// itself from inside one (key D) or delete a vessel named by a scenario line (KILL <name>) in its
// next pre-step. It has one attachment point for a child and one for a parent.
#define ORBITER_MODULE
#include "Orbitersdk.h"

#include <cstdio>
#include <cstring>

namespace {

int g_instances = 0;  // module-wide: counts objects made since the module was loaded

void Say(const char *what, VESSEL *v)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, "test: %s %s", what, v ? v->GetName() : "-");
    oapiWriteLog(buf);
}

class TestVessel final : public VESSEL2 {
public:
    TestVessel(OBJHANDLE h, int fm) : VESSEL2(h, fm)
    {
        ++g_instances;
        char buf[64];
        std::snprintf(buf, sizeof buf, "test: instance %d", g_instances);
        oapiWriteLog(buf);
    }
    void clbkSetClassCaps(FILEHANDLE) override
    {
        Say("clbkSetClassCaps", this);
        SetEmptyMass(100.0);
        tank = CreatePropellantResource(50.0);
        AddMesh("CorvaneTest/box");
        CreateAttachment(false, _V(0, -1, 0), _V(0, -1, 0), _V(0, 0, 1), "TOCHILD");
        CreateAttachment(true, _V(0, 1, 0), _V(0, 1, 0), _V(0, 0, 1), "TOPARENT");
    }
    void clbkLoadStateEx(FILEHANDLE scn, void *status) override
    {
        Say("clbkLoadStateEx", this);
        char *line;
        while (oapiReadScenario_nextline(scn, line)) {
            if (!_strnicmp(line, "COUNTER", 7))
                std::sscanf(line + 7, "%d", &counter);
            else if (!_strnicmp(line, "TEXT", 4))
                std::snprintf(text, sizeof text, "%s", line + 5);
            else if (!_strnicmp(line, "KILL ", 5))
                std::snprintf(kill, sizeof kill, "%s", line + 5);
            else
                ParseScenarioLineEx(line, status);
        }
    }
    void clbkSaveState(FILEHANDLE scn) override
    {
        VESSEL2::clbkSaveState(scn);
        char item[16] = "COUNTER";
        oapiWriteScenario_int(scn, item, counter);
        char item2[16] = "TEXT";
        oapiWriteScenario_string(scn, item2, text);
    }
    void clbkSetStateEx(const void *status) override
    {
        Say("clbkSetStateEx", this);
        DefSetStateEx(status);
    }
    void clbkPostCreation() override { Say("clbkPostCreation", this); }
    void clbkVisualCreated(VISHANDLE, int) override { Say("clbkVisualCreated", this); }
    void clbkPreStep(double, double, double) override
    {
        Say("clbkPreStep", this);
        if (kill[0]) {
            oapiDeleteVessel(oapiGetVesselByName(kill));
            kill[0] = '\0';
        }
        if (spawn) {
            spawn = false;
            VESSELSTATUS vs;
            GetStatus(vs);
            oapiCreateVessel("Child", "simtest", vs);
        }
    }
    void clbkPostStep(double, double, double) override
    {
        Say("clbkPostStep", this);
        ++counter;
    }
    int clbkConsumeBufferedKey(DWORD key, bool down, char *kstate) override
    {
        if (!down || KEYMOD_SHIFT(kstate)) return 0;
        if (key == OAPI_KEY_K) {
            spawn = true;
            return 1;
        }
        if (key == OAPI_KEY_D) {
            // The object must stay usable until the callback returns.
            oapiDeleteVessel(GetHandle());
            ++counter;
            Say("deleted itself", this);
            return 1;
        }
        return 0;
    }
    void clbkDrawHUD(int mode, const HUDPAINTSPEC *hps, HDC hdc) override
    {
        VESSEL2::clbkDrawHUD(mode, hps, hdc);
        SetTextColor(hdc, RGB(0, 255, 0));
        TextOutA(hdc, 10, hps->H / 2, "TEST", 4);
    }

    int counter = 0;
    char text[64] = "none";
    char kill[64] = "";
    bool spawn = false;
    PROPELLANT_HANDLE tank = nullptr;
};

}  // namespace

DLLCLBK VESSEL *ovcInit(OBJHANDLE hvessel, int flightmodel) { return new TestVessel(hvessel, flightmodel); }

DLLCLBK void ovcExit(VESSEL *vessel)
{
    if (vessel) delete static_cast<TestVessel *>(vessel);
}
