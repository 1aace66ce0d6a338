// api_global.cpp -- the host's global oapi functions on the current world. A missing world, a bad
// handle or a missing object gives a log message and a harmless result.
#include "internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace sim;

#define VF "(%.10g, %.10g, %.10g)"
#define VA(v) (v).x, (v).y, (v).z

namespace {

World *Wd() { return World::Current(); }

void Bad(const char *func, const char *what)
{
    if (World *w = Wd()) w->Fault(func, what);
}

#define GNOTE(...)                                   \
    do {                                             \
        if (Wd() && Wd()->opt_.journal) Wd()->Note(__VA_ARGS__); \
    } while (0)

bool ObjPosVel(OBJHANDLE h, VECTOR3 *pos, VECTOR3 *vel)
{
    if (Body *b = As<Body>(h, Kind::Body)) {
        if (pos) *pos = b->pos;
        if (vel) *vel = b->vel;
        return true;
    }
    if (Vessel *v = As<Vessel>(h, Kind::Vessel)) {
        if (pos) *pos = v->GlobalPos();
        if (vel) *vel = v->GlobalVel();
        return true;
    }
    return false;
}

}  // namespace

// --- vessels and objects ---------------------------------------------------------------------
OBJHANDLE oapiCreateVessel(const char *name, const char *classname, const VESSELSTATUS &status)
{
    GNOTE("oapiCreateVessel(\"%s\", \"%s\")", name ? name : "", classname ? classname : "");
    if (!Wd() || !name || !classname) return nullptr;
    Vessel *v = Wd()->CreateVessel(name, classname, status);
    return v ? Handle(v) : nullptr;
}

OBJHANDLE oapiCreateVesselEx(const char *name, const char *classname, const void *status)
{
    GNOTE("oapiCreateVesselEx(\"%s\", \"%s\")", name ? name : "", classname ? classname : "");
    if (!Wd() || !name || !classname) return nullptr;
    const auto *s = static_cast<const VESSELSTATUS2 *>(status);
    if (!s || s->version != 2) {
        Bad(__func__, "the status record is not version 2");
        return nullptr;
    }
    Vessel *v = Wd()->CreateVessel(name, classname, *s);
    return v ? Handle(v) : nullptr;
}

bool oapiDeleteVessel(OBJHANDLE hVessel, OBJHANDLE)
{
    GNOTE("oapiDeleteVessel(%s)", hVessel ? "@" : "0");
    Vessel *v = As<Vessel>(hVessel, Kind::Vessel);
    return v && Wd() ? Wd()->DeleteVessel(v) : false;
}

OBJHANDLE oapiGetVesselByName(char *name)
{
    GNOTE("oapiGetVesselByName(\"%s\")", name ? name : "");
    if (!Wd() || !name) return nullptr;
    Vessel *v = Wd()->FindVessel(name);
    return v ? Handle(v) : nullptr;
}

OBJHANDLE oapiGetVesselByIndex(int index)
{
    if (!Wd() || index < 0 || index >= static_cast<int>(Wd()->Vessels().size())) return nullptr;
    return Handle(Wd()->Vessels()[index]);
}

DWORD oapiGetVesselCount() { return Wd() ? static_cast<DWORD>(Wd()->Vessels().size()) : 0; }

VESSEL *oapiGetVesselInterface(OBJHANDLE hVessel)
{
    GNOTE("oapiGetVesselInterface(%s)", hVessel ? "@" : "0");
    Vessel *v = As<Vessel>(hVessel, Kind::Vessel);
    if (!v) {
        Bad(__func__, "not a vessel handle");
        return nullptr;
    }
    return v->iface;
}

VESSEL *oapiGetFocusInterface()
{
    GNOTE("oapiGetFocusInterface()");
    return Wd() && Wd()->Focus() ? Wd()->Focus()->iface : nullptr;
}

OBJHANDLE oapiGetFocusObject() { return Wd() && Wd()->Focus() ? Handle(Wd()->Focus()) : nullptr; }

OBJHANDLE oapiSetFocusObject(OBJHANDLE hVessel)
{
    GNOTE("oapiSetFocusObject(%s)", hVessel ? "@" : "0");
    if (!Wd()) return nullptr;
    Vessel *old = Wd()->Focus();
    Vessel *v = As<Vessel>(hVessel, Kind::Vessel);
    if (!v) {
        if (hVessel) Bad(__func__, "not a vessel handle");
        return nullptr;  // a null handle changes nothing
    }
    Wd()->SetFocus(v);
    return old ? Handle(old) : nullptr;
}

OBJHANDLE oapiGetGbodyByName(char *name)
{
    GNOTE("oapiGetGbodyByName(\"%s\")", name ? name : "");
    if (!Wd() || !name) return nullptr;
    Body *b = Wd()->FindBody(name);
    return b ? Handle(b) : nullptr;
}

OBJHANDLE oapiGetObjectByName(char *name)
{
    if (!Wd() || !name) return nullptr;
    if (Body *b = Wd()->FindBody(name)) return Handle(b);
    Vessel *v = Wd()->FindVessel(name);
    return v ? Handle(v) : nullptr;
}

void oapiGetObjectName(OBJHANDLE hObj, char *name, int n)
{
    if (!name || n <= 0) return;
    std::string s;
    if (Body *b = As<Body>(hObj, Kind::Body)) s = b->name;
    else if (Vessel *v = As<Vessel>(hObj, Kind::Vessel)) s = v->name;
    std::snprintf(name, static_cast<std::size_t>(n), "%s", s.c_str());
}

double oapiGetMass(OBJHANDLE hObj)
{
    GNOTE("oapiGetMass(%s)", hObj ? "@" : "0");
    if (Body *b = As<Body>(hObj, Kind::Body)) return b->mass;
    if (Vessel *v = As<Vessel>(hObj, Kind::Vessel)) return v->Mass();
    Bad(__func__, "not an object handle");
    return 0;
}

double oapiGetSize(OBJHANDLE hObj)
{
    if (Body *b = As<Body>(hObj, Kind::Body)) return b->radius;
    if (Vessel *v = As<Vessel>(hObj, Kind::Vessel)) return v->size;
    return 0;
}

void oapiGetGlobalPos(OBJHANDLE hObj, VECTOR3 *pos)
{
    GNOTE("oapiGetGlobalPos(%s)", hObj ? "@" : "0");
    if (!pos) return;
    if (!ObjPosVel(hObj, pos, nullptr)) {
        Bad(__func__, "not an object handle");
        *pos = _V(0, 0, 0);
    }
}

void oapiGetGlobalVel(OBJHANDLE hObj, VECTOR3 *vel)
{
    if (!vel) return;
    if (!ObjPosVel(hObj, nullptr, vel)) *vel = _V(0, 0, 0);
}

void oapiGetRelativePos(OBJHANDLE hObj, OBJHANDLE hRef, VECTOR3 *pos)
{
    GNOTE("oapiGetRelativePos(%s, %s)", hObj ? "@" : "0", hRef ? "@" : "0");
    if (!pos) return;
    VECTOR3 a, b;
    if (!ObjPosVel(hObj, &a, nullptr) || !ObjPosVel(hRef, &b, nullptr)) {
        Bad(__func__, "not an object handle");
        *pos = _V(0, 0, 0);
        return;
    }
    *pos = a - b;
}

void oapiGetRelativeVel(OBJHANDLE hObj, OBJHANDLE hRef, VECTOR3 *vel)
{
    if (!vel) return;
    VECTOR3 a, b;
    if (!ObjPosVel(hObj, nullptr, &a) || !ObjPosVel(hRef, nullptr, &b)) {
        *vel = _V(0, 0, 0);
        return;
    }
    *vel = a - b;
}

BOOL oapiGetEquPos(OBJHANDLE hVessel, double *lng, double *lat, double *rad)
{
    GNOTE("oapiGetEquPos(%s)", hVessel ? "@" : "0");
    Vessel *v = As<Vessel>(hVessel, Kind::Vessel);
    if (!v) {
        Bad(__func__, "not a vessel handle");
        return FALSE;
    }
    double a, b, c;
    v->SurfaceOwner()->EquPos(a, b, c);  // an attached child reports its root parent's (GetSurfParam)
    if (lng) *lng = a;
    if (lat) *lat = b;
    if (rad) *rad = c;
    return TRUE;
}

BOOL oapiGetHeading(OBJHANDLE hVessel, double *heading)
{
    GNOTE("oapiGetHeading(%s)", hVessel ? "@" : "0");
    Vessel *v = As<Vessel>(hVessel, Kind::Vessel);
    if (!v) {
        Bad(__func__, "not a vessel handle");
        return FALSE;
    }
    const Vessel *s = v->SurfaceOwner();  // an attached child reports its root parent's (GetSurfParam)
    if (heading) *heading = s->landed ? std::fmod(s->surf_hdg + 4 * M_PI, 2 * M_PI) : s->Heading();
    return TRUE;
}

BOOL oapiGetAltitude(OBJHANDLE hVessel, double *alt)
{
    Vessel *v = As<Vessel>(hVessel, Kind::Vessel);
    if (!v) return FALSE;
    if (alt) *alt = v->SurfaceOwner()->Altitude();  // an attached child: its root parent's (GetSurfParam)
    return TRUE;
}

BOOL oapiGetAirspeed(OBJHANDLE hVessel, double *airspeed)
{
    Vessel *v = As<Vessel>(hVessel, Kind::Vessel);
    if (!v) return FALSE;
    if (airspeed) *airspeed = length(v->SurfaceOwner()->AirVelocityGlobal());  // (GetSurfParam)
    return TRUE;
}

// --- time and random numbers -----------------------------------------------------------------
double oapiGetSimTime() { return Wd() ? Wd()->SimTime() : 0.0; }
double oapiGetSimStep() { return Wd() ? Wd()->StepLength() : 0.0; }
double oapiGetSimMJD() { return Wd() ? Wd()->Mjd() : 0.0; }
double oapiRand()
{
    GNOTE("oapiRand()");
    return Wd() ? Wd()->Rand() : 0.0;
}

// --- log -------------------------------------------------------------------------------------
void oapiWriteLog(char *line)
{
    GNOTE("oapiWriteLog(\"%s\")", line ? line : "");
    if (Wd() && line) Wd()->Log(line);
}

// --- meshes and textures ---------------------------------------------------------------------
MESHHANDLE oapiLoadMesh(const char *fname)
{
    GNOTE("oapiLoadMesh(\"%s\")", fname ? fname : "");
    if (!Wd() || !fname) return nullptr;
    Mesh *m = Wd()->LoadMesh(fname);
    return m ? Handle(m) : nullptr;
}

MESHHANDLE oapiLoadMeshGlobal(const char *fname) { return oapiLoadMesh(fname); }

void oapiDeleteMesh(MESHHANDLE hMesh)
{
    if (Mesh *m = As<Mesh>(hMesh, Kind::Mesh)) m->alive = false;
}

DWORD oapiMeshGroupCount(MESHHANDLE hMesh)
{
    Mesh *m = As<Mesh>(hMesh, Kind::Mesh);
    return m ? static_cast<DWORD>(m->groups.size()) : 0;
}

MESHGROUP *oapiMeshGroup(MESHHANDLE hMesh, DWORD idx)
{
    GNOTE("oapiMeshGroup(%s, %u)", hMesh ? "@" : "0", idx);
    Mesh *m = As<Mesh>(hMesh, Kind::Mesh);
    if (!m) {
        Bad(__func__, "not a mesh handle");
        return nullptr;
    }
    return idx < m->groups.size() ? &m->groups[idx] : nullptr;
}

DWORD oapiMeshMaterialCount(MESHHANDLE hMesh)
{
    Mesh *m = As<Mesh>(hMesh, Kind::Mesh);
    return m ? static_cast<DWORD>(m->materials.size()) : 0;
}

MATERIAL *oapiMeshMaterial(MESHHANDLE hMesh, DWORD idx)
{
    GNOTE("oapiMeshMaterial(%s, %u)", hMesh ? "@" : "0", idx);
    Mesh *m = As<Mesh>(hMesh, Kind::Mesh);
    if (!m) {
        Bad(__func__, "not a mesh handle");
        return nullptr;
    }
    return idx < m->materials.size() ? &m->materials[idx] : nullptr;
}

bool oapiSetMeshProperty(MESHHANDLE hMesh, DWORD property, DWORD value)
{
    GNOTE("oapiSetMeshProperty(%s, %u, %u)", hMesh ? "@" : "0", property, value);
    Mesh *m = As<Mesh>(hMesh, Kind::Mesh);
    if (!m) {
        Bad(__func__, "not a mesh handle");
        return false;
    }
    if (property != MESHPROPERTY_MODULATEMATALPHA) return false;
    m->properties[property] = value;
    return true;
}

SURFHANDLE oapiLoadTexture(const char *fname, bool dynamic)
{
    GNOTE("oapiLoadTexture(\"%s\", %s)", fname ? fname : "", dynamic ? "true" : "false");
    if (!Wd() || !fname) return nullptr;
    Surface *s = Wd()->LoadTexture(fname, dynamic);
    return s ? Handle(s) : nullptr;
}

void oapiReleaseTexture(SURFHANDLE) {}

SURFHANDLE oapiGetTextureHandle(MESHHANDLE hMesh, DWORD texidx)
{
    GNOTE("oapiGetTextureHandle(%s, %u)", hMesh ? "@" : "0", texidx);
    Mesh *m = As<Mesh>(hMesh, Kind::Mesh);
    if (!m) {
        Bad(__func__, "not a mesh handle");
        return nullptr;
    }
    // Texture indices count from 1 (0 is "no texture").
    if (texidx == 0 || texidx > m->textures.size()) return nullptr;
    return Handle(m->textures[texidx - 1]);
}

void oapiBlt(SURFHANDLE tgt, SURFHANDLE src, int tgtx, int tgty, int srcx, int srcy, int w, int h, DWORD ck)
{
    GNOTE("oapiBlt(%s, %s, %d, %d, %d, %d, %d, %d, 0x%X)", tgt ? "@" : "0", src ? "@" : "0", tgtx, tgty, srcx, srcy,
          w, h, ck);
    Surface *t = As<Surface>(tgt, Kind::Surface), *s = As<Surface>(src, Kind::Surface);
    if (!t || !s) {
        Bad(__func__, "not a surface handle");
        return;
    }
    t->blits.push_back(Surface::Blit{s, tgtx, tgty, srcx, srcy, w, h, ck});
}

SURFHANDLE oapiRegisterExhaustTexture(char *name)
{
    GNOTE("oapiRegisterExhaustTexture(\"%s\")", name ? name : "");
    if (!Wd() || !name) return nullptr;
    return Handle(Wd()->RegisterTexture(name));
}

SURFHANDLE oapiRegisterReentryTexture(char *name)
{
    GNOTE("oapiRegisterReentryTexture(\"%s\")", name ? name : "");
    if (!Wd() || !name) return nullptr;
    return Handle(Wd()->RegisterTexture(name));
}

// --- annotations -----------------------------------------------------------------------------
NOTEHANDLE oapiCreateAnnotation(bool exclusive, double size, const VECTOR3 &col)
{
    GNOTE("oapiCreateAnnotation(%s, %.10g, " VF ")", exclusive ? "true" : "false", size, VA(col));
    if (!Wd()) return nullptr;
    Annotation *a = Wd()->NewAnnotation();
    a->exclusive = exclusive;
    a->size = size;
    a->col = col;
    return Handle(a);
}

bool oapiDelAnnotation(NOTEHANDLE hNote)
{
    GNOTE("oapiDelAnnotation(%s)", hNote ? "@" : "0");
    Annotation *a = As<Annotation>(hNote, Kind::Annotation);
    if (!a || !Wd()) {
        Bad(__func__, "not a live annotation");
        return false;
    }
    return Wd()->DeleteAnnotation(a);
}

void oapiAnnotationSetPos(NOTEHANDLE hNote, double x1, double y1, double x2, double y2)
{
    GNOTE("oapiAnnotationSetPos(%s, %.10g, %.10g, %.10g, %.10g)", hNote ? "@" : "0", x1, y1, x2, y2);
    Annotation *a = As<Annotation>(hNote, Kind::Annotation);
    if (!a) {
        Bad(__func__, "not a live annotation");
        return;
    }
    a->x1 = x1, a->y1 = y1, a->x2 = x2, a->y2 = y2;
}

void oapiAnnotationSetSize(NOTEHANDLE hNote, double size)
{
    if (Annotation *a = As<Annotation>(hNote, Kind::Annotation)) a->size = size;
}

void oapiAnnotationSetColour(NOTEHANDLE hNote, const VECTOR3 &col)
{
    if (Annotation *a = As<Annotation>(hNote, Kind::Annotation)) a->col = col;
}

void oapiAnnotationSetText(NOTEHANDLE hNote, char *note)
{
    GNOTE("oapiAnnotationSetText(%s, \"%s\")", hNote ? "@" : "0", note ? note : "");
    Annotation *a = As<Annotation>(hNote, Kind::Annotation);
    if (!a) {
        Bad(__func__, "not a live annotation");
        return;
    }
    // A module may set its note's text every frame: only a new text is news (and costs anything).
    const char *text = note ? note : "";
    if (a->text == text) return;
    a->text = text;
    if (Wd() && !a->text.empty()) Wd()->Event("note shown: \"" + a->text + "\"");
}

// --- aerodynamics helpers --------------------------------------------------------------------
double oapiGetInducedDrag(double cl, double A, double e) { return cl * cl / (M_PI * A * e); }

double oapiGetWaveDrag(double M, double M1, double M2, double M3, double cmax)
{
    if (M < M1) return 0.0;
    if (M < M2) return cmax * (M - M1) / (M2 - M1);
    if (M < M3) return cmax;
    return cmax * std::sqrt(M3 * M3 - 1.0) / std::sqrt(M * M - 1.0);
}

// --- MFD modes -------------------------------------------------------------------------------
int oapiRegisterMFDMode(MFDMODESPEC &spec)
{
    GNOTE("oapiRegisterMFDMode(\"%s\", 0x%X)", spec.name ? spec.name : "", spec.key);
    return Wd() ? Wd()->RegisterMfdMode(spec) : 0;
}

bool oapiUnregisterMFDMode(int mode)
{
    GNOTE("oapiUnregisterMFDMode(%d)", mode);
    return Wd() ? Wd()->UnregisterMfdMode(mode) : false;
}
