// internal.h -- pieces shared by the stand-in host's own source files (not seen by tests or modules).
#pragma once

#include "world.h"

#include <string>
#include <vector>

namespace sim {

// A vessel class configuration file (ClassConfig, world.h).
bool ReadClassConfig(const std::string &path, ClassConfig *out, std::string *error);
// The same from the file's text; `source` names it in messages (the class file reader's fuzz target).
bool ParseClassConfig(const std::string &text, const std::string &source, ClassConfig *out, std::string *error);

// Attitude angles <-> rotation matrix (vessel frame -> global): R = Rx(-a) Ry(-b) Rz(-c).
MATRIX3 MatrixFromArot(const VECTOR3 &arot);
VECTOR3 ArotFromMatrix(const MATRIX3 &R);

// What a vessel's scenario block carried besides the status record.
struct LoadContext {
    Vessel *vessel = nullptr;
    std::vector<std::pair<int, double>> prplevel;  // tank index, level
    bool attached = false;
    int child_point = 0, parent_point = 0;
    std::string parent_name;
    bool have_landed_pos = false;
    double afcmode = -1;
    // Exact saves only: what the integrator carries into the next step (the STEPCARRY line).
    bool have_carry = false;
    VECTOR3 carry_acc{}, carry_arot{};
    std::string source;  // the scenario file, for messages
    const struct ScenarioFile *file = nullptr;  // the vessel's block being read
    std::string error;   // the first host line refused ("FILE:LINE: vessel ...: FIELD: why")
};

// A scenario file handle: lines read from a block, or text written for a vessel or display.
// `lines` hold the lines from the file's line `first_line` on; `last_line` is the number of the
// line last handed out.
struct ScenarioFile : Object {
    ScenarioFile() : Object(Kind::File) {}
    std::vector<std::string> lines;
    int first_line = 1, last_line = 0;
    std::size_t pos = 0;
    std::string current;  // the line handed out (modules may write into it)
    std::vector<char> buf;
    std::vector<std::string> *out = nullptr;
};

// Applies a status record to a vessel (creation, DefSetStateEx, scenario loading).
void ApplyStatus(Vessel *v, const VESSELSTATUS2 *s);
// Applies a plain VESSELSTATUS (oapiCreateVessel, DefSetState).
void ApplyPlainStatus(Vessel *v, const VESSELSTATUS &s);
// The host's own scenario lines of a vessel (VESSEL2::clbkSaveState).
void WriteHostLines(Vessel *v, FILEHANDLE scn);

// Held while the host is inside module code outside a frame; the outermost one gives back the
// module objects of vessels deleted meanwhile.
struct World::Busy {
    explicit Busy(World &w) : w(w) { ++w.busy_; }
    ~Busy()
    {
        if (--w.busy_ == 0 && !w.in_frame_) w.ReapDeleted();
    }
    Busy(const Busy &) = delete;
    Busy &operator=(const Busy &) = delete;
    World &w;
};

// Trims blanks and removes a ';' comment.
std::string CleanLine(const std::string &line);

}  // namespace sim
