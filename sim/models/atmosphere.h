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

// Earth's atmosphere at a geometric altitude above the mean radius [m], as the simulator's default
// model gives it (Jacchia 1971 in Gill's fit above 90 km, the 1976 standard below; atmosphere.cpp):
// at the date and with the Sun's place the world last set (SetEarthAtmosphereDate/Sun). Below 0 m
// and for NaN it returns the sea-level values; above 2500 km density and pressure are 0.
AtmosphereSample StandardAtmosphere(double altitude_m);

// The same model with its time inputs given: the date [MJD] and the Sun's longitude and latitude
// over the Earth [rad] (solar flux 140 and Kp 3, the model's defaults).
AtmosphereSample Jacchia71Gill(double altitude_m, double mjd, double sun_lng, double sun_lat);

// The model's clock: it looks the Sun's place up once an hour of simulated time (true when due) and
// turns it with the Earth in between; the date is the frame's start (oapiGetSimMJD).
bool EarthAtmosphereNeedsSun(double mjd);
void SetEarthAtmosphereSun(double mjd, double sun_lng, double sun_lat);
void SetEarthAtmosphereDate(double mjd);

// The U.S. Standard Atmosphere 1976 at a geometric altitude [m] (the stand-in's earlier model, kept for
// comparison). Below 0 m and for NaN the sea-level values; for every other altitude all four values
// are finite and positive, and the density falls strictly with height (also far beyond 1000 km,
// where it is negligible but never zero).
AtmosphereSample Us1976Atmosphere(double altitude_m);

}  // namespace sim
