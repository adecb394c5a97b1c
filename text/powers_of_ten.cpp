// Stored powers of ten and the scaling step of ParseReal.
#include "text/powers_of_ten.h"

namespace velmora {

namespace {

// The compiler converts these literals with correct rounding (round to
// nearest, ties to even) at full extended precision; the unit tests check
// every entry against an exact big-integer computation.
constexpr long double kSmall[32] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,
                                    1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L,
                                    1e16L, 1e17L, 1e18L, 1e19L, 1e20L, 1e21L, 1e22L, 1e23L,
                                    1e24L, 1e25L, 1e26L, 1e27L, 1e28L, 1e29L, 1e30L, 1e31L};

constexpr long double kMedium[16] = {1e0L,   1e32L,  1e64L,  1e96L,  1e128L, 1e160L,
                                     1e192L, 1e224L, 1e256L, 1e288L, 1e320L, 1e352L,
                                     1e384L, 1e416L, 1e448L, 1e480L};

constexpr long double kLarge[10] = {1e0L,    1e512L,  1e1024L, 1e1536L, 1e2048L,
                                    1e2560L, 1e3072L, 1e3584L, 1e4096L, 1e4608L};

} // namespace

long double SmallPowerOfTen(int n) {
    return kSmall[n];
}

long double MediumPowerOfTen(int k) {
    return kMedium[k];
}

long double LargePowerOfTen(uint64_t k) {
    if (k < 10) {
        return kLarge[k];
    }
    return std::numeric_limits<long double>::infinity();
}

long double ScaleByPowerOfTen(long double value, int64_t power) {
    const bool divide = power < 0;
    // Unsigned negation, so even INT64_MIN has a magnitude.
    const uint64_t magnitude = divide ? 0 - static_cast<uint64_t>(power) : power;
    const long double factors[3] = {
        magnitude % 32 != 0 ? kSmall[magnitude % 32] : 0.0L,
        (magnitude / 32) % 16 != 0 ? kMedium[(magnitude / 32) % 16] : 0.0L,
        magnitude / 512 != 0 ? LargePowerOfTen(magnitude / 512) : 0.0L,
    };
    for (long double factor : factors) {
        if (factor == 0.0L) {
            continue;
        }
        value = divide ? value / factor : value * factor;
    }
    return value;
}

} // namespace velmora
