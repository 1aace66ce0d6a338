// Sun, Earth and Moon for the stand-in host: masses, radii, positions, velocities, Earth's spin.
//
// Global frame (the host's): ecliptic and equinox of J2000, LEFT-handed. x points to the vernal
// equinox, y to the ecliptic north pole, z completes the left-handed set; so a vector with
// right-handed ecliptic components (X, Y, Z) has global components (x, y, z) = (X, Z, Y).
// Origin: the Sun's centre. The Sun stays at the origin and does not move.
//
// Time: every function takes the date as a Modified Julian Date [days]. It is used as terrestrial
// time for the ephemerides and as universal time for Earth's rotation; the ~1 min difference
// between the two is ignored.
#pragma once

namespace sim {

struct V3 {
    double x, y, z;
};

namespace astro {

constexpr double G = 6.67259e-11;                   // [m^3 kg^-1 s^-2]
constexpr double kSunMass = 1.9889194444e30;        // [kg]
constexpr double kEarthMass = 5.973698968e24;       // [kg]
constexpr double kMoonMass = 7.347673176382784e22;  // [kg]
constexpr double kEarthRadius = 6371010.0;          // [m]
constexpr double kMoonRadius = 1738000.0;           // [m]
constexpr double kSunRadius = 696000000.0;          // [m]
constexpr double kEarthSiderealDay = 86164.10132;   // [s]
constexpr double kObliquity = 0.4090928023;         // [rad] Earth's axis against the ecliptic (Earth.cfg Obliquity)
constexpr double kAU = 1.495978707e11;              // [m] astronomical unit
constexpr double kMjdJ2000 = 51544.5;               // [days] 2000-01-01 12:00
// Earth's rotation as the simulator's Earth.cfg gives it (Src/Celbody/Vsop87/Earth/Config/Earth.cfg,
// read by Celbody.cpp, CelestialBody::CelestialBody): the sidereal angle at J2000 (SidRotOffset,
// 280.1470 deg: 0.3136 deg short of the mean sidereal time 280.4606 deg, so every place on the core's
// Earth stands 0.3136 deg west of where the true Earth turns it, and the stand-in follows the core),
// and the precession of the axis about the ecliptic pole (PrecessionPeriod, days; LAN 0 at LAN_MJD).
constexpr double kEarthRotOffset = 4.88948754;        // [rad] SidRotOffset
constexpr double kEarthPrecessionPeriod = -9413040.4; // [days] PrecessionPeriod (25771.5 years, retrograde)

struct BodyState {
    V3 pos, vel;  // global frame [m] and [m/s]
};

BodyState EarthState(double mjd);  // Earth's centre, heliocentric
BodyState MoonState(double mjd);   // Moon's centre, heliocentric (= Earth + geocentric Moon)

// Ecliptic coordinates referred to the mean ecliptic and equinox OF DATE, as the underlying series
// give them (before the reduction to J2000): longitude and latitude [rad], distance [m].
struct EclipticPosition {
    double lon, lat, dist;
};
EclipticPosition EarthHeliocentricOfDate(double mjd);
EclipticPosition MoonGeocentricOfDate(double mjd);

// Earth-fixed rotating frame, left-handed like the global frame: x toward (lat 0, lng 0), y toward
// the north pole, z toward (lat 0, lng +90 deg east). So a point at longitude lng (east positive)
// and latitude lat has the direction (cos lat cos lng, sin lat, cos lat sin lng).
//
// EarthRotation fills R (row-major 3x3) so that v_global = R * v_earthfixed. Earth spins about
// its north pole, tilted by kObliquity from the ecliptic pole toward the ecliptic longitude of
// -90 deg + L (at J2000: (0, cos kObliquity, sin kObliquity)), L the axis's node, turning with the
// precession (2 pi (t - J2000) / kEarthPrecessionPeriod); the Greenwich meridian stands at
// kEarthRotOffset + 2 pi (t - J2000) / kEarthSiderealDay - L cos kObliquity from the node.
void EarthRotation(double mjd, double R[9]);
V3 EarthNorthPole(double mjd = kMjdJ2000);  // unit vector of Earth's spin axis, global frame
double EarthRotationAngle(double mjd);  // [rad] sidereal angle in [0, 2 pi)

// The Moon's rotation as the simulator's Moon.cfg gives it (Src/Celbody/Moon/Config/Moon.cfg), by
// the general rule of Celbody.cpp (CelestialBody::UpdatePrecession, UpdateRotation): the axis tilted
// by Obliquity against a precession reference that is itself tilted by PrecessionObliquity toward
// PrecessionLAN, its node turning from LAN at LAN_MJD once in PrecessionPeriod days (retrograde);
// the prime meridian at SidRotOffset + 2 pi (t - J2000) / SidRotPeriod - (L - LAN) cos Obliquity +
// the offset of the node against the reference. Same axes and sense as EarthRotation.
struct RotationElements {
    double sid_rot_period;     // [s] SidRotPeriod
    double sid_rot_offset;     // [rad] SidRotOffset, at J2000
    double obliquity;          // [rad] Obliquity, against the precession reference
    double lan;                // [rad] LAN, at lan_mjd
    double lan_mjd;            // [days] LAN_MJD
    double precession_period;  // [days] PrecessionPeriod (0: none)
    double precession_obliquity;  // [rad] PrecessionObliquity (the reference's tilt)
    double precession_lan;        // [rad] PrecessionLAN
};
constexpr RotationElements kMoonRotation = {2360588.15, 4.769465382, 0.02692416821, 1.71817749, 51544.5,
                                            -6793.219721, 7.259562816e-005, 0.4643456618};
void BodyRotation(const RotationElements& e, double mjd, double R[9]);
inline void MoonRotation(double mjd, double R[9]) { BodyRotation(kMoonRotation, mjd, R); }

V3 EquToLocalEarthFixed(double lng, double lat, double radius);  // spherical -> Earth-fixed [m]
// Earth-fixed -> spherical: lng in (-pi, pi], lat in [-pi/2, pi/2]; the origin gives 0, 0, 0.
void EarthFixedToEqu(const V3& p, double* lng, double* lat, double* radius);

}  // namespace astro
}  // namespace sim
