// The pilot's guide against the modules: every key the guide's key tables name is one the vessel or
// display really takes (and every key it takes is in the guide), every head-up display and display
// line the guide quotes is one the module really draws (and every line it draws is in the guide).
// The keys are pressed and the displays drawn through the stand-in host, in the states that show
// each line; the key codes come from the host API's own names.
#include "testing/sim_test.h"

#include <cctype>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

using simtest::ReadFile;

// --- the guide ----------------------------------------------------------------------------------

// A row of one of the guide's tables: its first cell's backticked text and where it stands.
struct Item {
    std::string text;
    int line;
};

// What the guide says of one vessel or display: the keys, buttons and lines of its tables.
struct Section {
    std::vector<Item> keys, buttons, lines;
};

// The section a "## " heading opens, by the name it carries.
std::string SectionOf(const std::string &heading)
{
    if (heading.find("Corvane_Bus") != std::string::npos) return "bus";
    if (heading.find("HX220") != std::string::npos) return "helicopter";
    if (heading.find("L1 display") != std::string::npos) return "l1";
    return "";
}

std::string Trim(const std::string &s)
{
    const auto a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string Lower(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> Cells(const std::string &row)
{
    std::vector<std::string> cells;
    std::string cell;
    for (std::size_t i = 1; i < row.size(); ++i) {  // past the leading '|'
        if (row[i] == '|') {
            cells.push_back(Trim(cell));
            cell.clear();
        } else {
            cell += row[i];
        }
    }
    return cells;
}

// The guide's tables whose first column is "Key", "Button" or "Line", by the section they stand in.
// A table of these kinds outside a vessel's or the display's section is a fault of the guide.
std::map<std::string, Section> ReadGuide(const std::string &path, std::vector<std::string> *faults)
{
    std::ifstream in(path);
    if (!in) faults->push_back("cannot read " + path);
    std::map<std::string, Section> sections;
    std::string section, kind, raw;
    int n = 0;
    bool header_next = true;
    while (std::getline(in, raw)) {
        ++n;
        const std::string line = Trim(raw);
        if (line.rfind("## ", 0) == 0) section = SectionOf(line);
        if (line.empty() || line[0] != '|') {
            header_next = true;
            kind.clear();
            continue;
        }
        const std::vector<std::string> cells = Cells(line);
        if (cells.empty()) continue;
        if (header_next) {
            header_next = false;
            const std::string first = Lower(cells[0]);
            kind = first == "key" || first == "button" || first == "line" ? first : "";
            if (!kind.empty() && section.empty())
                faults->push_back(path + ":" + std::to_string(n) + ": a " + kind + " table outside a vessel's section");
            continue;
        }
        if (kind.empty() || cells[0].find_first_not_of("-: ") == std::string::npos) continue;  // the rule row
        // Each `text` of the first cell ("`Shift+Up`, `Shift+Down`" names two keys).
        const std::string &c = cells[0];
        Section &s = sections[section];
        std::vector<Item> &items = kind == "key" ? s.keys : kind == "button" ? s.buttons : s.lines;
        const std::size_t before = items.size();
        for (std::size_t a = c.find('`'); a != std::string::npos;) {
            const std::size_t b = c.find('`', a + 1);
            if (b == std::string::npos) break;
            items.push_back({c.substr(a + 1, b - a - 1), n});
            a = c.find('`', b + 1);
        }
        if (items.size() == before) faults->push_back(path + ":" + std::to_string(n) + ": no `text` in the first cell: " + c);
    }
    return sections;
}

// A drawn or quoted line with each number made '#', so that the guide's example values stand for
// any value the display prints in the same place ("Remaining dV = 757.99 m/s", "km x 1e+06").
std::string Shape(const std::string &text)
{
    static const std::regex number(R"([-+]?(\d+\.?\d*|\.\d+)(e[-+]?\d+)?)");
    return Trim(std::regex_replace(text, number, "#"));
}

// --- the keys -----------------------------------------------------------------------------------

struct GuideKey {
    DWORD code;
    bool shift;
};

// The guide's key names and the host's codes for them (OrbiterAPI.h, OAPI_KEY_*).
bool ParseKey(const std::string &text, GuideKey *key)
{
    static const std::map<std::string, DWORD> names = {
        {"A", OAPI_KEY_A}, {"B", OAPI_KEY_B}, {"C", OAPI_KEY_C}, {"D", OAPI_KEY_D}, {"E", OAPI_KEY_E},
        {"F", OAPI_KEY_F}, {"G", OAPI_KEY_G}, {"H", OAPI_KEY_H}, {"I", OAPI_KEY_I}, {"J", OAPI_KEY_J},
        {"K", OAPI_KEY_K}, {"L", OAPI_KEY_L}, {"M", OAPI_KEY_M}, {"N", OAPI_KEY_N}, {"O", OAPI_KEY_O},
        {"P", OAPI_KEY_P}, {"Q", OAPI_KEY_Q}, {"R", OAPI_KEY_R}, {"S", OAPI_KEY_S}, {"T", OAPI_KEY_T},
        {"U", OAPI_KEY_U}, {"V", OAPI_KEY_V}, {"W", OAPI_KEY_W}, {"X", OAPI_KEY_X}, {"Y", OAPI_KEY_Y},
        {"Z", OAPI_KEY_Z}, {"Up", OAPI_KEY_UP}, {"Down", OAPI_KEY_DOWN}, {"Left", OAPI_KEY_LEFT},
        {"Right", OAPI_KEY_RIGHT}, {"PageUp", OAPI_KEY_PRIOR}, {"PageDown", OAPI_KEY_NEXT},
        {"Home", OAPI_KEY_HOME}, {"End", OAPI_KEY_END}, {"Insert", OAPI_KEY_INSERT}, {"Delete", OAPI_KEY_DELETE}};
    std::string name = text;
    key->shift = name.rfind("Shift+", 0) == 0;
    if (key->shift) name = name.substr(6);
    const auto it = names.find(name);
    if (it == names.end()) return false;
    key->code = it->second;
    return true;
}

std::string KeyName(DWORD code, bool shift)
{
    std::ostringstream s;
    s << (shift ? "Shift+" : "") << "0x" << std::hex << code;
    return s.str();
}

// --- the displays, drawn in the states that show each of their lines ------------------------------

class GuideTest : public simtest::SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        std::vector<std::string> faults;
        guide = ReadGuide(CORVANE_GUIDE, &faults);
        for (const std::string &f : faults) ADD_FAILURE() << f;
    }

    void Take(HDC__ *d, std::set<std::string> *drawn)
    {
        ASSERT_NE(d, nullptr);
        for (const std::string &t : d->Texts()) drawn->insert(Shape(t));
    }

    // Each quoted line is drawn, and each drawn line is quoted (`min_letters`: drawn texts with fewer
    // letters, the plots' axis marks "+1", "0", "o", are not asked of the guide).
    void ExpectSameLines(const Section &s, const std::set<std::string> &drawn, int min_letters)
    {
        std::set<std::string> quoted;
        for (const Item &i : s.lines) {
            quoted.insert(Shape(i.text));
            EXPECT_TRUE(drawn.count(Shape(i.text))) << "Guide.md:" << i.line << ": \"" << i.text << "\" is not drawn";
        }
        for (const std::string &d : drawn) {
            int letters = 0;
            for (char c : d) letters += std::isalpha(static_cast<unsigned char>(c)) != 0;
            if (letters >= min_letters) {
                EXPECT_TRUE(quoted.count(d)) << "drawn but not in the guide: \"" << d << "\"";
            }
        }
    }

    // The guide's keys for a vessel are those it takes: each listed key is consumed, and every key it
    // consumes (all codes, with and without Shift; a display sees no Shift) is listed.
    template <class Press>
    void ExpectSameKeys(const std::vector<Item> &keys, Press press, bool with_shift = true)
    {
        std::set<std::pair<DWORD, bool>> listed;
        for (const Item &i : keys) {
            GuideKey k;
            if (!ParseKey(i.text, &k)) {
                ADD_FAILURE() << "Guide.md:" << i.line << ": no such key: " << i.text;
                continue;
            }
            listed.insert({k.code, k.shift});
        }
        for (bool shift : {false, true})
            for (DWORD code = 1; code < 256 && (with_shift || !shift); ++code) {
                const bool taken = press(code, shift);
                EXPECT_EQ(taken, listed.count({code, shift}) == 1)
                    << KeyName(code, shift) << (taken ? " is taken but not in the guide" : " is in the guide but not taken");
            }
    }

    std::map<std::string, Section> guide;
};

TEST_F(GuideTest, BusKeysAndHeadUpLines)
{
    const Section &s = guide["bus"];
    ASSERT_FALSE(s.keys.empty());
    ASSERT_FALSE(s.lines.empty());
    const std::string cls = "CorvaneMission/corvane_bus2";

    // The hints of a fresh bus, then panels and covers moving, then released.
    std::set<std::string> drawn;
    Vessel *bus = Create("Corvane_Bus", cls);
    W().SetFocus(bus);
    Take(W().DrawHud(1024, 768, bus), &drawn);
    Key(bus, OAPI_KEY_G);
    StepFor(6);
    Key(bus, OAPI_KEY_K);
    Step();
    Take(W().DrawHud(1024, 768, bus), &drawn);
    Take(W().DrawHud(1024, 768, LoadVessel("Released", cls, {"CONFIGURATION 1"})), &drawn);
    ExpectSameLines(s, drawn, 1);

    Vessel *keys = Create("Keys", cls);
    ExpectSameKeys(s.keys, [&](DWORD code, bool shift) { return Key(keys, code, shift) != 0; });
}

TEST_F(GuideTest, HelicopterKeysAndHeadUpLines)
{
    const Section &s = guide["helicopter"];
    ASSERT_FALSE(s.keys.empty());
    ASSERT_FALSE(s.lines.empty());
    WriteConfig("Config/Vessels/TestCapsule.cfg", "ClassName = TestCapsule\nMass = 191\n");
    int n = 0;
    auto heli = [&](const std::vector<std::string> &lines) {
        Vessel *v = LoadVessel("H" + std::to_string(++n), "hx220", lines);
        if (v && !v->visual) W().CreateVisual(v);
        return v;
    };

    std::set<std::string> drawn;
    // Each mode word, and the assists of the normal mode.
    for (const std::vector<std::string> &lines : std::vector<std::vector<std::string>>{
             {}, {"PILOTEAUTO 1 0 0 0"}, {"STATIO 1 1"}, {"STATIO 1 0"}, {"HEADINGHOLD 1 0 0"}, {"HEADINGHOLD 0 1 1"}})
        Take(W().DrawHud(1024, 768, heli(lines)), &drawn);
    // The pole out and sinking below 200 m: the warning, in the first half of a second.
    Vessel *v = heli({"PERCHE 3 1.0"});
    v->Place(0, 0, 150, 0, 0, 0, _V(0, -1, 0));
    Step();
    Take(W().DrawHud(1024, 768, v), &drawn);
    // The catch cue, 16 m over a capsule under its parafoil, in a world of its own.
    EndWorld();
    WriteConfig("Config/Vessels/TestCapsule.cfg", "ClassName = TestCapsule\nMass = 191\n");
    Vessel *h = heli({});
    Vessel *c = Create("Corvane_SRC_Parafoil", "TestCapsule");
    c->Place(1.5e-6, 0, 1000);
    h->Place(0, 0, 1016);
    Step();
    Take(W().DrawHud(1024, 768, h), &drawn);
    ExpectSameLines(s, drawn, 1);

    Vessel *keys = heli({});
    ExpectSameKeys(s.keys, [&](DWORD code, bool shift) { return Key(keys, code, shift) != 0; });
}

TEST_F(GuideTest, L1DisplayKeysButtonsAndPages)
{
    const Section &s = guide["l1"];
    ASSERT_FALSE(s.keys.empty());
    ASSERT_FALSE(s.buttons.empty());
    ASSERT_FALSE(s.lines.empty());
    ASSERT_NE(W().LoadPlugin("CorvaneMFD4"), nullptr);
    Vessel *bus = Create("Corvane_Bus", "CorvaneMission/corvane_bus2", 1.5e9);
    W().SetFocus(bus);
    MFD *mfd = W().OpenMfd(0, "Corvane L1 Display");
    ASSERT_NE(mfd, nullptr);
    Step();

    // The four pages, V after V, with the track's first sample.
    std::set<std::string> drawn;
    for (int page = 0; page < 4; ++page) {
        Take(W().DrawMfd(0), &drawn);
        ASSERT_TRUE(W().MfdKey(0, OAPI_KEY_V));
    }
    ExpectSameLines(s, drawn, 2);

    std::set<std::string> labels, listed;
    for (int bt = 0; bt < 16; ++bt)
        if (const char *l = mfd->ButtonLabel(bt)) labels.insert(l);
    for (const Item &i : s.buttons) listed.insert(i.text);
    EXPECT_EQ(listed, labels);

    ExpectSameKeys(s.keys, [&](DWORD code, bool) { return W().MfdKey(0, code); }, false);
}

}  // namespace
