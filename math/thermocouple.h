// Thermocouples of types K, J and T by the ITS-90 reference functions: emf from temperature and
// back.
#pragma once

#include <optional>
#include <string_view>

namespace velmora {

enum class ThermocoupleType { K, J, T };

// "K", "j" ... ; nothing for another letter.
std::optional<ThermocoupleType> ThermocoupleNamed(std::string_view name);

// The emf in millivolts of a junction at `celsius` against one at 0 °C, by
// the forward reference function; nothing outside the function's range.
std::optional<double> ThermocoupleMillivolts(ThermocoupleType type, double celsius);

// The temperature of a junction whose emf against 0 °C is `millivolts`, by
// the inverse function; nothing outside its range (never extrapolated).
std::optional<double> ThermocoupleCelsius(ThermocoupleType type, double millivolts);

// What a meter reading `measuredMillivolts` across the thermocouple says,
// with the cold junction at `coldJunctionCelsius`: the cold junction's emf
// is added to the measured one and the sum turned into a temperature.
std::optional<double> ThermocoupleTemperature(ThermocoupleType type, double measuredMillivolts,
                                              double coldJunctionCelsius);

} // namespace velmora
