// png.h -- pictures of what the pilot sees: a recorder's operations drawn into a PNG image, and
// the operation listing written beside it.
#pragma once

#include "draw.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;

namespace sim {

class PictureWriter;

// Renders a recorder's operations to a PNG of the recorder's size: a black background (a HUD too:
// it is drawn as a coloured overlay), TEXT in its colour and font, LINE and RECTANGLE outlines with
// their pen's colour, width and style. False with a message when the file cannot be written.
// With a writer, the drawing is done at once and the encoding and writing are left to it (the
// result false only for a picture that cannot be made).
bool WritePng(const HDC__ &rec, const std::string &path, std::string *error, PictureWriter *writer = nullptr);

// Pictures encoded and written on a thread of their own, so that a run flies on while its PNGs are
// compressed: each file is the same as written at once, and Finish waits for all of them. The thread
// starts with the first picture (a run without pictures, a forked campaign mission, has none).
class PictureWriter {
public:
    PictureWriter() = default;
    PictureWriter(const PictureWriter &) = delete;
    PictureWriter &operator=(const PictureWriter &) = delete;
    ~PictureWriter();  // waits for the pictures still queued

    // Takes the surface (an image surface, drawn and flushed) and writes it as a PNG at `path`.
    void Write(cairo_surface_t *surface, const std::string &path);
    // Waits until every picture is written; the messages of those that could not be, in their order.
    std::vector<std::string> Finish();

private:
    struct Job {
        cairo_surface_t *surface;
        std::string path;
    };
    void Work();

    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Job> jobs_;
    std::vector<std::string> errors_;
    bool busy_ = false, stop_ = false;
    std::thread thread_;
};

// Encodes an image surface as a PNG and writes it checked to the end (temporary file and rename).
bool WriteSurfacePng(cairo_surface_t *surface, const std::string &path, std::string *error);
// Draws every printable character in each of the host's fonts once and throws the drawing away: a
// run that will take pictures with text readies the fonts while it loads.
void PrepareText();
// The listing beside a snapshot: rec.Listing() written to `path`.
bool WriteListing(const HDC__ &rec, const std::string &path, std::string *error);

}  // namespace sim
