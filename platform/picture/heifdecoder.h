#pragma once

#include "platform/picture/decodetarget.h"

#include <cstdint>
#include <span>

namespace platform {

// Decodes the primary picture of a HEIF file (HEIC, AVIF) through libheif, with the file's own
// turning, mirroring and cropping applied (and no EXIF orientation on top): 8 to 12 bits per
// sample rounded to 8, alpha laid onto white, an ICC profile or nclx colours honoured. The bytes
// are read where they lie, not copied.
// Throws RuntimeError: 481 for data that is no HEIF picture we decode (boxes that claim more than
// is there, a coding without a decoder, damaged data, a size beyond the loader's bound), 7 when
// memory runs out.
void decodeHeif(std::span<const std::uint8_t> data, const TargetAllocator& allocate);

// How many threads of its own libheif may use for a grid's tiles when this thread decodes (0: none,
// the tiles are decoded on this thread; below 0, at first: libheif's default). The pixels are the
// same either way.
void setHeifDecodingThreads(int threads);

// Makes libheif's process-wide state (its registry of codecs) before several threads decode.
void prepareHeifDecoding();

} // namespace platform
