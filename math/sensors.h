// Resistance thermometers and thermistors: degrees from ohms.
#pragma once

#include <optional>

namespace velmora {

// The Callendar-Van Dusen coefficients of IEC 60751 (platinum, alpha 0.00385).
struct CallendarVanDusen {
    double r0 = 100; // Pt100; Pt500 and Pt1000 by R0
    double a = 3.9083E-3;
    double b = -5.775E-7;
    double c = -4.183E-12; // below 0 °C only
    bool operator==(const CallendarVanDusen&) const = default;
};

// The resistance at `celsius` (-200 to 850 °C); nothing outside.
std::optional<double> RtdOhms(const CallendarVanDusen& rtd, double celsius);
// The temperature of `ohms`, within -200 to 850 °C; nothing outside.
std::optional<double> RtdCelsius(const CallendarVanDusen& rtd, double ohms);

// 1/T = A + B ln R + C (ln R)^3, T in kelvin.
struct SteinhartHart {
    double a = 1.009249522E-3; // a common 10 kOhm NTC
    double b = 2.378405444E-4;
    double c = 2.019202697E-7;
    bool operator==(const SteinhartHart&) const = default;
};
// 1/T = 1/T0 + ln(R/R0)/beta.
struct BetaThermistor {
    double r0 = 10000;
    double t0Celsius = 25;
    double beta = 3950;
    bool operator==(const BetaThermistor&) const = default;
};

// Nothing for a resistance of 0 or below, or a result below absolute zero.
std::optional<double> ThermistorCelsius(const SteinhartHart& thermistor, double ohms);
std::optional<double> ThermistorCelsius(const BetaThermistor& thermistor, double ohms);

} // namespace velmora
