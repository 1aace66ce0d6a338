// Tests of the device-context recorder: what the GDI calls record, and the misuse it reports; and
// of the sketchpad that draws into a recorder.
#include "draw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

bool HasProblem(const HDC__ &dc, const std::string &part)
{
    for (const std::string &p : dc.problems) {
        if (p.find(part) != std::string::npos) return true;
    }
    return false;
}

TEST(DrawRecorder, TextKeepsPositionColourFontAndExactLength)
{
    HDC__ dc(256, 256);
    EXPECT_EQ(SetTextColor(&dc, RGB(51, 255, 51)), RGB(0, 255, 0));  // the fresh context's colour
    SelectObject(&dc, sim::DefaultFont(1));
    EXPECT_TRUE(TextOutA(&dc, 10, 151, "G = Deploy Solar Panels and more", 23));
    const HDC__::Op *op = dc.FindText("G = Deploy Solar Panels");
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->x, 10);
    EXPECT_EQ(op->y, 151);
    EXPECT_EQ(op->color, RGB(51, 255, 51));
    EXPECT_EQ(op->font, 1);

    // Nothing is recorded for a negative length or a null text; a zero length draws nothing.
    EXPECT_FALSE(TextOutA(&dc, 0, 0, "x", -1));
    EXPECT_FALSE(TextOutA(&dc, 0, 0, nullptr, 3));
    EXPECT_TRUE(TextOutA(&dc, 0, 0, "x", 0));
    EXPECT_EQ(dc.Texts(), std::vector<std::string>{"G = Deploy Solar Panels"});

    // A length past the terminator is a caller's fault: drawn up to the terminator, reported.
    EXPECT_TRUE(TextOutA(&dc, 0, 0, "ab", 5));
    EXPECT_EQ(dc.Texts().back(), "ab");
    EXPECT_TRUE(HasProblem(dc, "runs past the end"));
}

TEST(DrawRecorder, LinesUseTheSelectedPenAndMoveTheCurrentPoint)
{
    HDC__ dc(256, 256);
    HPEN grid = CreatePen(PS_SOLID, 1, RGB(119, 119, 85));
    HPEN track = CreatePen(PS_SOLID, 2, RGB(51, 255, 51));
    EXPECT_EQ(SelectObject(&dc, grid), sim::StockPen());
    EXPECT_TRUE(MoveToEx(&dc, 0, 128, nullptr));
    EXPECT_TRUE(LineTo(&dc, 256, 128));
    EXPECT_EQ(SelectObject(&dc, track), grid);
    EXPECT_TRUE(LineTo(&dc, 256, 0));  // from where the last line ended
    POINT prev{};
    EXPECT_TRUE(MoveToEx(&dc, 5, 6, &prev));
    EXPECT_EQ(prev.x, 256);
    EXPECT_EQ(prev.y, 0);
    EXPECT_TRUE(Rectangle(&dc, 7, 100, 14, 135));

    std::vector<const HDC__::Op *> lines;
    for (const HDC__::Op &op : dc.ops) {
        if (op.type == HDC__::Op::LINE || op.type == HDC__::Op::RECTANGLE) lines.push_back(&op);
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]->color, RGB(119, 119, 85));
    EXPECT_EQ(lines[0]->pen, 1);
    EXPECT_EQ(lines[1]->x, 256);
    EXPECT_EQ(lines[1]->y, 128);
    EXPECT_EQ(lines[1]->y2, 0);
    EXPECT_EQ(lines[1]->pen, 2);
    EXPECT_EQ(lines[1]->width, 2);
    EXPECT_EQ(lines[2]->type, HDC__::Op::RECTANGLE);
    EXPECT_EQ(lines[2]->color, RGB(51, 255, 51));

    EXPECT_EQ(SelectObject(&dc, sim::StockPen()), track);
    EXPECT_TRUE(DeleteObject(grid));
    EXPECT_TRUE(DeleteObject(track));
    dc.Finish();
    EXPECT_TRUE(dc.problems.empty()) << dc.problems[0];
}

TEST(DrawRecorder, SelectObjectTellsPensFromFontsAndReturnsThePreviousOfThatKind)
{
    HDC__ dc(256, 256);
    EXPECT_EQ(SelectObject(&dc, sim::DefaultFont(2)), sim::DefaultFont(0));
    EXPECT_EQ(SelectObject(&dc, sim::DefaultPen(1)), sim::StockPen());
    EXPECT_EQ(SelectObject(&dc, sim::DefaultFont(1)), sim::DefaultFont(2));
    EXPECT_EQ(SelectObject(&dc, sim::StockPen()), sim::DefaultPen(1));
    // Each line ends by the interface the operation came through (here the device context).
    EXPECT_EQ(dc.Listing(),
              "font 2 (dc)\n"
              "select-pen 1 default 1 #ffff00 (dc)\n"
              "font 1 (dc)\n"
              "select-pen 0 stock #00ff00 (dc)\n");
    EXPECT_EQ(sim::DefaultFont(7), sim::DefaultFont(0));
    EXPECT_EQ(sim::DefaultPen(-1), sim::DefaultPen(0));
    EXPECT_TRUE(sim::DefaultFont(2)->vertical);
    EXPECT_EQ(sim::DefaultFont(0)->width, 8);
    EXPECT_EQ(sim::DefaultFont(0)->height, 14);
}

TEST(DrawRecorder, DeletingASelectedPenIsRefusedAndReported)
{
    HDC__ dc(256, 256);
    HPEN axis = CreatePen(PS_SOLID, 1, RGB(136, 136, 136));
    HGDIOBJ old = SelectObject(&dc, axis);
    EXPECT_FALSE(DeleteObject(axis));
    EXPECT_TRUE(HasProblem(dc, "deleting a pen that is still selected"));
    // Once the previous pen is back, the deletion goes through and is recorded.
    SelectObject(&dc, old);
    EXPECT_TRUE(DeleteObject(axis));
    EXPECT_EQ(dc.ops.back().type, HDC__::Op::DELETE_PEN);
    EXPECT_EQ(dc.ops.back().pen, 1);
}

TEST(DrawRecorder, FinishReportsPensOfThisDrawingLeftUndeleted)
{
    HPEN before = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));  // made outside any drawing of dc below
    HDC__ *other = new HDC__(10, 10);
    delete other;  // leaves no active drawing behind
    HDC__ dc(256, 256);
    HPEN kept = CreatePen(PS_SOLID, 1, RGB(51, 255, 51));
    HPEN freed = CreatePen(PS_SOLID, 1, RGB(136, 136, 136));
    EXPECT_TRUE(DeleteObject(freed));
    dc.Finish();
    ASSERT_EQ(dc.problems.size(), 1u);
    EXPECT_EQ(dc.problems[0], "pen 1 left undeleted after drawing");
    // A pen created after the drawing ended is not this drawing's; Finish again reports nothing new.
    dc.Finish();
    EXPECT_EQ(dc.problems.size(), 1u);
    DeleteObject(kept);
    DeleteObject(before);
}

TEST(DrawRecorder, StaleForeignAndNullHandlesFailWithoutCrashing)
{
    HDC__ dc(256, 256);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(9, 9, 9));
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_FALSE(DeleteObject(pen));  // twice
    EXPECT_EQ(SelectObject(&dc, pen), nullptr);
    EXPECT_TRUE(HasProblem(dc, "deleted pen"));
    int foreign = 0;
    EXPECT_EQ(SelectObject(&dc, &foreign), nullptr);
    EXPECT_FALSE(DeleteObject(&foreign));
    EXPECT_EQ(dc.pen, sim::StockPen());  // failed selections change nothing
    // The host's own objects are stock objects: deleting them is a harmless no-op.
    EXPECT_TRUE(DeleteObject(sim::StockPen()));
    EXPECT_TRUE(DeleteObject(sim::DefaultPen(2)));
    EXPECT_TRUE(DeleteObject(sim::DefaultFont(1)));
    EXPECT_EQ(SelectObject(&dc, sim::DefaultPen(2)), sim::StockPen());

    EXPECT_EQ(SetTextColor(nullptr, 1), 0xFFFFFFFFu);
    EXPECT_EQ(SetBkColor(nullptr, 1), 0xFFFFFFFFu);
    EXPECT_EQ(SetBkMode(nullptr, TRANSPARENT), 0);
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "x", 1));
    EXPECT_FALSE(Rectangle(nullptr, 0, 0, 1, 1));
    EXPECT_FALSE(MoveToEx(nullptr, 0, 0, nullptr));
    EXPECT_FALSE(LineTo(nullptr, 0, 0));
    EXPECT_EQ(SelectObject(nullptr, sim::StockPen()), nullptr);
    EXPECT_FALSE(DeleteObject(nullptr));

    // A context that no longer exists is refused without being touched.
    HDC stale = new HDC__(8, 8);
    delete stale;
    EXPECT_FALSE(sim::IsLiveContext(stale));
    EXPECT_FALSE(TextOutA(stale, 0, 0, "x", 1));
}

TEST(DrawRecorder, ListingWritesOneOperationPerLineWithColoursAsRgb)
{
    HDC__ dc(256, 256);
    SetTextColor(&dc, RGB(0x12, 0x34, 0x56));  // COLORREF keeps red in the low byte
    TextOutA(&dc, 3, 4, "say \"hi\"", 8);
    HPEN p = CreatePen(PS_DASH, 1, RGB(136, 136, 136));
    HGDIOBJ old = SelectObject(&dc, p);
    MoveToEx(&dc, 0, 128, nullptr);
    LineTo(&dc, 256, 128);
    SelectObject(&dc, old);
    DeleteObject(p);
    Rectangle(&dc, 7, 100, 14, 135);
    EXPECT_EQ(dc.Listing(),
              "textcolor #123456 (dc)\n"
              "text 3 4 #123456 f0 \"say \\\"hi\\\"\" (dc)\n"
              "pen+ 1 #888888 w1 dash (dc)\n"
              "select-pen 1 (dc)\n"
              "line 0 128 256 128 #888888 pen1 (dc)\n"
              "select-pen 0 stock #00ff00 (dc)\n"
              "delete-pen 1 (dc)\n"
              "rect 7 100 14 135 #00ff00 pen0 (dc)\n");
}

// A context drawn again from the start (a display drawn every frame) records what a fresh one
// would: no operation, colour, font, pen number, current point or problem of the last drawing is
// left over, and a text longer than the last drawing's still comes out whole.
TEST(DrawRecorder, ARestartedContextDrawsAsAFreshOne)
{
    auto draw = [](HDC__ &dc, const char *text) {
        TextOutA(&dc, 1, 2, text, static_cast<int>(std::strlen(text)));
        HPEN p = CreatePen(PS_SOLID, 2, RGB(255, 0, 0));
        SelectObject(&dc, p);
        LineTo(&dc, 30, 40);
    };
    HDC__ used(64, 64);
    SetTextColor(&used, RGB(1, 2, 3));
    SelectObject(&used, sim::DefaultFont(2));
    MoveToEx(&used, 9, 9, nullptr);
    draw(used, "a first text long enough to need room of its own");
    TextOutA(&used, 0, 0, "ab", 5);  // a problem in the first drawing
    used.Finish();
    ASSERT_FALSE(used.problems.empty());

    used.Restart();
    draw(used, "a second text, longer still than the first one was");
    used.Finish();
    HDC__ fresh(64, 64);
    draw(fresh, "a second text, longer still than the first one was");
    fresh.Finish();
    EXPECT_EQ(used.Listing(), fresh.Listing());
    EXPECT_EQ(used.problems, fresh.problems);  // the pen left undeleted, once, as pen 1
    EXPECT_EQ(used.Texts(), std::vector<std::string>{"a second text, longer still than the first one was"});
}

// --- the sketchpad ------------------------------------------------------------------------------

TEST(Sketchpad, DrawsLikeTheDeviceContextAndNamesItselfInTheListing)
{
    // The same drawing once through the device context and once through a sketchpad.
    auto draw_dc = [](HDC__ &dc) {
        SetTextColor(&dc, RGB(10, 20, 30));
        TextOutA(&dc, 16, 232, "WARNING and more", 7);
        Rectangle(&dc, 7, 192, 14, 227);
    };
    HDC__ dc(1024, 768), pad_rec(1024, 768);
    draw_dc(dc);
    sim::RecorderSketchpad skp(&pad_rec, false);
    oapi::Sketchpad *pad = &skp;  // the module sees the host's base class
    EXPECT_EQ(pad->SetTextColor(RGB(10, 20, 30)), RGB(0, 255, 0));  // the previous colour, as GDI's
    EXPECT_TRUE(pad->Text(16, 232, "WARNING and more", 7));
    pad->Rectangle(7, 192, 14, 227);
    EXPECT_EQ(pad->GetSurface(), nullptr);  // the display's render target is no module's surface

    ASSERT_EQ(pad_rec.ops.size(), dc.ops.size());
    for (std::size_t i = 0; i < dc.ops.size(); ++i) {
        const HDC__::Op &a = dc.ops[i], &b = pad_rec.ops[i];
        EXPECT_TRUE(a.type == b.type && a.x == b.x && a.y == b.y && a.x2 == b.x2 && a.y2 == b.y2 &&
                    a.text == b.text && a.color == b.color && a.font == b.font && a.pen == b.pen)
            << i;
        EXPECT_FALSE(a.sketchpad);
        EXPECT_TRUE(b.sketchpad);
    }
    EXPECT_EQ(pad_rec.Listing(),
              "textcolor #0a141e (sketchpad)\n"
              "text 16 232 #0a141e f0 \"WARNING\" (sketchpad)\n"
              "rect 7 192 14 227 #00ff00 pen0 (sketchpad)\n");
}

TEST(Sketchpad, OnlyTheBuiltInClientsSketchpadHandsOutADeviceContext)
{
    HDC__ rec(64, 64);
    int refused = 0;
    sim::RecorderSketchpad built_in(&rec, true, [&] { ++refused; });
    EXPECT_EQ(built_in.GetDC(), &rec);  // what the device-context callback then draws into
    EXPECT_EQ(refused, 0);
    sim::RecorderSketchpad external(&rec, false, [&] { ++refused; });
    EXPECT_EQ(external.GetDC(), nullptr);
    EXPECT_EQ(external.GetDC(), nullptr);
    EXPECT_EQ(refused, 2) << "every call is reported; the host decides what to log";
    EXPECT_TRUE(rec.ops.empty());
}

// A client's sketchpad that draws lines only: the host's default rectangle is its outline, from the
// top-left corner round to the right, down, back left and up (DrawAPI.cpp, Sketchpad::Rectangle).
class LinePad : public oapi::Sketchpad {
public:
    LinePad() : oapi::Sketchpad(nullptr) {}
    void MoveTo(int x, int y) override { trail += "M" + std::to_string(x) + "," + std::to_string(y) + " "; }
    void LineTo(int x, int y) override { trail += "L" + std::to_string(x) + "," + std::to_string(y) + " "; }
    std::string trail;
};

TEST(Sketchpad, TheHostsDefaultRectangleIsAnOutlineOfFourLines)
{
    LinePad pad;
    pad.Rectangle(7, 192, 14, 227);
    EXPECT_EQ(pad.trail, "M7,192 L14,192 L14,227 L7,227 L7,192 ");
    // The base class's other defaults draw nothing and hand out no device context.
    oapi::Sketchpad &base = pad;
    EXPECT_FALSE(base.Text(0, 0, "x", 1));
    EXPECT_EQ(base.SetTextColor(RGB(1, 2, 3)), 0u);
    EXPECT_EQ(base.GetDC(), nullptr);
}

}  // namespace
