#pragma once

#include <array>

// Red, green and blue gammas for 0 K to 25100 K in steps of 100 K, one row after another.
constexpr int gammaTableRows = 252;
extern const std::array<float, std::size_t { gammaTableRows } * 3> temperatureGammaTable;
// The warmest and the coolest temperature that the table has a row of its own for, in kelvin.
constexpr int lowestTableTemperature = 0;
constexpr int highestTableTemperature = (gammaTableRows - 1) * 100;

// Flat index of the row for a temperature: kelvin / 100, truncated towards zero, times three.
// The row is held inside the table, so a setting edited by hand cannot read past either end.
int gammaTableIndex(int kelvin);
