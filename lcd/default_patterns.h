// The default pattern of every 8-bit character code: seven rows, five cells wide.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace velmora {

inline constexpr int kDefaultPatternRows = 7;

// Rows 0 (top) to 6 of the code's default pattern; bits 4 (left) to 0 (right).
// Codes outside 0..255 are the caller's fault and are not checked here.
std::span<const std::int32_t, kDefaultPatternRows> DefaultPattern(int code);

} // namespace velmora
