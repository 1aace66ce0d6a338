// VesselAPI.h -- the vessel interface classes VESSEL, VESSEL2 and VESSEL3 as the modules see them.
// VESSEL has no virtual functions (not even a destructor); VESSEL2 adds the callbacks and VESSEL3
// a few more after them, whose slot order below must never change. All methods are implemented by
// the host. A module's class derives from one of them; the host tells which by Version() (1 for
// VESSEL2, 2 for VESSEL3) and calls only the callbacks that generation has.
#pragma once
#if defined(__GNUC__)
#pragma GCC system_header  // the SDK's own signatures (e.g. const return values) are kept as they are
#endif

#include "OrbiterAPI.h"

class Vessel;  // the host's own vessel record

// A touchdown (collision) point with its suspension and friction.
typedef struct {
    VECTOR3 pos;       // point in the vessel frame [m]
    double stiffness;  // suspension stiffness [N/m]
    double damping;    // suspension damping [N s/m]
    double mu;         // isotropic/lateral friction coefficient
    double mu_lng;     // longitudinal friction coefficient (the first three points only)
} TOUCHDOWNVTX;

class OAPIFUNC VESSEL {
public:
    VESSEL(OBJHANDLE hVessel, int fmodel = 1);
    ~VESSEL();
    int Version() const { return version; }

    // Identity
    const OBJHANDLE GetHandle() const;
    char *GetName() const;
    char *GetClassName() const;
    int GetFlightModel() const;

    // Definition
    void SetSize(double size) const;
    double GetSize() const;
    void SetEmptyMass(double m) const;
    double GetEmptyMass() const;
    double GetMass() const;
    void SetCW(double cw_z_pos, double cw_z_neg, double cw_x, double cw_y) const;
    void SetWingAspect(double aspect) const;
    void SetWingEffectiveness(double eff) const;
    void SetRotDrag(const VECTOR3 &rd) const;
    void SetPitchMomentScale(double scale) const;
    void SetYawMomentScale(double scale) const;
    void SetBankMomentScale(double scale) const;
    void SetTrimScale(double scale) const;
    void SetPMI(const VECTOR3 &pmi) const;
    void GetPMI(VECTOR3 &pmi) const;
    void SetCrossSections(const VECTOR3 &cs) const;
    void GetCrossSections(VECTOR3 &cs) const;
    void SetCOG_elev(double h) const;
    void SetCameraOffset(const VECTOR3 &co) const;
    void GetCameraOffset(VECTOR3 &co) const;
    void SetCameraDefaultDirection(const VECTOR3 &cd) const;
    void SetCameraRotationRange(double left, double right, double up, double down) const;
    void SetCameraShiftRange(const VECTOR3 &fpos, const VECTOR3 &lpos, const VECTOR3 &rpos) const;
    void SetLiftCoeffFunc(LiftCoeffFunc lcf) const;
    void SetTouchdownPoints(const VECTOR3 &pt1, const VECTOR3 &pt2, const VECTOR3 &pt3) const;
    void SetTouchdownPoints(const TOUCHDOWNVTX *tdvtx, DWORD ntdvtx) const;
    void SetDockParams(const VECTOR3 &pos, const VECTOR3 &dir, const VECTOR3 &rot) const;
    void ClearVariableDragElements() const;
    bool SetGravityGradientDamping(double damp) const;
    void SetSurfaceFrictionCoeff(double mu_lng, double mu_lat) const;
    void SetADCtrlMode(DWORD mode) const;
    DWORD GetADCtrlMode() const;
    bool SetAttitudeMode(int mode) const;
    int GetAttitudeMode() const;
    void AddBeacon(BEACONLIGHTSPEC *bs);
    bool DelBeacon(BEACONLIGHTSPEC *bs);

    // Propellant and thrusters
    PROPELLANT_HANDLE CreatePropellantResource(double maxmass, double mass = -1.0, double efficiency = 1.0) const;
    double GetPropellantMass(PROPELLANT_HANDLE ph) const;
    double GetPropellantMaxMass(PROPELLANT_HANDLE ph) const;
    void SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const;
    double GetTotalPropellantMass() const;
    THRUSTER_HANDLE CreateThruster(const VECTOR3 &pos, const VECTOR3 &dir, double maxth0, PROPELLANT_HANDLE hp = NULL,
                                   double isp0 = 0.0, double isp_ref = 0.0, double p_ref = 101.4e3) const;
    bool DelThruster(THRUSTER_HANDLE &th) const;
    DWORD GetThrusterCount() const;
    THGROUP_HANDLE CreateThrusterGroup(THRUSTER_HANDLE *th, int nth, THGROUP_TYPE thgt) const;
    double GetThrusterGroupLevel(THGROUP_HANDLE thg) const;
    double GetThrusterGroupLevel(THGROUP_TYPE thgt) const;
    void SetThrusterGroupLevel(THGROUP_HANDLE thg, double level) const;
    void SetThrusterGroupLevel(THGROUP_TYPE thgt, double level) const;
    void SetThrusterLevel(THRUSTER_HANDLE th, double level) const;
    double GetThrusterLevel(THRUSTER_HANDLE th) const;
    void SetThrusterMax0(THRUSTER_HANDLE th, double maxth0) const;
    double GetThrusterMax0(THRUSTER_HANDLE th) const;
    UINT AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, SURFHANDLE tex = 0) const;
    PSTREAM_HANDLE AddExhaustStream(THRUSTER_HANDLE th, PARTICLESTREAMSPEC *pss = 0) const;
    PSTREAM_HANDLE AddExhaustStream(THRUSTER_HANDLE th, const VECTOR3 &pos, PARTICLESTREAMSPEC *pss = 0) const;
    PSTREAM_HANDLE AddReentryStream(PARTICLESTREAMSPEC *pss) const;

    // Meshes and animations
    UINT AddMesh(const char *meshname, const VECTOR3 *ofs = 0) const;
    UINT AddMesh(MESHHANDLE hMesh, const VECTOR3 *ofs = 0) const;
    bool DelMesh(UINT idx, bool retain_anim = false) const;
    void SetMeshVisibilityMode(UINT idx, WORD mode) const;
    UINT GetMeshCount() const;
    MESHHANDLE GetMesh(VISHANDLE vis, UINT idx) const;
    UINT CreateAnimation(double initial_state) const;
    ANIMATIONCOMPONENT_HANDLE AddAnimationComponent(UINT anim, double state0, double state1, MGROUP_TRANSFORM *trans,
                                                    ANIMATIONCOMPONENT_HANDLE parent = NULL) const;
    bool SetAnimation(UINT anim, double state) const;
    double GetAnimation(UINT anim) const;

    // State
    void GetStatus(VESSELSTATUS &status) const;
    void GetStatusEx(void *status) const;
    void DefSetState(const VESSELSTATUS *status) const;
    void DefSetStateEx(const void *status) const;
    void ParseScenarioLineEx(char *line, void *status) const;
    void GlobalRot(const VECTOR3 &rloc, VECTOR3 &rglob) const;
    void HorizonRot(const VECTOR3 &rloc, VECTOR3 &rhorizon) const;
    void Local2Global(const VECTOR3 &local, VECTOR3 &global) const;
    void Global2Local(const VECTOR3 &global, VECTOR3 &local) const;
    void Local2Rel(const VECTOR3 &local, VECTOR3 &rel) const;
    void GetGlobalPos(VECTOR3 &pos) const;
    void GetGlobalVel(VECTOR3 &vel) const;
    void GetRelativePos(OBJHANDLE hRef, VECTOR3 &pos) const;
    void GetRelativeVel(OBJHANDLE hRef, VECTOR3 &vel) const;
    void GetRotationMatrix(MATRIX3 &R) const;
    bool GetElements(OBJHANDLE hRef, ELEMENTS &el, ORBITPARAM *prm = 0, double mjd_ref = 0,
                     int frame = FRAME_ECL) const;
    const OBJHANDLE GetGravityRef() const;
    const OBJHANDLE GetSurfaceRef() const;
    double GetAltitude() const;
    DWORD GetFlightStatus() const;
    OBJHANDLE GetEquPos(double &longitude, double &latitude, double &radius) const;
    double GetAirspeed() const;
    double GetGroundspeed() const;
    bool GetShipAirspeedVector(VECTOR3 &v) const;
    bool GetHorizonAirspeedVector(VECTOR3 &v) const;
    double GetAtmDensity() const;
    double GetAtmPressure() const;
    double GetAtmTemperature() const;
    double GetMachNumber() const;
    double GetDynPressure() const;
    double GetAOA() const;
    double GetSlipAngle() const;
    double GetBank() const;
    double GetPitch() const;
    double GetYaw() const;
    void GetAngularVel(VECTOR3 &avel) const;
    void SetAngularVel(const VECTOR3 &avel) const;

    // Attachments
    ATTACHMENTHANDLE CreateAttachment(bool toparent, const VECTOR3 &pos, const VECTOR3 &dir, const VECTOR3 &rot,
                                      const char *id, bool loose = false) const;
    bool DelAttachment(ATTACHMENTHANDLE attachment) const;
    void SetAttachmentParams(ATTACHMENTHANDLE attachment, const VECTOR3 &pos, const VECTOR3 &dir,
                             const VECTOR3 &rot) const;
    void GetAttachmentParams(ATTACHMENTHANDLE attachment, VECTOR3 &pos, VECTOR3 &dir, VECTOR3 &rot) const;
    const char *GetAttachmentId(ATTACHMENTHANDLE attachment) const;
    OBJHANDLE GetAttachmentStatus(ATTACHMENTHANDLE attachment) const;
    DWORD AttachmentCount(bool toparent) const;
    ATTACHMENTHANDLE GetAttachmentHandle(bool toparent, DWORD i) const;
    bool AttachChild(OBJHANDLE child, ATTACHMENTHANDLE attachment, ATTACHMENTHANDLE child_attachment) const;
    bool DetachChild(ATTACHMENTHANDLE attachment, double vel = 0.0) const;

    // Aerodynamics
    AIRFOILHANDLE CreateAirfoil3(AIRFOIL_ORIENTATION align, const VECTOR3 &ref, AirfoilCoeffFuncEx cf, void *context,
                                 double c, double S, double A) const;
    bool DelAirfoil(AIRFOILHANDLE hAirfoil) const;
    void ClearAirfoilDefinitions() const;
    void CreateControlSurface(AIRCTRL_TYPE type, double area, double dCl, const VECTOR3 &ref,
                              int axis = AIRCTRL_AXIS_AUTO, UINT anim = (UINT)-1) const;
    CTRLSURFHANDLE CreateControlSurface3(AIRCTRL_TYPE type, double area, double dCl, const VECTOR3 &ref,
                                         int axis = AIRCTRL_AXIS_AUTO, double delay = 1.0,
                                         UINT anim = (UINT)-1) const;
    void ClearControlSurfaceDefinitions() const;
    void SetControlSurfaceLevel(AIRCTRL_TYPE type, double level) const;
    double GetControlSurfaceLevel(AIRCTRL_TYPE type) const;

protected:
    Vessel *vessel;
    short flightmodel;
    short version;
};

class OAPIFUNC VESSEL2 : public VESSEL {
public:
    VESSEL2(OBJHANDLE hVessel, int fmodel = 1);

    // Callback slots, in this order
    virtual void clbkSetClassCaps(FILEHANDLE cfg);                                  // 0
    virtual void clbkSaveState(FILEHANDLE scn);                                     // 1
    virtual void clbkLoadStateEx(FILEHANDLE scn, void *status);                     // 2
    virtual void clbkSetStateEx(const void *status);                                // 3
    virtual void clbkPostCreation();                                                // 4
    virtual void clbkFocusChanged(bool getfocus, OBJHANDLE hNewVessel, OBJHANDLE hOldVessel);  // 5
    virtual void clbkPreStep(double simt, double simdt, double mjd);                // 6
    virtual void clbkPostStep(double simt, double simdt, double mjd);               // 7
    virtual bool clbkPlaybackEvent(double simt, double event_t, const char *event_type, const char *event);  // 8
    virtual void clbkVisualCreated(VISHANDLE vis, int refcount);                    // 9
    virtual void clbkVisualDestroyed(VISHANDLE vis, int refcount);                  // 10
    virtual void clbkDrawHUD(int mode, const HUDPAINTSPEC *hps, HDC hDC);           // 11
    virtual void clbkRCSMode(int mode);                                             // 12
    virtual void clbkADCtrlMode(DWORD mode);                                        // 13
    virtual void clbkHUDMode(int mode);                                             // 14
    virtual void clbkMFDMode(int mfd, int mode);                                    // 15
    virtual void clbkNavMode(int mode, bool active);                                // 16
    virtual void clbkDockEvent(int dock, OBJHANDLE mate);                           // 17
    virtual void clbkAnimate(double simt);                                          // 18
    virtual int clbkConsumeDirectKey(char *kstate);                                 // 19
    virtual int clbkConsumeBufferedKey(DWORD key, bool down, char *kstate);         // 20
    virtual bool clbkLoadGenericCockpit();                                          // 21
    virtual bool clbkLoadPanel(int id);                                             // 22
    virtual bool clbkPanelMouseEvent(int id, int event, int mx, int my);            // 23
    virtual bool clbkPanelRedrawEvent(int id, int event, SURFHANDLE surf);          // 24
    virtual bool clbkLoadVC(int id);                                                // 25
    virtual bool clbkVCMouseEvent(int id, int event, VECTOR3 &p);                   // 26
    virtual bool clbkVCRedrawEvent(int id, int event, SURFHANDLE surf);             // 27
};

// The third generation: its callbacks follow VESSEL2's (its panel-definition methods, which the
// modules do not use, are left out). clbkDrawHUD here draws on a sketchpad and returns whether it
// drew; the default draws the host's standard display and returns true.
class OAPIFUNC VESSEL3 : public VESSEL2 {
public:
    VESSEL3(OBJHANDLE hVessel, int fmodel = 1);

    // Callback slots, in this order, after those of VESSEL2
    virtual bool clbkPanelMouseEvent(int id, int event, int mx, int my, void *context);   // 28
    virtual bool clbkPanelRedrawEvent(int id, int event, SURFHANDLE surf, void *context);  // 29
    virtual int clbkGeneric(int msgid = 0, int prm = 0, void *context = NULL);            // 30
    virtual bool clbkLoadPanel2D(int id, PANELHANDLE hPanel, DWORD viewW, DWORD viewH);     // 31
    virtual bool clbkDrawHUD(int mode, const HUDPAINTSPEC *hps, oapi::Sketchpad *skp);      // 32
    virtual void clbkRenderHUD(int mode, const HUDPAINTSPEC *hps, SURFHANDLE hDefaultTex);  // 33
    virtual void clbkGetRadiationForce(const VECTOR3 &mflux, VECTOR3 &F, VECTOR3 &pos);     // 34
};
