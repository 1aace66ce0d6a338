// Earth's standard atmosphere for the stand-in host.
//
// A pure function of altitude: the world asks it for the density a vessel flies through (drag,
// lift, the helicopter's lift thruster) and for the pressure, temperature and speed of sound that
// the host's queries report.
#pragma once

namespace sim {

struct AtmosphereSample {
    double density;         // [kg/m^3]
    double pressure;        // [Pa]
    double temperature;     // [K] kinetic temperature
    double speed_of_sound;  // [m/s]
};

// Earth's standard atmosphere at a geometric altitude above the mean radius [m].
// Below 0 m it returns the sea-level values; a NaN altitude is treated as sea level. For every
// other altitude all four values are finite and positive, and the density falls strictly with
// height (also far beyond 1000 km, where it is negligible but never zero).
AtmosphereSample StandardAtmosphere(double altitude_m);

}  // namespace sim
