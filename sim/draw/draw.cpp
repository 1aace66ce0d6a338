// draw.cpp -- the device-context recorder and the GDI calls of windows.h that draw into it.
//
// Pens are host-wide: CreatePen takes no device context, and a module may create a pen in one
// drawing and delete it in another. Every pen record lives until the process ends (they are a
// few bytes each), so a stale pen handle still points at a readable record marked deleted, and
// a foreign pointer is recognised by not being in the registry (it is never dereferenced).
//
// A context is "active" from its construction or its latest GDI call until Finish(): pens created
// meanwhile belong to its drawing, their creation and deletion appear in its operations, and
// Finish() reports those still undeleted.
#include "draw.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <unordered_set>
#include <utility>

namespace {

// Fonts of the host, sized for a 256 x 256 display: font 0 is the standard cell of 8 x 14
// pixels (the character size MFDs lay their text out by), font 1 a smaller one for titles and
// axis labels, font 2 the same size written upward along the left edge.
struct FontSpec {
    int height, width;  // [pixels]
    bool vertical;
};
constexpr FontSpec kFonts[sim::kDefaultFontCount] = {
    {14, 8, false},
    {10, 5, false},
    {10, 5, true},
};

// Pens of the host: the stock pen a fresh context holds, and the display pens of
// MFD::SelectDefaultPen.
constexpr COLORREF kStockPenColor = RGB(0, 255, 0);
constexpr COLORREF kDefaultPenColors[sim::kDefaultPenCount] = {
    RGB(0, 255, 0),      // 0 green
    RGB(255, 255, 0),    // 1 yellow
    RGB(255, 255, 255),  // 2 white
    RGB(136, 136, 136),  // 3 grey
    RGB(255, 64, 64),    // 4 red
    RGB(136, 136, 255),  // 5 light blue
};

constexpr COLORREF kClrInvalid = 0xFFFFFFFFu;  // what SetTextColor/SetBkColor return on failure

struct Registry {
    HFONT__ fonts[sim::kDefaultFontCount];
    HPEN__ stock;
    HPEN__ defaults[sim::kDefaultPenCount];
    std::deque<HPEN__> pens;  // every pen CreatePen made; a deque keeps their addresses
    std::unordered_set<const void *> pen_set;
    std::vector<HDC__ *> live;
    HDC__ *active = nullptr;
    int next_pen_id = 1;

    Registry()
    {
        for (int i = 0; i < sim::kDefaultFontCount; ++i) {
            fonts[i].index = i;
            fonts[i].height = kFonts[i].height;
            fonts[i].width = kFonts[i].width;
            fonts[i].vertical = kFonts[i].vertical;
        }
        stock.color = kStockPenColor;
        stock.stock = true;
        stock.id = 0;
        pen_set.insert(&stock);
        for (int i = 0; i < sim::kDefaultPenCount; ++i) {
            defaults[i].color = kDefaultPenColors[i];
            defaults[i].stock = true;
            defaults[i].id = -1 - i;
            pen_set.insert(&defaults[i]);
        }
    }
};

// Never destroyed: contexts may outlive static destruction order, and the records must stay
// readable for stale handles. Reachable through this pointer, so leak checkers accept it.
Registry &R()
{
    static Registry *registry = new Registry;
    return *registry;
}

HDC__ *LiveContext(HDC hdc, const char *call)
{
    if (!hdc) return nullptr;
    if (!sim::IsLiveContext(hdc)) {
        sim::ReportDrawProblem(std::string(call) + ": device context is not a live drawing");
        return nullptr;
    }
    R().active = hdc;
    return hdc;
}

void Problem(HDC__ *dc, const std::string &text)
{
    if (dc) dc->problems.push_back(text);
    sim::ReportDrawProblem(text);
}

HFONT__ *AsFont(const void *obj)
{
    Registry &r = R();
    for (HFONT__ &f : r.fonts) {
        if (&f == obj) return &f;
    }
    return nullptr;
}

int DefaultPenIndex(const HPEN__ *p)
{
    Registry &r = R();
    for (int i = 0; i < sim::kDefaultPenCount; ++i) {
        if (&r.defaults[i] == p) return i;
    }
    return -1;
}

HDC__::Op MakeOp(HDC__::Op::Type type)
{
    HDC__::Op op;
    op.type = type;
    return op;
}

HDC__::Op PenOp(HDC__ *dc, HDC__::Op::Type type, const HPEN__ *p)
{
    HDC__::Op op = MakeOp(type);
    op.pen = dc->PenNumber(p);
    op.color = p->color;
    op.width = p->width;
    op.style = p->style;
    return op;
}

void AppendColor(std::string &out, COLORREF c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
    out += buf;
}

void AppendQuoted(std::string &out, const std::string &text)
{
    out += '"';
    for (unsigned char ch : text) {
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += static_cast<char>(ch);
        } else if (ch < 0x20 || ch >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", ch);
            out += buf;
        } else {
            out += static_cast<char>(ch);
        }
    }
    out += '"';
}

const char *StyleName(int style)
{
    switch (style) {
    case PS_SOLID: return "";
    case PS_DASH: return " dash";
    case PS_DOT: return " dot";
    case PS_NULL: return " null";
    default: return " style?";
    }
}

}  // namespace

// --- the recorder -------------------------------------------------------------------------

HDC__::HDC__(int w, int h) : width(w), height(h), pen(sim::StockPen()), font(sim::DefaultFont(0))
{
    Registry &r = R();
    r.live.push_back(this);
    r.active = this;
}

HDC__::~HDC__()
{
    Registry &r = R();
    for (size_t i = 0; i < r.live.size(); ++i) {
        if (r.live[i] == this) {
            r.live.erase(r.live.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    if (r.active == this) r.active = nullptr;
}

void HDC__::Restart()
{
    for (Op &op : ops)
        if (!op.text.empty()) spare_texts.push_back(std::move(op.text));
    ops.clear();
    text_color = RGB(0, 255, 0);
    bk_color = 0;
    bk_mode = 1;
    pen = sim::StockPen();
    font = sim::DefaultFont(0);
    cur_x = cur_y = 0;
    problems.clear();
    pen_order.clear();
    created.clear();
    R().active = this;
}

int HDC__::PenNumber(const HPEN__ *p)
{
    if (p == sim::StockPen()) return 0;
    for (size_t i = 0; i < pen_order.size(); ++i) {
        if (pen_order[i] == p) return static_cast<int>(i) + 1;
    }
    pen_order.push_back(p);
    return static_cast<int>(pen_order.size());
}

void HDC__::Finish()
{
    for (HPEN__ *p : created) {
        if (!p->deleted) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "pen %d left undeleted after drawing", PenNumber(p));
            Problem(this, buf);
        }
    }
    created.clear();
    if (R().active == this) R().active = nullptr;
}

std::string HDC__::Listing() const
{
    std::string out;
    char buf[96];
    for (const Op &op : ops) {
        switch (op.type) {
        case Op::TEXT:
            std::snprintf(buf, sizeof buf, "text %d %d ", op.x, op.y);
            out += buf;
            AppendColor(out, op.color);
            std::snprintf(buf, sizeof buf, " f%d ", op.font);
            out += buf;
            AppendQuoted(out, op.text);
            break;
        case Op::LINE:
        case Op::RECTANGLE:
            std::snprintf(buf, sizeof buf, "%s %d %d %d %d ", op.type == Op::LINE ? "line" : "rect",
                          op.x, op.y, op.x2, op.y2);
            out += buf;
            AppendColor(out, op.color);
            std::snprintf(buf, sizeof buf, " pen%d", op.pen);
            out += buf;
            break;
        case Op::SET_TEXT_COLOR:
            out += "textcolor ";
            AppendColor(out, op.color);
            break;
        case Op::SELECT_PEN:
            std::snprintf(buf, sizeof buf, "select-pen %d", op.pen);
            out += buf;
            if (!op.text.empty()) {
                out += ' ';
                out += op.text;
                out += ' ';
                AppendColor(out, op.color);
            }
            break;
        case Op::SELECT_FONT:
            std::snprintf(buf, sizeof buf, "font %d", op.font);
            out += buf;
            break;
        case Op::DELETE_PEN:
            std::snprintf(buf, sizeof buf, "delete-pen %d", op.pen);
            out += buf;
            break;
        case Op::CREATE_PEN:
            std::snprintf(buf, sizeof buf, "pen+ %d ", op.pen);
            out += buf;
            AppendColor(out, op.color);
            std::snprintf(buf, sizeof buf, " w%d%s", op.width, StyleName(op.style));
            out += buf;
            break;
        }
        out += op.sketchpad ? " (sketchpad)\n" : " (dc)\n";
    }
    return out;
}

std::vector<std::string> HDC__::Texts() const
{
    std::vector<std::string> texts;
    for (const Op &op : ops) {
        if (op.type == Op::TEXT) texts.push_back(op.text);
    }
    return texts;
}

const HDC__::Op *HDC__::FindText(const std::string &text) const
{
    for (const Op &op : ops) {
        if (op.type == Op::TEXT && op.text == text) return &op;
    }
    return nullptr;
}

// --- the host's pens and fonts --------------------------------------------------------------

namespace sim {

HFONT__ *DefaultFont(int index)
{
    if (index < 0 || index >= kDefaultFontCount) index = 0;
    return &R().fonts[index];
}

HPEN__ *StockPen() { return &R().stock; }

HPEN__ *DefaultPen(int index)
{
    if (index < 0 || index >= kDefaultPenCount) index = 0;
    return &R().defaults[index];
}

bool IsPen(const void *p) { return p && R().pen_set.count(p) != 0; }

bool IsLiveContext(const void *dc)
{
    if (!dc) return false;
    for (const HDC__ *live : R().live) {
        if (live == dc) return true;
    }
    return false;
}

// The world's log takes these when the world is linked in; this default serves builds without it.
__attribute__((weak)) void ReportDrawProblem(const std::string &text)
{
    std::fprintf(stderr, "drawing: %s\n", text.c_str());
}

}  // namespace sim

// --- the sketchpad ---------------------------------------------------------------------------

// The host's base class (DrawAPI.cpp): it keeps the surface; its Rectangle is an outline drawn
// with MoveTo and LineTo, for clients that have no rectangle of their own.
namespace oapi {
Sketchpad::Sketchpad(SURFHANDLE s) : surf(s) {}
Sketchpad::~Sketchpad() {}
void Sketchpad::Rectangle(int x0, int y0, int x1, int y1)
{
    MoveTo(x0, y0);
    LineTo(x1, y0);
    LineTo(x1, y1);
    LineTo(x0, y1);
    LineTo(x0, y0);
}
}  // namespace oapi

namespace sim {

// The head-up display's surface is the client's render target, which modules get no handle of.
RecorderSketchpad::RecorderSketchpad(HDC__ *rec, bool gives_dc, std::function<void()> on_obsolete_dc)
    : oapi::Sketchpad(nullptr), rec_(rec), gives_dc_(gives_dc), on_obsolete_dc_(std::move(on_obsolete_dc))
{
}

void RecorderSketchpad::MarkFrom(size_t first)
{
    for (size_t i = first; i < rec_->ops.size(); ++i) rec_->ops[i].sketchpad = true;
}

// Each call draws as the built-in client's sketchpad does (GDIClient.cpp, GDIPad): through the GDI
// call of the same name on its device context. An external client draws the same thing its own way.
DWORD RecorderSketchpad::SetTextColor(DWORD col)
{
    const size_t first = rec_->ops.size();
    const COLORREF previous = ::SetTextColor(rec_, col);
    MarkFrom(first);
    return previous;
}

bool RecorderSketchpad::Text(int x, int y, const char *str, int len)
{
    const size_t first = rec_->ops.size();
    const bool ok = TextOutA(rec_, x, y, str, len) != FALSE;
    MarkFrom(first);
    return ok;
}

void RecorderSketchpad::MoveTo(int x, int y) { MoveToEx(rec_, x, y, nullptr); }

void RecorderSketchpad::LineTo(int x, int y)
{
    const size_t first = rec_->ops.size();
    ::LineTo(rec_, x, y);
    MarkFrom(first);
}

void RecorderSketchpad::Rectangle(int x0, int y0, int x1, int y1)
{
    const size_t first = rec_->ops.size();
    ::Rectangle(rec_, x0, y0, x1, y1);
    MarkFrom(first);
}

// An external client (D3D9Pad::GetDC in OVP/D3D9Client) returns NULL and logs the call, once for
// each surface.
HDC RecorderSketchpad::GetDC()
{
    if (gives_dc_) return rec_;
    if (on_obsolete_dc_) on_obsolete_dc_();
    return nullptr;
}

}  // namespace sim

// --- GDI ------------------------------------------------------------------------------------

extern "C" {

COLORREF SetTextColor(HDC hdc, COLORREF color)
{
    HDC__ *dc = LiveContext(hdc, "SetTextColor");
    if (!dc) return kClrInvalid;
    COLORREF previous = dc->text_color;
    dc->text_color = color;
    HDC__::Op op = MakeOp(HDC__::Op::SET_TEXT_COLOR);
    op.color = color;
    dc->ops.push_back(op);
    return previous;
}

COLORREF SetBkColor(HDC hdc, COLORREF color)
{
    HDC__ *dc = LiveContext(hdc, "SetBkColor");
    if (!dc) return kClrInvalid;
    COLORREF previous = dc->bk_color;
    dc->bk_color = color;
    return previous;
}

int SetBkMode(HDC hdc, int mode)
{
    HDC__ *dc = LiveContext(hdc, "SetBkMode");
    if (!dc) return 0;
    if (mode != TRANSPARENT && mode != OPAQUE) {
        Problem(dc, "SetBkMode: unknown mode " + std::to_string(mode));
        return 0;
    }
    int previous = dc->bk_mode;
    dc->bk_mode = mode;
    return previous;
}

BOOL TextOutA(HDC hdc, int x, int y, const char *s, int n)
{
    HDC__ *dc = LiveContext(hdc, "TextOutA");
    if (!dc || !s || n < 0) return FALSE;
    if (n == 0) return TRUE;
    // Windows would read n characters whatever the text holds; a length beyond the terminator
    // is a fault in the caller, drawn here only up to the terminator.
    size_t len = strnlen(s, static_cast<size_t>(n));
    if (len < static_cast<size_t>(n)) {
        Problem(dc, "TextOutA: length " + std::to_string(n) + " runs past the end of \"" +
                        std::string(s, len) + "\"");
    }
    HDC__::Op op = MakeOp(HDC__::Op::TEXT);
    op.x = x;
    op.y = y;
    if (!dc->spare_texts.empty()) {
        op.text = std::move(dc->spare_texts.back());
        dc->spare_texts.pop_back();
    }
    op.text.assign(s, len);
    op.color = dc->text_color;
    op.font = dc->font->index;
    dc->ops.push_back(std::move(op));
    return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    HDC__ *dc = LiveContext(hdc, "Rectangle");
    if (!dc) return FALSE;
    HDC__::Op op = PenOp(dc, HDC__::Op::RECTANGLE, dc->pen);
    op.x = left;
    op.y = top;
    op.x2 = right;
    op.y2 = bottom;
    dc->ops.push_back(op);
    return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT prev)
{
    HDC__ *dc = LiveContext(hdc, "MoveToEx");
    if (!dc) return FALSE;
    if (prev) {
        prev->x = dc->cur_x;
        prev->y = dc->cur_y;
    }
    dc->cur_x = x;
    dc->cur_y = y;
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y)
{
    HDC__ *dc = LiveContext(hdc, "LineTo");
    if (!dc) return FALSE;
    HDC__::Op op = PenOp(dc, HDC__::Op::LINE, dc->pen);
    op.x = dc->cur_x;
    op.y = dc->cur_y;
    op.x2 = x;
    op.y2 = y;
    dc->ops.push_back(op);
    dc->cur_x = x;
    dc->cur_y = y;
    return TRUE;
}

HPEN CreatePen(int style, int width, COLORREF color)
{
    Registry &r = R();
    r.pens.emplace_back();
    HPEN__ *p = &r.pens.back();
    p->style = style;
    p->width = width < 1 ? 1 : width;  // GDI draws a width of 0 one pixel wide
    p->color = color;
    p->id = r.next_pen_id++;
    r.pen_set.insert(p);
    if (HDC__ *dc = r.active) {
        dc->created.push_back(p);
        dc->ops.push_back(PenOp(dc, HDC__::Op::CREATE_PEN, p));
    }
    return p;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj)
{
    HDC__ *dc = LiveContext(hdc, "SelectObject");
    if (!dc) return nullptr;
    if (HFONT__ *f = AsFont(obj)) {
        HFONT__ *previous = dc->font;
        dc->font = f;
        HDC__::Op op = MakeOp(HDC__::Op::SELECT_FONT);
        op.font = f->index;
        dc->ops.push_back(op);
        return previous;
    }
    if (!sim::IsPen(obj)) {
        Problem(dc, "SelectObject: not a pen or font of this host");
        return nullptr;
    }
    HPEN__ *p = static_cast<HPEN__ *>(obj);
    if (p->deleted) {
        Problem(dc, "SelectObject: selecting a deleted pen (pen " + std::to_string(dc->PenNumber(p)) +
                        ")");
        return nullptr;
    }
    HPEN__ *previous = dc->pen;
    dc->pen = p;
    HDC__::Op op = PenOp(dc, HDC__::Op::SELECT_PEN, p);
    if (p == sim::StockPen()) {
        op.text = "stock";
    } else if (int i = DefaultPenIndex(p); i >= 0) {
        op.text = "default " + std::to_string(i);
    }
    dc->ops.push_back(op);
    return previous;
}

BOOL DeleteObject(HGDIOBJ obj)
{
    Registry &r = R();
    if (!obj) {
        Problem(r.active, "DeleteObject: null handle");
        return FALSE;
    }
    if (AsFont(obj)) return TRUE;  // the host's fonts are stock objects: deleting them does nothing
    if (!sim::IsPen(obj)) {
        Problem(r.active, "DeleteObject: not a pen or font of this host");
        return FALSE;
    }
    HPEN__ *p = static_cast<HPEN__ *>(obj);
    if (p->stock) return TRUE;
    HDC__ *holder = nullptr;
    for (HDC__ *dc : r.live) {
        if (dc->pen == p) holder = dc;
    }
    if (holder) {
        // Windows refuses this (and the pen then stays allocated).
        Problem(holder, "deleting a pen that is still selected (pen " +
                            std::to_string(holder->PenNumber(p)) + ")");
        return FALSE;
    }
    HDC__ *where = r.active;
    if (p->deleted) {
        Problem(where, "DeleteObject: pen " + std::to_string(where ? where->PenNumber(p) : p->id) +
                           " was already deleted");
        return FALSE;
    }
    p->deleted = true;
    // The deletion shows in every live drawing that knows the pen, else in the active one.
    bool recorded = false;
    for (HDC__ *dc : r.live) {
        for (const HPEN__ *known : dc->pen_order) {
            if (known == p) {
                dc->ops.push_back(PenOp(dc, HDC__::Op::DELETE_PEN, p));
                recorded = true;
                break;
            }
        }
    }
    if (!recorded && where) where->ops.push_back(PenOp(where, HDC__::Op::DELETE_PEN, p));
    return TRUE;
}

}  // extern "C"
