// inputs.cpp -- the timed inputs reader: each line checked whole (its verb, the count and form of
// its words, key names, levels, ranges, pilot names), refused with the file and line.
#include "inputs.h"

#include "host_api.h"
#include "pilot.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

namespace harness {

namespace {

constexpr double kMaxPlaceShift = 100000;  // [m] a vessel is moved over the ground this far at most

std::string Lower(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ParseDouble(const std::string &s, double *v)
{
    if (s.empty()) return false;
    char *end = nullptr;
    *v = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && std::isfinite(*v);
}

// An offending word as a message quotes it: at most 80 characters of it, control bytes and bytes
// above 0x7e written as \xNN (\t as \t), "..." when cut. With its quotes.
std::string Quote(const std::string &word)
{
    constexpr std::size_t kShown = 80;
    std::string out = "\"";
    const std::size_t n = std::min(word.size(), kShown);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(word[i]);
        if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c >= 0x7f || c == '\\' || c == '"') {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            out += b;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (word.size() > kShown) out += "...";
    return out + "\"";
}

}  // namespace

bool CheckStepRange(double step, std::string *why)
{
    if (step >= kMinStepLength && step <= kMaxStepLength) return true;
    char b[80];
    std::snprintf(b, sizeof b, "a step length must be from %g to %g s", kMinStepLength, kMaxStepLength);
    if (why) *why = b;
    return false;
}

int KeyCode(const std::string &name)
{
    static const std::map<std::string, int> named = {
        {"UP", OAPI_KEY_UP},       {"DOWN", OAPI_KEY_DOWN},     {"LEFT", OAPI_KEY_LEFT},
        {"RIGHT", OAPI_KEY_RIGHT}, {"PRIOR", OAPI_KEY_PRIOR},   {"NEXT", OAPI_KEY_NEXT},
        {"END", OAPI_KEY_END},     {"DELETE", OAPI_KEY_DELETE}, {"HOME", OAPI_KEY_HOME},
        {"INSERT", OAPI_KEY_INSERT}, {"SPACE", OAPI_KEY_SPACE}, {"RETURN", OAPI_KEY_RETURN}};
    static const int letters[26] = {
        OAPI_KEY_A, OAPI_KEY_B, OAPI_KEY_C, OAPI_KEY_D, OAPI_KEY_E, OAPI_KEY_F, OAPI_KEY_G, OAPI_KEY_H, OAPI_KEY_I,
        OAPI_KEY_J, OAPI_KEY_K, OAPI_KEY_L, OAPI_KEY_M, OAPI_KEY_N, OAPI_KEY_O, OAPI_KEY_P, OAPI_KEY_Q, OAPI_KEY_R,
        OAPI_KEY_S, OAPI_KEY_T, OAPI_KEY_U, OAPI_KEY_V, OAPI_KEY_W, OAPI_KEY_X, OAPI_KEY_Y, OAPI_KEY_Z};
    std::string up = name;
    for (char &c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (up.size() == 1 && up[0] >= 'A' && up[0] <= 'Z') return letters[up[0] - 'A'];
    if (up.size() == 1 && up[0] >= '1' && up[0] <= '9') return OAPI_KEY_1 + (up[0] - '1');
    if (up == "0") return OAPI_KEY_0;
    auto it = named.find(up);
    return it == named.end() ? 0 : it->second;
}

bool ParseInputs(const std::string &text, const std::string &source, std::vector<Input> *out, std::string *error)
{
    std::istringstream in(text);
    std::string raw;
    int n = 0;
    auto fail = [&](const std::string &msg) {
        if (error) *error = source + ":" + std::to_string(n) + ": " + msg;
        return false;
    };
    while (std::getline(in, raw)) {
        ++n;
        const auto hash = raw.find('#');
        if (hash != std::string::npos) raw.erase(hash);
        std::istringstream words(raw);
        std::vector<std::string> w;
        std::string x;
        while (words >> x) w.push_back(x);
        if (w.empty()) continue;
        Input ip;
        ip.line = n;
        if (!ParseDouble(w[0], &ip.t) || ip.t < 0) return fail("expected a time in seconds, found " + Quote(w[0]));
        if (w.size() < 2) return fail("a time without an input");
        ip.verb = Lower(w[1]);
        ip.args.assign(w.begin() + 2, w.end());
        const auto &a = ip.args;
        if (ip.verb == "key") {
            if (a.size() != 2) return fail("expected: <t> key <vessel> [shift+]<KEY>");
            std::string k = a[1];
            if (Lower(k).rfind("shift+", 0) == 0) k = k.substr(6);
            if (!KeyCode(k)) return fail("unknown key " + Quote(a[1]));
        } else if (ip.verb == "control") {
            double lvl;
            if (a.size() != 3) return fail("expected: <t> control <vessel> elevator|aileron|rudder|throttle <level>");
            const std::string s = Lower(a[1]);
            if (s != "elevator" && s != "aileron" && s != "rudder" && s != "throttle")
                return fail("unknown control " + Quote(a[1]));
            if (!ParseDouble(a[2], &lvl)) return fail("expected a level, found " + Quote(a[2]));
        } else if (ip.verb == "focus") {
            if (a.size() != 1) return fail("expected: <t> focus <vessel>");
        } else if (ip.verb == "mfd") {
            if (a.size() < 3) return fail("expected: <t> mfd left|right open <mode>|key <KEY>|button <n>");
            const std::string side = Lower(a[0]), what = Lower(a[1]);
            if (side != "left" && side != "right") return fail("expected left or right, found " + Quote(a[0]));
            if (what == "open") {
                std::string mode;
                for (std::size_t i = 2; i < a.size(); ++i) mode += (i > 2 ? " " : "") + a[i];
                ip.args = {side, what, mode};
            } else if (what == "key") {
                if (a.size() != 3 || !KeyCode(a[2])) return fail("unknown key " + Quote(a[2]));
            } else if (what == "button") {
                double b;
                if (a.size() != 3 || !ParseDouble(a[2], &b)) return fail("expected a button number");
            } else {
                return fail("unknown mfd action " + Quote(a[1]));
            }
        } else if (ip.verb == "snapshot" && !a.empty() && Lower(a[0]) == "view") {
            double d;
            if (a.size() != 3 && a.size() != 6)
                return fail("expected: <t> snapshot view <vessel> [azimuth elevation distance] <file.png>");
            for (std::size_t i = 2; i + 1 < a.size(); ++i)
                if (!ParseDouble(a[i], &d)) return fail("expected a number, found \"" + a[i] + "\"");
            if (a.size() == 6 && !(std::strtod(a[4].c_str(), nullptr) >= 0)) return fail("the distance cannot be negative");
        } else if (ip.verb == "snapshot") {
            if (a.size() != 2) return fail("expected: <t> snapshot hud|mfd-left|mfd-right <file.png>");
            const std::string s = Lower(a[0]);
            if (s != "hud" && s != "mfd-left" && s != "mfd-right") return fail("unknown display " + Quote(a[0]));
        } else if (ip.verb == "save") {
            if (a.size() != 1) return fail("expected: <t> save <file>");
        } else if (ip.verb == "end") {
            if (!a.empty()) return fail("'end' takes nothing more");
        } else if (ip.verb == "rand") {
            double d;
            if (a.size() != 1 || !ParseDouble(a[0], &d) || d < 0 || d >= 1)
                return fail("expected: <t> rand <value in [0, 1)>");
        } else if (ip.verb == "dt") {
            double d;
            std::string why;
            if (a.size() != 1 || !ParseDouble(a[0], &d)) return fail("expected: <t> dt <step length in seconds>");
            if (!CheckStepRange(d, &why)) return fail("dt: " + why);
        } else if (ip.verb == "warp") {
            double f, d = 0;
            if (a.empty() || a.size() > 2 || !ParseDouble(a[0], &f) || f < 0.1 || f > 1e5 ||
                (a.size() == 2 && (!ParseDouble(a[1], &d) || d < 0)))
                return fail("expected: <t> warp <factor from 0.1 to 100000> [<delay in seconds>]");
        } else if (ip.verb == "place") {
            double d;
            if (a.size() != 4) return fail("expected: <t> place <vessel> <north m> <east m> <turn deg>");
            for (std::size_t i = 1; i < 4; ++i)
                if (!ParseDouble(a[i], &d) || std::fabs(d) > (i < 3 ? kMaxPlaceShift : 360.0))
                    return fail(i < 3 ? "place: a shift from -100 km to 100 km, found " + Quote(a[i])
                                      : "place: a turn from -360 to 360 degrees, found " + Quote(a[i]));
        } else if (ip.verb == "pilot") {
            if (a.empty()) return fail("expected: <t> pilot <name> ...");
            std::string why;
            if (!MakePilot(a, &why))
                return fail(Lower(a[0]) == "recovery" ? why : "no virtual pilot named " + Quote(a[0]));
        } else {
            return fail("unknown input " + Quote(w[1]));
        }
        out->push_back(ip);
    }
    return true;
}

}  // namespace harness
