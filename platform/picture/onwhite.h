#pragma once

#include <cstdint>

namespace platform {

// A colour sample laid onto white by its alpha, both spanning 0 to `max`: a clear pixel turns
// white, an opaque one keeps its colour.
constexpr std::uint32_t onWhite(std::uint32_t colour, std::uint32_t alpha, std::uint32_t max) {
    return (colour * alpha + max / 2) / max + (max - alpha);
}

// A sample of 0 to `max` stretched or squeezed to 0 to `levels`, rounded.
constexpr std::uint32_t rescale(std::uint32_t sample, std::uint32_t max, std::uint32_t levels) {
    return (sample * levels + max / 2) / max;
}

} // namespace platform
