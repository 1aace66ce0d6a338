// scenario.cpp -- scenario files in the simulator's own format: sections, name:class blocks ended by
// END, MFD blocks. The host reads and writes its own vessel lines (status, position, attitude,
// propellant, attachment); a vessel's own lines reach its module through oapiReadScenario_nextline.
#include "internal.h"

#include <algorithm>
#include <cmath>
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
    int line = 0;
    std::vector<std::string> lines;
};

struct MfdBlock {
    int which = 0;
    std::string mode;
    std::vector<std::string> lines;
};

struct ScenarioText {
    double mjd = -1;
    std::string focus;
    std::vector<VesselBlock> vessels;
    std::vector<MfdBlock> mfds;
};

bool Parse(const std::string &text, const std::string &source, ScenarioText *out, std::string *error)
{
    std::istringstream in(text);
    std::string raw;
    int n = 0;
    auto fail = [&](const std::string &msg) {
        if (error) *error = source + ":" + std::to_string(n) + ": " + msg;
        return false;
    };
    enum { TOP, SKIP, ENV, FOCUS, SHIPS, VESSEL, MFDB } state = TOP;
    std::string skip_end;
    int block_start = 0;
    while (std::getline(in, raw)) {
        ++n;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const std::string line = CleanLine(raw);
        if (state == SKIP) {
            if (Upper(FirstWord(line)) == skip_end) state = TOP;
            continue;
        }
        if (line.empty()) continue;
        const std::string kw = Upper(FirstWord(line));
        switch (state) {
        case TOP:
            if (kw == "BEGIN_ENVIRONMENT") state = ENV;
            else if (kw == "BEGIN_FOCUS") state = FOCUS;
            else if (kw == "BEGIN_SHIPS") state = SHIPS, block_start = n;
            else if (kw == "BEGIN_MFD") {
                MfdBlock m;
                const std::string side = Upper(Rest(line));
                if (side == "LEFT") m.which = 0;
                else if (side == "RIGHT") m.which = 1;
                else return fail("BEGIN_MFD needs Left or Right");
                out->mfds.push_back(m);
                state = MFDB;
            } else if (kw.rfind("BEGIN_", 0) == 0) {
                skip_end = "END_" + kw.substr(6);
                state = SKIP;
            } else
                return fail("unexpected line outside any section: \"" + line + "\"");
            break;
        case ENV:
            if (kw == "END_ENVIRONMENT") state = TOP;
            else if (kw == "DATE") {
                std::istringstream d(Rest(line));
                std::string unit;
                double v;
                if (!(d >> unit >> v) || Upper(unit) != "MJD") return fail("Date must be \"Date MJD <days>\"");
                out->mjd = v;
            }
            break;
        case FOCUS:
            if (kw == "END_FOCUS") state = TOP;
            else if (kw == "SHIP") out->focus = Rest(line);
            break;
        case MFDB:
            if (kw == "END_MFD") state = TOP;
            else if (kw == "TYPE") {
            } else if (kw == "MODE" && out->mfds.back().mode.empty())
                out->mfds.back().mode = Rest(line);
            else
                out->mfds.back().lines.push_back(line);
            break;
        case SHIPS:
            if (kw == "END_SHIPS") state = TOP;
            else {
                // A class name never holds a colon (it names a file), a vessel name may.
                const auto colon = line.rfind(':');
                if (colon == std::string::npos || colon == 0 || colon + 1 >= line.size())
                    return fail("expected a vessel line \"name:class\", found \"" + line + "\"");
                VesselBlock b;
                b.name = line.substr(0, colon);
                b.cls = line.substr(colon + 1);
                b.line = n;
                out->vessels.push_back(b);
                state = VESSEL;
            }
            break;
        case VESSEL:
            if (kw == "END" && line.size() == 3) state = SHIPS;
            else if (kw == "END_SHIPS")
                return fail("vessel \"" + out->vessels.back().name + "\" has no END line");
            else
                out->vessels.back().lines.push_back(line);
            break;
        case SKIP:
            break;
        }
    }
    if (state == VESSEL) return fail("vessel \"" + out->vessels.back().name + "\" has no END line");
    if (state == SHIPS) {
        n = block_start;
        return fail("BEGIN_SHIPS is not closed by END_SHIPS");
    }
    if (state != TOP) return fail("a section is not closed at the end of the file");
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

void Put(ScenarioFile *f, const std::string &line)
{
    if (f && f->out) f->out->push_back(line);
}

}  // namespace

// --- scenario line access for modules --------------------------------------------------------
bool oapiReadScenario_nextline(FILEHANDLE scn, char *&line)
{
    ScenarioFile *f = File(scn);
    if (!f) return false;
    while (f->pos < f->lines.size()) {
        const std::string &l = f->lines[f->pos++];
        if (l.empty()) continue;
        f->buf.assign(l.begin(), l.end());
        f->buf.resize(l.size() + 256, '\0');  // room for a module that writes into its line
        line = f->buf.data();
        return true;
    }
    return false;
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
    char b[64];
    std::snprintf(b, sizeof b, "%0.4f", d);
    Put(File(scn), std::string("  ") + (item ? item : "") + " " + b);
}

void oapiWriteScenario_vec(FILEHANDLE scn, char *item, const VECTOR3 &v)
{
    char b[128];
    std::snprintf(b, sizeof b, "%0.4f %0.4f %0.4f", v.x, v.y, v.z);
    Put(File(scn), std::string("  ") + (item ? item : "") + " " + b);
}

void oapiWriteLine(FILEHANDLE file, char *line) { Put(File(file), line ? line : ""); }

// --- the host's own vessel lines -------------------------------------------------------------
void VESSEL::ParseScenarioLineEx(char *line, void *status) const
{
    if (vessel && vessel->journaling) vessel->Note("ParseScenarioLineEx(\"%s\")", line ? line : "");
    if (!line) return;
    auto *s = static_cast<VESSELSTATUS2 *>(status);
    World *w = World::Current();
    LoadContext *ctx = w ? w->loading : nullptr;
    const std::string l = CleanLine(line);
    const std::string kw = Upper(FirstWord(l)), rest = Rest(l);
    double a = 0, b = 0, c = 0;
    if (kw == "STATUS") {
        std::istringstream in(rest);
        std::string what, body;
        in >> what >> body;
        if (s) {
            s->status = Upper(what) == "LANDED" ? 1 : 0;
            if (w && !body.empty())
                if (Body *bd = w->FindBody(body)) s->rbody = Handle(bd);
        }
    } else if (kw == "RPOS" && s && std::sscanf(rest.c_str(), "%lf%lf%lf", &a, &b, &c) == 3) {
        s->rpos = _V(a, b, c);
    } else if (kw == "RVEL" && s && std::sscanf(rest.c_str(), "%lf%lf%lf", &a, &b, &c) == 3) {
        s->rvel = _V(a, b, c);
    } else if (kw == "AROT" && s && std::sscanf(rest.c_str(), "%lf%lf%lf", &a, &b, &c) == 3) {
        s->arot = _V(a * RAD, b * RAD, c * RAD);
    } else if (kw == "VROT" && s && std::sscanf(rest.c_str(), "%lf%lf%lf", &a, &b, &c) == 3) {
        s->vrot = _V(a * RAD, b * RAD, c * RAD);
    } else if (kw == "POS" && s && std::sscanf(rest.c_str(), "%lf%lf", &a, &b) == 2) {
        s->surf_lng = a * RAD;
        s->surf_lat = b * RAD;
    } else if (kw == "HEADING" && s && std::sscanf(rest.c_str(), "%lf", &a) == 1) {
        s->surf_hdg = a * RAD;
    } else if (kw == "ALT" && s && std::sscanf(rest.c_str(), "%lf", &a) == 1) {
        if (ctx) ctx->have_landed_pos = true;
        if (s->status == 1) s->vrot.x = a;
    } else if (kw == "AFCMODE" && std::sscanf(rest.c_str(), "%lf", &a) == 1) {
        if (ctx) ctx->afcmode = a;
    } else if (kw == "PRPLEVEL") {
        std::istringstream in(rest);
        std::string item;
        while (in >> item) {
            int idx;
            double lvl;
            if (std::sscanf(item.c_str(), "%d:%lf", &idx, &lvl) == 2 && ctx) ctx->prplevel.emplace_back(idx, lvl);
        }
    } else if (kw == "ATTACHED") {
        // ATTACHED <child point>:<parent point>,<parent name>; the name runs to the end of the
        // line, blanks included.
        int ci, pi, at = 0;
        if (std::sscanf(rest.c_str(), "%d:%d,%n", &ci, &pi, &at) == 2 && at > 0 && ctx) {
            const std::string name = CleanLine(rest.substr(static_cast<std::size_t>(at)));
            if (!name.empty()) {
                ctx->attached = true;
                ctx->child_point = ci;
                ctx->parent_point = pi;
                ctx->parent_name = name;
            }
        }
    }
    // Any other line is not the host's: it is ignored.
}

void sim::WriteHostLines(Vessel *v, FILEHANDLE scn)
{
    ScenarioFile *f = File(scn);
    if (!f || !v) return;
    char b[512];
    const std::string body = v->ref ? v->ref->name : "Earth";
    if (v->landed && !v->parent) {
        Put(f, "  STATUS Landed " + body);
        std::snprintf(b, sizeof b, "  POS %0.7f %0.7f", Tidy(v->surf_lng * DEG, 7), Tidy(v->surf_lat * DEG, 7));
        Put(f, b);
        double hdg = std::fmod(v->surf_hdg * DEG, 360.0);  // written in [0, 360)
        if (hdg < 0) hdg += 360.0;
        hdg = Tidy(hdg, 2);
        std::snprintf(b, sizeof b, "  HEADING %0.2f", hdg >= 360.0 - 0.005 ? 0.0 : hdg);
        Put(f, b);
        std::snprintf(b, sizeof b, "  ALT %0.3f", Tidy(v->landed_elev, 3));
        Put(f, b);
    } else {
        Put(f, "  STATUS Orbiting " + body);
        std::snprintf(b, sizeof b, "  RPOS %0.3f %0.3f %0.3f", Tidy(v->rpos.x, 3), Tidy(v->rpos.y, 3), Tidy(v->rpos.z, 3));
        Put(f, b);
        std::snprintf(b, sizeof b, "  RVEL %0.4f %0.4f %0.4f", Tidy(v->rvel.x, 4), Tidy(v->rvel.y, 4), Tidy(v->rvel.z, 4));
        Put(f, b);
        const VECTOR3 a = ArotFromMatrix(v->R);
        std::snprintf(b, sizeof b, "  AROT %0.6f %0.6f %0.6f", TidyAngle(a.x * DEG), Tidy(a.y * DEG, 6),
                      TidyAngle(a.z * DEG));
        Put(f, b);
        std::snprintf(b, sizeof b, "  VROT %0.4f %0.4f %0.4f", Tidy(v->omega.x * DEG, 4), Tidy(v->omega.y * DEG, 4),
                      Tidy(v->omega.z * DEG, 4));
        Put(f, b);
    }
    if (v->parent) {
        for (Attachment *ca : v->attachments)
            if (ca->alive && ca->toparent && ca->mate) {
                int ci = 0, pi = 0;
                for (DWORD i = 0; v->AttachmentByIndex(true, i); ++i)
                    if (v->AttachmentByIndex(true, i) == ca) ci = static_cast<int>(i);
                for (DWORD i = 0; v->parent->AttachmentByIndex(false, i); ++i)
                    if (v->parent->AttachmentByIndex(false, i) == ca->mate) pi = static_cast<int>(i);
                std::snprintf(b, sizeof b, "  ATTACHED %d:%d,%s", ci, pi, v->parent->name.c_str());
                Put(f, b);
            }
    }
    std::snprintf(b, sizeof b, "  AFCMODE %u", v->adctrl_mode);
    Put(f, b);
    if (!v->tanks.empty()) {
        std::string s = "  PRPLEVEL";
        for (std::size_t i = 0; i < v->tanks.size(); ++i) {
            const Tank *t = v->tanks[i];
            std::snprintf(b, sizeof b, " %d:%0.6f", static_cast<int>(i), t->max_mass > 0 ? t->mass / t->max_mass : 0.0);
            s += b;
        }
        Put(f, s);
    }
}

// --- whole scenarios -------------------------------------------------------------------------
namespace sim {

bool World::LoadScenario(const std::string &path, std::string *error)
{
    std::ifstream f(path);
    if (!f) {
        if (error) *error = "cannot read scenario file " + path;
        return false;
    }
    std::stringstream ss;
    ss << f.rdbuf();
    return LoadScenarioText(ss.str(), error, path);
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
        loading = &l.ctx;
        if (VESSEL2 *v2 = Callbacks(v)) {
            current_vessel = v;
            v2->clbkSetClassCaps(nullptr);
            v2->clbkLoadStateEx(Handle(file), &st);
            current_vessel = nullptr;
        }
        loading = nullptr;
        file->alive = false;
        ApplyStatus(v, &st);
        for (const auto &p : l.ctx.prplevel)
            if (p.first >= 0 && p.first < static_cast<int>(v->tanks.size())) {
                Tank *t = v->tanks[p.first];
                t->mass = t->max_mass * std::max(0.0, std::min(1.0, p.second));
            }
        // A mode beyond what a DWORD holds (or not a number) is ignored: the class's mode stays.
        if (l.ctx.afcmode >= 0 && l.ctx.afcmode <= 4294967295.0) v->adctrl_mode = static_cast<DWORD>(l.ctx.afcmode);
        loaded.push_back(l);
    }
    for (Loaded &l : loaded) {
        if (!l.ctx.attached || !l.v->alive || Deleting(l.v)) continue;
        Vessel *parent = FindVessel(l.ctx.parent_name);
        Attachment *pa = parent ? parent->AttachmentByIndex(false, l.ctx.parent_point) : nullptr;
        Attachment *ca = l.v->AttachmentByIndex(true, l.ctx.child_point);
        bool loop = false;  // a vessel carried by itself, directly or through others
        for (Vessel *p = parent; p && !loop; p = p->parent) loop = p == l.v;
        if (!pa || !ca || pa->mate || ca->mate || loop) {
            Logf("%s: vessel \"%s\": cannot attach it to \"%s\"", source.c_str(), l.v->name.c_str(),
                 l.ctx.parent_name.c_str());
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
        // The host gives a display opened from a scenario its lines, not what it stored.
        MFD *mfd = OpenDisplay(m.which, m.mode, displays_[m.which].w, displays_[m.which].h, false);
        if (!mfd) continue;
        auto *file = new ScenarioFile;
        Register(file);
        file->lines = m.lines;
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
    char b[128];
    s += "BEGIN_DESC\n";
    if (!description.empty()) s += description + "\n";
    s += "END_DESC\n\nBEGIN_ENVIRONMENT\n  System Sol\n";
    std::snprintf(b, sizeof b, "  Date MJD %0.10f\n", Mjd());
    s += b;
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
    std::ofstream f(path);
    if (!f || !(f << text)) {
        if (error) *error = "cannot write scenario file " + path;
        Log("cannot write scenario file " + path);
        return false;
    }
    return true;
}

}  // namespace sim
