// Tests of the pictures: the PNG holds the recorder's size and its drawing where it was recorded.
#include "png.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A PNG read back, with a test for "something drawn" in a pixel rectangle.
class Picture {
public:
    explicit Picture(const std::string &path) : s_(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Picture() { cairo_surface_destroy(s_); }
    bool ok() const { return cairo_surface_status(s_) == CAIRO_STATUS_SUCCESS; }
    int width() const { return cairo_image_surface_get_width(s_); }
    int height() const { return cairo_image_surface_get_height(s_); }
    std::uint32_t At(int x, int y) const
    {
        const unsigned char *row = cairo_image_surface_get_data(s_) + y * cairo_image_surface_get_stride(s_);
        return reinterpret_cast<const std::uint32_t *>(row)[x] & 0xFFFFFFu;  // 0xRRGGBB
    }
    // Number of non-black pixels in [x0, x1) x [y0, y1).
    int Lit(int x0, int y0, int x1, int y1) const
    {
        int n = 0;
        for (int y = std::max(0, y0); y < std::min(height(), y1); ++y) {
            for (int x = std::max(0, x0); x < std::min(width(), x1); ++x) n += At(x, y) != 0;
        }
        return n;
    }

private:
    cairo_surface_t *s_;
};

std::string Temp(const char *name) { return testing::TempDir() + name; }

TEST(Picture, LinesAndRectanglesAppearInTheirPenColour)
{
    HDC__ dc(64, 48);
    HPEN red = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(&dc, red);
    MoveToEx(&dc, 0, 10, nullptr);
    LineTo(&dc, 64, 10);
    SelectObject(&dc, old);
    DeleteObject(red);
    Rectangle(&dc, 40, 30, 50, 40);  // stock pen: green

    const std::string path = Temp("picture_lines.png");
    std::string error;
    ASSERT_TRUE(sim::WritePng(dc, path, &error)) << error;
    Picture pic(path);
    ASSERT_TRUE(pic.ok());
    EXPECT_EQ(pic.width(), 64);
    EXPECT_EQ(pic.height(), 48);
    EXPECT_EQ(pic.At(30, 10), 0xFF0000u);
    EXPECT_EQ(pic.At(30, 12), 0u);
    EXPECT_EQ(pic.At(40, 35), 0x00FF00u);  // left edge of the rectangle
    EXPECT_EQ(pic.At(49, 35), 0x00FF00u);  // right edge: right - 1, as GDI draws it
    EXPECT_EQ(pic.At(45, 35), 0u);         // outline only
    EXPECT_EQ(pic.Lit(0, 0, 64, 9) + pic.Lit(0, 11, 40, 48), 0);
    std::remove(path.c_str());
}

TEST(Picture, TextHangsBelowItsPointAndFontTwoReadsUpward)
{
    HDC__ dc(64, 64);
    SetTextColor(&dc, RGB(255, 255, 51));
    TextOutA(&dc, 4, 20, "WW", 2);  // font 0: cells of 8 x 14 below and right of (4, 20)
    SelectObject(&dc, sim::DefaultFont(2));
    TextOutA(&dc, 0, 60, "+1", 2);  // upward from (0, 60), the cell to the right of x = 0

    const std::string path = Temp("picture_text.png");
    std::string error;
    ASSERT_TRUE(sim::WritePng(dc, path, &error)) << error;
    Picture pic(path);
    ASSERT_TRUE(pic.ok());
    EXPECT_GT(pic.Lit(4, 20, 20, 34), 10);
    // The glyphs fill their cells: capitals reach from near the top to near the baseline, and
    // two characters span two cell widths.
    EXPECT_GT(pic.Lit(4, 20, 20, 24), 0);
    EXPECT_GT(pic.Lit(4, 29, 20, 32), 0);
    EXPECT_GT(pic.Lit(14, 20, 20, 34), 0);
    EXPECT_EQ(pic.Lit(0, 0, 64, 20), 0);   // nothing above the cell: (x, y) is its top-left
    EXPECT_EQ(pic.Lit(21, 20, 64, 64), 0);  // nor beyond its two characters
    const HFONT__ *f2 = sim::DefaultFont(2);
    EXPECT_GT(pic.Lit(0, 60 - 2 * f2->width, f2->height, 60), 5);
    EXPECT_EQ(pic.Lit(0, 61, 64, 64), 0);
    EXPECT_EQ(pic.Lit(f2->height + 1, 35, 64, 64), 0);           // not right of its cell
    EXPECT_EQ(pic.Lit(0, 35, 64, 60 - 2 * f2->width - 1), 0);     // nor above its two characters
    std::remove(path.c_str());
}

// Text drawn after the fonts were readied is the same picture as text drawn before.
TEST(Picture, TextAfterTheWarmUpIsTheSameAsBefore)
{
    HDC__ dc(96, 40);
    TextOutA(&dc, 2, 2, "ALT 1234 m", 10);
    SelectObject(&dc, sim::DefaultFont(1));
    TextOutA(&dc, 2, 20, "delta LON", 9);
    const std::string a = Temp("warm_before.png"), b = Temp("warm_after.png");
    std::string error;
    ASSERT_TRUE(sim::WritePng(dc, a, &error)) << error;
    sim::PrepareText();
    ASSERT_TRUE(sim::WritePng(dc, b, &error)) << error;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    const std::string da((std::istreambuf_iterator<char>(fa)), {}), db((std::istreambuf_iterator<char>(fb)), {});
    EXPECT_FALSE(da.empty());
    EXPECT_EQ(da, db);
    std::remove(a.c_str());
    std::remove(b.c_str());
}

TEST(Picture, ListingFileHoldsTheRecordedOperations)
{
    HDC__ dc(256, 256);
    TextOutA(&dc, 10, 151, "G = Deploy Solar Panels", 23);
    Rectangle(&dc, 7, 100, 14, 135);
    const std::string path = Temp("picture_listing.png.txt");
    std::string error;
    ASSERT_TRUE(sim::WriteListing(dc, path, &error)) << error;
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), dc.Listing());
    EXPECT_EQ(text.str(),
              "text 10 151 #00ff00 f0 \"G = Deploy Solar Panels\" (dc)\n"
              "rect 7 100 14 135 #00ff00 pen0 (dc)\n");
    std::remove(path.c_str());
}

TEST(Picture, UnwritablePathsAndBadSizesFailWithAMessage)
{
    HDC__ dc(16, 16);
    std::string error;
    EXPECT_FALSE(sim::WritePng(dc, "/nonexistent-folder/x.png", &error));
    EXPECT_NE(error.find("/nonexistent-folder/x.png"), std::string::npos);
    EXPECT_FALSE(sim::WriteListing(dc, "/nonexistent-folder/x.png.txt", &error));
    HDC__ empty(0, 16);
    EXPECT_FALSE(sim::WritePng(empty, Temp("never.png"), &error));
}

}  // namespace

namespace {

std::string Bytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

}  // namespace

TEST(Picture, TheWritersThreadWritesTheSameFilesAndReportsThoseItCouldNot)
{
    // Pictures of different drawings queued on the writer while the caller goes on; after Finish
    // each file is the one written at once, and a picture whose folder does not exist is reported
    // by its path (the others are written all the same).
    std::vector<std::unique_ptr<HDC__>> dcs;
    for (int k = 0; k < 6; ++k) {
        dcs.push_back(std::make_unique<HDC__>(80 + k, 40));
        MoveToEx(dcs.back().get(), 0, k * 5, nullptr);
        LineTo(dcs.back().get(), 80, 40 - k * 5);
    }
    const std::string bad = testing::TempDir() + "no-such-folder/picture.png";
    std::string error;
    {
        sim::PictureWriter writer;
        for (int k = 0; k < 6; ++k) {
            ASSERT_TRUE(sim::WritePng(*dcs[k], Temp(("queued_" + std::to_string(k) + ".png").c_str()), &error, &writer))
                << error;
            if (k == 2) {
                ASSERT_TRUE(sim::WritePng(*dcs[k], bad, &error, &writer));  // fails later, on the thread
            }
        }
        const std::vector<std::string> errors = writer.Finish();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_NE(errors[0].find(bad), std::string::npos) << errors[0];
        EXPECT_TRUE(writer.Finish().empty());  // reported once
    }
    for (int k = 0; k < 6; ++k) {
        const std::string direct = Temp(("direct_" + std::to_string(k) + ".png").c_str());
        ASSERT_TRUE(sim::WritePng(*dcs[k], direct, &error)) << error;
        const std::string queued = Bytes(Temp(("queued_" + std::to_string(k) + ".png").c_str()));
        EXPECT_FALSE(queued.empty()) << k;
        EXPECT_EQ(queued, Bytes(direct)) << k;
    }
    // A writer dropped with pictures still queued writes them before it goes.
    {
        sim::PictureWriter writer;
        ASSERT_TRUE(sim::WritePng(*dcs[0], Temp("dropped.png"), &error, &writer));
    }
    EXPECT_EQ(Bytes(Temp("dropped.png")), Bytes(Temp("direct_0.png")));
}
