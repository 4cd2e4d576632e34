// The validator's random numbers: SplitMix64, fully defined by its seed on
// every platform and library (the standard distributions are not), so a
// printed seed replays the same run anywhere.
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

namespace panelhost::validate {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n), n > 0 (the bias of the modulo is irrelevant here).
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
    bool chance(std::uint32_t percent) { return below(100) < percent; }

    // A token value: edge values, small integers, values across the whole
    // range of magnitudes, and arbitrary bit patterns (any NaN included).
    double value() {
        using L = std::numeric_limits<double>;
        static constexpr double kEdges[] = {0.0, -0.0, 1.0, -1.0, L::max(), -L::max(), L::denorm_min(),
                                            -L::denorm_min(), L::min(), L::infinity(), -L::infinity(),
                                            L::quiet_NaN(), L::epsilon(), 1.0 + L::epsilon(), 1.0 - L::epsilon() / 2};
        switch (below(4)) {
        case 0: return kEdges[below(sizeof kEdges / sizeof kEdges[0])];
        case 1: return static_cast<double>(static_cast<std::int32_t>(below(200001)) - 100000);
        case 2: {
            // Sign, a decimal exponent from -12 to 12, a fraction.
            const double fraction = static_cast<double>(next() >> 11) * 0x1.0p-53;
            double v = fraction;
            for (int e = static_cast<int>(below(25)) - 12; e != 0; e += e > 0 ? -1 : 1) v = e > 0 ? v * 10 : v / 10;
            return below(2) ? -v : v;
        }
        default: return std::bit_cast<double>(next());
        }
    }

private:
    std::uint64_t state_;
};

}  // namespace panelhost::validate
