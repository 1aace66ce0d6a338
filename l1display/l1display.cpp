// CorvaneMFD4 -- the "Corvane L1 Display" MFD mode: where the focus spacecraft is relative to the
// Sun-Earth L1 point. Every frame the module locates L1 and works out readouts for the focus
// vessel; every 2 days of simulated date it samples the vessel's position in a frame turning with
// the Sun-barycentre line. Any open display of the mode plots that track in one of three
// projections or shows the readouts; a display owns only its page and zoom choice. A page is drawn
// once, on an MfdSurface: the device context upstream, the sketchpad in the simulator's Linux port.
#define ORBITER_MODULE
#include "Orbitersdk.h"

#include "host_names.h"
#include "l1_point.h"
#include "mfd_surface.h"
#include "scenario_keyword.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

using corvane::MfdSurface;

// ---------------------------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------------------------
namespace {

char kModeName[] = "Corvane L1 Display";
const DWORD kModeKey = OAPI_KEY_P;  // picks the mode in the host's mode list
const char kTitle[] = "          Corvane L1 Display";
const char kBlockEnd[] = "END_MFD";  // the line that closes the display's block in a scenario

// Bodies looked up every frame, in this order.
enum BodyIndex { EARTH, MOON, SUN, BODY_COUNT };
char kBodyName[BODY_COUNT][8] = {"Earth", "Moon", "Sun"};

const double GRAV_CONSTANT = 6.67259e-11;       // [m^3 kg^-1 s^-2]
const double kDegPerRad = 57.29577951308239;    // [deg/rad]
const double kKmPerMetre = 0.001;               // [km/m]
const double SAMPLE_INTERVAL = 2.0;             // between track samples [days]
const int TRACK_SIZE = 720;                     // track slots

// Buttons: label, menu line, key sent to ConsumeKeyBuffered.
const int kButtonCount = 3;
char kButtonLabel[kButtonCount][4] = {"VW", "ZM+", "ZM-"};
const MFDBUTTONMENU kButtonMenu[kButtonCount] = {
    {"Select View", nullptr, 'V'},
    {"Zoom In", nullptr, 'B'},
    {"Zoom Out", nullptr, 'N'},
};
const DWORD kButtonKey[kButtonCount] = {OAPI_KEY_V, OAPI_KEY_B, OAPI_KEY_N};

// Pages of a display.
enum Page { PAGE_ECLIPTIC_PROJECTION, PAGE_ECLIPTIC_PLANE, PAGE_SUN_LINE, PAGE_READOUTS, PAGE_COUNT };
const int kZoomCount = 5;
const int kDefaultPage = 0;
const int kDefaultZoom = 2;

// Scale table: half the display width stands for 1/plotScale km.
struct ScaleEntry {
    double plotScale;  // [1/km]
    const char *label;
};
const ScaleEntry kScaleTable[kZoomCount] = {
    {1e-4, "km x 1e+04"}, {1e-5, "km x 1e+05"}, {1e-6, "km x 1e+06"},
    {1e-7, "km x 1e+07"}, {1e-8, "km x 1e+08"},
};

// Pens (solid, 1 pixel) and text colours.
const COLORREF kAxisPen = RGB(136, 136, 136);
const COLORREF kGridPen = RGB(119, 119, 85);
const COLORREF kTrackPen = RGB(51, 255, 51);
const COLORREF kGreen = RGB(51, 255, 51);
const COLORREF kYellow = RGB(255, 255, 51);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kLightBlue = RGB(136, 136, 255);

// Host default fonts.
const DWORD kFontSmall = 0;
const DWORD kFontNormal = 1;
const DWORD kFontVertical = 2;  // labels along the left edge

// ---------------------------------------------------------------------------------------------
// Module-wide state
// ---------------------------------------------------------------------------------------------
// The track lives in fixed storage: nothing to allocate, nothing that can fail.
struct L1Track {
    float trackX[TRACK_SIZE];  // [km]
    float trackY[TRACK_SIZE];  // [km]
    float trackZ[TRACK_SIZE];  // [km]
    int sampleCount;           // samples shown; index of the next sample
    double nextSampleMjd;      // date of the next sample [MJD]
    double earthDistanceKm;    // Earth-L1 distance at the latest sample [km]
};

struct L1Readouts {
    VECTOR3 relPos;    // L1 relative to the spacecraft, vessel frame [m]
    VECTOR3 relVel;    // L1 velocity relative to the spacecraft, vessel frame [m/s]
    double distance;   // |relPos| [m]
    double sepAngle;   // Sun-Earth-spacecraft angle [deg]
    double c3;         // characteristic energy about the Earth [m^2/s^2]
    VECTOR3 prevL1;    // L1 of the previous frame, global [m]
    double prevSimt;   // simulation time of the previous frame [s]
    bool havePrevL1;   // prevL1/prevSimt hold a frame of this module's life
};

int modeId = 0;
L1Track track;
L1Readouts readouts;
double plotScale = 1e-6;  // [1/km]
int savedPage = kDefaultPage;
int savedZoom = kDefaultZoom;

// ---------------------------------------------------------------------------------------------
// Screen arithmetic: the display sizes are unsigned 32-bit; coordinates go to GDI as int.
// ---------------------------------------------------------------------------------------------
// An integer screen expression, formed in signed 64-bit so that a small display cannot wrap.
inline int Px(long long v) { return (int)v; }
// A floating-point screen expression, truncated toward zero. A point beyond the int range (a sample
// very far from L1 at a close scale) is held at the end of the range on its own side; the
// conversion alone would be undefined and in practice lands on the far left. Not-a-number goes
// there too.
inline int Pxf(double v)
{
    if (v >= 2147483648.0) return INT_MAX;
    if (!(v > -2147483649.0)) return INT_MIN;
    return (int)v;
}

// The pens of a page (their numbers on the surface).
struct PagePens {
    int axis, grid, track;
};

// What ButtonLabel returns: char * in the upstream SDK, const char * in the Linux port.
using ButtonLabelText = decltype(std::declval<MFD &>().ButtonLabel(0));

}  // namespace

// ---------------------------------------------------------------------------------------------
// The instrument
// ---------------------------------------------------------------------------------------------
class L1DisplayMfd final : public GraphMFD {
public:
    L1DisplayMfd(DWORD w, DWORD h, VESSEL *vessel) : GraphMFD(w, h, vessel) {}
    ~L1DisplayMfd() override {}

#if defined(CORVANE_HOST_PORT)
    bool Update(oapi::Sketchpad *skp) override;
#else
    void Update(HDC hDC) override;
#endif
    bool ConsumeKeyBuffered(DWORD key) override;
    bool ConsumeButton(int bt, int event) override;
    ButtonLabelText ButtonLabel(int bt) override;
    int ButtonMenu(const MFDBUTTONMENU **menu) const override;
    void WriteStatus(FILEHANDLE scn) const override;
    void ReadStatus(FILEHANDLE scn) override;
    void StoreStatus() const override;
    void RecallStatus() override;

private:
    void Draw(MfdSurface &s);  // the display, whichever interface Update got
    void Font(MfdSurface &s, DWORD index) const;  // one of the host's default fonts
    void DrawPlotPage(MfdSurface &s, const PagePens &pens);
    void DrawSunLinePage(MfdSurface &s, const PagePens &pens);
    void DrawTrack(MfdSurface &s, int pg, double sx, double sy);
    void DrawReadoutPage(MfdSurface &s);

    int page = kDefaultPage;
    int zoom = kDefaultZoom;
};

namespace {

// A signed readout: negative values carry their own minus sign, everything else gets a "+".
// A negative zero is shown as +0.0 rather than "+-0.0".
void SignedValue(char *buf, size_t n, double value, double scale, const char *negFmt, const char *posFmt)
{
    if (value < 0) {
        std::snprintf(buf, n, negFmt, value * scale);
    } else {
        double shown = value * scale;
        if (shown == 0) shown = 0.0;
        std::snprintf(buf, n, posFmt, shown);
    }
}

}  // namespace

// The host's drawing interface: a device context upstream, a sketchpad in the Linux port.
#if defined(CORVANE_HOST_PORT)
bool L1DisplayMfd::Update(oapi::Sketchpad *skp)
{
    if (!skp) return false;
    MfdSurface s(skp);
    Draw(s);
    return true;
}

void L1DisplayMfd::Font(MfdSurface &s, DWORD index) const { s.target()->SetFont(GetDefaultFont(index)); }
#else
void L1DisplayMfd::Update(HDC hDC)
{
    MfdSurface s(hDC);
    Draw(s);
}

void L1DisplayMfd::Font(MfdSurface &s, DWORD index) const { SelectDefaultFont(s.target(), index); }
#endif

// The title, the scale of a plot page and the page; the surface puts the host's pen back and
// deletes the page's pens when Update ends.
void L1DisplayMfd::Draw(MfdSurface &s)
{
    Font(s, kFontNormal);
    Title(s.target(), kTitle);
    Font(s, kFontSmall);

    const PagePens pens = {s.MakePen(kAxisPen), s.MakePen(kGridPen), s.MakePen(kTrackPen)};

    if (page < PAGE_READOUTS && zoom >= 0 && zoom < kZoomCount) {
        plotScale = kScaleTable[zoom].plotScale;
        s.Text(Pxf(W / 2 - 5.1 * cw), Pxf(H - 2.2 * ch), kScaleTable[zoom].label);
    }
    Font(s, kFontNormal);

    switch (page) {
    case PAGE_ECLIPTIC_PROJECTION:
    case PAGE_ECLIPTIC_PLANE: DrawPlotPage(s, pens); break;
    case PAGE_SUN_LINE: DrawSunLinePage(s, pens); break;
    case PAGE_READOUTS: DrawReadoutPage(s); break;
    default: break;
    }
}

// Pages 0 and 1: L1 at (W/4, H/2), the Sun off the left edge, the "+1" line at 3W/4.
void L1DisplayMfd::DrawPlotPage(MfdSurface &s, const PagePens &pens)
{
    const long long w = W, h = H, cW = cw, cH = ch;
    const bool projection = page == PAGE_ECLIPTIC_PROJECTION;

    Font(s, kFontVertical);
    s.Text(0, Pxf(1.5 * cw), "+1");
    s.Text(0, Px(h / 2 + cW), "0");
    Font(s, kFontNormal);
    s.Text(Pxf(3 * W / 4 - 1.2 * cw), Px(h - cH), "+1");
    s.Text(Px(w / 4 - cW), Px(h - cH), "0");
    s.TextColour(kGreen);
    s.Text(Px(w - 14 * cW), 0, projection ? "(X-Z) Ecliptic Projection" : "(X-Y) Ecliptic Plane View");
    s.Text(Px(w - 5 * cW), Px(h - cH), "+X");
    Font(s, kFontVertical);
    s.Text(0, Px(6 * cW), projection ? "+Z" : "+Y");
    Font(s, kFontNormal);
    s.TextColour(kYellow);
    s.Text(Px(w / 4), Px(h / 2 - cH), "L1");
    s.Text(0, Px(h / 2 - cH), "<-Sun");

    s.UsePen(pens.axis);
    s.Line(0, Px(h / 2), Px(w), Px(h / 2));
    s.Line(Px(w / 4), 0, Px(w / 4), Px(h));
    s.Line(Px(3 * w / 4), 0, Px(3 * w / 4), Px(h));

    s.UsePen(pens.grid);
    static const int kGridX[] = {1, 2, 3, 4, 6, 7};
    s.Line(Px(w / 20), 0, Px(w / 20), Px(h));
    s.Line(Px(3 * w / 20), 0, Px(3 * w / 20), Px(h));
    for (int k : kGridX) s.Line(Px(w / 4 + k * w / 10), 0, Px(w / 4 + k * w / 10), Px(h));
    static const int kGridY[] = {1, 2, 3, 4, 6, 7, 8, 9};
    for (int k : kGridY) s.Line(0, Px(k * h / 10), Px(w), Px(k * h / 10));

    s.UsePen(pens.track);
    DrawTrack(s, page, (W / 2) * plotScale, (H / 2) * plotScale);
}

// Page 2: looking along the line from L1 to the Sun, L1 at the centre.
void L1DisplayMfd::DrawSunLinePage(MfdSurface &s, const PagePens &pens)
{
    const long long w = W, h = H, cW = cw, cH = ch;

    Font(s, kFontVertical);
    s.Text(0, Pxf(1.5 * cw), "+1");
    s.Text(0, Px(h / 2 + cW), "0");
    Font(s, kFontNormal);
    s.Text(Pxf(W - 1.2 * cw), Px(h - cH), "+1");
    s.Text(Px(w / 2 - cW), Px(h - cH), "0");
    s.TextColour(kGreen);
    s.Text(Px(w - 14 * cW), 0, "(Z-Y) L1-Sun Line View");
    s.Text(Px(w - 5 * cW), Px(h - cH), "+Z");
    Font(s, kFontVertical);
    s.Text(0, Px(6 * cW), "+Y");
    Font(s, kFontNormal);
    s.TextColour(kYellow);
    s.Text(Px(w / 2), Px(h / 2 - cH), "L1");

    s.UsePen(pens.axis);
    s.Line(0, Px(h / 2), Px(w), Px(h / 2));
    s.Line(Px(w / 2), 0, Px(w / 2), Px(h));

    s.UsePen(pens.grid);
    static const int kGrid[] = {1, 2, 3, 4, 6, 7, 8, 9};
    for (int k : kGrid) s.Line(Px(k * w / 10), 0, Px(k * w / 10), Px(h));
    for (int k : kGrid) s.Line(0, Px(k * h / 10), Px(w), Px(k * h / 10));

    s.UsePen(pens.track);
    DrawTrack(s, page, (W / 2) * plotScale, (H / 2) * plotScale);
}

// The polyline through samples 0..sampleCount-1 (the first segment of zero length), the "+" on the
// newest sample and, on pages 0 and 1, the Earth "o" at its distance from L1 along X.
void L1DisplayMfd::DrawTrack(MfdSurface &s, int pg, double sx, double sy)
{
    const int n = track.sampleCount;
    if (n <= 0) return;

    // Origin and the track coordinates drawn across and up.
    const double x0 = pg == PAGE_SUN_LINE ? W / 2 : W / 4;
    const double y0 = H / 2;
    const float *across = pg == PAGE_SUN_LINE ? track.trackZ : track.trackX;
    const float *up = pg == PAGE_ECLIPTIC_PROJECTION ? track.trackZ : track.trackY;

    s.MoveTo(Pxf(x0 + across[0] * sx), Pxf(y0 - up[0] * sy));
    for (int i = 0; i < n; ++i) s.LineTo(Pxf(x0 + across[i] * sx), Pxf(y0 - up[i] * sy));

    const double xn = x0 + across[n - 1] * sx, yn = y0 - up[n - 1] * sy;
    s.TextColour(kWhite);
    s.Text(Pxf(xn - (double)(cw / 3)), Pxf(yn - (double)(ch / 2)), "+");
    if (pg != PAGE_SUN_LINE) {
        s.TextColour(kLightBlue);
        s.Text(Pxf(x0 + track.earthDistanceKm * sx - (double)(cw / 2)), Px((long long)(H / 2) - (long long)(ch / 2)),
               "o");
    }
}

// Page 3: the readouts, all with font 0.
void L1DisplayMfd::DrawReadoutPage(MfdSurface &s)
{
    Font(s, kFontSmall);
    const double c = cw, r = ch;

    struct Label {
        const char *text;
        double col, row;  // [characters]
    };
    static const Label kLabels[] = {
        {"L1 Relative to Spacecraft", 0.5, 2}, {"(vessel frame of reference)", 0, 3},
        {"Pos", 0.5, 5},                        {"Vel", 20, 5},
        {"Distance", 0.5, 10},                  {"Spacecraft C3 Energy", 0.5, 13},
        {"Relative to Earth", 0.5, 14},         {"Sun-Earth-Spacecraft Angle", 0.5, 17},
    };
    s.TextColour(kGreen);
    for (const Label &l : kLabels) s.Text(Pxf(l.col * c), Pxf(l.row * r), l.text);

    s.TextColour(kYellow);
    char buf[384];  // any double in these formats: up to 309 integer digits, sign, decimals, unit
    const VECTOR3 &p = readouts.relPos, &v = readouts.relVel;
    SignedValue(buf, sizeof buf, p.x, kKmPerMetre, "X %0.1f km", "X +%0.1f km");
    s.Text(Pxf(0.5 * c), Pxf(6 * r), buf);
    SignedValue(buf, sizeof buf, p.y, kKmPerMetre, "Y %0.1f km", "Y +%0.1f km");
    s.Text(Pxf(0.5 * c), Pxf(7 * r), buf);
    SignedValue(buf, sizeof buf, p.z, kKmPerMetre, "Z %0.1f km", "Z +%0.1f km");
    s.Text(Pxf(0.5 * c), Pxf(8 * r), buf);
    SignedValue(buf, sizeof buf, v.x, 1.0, "X %0.2f m/s", "X +%0.2f m/s");
    s.Text(Pxf(20 * c), Pxf(6 * r), buf);
    SignedValue(buf, sizeof buf, v.y, 1.0, "Y %0.2f m/s", "Y +%0.2f m/s");
    s.Text(Pxf(20 * c), Pxf(7 * r), buf);
    SignedValue(buf, sizeof buf, v.z, 1.0, "Z %0.2f m/s", "Z +%0.2f m/s");
    s.Text(Pxf(20 * c), Pxf(8 * r), buf);
    std::snprintf(buf, sizeof buf, "%0.1f km", readouts.distance * kKmPerMetre);
    s.Text(Pxf(0.5 * c), Pxf(11 * r), buf);
    std::snprintf(buf, sizeof buf, "%0.2f km^2/s^2", readouts.c3 * 1e-6);
    s.Text(Pxf(0.5 * c), Pxf(15 * r), buf);
    std::snprintf(buf, sizeof buf, "%0.1f deg", readouts.sepAngle);
    s.Text(Pxf(0.5 * c), Pxf(18 * r), buf);
}

bool L1DisplayMfd::ConsumeKeyBuffered(DWORD key)
{
    switch (key) {
    case OAPI_KEY_V:  // next page; the remainder truncates toward zero like the host's own
        page = (int)(((long long)page + 1) % PAGE_COUNT);
        return true;
    case OAPI_KEY_B:  // zoom in, from the closest scale round to the widest
        if (zoom > INT_MIN) --zoom;
        if (zoom == -1) zoom = kZoomCount - 1;
        return true;
    case OAPI_KEY_N:  // zoom out, from the widest scale round to the closest
        if (zoom < INT_MAX) ++zoom;
        if (zoom == kZoomCount) zoom = 0;
        return true;
    case OAPI_KEY_T: return true;
    default: return false;
    }
}

bool L1DisplayMfd::ConsumeButton(int bt, int event)
{
    if (!(event & PANEL_MOUSE_LBDOWN) || bt < 0 || bt >= kButtonCount) return false;
    return ConsumeKeyBuffered(kButtonKey[bt]);
}

ButtonLabelText L1DisplayMfd::ButtonLabel(int bt)
{
    return bt >= 0 && bt < kButtonCount ? kButtonLabel[bt] : nullptr;
}

int L1DisplayMfd::ButtonMenu(const MFDBUTTONMENU **menu) const
{
    if (menu) *menu = kButtonMenu;
    return kButtonCount;
}

void L1DisplayMfd::WriteStatus(FILEHANDLE scn) const
{
    char pageItem[] = "PAGE", zoomItem[] = "ZOOM";
    oapiWriteScenario_int(scn, pageItem, page);
    oapiWriteScenario_int(scn, zoomItem, zoom);
}

// Values are taken as read; a line without an integer after its keyword changes nothing. The host
// hands over the scenario file itself and its line reader stops only at a line END, so the display
// stops at the end of its own block, compared as the host's own displays compare it (Mfd.cpp: the
// first 7 characters of the trimmed line, case ignored); otherwise it would read the next
// display's PAGE and ZOOM lines as its own.
void L1DisplayMfd::ReadStatus(FILEHANDLE scn)
{
    char *line;
    while (oapiReadScenario_nextline(scn, line)) {
        if (corvane::MatchKeyword(line, kBlockEnd)) break;
        if (const char *rest = corvane::MatchKeyword(line, "PAGE")) {
            std::sscanf(rest, "%d", &page);
        } else if (const char *rest2 = corvane::MatchKeyword(line, "ZOOM")) {
            std::sscanf(rest2, "%d", &zoom);
        }
    }
}

void L1DisplayMfd::StoreStatus() const
{
    savedPage = page;
    savedZoom = zoom;
}

void L1DisplayMfd::RecallStatus()
{
    page = savedPage;
    zoom = savedZoom;
}

// ---------------------------------------------------------------------------------------------
// The per-frame step: L1, readouts and the track
// ---------------------------------------------------------------------------------------------
namespace {

// Readouts for the focus vessel from this frame's L1 point.
void UpdateReadouts(VESSEL *vessel, const L1Point &l1, OBJHANDLE hEarth, OBJHANDLE hSun, double mE,
                    double simt, const VECTOR3 &pV, const VECTOR3 &vV)
{
    L1Readouts &r = readouts;
    r.distance = length(r.relPos);

    // The first frame of the module's life has no earlier L1 position, and a frame at the same
    // simulation time has no elapsed time: both keep the previous velocity.
    if (r.havePrevL1 && simt != r.prevSimt) {
        const VECTOR3 vL1 = (l1.L1 - r.prevL1) / (simt - r.prevSimt);
        vessel->Global2Local(pV + (vL1 - vV), r.relVel);
    }
    r.prevL1 = l1.L1;
    r.prevSimt = simt;
    r.havePrevL1 = true;

    const OBJHANDLE hVessel = vessel->GetHandle();
    VECTOR3 s, c;
    oapiGetRelativePos(hSun, hEarth, &s);
    oapiGetRelativePos(hVessel, hEarth, &c);
    // Rounding can take the cosine of an exactly aligned spacecraft just past 1 or -1, which
    // would show as not-a-number instead of 0 or 180 degrees.
    double cosSep = dotp(s, c) / (length(c) * length(s));
    if (cosSep > 1.0) cosSep = 1.0;
    if (cosSep < -1.0) cosSep = -1.0;
    r.sepAngle = std::acos(cosSep) * kDegPerRad;

    ELEMENTS el = {};
    vessel->GetElements(hEarth, el, nullptr, 0.0, 0);
    r.c3 = -(mE * GRAV_CONSTANT) / el.a;
}

// One track sample in the frame turning with the Sun-barycentre line, when one is due.
void SampleTrack(const L1Point &l1, const VECTOR3 &pE, const VECTOR3 &pV, double mjd)
{
    L1Track &t = track;
    if (!(mjd >= t.nextSampleMjd)) return;  // a date that is not a number is never due

    const double theta = std::atan2(l1.v.z, l1.v.x);
    const double c = std::cos(theta), s = std::sin(theta);
    const VECTOR3 d = pV - l1.L1;
    t.trackX[t.sampleCount] = (float)((d.x * c + d.z * s) * kKmPerMetre);
    t.trackY[t.sampleCount] = (float)(d.y * kKmPerMetre);
    t.trackZ[t.sampleCount] = (float)((d.z * c - d.x * s) * kKmPerMetre);
    t.earthDistanceKm = length(pE - l1.L1) * kKmPerMetre;
    t.sampleCount = (t.sampleCount + 1) % TRACK_SIZE;
    t.nextSampleMjd = mjd + SAMPLE_INTERVAL;
}

void ResetModuleState()
{
    std::memset(track.trackX, 0, sizeof track.trackX);
    std::memset(track.trackY, 0, sizeof track.trackY);
    std::memset(track.trackZ, 0, sizeof track.trackZ);
    track.sampleCount = 0;
    track.nextSampleMjd = 0.0;
    track.earthDistanceKm = 0.0;
    readouts = L1Readouts();
    plotScale = kScaleTable[kDefaultZoom].plotScale;
    savedPage = kDefaultPage;
    savedZoom = kDefaultZoom;
}

#if defined(CORVANE_HOST_PORT)
// The Linux port opens a display with OAPI_MSG_MFD_OPENEDEX, the size in the open spec and the
// vessel passed as it is; the result is a pointer (OAPI_MSGTYPE, void *).
OAPI_MSGTYPE MsgProc(MFD_msg msg, MfdId /*mfd*/, MFDMODEOPENSPEC *spec, VESSEL *vessel)
{
    if (msg != OAPI_MSG_MFD_OPENEDEX || !spec) return nullptr;
    return new L1DisplayMfd(spec->w, spec->h, vessel);
}
#else
// The message procedure returns what the host's mode record declares: int in the 32-bit hosts of
// the first open-source generation, a pointer-sized integer (OAPI_MSGTYPE) in later ones. Taking the
// type from the record compiles against either without naming a type one of them lacks.
using MsgResult = decltype(std::declval<MFDMODESPEC &>().msgproc(0, 0, 0, 0));

MsgResult MsgProc(UINT msg, UINT /*mfd*/, WPARAM wparam, LPARAM lparam)
{
    if (msg != OAPI_MSG_MFD_OPENED) return 0;
    const DWORD w = (DWORD)(wparam & 0xFFFF), h = (DWORD)((wparam >> 16) & 0xFFFF);
    L1DisplayMfd *mfd = new L1DisplayMfd(w, h, reinterpret_cast<VESSEL *>(lparam));
    return reinterpret_cast<MsgResult>(mfd);
}
#endif

}  // namespace

// ---------------------------------------------------------------------------------------------
// Entry points
// ---------------------------------------------------------------------------------------------
DLLCLBK void InitModule(corvane::ModuleHandle /*hModule*/)
{
    ResetModuleState();
    MFDMODESPEC mode;
    mode.name = kModeName;
    mode.key = kModeKey;
    mode.msgproc = MsgProc;
    modeId = oapiRegisterMFDMode(mode);
}

DLLCLBK void ExitModule(corvane::ModuleHandle /*hModule*/)
{
    oapiUnregisterMFDMode(modeId);
}

// The plots restart empty; the next frame takes the new focus vessel's first sample.
DLLCLBK void opcFocusChanged(OBJHANDLE /*hGainsFocus*/, OBJHANDLE /*hLosesFocus*/)
{
    track.sampleCount = 0;
    track.nextSampleMjd = 0.0;
}

// Without a focus vessel or one of the three bodies the frame's work is skipped.
DLLCLBK void opcPreStep(double simt, double /*simdt*/, double mjd)
{
    VESSEL *vessel = oapiGetFocusInterface();
    if (!vessel) return;

    OBJHANDLE hBody[BODY_COUNT];
    double mass[BODY_COUNT];
    VECTOR3 pos[BODY_COUNT];
    for (int i = 0; i < BODY_COUNT; ++i) {
        hBody[i] = oapiGetGbodyByName(kBodyName[i]);
        if (!hBody[i]) return;
        mass[i] = oapiGetMass(hBody[i]);
        oapiGetGlobalPos(hBody[i], &pos[i]);
    }

    const L1Point l1 = ComputeL1Point(mass[SUN], mass[EARTH], mass[MOON], pos[SUN], pos[EARTH], pos[MOON]);
    vessel->Global2Local(l1.L1, readouts.relPos);
    VECTOR3 pV, vV;
    vessel->GetGlobalPos(pV);
    vessel->GetGlobalVel(vV);

    UpdateReadouts(vessel, l1, hBody[EARTH], hBody[SUN], mass[EARTH], simt, pV, vV);
    SampleTrack(l1, pos[EARTH], pV, mjd);
}
