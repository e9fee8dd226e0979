#pragma once

#include "platform/picture/decodetarget.h"

#include <cstdint>
#include <span>

namespace platform {

// Decodes a JPEG stream into a target turned upright by its EXIF orientation. Grey, colour, CMYK
// and YCCK pictures are decoded; a stream whose data ends early or is damaged on the way is still
// a picture (what is missing comes out grey).
// Throws RuntimeError: 481 when the stream holds no picture we decode (no frame or scan, a fatal
// error in the data, lossless or 12-bit coding, a size beyond the loader's bound), 7 when memory
// runs out. The description carries the JPEG library's message.
void decodeJpeg(std::span<const std::uint8_t> data, const TargetAllocator& allocate);

} // namespace platform
