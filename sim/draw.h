// draw.h -- the device context as the stand-in host has it: a recorder of drawing operations.
// Modules draw through the GDI calls of windows.h on an HDC that points at one of these; tests read
// the operations, and png.h turns them into a picture. Pens are host-wide objects (CreatePen takes
// no device context); deleting a pen that is still selected, or leaving one undeleted after a
// drawing, is reported in the host log.
#pragma once

#include "Orbitersdk.h"

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
        enum Type { TEXT, LINE, RECTANGLE, SET_TEXT_COLOR, SELECT_PEN, SELECT_FONT, DELETE_PEN } type;
        int x = 0, y = 0, x2 = 0, y2 = 0;  // TEXT: x, y; LINE: from (x, y) to (x2, y2); RECTANGLE: l, t, r, b
        std::string text;                  // TEXT
        COLORREF color = 0;                // TEXT: text colour; LINE/RECTANGLE/SELECT_PEN: pen colour
        int font = 0;                      // TEXT / SELECT_FONT: default font index
        int pen = 0;                       // LINE/RECTANGLE/SELECT_PEN/DELETE_PEN: pen id (0 = stock)
    };

    HDC__(int w, int h);
    ~HDC__();

    int width, height;
    std::vector<Op> ops;
    COLORREF text_color = RGB(0, 255, 0);
    COLORREF bk_color = 0;
    int bk_mode = 1;
    HPEN__ *pen;          // currently selected
    HFONT__ *font;        // currently selected
    int cur_x = 0, cur_y = 0;
    std::vector<std::string> problems;  // misuse found while drawing (also logged)

    // Ends a drawing: pens created since this context began and not deleted are reported.
    void Finish();

    // Listing of the operations, one per line (what corvane-sim writes beside a snapshot).
    std::string Listing() const;
    // Texts drawn, in order (tests).
    std::vector<std::string> Texts() const;
    const Op *FindText(const std::string &text) const;  // first TEXT op with exactly this text
};

namespace sim {
typedef ::HDC__ DrawRecorder;

// The host's default pens and fonts (shared by all contexts).
HFONT__ *DefaultFont(int index);
HPEN__ *StockPen();
HPEN__ *DefaultPen(int index);
// Where misuse reports go (the world's log when a world exists, else standard error).
void ReportDrawProblem(const std::string &text);
}  // namespace sim
