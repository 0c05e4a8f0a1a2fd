// Seeded pseudo-random numbers for the sample generator: one independent stream per purpose
// (geography, each area), so that a seed always yields the same files.
#pragma once

#include <cstdint>

namespace ffsample {

// xoshiro256** seeded through splitmix64. Only integer arithmetic and IEEE +, -, *, so the
// stream is the same on every platform for a given (seed, stream) pair.
class Rng {
 public:
  Rng(uint64_t seed, uint64_t stream) {
    uint64_t x = seed;
    x = SplitMix(x) ^ (stream * 0xD1B54A32D192ED03ull);
    for (uint64_t& word : s_) word = SplitMix(x);
  }

  uint64_t Next() {
    const uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }

  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

  // Uniform integer in [0, n); n must be at least 1.
  uint64_t Below(uint64_t n) {
    uint64_t v = static_cast<uint64_t>(Uniform() * static_cast<double>(n));
    return v < n ? v : n - 1;
  }

  // Approximately standard normal (sum of four uniforms, variance 1, bounded by +-3.47): no
  // extreme outliers, which keeps the generated counts within plausible ranges.
  double Normal() {
    const double sum = Uniform() + Uniform() + Uniform() + Uniform();
    return (sum - 2.0) * 1.7320508075688772;
  }

 private:
  static uint64_t SplitMix(uint64_t& x) {
    x += 0x9E3779B97F4A7C15ull;
    uint64_t z = x;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

  uint64_t s_[4];
};

}  // namespace ffsample
