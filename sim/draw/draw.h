// draw.h -- the device context as the stand-in host has it: a recorder of drawing operations.
// Modules draw through the GDI calls of windows.h on an HDC that points at one of these; tests read
// the operations, and png.h turns them into a picture. A sketchpad (RecorderSketchpad below) draws
// into a recorder as well; each operation remembers which of the two interfaces it came through.
// Pens are host-wide objects (CreatePen takes no device context); deleting a pen that is still
// selected, or leaving one undeleted after a drawing, is reported in the host log.
#pragma once

#include "Orbitersdk.h"

#include <functional>
#include <string>
#include <vector>

// A pen made by CreatePen (or one of the host's stock/default pens).
struct HPEN__ {
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
    int id = 0;           // creation number, for listings
    bool stock = false;   // the host's own pens are never deleted
    bool deleted = false;
};

// One of the host's default fonts (0, 1, 2), as SelectDefaultFont hands them out.
struct HFONT__ {
    int index = 0;
    int height = 14;       // [pixels]
    int width = 8;         // character cell width [pixels]
    bool vertical = false; // font 2 writes along the left edge (see png.cpp)
};

struct HDC__ {
    struct Op {
        enum Type { TEXT, LINE, RECTANGLE, SET_TEXT_COLOR, SELECT_PEN, SELECT_FONT, DELETE_PEN,
                    CREATE_PEN } type;
        int x = 0, y = 0, x2 = 0, y2 = 0;  // TEXT: x, y; LINE: from (x, y) to (x2, y2); RECTANGLE: l, t, r, b
        std::string text;                  // TEXT; SELECT_PEN of a host pen: "stock" or "default N"
        COLORREF color = 0;                // TEXT: text colour; SET_TEXT_COLOR: the new colour;
                                           // LINE/RECTANGLE/SELECT_PEN/CREATE_PEN: pen colour
        int font = 0;                      // TEXT / SELECT_FONT: default font index
        // LINE/RECTANGLE/SELECT_PEN/DELETE_PEN/CREATE_PEN: the pen's number in this context
        // (0 = the stock pen; other pens 1, 2, ... in order of first appearance in this context,
        // so that listings do not depend on what was drawn before).
        int pen = 0;
        int width = 1;                     // LINE/RECTANGLE/SELECT_PEN/CREATE_PEN: pen width [pixels]
        int style = PS_SOLID;              // same: pen style
        bool sketchpad = false;            // drawn through a sketchpad (else through the device context)
    };

    HDC__(int w, int h);
    ~HDC__();
    HDC__(const HDC__ &) = delete;  // a context registers itself with the host while it lives
    HDC__ &operator=(const HDC__ &) = delete;

    int width, height;
    std::vector<Op> ops;
    COLORREF text_color = RGB(0, 255, 0);
    COLORREF bk_color = 0;
    int bk_mode = 1;
    HPEN__ *pen;          // currently selected
    HFONT__ *font;        // currently selected
    int cur_x = 0, cur_y = 0;
    std::vector<std::string> problems;  // misuse found while drawing (also logged)
    std::vector<const HPEN__ *> pen_order;  // pens by their number in this context (number i+1)
    std::vector<HPEN__ *> created;          // pens made during the current drawing
    std::vector<std::string> spare_texts;   // the room of the last drawing's texts, for the next

    // Begins a new drawing on this context: as freshly made, its operations gone, the room they
    // took kept (a display drawn every frame then draws without asking for memory).
    void Restart();

    // The pen's number in this context (see Op::pen), given on first appearance.
    int PenNumber(const HPEN__ *p);

    // Ends a drawing: pens created since this context began and not deleted are reported.
    void Finish();

    // Listing of the operations, one per line, each ended by the interface it came through, "(dc)"
    // or "(sketchpad)"; what corvane-sim writes beside a snapshot.
    std::string Listing() const;
    // Texts drawn, in order (tests).
    std::vector<std::string> Texts() const;
    const Op *FindText(const std::string &text) const;  // first TEXT op with exactly this text
};

namespace sim {
typedef ::HDC__ DrawRecorder;

// The sketchpad the host hands to a VESSEL3 head-up display callback, drawing into a recorder with
// the recorder's state (text colour, font, pen), so that a picture drawn through it is the same as
// one drawn through the device context. With the built-in graphics client the sketchpad wraps a
// device context and GetDC gives out the recorder itself; an external client's sketchpad has none:
// GetDC returns NULL and calls `on_obsolete_dc` (where that client logs the call).
class RecorderSketchpad : public oapi::Sketchpad {
public:
    RecorderSketchpad(HDC__ *rec, bool gives_dc, std::function<void()> on_obsolete_dc = nullptr);
    DWORD SetTextColor(DWORD col) override;
    bool Text(int x, int y, const char *str, int len) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Rectangle(int x0, int y0, int x1, int y1) override;
    HDC GetDC() override;

private:
    void MarkFrom(size_t first);  // the operations from `first` on came through this sketchpad
    HDC__ *rec_;
    bool gives_dc_;
    std::function<void()> on_obsolete_dc_;
};

// The host's default pens and fonts (shared by all contexts). An index out of range gives
// font 0 / pen 0. The stock pen is the one a fresh context holds (green, 1 pixel).
constexpr int kDefaultFontCount = 3;
constexpr int kDefaultPenCount = 6;  // green, yellow, white, grey, red, light blue
HFONT__ *DefaultFont(int index);
HPEN__ *StockPen();
HPEN__ *DefaultPen(int index);
// True for a pen record the host issued (deleted ones included), without dereferencing `p`.
bool IsPen(const void *p);
// True for a device context that is alive now.
bool IsLiveContext(const void *dc);
// Where misuse reports go (the world's log when a world exists, else standard error).
void ReportDrawProblem(const std::string &text);
}  // namespace sim
