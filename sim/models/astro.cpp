// Sun, Earth and Moon ephemerides and Earth's rotation for the stand-in host.
//
// Earth: heliocentric ecliptic longitude, latitude and radius of Earth's centre from the planetary
// theory VSOP87 (Bretagnon & Francou 1988), version D (mean ecliptic and equinox of date),
// truncated to its 195 leading terms (the truncation J. Meeus published in "Astronomical
// Algorithms", 2nd ed., 1998, appendix III).
// Lunar: geocentric longitude, latitude and distance from the ELP-2000/82 lunar theory
// (Chapront-Touze & Chapront) truncated to its 60 + 60 main periodic terms plus the additive
// terms for Venus, Jupiter and the flattening of the Earth (Meeus, chapter 47).
// Both give coordinates of date; they are rotated to the J2000 ecliptic and equinox with the
// rigorous ecliptic precession (Lieske et al. 1977; Meeus, eq. 21.5).
//
// Accuracy (geometric positions, no light time or aberration):
//  - Earth: within a few hundred km over 1900..2100 (about 1 arcsecond in direction and 2e-6 AU
//    in radius). Against a high-precision ephemeris: 180 km off at J2000.0; the 2020 perihelion
//    and aphelion distances within 330 km and 15 km.
//  - Moon relative to Earth: about 10" in longitude, 4" in latitude and 10 km in distance,
//    i.e. within about 30 km; the Moon's heliocentric error is dominated by the Earth's.
//  - Velocities come from a central difference of positions over +-60 s; the truncation
//    error of the difference is below 1e-5 m/s.
// Earth's rotation: the simulator's own (its Earth.cfg): a uniform sidereal angle with the sidereal
// day kEarthSiderealDay from its offset at J2000, the axis precessing about the ecliptic pole in
// 25771.5 years (nutation ignored, as there). Its Greenwich meridian stands 0.3136 deg west of the
// true one (the offset is short of the mean sidereal time at J2000, 280.46061837 deg).
#include "astro.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>

namespace sim {
namespace astro {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kDeg = kPi / 180.0;         // [rad/deg]
constexpr double kArcsec = kDeg / 3600.0;    // [rad/arcsec]
constexpr double kDaysPerCentury = 36525.0;  // [days] Julian century
constexpr double kSecondsPerDay = 86400.0;   // [s]
constexpr double kVelocityHalfStep = 60.0;   // [s] half span of the velocity difference

// ---- VSOP87D Earth: terms A cos(B + C tau), tau in Julian millennia from J2000 -----------------
// A in 1e-8 rad (L, B) or 1e-8 AU (R), B in rad, C in rad per millennium.
struct VsopTerm {
    double a, b, c;
};

// clang-format off
constexpr VsopTerm kL0[] = {
    {175347046, 0, 0},
    {3341656, 4.6692568, 6283.0758500}, {34894, 4.62610, 12566.15170},
    {3497, 2.7441, 5753.3849},          {3418, 2.8289, 3.5231},
    {3136, 3.6277, 77713.7715},         {2676, 4.4181, 7860.4194},
    {2343, 6.1352, 3930.2097},          {1324, 0.7425, 11506.7698},
    {1273, 2.0371, 529.6910},           {1199, 1.1096, 1577.3435},
    {990, 5.233, 5884.927},             {902, 2.045, 26.298},
    {857, 3.508, 398.149},              {780, 1.179, 5223.694},
    {753, 2.533, 5507.553},             {505, 4.583, 18849.228},
    {492, 4.205, 775.523},              {357, 2.920, 0.067},
    {317, 5.849, 11790.629},            {284, 1.899, 796.298},
    {271, 0.315, 10977.079},            {243, 0.345, 5486.778},
    {206, 4.806, 2544.314},             {205, 1.869, 5573.143},
    {202, 2.458, 6069.777},             {156, 0.833, 213.299},
    {132, 3.411, 2942.463},             {126, 1.083, 20.775},
    {115, 0.645, 0.980},                {103, 0.636, 4694.003},
    {102, 0.976, 15720.839},            {102, 4.267, 7.114},
    {99, 6.21, 2146.17},                {98, 0.68, 155.42},
    {86, 5.98, 161000.69},              {85, 1.30, 6275.96},
    {85, 3.67, 71430.70},               {80, 1.81, 17260.15},
    {79, 3.04, 12036.46},               {75, 1.76, 5088.63},
    {74, 3.50, 3154.69},                {74, 4.68, 801.82},
    {70, 0.83, 9437.76},                {62, 3.98, 8827.39},
    {61, 1.82, 7084.90},                {57, 2.78, 6286.60},
    {56, 4.39, 14143.50},               {56, 3.47, 6279.55},
    {52, 0.19, 12139.55},               {52, 1.33, 1748.02},
    {51, 0.28, 5856.48},                {49, 0.49, 1194.45},
    {41, 5.37, 8429.24},                {41, 2.40, 19651.05},
    {39, 6.17, 10447.39},               {37, 6.04, 10213.29},
    {37, 2.57, 1059.38},                {36, 1.71, 2352.87},
    {36, 1.78, 6812.77},                {33, 0.59, 17789.85},
    {30, 0.44, 83996.85},               {30, 2.74, 1349.87},
    {25, 3.16, 4690.48},
};
constexpr VsopTerm kL1[] = {
    {628331966747.0, 0, 0},
    {206059, 2.678235, 6283.075850}, {4303, 2.6351, 12566.1517},
    {425, 1.590, 3.523},             {119, 5.796, 26.298},
    {109, 2.966, 1577.344},          {93, 2.59, 18849.23},
    {72, 1.14, 529.69},              {68, 1.87, 398.15},
    {67, 4.41, 5507.55},             {59, 2.89, 5223.69},
    {56, 2.17, 155.42},              {45, 0.40, 796.30},
    {36, 0.47, 775.52},              {29, 2.65, 7.11},
    {21, 5.34, 0.98},                {19, 1.85, 5486.78},
    {19, 4.97, 213.30},              {17, 2.99, 6275.96},
    {16, 0.03, 2544.31},             {16, 1.43, 2146.17},
    {15, 1.21, 10977.08},            {12, 2.83, 1748.02},
    {12, 3.26, 5088.63},             {12, 5.27, 1194.45},
    {12, 2.08, 4694.00},             {11, 0.77, 553.57},
    {10, 1.30, 6286.60},             {10, 4.24, 1349.87},
    {9, 2.70, 242.73},               {9, 5.64, 951.72},
    {8, 5.30, 2352.87},              {6, 2.65, 9437.76},
    {6, 4.67, 4690.48},
};
constexpr VsopTerm kL2[] = {
    {52919, 0, 0},            {8720, 1.0721, 6283.0758}, {309, 0.867, 12566.152},
    {27, 0.05, 3.52},         {16, 5.19, 26.30},         {16, 3.68, 155.42},
    {10, 0.76, 18849.23},     {9, 2.06, 77713.77},       {7, 0.83, 775.52},
    {5, 4.66, 1577.34},       {4, 1.03, 7.11},           {4, 3.44, 5573.14},
    {3, 5.14, 796.30},        {3, 6.05, 5507.55},        {3, 1.19, 242.73},
    {3, 6.12, 529.69},        {3, 0.31, 398.15},         {3, 2.28, 553.57},
    {2, 4.38, 5223.69},       {2, 3.75, 0.98},
};
constexpr VsopTerm kL3[] = {
    {289, 5.844, 6283.076}, {35, 0, 0},          {17, 5.49, 12566.15}, {3, 5.20, 155.42},
    {1, 4.72, 3.52},        {1, 5.30, 18849.23}, {1, 5.97, 242.73},
};
constexpr VsopTerm kL4[] = {{114, 3.142, 0}, {8, 4.13, 6283.08}, {1, 3.84, 12566.15}};
constexpr VsopTerm kL5[] = {{1, 3.14, 0}};

constexpr VsopTerm kB0[] = {
    {280, 3.199, 84334.662}, {102, 5.422, 5507.553}, {80, 3.88, 5223.69},
    {44, 3.70, 2352.87},     {32, 4.00, 1577.34},
};
constexpr VsopTerm kB1[] = {{9, 3.90, 5507.55}, {6, 1.73, 5223.69}};

constexpr VsopTerm kR0[] = {
    {100013989, 0, 0},
    {1670700, 3.0984635, 6283.0758500}, {13956, 3.05525, 12566.15170},
    {3084, 5.1985, 77713.7715},         {1628, 1.1739, 5753.3849},
    {1576, 2.8469, 7860.4194},          {925, 5.453, 11506.770},
    {542, 4.564, 3930.210},             {472, 3.661, 5884.927},
    {346, 0.964, 5507.553},             {329, 5.900, 5223.694},
    {307, 0.299, 5573.143},             {243, 4.273, 11790.629},
    {212, 5.847, 1577.344},             {186, 5.022, 10977.079},
    {175, 3.012, 18849.228},            {110, 5.055, 5486.778},
    {98, 0.89, 6069.78},                {86, 5.69, 15720.84},
    {86, 1.27, 161000.69},              {65, 0.27, 17260.15},
    {63, 0.92, 529.69},                 {57, 2.01, 83996.85},
    {56, 5.24, 71430.70},               {49, 3.25, 2544.31},
    {47, 2.58, 775.52},                 {45, 5.54, 9437.76},
    {43, 6.01, 6275.96},                {39, 5.36, 4694.00},
    {38, 2.39, 8827.39},                {37, 0.83, 19651.05},
    {37, 4.90, 12139.55},               {36, 1.67, 12036.46},
    {35, 1.84, 2942.46},                {33, 0.24, 7084.90},
    {32, 0.18, 5088.63},                {32, 1.78, 398.15},
    {28, 1.21, 6286.60},                {28, 1.90, 6279.55},
    {26, 4.59, 10447.39},
};
constexpr VsopTerm kR1[] = {
    {103019, 1.107490, 6283.075850}, {1721, 1.0644, 12566.1517}, {702, 3.142, 0},
    {32, 1.02, 18849.23},            {31, 2.84, 5507.55},        {25, 1.32, 5223.69},
    {18, 1.42, 1577.34},             {10, 5.91, 10977.08},       {9, 1.42, 6275.96},
    {9, 0.27, 5486.78},
};
constexpr VsopTerm kR2[] = {
    {4359, 5.7846, 6283.0758}, {124, 5.579, 12566.152}, {12, 3.14, 0},
    {9, 3.63, 77713.77},       {6, 1.87, 5573.14},      {3, 5.47, 18849.23},
};
constexpr VsopTerm kR3[] = {{145, 4.273, 6283.076}, {7, 3.92, 12566.15}};
constexpr VsopTerm kR4[] = {{4, 2.56, 6283.08}};

struct VsopSeries {
  const VsopTerm* terms;
  std::size_t count;
};
// clang-format on
template <std::size_t N>
constexpr VsopSeries Series(const VsopTerm (&t)[N]) {
    return {t, N};
}
constexpr VsopSeries kLongitude[] = {Series(kL0), Series(kL1), Series(kL2),
                                     Series(kL3), Series(kL4), Series(kL5)};
constexpr VsopSeries kLatitude[] = {Series(kB0), Series(kB1)};
constexpr VsopSeries kRadius[] = {Series(kR0), Series(kR1), Series(kR2), Series(kR3), Series(kR4)};

// ---- ELP-2000/82 main terms: multiples of the arguments D, M, M', F --------------------------
struct LunarLrTerm {
    signed char d, m, mp, f;
    double sin_l;  // [1e-6 deg] longitude
    double cos_r;  // [1e-3 km] distance
};
// clang-format off
constexpr LunarLrTerm kMoonLr[] = {
    {0, 0, 1, 0, 6288774, -20905355}, {2, 0, -1, 0, 1274027, -3699111},
    {2, 0, 0, 0, 658314, -2955968},   {0, 0, 2, 0, 213618, -569925},
    {0, 1, 0, 0, -185116, 48888},     {0, 0, 0, 2, -114332, -3149},
    {2, 0, -2, 0, 58793, 246158},     {2, -1, -1, 0, 57066, -152138},
    {2, 0, 1, 0, 53322, -170733},     {2, -1, 0, 0, 45758, -204586},
    {0, 1, -1, 0, -40923, -129620},   {1, 0, 0, 0, -34720, 108743},
    {0, 1, 1, 0, -30383, 104755},     {2, 0, 0, -2, 15327, 10321},
    {0, 0, 1, 2, -12528, 0},          {0, 0, 1, -2, 10980, 79661},
    {4, 0, -1, 0, 10675, -34782},     {0, 0, 3, 0, 10034, -23210},
    {4, 0, -2, 0, 8548, -21636},      {2, 1, -1, 0, -7888, 24208},
    {2, 1, 0, 0, -6766, 30824},       {1, 0, -1, 0, -5163, -8379},
    {1, 1, 0, 0, 4987, -16675},       {2, -1, 1, 0, 4036, -12831},
    {2, 0, 2, 0, 3994, -10445},       {4, 0, 0, 0, 3861, -11650},
    {2, 0, -3, 0, 3665, 14403},       {0, 1, -2, 0, -2689, -7003},
    {2, 0, -1, 2, -2602, 0},          {2, -1, -2, 0, 2390, 10056},
    {1, 0, 1, 0, -2348, 6322},        {2, -2, 0, 0, 2236, -9884},
    {0, 1, 2, 0, -2120, 5751},        {0, 2, 0, 0, -2069, 0},
    {2, -2, -1, 0, 2048, -4950},      {2, 0, 1, -2, -1773, 4130},
    {2, 0, 0, 2, -1595, 0},           {4, -1, -1, 0, 1215, -3958},
    {0, 0, 2, 2, -1110, 0},           {3, 0, -1, 0, -892, 3258},
    {2, 1, 1, 0, -810, 2616},         {4, -1, -2, 0, 759, -1897},
    {0, 2, -1, 0, -713, -2117},       {2, 2, -1, 0, -700, 2354},
    {2, 1, -2, 0, 691, 0},            {2, -1, 0, -2, 596, 0},
    {4, 0, 1, 0, 549, -1423},         {0, 0, 4, 0, 537, -1117},
    {4, -1, 0, 0, 520, -1571},        {1, 0, -2, 0, -487, -1739},
    {2, 1, 0, -2, -399, 0},           {0, 0, 2, -2, -381, -4421},
    {1, 1, 1, 0, 351, 0},             {3, 0, -2, 0, -340, 0},
    {4, 0, -3, 0, 330, 0},            {2, -1, 2, 0, 327, 0},
    {0, 2, 1, 0, -323, 1165},         {1, 1, -1, 0, 299, 0},
    {2, 0, 3, 0, 294, 0},             {2, 0, -1, -2, 0, 8752},
};
// clang-format on
struct LunarBTerm {
    signed char d, m, mp, f;
    double sin_b;  // [1e-6 deg] latitude
};
// clang-format off
constexpr LunarBTerm kMoonB[] = {
    {0, 0, 0, 1, 5128122}, {0, 0, 1, 1, 280602},  {0, 0, 1, -1, 277693}, {2, 0, 0, -1, 173237},
    {2, 0, -1, 1, 55413},  {2, 0, -1, -1, 46271}, {2, 0, 0, 1, 32573},   {0, 0, 2, 1, 17198},
    {2, 0, 1, -1, 9266},   {0, 0, 2, -1, 8822},   {2, -1, 0, -1, 8216},  {2, 0, -2, -1, 4324},
    {2, 0, 1, 1, 4200},    {2, 1, 0, -1, -3359},  {2, -1, -1, 1, 2463},  {2, -1, 0, 1, 2211},
    {2, -1, -1, -1, 2065}, {0, 1, -1, -1, -1870}, {4, 0, -1, -1, 1828},  {0, 1, 0, 1, -1794},
    {0, 0, 0, 3, -1749},   {0, 1, -1, 1, -1565},  {1, 0, 0, 1, -1491},   {0, 1, 1, 1, -1475},
    {0, 1, 1, -1, -1410},  {0, 1, 0, -1, -1344},  {1, 0, 0, -1, -1335},  {0, 0, 3, 1, 1107},
    {4, 0, 0, -1, 1021},   {4, 0, -1, 1, 833},    {0, 0, 1, -3, 777},    {4, 0, -2, 1, 671},
    {2, 0, 0, -3, 607},    {2, 0, 2, -1, 596},    {2, -1, 1, -1, 491},   {2, 0, -2, 1, -451},
    {0, 0, 3, -1, 439},    {2, 0, 2, 1, 422},     {2, 0, -3, -1, 421},   {2, 1, -1, 1, -366},
    {2, 1, 0, 1, -351},    {4, 0, 0, 1, 331},     {2, -1, 1, 1, 315},    {2, -2, 0, -1, 302},
    {0, 0, 1, 3, -283},    {2, 1, 1, -1, -229},   {1, 1, 0, -1, 223},    {1, 1, 0, 1, 223},
    {0, 1, -2, -1, -220},  {2, 1, -1, -1, -220},  {1, 0, 1, 1, -185},    {2, -1, -2, -1, 181},
    {0, 1, 2, 1, -177},    {4, 0, -2, -1, 176},   {4, -1, -1, -1, 166},  {1, 0, 1, -1, -164},
    {4, 0, 1, -1, 132},    {1, 0, -1, -1, -119},  {4, -1, 0, -1, 115},   {2, -2, 0, 1, 107},
};
// clang-format on
constexpr double kMoonMeanDistance = 385000.56;  // [km]

// ---- helpers ------------------------------------------------------------------------------------
double CenturiesSinceJ2000(double mjd) { return (mjd - kMjdJ2000) / kDaysPerCentury; }

double Wrap2Pi(double a) {
    a = std::fmod(a, kTwoPi);
    return a < 0.0 ? a + kTwoPi : a;
}

// Polynomial in T (centuries) given in degrees, reduced before conversion to keep precision.
double DegPoly(double c0, double c1, double c2, double c3, double c4, double t) {
    const double deg = c0 + std::fmod(c1 * t, 360.0) + t * t * (c2 + t * (c3 + t * c4));
    return Wrap2Pi(deg * kDeg);
}

double SumVsop(const VsopSeries* series, std::size_t n, double tau) {
    double result = 0.0, tau_power = 1.0;
    for (std::size_t k = 0; k < n; ++k) {
        double sum = 0.0;
        for (std::size_t i = 0; i < series[k].count; ++i) {
            const VsopTerm& term = series[k].terms[i];
            sum += term.a * std::cos(term.b + term.c * tau);
        }
        result += sum * tau_power;
        tau_power *= tau;
    }
    return result * 1e-8;
}

// Rigorous precession of ecliptic coordinates from the ecliptic and equinox of date (t centuries
// after J2000) back to those of J2000.
void PrecessEclipticToJ2000(double t_date, double* lon, double* lat) {
    const double big_t = t_date;  // starting epoch
    const double t = -t_date;     // interval to the final epoch J2000
    const double t2 = t * t, t3 = t2 * t, bt2 = big_t * big_t;
    const double eta = ((47.0029 - 0.06603 * big_t + 0.000598 * bt2) * t +
                        (-0.03302 + 0.000598 * big_t) * t2 + 0.000060 * t3) *
                       kArcsec;
    const double pi_node = 174.876384 * kDeg + (3289.4789 * big_t + 0.60622 * bt2 -
                                                (869.8089 + 0.50491 * big_t) * t + 0.03536 * t2) *
                                                   kArcsec;
    const double p = ((5029.0966 + 2.22226 * big_t - 0.000042 * bt2) * t +
                      (1.11113 - 0.000042 * big_t) * t2 - 0.000006 * t3) *
                     kArcsec;
    const double cb = std::cos(*lat), sb = std::sin(*lat);
    const double ce = std::cos(eta), se = std::sin(eta);
    const double a = ce * cb * std::sin(pi_node - *lon) - se * sb;
    const double b = cb * std::cos(pi_node - *lon);
    const double c = ce * sb + se * cb * std::sin(pi_node - *lon);
    *lon = Wrap2Pi(p + pi_node - std::atan2(a, b));
    *lat = std::asin(c < -1.0 ? -1.0 : (c > 1.0 ? 1.0 : c));
}

// Ecliptic coordinates of J2000 (right-handed) -> global frame (left-handed: y is the ecliptic
// pole, z the right-handed Y axis).
V3 EclipticToGlobal(double lon, double lat, double dist) {
    const double cb = std::cos(lat);
    return {dist * cb * std::cos(lon), dist * std::sin(lat), dist * cb * std::sin(lon)};
}

V3 EarthPosition(double mjd) {
    EclipticPosition e = EarthHeliocentricOfDate(mjd);
    PrecessEclipticToJ2000(CenturiesSinceJ2000(mjd), &e.lon, &e.lat);
    return EclipticToGlobal(e.lon, e.lat, e.dist);
}

V3 MoonGeocentricPosition(double mjd) {
    EclipticPosition m = MoonGeocentricOfDate(mjd);
    PrecessEclipticToJ2000(CenturiesSinceJ2000(mjd), &m.lon, &m.lat);
    return EclipticToGlobal(m.lon, m.lat, m.dist);
}

V3 Add(const V3& a, const V3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

// Position and central-difference velocity of a position function of the date.
template <typename PositionFn>
BodyState StateOf(PositionFn position, double mjd) {
    const double h = kVelocityHalfStep / kSecondsPerDay;
    const V3 before = position(mjd - h);
    const V3 after = position(mjd + h);
    const double k = 1.0 / (2.0 * kVelocityHalfStep);
    return {position(mjd),
            {(after.x - before.x) * k, (after.y - before.y) * k, (after.z - before.z) * k}};
}

}  // namespace

// ---- ephemerides --------------------------------------------------------------------------------
EclipticPosition EarthHeliocentricOfDate(double mjd) {
    const double tau = CenturiesSinceJ2000(mjd) / 10.0;
    EclipticPosition e;
    e.lon = Wrap2Pi(SumVsop(kLongitude, std::size(kLongitude), tau));
    e.lat = SumVsop(kLatitude, std::size(kLatitude), tau);
    e.dist = SumVsop(kRadius, std::size(kRadius), tau) * kAU;
    return e;
}

EclipticPosition MoonGeocentricOfDate(double mjd) {
    const double t = CenturiesSinceJ2000(mjd);
    // Mean elements [rad]: longitude, elongation, Sun's and Moon's anomalies, argument of latitude.
    const double lp =
        DegPoly(218.3164477, 481267.88123421, -0.0015786, 1.0 / 538841.0, -1.0 / 65194000.0, t);
    const double d =
        DegPoly(297.8501921, 445267.1114034, -0.0018819, 1.0 / 545868.0, -1.0 / 113065000.0, t);
    const double m = DegPoly(357.5291092, 35999.0502909, -0.0001536, 1.0 / 24490000.0, 0.0, t);
    const double mp =
        DegPoly(134.9633964, 477198.8675055, 0.0087414, 1.0 / 69699.0, -1.0 / 14712000.0, t);
    const double f =
        DegPoly(93.2720950, 483202.0175233, -0.0036539, -1.0 / 3526000.0, 1.0 / 863310000.0, t);
    const double a1 = DegPoly(119.75, 131.849, 0, 0, 0, t);     // Venus
    const double a2 = DegPoly(53.09, 479264.290, 0, 0, 0, t);   // Jupiter
    const double a3 = DegPoly(313.45, 481266.484, 0, 0, 0, t);  // flattening of the Earth
    const double e =
        1.0 - 0.002516 * t - 0.0000074 * t * t;  // decreasing eccentricity of Earth's orbit

    auto eccentricity_factor = [e](int m_mult) {
        return m_mult == 0 ? 1.0 : (m_mult == 1 || m_mult == -1 ? e : e * e);
    };
    double sum_l = 0.0, sum_r = 0.0, sum_b = 0.0;
    for (const LunarLrTerm& term : kMoonLr) {
        const double arg = term.d * d + term.m * m + term.mp * mp + term.f * f;
        const double k = eccentricity_factor(term.m);
        sum_l += k * term.sin_l * std::sin(arg);
        sum_r += k * term.cos_r * std::cos(arg);
    }
    for (const LunarBTerm& term : kMoonB) {
        const double arg = term.d * d + term.m * m + term.mp * mp + term.f * f;
        sum_b += eccentricity_factor(term.m) * term.sin_b * std::sin(arg);
    }
    sum_l += 3958.0 * std::sin(a1) + 1962.0 * std::sin(lp - f) + 318.0 * std::sin(a2);
    sum_b += -2235.0 * std::sin(lp) + 382.0 * std::sin(a3) + 175.0 * std::sin(a1 - f) +
             175.0 * std::sin(a1 + f) + 127.0 * std::sin(lp - mp) - 115.0 * std::sin(lp + mp);

    EclipticPosition moon;
    moon.lon = Wrap2Pi(lp + sum_l * 1e-6 * kDeg);
    moon.lat = sum_b * 1e-6 * kDeg;
    moon.dist = (kMoonMeanDistance + sum_r * 1e-3) * 1000.0;
    return moon;
}

BodyState EarthState(double mjd) { return StateOf(EarthPosition, mjd); }

BodyState MoonState(double mjd) {
    return StateOf([](double d) { return Add(EarthPosition(d), MoonGeocentricPosition(d)); }, mjd);
}

// ---- Earth's rotation ---------------------------------------------------------------------------
// Celbody.cpp, CelestialBody::UpdatePrecession and UpdateRotation: the axis's node L turns with the
// precession; the rotation matrix is R_ecl(L) Ry(angle), angle = offset + spin - L cos(obliquity)
// (the offset term rotation_off is zero for a precession about the ecliptic pole, PrecessionObliquity 0).
namespace {
double PrecessionNode(double mjd) { return kTwoPi * (mjd - kMjdJ2000) / kEarthPrecessionPeriod; }
}  // namespace

double EarthRotationAngle(double mjd) {
    // Whole sidereal days since J2000 drop out; only the fraction is kept, for precision.
    const double days = (mjd - kMjdJ2000) * (kSecondsPerDay / kEarthSiderealDay);
    return Wrap2Pi(kEarthRotOffset + kTwoPi * (days - std::floor(days)) - PrecessionNode(mjd) * std::cos(kObliquity));
}

V3 EarthNorthPole(double mjd) {
    const double l = PrecessionNode(mjd);
    return {-std::sin(l) * std::sin(kObliquity), std::cos(kObliquity), std::cos(l) * std::sin(kObliquity)};
}

void EarthRotation(double mjd, double R[9]) {
    // Earth-fixed -> the frame of the equator (rotation by the sidereal angle about the pole), then
    // -> ecliptic (the axis's tilt toward its node), both written out in the left-handed
    // (x, pole, z) ordering of the axes.
    const double th = EarthRotationAngle(mjd);
    const double ct = std::cos(th), st = std::sin(th);
    const double ce = std::cos(kObliquity), se = std::sin(kObliquity);
    const double l = PrecessionNode(mjd), cl = std::cos(l), sl = std::sin(l);
    // R_ecl = [[cl, -sl se, -sl ce], [0, ce, -se], [sl, cl se, cl ce]], times Ry(th).
    const double E[9] = {cl, -sl * se, -sl * ce, 0.0, ce, -se, sl, cl * se, cl * ce};
    const double Y[9] = {ct, 0.0, -st, 0.0, 1.0, 0.0, st, 0.0, ct};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            R[3 * i + j] = E[3 * i] * Y[j] + E[3 * i + 1] * Y[3 + j] + E[3 * i + 2] * Y[6 + j];
}

namespace {

// Row-major 3x3 products, as Celbody.cpp writes them with its Matrix (premul: A * this).
void Mul3(const double* A, const double* B, double* C) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) C[3 * i + j] = A[3 * i] * B[j] + A[3 * i + 1] * B[3 + j] + A[3 * i + 2] * B[6 + j];
}

// What of a body's rotation depends on its elements alone (the host's CelestialBody constructor
// works it out once: sin_eps, cos_eps and the precession reference's tilt R_ref), kept for the
// elements last asked for.
struct RotationConstants {
    RotationElements e;
    double se, ce;   // the obliquity's sine and cosine
    bool tilted;     // the precession reference is tilted
    double ref[9];   // its tilt, turn * tilt
    bool valid;
};

const RotationConstants& ConstantsOf(const RotationElements& e) {
    static thread_local RotationConstants c{};
    if (c.valid && std::memcmp(&c.e, &e, sizeof e) == 0) return c;
    c.e = e;
    c.se = std::sin(e.obliquity), c.ce = std::cos(e.obliquity);
    c.tilted = e.precession_obliquity != 0.0;
    if (c.tilted) {
        const double sr = std::sin(e.precession_obliquity), cr = std::cos(e.precession_obliquity);
        const double sq = std::sin(e.precession_lan), cq = std::cos(e.precession_lan);
        const double tilt[9] = {1.0, 0.0, 0.0, 0.0, cr, -sr, 0.0, sr, cr};
        const double turn[9] = {cq, 0.0, -sq, 0.0, 1.0, 0.0, sq, 0.0, cq};
        Mul3(turn, tilt, c.ref);
    }
    c.valid = true;
    return c;
}

}  // namespace

void BodyRotation(const RotationElements& e, double mjd, double R[9]) {
    const RotationConstants& k = ConstantsOf(e);
    // UpdatePrecession: the axis's node L against the reference, the reference's own tilt.
    const double prec_omega = e.precession_period != 0.0 ? kTwoPi / e.precession_period : 0.0;
    const double L = e.lan + prec_omega * (mjd - e.lan_mjd);
    const double sl = std::sin(L), cl = std::cos(L), se = k.se, ce = k.ce;
    double rel[9] = {cl, -sl * se, -sl * ce, 0.0, ce, -se, sl, cl * se, cl * ce};
    if (k.tilted) {
        double r2[9];
        Mul3(k.ref, rel, r2);
        std::copy(r2, r2 + 9, rel);
    }
    // The axis (rel * (0, 1, 0)) as an obliquity and node against the ecliptic, and the offset of
    // the body's node against the reference's.
    const double eps_ecl = std::acos(rel[4]);
    const double lan_ecl = std::atan2(-rel[1], rel[7]);
    const double sL = std::sin(lan_ecl), cL = std::cos(lan_ecl), sE = std::sin(eps_ecl), cE = std::cos(eps_ecl);
    const double ecl[9] = {cL, -sL * sE, -sL * cE, 0.0, cE, -sE, sL, cL * sE, cL * cE};
    const double rotation_off = std::atan2(-(cL * rel[2] + sL * rel[8]), cL * rel[0] + sL * rel[6]);
    // UpdateRotation: the offset of J2000 and the node's start merged as the constructor merges them.
    const double turns = (mjd - kMjdJ2000) * (kSecondsPerDay / e.sid_rot_period);
    const double th = Wrap2Pi(e.sid_rot_offset + kTwoPi * (turns - std::floor(turns)) + (e.lan - L) * ce + rotation_off);
    const double ct = std::cos(th), st = std::sin(th);
    const double Y[9] = {ct, 0.0, -st, 0.0, 1.0, 0.0, st, 0.0, ct};
    Mul3(ecl, Y, R);
}

V3 EquToLocalEarthFixed(double lng, double lat, double radius) {
    const double cl = std::cos(lat);
    return {radius * cl * std::cos(lng), radius * std::sin(lat), radius * cl * std::sin(lng)};
}

void EarthFixedToEqu(const V3& p, double* lng, double* lat, double* radius) {
    const double horizontal = std::hypot(p.x, p.z);
    *radius = std::sqrt(horizontal * horizontal + p.y * p.y);
    *lng = (horizontal > 0.0) ? std::atan2(p.z, p.x) : 0.0;
    *lat = (*radius > 0.0) ? std::atan2(p.y, horizontal) : 0.0;
}

}  // namespace astro
}  // namespace sim
