// TiBevelStyle: the border drawn along the edges of a display control.
#pragma once

namespace velmora {

// The numeric values are the stored form of the property, so they must not move.
enum class TiBevelStyle : int {
    ibsNone = 0,    // no border
    ibsRaised = 1,  // a raised two-pixel bevel
    ibsLowered = 2, // a sunken two-pixel bevel
};

inline constexpr TiBevelStyle ibsNone = TiBevelStyle::ibsNone;
inline constexpr TiBevelStyle ibsRaised = TiBevelStyle::ibsRaised;
inline constexpr TiBevelStyle ibsLowered = TiBevelStyle::ibsLowered;

} // namespace velmora
