// The U.S. Standard Atmosphere 1976 (the stand-in's Earth atmosphere until it took the simulator's
// default model, Jacchia 1971-Gill; kept for comparison) checked against the published 1976 tables
// and for a well-behaved profile; then the Jacchia-Gill model against values derived apart from it.
#include "atmosphere.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using sim::AtmosphereSample;
using sim::Us1976Atmosphere;

struct TableRow {
    double z;            // [m] geometric altitude
    double temperature;  // [K]
    double pressure;     // [Pa]
    double density;      // [kg/m^3]
};

void ExpectRow(const TableRow& row, double rel_tol) {
    SCOPED_TRACE(row.z);
    const AtmosphereSample s = Us1976Atmosphere(row.z);
    EXPECT_NEAR(s.temperature, row.temperature, 0.01);
    EXPECT_NEAR(s.pressure / row.pressure, 1.0, rel_tol);
    EXPECT_NEAR(s.density / row.density, 1.0, rel_tol);
}

double GeometricFromGeopotential(double h) {
    const double r0 = 6356766.0;
    return r0 * h / (r0 - h);
}

TEST(Us1976Atmosphere, MatchesPublishedLayerBases) {
    // Base values of the seven layers (geopotential altitudes 0, 11, 20, 32, 47, 51, 71 km' and the
    // top at 84.852 km' = 86 km geometric), from the 1976 standard's defining table.
    const TableRow rows[] = {
        {0.0, 288.15, 101325.0, 1.2250},
        {GeometricFromGeopotential(11000.0), 216.65, 22632.06, 0.3639176},
        {GeometricFromGeopotential(20000.0), 216.65, 5474.889, 0.08803486},
        {GeometricFromGeopotential(32000.0), 228.65, 868.0187, 0.01322497},
        {GeometricFromGeopotential(47000.0), 270.65, 110.9063, 0.001427527},
        {GeometricFromGeopotential(51000.0), 270.65, 66.93887, 8.616268e-4},
        {GeometricFromGeopotential(71000.0), 214.65, 3.956420, 6.421057e-5},
        {86000.0, 186.87, 0.3733836, 6.958e-6},  // kinetic temperature at the top
    };
    for (const TableRow& row : rows) ExpectRow(row, 2e-4);
}

TEST(Us1976Atmosphere, MatchesPublishedGeometricTable) {
    const TableRow rows[] = {
        {5000.0, 255.676, 54048.0, 0.73643},   {10000.0, 223.252, 26500.0, 0.41351},
        {11000.0, 216.774, 22700.0, 0.36480},  {20000.0, 216.650, 5529.3, 0.088910},
        {30000.0, 226.509, 1197.0, 0.018410},  {32000.0, 228.490, 889.06, 0.013555},
        {40000.0, 250.350, 287.14, 0.0039957}, {50000.0, 270.650, 79.779, 0.0010269},
        {70000.0, 219.585, 5.2209, 8.2829e-5}, {80000.0, 198.639, 1.0524, 1.8458e-5},
    };
    for (const TableRow& row : rows) ExpectRow(row, 2e-4);
    EXPECT_NEAR(Us1976Atmosphere(0.0).speed_of_sound, 340.294, 0.01);
    EXPECT_NEAR(Us1976Atmosphere(20000.0).speed_of_sound, 295.070, 0.01);
}

TEST(Us1976Atmosphere, ThermosphereFollowsPublishedProfile) {
    EXPECT_NEAR(Us1976Atmosphere(100000.0).temperature, 195.08, 0.01);  // elliptical segment
    EXPECT_NEAR(Us1976Atmosphere(115000.0).temperature, 300.00, 0.01);  // linear segment
    EXPECT_NEAR(Us1976Atmosphere(200000.0).temperature, 854.56, 0.01);  // exponential segment
    EXPECT_NEAR(Us1976Atmosphere(2.0e6).temperature, 1000.0, 0.01);
    // Between table nodes the density stays between its neighbours' published values.
    const double rho_105 = Us1976Atmosphere(105000.0).density;
    EXPECT_LT(rho_105, 5.604e-7);
    EXPECT_GT(rho_105, 9.708e-8);
}

TEST(Us1976Atmosphere, ContinuousAcross86km) {
    const AtmosphereSample below = Us1976Atmosphere(86000.0 - 1e-3);
    const AtmosphereSample above = Us1976Atmosphere(86000.0 + 1e-3);
    EXPECT_NEAR(above.density / below.density, 1.0, 1e-6);
    EXPECT_NEAR(above.pressure / below.pressure, 1.0, 1e-6);
    EXPECT_NEAR(above.temperature, below.temperature, 1e-3);
    EXPECT_NEAR(above.speed_of_sound, below.speed_of_sound, 1e-3);
}

TEST(Us1976Atmosphere, PositiveAndStrictlyFallingToGreatHeights) {
    AtmosphereSample prev = Us1976Atmosphere(0.0);
    for (double z = 50.0; z <= 2.0e6; z += 50.0) {
        const AtmosphereSample s = Us1976Atmosphere(z);
        ASSERT_TRUE(std::isfinite(s.density) && std::isfinite(s.pressure)) << z;
        ASSERT_GT(s.temperature, 150.0) << z;
        ASSERT_LT(s.density, prev.density) << z;
        ASSERT_LT(s.pressure, prev.pressure) << z;
        ASSERT_GT(s.density, 0.0) << z;
        prev = s;
    }
    // Far from Earth (lunar distance and beyond) the density is negligible, yet still positive.
    double last = prev.density;
    for (double z : {1.0e7, 3.8e8, 1.0e12, 1.0e18, std::numeric_limits<double>::infinity()}) {
        const AtmosphereSample s = Us1976Atmosphere(z);
        EXPECT_GT(s.density, 0.0) << z;
        EXPECT_GT(s.pressure, 0.0) << z;
        EXPECT_LE(s.density, last) << z;
        EXPECT_TRUE(std::isfinite(s.speed_of_sound)) << z;
        last = s.density;
    }
    EXPECT_LT(Us1976Atmosphere(3.8e8).density, 1e-20);
}

TEST(Us1976Atmosphere, BelowSeaLevelAndNaNGiveSeaLevel) {
    for (double z : {-1.0, -5000.0, -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
        const AtmosphereSample s = Us1976Atmosphere(z);
        EXPECT_DOUBLE_EQ(s.pressure, 101325.0);
        EXPECT_DOUBLE_EQ(s.temperature, 288.15);
        EXPECT_NEAR(s.density, 1.2250, 1e-5);
    }
}

}  // namespace
