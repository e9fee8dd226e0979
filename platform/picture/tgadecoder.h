#pragma once

#include "platform/picture/decodetarget.h"

#include <cstdint>
#include <span>

namespace platform {

// Whether the data starts with a header a TGA file could have. TGA has no signature, so every
// field must fit: a known image type (colour-mapped, true colour or grey; plain or run-length
// coded), a colour map exactly where the type needs one (none declared when there is none), a
// pixel depth the type allows, a size, at most 8 alpha bits and no interleaving. Checked only
// after every format that has a signature.
bool looksLikeTga(std::span<const std::uint8_t> data);

// Decodes a TGA file, with or without the footer of version 2: colour-mapped (8- or 16-bit
// indices into 15-, 16-, 24- or 32-bit entries), true colour of 15, 16, 24 or 32 bits, grey of 8
// bits (16: grey and alpha); plain or run-length coded; rows from the bottom or the top, pixels
// from the left or the right. Alpha is laid onto white where the header declares alpha bits (or
// the extension area calls the alpha useful or premultiplied) and not every alpha value is 0:
// writers that leave the channel unused fill it with zeros. Pixels missing from a truncated file
// are white (as in a truncated bitmap), indices outside the colour map black.
// Throws RuntimeError: 481 for a header looksLikeTga refuses, no pixel data, a size beyond the
// loader's bound, or more pixels than the data could hold even run-length coded (a packet of at
// most 128 pixels costs a byte and a pixel); 7 when memory runs out.
void decodeTga(std::span<const std::uint8_t> data, const TargetAllocator& allocate);

} // namespace platform
