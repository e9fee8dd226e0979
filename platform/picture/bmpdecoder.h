#pragma once

#include "platform/picture/decodetarget.h"

#include <cstdint>
#include <span>

namespace platform {

// Whether the data starts like a Windows or OS/2 bitmap: a file header ("BM", or an OS/2 bitmap
// array "BA" holding one), or a bare device-independent bitmap (a .dib or clipboard bitmap: an
// info header of a known size with one plane and a known bit count).
bool looksLikeBmp(std::span<const std::uint8_t> data);

// Decodes a Windows or OS/2 bitmap: 1, 2, 4, 8 bits with a palette, 16 and 32 bits with or without
// bit-field masks (alpha included), 24 bits; RLE4 and RLE8; bottom-up and top-down; OS/2 1.x and
// 2.x headers. Pixels a file leaves undefined (skipped by RLE, missing from a truncated file) are
// white, and so is what transparent pixels show.
// Throws RuntimeError: 481 for a header that is not a bitmap we decode (unknown header size, bit
// count or compression, embedded JPEG/PNG, no pixel data, a size beyond the loader's bound), 7 when
// memory runs out.
void decodeBmp(std::span<const std::uint8_t> data, const TargetAllocator& allocate);

} // namespace platform
