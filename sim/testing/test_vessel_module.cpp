// test_vessel_module.cpp -- a test-only vessel module: it reports its callbacks in the host log,
// keeps two scenario lines of its own, can create a vessel from inside a callback (key K), delete
// itself from inside one (key D) or delete a vessel named by a scenario line (KILL <name>) in its
// next pre-step. It has one attachment point for a child and one for a parent. Frame probes, set by
// scenario lines: PROBE logs the times each step callback gets and, in the post-step, what the
// vessel's queries give; AV_PRE/AV_POST x y z set the angular velocity in the first pre-/post-step;
// SPAWN_PRE/SPAWN_POST <name> create a vessel of this class in the first pre-/post-step;
// RELEASE_PRE/RELEASE_POST <n> let go of the child on its point in the n-th pre-/post-step;
// MOVEPOINT_POST <y> moves the child's point to (0, y, 0) in the first post-step.
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
            else if (!_strnicmp(line, "PROBE", 5))
                probe = true;
            else if (!_strnicmp(line, "AV_PRE ", 7) || !_strnicmp(line, "AV_POST ", 8)) {
                av_when = line[3] == 'P' && line[4] == 'R' ? 1 : 2;
                std::sscanf(line + (av_when == 1 ? 7 : 8), "%lf %lf %lf", &av.x, &av.y, &av.z);
            } else if (!_strnicmp(line, "SPAWN_PRE ", 10))
                std::snprintf(spawn_pre, sizeof spawn_pre, "%s", line + 10);
            else if (!_strnicmp(line, "SPAWN_POST ", 11))
                std::snprintf(spawn_post, sizeof spawn_post, "%s", line + 11);
            else if (!_strnicmp(line, "RELEASE_PRE ", 12))
                std::sscanf(line + 12, "%d", &release_pre);
            else if (!_strnicmp(line, "RELEASE_POST ", 13))
                std::sscanf(line + 13, "%d", &release_post);
            else if (!_strnicmp(line, "MOVEPOINT_POST ", 15))
                move_point = std::sscanf(line + 15, "%lf", &point_y) == 1;
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
    void Spawn(char *name)
    {
        VESSELSTATUS vs;
        GetStatus(vs);
        oapiCreateVessel(name, "simtest", vs);
        name[0] = '\0';
    }
    void clbkPreStep(double simt, double simdt, double mjd) override
    {
        Say("clbkPreStep", this);
        if (probe) {
            char buf[160];
            std::snprintf(buf, sizeof buf, "probe: pre %s %.9f %.9f %.12f %.9f", GetName(), simt, simdt, mjd,
                          oapiGetSimTime());
            oapiWriteLog(buf);
        }
        if (av_when == 1) {
            SetAngularVel(av);
            av_when = 0;
        }
        if (spawn_pre[0]) Spawn(spawn_pre);
        if (release_pre > 0 && --release_pre == 0) Release();
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
    void clbkPostStep(double simt, double simdt, double mjd) override
    {
        Say("clbkPostStep", this);
        ++counter;
        if (probe) {
            VECTOR3 gp, gv, w;
            GetGlobalPos(gp);
            GetGlobalVel(gv);
            GetAngularVel(w);
            MATRIX3 R;
            GetRotationMatrix(R);
            VESSELSTATUS vs;
            GetStatus(vs);
            char buf[512];
            std::snprintf(buf, sizeof buf,
                          "probe: post %s %.9f %.9f %.12f %.9f alt %.6f pitch %.12f mass %.6f gpos %.6f %.6f %.6f "
                          "gvel %.6f %.6f %.6f avel %.9f %.9f %.9f rot %.12f %.12f status %.6f %.6f %.6f",
                          GetName(), simt, simdt, mjd, oapiGetSimTime(), GetAltitude(), GetPitch(), GetMass(), gp.x,
                          gp.y, gp.z, gv.x, gv.y, gv.z, w.x, w.y, w.z, R.m13, R.m23, vs.rpos.x, vs.rpos.y, vs.rpos.z);
            oapiWriteLog(buf);
        }
        if (av_when == 2) {
            SetAngularVel(av);
            av_when = 0;
        }
        if (spawn_post[0]) Spawn(spawn_post);
        if (release_post > 0 && --release_post == 0) Release();
        if (move_point) {
            move_point = false;
            SetAttachmentParams(GetAttachmentHandle(false, 0), _V(0, point_y, 0), _V(0, -1, 0), _V(0, 0, 1));
        }
    }
    void Release()
    {
        const bool done = DetachChild(GetAttachmentHandle(false, 0), 0.0);
        Say(done ? "released its child" : "had no child to release", this);
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
    bool probe = false;
    int av_when = 0;  // 1 pre-step, 2 post-step
    VECTOR3 av = {0, 0, 0};
    char spawn_pre[64] = "", spawn_post[64] = "";
    int release_pre = 0, release_post = 0;  // frames to go before the release
    bool move_point = false;
    double point_y = 0;
};

}  // namespace

DLLCLBK VESSEL *ovcInit(OBJHANDLE hvessel, int flightmodel) { return new TestVessel(hvessel, flightmodel); }

DLLCLBK void ovcExit(VESSEL *vessel)
{
    if (vessel) delete static_cast<TestVessel *>(vessel);
}
