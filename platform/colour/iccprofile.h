#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace platform {

// The bytes of a well-formed ICC profile at the start of `data`: a header whose size lies within
// the data, the profile signature, a tag table that fits, and every tag inside the profile.
// Nothing for anything else, which then never reaches the colour library: lengths beyond the data,
// tags pointing outside and absurd tag counts are refused here, before anything is allocated.
std::optional<std::span<const std::uint8_t>>
wellFormedIccProfile(std::span<const std::uint8_t> data);

} // namespace platform
