// hud_scenario.cpp -- the helicopter's French head-up display (offsets and course to the parafoil
// capsule, the active mode, the pole bar, the low-altitude warning and the catch cue) and its five
// scenario lines.

#include "helicopter.h"

#include "hud_surface.h"
#include "scenario_keyword.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kDeg = 57.29577951308239;    // degrees per radian

// --- head-up display [pixels] -------------------------------------------------------------------
constexpr int kTextX = 16;
constexpr int kPlaneModeX = 55;
constexpr int kRowLon = 0, kRowLat = 10, kRowAlt = 20, kRowAlert = 40, kRowMode = 50, kRowAltHold = 60,
              kRowPlaneMode = 65, kRowCourse = 70;  // below the top line
constexpr int kBarLeft = 7, kBarRight = 14;
constexpr double kBarLength = 35;             // at full extension
constexpr double kWarningAlt = 200;           // [m]
constexpr double kBlinkPeriod = 1.0, kBlinkOn = 0.5;  // [s]
// The catch cue's box: wider in position and lower in height than the catch itself.
constexpr double kCueAngle = 2e-6;            // [rad]
constexpr double kCueBelowMin = 15, kCueBelowMax = 18;  // [m]
constexpr double kCueMinAlt = 20;             // [m]
constexpr std::size_t kHudText = 64;          // a HUD line; longer numbers are cut, never overrun

// --- scenario lines -------------------------------------------------------------------------------
const char kSaveLogLine[] = "sauvegarde sc\xe9nario";
const char kKeyEngine[] = "MOTEUR";       // "%d %lf %i %lf %d"
const char kKeyHover[] = "STATIO";        // "%d %d"
const char kKeyCourse[] = "PILOTEAUTO";   // "%d %lf %lf %lf"
const char kKeyHeading[] = "HEADINGHOLD"; // "%d %d %d"
const char kKeyPole[] = "PERCHE";         // "%d %lf"
// Written only while the hover's host settings outlast the hover (after the autopilot's landing):
// the host saves no air-data mode 0 and no surface axes, and a file without the line loads as today.
const char kKeyControls[] = "COMMANDES";  // "%d"
// Five values printed with "%lf" can reach about 320 characters each.
constexpr std::size_t kLineBuffer = 2048;

// A whole pixel coordinate within the int range (values loaded from a scenario are not checked).
int PixelOf(double v)
{
    if (!(v == v)) return 0;
    if (v > 1e9) return 1000000000;
    if (v < -1e9) return -1000000000;
    return static_cast<int>(v);
}

void NumberText(corvane::HudSurface &hud, int x, int y, const char *label, double value)
{
    char buf[kHudText];
    std::snprintf(buf, sizeof buf, "%s%lf", label, value);
    hud.Text(x, y, buf);
}

// A value read from a scenario line replaces the field only when it is a finite number: nan or inf
// would reach the thrust, the angular velocity and the animations (as the capsule's and the bus's
// lines, a value that is not a number keeps the field as it was).
void KeepFinite(double &field, double read)
{
    if (std::isfinite(read)) field = read;
}

// Writes "KEYWORD values" (the host's item parameter is not const).
void WriteLine(FILEHANDLE scn, const char *keyword, const char *values)
{
    char item[16];
    std::snprintf(item, sizeof item, "%s", keyword);
    oapiWriteScenario_string(scn, item, const_cast<char *>(values));
}

}  // namespace

const char *Helicopter::ModeWord() const
{
    if (follow_course_on) return "SUIVRE CAP";
    if (descent_on) return "DESCENTE";
    if (hover_on) return "STATIONNAIRE";
    if (heading_hold_on) return "HEADING HOLD";
    return "NORMAL";
}

// The extended pole sinking low: the display warns and the looped warning sound plays. Evaluated
// every frame, whether a display is drawn or not, so that the sound stops whenever the condition
// ends (a climb, the pole retracting or a landing), not only while the warning is on the screen.
void Helicopter::UpdatePoleWarning()
{
    const bool warning = pole_state == POLE_EXTENDED && GetAltitude() < kWarningAlt && horizon_airspeed.y < 0;
    if (warning)
        PoleWarningSound(true);
    else if (pole_warning)
        PoleWarningSound(false);
    pole_warning = warning;
}

// The items, from the top: the offsets to the capsule, the pole bar with the blinking warning, the
// catch cue, the mode word and its assist words, the course. No font, colour or pen is chosen: the
// host's HUD settings draw them.
void Helicopter::DrawHudItems(corvane::HudSurface &hud, const HUDPAINTSPEC *hps) const
{
    const int top = hps->CY - hps->CY / 2;

    NumberText(hud, kTextX, top + kRowLon, "delta LON : ", (own_lon - pf_lon) * kDeg);
    NumberText(hud, kTextX, top + kRowLat, "delta LAT : ", (own_lat - pf_lat) * kDeg);
    NumberText(hud, kTextX, top + kRowAlt, "delta ALT : ", own_alt - pf_alt);

    if (pole_state != POLE_RETRACTED) {
        const int bottom = PixelOf(pole_pos * kBarLength + top);
        if (pole_state == POLE_EXTENDING || pole_state == POLE_RETRACTING) {
            hud.Box(kBarLeft, top, kBarRight, bottom);
        } else if (pole_state == POLE_EXTENDED) {
            if (pole_warning) {  // the warning and the bar blink at 1 Hz
                if (std::fmod(oapiGetSimTime(), kBlinkPeriod) < kBlinkOn) {
                    hud.Text(kTextX, top + kRowAlert, "WARNING");
                    hud.Box(kBarLeft, top, kBarRight, bottom);
                }
            } else {
                hud.Box(kBarLeft, top, kBarRight, bottom);
            }
        }
    }

    const double below = own_alt - pf_alt;
    if (!attached && std::fabs(own_lon - pf_lon) <= kCueAngle && std::fabs(own_lat - pf_lat) <= kCueAngle &&
        below >= kCueBelowMin && below <= kCueBelowMax && pf_alt > kCueMinAlt)
        hud.Text(kTextX, top + kRowAlert, "CATCH !");

    const char *word = ModeWord();
    hud.Text(kTextX, top + kRowMode, word);
    const bool normal = std::strcmp(word, "NORMAL") == 0;
    if (normal && alt_hold_on) hud.Text(kTextX, top + kRowAltHold, "AUTOPILOTE ALTITUDE");
    if (normal && plane_mode_on) hud.Text(kPlaneModeX, top + kRowPlaneMode, "MODE AVION");
    NumberText(hud, kTextX, top + kRowCourse, "CAP REQUIS : ", CourseTo(own_lat, own_lon, pf_lat, pf_lon));
}

void Helicopter::clbkSaveState(FILEHANDLE scn)
{
    char log_line[sizeof kSaveLogLine];
    std::memcpy(log_line, kSaveLogLine, sizeof kSaveLogLine);
    oapiWriteLog(log_line);
    VESSEL2::clbkSaveState(scn);

    char buf[kLineBuffer];
    std::snprintf(buf, sizeof buf, "%d %lf %i %lf %d", static_cast<int>(engine_state), sound_pitch_base,
                  spool_count, rotor_speed, start_sound_played ? 1 : 0);
    WriteLine(scn, kKeyEngine, buf);
    std::snprintf(buf, sizeof buf, "%d %d", hover_on ? 1 : 0, descent_on ? 1 : 0);
    WriteLine(scn, kKeyHover, buf);
    std::snprintf(buf, sizeof buf, "%d %lf %lf %lf", follow_course_on ? 1 : 0, target_lat, target_lon,
                  target_heading);
    WriteLine(scn, kKeyCourse, buf);
    std::snprintf(buf, sizeof buf, "%d %d %d", heading_hold_on ? 1 : 0, plane_mode_on ? 1 : 0, alt_hold_on ? 1 : 0);
    WriteLine(scn, kKeyHeading, buf);
    std::snprintf(buf, sizeof buf, "%d %lf", static_cast<int>(pole_state), pole_pos);
    WriteLine(scn, kKeyPole, buf);
    if (hover_controls && !hover_on) WriteLine(scn, kKeyControls, "1");
}

void Helicopter::clbkLoadStateEx(FILEHANDLE scn, void *status)
{
    char *line;
    while (oapiReadScenario_nextline(scn, line)) {
        const char *v;
        if ((v = corvane::MatchKeyword(line, kKeyEngine))) {
            int state = engine_state, played = start_sound_played;
            double pitch = sound_pitch_base, speed = rotor_speed;
            std::sscanf(v, "%d %lf %i %lf %d", &state, &pitch, &spool_count, &speed, &played);
            engine_state = static_cast<EngineState>(state);
            KeepFinite(sound_pitch_base, pitch);
            KeepFinite(rotor_speed, speed);
            start_sound_played = played != 0;
        } else if ((v = corvane::MatchKeyword(line, kKeyHover))) {
            int hover = hover_on, descent = descent_on;
            std::sscanf(v, "%d %d", &hover, &descent);
            hover_on = hover != 0;
            descent_on = descent != 0;
        } else if ((v = corvane::MatchKeyword(line, kKeyCourse))) {
            int follow = follow_course_on;
            double lat = target_lat, lon = target_lon, hdg = target_heading;
            std::sscanf(v, "%d %lf %lf %lf", &follow, &lat, &lon, &hdg);
            follow_course_on = follow != 0;
            KeepFinite(target_lat, lat);
            KeepFinite(target_lon, lon);
            KeepFinite(target_heading, hdg);
        } else if ((v = corvane::MatchKeyword(line, kKeyHeading))) {
            int hold = heading_hold_on, plane = plane_mode_on, alt = alt_hold_on;
            std::sscanf(v, "%d %d %d", &hold, &plane, &alt);
            heading_hold_on = hold != 0;
            plane_mode_on = plane != 0;
            alt_hold_on = alt != 0;
        } else if ((v = corvane::MatchKeyword(line, kKeyControls))) {
            int controls = 0;
            std::sscanf(v, "%d", &controls);
            hover_controls = controls != 0;
            continue;
        } else if ((v = corvane::MatchKeyword(line, kKeyPole))) {
            int state = pole_state;
            double pos = pole_pos;
            std::sscanf(v, "%d %lf", &state, &pos);
            pole_state = static_cast<PoleState>(state);
            KeepFinite(pole_pos, pos);
            continue;  // a pole line ends here
        }
        ParseScenarioLineEx(line, status);  // the host's lines, and the other own lines too
    }
}
