// separation.h -- what happens to a vessel in the frames around the moment it is attached to a
// parent or let go: its position and velocity relative to the parent, frame by frame, and the
// velocity the host gives a released child (the parent's rotation at the child's origin). Both
// hosts' harnesses keep it, so that a jump at a release or a catch shows in either.
//
// Fed twice a frame: at its start, before any input or pre-step acts (the first plugin's pre-step),
// and at the end of the post-steps (a plugin's post-step: the vessels' callbacks of the frame are
// done, and the state read is the one the frame started from, with whatever the pre-steps wrote
// into it). A child let go before the parent's own pre-step sets its turn rate gets the rotation
// at the frame's start, one let go after it the rotation the post-step reads. Public API only.
#pragma once

#include "host_api.h"

#include <string>

namespace harness {

class SeparationLog {
public:
    // The CSV header of Text().
    static const char *Header();
    // The frame's start: where each followed child is, as the last frame published it, and the
    // rotation an attached one would be given if let go now.
    void PreStep();
    // One frame: finds every vessel whose parent changed since the last frame and writes the
    // two frames before, the frame it was seen in (k = 0) and the three after.
    void PostStep(double simt);
    // The rows so far (the header first).
    const std::string &Text() const { return text_; }

private:
    static constexpr int kTracks = 16;    // vessels followed at once
    static constexpr int kBefore = 2;     // frames kept before an event
    static constexpr int kAfter = 3;      // frames written after it
    struct Sample {
        double t = 0;
        VECTOR3 dpos{}, dvel{}, rot{};    // child - parent, global frame [m, m/s]; R_p (r x w_p) [m/s]
        VECTOR3 rot_start{};              // R_p (r x w_p) at the frame's start [m/s]
        VECTOR3 dpos_start{};             // child - parent at the frame's start, as published [m]
        VECTOR3 up{};                     // the local vertical at the child (global frame, unit)
        double alt = 0;                   // the child's altitude as the host reports it [m]
    };
    struct Track {
        OBJHANDLE child = nullptr, parent = nullptr;  // parent: the present one, or the last while after > 0
        OBJHANDLE mate = nullptr;                     // the parent attached to now (null when free)
        char event[8] = "";
        Sample before[kBefore];
        int filled = 0;                   // valid entries of `before`
        int after = 0;                    // frames still to write after an event
        int k = 0;                        // the next row's frame index
        VECTOR3 rot_start{}, dpos_start{};  // measured at this frame's start
        bool have_start = false;
        bool used = false;
    };
    Track *Find(OBJHANDLE child);
    static bool MeasureStart(OBJHANDLE child, OBJHANDLE parent, VECTOR3 *dpos, VECTOR3 *rot);
    static bool Measure(OBJHANDLE child, OBJHANDLE parent, double t, Sample *out);
    void Row(const Track &tr, const Sample &s, int k);

    Track tracks_[kTracks];
    std::string text_ = Header();
};

}  // namespace harness
