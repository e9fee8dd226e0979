#pragma once

#include <cstdint>

// Ternary raster operations: bits 16 to 23 of a raster-operation code are the truth table of a
// boolean function of pattern P, source S and destination D, the bit for (P, S, D) standing at
// position 4P + 2S + D.
namespace gdi::rop {

constexpr std::uint8_t table(std::uint32_t code) noexcept {
    return static_cast<std::uint8_t>(code >> 16);
}

constexpr bool usesSource(std::uint8_t t) noexcept {
    return ((t >> 2) ^ t) & 0x33;
}
constexpr bool usesDestination(std::uint8_t t) noexcept {
    return ((t >> 1) ^ t) & 0x55;
}

// Applies the function to every bit of three words at once: the OR of the minterms it holds.
constexpr std::uint32_t apply(std::uint8_t t, std::uint32_t p, std::uint32_t s,
                              std::uint32_t d) noexcept {
    std::uint32_t result = 0;
    for (int i = 0; i < 8; ++i) {
        if (t & (1u << i))
            result |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return result;
}

} // namespace gdi::rop
