// Ephemerides and Earth rotation checked against independent references: a high-precision
// ephemeris, almanac dates and distances, textbook worked examples, an eclipse and the seasons.
#include "astro.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using sim::V3;
namespace astro = sim::astro;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr double kArcsec = kDeg / 3600.0;

V3 Sub(const V3& a, const V3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(const V3& a, const V3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Norm(const V3& a) { return std::sqrt(Dot(a, a)); }
double AngleBetween(const V3& a, const V3& b) {
    const V3 cross{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    return std::atan2(Norm(cross), Dot(a, b));
}
V3 Mul(const double R[9], const V3& v) {
    return {R[0] * v.x + R[1] * v.y + R[2] * v.z, R[3] * v.x + R[4] * v.y + R[5] * v.z,
            R[6] * v.x + R[7] * v.y + R[8] * v.z};
}
V3 MulTransposed(const double R[9], const V3& v) {
    return {R[0] * v.x + R[3] * v.y + R[6] * v.z, R[1] * v.x + R[4] * v.y + R[7] * v.z,
            R[2] * v.x + R[5] * v.y + R[8] * v.z};
}
V3 MoonGeocentric(double mjd) { return Sub(astro::MoonState(mjd).pos, astro::EarthState(mjd).pos); }

// Latitude and longitude [deg] of the point on Earth with the Sun in its zenith.
void Subsolar(double mjd, double* lat_deg, double* lng_deg) {
    double R[9];
    astro::EarthRotation(mjd, R);
    const V3 earth = astro::EarthState(mjd).pos;
    const V3 fixed = MulTransposed(R, {-earth.x, -earth.y, -earth.z});
    double lng = 0.0, lat = 0.0, radius = 0.0;
    astro::EarthFixedToEqu(fixed, &lng, &lat, &radius);
    *lat_deg = lat / kDeg;
    *lng_deg = lng / kDeg;
}

// ---- Earth --------------------------------------------------------------------------------------

TEST(Ephemeris, EarthAtJ2000MatchesHighPrecisionEphemeris) {
    // Earth's centre at 2000-01-01 12:00 TDB, heliocentric, right-handed ecliptic J2000 [AU]
    // from a numerically integrated planetary ephemeris: (-0.1771351, 0.9672417, -0.0000041).
    const V3 p = astro::EarthState(51544.5).pos;
    const double tol = 400e3;  // [m]
    EXPECT_NEAR(p.x, -0.1771351 * astro::kAU, tol);
    EXPECT_NEAR(p.z, 0.9672417 * astro::kAU, tol);   // right-handed Y is our z
    EXPECT_NEAR(p.y, -0.0000041 * astro::kAU, tol);  // right-handed Z (ecliptic pole) is our y
}

TEST(Ephemeris, EarthSeriesReproduceTextbookExample) {
    // 1992 October 13.0 TD: L = 19.907372 deg, B = -0.000179 deg, R = 0.99760775 AU (of date).
    const astro::EclipticPosition e = astro::EarthHeliocentricOfDate(48908.0);
    EXPECT_NEAR(e.lon / kDeg, 19.907372, 2e-6);
    EXPECT_NEAR(e.lat / kDeg, -0.000179, 2e-6);
    EXPECT_NEAR(e.dist / astro::kAU, 0.99760775, 1e-8);
}

TEST(Ephemeris, PerihelionAndAphelionOf2020) {
    // Almanac: perihelion 2020-01-05 07:48 UT at 0.9832436 AU, aphelion 2020-07-04 11:35 UT at
    // 1.0166943 AU. Search the distance extremes minute by minute around those dates.
    auto extreme = [](double from, double to, double sign, double* when) {
        double best = 0.0;
        for (double t = from; t <= to; t += 1.0 / 1440.0) {
            const double r = Norm(astro::EarthState(t).pos) / astro::kAU;
            if (*when == 0.0 || sign * r > sign * best) {
                best = r;
                *when = t;
            }
        }
        return best;
    };
    double t_peri = 0.0, t_aph = 0.0;
    EXPECT_NEAR(extreme(58852.0, 58855.0, -1.0, &t_peri), 0.9832436, 1e-5);
    EXPECT_NEAR(t_peri, 58853.325, 0.1);
    EXPECT_NEAR(extreme(59033.0, 59036.0, +1.0, &t_aph), 1.0166943, 1e-5);
    EXPECT_NEAR(t_aph, 59034.483, 0.1);
}

TEST(Ephemeris, VelocitiesAgreeWithOrbitalMotion) {
    const double mu_sun = astro::G * (astro::kSunMass + astro::kEarthMass + astro::kMoonMass);
    const double mu_earth = astro::G * (astro::kEarthMass + astro::kMoonMass);
    for (double mjd : {51544.5, 51700.25, 55000.0, 60000.75}) {
        SCOPED_TRACE(mjd);
        // Vis-viva with a = 1.00000261 AU; the Moon makes the Earth wobble by about 12 m/s.
        const astro::BodyState earth = astro::EarthState(mjd);
        const double r = Norm(earth.pos), a = 1.00000261 * astro::kAU;
        EXPECT_NEAR(Norm(earth.vel), std::sqrt(mu_sun * (2.0 / r - 1.0 / a)), 25.0);
        // Velocity and the Sun's pull carry the position one hour ahead (the Moon's pull, left out,
        // moves the Earth about 200 m in that hour).
        const double dt = 3600.0, k = -0.5 * dt * dt * mu_sun / (r * r * r);
        const V3 ahead = astro::EarthState(mjd + dt / 86400.0).pos;
        const V3 predicted{earth.pos.x * (1.0 + k) + earth.vel.x * dt,
                           earth.pos.y * (1.0 + k) + earth.vel.y * dt,
                           earth.pos.z * (1.0 + k) + earth.vel.z * dt};
        EXPECT_LT(Norm(Sub(ahead, predicted)), 500.0);
        // The Moon relative to the Earth: vis-viva with a = 384400 km, within the Sun's
        // disturbance.
        const astro::BodyState moon = astro::MoonState(mjd);
        const double rm = Norm(Sub(moon.pos, earth.pos));
        const double vm = Norm(Sub(moon.vel, earth.vel));
        EXPECT_NEAR(vm, std::sqrt(mu_earth * (2.0 / rm - 1.0 / 384.4e6)), 40.0);
    }
}

// ---- Moon ---------------------------------------------------------------------------------------

TEST(Ephemeris, MoonReproducesTextbookExample) {
    // 1992 April 12, 0h TD: geometric longitude 133.162655 deg, latitude -3.229126 deg (mean
    // ecliptic and equinox of date), distance 368409.7 km.
    const astro::EclipticPosition m = astro::MoonGeocentricOfDate(48724.0);
    EXPECT_NEAR(m.lon / kDeg, 133.162655, 2e-6);
    EXPECT_NEAR(m.lat / kDeg, -3.229126, 2e-6);
    EXPECT_NEAR(m.dist / 1e3, 368409.7, 0.1);
}

TEST(Ephemeris, MoonDistanceSpansPerigeeToApogeeOverAYear) {
    double lo = 1e30, hi = 0.0;
    for (double t = 51544.0; t < 51544.0 + 366.0; t += 1.0 / 24.0) {
        const double d = Norm(MoonGeocentric(t)) / 1e3;
        lo = std::fmin(lo, d);
        hi = std::fmax(hi, d);
    }
    EXPECT_GT(lo, 356000.0);
    EXPECT_LT(lo, 360000.0);  // the year's perigees come close to the extreme
    EXPECT_LT(hi, 407000.0);
    EXPECT_GT(hi, 404000.0);
}

TEST(Ephemeris, MoonInEarthShadowAtTotalLunarEclipse) {
    // Total lunar eclipse of 2000-01-21, greatest at about 04:44 TD: the Moon's centre passed
    // 0.30 Earth radii south of the shadow axis (about 0.30 deg seen from Earth's centre).
    const double mjd = 51564.197;
    const V3 moon = MoonGeocentric(mjd);
    const V3 anti_sun = astro::EarthState(mjd).pos;  // Sun -> Earth continues into the shadow
    EXPECT_NEAR(AngleBetween(moon, anti_sun) / kDeg, 0.30, 0.05);
    EXPECT_LT(moon.y, 0.0);  // south of the ecliptic
}

TEST(Ephemeris, ReductionToJ2000AgreesWithEquatorialPrecession) {
    // Independent path for the Moon's direction: ecliptic of date -> equator of date (mean
    // obliquity of date) -> equator of J2000 (IAU 1976 angles zeta, z, theta) -> ecliptic J2000.
    for (double mjd : {33282.0, 69807.0}) {  // 1950 and 2050
        SCOPED_TRACE(mjd);
        const double t = (mjd - 51544.5) / 36525.0;
        const astro::EclipticPosition m = astro::MoonGeocentricOfDate(mjd);
        const double eps =
            (84381.448 - 46.8150 * t - 0.00059 * t * t + 0.001813 * t * t * t) * kArcsec;
        const double X = std::cos(m.lat) * std::cos(m.lon), Y = std::cos(m.lat) * std::sin(m.lon),
                     Z = std::sin(m.lat);
        const V3 equ_date{X, Y * std::cos(eps) - Z * std::sin(eps),
                          Y * std::sin(eps) + Z * std::cos(eps)};
        const double zeta = (2306.2181 * t + 0.30188 * t * t + 0.017998 * t * t * t) * kArcsec;
        const double z = (2306.2181 * t + 1.09468 * t * t + 0.018203 * t * t * t) * kArcsec;
        const double theta = (2004.3109 * t - 0.42665 * t * t - 0.041833 * t * t * t) * kArcsec;
        // P = R3(-z) R2(theta) R3(-zeta) takes J2000 to date; its transpose takes date to J2000.
        const double cz = std::cos(zeta), sz = std::sin(zeta), cZ = std::cos(z), sZ = std::sin(z);
        const double ct = std::cos(theta), st = std::sin(theta);
        const double P[9] = {cZ * ct * cz - sZ * sz,
                             -cZ * ct * sz - sZ * cz,
                             -cZ * st,
                             sZ * ct * cz + cZ * sz,
                             -sZ * ct * sz + cZ * cz,
                             -sZ * st,
                             st * cz,
                             -st * sz,
                             ct};
        const V3 equ_j2000 = MulTransposed(P, equ_date);
        const double e0 = astro::kObliquity;
        const V3 expected{equ_j2000.x, -equ_j2000.y * std::sin(e0) + equ_j2000.z * std::cos(e0),
                          equ_j2000.y * std::cos(e0) + equ_j2000.z * std::sin(e0)};
        EXPECT_LT(AngleBetween(MoonGeocentric(mjd), expected) / kArcsec, 0.2);
    }
}

// ---- Earth's rotation ---------------------------------------------------------------------------

TEST(EarthRotation, SunOverTheTropicsAtTheSolstices) {
    double lat = 0.0, lng = 0.0;
    Subsolar(51716.075, &lat, &lng);  // 2000-06-21 01:48 UT
    EXPECT_NEAR(lat, 23.4393, 0.005);
    Subsolar(51899.567, &lat, &lng);  // 2000-12-21 13:37 UT
    EXPECT_NEAR(lat, -23.4393, 0.005);
    Subsolar(51623.316, &lat, &lng);  // 2000-03-20 07:35 UT, equinox
    EXPECT_NEAR(lat, 0.0, 0.01);
    // The spin axis is where the June solstice puts it.
    const V3 pole = astro::EarthNorthPole();
    EXPECT_NEAR(pole.x, 0.0, 1e-15);
    EXPECT_NEAR(pole.y, std::cos(astro::kObliquity), 1e-15);
    EXPECT_NEAR(pole.z, std::sin(astro::kObliquity), 1e-15);
}

TEST(EarthRotation, SunCrossesGreenwichNearNoonAsTheEquationOfTimeSays) {
    // At 12:00 UT the Sun stands east of Greenwich by the equation of time (15 deg per hour):
    // 2000-01-01 it culminates at 12:03.3 UT, 2000-11-03 at 11:43.6 UT, 2000-02-11 at 12:14.2 UT.
    // The simulator's Earth is turned 0.3136 deg less than the true one (its Earth.cfg SidRotOffset
    // 4.88948754 rad against the mean sidereal time 280.46061837 deg at J2000; measured in the
    // core: the Catch's helicopter, given in the global frame, starts 0.3136 deg of longitude east
    // of where the true Earth puts it), so its subsolar point stands that much farther east.
    const double core_offset = 280.46061837 - 4.88948754 / kDeg;
    EXPECT_NEAR(core_offset, 0.3136, 0.0001);
    struct Case {
        double mjd, lng_deg;
    } cases[] = {{51544.5, 0.83}, {51851.5, -4.10}, {51585.5, 3.55}};
    for (const Case& c : cases) {
        double lat = 0.0, lng = 0.0;
        Subsolar(c.mjd, &lat, &lng);
        EXPECT_NEAR(lng, c.lng_deg + core_offset, 0.1) << c.mjd;
    }
}

TEST(EarthRotation, ProperRotationTurningEastwardOncePerSiderealDay) {
    const double mjd0 = 58000.3;
    const double day = astro::kEarthSiderealDay / 86400.0;
    double R0[9], R1[9], Rq[9];
    astro::EarthRotation(mjd0, R0);
    // Orthonormal with determinant +1 (both frames are left-handed).
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const double dot = R0[i] * R0[j] + R0[3 + i] * R0[3 + j] + R0[6 + i] * R0[6 + j];
            EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-14);
        }
    const double det = R0[0] * (R0[4] * R0[8] - R0[5] * R0[7]) -
                       R0[1] * (R0[3] * R0[8] - R0[5] * R0[6]) +
                       R0[2] * (R0[3] * R0[7] - R0[4] * R0[6]);
    EXPECT_NEAR(det, 1.0, 1e-14);
    // A point on the equator is back in the same global direction after one sidereal day...
    const V3 site = astro::EquToLocalEarthFixed(0.3, 0.0, astro::kEarthRadius);
    // (within the precession's motion: 50 arcseconds a year, 0.14" a day, under 5 m on the
    // equator).
    astro::EarthRotation(mjd0 + day, R1);
    EXPECT_LT(Norm(Sub(Mul(R1, site), Mul(R0, site))), 5.0);
    // ...and a quarter of a day later it stands where the site 90 deg further east stood.
    astro::EarthRotation(mjd0 + 0.25 * day, Rq);
    const V3 east = astro::EquToLocalEarthFixed(0.3 + kPi / 2.0, 0.0, astro::kEarthRadius);
    EXPECT_LT(Norm(Sub(Mul(Rq, site), Mul(R0, east))), 5.0);
    // The pole stands where the precession has carried it.
    const V3 pole = astro::EquToLocalEarthFixed(0.0, kPi / 2.0, 1.0);
    EXPECT_LT(Norm(Sub(Mul(Rq, pole), astro::EarthNorthPole(mjd0 + 0.25 * day))), 1e-14);
}

TEST(EarthRotation, EquatorialCoordinatesRoundTrip) {
    const V3 greenwich = astro::EquToLocalEarthFixed(0.0, 0.0, 2.0);
    EXPECT_NEAR(greenwich.x, 2.0, 1e-15);
    const V3 east = astro::EquToLocalEarthFixed(kPi / 2.0, 0.0, 2.0);
    EXPECT_NEAR(east.z, 2.0, 1e-15);  // z toward longitude +90 deg (east)
    for (double lng : {-3.1, -1.0, 0.0, 0.7, 2.5, kPi}) {
        for (double lat : {-kPi / 2.0 + 1e-6, -0.8, 0.0, 0.4, 1.2}) {
            const V3 p = astro::EquToLocalEarthFixed(lng, lat, 6.4e6);
            double lng2 = 0.0, lat2 = 0.0, r2 = 0.0;
            astro::EarthFixedToEqu(p, &lng2, &lat2, &r2);
            EXPECT_NEAR(std::remainder(lng2 - lng, 2.0 * kPi), 0.0, 1e-9) << lng << " " << lat;
            EXPECT_GT(lng2, -kPi);
            EXPECT_LE(lng2, kPi);
            EXPECT_NEAR(lat2, lat, 1e-12);
            EXPECT_NEAR(r2, 6.4e6, 1e-6);
        }
    }
    double lng = 1.0, lat = 1.0, r = 1.0;
    astro::EarthFixedToEqu({0.0, 0.0, 0.0}, &lng, &lat, &r);
    EXPECT_EQ(lng, 0.0);
    EXPECT_EQ(lat, 0.0);
    EXPECT_EQ(r, 0.0);
    astro::EarthFixedToEqu({0.0, -5.0, 0.0}, &lng, &lat, &r);
    EXPECT_NEAR(lat, -kPi / 2.0, 1e-15);
}

}  // namespace

// The Moon's rotation matrix as the core reports it (oapiGetRotationMatrix in a plugin's pre-step,
// the port's core with its Moon.cfg), every 6 hours from J2000: m11..m33.
TEST(MoonRotation, TheCoresMatrixEverySixHoursFromJ2000) {
    struct Row {
        double mjd, m[9];
    };
    const Row rows[] = {
        {51544.50, {0.784267184543, -0.022071510048, -0.620030508679, 0.026862341208, 0.999637850836, -0.001606798610,
                    0.619841429620, -0.015395311661, 0.784576055271}},
        {51544.75, {0.747343740742, -0.022075084320, -0.664070797300, 0.026724917224, 0.999637850389, -0.003153865877,
                    0.663899926174, -0.015390215167, 0.747663045297}},
        {51545.50, {0.622284300183, -0.022085800065, -0.782479691226, 0.025781808503, 0.999637849047, -0.007711621244,
                    0.782366632785, -0.015374920727, 0.622628351199}},
        {51546.25, {0.478758638337, -0.022096505198, -0.877668451453, 0.024067465542, 0.999637847706, -0.012038709891,
                    0.877616615226, -0.015359618858, 0.479117061676}},
    };
    for (const Row& r : rows) {
        double R[9];
        astro::MoonRotation(r.mjd, R);
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(R[i], r.m[i], 1e-9) << r.mjd << " element " << i;
    }
}
