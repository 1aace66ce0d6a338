// png.cpp -- draws a recorder's operations with cairo and writes them as a PNG image.
//
// Text: GDI places TextOutA's (x, y) at the top-left corner of the character cell. Each default
// font is DejaVu Sans Mono scaled so that its line (ascent + descent) is the font's cell height and
// its advance the cell width, so text covers exactly the cells the modules lay out by; the baseline
// lies one scaled ascent below y.
//
// Font 2 is the host's font for labels along the left edge of a display. It is drawn the way a
// GDI font with an escapement of 90 degrees is: the text is rotated 90 degrees counter-clockwise
// about its (x, y), so it reads upward starting at y, and the cell that would lie below the text
// lies to the right of x instead. A label at (0, y) thus occupies the strip from x = 0 to the cell
// height, and from y upward by its length.
#include "png.h"

#include "textio.h"

#include <cairo.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxSide = 16384;  // [pixels] larger pictures are refused
constexpr int kWarmUpWidth = 1024, kWarmUpHeight = 64;  // [pixels] the text drawn once while a run loads
constexpr const char *kFontFace = "DejaVu Sans Mono";
constexpr double kDash[] = {6, 3};  // PS_DASH [pixels]
constexpr double kDot[] = {1, 2};   // PS_DOT [pixels]

void SetColor(cairo_t *cr, COLORREF c)
{
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

// Modules write 8-bit text (the Windows code page); cairo wants UTF-8. Bytes above 0x7f are taken
// as Latin-1, which agrees with the Windows code page for the characters a display shows.
std::string ToUtf8(const std::string &text)
{
    std::string out;
    for (unsigned char ch : text) {
        if (ch < 0x80) {
            out += static_cast<char>(ch);
        } else {
            out += static_cast<char>(0xC0 | (ch >> 6));
            out += static_cast<char>(0x80 | (ch & 0x3F));
        }
    }
    return out;
}

// Sets the pen for an outline; false when the pen draws nothing.
bool SetPen(cairo_t *cr, const HDC__::Op &op)
{
    if (op.style == PS_NULL) return false;
    SetColor(cr, op.color);
    cairo_set_line_width(cr, op.width < 1 ? 1 : op.width);
    if (op.style == PS_DASH) {
        cairo_set_dash(cr, kDash, 2, 0);
    } else if (op.style == PS_DOT) {
        cairo_set_dash(cr, kDot, 2, 0);
    } else {
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    return true;
}

cairo_status_t AppendPng(void *closure, const unsigned char *data, unsigned int length)
{
    static_cast<std::string *>(closure)->append(reinterpret_cast<const char *>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// Odd widths are centred on pixel centres so that 1-pixel lines stay crisp.
double PixelOffset(const HDC__::Op &op) { return (op.width < 1 || op.width % 2 == 1) ? 0.5 : 0.0; }

void DrawText(cairo_t *cr, const HDC__::Op &op, const cairo_font_extents_t &unit)
{
    const HFONT__ *font = DefaultFont(op.font);
    const double sy = font->height / (unit.ascent + unit.descent);
    const double sx = font->width / unit.max_x_advance;
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, sx, sy);
    cairo_set_font_matrix(cr, &m);
    SetColor(cr, op.color);
    cairo_save(cr);
    cairo_translate(cr, op.x, op.y);
    if (font->vertical) cairo_rotate(cr, -kPi / 2);  // counter-clockwise on the screen (y down)
    cairo_move_to(cr, 0, unit.ascent * sy);
    cairo_show_text(cr, ToUtf8(op.text).c_str());
    cairo_restore(cr);
}

void DrawLine(cairo_t *cr, const HDC__::Op &op)
{
    if (!SetPen(cr, op)) return;
    const double o = PixelOffset(op);
    // A segment of zero length (the first of a track) is drawn as a dot of the pen's width.
    const bool dot = op.x == op.x2 && op.y == op.y2;
    cairo_set_line_cap(cr, dot ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT);
    cairo_move_to(cr, op.x + o, op.y + o);
    cairo_line_to(cr, op.x2 + o, op.y2 + o);
    cairo_stroke(cr);
}

void DrawRectangle(cairo_t *cr, const HDC__::Op &op)
{
    if (!SetPen(cr, op)) return;
    // GDI's rectangle covers left..right-1 and top..bottom-1, whichever way round they are given.
    int l = std::min(op.x, op.x2), r = std::max(op.x, op.x2);
    int t = std::min(op.y, op.y2), b = std::max(op.y, op.y2);
    if (r - l < 1 || b - t < 1) return;
    const double o = PixelOffset(op);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    cairo_rectangle(cr, l + o, t + o, r - l - 1, b - t - 1);
    cairo_stroke(cr);
}

// cairo and the font-configuration library it uses keep caches for the whole process; they are
// released at exit so that leak checkers see a clean end. The font library is found in the process
// rather than linked, as nothing else here uses it.
void ReleaseFontCaches()
{
    cairo_debug_reset_static_data();
    if (void *fini = dlsym(RTLD_DEFAULT, "FcFini")) {
        void (*call)(void);
        std::memcpy(&call, &fini, sizeof call);
        call();
    }
}

bool Fail(std::string *error, const std::string &what)
{
    if (error) *error = what;
    return false;
}

// The recording drawn onto a new surface (the caller destroys it; its cairo status tells of a fault).
cairo_surface_t *DrawRecording(const HDC__ &rec, cairo_status_t *status)
{
    static const bool release_registered = std::atexit(ReleaseFontCaches) == 0;
    (void)release_registered;
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, rec.width, rec.height);
    cairo_t *cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);

    cairo_select_font_face(cr, kFontFace, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    // Metrics unhinted (hinting would round them to whole pixels at the reference size),
    // measured at a large size and brought to a size of 1.
    cairo_font_options_t *options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    constexpr double kReferenceSize = 100;
    cairo_set_font_size(cr, kReferenceSize);
    cairo_font_extents_t unit;
    cairo_font_extents(cr, &unit);
    unit.ascent /= kReferenceSize;
    unit.descent /= kReferenceSize;
    unit.max_x_advance /= kReferenceSize;
    if (!(unit.ascent + unit.descent > 0) || !(unit.max_x_advance > 0)) {
        unit.ascent = 0.8;  // no usable font metrics: a plausible monospace cell
        unit.descent = 0.2;
        unit.max_x_advance = 0.6;
    }

    for (const HDC__::Op &op : rec.ops) {
        switch (op.type) {
        case HDC__::Op::TEXT: DrawText(cr, op, unit); break;
        case HDC__::Op::LINE: DrawLine(cr, op); break;
        case HDC__::Op::RECTANGLE: DrawRectangle(cr, op); break;
        default: break;  // state changes are already folded into the drawing operations
        }
    }

    *status = cairo_status(cr);
    cairo_destroy(cr);
    return surface;
}

}  // namespace

bool WritePng(const HDC__ &rec, const std::string &path, std::string *error, PictureWriter *writer)
{
    if (rec.width < 1 || rec.height < 1 || rec.width > kMaxSide || rec.height > kMaxSide) {
        return Fail(error, path + ": cannot make a picture of " + std::to_string(rec.width) + " x " +
                               std::to_string(rec.height) + " pixels");
    }
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    cairo_surface_t *surface = DrawRecording(rec, &status);
    if (status != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return Fail(error, path + ": cannot write the picture (" + cairo_status_to_string(status) + ")");
    }
    cairo_surface_flush(surface);
    if (writer) {
        writer->Write(surface, path);
        return true;
    }
    const bool ok = WriteSurfacePng(surface, path, error);
    cairo_surface_destroy(surface);
    return ok;
}

void PrepareText()
{
    // Every printable character in each of the host's fonts, once: the font library reads its
    // configuration and the glyphs are made while the run loads, not in the frame of its first
    // picture with text.
    std::string printable;
    for (char c = ' '; c <= '~'; ++c) printable += c;
    HDC__ rec(kWarmUpWidth, kWarmUpHeight);
    for (int f = 0; f < kDefaultFontCount; ++f) {
        HDC__::Op op;
        op.type = HDC__::Op::TEXT;
        op.y = 20 * f;
        op.text = printable;
        op.font = f;
        rec.ops.push_back(op);
    }
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(DrawRecording(rec, &status));
}

bool WriteSurfacePng(cairo_surface_t *surface, const std::string &path, std::string *error)
{
    // The picture is encoded in memory and then written checked to the end (a full disk is an
    // error with its reason, never a silently short file).
    std::string png;
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, AppendPng, &png);
    if (status != CAIRO_STATUS_SUCCESS) {
        return Fail(error, path + ": cannot write the picture (" + cairo_status_to_string(status) + ")");
    }
    return WriteTextFile(path, png, error);
}

void PictureWriter::Write(cairo_surface_t *surface, const std::string &path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { Work(); });
    jobs_.push_back({surface, path});
    wake_.notify_one();
}

std::vector<std::string> PictureWriter::Finish()
{
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
    std::vector<std::string> errors;
    errors.swap(errors_);
    return errors;
}

PictureWriter::~PictureWriter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        wake_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
}

void PictureWriter::Work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopped with nothing left
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        std::string e;
        const bool ok = WriteSurfacePng(job.surface, job.path, &e);
        cairo_surface_destroy(job.surface);
        lock.lock();
        busy_ = false;
        if (!ok) errors_.push_back(e);
        if (jobs_.empty()) idle_.notify_all();
    }
}

bool WriteListing(const HDC__ &rec, const std::string &path, std::string *error)
{
    return WriteTextFile(path, rec.Listing(), error);
}

}  // namespace sim
