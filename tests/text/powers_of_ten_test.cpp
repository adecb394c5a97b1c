// Stored powers of ten: each entry is 10^n correctly rounded, checked by big integers.
#include "text/powers_of_ten.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace velmora {
namespace {

// An unsigned big integer, little-endian 32-bit limbs; just enough for 10^n.
class BigInteger {
public:
    BigInteger()
        : limbs_{1} {}
    void MultiplyBy10() {
        uint64_t carry = 0;
        for (uint32_t& limb : limbs_) {
            const uint64_t product = uint64_t{limb} * 10 + carry;
            limb = static_cast<uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0) {
            limbs_.push_back(static_cast<uint32_t>(carry));
        }
    }
    int BitLength() const {
        const uint32_t top = limbs_.back();
        return static_cast<int>(limbs_.size() - 1) * 32 + (32 - __builtin_clz(top));
    }
    bool Bit(int index) const {
        return index >= 0 && (limbs_[index / 32] >> (index % 32) & 1) != 0;
    }
    bool AnyBitBelow(int index) const {
        for (int limb = 0; limb < index / 32; ++limb) {
            if (limbs_[limb] != 0) {
                return true;
            }
        }
        return (limbs_[index / 32] & ((uint32_t{1} << (index % 32)) - 1)) != 0;
    }

private:
    std::vector<uint32_t> limbs_;
};

// The value rounded to a 64-bit significand (nearest, ties to even).
long double RoundToExtended(const BigInteger& value) {
    const int length = value.BitLength();
    const int shift = length - 64;
    uint64_t significand = 0;
    for (int i = length - 1; i >= std::max(shift, 0); --i) {
        significand = significand << 1 | (value.Bit(i) ? 1 : 0);
    }
    if (shift <= 0) {
        return static_cast<long double>(significand);
    }
    const bool half = value.Bit(shift - 1);
    const bool sticky = value.AnyBitBelow(shift - 1);
    long double result = static_cast<long double>(significand);
    if (half && (sticky || (significand & 1) != 0)) {
        result += 1; // may carry to 2^64, still exact
    }
    return std::ldexp(result, shift);
}

TEST(PowersOfTen, EveryStoredEntryIsCorrectlyRounded) {
    BigInteger power;
    for (int n = 0; n <= 4608; ++n, power.MultiplyBy10()) {
        SCOPED_TRACE(n);
        if (n < 32) {
            ASSERT_EQ(SmallPowerOfTen(n), RoundToExtended(power));
        }
        if (n % 32 == 0 && n / 32 < 16) {
            ASSERT_EQ(MediumPowerOfTen(n / 32), RoundToExtended(power));
        }
        if (n % 512 == 0) {
            ASSERT_EQ(LargePowerOfTen(n / 512), RoundToExtended(power));
        }
    }
    EXPECT_TRUE(std::isinf(LargePowerOfTen(10)));
}

TEST(PowersOfTen, ScalingStaysWithinAFewUnitsInTheLastPlace) {
    BigInteger power;
    for (int n = 0; n <= 4931; ++n, power.MultiplyBy10()) {
        SCOPED_TRACE(n);
        const long double exact = RoundToExtended(power);
        const long double scaled = ScaleByPowerOfTen(1.0L, n);
        // Three rounded factors and two rounded products, each off by at
        // most 2^-64 of the value; one more for the
        // rounding of the reference itself.
        ASSERT_LE(std::fabs(scaled - exact), 6 * std::ldexp(exact, -64));
        ASSERT_LE(std::fabs(ScaleByPowerOfTen(scaled, -n) - 1.0L), std::ldexp(1.0L, -59));
    }
}

TEST(PowersOfTen, ScalingBeyondTheRange) {
    EXPECT_TRUE(std::isinf(ScaleByPowerOfTen(1.0L, 4933)));
    EXPECT_EQ(ScaleByPowerOfTen(1.0L, -4952), 0.0L);
    EXPECT_EQ(ScaleByPowerOfTen(1.0L, -1000000), 0.0L);
    EXPECT_GT(ScaleByPowerOfTen(1.0L, -4950), 0.0L);
    EXPECT_EQ(ScaleByPowerOfTen(7.0L, 0), 7.0L);
}

} // namespace
} // namespace velmora
