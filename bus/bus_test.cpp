// The spacecraft bus through the stand-in host: its definition, keys, mechanisms, the capsule
// release, scenario lines and head-up text.
#include "testing/sim_test.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

using Lines = std::vector<std::string>;
const char *kBusClass = "CorvaneMission/corvane_bus2";
enum { ANIM_TETHER, ANIM_BACKSHELL, ANIM_SOLP };  // in the order the bus creates them

class BusTest : public simtest::SimTest {
protected:
    // The capsule's class as a plain vessel (or one whose module is missing), found by the host's
    // second lookup Config/<class>.cfg.
    void CapsuleClass(const std::string &module_line = "")
    {
        WriteConfig("Config/Vessels/CorvaneMission/corvane_src.cfg",
                    "ClassName = Vessels/CorvaneMission/corvane_src\n" + module_line + "Mass = 205\n");
    }
    Vessel *Bus(const Lines &lines) { return LoadVessel("Corvane_Bus", kBusClass, lines); }
    // The bus's own scenario values: configuration, tether, panels, covers.
    std::string State(Vessel *v)
    {
        std::string out;
        for (const char *kw : {"CONFIGURATION", "TETHER", "SOLP", "BACKSHELL"})
            out += (out.empty() ? "" : ", ") + SavedLine(v, kw).substr(std::strlen(kw) + 1);
        return out;
    }
    static Lines Calls(const Lines &journal, const std::string &prefix)
    {
        Lines out;
        std::copy_if(journal.begin(), journal.end(), std::back_inserter(out),
                     [&](const std::string &j) { return j.rfind(prefix, 0) == 0; });
        return out;
    }
};

TEST_F(BusTest, DefinitionCallsInOrderWithTheirValues)
{
    options.journal = true;
    Vessel *v = Create("Corvane_Bus", kBusClass);
    ASSERT_NE(v, nullptr);
    const Lines head(v->journal.begin(), v->journal.begin() + 33);
    EXPECT_EQ(head, (Lines{
        "CreateAnimation(0)", "AddAnimationComponent(0, 0, 1, @, 0)", "AddAnimationComponent(0, 0, 1, @, @)",
        "CreateAnimation(0)", "AddAnimationComponent(1, 0, 0.3, @, 0)", "AddAnimationComponent(1, 0, 0.3, @, 0)",
        "AddAnimationComponent(1, 0.35, 0.6, @, 0)", "AddAnimationComponent(1, 0.65, 1, @, 0)",
        "AddAnimationComponent(1, 0.65, 1, @, 0)", "CreateAnimation(0)", "AddAnimationComponent(2, 0, 1, @, 0)",
        "AddAnimationComponent(2, 0, 1, @, 0)", "SetCW(0.3, 0.3, 0.6, 0.9)", "SetWingAspect(0.7)",
        "SetWingEffectiveness(2.5)", "SetRotDrag(0.35, 0.6, 0.6)", "GetFlightModel()", "SetPitchMomentScale(0.0001)",
        "SetBankMomentScale(0.0001)", "SetTrimScale(0.05)", "SetPMI(0.4, 0.5, 0.6)", "SetCrossSections(3, 3, 8)",
        "SetSize(3)", "AddMesh(\"CorvaneMission/cvn_bus1\")", "SetMeshVisibilityMode(0, 3)",
        "AddMesh(\"CorvaneMission/cvn_bus2\")", "SetMeshVisibilityMode(1, 3)", "SetCameraOffset(0, 2, -4)",
        "SetLiftCoeffFunc(@)", "SetEmptyMass(494)", "SetTouchdownPoints((0, 1, -0.5), (1, -1, -0.5), (-1, -1, -0.5))",
        "SetDockParams((0, 0, 0), (0, 1, 0), (0, 0, -1))", "CreatePropellantResource(142, 142, 1)"}));
    const Lines th = Calls(v->journal, "CreateThruster(");
    ASSERT_EQ(th.size(), 20u);
    EXPECT_EQ(th[4], "CreateThruster((0.887, 0.355, -0.47), (0, 0, 1), 1, @, 3000, 0, 101400)");
    EXPECT_EQ(th[19], "CreateThruster((-0.817, 0.043, -0.45), (0, 0, 1), 22, @, 3000, 0, 101400)");
    EXPECT_EQ(Calls(v->journal, "AddExhaust(@, 0.6, 0.03, @)").size(), 16u);
    EXPECT_EQ(Calls(v->journal, "AddExhaust(@, 2, 0.08, @)").size(), 4u);
    // The mass with the capsule aboard, set before the three touchdown points (whose springs are
    // 20 x the empty mass at the call: 9880 N/m each, not the 1e6 N/m of the host's default 1000 kg).
    EXPECT_EQ(Calls(v->journal, "SetEmptyMass"), Lines{"SetEmptyMass(494)"});
    EXPECT_EQ(W().journal, Lines{"oapiRegisterExhaustTexture(\"exhaust_atrcs\")"});
    // Groups in order, each with its own thrusters (thrusters sharing a place stay separate).
    EXPECT_EQ(Calls(v->journal, "CreateThrusterGroup"),
              (Lines{"CreateThrusterGroup(@, 2, 3)", "CreateThrusterGroup(@, 2, 4)", "CreateThrusterGroup(@, 2, 7)",
                     "CreateThrusterGroup(@, 2, 8)", "CreateThrusterGroup(@, 2, 5)", "CreateThrusterGroup(@, 2, 6)",
                     "CreateThrusterGroup(@, 4, 13)", "CreateThrusterGroup(@, 4, 0)"}));
    const size_t first[] = {8, 10, 12, 14, 4, 6, 0, 16};
    for (size_t g = 0; g < 8; ++g) {
        const auto &m = v->groups[g]->thrusters;
        EXPECT_TRUE(std::equal(m.begin(), m.end(), v->thrusters.begin() + first[g])) << "group " << g;
    }
    auto *wing = static_cast<MGROUP_ROTATE *>(v->animations[ANIM_SOLP].components[1]->trans);
    EXPECT_EQ(wing->angle, 1.9896649f);
    EXPECT_EQ(wing->grp[3], 30u);
    EXPECT_EQ(v->tanks[0]->mass, 142.0);
    ASSERT_TRUE(v->meshes[0].source && v->meshes[1].source);  // the meshes hold every animated group
    EXPECT_TRUE(v->meshes[0].source->groups.size() > 30 && v->meshes[1].source->groups.size() > 15);
    for (double aoa : {-PI, 0.0, 0.3, PI, 4.0, -7.0}) EXPECT_EQ(v->lift_func(aoa), 0.0);

    // A second bus shares the transform descriptions but has its own state.
    Vessel *b = Create("Bus_B", kBusClass);
    EXPECT_EQ(b->animations[ANIM_SOLP].components[1]->trans, wing);
    EXPECT_EQ(Key(v, OAPI_KEY_G), 1);
    StepFor(1.0);
    EXPECT_TRUE(v->animations[ANIM_SOLP].state > 0.15 && b->animations[ANIM_SOLP].state == 0.0);
}

TEST_F(BusTest, KeysActOnlyWhenTheirConditionsHold)
{
    Vessel *v = Create("Corvane_Bus", kBusClass);
    EXPECT_EQ(Key(v, OAPI_KEY_G, true) + W().KeyEvent(v, OAPI_KEY_G, false) + Key(v, OAPI_KEY_A), 0);
    EXPECT_EQ(Key(v, OAPI_KEY_K) + Key(v, OAPI_KEY_J), 2);  // panels stowed: consumed, nothing happens
    EXPECT_EQ(State(v), "0, 0 0.0000, 0 0.0000, 0 0.0000");

    EXPECT_EQ(Key(v, OAPI_KEY_G), 1);
    Step(10);
    EXPECT_EQ(Key(v, OAPI_KEY_G) + Key(v, OAPI_KEY_K), 2);  // panels still moving: no change
    EXPECT_EQ(State(v), "0, 0 0.0000, 3 0.0400, 0 0.0000");
    StepFor(5.0);
    EXPECT_EQ(Key(v, OAPI_KEY_G), 1);  // G never stows the panels
    EXPECT_EQ(SavedLine(v, "SOLP"), "SOLP 1 1.0000");

    // K opens and reverses mid-way in both directions; J waits for the covers closed and at rest.
    EXPECT_EQ(Key(v, OAPI_KEY_K), 1);
    Step(100);  // 2 s at 0.05/s
    EXPECT_EQ(Key(v, OAPI_KEY_K), 1);
    EXPECT_EQ(SavedLine(v, "BACKSHELL"), "BACKSHELL 2 0.1000");
    Step(50);
    EXPECT_EQ(Key(v, OAPI_KEY_J) + Key(v, OAPI_KEY_K), 2);
    EXPECT_EQ(State(v), "0, 0 0.0000, 1 1.0000, 3 0.0500");
    StepFor(20.0);
    EXPECT_EQ(Key(v, OAPI_KEY_J), 1);
    EXPECT_EQ(State(v), "0, 0 0.0000, 1 1.0000, 1 1.0000");
    EXPECT_EQ(W().DrawHud(1024, 768, v)->Texts()[3], "SRC Covers Opened");

    // Closing: the post-step that reaches 0 leaves the state moving; J works after the next one.
    CapsuleClass();
    Vessel *c = LoadScenarioText("BEGIN_SHIPS\nB2:CorvaneMission/corvane_bus2\nSOLP 1 1\nBACKSHELL 2 0.0005\n"
                                 "END\nEND_SHIPS\n", "B2");
    ASSERT_NE(c, nullptr);
    Step(1);
    EXPECT_EQ(Key(c, OAPI_KEY_J), 1);
    EXPECT_EQ(State(c), "0, 0 0.0000, 1 1.0000, 2 0.0000");
    Step(1);
    EXPECT_EQ(Key(c, OAPI_KEY_J), 1);
    EXPECT_EQ(State(c), "1, 3 0.0000, 1 1.0000, 0 0.0000");
}

TEST_F(BusTest, ReleasedCapsuleLeavesAheadTurnedAboutY)
{
    CapsuleClass();
    options.journal = true;
    // A full tank: as in the real host, a tank without a PRPLEVEL line loads empty.
    Vessel *bus = Bus({"SOLP 1 1.0", "PRPLEVEL 0:1.000000"});
    bus->Place(0.3, -0.2, 400e3, 0.7, 0.25, -0.4, _V(10, -3, 7600));
    bus->omega = _V(0.01, -0.02, 0.03);
    Step(1);
    bus->journal.clear();
    const HDC__ *hud = W().DrawHud(1024, 768, bus);  // the host's display first, then the bus's lines
    // (the current simulator asks through the sketchpad; every generation in HudLinesOnEveryGeneration)
    EXPECT_EQ(bus->journal.front().rfind("VESSEL3::clbkDrawHUD(", 0), 0u);
    EXPECT_EQ(hud->Texts(), (Lines{"Remaining dV = 757.99 m/s", "J = Jettison SRC Capsule", "Solar Panels Deployed",
                                   "K = Open SRC Covers"}));
    const int ys[] = {199, 183, 151, 167};
    int n = 0;
    for (const auto &op : hud->ops) {
        if (op.type == HDC__::Op::TEXT) {
            EXPECT_TRUE(op.x == 10 && op.y == ys[n++] && op.color == RGB(0, 255, 0));
        }
    }

    EXPECT_EQ(Key(bus, OAPI_KEY_J), 1);
    Vessel *c = W().FindVessel("Corvane_SRC");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->class_name, "Vessels/CorvaneMission/corvane_src");
    EXPECT_EQ(Calls(W().journal, "oapiCreateVessel(\"Corvane_SRC\", \"Vessels/CorvaneMission/corvane_src\"").size(), 1u);
    const VECTOR3 pos = bus->GlobalPos() + mul(bus->R, _V(0, 0, 0.2796));
    const VECTOR3 vel = bus->GlobalVel() + mul(bus->R, _V(0, 0, 0.3));
    for (int k = 0; k < 3; ++k) {
        // (to the resolution of a double at 1.5e11 m from the Sun: 3e-5 m)
        EXPECT_NEAR(c->GlobalPos().data[k], pos.data[k], 1e-4);
        EXPECT_NEAR(c->GlobalVel().data[k], vel.data[k], 1e-9);
        // R's columns are the axes: the capsule's x and z are the bus's reversed, y is the bus's.
        for (int col = 0; col < 3; ++col)
            EXPECT_NEAR(c->R.data[k * 3 + col], (col == 1 ? 1 : -1) * bus->R.data[k * 3 + col], 1e-12);
    }
    EXPECT_FALSE(c->landed);
    EXPECT_TRUE(c->omega.x == -0.01 && c->omega.y == -0.02 && c->omega.z == -0.03);  // x and z turn with the axes

    // The bus: released at once, lighter from the next pre-step, capsule mesh gone from the next post-step.
    EXPECT_EQ(State(bus), "1, 3 0.0000, 1 1.0000, 0 0.0000");
    EXPECT_TRUE(bus->empty_mass == 494.0 && bus->meshes[1].present);
    Step(1);
    EXPECT_TRUE(bus->empty_mass == 289.0 && !bus->meshes[1].present && bus->meshes[0].present);
    StepFor(1.1);
    EXPECT_EQ(Key(bus, OAPI_KEY_J) + Key(bus, OAPI_KEY_K), 2);  // consumed, nothing left to do
    EXPECT_EQ(State(bus), "1, 1 1.0000, 1 1.0000, 0 0.0000");
    EXPECT_EQ(W().Vessels().size(), 2u);
    EXPECT_EQ(W().DrawHud(1024, 768, bus)->Texts(),
              (Lines{"Remaining dV = 1199.04 m/s", "SRC Capsule Jettisoned", "Solar Panels Deployed"}));
    bus->tanks[0]->mass = 0.0;
    EXPECT_EQ(W().DrawHud(1024, 768, bus)->Texts()[0], "Remaining dV = 0.00 m/s");
}

TEST_F(BusTest, HudLinesOnEveryGeneration)
{
    // The same four green lines whichever simulator generation draws them: through the device
    // context where the host has its built-in graphics client (2016, the 2024 inline build), through
    // the sketchpad with the 2024 external client and in the current simulator. The host's own
    // display comes first either way. 768 pixels high: y0 = 135, d = 16; the tank full (142 kg) over
    // 494 kg empty gives 3000 ln(636/494) = 757.99 m/s.
    struct Line {
        int y;
        const char *text;
    };
    const Line want[] = {{199, "Remaining dV = 757.99 m/s"},
                         {183, "J = Jettison SRC Capsule"},
                         {151, "Solar Panels Deployed"},
                         {167, "K = Open SRC Covers"}};
    const struct {
        sim::HostGeneration host;
        bool sketchpad;
        const char *host_display;
    } generations[] = {{sim::HostGeneration::k2016, false, "VESSEL2::clbkDrawHUD("},
                       {sim::HostGeneration::k2024Inline, false, "VESSEL2::clbkDrawHUD("},
                       {sim::HostGeneration::k2024, true, "VESSEL3::clbkDrawHUD("},
                       {sim::HostGeneration::kLatest, true, "VESSEL3::clbkDrawHUD("}};
    for (const auto &g : generations) {
        SCOPED_TRACE(sim::HostGenerationName(g.host));
        EndWorld();
        options.host = g.host;
        options.journal = true;
        Vessel *bus = Bus({"SOLP 1 1.0", "PRPLEVEL 0:1.000000"});  // a tank without the line loads empty
        ASSERT_NE(bus, nullptr);
        Step(1);
        bus->journal.clear();
        const HDC__ *hud = W().DrawHud(1024, 768, bus);
        ASSERT_NE(hud, nullptr);
        ASSERT_FALSE(bus->journal.empty());
        EXPECT_EQ(bus->journal.front().rfind(g.host_display, 0), 0u) << bus->journal.front();
        // Each line: the colour set, then the text in it.
        ASSERT_EQ(hud->ops.size(), 8u) << hud->Listing();
        for (int i = 0; i < 4; ++i) {
            const HDC__::Op &colour = hud->ops[2 * i], &text = hud->ops[2 * i + 1];
            EXPECT_EQ(colour.type, HDC__::Op::SET_TEXT_COLOR);
            EXPECT_EQ(colour.color, RGB(0, 255, 0));
            EXPECT_EQ(text.type, HDC__::Op::TEXT);
            EXPECT_EQ(text.text, want[i].text);
            EXPECT_TRUE(text.x == 10 && text.y == want[i].y && text.color == RGB(0, 255, 0)) << text.text;
            EXPECT_TRUE(colour.sketchpad == g.sketchpad && text.sketchpad == g.sketchpad);
        }
    }
}

TEST_F(BusTest, FailedCreationStillLeavesTheBusReleased)
{
    CapsuleClass("Module = corvane_no_such_module\n");
    Vessel *bus = Bus({"SOLP 1 1.0"});
    EXPECT_EQ(Key(bus, OAPI_KEY_J), 1);
    EXPECT_EQ(W().FindVessel("Corvane_SRC"), nullptr);
    EXPECT_TRUE(std::any_of(W().LogLines().begin(), W().LogLines().end(), [](const std::string &l) {
        return l.find("corvane_no_such_module") != std::string::npos;
    }));
    Step(1);
    EXPECT_EQ(SavedLine(bus, "CONFIGURATION"), "CONFIGURATION 1");
    EXPECT_TRUE(bus->empty_mass == 289.0 && !bus->meshes[1].present);
}

TEST_F(BusTest, EmptyTankIsRefilledOnlyForBusesCreatedInFlight)
{
    Vessel *at_start = Bus({"PRPLEVEL 0:0.000000"});
    EXPECT_EQ(at_start->tanks[0]->mass, 0.0);
    auto created_with = [&](const std::string &name, double kg) {
        VESSELSTATUS2 vs{};
        VESSELSTATUS2::FUELSPEC fuel{0, kg / 142.0};
        vs.version = 2, vs.flag = VS_FUELLIST, vs.nfuel = 1, vs.fuel = &fuel;
        vs.rbody = W().Earth(), vs.rpos = _V(7e6, 0, 0), vs.rvel = _V(0, 0, 7500);
        Vessel *v = W().CreateVessel(name, kBusClass, vs);
        EXPECT_NE(v, nullptr);
        return v ? v->tanks[0]->mass : -1.0;
    };
    W().SetStepLength(0.1);
    Step(1);
    ASSERT_EQ(W().SimTime(), 0.1);
    EXPECT_EQ(created_with("At_0.1s", 0.0), 0.0);  // still the start of the simulation
    Step(1);
    EXPECT_EQ(created_with("Late_Bus", 0.0), 142.0);
    EXPECT_EQ(created_with("Nearly_Empty", 0.009), 142.0);
    EXPECT_NEAR(created_with("Low_Tank", 0.011), 0.011, 1e-12);  // 10 g or more is not empty
}

TEST_F(BusTest, MotionRuleAtStepZeroAndWithOddLoadedStates)
{
    options.journal = true;
    Vessel *v = Bus({"TETHER 7 0.5", "SOLP -1 0.25", "BACKSHELL 2 0.5"});
    W().SetStepLength(0.0);
    v->journal.clear();
    Step(1);  // nothing moves, but both moving mechanisms set their animation
    EXPECT_EQ(Calls(v->journal, "SetAnimation"), (Lines{"SetAnimation(0, 0.5)", "SetAnimation(1, 0.5)"}));
    W().SetStepLength(0.02);
    StepFor(1.0);
    EXPECT_EQ(SavedLine(v, "TETHER"), "TETHER 1 1.0000");  // above 3 opens like 3
    EXPECT_EQ(Key(v, OAPI_KEY_G), 1);                 // -1 is not "stowed": G leaves it
    EXPECT_EQ(SavedLine(v, "SOLP"), "SOLP -1 0.2500");      // negative never moves
}

TEST_F(BusTest, ScenarioLinesReadByPrefixAndWrittenAfterTheHostsLines)
{
    Vessel *a = Bus({"configuration 1", "solp 1 1.0", "TETHERX 1 0.5", "BACKSHELL 3", "BACKSHELL 1 nan"});
    EXPECT_FALSE(a->meshes[1].present);  // starts released
    EXPECT_EQ(a->animations[ANIM_SOLP].state, 1.0);
    Step(1);
    EXPECT_EQ(a->empty_mass, 289.0);
    const Lines saved = Saved(a);  // the host's lines first, then the bus's in their order
    EXPECT_EQ(saved.front().rfind("STATUS", 0), 0u);
    EXPECT_EQ(Lines(saved.end() - 4, saved.end()),
              (Lines{"CONFIGURATION 1", "TETHER 0 0.0000", "SOLP 1 1.0000", "BACKSHELL 1 0.0000"}));

    EndWorld();
    Vessel *b = Bus({"SOLP 3"});  // a lone state moves from the default position
    StepFor(5.1);
    EXPECT_EQ(SavedLine(b, "SOLP"), "SOLP 1 1.0000");

    // Configuration -1: shown as released, yet J only starts the tether and the capsule stays.
    EndWorld();
    CapsuleClass();
    Vessel *c = Bus({"CONFIGURATION -1", "SOLP 1 1.0", "PRPLEVEL 0:1.000000"});  // a full tank (else empty)
    EXPECT_EQ(Key(c, OAPI_KEY_J), 1);
    Step(1);
    EXPECT_EQ(State(c), "-1, 3 0.0200, 1 1.0000, 0 0.0000");
    EXPECT_TRUE(W().FindVessel("Corvane_SRC") == nullptr && c->meshes[1].present);
    EXPECT_EQ(W().DrawHud(1024, 768, c)->Texts(),
              (Lines{"Remaining dV = 757.99 m/s", "SRC Capsule Jettisoned", "Solar Panels Deployed"}));
}

// A mechanism position the loader accepts is saved whole and reads back as the same number, up to
// the largest double ("%0.4f" of 1.8e308 is 309 digits and 4 decimals, beyond a 256-character line).
TEST_F(BusTest, ExtremeMechanismPositionsSurviveSaveAndLoad)
{
    for (double x : {1e70, -1.7976931348623157e308, 1.7976931348623157e308}) {
        char value[400];
        std::snprintf(value, sizeof value, "%.17g", x);
        Vessel *a = Bus({std::string("TETHER 0 ") + value, std::string("SOLP 0 ") + value,
                         std::string("BACKSHELL 0 ") + value});
        ASSERT_NE(a, nullptr);
        Lines saved;
        for (const char *key : {"TETHER", "SOLP", "BACKSHELL"}) {
            const std::string line = SavedLine(a, key);
            double back = 0;
            ASSERT_EQ(std::sscanf(line.c_str() + std::strlen(key), " 0 %lf", &back), 1) << line;
            EXPECT_EQ(back, x) << line;
            saved.push_back(line);
        }
        EndWorld();
        Vessel *b = Bus(saved);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(Lines({SavedLine(b, "TETHER"), SavedLine(b, "SOLP"), SavedLine(b, "BACKSHELL")}), saved);
        EndWorld();
    }
}

}  // namespace
