// Earth's standard atmosphere (U.S. Standard Atmosphere 1976, NOAA/NASA/USAF, 1976).
//
// 0..86 km: the standard's seven geopotential layers, each with a constant lapse rate of the
// molecular-scale temperature; pressure follows the hydrostatic law in closed form, density the
// ideal gas law with the sea-level molar mass, exactly as the standard defines them. The kinetic
// temperature differs from the molecular-scale one only between 80 and 86 km, where the standard
// tabulates the small change of the mean molar mass (ratio M/M0).
// Above 86 km the standard's gas is no longer well mixed. There the temperature follows the
// standard's own closed-form profile (isothermal, elliptical, linear, then exponential toward the
// exospheric 1000 K) and density and pressure are interpolated exponentially between the
// standard's published values up to 1000 km; the first node is the layer model's own value at
// 86 km, so both parts meet without a step. Beyond 1000 km density and pressure fall by a power of
// the altitude whose logarithmic slope matches the last table interval, so they keep falling
// smoothly without ever underflowing to zero.
#include "atmosphere.h"

#include <cmath>
#include <cstddef>

namespace sim {
namespace {

// ---- constants of the standard ------------------------------------------------------------------
constexpr double kEarthRadiusStd = 6356766.0;   // [m] radius used for geopotential altitude
constexpr double kG0 = 9.80665;                 // [m/s^2] standard gravity
constexpr double kRStar = 8314.32;              // [J/(kmol K)] universal gas constant (1976 value)
constexpr double kM0 = 28.9644;                 // [kg/kmol] sea-level mean molar mass
constexpr double kRAir = kRStar / kM0;          // [J/(kg K)] 287.053
constexpr double kGamma = 1.4;                  // [-] ratio of specific heats
constexpr double kSeaLevelPressure = 101325.0;  // [Pa]
constexpr double kSeaLevelTemp = 288.15;        // [K]
constexpr double kGMR = kG0 / kRAir;            // [K/m] hydrostatic constant g0*M0/R*

// Geopotential layers below 86 km geometric (84.852 km geopotential).
struct Layer {
    double base_h;  // [m'] geopotential altitude of the layer base
    double lapse;   // [K/m'] gradient of the molecular-scale temperature
};
// clang-format off
constexpr Layer kLayers[] = {
    {0.0, -0.0065},     // troposphere
    {11000.0, 0.0},     // tropopause
    {20000.0, 0.0010},  // stratosphere 1
    {32000.0, 0.0028},  // stratosphere 2
    {47000.0, 0.0},     // stratopause
    {51000.0, -0.0028}, // mesosphere 1
    {71000.0, -0.0020}, // mesosphere 2
};
// clang-format on
constexpr std::size_t kLayerCount = sizeof(kLayers) / sizeof(kLayers[0]);

// Molar-mass ratio M/M0 between 80 and 86 km geometric, every 0.5 km (kinetic T = Tm * ratio).
constexpr double kMolarRatioStart = 80000.0;  // [m]
constexpr double kMolarRatioStep = 500.0;     // [m]
// clang-format off
constexpr double kMolarRatio[] = {1.000000, 0.999996, 0.999989, 0.999971, 0.999941,
                                  0.999909, 0.999870, 0.999829, 0.999786, 0.999741,
                                  0.999694, 0.999641, 0.999579};
// clang-format on
constexpr std::size_t kMolarRatioCount = sizeof(kMolarRatio) / sizeof(kMolarRatio[0]);

// Kinetic temperature profile above 86 km.
constexpr double kZ7 = 86000.0;              // [m] base of the upper profile
constexpr double kT7 = 186.8673;             // [K] isothermal 86..91 km
constexpr double kZ8 = 91000.0;              // [m] start of the elliptical segment
constexpr double kEllipseTc = 263.1905;      // [K]
constexpr double kEllipseA = -76.3232;       // [K]
constexpr double kEllipseSmallA = -19942.9;  // [m]
constexpr double kZ9 = 110000.0;             // [m] start of the linear segment
constexpr double kT9 = 240.0;                // [K]
constexpr double kLapse9 = 0.012;            // [K/m] 110..120 km
constexpr double kZ10 = 120000.0;            // [m] start of the exponential segment
constexpr double kT10 = 360.0;               // [K]
constexpr double kTInf = 1000.0;             // [K] exospheric temperature
constexpr double kLambda = 0.01875e-3;       // [1/m]

// Published density and pressure above 86 km (geometric altitude). The 86 km entry is replaced by
// the layer model's own value so that the profile is continuous.
struct UpperNode {
    double z;         // [m]
    double pressure;  // [Pa]
    double density;   // [kg/m^3]
};
// clang-format off
constexpr UpperNode kUpperTable[] = {
    {86000.0, 3.7338e-1, 6.958e-6},   {90000.0, 1.8359e-1, 3.416e-6},
    {95000.0, 7.5966e-2, 1.393e-6},   {100000.0, 3.2011e-2, 5.604e-7},
    {110000.0, 7.1042e-3, 9.708e-8},  {120000.0, 2.5382e-3, 2.222e-8},
    {130000.0, 1.2505e-3, 8.152e-9},  {150000.0, 4.5422e-4, 2.076e-9},
    {200000.0, 8.4736e-5, 2.541e-10}, {250000.0, 2.4767e-5, 6.073e-11},
    {300000.0, 8.7704e-6, 1.916e-11}, {400000.0, 1.4518e-6, 2.803e-12},
    {500000.0, 3.0236e-7, 5.215e-13}, {600000.0, 8.2130e-8, 1.137e-13},
    {700000.0, 3.1908e-8, 3.070e-14}, {800000.0, 1.7036e-8, 1.136e-14},
    {900000.0, 1.0873e-8, 5.759e-15}, {1000000.0, 7.5138e-9, 3.561e-15},
};
// clang-format on
constexpr std::size_t kUpperCount = sizeof(kUpperTable) / sizeof(kUpperTable[0]);

// Altitudes beyond this are evaluated here, so that even +infinity gives a positive density
// (about 1e-58 kg/m^3 at this altitude).
constexpr double kMaxAltitude = 1.0e15;  // [m]

double SpeedOfSound(double temperature) { return std::sqrt(kGamma * kRAir * temperature); }

double GeometricToGeopotential(double z) { return kEarthRadiusStd * z / (kEarthRadiusStd + z); }

// Molecular-scale temperature and pressure at geopotential altitude h (0..84.852 km').
void LayerState(double h, double* tm, double* pressure) {
    double t_base = kSeaLevelTemp;
    double p_base = kSeaLevelPressure;
    std::size_t i = 0;
    // Walk up through the layer bases below h, carrying base temperature and pressure along.
    for (; i + 1 < kLayerCount && h >= kLayers[i + 1].base_h; ++i) {
        const double dh = kLayers[i + 1].base_h - kLayers[i].base_h;
        const double lapse = kLayers[i].lapse;
        const double t_top = t_base + lapse * dh;
        if (lapse == 0.0) {
            p_base *= std::exp(-kGMR * dh / t_base);
        } else {
            p_base *= std::pow(t_base / t_top, kGMR / lapse);
        }
        t_base = t_top;
    }
    const double dh = h - kLayers[i].base_h;
    const double lapse = kLayers[i].lapse;
    *tm = t_base + lapse * dh;
    if (lapse == 0.0) {
        *pressure = p_base * std::exp(-kGMR * dh / t_base);
    } else {
        *pressure = p_base * std::pow(t_base / *tm, kGMR / lapse);
    }
}

double MolarMassRatio(double z) {
    if (z <= kMolarRatioStart) return 1.0;
    const double x = (z - kMolarRatioStart) / kMolarRatioStep;
    const std::size_t i = static_cast<std::size_t>(x);
    if (i + 1 >= kMolarRatioCount) return kMolarRatio[kMolarRatioCount - 1];
    const double f = x - static_cast<double>(i);
    return kMolarRatio[i] + f * (kMolarRatio[i + 1] - kMolarRatio[i]);
}

AtmosphereSample LowerAtmosphere(double z) {
    double tm = 0.0, pressure = 0.0;
    LayerState(GeometricToGeopotential(z), &tm, &pressure);
    const double temperature = tm * MolarMassRatio(z);
    return {pressure / (kRAir * tm), pressure, temperature, SpeedOfSound(temperature)};
}

double UpperTemperature(double z) {
    if (z < kZ8) return kT7;
    if (z < kZ9) {
        const double u = (z - kZ8) / kEllipseSmallA;
        return kEllipseTc + kEllipseA * std::sqrt(1.0 - u * u);
    }
    if (z < kZ10) return kT9 + kLapse9 * (z - kZ9);
    const double xi = (z - kZ10) * (kEarthRadiusStd + kZ10) / (kEarthRadiusStd + z);
    return kTInf - (kTInf - kT10) * std::exp(-kLambda * xi);
}

AtmosphereSample UpperAtmosphere(double z) {
    // The layer model's own value at 86 km anchors the first interval.
    static const AtmosphereSample kAt86 = LowerAtmosphere(kZ7);
    auto node_p = [](std::size_t i) { return i == 0 ? kAt86.pressure : kUpperTable[i].pressure; };
    auto node_rho = [](std::size_t i) { return i == 0 ? kAt86.density : kUpperTable[i].density; };

    double pressure = 0.0, density = 0.0;
    const std::size_t last = kUpperCount - 1;
    if (z < kUpperTable[last].z) {
        std::size_t i = 0;
        while (z >= kUpperTable[i + 1].z) ++i;
        const double f = (z - kUpperTable[i].z) / (kUpperTable[i + 1].z - kUpperTable[i].z);
        pressure = node_p(i) * std::pow(node_p(i + 1) / node_p(i), f);
        density = node_rho(i) * std::pow(node_rho(i + 1) / node_rho(i), f);
    } else {
        // Power-law tail: value(z) = value(z_last) * (z_last / z)^k with k = z_last * (-dln/dz).
        const double dz = kUpperTable[last].z - kUpperTable[last - 1].z;
        const double kp = kUpperTable[last].z * std::log(node_p(last - 1) / node_p(last)) / dz;
        const double kr = kUpperTable[last].z * std::log(node_rho(last - 1) / node_rho(last)) / dz;
        const double ratio = kUpperTable[last].z / z;
        pressure = node_p(last) * std::pow(ratio, kp);
        density = node_rho(last) * std::pow(ratio, kr);
    }
    const double temperature = UpperTemperature(z);
    return {density, pressure, temperature, SpeedOfSound(temperature)};
}

}  // namespace

AtmosphereSample StandardAtmosphere(double altitude_m) {
    double z = altitude_m;
    if (!(z > 0.0)) z = 0.0;  // below sea level, and NaN: sea-level values
    if (z > kMaxAltitude) z = kMaxAltitude;
    if (z <= kZ7) return LowerAtmosphere(z);
    return UpperAtmosphere(z);
}

}  // namespace sim
