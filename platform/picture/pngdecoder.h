#pragma once

#include "platform/picture/decodetarget.h"

#include <cstdint>
#include <span>

namespace platform {

// Whether the data starts with the PNG signature.
bool looksLikePng(std::span<const std::uint8_t> data);

// Decodes a PNG through libpng: every colour type and depth, interlaced or not; 16-bit samples
// rounded to 8 bits; alpha and the transparent colour or palette entries laid onto white. An
// embedded ICC profile is honoured; an sRGB chunk, or gamma and chromaticities alone, leave the
// values as they are. Text and the other chunks the loader has no use for are skipped unread, and
// no chunk gets more memory than the file (or a profile) can fill.
// Throws RuntimeError: 481 for data that is no PNG, damage that costs image rows, or a size
// beyond the loader's bound; 7 when memory runs out.
void decodePng(std::span<const std::uint8_t> data, const TargetAllocator& allocate);

} // namespace platform
