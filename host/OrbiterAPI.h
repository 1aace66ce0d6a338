// OrbiterAPI.h -- the host's general API as the modules see it: types, records, constants and the
// global oapi functions. Names, signatures, record layouts and constant values are those of the
// real SDK; the implementation lives in the host (on Linux, the stand-in host library).
#pragma once
#if defined(__GNUC__)
#pragma GCC system_header  // the SDK's own signatures (e.g. const return values) are kept as they are
#endif

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------------------------
// Linkage
// ---------------------------------------------------------------------------------------------
#if defined(_WIN32)
#define DLLEXPORT __declspec(dllexport)
#define DLLIMPORT __declspec(dllimport)
#else
#define DLLEXPORT __attribute__((visibility("default")))
#define DLLIMPORT __attribute__((visibility("default")))
#endif
#define DLLCLBK extern "C" DLLEXPORT
#define OAPIFUNC DLLIMPORT

// ---------------------------------------------------------------------------------------------
// Handles (all opaque)
// ---------------------------------------------------------------------------------------------
typedef void *OBJHANDLE;
typedef void *VISHANDLE;
typedef void *MESHHANDLE;
typedef void *SURFHANDLE;
typedef void *FILEHANDLE;
typedef void *THRUSTER_HANDLE;
typedef void *THGROUP_HANDLE;
typedef void *PROPELLANT_HANDLE;
typedef void *PSTREAM_HANDLE;
typedef void *ATTACHMENTHANDLE;
typedef void *AIRFOILHANDLE;
typedef void *CTRLSURFHANDLE;
typedef void *ANIMATIONCOMPONENT_HANDLE;
typedef void *NOTEHANDLE;
typedef void *DOCKHANDLE;
typedef void *DEVMESHHANDLE;
typedef void *PANELHANDLE;

namespace oapi {
class Sketchpad;  // the drawing surface of DrawAPI.h
}

#if defined(_WIN64) || !defined(_WIN32)
typedef LRESULT OAPI_MSGTYPE;  // pointer-sized: the MFD-opened message returns an object
#else
typedef int OAPI_MSGTYPE;
#endif

class VESSEL;

// ---------------------------------------------------------------------------------------------
// Vectors and matrices
// ---------------------------------------------------------------------------------------------
typedef union {
    double data[3];
    struct {
        double x, y, z;
    };
} VECTOR3;

typedef union {
    double data[9];
    struct {
        double m11, m12, m13, m21, m22, m23, m31, m32, m33;
    };
} MATRIX3;

inline VECTOR3 _V(double x, double y, double z)
{
    VECTOR3 v;
    v.x = x;
    v.y = y;
    v.z = z;
    return v;
}
inline void veccpy(VECTOR3 &a, const VECTOR3 &b) { a.x = b.x, a.y = b.y, a.z = b.z; }
inline VECTOR3 operator+(const VECTOR3 &a, const VECTOR3 &b) { return _V(a.x + b.x, a.y + b.y, a.z + b.z); }
inline VECTOR3 operator-(const VECTOR3 &a, const VECTOR3 &b) { return _V(a.x - b.x, a.y - b.y, a.z - b.z); }
inline VECTOR3 operator*(const VECTOR3 &a, const double f) { return _V(a.x * f, a.y * f, a.z * f); }
inline VECTOR3 operator/(const VECTOR3 &a, const double f) { return _V(a.x / f, a.y / f, a.z / f); }
inline VECTOR3 operator-(const VECTOR3 &a) { return _V(-a.x, -a.y, -a.z); }
inline VECTOR3 &operator+=(VECTOR3 &a, const VECTOR3 &b) { a.x += b.x, a.y += b.y, a.z += b.z; return a; }
inline VECTOR3 &operator-=(VECTOR3 &a, const VECTOR3 &b) { a.x -= b.x, a.y -= b.y, a.z -= b.z; return a; }
inline VECTOR3 &operator*=(VECTOR3 &a, const double f) { a.x *= f, a.y *= f, a.z *= f; return a; }
inline VECTOR3 &operator/=(VECTOR3 &a, const double f) { a.x /= f, a.y /= f, a.z /= f; return a; }
inline double dotp(const VECTOR3 &a, const VECTOR3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline VECTOR3 crossp(const VECTOR3 &a, const VECTOR3 &b)
{
    return _V(a.y * b.z - b.y * a.z, a.z * b.x - b.z * a.x, a.x * b.y - b.x * a.y);
}
inline double length(const VECTOR3 &a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
inline double dist(const VECTOR3 &a, const VECTOR3 &b) { return length(a - b); }
inline void normalise(VECTOR3 &a) { a /= length(a); }
inline VECTOR3 unit(const VECTOR3 &a) { return a / length(a); }

inline MATRIX3 _M(double m11, double m12, double m13, double m21, double m22, double m23, double m31,
                  double m32, double m33)
{
    MATRIX3 m;
    m.m11 = m11, m.m12 = m12, m.m13 = m13;
    m.m21 = m21, m.m22 = m22, m.m23 = m23;
    m.m31 = m31, m.m32 = m32, m.m33 = m33;
    return m;
}
inline MATRIX3 identity() { return _M(1, 0, 0, 0, 1, 0, 0, 0, 1); }
inline VECTOR3 mul(const MATRIX3 &A, const VECTOR3 &b)
{
    return _V(A.m11 * b.x + A.m12 * b.y + A.m13 * b.z, A.m21 * b.x + A.m22 * b.y + A.m23 * b.z,
              A.m31 * b.x + A.m32 * b.y + A.m33 * b.z);
}
inline VECTOR3 tmul(const MATRIX3 &A, const VECTOR3 &b)
{
    return _V(A.m11 * b.x + A.m21 * b.y + A.m31 * b.z, A.m12 * b.x + A.m22 * b.y + A.m32 * b.z,
              A.m13 * b.x + A.m23 * b.y + A.m33 * b.z);
}
inline MATRIX3 mul(const MATRIX3 &A, const MATRIX3 &B)
{
    return _M(A.m11 * B.m11 + A.m12 * B.m21 + A.m13 * B.m31, A.m11 * B.m12 + A.m12 * B.m22 + A.m13 * B.m32,
              A.m11 * B.m13 + A.m12 * B.m23 + A.m13 * B.m33, A.m21 * B.m11 + A.m22 * B.m21 + A.m23 * B.m31,
              A.m21 * B.m12 + A.m22 * B.m22 + A.m23 * B.m32, A.m21 * B.m13 + A.m22 * B.m23 + A.m23 * B.m33,
              A.m31 * B.m11 + A.m32 * B.m21 + A.m33 * B.m31, A.m31 * B.m12 + A.m32 * B.m22 + A.m33 * B.m32,
              A.m31 * B.m13 + A.m32 * B.m23 + A.m33 * B.m33);
}

#ifndef PI
#define PI 3.14159265358979
#endif
#ifndef PI05
#define PI05 1.57079632679490
#endif
#ifndef PI2
#define PI2 6.28318530717958
#endif
#define RAD (PI / 180.0)
#define DEG (180.0 / PI)

// ---------------------------------------------------------------------------------------------
// Records
// ---------------------------------------------------------------------------------------------
typedef struct {
    VECTOR3 rpos, rvel, vrot, arot;
    double fuel, eng_main, eng_hovr;
    OBJHANDLE rbody, base;
    int port, status;
    VECTOR3 vdata[10];
    double fdata[10];
    DWORD flag[10];
} VESSELSTATUS;

typedef struct {
    DWORD version;  // 2
    DWORD flag;
    OBJHANDLE rbody, base;
    int port;
    int status;  // 0 flying, 1 landed
    VECTOR3 rpos, rvel, vrot, arot;
    double surf_lng, surf_lat, surf_hdg;
    DWORD nfuel;
    struct FUELSPEC {
        DWORD idx;
        double level;
    } *fuel;
    DWORD nthruster;
    struct THRUSTSPEC {
        DWORD idx;
        double level;
    } *thruster;
    DWORD ndockinfo;
    struct DOCKINFOSPEC {
        DWORD idx;
        DWORD ridx;
        OBJHANDLE rvessel;
    } *dockinfo;
    DWORD xpdr;
} VESSELSTATUS2;

#define VS_FUELRESET 0x00000001
#define VS_FUELLIST 0x00000002
#define VS_THRUSTRESET 0x00000004
#define VS_THRUSTLIST 0x00000008
#define VS_DOCKINFOLIST 0x00000010

typedef struct {
    DWORD flags;
    double srcsize, srcrate, v0, srcspread, lifetime, growthrate, atmslowdown;
    enum LTYPE { EMISSIVE, DIFFUSE } ltype;
    enum LEVELMAP { LVL_FLAT, LVL_LIN, LVL_SQRT, LVL_PLIN, LVL_PSQRT } levelmap;
    double lmin, lmax;
    enum ATMSMAP { ATM_FLAT, ATM_PLIN, ATM_PLOG } atmsmap;
    double amin, amax;
    SURFHANDLE tex;
} PARTICLESTREAMSPEC;

typedef struct {
    int W, H;
    int CX, CY;
    double Scale;
    int Markersize;
} HUDPAINTSPEC;

typedef struct {
    char *name;
    DWORD key;
    OAPI_MSGTYPE (*msgproc)(UINT msg, UINT mfd, WPARAM wparam, LPARAM lparam);
} MFDMODESPEC;

#pragma pack(push, 1)
typedef struct {
    const char *line1, *line2;
    char selchar;
} MFDBUTTONMENU;
#pragma pack(pop)

typedef struct {
    DWORD shape;
    VECTOR3 *pos;
    VECTOR3 *col;
    double size, falloff, period, duration, tofs;
    bool active;
} BEACONLIGHTSPEC;

typedef struct {
    double a, e, i, theta, omegab, L;
} ELEMENTS;

typedef struct {
    double SMi, PeD, ApD, MnA, TrA, MnL, TrL, EcA, Lec, T, PeT, ApT;
} ORBITPARAM;

typedef struct {
    float r, g, b, a;
} COLOUR4;

typedef struct {
    COLOUR4 diffuse, ambient, specular, emissive;
    float power;
} MATERIAL;

typedef struct {
    float x, y, z, nx, ny, nz, tu, tv;
} NTVERTEX;

typedef struct {
    NTVERTEX *Vtx;
    WORD *Idx;
    DWORD nVtx, nIdx, MtrlIdx, TexIdx, UsrFlag;
    WORD zBias, Flags;
} MESHGROUP;

#define SPEC_DEFAULT ((DWORD)(-1))
#define SPEC_INHERIT ((DWORD)(-2))

// Animation transforms. The host keeps the pointers it is given; the module owns the objects.
// (No virtual destructor, as in the real SDK: delete through the derived type.)
class MGROUP_TRANSFORM {
public:
    MGROUP_TRANSFORM() : mesh(0), grp(0), ngrp(0) {}
    MGROUP_TRANSFORM(UINT _mesh, UINT *_grp, UINT _ngrp) : mesh(_mesh), grp(_grp), ngrp(_ngrp) {}
    enum TYPE { NULLTRANSFORM, ROTATE, TRANSLATE, SCALE };
    virtual TYPE Type() const { return NULLTRANSFORM; }
    UINT mesh;
    UINT *grp;
    UINT ngrp;
};

class MGROUP_ROTATE : public MGROUP_TRANSFORM {
public:
    MGROUP_ROTATE(UINT _mesh, UINT *_grp, UINT _ngrp, const VECTOR3 &_ref, const VECTOR3 &_axis, float _angle)
        : MGROUP_TRANSFORM(_mesh, _grp, _ngrp), ref(_ref), axis(_axis), angle(_angle)
    {
    }
    TYPE Type() const { return ROTATE; }
    VECTOR3 ref, axis;
    float angle;
};

class MGROUP_TRANSLATE : public MGROUP_TRANSFORM {
public:
    MGROUP_TRANSLATE(UINT _mesh, UINT *_grp, UINT _ngrp, const VECTOR3 &_shift)
        : MGROUP_TRANSFORM(_mesh, _grp, _ngrp), shift(_shift)
    {
    }
    TYPE Type() const { return TRANSLATE; }
    VECTOR3 shift;
};

class MGROUP_SCALE : public MGROUP_TRANSFORM {
public:
    MGROUP_SCALE(UINT _mesh, UINT *_grp, UINT _ngrp, const VECTOR3 &_ref, const VECTOR3 &_scale)
        : MGROUP_TRANSFORM(_mesh, _grp, _ngrp), ref(_ref), scale(_scale)
    {
    }
    TYPE Type() const { return SCALE; }
    VECTOR3 ref, scale;
};

// ---------------------------------------------------------------------------------------------
// Enumerations and constants
// ---------------------------------------------------------------------------------------------
typedef enum {
    THGROUP_MAIN,
    THGROUP_RETRO,
    THGROUP_HOVER,
    THGROUP_ATT_PITCHUP,
    THGROUP_ATT_PITCHDOWN,
    THGROUP_ATT_YAWLEFT,
    THGROUP_ATT_YAWRIGHT,
    THGROUP_ATT_BANKLEFT,
    THGROUP_ATT_BANKRIGHT,
    THGROUP_ATT_RIGHT,
    THGROUP_ATT_LEFT,
    THGROUP_ATT_UP,
    THGROUP_ATT_DOWN,
    THGROUP_ATT_FORWARD,
    THGROUP_ATT_BACK,
    THGROUP_USER = 0x40
} THGROUP_TYPE;

typedef enum {
    AIRCTRL_ELEVATOR,
    AIRCTRL_RUDDER,
    AIRCTRL_AILERON,
    AIRCTRL_FLAP,
    AIRCTRL_ELEVATORTRIM,
    AIRCTRL_RUDDERTRIM
} AIRCTRL_TYPE;

#define AIRCTRL_AXIS_AUTO 0
#define AIRCTRL_AXIS_YPOS 1
#define AIRCTRL_AXIS_YNEG 2
#define AIRCTRL_AXIS_XPOS 3
#define AIRCTRL_AXIS_XNEG 4

typedef enum { LIFT_VERTICAL, LIFT_HORIZONTAL } AIRFOIL_ORIENTATION;

typedef double (*LiftCoeffFunc)(double aoa);
typedef void (*AirfoilCoeffFunc)(double aoa, double M, double Re, double *cl, double *cm, double *cd);
typedef void (*AirfoilCoeffFuncEx)(VESSEL *v, double aoa, double M, double Re, void *context, double *cl,
                                   double *cm, double *cd);

#define MESHVIS_NEVER 0x00
#define MESHVIS_EXTERNAL 0x01
#define MESHVIS_COCKPIT 0x02
#define MESHVIS_ALWAYS (MESHVIS_EXTERNAL | MESHVIS_COCKPIT)
#define MESHVIS_VC 0x04
#define MESHVIS_EXTPASS 0x10

#define MESHPROPERTY_MODULATEMATALPHA 1

#define BEACONSHAPE_COMPACT 0
#define BEACONSHAPE_DIFFUSE 1
#define BEACONSHAPE_STAR 2

#define OAPI_MSG_MFD_OPENED 1
#define OAPI_MSG_MFD_CLOSED 2
#define OAPI_MSG_MFD_OPENEDEX 3

#define PANEL_MOUSE_IGNORE 0x00
#define PANEL_MOUSE_LBDOWN 0x01
#define PANEL_MOUSE_RBDOWN 0x02
#define PANEL_MOUSE_LBUP 0x04
#define PANEL_MOUSE_RBUP 0x08
#define PANEL_MOUSE_LBPRESSED 0x10
#define PANEL_MOUSE_RBPRESSED 0x20

#define FRAME_ECL 0
#define FRAME_EQU 1

#define SURF_NO_CK 0xFFFFFFFF

#define HUD_NONE 0
#define HUD_ORBIT 1
#define HUD_SURFACE 2
#define HUD_DOCKING 3

// Keyboard scan codes
#define OAPI_KEY_ESCAPE 0x01
#define OAPI_KEY_1 0x02
#define OAPI_KEY_2 0x03
#define OAPI_KEY_3 0x04
#define OAPI_KEY_4 0x05
#define OAPI_KEY_5 0x06
#define OAPI_KEY_6 0x07
#define OAPI_KEY_7 0x08
#define OAPI_KEY_8 0x09
#define OAPI_KEY_9 0x0A
#define OAPI_KEY_0 0x0B
#define OAPI_KEY_MINUS 0x0C
#define OAPI_KEY_EQUALS 0x0D
#define OAPI_KEY_BACK 0x0E
#define OAPI_KEY_TAB 0x0F
#define OAPI_KEY_Q 0x10
#define OAPI_KEY_W 0x11
#define OAPI_KEY_E 0x12
#define OAPI_KEY_R 0x13
#define OAPI_KEY_T 0x14
#define OAPI_KEY_Y 0x15
#define OAPI_KEY_U 0x16
#define OAPI_KEY_I 0x17
#define OAPI_KEY_O 0x18
#define OAPI_KEY_P 0x19
#define OAPI_KEY_LBRACKET 0x1A
#define OAPI_KEY_RBRACKET 0x1B
#define OAPI_KEY_RETURN 0x1C
#define OAPI_KEY_LCONTROL 0x1D
#define OAPI_KEY_A 0x1E
#define OAPI_KEY_S 0x1F
#define OAPI_KEY_D 0x20
#define OAPI_KEY_F 0x21
#define OAPI_KEY_G 0x22
#define OAPI_KEY_H 0x23
#define OAPI_KEY_J 0x24
#define OAPI_KEY_K 0x25
#define OAPI_KEY_L 0x26
#define OAPI_KEY_SEMICOLON 0x27
#define OAPI_KEY_APOSTROPHE 0x28
#define OAPI_KEY_GRAVE 0x29
#define OAPI_KEY_LSHIFT 0x2A
#define OAPI_KEY_BACKSLASH 0x2B
#define OAPI_KEY_Z 0x2C
#define OAPI_KEY_X 0x2D
#define OAPI_KEY_C 0x2E
#define OAPI_KEY_V 0x2F
#define OAPI_KEY_B 0x30
#define OAPI_KEY_N 0x31
#define OAPI_KEY_M 0x32
#define OAPI_KEY_COMMA 0x33
#define OAPI_KEY_PERIOD 0x34
#define OAPI_KEY_SLASH 0x35
#define OAPI_KEY_RSHIFT 0x36
#define OAPI_KEY_MULTIPLY 0x37
#define OAPI_KEY_LALT 0x38
#define OAPI_KEY_SPACE 0x39
#define OAPI_KEY_CAPITAL 0x3A
#define OAPI_KEY_F1 0x3B
#define OAPI_KEY_F2 0x3C
#define OAPI_KEY_F3 0x3D
#define OAPI_KEY_F4 0x3E
#define OAPI_KEY_F5 0x3F
#define OAPI_KEY_F6 0x40
#define OAPI_KEY_F7 0x41
#define OAPI_KEY_F8 0x42
#define OAPI_KEY_F9 0x43
#define OAPI_KEY_F10 0x44
#define OAPI_KEY_NUMLOCK 0x45
#define OAPI_KEY_SCROLL 0x46
#define OAPI_KEY_NUMPAD7 0x47
#define OAPI_KEY_NUMPAD8 0x48
#define OAPI_KEY_NUMPAD9 0x49
#define OAPI_KEY_SUBTRACT 0x4A
#define OAPI_KEY_NUMPAD4 0x4B
#define OAPI_KEY_NUMPAD5 0x4C
#define OAPI_KEY_NUMPAD6 0x4D
#define OAPI_KEY_ADD 0x4E
#define OAPI_KEY_NUMPAD1 0x4F
#define OAPI_KEY_NUMPAD2 0x50
#define OAPI_KEY_NUMPAD3 0x51
#define OAPI_KEY_NUMPAD0 0x52
#define OAPI_KEY_DECIMAL 0x53
#define OAPI_KEY_F11 0x57
#define OAPI_KEY_F12 0x58
#define OAPI_KEY_NUMPADENTER 0x9C
#define OAPI_KEY_RCONTROL 0x9D
#define OAPI_KEY_DIVIDE 0xB5
#define OAPI_KEY_RALT 0xB8
#define OAPI_KEY_HOME 0xC7
#define OAPI_KEY_UP 0xC8
#define OAPI_KEY_PRIOR 0xC9
#define OAPI_KEY_LEFT 0xCB
#define OAPI_KEY_RIGHT 0xCD
#define OAPI_KEY_END 0xCF
#define OAPI_KEY_DOWN 0xD0
#define OAPI_KEY_NEXT 0xD1
#define OAPI_KEY_INSERT 0xD2
#define OAPI_KEY_DELETE 0xD3

#define KEYDOWN(buf, key) (buf[key] & 0x80)
#define KEYMOD_LSHIFT(buf) (KEYDOWN(buf, OAPI_KEY_LSHIFT))
#define KEYMOD_RSHIFT(buf) (KEYDOWN(buf, OAPI_KEY_RSHIFT))
#define KEYMOD_SHIFT(buf) (KEYDOWN(buf, OAPI_KEY_LSHIFT) || KEYDOWN(buf, OAPI_KEY_RSHIFT))
#define KEYMOD_LCONTROL(buf) (KEYDOWN(buf, OAPI_KEY_LCONTROL))
#define KEYMOD_RCONTROL(buf) (KEYDOWN(buf, OAPI_KEY_RCONTROL))
#define KEYMOD_CONTROL(buf) (KEYDOWN(buf, OAPI_KEY_LCONTROL) || KEYDOWN(buf, OAPI_KEY_RCONTROL))
#define KEYMOD_LALT(buf) (KEYDOWN(buf, OAPI_KEY_LALT))
#define KEYMOD_RALT(buf) (KEYDOWN(buf, OAPI_KEY_RALT))
#define KEYMOD_ALT(buf) (KEYDOWN(buf, OAPI_KEY_LALT) || KEYDOWN(buf, OAPI_KEY_RALT))

// ---------------------------------------------------------------------------------------------
// Global functions
// ---------------------------------------------------------------------------------------------
// Vessels and objects
OAPIFUNC OBJHANDLE oapiCreateVessel(const char *name, const char *classname, const VESSELSTATUS &status);
OAPIFUNC OBJHANDLE oapiCreateVesselEx(const char *name, const char *classname, const void *status);
OAPIFUNC bool oapiDeleteVessel(OBJHANDLE hVessel, OBJHANDLE hAlternativeCameraTarget = 0);
OAPIFUNC OBJHANDLE oapiGetVesselByName(char *name);
OAPIFUNC OBJHANDLE oapiGetVesselByIndex(int index);
OAPIFUNC DWORD oapiGetVesselCount();
OAPIFUNC VESSEL *oapiGetVesselInterface(OBJHANDLE hVessel);
OAPIFUNC VESSEL *oapiGetFocusInterface();
OAPIFUNC OBJHANDLE oapiGetFocusObject();
OAPIFUNC OBJHANDLE oapiSetFocusObject(OBJHANDLE hVessel);
OAPIFUNC OBJHANDLE oapiGetGbodyByName(char *name);
OAPIFUNC OBJHANDLE oapiGetObjectByName(char *name);
OAPIFUNC void oapiGetObjectName(OBJHANDLE hObj, char *name, int n);
OAPIFUNC double oapiGetMass(OBJHANDLE hObj);
OAPIFUNC double oapiGetSize(OBJHANDLE hObj);
OAPIFUNC void oapiGetGlobalPos(OBJHANDLE hObj, VECTOR3 *pos);
OAPIFUNC void oapiGetGlobalVel(OBJHANDLE hObj, VECTOR3 *vel);
OAPIFUNC void oapiGetRelativePos(OBJHANDLE hObj, OBJHANDLE hRef, VECTOR3 *pos);
OAPIFUNC void oapiGetRelativeVel(OBJHANDLE hObj, OBJHANDLE hRef, VECTOR3 *vel);
OAPIFUNC BOOL oapiGetEquPos(OBJHANDLE hVessel, double *longitude, double *latitude, double *radius);
OAPIFUNC BOOL oapiGetHeading(OBJHANDLE hVessel, double *heading);
OAPIFUNC BOOL oapiGetAltitude(OBJHANDLE hVessel, double *alt);
OAPIFUNC BOOL oapiGetAirspeed(OBJHANDLE hVessel, double *airspeed);

// Time and random numbers
OAPIFUNC double oapiGetSimTime();
OAPIFUNC double oapiGetSimStep();
OAPIFUNC double oapiGetSimMJD();
OAPIFUNC double oapiRand();

// Scenario files
OAPIFUNC bool oapiReadScenario_nextline(FILEHANDLE scn, char *&line);
OAPIFUNC void oapiWriteScenario_string(FILEHANDLE scn, char *item, char *string);
OAPIFUNC void oapiWriteScenario_int(FILEHANDLE scn, char *item, int i);
OAPIFUNC void oapiWriteScenario_float(FILEHANDLE scn, char *item, double d);
OAPIFUNC void oapiWriteScenario_vec(FILEHANDLE scn, char *item, const VECTOR3 &vec);
OAPIFUNC void oapiWriteLine(FILEHANDLE file, char *line);

// Log
OAPIFUNC void oapiWriteLog(char *line);

// Meshes and textures
OAPIFUNC MESHHANDLE oapiLoadMesh(const char *fname);
OAPIFUNC MESHHANDLE oapiLoadMeshGlobal(const char *fname);
OAPIFUNC void oapiDeleteMesh(MESHHANDLE hMesh);
OAPIFUNC DWORD oapiMeshGroupCount(MESHHANDLE hMesh);
OAPIFUNC MESHGROUP *oapiMeshGroup(MESHHANDLE hMesh, DWORD idx);
OAPIFUNC DWORD oapiMeshMaterialCount(MESHHANDLE hMesh);
OAPIFUNC MATERIAL *oapiMeshMaterial(MESHHANDLE hMesh, DWORD idx);
OAPIFUNC bool oapiSetMeshProperty(MESHHANDLE hMesh, DWORD property, DWORD value);
OAPIFUNC SURFHANDLE oapiLoadTexture(const char *fname, bool dynamic = false);
OAPIFUNC void oapiReleaseTexture(SURFHANDLE hTex);
OAPIFUNC SURFHANDLE oapiGetTextureHandle(MESHHANDLE hMesh, DWORD texidx);
OAPIFUNC void oapiBlt(SURFHANDLE tgt, SURFHANDLE src, int tgtx, int tgty, int srcx, int srcy, int w, int h,
                      DWORD ck = SURF_NO_CK);
OAPIFUNC SURFHANDLE oapiRegisterExhaustTexture(char *name);
OAPIFUNC SURFHANDLE oapiRegisterReentryTexture(char *name);

// Annotations
OAPIFUNC NOTEHANDLE oapiCreateAnnotation(bool exclusive, double size, const VECTOR3 &col);
OAPIFUNC bool oapiDelAnnotation(NOTEHANDLE hNote);
OAPIFUNC void oapiAnnotationSetPos(NOTEHANDLE hNote, double x1, double y1, double x2, double y2);
OAPIFUNC void oapiAnnotationSetSize(NOTEHANDLE hNote, double size);
OAPIFUNC void oapiAnnotationSetColour(NOTEHANDLE hNote, const VECTOR3 &col);
OAPIFUNC void oapiAnnotationSetText(NOTEHANDLE hNote, char *note);

// Aerodynamics helpers
OAPIFUNC double oapiGetInducedDrag(double cl, double A, double e);
OAPIFUNC double oapiGetWaveDrag(double M, double M1, double M2, double M3, double cmax);

// MFD modes
OAPIFUNC int oapiRegisterMFDMode(MFDMODESPEC &spec);
OAPIFUNC bool oapiUnregisterMFDMode(int mode);
