#pragma once

#include <bit>
#include <cstdint>
#include <random>

// Uniformly distributed values in [0, 1), each a multiple of 2^-24. The same seed gives the same
// sequence.
class UniformRandom {
public:
    explicit UniformRandom(float seed) : engine_(std::bit_cast<std::uint32_t>(seed)) {}

    float next() { return static_cast<float>(engine_() >> 8) * 0x1p-24f; }

private:
    std::mt19937 engine_;
};
