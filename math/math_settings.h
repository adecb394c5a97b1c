// The math of each function in the settings file's own section.
#pragma once

#include "math/math_chain.h"

#include <map>
#include <optional>
#include <string>

namespace velmora {

class SettingsStore;

// Section "Math": "Functions" lists the functions with math ("VOLT,FRES");
// for each, keys "FUNC.Key" (numbers with "." decimals):
//   Null          the offset subtracted (present: null on)
//   Conversion    none, scale, db, dbm, rtd, steinhart-hart, beta, thermocouple
//   Scale, Offset, Unit            m, b and the unit of m*x + b
//   Reference                      dB's reference value
//   Impedance                      dBm's reference impedance (default 600)
//   R0, A, B, C                    an RTD's (default Pt100 of IEC 60751)
//   A, B, C                        Steinhart-Hart's
//   R0, T0, Beta                   the beta form's (T0 in °C)
//   Type, ColdJunction             thermocouple K, J or T; its cold junction in °C
//   Low, High                      limits (either present: the limit test on)
inline constexpr const char* kMathSection = "Math";

struct MathSettingsRead {
    std::map<std::string, MathSettings> functions;
    // "VOLT: Conversion \"dbx\" is none of ..." (then `functions` is empty).
    std::optional<std::string> problem;
};

// A missing section is no math and no problem; it never throws.
MathSettingsRead ReadMathSettings(const SettingsStore& settings);

// Writes the functions' math (and the list); throws as a write does.
void WriteMathSettings(SettingsStore& settings, const std::map<std::string, MathSettings>& math);

} // namespace velmora
