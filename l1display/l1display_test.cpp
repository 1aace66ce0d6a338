// The L1 display as the pilot meets it: the mode loaded by the stand-in host, a probe as the focus
// vessel placed by hand, and what the displays draw, accept and save.
#include "l1_point.h"
#include "testing/sim_test.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Op = HDC__::Op;
using Strings = std::vector<std::string>;
const char kMode[] = "Corvane L1 Display";
const COLORREF kAxis = RGB(136, 136, 136), kGrid = RGB(119, 119, 85), kTrack = RGB(51, 255, 51);

class L1DisplayTest : public simtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        WriteConfig("Config/Vessels/L1Probe.cfg", "ClassName = L1Probe\n");
        ASSERT_NE(W().LoadPlugin("CorvaneMFD4"), nullptr);
        probe = Create("Probe", "L1Probe");
        W().SetFocus(probe);
    }

    MFD *Open(int which = 0, DWORD w = 256, DWORD h = 256) { return W().OpenMfd(which, kMode, w, h); }
    sim::DrawRecorder *Draw(int which = 0) { return W().DrawMfd(which); }
    void Keys(const std::string &keys, int which = 0)
    {
        for (char k : keys) W().MfdKey(which, k == 'V' ? OAPI_KEY_V : k == 'B' ? OAPI_KEY_B : OAPI_KEY_N);
    }
    bool Shows(const char *text, int which = 0) { return Draw(which)->FindText(text) != nullptr; }

    // Sun, Earth and Moon on the global x axis for the next frame: the sample frame is then the
    // global frame moved to L1, and placements near L1 come out exact.
    void LineUpBodies()
    {
        W().Earth()->pos = _V(1.5e11, 0, 0);
        W().Moon()->pos = _V(1.5e11 + 3.844e8, 0, 0);
    }
    VECTOR3 L1Now()
    {
        sim::World &w = W();
        return ComputeL1Point(w.Sun()->mass, w.Earth()->mass, w.Moon()->mass, w.Sun()->pos, w.Earth()->pos,
                              w.Moon()->pos).L1;
    }
    // A vessel at rest at a global position (the Sun sits at the origin), its axes global.
    void PutAt(Vessel *v, const VECTOR3 &g, const MATRIX3 &R = identity())
    {
        v->ref = W().Sun();
        v->rpos = g;
        v->rvel = _V(0, 0, 0);
        v->R = R;
    }

    Vessel *probe = nullptr;
};

// The last n texts drawn as "text x y font #rrggbb" (all of them for n = 0).
Strings TextList(const sim::DrawRecorder *r, size_t n = 0)
{
    Strings out;
    char buf[160];
    for (const Op &op : r->ops) {
        if (op.type != Op::TEXT) continue;
        std::snprintf(buf, sizeof buf, "%s %d %d %d #%06x", op.text.c_str(), op.x, op.y, op.font,
                      (unsigned)(GetRValue(op.color) << 16 | GetGValue(op.color) << 8 | GetBValue(op.color)));
        out.push_back(buf);
    }
    if (n && out.size() > n) out.erase(out.begin(), out.end() - (std::ptrdiff_t)n);
    return out;
}

// The lines drawn with a pen of this colour, "x0,y0>x1,y1" each.
std::string LineList(const sim::DrawRecorder *r, COLORREF pen)
{
    std::string out;
    for (const Op &op : r->ops)
        if (op.type == Op::LINE && op.color == pen)
            out += (out.empty() ? "" : " ") + std::to_string(op.x) + "," + std::to_string(op.y) + ">" +
                   std::to_string(op.x2) + "," + std::to_string(op.y2);
    return out;
}
// The grid as LineList gives it: vertical lines at xs over the height h, then horizontal ones.
std::string Grid(const std::vector<int> &xs, int h, const std::vector<int> &ys, int w)
{
    std::string out;
    for (int x : xs) out += " " + std::to_string(x) + ",0>" + std::to_string(x) + "," + std::to_string(h);
    for (int y : ys) out += " 0," + std::to_string(y) + ">" + std::to_string(w) + "," + std::to_string(y);
    return out.substr(1);
}
int SampleCount(const sim::DrawRecorder *r)
{
    int n = 0;
    for (const Op &op : r->ops) n += op.type == Op::LINE && op.color == kTrack;
    return n;
}

// Three solid 1-pixel pens made, the context's own pen selected back, all three deleted.
void ExpectPensReleased(const sim::DrawRecorder *r)
{
    int created = 0, deleted = 0;
    for (const Op &op : r->ops) {
        created += op.type == Op::CREATE_PEN && op.width == 1 && op.style == PS_SOLID;
        deleted += op.type == Op::DELETE_PEN;
    }
    EXPECT_EQ(created, 3);
    EXPECT_EQ(deleted, 3);
    EXPECT_EQ(r->pen, sim::StockPen());
    EXPECT_TRUE(r->problems.empty()) << r->problems.front();
}

const std::vector<int> kTenths256 = {25, 51, 76, 102, 153, 179, 204, 230};  // k*256/10, k = 1..4, 6..9

TEST_F(L1DisplayTest, PlotPagesOn256Display)
{
    Open();
    sim::DrawRecorder *r = Draw();
    const std::string label = TextList(r, 10)[0], title = label.substr(label.size() - 8);  // as the title left
    EXPECT_EQ(TextList(r, 10), (Strings{"km x 1e+06 87 225 0" + title, "+1 0 12 2" + title, "0 0 136 2" + title,
                                        "+1 182 242 1" + title, "0 56 242 1" + title,
                                        "(X-Z) Ecliptic Projection 144 0 1 #33ff33", "+X 216 242 1 #33ff33",
                                        "+Z 0 48 2 #33ff33", "L1 64 114 1 #ffff33", "<-Sun 0 114 1 #ffff33"}));
    EXPECT_EQ(LineList(r, kAxis), "0,128>256,128 64,0>64,256 192,0>192,256");
    EXPECT_EQ(LineList(r, kGrid), Grid({12, 38, 89, 115, 140, 166, 217, 243}, 256, kTenths256, 256));
    EXPECT_EQ(SampleCount(r), 0);  // no samples yet: no track and neither mark
    EXPECT_EQ(r->FindText("+"), nullptr);
    EXPECT_EQ(r->FindText("o"), nullptr);
    ExpectPensReleased(r);

    Keys("V");
    EXPECT_EQ(TextList(Draw(), 5)[0], "(X-Y) Ecliptic Plane View 144 0 1 #33ff33");
    EXPECT_EQ(TextList(Draw(), 5)[2], "+Y 0 48 2 #33ff33");
    Keys("V");
    r = Draw();
    EXPECT_EQ(TextList(r, 8), (Strings{"+1 0 12 2" + title, "0 0 136 2" + title, "+1 246 242 1" + title,
                                       "0 120 242 1" + title, "(Z-Y) L1-Sun Line View 144 0 1 #33ff33",
                                       "+Z 216 242 1 #33ff33", "+Y 0 48 2 #33ff33", "L1 128 114 1 #ffff33"}));
    EXPECT_EQ(LineList(r, kAxis), "0,128>256,128 128,0>128,256");
    EXPECT_EQ(LineList(r, kGrid), Grid(kTenths256, 256, kTenths256, 256));
    ExpectPensReleased(r);
}

TEST_F(L1DisplayTest, PlotPagesOnOtherSizesKeepSignedCoordinates)
{
    Open(0, 400, 300);
    sim::DrawRecorder *r = Draw();
    EXPECT_EQ(TextList(r, 10)[0].substr(0, 19), "km x 1e+06 159 269 ");
    EXPECT_EQ(LineList(r, kAxis), "0,150>400,150 100,0>100,300 300,0>300,300");
    EXPECT_EQ(LineList(r, kGrid),
              Grid({20, 60, 140, 180, 220, 260, 340, 380}, 300, {30, 60, 90, 120, 180, 210, 240, 270}, 400));

    // A display narrower than its labels: positions go negative instead of wrapping round.
    Open(1, 16, 16);
    const Strings t = TextList(Draw(1), 10);
    EXPECT_EQ(t[0].substr(0, 21), "km x 1e+06 -32 -14 0 ");
    EXPECT_EQ(t[4].substr(0, 8), "0 -4 2 1");
    EXPECT_EQ(t[5], "(X-Z) Ecliptic Projection -96 0 1 #33ff33");
    EXPECT_EQ(t[8], "L1 4 -6 1 #ffff33");
}

TEST_F(L1DisplayTest, TrackAndMarksFollowTheSamples)
{
    Open();
    LineUpBodies();
    PutAt(probe, L1Now() + _V(510000e3, 0, 0));  // (X, Y, Z) = (510000, 0, 0) km
    Step();
    W().SetMjd(51550.0);
    LineUpBodies();
    PutAt(probe, L1Now() + _V(-260000e3, 310000e3, 410000e3));
    const double earthKm = length(W().Earth()->pos - L1Now()) * 0.001;
    Step();

    // At 1e-6 per km 128 pixels stand for 1e6 km: the first sample 65.28 px along X, the second
    // at (-33.28, 39.68, 52.48) px; the "+" 2 px left of and 7 px above the newest one.
    const char *track[3] = {"129,128>129,128 129,128>30,75", "129,128>129,128 129,128>30,88",
                            "128,128>128,128 128,128>180,88"};
    const char *plus[3] = {"+ 28 68 1 #ffffff", "+ 28 81 1 #ffffff", "+ 178 81 1 #ffffff"};
    const std::string earth = "o " + std::to_string((int)(64 + earthKm * (128 * 1e-6) - 4)) + " 121 1 #8888ff";
    for (int page = 0; page < 3; ++page, Keys("V")) {
        sim::DrawRecorder *r = Draw();
        EXPECT_EQ(LineList(r, kTrack), track[page]);
        const Strings marks = page < 2 ? Strings{plus[page], earth} : Strings{plus[page]};
        EXPECT_EQ(TextList(r, marks.size()), marks);
        ExpectPensReleased(r);
    }
    Keys("VNN");  // the widest scale brings the Earth close to L1
    EXPECT_EQ(TextList(Draw(), 1)[0], "o " + std::to_string((int)(64 + earthKm * (128 * 1e-8) - 4)) + " 121 1 #8888ff");
    EXPECT_TRUE(Shows("km x 1e+08"));
}

TEST_F(L1DisplayTest, ReadoutPageLayoutAndSignedFormats)
{
    Open();
    Keys("VVV");
    // Turned half round about y, the probe sees L1 at x = -0 (a negative zero), y = -30 m and
    // z = +12.3 km. Its first frame has no earlier L1 position: the velocity stays at zero.
    PutAt(probe, L1Now() + _V(0, 30, 12300), _M(-1, 0, 0, 0, 1, 0, 0, 0, -1));
    Step();
    sim::DrawRecorder *r = Draw();
    Strings t = TextList(r, 17);
    EXPECT_EQ(Strings(t.begin(), t.end() - 2),
              (Strings{"L1 Relative to Spacecraft 4 28 0 #33ff33", "(vessel frame of reference) 0 42 0 #33ff33",
                       "Pos 4 70 0 #33ff33", "Vel 160 70 0 #33ff33", "Distance 4 140 0 #33ff33",
                       "Spacecraft C3 Energy 4 182 0 #33ff33", "Relative to Earth 4 196 0 #33ff33",
                       "Sun-Earth-Spacecraft Angle 4 238 0 #33ff33", "X +0.0 km 4 84 0 #ffff33",
                       "Y -0.0 km 4 98 0 #ffff33", "Z +12.3 km 4 112 0 #ffff33", "X +0.00 m/s 160 84 0 #ffff33",
                       "Y +0.00 m/s 160 98 0 #ffff33", "Z +0.00 m/s 160 112 0 #ffff33",
                       "12.3 km 4 154 0 #ffff33"}));
    EXPECT_NE(t[15].find(" km^2/s^2 4 210 0 #ffff33"), std::string::npos) << t[15];
    EXPECT_NE(t[16].find(" deg 4 252 0 #ffff33"), std::string::npos) << t[16];
    EXPECT_EQ(TextList(r).size(), 18u);  // the title and these: no scale label
    EXPECT_EQ(LineList(r, kTrack) + LineList(r, kAxis) + LineList(r, kGrid), "");
    ExpectPensReleased(r);

    // The velocity of L1 from one frame to the next (the probe rests: relVel = vL1); a frame at the
    // same simulation time keeps it (no division by zero).
    PutAt(probe, L1Now());
    const VECTOR3 l1a = L1Now();
    Step();
    const VECTOR3 vL1 = (L1Now() - l1a) / W().StepLength();
    Step();
    t = TextList(Draw(), 6);
    EXPECT_NEAR(std::atof(t[0].c_str() + 2), vL1.x, 0.02) << t[0];
    EXPECT_NEAR(std::atof(t[1].c_str() + 2), vL1.y, 0.02) << t[1];
    EXPECT_NEAR(std::atof(t[2].c_str() + 2), vL1.z, 0.02) << t[2];
    EXPECT_GT(length(vL1), 25e3);
    W().SetStepLength(0);  // from the end of the next frame on
    Step();
    t = TextList(Draw(), 6);
    Step();
    EXPECT_EQ(TextList(Draw(), 6), t);

    // A value far too long for a short text buffer is still shown whole: L1 1e60 m ahead is a
    // 58-digit number of km.
    PutAt(probe, L1Now() - _V(1e60, 0, 0));
    Step();
    const std::string x = Draw()->Texts().at(9);
    EXPECT_EQ(x.size(), 66u) << x;
    EXPECT_EQ(x.substr(x.size() - 5), ".0 km") << x;
}

TEST_F(L1DisplayTest, ReadoutsAndSamplesForCraftedGeometries)
{
    Open();
    LineUpBodies();
    PutAt(probe, L1Now());  // exactly at L1: the sample is a single point on L1
    Step();
    EXPECT_EQ(LineList(Draw(), kTrack), "64,128>64,128");
    EXPECT_EQ(TextList(Draw(), 2)[0], "+ 62 121 1 #ffffff");
    Keys("VVV");
    const Strings t = TextList(Draw(), 9);
    EXPECT_EQ((Strings{t[0], t[1], t[2], t[6]}), (Strings{"X +0.0 km 4 84 0 #ffff33", "Y +0.0 km 4 98 0 #ffff33",
                                                        "Z +0.0 km 4 112 0 #ffff33", "0.0 km 4 154 0 #ffff33"}));

    // A new focus empties the plots; the next frame samples it at index 0. On the Sun line beyond
    // L1 it shows X > 0 and Y = Z = 0 in every projection (closest scale: 5100 km is 65.28 px).
    Vessel *other = Create("Other", "L1Probe");
    W().SetFocus(other);
    Keys("VBB");
    EXPECT_EQ(SampleCount(Draw()), 0);
    LineUpBodies();
    PutAt(other, L1Now() + _V(5100e3, 0, 0));
    Step();
    for (const char *line : {"129,128>129,128", "129,128>129,128", "128,128>128,128"}) {
        EXPECT_EQ(LineList(Draw(), kTrack), line);
        Keys("V");
    }
    EXPECT_TRUE(Shows("5100.0 km"));

    // A sample far beyond the edges at the closest scale is drawn at the end of the int range on
    // its own side (X = 2e13 km is 2.56e11 px right of L1, Z = -2e13 km as far left of it).
    W().SetFocus(probe);
    LineUpBodies();
    PutAt(probe, L1Now() + _V(2e16, 0, -2e16));
    Step();
    const std::string kMax = std::to_string(INT_MAX), kMin = std::to_string(INT_MIN);
    const std::string far[3] = {kMax + "," + kMax, kMax + ",128", kMin + ",128"};
    Keys("V");
    for (const std::string &p : far) {
        EXPECT_EQ(LineList(Draw(), kTrack), p + ">" + p);
        Keys("V");
    }
}

TEST_F(L1DisplayTest, EnergyAngleAndMissingBodies)
{
    Open();
    Keys("VVV");
    W().Earth()->mass = 5.97e24;  // circular orbit with a = 6700 km: C3 -59.46 km^2/s^2
    probe->ref = W().Earth();
    probe->rpos = _V(6.7e6, 0, 0);
    probe->rvel = _V(0, 0, std::sqrt(6.67259e-11 * 5.97e24 / 6.7e6));
    Step();
    EXPECT_TRUE(Shows("-59.46 km^2/s^2"));

    // The Sun-Earth-spacecraft angle toward the Sun, away from it, undefined at the Earth's centre.
    // Here rounding takes the cosines of the aligned cases just past +1 and -1.
    const VECTOR3 earth = _V(-2.649891e10, -4.861456e5, 1.446973e11);
    const double along[3] = {1.5e9, -1.5e9, 0};
    const char *shown[3] = {"0.0 deg", "180.0 deg", "nan"};
    for (int i = 0; i < 3; ++i) {
        W().Earth()->pos = earth;
        probe->rpos = unit(-earth) * along[i];
        Step();
        EXPECT_NE(TextList(Draw(), 1)[0].find(shown[i]), std::string::npos) << TextList(Draw(), 1)[0];
    }

    // Without a body named Moon the frame's work is skipped; without any focus vessel too.
    W().Moon()->name = "Luna";
    LineUpBodies();
    PutAt(probe, L1Now() + _V(5e6, 0, 0));
    Step();
    EXPECT_FALSE(Shows("5000.0 km"));
    W().Moon()->name = "Moon";
    LineUpBodies();
    Step();
    EXPECT_TRUE(Shows("5000.0 km"));
    EndWorld();
    ASSERT_NE(W().LoadPlugin("CorvaneMFD4"), nullptr);
    Step(2);
}

TEST_F(L1DisplayTest, SamplesEveryTwoDaysCountedFromTheFrameDate)
{
    Open();
    auto samplesAt = [&](double mjd) {
        W().SetMjd(mjd);
        Step();
        return SampleCount(Draw());
    };
    EXPECT_EQ(samplesAt(50998.0), 1);  // next due 51000.0
    EXPECT_EQ(samplesAt(51000.7), 2);  // next due 51002.7, not 51002.0
    EXPECT_EQ(samplesAt(51002.6999), 2);
    EXPECT_EQ(samplesAt(51002.7001), 3);
    EXPECT_EQ(samplesAt(51030.0), 4);  // many intervals passed: still one sample
    EXPECT_EQ(samplesAt(51020.0), 4);  // the date moved back: nothing until 51032 again
    EXPECT_EQ(samplesAt(51031.9999), 4);
    EXPECT_EQ(samplesAt(51032.0001), 5);
    for (int i = 5; i < 719; ++i) samplesAt(51040.0 + 2.0 * i);
    EXPECT_EQ(SampleCount(Draw()), 719);
    EXPECT_EQ(samplesAt(53000.0), 0);  // the 720th sample empties the plots
    EXPECT_EQ(Draw()->FindText("+"), nullptr);
    EXPECT_EQ(samplesAt(53002.5), 1);
}

TEST_F(L1DisplayTest, ModeKeysButtonsAndMenu)
{
    ASSERT_EQ(W().MfdModes().size(), 1u);
    EXPECT_EQ(W().MfdModes()[0].name, kMode);
    EXPECT_EQ(W().MfdModes()[0].key, (DWORD)OAPI_KEY_P);
    EXPECT_EQ(W().MfdModes()[0].msgproc(OAPI_MSG_MFD_CLOSED, 0, 0, 0), 0);
    MFD *mfd = Open();
    ASSERT_NE(mfd, nullptr);
    // Each step: what is pressed, what it returns, a text that must then show.
    struct Press { DWORD key; int bt, event; bool consumed; const char *shows; };
    const Press presses[] = {
        {OAPI_KEY_V, -1, 0, true, "(X-Y) Ecliptic Plane View"}, {OAPI_KEY_V, -1, 0, true, "(Z-Y) L1-Sun Line View"},
        {OAPI_KEY_V, -1, 0, true, "L1 Relative to Spacecraft"}, {OAPI_KEY_V, -1, 0, true, "(X-Z) Ecliptic Projection"},
        {OAPI_KEY_B, -1, 0, true, "km x 1e+05"},                {OAPI_KEY_B, -1, 0, true, "km x 1e+04"},
        {OAPI_KEY_B, -1, 0, true, "km x 1e+08"},                {OAPI_KEY_N, -1, 0, true, "km x 1e+04"},
        {OAPI_KEY_T, -1, 0, true, "km x 1e+04"},                {OAPI_KEY_A, -1, 0, false, "km x 1e+04"},
        {0, 0, PANEL_MOUSE_LBUP, false, "(X-Z) Ecliptic Projection"},
        {0, 0, PANEL_MOUSE_RBDOWN, false, "(X-Z) Ecliptic Projection"},
        {0, 3, PANEL_MOUSE_LBDOWN, false, "(X-Z) Ecliptic Projection"},
        {0, 0, PANEL_MOUSE_LBDOWN | PANEL_MOUSE_LBPRESSED, true, "(X-Y) Ecliptic Plane View"},
        {0, 2, PANEL_MOUSE_LBDOWN, true, "km x 1e+05"},         {0, 1, PANEL_MOUSE_LBDOWN, true, "km x 1e+04"},
    };
    for (const Press &p : presses) {
        EXPECT_EQ(p.bt < 0 ? W().MfdKey(0, p.key) : W().MfdButton(0, p.bt, p.event), p.consumed) << p.shows;
        EXPECT_TRUE(Shows(p.shows)) << p.shows;
    }

    const char *labels[3] = {"VW", "ZM+", "ZM-"}, *lines[3] = {"Select View", "Zoom In", "Zoom Out"};
    const char sel[3] = {'V', 'B', 'N'};
    const MFDBUTTONMENU *menu = nullptr;
    EXPECT_EQ(mfd->ButtonMenu(nullptr), 3);
    ASSERT_EQ(mfd->ButtonMenu(&menu), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(mfd->ButtonLabel(i), labels[i]);
        const char *line1 = menu[i].line1, *line2 = menu[i].line2, selchar = menu[i].selchar;  // packed
        EXPECT_STREQ(line1, lines[i]);
        EXPECT_EQ(line2, nullptr);
        EXPECT_EQ(selchar, sel[i]);
    }
    EXPECT_EQ(mfd->ButtonLabel(3), nullptr);
}

TEST_F(L1DisplayTest, DisplaysKeepTheirOwnPageAndZoomAndShareOneStoredPair)
{
    MFD *left = Open(0), *right = Open(1);
    Keys("V", 0);
    left->RecallStatus();  // before any store: page 0, zoom 2
    EXPECT_TRUE(Shows("(X-Z) Ecliptic Projection") && Shows("km x 1e+06"));
    Step();
    Keys("VN", 0);
    EXPECT_TRUE(Shows("(X-Y) Ecliptic Plane View", 0) && Shows("km x 1e+07", 0));
    EXPECT_TRUE(Shows("(X-Z) Ecliptic Projection", 1) && Shows("km x 1e+06", 1));
    EXPECT_EQ(SampleCount(Draw(0)), 1);
    EXPECT_EQ(SampleCount(Draw(1)), 1);
    left->StoreStatus();
    right->RecallStatus();
    EXPECT_TRUE(Shows("(X-Y) Ecliptic Plane View", 1) && Shows("km x 1e+07", 1));
}

// The lines of the saved display block beginning with `begin` ("BEGIN_MFD Left"), up to its END_MFD.
std::string SavedBlock(const std::string &saved, const std::string &begin)
{
    const size_t from = saved.find(begin);
    if (from == std::string::npos) return "";
    return saved.substr(from, saved.find("END_MFD", from) - from);
}

// Two displays of this mode restored from one scenario. The host hands each display the scenario
// file itself, from after its own MODE line, and its line reader stops only at a line END (MfdUser.cpp
// ReadParams, OrbiterAPI.cpp oapiReadScenario_nextline): the left display would read on through the
// right block's PAGE 2 and ZOOM 0 and into the ships unless it stops at its own END_MFD. The right
// one reads its own block. Each must show and save the values of its own block. (Page 1 is the
// ecliptic plane view, page 2 the L1-Sun line view; the scale label reads km x 1e+(4 + zoom).)
TEST_F(L1DisplayTest, TwoDisplaysRestoredFromOneScenarioKeepTheirOwnBlocks)
{
    LineUpBodies();
    PutAt(probe, L1Now() + _V(2600e3, 0, 0));
    Step();
    std::string error;
    ASSERT_TRUE(W().LoadScenarioText(
        "BEGIN_MFD Left\n  TYPE User\n  MODE " + std::string(kMode) + "\n  PAGE 1\n  ZOOM 3\nEND_MFD\n\n"
        "BEGIN_MFD Right\n  TYPE User\n  MODE " + std::string(kMode) + "\n  PAGE 2\n  ZOOM 0\nEND_MFD\n\n"
        "BEGIN_SHIPS\nMarker:L1Probe\n  STATUS Orbiting Earth\n  RPOS 7000000 0 0\n  RVEL 0 7500 0\nEND\n"
        "END_SHIPS\n", &error)) << error;
    ASSERT_NE(W().GetMfd(0), nullptr);
    ASSERT_NE(W().GetMfd(1), nullptr);
    EXPECT_TRUE(Shows("(X-Y) Ecliptic Plane View", 0)) << "left: page 1";
    EXPECT_TRUE(Shows("km x 1e+07", 0)) << "left: zoom 3";
    EXPECT_TRUE(Shows("(Z-Y) L1-Sun Line View", 1)) << "right: page 2";
    EXPECT_TRUE(Shows("km x 1e+04", 1)) << "right: zoom 0";

    const std::string saved = W().SaveScenarioText();
    const std::string left = SavedBlock(saved, "BEGIN_MFD Left"), right = SavedBlock(saved, "BEGIN_MFD Right");
    EXPECT_NE(left.find("\n  PAGE 1\n  ZOOM 3\n"), std::string::npos) << saved;
    EXPECT_NE(right.find("\n  PAGE 2\n  ZOOM 0\n"), std::string::npos) << saved;
}

TEST_F(L1DisplayTest, ScenarioStatusAndOutOfRangeValues)
{
    auto load = [&](const std::string &status) {
        W().CloseMfd(0);
        std::string error;
        EXPECT_TRUE(W().LoadScenarioText("BEGIN_MFD Left\n  TYPE User\n  MODE " + std::string(kMode) + "\n" +
                                             status + "END_MFD\n", &error)) << error;
        ASSERT_NE(W().GetMfd(0), nullptr);
    };
    // A zoom outside the table draws no label and keeps the scale of the latest plot drawing:
    // 1e-6 before any (2600 km is 0.33 px), 1e-4 after a display at zoom 0 (33.28 px).
    LineUpBodies();
    PutAt(probe, L1Now() + _V(2600e3, 0, 0));
    Step();
    load("  PAGE 0\n  ZOOM 9\n");
    EXPECT_EQ(LineList(Draw(), kTrack), "64,128>64,128");
    EXPECT_EQ(TextList(Draw()).size(), 12u);  // title, static labels and marks, no scale label
    Keys("B");                                 // 8
    EXPECT_EQ(TextList(Draw()).size(), 12u);
    load("  PAGE 0\n  ZOOM 0\n");
    Draw();
    load("  PAGE 0\n  ZOOM -3\n");
    EXPECT_EQ(LineList(Draw(), kTrack), "97,128>97,128");
    Keys("N");  // -2
    EXPECT_EQ(TextList(Draw()).size(), 12u);

    // Lower-case keyword; "ZOOM" alone and "PAGES 1" yield no integer and change nothing.
    load("  page 2\n  ZOOM 3\n  ZOOM\n  PAGES 1\n");
    EXPECT_TRUE(Shows("(Z-Y) L1-Sun Line View") && Shows("km x 1e+07"));
    const std::string saved = W().SaveScenarioText();
    EXPECT_NE(saved.find("PAGE 2"), std::string::npos) << saved;
    EXPECT_NE(saved.find("ZOOM 3"), std::string::npos) << saved;

    // A page beyond 3 draws the title alone; a negative one adds the scale label.
    load("  PAGE 7\n  ZOOM 0\n");
    EXPECT_EQ(TextList(Draw()).size(), 1u);
    EXPECT_EQ(LineList(Draw(), kAxis), "");
    ExpectPensReleased(Draw());
    Keys("V");
    EXPECT_TRUE(Shows("(X-Z) Ecliptic Projection"));
    load("  PAGE -2\n  ZOOM 0\n");
    EXPECT_EQ(TextList(Draw(), 1)[0].substr(0, 11), "km x 1e+04 ");
    Keys("V");  // -1
    EXPECT_EQ(TextList(Draw()).size(), 2u);
    Keys("V");
    EXPECT_TRUE(Shows("(X-Z) Ecliptic Projection"));
    load("  PAGE 2147483647\n");
    Keys("V");
    EXPECT_TRUE(Shows("(X-Z) Ecliptic Projection"));

    // The display stops at the end of its own block, compared as the host compares it (7 characters,
    // case ignored): the real host hands over the scenario file and reads on to the next display's
    // lines. (This host ends a block only at the word END_MFD itself, so a longer word that begins
    // with it in lower case brings the lines after it to the display.)
    load("  PAGE 1\n  ZOOM 3\n  end_mfd2\n  PAGE 2\n  ZOOM 0\n");
    EXPECT_TRUE(Shows("(X-Y) Ecliptic Plane View") && Shows("km x 1e+07"));

    // Zoom keys at the ends of the int range stop there instead of overflowing.
    load("  ZOOM -2147483648\n");
    Keys("B");
    EXPECT_NE(W().SaveScenarioText().find("ZOOM -2147483648"), std::string::npos);
    load("  ZOOM 2147483647\n");
    Keys("N");
    EXPECT_NE(W().SaveScenarioText().find("ZOOM 2147483647"), std::string::npos);
}

}  // namespace
