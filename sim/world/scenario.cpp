// scenario.cpp -- scenario files in the simulator's own format: sections, name:class blocks ended by
// END, MFD blocks. The host reads and writes its own vessel lines (status, position, attitude,
// propellant, attachment); a vessel's own lines reach its module through oapiReadScenario_nextline.
#include "internal.h"
#include "textio.h"

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

using namespace sim;

namespace {

std::string Upper(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string FirstWord(const std::string &s)
{
    const auto e = s.find_first_of(" \t");
    return e == std::string::npos ? s : s.substr(0, e);
}

std::string Rest(const std::string &s)
{
    const auto e = s.find_first_of(" \t");
    if (e == std::string::npos) return "";
    const auto b = s.find_first_not_of(" \t", e);
    return b == std::string::npos ? "" : s.substr(b);
}

ScenarioFile *File(FILEHANDLE h) { return As<ScenarioFile>(h, Kind::File); }

struct VesselBlock {
    std::string name, cls;
    int line = 0;                    // the name:class line
    std::vector<std::string> lines;  // the lines after it up to END, blank ones included
};

struct MfdBlock {
    int which = 0;
    int line = 0;        // the BEGIN_MFD line
    std::string mode;    // empty: no MODE line right after TYPE (the display is not restored)
    int mode_line = 0;   // the MODE line: the display reads on from the line after it
};

struct ScenarioText {
    double mjd = -1;
    std::string focus;
    std::vector<VesselBlock> vessels;
    std::vector<MfdBlock> mfds;
    std::vector<std::string> all;  // every line of the file ('\r' removed), for the displays' reads
};

// A number of the scenario text: the whole word, finite.
bool FiniteNumber(const std::string &s, double *v)
{
    if (s.empty()) return false;
    char *end = nullptr;
    *v = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && std::isfinite(*v);
}

// Reads the scenario's sections. The host reads each section on its own (it looks for its
// BEGIN_ line, Config.cpp FindLine); we read the file once, in order, and refuse what we cannot
// place. A plugin's block is `BEGIN_<name>` ... `END` (Orbiter.cpp, the plugins' opcLoadState /
// opcSaveState), the host's own unknown sections end at `END_<name>`: a skipped block ends at
// either.
bool Parse(const std::string &text, const std::string &source, ScenarioText *out, std::string *error)
{
    std::istringstream in(text);
    std::string raw;
    int n = 0;
    auto fail = [&](const std::string &msg) {
        if (error) *error = source + ":" + std::to_string(n) + ": " + msg;
        return false;
    };
    enum { TOP, SKIP, DESC, ENV, FOCUS, SHIPS, VESSEL, MFDB } state = TOP;
    std::string skip_end, stray_end;
    std::string open_kw;  // the section open, and the line that opened it
    int open_line = 0;
    bool want_mode = false;  // the line right after TYPE must be MODE (MfdUser.cpp ReadParams)
    while (std::getline(in, raw)) {
        ++n;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        out->all.push_back(raw);
        const std::string line = CleanLine(raw);
        if (state == VESSEL) {  // a vessel's block: its module reads it, blank lines included
            if (Upper(line) == "END") state = SHIPS;
            else if (Upper(FirstWord(line)) == "END_SHIPS")
                return fail("vessel " + QuoteLine(out->vessels.back().name) + " (line " +
                            std::to_string(out->vessels.back().line) + ") has no END line");
            else
                out->vessels.back().lines.push_back(raw);
            continue;
        }
        if (state == MFDB && want_mode) {
            want_mode = false;
            if (Upper(FirstWord(line)) == "MODE") {
                out->mfds.back().mode = Rest(line);
                out->mfds.back().mode_line = n;
                continue;
            }
        }
        if (state == SKIP || state == DESC) {
            const std::string kw = Upper(FirstWord(line));
            if (kw == skip_end) state = TOP;
            else if (state == SKIP && Upper(line) == "END") state = TOP, stray_end = skip_end;
            continue;
        }
        if (line.empty()) continue;
        const std::string kw = Upper(FirstWord(line));
        switch (state) {
        case TOP:
            open_kw = FirstWord(line);
            open_line = n;
            if (kw == "BEGIN_ENVIRONMENT") state = ENV;
            else if (kw == "BEGIN_FOCUS") state = FOCUS;
            else if (kw == "BEGIN_SHIPS") state = SHIPS;
            else if (kw == "BEGIN_DESC") state = DESC, skip_end = "END_DESC";
            else if (kw == "BEGIN_MFD") {
                MfdBlock m;
                const std::string side = Upper(Rest(line));
                if (side == "LEFT") m.which = 0;
                else if (side == "RIGHT") m.which = 1;
                else return fail("BEGIN_MFD needs Left or Right, found " + QuoteLine(line));
                m.line = n;
                out->mfds.push_back(m);
                state = MFDB;
            } else if (kw.rfind("BEGIN_", 0) == 0) {
                skip_end = "END_" + kw.substr(6);
                state = SKIP;
            } else if (!stray_end.empty() && kw == stray_end) {
                // the END_<name> of a block already ended by END: nothing more
            } else
                return fail("unexpected line outside any section: " + QuoteLine(line));
            if (state != TOP) stray_end.clear();
            break;
        case ENV:
            if (kw == "END_ENVIRONMENT") state = TOP;
            else if (kw == "DATE") {
                std::istringstream d(Rest(line));
                std::string unit, value, more;
                double v;
                if (!(d >> unit >> value) || Upper(unit) != "MJD" || (d >> more) || !FiniteNumber(value, &v) || v < 0)
                    return fail("Date: expected \"Date MJD <days>\" (a finite number of days, not negative), found " +
                                QuoteLine(line));
                out->mjd = v;
            }
            break;
        case FOCUS:
            if (kw == "END_FOCUS") state = TOP;
            else if (kw == "SHIP") out->focus = Rest(line);
            break;
        case MFDB:
            if (kw == "END_MFD") state = TOP;
            else if (kw == "TYPE") want_mode = true;
            // the display's own lines: it reads them itself, from the stream (see LoadScenarioText)
            break;
        case SHIPS:
            if (kw == "END_SHIPS") state = TOP;
            else {
                // A class name never holds a colon (it names a file), a vessel name may.
                const auto colon = line.rfind(':');
                if (colon == std::string::npos || colon == 0 || colon + 1 >= line.size())
                    return fail("expected a vessel line \"name:class\", found " + QuoteLine(line));
                VesselBlock b;
                b.name = line.substr(0, colon);
                b.cls = line.substr(colon + 1);
                b.line = n;
                out->vessels.push_back(b);
                state = VESSEL;
            }
            break;
        case VESSEL:
        case SKIP:
        case DESC:
            break;
        }
    }
    if (state == VESSEL) {
        n = out->vessels.back().line;
        return fail("vessel " + QuoteLine(out->vessels.back().name) + " has no END line");
    }
    if (state != TOP) {
        const std::string closing = state == SKIP || state == DESC ? skip_end
                                    : state == ENV                 ? "END_ENVIRONMENT"
                                    : state == FOCUS               ? "END_FOCUS"
                                    : state == SHIPS               ? "END_SHIPS"
                                                                   : "END_MFD";
        n = open_line;
        return fail("the section " + QuoteLine(open_kw) + " opened here is not closed by " + closing +
                    (state == SKIP ? " or END" : "") + " before the end of the file");
    }
    return true;
}

// A value as the host writes it with `prec` decimals: one that prints as zero is written "0",
// never "-0", so a sign lost or gained in a save and load does not change the text.
double Tidy(double v, int prec)
{
    const double half = 0.5 * std::pow(10.0, -prec);
    return std::fabs(v) < half ? 0.0 : v;
}

// An angle in degrees written with 6 decimals: -180 and 180 are one attitude, written as 180.
double TidyAngle(double deg)
{
    deg = Tidy(deg, 6);
    return deg <= -180.0 + 0.5e-6 ? deg + 360.0 : deg;
}

// A value in fixed notation with the host's decimals, of any length (see FixedText).
std::string Fixed(double v, int prec) { return FixedText(Tidy(v, prec), prec); }

void Put(ScenarioFile *f, const std::string &line)
{
    if (f && f->out) f->out->push_back(line);
}

}  // namespace

// --- scenario line access for modules --------------------------------------------------------
// The host hands a module its scenario file stream (OrbiterAPI.cpp oapiReadScenario_nextline,
// Config.cpp readline and trim_string): each line trimmed of blanks and of a ';' comment, blank
// lines included; false at a line that is "END" (any case) and at the end of the file.
bool oapiReadScenario_nextline(FILEHANDLE scn, char *&line)
{
    ScenarioFile *f = File(scn);
    if (!f || f->pos >= f->lines.size()) return false;
    f->last_line = f->first_line + static_cast<int>(f->pos);
    const std::string l = CleanLine(f->lines[f->pos++]);
    if (Upper(l) == "END") return false;
    f->buf.assign(l.begin(), l.end());
    f->buf.resize(l.size() + 256, '\0');  // room for a module that writes into its line
    line = f->buf.data();
    return true;
}

void oapiWriteScenario_string(FILEHANDLE scn, char *item, char *string)
{
    Put(File(scn), std::string("  ") + (item ? item : "") + " " + (string ? string : ""));
}

void oapiWriteScenario_int(FILEHANDLE scn, char *item, int i)
{
    Put(File(scn), std::string("  ") + (item ? item : "") + " " + std::to_string(i));
}

void oapiWriteScenario_float(FILEHANDLE scn, char *item, double d)
{
    Put(File(scn), std::string("  ") + (item ? item : "") + " " + Fixed(d, 4));
}

void oapiWriteScenario_vec(FILEHANDLE scn, char *item, const VECTOR3 &v)
{
    Put(File(scn), std::string("  ") + (item ? item : "") + " " + Fixed(v.x, 4) + " " + Fixed(v.y, 4) + " " +
                       Fixed(v.z, 4));
}

void oapiWriteLine(FILEHANDLE file, char *line) { Put(File(file), line ? line : ""); }

// --- the host's own vessel lines -------------------------------------------------------------
namespace {

// The host's keywords, matched as prefixes without regard to case, in the host's order
// (Vesselstatus.cpp ParseScenarioLine2, then ParseScenarioLineDirect): "POSITION 1 2" is a POS line.
const char *const kHostKeywords[] = {"STATUS", "POS", "HEADING", "PRPLEVEL", "RPOS", "RVEL", "AROT",
                                     "VROT",   "ALT", "AFCMODE", "ATTACHED"};

// The largest control-surface mode: elevator 1 + rudder 2 + ailerons 4 (SetADCtrlMode).
constexpr long kMaxAfcMode = 7;

// `count` finite numbers at the start of `text`; what follows them is not read (the host reads its
// lines with sscanf).
bool ReadNumbers(const std::string &text, int count, double *v)
{
    const char *p = text.c_str();
    for (int i = 0; i < count; ++i) {
        char *end = nullptr;
        errno = 0;
        v[i] = std::strtod(p, &end);
        if (end == p || !std::isfinite(v[i])) return false;
        p = end;
    }
    return true;
}

// A whole number in [lo, hi]: the whole word, no fraction, no overflow.
bool ReadInteger(const std::string &word, long lo, long hi, long *v)
{
    if (word.empty()) return false;
    char *end = nullptr;
    errno = 0;
    *v = std::strtol(word.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0' && *v >= lo && *v <= hi;
}

}  // namespace

void VESSEL::ParseScenarioLineEx(char *line, void *status) const
{
    if (vessel && vessel->journaling) vessel->Note("ParseScenarioLineEx(\"%s\")", line ? line : "");
    if (!line) return;
    auto *s = static_cast<VESSELSTATUS2 *>(status);
    World *w = World::Current();
    LoadContext *ctx = w ? w->loading : nullptr;
    const std::string l = CleanLine(line);
    const std::string upper = Upper(l);
    std::string kw;
    for (const char *k : kHostKeywords)
        if (upper.compare(0, std::strlen(k), k) == 0) {
            kw = k;
            break;
        }
    // Exact saves (a test option of this host, never the simulator's format) also carry what the
    // integrator takes from one step into the next, which the host keeps in no save (Rigidbody.h
    // acc, arot): a reload then flies on exactly, and what still differs is module state.
    if (kw.empty() && w && w->Options().exact_saves && upper.rfind("STEPCARRY ", 0) == 0) {
        double c[6];
        if (ctx && ReadNumbers(l.substr(10), 6, c)) {
            ctx->have_carry = true;
            ctx->carry_acc = _V(c[0], c[1], c[2]);
            ctx->carry_arot = _V(c[3], c[4], c[5]);
        }
        return;
    }
    if (kw.empty()) return;  // any other line is not the host's: it is ignored
    const std::string rest = CleanLine(l.substr(kw.size()));
    // A line the host cannot keep refuses the scenario, naming file, line and field. A longer word
    // that only begins with a keyword ("HEADINGHOLD 1 0 1", a module's own line handed on) is read
    // as the host reads it, from after the keyword, and ignored when that does not read.
    const bool exact = l.size() == kw.size() || l[kw.size()] == ' ' || l[kw.size()] == '\t';
    auto refuse = [&](const std::string &why) {
        if (!exact || !ctx || !ctx->error.empty()) return;
        const int n = ctx->file ? ctx->file->last_line : 0;
        ctx->error = ctx->source + ":" + std::to_string(n) + ": vessel " +
                     QuoteLine(ctx->vessel ? ctx->vessel->name : std::string()) + ": " + kw + ": " + why +
                     " in " + QuoteLine(l);
    };
    double a[3] = {0, 0, 0};
    if (kw == "STATUS") {
        std::istringstream in(rest);
        std::string what, body;
        in >> what >> body;
        // STATUS Landed|Orbiting <body>, each word matched as a prefix; another word changes nothing.
        const bool landed = Upper(what).rfind("LANDED", 0) == 0, orbiting = Upper(what).rfind("ORBITING", 0) == 0;
        if (s && (landed || orbiting)) {
            s->status = landed ? 1 : 0;
            if (landed) {  // Vesselstatus.cpp, ParseScenarioLine2: AROT and HEADING follow it
                s->surf_hdg = 0.0;
                s->arot.x = 10;  // "not set": level on the touchdown points
            }
            if (w && !body.empty())
                if (Body *bd = w->FindBody(body)) s->rbody = Handle(bd);
        }
    } else if (kw == "RPOS" || kw == "RVEL" || kw == "AROT" || kw == "VROT") {
        if (!ReadNumbers(rest, 3, a)) return refuse("expected three finite numbers");
        if (!s) return;
        if (kw == "RPOS") s->rpos = _V(a[0], a[1], a[2]);
        else if (kw == "RVEL") s->rvel = _V(a[0], a[1], a[2]);
        else if (kw == "AROT") s->arot = _V(a[0] * RAD, a[1] * RAD, a[2] * RAD);
        else s->vrot = _V(a[0] * RAD, a[1] * RAD, a[2] * RAD);
    } else if (kw == "POS") {
        if (!ReadNumbers(rest, 2, a)) return refuse("expected two finite numbers (longitude, latitude)");
        if (std::fabs(a[0]) > 360.0 || std::fabs(a[1]) > 90.0)
            return refuse("longitude beyond +-360 degrees or latitude beyond +-90 degrees");
        if (!s) return;
        s->surf_lng = a[0] * RAD;
        s->surf_lat = a[1] * RAD;
    } else if (kw == "HEADING") {
        if (!ReadNumbers(rest, 1, a)) return refuse("expected a finite number of degrees");
        if (s) s->surf_hdg = a[0] * RAD;
    } else if (kw == "ALT") {
        // Any finite height: the host writes a landed vessel's origin height as it stands, below
        // the ground too (a vessel resting tilted on points above its origin), and reads it back.
        if (!ReadNumbers(rest, 1, a)) return refuse("expected a finite elevation in metres");
        if (ctx) ctx->have_landed_pos = true;
        if (s) s->vrot.x = a[0];  // ALT is the height of a landed vessel (it shares vrot.x with VROT)
    } else if (kw == "AFCMODE") {
        long m;
        if (!ReadInteger(FirstWord(rest), 0, kMaxAfcMode, &m))
            return refuse("expected a whole number from 0 to " + std::to_string(kMaxAfcMode));
        if (ctx) ctx->afcmode = static_cast<double>(m);
    } else if (kw == "PRPLEVEL") {
        std::istringstream in(rest);
        std::string item;
        while (in >> item) {
            const auto colon = item.find(':');
            long idx;
            double lvl;
            if (colon == std::string::npos || !ReadInteger(item.substr(0, colon), 0, INT_MAX, &idx) ||
                !FiniteNumber(item.substr(colon + 1), &lvl) || lvl < 0 || lvl > 1)
                return refuse("expected <tank>:<level> with a level from 0 to 1, found " + QuoteLine(item));
            if (ctx) ctx->prplevel.emplace_back(static_cast<int>(idx), lvl);
        }
    } else if (kw == "ATTACHED") {
        // ATTACHED <child point>:<parent point>,<parent name>; the name runs to the end of the
        // line, blanks included.
        const auto colon = rest.find(':'), comma = rest.find(',');
        long ci, pi;
        if (colon == std::string::npos || comma == std::string::npos || comma < colon ||
            !ReadInteger(rest.substr(0, colon), 0, INT_MAX, &ci) ||
            !ReadInteger(rest.substr(colon + 1, comma - colon - 1), 0, INT_MAX, &pi) ||
            CleanLine(rest.substr(comma + 1)).empty())
            return refuse("expected <child point>:<parent point>,<parent name>");
        if (ctx) {
            ctx->attached = true;
            ctx->child_point = static_cast<int>(ci);
            ctx->parent_point = static_cast<int>(pi);
            ctx->parent_name = CleanLine(rest.substr(comma + 1));
        }
    }
}

// The host's own lines of a vessel, as the host writes them (Vessel.cpp WriteDefault), in fixed
// notation with its decimals: a line of any length, every value whole (see FixedText).
void sim::WriteHostLines(Vessel *v, FILEHANDLE scn)
{
    ScenarioFile *f = File(scn);
    if (!f || !v) return;
    const std::string body = v->ref ? v->ref->name : "Earth";
    // A free vessel is written against its orbit reference (Vessel.cpp WriteDefault, cbody), the
    // dominant pull as it is when written: the host's may be up to 100 s old, but a load looks it up
    // again at once, so a save loaded and saved again would name another body for the same state.
    Body *orbit = v->OrbitRef();
    if (!v->landed && !v->parent && v->world)
        if (Body *now = v->world->DominantGravitySource(v->GlobalPos())) orbit = now;
    // Against the orbit reference through the bodies' difference (Vessel::PosAgainst), so that a
    // load and a save give back the text they read wherever the bodies stand.
    const VECTOR3 rpos = v->PosAgainst(orbit), rvel = v->VelAgainst(orbit);
    const std::string orbit_body = orbit ? orbit->name : body;
    if (v->landed && !v->parent) {
        Put(f, "  STATUS Landed " + body);
        Put(f, "  POS " + Fixed(v->surf_lng * DEG, 7) + " " + Fixed(v->surf_lat * DEG, 7));
        double hdg = std::fmod(v->surf_hdg * DEG, 360.0);  // written in [0, 360)
        if (hdg < 0) hdg += 360.0;
        hdg = Tidy(hdg, 2);
        Put(f, "  HEADING " + Fixed(hdg >= 360.0 - 0.005 ? 0.0 : hdg, 2));
        // ALT %.3f; an elevation of 0 reads back as the class's default, so a smaller one that is
        // not 0 is written with the decimals it needs.
        Put(f, "  ALT " + FixedText(v->landed_elev, 3, true));
        // AROT: the attitude relative to the planet frame (Vessel.cpp WriteDefault, land_rot), so that
        // the reload takes the record's attitude and ALT as the height (Vesselstatus.cpp SetState2).
        const VECTOR3 r = ArotFromMatrix(v->land_rot);
        Put(f, "  AROT " + Fixed(TidyAngle(r.x * DEG), 6) + " " + Fixed(r.y * DEG, 6) + " " +
                   Fixed(TidyAngle(r.z * DEG), 6));
    } else if (v->world && v->world->Options().exact_saves) {  // every digit, the turn rate always
        Put(f, "  STATUS Orbiting " + orbit_body);
        Put(f, "  RPOS " + ExactText(rpos.x) + " " + ExactText(rpos.y) + " " + ExactText(rpos.z));
        Put(f, "  RVEL " + ExactText(rvel.x) + " " + ExactText(rvel.y) + " " + ExactText(rvel.z));
        const VECTOR3 a = ArotFromMatrix(v->R);
        Put(f, "  AROT " + ExactText(a.x * DEG) + " " + ExactText(a.y * DEG) + " " + ExactText(a.z * DEG));
        Put(f, "  VROT " + ExactText(v->omega.x * DEG) + " " + ExactText(v->omega.y * DEG) + " " +
                   ExactText(v->omega.z * DEG));
        if (v->step_acc_valid && !v->parent)
            Put(f, "  STEPCARRY " + ExactText(v->step_acc.x) + " " + ExactText(v->step_acc.y) + " " +
                       ExactText(v->step_acc.z) + " " + ExactText(v->step_arot.x) + " " +
                       ExactText(v->step_arot.y) + " " + ExactText(v->step_arot.z));
    } else {
        Put(f, "  STATUS Orbiting " + orbit_body);
        Put(f, "  RPOS " + Fixed(rpos.x, 3) + " " + Fixed(rpos.y, 3) + " " + Fixed(rpos.z, 3));
        Put(f, "  RVEL " + Fixed(rvel.x, 4) + " " + Fixed(rvel.y, 4) + " " + Fixed(rvel.z, 4));
        const VECTOR3 a = ArotFromMatrix(v->R);
        Put(f, "  AROT " + Fixed(TidyAngle(a.x * DEG), 6) + " " + Fixed(a.y * DEG, 6) + " " +
                   Fixed(TidyAngle(a.z * DEG), 6));
        // VROT only for a vessel that turns: |omega|^2 > 1e-8 (rad/s)^2.
        if (dotp(v->omega, v->omega) > 1e-8)
            Put(f, "  VROT " + Fixed(v->omega.x * DEG, 4) + " " + Fixed(v->omega.y * DEG, 4) + " " +
                       Fixed(v->omega.z * DEG, 4));
    }
    if (v->parent) {
        for (Attachment *ca : v->attachments)
            if (ca->alive && ca->toparent && ca->mate) {
                int ci = 0, pi = 0;
                for (DWORD i = 0; v->AttachmentByIndex(true, i); ++i)
                    if (v->AttachmentByIndex(true, i) == ca) ci = static_cast<int>(i);
                for (DWORD i = 0; v->parent->AttachmentByIndex(false, i); ++i)
                    if (v->parent->AttachmentByIndex(false, i) == ca->mate) pi = static_cast<int>(i);
                Put(f, "  ATTACHED " + std::to_string(ci) + ":" + std::to_string(pi) + "," + v->parent->name);
            }
    }
    // Vessel.cpp WriteDefault: AFCMODE only for a mode other than 0 (measured in the core: no line
    // for mode 0), so a vessel saved with its control surfaces off reloads with its class's mode.
    if (v->adctrl_mode != 0) Put(f, "  AFCMODE " + std::to_string(v->adctrl_mode));
    // PRPLEVEL %.6f for the tanks that are not empty only; a tank left out loads empty. A level
    // too small for 6 decimals is written with the decimals it needs, so the tank stays non-empty.
    std::string s;
    for (std::size_t i = 0; i < v->tanks.size(); ++i) {
        const Tank *t = v->tanks[i];
        const double lvl = t->max_mass > 0 ? t->mass / t->max_mass : 0.0;
        if (lvl > 0) s += " " + std::to_string(i) + ":" + FixedText(lvl, 6, true);
    }
    if (!s.empty()) Put(f, "  PRPLEVEL" + s);
}

// --- whole scenarios -------------------------------------------------------------------------
namespace sim {

bool World::LoadScenario(const std::string &path, std::string *error)
{
    std::string text, why;
    if (!ReadTextFile(path, &text, &why)) {  // bounded: an endless file is refused, not read whole
        if (error) *error = "cannot read scenario file " + why;
        return false;
    }
    return LoadScenarioText(text, error, path);
}

bool World::LoadScenarioText(const std::string &text, std::string *error, const std::string &source)
{
    ScenarioText scn;
    if (!Parse(text, source, &scn, error)) return false;
    Busy busy(*this);
    if (scn.mjd >= 0) SetMjd(scn.mjd);
    struct Loaded {
        Vessel *v;
        LoadContext ctx;
    };
    std::vector<Loaded> loaded;
    for (const VesselBlock &b : scn.vessels) {
        std::string err;
        Vessel *v = NewVesselRecord(b.name, b.cls, &err);
        if (!v) {
            Logf("%s:%d: %s; vessel \"%s\" not created", source.c_str(), b.line, err.c_str(), b.name.c_str());
            Event("not created " + b.name + ": " + err);
            continue;
        }
        Loaded l{v, LoadContext()};
        l.ctx.vessel = v;
        VESSELSTATUS2 st;
        std::memset(&st, 0, sizeof st);
        st.version = 2;
        st.rbody = Handle(earth_);
        auto *file = new ScenarioFile;
        Register(file);
        file->lines = b.lines;
        file->first_line = b.line + 1;
        l.ctx.source = source;
        l.ctx.file = file;
        loading = &l.ctx;
        if (VESSEL2 *v2 = Callbacks(v)) {
            current_vessel = v;
            SetClassCaps(v);
            v2->clbkLoadStateEx(Handle(file), &st);
            current_vessel = nullptr;
        }
        loading = nullptr;
        file->alive = false;
        l.ctx.file = nullptr;
        if (!l.ctx.error.empty()) {
            if (error) *error = l.ctx.error;
            return false;
        }
        ApplyStatus(v, &st);
        // The host empties every tank and then fills those of the PRPLEVEL line (Vessel.cpp
        // Vessel::Read sets VS_FUELRESET | VS_FUELLIST, Vesselstatus.cpp SetState2): a tank the
        // line leaves out loads empty.
        for (Tank *t : v->tanks) t->mass = 0;
        for (const auto &p : l.ctx.prplevel)
            if (p.first >= 0 && p.first < static_cast<int>(v->tanks.size())) {
                Tank *t = v->tanks[p.first];
                t->mass = t->max_mass * std::max(0.0, std::min(1.0, p.second));
            }
        v->FinishSetup();
        // A mode beyond what a DWORD holds (or not a number) is ignored: the class's mode stays.
        if (l.ctx.afcmode >= 0 && l.ctx.afcmode <= 4294967295.0) v->adctrl_mode = static_cast<DWORD>(l.ctx.afcmode);
        if (l.ctx.have_carry && !v->landed) {
            v->step_acc = l.ctx.carry_acc;
            v->step_arot = l.ctx.carry_arot;
            v->step_acc_valid = true;
        }
        loaded.push_back(l);
    }
    for (Loaded &l : loaded) {
        if (!l.ctx.attached || !l.v->alive || Deleting(l.v)) continue;
        Vessel *parent = FindVessel(l.ctx.parent_name);
        Attachment *pa = parent ? parent->AttachmentByIndex(false, l.ctx.parent_point) : nullptr;
        Attachment *ca = l.v->AttachmentByIndex(true, l.ctx.child_point);
        bool loop = false;  // a vessel carried by itself, directly or through others
        for (Vessel *p = parent; p && !loop; p = p->parent) loop = p == l.v;
        std::string why;
        if (!parent) why = "there is no vessel of that name";
        else if (!pa) why = "it has no attachment point " + std::to_string(l.ctx.parent_point) + " for children";
        else if (!ca) why = l.v->name + " has no attachment point " + std::to_string(l.ctx.child_point) + " to a parent";
        else if (pa->mate) why = "its point " + std::to_string(l.ctx.parent_point) + " is in use";
        else if (ca->mate) why = l.v->name + "'s point " + std::to_string(l.ctx.child_point) + " is in use";
        else if (loop) why = "that would carry " + l.v->name + " by itself";
        if (!why.empty()) {
            // Told in the timeline too: a scenario that loses an attachment is not silent about it.
            Logf("%s: vessel \"%s\": cannot attach it to \"%s\": %s", source.c_str(), l.v->name.c_str(),
                 l.ctx.parent_name.c_str(), why.c_str());
            Event("not attached " + l.v->name + " to " + l.ctx.parent_name + ": " + why);
            continue;
        }
        pa->mate = ca;
        ca->mate = pa;
        l.v->parent = parent;
        PlaceChild(parent, pa, l.v, ca);
    }
    for (Loaded &l : loaded) FinishCreation(l.v);
    Vessel *focus = scn.focus.empty() ? nullptr : FindVessel(scn.focus);
    if (!focus && !scn.focus.empty()) Logf("%s: focus vessel \"%s\" not found", source.c_str(), scn.focus.c_str());
    if (!focus && !vessels_.empty()) focus = vessels_.front();
    if (focus) SetFocus(focus);
    for (const MfdBlock &m : scn.mfds) {
        if (m.mode.empty()) {  // MfdUser.cpp ReadParams: MODE must follow TYPE, else no display
            Logf("%s:%d: BEGIN_MFD without a MODE line right after its TYPE line: display not restored",
                 source.c_str(), m.line);
            continue;
        }
        // The host gives a display opened from a scenario its lines, not what it stored: its
        // ReadStatus gets the scenario file stream, rewound and positioned after the MODE line
        // (Mfd.cpp Instrument::Create, FindLine rewinds; MfdUser.cpp ReadParams). Its
        // oapiReadScenario_nextline loop reads on past END_MFD until a line END: a display that
        // does not stop at END_MFD itself reads the next blocks' lines too.
        MFD *mfd = OpenDisplay(m.which, m.mode, displays_[m.which].w, displays_[m.which].h, false);
        if (!mfd) continue;
        auto *file = new ScenarioFile;
        Register(file);
        file->lines.assign(scn.all.begin() + m.mode_line, scn.all.end());
        file->first_line = m.mode_line + 1;
        mfd->ReadStatus(Handle(file));
        file->alive = false;
    }
    return true;
}

std::vector<std::string> World::SaveVesselLines(Vessel *v)
{
    std::vector<std::string> out;
    if (!v || !v->alive) return out;
    Busy busy(*this);
    auto *file = new ScenarioFile;
    Register(file);
    file->out = &out;
    if (VESSEL2 *v2 = Callbacks(v)) {
        Vessel *prev = current_vessel;
        current_vessel = v;
        v2->clbkSaveState(Handle(file));
        current_vessel = prev;
    } else {
        WriteHostLines(v, Handle(file));
    }
    file->out = nullptr;
    file->alive = false;
    return out;
}

std::string World::SaveScenarioText(const std::string &description)
{
    Busy busy(*this);
    std::string s;
    s += "BEGIN_DESC\n";
    if (!description.empty()) s += description + "\n";
    s += "END_DESC\n\nBEGIN_ENVIRONMENT\n  System Sol\n";
    s += "  Date MJD " + FixedText(Mjd(), 10) + "\n";
    s += "END_ENVIRONMENT\n\n";
    if (focus_) s += "BEGIN_FOCUS\n  Ship " + focus_->name + "\nEND_FOCUS\n\n";
    for (int i = 0; i < 2; ++i) {
        if (!displays_[i].mfd) continue;
        std::string mode;
        for (const MfdMode &m : modes_)
            if (m.id == displays_[i].mode_id) mode = m.name;
        s += std::string("BEGIN_MFD ") + (i == 0 ? "Left" : "Right") + "\n  TYPE User\n  MODE " + mode + "\n";
        std::vector<std::string> out;
        auto *file = new ScenarioFile;
        Register(file);
        file->out = &out;
        displays_[i].mfd->WriteStatus(Handle(file));
        file->out = nullptr;
        file->alive = false;
        for (const std::string &l : out) s += l + "\n";
        s += "END_MFD\n\n";
    }
    s += "BEGIN_SHIPS\n";
    for (Vessel *v : vessels_) {
        if (!v->alive) continue;
        s += v->name + ":" + v->class_name + "\n";
        for (const std::string &l : SaveVesselLines(v)) s += l + "\n";
        s += "END\n";
    }
    s += "END_SHIPS\n";
    return s;
}

bool World::SaveScenario(const std::string &path, std::string *error)
{
    const std::string text = SaveScenarioText();
    std::string why;
    if (!WriteTextFile(path, text, &why)) {  // checked to the end: flushed and closed
        if (error) *error = why;
        Log(why);
        return false;
    }
    return true;
}

}  // namespace sim
