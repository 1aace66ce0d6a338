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
#include <cstring>

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

AtmosphereSample Us1976Atmosphere(double altitude_m) {
    double z = altitude_m;
    if (!(z > 0.0)) z = 0.0;  // below sea level, and NaN: sea-level values
    if (z > kMaxAltitude) z = kMaxAltitude;
    if (z <= kZ7) return LowerAtmosphere(z);
    return UpperAtmosphere(z);
}

// ================================================================================================
// Earth's atmosphere as the simulator's default model: Jacchia 1971 in Gill's polynomial fit (the
// atmosphere module named by Earth.cfg "Module_Atm = EarthAtmJ71G", EarthAtmJ71G.cpp: clbkParams,
// J77_Temp, J77_Dens_low, J77_MW_low, dens_fit, helium_fit, molweight_fit; Montenbruck and Gill,
// Satellite Orbits, 2000, sec. 3.5.3 for the fit). Below 90 km it is the U.S. Standard Atmosphere
// 1976 as Jacchia 1977 computes it (geopotential on a 6369 km radius, number density from the
// layer's pressure ratio, the molar mass falling above 85 km, one-kilometre hydrostatic steps from
// 85 to 90 km at 188 K); from 90 km to 2500 km log10 of the density is a polynomial in altitude and
// exospheric temperature, and the exospheric temperature follows the Sun: solar flux F10.7 = 140
// and geomagnetic index Kp = 3 (the module's defaults: the simulator passes neither), the Sun's
// place over the Earth (refreshed once an hour of simulated time, turned with the Earth in
// between), the place of the vessel taken as longitude 0, latitude 0 as the module does, and the
// semi-annual term with its phase as written there (its amplitude uses the night temperature Tc
// where Jacchia has the phase). Above 2500 km there is no atmosphere (clbkConstants altlimit).
// ================================================================================================
namespace {

constexpr double kJ71AltLimit = 2500e3;       // [m] top of the model
constexpr double kJ71GasConstant = 286.91;    // [J/(kg K)] clbkConstants R (speed of sound)
constexpr double kJ71Gamma = 1.4;             // [-] clbkConstants gamma
constexpr double kAvogadro = 6.02257e26;      // [1/kmol] as the module has it
constexpr double kBoltzmann = 1.38066e-23;    // [J/K]
constexpr double kHeliumMass = 4.002;         // [kg/kmol]
constexpr double kSeaMolarMass = 28.96;       // [kg/kmol] Jacchia 1977 sea-level value
constexpr double kFluxF107 = 140.0;           // [sfu] mean solar flux (module default)
constexpr double kKp = 3.0;                   // [-] geomagnetic index (module default)
constexpr double kSunRefresh = 0.0417;        // [days] the Sun's place is looked up once an hour
constexpr double kSiderealDay = 86164.10132;  // [s] Earth.cfg SidRotPeriod

// Layers below 85 km: top [km geometric], base [km geopotential], pressure ratio at the base,
// temperature at the base [K], gradient [K/km geopotential] (J77_Dens_low).
struct J77Layer {
    double top, base, p_ratio, t_base, grad;
};
// clang-format off
constexpr J77Layer kJ77Layers[] = {
    {11.0, 0.0, 1.0, 288.15, -6.5},
    {20.0, 11.0, 2.233611e-1, 216.65, 0.0},
    {32.0, 20.0, 5.403295e-2, 216.65, 1.0},
    {47.0, 32.0, 8.5666784e-3, 228.65, 2.8},
    {51.0, 47.0, 1.0945601e-3, 270.65, 0.0},
    {71.0, 51.0, 6.6063531e-4, 270.65, -2.8},
    {1e30, 71.0, 3.9046834e-5, 214.65, -2.0},
};
// The same layers as J77_Temp picks them: its own thresholds on geometric altitude [km].
constexpr J77Layer kJ77TempLayers[] = {
    {12.0, 0.0, 0, 288.15, -6.5},
    {21.0, 11.0, 0, 216.65, 0.0},
    {33.0, 20.0, 0, 216.65, 1.0},
    {48.0, 32.0, 0, 228.65, 2.8},
    {52.0, 47.0, 0, 270.65, 0.0},
    {72.0, 51.0, 0, 270.65, -2.8},
    {1e30, 71.0, 0, 214.65, -2.0},
};
// clang-format on
constexpr double kJ77Radius = 6369.0;           // [km] geopotential radius of J77_Dens_low
constexpr double kJ77Hydrostatic = 34.163195;   // [K/km] g0 M0 / R*
constexpr double kJ77SeaNumberDensity = 2.547e19;  // [1/cm^3]
constexpr double kJ77SeaTemp = 288.15;          // [K]
// From 85 to 90 km: the state at 85 km and the step's constants.
constexpr double kJ77StepZ0 = 85.0, kJ77StepT0 = 188.8889, kJ77StepN0 = 1.7083677e14, kJ77StepM0 = 28.954813;
constexpr double kJ77StepT = 188.0;             // [K]
constexpr double kJ77StepG = 0.5897446;         // [-] hydrostatic factor of one 1-km step
constexpr double kJ77StepRadius = 6356.766;     // [km]

// clang-format off
constexpr double kDensityFit[40][6] = {
    // 90-180 km, 500-850 K
    {-3.520856290e+01, 1.129210280e+03, -1.527475160e+04, 9.302041770e+04, -2.734394420e+05, 3.149696340e+05},
    {3.912622080e+00, 1.198158100e+03, -3.558480940e+04, 3.646554350e+05, -1.576097090e+06, 2.487722800e+06},
    {-8.649258580e+01, 8.633793600e+02, 1.899242640e+04, -3.290363950e+05, 1.685830890e+06, -2.899123930e+06},
    {1.504119210e+02, -3.577091090e+03, 2.508240470e+04, -1.209631170e+04, -4.282942740e+05, 1.111903980e+06},
    {-7.109427790e+01, 1.970557580e+03, -1.968253200e+04, 8.438137220e+04, -1.345593320e+05, 3.294094980e+03},
    // 90-180 km, 850-1900 K
    {-5.335411780e+01, 1.977532560e+03, -2.993620060e+04, 2.112067800e+05, -7.209721490e+05, 9.625966390e+05},
    {2.900556750e+01, -7.091478040e+02, 5.187285950e+03, -4.483029040e+03, -7.684100870e+04, 2.123126990e+05},
    {-2.046438540e+01, 4.398537510e+02, -1.989794860e+03, -1.349970480e+04, 1.256236200e+05, -2.622792850e+05},
    {7.977148770e+00, -1.568719520e+02, 3.643165760e+02, 9.510011820e+03, -6.805698560e+04, 1.337129840e+05},
    {-1.335852940e+00, 2.615466240e+01, -5.700668840e+01, -1.653725080e+03, 1.181257020e+04, -2.329995090e+04},
    // 180-500 km, 500-850 K
    {2.311910140e+01, -1.057775910e+03, 1.177229610e+04, -5.827663340e+04, 1.254588760e+05, -9.452922270e+04},
    {1.355297930e+02, 6.087973200e+02, -3.164132340e+04, 2.188167430e+05, -5.434709900e+05, 4.408025700e+05},
    {-8.424310120e+02, 8.690565630e+03, -1.076322680e+03, -2.422911490e+05, 8.123015890e+05, -7.379409710e+05},
    {1.287330750e+03, -1.715922130e+04, 6.302629270e+04, 2.461285880e+04, -4.490438410e+05, 5.095272600e+05},
    {-6.181209340e+02, 9.052670600e+03, -4.312459350e+04, 6.044095520e+04, 5.007458290e+04, -1.154191970e+05},
    // 180-500 km, 850-1900 K
    {4.041761220e+01, -8.127720130e+02, 5.130042480e+03, -1.600170070e+04, 2.384717680e+04, -1.363103880e+04},
    {-1.305719010e+02, 2.273565110e+03, -1.501307630e+04, 4.770468850e+04, -7.199064070e+04, 4.153499300e+04},
    {1.466808930e+02, -2.577261410e+03, 1.717141700e+04, -5.473492280e+04, 8.284653040e+04, -4.793580810e+04},
    {-7.120295540e+01, 1.259044830e+03, -8.441697980e+03, 2.699667780e+04, -4.098357880e+04, 2.377854040e+04},
    {1.269605390e+01, -2.254977990e+02, 1.518796340e+03, -4.870305680e+03, 7.411926000e+03, -4.310232620e+03},
    // 500-1000 km, 500-850 K
    {-1.815721470e+03, 9.851221220e+03, -1.822931620e+04, 1.298113440e+04, -1.533509540e+03, -1.263679690e+03},
    {9.792971630e+03, -5.397524530e+04, 1.002429820e+05, -7.113430130e+04, 7.815536940e+03, 7.265792060e+03},
    {-1.831374270e+04, 9.993168980e+04, -1.784481160e+05, 1.106374780e+05, 7.037562190e+03, -2.092909060e+04},
    {1.385254790e+04, -7.259456010e+04, 1.145178330e+05, -3.825776520e+04, -4.674635920e+04, 2.936094100e+04},
    {-3.451233960e+03, 1.622553000e+04, -1.641933910e+04, -1.666914820e+04, 3.516948600e+04, -1.491675820e+04},
    // 500-1000 km, 850-1900 K
    {-4.021334950e+01, 4.255789050e+02, -1.821662040e+03, 3.070230800e+03, -2.196847530e+03, 5.494958630e+02},
    {-1.326982580e+02, 3.528126230e+02, 7.905357050e+02, -2.941540270e+03, 2.585118090e+03, -6.604225070e+02},
    {3.778863960e+02, -2.077888430e+03, 3.934270570e+03, -3.276639030e+03, 1.382776230e+03, -3.328076630e+02},
    {-2.808660170e+02, 1.726543090e+03, -3.969333590e+03, 4.420216540e+03, -2.533006020e+03, 6.335703360e+02},
    {6.513531180e+01, -4.191476610e+02, 1.027990730e+03, -1.230778300e+03, 7.451387100e+02, -1.879811710e+02},
    // 1000-2500 km, 500-850 K
    {3.548697560e+02, -5.370851510e+02, -2.349586420e+01, 3.407073420e+02, -1.698470980e+02, 2.497973370e+01},
    {-2.508685440e+03, 4.182585980e+03, -8.941841060e+02, -1.531588210e+03, 8.985696610e+02, -1.389617720e+02},
    {6.252742190e+03, -1.151114240e+04, 4.417927000e+03, 2.179045210e+03, -1.704797280e+03, 2.820058130e+02},
    {-6.755375910e+03, 1.338915250e+04, -6.732817430e+03, -8.841340550e+02, 1.363098430e+03, -2.472861860e+02},
    {2.675763010e+03, -5.610580410e+03, 3.312608190e+03, -1.369768610e+02, -3.812417350e+02, 7.896439010e+01},
    // 1000-2500 km, 850-1900 K
    {1.281061440e+01, 2.024251050e+02, -5.750742760e+02, 5.106207140e+02, -1.898952800e+02, 2.569576820e+01},
    {-3.389179040e+02, 1.668302010e+02, 8.259823110e+02, -1.032012230e+03, 4.347501070e+02, -6.282710270e+01},
    {6.861934620e+02, -1.147875590e+03, 2.329831960e+02, 4.851873520e+02, -2.986011200e+02, 4.971076990e+01},
    {-4.667627220e+02, 9.918940200e+02, -6.503358820e+02, 8.214097400e+01, 5.423179770e+01, -1.404384740e+01},
    {1.029662350e+02, -2.430215280e+02, 1.997988900e+02, -6.527048150e+01, 5.039459020e+00, 8.450500020e-01},
};
constexpr double kHeliumFit[15][6] = {
    // 90-500 km
    {1.831549360e+01, -7.374008400e-02, 4.384164190e-04, -1.411194640e-06, 2.153638630e-09, -1.255138540e-12},
    {5.887556290e-03, -1.251076970e-04, 8.657027300e-07, -2.483834350e-09, 3.421943820e-12, -1.827252980e-15},
    {-4.813257060e-06, 1.039269200e-07, -7.216945770e-10, 2.004107220e-12, -2.628960700e-15, 1.321581080e-18},
    {1.701738000e-09, -3.679279710e-11, 2.481533700e-13, -6.244985400e-16, 7.085655250e-19, -2.887397640e-22},
    {-2.128373670e-13, 4.555258220e-15, -2.859074440e-17, 5.561003550e-20, -3.279804170e-23, -7.827178420e-27},
    // 500-1000 km
    {1.627088650e+01, -1.958296520e-02, 2.514251060e-05, -2.983313530e-08, 1.802028090e-11, -4.243067440e-15},
    {-1.786816410e-02, 1.386126450e-04, -3.806338900e-07, 5.855850830e-10, -4.382877700e-13, 1.268830160e-16},
    {3.079078980e-05, -2.532462720e-07, 7.692376060e-10, -1.210663170e-12, 9.201530310e-16, -2.695807440e-19},
    {-2.043430610e-08, 1.714182980e-10, -5.394765700e-13, 8.561631620e-16, -6.543935140e-19, 1.925469170e-22},
    {4.643418880e-12, -3.934230080e-14, 1.260303890e-16, -2.009030180e-19, 1.540219610e-22, -4.542329210e-26},
    // 1000-2500 km
    {1.873345920e+01, -2.362530180e-02, 1.893899100e-05, -1.132198090e-08, 3.465013470e-12, -4.156709580e-16},
    {2.285683210e-02, -6.907612940e-05, 1.145959800e-07, -7.438326460e-11, 2.308943160e-14, -2.791929820e-18},
    {-6.860775680e-05, 2.251679740e-07, -3.183258670e-10, 2.040287670e-13, -6.320466410e-17, 7.632792370e-21},
    {5.379622600e-08, -1.795937420e-10, 2.461075550e-13, -1.573191250e-16, 4.871418500e-20, -5.881111520e-24},
    {-1.327558850e-11, 4.463659260e-14, -6.040423070e-17, 3.857031790e-20, -1.194138860e-23, 1.441455050e-27},
};
constexpr double kMolarMassFit[9][5] = {
    {3.609066270e+00, -1.357612900e+01, 2.554659820e+01, -1.772046990e+01, 4.076966830e+00},
    {-1.356066360e+01, 1.290849560e+02, -2.846125340e+02, 2.128225040e+02, -5.113083500e+01},
    {-1.252078100e+01, -3.195796900e+02, 9.777187510e+02, -8.218512760e+02, 2.098377470e+02},
    {6.982684840e+01, 4.028019880e+02, -1.699888810e+03, 1.571647960e+03, -4.215615340e+02},
    {-8.441869880e+01, -2.887555470e+02, 1.670908760e+03, -1.672744010e+03, 4.676671190e+02},
    {4.427356790e+01, 1.245929500e+02, -9.689636040e+02, 1.038503370e+03, -3.010060870e+02},
    {-7.927120880e+00, -3.812004930e+01, 3.348757780e+02, -3.773851600e+02, 1.126343380e+02},
    {-1.149882230e+00, 9.200283010e+00, -6.521573310e+01, 7.510243250e+01, -2.286831270e+01},
    {4.136702140e-01, -1.187257730e+00, 5.604335850e+00, -6.369836710e+00, 1.957061360e+00},
};
// clang-format on

// The mean molar mass [kg/kmol] below 90 km (J77_MW_low): M = 28.96 (1 - y), log10 y a parabola in
// the height above 85 km. Far below 85 km y is under half a unit in the last place of 1, so 1 - y
// is 1 exactly and the power of ten changes nothing.
constexpr double kNegligibleDropLog = -17.0;  // [-] log10 y below this: 1 - y == 1 in doubles
double LowMolarMass(double z_km)
{
    const double d = z_km - 85.0;
    const double drop_log = -3.7469 + d * (0.226434 - d * 5.945e-3);
    if (drop_log < kNegligibleDropLog) return kSeaMolarMass;
    return kSeaMolarMass * (1.0 - std::pow(10.0, drop_log));
}

// Temperature [K] at z [km] for an exospheric temperature [K] (J77_Temp).
double J77Temperature(double z, double tinf)
{
    if (z < 86.0) {
        const double h = z * kJ77Radius / (z + kJ77Radius);
        for (const J77Layer &l : kJ77TempLayers)
            if (z < l.top) return l.grad != 0 ? l.t_base + l.grad * (h - l.base) : l.t_base;
    }
    if (z < 91.0 || tinf < 188.1) return 188.0;
    const double x = 0.0045 * (tinf - 188.0);
    const double tx = 188.0 + 110.5 * std::asinh(x);
    const double gx = 0.5 * M_PI * 1.9 * (tx - 188.0) / (125.0 - 90.0);
    if (z < 126.0) {
        const double r = (z - 125.0) / (z - 90.0);
        return tx + (tx - 188.0) / (0.5 * M_PI) * std::atan(gx / (tx - 188.0) * (z - 125.0) * (1.0 + 1.7 * r * r));
    }
    return tx + (tinf - tx) / (0.5 * M_PI) *
                    std::atan(gx / (tinf - tx) * (z - 125.0) * (1.0 + 5.5e-5 * (z - 125.0) * (z - 125.0)));
}

// Density [kg/m^3] below 90 km (J77_Dens_low), m the mean molar mass at z.
double J77LowDensity(double z, double m_z)
{
    double n = 0;  // number density [1/cm^3]
    if (z <= 85.0) {
        const double h = z * kJ77Radius / (z + kJ77Radius);
        const J77Layer *l = &kJ77Layers[0];
        for (const J77Layer &x : kJ77Layers)
            if (z <= x.top) {
                l = &x;
                break;
            }
        double t, ratio;
        if (l->grad != 0) {
            t = l->t_base + l->grad * (h - l->base);
            ratio = std::pow(l->t_base / t, kJ77Hydrostatic / l->grad);
        } else {
            t = l->t_base;
            ratio = std::exp(-kJ77Hydrostatic * (h - l->base) / l->t_base);
        }
        n = kJ77SeaNumberDensity * (kJ77SeaTemp / t) * l->p_ratio * ratio;
    } else {
        // Hydrostatic steps of 1 km from 85 km up to the kilometre above z, then linear in between.
        double pz = kJ77StepZ0, pt = kJ77StepT0, pn = kJ77StepN0, pm = kJ77StepM0;
        const double top = std::ceil(z);
        for (double s = 86.0; s <= top + 0.5; s += 1.0) {
            const double m = LowMolarMass(s);
            const double a = 1.0 + pz / kJ77StepRadius, b = 1.0 + s / kJ77StepRadius;
            n = pn * (pt / kJ77StepT) * (m / pm) * std::exp(-kJ77StepG * ((pm / pt) / (a * a) + (m / kJ77StepT) / (b * b)));
            if (s <= top - 0.5) pz = s, pt = kJ77StepT, pn = n, pm = m;
        }
        n = (z - pz) * (n - pn) + pn;
    }
    return m_z * n * 1e3 / (kAvogadro * 1e-3);  // [kg/kmol] x [1/cm^3] -> [kg/m^3]
}

// A fit's polynomial: sum over m, n of coef[row0 + m][n] t^m z^n.
template <std::size_t N>
double Polynomial(const double (&coef)[N][6], std::size_t row0, double z, double t)
{
    double sum = 0, tm = 1;
    if (row0 + 5 > N) return 0.0;
    for (std::size_t m = 0; m < 5; ++m, tm *= t) {
        double zn = 1;
        for (std::size_t n = 0; n < 6; ++n, zn *= z) sum += coef[row0 + m][n] * tm * zn;
    }
    return sum;
}

// log10 of the density [kg/m^3] from 90 to 2500 km (dens_fit): eight sections.
double DensityFit(double z, double tinf)
{
    constexpr double kTop[4] = {0.18, 0.50, 1.00, 2.50};  // [1000 km]
    const double zs = z * 1e-3, ts = tinf * 1e-3;
    const std::size_t hot = ts > 0.85 ? 1 : 0;
    for (std::size_t i = 0; i < 4; ++i)
        if (zs <= kTop[i]) return Polynomial(kDensityFit, 5 * (2 * i + hot), zs, ts);
    return 0.0;
}

// log10 of the helium number density [1/m^3] from 90 to 2500 km (helium_fit), in km and K.
double HeliumFit(double z, double tinf)
{
    constexpr double kTop[3] = {500.0, 1000.0, 2500.0};  // [km]
    for (std::size_t i = 0; i < 3; ++i)
        if (z <= kTop[i]) return Polynomial(kHeliumFit, 5 * i, z, tinf);
    return 0.0;
}

// Mean molar mass [kg/kmol] from 90 to 2500 km (molweight_fit).
double MolarMassFit(double z, double tinf)
{
    const double zs = z * 1e-3, ts = tinf * 1e-3;
    double sum = 0, zn = 1;
    for (std::size_t n = 0; n < 9; ++n, zn *= zs) {
        double tm = 1;
        for (std::size_t m = 0; m < 5; ++m, tm *= ts) sum += kMolarMassFit[n][m] * tm * zn;
    }
    return std::pow(10.0, sum);
}

struct SunClock {
    double sun_mjd = -1e10;  // when the Sun's place was taken
    double sun_lng = 0, sun_lat = 0;
    double mjd = 51544.5;    // the simulation date the model is evaluated at
};
SunClock g_clock;

// The last samples worked out, with what each was worked out from: a vessel's air is asked for by
// the state update and again by its modules at the same height. Below 90 km the air depends on the
// height alone, so the clock is no part of the key there.
constexpr int kAirMemoSize = 4;
constexpr double kClockFreeBelow = 90e3;  // [m]
struct AirMemo {
    double key[4];  // altitude, date, the Sun's longitude and latitude (0 below kClockFreeBelow)
    AtmosphereSample air;
    bool valid;
};
AirMemo g_air_memo[kAirMemoSize] = {};
int g_air_memo_next = 0;

bool SameKey(const double (&a)[4], const double (&b)[4]) { return std::memcmp(a, b, sizeof a) == 0; }

}  // namespace

AtmosphereSample Jacchia71Gill(double altitude_m, double mjd, double sun_lng, double sun_lat)
{
    double z = altitude_m * 1e-3;  // [km]
    if (!(z > 0.0)) z = 0.0;       // below sea level, and NaN: sea-level values
    if (altitude_m > kJ71AltLimit) {
        const double t = J77Temperature(kJ71AltLimit * 1e-3, 1000.0);
        return {0.0, 0.0, t, std::sqrt(kJ71Gamma * kJ71GasConstant * t)};
    }
    double rho, t, m;
    if (z < 90.0) {
        t = J77Temperature(z, 0.0);
        m = LowMolarMass(z);
        rho = J77LowDensity(z, m);
    } else {
        const double lng = 0.0, lat = 0.0;  // the module sets both to 0 whatever the vessel's place
        const double tc = 379.0 + 3.24 * kFluxF107;  // night-time exospheric temperature [K]
        const double hour = lng - sun_lng;
        double tau = hour - 0.64577 + 0.10472 * std::sin(hour + 0.7505) + 3.0 * M_PI;
        tau = std::fmod(tau, 2 * M_PI) - M_PI;
        const double st = std::pow(0.5 * (1.0 - std::cos(sun_lat + lat)), 1.1);
        const double ce = std::pow(0.5 * (1.0 + std::cos(sun_lat - lat)), 1.1);
        const double tl = tc * (1.0 + 0.3 * (st + (ce - st) * std::pow(std::cos(0.5 * tau), 3.0)));
        const double ekp = std::exp(kKp);
        const double f = 0.5 * (std::tanh(0.04 * (z - 350.0)) + 1.0);  // 350 km blend
        const double d_gm = (0.012 * kKp + 1.2e-5 * ekp) * (1.0 - f);
        const double d_tg = (14.0 * kKp + 0.02 * ekp) * (1.0 - f) + (28.0 * kKp + 0.03 * ekp) * f;
        const double tinf = tl + d_tg;
        const double phi = std::fmod((mjd - 36204.0) / 365.2422, 1.0);
        const double gt = 0.02835 + 0.3817 * (1.0 + 0.4671 * std::sin(2 * M_PI * tc + 4.137)) * std::sin(4 * M_PI * tc + 4.259);
        const double fz = (5.876e-7 * std::pow(z, 2.33) + 0.06328) * std::exp(-2.868e-3 * z);
        const double d_sa = fz * gt;
        const double d_sl = 0.014 * (z - 90.0) * std::exp(-0.0013 * (z - 90.0) * (z - 90.0)) * (lat >= 0 ? 1 : -1) *
                            std::sin(2 * M_PI * phi + 1.72) * std::sin(lat) * std::sin(lat);
        const double d_he = 0.65 * std::fabs(sun_lat) / 0.4091609 *
                            (std::pow(std::sin(0.25 * M_PI - 0.5 * lat * (sun_lat >= 0 ? 1 : -1)), 3.0) - 0.3535534);
        const double helium = std::pow(10.0, HeliumFit(z, tinf) + (d_he - 1.0)) * kHeliumMass / kAvogadro;
        t = J77Temperature(z, tinf);
        rho = std::pow(10.0, DensityFit(z, tinf) + d_gm + d_sa + d_sl) + helium;
        m = MolarMassFit(z, tinf);
    }
    const double p = rho * kAvogadro * kBoltzmann / m * t;
    return {rho, p, t, std::sqrt(kJ71Gamma * kJ71GasConstant * t)};
}

bool EarthAtmosphereNeedsSun(double mjd) { return std::fabs(mjd - g_clock.sun_mjd) > kSunRefresh; }

void SetEarthAtmosphereSun(double mjd, double sun_lng, double sun_lat)
{
    g_clock.sun_mjd = mjd;
    g_clock.sun_lng = sun_lng;
    g_clock.sun_lat = sun_lat;
}

void SetEarthAtmosphereDate(double mjd) { g_clock.mjd = mjd; }

AtmosphereSample StandardAtmosphere(double altitude_m)
{
    // The Sun's longitude turns back with the Earth from where it was last looked up.
    double lng = g_clock.sun_lng - 2 * M_PI * (g_clock.mjd - g_clock.sun_mjd) * 86400.0 / kSiderealDay;
    if (lng < -M_PI) lng += 2 * M_PI;
    if (g_clock.sun_mjd < -1e9) lng = g_clock.sun_lng;  // never set: as given
    const bool low = altitude_m < kClockFreeBelow;
    const double key[4] = {altitude_m, low ? 0.0 : g_clock.mjd, low ? 0.0 : lng, low ? 0.0 : g_clock.sun_lat};
    for (const AirMemo &m : g_air_memo)
        if (m.valid && SameKey(m.key, key)) return m.air;
    AirMemo &m = g_air_memo[g_air_memo_next];
    g_air_memo_next = (g_air_memo_next + 1) % kAirMemoSize;
    m = {{key[0], key[1], key[2], key[3]}, Jacchia71Gill(altitude_m, g_clock.mjd, lng, g_clock.sun_lat), true};
    return m.air;
}

}  // namespace sim
