// png.h -- pictures of what the pilot sees: a recorder's operations drawn into a PNG image, and
// the operation listing written beside it.
#pragma once

#include "draw.h"

#include <string>

namespace sim {

// Renders a recorder's operations to a PNG of the recorder's size: a black background (a HUD too:
// it is drawn as a coloured overlay), TEXT in its colour and font, LINE and RECTANGLE outlines with
// their pen's colour, width and style. False with a message when the file cannot be written.
bool WritePng(const HDC__ &rec, const std::string &path, std::string *error);
// The listing beside a snapshot: rec.Listing() written to `path`.
bool WriteListing(const HDC__ &rec, const std::string &path, std::string *error);

}  // namespace sim
