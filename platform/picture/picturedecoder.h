#pragma once

#include "platform/picture/decodetarget.h"

#include <cstdint>
#include <span>

namespace platform {

// Decodes a picture file's content into the target that `allocate` hands out, choosing the
// decoder by the content, never by the name: JPEG through the JPEG library, PNG through libpng,
// HEIC and AVIF through libheif, Windows and OS/2 bitmaps and TGA through our own readers, GIF,
// TIFF, WebP, ICO and PNM through Qt's readers for them (and no other of Qt's).
// Throws RuntimeError: 481 when the content is not a picture we decode, 7 when memory runs out.
void decodePicture(std::span<const std::uint8_t> data, const TargetAllocator& allocate);

// Makes the decoders' process-wide settings and state, so that threads decoding side by side
// afterwards only read them. Call it before starting them.
void prepareDecoders();

} // namespace platform
