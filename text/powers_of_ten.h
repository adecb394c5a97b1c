// Stored powers of ten and the scaling step of ParseReal.
#pragma once

#include <cstdint>
#include <limits>

namespace velmora {

// 10^n for n in 0..31, correctly rounded to extended precision (exact up to 10^27).
long double SmallPowerOfTen(int n);
// 10^(32k) for k in 0..15, correctly rounded.
long double MediumPowerOfTen(int k);
// 10^(512k), correctly rounded; infinity once 512k exceeds the extended range
// (k > 9), so a division by it underflows to 0 as it should.
long double LargePowerOfTen(uint64_t k);

// value * 10^power (power > 0) or value / 10^-power (power < 0), applied as at
// most three rounded steps with the stored powers: 10^(m mod 32), then
// 10^(32 ((m div 32) mod 16)), then 10^(512 (m div 512)), m = |power|.
// A step whose power is 0 is skipped.
long double ScaleByPowerOfTen(long double value, int64_t power);

} // namespace velmora
